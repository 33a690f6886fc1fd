#include "updater/platform/validate_system.h"

#include "dos/core/dz_identity.h"
#include "updater/platform/system_info.h"
#include "updater/tools/log_file.h"

namespace {
constexpr const char* kCheckTag = "Check Zera ID";
}

int CheckSystemIdentity(const CSystemInfo& info, const std::vector<uint32_t>& zeraIds, std::string& message) {
    const char* text = "";
    int mismatch = 0;
    const int code = dz_check_identity(info.SystemManufacturer.c_str(), info.SystemZeraID, zeraIds.data(),
                                       static_cast<int>(zeraIds.size()), &text, &mismatch);
    message = text;
    if (mismatch) {
        theLog.WriteLine(kCheckTag, "Current System = %04X, ", static_cast<unsigned>(info.SystemZeraID));
        for (size_t index = 0; index < zeraIds.size(); ++index)
            theLog.WriteLine(kCheckTag, "    [%d]New System = %04X", static_cast<int>(index),
                             static_cast<unsigned>(zeraIds[index] & 0xFFFF));
    }
    return code;
}

int ValidateSystemWith(const CSystemInfo& info, const std::vector<uint32_t>& zeraIds, bool developer,
                       BypassQuestion ask, std::string& message) {
    if (developer && ask && ask("Bypass ValidateSystem?")) return kValidateOk;
    return CheckSystemIdentity(info, zeraIds, message);
}
