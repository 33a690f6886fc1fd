#include "updater/app/power_gate.h"

#include <gtest/gtest.h>

namespace {

PowerStatus Status(uint8_t ac, uint8_t flag, uint8_t percent, bool read = true) {
    PowerStatus s;
    s.read = read;
    s.error = read ? 0 : 50;
    s.acLine = ac;
    s.batteryFlag = flag;
    s.batteryPercent = percent;
    return s;
}

// The borders of the gate; the ordinary cases run end to end.
TEST(PowerGate, Borders) {
    struct Case {
        const char* name;
        PowerStatus status;
        bool ignore;
        int code;
        std::string log;
    };
    const Case cases[] = {
        {"exactly 25% on AC", Status(1, 2, 25), false, 0, ""},
        {"charge unknown on AC", Status(1, 8, 255), false, 0, ""},
        {"off line, battery flag unknown", Status(0, 255, 255), false, 15,
         "Result=[ERROR], running on battery power (ACLineStatus=0, BatteryFlag=255, BatteryLifePercent=255)"},
        {"off line without a system battery", Status(0, 128, 255), false, 0, ""},
        {"AC unknown with a low battery", Status(255, 2, 10), false, 15,
         "Result=[ERROR], battery charge 10% is below 25% (ACLineStatus=255, BatteryFlag=2, BatteryLifePercent=10)"},
        {"no battery, stray percent", Status(1, 128, 5), false, 0, ""},
        {"status unreadable", Status(0, 0, 0, false), false, 0,
         "GetSystemPowerStatus ERR 50: AC power state unknown, going on"},
        {"unreadable, ignored", Status(0, 0, 0, false), true, 0, "/IgnorePower given: power check skipped"},
    };
    for (const Case& c : cases) {
        PowerGateResult r = EvaluatePowerGate(c.status, c.ignore);
        EXPECT_EQ(c.code, r.code) << c.name;
        EXPECT_EQ(c.log, r.logText) << c.name;
    }
    EXPECT_EQ(-1, AcLineState(Status(1, 1, 50, false)));
    EXPECT_EQ(-1, KnownBatteryPercent(Status(1, 128, 50)));
    EXPECT_EQ(-1, KnownBatteryPercent(Status(1, 1, 101)));
}

}  // namespace
