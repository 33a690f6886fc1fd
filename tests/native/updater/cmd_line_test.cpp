#include "updater/app/cmd_line.h"

#include <gtest/gtest.h>

#include "tests/support/argv_rules.h"
#include "updater/app/option_settings.h"

namespace {

BOOL SplitPortable(const std::string& tail, std::vector<std::string>& args) {
    args = SplitArgumentsLikeWindows(tail);
    return TRUE;
}

COptionSettings ParseOptions(const char* tail) {
    CCmdLine cmdLine;
    cmdLine.Parse(tail, &SplitPortable);
    COptionSettings settings;
    ReadOptionSettings(cmdLine, settings);
    return settings;
}

struct SplitCase {
    const char* line;
    std::vector<std::string> args;
};

class SplitArgumentsTest : public testing::TestWithParam<SplitCase> {};

TEST_P(SplitArgumentsTest, FollowsThePlatformRules) {
    EXPECT_EQ(GetParam().args, SplitArgumentsLikeWindows(GetParam().line)) << GetParam().line;
}

INSTANTIATE_TEST_SUITE_P(
    Vectors, SplitArgumentsTest,
    testing::Values(
        SplitCase{"/a b  c\t d", {"/a", "b", "c", "d"}},
        SplitCase{"/BiosRomFile \"C:\\My Files\\x.rom\" /NoPause", {"/BiosRomFile", "C:\\My Files\\x.rom", "/NoPause"}},
        SplitCase{"/x a\"b c\"d", {"/x", "ab cd"}},
        // Backslashes are literal unless they precede a quote.
        SplitCase{"/x C:\\dir\\ y", {"/x", "C:\\dir\\", "y"}},
        SplitCase{"/x \"C:\\dir\\\\\" y", {"/x", "C:\\dir\\", "y"}},
        SplitCase{"/x a\\\"b", {"/x", "a\"b"}},
        SplitCase{"/x a\\\\\\\"b", {"/x", "a\\\"b"}},
        // Doubled quotes inside a quoted section.
        SplitCase{"/x \"a\"\"b\"", {"/x", "a\"b"}},
        SplitCase{"/x \"\"", {"/x", ""}},
        SplitCase{"/x \"unterminated value", {"/x", "unterminated value"}},
        // The first argument follows the program-name rule: no escapes, quotes end it.
        SplitCase{"\"/a b\"c d", {"/a b", "c", "d"}},
        SplitCase{"a\\\"b c", {"a\\\"b", "c"}},
        SplitCase{" /NoPause", {"", "/NoPause"}},
        SplitCase{"/NoPause   ", {"/NoPause"}}));

TEST(CmdLine, OptionsValuesAndFind) {
    CCmdLine cmdLine;
    EXPECT_EQ(0, cmdLine.Parse("", &SplitPortable));
    EXPECT_EQ(0, cmdLine.Parse(nullptr, &SplitPortable));
    EXPECT_EQ(0, cmdLine.Parse("stray values only", &SplitPortable));
    EXPECT_EQ(0, cmdLine.GetCount());

    ASSERT_EQ(1, cmdLine.Parse("stray /BiosVer=A05 /a 1 2 -b /A 3 /", &SplitPortable));
    ASSERT_EQ(4, cmdLine.GetCount());
    EXPECT_EQ("BiosVer=A05", cmdLine.GetNode(0).m_strName);
    EXPECT_EQ(1, cmdLine.Find("a"));
    EXPECT_EQ(1, cmdLine.Find("A"));
    EXPECT_EQ(2, cmdLine.Find("a", 2));
    EXPECT_EQ(-1, cmdLine.Find("a", 3));
    EXPECT_EQ(3, cmdLine.Find(""));
    EXPECT_EQ(-1, cmdLine.Find("BiosVer"));
    EXPECT_EQ("2", cmdLine.GetValue(1, 1));
    EXPECT_EQ("-b", cmdLine.GetValue(1, 2));
    EXPECT_EQ("", cmdLine.GetValue(1, 3));
    EXPECT_EQ("", cmdLine.GetValue(-1, 0));
    EXPECT_EQ("", cmdLine.GetValue(9, 0));
}

TEST(CmdLine, ValueAsNumber) {
    EXPECT_EQ(0x0A5Bu, ParseUnsigned32("0A5B", 16));
    EXPECT_EQ(0x0A5Cu, ParseUnsigned32("0x0A5C", 16));
    EXPECT_EQ(0x0A5Cu, ParseUnsigned32("  0X0a5c", 16));
    EXPECT_EQ(0u, ParseUnsigned32("zz", 16));
    EXPECT_EQ(0u, ParseUnsigned32("", 16));
    EXPECT_EQ(0u, ParseUnsigned32("0x", 16));
    EXPECT_EQ(0x12u, ParseUnsigned32("12g4", 16));
    EXPECT_EQ(0u, ParseUnsigned32("-1", 16));  // a sign is not a digit
    EXPECT_EQ(0xFFFFFFFFu, ParseUnsigned32("123456789ABCDEF", 16));
    EXPECT_EQ(123u, ParseUnsigned32("123", 10));
    EXPECT_EQ(0u, ParseUnsigned32("123", 1));
}

TEST(OptionSettings, NamesAreCaseInsensitiveAndOnlySlashOpensAnOption) {
    EXPECT_EQ("C:\\x.rom", ParseOptions("/biosromfile C:\\x.rom").BiosRomFile);
    EXPECT_EQ("C:\\x.rom", ParseOptions("/BIOSROMFILE C:\\x.rom").BiosRomFile);
    EXPECT_FALSE(ParseOptions("-NoPause").NoPause);
    EXPECT_TRUE(ParseOptions("/nopause").NoPause);
    EXPECT_EQ("", ParseOptions("/BiosVer=A05").BiosVer);
}

TEST(OptionSettings, FirstOccurrenceWinsAndSurplusValuesAreIgnored) {
    COptionSettings s = ParseOptions("/BiosVer /NoPause");
    EXPECT_EQ("", s.BiosVer);
    EXPECT_TRUE(s.NoPause);
    EXPECT_EQ("a.rom", ParseOptions("/BiosRomFile a.rom b.rom").BiosRomFile);
    EXPECT_EQ("1.2.3", ParseOptions("/MeVer 1.2.3 /MeVer 4.5.6").MeVer);
    EXPECT_TRUE(ParseOptions("/NoReboot /NoReboot").NoReboot);
    EXPECT_TRUE(ParseOptions("/ForceIt ignored values").ForceIt);
    EXPECT_EQ("C:\\My Files\\x.rom", ParseOptions("/BiosRomFile \"C:\\My Files\\x.rom\"").BiosRomFile);
}

TEST(OptionSettings, ZeraIdListInRadix16) {
    EXPECT_EQ((std::vector<uint32_t>{0x0A5B, 0x0A5C}), ParseOptions("/ZeraID 0A5B 0x0A5C").ZeraID);
    EXPECT_EQ((std::vector<uint32_t>{0}), ParseOptions("/ZeraID").ZeraID);
    EXPECT_EQ((std::vector<uint32_t>{0}), ParseOptions("/ZeraID zz").ZeraID);
    EXPECT_TRUE(ParseOptions("/NoPause").ZeraID.empty());
    COptionSettings s = ParseOptions("/ZeraID 1 2 3");
    s.ReleaseZeraIDList();
    EXPECT_TRUE(s.ZeraID.empty());
}

TEST(OptionSettings, EveryOptionOfTheTable) {
    COptionSettings s = ParseOptions(
        "/ForceIt /NoPause /NoReboot /MeRomFile me.bin /MeVer 11.0.5 /MEUPD /AMD /BiosRomFile b.rom /ProdName Z1 "
        "/BiosVer A05 /LogFile C:\\l.log /ZeraID 1F /HideAfuWin /Ovrel /MeUpdV1 /CA A03 /CX X04");
    EXPECT_TRUE(s.ForceIt && s.NoPause && s.NoReboot && s.MEUPD && s.AMD && s.HideAfuWin && s.Ovrel && s.MeUpdV1);
    EXPECT_EQ("me.bin", s.MeRomFile);
    EXPECT_EQ("11.0.5", s.MeVer);
    EXPECT_EQ("b.rom", s.BiosRomFile);
    EXPECT_EQ("Z1", s.ProdName);
    EXPECT_EQ("A05", s.BiosVer);
    EXPECT_EQ("C:\\l.log", s.LogFile);
    EXPECT_EQ((std::vector<uint32_t>{0x1F}), s.ZeraID);
    EXPECT_EQ("A03", s.CA);
    EXPECT_EQ("X04", s.CX);

    COptionSettings empty = ParseOptions("");
    EXPECT_FALSE(empty.ForceIt || empty.NoPause || empty.NoReboot || empty.MEUPD || empty.AMD || empty.HideAfuWin ||
                 empty.Ovrel || empty.MeUpdV1);
    EXPECT_TRUE(empty.BiosRomFile.empty() && empty.BiosVer.empty() && empty.LogFile.empty() && empty.ZeraID.empty());
}

TEST(OptionSettings, FieldOptions) {
    COptionSettings s = ParseOptions("/IgnorePower /ignorebitlocker /Report \"C:\\r dir\\run.json\" x.json /?");
    EXPECT_TRUE(s.IgnorePower && s.IgnoreBitLocker && s.Help);
    EXPECT_EQ("C:\\r dir\\run.json", s.Report);
    EXPECT_FALSE(s.Check || s.NoPause);

    // A check never waits for a person.
    COptionSettings check = ParseOptions("/check");
    EXPECT_TRUE(check.Check && check.NoPause);
    COptionSettings none = ParseOptions("/NoPause");
    EXPECT_FALSE(none.IgnorePower || none.IgnoreBitLocker || none.Check || none.Help || !none.Report.empty());
}

}  // namespace
