// Simulation builds only: the operating-system answers come from the [platform] section of the
// INI file named by BREVANE_SIM_PROFILE, so end-to-end runs can present any machine to the
// production code. Every rule after the OS call is the production code's own.
//
//   smbios      raw table file in the firmware table layout (8-byte header, then the table);
//               absent: GetSystemFirmwareTable does not exist
//   wmi_smbios  structure table without header, delivered as one WMI object; absent: WMI fails
//               at connect
//   admin       1 or 0, the shell's administrator answer
//   winpe       1 or 0, the Windows PE registry answer
//   affinity    1 or 0, whether binding to the first processor succeeds
//   reboot_log  a restart appends "RebootWindows" or "RebootWinPE" to this file instead of
//               restarting; absent: the restart is dropped
//   ac_line, battery_flag, battery_percent
//               the system power status fields (0, 1 or 255; 128 = no system battery;
//               0 to 100, 255 = unknown)
//   bitlocker   off, on (suspension succeeds and appends "SuspendBitLocker" to reboot_log),
//               suspend_fails, unavailable; absent: the real answer
//   query_limit_ms
//               how long a query tool may run in silent mode (tests; absent: the real limit)
//   system_dir  the system directory, where the Windows PE driver loader is started from
//               (absent: the real one)
//
// admin, winpe, affinity and the power fields fall back to the real answers when absent. Relative paths are taken
// from the profile's folder. A simulation build never restarts the machine.
#include <windows.h>


#include "common/format.h"
#include "framework/unique_handle_win32.h"
#include "updater/platform/platform_os_win32.h"
#include "updater/platform/smbios_sources.h"

namespace {

constexpr const char* kSection = "platform";
constexpr HRESULT kWmiNotConnected = static_cast<HRESULT>(0x8004100E);  // WBEM_E_INVALID_NAMESPACE

enum class Answer { Real, No, Yes };

struct SimProfile {
    std::string smbios;
    std::string wmiSmbios;
    std::string rebootLog;
    Answer admin = Answer::Real;
    Answer winpe = Answer::Real;
    Answer affinity = Answer::Real;
    int acLine = -1;  // -1: the real answer
    int batteryFlag = -1;
    int batteryPercent = -1;
    std::string bitlocker;      // "": the real answer
    long queryLimitMs = -1;     // -1: the real limit
    std::string systemDir;      // "": the real one
};

bool IsAbsolute(const std::string& path) {
    return (path.size() >= 2 && path[1] == ':') || (!path.empty() && (path[0] == '\\' || path[0] == '/'));
}

std::string ReadKey(const std::string& profile, const char* key) {
    char value[4096] = {};
    DWORD length = ::GetPrivateProfileStringA(kSection, key, "", value, sizeof value, profile.c_str());
    return std::string(value, length);
}

std::string PathKey(const std::string& profile, const std::string& folder, const char* key) {
    std::string value = ReadKey(profile, key);
    if (value.empty() || IsAbsolute(value)) return value;
    return folder + value;
}

// A byte value, or -1 when the key is absent or not a number from 0 to 255.
int ByteKey(const std::string& profile, const char* key) {
    std::string value = ReadKey(profile, key);
    if (value.empty() || value.size() > 3 || value.find_first_not_of("0123456789") != std::string::npos) return -1;
    int number = std::stoi(value);
    return number <= 255 ? number : -1;
}

Answer AnswerKey(const std::string& profile, const char* key) {
    std::string value = ReadKey(profile, key);
    if (value.empty()) return Answer::Real;
    return value == "0" ? Answer::No : Answer::Yes;
}

SimProfile LoadProfile() {
    SimProfile sim;
    char name[MAX_PATH] = {};
    DWORD length = ::GetEnvironmentVariableA("BREVANE_SIM_PROFILE", name, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return sim;
    // The profile functions look for a bare file name in the Windows folder; make it absolute.
    char full[MAX_PATH] = {};
    char* filePart = nullptr;
    length = ::GetFullPathNameA(name, MAX_PATH, full, &filePart);
    if (length == 0 || length >= MAX_PATH) return sim;
    const std::string profile(full);
    const std::string folder = filePart ? std::string(full, filePart) : std::string();
    sim.smbios = PathKey(profile, folder, "smbios");
    sim.wmiSmbios = PathKey(profile, folder, "wmi_smbios");
    sim.rebootLog = PathKey(profile, folder, "reboot_log");
    sim.admin = AnswerKey(profile, "admin");
    sim.winpe = AnswerKey(profile, "winpe");
    sim.affinity = AnswerKey(profile, "affinity");
    sim.acLine = ByteKey(profile, "ac_line");
    sim.batteryFlag = ByteKey(profile, "battery_flag");
    sim.batteryPercent = ByteKey(profile, "battery_percent");
    sim.bitlocker = ReadKey(profile, "bitlocker");
    sim.systemDir = PathKey(profile, folder, "system_dir");
    std::string limit = ReadKey(profile, "query_limit_ms");
    if (!limit.empty() && limit.size() <= 9 && limit.find_first_not_of("0123456789") == std::string::npos)
        sim.queryLimitMs = std::stol(limit);
    return sim;
}

const SimProfile& Profile() {
    static const SimProfile sim = LoadProfile();
    return sim;
}

// The whole file, or false with the last error set.
bool ReadWholeFile(const std::string& path, std::vector<unsigned char>& bytes) {
    fw::UniqueFile file(::CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                      FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return false;
    LARGE_INTEGER size;
    if (!::GetFileSizeEx(file.get(), &size)) return false;
    if (size.QuadPart > 0x7FFFFFFF) {
        ::SetLastError(ERROR_FILE_TOO_LARGE);
        return false;
    }
    bytes.assign(static_cast<size_t>(size.QuadPart), 0);
    DWORD read = 0;
    if (!bytes.empty() && (!::ReadFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &read, nullptr) ||
                           read != bytes.size())) {
        if (::GetLastError() == ERROR_SUCCESS) ::SetLastError(ERROR_HANDLE_EOF);
        return false;
    }
    return true;
}

BOOL AppendRestartLine(const char* line) {
    const std::string& path = Profile().rebootLog;
    if (path.empty()) return TRUE;
    fw::UniqueFile file(::CreateFileA(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                                      FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return FALSE;
    std::string text = std::string(line) + "\r\n";
    DWORD written = 0;
    return ::WriteFile(file.get(), text.data(), static_cast<DWORD>(text.size()), &written, nullptr) &&
           written == text.size();
}

BOOL SimBindToFirstProcessor() {
    switch (Profile().affinity) {
    case Answer::Real: return RealPlatformOs().bindToFirstProcessor();
    case Answer::Yes: return TRUE;
    case Answer::No: break;
    }
    ::SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
}

BOOL SimIsUserAnAdmin() {
    if (Profile().admin == Answer::Real) return RealPlatformOs().isUserAnAdmin();
    return Profile().admin == Answer::Yes;
}

BOOL SimHasWinPEVersion() {
    if (Profile().winpe == Answer::Real) return RealPlatformOs().hasWinPEVersion();
    return Profile().winpe == Answer::Yes;
}

// Stands in for GetSystemFirmwareTable: answers the size, and fills a buffer that is big enough.
UINT WINAPI SimGetSystemFirmwareTable(DWORD provider, DWORD tableId, PVOID buffer, DWORD size) {
    if (provider != rsmb::kProvider || tableId != 0) {
        ::SetLastError(ERROR_NOT_FOUND);
        return 0;
    }
    std::vector<unsigned char> raw;
    if (!ReadWholeFile(Profile().smbios, raw)) return 0;
    if (raw.empty()) {
        ::SetLastError(ERROR_NOT_FOUND);
        return 0;
    }
    if (buffer && size >= raw.size()) std::copy(raw.begin(), raw.end(), static_cast<unsigned char*>(buffer));
    return static_cast<UINT>(raw.size());
}

GetSystemFirmwareTableFn SimFindGetSystemFirmwareTable(HMODULE) {
    return Profile().smbios.empty() ? nullptr : &SimGetSystemFirmwareTable;
}

int SimQueryWmiSmbios(CWmiSmbiosCollector& collector, std::string& message) {
    std::vector<unsigned char> table;
    if (Profile().wmiSmbios.empty()) {
        message = common::Format("Connect to WMI ERR, hr=0x%08X", static_cast<unsigned>(kWmiNotConnected));
        return 0;
    }
    if (!ReadWholeFile(Profile().wmiSmbios, table)) {
        message = common::Format("Connect to WMI ERR, hr=0x%08X",
                                 static_cast<unsigned>(HRESULT_FROM_WIN32(::GetLastError())));
        return 0;
    }
    // One instance, as on an ordinary machine: the table, then no further object.
    if (collector.TakeObject(static_cast<uint32_t>(table.size()), table.data(), table.size()))
        collector.NoMoreObjects();
    return collector.Result();
}

BOOL SimExitWindowsEx(UINT, DWORD) { return AppendRestartLine("RebootWindows"); }

void SimCallNtShutdownSystem(FARPROC, int) { AppendRestartLine("RebootWinPE"); }

void SimSleep(DWORD milliseconds) { ::Sleep(milliseconds); }

BOOL SimGetSystemPowerStatus(SYSTEM_POWER_STATUS* status) {
    if (!RealPlatformOs().getSystemPowerStatus(status)) return FALSE;
    const SimProfile& sim = Profile();
    if (sim.acLine >= 0) status->ACLineStatus = static_cast<BYTE>(sim.acLine);
    if (sim.batteryFlag >= 0) status->BatteryFlag = static_cast<BYTE>(sim.batteryFlag);
    if (sim.batteryPercent >= 0) status->BatteryLifePercent = static_cast<BYTE>(sim.batteryPercent);
    return TRUE;
}

BitLockerProbe SimBitLocker(BitLockerProbe::State state, const char* call, uint32_t hr, bool rebootCount = false) {
    BitLockerProbe probe;
    probe.state = state;
    probe.call = call;
    probe.hr = hr;
    probe.rebootCountApplied = rebootCount;
    return probe;
}

BitLockerProbe SimSuspendBitLocker() {
    const std::string& answer = Profile().bitlocker;
    if (answer.empty()) return RealPlatformOs().suspendBitLocker();
    if (answer == "off") return SimBitLocker(BitLockerProbe::State::kOff, "GetProtectionStatus", 0);
    if (answer == "on") {
        if (!AppendRestartLine("SuspendBitLocker"))
            return SimBitLocker(BitLockerProbe::State::kFailed, "DisableKeyProtectors",
                                static_cast<uint32_t>(HRESULT_FROM_WIN32(::GetLastError())));
        return SimBitLocker(BitLockerProbe::State::kSuspended, "DisableKeyProtectors", 0, true);
    }
    if (answer == "suspend_fails")  // FVE_E_LOCKED_VOLUME, as a locked volume answers
        return SimBitLocker(BitLockerProbe::State::kFailed, "DisableKeyProtectors", 0x80310000u);
    return SimBitLocker(BitLockerProbe::State::kUnavailable, "ConnectServer", static_cast<uint32_t>(kWmiNotConnected));
}

uint32_t SimQueryToolLimitMs() {
    const long limit = Profile().queryLimitMs;
    return limit >= 0 ? static_cast<uint32_t>(limit) : RealPlatformOs().queryToolLimitMs();
}

BOOL SimSystemDirectory(std::string& folder) {
    if (Profile().systemDir.empty()) return RealPlatformOs().systemDirectory(folder);
    folder = Profile().systemDir;
    while (!folder.empty() && folder.back() == '\\') folder.pop_back();
    return TRUE;
}

}  // namespace

const PlatformOs& ActivePlatformOs() {
    static const PlatformOs os = {&SimBindToFirstProcessor,       &SimIsUserAnAdmin, &SimHasWinPEVersion,
                                  &SimFindGetSystemFirmwareTable, &SimQueryWmiSmbios, &SimExitWindowsEx,
                                  &SimCallNtShutdownSystem,       &SimSleep,         RealPlatformOs().isWow64Process,
                                  &SimGetSystemPowerStatus,       &SimSuspendBitLocker, &SimQueryToolLimitMs,
                                  &SimSystemDirectory};
    return os;
}
