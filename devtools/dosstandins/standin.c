/* A DOS stand-in for an outside flash tool (AFUDOS.exe, the DOS FWUpdLcl.exe): one program,
   copied under each tool's name. Started, it
   - appends "<its path> <its command tail>" as one line to the file named by STANDIN_RECORD,
     else to <its path without extension>.CMD;
   - prints the script <its path without extension>.SCR to standard output, all lines but a
     first line "exit=N", which sets its exit code (0 without one); a line that starts with
     "2>" goes to standard error instead, without those two characters;
   - ends with that code. */
#include "core/dz_text.h"
#include "dosapi.h"
#include "self_file.h"

int dos_main(void);

static void record(const char* path, const char* stemPath) {
    char target[DOS_PATH_SIZE + 4], tail[128];
    if (!self_getenv("STANDIN_RECORD", target, sizeof target)) {
        dz_copy(target, sizeof target, stemPath);
        dz_append(target, sizeof target, ".CMD");
    }
    uint8_t length;
    dos_copy_from_far(&length, dos_psp(), 0x80, 1);
    if (length > 126) length = 126;
    dos_copy_from_far(tail, dos_psp(), 0x81, length);
    tail[length] = '\0';
    int file = dos_open_write(target);
    if (file < 0) file = dos_create(target);
    if (file < 0) return;
    uint32_t end;
    (void)dos_seek_end(file, &end);
    dos_write_text(file, path);
    dos_write_text(file, tail[0] == ' ' ? "" : " ");
    dos_write_text(file, tail);
    dos_write_text(file, "\r\n");
    (void)dos_close(file);
}

int dos_main(void) {
    static char script[4096];
    char path[DOS_PATH_SIZE], stem[DOS_PATH_SIZE + 4];
    if (!self_path(path)) return 255;
    dz_copy(stem, sizeof stem, path);
    for (size_t n = dz_strlen(stem); n > 0; n--) {
        if (stem[n - 1] == '.') {
            stem[n - 1] = '\0';
            break;
        }
        if (stem[n - 1] == '\\') break;
    }
    record(path, stem);

    char name[DOS_PATH_SIZE + 4];
    dz_copy(name, sizeof name, stem);
    dz_append(name, sizeof name, ".SCR");
    int file = dos_open_read(name);
    if (file < 0) return 0;
    int got = dos_read(file, script, sizeof script - 1);
    (void)dos_close(file);
    if (got <= 0) return 0;
    script[got] = '\0';
    const char* text = script;
    int code = 0;
    if (dz_strnicmp(text, "exit=", 5) == 0) {
        for (text += 5; *text >= '0' && *text <= '9'; text++) code = code * 10 + (*text - '0');
        while (*text == '\r' || *text == '\n') text++;
    }
    /* Line by line: a line that starts with "2>" goes to standard error, without the mark. */
    while (*text) {
        const char* end = text;
        while (*end && *end != '\n') end++;
        if (*end) end++;
        int handle = text[0] == '2' && text[1] == '>' ? 2 : 1;
        if (handle == 2) text += 2;
        (void)dos_write(handle, text, (unsigned)(end - text));
        text = end;
    }
    return code & 0xFF;
}
