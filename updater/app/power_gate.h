#pragma once
// The power gate: a BIOS flash that loses power half-way leaves a machine that cannot start, so
// start-up refuses a machine on battery power or with a nearly empty battery.

#include <string>

#include "dos/core/dz_exit_codes.h"
#include "updater/platform/power_status.h"

constexpr int kPowerRefusedCode = DZ_EXIT_POWER_REFUSED;
constexpr unsigned kMinimumBatteryPercent = 25;

// A system battery is reported (the flag is neither "no system battery" nor "unknown").
bool BatteryPresent(const PowerStatus& status);
// The AC state as a report states it: 1 on line, 0 off line, -1 unknown.
int AcLineState(const PowerStatus& status);
// The charge when a battery is present and its charge is known, else -1.
int KnownBatteryPercent(const PowerStatus& status);

struct PowerGateResult {
    int code = 0;            // 0 pass, or kPowerRefusedCode
    std::string logText;     // the "PowerCheck" log line; empty for an ordinary pass
    std::string message;     // the refusal's message box text
    const char* gate = "";   // "passed", "refused" or "ignored", for the report
};

// Refuses when AC power is off line while the machine may run on a battery (the flag does not
// say "no system battery"), or when a battery's known charge is below 25%. An unknown AC state,
// or a status that cannot be read, passes with a log line. `ignore` (/IgnorePower) passes with a
// log line that says so.
PowerGateResult EvaluatePowerGate(const PowerStatus& status, bool ignore);
