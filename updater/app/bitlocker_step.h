#pragma once
// BitLocker before a BIOS flash: a flash with protection on changes the measurements the TPM
// unseals the key against, so the next start asks for the recovery key. Protection is suspended
// for one restart first; what the system answered decides whether the flash may go on.

#include <string>

#include "dos/core/dz_exit_codes.h"
#include "updater/platform/bitlocker_probe.h"

constexpr int kBitLockerRefusedCode = DZ_EXIT_BITLOCKER_REFUSED;

struct BitLockerDecision {
    bool proceed = true;
    std::string logText;     // the "BitLocker" log line
    std::string message;     // the refusal's message box text
    const char* state = "";  // "off", "suspended", "unavailable", "failed" or "ignored"
};

// Turns the probe into the log line, the report state and the verdict: a failed suspension
// refuses the flash unless `ignore` (/IgnoreBitLocker).
BitLockerDecision DecideBitLocker(const BitLockerProbe& probe, bool ignore);
