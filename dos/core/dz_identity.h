#ifndef DOS_CORE_DZ_IDENTITY_H
#define DOS_CORE_DZ_IDENTITY_H
/* The machine's identity from its SMBIOS structure table, for Brevane and the DOS program (the
   first BIOS Information, System Information and Zera OEM structure each count once; every
   field read from inside its structure's formatted area and every string ending inside the
   table), and the check of it against the /ZeraID list. */

#include <stdint.h>

#include "dz_exit_codes.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Room for each identity string: the DOS program keeps the first 64 characters; Brevane room for
   any string a table of 16-bit length can hold. */
#ifdef DZ_DOS
#define DZ_IDENTITY_TEXT 65
#else
#define DZ_IDENTITY_TEXT 65536
#endif

typedef struct dz_identity {
    char biosVersion[DZ_IDENTITY_TEXT]; /* longer strings are cut (DOS only) */
    char manufacturer[DZ_IDENTITY_TEXT];
    char productName[DZ_IDENTITY_TEXT];
    uint16_t zeraId;
} dz_identity;

/* Reads the identity of the first `length` bytes of `table` (only 16 bits of it count, as in
   Brevane's reader). Fields not found stay empty or 0. */
void dz_read_identity(const uint8_t* table, uint32_t length, dz_identity* identity);

enum {
    DZ_ID_OK = DZ_EXIT_SUCCESS,
    DZ_ID_NO_ZERA_ID_OPTION = DZ_EXIT_OPTION_MISSING,
    DZ_ID_WRONG_SYSTEM = DZ_EXIT_WRONG_SYSTEM
};

/* The system check of a machine with this manufacturer and system ID against the /ZeraID list
   (only the low 16 bits of each ID count): DZ_ID_OK, or a refusal with its message.
   `listMismatch` (may be null) is set when the system's ID matched none of the list: the caller
   then logs the current and the wanted IDs. */
int dz_check_identity(const char* manufacturer, uint16_t zeraId, const uint32_t* ids, int count, const char** message,
                      int* listMismatch);

#ifdef __cplusplus
}
#endif

#endif
