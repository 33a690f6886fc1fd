#include "updater/platform/secure_flash.h"

#include "common/format.h"
#include "updater/platform/version_rules.h"
#include "updater/tools/log_file.h"

namespace {

constexpr const char* kSection = "settings";
constexpr const char* kInfoTag = "Secure flash Info";
constexpr const char* kErrorTag = "Secure flash Error.";  // the trailing dot is part of the tag
constexpr const char* kChangeTag = "Secure flash";

char UpperAscii(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

// The number after the series letter, read like strtol in base 10.
long SeriesNumber(const std::string& version) { return ReadDecimal32(version.c_str() + 1, nullptr); }

}  // namespace

int IsBelowSecureVersion(const std::string& current, const std::string& thresholdA, const std::string& thresholdX,
                         int tEnabled, const std::string& thresholdT, std::string& message, bool trace) {
    if (current.size() < 3) {
        message = common::Format("Invalid BIOS version length(2) in current BIOS: %s\n", current.c_str());
        return -1;
    }
    if (thresholdA.size() < 3) {
        message = common::Format("Invalid BIOS version length(2) of A Ver in settings.ini: %s\n", thresholdA.c_str());
        return -1;
    }
    if (thresholdX.size() < 3) {
        message = common::Format("Invalid BIOS version length(2) of X Ver in settings.ini: %s\n", thresholdX.c_str());
        return -1;
    }
    if (tEnabled == 1 && thresholdT.size() < 3) {
        message = common::Format("Invalid BIOS version length(2) of T Ver in settings.ini: %s\n", thresholdT.c_str());
        return -1;
    }
    if (trace) {
        if (tEnabled == 1)
            CLogFile::DebugPrint("CurVer:%s, Chk Ver A: %s, Chk Ver X:%s, Chk Ver T:%s \n", current.c_str(),
                                 thresholdA.c_str(), thresholdX.c_str(), thresholdT.c_str());
        else
            CLogFile::DebugPrint("CurVer:%s, Chk Ver A: %s, Chk Ver X:%s \n", current.c_str(), thresholdA.c_str(),
                                 thresholdX.c_str());
    }

    switch (GetBiosVersionFormat(current)) {
    case 1: break;
    case 2: message = "Error: Only support comparing for Axx or Xxx format\n"; return -1;
    default: message = "Invalidate BIOS version format\n"; return -1;
    }

    const long currentNumber = SeriesNumber(current);
    const char series = UpperAscii(current[0]);
    const char* seriesName = nullptr;
    long secureNumber = 0;
    // X is tried first, so when two keys share a letter the X threshold wins.
    if (series == UpperAscii(thresholdX[0])) {
        seriesName = "X";
        secureNumber = SeriesNumber(thresholdX);
    } else if (series == UpperAscii(thresholdA[0])) {
        seriesName = "A";
        secureNumber = SeriesNumber(thresholdA);
    } else if (tEnabled == 1 && series == UpperAscii(thresholdT[0])) {
        seriesName = "T";
        secureNumber = SeriesNumber(thresholdT);
    } else {
        if (trace) {
            if (tEnabled == 1)
                CLogFile::DebugPrint("Secure check: There isn't A, X or T ver. Cannot compare with!!\n");
            else
                CLogFile::DebugPrint("Secure check: There isn't A or X ver. Cannot compare with!!\n");
        }
        message = "Error";
        return -1;
    }
    if (trace)
        CLogFile::DebugPrint("%s Ver cmp => Secure:%d, Cur:%d\n", seriesName, static_cast<int>(secureNumber),
                             static_cast<int>(currentNumber));
    theLog.WriteLine("Info", "%s Ver cmp => Secure:%d, Cur:%d", seriesName, static_cast<int>(secureNumber),
                     static_cast<int>(currentNumber));
    return currentNumber < secureNumber ? 1 : 0;
}

int SelectSecureFlashFile(const CSettingsReader& settings, const std::string& currentBiosVersion,
                          std::string& biosRomFile, bool trace) {
    const char* current = currentBiosVersion.c_str();
    if (settings.ReadInt(kSection, "SecEn", 0) != 1) {
        if (trace) CLogFile::DebugPrint("Disable secure update\n");
        theLog.WriteLine(kInfoTag, "Disable secure update");
        return 1;
    }
    if (trace) CLogFile::DebugPrint("Enable secure update\n");

    const std::string versionA = settings.ReadString(kSection, "SecAVer", "");
    if (versionA.empty()) {
        theLog.WriteLine(kErrorTag, "Enable secure flash, but cannot get A version number.[settings.ini error]");
        return -1;
    }
    const std::string versionX = settings.ReadString(kSection, "SecXVer", "");
    if (versionX.empty()) {
        theLog.WriteLine(kErrorTag, "Enable secure flash, but cannot get X version number.[settings.ini error]");
        return -1;
    }
    theLog.WriteLine(kInfoTag, "CurVer:%s, VerA:%s, VerX:%s", current, versionA.c_str(), versionX.c_str());
    if (trace)
        CLogFile::DebugPrint("Secure flash. CurVer:%s, VerA:%s, VerX:%s\n", current, versionA.c_str(),
                             versionX.c_str());

    const int tEnabled = settings.ReadInt(kSection, "EnVerT", 0);
    std::string versionT;
    if (tEnabled == 1) {
        versionT = settings.ReadString(kSection, "SecTVer", "");
        if (versionT.empty()) {
            theLog.WriteLine(kErrorTag, "Enable secure flash, but cannot get T version number.[settings.ini error]");
            return -1;
        }
    }

    std::string message;
    const int result = IsBelowSecureVersion(currentBiosVersion, versionA, versionX, tEnabled, versionT, message, trace);
    theLog.WriteLine(kInfoTag, "Compare result:%d [Error:%s]", result, message.c_str());
    if (trace) CLogFile::DebugPrint("Secure flash. Compare result:%d [Error:%s]\n", result, message.c_str());

    if (result == 0) {
        // The key name is spelt "SecCapFlie" in every settings.ini in the field; keep it.
        biosRomFile = settings.ReadString(kSection, "SecCapFlie", "");
        theLog.WriteLine(kChangeTag, "Change BIOS file to secure file[%s]", biosRomFile.c_str());
        if (trace) CLogFile::DebugPrint("Change BIOS file to secure file.[%s]\n", biosRomFile.c_str());
    }
    return 0;
}
