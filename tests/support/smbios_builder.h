#pragma once
// Builds SMBIOS structure tables for tests, so that fixtures are written as code: each structure
// is a formatted area (header included) and a string set, and the firmware table service's
// 8-byte header can be put in front.

#include <cstdint>
#include <string>
#include <vector>

namespace testsupport {

using Bytes = std::vector<unsigned char>;

// One structure. `formatted` is the formatted area after the 4-byte header; the length byte is
// 4 + its size unless `lengthOverride` is given (0..255). No strings: the set is two NULs.
Bytes SmbiosStructure(uint8_t type, uint16_t handle, const Bytes& formatted, const std::vector<std::string>& strings,
                      int lengthOverride = -1);

class SmbiosTableBuilder {
public:
    SmbiosTableBuilder& Add(const Bytes& structure);
    SmbiosTableBuilder& Add(uint8_t type, const Bytes& formatted, const std::vector<std::string>& strings);
    // Bytes as they stand: damaged structures, truncated tails.
    SmbiosTableBuilder& AddRaw(const Bytes& bytes);

    // Type 0 with vendor string 1 and the version as string 2; `versionNumber` overrides the
    // string number stored at 05h.
    SmbiosTableBuilder& BiosInformation(const std::string& version, int versionNumber = 2);
    // Type 1 with manufacturer (04h) and product name (05h) as strings 1 and 2.
    SmbiosTableBuilder& SystemInformation(const std::string& manufacturer, const std::string& product);
    // Type 0xD0 with the Zera system ID at 08h; `formattedLength` below 10 cuts the area short.
    SmbiosTableBuilder& ZeraOem(uint16_t zeraId, uint8_t formattedLength = 10);
    // Type 127, end of table.
    SmbiosTableBuilder& EndOfTable();

    const Bytes& Table() const { return m_table; }
    // The firmware table service's layout: calling method, versions, DMI revision, Length, table.
    Bytes FirmwareTable() const { return FirmwareTable(static_cast<uint32_t>(m_table.size())); }
    Bytes FirmwareTable(uint32_t reportedLength) const;

private:
    Bytes m_table;
    uint16_t m_nextHandle = 0;
};

// A Zera machine: BIOS version, manufacturer, product name, system ID and the end structure.
Bytes ZeraMachineTable(const std::string& biosVersion, const std::string& manufacturer, const std::string& product,
                       uint16_t zeraId);

}  // namespace testsupport
