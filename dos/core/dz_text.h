#ifndef DOS_CORE_DZ_TEXT_H
#define DOS_CORE_DZ_TEXT_H
/* The few string helpers the DOS program needs, without a C library. Appends are bounded by
   the destination's size and always leave it terminated. */

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

size_t dz_strlen(const char* text);
int dz_stricmp(const char* a, const char* b);
int dz_strnicmp(const char* a, const char* b, size_t count);
char dz_upper(char c);
void dz_append(char* to, size_t size, const char* text);
void dz_append_dec(char* to, size_t size, uint32_t value);
/* `digits` upper-case hexadecimal digits, at least. */
void dz_append_hex(char* to, size_t size, uint32_t value, unsigned digits);
void dz_copy(char* to, size_t size, const char* text);

#ifdef __cplusplus
}
#endif

#endif
