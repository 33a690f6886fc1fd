#include "dos_log.h"

#include "core/dz_log.h"
#include "core/dz_text.h"
#include "dosapi.h"

static void now(dz_clock* when) {
    dos_regs r = {0};
    r.ax = 0x2A00;
    dos_int21(&r);
    when->year = r.cx;
    when->month = (uint8_t)(r.dx >> 8);
    when->day = (uint8_t)r.dx;
    r.ax = 0x2C00;
    dos_int21(&r);
    when->hour = (uint8_t)(r.cx >> 8);
    when->minute = (uint8_t)r.cx;
    when->second = (uint8_t)(r.dx >> 8);
}

int dos_log_write(const dos_log* log, const char* tag, const char* message) {
    static char line[600];
    if (!log->enabled) return 1;
    int file = dos_open_write(log->path);
    if (file < 0) file = dos_create(log->path);
    if (file < 0) return 0;
    dz_clock when;
    now(&when);
    size_t length = dz_log_line(&when, tag, message, line, sizeof line);
    uint32_t end;
    int ok = dos_seek_end(file, &end) == 0 && dos_write(file, line, (unsigned)length) == (int)length;
    return dos_close(file) == 0 && ok;
}

void dos_make_folders(const char* path) {
    char folder[96];
    size_t n = dz_strlen(path);
    if (n >= sizeof folder) return;
    for (size_t i = 0; i < n; i++) {
        folder[i] = path[i];
        /* Each separator past the root ends a folder to create. */
        if ((path[i] == '\\' || path[i] == '/') && i > 0 && path[i - 1] != ':') {
            folder[i] = '\0';
            (void)dos_mkdir(folder);
            folder[i] = path[i];
        }
    }
}
