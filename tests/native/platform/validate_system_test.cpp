#include "updater/platform/validate_system.h"

#include <gtest/gtest.h>

#include "tests/support/captured_log.h"
#include "updater/platform/system_info.h"

namespace {

CSystemInfo Machine(const char* manufacturer, uint16_t id) {
    CSystemInfo info;
    info.SystemManufacturer = manufacturer;
    info.SystemZeraID = id;
    return info;
}

struct Case {
    const char* manufacturer;
    uint16_t id;
    std::vector<uint32_t> list;
    int result;
    const char* message;
};

class CheckSystemIdentityTest : public testing::TestWithParam<Case> {};

TEST_P(CheckSystemIdentityTest, AnswersCodeAndMessage) {
    const Case& c = GetParam();
    testsupport::CapturedLog log;
    std::string message = "untouched";
    EXPECT_EQ(c.result, CheckSystemIdentity(Machine(c.manufacturer, c.id), c.list, message));
    EXPECT_EQ(c.message, message);
    // Only a mismatch against the list is logged.
    const bool mismatch = std::string(c.message).find("different") != std::string::npos;
    EXPECT_EQ(mismatch, !log.Lines().empty());
}

const char* const kNotZera = "The system to be updated is not a Zera system.";
const char* const kNoId = "ZERA system ID (in SMBIOS Type D0) is not existed in current system.";
const char* const kNoList = "The command line /ZeraID must be specified and not zero";
const char* const kDifferent = "The system is different between current system and ROM file.";

INSTANTIATE_TEST_SUITE_P(
    Vectors, CheckSystemIdentityTest,
    testing::Values(Case{"Zera Inc.", 0x0ABC, {0x0ABC}, 0, "OK"},
                    Case{"Made by Zera Systems", 0x0ABC, {0x1, 0x10ABC}, 0, "OK"},  // low 16 bits match
                    Case{"Zera", 0x0ABC, {0x0ABC}, 14, kNotZera},
                    Case{"ZERA INC.", 0x0ABC, {0x0ABC}, 14, kNotZera},
                    Case{"Zera-Inc", 0x0ABC, {0x0ABC}, 14, kNotZera},
                    Case{"", 0x0ABC, {0x0ABC}, 14, kNotZera},
                    Case{"Zera Inc.", 0, {0x0000}, 14, kNoId},
                    Case{"Zera Inc.", 0x0ABC, {}, 11, kNoList},
                    Case{"Zera Inc.", 0x0ABC, {0}, 14, kDifferent},
                    Case{"Zera Inc.", 0x0ABC, {0x0ABD, 0x0ABC}, 0, "OK"},
                    Case{"Zera Inc.", 0x0ABC, {0x0ABD}, 14, kDifferent},
                    Case{"Zera Inc.", 0, {0x0ABC}, 14, kNoId}));

TEST(CheckSystemIdentity, MismatchLogsTheMachineAndEveryListEntry) {
    testsupport::CapturedLog log;
    std::string message;
    EXPECT_EQ(14, CheckSystemIdentity(Machine("Zera Inc.", 0x0ABD), {0x0ABC, 0x10ABC}, message));
    EXPECT_EQ(kDifferent, message);
    std::vector<std::string> expected = {"Check Zera ID, Current System = 0ABD, ",
                                         "Check Zera ID,     [0]New System = 0ABC",
                                         "Check Zera ID,     [1]New System = 0ABC"};
    EXPECT_EQ(expected, log.Lines());
}

const char* g_asked = nullptr;
BOOL AnswerYes(const char* question) {
    g_asked = question;
    return TRUE;
}
BOOL AnswerNo(const char* question) {
    g_asked = question;
    return FALSE;
}

TEST(ValidateSystemWith, DeveloperBypassIsAskedOnlyWithTheDeveloperOption) {
    std::string message = "untouched";
    g_asked = nullptr;
    EXPECT_EQ(0, ValidateSystemWith(Machine("", 0), {}, true, &AnswerYes, message));
    EXPECT_STREQ("Bypass ValidateSystem?", g_asked);
    EXPECT_EQ("untouched", message);

    // No: the check runs; an empty identity (GetSysInfo bypassed) fails at the manufacturer.
    g_asked = nullptr;
    EXPECT_EQ(14, ValidateSystemWith(Machine("", 0), {0x0ABC}, true, &AnswerNo, message));
    EXPECT_STREQ("Bypass ValidateSystem?", g_asked);
    EXPECT_EQ(kNotZera, message);

    g_asked = nullptr;
    EXPECT_EQ(11, ValidateSystemWith(Machine("Zera Inc.", 0x0ABC), {}, false, &AnswerYes, message));
    EXPECT_EQ(nullptr, g_asked);
}

}  // namespace
