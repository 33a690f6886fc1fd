#ifndef DOS_CORE_DZ_EXIT_CODES_H
#define DOS_CORE_DZ_EXIT_CODES_H
/* The exit codes Brevane ends with (the DOS program ends with the same ones for the same
   outcomes), and the meaning of each as the result report and the "/?" box state it. */

#ifdef __cplusplus
extern "C" {
#endif

#define DZ_EXIT_SUCCESS 0
#define DZ_EXIT_BIOS_FAILED 1
#define DZ_EXIT_VERSION_REFUSED 2
#define DZ_EXIT_NO_SYSTEM_INFO 4
#define DZ_EXIT_NOT_ADMIN 8
#define DZ_EXIT_AFFINITY_FAILED 9
#define DZ_EXIT_OPTION_MISSING 11
#define DZ_EXIT_IMAGE_MISSING 12
#define DZ_EXIT_NOT_UPDATED 13
#define DZ_EXIT_WRONG_SYSTEM 14 /* also the code a run holds until a step decides */
#define DZ_EXIT_POWER_REFUSED 15
#define DZ_EXIT_BITLOCKER_REFUSED 16
#define DZ_EXIT_ME_FAILED 31
#define DZ_EXIT_ME_UNAVAILABLE 32
#define DZ_EXIT_ME_DRIVER_FAILED 33

struct dz_exit_code {
    int code;
    const char* meaning;
};

/* Every code Brevane ends with, in ascending order; `*count` receives their number. */
const struct dz_exit_code* dz_exit_codes(unsigned* count);
/* The meaning of `code`, or "Unknown exit code" for a value Brevane never ends with. */
const char* dz_exit_code_meaning(int code);

#ifdef __cplusplus
}
#endif

#endif
