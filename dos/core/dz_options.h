#ifndef DOS_CORE_DZ_OPTIONS_H
#define DOS_CORE_DZ_OPTIONS_H
/* The update's options under DOS: the package's DOS command followed by the program's own
   arguments, split and read by Brevane's rules (only "/" opens an option, names ignore case,
   the first occurrence and its first value count, values in double quotes keep their blanks).
   Only the options that apply without Windows are read. */

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#define DZ_OPTION_TEXT 80
#define DZ_MAX_ZERA_IDS 16
#define DZ_COMMAND_LINE 400

typedef struct dz_options {
    char biosRomFile[DZ_OPTION_TEXT], biosVer[DZ_OPTION_TEXT];
    char meRomFile[DZ_OPTION_TEXT], meVer[DZ_OPTION_TEXT];
    char logFile[DZ_OPTION_TEXT], ca[DZ_OPTION_TEXT], cx[DZ_OPTION_TEXT];
    uint32_t zeraIds[DZ_MAX_ZERA_IDS];
    int zeraCount; /* 0 when /ZeraID is absent; extra IDs beyond the array are dropped */
    uint8_t forceIt, noPause, noReboot, meupd, amd, meUpdV1;
} dz_options;

/* The DOS command, a blank and the program's own tail (either may be empty), cut to fit. */
void dz_join_command(const char* dosCommand, const char* ownTail, char out[DZ_COMMAND_LINE]);

/* Reads the options of `commandLine` into `options` (cleared first). Values longer than a
   field are cut. */
void dz_parse_options(const char* commandLine, dz_options* options);

/* A value in radix 16: leading blanks skipped, an optional 0x, up to the first non-digit;
   saturates at 0xFFFFFFFF. */
uint32_t dz_hex_value(const char* text);

#ifdef __cplusplus
}
#endif

#endif
