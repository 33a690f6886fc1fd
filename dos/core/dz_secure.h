#ifndef DOS_CORE_DZ_SECURE_H
#define DOS_CORE_DZ_SECURE_H
/* The secure-flash image choice under DOS, by Brevane's rule: settings.ini (beside the update
   program, so in the extraction folder) names a threshold version per BIOS series; a machine
   whose running BIOS has reached the threshold of its series is flashed with the secure capsule
   image. The same answers, log lines and messages as Brevane's (the tests run both on the same
   cases). */

#include <stddef.h>
#include <stdint.h>

#include "dz_versions.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Where the log lines go (tag, text). */
typedef void (*dz_log_sink)(void* context, const char* tag, const char* text);

/* A value of `key` in `[section]` of INI text (names ignore case; blanks around the value and a
   pair of double quotes around it are dropped; ';' starts a comment line). 1 when found. */
int dz_ini_string(const char* ini, const char* section, const char* key, char* out, size_t size);
/* The decimal value of a key, or `defaultValue` when the key is absent. */
int32_t dz_ini_int(const char* ini, const char* section, const char* key, int32_t defaultValue);

/* 1 when `current` is below the threshold of its series, 0 when not, -1 when no comparison is
   possible (`message`, DZ_VERSION_MESSAGE bytes, set). Thresholds match by series letter, X
   first. */
int dz_is_below_secure_version(const char* current, const char* a, const char* x, int32_t tEnabled, const char* t,
                               char* message, dz_log_sink log, void* context);

/* Reads the secure-flash keys from `ini` (NULL or "" when there is no settings.ini) and may
   replace `image` (`size` bytes) by the secure capsule file. 1: selection is off; -1: a required
   threshold is missing; 0: a comparison was made, whatever its outcome. */
int dz_select_secure_flash(const char* ini, const char* current, char* image, size_t size, dz_log_sink log,
                           void* context);

#ifdef __cplusplus
}
#endif

#endif
