#include "updater/platform/secure_flash.h"

#include <deque>

#include "dos/core/dz_secure.h"
#include "updater/tools/log_file.h"

namespace {

constexpr const char* kSection = "settings";

// The settings the shared choice reads, through the reader it is given; every text read stays
// in `texts` until the choice returns.
struct SettingsAccess {
    const CSettingsReader& reader;
    std::deque<std::string> texts;
};

const char* Text(void* context, const char* key) {
    auto* access = static_cast<SettingsAccess*>(context);
    access->texts.push_back(access->reader.ReadString(kSection, key, ""));
    return access->texts.back().c_str();
}

int32_t Number(void* context, const char* key, int32_t defaultValue) {
    return static_cast<SettingsAccess*>(context)->reader.ReadInt(kSection, key, defaultValue);
}

void Log(void*, const char* tag, const char* text) { theLog.WriteLine(tag, "%s", text); }

void Trace(void*, const char*, const char* text) { CLogFile::DebugPrint("%s", text); }

}  // namespace

int IsBelowSecureVersion(const std::string& current, const std::string& thresholdA, const std::string& thresholdX,
                         int tEnabled, const std::string& thresholdT, std::string& message, bool trace) {
    char text[DZ_VERSION_MESSAGE] = "";
    const int result = dz_is_below_secure_version(current.c_str(), thresholdA.c_str(), thresholdX.c_str(), tEnabled,
                                                  thresholdT.c_str(), text, &Log, trace ? &Trace : nullptr, nullptr);
    if (result < 0) message = text;
    return result;
}

int SelectSecureFlashFile(const CSettingsReader& settings, const std::string& currentBiosVersion,
                          std::string& biosRomFile, bool trace) {
    SettingsAccess access{settings, {}};
    const dz_settings shared{&Text, &Number, &access};
    const char* capsule = nullptr;
    const int result =
        dz_choose_secure_flash(&shared, currentBiosVersion.c_str(), &capsule, &Log, trace ? &Trace : nullptr, nullptr);
    if (capsule) biosRomFile = capsule;
    return result;
}
