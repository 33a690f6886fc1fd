#include "dz_smbios.h"

static int sums_to_zero(const uint8_t* bytes, unsigned count) {
    uint8_t sum = 0;
    while (count--) sum = (uint8_t)(sum + *bytes++);
    return sum == 0;
}

static uint32_t le32(const uint8_t* p) {
    return (uint32_t)p[0] | ((uint32_t)p[1] << 8) | ((uint32_t)p[2] << 16) | ((uint32_t)p[3] << 24);
}

static int same(const uint8_t* bytes, const char* text, unsigned count) {
    for (unsigned i = 0; i < count; i++)
        if (bytes[i] != (uint8_t)text[i]) return 0;
    return 1;
}

/* A 2.x entry point: length at 5 (0x1F, or 0x1E in some 2.1 firmware), checksum over it, the
   intermediate "_DMI_" part at 0x10 with its own checksum over 15 bytes. */
static int read_v2(const uint8_t* e, uint32_t at, dz_smbios_entry* entry) {
    uint8_t length = e[5];
    if (length < 0x1E || length > 0x20 || !sums_to_zero(e, length)) return 0;
    if (!same(e + 0x10, "_DMI_", 5) || !sums_to_zero(e + 0x10, 15)) return 0;
    entry->entryAddress = at;
    entry->major = e[6];
    entry->minor = e[7];
    entry->tableLength = (uint32_t)e[0x16] | ((uint32_t)e[0x17] << 8);
    entry->tableAddress = le32(e + 0x18);
    entry->is64 = 0;
    return entry->tableLength != 0;
}

/* A 3.x entry point: length at 6 (0x18), checksum over it, the table's maximum size at 0x0C
   and its 64-bit address at 0x10. */
static int read_v3(const uint8_t* e, uint32_t at, dz_smbios_entry* entry) {
    uint8_t length = e[6];
    if (length < 0x18 || length > 0x20 || !sums_to_zero(e, length)) return 0;
    if (le32(e + 0x14) != 0) return 0; /* above 4 GiB: out of reach */
    entry->entryAddress = at;
    entry->major = e[7];
    entry->minor = e[8];
    entry->tableLength = le32(e + 0x0C);
    entry->tableAddress = le32(e + 0x10);
    entry->is64 = 1;
    return entry->tableLength != 0;
}

int dz_find_smbios_entry(dz_area_reader read, void* context, dz_smbios_entry* entry) {
    uint8_t e[32];
    dz_smbios_entry v3;
    int haveV3 = 0;
    for (uint32_t offset = 0; offset + sizeof e <= DZ_SMBIOS_AREA_SIZE; offset += 16) {
        if (!read(context, offset, e, sizeof e)) return 0;
        if (same(e, "_SM_", 4) && read_v2(e, DZ_SMBIOS_AREA_BASE + offset, entry)) return 1;
        if (!haveV3 && same(e, "_SM3_", 5) && read_v3(e, DZ_SMBIOS_AREA_BASE + offset, &v3)) haveV3 = 1;
    }
    if (haveV3) *entry = v3;
    return haveV3;
}

static void descriptor(uint8_t* d, uint32_t base) {
    d[0] = 0xFF; /* limit 0xFFFF */
    d[1] = 0xFF;
    d[2] = (uint8_t)base;
    d[3] = (uint8_t)(base >> 8);
    d[4] = (uint8_t)(base >> 16);
    d[5] = 0x93; /* present, data, read/write, accessed */
    d[6] = 0x00;
    d[7] = (uint8_t)(base >> 24); /* used by 386 and later BIOSes */
}

void dz_block_move_table(uint8_t table[48], uint32_t source, uint32_t target) {
    for (unsigned i = 0; i < 48; i++) table[i] = 0;
    descriptor(table + 16, source);
    descriptor(table + 24, target);
}
