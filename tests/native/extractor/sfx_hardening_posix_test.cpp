// What someone with write access to the package's path or to the destination could try. Posix
// only: the tests replace a file that is open (Windows refuses that through the sharing mode,
// tested Windows-side) and make symbolic links.
//
// The package is read twice in one run (the table first, the data after the dialog). Between
// the two the path may be given to another file; with the file kept across Close, the second
// read still sees the first file.
#include "extractor/package/sfx_file.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>

#include "tests/support/sfx_test_support.h"

namespace fs = std::filesystem;
using namespace sfxtest;

namespace {

SfxPackagePlan Plan(const std::string& command, const std::string& data) {
    SfxPackagePlan plan;
    plan.flags = 0x102;
    plan.commands[0] = command;
    plan.entries.push_back(MakeEntry("Brevane.exe", data, 2));
    return plan;
}

TEST(SfxKeepOpen, SecondOpenReadsTheFileFirstOpenedWhateverThePathNamesNow) {
    CScratchDir dir;
    std::string genuine = BuildPackage(dir, "pkg.exe", "MZ program", Plan("Brevane.exe /genuine", "genuine bytes"));
    std::string forged = BuildPackage(dir, "forged.exe", "MZ program", Plan("Brevane.exe /forged", "forged bytes"));
    ASSERT_FALSE(genuine.empty());
    ASSERT_FALSE(forged.empty());

    CSfxFile reader;
    reader.KeepFileAcrossClose();
    ASSERT_TRUE(reader.Open(genuine.c_str()) && reader.LoadToc()) << reader.m_szLastError;
    reader.Close();
    EXPECT_FALSE(reader.IsOpen());
    fs::rename(genuine, dir.File("moved.exe"));
    fs::rename(forged, genuine);

    ASSERT_TRUE(reader.Open(genuine.c_str())) << reader.m_szLastError;
    fs::create_directory(dir.Path() / "out");
    dir.EnterAsCurrent();
    fs::current_path(dir.Path() / "out");
    EXPECT_EQ(1, reader.ExtractAll(2)) << reader.m_szLastError;
    EXPECT_EQ("genuine bytes", ReadFile("Brevane.exe"));
    EXPECT_FALSE(reader.Open(genuine.c_str()));  // still one file open at a time
    EXPECT_STREQ("SfxFile has already opened", reader.m_szLastError);
    reader.Close();

    // Another path is opened afresh, and the one kept before is let go.
    reader.FreeEntries();
    ASSERT_TRUE(reader.Open((dir.Path() / "moved.exe").c_str()) && reader.LoadToc()) << reader.m_szLastError;
    EXPECT_STREQ("Brevane.exe /genuine", reader.m_szWin32Command);
    reader.Close();
    ASSERT_TRUE(reader.Open(genuine.c_str()) && reader.LoadToc()) << reader.m_szLastError;
    EXPECT_STREQ("Brevane.exe /forged", reader.m_szWin32Command);
}

// An entry name that exists as a link in the destination, to a file or to nowhere: writing
// through it would create or overwrite the file it points at.
TEST(SfxLinks, EntryNameThatIsALinkIsRefusedAndItsTargetLeftAlone) {
    CScratchDir dir;
    SfxPackagePlan plan = Plan("Brevane.exe", "package bytes");
    plan.entries.push_back(MakeEntry("settings.ini", "[Bios]", 0xFF));
    std::string package = BuildPackage(dir, "pkg.exe", "MZ program", plan);
    fs::create_directory(dir.Path() / "out");
    WriteFile(dir.File("outside.ini"), "not yours");
    fs::create_symlink(dir.Path() / "outside.ini", dir.Path() / "out" / "settings.ini");
    fs::create_symlink(dir.Path() / "nowhere.exe", dir.Path() / "out" / "Brevane.exe");

    CSfxFile reader;
    ASSERT_TRUE(reader.Open(package.c_str()) && reader.LoadToc()) << reader.m_szLastError;
    dir.EnterAsCurrent();
    fs::current_path(dir.Path() / "out");
    for (const auto& entry : reader.Entries()) {
        EXPECT_FALSE(reader.ExtractOne(entry.get()));
        EXPECT_EQ(std::string("Link refused for ExtractOne(),") + entry->m_szFileName, reader.m_szLastError);
    }
    EXPECT_EQ("not yours", ReadFile(dir.File("outside.ini")));
    EXPECT_FALSE(fs::exists(dir.Path() / "nowhere.exe"));
}

}  // namespace
