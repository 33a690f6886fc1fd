// Fuzzes the SMBIOS identity walk (the one Brevane and the DOS program share) and the firmware
// buffer's header on arbitrary input, both as the firmware table service delivers it and as a
// bare table. The input is copied into a buffer of its exact size so that any read past the
// table's end is caught by ASan.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "dos/core/dz_identity.h"
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

    // The same bytes as a bare table; every string found must end inside it.
    std::vector<unsigned char> bare(data, data + size);
    CSystemInfo bareInfo;
    ReadSystemIdentity(bare.empty() ? nullptr : bare.data(), static_cast<uint32_t>(bare.size()), bareInfo);
    for (const std::string* text : {&bareInfo.SystemBiosVersion, &bareInfo.SystemManufacturer,
                                    &bareInfo.SystemProductName})
        if (text->size() >= bare.size() && !text->empty()) __builtin_trap();
    // The check never fails to give a message.
    const char* message = nullptr;
    (void)dz_check_identity(bareInfo.SystemManufacturer.c_str(), bareInfo.SystemZeraID, nullptr, 0, &message, nullptr);
    if (!message) __builtin_trap();
    return 0;
}
