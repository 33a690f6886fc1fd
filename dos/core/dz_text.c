#include "dz_text.h"

size_t dz_strlen(const char* text) {
    size_t n = 0;
    while (text[n]) n++;
    return n;
}

char dz_upper(char c) { return c >= 'a' && c <= 'z' ? (char)(c - 'a' + 'A') : c; }

int dz_strnicmp(const char* a, const char* b, size_t count) {
    for (; count; count--, a++, b++) {
        char x = dz_upper(*a), y = dz_upper(*b);
        if (x != y) return (unsigned char)x - (unsigned char)y;
        if (!x) return 0;
    }
    return 0;
}

int dz_stricmp(const char* a, const char* b) { return dz_strnicmp(a, b, (size_t)-1); }

void dz_append(char* to, size_t size, const char* text) {
    size_t at = dz_strlen(to);
    while (*text && at + 1 < size) to[at++] = *text++;
    to[at] = '\0';
}

void dz_copy(char* to, size_t size, const char* text) {
    if (!size) return;
    to[0] = '\0';
    dz_append(to, size, text);
}

void dz_append_dec(char* to, size_t size, uint32_t value) {
    char digits[11];
    unsigned n = sizeof digits - 1;
    digits[n] = '\0';
    do {
        digits[--n] = (char)('0' + value % 10u);
        value /= 10u;
    } while (value);
    dz_append(to, size, digits + n);
}

void dz_append_hex(char* to, size_t size, uint32_t value, unsigned digits) {
    char text[9];
    unsigned n = 8;
    text[8] = '\0';
    do {
        text[--n] = "0123456789ABCDEF"[value & 15u];
        value >>= 4;
    } while ((value || 8 - n < digits) && n > 0);
    dz_append(to, size, text + n);
}
