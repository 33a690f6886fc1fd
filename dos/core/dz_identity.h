#ifndef DOS_CORE_DZ_IDENTITY_H
#define DOS_CORE_DZ_IDENTITY_H
/* The machine's identity from its SMBIOS structure table, walked with Brevane's rules (the
   first BIOS Information, System Information and Zera OEM structure each count once; every
   field read from inside its structure's formatted area and every string ending inside the
   table), and Brevane's check of it against the /ZeraID list. */

#include <stdint.h>

#include "dz_exit_codes.h"

#ifdef __cplusplus
extern "C" {
#endif

#define DZ_IDENTITY_TEXT 65

typedef struct dz_identity {
    char biosVersion[DZ_IDENTITY_TEXT]; /* longer strings are cut */
    char manufacturer[DZ_IDENTITY_TEXT];
    char productName[DZ_IDENTITY_TEXT];
    uint16_t zeraId;
} dz_identity;

/* Reads the identity of the first `length` bytes of `table` (only 16 bits of it count, as in
   Brevane's reader). Fields not found stay empty or 0. */
void dz_read_identity(const uint8_t* table, uint32_t length, dz_identity* identity);

enum { DZ_ID_OK = DZ_EXIT_SUCCESS, DZ_ID_NO_ZERA_ID_OPTION = DZ_EXIT_OPTION_MISSING, DZ_ID_WRONG_SYSTEM = DZ_EXIT_WRONG_SYSTEM };

/* Brevane's system check: DZ_ID_OK, or a refusal with its message. `listMismatch` (may be
   null) is set when the system's ID matched none of the list: the caller then logs the
   current and the wanted IDs as Brevane does. */
int dz_check_identity(const dz_identity* identity, const uint32_t* ids, int count, const char** message,
                      int* listMismatch);

#ifdef __cplusplus
}
#endif

#endif
