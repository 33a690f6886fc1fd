#include "extract.h"

#include "core/dz_inflate.h"
#include "core/dz_paths.h"
#include "core/dz_text.h"
#include "dosapi.h"
#include "scratch.h"

#define WINDOW_PARAGRAPHS (DZ_WINDOW_SIZE / 16u)

typedef struct sink {
    self_file* file;
    uint32_t left;   /* compressed bytes not yet handed to the inflater */
    int output;
    uint16_t windowSegment;
} sink;

/* Its 1 KiB input buffer stays off the stack. */
#define g_stream g_scratch.stream

static int read_stream(void* context, uint8_t* into, unsigned want) {
    sink* s = (sink*)context;
    if (want > s->left) want = (unsigned)s->left;
    if (want == 0) return 0;
    int got = s->file->source.read_at(s->file, s->file->position, into, want);
    if (got > 0) s->left -= (uint32_t)got;
    return got;
}

static int write_window(void* context, DZ_FAR const uint8_t* window, unsigned from, unsigned count) {
    (void)window;
    sink* s = (sink*)context;
    return dos_write_far(s->output, s->windowSegment, (uint16_t)from, count) == (int)count ? 0 : 1;
}

static int fail(char* error, unsigned size, const char* text, const char* name) {
    dz_copy(error, size, text);
    if (name) dz_append(error, size, name);
    return DZ_PKG_REFUSED_ENTRY;
}

int extraction_run(extraction* x, self_file* file, const dz_package* package, char* error, unsigned errorSize) {
    x->written = 0;
    x->folderMade = dos_mkdir(x->folder) == 0;
    uint16_t windowSegment = dos_alloc(WINDOW_PARAGRAPHS);
    if (!windowSegment) return fail(error, errorSize, "MemAlloc err", 0);
    dos_set_fs(windowSegment);

    int code = 0;
    for (unsigned i = 0; i < package->dosCount && code == 0; i++) {
        const dz_entry* entry = &package->entries[i];
        char path[DOS_FOLDER_SIZE + 14];
        if (!dz_join(x->folder, entry->name, path, sizeof path)) {
            code = fail(error, errorSize, "Create DestFile ERR,", entry->name);
            break;
        }
        dos_print("Extracting ");
        dos_print(entry->name);
        dos_print("\n");
        int output = dos_create(path);
        if (output < 0) {
            code = fail(error, errorSize, "Create DestFile ERR,", entry->name);
            break;
        }
        x->written = i + 1;
        sink s = {file, entry->compressedSize, output, windowSegment};
        file->position = 0xFFFFFFFFuL;
        if (file->source.read_at(file, entry->dataOffset, g_stream.input, 0) < 0) s.left = 0;
        g_stream.read = read_stream;
        g_stream.write = write_window;
        g_stream.context = &s;
        g_stream.window = (DZ_FAR uint8_t*)0;
        int result = dz_inflate(&g_stream);
        int closed = dos_close(output) == 0;
        if (result != DZ_OK || !closed) {
            code = fail(error, errorSize, "Decompress routine error,", entry->name);
            dz_append(error, errorSize, ",");
            dz_append(error, errorSize, closed ? dz_error_text(result) : "write error");
        }
    }
    dos_free(windowSegment);
    return code;
}

void extraction_remove(const extraction* x, const dz_package* package) {
    for (unsigned i = 0; i < x->written; i++) {
        char path[DOS_FOLDER_SIZE + 14];
        if (dz_join(x->folder, package->entries[i].name, path, sizeof path)) (void)dos_delete(path);
    }
    if (x->folderMade) (void)dos_rmdir(x->folder);
}
