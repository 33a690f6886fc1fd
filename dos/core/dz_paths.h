#ifndef DOS_CORE_DZ_PATHS_H
#define DOS_CORE_DZ_PATHS_H
/* Paths of the DOS program: where it extracts, where its log goes. */

#include <stddef.h>

#ifdef __cplusplus
extern "C" {
#endif

/* The name part of `path` (after the last \, / or :) without its extension, cut to 8. */
void dz_base_name8(const char* path, char out[9]);

/* The folder of `path`, with its trailing backslash ("C:\STICK\" for "C:\STICK\PKG.EXE"). */
void dz_folder_of(const char* path, char* out, size_t size);

/* dir + "\" + name, with one backslash between them; 0 when it does not fit. */
int dz_join(const char* dir, const char* name, char* out, size_t size);

/* The extraction folder: %TEMP%, else %TMP% (either may be empty or NULL), else the root of
   the drive the package was started from, then the package's base name cut to 8 characters.
   0 when it does not fit in `size`. */
int dz_temp_folder(const char* temp, const char* tmp, const char* packagePath, char* out, size_t size);

#ifdef __cplusplus
}
#endif

#endif
