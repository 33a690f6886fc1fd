// Offsets and sizes past 4 GiB: a sparse file whose streams and table lie beyond 2^32 reads with
// the full 64-bit fields. Sparse files make this cheap on Linux; the same layout within 2 GiB is
// what every other test reads.
#include "extractor/package/sfx_file.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <unistd.h>

#include "extractor/package/sfx_format.h"
#include "tests/support/sfx_test_support.h"

namespace fs = std::filesystem;
using namespace sfxtest;

namespace {

TEST(SfxLargePackage, ReadsStreamsAndTableBeyondFourGiB) {
    CScratchDir dir;
    SfxPackagePlan plan;
    plan.commands[0] = "run.exe";
    plan.entries.push_back(MakeEntry("far.bin", SampleBytes(5000, 3), 2));
    std::vector<CSrcFileInfo> stored;
    std::string path = BuildPackage(dir, "small.exe", "MZ", plan, &stored);
    std::string bytes = ReadFile(path);
    uint64_t tocOffset = stored[0].m_ullDataOffset + stored[0].m_ullCompressedSize;

    // Move the streams, the table and the trailer up by 4 GiB + 3 behind a hole.
    const uint64_t shift = (1ULL << 32) + 3;
    std::vector<CSrcFileInfo> moved = stored;
    moved[0].m_ullDataOffset += shift;
    sfx::CByteWriter tail;
    std::string commands[4] = {"run.exe", "", "", ""};
    sfx::WriteTocHeader(tail, 0, 0, commands, 1);
    sfx::WriteEntryRecord(tail, moved[0]);
    sfx::WriteTrailer(tail, tocOffset + shift);
    std::string large = dir.File("large.exe");
    FILE* file = std::fopen(large.c_str(), "wb");
    ASSERT_NE(nullptr, file);
    ASSERT_EQ(0, fseeko(file, static_cast<off_t>(stored[0].m_ullDataOffset + shift), SEEK_SET));
    std::string streams = bytes.substr(stored[0].m_ullDataOffset, tocOffset - stored[0].m_ullDataOffset);
    ASSERT_EQ(streams.size(), std::fwrite(streams.data(), 1, streams.size(), file));
    ASSERT_EQ(tail.Data().size(), std::fwrite(tail.Data().data(), 1, tail.Data().size(), file));
    ASSERT_EQ(0, std::fclose(file));

    CSfxFile sfx;
    ASSERT_TRUE(sfx.Open(large.c_str())) << sfx.m_szLastError;
    EXPECT_EQ(tocOffset + shift, sfx.m_ullOffsetToTOC);
    ASSERT_TRUE(sfx.LoadToc()) << sfx.m_szLastError;
    ASSERT_EQ(1u, sfx.Entries().size());
    EXPECT_EQ(moved[0].m_ullDataOffset, sfx.Entries()[0]->m_ullDataOffset);
    fs::create_directory(dir.Path() / "out");
    dir.EnterAsCurrent();
    fs::current_path(dir.Path() / "out");
    EXPECT_EQ(1, sfx.ExtractAll(2)) << sfx.m_szLastError;
    EXPECT_TRUE(plan.entries[0].data == ReadFile("far.bin"));
}

}  // namespace
