/* Running an outside tool under DOS and reading what it printed, as Brevane runs one through
   its pipe on Windows: DOS has no pipes, so the tool's output goes to a file in the extraction
   folder, which is then shown and read chunk by chunk. */
#include "tool_run.h"

#include "core/dz_paths.h"
#include "core/dz_text.h"
#include "core/dz_toolout.h"
#include "dos_log.h"
#include "dosapi.h"
#include "scratch.h"
#include "update.h"

#define TOOL_OUTPUT "BRVOUT.$$$"
#define g_output g_scratch.tools.output

/* How the last tool run ended: int 21h 4Dh's answer, and the bytes it printed. */
static uint16_t g_toolExit;
static uint32_t g_toolBytes;

/* Shows the tool's output file and reads it chunk by chunk as Brevane reads a tool's pipe. */
static void read_tool_output(const char* path, int kind) {
    char* chunk = g_scratch.tools.chunk;
    int file = dos_open_read(path);
    dz_tool_begin(&g_output);
    if (file < 0) return;
    int got;
    while ((got = dos_read(file, chunk, DZ_TOOL_CHUNK)) > 0) {
        g_toolBytes += (uint32_t)got;
        (void)dos_write(1, chunk, (unsigned)got);
        chunk[got] = '\0';
        dz_tool_chunk(&g_output, chunk, kind);
    }
    (void)dos_close(file);
}

int run_tool(const char* folder, const char* tool, const char* arguments, int kind, const char* tag) {
    char program[DOS_FOLDER_SIZE + 16], output[DOS_FOLDER_SIZE + 16], saved[68];
    static uint8_t tail[128];
    struct {
        uint16_t environment, tailOffset, tailSegment, fcb1Offset, fcb1Segment, fcb2Offset, fcb2Segment;
    } block;
    size_t length = dz_strlen(arguments) + 1;
    if (length > 126) return -8; /* longer than a DOS command tail */
    if (!dz_join(folder, tool, program, sizeof program) || !dz_join(folder, TOOL_OUTPUT, output, sizeof output))
        return -3;
    tail[0] = (uint8_t)length;
    tail[1] = ' ';
    for (size_t i = 1; i < length; i++) tail[i + 1] = (uint8_t)arguments[i - 1];
    tail[length + 1] = '\r';
    block.environment = 0; /* the program's own environment */
    block.tailOffset = (uint16_t)(uintptr_t)tail;
    block.tailSegment = dos_data_segment();
    block.fcb1Offset = 0x5C;
    block.fcb2Offset = 0x6C;
    block.fcb1Segment = block.fcb2Segment = dos_psp();

    /* Standard output and standard error both go to the file, as both go to the pipe on
       Windows. */
    int file = dos_create(output);
    if (file < 0) return file;
    int screen = dos_dup(1), errors = dos_dup(2);
    int code = screen < 0 ? screen : errors < 0 ? errors : 0;
    if (code == 0) code = dos_force_dup(file, 1) == 0 && dos_force_dup(file, 2) == 0 ? 0 : -4;
    (void)dos_close(file);
    if (code == 0) {
        /* The tool runs in the extraction folder, where its relative image names are. */
        int moved = dos_get_folder(saved) == 0 && dos_set_folder(folder) == 0;
        code = dos_exec(program, &block);
        g_toolExit = code == 0 ? dos_child_exit() : 0;
        if (moved) (void)dos_set_folder(saved);
    }
    if (screen >= 0) {
        (void)dos_force_dup(screen, 1);
        (void)dos_close(screen);
    }
    if (errors >= 0) {
        (void)dos_force_dup(errors, 2);
        (void)dos_close(errors);
    }
    g_toolBytes = 0;
    if (code == 0) {
        read_tool_output(output, kind);
        char line[24];
        dz_copy(line, sizeof line, "ExitCode=[0x");
        dz_append_hex(line, sizeof line, g_toolExit & 0xFFu, 8);
        dz_append(line, sizeof line, "]");
        (void)dos_log_write(&g_log, tag, line);
    }
    (void)dos_delete(output);
    return code;
}

int failed_by_its_end(const char* tool) {
    const char* why = 0;
    unsigned how = g_toolExit >> 8;
    if (how == 1)
        why = " was ended by Ctrl-C";
    else if (how == 2)
        why = " was ended on a critical error";
    else if (g_toolBytes == 0)
        why = " ended without printing anything";
    if (!why) return 0;
    dz_copy(g_output.errorText, sizeof g_output.errorText, tool);
    dz_append(g_output.errorText, sizeof g_output.errorText, why);
    dos_print(g_output.errorText);
    dos_print("\n");
    return 1;
}
