// The package reader on packages built by the writer, and on packages altered byte by byte.
#include "extractor/package/sfx_file.h"

#include <gtest/gtest.h>

#include <cinttypes>

#include <filesystem>

#include "extractor/package/sfx_format.h"
#include "extractor/package/sfx_fs.h"
#include "common/format.h"
#include "tests/support/package_rule_cases.h"
#include "tests/support/sfx_test_support.h"

namespace fs = std::filesystem;
using namespace sfxtest;

namespace {

uint64_t TrailerTocOffset(const std::string& bytes) {
    size_t at = bytes.rfind(std::string(sfx::kSignature, sfx::kSignatureScanLength));
    uint64_t offset = 0;
    for (int i = 7; i >= 0; --i) offset = (offset << 8) | static_cast<unsigned char>(bytes[at - 10 + i]);
    return offset;
}

// Replaces everything from the table of contents on: a new table with `records` (and `count`
// as the stored count) and a trailer. The streams before it stay.
std::string WithToc(const std::string& package, const std::vector<CSrcFileInfo>& records, uint32_t count,
                    uint32_t flags = 0x301, const std::string& win32 = "run.exe") {
    uint64_t toc = TrailerTocOffset(package);
    sfx::CByteWriter w;
    std::string commands[4] = {win32, "", "", ""};
    sfx::WriteTocHeader(w, flags, 0, commands, count);
    for (const CSrcFileInfo& record : records) sfx::WriteEntryRecord(w, record);
    sfx::WriteTrailer(w, toc);
    return package.substr(0, toc) + w.Data();
}

class SfxReaderTest : public testing::Test {
protected:
    // A package with one entry per mask of interest, and a program part with two copies of the
    // signature text (as the program's constant data and the DOS program carry them).
    void SetUp() override {
        program = "MZ" + std::string(300, 'p') + sfx::kSignature + std::string(50, 'q') + sfx::kSignature + "tail";
        plan.flags = 0x301;
        plan.commands[0] = "Brevane.exe /NoReboot %SfxCmdLine%";
        plan.commands[1] = "";
        plan.entries.push_back(MakeEntry("AFUDOS.exe", SampleBytes(3000, 1), 1));
        plan.entries.push_back(MakeEntry("FWUpdLcl.exe", "dos form", 1));
        plan.entries.push_back(MakeEntry("Brevane.exe", SampleBytes(70000, 2), 2));
        plan.entries.push_back(MakeEntry("FWUpdLcl.exe", "windows form", 2));
        plan.entries.push_back(MakeEntry("HECI.inf", SampleBytes(1622, 3), 4));
        plan.entries.push_back(MakeEntry("settings.ini", "[Secure]\r\n", 0xFF, 0x21));
        plan.entries.push_back(MakeEntry("never.bin", "masked out", 0));
        plan.entries.push_back(MakeEntry(std::string(79, 'n'), "long name", 2));
        plan.entries.push_back(MakeEntry("empty.txt", "", 2));
        package = BuildPackage(dir, "pkg.exe", program, plan, &stored);
        out = dir.Path() / "out";
        fs::create_directory(out);
    }

    BOOL OpenAndLoad() { return sfx.Open(package.c_str()) && sfx.LoadToc(); }

    CScratchDir dir;
    std::string program;
    SfxPackagePlan plan;
    std::vector<CSrcFileInfo> stored;
    std::string package;
    fs::path out;
    CSfxFile sfx;
};

TEST_F(SfxReaderTest, ReadsTheHeaderAndEveryRecordAsWritten) {
    ASSERT_TRUE(OpenAndLoad()) << sfx.m_szLastError;
    EXPECT_EQ(0x301u, sfx.m_dwSfxFlags);
    EXPECT_EQ(1u, sfx.GetDestOption());
    EXPECT_TRUE(sfx.IsNoDialog());
    EXPECT_EQ(0x0100, sfx.m_wSfxHeaderVersion);
    EXPECT_STREQ("Brevane.exe /NoReboot %SfxCmdLine%", sfx.m_szWin32Command);
    EXPECT_STREQ("", sfx.m_szDosCommand);  // an empty command is one NUL and reads empty
    EXPECT_STREQ("", sfx.m_szCommand3);
    EXPECT_STREQ("", sfx.m_szCommand4);
    EXPECT_EQ(stored.size(), sfx.m_dwFileCount);
    ASSERT_EQ(stored.size(), sfx.Entries().size());
    // The first stream starts right after the program and "!SRC".
    EXPECT_EQ(program.size() + 4, sfx.Entries()[0]->m_ullDataOffset);
    EXPECT_EQ("!SRC", ReadFile(package).substr(program.size(), 4));
    for (size_t i = 0; i < stored.size(); ++i) {
        const CSrcFileInfo& got = *sfx.Entries()[i];
        SCOPED_TRACE(stored[i].m_szFileName);
        EXPECT_STREQ(stored[i].m_szFileName, got.m_szFileName);
        EXPECT_EQ(plan.entries[i].data.size(), got.m_ullFileSize);
        EXPECT_EQ(stored[i].m_ullCompressedSize, got.m_ullCompressedSize);
        EXPECT_EQ(kTime2014, FileTimeToU64(got.m_ftLastWrite));
        EXPECT_EQ(kTime2020, FileTimeToU64(got.m_ftCreation));
        EXPECT_EQ(stored[i].m_dwAttributes, got.m_dwAttributes);
        EXPECT_EQ(stored[i].m_ullDataOffset, got.m_ullDataOffset);
        EXPECT_EQ(stored[i].m_dwPlatform, got.m_dwPlatform);
        EXPECT_TRUE(got.m_bSelected);
    }
    EXPECT_EQ(79u, std::string(sfx.Entries()[7]->m_szFileName).size());
    // The header and the list survive Close and FreeEntries... the header does; the list goes.
    sfx.Close();
    EXPECT_FALSE(sfx.IsOpen());
    EXPECT_TRUE(sfx.HasEntries());
    sfx.FreeEntries();
    EXPECT_FALSE(sfx.HasEntries());
    EXPECT_EQ(0x301u, sfx.m_dwSfxFlags);
    EXPECT_STREQ("Brevane.exe /NoReboot %SfxCmdLine%", sfx.m_szWin32Command);
}

struct MaskCase {
    uint32_t mask;
    int count;
    const char* fwupdContent;  // nullptr: FWUpdLcl.exe is not written
    std::vector<std::string> present;
    std::vector<std::string> absent;
};

class SfxExtractAllMaskTest : public SfxReaderTest, public testing::WithParamInterface<MaskCase> {};

TEST_P(SfxExtractAllMaskTest, WritesTheEntriesThatShareABit) {
    const MaskCase& c = GetParam();
    ASSERT_TRUE(OpenAndLoad()) << sfx.m_szLastError;
    dir.EnterAsCurrent();
    fs::current_path(out);
    EXPECT_EQ(c.count, sfx.ExtractAll(c.mask)) << sfx.m_szLastError;
    for (const std::string& name : c.present) EXPECT_TRUE(fs::exists(out / name)) << name;
    for (const std::string& name : c.absent) EXPECT_FALSE(fs::exists(out / name)) << name;
    if (c.fwupdContent)
        EXPECT_EQ(c.fwupdContent, ReadFile((out / "FWUpdLcl.exe").string()));
    else
        EXPECT_FALSE(fs::exists(out / "FWUpdLcl.exe"));
    // Whatever is written is the stored file, byte for byte.
    for (const SfxWriterEntry& entry : plan.entries) {
        if (fs::exists(out / entry.info.m_szFileName) && std::string(entry.info.m_szFileName) != "FWUpdLcl.exe") {
            EXPECT_TRUE(entry.data == ReadFile((out / entry.info.m_szFileName).string())) << entry.info.m_szFileName;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(
    Masks, SfxExtractAllMaskTest,
    testing::Values(
        // Windows and Windows PE: the DOS entries and the mask-0 entry stay behind.
        MaskCase{6, 6, "windows form", {"Brevane.exe", "HECI.inf", "settings.ini", std::string(79, 'n'), "empty.txt"},
                 {"AFUDOS.exe", "never.bin"}},
        // Every platform: the later FWUpdLcl.exe overwrites the earlier one; mask 0 never matches.
        MaskCase{0xFF, 8, "windows form", {"AFUDOS.exe", "Brevane.exe", "HECI.inf", "settings.ini"}, {"never.bin"}},
        MaskCase{1, 3, "dos form", {"AFUDOS.exe", "settings.ini"}, {"Brevane.exe", "HECI.inf", "never.bin"}},
        MaskCase{4, 2, nullptr, {"HECI.inf", "settings.ini"}, {"Brevane.exe", "AFUDOS.exe"}},
        // "Every platform" is the low eight bits: a mask above them shares none.
        MaskCase{0x100, 0, nullptr, {}, {"settings.ini", "HECI.inf"}},
        MaskCase{0, 0, nullptr, {}, {"settings.ini", "never.bin"}}));

TEST_F(SfxReaderTest, RestoresStoredTimesAndAttributes) {
    ASSERT_TRUE(OpenAndLoad()) << sfx.m_szLastError;
    dir.EnterAsCurrent();
    fs::current_path(out);
    ASSERT_TRUE(sfx.ExtractOne(sfx.Entries()[5].get())) << sfx.m_szLastError;  // settings.ini, 0x21
    ASSERT_TRUE(sfx.ExtractOne(sfx.Entries()[2].get())) << sfx.m_szLastError;  // Brevane.exe, 0x20
    sfxfs::FileStamp readOnly{}, archive{};
    ASSERT_TRUE(sfxfs::ReadStamp("settings.ini", &readOnly));
    ASSERT_TRUE(sfxfs::ReadStamp("Brevane.exe", &archive));
    EXPECT_EQ(kTime2014, FileTimeToU64(readOnly.lastWrite));
    EXPECT_EQ(kTime2014, FileTimeToU64(archive.lastWrite));
    EXPECT_EQ(0x21u, readOnly.attributes & 0x21);
    EXPECT_EQ(0x20u, archive.attributes & 0x21);
    // The creation time is set too, but neither Linux nor Wine keeps one to read back.
    // Extracting again over the now read-only file fails with the C library's EACCES.
    EXPECT_FALSE(sfx.ExtractOne(sfx.Entries()[5].get()));
    EXPECT_STREQ("Create DestFile ERR,settings.ini,#13", sfx.m_szLastError);
}

TEST_F(SfxReaderTest, ReadOnlyFileInTheWayStopsExtractAll) {
    ASSERT_TRUE(OpenAndLoad());
    dir.EnterAsCurrent();
    fs::current_path(out);
    WriteFile((out / "HECI.inf").string(), "old");
    fs::permissions(out / "HECI.inf", fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                    fs::perm_options::remove);
    EXPECT_EQ(0, sfx.ExtractAll(6));
    EXPECT_STREQ("Create DestFile ERR,HECI.inf,#13", sfx.m_szLastError);
    EXPECT_EQ("old", ReadFile((out / "HECI.inf").string()));
    // Entries before it in the table were written and stay.
    EXPECT_TRUE(fs::exists(out / "Brevane.exe"));
}

TEST_F(SfxReaderTest, CreateErrorTextIsCutTo79Characters) {
    std::vector<CSrcFileInfo> records = stored;
    ASSERT_TRUE(OpenAndLoad());
    dir.EnterAsCurrent();
    fs::current_path(out);
    CSrcFileInfo* longName = sfx.Entries()[7].get();
    WriteFile((out / longName->m_szFileName).string(), "x");
    fs::permissions(out / longName->m_szFileName, fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                    fs::perm_options::remove);
    EXPECT_FALSE(sfx.ExtractOne(longName));
    std::string expected = "Create DestFile ERR," + std::string(79, 'n') + ",#13";
    EXPECT_EQ(expected.substr(0, 79), sfx.m_szLastError);
}

TEST_F(SfxReaderTest, OpenFailuresLeaveNoFileOpen) {
    struct Case {
        std::string bytes;
        const char* message;
    };
    std::string good = ReadFile(package);
    const std::string prefix(sfx::kSignature, sfx::kSignatureScanLength);
    const Case cases[] = {
        {"no signature here at all", "Find Signature SFX error"},
        {"", "Find Signature SFX error"},
        // The 11-byte prefix at the very end: only 11 of the 12 bytes can be read.
        {good + prefix, "Read Signature SFX error"},
        {good + prefix + "X", "Signature SFX mismatched"},
        // An occurrence behind the real trailer is taken instead of it.
        {good + std::string(6, '\0') + sfx::kSignature, "SfxHeaderVersion mismatched: 0000 != 0100"},
        // Fewer than two bytes before the signature: nothing to read as the version.
        {std::string("x") + sfx::kSignature, "SfxHeaderVersion mismatched: FFFF != 0100"},
    };
    for (const Case& c : cases) {
        std::string path = dir.File("case.bin");
        WriteFile(path, c.bytes);
        CSfxFile reader;
        EXPECT_FALSE(reader.Open(path.c_str()));
        EXPECT_STREQ(c.message, reader.m_szLastError);
        EXPECT_FALSE(reader.IsOpen());
    }
    CSfxFile reader;
    EXPECT_FALSE(reader.Open(dir.File("missing.exe").c_str()));
    EXPECT_STREQ("Open Sfx file error", reader.m_szLastError);
}

TEST_F(SfxReaderTest, RejectsEveryVersionButBytes00And01) {
    std::string good = ReadFile(package);
    size_t version = good.size() - sfx::kSignatureLength - 2;
    const struct {
        unsigned char low, high;
        const char* message;
    } cases[] = {{0x01, 0x01, "SfxHeaderVersion mismatched: 0101 != 0100"},
                 {0x01, 0x00, "SfxHeaderVersion mismatched: 0001 != 0100"},
                 {0x00, 0x02, "SfxHeaderVersion mismatched: 0200 != 0100"}};
    for (const auto& c : cases) {
        std::string bytes = good;
        bytes[version] = static_cast<char>(c.low);
        bytes[version + 1] = static_cast<char>(c.high);
        std::string path = dir.File("version.exe");
        WriteFile(path, bytes);
        CSfxFile reader;
        EXPECT_FALSE(reader.Open(path.c_str()));
        EXPECT_STREQ(c.message, reader.m_szLastError);
        EXPECT_FALSE(reader.IsOpen());
        EXPECT_EQ(c.low | (c.high << 8), reader.m_wSfxHeaderVersion);
    }
}

TEST_F(SfxReaderTest, SecondOpenFailsAndKeepsTheFirst) {
    ASSERT_TRUE(sfx.Open(package.c_str()));
    EXPECT_FALSE(sfx.Open(dir.File("missing.exe").c_str()));
    EXPECT_STREQ("SfxFile has already opened", sfx.m_szLastError);
    EXPECT_TRUE(sfx.LoadToc()) << sfx.m_szLastError;
    EXPECT_EQ(stored.size(), sfx.Entries().size());
    // LoadToc appends: a second load doubles the list.
    EXPECT_TRUE(sfx.LoadToc());
    EXPECT_EQ(2 * stored.size(), sfx.Entries().size());
}

TEST_F(SfxReaderTest, OperationsInTheWrongStateSayWhy) {
    EXPECT_FALSE(sfx.LoadToc());
    EXPECT_STREQ("SfxFile not opened", sfx.m_szLastError);
    CSrcFileInfo entry;
    EXPECT_FALSE(sfx.ExtractOne(&entry));
    EXPECT_STREQ("SfxFile not opened", sfx.m_szLastError);

    ASSERT_TRUE(OpenAndLoad());
    EXPECT_FALSE(sfx.ExtractOne(nullptr));
    EXPECT_STREQ("NULL pointer for ExtractOne()", sfx.m_szLastError);
    EXPECT_FALSE(sfx.ExtractOne(&entry));
    EXPECT_STREQ("NULL filename for ExtractOne()", sfx.m_szLastError);
    // A successful operation leaves the last text alone.
    dir.EnterAsCurrent();
    fs::current_path(out);
    EXPECT_TRUE(sfx.ExtractOne(sfx.Entries()[2].get()));
    EXPECT_STREQ("NULL filename for ExtractOne()", sfx.m_szLastError);
}

TEST_F(SfxReaderTest, TocOffsetZeroMeansNotLoaded) {
    std::string bytes = ReadFile(package);
    size_t offset = bytes.size() - sfx::kTrailerSize;
    for (int i = 0; i < 8; ++i) bytes[offset + i] = 0;
    std::string path = dir.File("zero.exe");
    WriteFile(path, bytes);
    ASSERT_TRUE(sfx.Open(path.c_str()));
    EXPECT_EQ(0u, sfx.m_ullOffsetToTOC);
    EXPECT_FALSE(sfx.LoadToc());
    EXPECT_STREQ("Signature TOC mismatched", sfx.m_szLastError);
    EXPECT_TRUE(sfx.IsOpen());  // a failed load leaves the file open
    CSrcFileInfo entry = stored[2];
    EXPECT_FALSE(sfx.ExtractOne(&entry));
    EXPECT_STREQ("TOC not been loaded", sfx.m_szLastError);
}

TEST_F(SfxReaderTest, RefusesNamesThatAreNotPlainAndWritesNothing) {
    const char* const names[] = {"../escape.txt", "..\\escape.txt", "sub/inner.txt", "C:escape.txt", "\\root.txt",
                                 "..",            ".",              "CON",           "nul.txt",       ". .",
                                 "a:stream"};
    std::vector<CSrcFileInfo> records;
    for (const char* name : names) {
        CSrcFileInfo record = stored[3];
        std::snprintf(record.m_szFileName, sizeof record.m_szFileName, "%s", name);
        records.push_back(record);
    }
    std::string path = dir.File("unsafe.exe");
    WriteFile(path, WithToc(ReadFile(package), records, static_cast<uint32_t>(records.size())));
    ASSERT_TRUE(sfx.Open(path.c_str()));
    ASSERT_TRUE(sfx.LoadToc());
    fs::create_directory(out / "sub");
    dir.EnterAsCurrent();
    fs::current_path(out / "sub");
    for (const auto& entry : sfx.Entries()) {
        EXPECT_FALSE(sfx.ExtractOne(entry.get())) << entry->m_szFileName;
        EXPECT_EQ(std::string("Unsafe filename for ExtractOne(),") + entry->m_szFileName, sfx.m_szLastError);
    }
    EXPECT_EQ(0, sfx.ExtractAll(0xFF));
    EXPECT_TRUE(fs::is_empty(out / "sub"));
    EXPECT_FALSE(fs::exists(out / "escape.txt"));
}

// The same cases as the DOS program's reader: a table that reaches into the trailer is refused
// whole, and a record is never made of the trailer's bytes or of a certificate behind them.
TEST(SfxPackageRules, TableLiesWhollyBeforeTheTrailer) {
    CScratchDir dir;
    SfxPackagePlan plan;
    plan.flags = 0x301;
    plan.commands[0] = "Brevane.exe %SfxCmdLine%";
    plan.entries.push_back(MakeEntry("Brevane.exe", SampleBytes(3000, 1), 2));
    plan.entries.push_back(MakeEntry("settings.ini", "[Secure]\r\n", 0xFF));
    std::string package = ReadFile(BuildPackage(dir, "pkg.exe", MinimalPeImage(), plan));
    ASSERT_FALSE(package.empty());
    int n = 0;
    for (const TableBoundCase& c : kTableBoundCases) {
        SCOPED_TRACE(c.what);
        std::string path = dir.File("case" + std::to_string(n++) + ".exe");
        WriteFile(path, WithTableBound(package, c));
        CSfxFile sfx;
        ASSERT_TRUE(sfx.Open(path.c_str())) << sfx.m_szLastError;
        sfx.FreeEntries();
        BOOL loaded = sfx.LoadToc();
        if (!c.error) {
            ASSERT_TRUE(loaded) << sfx.m_szLastError;
            ASSERT_EQ(2u, sfx.Entries().size());
            EXPECT_STREQ("settings.ini", sfx.Entries()[1]->m_szFileName);
            EXPECT_STREQ("Brevane.exe %SfxCmdLine%", sfx.m_szWin32Command);
        } else {
            EXPECT_FALSE(loaded);
            EXPECT_STREQ(c.error, sfx.m_szLastError);
            EXPECT_TRUE(sfx.Entries().empty());
            EXPECT_TRUE(sfx.IsOpen());  // a failed load leaves the file open
        }
    }
}

// The same cases as the DOS program's reader: a command may fill its field, and a name that
// fills its field is listed empty.
TEST(SfxPackageRules, AFieldMayFillItsLimit) {
    CScratchDir dir;
    SfxPackagePlan plan;
    plan.commands[0] = "Brevane.exe %SfxCmdLine%";
    plan.commands[1] = "/BiosRomFile IMAGE.ROM";
    plan.entries.push_back(MakeEntry("settings.ini", "[Secure]\r\n", 0xFF));
    std::string package = ReadFile(BuildPackage(dir, "pkg.exe", MinimalPeImage(), plan));
    ASSERT_FALSE(package.empty());
    int n = 0;
    for (const FieldLimitCase& c : kFieldLimitCases) {
        SCOPED_TRACE(c.what);
        std::string path = dir.File("full" + std::to_string(n++) + ".exe");
        WriteFile(path, WithFullFields(package, c));
        CSfxFile sfx;
        ASSERT_TRUE(sfx.Open(path.c_str())) << sfx.m_szLastError;
        sfx.FreeEntries();
        ASSERT_TRUE(sfx.LoadToc()) << sfx.m_szLastError;
        EXPECT_EQ(c.fullDosCommand ? std::string(kFullCommandLength, 'D') : "/BiosRomFile IMAGE.ROM", sfx.m_szDosCommand);
        EXPECT_STREQ("Brevane.exe %SfxCmdLine%", sfx.m_szWin32Command);
        ASSERT_EQ(c.fullName ? 2u : 1u, sfx.Entries().size());
        if (c.fullName) {
            EXPECT_STREQ("", sfx.Entries()[0]->m_szFileName);
            EXPECT_EQ(2u, sfx.Entries()[0]->m_dwPlatform);
        }
        EXPECT_STREQ("settings.ini", sfx.Entries().back()->m_szFileName);
    }
}

TEST_F(SfxReaderTest, TableCutShortByTheTrailerIsRefused) {
    std::string bytes = ReadFile(package);
    uint64_t toc = TrailerTocOffset(bytes);
    std::string table = WithToc(bytes, {stored[2]}, 1).substr(toc);
    sfx::CByteWriter trailer;
    sfx::WriteTrailer(trailer, toc);
    // "!TOC", flags, reserved (12), "run.exe" and three empty commands (11), the count (4), then
    // "Brevane.exe" (12) and 48 bytes of its fields.
    const size_t whole = 12 + 11 + 4 + 12 + 48;
    const size_t cuts[] = {6, 12 + 5, 12 + 11 + 2, 12 + 11 + 4 + 5, whole - 1};
    std::string path = dir.File("cut.exe");
    for (size_t keep : cuts) {
        SCOPED_TRACE(keep);
        WriteFile(path, bytes.substr(0, toc) + table.substr(0, keep) + trailer.Data() + std::string(100, 'c'));
        CSfxFile reader;
        ASSERT_TRUE(reader.Open(path.c_str()));
        EXPECT_FALSE(reader.LoadToc());
        EXPECT_STREQ("Read TOC error", reader.m_szLastError);
        EXPECT_TRUE(reader.Entries().empty());
    }
    // The list of an earlier load stays when a later table is refused.
    WriteFile(path, bytes.substr(0, toc) + table.substr(0, whole) + trailer.Data());
    ASSERT_TRUE(sfx.Open(path.c_str()));
    ASSERT_TRUE(sfx.LoadToc()) << sfx.m_szLastError;
    sfx.Close();
    WriteFile(path, bytes.substr(0, toc) + table.substr(0, whole - 1) + trailer.Data());
    ASSERT_TRUE(sfx.Open(path.c_str()));
    EXPECT_FALSE(sfx.LoadToc());
    ASSERT_EQ(1u, sfx.Entries().size());
    EXPECT_STREQ("Brevane.exe", sfx.Entries()[0]->m_szFileName);
}

// The same cases as the DOS program's reader: the search ends where the certificate table
// named by the file's own header starts, and only an entry inside the optional header counts.
TEST(SfxPackageRules, SignatureSearchEndsAtTheCertificateTable) {
    CScratchDir dir;
    SfxPackagePlan plan;
    plan.entries.push_back(MakeEntry("AFUDOS.EXE", SampleBytes(4000, 2), 1));
    std::string package = ReadFile(BuildPackage(dir, "pkg.exe", MinimalPeImage(), plan));
    ASSERT_FALSE(package.empty());
    int n = 0;
    for (const SignatureBoundCase& c : kSignatureBoundCases) {
        SCOPED_TRACE(c.what);
        std::string path = dir.File("case" + std::to_string(n++) + ".exe");
        WriteFile(path, WithSignatureBound(package, c));
        CTraceCapture trace;
        CSfxFile sfx;
        BOOL opened = sfx.Open(path.c_str());
        EXPECT_EQ(c.expectFound, opened != FALSE) << sfx.m_szLastError;
        if (c.expectFound) {
            EXPECT_TRUE(trace.Contains(common::Format("Seek m_ullOffsetToTOC offset:0x%" PRIX64, static_cast<uint64_t>(package.size() - 22))));
            EXPECT_TRUE(sfx.LoadToc()) << sfx.m_szLastError;
        } else {
            EXPECT_STREQ("Find Signature SFX error", sfx.m_szLastError);
        }
    }
}

TEST_F(SfxReaderTest, NameWithoutItsNulIsNeverExtracted) {
    std::string bytes = ReadFile(package);
    uint64_t toc = TrailerTocOffset(bytes);
    sfx::CByteWriter w;
    std::string commands[4];
    sfx::WriteTocHeader(w, 0x301, 0, commands, 1);
    w.Bytes(std::string(80, 'x').data(), 80);  // fills the field, no NUL
    sfx::WriteEntryFields(w, stored[2]);
    sfx::WriteTrailer(w, toc);
    std::string path = dir.File("noterm.exe");
    WriteFile(path, bytes.substr(0, toc) + w.Data());
    ASSERT_TRUE(sfx.Open(path.c_str()));
    ASSERT_TRUE(sfx.LoadToc());
    ASSERT_EQ(1u, sfx.Entries().size());
    EXPECT_STREQ("", sfx.Entries()[0]->m_szFileName);
    // The fields after the name are still read from where the field ended.
    EXPECT_EQ(stored[2].m_ullDataOffset, sfx.Entries()[0]->m_ullDataOffset);
    EXPECT_FALSE(sfx.ExtractOne(sfx.Entries()[0].get()));
    EXPECT_STREQ("NULL filename for ExtractOne()", sfx.m_szLastError);
}

TEST_F(SfxReaderTest, BrokenStreamsFailWithDecompressError) {
    std::string bytes = ReadFile(package);
    CSrcFileInfo shortStream = stored[2];
    shortStream.m_ullCompressedSize -= 10;  // the stream claims less than it has: input ends first
    std::snprintf(shortStream.m_szFileName, sizeof shortStream.m_szFileName, "short.bin");
    CSrcFileInfo pastEnd = stored[2];
    pastEnd.m_ullDataOffset = bytes.size() + 1000;
    std::snprintf(pastEnd.m_szFileName, sizeof pastEnd.m_szFileName, "pastend.bin");
    CSrcFileInfo corrupt = stored[2];
    std::snprintf(corrupt.m_szFileName, sizeof corrupt.m_szFileName, "corrupt.bin");
    CSrcFileInfo longer = stored[0];
    longer.m_ullCompressedSize += 5000;  // more than the stream: the rest is ignored
    std::snprintf(longer.m_szFileName, sizeof longer.m_szFileName, "longer.bin");
    std::string altered = WithToc(bytes, {shortStream, pastEnd, corrupt, longer}, 4);
    // Flip the stored Adler-32's last byte of Brevane.exe's stream.
    altered[stored[2].m_ullDataOffset + stored[2].m_ullCompressedSize - 1] ^= 0x01;
    std::string path = dir.File("broken.exe");
    WriteFile(path, altered);
    ASSERT_TRUE(sfx.Open(path.c_str()));
    ASSERT_TRUE(sfx.LoadToc());
    dir.EnterAsCurrent();
    fs::current_path(out);
    for (int i = 0; i < 3; ++i) {
        EXPECT_FALSE(sfx.ExtractOne(sfx.Entries()[i].get())) << i;
        EXPECT_STREQ("Decompress routine error", sfx.m_szLastError);
        EXPECT_TRUE(fs::exists(out / sfx.Entries()[i]->m_szFileName));  // the partial file stays
    }
    EXPECT_EQ(0u, fs::file_size(out / "pastend.bin"));
    EXPECT_GT(fs::file_size(out / "short.bin"), 0u);
    EXPECT_LT(fs::file_size(out / "short.bin"), plan.entries[2].data.size());
    // The corrupt stream fails its check value at the end: all but the last piece is written.
    EXPECT_GT(fs::file_size(out / "corrupt.bin"), plan.entries[2].data.size() - 1024);
    EXPECT_LT(fs::file_size(out / "corrupt.bin"), plan.entries[2].data.size());
    EXPECT_TRUE(sfx.ExtractOne(sfx.Entries()[3].get())) << sfx.m_szLastError;
    EXPECT_TRUE(plan.entries[0].data == ReadFile((out / "longer.bin").string()));
}

TEST_F(SfxReaderTest, AnEntryThatInflatesPastItsRecordedSizeFailsWithNoMoreWritten) {
    std::string bytes = ReadFile(package);
    CSrcFileInfo smaller = stored[2];  // the largest entry
    smaller.m_ullFileSize = 1000;  // far less than its stream holds
    std::snprintf(smaller.m_szFileName, sizeof smaller.m_szFileName, "bomb.bin");
    CSrcFileInfo oneShort = stored[2];
    oneShort.m_ullFileSize -= 1;  // one byte too many inflated is enough
    std::snprintf(oneShort.m_szFileName, sizeof oneShort.m_szFileName, "oneshort.bin");
    CSrcFileInfo exact = stored[2];
    std::snprintf(exact.m_szFileName, sizeof exact.m_szFileName, "exact.bin");
    std::string path = dir.File("bomb.exe");
    WriteFile(path, WithToc(bytes, {smaller, oneShort, exact}, 3));
    ASSERT_TRUE(sfx.Open(path.c_str()));
    ASSERT_TRUE(sfx.LoadToc());
    dir.EnterAsCurrent();
    fs::current_path(out);
    EXPECT_FALSE(sfx.ExtractOne(sfx.Entries()[0].get()));
    EXPECT_STREQ("Entry larger than its recorded size,bomb.bin", sfx.m_szLastError);
    EXPECT_LE(fs::file_size(out / "bomb.bin"), 1000u);
    EXPECT_FALSE(sfx.ExtractOne(sfx.Entries()[1].get()));
    EXPECT_STREQ("Entry larger than its recorded size,oneshort.bin", sfx.m_szLastError);
    EXPECT_TRUE(sfx.ExtractOne(sfx.Entries()[2].get())) << sfx.m_szLastError;
    EXPECT_TRUE(plan.entries[2].data == ReadFile((out / "exact.bin").string()));
    // The whole extraction counts it as a failure: nothing is started after it.
    EXPECT_EQ(0, sfx.ExtractAll(0xFF));
}

TEST_F(SfxReaderTest, CloseThenReopenExtractsWithTheKeptList) {
    ASSERT_TRUE(OpenAndLoad());
    sfx.Close();
    dir.EnterAsCurrent();
    fs::current_path(out);
    EXPECT_EQ(0, sfx.ExtractAll(2));
    EXPECT_STREQ("SfxFile not opened", sfx.m_szLastError);
    ASSERT_TRUE(sfx.Open(package.c_str()));
    EXPECT_EQ(5, sfx.ExtractAll(2));
}

}  // namespace
