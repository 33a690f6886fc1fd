// The package writer tool: its manifest, reproducible output, listing and verification.
#include "devtools/sfxpack/manifest.h"
#include "devtools/sfxpack/sfxpack_ops.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "extractor/package/sfx_file.h"
#include "extractor/package/sfx_format.h"
#include "tests/support/sfx_test_support.h"

namespace fs = std::filesystem;
using namespace sfxtest;

namespace {

class SfxPackTest : public testing::Test {
protected:
    void SetUp() override {
        WriteFile(dir.File("Extractor.exe"), MinimalPeImage());
        WriteFile(dir.File("Brevane.exe"), SampleBytes(40000, 1));
        WriteFile(dir.File("settings.ini"), "[Secure]\r\nA05=capsule.bin\r\n");
        WriteFile(dir.File("HECI.inf"), SampleBytes(1622, 2));
    }
    std::string Manifest(const std::string& extra = "") {
        return "# demo package\n"
               "[package]\n"
               "flags = 0x301\n"
               "win32 = Brevane.exe /NoReboot %SfxCmdLine%\n"
               "dos =\n"
               "\n"
               "[file]\n"
               "source = Brevane.exe\n"
               "platform = Win32\n"
               "modified = 2014/01/22 20:22:32\n"
               "created = 2020/05/17 08:09:10\n"
               "attributes = 0x20\n"
               "[FILE]\r\n"
               "source = " + dir.File("HECI.inf") + "\r\n"
               "platform = winpe\r\n"
               "modified = 2014/01/22 20:22:32\n"
               "created = 2014/01/22 20:22:32\n"
               "[file]\n"
               "source = settings.ini\n"
               "name = SETTINGS.INI\n"
               "platform = all\n"
               "attributes = 0x21\n"
               "modified = 2014/01/22 20:22:32\n"
               "created = 2014/01/22 20:22:32\n" + extra;
    }
    BOOL Build(const std::string& manifest, const std::string& output, std::string& error) {
        WriteFile(dir.File("pkg.ini"), manifest);
        std::string out;
        return BuildPackage(dir.File("Extractor.exe"), dir.File("pkg.ini"), dir.File(output), out, error);
    }
    CScratchDir dir;
};

TEST_F(SfxPackTest, ManifestGivesTheEntriesInOrder) {
    SfxPackagePlan plan;
    std::string error;
    ASSERT_TRUE(ParseManifest(Manifest(), dir.Path().string(), &plan, error)) << error;
    EXPECT_EQ(0x301u, plan.flags);
    EXPECT_EQ("Brevane.exe /NoReboot %SfxCmdLine%", plan.commands[0]);
    EXPECT_EQ("", plan.commands[1]);
    ASSERT_EQ(3u, plan.entries.size());
    EXPECT_STREQ("Brevane.exe", plan.entries[0].info.m_szFileName);
    EXPECT_EQ(2u, plan.entries[0].info.m_dwPlatform);
    EXPECT_EQ(kTime2014, FileTimeToU64(plan.entries[0].info.m_ftLastWrite));
    EXPECT_EQ(kTime2020 - 1234567, FileTimeToU64(plan.entries[0].info.m_ftCreation));
    EXPECT_STREQ("HECI.inf", plan.entries[1].info.m_szFileName);
    EXPECT_EQ(4u, plan.entries[1].info.m_dwPlatform);
    EXPECT_STREQ("SETTINGS.INI", plan.entries[2].info.m_szFileName);
    EXPECT_EQ(0xFFu, plan.entries[2].info.m_dwPlatform);
    EXPECT_EQ(0x21u, plan.entries[2].info.m_dwAttributes);
}

TEST_F(SfxPackTest, ManifestRefusesWhatTheReaderCouldNotHonour) {
    const struct {
        std::string extra;
        std::string error;  // empty: only "cannot read" is checked
    } cases[] = {
        {"[file]\nsource = Brevane.exe\nname = ../up.exe\nplatform = 2\n", "line 25: name \"../up.exe\" is not a plain file name"},
        {"[file]\nsource = Brevane.exe\nname = " + std::string(80, 'a') + "\nplatform = 2\n",
         "line 25: name \"" + std::string(80, 'a') + "\" is longer than 79 characters"},
        {"[file]\nsource = Brevane.exe\nname = CON\nplatform = 2\n", "line 25: name \"CON\" is not a plain file name"},
        {"[package]\nwin32 = " + std::string(256, 'c') + "\n", "line 26: the command has 256 characters; at most 255 fit"},
        {"[package]\ncommand4 = " + std::string(300, 'c') + "\n", "line 26: the command has 300 characters; at most 255 fit"},
        {"[file]\nsource = Brevane.exe\n", "line 25: [file] without platform"},
        {"[file]\nplatform = 2\n", "line 25: [file] without source"},
        {"[file]\nsource = missing.bin\nplatform = 2\n", ""},
        {"[file]\nsource = Brevane.exe\nplatform = Win64\n", "line 27: bad value or unknown key \"platform\""},
        {"[file]\nsource = Brevane.exe\nplatform = 2\nmodified = 2014/02/30 00:00:00\n",
         "line 28: bad value or unknown key \"modified\""},
        {"[package]\nflags = 0x100000000\n", "line 26: bad value or unknown key \"flags\""},
        {"[package]\nlevel = 10\n", "line 26: bad value or unknown key \"level\""},
        {"[package]\ncolour = red\n", "line 26: bad value or unknown key \"colour\""},
        {"[tools]\n", "line 25: unknown section [tools]"},
        {"[package]\njust text\n", "line 26: expected key = value"},
    };
    for (const auto& c : cases) {
        SfxPackagePlan plan;
        std::string error;
        EXPECT_FALSE(ParseManifest(Manifest(c.extra), dir.Path().string(), &plan, error)) << c.extra;
        if (!c.error.empty())
            EXPECT_EQ(c.error, error);
        else
            EXPECT_NE(std::string::npos, error.find("cannot read")) << error;
    }
    SfxPackagePlan plan;
    std::string error;
    EXPECT_FALSE(ParseManifest("flags = 1\n", "", &plan, error));
    EXPECT_EQ("line 1: key outside [package] or [file]", error);
    // A 255-character command and a 79-character name fit.
    EXPECT_TRUE(ParseManifest(Manifest("[package]\nwin32 = " + std::string(255, 'c') + "\n[file]\nsource = Brevane.exe\nname = " +
                                       std::string(79, 'n') + "\nplatform = 2\n"),
                              dir.Path().string(), &plan, error))
        << error;
}

TEST_F(SfxPackTest, PlatformAndTimeTexts) {
    uint32_t mask = 0;
    EXPECT_TRUE(ParsePlatformText("DOS,Win32+WinPE", &mask));
    EXPECT_EQ(7u, mask);
    EXPECT_TRUE(ParsePlatformText("0x80", &mask));
    EXPECT_EQ(0x80u, mask);
    EXPECT_TRUE(ParsePlatformText("0", &mask));
    EXPECT_EQ(0u, mask);
    EXPECT_FALSE(ParsePlatformText("", &mask));
    EXPECT_FALSE(ParsePlatformText("Win32,", &mask));
    SfxFileTime time{};
    EXPECT_TRUE(ParseFileTimeText("2000/02/29 23:59:59", &time));
    EXPECT_EQ(125962560000000000ULL + 86399ULL * 10000000, FileTimeToU64(time));
    EXPECT_TRUE(ParseFileTimeText("0x01CF17AFADD27400", &time));
    EXPECT_EQ(kTime2014, FileTimeToU64(time));
    EXPECT_FALSE(ParseFileTimeText("1900/02/29 00:00:00", &time));
    EXPECT_FALSE(ParseFileTimeText("2014/01/22 24:00:00", &time));
    EXPECT_FALSE(ParseFileTimeText("2014/01/22 20:22:32x", &time));
}

TEST_F(SfxPackTest, SameInputsGiveTheSameBytes) {
    std::string error;
    ASSERT_TRUE(Build(Manifest(), "one.exe", error)) << error;
    ASSERT_TRUE(Build(Manifest(), "two.exe", error)) << error;
    std::string one = ReadFile(dir.File("one.exe"));
    EXPECT_TRUE(one == ReadFile(dir.File("two.exe")));
    // The program comes first, unchanged; the default level writes 78 9C headers.
    EXPECT_EQ(MinimalPeImage(), one.substr(0, MinimalPeImage().size()));
    EXPECT_EQ(std::string("!SRC\x78\x9C", 6), one.substr(MinimalPeImage().size(), 6));
}

TEST_F(SfxPackTest, BuildRefusesToOverwriteItsInputs) {
    WriteFile(dir.File("pkg.ini"), Manifest());
    std::string out, error;
    EXPECT_FALSE(BuildPackage(dir.File("Extractor.exe"), dir.File("pkg.ini"), dir.File("Extractor.exe"), out, error));
    EXPECT_EQ("the output would overwrite the program file", error);
    EXPECT_EQ(MinimalPeImage(), ReadFile(dir.File("Extractor.exe")));
    EXPECT_FALSE(BuildPackage(dir.File("Extractor.exe"), dir.File("pkg.ini"), dir.File("HECI.inf"), out, error));
    EXPECT_NE(std::string::npos, error.find("the output would overwrite")) << error;
}

TEST_F(SfxPackTest, ListShowsTheDialogColumns) {
    std::string error, out;
    ASSERT_TRUE(Build(Manifest(), "pkg.exe", error)) << error;
    ASSERT_TRUE(ListPackage(dir.File("pkg.exe"), out, error)) << error;
    EXPECT_NE(std::string::npos, out.find("Flags: 0x00000301 (destination option 1, no-dialog flag set)\n")) << out;
    EXPECT_NE(std::string::npos, out.find("Win32 Command: Brevane.exe /NoReboot %SfxCmdLine%\n")) << out;
    EXPECT_NE(std::string::npos, out.find("Entries: 3\n")) << out;
    EXPECT_NE(std::string::npos,
              out.find("File Name     File Size  Compressed Size  Platformd  Last Modified        Created Time         Attributes\n"))
        << out;
    EXPECT_NE(std::string::npos, out.find("HECI.inf          1,622")) << out;
    EXPECT_NE(std::string::npos, out.find("WinPE      2014/01/22 20:22:32  2014/01/22 20:22:32  -----a\n")) << out;
    EXPECT_NE(std::string::npos, out.find("??         2014/01/22 20:22:32  2014/01/22 20:22:32  r----a\n")) << out;
    EXPECT_NE(std::string::npos, out.find("Win32      2014/01/22 20:22:32  2020/05/17 08:09:10  -----a\n")) << out;
}

TEST_F(SfxPackTest, VerifyFindsABrokenStream) {
    std::string error, out;
    ASSERT_TRUE(Build(Manifest(), "pkg.exe", error)) << error;
    ASSERT_TRUE(VerifyPackage(dir.File("pkg.exe"), out, error)) << error << out;
    EXPECT_NE(std::string::npos, out.find("OK #0 \"Brevane.exe\" 40,000 bytes\n")) << out;
    EXPECT_NE(std::string::npos, out.find(": 3 entries verified\n")) << out;

    CSfxFile sfx;
    ASSERT_TRUE(sfx.Open(dir.File("pkg.exe").c_str()) && sfx.LoadToc());
    uint64_t at = sfx.Entries()[1]->m_ullDataOffset + sfx.Entries()[1]->m_ullCompressedSize - 2;
    sfx.Close();
    std::string bytes = ReadFile(dir.File("pkg.exe"));
    bytes[at] ^= 0x10;  // inside HECI.inf's Adler-32
    WriteFile(dir.File("bad.exe"), bytes);
    out.clear();
    EXPECT_FALSE(VerifyPackage(dir.File("bad.exe"), out, error));
    EXPECT_NE(std::string::npos, out.find("OK #0 \"Brevane.exe\"")) << out;
    EXPECT_NE(std::string::npos, out.find("FAILED #1 \"HECI.inf\": stream does not inflate whole (code -2 after")) << out;
    EXPECT_NE(std::string::npos, error.find(": 1 problem(s)")) << error;
}

// One manifest, two packages: behind a 64-bit image the command starts Brevane64.exe, and
// nothing else differs from the 32-bit package but the image itself and that command.
TEST_F(SfxPackTest, SixtyFourBitImageGetsTheSixtyFourBitCommand) {
    std::string image64 = MinimalPeImage();
    image64[0x44] = '\x64';  // machine AMD64 (0x8664)
    image64[0x45] = '\x86';
    WriteFile(dir.File("Extractor64.exe"), image64);
    WriteFile(dir.File("Brevane64.exe"), SampleBytes(50000, 3));
    std::string withBoth = Manifest("[file]\nsource = Brevane64.exe\nplatform = Win32+WinPE\n"
                                    "modified = 2014/01/22 20:22:32\ncreated = 2014/01/22 20:22:32\n");
    std::string error, out;
    ASSERT_TRUE(Build(withBoth, "pkg32.exe", error)) << error;
    ASSERT_TRUE(BuildPackage(dir.File("Extractor64.exe"), dir.File("pkg.ini"), dir.File("pkg64.exe"), out, error))
        << error;
    EXPECT_NE(std::string::npos, out.find("behind a 64-bit (x64) program; command: Brevane64.exe /NoReboot")) << out;

    CSfxFile sfx32, sfx64;
    ASSERT_TRUE(sfx32.Open(dir.File("pkg32.exe").c_str()) && sfx32.LoadToc());
    ASSERT_TRUE(sfx64.Open(dir.File("pkg64.exe").c_str()) && sfx64.LoadToc());
    EXPECT_STREQ("Brevane.exe /NoReboot %SfxCmdLine%", sfx32.m_szWin32Command);
    EXPECT_STREQ("Brevane64.exe /NoReboot %SfxCmdLine%", sfx64.m_szWin32Command);
    // The same streams at the same offsets (the images have one size), the same records.
    std::string bytes32 = ReadFile(dir.File("pkg32.exe")), bytes64 = ReadFile(dir.File("pkg64.exe"));
    size_t toc = static_cast<size_t>(sfx32.m_ullOffsetToTOC);
    EXPECT_EQ(bytes32.substr(image64.size(), toc - image64.size()), bytes64.substr(image64.size(), toc - image64.size()));
    ASSERT_EQ(sfx32.Entries().size(), sfx64.Entries().size());
    for (size_t i = 0; i < sfx32.Entries().size(); ++i) {
        sfx::CByteWriter record32, record64;
        sfx::WriteEntryRecord(record32, *sfx32.Entries()[i]);
        sfx::WriteEntryRecord(record64, *sfx64.Entries()[i]);
        EXPECT_EQ(record32.Data(), record64.Data()) << i;
    }
    sfx32.Close();
    sfx64.Close();

    out.clear();
    ASSERT_TRUE(ListPackage(dir.File("pkg64.exe"), out, error)) << error;
    EXPECT_NE(std::string::npos, out.find("Program: 64-bit (x64)\nFlags: 0x00000301")) << out;
    out.clear();
    ASSERT_TRUE(VerifyPackage(dir.File("pkg64.exe"), out, error)) << error << out;
    EXPECT_NE(std::string::npos, out.find("OK command for a 64-bit (x64) program: Brevane64.exe /NoReboot")) << out;
    out.clear();
    ASSERT_TRUE(VerifyPackage(dir.File("pkg32.exe"), out, error)) << error << out;
    EXPECT_NE(std::string::npos, out.find("OK command for a 32-bit (x86) program: Brevane.exe /NoReboot")) << out;

    // A 64-bit package that does not carry Brevane64.exe could not start it.
    ASSERT_TRUE(Build(Manifest(), "pkg.exe", error)) << error;
    ASSERT_TRUE(BuildPackage(dir.File("Extractor64.exe"), dir.File("pkg.ini"), dir.File("lacking64.exe"), out, error));
    out.clear();
    EXPECT_FALSE(VerifyPackage(dir.File("lacking64.exe"), out, error));
    EXPECT_NE(std::string::npos, out.find("FAILED command: the command starts Brevane64.exe, which is no entry for "
                                          "Windows\n"))
        << out;

    // A 32-bit command behind the 64-bit image (written by other means) is refused by verify.
    std::string mixed = image64 + bytes32.substr(image64.size());
    WriteFile(dir.File("mixed.exe"), mixed);
    out.clear();
    EXPECT_FALSE(VerifyPackage(dir.File("mixed.exe"), out, error));
    EXPECT_NE(std::string::npos,
              out.find("FAILED command: a 64-bit (x64) program whose command starts the 32-bit Brevane.exe\n"))
        << out;
}

TEST_F(SfxPackTest, SixtyFourBitCommandIsGivenOrDerivedFromTheFirstToken) {
    struct Case {
        const char* win32;
        const char* win64;  // the manifest's own win64 line, or nullptr
        const char* stored;  // nullptr: refused
    } cases[] = {
        {"Brevane.exe /NoReboot %SfxCmdLine%", nullptr, "Brevane64.exe /NoReboot %SfxCmdLine%"},
        {"\"%ExtractDest%\\BREVANE.EXE\" /a brevane.exe", nullptr, "\"%ExtractDest%\\Brevane64.exe\" /a brevane.exe"},
        {"tools\\Brevane.exe", nullptr, "tools\\Brevane64.exe"},
        {"Brevane.exe /a", "Brevane64.exe /b", "Brevane64.exe /b"},
        {"sfxprobe.exe /a", "probe64.exe", "probe64.exe"},
        {"sfxprobe.exe /a", nullptr, nullptr},      // nothing to derive from
        {"Brevane.exe.bak /a", nullptr, nullptr},   // not Brevane.exe itself
        {"", nullptr, ""},                          // no command in either package
    };
    for (const auto& c : cases) {
        std::string text = std::string("[package]\nwin32 = ") + c.win32 + "\n" +
                           (c.win64 ? std::string("win64 = ") + c.win64 + "\n" : std::string());
        SfxPackagePlan plan;
        std::string error;
        BOOL ok = ParseManifest(text, "", &plan, error, ProgramKind::X64);
        if (!c.stored) {
            EXPECT_FALSE(ok) << c.win32;
            EXPECT_NE(std::string::npos, error.find("give it as win64 = ...")) << error;
            continue;
        }
        ASSERT_TRUE(ok) << c.win32 << ": " << error;
        EXPECT_EQ(c.stored, plan.commands[0]) << c.win32;
        // The 32-bit package keeps the win32 command whatever win64 says.
        ASSERT_TRUE(ParseManifest(text, "", &plan, error, ProgramKind::X86)) << error;
        EXPECT_EQ(c.win32, plan.commands[0]);
    }
    // Brevane64.exe is two characters longer: a 254-character command no longer fits.
    std::string longCommand = "Brevane.exe " + std::string(254 - 12, 'x');
    SfxPackagePlan plan;
    std::string error;
    EXPECT_FALSE(ParseManifest("[package]\nwin32 = " + longCommand + "\n", "", &plan, error, ProgramKind::X64));
    EXPECT_NE(std::string::npos, error.find("the 64-bit command has 256 characters; at most 255 fit")) << error;
}

TEST_F(SfxPackTest, ExtractWritesTheMaskedEntriesIntoANewFolder) {
    std::string error, out;
    ASSERT_TRUE(Build(Manifest(), "pkg.exe", error)) << error;
    std::string destination = (dir.Path() / "deep" / "er").string();
    ASSERT_TRUE(ExtractPackage(dir.File("pkg.exe"), destination, 6, out, error)) << error;
    EXPECT_EQ("3 file(s) extracted to " + destination + "\n", out);
    EXPECT_TRUE(ReadFile(dir.File("Brevane.exe")) == ReadFile((fs::path(destination) / "Brevane.exe").string()));
    EXPECT_EQ(ReadFile(dir.File("settings.ini")), ReadFile((fs::path(destination) / "SETTINGS.INI").string()));
    out.clear();
    // Again: the read-only SETTINGS.INI is in the way now.
    EXPECT_FALSE(ExtractPackage(dir.File("pkg.exe"), destination, 6, out, error));
    EXPECT_NE(std::string::npos, error.find("Create DestFile ERR,SETTINGS.INI,#13")) << error;
}

}  // namespace
