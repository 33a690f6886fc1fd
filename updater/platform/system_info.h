#pragma once
// The machine's identity from its SMBIOS table: manufacturer, product name, running BIOS version
// and Zera system ID. Written once at start-up by GetSystemInfo, only read afterwards.

#include <cstdint>
#include <string>
#include <vector>

struct CSystemInfo {
    std::string SystemManufacturer;
    std::string SystemProductName;
    std::string SystemBiosVersion;  // the current BIOS version everywhere in the program
    uint16_t SystemZeraID = 0;
};

extern CSystemInfo theSystemInfo;

// The SMBIOS structure types and offsets the identity comes from.
namespace smbios {
constexpr uint8_t kTypeBiosInformation = 0;
constexpr uint8_t kTypeSystemInformation = 1;
constexpr uint8_t kTypeZeraOem = 0xD0;
constexpr uint8_t kBiosVersionOffset = 0x05;
constexpr uint8_t kManufacturerOffset = 0x04;
constexpr uint8_t kProductNameOffset = 0x05;
constexpr uint8_t kZeraIdOffset = 0x08;
}  // namespace smbios

// Walks the structure table (only the low 16 bits of `length` count) with the DOS program's walk
// (dos/core/dz_identity) and fills `info` from the first structure of each identity type. Later
// structures of a type are ignored; values that cannot be found are empty or 0; a damaged chain
// ends the walk where it breaks.
void ReadSystemIdentity(const unsigned char* table, uint32_t length, CSystemInfo& info);

// Fetches the table (firmware table service first, then WMI), fills theSystemInfo and answers 1;
// 0 when both sources failed, `error` then holding the last source's reason. (Windows only.)
[[nodiscard]] int GetSystemInfo(std::string& error);

// The two sources. Each clears its outputs first; on success `buffer` owns the bytes that `table`
// points into and `length` is the usable table length. 1 on success, 0 with `message` set.
// (Windows only.)
[[nodiscard]] int LoadDmiBodyFromFirmwareTable(std::vector<unsigned char>& buffer, const unsigned char*& table,
                                               uint32_t& length, std::string& message);
[[nodiscard]] int LoadDmiBodyFromWmi(std::vector<unsigned char>& buffer, const unsigned char*& table,
                                     uint32_t& length, std::string& message);
