#include "dz_log.h"

#include "dz_text.h"

static void two(char* out, size_t size, unsigned value) {
    if (value < 10) dz_append(out, size, "0");
    dz_append_dec(out, size, value);
}

size_t dz_log_line(const dz_clock* when, const char* tag, const char* message, char* out, size_t size) {
    out[0] = '\0';
    dz_append_dec(out, size, when->year);
    dz_append(out, size, "/");
    two(out, size, when->month);
    dz_append(out, size, "/");
    two(out, size, when->day);
    dz_append(out, size, ", ");
    two(out, size, when->hour);
    dz_append(out, size, ":");
    two(out, size, when->minute);
    dz_append(out, size, ":");
    two(out, size, when->second);
    dz_append(out, size, ", $");
    dz_append(out, size, tag);
    dz_append(out, size, ", ");
    size_t at = dz_strlen(out);
    for (const char* p = message; *p && at + 3 < size; p++) {
        if (*p == '\n') out[at++] = '\r';
        out[at++] = *p;
    }
    out[at] = '\0';
    if (at + 3 <= size) {
        out[at++] = '\r';
        out[at++] = '\n';
        out[at] = '\0';
    }
    return at;
}

void dz_log_name(const char* value, char* out, size_t size) {
    const char* name = value;
    for (const char* p = value; *p; p++)
        if (*p == '\\' || *p == '/' || *p == ':') name = p + 1;
    dz_copy(out, size, value);
    for (const char* p = name; *p; p++)
        if (*p == '.') return;
    dz_append(out, size, ".log");
}
