// The DOS program's package reader on packages from the writer: the DOS entries and command,
// each refusal with its exact text, the signature search's bound at the certificate table, and
// the names it accepts (one table shared with the Windows name rule).
#include "dos/core/dz_inflate.h"
#include "dos/core/dz_names.h"
#include "dos/core/dz_package.h"
#include "dos/core/dz_paths.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "extractor/package/sfx_format.h"
#include "tests/support/package_rule_cases.h"
#include "tests/support/sfx_test_support.h"

using namespace sfxtest;

namespace {

int ReadAt(void* context, dz_offset offset, uint8_t* into, unsigned want) {
    const std::string* bytes = static_cast<const std::string*>(context);
    if (offset > bytes->size()) return -1;
    size_t n = std::min<size_t>(want, bytes->size() - offset);
    std::memcpy(into, bytes->data() + offset, n);
    return static_cast<int>(n);
}

dz_source SourceOf(const std::string& bytes) {
    return dz_source{&ReadAt, const_cast<std::string*>(&bytes), static_cast<dz_offset>(bytes.size())};
}

struct Read {
    int code;
    std::string error;
    dz_package package;
};

Read ReadPackage(const std::string& bytes) {
    static Read r;  // large: keep it off the stack
    dz_source source = SourceOf(bytes);
    char error[DZ_ERROR_SIZE];
    r.code = dz_read_package(&source, &r.package, error);
    r.error = error;
    return r;
}

class DosPackageTest : public testing::Test {
protected:
    std::string Build(const SfxPackagePlan& plan, const std::string& program = MinimalPeImage(),
                      std::vector<CSrcFileInfo>* stored = nullptr) {
        std::string path = BuildPackage(dir, "package.exe", program, plan, stored);
        EXPECT_FALSE(path.empty());
        return ReadFile(path);
    }
    static SfxPackagePlan Plan() {
        SfxPackagePlan plan;
        plan.commands[0] = "Brevane.exe %SfxCmdLine%";
        plan.commands[1] = "/BiosRomFile IMAGE.ROM /BiosVer A06";
        plan.entries.push_back(MakeEntry("Brevane.exe", SampleBytes(3000, 1), sfx::kPlatformWin32));
        plan.entries.push_back(MakeEntry("AFUDOS.EXE", SampleBytes(40000, 2), sfx::kPlatformDos));
        plan.entries.push_back(MakeEntry("A long Windows name.txt", "w", sfx::kPlatformWin32 | sfx::kPlatformWinPE));
        plan.entries.push_back(MakeEntry("IMAGE.ROM", SampleBytes(100000, 3), sfx::kPlatformEvery));
        return plan;
    }
    CScratchDir dir;
};

TEST_F(DosPackageTest, KeepsTheDosEntriesAndCommandAndTheirStreamsInflate) {
    SfxPackagePlan plan = Plan();
    std::vector<CSrcFileInfo> stored;
    std::string bytes = Build(plan, MinimalPeImage(), &stored);
    Read r = ReadPackage(bytes);
    ASSERT_EQ(DZ_PKG_OK, r.code) << r.error;
    EXPECT_EQ("/BiosRomFile IMAGE.ROM /BiosVer A06", std::string(r.package.dosCommand));
    EXPECT_EQ(4u, r.package.count);
    ASSERT_EQ(2u, r.package.dosCount);
    const size_t dosIndex[] = {1, 3};
    for (unsigned i = 0; i < 2; ++i) {
        const dz_entry& entry = r.package.entries[i];
        const CSrcFileInfo& info = stored[dosIndex[i]];
        SCOPED_TRACE(entry.name);
        EXPECT_STREQ(info.m_szFileName, entry.name);
        EXPECT_EQ(info.m_ullFileSize, entry.size);
        EXPECT_EQ(info.m_ullCompressedSize, entry.compressedSize);
        EXPECT_EQ(info.m_ullDataOffset, entry.dataOffset);
        EXPECT_EQ(0x20u, entry.attributes);

        struct Sink {
            std::string in, out;
            size_t at = 0;
        } sink;
        sink.in = bytes.substr(entry.dataOffset, entry.compressedSize);
        static std::vector<uint8_t> window(DZ_WINDOW_SIZE);
        static dz_stream s;
        s.context = &sink;
        s.window = window.data();
        s.read = [](void* c, uint8_t* into, unsigned want) {
            Sink* k = static_cast<Sink*>(c);
            size_t n = std::min<size_t>(want, k->in.size() - k->at);
            std::memcpy(into, k->in.data() + k->at, n);
            k->at += n;
            return static_cast<int>(n);
        };
        s.write = [](void* c, const uint8_t* w, unsigned from, unsigned count) {
            static_cast<Sink*>(c)->out.append(reinterpret_cast<const char*>(w) + from, count);
            return 0;
        };
        ASSERT_EQ(DZ_OK, dz_inflate(&s));
        EXPECT_TRUE(sink.out == plan.entries[dosIndex[i]].data);
    }
}

TEST_F(DosPackageTest, RefusesBrokenPackagesWithTheirText) {
    std::string good = Build(Plan());
    struct Case {
        const char* what;
        std::string bytes;
        int code;
        const char* error;
    };
    std::string version = good;
    version[good.size() - 14] = 0x01;  // 00 01 -> 01 01
    std::string toc = good;
    toc[good.size() - 22] ^= 0x40;  // the table's offset now points elsewhere
    std::string highToc = good;
    highToc[good.size() - 18] = 1;  // beyond 4 GiB
    std::string count = good;
    // The count is the four bytes before the first record's name ("Brevane.exe").
    size_t first = count.rfind(std::string("Brevane.exe\0", 12));
    ASSERT_NE(std::string::npos, first);
    count[first - 4] = 9;
    std::string unsafe = good;
    size_t name = unsafe.rfind(std::string("AFUDOS.EXE\0", 11));
    ASSERT_NE(std::string::npos, name);
    std::memcpy(&unsafe[name], "AFU DOS.EX", 10);
    std::string twoDots = good;
    std::memcpy(&twoDots[name], "AFUDOS.E.X", 10);  // neither a device nor too long: only the dots refuse it
    std::string clock = good;
    std::memcpy(&clock[name], "CLOCK$.EXE", 10);

    const Case cases[] = {
        {"no package", MinimalPeImage(), DZ_PKG_UNREADABLE, "Find Signature SFX error"},
        {"cut inside the signature", good.substr(0, good.size() - 1), DZ_PKG_UNREADABLE, "Read Signature SFX error"},
        {"wrong version", version, DZ_PKG_UNREADABLE, "SfxHeaderVersion mismatched: 0101 != 0100"},
        {"table offset off", toc, DZ_PKG_UNREADABLE, "Signature TOC mismatched"},
        {"table offset past 4 GiB", highToc, DZ_PKG_UNREADABLE, "Signature TOC mismatched"},
        {"more records than the file holds", count, DZ_PKG_UNREADABLE, "Read TOC error"},
        {"a DOS name with a blank", unsafe, DZ_PKG_REFUSED_ENTRY, "Unsafe filename for ExtractOne(),AFU DOS.EX"},
        {"a DOS name with two dots", twoDots, DZ_PKG_REFUSED_ENTRY, "Unsafe filename for ExtractOne(),AFUDOS.E.X"},
        {"a DOS device", clock, DZ_PKG_REFUSED_ENTRY, "Unsafe filename for ExtractOne(),CLOCK$.EXE"},
    };
    for (const Case& c : cases) {
        Read r = ReadPackage(c.bytes);
        EXPECT_EQ(c.code, r.code) << c.what;
        EXPECT_EQ(c.error, r.error) << c.what;
        EXPECT_EQ(0u, r.package.dosCount) << c.what;
    }
}

TEST_F(DosPackageTest, SignatureSearchEndsAtTheCertificateTable) {
    std::string package = Build(Plan());
    for (const SignatureBoundCase& c : kSignatureBoundCases) {
        SCOPED_TRACE(c.what);
        std::string bytes = WithSignatureBound(package, c);
        dz_source source = SourceOf(bytes);
        uint8_t scratch[64];  // small pieces: matches straddle them
        dz_offset at = 0;
        int found = dz_find_signature(&source, dz_search_limit(&source), scratch, sizeof scratch, &at);
        EXPECT_EQ(c.expectFound ? 1 : 0, found);
        if (c.expectFound) {
            EXPECT_EQ(package.size() - sfx::kSignatureLength, at);
        }
        Read r = ReadPackage(bytes);
        EXPECT_EQ(c.expectFound ? DZ_PKG_OK : DZ_PKG_UNREADABLE, r.code) << r.error;
    }
}

TEST_F(DosPackageTest, TableLiesWhollyBeforeTheTrailer) {
    std::string package = Build(Plan());
    for (const TableBoundCase& c : kTableBoundCases) {
        SCOPED_TRACE(c.what);
        Read r = ReadPackage(WithTableBound(package, c));
        if (!c.error) {
            EXPECT_EQ(DZ_PKG_OK, r.code) << r.error;
            EXPECT_EQ(4u, r.package.count);
            EXPECT_EQ(2u, r.package.dosCount);
            EXPECT_STREQ("IMAGE.ROM", r.package.entries[1].name);
        } else {
            EXPECT_EQ(DZ_PKG_UNREADABLE, r.code);
            EXPECT_EQ(c.error, r.error);
            EXPECT_EQ(0u, r.package.dosCount);
        }
    }
}

TEST_F(DosPackageTest, AFieldMayFillItsLimit) {
    std::string package = Build(Plan());
    for (const FieldLimitCase& c : kFieldLimitCases) {
        SCOPED_TRACE(c.what);
        Read r = ReadPackage(WithFullFields(package, c));
        ASSERT_EQ(DZ_PKG_OK, r.code) << r.error;
        EXPECT_EQ(c.fullDosCommand ? std::string(kFullCommandLength, 'D') : "/BiosRomFile IMAGE.ROM /BiosVer A06",
                  r.package.dosCommand);
        EXPECT_EQ(c.fullName ? 5u : 4u, r.package.count);
        ASSERT_EQ(2u, r.package.dosCount);
        EXPECT_STREQ("IMAGE.ROM", r.package.entries[1].name);
    }
}

TEST(DosNames, FollowTheSharedNameTable) {
    for (const FileNameCase& c : kFileNameCases) {
        EXPECT_EQ(c.plainOnWindows, sfx::IsPlainFileName(c.name)) << "Windows: " << c.name;
        EXPECT_EQ(c.dosShortName, dz_is_dos_name(c.name) != 0) << "DOS: " << c.name;
        EXPECT_FALSE(c.dosShortName && !c.plainOnWindows) << "the table: " << c.name;
    }
}

TEST(DosPaths, TemporaryFolderAndNames) {
    struct Case {
        const char *temp, *tmp, *package, *expected;
    } cases[] = {
        {"C:\\TEMP", "D:\\TMP", "A:\\ZeraUpdate.exe", "C:\\TEMP\\ZERAUPDA"},
        {"C:\\TEMP\\", nullptr, "A:\\UPD.EXE", "C:\\TEMP\\UPD"},
        {"", "D:\\TMP", "A:\\STICK\\PKG.V2.EXE", "D:\\TMP\\PKG.V2"},
        {nullptr, "", "A:\\STICK\\PKG.EXE", "A:\\PKG"},
        {nullptr, nullptr, "PKG", "PKG"},
    };
    for (const Case& c : cases) {
        char out[80];
        ASSERT_EQ(1, dz_temp_folder(c.temp, c.tmp, c.package, out, sizeof out)) << c.package;
        EXPECT_STREQ(c.expected, out);
    }
    char small[8];
    EXPECT_EQ(0, dz_temp_folder("C:\\TEMP", nullptr, "A:\\PKG.EXE", small, sizeof small));
    char folder[80];
    dz_folder_of("A:\\STICK\\PKG.EXE", folder, sizeof folder);
    EXPECT_STREQ("A:\\STICK\\", folder);
    dz_folder_of("PKG.EXE", folder, sizeof folder);
    EXPECT_STREQ("", folder);
}

}  // namespace
