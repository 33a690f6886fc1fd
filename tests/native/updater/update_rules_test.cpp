#include "updater/app/update_rules.h"

#include <gtest/gtest.h>

namespace {

TEST(UpdateRulesTest, ToolNamesAndCommandLines) {
    EXPECT_STREQ("AFUWIN.exe", BiosFlashToolName(false));
    EXPECT_STREQ("AFUWINx64.exe", BiosFlashToolName(true));
    EXPECT_STREQ("FWUpdLcl.exe", MeToolName(false));
    EXPECT_STREQ("FWUpdLcl64.exe", MeToolName(true));
    EXPECT_EQ("drvload HECI.inf", BuildDriverLoadCommand());
    EXPECT_EQ("C:\\pkg\\AFUWIN.exe", ToolProgramPath("C:\\pkg\\", "AFUWIN.exe"));
    EXPECT_EQ("C:\\Windows\\System32\\drvload.exe", ToolProgramPath("C:\\Windows\\System32", kDriverLoaderFile));
    EXPECT_EQ("", ToolProgramPath("", "AFUWIN.exe"));  // never "\\AFUWIN.exe" on the current drive
    EXPECT_EQ("FWUpdLcl.exe -FWVER", BuildMeVersionQueryCommand("FWUpdLcl.exe"));
    EXPECT_EQ("AFUWIN.exe \"C:\\My Files\\b.rom\" /P /B /N",
              BuildBiosFlashCommand("AFUWIN.exe", "C:\\My Files\\b.rom", BiosFlashOptions(-1)));
    EXPECT_EQ("AFUWIN.exe \"\" /P /B", BuildBiosFlashCommand("AFUWIN.exe", "", BiosFlashOptions(0)));
    EXPECT_STREQ("/P /B /N", BiosFlashOptions(1));
    // Two blanks between the quoted image and "-generic"; the allow-same form ends in a blank.
    EXPECT_EQ("FWUpdLcl.exe -f \"me.bin\"  -generic", BuildMeFlashCommand("FWUpdLcl.exe", "me.bin", " -generic"));
    EXPECT_EQ("FWUpdLcl64.exe -f \"me.bin\"  -generic -allowsv ",
              BuildMeFlashCommand("FWUpdLcl64.exe", "me.bin", " -generic -allowsv "));
    // Tool-supplied text is data: a percent sign passes unchanged.
    EXPECT_EQ("AFUWIN.exe \"%s%n.rom\" /P /B", BuildBiosFlashCommand("AFUWIN.exe", "%s%n.rom", "/P /B"));
}

TEST(UpdateRulesTest, MeVersionCleanUpAndFlashOptions) {
    EXPECT_EQ("9.1.2", CleanMeVersion(" 9.1.2\r"));
    EXPECT_EQ("11.8.50.3399", CleanMeVersion("11.8. 50.3399\r\n"));
    EXPECT_EQ("", CleanMeVersion(" \r\n "));
    EXPECT_STREQ(" -generic", MeFlashOptions(0, false));
    EXPECT_STREQ(" -generic", MeFlashOptions(0, true));
    EXPECT_EQ(nullptr, MeFlashOptions(1, false));
    EXPECT_STREQ(" -generic -allowsv ", MeFlashOptions(1, true));
    EXPECT_EQ(nullptr, MeFlashOptions(2, true));
    EXPECT_EQ(nullptr, MeFlashOptions(-1, true));
}

TEST(UpdateRulesTest, StartDecision) {
    // /ForceIt never compares: any answer starts (silent) or waits (interactive).
    EXPECT_EQ(StartDecision::kStartUpdate, DecideStart(true, true, 2));
    EXPECT_EQ(StartDecision::kWaitForUser, DecideStart(false, true, -1));
    EXPECT_EQ(StartDecision::kStartUpdate, DecideStart(true, false, 0));
    EXPECT_EQ(StartDecision::kWaitForUser, DecideStart(false, false, 0));
    for (int answer : {-1, 1, 2}) {
        EXPECT_EQ(StartDecision::kRefuseSilently, DecideStart(true, false, answer));
        EXPECT_EQ(StartDecision::kShowBanner, DecideStart(false, false, answer));
    }
}

TEST(UpdateRulesTest, SpinnerFramesInOrderAndWrapping) {
    const char* expected[] = {"Update BIOS       |", "Update BIOS       /", "Update BIOS       -",
                              "Update BIOS       \\", "Update BIOS       |"};
    int index = 0;
    for (const char* frame : expected) {
        EXPECT_EQ(frame, SpinnerTitle(index));
        EXPECT_EQ(std::string("Update BIOS") + std::string(7, ' '), SpinnerTitle(index).substr(0, 18));
        index = NextSpinnerIndex(index);
    }
    EXPECT_EQ(1, index);
}

TEST(UpdateRulesTest, EraseLineRebootAndFontWeight) {
    EXPECT_EQ("Erasing ..... (0 %)", EraseProgressLine(0));
    EXPECT_EQ("Erasing ..... (12 %)", EraseProgressLine(12));
    for (int code : {0, 1, 31}) {
        EXPECT_TRUE(ShouldReboot(code, true)) << code;
        EXPECT_FALSE(ShouldReboot(code, false)) << code;
    }
    for (int code : {2, 4, 8, 9, 11, 12, 13, 14, 32, 33}) EXPECT_FALSE(ShouldReboot(code, true)) << code;
    EXPECT_EQ(956, StatusFontWeight(400));
    EXPECT_EQ(700, StatusFontWeight(700));
    EXPECT_EQ(0x2FE, StatusFontWeight(0x0FE));  // bits outside 700 stay set
}

TEST(UpdateRulesTest, QuotesInAnImagePathAreRefused) {
    EXPECT_TRUE(BreaksCommandQuoting("a\" /X \"b"));
    EXPECT_FALSE(BreaksCommandQuoting("C:\\My Files\\b.rom"));
}

}  // namespace
