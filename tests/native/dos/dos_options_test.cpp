// The DOS program's options and log lines. The option cases run through both readers, the DOS
// program's and Brevane's, so that the two cannot drift apart.
#include "dos/core/dz_log.h"
#include "dos/core/dz_options.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/support/argv_rules.h"
#include "updater/app/cmd_line.h"
#include "updater/app/option_settings.h"

namespace {

struct OptionCase {
    const char* line;
    const char* biosRomFile;
    const char* biosVer;
    const char* meRomFile;
    const char* meVer;
    const char* logFile;
    const char* ca;
    const char* cx;
    std::vector<uint32_t> zeraIds;
    bool forceIt, noPause, noReboot, meupd, amd, meUpdV1;
};

const OptionCase kOptionCases[] = {
    {"", "", "", "", "", "", "", "", {}, false, false, false, false, false, false},
    {"/BiosRomFile image.rom /BiosVer A06 /MeRomFile me.bin /MeVer 11.8.60.3561 /ZeraID 0ABC 0ABD /CA A03 /CX X03",
     "image.rom", "A06", "me.bin", "11.8.60.3561", "", "A03", "X03", {0x0ABC, 0x0ABD}, false, false, false, false, false, false},
    {"/biosromfile C:\\x.rom /BIOSVER a05 /forceit /NOPAUSE /noreboot /meupd /amd /meupdv1", "C:\\x.rom", "a05", "", "", "",
     "", "", {}, true, true, true, true, true, true},
    {"-NoPause /BiosVer /NoPause", "", "", "", "", "", "", "", {}, false, true, false, false, false, false},
    {"/BiosRomFile a.rom b.rom /MeVer 1.2.3 /MeVer 4.5.6 /NoReboot /NoReboot", "a.rom", "", "", "1.2.3", "", "", "", {},
     false, false, true, false, false, false},
    {"/ZeraID 0A5B 0x0A5C", "", "", "", "", "", "", "", {0x0A5B, 0x0A5C}, false, false, false, false, false, false},
    {"/ZeraID", "", "", "", "", "", "", "", {0}, false, false, false, false, false, false},
    {"/ZeraID zz 123456789", "", "", "", "", "", "", "", {0, 0xFFFFFFFF}, false, false, false, false, false, false},
    // White space that no splitter separates by still comes before the digits.
    {"/ZeraID \v0A5B \"\r0x0A5C\" /ZeraID 1", "", "", "", "", "", "", "", {0x0A5B, 0x0A5C}, false, false, false, false,
     false, false},
    {"/BiosRomFile \"C:\\My Files\\new image.rom\" /LogFile C:\\LOGS\\UPD.LOG", "C:\\My Files\\new image.rom", "", "", "",
     "C:\\LOGS\\UPD.LOG", "", "", {}, false, false, false, false, false, false},
    {"/BiosVer=A05 stray /BiosVer \"A 0\"\"6\"", "", "A 0\"6", "", "", "", "", "", {}, false, false, false, false, false, false},
};

BOOL Split(const std::string& tail, std::vector<std::string>& args) {
    args = SplitArgumentsLikeWindows(tail);
    return TRUE;
}

TEST(DosOptions, ReadAsBrevaneReadsThem) {
    for (const OptionCase& c : kOptionCases) {
        SCOPED_TRACE(c.line);
        static dz_options dos;
        dz_parse_options(c.line, &dos);
        CCmdLine cmdLine;
        (void)cmdLine.Parse(c.line, &Split);
        COptionSettings brevane;
        ReadOptionSettings(cmdLine, brevane);

        const std::pair<std::string, std::string> texts[] = {
            {dos.biosRomFile, brevane.BiosRomFile}, {dos.biosVer, brevane.BiosVer}, {dos.meRomFile, brevane.MeRomFile},
            {dos.meVer, brevane.MeVer},             {dos.logFile, brevane.LogFile}, {dos.ca, brevane.CA},
            {dos.cx, brevane.CX}};
        const char* expected[] = {c.biosRomFile, c.biosVer, c.meRomFile, c.meVer, c.logFile, c.ca, c.cx};
        for (size_t i = 0; i < 7; ++i) {
            EXPECT_EQ(expected[i], texts[i].first) << "DOS, field " << i;
            EXPECT_EQ(expected[i], texts[i].second) << "Brevane, field " << i;
        }
        EXPECT_EQ(c.zeraIds, std::vector<uint32_t>(dos.zeraIds, dos.zeraIds + dos.zeraCount));
        EXPECT_EQ(c.zeraIds, brevane.ZeraID);
        const bool flags[][3] = {{c.forceIt, !!dos.forceIt, brevane.ForceIt},   {c.noPause, !!dos.noPause, brevane.NoPause},
                                 {c.noReboot, !!dos.noReboot, brevane.NoReboot}, {c.meupd, !!dos.meupd, brevane.MEUPD},
                                 {c.amd, !!dos.amd, brevane.AMD},                {c.meUpdV1, !!dos.meUpdV1, brevane.MeUpdV1}};
        for (size_t i = 0; i < 6; ++i) {
            EXPECT_EQ(flags[i][0], flags[i][1]) << "DOS, flag " << i;
            EXPECT_EQ(flags[i][0], flags[i][2]) << "Brevane, flag " << i;
        }
    }
}

TEST(DosOptions, CommandAndOwnArgumentsJoin) {
    char line[DZ_COMMAND_LINE];
    dz_join_command("/BiosRomFile A.ROM", "  /NoPause", line);
    EXPECT_STREQ("/BiosRomFile A.ROM /NoPause", line);
    dz_join_command("", " /NoPause", line);
    EXPECT_STREQ("/NoPause", line);
    dz_join_command("/AMD", "   ", line);
    EXPECT_STREQ("/AMD", line);
    std::string longCommand(500, 'x');
    dz_join_command(longCommand.c_str(), "/NoPause", line);
    EXPECT_EQ(DZ_COMMAND_LINE - 1, std::string(line).size());
}

TEST(DosLog, LinesAndNamesInBrevanesFormat) {
    dz_clock when{2013, 6, 4, 14, 5, 9};
    char line[128];
    EXPECT_EQ(std::string("2013/06/04, 14:05:09, $IsAdministratorUser, YES\r\n"),
              std::string(line, dz_log_line(&when, "IsAdministratorUser", "YES", line, sizeof line)));
    dz_log_line(&when, "GetSystemInfo", "Get System Information ERROR\nno table", line, sizeof line);
    EXPECT_STREQ("2013/06/04, 14:05:09, $GetSystemInfo, Get System Information ERROR\r\nno table\r\n", line);
    char small[30];
    size_t length = dz_log_line(&when, "Tag", "a message too long for the buffer", small, sizeof small);
    EXPECT_EQ(length, std::string(small).size());
    EXPECT_LT(length, sizeof small);

    char name[80];
    dz_log_name("C:\\LOGS\\UPD.LOG", name, sizeof name);
    EXPECT_STREQ("C:\\LOGS\\UPD.LOG", name);
    dz_log_name("C:\\LOGS.D\\UPDATE", name, sizeof name);
    EXPECT_STREQ("C:\\LOGS.D\\UPDATE.log", name);
    dz_log_name("C:\\LOGS\\UPDATE.", name, sizeof name);  // a closing dot opens no extension
    EXPECT_STREQ("C:\\LOGS\\UPDATE.log", name);
    dz_log_name("C:\\LOGS\\UPD.TXT.", name, sizeof name);
    EXPECT_STREQ("C:\\LOGS\\UPD.TXT", name);
}

}  // namespace
