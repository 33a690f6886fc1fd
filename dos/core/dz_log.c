#include "dz_log.h"

#include "dz_text.h"

size_t dz_log_head(const dz_clock* when, const char* tag, char* out, size_t size) {
    out[0] = '\0';
    if (when) {
        static const char* const kBefore[6] = {"", "/", "/", ", ", ":", ":"};
        const unsigned parts[6] = {when->year, when->month, when->day, when->hour, when->minute, when->second};
        for (int i = 0; i < 6; i++) {
            dz_append(out, size, kBefore[i]);
            if (parts[i] < 10) dz_append(out, size, "0"); /* two digits at least */
            dz_append_dec(out, size, parts[i]);
        }
    }
    dz_append(out, size, ", $");
    dz_append(out, size, tag);
    dz_append(out, size, ", ");
    return dz_strlen(out);
}

size_t dz_log_text(const char* text, size_t length, size_t* used, char* out, size_t room) {
    size_t at = 0, taken = 0;
    for (; taken < length; taken++) {
        int lineFeed = text[taken] == '\n';
        if (at + 1 + lineFeed > room) break;
        if (lineFeed) out[at++] = '\r';
        out[at++] = text[taken];
    }
    *used = taken;
    return at;
}

size_t dz_log_line(const dz_clock* when, const char* tag, const char* message, char* out, size_t size) {
    size_t at = dz_log_head(when, tag, out, size), used;
    if (at + 3 > size) return at; /* the head alone fills the buffer */
    /* The message gets what is left after the line end and the terminator. */
    at += dz_log_text(message, dz_strlen(message), &used, out + at, size - 3 - at);
    out[at++] = '\r';
    out[at++] = '\n';
    out[at] = '\0';
    return at;
}

const char* dz_log_suffix(const char* name) {
    for (; *name; name++)
        if (*name == '.') return "";
    return ".log";
}

void dz_log_name(const char* value, char* out, size_t size) {
    dz_copy(out, size, value);
    size_t length = dz_strlen(out);
    if (length > 0 && out[length - 1] == '.') out[--length] = '\0';
    const char* name = out;
    for (const char* p = out; *p; p++)
        if (*p == '\\' || *p == '/' || *p == ':') name = p + 1;
    dz_append(out, size, dz_log_suffix(name));
}
