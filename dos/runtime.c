/* What the compiler may call in a freestanding build. */
#include <stddef.h>

void* memcpy(void* to, const void* from, size_t count);
void* memset(void* to, int value, size_t count);
void* memmove(void* to, const void* from, size_t count);
int memcmp(const void* a, const void* b, size_t count);

void* memcpy(void* to, const void* from, size_t count) {
    unsigned char* t = (unsigned char*)to;
    const unsigned char* f = (const unsigned char*)from;
    while (count--) *t++ = *f++;
    return to;
}

void* memmove(void* to, const void* from, size_t count) {
    unsigned char* t = (unsigned char*)to;
    const unsigned char* f = (const unsigned char*)from;
    if (t < f) {
        while (count--) *t++ = *f++;
    } else {
        while (count--) t[count] = f[count];
    }
    return to;
}

void* memset(void* to, int value, size_t count) {
    unsigned char* t = (unsigned char*)to;
    while (count--) *t++ = (unsigned char)value;
    return to;
}

int memcmp(const void* a, const void* b, size_t count) {
    const unsigned char* x = (const unsigned char*)a;
    const unsigned char* y = (const unsigned char*)b;
    for (; count; count--, x++, y++)
        if (*x != *y) return *x - *y;
    return 0;
}
