#include "updater/platform/platform_services.h"

#include <windows.h>

#include "common/format.h"
#include "framework/app_win32.h"
#include "framework/unique_handle_win32.h"
#include "updater/platform/platform_os_win32.h"
#include "updater/tools/log_file.h"

namespace {

constexpr DWORD kRestartPauseMs = 500;
constexpr int kShutdownReboot = 1;
// Recorded with the restart in the system's event log and shutdown tracking: a planned restart
// for a hardware installation. A reason of 0 would record an unplanned, unexplained shutdown.
constexpr DWORD kRestartReason =
    SHTDN_REASON_MAJOR_HARDWARE | SHTDN_REASON_MINOR_INSTALLATION | SHTDN_REASON_FLAG_PLANNED;

// Logs `message` under `tag` and answers FALSE: the one way out of a failed restart step.
BOOL RestartFailed(const char* tag, const std::string& message) {
    theLog.WriteLine(tag, "%s", message.c_str());
    return FALSE;
}

// Opens the process token and enables SeShutdownPrivilege in it. On success `token` stays open;
// the caller closes it after its first log line and pause.
BOOL EnableShutdownPrivilege(const char* tag, fw::UniqueHandle& token, std::string& message) {
    if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, token.put())) {
        message = common::Format("OpenProcessToken() ERR %lu", ::GetLastError());
        return RestartFailed(tag, message);
    }
    TOKEN_PRIVILEGES privileges = {};
    if (!::LookupPrivilegeValueA(nullptr, "SeShutdownPrivilege", &privileges.Privileges[0].Luid)) {
        message = common::Format("LookupPrivilegeValue() ERR %lu", ::GetLastError());
        token.reset();
        return RestartFailed(tag, message);
    }
    privileges.PrivilegeCount = 1;
    privileges.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
    // A non-zero answer counts even when the privilege was not assigned (ERROR_NOT_ALL_ASSIGNED):
    // the restart call that follows decides.
    if (!::AdjustTokenPrivileges(token.get(), FALSE, &privileges, 0, nullptr, nullptr)) {
        message = common::Format("AdjustTokenPrivileges() ERR %lu", ::GetLastError());
        token.reset();
        return RestartFailed(tag, message);
    }
    return TRUE;
}

}  // namespace

BOOL SetSingleProcessorUsing(const PlatformOs& os, bool trace, bool silent) {
    if (os.bindToFirstProcessor()) {
        if (trace) CLogFile::DebugPrint("SetSingleProcessor PASS");
        return TRUE;
    }
    const DWORD error = ::GetLastError();
    if (trace) CLogFile::DebugPrint("SetSingleProcessor ERR : 0x%X", static_cast<unsigned>(error));
    if (!silent) fw::AfxMessageBox("SetSingleProcessor Error!", MB_OK | MB_ICONERROR);
    return FALSE;
}

BOOL IsAdministratorUserUsing(const PlatformOs& os) {
    const BOOL isAdmin = os.isUserAnAdmin() ? TRUE : FALSE;
    theLog.WriteLine("IsAdministratorUser", "%s", isAdmin ? "YES" : "NO");
    return isAdmin;
}

BOOL RebootWinPEUsing(const PlatformOs& os, std::string& message) {
    const char* tag = "RebootWinPE";
    fw::UniqueHandle token;
    if (!EnableShutdownPrivilege(tag, token, message)) return FALSE;
    theLog.WriteLine(tag, "Load NtShutdownSystem from NTDLL.DLL");
    os.sleep(kRestartPauseMs);
    token.reset();
    fw::UniqueModule ntdll(::LoadLibraryA("NTDLL.DLL"));
    if (ntdll) {
        if (FARPROC ntShutdownSystem = ::GetProcAddress(ntdll.get(), "NtShutdownSystem")) {
            theLog.WriteLine(tag, "call NtShutdownSystem function");
            os.sleep(kRestartPauseMs);
            os.callNtShutdownSystem(ntShutdownSystem, kShutdownReboot);
        }
    }
    // Also TRUE when NTDLL or the function is missing: the request was made as far as it could be.
    return TRUE;
}

BOOL RebootWindowsUsing(const PlatformOs& os, std::string& message) {
    const char* tag = "RebootWindows";
    fw::UniqueHandle token;
    if (!EnableShutdownPrivilege(tag, token, message)) return FALSE;
    theLog.WriteLine(tag, "Initiate ExitWindowsEx()...");
    os.sleep(kRestartPauseMs);
    token.reset();
    if (os.exitWindowsEx(EWX_REBOOT | EWX_FORCEIFHUNG, kRestartReason)) return TRUE;
    message = common::Format("ExitWindowsEx() ERROR, LastError=%lu", ::GetLastError());
    return RestartFailed(tag, message);
}

BOOL SetSingleProcessor(bool trace, bool silent) { return SetSingleProcessorUsing(ActivePlatformOs(), trace, silent); }

BOOL FileExists(const std::string& path, uint32_t* attributes) {
    WIN32_FIND_DATAA found;
    fw::UniqueFind search(::FindFirstFileA(path.c_str(), &found));
    if (!search) return FALSE;
    if (attributes) *attributes = found.dwFileAttributes;
    return TRUE;
}

BOOL IsAdministratorUser() { return IsAdministratorUserUsing(ActivePlatformOs()); }

BOOL IsWinPE() { return ActivePlatformOs().hasWinPEVersion(); }

BOOL RebootWinPE(std::string& message) { return RebootWinPEUsing(ActivePlatformOs(), message); }

BOOL RebootWindows(std::string& message) { return RebootWindowsUsing(ActivePlatformOs(), message); }

BOOL Is64BitWindowsFrom32BitProgram(const PlatformOs& os) {
    BOOL wow64 = FALSE;
    return (os.isWow64Process(&wow64) && wow64) ? TRUE : FALSE;
}

BOOL Is64BitWindowsUsing(const PlatformOs& os) {
#ifdef _WIN64
    (void)os;  // a 64-bit program runs on 64-bit Windows only
    return TRUE;
#else
    return Is64BitWindowsFrom32BitProgram(os);
#endif
}

BOOL Is64BitWindows() { return Is64BitWindowsUsing(ActivePlatformOs()); }

PowerStatus ReadPowerStatus() {
    PowerStatus power;
    SYSTEM_POWER_STATUS status{};
    if (!ActivePlatformOs().getSystemPowerStatus(&status)) {
        power.read = false;
        power.error = ::GetLastError();
        return power;
    }
    power.acLine = status.ACLineStatus;
    power.batteryFlag = status.BatteryFlag;
    power.batteryPercent = status.BatteryLifePercent;
    return power;
}

BitLockerProbe SuspendBitLocker() { return ActivePlatformOs().suspendBitLocker(); }

uint32_t QueryToolLimitMs() { return ActivePlatformOs().queryToolLimitMs(); }
