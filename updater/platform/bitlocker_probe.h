#pragma once
// What suspending BitLocker on the Windows volume found (the encryptable-volume WMI class): the
// platform fills it in, the update sequence decides from it whether the flash may go on.

#include <cstdint>
#include <string>

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
