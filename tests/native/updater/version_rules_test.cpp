#include "updater/platform/version_rules.h"

#include <gtest/gtest.h>

#include <string>

namespace {

struct BiosCase {
    const char* current;
    const char* newVersion;
    int result;
    const char* message;  // nullptr: the message must stay untouched
};

class CompareBiosVersionTest : public testing::TestWithParam<BiosCase> {};

TEST_P(CompareBiosVersionTest, AnswersAndReason) {
    const BiosCase& c = GetParam();
    std::string message = "untouched";
    EXPECT_EQ(c.result, CompareBiosVersion(c.current, c.newVersion, message));
    EXPECT_EQ(c.message ? c.message : "untouched", message);
}

INSTANTIATE_TEST_SUITE_P(
    Vectors, CompareBiosVersionTest,
    testing::Values(
        BiosCase{"A05", "A06", 0, nullptr}, BiosCase{"A06", "A06", 1, nullptr}, BiosCase{"a07", "A06", 2, nullptr},
        BiosCase{"A06", "a06", 1, nullptr},
        // Only A-series pairs are compared.
        BiosCase{"X05", "A06", 0, nullptr}, BiosCase{"A05", "T01", 0, nullptr}, BiosCase{"X09", "X01", 0, nullptr},
        // The two-digit reading looks at the 2nd and 3rd characters only.
        BiosCase{"A123", "A129", 1, nullptr}, BiosCase{"A1:", "A20", 1, nullptr}, BiosCase{"A0A", "A10", 2, nullptr},
        BiosCase{"A05", "1.2.3", -1, "BIOS version format are not matched"},
        BiosCase{"-1.2.3", ".1.2", -1, "Invalidate BIOS version format"},
        BiosCase{"A5", "A06", -1, "Invalid BIOS version length(3) in current BIOS: A5"},
        BiosCase{"A05", "", -1, "Invalid BIOS version length(3) in command line: "},
        BiosCase{"1.2.3", "1.2.10", 0, nullptr}, BiosCase{"1.3.0", "1.2.9", 2, nullptr},
        BiosCase{"1.2.3.4", "1.2.3.9", 1, nullptr}, BiosCase{"2.0.0", "10.0.15", 0, nullptr},
        // Test versions (first part 90 to 99) are never compared.
        BiosCase{"91.0.0", "1.0.0", 0, nullptr}, BiosCase{"1.0.0", "95.2.1", 0, nullptr},
        BiosCase{"1.0.0", "100.0.0", -1, "Invalid BIOS version format in command line: a.b.c (a must be 0~99)"},
        BiosCase{"100.0.0", "1.0.0", -1, "Invalid BIOS version format: a.b.c (a must be 0~99)"},
        BiosCase{"1.100.0", "1.0.0", -1, "Invalid BIOS version format: a.b.c (b must be 0~99)"},
        BiosCase{"1.0.0", "1.0.100", -1, "Invalid BIOS version format in command line: a.b.c (c must be 0~99)"},
        BiosCase{"1.1.200", "1.0.0", 2, nullptr},  // parts differ before c is read
        // Malformed tails only matter when the earlier parts are equal.
        BiosCase{"1.2", "1.3", 0, nullptr},
        BiosCase{"1.2", "1.2", -1, "Invalid BIOS version format: must be a.b.c (separated by .)"},
        BiosCase{"1-2-3", "1.2.3", -1, "Invalid BIOS version format: must be a.b.c (separated by .)"},
        BiosCase{"1.2.3", "1.2.3xyz", 1, nullptr},
        // Huge numbers saturate and are reported as out of range.
        BiosCase{"99999999999999999999.0.0", "1.0.0", -1, "Invalid BIOS version format: a.b.c (a must be 0~99)"}));

TEST(GetBiosVersionFormat, ClassifiesByFirstCharacterAndLength) {
    EXPECT_EQ(1, GetBiosVersionFormat("A05"));
    EXPECT_EQ(1, GetBiosVersionFormat("a07"));
    EXPECT_EQ(2, GetBiosVersionFormat("1.2.3"));
    EXPECT_EQ(2, GetBiosVersionFormat("123"));
    EXPECT_EQ(-1, GetBiosVersionFormat("5"));
    EXPECT_EQ(-1, GetBiosVersionFormat("A5"));
    EXPECT_EQ(-1, GetBiosVersionFormat("-1.2.3"));
    EXPECT_EQ(-1, GetBiosVersionFormat(".1.2"));
    EXPECT_EQ(-1, GetBiosVersionFormat("\xC4" "05"));  // a non-ASCII letter is not a letter
}

TEST(IsBelowCompatibleVersion, ChoosesThresholdBySeriesLetter) {
    std::string message;
    EXPECT_EQ(1, IsBelowCompatibleVersion("A05", "A10", "X03", message));
    EXPECT_EQ("", message);
    EXPECT_EQ(0, IsBelowCompatibleVersion("X04", "A10", "X03", message));
    EXPECT_EQ(1, IsBelowCompatibleVersion("X02", "A10", "X03", message));
    EXPECT_EQ(0, IsBelowCompatibleVersion("B02", "A10", "X03", message));
    // X is looked at first when both thresholds share a letter.
    EXPECT_EQ(0, IsBelowCompatibleVersion("A05", "A10", "A03", message));
    // The decimal reading takes every digit: A123 is series 123.
    EXPECT_EQ(0, IsBelowCompatibleVersion("A123", "A100", "X01", message));
    EXPECT_EQ(1, IsBelowCompatibleVersion("a05", "A10", "X03", message));
    EXPECT_EQ("", message);
}

TEST(IsBelowCompatibleVersion, InvalidInputs) {
    std::string message = "before";
    EXPECT_EQ(-1, IsBelowCompatibleVersion("1.2.3", "A10", "X03", message));
    EXPECT_EQ("before", message);  // the dotted form answers -1 with the message left as it was
    EXPECT_EQ(-1, IsBelowCompatibleVersion("A05", "", "X03", message));
    EXPECT_EQ("Invalid BIOS version length(2) in command line: ", message);
    EXPECT_EQ(-1, IsBelowCompatibleVersion("A05", "A10", "X3", message));
    EXPECT_EQ("Invalid BIOS version length(2) in command line: X3", message);
    EXPECT_EQ(-1, IsBelowCompatibleVersion("A5", "A10", "X03", message));
    EXPECT_EQ("Invalid BIOS version length(2) in current BIOS: A5", message);
    EXPECT_EQ(-1, IsBelowCompatibleVersion("#05", "A10", "X03", message));
    EXPECT_EQ("Invalidate BIOS version format", message);
}

struct MeCase {
    const char* current;
    const char* newVersion;
    int result;
    const char* message;
};

class CompareMeVersionTest : public testing::TestWithParam<MeCase> {};

TEST_P(CompareMeVersionTest, AnswersAndReason) {
    const MeCase& c = GetParam();
    std::string message = "untouched";
    EXPECT_EQ(c.result, CompareMeVersion(c.current, c.newVersion, message));
    EXPECT_EQ(c.message, message);
}

INSTANTIATE_TEST_SUITE_P(
    Vectors, CompareMeVersionTest,
    testing::Values(
        MeCase{"11.0.5.1234", "11.0.5.1234", 1, "No Error"}, MeCase{"11.0.5.1234", "11.0.6.0", 0, "No Error"},
        MeCase{"11.0.5.1234", "9.5.0.0", 2, "No Error"}, MeCase{"11.0", "11.0.1", 1, "No Error"},
        MeCase{"11", "11", -1, "Invalid ME version format: must be a.b.c (separated by .)"},
        MeCase{"11", "12", 0, "No Error"},
        MeCase{"11.0.10000", "11.0.5", -1, "Invalid ME version format: a.b.c (b must be 0~9999)\n"},
        MeCase{"11.0.5", "11.0.10000", -1, "Invalid ME version format in command line: a.b.c (b must be 0~9999)\n"},
        MeCase{"10000.0", "1.0", -1, "Invalid ME version format: a.b.c (a must be 0~9999)"},
        MeCase{"1.0", "-1.0", -1, "Invalid ME version format in command line: a.b.c (a must be 0~9999)"},
        // Later separators may be any single character.
        MeCase{"11.0-5_1234", "11.0.5.1234", 1, "No Error"},
        // A trailing separator on the current version ends the comparison.
        MeCase{"11.0.", "11.0.7", 1, "No Error"},
        // A part missing from the new version reads as 0.
        MeCase{"11.0.5.1234", "11.0.5", 2, "No Error"}, MeCase{"11.0.5.0", "11.0.5", 1, "No Error"},
        MeCase{"11.0.5.0", "11.0.5.", 1, "No Error"}, MeCase{"", "", -1, "Invalid ME version format: must be a.b.c (separated by .)"}));

TEST(ReadDecimal32, BehavesLikeStrtolWithA32BitLong) {
    const char* end = nullptr;
    const char* text = "  -42x";
    EXPECT_EQ(-42, ReadDecimal32(text, &end));
    EXPECT_EQ(text + 5, end);
    const char* none = "  x";
    EXPECT_EQ(0, ReadDecimal32(none, &end));
    EXPECT_EQ(none, end);  // no digits: reading stops where it started
    EXPECT_EQ(2147483647L, ReadDecimal32("99999999999999", nullptr));
    EXPECT_EQ(-2147483647L - 1, ReadDecimal32("-99999999999999", nullptr));
}

// One row per version triple: what each rule answers for it, with its message ("" when the rule
// wrote none), and where the decimal reading of the first text stops. These triples also checked,
// while the DOS program had rules of its own, that both programs answered alike.
struct SharedCase {
    const char* first;
    const char* second;
    const char* third;
    int bios;
    const char* biosMessage;
    int me;
    const char* meMessage;
    int below;
    const char* belowMessage;
    long long decimal;
    int decimalEnd;
};

const SharedCase kSharedCases[] = {
    {"A05", "A06", "X03", 0, "", -1, "Invalid ME version format: must be a.b.c (separated by .)", 1, "", 0, 0},
    {"A06", "A06", "X03", 1, "", -1, "Invalid ME version format: must be a.b.c (separated by .)", 0, "", 0, 0},
    {"a07", "A06", "X03", 2, "", -1, "Invalid ME version format: must be a.b.c (separated by .)", 0, "", 0, 0},
    {"X05", "A06", "X03", 0, "", -1, "Invalid ME version format: must be a.b.c (separated by .)", 0, "", 0, 0},
    {"A05", "T01", "X03", 0, "", -1, "Invalid ME version format: must be a.b.c (separated by .)", 0, "", 0, 0},
    {"A05", "1.2.3", "X03", -1, "BIOS version format are not matched", 0, "No Error", 0, "", 0, 0},
    {"1.2.3", "1.2.4", "A", 0, "", 0, "No Error", -1, "Invalid BIOS version length(2) in command line: A", 1, 1},
    {"1.2.3", "1.2.3", "A01", 1, "", 1, "No Error", -1, "", 1, 1},
    {"1.3.0", "1.2.9", "A01", 2, "", 2, "No Error", -1, "", 1, 1},
    {"95.0.0", "1.0.0", "A01", 0, "", 2, "No Error", -1, "", 95, 2},
    {"1.2", "1.2.3", "A01", -1, "Invalid BIOS version format: must be a.b.c (separated by .)", 1, "No Error", -1, "", 1,
     1},
    {"1.2.100", "1.2.3", "A01", -1, "Invalid BIOS version format: a.b.c (c must be 0~99)", 2, "No Error", -1, "", 1, 1},
    {"1.2.3", "1.-2.3", "A01", -1, "Invalid BIOS version format in command line: a.b.c (b must be 0~99)", -1,
     "Invalid ME version format in command line: a.b.c (b must be 0~9999)\n", -1, "", 1, 1},
    {"A5", "A06", "X03", -1, "Invalid BIOS version length(3) in current BIOS: A5", -1,
     "Invalid ME version format: must be a.b.c (separated by .)", -1,
     "Invalid BIOS version length(2) in current BIOS: A5", 0, 0},
    {"", "", "", -1, "Invalid BIOS version length(3) in current BIOS: ", -1,
     "Invalid ME version format: must be a.b.c (separated by .)", -1,
     "Invalid BIOS version length(2) in current BIOS: ", 0, 0},
    {"#05", "#06", "X03", -1, "Invalidate BIOS version format", -1,
     "Invalid ME version format: must be a.b.c (separated by .)", -1, "Invalidate BIOS version format", 0, 0},
    {"11.8.60.3561", "11.8.60.3560", "", 1, "", 2, "No Error", -1,
     "Invalid BIOS version length(2) in command line: ", 11, 2},
    {"11.0.5", "11.0.5.1234", "", 1, "", 1, "No Error", -1, "Invalid BIOS version length(2) in command line: ", 11, 2},
    {"11.0.5.0", "11.0.5", "", 1, "", 1, "No Error", -1, "Invalid BIOS version length(2) in command line: ", 11, 2},
    {"10000.1", "1.1", "", -1, "Invalid BIOS version format: a.b.c (a must be 0~99)", -1,
     "Invalid ME version format: a.b.c (a must be 0~9999)", -1,
     "Invalid BIOS version length(2) in command line: ", 10000, 5},
    {"1.99999", "1.2", "", -1, "Invalid BIOS version format: a.b.c (b must be 0~99)", -1,
     "Invalid ME version format: a.b.c (b must be 0~9999)\n", -1, "Invalid BIOS version length(2) in command line: ", 1,
     1},
    {"12", "12", "", -1, "Invalid BIOS version length(3) in current BIOS: 12", -1,
     "Invalid ME version format: must be a.b.c (separated by .)", -1,
     "Invalid BIOS version length(2) in current BIOS: 12", 12, 2},
    {"A05", "A07", "X03", 0, "", -1, "Invalid ME version format: must be a.b.c (separated by .)", 1, "", 0, 0},
    {"X01", "A07", "X03", 0, "", -1, "Invalid ME version format: must be a.b.c (separated by .)", 1, "", 0, 0},
    {"A05", "A05", "X03", 1, "", -1, "Invalid ME version format: must be a.b.c (separated by .)", 0, "", 0, 0},
    {"  42", "+43", "-1", -1, "Invalidate BIOS version format", 0, "No Error", -1,
     "Invalid BIOS version length(2) in command line: -1", 42, 4},
    {"99999999999", "1", "A", -1, "Invalid BIOS version length(3) in command line: 1", -1,
     "Invalid ME version format: a.b.c (a must be 0~9999)", -1, "Invalid BIOS version length(2) in command line: 1",
     2147483647, 11},
    {"-2147483649", "1", "A", -1, "Invalid BIOS version length(3) in command line: 1", -1,
     "Invalid ME version format: a.b.c (a must be 0~9999)", -1, "Invalid BIOS version length(2) in command line: 1",
     -2147483647L - 1, 11},
};

TEST(VersionRules, SharedCasesAnswerWithTheirMessages) {
    for (const SharedCase& c : kSharedCases) {
        SCOPED_TRACE(std::string("\"") + c.first + "\" \"" + c.second + "\" \"" + c.third + "\"");
        std::string message;
        EXPECT_EQ(c.bios, CompareBiosVersion(c.first, c.second, message));
        EXPECT_EQ(c.biosMessage, message);
        message.clear();
        EXPECT_EQ(c.me, CompareMeVersion(c.first, c.second, message));
        EXPECT_EQ(c.meMessage, message);
        message.clear();
        EXPECT_EQ(c.below, IsBelowCompatibleVersion(c.first, c.second, c.third, message));
        EXPECT_EQ(c.belowMessage, message);
        const char* end = nullptr;
        EXPECT_EQ(c.decimal, ReadDecimal32(c.first, &end));
        EXPECT_EQ(c.decimalEnd, end - c.first);
    }
}

}  // namespace
