#include "dz_names.h"

#include "dz_text.h"

static int is_name_char(char c) {
    if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9')) return 1;
    for (const char* p = "!#$%&'()-@^_`{}~"; *p; p++)
        if (*p == c) return 1;
    return 0;
}

static int is_device(const char* stem) {
    static const char* const kDevices[] = {"CON", "PRN", "AUX", "NUL", "CLOCK$", "CONIN$", "CONOUT$"};
    for (unsigned i = 0; i < sizeof kDevices / sizeof kDevices[0]; i++)
        if (dz_stricmp(stem, kDevices[i]) == 0) return 1;
    if (dz_strlen(stem) == 4 && (dz_strnicmp(stem, "COM", 3) == 0 || dz_strnicmp(stem, "LPT", 3) == 0) &&
        stem[3] >= '0' && stem[3] <= '9')
        return 1;
    return 0;
}

int dz_is_dos_name(const char* name) {
    char stem[9];
    unsigned base = 0, extension = 0;
    int dot = 0;
    for (const char* p = name; *p; p++) {
        if (*p == '.') {
            if (dot || base == 0) return 0;
            dot = 1;
        } else if (!is_name_char(*p)) {
            return 0;
        } else if (dot) {
            if (++extension > 3) return 0;
        } else {
            if (base >= 8) return 0;
            stem[base++] = *p;
        }
    }
    if (base == 0 || (dot && extension == 0)) return 0;
    stem[base] = '\0';
    return !is_device(stem);
}
