#ifndef DOS_CORE_DZ_SECURE_H
#define DOS_CORE_DZ_SECURE_H
/* The secure-flash image choice, for Brevane and the DOS program: settings.ini (beside the
   update program, so in the extraction folder) names a threshold version per BIOS series; a
   machine whose running BIOS has reached the threshold of its series is flashed with the secure
   capsule image. Brevane reads settings.ini with the system's profile functions, the DOS
   program with dz_ini_string; the choice, its log lines and its messages are made here. */

#include <stddef.h>
#include <stdint.h>

#include "dz_versions.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Where the log lines go (tag, text); a trace gets no tag. */
typedef void (*dz_log_sink)(void* context, const char* tag, const char* text);

/* A value's room: under DOS a short one; elsewhere what the system's profile functions read
   (4,095 characters), so that the choice cuts nothing Brevane takes. */
#ifdef DZ_DOS
#define DZ_SETTING_TEXT 96
#else
#define DZ_SETTING_TEXT 4096
#endif

/* The [settings] keys the choice reads. A text is "" when absent and stays valid until the choice
   returns; the choice asks for at most four texts. */
typedef struct dz_settings {
    const char* (*text)(void* context, const char* key);
    int32_t (*number)(void* context, const char* key, int32_t defaultValue);
    void* context;
} dz_settings;

/* A value of `key` in `[section]` of INI text (names ignore case; blanks around the value and a
   pair of double quotes around it are dropped; ';' starts a comment line). 1 when found. */
int dz_ini_string(const char* ini, const char* section, const char* key, char* out, size_t size);
/* The decimal value of a key, or `defaultValue` when the key is absent. */
int32_t dz_ini_int(const char* ini, const char* section, const char* key, int32_t defaultValue);

/* 1 when `current` is below the threshold of its series, 0 when not, -1 when no comparison is
   possible (`message`, DZ_VERSION_MESSAGE bytes, set; otherwise untouched). Thresholds match by
   series letter, X first. `trace` (may be null) follows the steps for the developer option. */
int dz_is_below_secure_version(const char* current, const char* a, const char* x, int32_t tEnabled, const char* t,
                               char* message, dz_log_sink log, dz_log_sink trace, void* context);

/* Reads the secure-flash keys from `settings` and, when the running version has reached the
   threshold of its series, points *capsule at the capsule file's name (else leaves it). 1:
   selection is off; -1: a required threshold is missing; 0: a comparison was made, whatever its
   outcome. */
int dz_choose_secure_flash(const dz_settings* settings, const char* current, const char** capsule, dz_log_sink log,
                           dz_log_sink trace, void* context);

/* The choice on settings.ini's text `ini` (NULL or "" when there is none): may replace `image`
   (`size` bytes) by the secure capsule file; answers as dz_choose_secure_flash. */
int dz_select_secure_flash(const char* ini, const char* current, char* image, size_t size, dz_log_sink log,
                           void* context);

#ifdef __cplusplus
}
#endif

#endif
