#include "updater/app/bitlocker_step.h"

#include "common/format.h"

BitLockerDecision DecideBitLocker(const BitLockerProbe& probe, bool ignore) {
    BitLockerDecision d;
    const char* call = probe.call.empty() ? "WMI" : probe.call.c_str();
    const unsigned hr = probe.hr;
    switch (probe.state) {
    case BitLockerProbe::State::kUnavailable:
        d.state = "unavailable";
        d.logText = common::Format("Not available on this system (%s, hr=0x%08X), going on", call, hr);
        break;
    case BitLockerProbe::State::kOff:
        d.state = "off";
        d.logText = common::Format("Protection off (%s, hr=0x%08X)", call, hr);
        break;
    case BitLockerProbe::State::kSuspended:
        d.state = "suspended";
        d.logText = probe.rebootCountApplied
                        ? common::Format("Protection suspended for one restart (%s, hr=0x%08X)", call, hr)
                        : common::Format("Protection suspended (%s, hr=0x%08X); this Windows has no restart count: "
                                         "protection stays suspended until resumed",
                                         call, hr);
        break;
    case BitLockerProbe::State::kFailed:
        if (ignore) {
            d.state = "ignored";
            d.logText = common::Format("Suspending protection failed (%s, hr=0x%08X); /IgnoreBitLocker given, "
                                       "flashing anyway",
                                       call, hr);
        } else {
            d.proceed = false;
            d.state = "failed";
            d.logText = common::Format("Result=[ERROR], suspending protection failed (%s, hr=0x%08X)", call, hr);
            d.message = common::Format("BitLocker protection of the Windows volume could not be suspended "
                                       "(hr=0x%08X).\nThe BIOS was not flashed: with protection on, the next start "
                                       "would ask for the recovery key.",
                                       hr);
        }
        break;
    }
    return d;
}
