#ifndef DOS_SCRATCH_H
#define DOS_SCRATCH_H
/* Memory that the program's phases take in turn, so that code, data and stack fit one segment:
   the inflater's stream while extracting, then the SMBIOS table while the machine is checked,
   then settings.ini and the tool output with what it says. */

#include "core/dz_inflate.h"
#include "core/dz_toolout.h"
#include "system_table.h"

/* settings.ini is read whole: it takes the room the SMBIOS table leaves in the area (a longer
   file is refused, never cut). */
#define SCRATCH_SETTINGS_SIZE 12288

typedef union dos_scratch {
    dz_stream stream;
    uint8_t table[SYSTEM_TABLE_LIMIT + 2];
    struct {
        char settings[SCRATCH_SETTINGS_SIZE];
        char chunk[DZ_TOOL_CHUNK + 1];
        dz_tool_output output;
        char meVersion[DZ_TOOL_LINE]; /* the running ME version, from the query to the ME flash */
    } tools;
} dos_scratch;

_Static_assert(sizeof(((dos_scratch*)0)->tools) <= sizeof(((dos_scratch*)0)->table),
               "the tool phase must not need more room than the SMBIOS table");

extern dos_scratch g_scratch;

#endif
