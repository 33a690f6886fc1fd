#include "system_table.h"

#include "core/dz_smbios.h"
#include "dosapi.h"

#ifndef DZ_SIMULATION

static int read_area(void* context, uint32_t offset, uint8_t* into, unsigned count) {
    (void)context;
    dos_copy_from_far(into, 0xF000, (uint16_t)offset, count);
    return 1;
}

/* Copies physical memory into the data segment: directly below 1 MiB, with int 15h AH=87h
   above it. */
static int copy_physical(uint32_t from, uint8_t* into, unsigned count) {
    if (from + count <= 0xA0000uL) {
        dos_copy_from_far(into, (uint16_t)(from >> 4), (uint16_t)(from & 15u), count);
        return 1;
    }
    static uint8_t table[48];
    dz_block_move_table(table, from, ((uint32_t)dos_data_segment() << 4) + (uint16_t)(uintptr_t)into);
    dos_regs r = {0};
    r.ax = 0x8700;
    r.cx = (uint16_t)((count + 1) / 2);
    r.es = dos_data_segment();
    r.si = (uint16_t)(uintptr_t)table;
    r.ds = dos_data_segment();
    bios_int15(&r);
    return !(r.flags & 1u) && (r.ax >> 8) == 0;
}

uint32_t system_table_read(uint8_t* into, const char** error) {
    dz_smbios_entry entry;
    if (!dz_find_smbios_entry(read_area, 0, &entry)) {
        *error = "SMBIOS entry point not found";
        return 0;
    }
    uint32_t length = entry.tableLength < SYSTEM_TABLE_LIMIT ? entry.tableLength : SYSTEM_TABLE_LIMIT;
    if (!copy_physical(entry.tableAddress, into, (unsigned)length)) {
        *error = "SMBIOS table read ERR";
        return 0;
    }
    return length;
}

void system_restart(void) { machine_restart(); }

#else /* simulation: the table file named by the profile's [platform] smbios key */

#include "core/dz_text.h"
#include "self_file.h"

static int read_line(int file, char* line, unsigned size) {
    unsigned n = 0;
    char c;
    int got = 0;
    while ((got = dos_read(file, &c, 1)) == 1 && c != '\n')
        if (c != '\r' && n + 1 < size) line[n++] = c;
    line[n] = '\0';
    return got == 1 || n > 0;
}

static char* trim(char* text) {
    while (*text == ' ' || *text == '\t') text++;
    size_t n = dz_strlen(text);
    while (n > 0 && (text[n - 1] == ' ' || text[n - 1] == '\t')) text[--n] = '\0';
    return text;
}

static int profile_value(const char* key, char* value, unsigned size) {
    char path[DOS_PATH_SIZE], line[160];
    if (!self_getenv("BREVANE_SIM_PROFILE", path, sizeof path)) return 0;
    int file = dos_open_read(path);
    if (file < 0) return 0;
    int inPlatform = 0, found = 0;
    while (!found && read_line(file, line, sizeof line)) {
        char* text = trim(line);
        if (text[0] == '[') {
            inPlatform = dz_stricmp(text, "[platform]") == 0;
        } else if (inPlatform) {
            char* equals = text;
            while (*equals && *equals != '=') equals++;
            if (!*equals) continue;
            *equals = '\0';
            if (dz_stricmp(trim(text), key) == 0) {
                dz_copy(value, size, trim(equals + 1));
                found = 1;
            }
        }
    }
    (void)dos_close(file);
    return found;
}

uint32_t system_table_read(uint8_t* into, const char** error) {
    char path[DOS_PATH_SIZE];
    uint8_t header[8];
    *error = "SMBIOS entry point not found";
    if (!profile_value("smbios", path, sizeof path)) return 0;
    int file = dos_open_read(path);
    if (file < 0) return 0;
    uint32_t length = 0;
    if (dos_read(file, header, 8) == 8) {
        length = (uint32_t)header[4] | ((uint32_t)header[5] << 8) | ((uint32_t)header[6] << 16) |
                 ((uint32_t)header[7] << 24);
        if (length > SYSTEM_TABLE_LIMIT) length = SYSTEM_TABLE_LIMIT;
        int got = dos_read(file, into, (unsigned)length);
        length = got < 0 ? 0 : (uint32_t)got;
    }
    (void)dos_close(file);
    if (length == 0) *error = "SMBIOS table read ERR";
    return length;
}

/* A restart is recorded, not done: "RebootDOS" appended to the profile's reboot_log file. */
void system_restart(void) {
    char path[DOS_PATH_SIZE];
    if (!profile_value("reboot_log", path, sizeof path)) return;
    int file = dos_open_write(path);
    if (file < 0) file = dos_create(path);
    if (file < 0) return;
    uint32_t end;
    (void)dos_seek_end(file, &end);
    dos_write_text(file, "RebootDOS\r\n");
    (void)dos_close(file);
}

#endif
