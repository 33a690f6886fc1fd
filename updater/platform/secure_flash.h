#pragma once
// Secure-flash image choice: settings.ini beside the program names a threshold version per BIOS
// series; a machine whose running BIOS has reached the threshold of its series is flashed with
// the secure capsule image instead of the ordinary one. The choice, its log lines and traces are
// the DOS program's too (dos/core/dz_secure.h); this reads the settings and keeps the texts.

#include <string>

// Where the settings come from: the Windows profile functions (CIniFile) in the program, or
// anything else in tests.
class CSettingsReader {
public:
    virtual ~CSettingsReader() = default;
    virtual int ReadInt(const char* section, const char* key, int defaultValue) const = 0;
    // The value, or the empty string when none was read; values are cut to 4,095 characters.
    virtual std::string ReadString(const char* section, const char* key, const char* defaultValue) const = 0;
};

// One INI file read through the Windows profile functions. (Windows only.)
class CIniFile : public CSettingsReader {
public:
    // Without a folder, the file is looked for in the program's own folder, not the current one.
    explicit CIniFile(const std::string& name);
    CIniFile(const std::string& name, const std::string& folder);

    int ReadInt(const char* section, const char* key, int defaultValue) const override;
    std::string ReadString(const char* section, const char* key, const char* defaultValue) const override;

    std::string m_strPath;    // m_strFolder + m_strName
    std::string m_strFolder;  // always ends in a backslash
    std::string m_strName;
};

// Reads the secure-flash keys from `settings` and may replace `biosRomFile` by the secure image.
// 1: selection is off; -1: a required threshold is missing; 0: a comparison was made, whatever
// its outcome. `trace` (the developer option) follows the steps in the debug output.
int SelectSecureFlashFile(const CSettingsReader& settings, const std::string& currentBiosVersion,
                          std::string& biosRomFile, bool trace);

// The program's choice from settings.ini in the program's folder: answers the image to flash,
// `biosRomFile` itself or the secure capsule file the settings name. (Windows only.)
std::string SelectSecureFlashFile(const std::string& currentBiosVersion, const std::string& biosRomFile, bool trace);

// 1 when `current` is below the threshold of its series, 0 when it is not, -1 when no comparison
// is possible (`message` set). Thresholds are matched by their series letter only, X first.
// `trace` as above.
int IsBelowSecureVersion(const std::string& current, const std::string& thresholdA, const std::string& thresholdX,
                         int tEnabled, const std::string& thresholdT, std::string& message, bool trace);
