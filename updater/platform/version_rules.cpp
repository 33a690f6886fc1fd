#include "updater/platform/version_rules.h"

#include "dos/core/dz_versions.h"

namespace {

// The rules write a message only when they have one to give; the caller's string is left as it
// was otherwise (a dotted version asked for its compatibility answers -1 without one).
int WithMessage(int answer, const char* written, std::string& message) {
    if (written[0] != '\0') message = written;
    return answer;
}

}  // namespace

long ReadDecimal32(const char* start, const char** end) { return dz_read_decimal32(start, end); }

int GetBiosVersionFormat(const std::string& version) { return dz_bios_version_format(version.c_str()); }

int CompareBiosVersion(const std::string& current, const std::string& newVersion, std::string& message) {
    char written[DZ_VERSION_MESSAGE] = "";
    return WithMessage(dz_compare_bios_version(current.c_str(), newVersion.c_str(), written), written, message);
}

int IsBelowCompatibleVersion(const std::string& current, const std::string& thresholdA,
                             const std::string& thresholdX, std::string& message) {
    char written[DZ_VERSION_MESSAGE] = "";
    return WithMessage(
        dz_is_below_compatible_version(current.c_str(), thresholdA.c_str(), thresholdX.c_str(), written), written,
        message);
}

int CompareMeVersion(const std::string& current, const std::string& newVersion, std::string& message) {
    char written[DZ_VERSION_MESSAGE] = "";
    return WithMessage(dz_compare_me_version(current.c_str(), newVersion.c_str(), written), written, message);
}
