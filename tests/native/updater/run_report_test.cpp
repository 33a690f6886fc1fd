#include "updater/app/run_report.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string>

#include <nlohmann/json.hpp>

namespace {

using nlohmann::json;

// The programs run in the UTF-8 code page: their own texts pass as they are, and any byte that
// is not UTF-8 there comes out as U+FFFD, as the system's converter gives it.
std::string Utf8CodePage(const std::string& text) {
    std::string out;
    for (unsigned char c : text) out += c < 0x80 ? std::string(1, static_cast<char>(c)) : std::string("\xEF\xBF\xBD");
    return out;
}

RunReport FlashedRun() {
    RunReport r;
    r.identityRead = true;
    r.manufacturer = "Zera \"Inc.\"\\\n\x01";
    r.product = "Zera 5500 \xE9";  // é in code page 1252
    r.zeraId = 0x10ABC;            // only 16 bits are an ID
    return r;
}

// Field by field the report is checked end to end; here the text that no machine there holds.
TEST(RunReport, MachineTextIsEscapedAndDecodedAsTheFirmwareWroteIt) {
    RunReport r = FlashedRun();
    r.biosVersion = "A05\x80\x81\x9F\xA0";  // euro sign, unassigned, Y diaeresis, no-break space
    json doc = json::parse(RunReportJson(r, "Brevane", "1.0.0.0", &Utf8CodePage));
    EXPECT_EQ("Zera \"Inc.\"\\\n\x01", doc["machine"]["manufacturer"]);
    EXPECT_EQ("Zera 5500 \xC3\xA9", doc["machine"]["product"]);
    EXPECT_EQ("A05\xE2\x82\xAC\xC2\x81\xC5\xB8\xC2\xA0", doc["machine"]["biosVersion"]);
    EXPECT_EQ("0ABC", doc["machine"]["zeraId"]);
}

TEST(RunReport, UnknownValuesAreNull) {
    RunReport r;
    r.exitCode = 77;
    r.powerRead = true;
    r.power.acLine = 255;
    json doc = json::parse(RunReportJson(r, "Brevane", "1.0.0.0", nullptr));
    EXPECT_EQ("Unknown exit code", doc["exitMeaning"]);
    EXPECT_TRUE(doc["power"]["acLine"].is_null());
    EXPECT_TRUE(doc["machine"]["zeraId"].is_null());
    EXPECT_TRUE(doc["started"].is_null());
}

TEST(RunReport, BytesThatAreNotUtf8NeverBreakTheDocument) {
    RunReport r = FlashedRun();
    r.biosError = std::string("bad \xFF\xFE tail", 11);
    // Without a converter the raw bytes are not UTF-8: they are replaced, and the document parses.
    json doc = json::parse(RunReportJson(r, "Brevane", "1.0.0.0", nullptr));
    EXPECT_EQ("bad \xEF\xBF\xBD\xEF\xBF\xBD tail", doc["bios"]["error"]);
}

// Sets the process's time zone for the life of the object and puts the previous one back.
class CTimeZone {
public:
    explicit CTimeZone(const char* zone) {
        const char* previous = std::getenv("TZ");
        m_hadZone = previous != nullptr;
        if (previous) m_previous = previous;
        ::setenv("TZ", zone, 1);
        ::tzset();
    }
    ~CTimeZone() {
        if (m_hadZone)
            ::setenv("TZ", m_previous.c_str(), 1);
        else
            ::unsetenv("TZ");
        ::tzset();
    }
    CTimeZone(const CTimeZone&) = delete;
    CTimeZone& operator=(const CTimeZone&) = delete;

private:
    bool m_hadZone = false;
    std::string m_previous;
};

// Zones given by rule, so that no zone database is needed: east and west of UTC, a part-hour
// offset, and summer time on and off.
TEST(RunReport, Iso8601CarriesTheLocalOffset) {
    struct Case {
        const char* zone;
        std::time_t when;
        const char* expected;
    } cases[] = {
        {"UTC0", 0, "1970-01-01T00:00:00+00:00"},
        {"XST-5:30", 0, "1970-01-01T05:30:00+05:30"},
        {"YST8", 0, "1969-12-31T16:00:00-08:00"},
        {"YST8", 1700000000, "2023-11-14T14:13:20-08:00"},
        {"CET-1CEST,M3.5.0,M10.5.0/3", 1593561600, "2020-07-01T02:00:00+02:00"},  // summer
        {"CET-1CEST,M3.5.0,M10.5.0/3", 1579046400, "2020-01-15T01:00:00+01:00"},  // winter
        {"NST3:30NDT,M3.2.0,M11.1.0", 1593561600, "2020-06-30T21:30:00-02:30"},
    };
    for (const Case& c : cases) {
        CTimeZone zone(c.zone);
        EXPECT_EQ(c.expected, FormatIso8601Local(c.when)) << c.zone;
    }
}

}  // namespace
