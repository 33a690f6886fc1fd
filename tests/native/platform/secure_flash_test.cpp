#include "updater/platform/secure_flash.h"

#include <gtest/gtest.h>

#include <map>

#include "tests/support/captured_log.h"

namespace {

// settings.ini as a map of "settings" keys; absent keys read as their defaults.
class MapSettings : public CSettingsReader {
public:
    explicit MapSettings(std::map<std::string, std::string> values) : m_values(std::move(values)) {}
    int ReadInt(const char* section, const char* key, int defaultValue) const override {
        auto it = m_values.find(Key(section, key));
        return it == m_values.end() ? defaultValue : std::atoi(it->second.c_str());
    }
    std::string ReadString(const char* section, const char* key, const char* defaultValue) const override {
        auto it = m_values.find(Key(section, key));
        return it == m_values.end() ? defaultValue : it->second;
    }

private:
    static std::string Key(const char* section, const char* key) {
        EXPECT_STREQ("settings", section);
        return key;
    }
    std::map<std::string, std::string> m_values;
};

class SelectSecureFlashFileTest : public testing::Test {
protected:
    int Select(std::map<std::string, std::string> values, const char* current) {
        rom = "bios.bin";
        return SelectSecureFlashFile(MapSettings(std::move(values)), current, rom, trace);
    }
    testsupport::CapturedLog log;
    std::string rom;
    bool trace = false;  // the developer option
};

const std::map<std::string, std::string> kAX = {
    {"SecEn", "1"}, {"SecAVer", "A10"}, {"SecXVer", "X05"}, {"SecCapFlie", "secure.cap"}};

TEST_F(SelectSecureFlashFileTest, RunningVersionAtOrAboveThresholdGetsTheSecureImage) {
    EXPECT_EQ(0, Select(kAX, "A12"));
    EXPECT_EQ("secure.cap", rom);
    std::vector<std::string> expected = {
        "Secure flash Info, CurVer:A12, VerA:A10, VerX:X05", "Info, A Ver cmp => Secure:10, Cur:12",
        "Secure flash Info, Compare result:0 [Error:]", "Secure flash, Change BIOS file to secure file[secure.cap]"};
    EXPECT_EQ(expected, log.Lines());
    EXPECT_TRUE(log.DebugTexts().empty());  // the trace needs /Ovrel

    EXPECT_EQ(0, Select(kAX, "X05"));  // equal counts as reached
    EXPECT_EQ("secure.cap", rom);
}

TEST_F(SelectSecureFlashFileTest, RunningVersionBelowThresholdKeepsTheImage) {
    EXPECT_EQ(0, Select(kAX, "A09"));
    EXPECT_EQ("bios.bin", rom);
    std::vector<std::string> expected = {"Secure flash Info, CurVer:A09, VerA:A10, VerX:X05",
                                         "Info, A Ver cmp => Secure:10, Cur:9",
                                         "Secure flash Info, Compare result:1 [Error:]"};
    EXPECT_EQ(expected, log.Lines());
}

TEST_F(SelectSecureFlashFileTest, UncomparableVersionsKeepTheImage) {
    EXPECT_EQ(0, Select(kAX, "T03"));
    EXPECT_EQ("bios.bin", rom);
    EXPECT_EQ("Secure flash Info, Compare result:-1 [Error:Error]", log.Lines().back());

    EXPECT_EQ(0, Select(kAX, "1.2.3"));
    EXPECT_EQ("bios.bin", rom);
    // The message ends in a line feed, so the log line is split in two by CR LF inside it.
    std::vector<std::string> lines = log.Lines();
    ASSERT_GE(lines.size(), 2u);
    EXPECT_EQ("Secure flash Info, Compare result:-1 [Error:Error: Only support comparing for Axx or Xxx format",
              lines[lines.size() - 2]);
    EXPECT_EQ("]", lines.back());
}

TEST_F(SelectSecureFlashFileTest, SwitchedOffOrIncompleteSettings) {
    auto settings = kAX;
    settings["SecEn"] = "2";
    EXPECT_EQ(1, Select(settings, "A12"));
    EXPECT_EQ(1, Select({}, "A12"));
    EXPECT_EQ("bios.bin", rom);
    EXPECT_EQ((std::vector<std::string>{"Secure flash Info, Disable secure update",
                                        "Secure flash Info, Disable secure update"}),
              log.Lines());

    EXPECT_EQ(-1, Select({{"SecEn", "1"}, {"SecXVer", "X05"}}, "A12"));
    EXPECT_EQ(-1, Select({{"SecEn", "1"}, {"SecAVer", "A10"}}, "A12"));
    settings = kAX;
    settings["EnVerT"] = "1";
    EXPECT_EQ(-1, Select(settings, "T05"));
    EXPECT_EQ("bios.bin", rom);
    std::vector<std::string> lines = log.Lines();
    ASSERT_EQ(6u, lines.size());
    EXPECT_EQ("Secure flash Error., Enable secure flash, but cannot get A version number.[settings.ini error]", lines[2]);
    EXPECT_EQ("Secure flash Error., Enable secure flash, but cannot get X version number.[settings.ini error]", lines[3]);
    EXPECT_EQ("Secure flash Info, CurVer:T05, VerA:A10, VerX:X05", lines[4]);
    EXPECT_EQ("Secure flash Error., Enable secure flash, but cannot get T version number.[settings.ini error]", lines[5]);
}

TEST_F(SelectSecureFlashFileTest, MissingSecureImageEmptiesThePath) {
    auto settings = kAX;
    settings.erase("SecCapFlie");
    EXPECT_EQ(0, Select(settings, "A12"));
    EXPECT_EQ("", rom);
    EXPECT_EQ("Secure flash, Change BIOS file to secure file[]", log.Lines().back());
}

TEST_F(SelectSecureFlashFileTest, DeveloperTraceFollowsTheSteps) {
    trace = true;
    EXPECT_EQ(0, Select(kAX, "A12"));
    std::vector<std::string> expected = {"Enable secure update\n",
                                         "Secure flash. CurVer:A12, VerA:A10, VerX:X05\n",
                                         "CurVer:A12, Chk Ver A: A10, Chk Ver X:X05 \n",
                                         "A Ver cmp => Secure:10, Cur:12\n",
                                         "Secure flash. Compare result:0 [Error:]\n",
                                         "Change BIOS file to secure file.[secure.cap]\n"};
    EXPECT_EQ(expected, log.DebugTexts());
}

struct BelowCase {
    const char* current;
    const char* a;
    const char* x;
    int tEnabled;
    const char* t;
    int result;
    const char* message;  // nullptr: untouched
};

class IsBelowSecureVersionTest : public testing::TestWithParam<BelowCase> {};

TEST_P(IsBelowSecureVersionTest, Vectors) {
    const BelowCase& c = GetParam();
    testsupport::CapturedLog log;
    std::string message = "untouched";
    EXPECT_EQ(c.result, IsBelowSecureVersion(c.current, c.a, c.x, c.tEnabled, c.t, message, false));
    EXPECT_EQ(c.message ? c.message : "untouched", message);
}

INSTANTIATE_TEST_SUITE_P(
    Vectors, IsBelowSecureVersionTest,
    testing::Values(
        BelowCase{"A12", "A10", "X05", 0, "", 0, nullptr}, BelowCase{"a09", "A10", "X05", 0, "", 1, nullptr},
        BelowCase{"x04", "A10", "X05", 0, "", 1, nullptr}, BelowCase{"T03", "A10", "X05", 1, "T04", 1, nullptr},
        BelowCase{"T03", "A10", "X05", 0, "T04", -1, "Error"}, BelowCase{"B03", "A10", "X05", 1, "T04", -1, "Error"},
        // Both thresholds in the A series: X is tried first.
        BelowCase{"A07", "A10", "A05", 0, "", 0, nullptr},
        BelowCase{"A5", "A10", "X05", 0, "", -1, "Invalid BIOS version length(2) in current BIOS: A5\n"},
        BelowCase{"A05", "A1", "X05", 0, "", -1, "Invalid BIOS version length(2) of A Ver in settings.ini: A1\n"},
        BelowCase{"A05", "A10", "", 0, "", -1, "Invalid BIOS version length(2) of X Ver in settings.ini: \n"},
        BelowCase{"A05", "A10", "X05", 1, "T", -1, "Invalid BIOS version length(2) of T Ver in settings.ini: T\n"},
        BelowCase{"-05", "A10", "X05", 0, "", -1, "Invalidate BIOS version format\n"},
        BelowCase{"1.2.3", "A10", "X05", 0, "", -1, "Error: Only support comparing for Axx or Xxx format\n"},
        // The thresholds' own format is never examined: only their first letter and number.
        BelowCase{"A05", "A1x", "X05", 0, "", 0, nullptr}));

TEST(IsBelowSecureVersion, LogsTheChosenSeries) {
    testsupport::CapturedLog log;
    std::string message;
    EXPECT_EQ(1, IsBelowSecureVersion("T03", "A10", "X05", 1, "T04", message, false));
    EXPECT_EQ(std::vector<std::string>{"Info, T Ver cmp => Secure:4, Cur:3"}, log.Lines());
}

}  // namespace
