#pragma once
// BitLocker before a BIOS flash: a flash with protection on changes the measurements the TPM
// unseals the key against, so the next start asks for the recovery key. Protection is suspended
// for one restart first; what the system answered decides whether the flash may go on.

#include <cstdint>
#include <string>

#include "dos/core/dz_exit_codes.h"

// What the operating-system layer found (the encryptable-volume WMI class).
struct BitLockerProbe {
    enum class State {
        kUnavailable,  // no such class or namespace (editions without BitLocker, Windows PE, Wine)
        kOff,          // the Windows volume is not protected (or protection is already suspended)
        kSuspended,    // protection was on and is suspended now
        kFailed,       // protection is on or unknown and could not be suspended
    };
    State state = State::kUnavailable;
    uint32_t hr = 0;              // HRESULT (or method return value) of the call that decided
    std::string call;             // that call: "ConnectServer", "GetProtectionStatus", ...
    bool rebootCountApplied = false;  // the suspension ends by itself after one restart
};

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
