#include "updater/platform/platform_os_win32.h"

#include "framework/unique_handle_win32.h"

namespace {

BOOL RealBindToFirstProcessor() { return ::SetProcessAffinityMask(::GetCurrentProcess(), 1); }

BOOL RealIsUserAnAdmin() {
    // IsUserAnAdmin is exported by ordinal 680; asking by number also works on shells that do
    // not export the name.
    fw::UniqueModule shell32(::LoadLibraryA("shell32.dll"));
    if (!shell32) return FALSE;
    auto isUserAnAdmin = FunctionFrom<BOOL(WINAPI*)()>(::GetProcAddress(shell32.get(), MAKEINTRESOURCEA(680)));
    return isUserAnAdmin ? isUserAnAdmin() : FALSE;
}

LONG RealOpenRegistryKey(const char* path, REGSAM access, HKEY* key) {
    return ::RegOpenKeyExA(HKEY_LOCAL_MACHINE, path, 0, access, key);
}

BOOL RealHasWinPEVersion() { return HasWinPEVersionUsing(&RealOpenRegistryKey); }

GetSystemFirmwareTableFn RealFindGetSystemFirmwareTable(HMODULE kernel32) {
    return FunctionFrom<GetSystemFirmwareTableFn>(::GetProcAddress(kernel32, "GetSystemFirmwareTable"));
}

BOOL RealExitWindowsEx(UINT flags, DWORD reason) { return ::ExitWindowsEx(flags, reason); }

void RealCallNtShutdownSystem(FARPROC ntShutdownSystem, int action) {
    // NTSTATUS NtShutdownSystem(SHUTDOWN_ACTION); action 1 is ShutdownReboot.
    FunctionFrom<LONG(NTAPI*)(int)>(ntShutdownSystem)(action);
}

void RealSleep(DWORD milliseconds) { ::Sleep(milliseconds); }

BOOL RealIsWow64Process(BOOL* wow64) { return ::IsWow64Process(::GetCurrentProcess(), wow64); }

// Windows PE has it too: kernel32 answers from the same power manager as full Windows.
BOOL RealGetSystemPowerStatus(SYSTEM_POWER_STATUS* status) { return ::GetSystemPowerStatus(status); }

// Two minutes: far beyond what the ME version query or the driver loader take on a healthy
// machine, short enough that a deployment's own timeout is not reached first.
uint32_t RealQueryToolLimitMs() { return 120000; }

BOOL RealSystemDirectory(std::string& folder) {
    char buffer[MAX_PATH] = {};
    UINT length = ::GetSystemDirectoryA(buffer, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return FALSE;
    folder.assign(buffer, length);
    while (!folder.empty() && folder.back() == '\\') folder.pop_back();
    return TRUE;
}

}  // namespace

BOOL HasWinPEVersionUsing(LONG (*openKey)(const char* path, REGSAM access, HKEY* key)) {
    // The key lives in the 64-bit view on 64-bit Windows PE; a 32-bit build would otherwise be
    // redirected to its own view, find nothing and take Windows PE for full Windows. Only a
    // query is needed, and asking for more can be refused. (32-bit Windows ignores the flag.)
    fw::UniqueHKey key;
    if (openKey(kWinPEKeyPath, KEY_QUERY_VALUE | KEY_WOW64_64KEY, key.put()) != ERROR_SUCCESS || !key) return FALSE;
    char value[260] = {};
    DWORD type = REG_SZ;
    DWORD size = sizeof value - 1;
    LONG status = ::RegQueryValueExA(key.get(), "Version", nullptr, &type, reinterpret_cast<BYTE*>(value), &size);
    // Only the value's presence counts, so one too long for the buffer is present as well.
    return (status == ERROR_SUCCESS || status == ERROR_MORE_DATA) ? TRUE : FALSE;
}

int RealQueryWmiSmbios(CWmiSmbiosCollector& collector, std::string& message);  // smbios_wmi_win32.cpp
BitLockerProbe RealSuspendBitLocker();                                         // bitlocker_wmi_win32.cpp

const PlatformOs& RealPlatformOs() {
    static const PlatformOs os = {&RealBindToFirstProcessor, &RealIsUserAnAdmin,   &RealHasWinPEVersion,
                                  &RealFindGetSystemFirmwareTable, &RealQueryWmiSmbios, &RealExitWindowsEx,
                                  &RealCallNtShutdownSystem,   &RealSleep,          &RealIsWow64Process,
                                  &RealGetSystemPowerStatus,   &RealSuspendBitLocker, &RealQueryToolLimitMs,
                                  &RealSystemDirectory};
    return os;
}

#if !BREVANE_SIMULATION
// Simulation builds define this in platform_os_sim_win32.cpp.
const PlatformOs& ActivePlatformOs() { return RealPlatformOs(); }
#endif
