#include "updater/app/power_gate.h"

#include "common/format.h"

namespace {

constexpr uint8_t kNoSystemBattery = 128;
constexpr uint8_t kUnknown = 255;

std::string StatusText(const PowerStatus& s) {
    return common::Format("ACLineStatus=%u, BatteryFlag=%u, BatteryLifePercent=%u", static_cast<unsigned>(s.acLine),
                          static_cast<unsigned>(s.batteryFlag), static_cast<unsigned>(s.batteryPercent));
}

}  // namespace

bool BatteryPresent(const PowerStatus& status) {
    return status.read && status.batteryFlag != kNoSystemBattery && status.batteryFlag != kUnknown;
}

int AcLineState(const PowerStatus& status) {
    if (!status.read || (status.acLine != 0 && status.acLine != 1)) return -1;
    return status.acLine;
}

int KnownBatteryPercent(const PowerStatus& status) {
    if (!BatteryPresent(status) || status.batteryPercent > 100) return -1;
    return status.batteryPercent;
}

PowerGateResult EvaluatePowerGate(const PowerStatus& status, bool ignore) {
    PowerGateResult result;
    if (ignore) {
        result.gate = "ignored";
        result.logText = status.read ? "/IgnorePower given: power check skipped (" + StatusText(status) + ")"
                                     : "/IgnorePower given: power check skipped";
        return result;
    }
    result.gate = "passed";
    if (!status.read) {
        result.logText = common::Format("GetSystemPowerStatus ERR %lu: AC power state unknown, going on",
                                        static_cast<unsigned long>(status.error));
        return result;
    }
    // Off line with a battery that may be there (an unknown flag included): the machine runs on
    // it. Off line without any system battery is a desktop whose status is wrong; it passes.
    if (status.acLine == 0 && status.batteryFlag != kNoSystemBattery) {
        result.code = kPowerRefusedCode;
        result.gate = "refused";
        result.logText = "Result=[ERROR], running on battery power (" + StatusText(status) + ")";
        result.message = "The computer is running on battery power.\n"
                         "Connect the AC adapter and start the update again.";
        return result;
    }
    const int percent = KnownBatteryPercent(status);
    if (percent >= 0 && static_cast<unsigned>(percent) < kMinimumBatteryPercent) {
        result.code = kPowerRefusedCode;
        result.gate = "refused";
        result.logText = common::Format("Result=[ERROR], battery charge %d%% is below %u%% (", percent,
                                        kMinimumBatteryPercent) + StatusText(status) + ")";
        result.message = common::Format("The battery is charged to %d%%; the update needs at least %u%%.\n"
                                        "Keep the AC adapter connected, let the battery charge and start the "
                                        "update again.",
                                        percent, kMinimumBatteryPercent);
        return result;
    }
    if (status.acLine != 0 && status.acLine != 1)
        result.logText = "AC power state unknown (" + StatusText(status) + "), going on";
    return result;
}
