// The DOS program's SMBIOS entry-point scan over planted images of F0000h-FFFFFh, and the block
// move's descriptor table, executed by a small model of int 15h AH=87h on a planted memory.
#include "dos/core/dz_smbios.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

using Area = std::vector<uint8_t>;

int ReadArea(void* context, uint32_t offset, uint8_t* into, unsigned count) {
    const Area* area = static_cast<const Area*>(context);
    if (offset + count > area->size()) return 0;
    std::memcpy(into, area->data() + offset, count);
    return 1;
}

void Fix(uint8_t* bytes, unsigned count, unsigned checksumAt) {
    bytes[checksumAt] = 0;
    uint8_t sum = 0;
    for (unsigned i = 0; i < count; ++i) sum = static_cast<uint8_t>(sum + bytes[i]);
    bytes[checksumAt] = static_cast<uint8_t>(-sum);
}

void PlantV2(Area* area, uint32_t at, uint32_t table, uint16_t length) {
    uint8_t* e = area->data() + at;
    std::memset(e, 0, 0x1F);
    std::memcpy(e, "_SM_", 4);
    e[5] = 0x1F;
    e[6] = 2;
    e[7] = 7;
    std::memcpy(e + 0x10, "_DMI_", 5);
    e[0x16] = static_cast<uint8_t>(length);
    e[0x17] = static_cast<uint8_t>(length >> 8);
    for (int i = 0; i < 4; ++i) e[0x18 + i] = static_cast<uint8_t>(table >> (8 * i));
    Fix(e + 0x10, 15, 5);
    Fix(e, 0x1F, 4);
}

void PlantV3(Area* area, uint32_t at, uint64_t table, uint32_t length) {
    uint8_t* e = area->data() + at;
    std::memset(e, 0, 0x18);
    std::memcpy(e, "_SM3_", 5);
    e[6] = 0x18;
    e[7] = 3;
    e[8] = 2;
    for (int i = 0; i < 4; ++i) e[0x0C + i] = static_cast<uint8_t>(length >> (8 * i));
    for (int i = 0; i < 8; ++i) e[0x10 + i] = static_cast<uint8_t>(table >> (8 * i));
    Fix(e, 0x18, 5);
}

TEST(DosSmbiosScan, FindsOnlyValidAlignedEntryPoints) {
    struct Case {
        const char* what;
        void (*plant)(Area*);
        bool found;
        uint32_t entry, table, length;
        bool is64;
    } cases[] = {
        {"2.x entry point", [](Area* a) { PlantV2(a, 0xE830, 0x7FF0000, 0x1234); }, true, 0xFE830, 0x7FF0000, 0x1234, false},
        {"the last paragraph that holds one", [](Area* a) { PlantV2(a, 0xFFE0, 0xE0000, 0x80); }, true, 0xFFFE0, 0xE0000, 0x80, false},
        {"3.x entry point only", [](Area* a) { PlantV3(a, 0x100, 0x9000000, 0x4000); }, true, 0xF0100, 0x9000000, 0x4000, true},
        {"2.x preferred to an earlier 3.x", [](Area* a) { PlantV3(a, 0x100, 0x1000, 1); PlantV2(a, 0x200, 0x2000, 2); },
         true, 0xF0200, 0x2000, 2, false},
        {"not on a 16-byte boundary", [](Area* a) { PlantV2(a, 0x208, 0x2000, 2); }, false, 0, 0, 0, false},
        {"entry checksum broken", [](Area* a) { PlantV2(a, 0x200, 0x2000, 2); (*a)[0x200 + 0x1E] ^= 1; }, false, 0, 0, 0, false},
        // One more in the _DMI_ part, one less before it: only the intermediate checksum breaks.
        {"_DMI_ checksum broken", [](Area* a) { PlantV2(a, 0x200, 0x2000, 2); (*a)[0x216]++; (*a)[0x208]--; },
         false, 0, 0, 0, false},
        {"a broken one before a good one", [](Area* a) { PlantV2(a, 0x200, 0x1000, 1); (*a)[0x218] ^= 1; PlantV2(a, 0x400, 0x3000, 3); },
         true, 0xF0400, 0x3000, 3, false},
        {"3.x table above 4 GiB", [](Area* a) { PlantV3(a, 0x100, 0x100000000ULL, 0x4000); }, false, 0, 0, 0, false},
        {"empty table", [](Area* a) { PlantV2(a, 0x200, 0x2000, 0); }, false, 0, 0, 0, false},
        {"nothing there (as in DOSBox)", [](Area*) {}, false, 0, 0, 0, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Area area(DZ_SMBIOS_AREA_SIZE, 0);
        c.plant(&area);
        dz_smbios_entry entry{};
        ASSERT_EQ(c.found ? 1 : 0, dz_find_smbios_entry(&ReadArea, &area, &entry));
        if (!c.found) continue;
        EXPECT_EQ(c.entry, entry.entryAddress);
        EXPECT_EQ(c.table, entry.tableAddress);
        EXPECT_EQ(c.length, entry.tableLength);
        EXPECT_EQ(c.is64 ? 1 : 0, entry.is64);
    }
}

// What int 15h AH=87h does with the table: moves `words` words between the bases of the
// source and target descriptors.
void BlockMove(std::vector<uint8_t>* memory, const uint8_t table[48], unsigned words) {
    auto base = [&](const uint8_t* d) {
        EXPECT_EQ(0x93, d[5]);
        EXPECT_EQ(0xFFFF, d[0] | (d[1] << 8));
        return static_cast<uint32_t>(d[2]) | (d[3] << 8) | (d[4] << 16) | (static_cast<uint32_t>(d[7]) << 24);
    };
    for (int i = 0; i < 16; ++i) EXPECT_EQ(0, table[i]);          // null and GDT descriptors: the BIOS's
    for (int i = 32; i < 48; ++i) EXPECT_EQ(0, table[i]);         // BIOS code and stack: the BIOS's
    std::memmove(memory->data() + base(table + 24), memory->data() + base(table + 16), 2u * words);
}

TEST(DosSmbiosBlockMove, CopiesATableFromAboveOneMegabyteIntoConventionalMemory) {
    std::vector<uint8_t> memory(0x1200000, 0xEE);  // 18 MiB of planted memory
    const uint32_t table = 0x11ABCDE, buffer = 0x12340;
    std::string planted = "structure table bytes, an odd count";
    std::memcpy(memory.data() + table, planted.data(), planted.size());
    uint8_t gdt[48];
    dz_block_move_table(gdt, table, buffer);
    BlockMove(&memory, gdt, static_cast<unsigned>((planted.size() + 1) / 2));
    EXPECT_EQ(planted, std::string(reinterpret_cast<char*>(memory.data() + buffer), planted.size()));

    dz_block_move_table(gdt, 0xFEDC1234u, 0x500);  // a table near 4 GiB: the fourth base byte
    EXPECT_EQ(0xFE, gdt[16 + 7]);
    EXPECT_EQ(0xDC, gdt[16 + 4]);
    EXPECT_EQ(0x00, gdt[24 + 7]);
    EXPECT_EQ(0x05, gdt[24 + 3]);
}

}  // namespace
