#include "updater/platform/validate_system.h"

#include "updater/platform/system_info.h"
#include "updater/tools/log_file.h"

namespace {
constexpr const char* kCheckTag = "Check Zera ID";
}

int CheckSystemIdentity(const CSystemInfo& info, const std::vector<uint32_t>& zeraIds, std::string& message) {
    // Case-sensitive, and the blank is part of the text: "Zera Inc." passes, "ZERA INC." does not.
    if (info.SystemManufacturer.find("Zera ") == std::string::npos) {
        message = "The system to be updated is not a Zera system.";
        return kValidateWrongSystem;
    }
    if (info.SystemZeraID == 0) {
        message = "ZERA system ID (in SMBIOS Type D0) is not existed in current system.";
        return kValidateWrongSystem;
    }
    if (zeraIds.empty()) {
        message = "The command line /ZeraID must be specified and not zero";
        return kValidateNoZeraIdOption;
    }
    for (uint32_t id : zeraIds) {
        if ((id & 0xFFFF) == info.SystemZeraID) {
            message = "OK";
            return kValidateOk;
        }
    }
    theLog.WriteLine(kCheckTag, "Current System = %04X, ", static_cast<unsigned>(info.SystemZeraID));
    for (size_t index = 0; index < zeraIds.size(); ++index)
        theLog.WriteLine(kCheckTag, "    [%d]New System = %04X", static_cast<int>(index),
                         static_cast<unsigned>(zeraIds[index] & 0xFFFF));
    message = "The system is different between current system and ROM file.";
    return kValidateWrongSystem;
}

int ValidateSystemWith(const CSystemInfo& info, const std::vector<uint32_t>& zeraIds, bool developer,
                       BypassQuestion ask, std::string& message) {
    if (developer && ask && ask("Bypass ValidateSystem?")) return kValidateOk;
    return CheckSystemIdentity(info, zeraIds, message);
}
