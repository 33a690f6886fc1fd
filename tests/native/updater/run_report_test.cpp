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

}  // namespace
