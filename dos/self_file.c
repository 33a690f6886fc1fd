#include "self_file.h"

#include "core/dz_text.h"
#include "dosapi.h"

static uint16_t environment_segment(void) {
    uint16_t segment;
    dos_copy_from_far(&segment, dos_psp(), 0x2C, 2);
    return segment;
}

/* Walks the environment's NAME=value strings up to the empty one; `visit` answers non-zero to
   stop. Answers the offset just past the terminating empty string. */
static uint16_t walk_environment(uint16_t segment, int (*visit)(const char* entry, void* context), void* context) {
    char entry[260];
    uint16_t offset = 0;
    for (;;) {
        unsigned n = 0;
        char c;
        do {
            dos_copy_from_far(&c, segment, offset++, 1);
            if (n + 1 < sizeof entry) entry[n++] = c;
        } while (c && offset < 0x8000u);
        entry[n < sizeof entry ? n : sizeof entry - 1] = '\0';
        if (entry[0] == '\0' || offset >= 0x8000u) return offset;
        if (visit && visit(entry, context)) return 0;
    }
}

int self_path(char path[DOS_PATH_SIZE]) {
    uint16_t segment = environment_segment();
    uint16_t offset = walk_environment(segment, 0, 0);
    uint16_t count;
    if (offset == 0) return 0;
    dos_copy_from_far(&count, segment, offset, 2);
    if (count < 1) return 0;
    offset += 2;
    unsigned n = 0;
    char c;
    do {
        dos_copy_from_far(&c, segment, offset++, 1);
        if (n < DOS_PATH_SIZE) path[n++] = c;
    } while (c);
    if (n == DOS_PATH_SIZE) return 0; /* too long for any DOS path */
    return path[0] != '\0';
}

typedef struct lookup {
    const char* name;
    char* value;
    unsigned size;
    int found;
} lookup;

static int match(const char* entry, void* context) {
    lookup* l = (lookup*)context;
    size_t n = dz_strlen(l->name);
    for (size_t i = 0; i < n; i++)
        if (entry[i] != l->name[i]) return 0;
    if (entry[n] != '=') return 0;
    dz_copy(l->value, l->size, entry + n + 1);
    l->found = 1;
    return 1;
}

int self_getenv(const char* name, char* value, unsigned size) {
    lookup l = {name, value, size, 0};
    walk_environment(environment_segment(), match, &l);
    return l.found;
}

static int read_at(void* context, dz_offset offset, uint8_t* into, unsigned want) {
    self_file* file = (self_file*)context;
    if (file->position != offset) {
        if (dos_seek(file->handle, offset) != 0) {
            file->position = 0xFFFFFFFFuL;
            return -1;
        }
        file->position = offset;
    }
    int got = dos_read(file->handle, into, want);
    if (got < 0) {
        file->position = 0xFFFFFFFFuL;
        return -1;
    }
    file->position += (uint32_t)got;
    return got;
}

int self_open(self_file* file, const char* path) {
    file->handle = dos_open_read(path);
    if (file->handle < 0) return 0;
    if (dos_seek_end(file->handle, &file->source.size) != 0) {
        self_close(file);
        return 0;
    }
    file->position = 0xFFFFFFFFuL;
    file->source.read_at = read_at;
    file->source.context = file;
    return 1;
}

void self_close(self_file* file) {
    if (file->handle >= 0) (void)dos_close(file->handle);
    file->handle = -1;
}
