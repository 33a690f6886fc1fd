#pragma once
// The operating-system answers behind the platform services. Production builds take them from
// Windows; simulation builds replace some of them from a profile. The routines below take the
// answers as a parameter, so tests can drive every path up to the OS call.

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "updater/platform/bitlocker_probe.h"

class CWmiSmbiosCollector;
struct CSystemInfo;

using GetSystemFirmwareTableFn = UINT(WINAPI*)(DWORD provider, DWORD tableId, PVOID buffer, DWORD size);

struct PlatformOs {
    // SetProcessAffinityMask(current process, 1); FALSE with the last error set.
    BOOL (*bindToFirstProcessor)();
    // The shell's administrator test (shell32 ordinal 680).
    BOOL (*isUserAnAdmin)();
    // Whether the Windows PE key holds a readable "Version" value.
    BOOL (*hasWinPEVersion)();
    // GetSystemFirmwareTable of the loaded kernel32, or null where it does not exist.
    GetSystemFirmwareTableFn (*findGetSystemFirmwareTable)(HMODULE kernel32);
    // Connects to WMI, queries the raw SMBIOS tables and hands each object to `collector`.
    // The collector's result, or 0 with `message` set when a COM step failed.
    int (*queryWmiSmbios)(CWmiSmbiosCollector& collector, std::string& message);
    // The two restart calls; ExitWindowsEx sets the last error when it fails.
    BOOL (*exitWindowsEx)(UINT flags, DWORD reason);
    void (*callNtShutdownSystem)(FARPROC ntShutdownSystem, int action);
    void (*sleep)(DWORD milliseconds);
    // IsWow64Process for the current process: FALSE when the call fails, else TRUE with *wow64
    // set (a 32-bit process on 64-bit Windows).
    BOOL (*isWow64Process)(BOOL* wow64);
    // GetSystemPowerStatus; FALSE with the last error set.
    BOOL (*getSystemPowerStatus)(SYSTEM_POWER_STATUS* status);
    // Suspends BitLocker on the Windows volume for one restart when protection is on.
    BitLockerProbe (*suspendBitLocker)();
    // How long a query tool may run in silent mode before it is ended.
    uint32_t (*queryToolLimitMs)();
    // The system directory (GetSystemDirectoryA), without a trailing backslash; FALSE when it
    // cannot be had.
    BOOL (*systemDirectory)(std::string& folder);
};

// The drive of the volume whose BitLocker protection is suspended: the system's Windows
// directory's ("C:"), never what a variable says.
std::wstring BitLockerVolumeDrive();

// The answers of Windows itself.
const PlatformOs& RealPlatformOs();
// The answers the program uses: Windows itself, or the simulation profile in simulation builds.
const PlatformOs& ActivePlatformOs();

BOOL SetSingleProcessorUsing(const PlatformOs& os, bool trace, bool silent);
BOOL IsAdministratorUserUsing(const PlatformOs& os);
BOOL RebootWinPEUsing(const PlatformOs& os, std::string& message);
BOOL RebootWindowsUsing(const PlatformOs& os, std::string& message);
BOOL Is64BitWindowsUsing(const PlatformOs& os);
// The 32-bit build's answer (IsWow64Process), compiled into every build so that it is tested
// where no 32-bit program can run; a 64-bit build answers TRUE without asking.
BOOL Is64BitWindowsFrom32BitProgram(const PlatformOs& os);

// The Windows PE test against HKEY_LOCAL_MACHINE, through `openKey` (RegOpenKeyExA there), so
// that a model of the registry's 32- and 64-bit views can stand in for it.
constexpr const char* kWinPEKeyPath = "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\WinPE";
BOOL HasWinPEVersionUsing(LONG (*openKey)(const char* path, REGSAM access, HKEY* key));
int LoadDmiBodyFromFirmwareTableUsing(const PlatformOs& os, std::vector<unsigned char>& buffer,
                                      const unsigned char*& table, uint32_t& length, std::string& message);
int GetSystemInfoUsing(const PlatformOs& os, CSystemInfo& info, std::string& error);
int LoadDmiBodyFromWmiUsing(const PlatformOs& os, std::vector<unsigned char>& buffer, const unsigned char*& table,
                            uint32_t& length, std::string& message);

// Turns the address GetProcAddress found into a typed function pointer.
template <typename Fn>
Fn FunctionFrom(FARPROC address) {
    // Through void(*)(), which -Wcast-function-type accepts as a generic function pointer.
    return reinterpret_cast<Fn>(reinterpret_cast<void (*)()>(address));
}
