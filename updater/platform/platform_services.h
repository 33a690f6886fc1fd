#pragma once
// Operating-system services of the update utility: processor binding, file search, administrator
// test, Windows PE detection, restart, and the bitness of Windows. (Windows only.)

#include <cstdint>
#include <string>

#include "common/portable_types.h"
#include "updater/platform/bitlocker_probe.h"
#include "updater/platform/power_status.h"

// Binds the process, and so every thread it starts later, to the first logical processor.
// A failure shows "SetSingleProcessor Error!" unless `silent`; the caller ends the run. `trace`
// (the developer option) sends the outcome to the debug output.
[[nodiscard]] BOOL SetSingleProcessor(bool trace, bool silent);

// TRUE when a search for `path` finds anything: wildcards and folders count. `attributes`, when
// given, receives the attributes of the first match.
[[nodiscard]] BOOL FileExists(const std::string& path, uint32_t* attributes = nullptr);

// The shell's administrator test; logs "YES" or "NO" under "IsAdministratorUser".
[[nodiscard]] BOOL IsAdministratorUser();

// TRUE when the Windows PE registry key holds a "Version" value; every failure means full
// Windows.
[[nodiscard]] BOOL IsWinPE();

// Restart requests. Both enable the shutdown privilege first; RebootWinPE then calls
// NtShutdownSystem, RebootWindows ExitWindowsEx. FALSE with `message` set (and logged) when a
// step failed.
BOOL RebootWinPE(std::string& message);
BOOL RebootWindows(std::string& message);

// TRUE in a 64-bit build, or in a 32-bit build running on 64-bit Windows.
[[nodiscard]] BOOL Is64BitWindows();

// The system power status; `read` false with the system error when it cannot be had.
PowerStatus ReadPowerStatus();

// Suspends BitLocker protection of the Windows volume for one restart when it is on.
BitLockerProbe SuspendBitLocker();

// How long the ME version query and the Windows PE driver loader may run in silent mode.
uint32_t QueryToolLimitMs();
