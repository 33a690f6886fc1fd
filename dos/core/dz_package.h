#ifndef DOS_CORE_DZ_PACKAGE_H
#define DOS_CORE_DZ_PACKAGE_H
/* The package behind the program image, read as the Windows reader reads it: the last
   occurrence of the signature's first 11 bytes (never inside the PE certificate table), the
   version and table-of-contents offset before it, "!TOC", flags, reserved, four commands, the
   count and the records. Offsets beyond 4 GiB are refused: DOS files cannot reach them. The
   entries the DOS program extracts (platform bit 0) are kept, at most DZ_MAX_ENTRIES. */

#include <stdint.h>

#include "dz_layout.h"
#include "dz_toc.h"

#ifdef __cplusplus
extern "C" {
#endif

#define DZ_ERROR_SIZE 96
#define DZ_COMMAND_SIZE (DZ_COMMAND_FIELD + 1) /* a command may fill its field without a NUL */
#define DZ_MAX_ENTRIES 40

typedef struct dz_entry {
    char name[13]; /* a DOS 8.3 name */
    uint32_t size;
    uint32_t compressedSize;
    uint32_t dataOffset;
    uint32_t attributes;
} dz_entry;

typedef struct dz_package {
    dz_offset signatureAt;
    dz_offset tocOffset;
    uint32_t flags;
    uint32_t reserved;
    char dosCommand[DZ_COMMAND_SIZE];
    uint32_t count;       /* records in the table */
    unsigned dosCount;    /* entries kept below */
    dz_entry entries[DZ_MAX_ENTRIES];
} dz_package;

enum { DZ_PKG_OK = 0, DZ_PKG_UNREADABLE = 20, DZ_PKG_REFUSED_ENTRY = 22 };

/* Where the signature search ends (dz_signature_scan_end): before the certificate table named
   by the file's own PE header when there is one inside the file, else at the file's end. */
dz_offset dz_search_limit(const dz_source* source);

/* The last position whose 11 bytes, ending at or before `limit`, equal the signature's first 11; 1 found,
   0 not, -1 a read error. Reads backwards through `scratch`, which must hold more than 11 bytes. */
int dz_find_signature(const dz_source* source, dz_offset limit, uint8_t* scratch, unsigned scratchSize,
                      dz_offset* position);

/* Opens the package and reads its table: DZ_PKG_OK, DZ_PKG_UNREADABLE (signature, version,
   table, truncation; the reason in `error`) or DZ_PKG_REFUSED_ENTRY (a DOS entry whose name is
   not a plain 8.3 name, too many DOS entries, or offsets past 4 GiB). */
int dz_read_package(const dz_source* source, dz_package* package, char error[DZ_ERROR_SIZE]);

#ifdef __cplusplus
}
#endif

#endif
