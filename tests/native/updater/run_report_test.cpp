#include "updater/app/run_report.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <regex>

#include <nlohmann/json.hpp>

namespace {

using nlohmann::json;

// Code page 1252 to UTF-8 for the bytes the tests use (the Windows side asks the system).
std::string Latin1ToUtf8(const std::string& ansi) {
    std::string out;
    for (unsigned char c : ansi) {
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return out;
}

RunReport FlashedRun() {
    RunReport r;
    r.exitCode = 1;
    r.rebootRequested = true;
    r.started = 1700000000;
    r.ended = 1700000042;
    r.logFile = "C:\\logs\\Brevane.log";
    r.identityRead = true;
    r.manufacturer = "Zera \"Inc.\"\\\n\x01";
    r.product = "Zera 5500 \xE9";  // é in code page 1252
    r.biosVersion = "A05";
    r.zeraId = 0x10ABC;            // only 16 bits are an ID
    r.newBiosVersion = "A06";
    r.biosImage = "secure.cap";
    r.biosOptions = "/P /B /N";
    r.biosError = "Error: Secure Flash Rom Verify fail.";
    r.meRan = true;
    r.meCurrentVersion = "11.8.40.3425";
    r.meNewVersion = "11.8.50.3425";
    r.meFlashed = true;
    r.powerRead = true;
    r.power.acLine = 1;
    r.power.batteryFlag = 2;
    r.power.batteryPercent = 64;
    r.powerGate = "passed";
    r.bitlocker = "suspended";
    return r;
}

// Every field of a full report survives the trip through JSON, machine text escaped, not trusted.
TEST(RunReport, FullRunRoundTripsFieldByField) {
    json doc = json::parse(RunReportJson(FlashedRun(), "Brevane", "1.0.0.0", &Latin1ToUtf8));
    EXPECT_EQ("Brevane", doc["program"]);
    EXPECT_EQ("1.0.0.0", doc["version"]);
    EXPECT_EQ(1, doc["exitCode"]);
    EXPECT_EQ("BIOS flash tool reported an error or failed to start; or reading the ME version after the BIOS flash "
              "failed",
              doc["exitMeaning"]);
    EXPECT_EQ(false, doc["checkOnly"]);
    EXPECT_EQ(true, doc["rebootRequested"]);
    const std::regex iso(R"(\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d[+-]\d\d:\d\d)");
    EXPECT_TRUE(std::regex_match(doc["started"].get<std::string>(), iso)) << doc["started"];
    EXPECT_TRUE(std::regex_match(doc["ended"].get<std::string>(), iso)) << doc["ended"];
    EXPECT_EQ("C:\\logs\\Brevane.log", doc["logFile"]);
    EXPECT_EQ("Zera \"Inc.\"\\\n\x01", doc["machine"]["manufacturer"]);
    EXPECT_EQ("Zera 5500 \xC3\xA9", doc["machine"]["product"]);
    EXPECT_EQ("0ABC", doc["machine"]["zeraId"]);
    EXPECT_EQ("A05", doc["machine"]["biosVersion"]);
    EXPECT_EQ((json{{"newVersion", "A06"}, {"image", "secure.cap"}, {"options", "/P /B /N"}, {"flashed", false},
                    {"error", "Error: Secure Flash Rom Verify fail."}}),
              doc["bios"]);
    EXPECT_EQ((json{{"currentVersion", "11.8.40.3425"}, {"newVersion", "11.8.50.3425"}, {"flashed", true},
                    {"error", nullptr}}),
              doc["me"]);
    EXPECT_EQ((json{{"acLine", true}, {"batteryPercent", 64}, {"batteryPresent", true}, {"gate", "passed"}}),
              doc["power"]);
    EXPECT_EQ("suspended", doc["bitlocker"]);
}

TEST(RunReport, EarlyRefusalHasNullsWhereNothingWasLearnt) {
    RunReport r;
    r.exitCode = 8;
    json doc = json::parse(RunReportJson(r, "Brevane", "1.0.0.0", nullptr));
    EXPECT_EQ("The user is not an administrator", doc["exitMeaning"]);
    for (const char* key : {"manufacturer", "product", "zeraId", "biosVersion"}) EXPECT_TRUE(doc["machine"][key].is_null());
    EXPECT_TRUE(doc["bios"]["newVersion"].is_null());
    EXPECT_TRUE(doc["bios"]["image"].is_null());
    EXPECT_EQ(false, doc["bios"]["flashed"]);
    EXPECT_TRUE(doc["me"].is_null());
    EXPECT_TRUE(doc["power"]["acLine"].is_null());
    EXPECT_TRUE(doc["bitlocker"].is_null());
    EXPECT_TRUE(doc["started"].is_null());
    EXPECT_TRUE(doc["logFile"].is_null());

    RunReport unknown;
    unknown.exitCode = 77;
    unknown.powerRead = true;
    unknown.power.acLine = 255;
    EXPECT_EQ("Unknown exit code", json::parse(RunReportJson(unknown, "B", "v", nullptr))["exitMeaning"]);
    EXPECT_TRUE(json::parse(RunReportJson(unknown, "B", "v", nullptr))["power"]["acLine"].is_null());
}

TEST(RunReport, BytesThatAreNotUtf8NeverBreakTheDocument) {
    RunReport r = FlashedRun();
    r.biosError = std::string("bad \xFF\xFE tail", 11);
    // Without a converter the raw bytes are not UTF-8: they are replaced, and the document parses.
    json doc = json::parse(RunReportJson(r, "Brevane", "1.0.0.0", nullptr));
    EXPECT_EQ("bad \xEF\xBF\xBD\xEF\xBF\xBD tail", doc["bios"]["error"]);
}

TEST(RunReport, Iso8601CarriesTheLocalOffset) {
    const std::string text = FormatIso8601Local(0);
    ASSERT_EQ(25u, text.size()) << text;
    // Whatever the zone, the local fields minus the offset give the epoch.
    int year, month, day, hour, minute, second, offsetHour, offsetMinute;
    char sign;
    ASSERT_EQ(9, std::sscanf(text.c_str(), "%4d-%2d-%2dT%2d:%2d:%2d%c%2d:%2d", &year, &month, &day, &hour, &minute,
                             &second, &sign, &offsetHour, &offsetMinute));
    const int offset = (sign == '-' ? -1 : 1) * (offsetHour * 60 + offsetMinute);
    const int localMinutes = (day == 1 && month == 1 && year == 1970 ? 0 : (day == 31 ? -24 * 60 : 24 * 60)) +
                             hour * 60 + minute;
    EXPECT_EQ(offset, localMinutes) << text;
    EXPECT_EQ(0, second);
}

}  // namespace
