#include "tests/support/smbios_builder.h"

namespace testsupport {

Bytes SmbiosStructure(uint8_t type, uint16_t handle, const Bytes& formatted, const std::vector<std::string>& strings,
                      int lengthOverride) {
    Bytes out;
    out.push_back(type);
    out.push_back(static_cast<unsigned char>(lengthOverride >= 0 ? lengthOverride : 4 + formatted.size()));
    out.push_back(static_cast<unsigned char>(handle & 0xFF));
    out.push_back(static_cast<unsigned char>(handle >> 8));
    out.insert(out.end(), formatted.begin(), formatted.end());
    if (strings.empty()) {
        out.push_back(0);
    } else {
        for (const std::string& s : strings) {
            out.insert(out.end(), s.begin(), s.end());
            out.push_back(0);
        }
    }
    out.push_back(0);
    return out;
}

SmbiosTableBuilder& SmbiosTableBuilder::Add(const Bytes& structure) { return AddRaw(structure); }

SmbiosTableBuilder& SmbiosTableBuilder::Add(uint8_t type, const Bytes& formatted,
                                            const std::vector<std::string>& strings) {
    return Add(SmbiosStructure(type, m_nextHandle++, formatted, strings));
}

SmbiosTableBuilder& SmbiosTableBuilder::AddRaw(const Bytes& bytes) {
    m_table.insert(m_table.end(), bytes.begin(), bytes.end());
    return *this;
}

SmbiosTableBuilder& SmbiosTableBuilder::BiosInformation(const std::string& version, int versionNumber) {
    // 04h vendor, 05h version, 06h segment, 08h date, 09h ROM size, 0Ah characteristics (8 bytes).
    Bytes formatted = {1, static_cast<unsigned char>(versionNumber), 0x00, 0xE0, 3, 0x0F, 0, 0, 0, 0, 0, 0, 0, 0};
    return Add(0, formatted, {"Zera Firmware", version, "06/04/2013"});
}

SmbiosTableBuilder& SmbiosTableBuilder::SystemInformation(const std::string& manufacturer,
                                                          const std::string& product) {
    // 04h manufacturer, 05h product, 06h version, 07h serial, 08h UUID (16 bytes), 18h wake-up.
    Bytes formatted = {1, 2, 3, 4};
    formatted.insert(formatted.end(), 16, 0x5A);
    formatted.push_back(6);
    return Add(1, formatted, {manufacturer, product, "1.0", "SN0001"});
}

SmbiosTableBuilder& SmbiosTableBuilder::ZeraOem(uint16_t zeraId, uint8_t formattedLength) {
    Bytes formatted = {0x11, 0x22, 0x33, 0x44, static_cast<unsigned char>(zeraId & 0xFF),
                       static_cast<unsigned char>(zeraId >> 8)};
    if (formattedLength < 10) formatted.resize(formattedLength > 4 ? formattedLength - 4 : 0);
    return Add(0xD0, formatted, {});
}

SmbiosTableBuilder& SmbiosTableBuilder::EndOfTable() { return Add(127, {}, {}); }

Bytes SmbiosTableBuilder::FirmwareTable(uint32_t reportedLength) const {
    Bytes out = {0, 2, 7, 0,
                 static_cast<unsigned char>(reportedLength & 0xFF), static_cast<unsigned char>((reportedLength >> 8) & 0xFF),
                 static_cast<unsigned char>((reportedLength >> 16) & 0xFF),
                 static_cast<unsigned char>((reportedLength >> 24) & 0xFF)};
    out.insert(out.end(), m_table.begin(), m_table.end());
    return out;
}

Bytes ZeraMachineTable(const std::string& biosVersion, const std::string& manufacturer, const std::string& product,
                       uint16_t zeraId) {
    return SmbiosTableBuilder()
        .BiosInformation(biosVersion)
        .SystemInformation(manufacturer, product)
        .ZeraOem(zeraId)
        .EndOfTable()
        .Table();
}

}  // namespace testsupport
