#include "updater/app/power_gate.h"

#include <gtest/gtest.h>

namespace {

PowerStatus Status(uint8_t ac, uint8_t flag, uint8_t percent) {
    PowerStatus s;
    s.acLine = ac;
    s.batteryFlag = flag;
    s.batteryPercent = percent;
    return s;
}

// One row per machine state: the gate's code, its log line and the report's view of it.
TEST(PowerGate, DecidesByAcLineBatteryAndCharge) {
    struct Case {
        const char* name;
        PowerStatus status;
        int code;
        std::string log;
        int ac;
        int percent;
    };
    const Case cases[] = {
        {"desktop on AC", Status(1, 128, 255), 0, "", 1, -1},
        {"laptop on AC, charged", Status(1, 1, 80), 0, "", 1, 80},
        {"laptop on AC, exactly 25%", Status(1, 2, 25), 0, "", 1, 25},
        {"laptop on AC, charge unknown", Status(1, 8, 255), 0, "", 1, -1},
        {"laptop on AC, 24%", Status(1, 2, 24), 15,
         "Result=[ERROR], battery charge 24% is below 25% (ACLineStatus=1, BatteryFlag=2, BatteryLifePercent=24)", 1,
         24},
        {"laptop on battery, full", Status(0, 1, 100), 15,
         "Result=[ERROR], running on battery power (ACLineStatus=0, BatteryFlag=1, BatteryLifePercent=100)", 0, 100},
        {"off line, battery flag unknown", Status(0, 255, 255), 15,
         "Result=[ERROR], running on battery power (ACLineStatus=0, BatteryFlag=255, BatteryLifePercent=255)", 0, -1},
        {"off line without a system battery", Status(0, 128, 255), 0, "", 0, -1},
        {"AC unknown, no battery", Status(255, 128, 255), 0,
         "AC power state unknown (ACLineStatus=255, BatteryFlag=128, BatteryLifePercent=255), going on", -1, -1},
        {"AC unknown, low battery", Status(255, 2, 10), 15,
         "Result=[ERROR], battery charge 10% is below 25% (ACLineStatus=255, BatteryFlag=2, BatteryLifePercent=10)", -1,
         10},
        {"no battery, nonsense percent", Status(1, 128, 5), 0, "", 1, -1},
    };
    for (const Case& c : cases) {
        PowerGateResult r = EvaluatePowerGate(c.status, false);
        EXPECT_EQ(c.code, r.code) << c.name;
        EXPECT_EQ(c.log, r.logText) << c.name;
        EXPECT_STREQ(c.code ? "refused" : "passed", r.gate) << c.name;
        EXPECT_EQ(c.code != 0, !r.message.empty()) << c.name;
        EXPECT_EQ(c.ac, AcLineState(c.status)) << c.name;
        EXPECT_EQ(c.percent, KnownBatteryPercent(c.status)) << c.name;
    }
}

TEST(PowerGate, MessagesNameTheCause) {
    EXPECT_EQ("The computer is running on battery power.\nConnect the AC adapter and start the update again.",
              EvaluatePowerGate(Status(0, 1, 90), false).message);
    EXPECT_EQ("The battery is charged to 7%; the update needs at least 25%.\nKeep the AC adapter connected, let the "
              "battery charge and start the update again.",
              EvaluatePowerGate(Status(1, 4, 7), false).message);
}

TEST(PowerGate, IgnoreAndUnreadableStatusPassWithALogLine) {
    PowerGateResult ignored = EvaluatePowerGate(Status(0, 1, 3), true);
    EXPECT_EQ(0, ignored.code);
    EXPECT_STREQ("ignored", ignored.gate);
    EXPECT_EQ("/IgnorePower given: power check skipped (ACLineStatus=0, BatteryFlag=1, BatteryLifePercent=3)",
              ignored.logText);

    PowerStatus unread;
    unread.read = false;
    unread.error = 50;
    PowerGateResult r = EvaluatePowerGate(unread, false);
    EXPECT_EQ(0, r.code);
    EXPECT_EQ("GetSystemPowerStatus ERR 50: AC power state unknown, going on", r.logText);
    EXPECT_EQ(-1, AcLineState(unread));
    EXPECT_EQ("/IgnorePower given: power check skipped", EvaluatePowerGate(unread, true).logText);
}

}  // namespace
