// A package written byte by byte from the format description, not by our writer: the reader must
// read every field of it where the format puts it, and the writer must produce exactly these
// bytes for the same plan. A field swapped in both reader and writer (the two file times, the
// size and the compressed size, two command strings) passes every test that only reads what the
// writer wrote; it fails here.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "extractor/package/sfx_file.h"
#include "extractor/package/sfx_fs.h"
#include "tests/support/sfx_test_support.h"

using namespace sfxtest;

namespace {

// The golden file, one line per field. Every value is distinct from its neighbours, so that no
// two fields can trade places unseen.
const char* const kGolden[] = {
    // 0x00 program image, 16 bytes (P = 0x10)
    "4D 5A 90 00 03 00 00 00 04 00 00 00 FF FF 00 00",
    // 0x10 data area: "!SRC"
    "21 53 52 43",
    // 0x14 settings.ini's stream: zlib at the default level, 31 bytes, of the 23 bytes
    // "[Bios]\r\nSecureFlash=0\r\n"
    "78 9C 8B 76 CA CC 2F 8E E5 E5 0A 4E 4D 2E 2D 4A 75 CB 49 2C CE B0 35 E0 E5 02 00 5C 66 07 36",
    // 0x33 Brevane.exe's stream, 34 bytes, of the 26 bytes "MZ stand-in for Brevane\0\1\2"
    "78 9C F3 8D 52 28 2E 49 CC 4B D1 CD CC 53 48 CB 2F 52 70 2A 4A 2D 4B CC 4B 65 60 64 02 00 77 CA 08 33",
    // 0x55 table of contents: "!TOC", flags 0x301, reserved 0
    "21 54 4F 43",
    "01 03 00 00",
    "00 00 00 00",
    // Win32 command "Brevane.exe /NoReboot %SfxCmdLine%" and its NUL
    "42 72 65 76 61 6E 65 2E 65 78 65 20 2F 4E 6F 52 65 62 6F 6F 74 20 25 53 66 78 43 6D 64 4C 69 6E 65 25 00",
    // DOS command "AFUDOS.exe /P", command 3 "third", command 4 "fourth"
    "41 46 55 44 4F 53 2E 65 78 65 20 2F 50 00",
    "74 68 69 72 64 00",
    "66 6F 75 72 74 68 00",
    // two records
    "02 00 00 00",
    // record 1: "settings.ini", size 23, compressed 31,
    "73 65 74 74 69 6E 67 73 2E 69 6E 69 00",
    "17 00 00 00 00 00 00 00",
    "1F 00 00 00 00 00 00 00",
    // last write 0x01CF17AF'ADD27400 (2014/01/22 20:22:32 UTC), low half first,
    "00 74 D2 AD AF 17 CF 01",
    // creation 0x01D62C22'71A62D87 (2020/05/17 08:09:10.1234567 UTC),
    "87 2D A6 71 22 2C D6 01",
    // attributes read-only and archive, stream at 0x14, every platform
    "21 00 00 00",
    "14 00 00 00 00 00 00 00",
    "FF 00 00 00",
    // record 2: "Brevane.exe", size 26, compressed 34, the two times the other way round,
    // attributes archive, stream at 0x33, Win32
    "42 72 65 76 61 6E 65 2E 65 78 65 00",
    "1A 00 00 00 00 00 00 00",
    "22 00 00 00 00 00 00 00",
    "87 2D A6 71 22 2C D6 01",
    "00 74 D2 AD AF 17 CF 01",
    "20 00 00 00",
    "33 00 00 00 00 00 00 00",
    "02 00 00 00",
    // trailer: the table's offset 0x55, version 0x0100, "!Sfx_Korvale"
    "55 00 00 00 00 00 00 00",
    "00 01",
    "21 53 66 78 5F 4B 6F 72 76 61 6C 65",
};

const std::string kSettings = "[Bios]\r\nSecureFlash=0\r\n";
const std::string kBrevane("MZ stand-in for Brevane\0\1\2", 26);

std::string GoldenBytes() {
    std::string bytes;
    for (const char* line : kGolden) {
        for (const char* p = line; *p;) {
            if (*p == ' ') {
                ++p;
                continue;
            }
            bytes.push_back(static_cast<char>(std::stoi(std::string(p, 2), nullptr, 16)));
            p += 2;
        }
    }
    return bytes;
}

// The plan that the golden file records.
SfxPackagePlan GoldenPlan() {
    SfxPackagePlan plan;
    plan.flags = 0x301;
    plan.commands[0] = "Brevane.exe /NoReboot %SfxCmdLine%";
    plan.commands[1] = "AFUDOS.exe /P";
    plan.commands[2] = "third";
    plan.commands[3] = "fourth";
    plan.entries.push_back(MakeEntry("settings.ini", kSettings, 0xFF, 0x21, kTime2014, kTime2020));
    plan.entries.push_back(MakeEntry("Brevane.exe", kBrevane, 2, 0x20, kTime2020, kTime2014));
    return plan;
}

// The offset of the first byte where the two differ, for a readable failure.
size_t FirstDifference(const std::string& a, const std::string& b) {
    size_t i = 0;
    while (i < a.size() && i < b.size() && a[i] == b[i]) ++i;
    return i;
}

TEST(SfxGoldenPackage, ReaderReadsEveryFieldWhereTheFormatPutsIt) {
    CScratchDir dir;
    const std::string golden = GoldenBytes();
    ASSERT_EQ(0x55u + 4 + 4 + 4 + 35 + 14 + 6 + 7 + 4 + (13 + 48) + (12 + 48) + 22, golden.size());
    WriteFile(dir.File("golden.exe"), golden);

    CSfxFile sfx;
    ASSERT_TRUE(sfx.Open(dir.File("golden.exe").c_str())) << sfx.m_szLastError;
    ASSERT_TRUE(sfx.LoadToc()) << sfx.m_szLastError;
    EXPECT_EQ(0x55u, sfx.m_ullOffsetToTOC);
    EXPECT_EQ(0x0100, sfx.m_wSfxHeaderVersion);
    EXPECT_EQ(0x301u, sfx.m_dwSfxFlags);
    EXPECT_EQ(0u, sfx.m_dwReserved);
    EXPECT_STREQ("Brevane.exe /NoReboot %SfxCmdLine%", sfx.m_szWin32Command);
    EXPECT_STREQ("AFUDOS.exe /P", sfx.m_szDosCommand);
    EXPECT_STREQ("third", sfx.m_szCommand3);
    EXPECT_STREQ("fourth", sfx.m_szCommand4);
    ASSERT_EQ(2u, sfx.m_dwFileCount);
    ASSERT_EQ(2u, sfx.Entries().size());

    const CSrcFileInfo& settings = *sfx.Entries()[0];
    EXPECT_STREQ("settings.ini", settings.m_szFileName);
    EXPECT_EQ(23u, settings.m_ullFileSize);
    EXPECT_EQ(31u, settings.m_ullCompressedSize);
    EXPECT_EQ(kTime2014, FileTimeToU64(settings.m_ftLastWrite));
    EXPECT_EQ(kTime2020, FileTimeToU64(settings.m_ftCreation));
    EXPECT_EQ(0x21u, settings.m_dwAttributes);
    EXPECT_EQ(0x14u, settings.m_ullDataOffset);
    EXPECT_EQ(0xFFu, settings.m_dwPlatform);

    const CSrcFileInfo& brevane = *sfx.Entries()[1];
    EXPECT_STREQ("Brevane.exe", brevane.m_szFileName);
    EXPECT_EQ(26u, brevane.m_ullFileSize);
    EXPECT_EQ(34u, brevane.m_ullCompressedSize);
    EXPECT_EQ(kTime2020, FileTimeToU64(brevane.m_ftLastWrite));
    EXPECT_EQ(kTime2014, FileTimeToU64(brevane.m_ftCreation));
    EXPECT_EQ(0x20u, brevane.m_dwAttributes);
    EXPECT_EQ(0x33u, brevane.m_ullDataOffset);
    EXPECT_EQ(2u, brevane.m_dwPlatform);

    // Extracted: the bytes of each stream, the last-write time and the read-only bit applied.
    std::filesystem::create_directory(dir.Path() / "out");
    dir.EnterAsCurrent();
    std::filesystem::current_path(dir.Path() / "out");
    ASSERT_EQ(2, sfx.ExtractAll(2)) << sfx.m_szLastError;
    EXPECT_EQ(kSettings, ReadFile("settings.ini"));
    EXPECT_EQ(kBrevane, ReadFile("Brevane.exe"));
    sfxfs::FileStamp stamp{};
    ASSERT_TRUE(sfxfs::ReadStamp("settings.ini", &stamp));
    EXPECT_EQ(kTime2014, FileTimeToU64(stamp.lastWrite));
    EXPECT_EQ(0x21u, stamp.attributes & 0x21);
    ASSERT_TRUE(sfxfs::ReadStamp("Brevane.exe", &stamp));
    EXPECT_EQ(kTime2020, FileTimeToU64(stamp.lastWrite));
    EXPECT_EQ(0x20u, stamp.attributes & 0x21);
}

TEST(SfxGoldenPackage, WriterProducesTheGoldenBytesForTheSamePlan) {
    CScratchDir dir;
    const std::string golden = GoldenBytes();
    std::vector<CSrcFileInfo> stored;
    std::string path = BuildPackage(dir, "written.exe", golden.substr(0, 0x10), GoldenPlan(), &stored);
    ASSERT_FALSE(path.empty());
    const std::string written = ReadFile(path);
    EXPECT_EQ(golden.size(), written.size());
    EXPECT_TRUE(written == golden) << "first difference at offset 0x" << std::hex
                                   << FirstDifference(written, golden);
    ASSERT_EQ(2u, stored.size());
    EXPECT_EQ(0x33u, stored[1].m_ullDataOffset);
}

}  // namespace
