#ifndef DOS_CORE_DZ_SMBIOS_H
#define DOS_CORE_DZ_SMBIOS_H
/* Where the firmware keeps its SMBIOS structure table, found as DOS must find it: an entry
   point on a 16-byte boundary in F0000h-FFFFFh, and the table copied into conventional memory
   with the BIOS block move (int 15h AH=87h), since it often lies above 1 MiB. */

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#define DZ_SMBIOS_AREA_BASE 0xF0000uL
#define DZ_SMBIOS_AREA_SIZE 0x10000uL

typedef struct dz_smbios_entry {
    uint32_t entryAddress;  /* physical address of the entry point found */
    uint32_t tableAddress;  /* physical address of the structure table */
    uint32_t tableLength;   /* its length (SMBIOS 3: the maximum size) */
    uint8_t major, minor;
    uint8_t is64;           /* found through "_SM3_" */
} dz_smbios_entry;

/* Reads `count` bytes at `offset` of the 64 KiB area into `into`; 0 when it could not. */
typedef int (*dz_area_reader)(void* context, uint32_t offset, uint8_t* into, unsigned count);

/* Scans the area for a "_SM_" entry point (with its "_DMI_" part) whose checksums hold, else an
   "_SM3_" one whose table lies below 4 GiB. 1 found, 0 not. */
int dz_find_smbios_entry(dz_area_reader read, void* context, dz_smbios_entry* entry);

/* The descriptor table int 15h AH=87h takes (six 8-byte descriptors), for moving bytes from
   physical `source` to physical `target`: data segments with a 64 KiB limit. */
void dz_block_move_table(uint8_t table[48], uint32_t source, uint32_t target);

#ifdef __cplusplus
}
#endif

#endif
