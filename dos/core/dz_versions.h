#ifndef DOS_CORE_DZ_VERSIONS_H
#define DOS_CORE_DZ_VERSIONS_H
/* The BIOS and ME version rules of Brevane and the DOS program (Brevane reaches them through
   updater/platform/version_rules). Messages go into a buffer of DZ_VERSION_MESSAGE bytes: the
   longest is under 80, since a version quoted in one is shorter than 3 characters. */

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#define DZ_VERSION_MESSAGE 160

/* strtol in base 10 with 32-bit saturation; *end is where reading stopped (start when no
   digits). */
int32_t dz_read_decimal32(const char* start, const char** end);
/* -1 invalid, 1 letter form (A05), 2 dotted form (1.2.3). */
int dz_bios_version_format(const char* version);
/* -1 invalid (message set), 0 new is newer or not compared, 1 same, 2 new is older. */
int dz_compare_bios_version(const char* current, const char* newVersion, char* message);
/* -1 invalid input, 0 not below its series' threshold, 1 below it. */
int dz_is_below_compatible_version(const char* current, const char* thresholdA, const char* thresholdX, char* message);
/* -1 invalid (message set), 0 new is newer, 1 same, 2 new is older; "No Error" otherwise. */
int dz_compare_me_version(const char* current, const char* newVersion, char* message);

#ifdef __cplusplus
}
#endif

#endif
