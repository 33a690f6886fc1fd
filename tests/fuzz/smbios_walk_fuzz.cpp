// Fuzzes the SMBIOS structure walk, the field and string reads and the identity extraction on
// arbitrary tables. The input is copied into a buffer of its exact size so that any read past the
// table's end is caught by ASan.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "updater/platform/dmi_body.h"
#include "updater/platform/smbios_sources.h"
#include "updater/platform/system_info.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // As the firmware table service delivers it: header, then the table.
    std::vector<unsigned char> raw(data, data + size);
    const unsigned char* table = nullptr;
    uint32_t length = 0;
    TableFromFirmwareBuffer(raw, raw.size(), table, length);
    CSystemInfo info;
    ReadSystemIdentity(table, length, info);

    // The same bytes as a bare table: walk every structure and read each field and string.
    std::vector<unsigned char> bare(data, data + size);
    CDmiBody body;
    body.SetTableLength(static_cast<uint32_t>(bare.size()));
    body.SetTable(bare.empty() ? nullptr : bare.data());
    uint32_t position = 0;
    uint8_t type = 0, formatted = 0;
    uint16_t handle = 0, end = 0;
    size_t steps = 0;
    while (position <= 0xFFFF &&
           body.NextStructure(static_cast<uint16_t>(position), &type, &formatted, &handle, &end) == 0) {
        const uint16_t at = static_cast<uint16_t>(position);
        for (unsigned offset = 0; offset < formatted; ++offset) {
            if (const char* text = body.GetString(at, static_cast<uint8_t>(offset))) {
                volatile size_t n = std::strlen(text);
                (void)n;
            }
            uint16_t word = 0;
            (void)body.ReadWord(at, static_cast<uint8_t>(offset), &word);
        }
        if (end < position) __builtin_trap();  // the walk must always advance
        position = static_cast<uint32_t>(end) + 1;
        if (++steps > size) __builtin_trap();
    }
    // Lookups at arbitrary positions, as a damaged chain could hand them over.
    const size_t probe = bare.size() < 256 ? bare.size() : 256;
    for (size_t at = 0; at < probe; ++at) {
        for (uint8_t offset = 0; offset < 8; ++offset) {
            if (const char* text = body.GetString(static_cast<uint16_t>(at), offset)) {
                volatile size_t n = std::strlen(text);
                (void)n;
            }
        }
    }
    return 0;
}
