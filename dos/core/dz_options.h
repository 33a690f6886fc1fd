#ifndef DOS_CORE_DZ_OPTIONS_H
#define DOS_CORE_DZ_OPTIONS_H
/* How the options are read from a command line split into arguments, for Brevane and the DOS
   program: only "/" opens an option, named by the whole rest of its argument in any ASCII case;
   the arguments after it up to the next option are its values; the first occurrence of a name
   counts, and a text option takes its first value. Brevane splits with the system's rules and
   keeps its texts whole; the DOS program splits with the same rules itself (values in double
   quotes keep their blanks) and reads the options that apply without Windows into fixed fields. */

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

/* The arguments of a command line, in order, as a splitter gave them. */
typedef struct dz_args {
    const char* const* items;
    unsigned count;
} dz_args;

/* The index of the first argument "/name", or -1. */
int dz_find_option(const dz_args* args, const char* name);
/* The first value of "/name"; "" when the option is absent or has no value. */
const char* dz_option_text(const dz_args* args, const char* name);
/* The system IDs of /ZeraID: each value in radix 16, and one ID 0 when it has no value. Stores
   the first `capacity` of them in `ids` and answers how many there are (0 without /ZeraID). */
unsigned dz_zera_ids(const dz_args* args, uint32_t* ids, unsigned capacity);

/* A value as an unsigned 32-bit number in `radix` (2 to 36, else 0): leading white space
   skipped, "0x" accepted in radix 16, up to the first character that is no digit of the radix;
   saturates at 0xFFFFFFFF; "" gives 0. */
uint32_t dz_unsigned_value(const char* text, unsigned radix);

/* The DOS command, a blank and the program's own tail (either may be empty), cut to fit. */
void dz_join_command(const char* dosCommand, const char* ownTail, char out[DZ_COMMAND_LINE]);

/* Reads the options of `commandLine` into `options` (cleared first). Values longer than a
   field are cut. */
void dz_parse_options(const char* commandLine, dz_options* options);

#ifdef __cplusplus
}
#endif

#endif
