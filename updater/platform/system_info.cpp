#include "updater/platform/system_info.h"

CSystemInfo theSystemInfo;

namespace {

// Identity fields are read only from inside a structure's formatted area: a field past the
// declared length belongs to the string set or the next structure, not to this one.
bool FieldInside(uint8_t formattedLength, uint8_t offset, uint8_t width) {
    return static_cast<unsigned>(offset) + width <= formattedLength;
}

std::string StringOrEmpty(const char* text) { return text ? std::string(text) : std::string(); }

}  // namespace

void ReadSystemIdentity(const unsigned char* table, uint32_t length, CSystemInfo& info) {
    CDmiBody body;
    body.SetTableLength(length);
    body.SetTable(table);

    bool seenBios = false, seenSystem = false, seenZera = false;
    uint32_t position = 0;
    uint8_t type = 0, formattedLength = 0;
    uint16_t handle = 0, end = 0;
    // Every structure found ends at least five bytes after its start, so the walk always advances.
    while (position <= 0xFFFF &&
           body.NextStructure(static_cast<uint16_t>(position), &type, &formattedLength, &handle, &end) == 0) {
        const uint16_t at = static_cast<uint16_t>(position);
        if (type == smbios::kTypeBiosInformation && !seenBios) {
            seenBios = true;
            if (FieldInside(formattedLength, smbios::kBiosVersionOffset, 1))
                info.SystemBiosVersion = StringOrEmpty(body.GetString(at, smbios::kBiosVersionOffset));
        } else if (type == smbios::kTypeSystemInformation && !seenSystem) {
            seenSystem = true;
            if (FieldInside(formattedLength, smbios::kManufacturerOffset, 1))
                info.SystemManufacturer = StringOrEmpty(body.GetString(at, smbios::kManufacturerOffset));
            if (FieldInside(formattedLength, smbios::kProductNameOffset, 1))
                info.SystemProductName = StringOrEmpty(body.GetString(at, smbios::kProductNameOffset));
        } else if (type == smbios::kTypeZeraOem && !seenZera) {
            seenZera = true;
            uint16_t id = 0;
            if (FieldInside(formattedLength, smbios::kZeraIdOffset, 2) &&
                body.ReadWord(at, smbios::kZeraIdOffset, &id) == 0)
                info.SystemZeraID = id;
        }
        position = static_cast<uint32_t>(end) + 1;
    }
}
