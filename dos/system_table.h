#ifndef DOS_SYSTEM_TABLE_H
#define DOS_SYSTEM_TABLE_H
/* The SMBIOS structure table under DOS: from the firmware (the entry point in F0000h-FFFFFh,
   the table copied with the BIOS block move), or in a simulation build from the table file the
   simulation profile names. */

#include <stdint.h>

#define SYSTEM_TABLE_LIMIT 16384u /* bytes kept; a longer table is walked up to here */

/* The table into `into` (SYSTEM_TABLE_LIMIT + 2 bytes); its length, or 0 with the reason in
   `error`. */
uint32_t system_table_read(uint8_t* into, const char** error);

/* Restarts the machine (the simulation build records the restart in the profile instead and
   returns). */
void system_restart(void);

#endif
