// The signature search reads through a bounded window; it must find exactly what a scan of the
// whole file finds, including matches that straddle the window's edges.
#include "extractor/package/sfx_file.h"

#include <gtest/gtest.h>

#include <cinttypes>
#include <cstring>

#include "common/format.h"
#include "extractor/package/sfx_format.h"
#include "tests/support/sfx_test_support.h"

using namespace sfxtest;

namespace {

// Every position whose 11 bytes match, as the whole-file scan finds them.
std::vector<uint64_t> WholeFileMatches(const std::string& bytes) {
    std::vector<uint64_t> found;
    for (size_t i = 0; i + sfx::kSignatureScanLength <= bytes.size(); ++i)
        if (std::memcmp(bytes.data() + i, sfx::kSignature, sfx::kSignatureScanLength) == 0) found.push_back(i);
    return found;
}

std::vector<uint64_t> TracedMatches(const std::vector<std::string>& lines) {
    std::vector<uint64_t> found;
    for (size_t i = 0; i + 1 < lines.size(); ++i) {
        if (lines[i] != "Found Korvale") continue;
        const std::string& next = lines[i + 1];
        size_t open = next.rfind("(0x");
        found.push_back(std::stoull(next.substr(open + 3), nullptr, 16));
    }
    return found;
}

TEST(SfxSignatureScan, FindsWhatAWholeFileScanFindsAcrossWindowEdges) {
    CScratchDir dir;
    SfxPackagePlan plan;
    plan.level = 0;  // stored blocks keep the entry's copy of the text verbatim in the package
    plan.entries.push_back(MakeEntry("a.bin", std::string("stored ") + sfx::kSignature + " inside", 2));
    // The window reads kScanWindow bytes at a time and carries 11 over; put one copy of the
    // text before, on and after each edge, and pad behind the trailer by various amounts.
    const size_t kWindow = CSfxFile::kScanWindow;
    const size_t placements[] = {0, kWindow - 13, kWindow - 12, kWindow - 11, kWindow - 6, kWindow - 1,
                                 kWindow, 2 * kWindow - 23, 2 * kWindow - 12, 2 * kWindow - 2};
    for (size_t at : placements) {
        std::string program(2 * kWindow + 40, 'z');
        std::memcpy(&program[at], sfx::kSignature, sfx::kSignatureLength);
        std::vector<CSrcFileInfo> stored;
        std::string path = BuildPackage(dir, "edges.exe", program, plan, &stored);
        std::string bytes = ReadFile(path);
        for (size_t tail : {size_t(0), size_t(6), kWindow - 7, kWindow + 7}) {
            SCOPED_TRACE(testing::Message() << "at " << at << " tail " << tail);
            // Padding with the signature's last letters but never its first 11 bytes.
            std::string padded = bytes + std::string(tail, '\0');
            if (tail > 20) std::memcpy(&padded[bytes.size() + 9], "Sfx_Korvale", 11);
            WriteFile(path, padded);
            CTraceCapture trace;
            CSfxFile sfx;
            ASSERT_TRUE(sfx.Open(path.c_str())) << sfx.m_szLastError;
            std::vector<uint64_t> expected = WholeFileMatches(padded);
            ASSERT_EQ(3u, expected.size());  // the program's, the stored file's, the trailer's
            EXPECT_EQ(expected, TracedMatches(trace.Lines()));
            EXPECT_TRUE(trace.Contains(common::Format("Seek to end. 0x%" PRIX64 "+11 > 0x%" PRIX64,
                                                           static_cast<uint64_t>(padded.size() - 10),
                                                           static_cast<uint64_t>(padded.size()))));
            ASSERT_TRUE(sfx.LoadToc());
            EXPECT_EQ(stored[0].m_ullDataOffset, sfx.Entries()[0]->m_ullDataOffset);
        }
    }
}

TEST(SfxSignatureScan, TracesEachMatchWithItsTwelveBytes) {
    CScratchDir dir;
    std::string path = dir.File("short.bin");
    WriteFile(path, std::string("ab") + sfx::kSignature);
    CTraceCapture trace;
    CSfxFile sfx;
    EXPECT_FALSE(sfx.Open(path.c_str()));
    std::vector<std::string> expected = {"Found Korvale", "!Sfx_Korvale(0x2)", "Seek to end. 0x4+11 > 0xE",
                                         "Seek m_wSfxHeaderVersion offset:0x0",
                                         "SfxHeaderVersion mismatched: 6261 != 0100"};
    EXPECT_EQ(expected, trace.Lines());
}

}  // namespace
