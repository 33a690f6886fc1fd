// DecompressStream: whole streams across the 1024-byte pieces, and each way a stream can fail;
// the extraction loop into a C stream against the 1024-byte reference loop on whole, cut and
// corrupt streams.
#include "extractor/package/sfx_inflate.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>
#include <zlib.h>

#include "tests/support/sfx_test_support.h"

using namespace sfxtest;

namespace {

std::string Deflate(const std::string& data, int level = Z_DEFAULT_COMPRESSION) {
    uLongf size = compressBound(static_cast<uLong>(data.size()));
    std::string out(size, '\0');
    EXPECT_EQ(Z_OK, compress2(reinterpret_cast<Bytef*>(&out[0]), &size,
                              reinterpret_cast<const Bytef*>(data.data()), static_cast<uLong>(data.size()), level));
    out.resize(size);
    return out;
}

struct Collected {
    std::string bytes;
    size_t failAfter = SIZE_MAX;  // refuse the piece that would pass this many bytes
};

bool Collect(void* context, const unsigned char* bytes, size_t count) {
    Collected* c = static_cast<Collected*>(context);
    if (c->bytes.size() + count > c->failAfter) return false;
    c->bytes.append(reinterpret_cast<const char*>(bytes), count);
    return true;
}

class InflateTest : public testing::Test {
protected:
    // Runs DecompressStreamTo over `stream` stored at offset 5 of a file, with `claimed` as
    // the compressed size.
    int Run(const std::string& stream, uint64_t claimed, Collected* out, uint64_t* consumed, uint64_t* written) {
        std::string path = dir.File("stream.bin");
        WriteFile(path, "head:" + stream);
        FILE* file = std::fopen(path.c_str(), "rb");
        EXPECT_NE(nullptr, file);
        std::fseek(file, 5, SEEK_SET);
        *consumed = claimed;
        int result = DecompressStreamTo(file, consumed, &Collect, out, written);
        std::fclose(file);
        return result;
    }
    CScratchDir dir;
};

TEST_F(InflateTest, InflatesWholeStreamsOfEverySizeAndLevel) {
    for (size_t size : {size_t(0), size_t(1), size_t(1023), size_t(1024), size_t(1025), size_t(2048), size_t(100000)}) {
        for (int level : {0, 1, 6, 9}) {
            SCOPED_TRACE(testing::Message() << "size " << size << " level " << level);
            std::string data = SampleBytes(size, static_cast<uint32_t>(size + level));
            std::string stream = Deflate(data, level);
            Collected out;
            uint64_t consumed, written;
            ASSERT_EQ(kInflateOk, Run(stream, stream.size(), &out, &consumed, &written));
            EXPECT_TRUE(data == out.bytes);
            EXPECT_EQ(size, written);
            EXPECT_EQ(stream.size(), consumed);
        }
    }
}

TEST_F(InflateTest, IgnoresInputBehindTheEndOfTheStream) {
    std::string data = SampleBytes(5000, 7);
    std::string stream = Deflate(data);
    Collected out;
    uint64_t consumed, written;
    ASSERT_EQ(kInflateOk, Run(stream + std::string(3000, 'J'), stream.size() + 3000, &out, &consumed, &written));
    EXPECT_TRUE(data == out.bytes);
    EXPECT_EQ(stream.size(), consumed);
}

TEST_F(InflateTest, FailuresAnswerTheirCodes) {
    std::string data = SampleBytes(50000, 9);
    std::string stream = Deflate(data);
    uint64_t consumed, written;
    {
        SCOPED_TRACE("claimed size shorter than the stream");
        Collected out;
        EXPECT_EQ(kInflateDataError, Run(stream, stream.size() - 1, &out, &consumed, &written));
        EXPECT_EQ(stream.size() - 1, consumed);
    }
    {
        SCOPED_TRACE("file ends inside the stream");
        Collected out;
        EXPECT_EQ(kInflateDataError, Run(stream.substr(0, 3000), stream.size(), &out, &consumed, &written));
        EXPECT_EQ(3000u, consumed);
        EXPECT_EQ(written, out.bytes.size());
        EXPECT_LT(written, data.size());
    }
    {
        SCOPED_TRACE("claimed size zero");
        Collected out;
        EXPECT_EQ(kInflateDataError, Run(stream, 0, &out, &consumed, &written));
        EXPECT_EQ(0u, written);
    }
    {
        SCOPED_TRACE("bad check value");
        std::string bad = stream;
        bad.back() ^= 0x40;
        Collected out;
        EXPECT_EQ(kInflateDataError, Run(bad, bad.size(), &out, &consumed, &written));
    }
    {
        SCOPED_TRACE("not a zlib header");
        std::string bad = stream;
        bad[0] = 0x12;
        Collected out;
        EXPECT_EQ(kInflateDataError, Run(bad, bad.size(), &out, &consumed, &written));
        EXPECT_EQ(0u, written);
    }
    {
        SCOPED_TRACE("preset dictionary wanted");
        std::string needsDictionary = std::string("\x78\xBB\x00\x00\x00\x01", 6) + stream.substr(2);
        Collected out;
        EXPECT_EQ(kInflateDataError, Run(needsDictionary, needsDictionary.size(), &out, &consumed, &written));
    }
    {
        SCOPED_TRACE("destination refuses");
        Collected out;
        out.failAfter = 4096;
        EXPECT_EQ(kInflateWriteError, Run(stream, stream.size(), &out, &consumed, &written));
        EXPECT_EQ(4096u, written);
        EXPECT_LT(consumed, stream.size());
    }
}

TEST_F(InflateTest, WritesIntoACStream) {
    std::string data = SampleBytes(10000, 11);
    std::string stream = Deflate(data);
    std::string in = dir.File("in.bin"), outPath = dir.File("out.bin");
    WriteFile(in, stream);
    FILE* source = std::fopen(in.c_str(), "rb");
    FILE* destination = std::fopen(outPath.c_str(), "wb");
    uint64_t consumed = stream.size(), written = 0;
    EXPECT_EQ(kInflateOk, DecompressStream(source, &consumed, destination, &written));
    std::fclose(source);
    std::fclose(destination);
    EXPECT_TRUE(data == ReadFile(outPath));
    // A destination opened for reading only cannot take the bytes.
    source = std::fopen(in.c_str(), "rb");
    destination = std::fopen(outPath.c_str(), "rb");
    consumed = stream.size();
    EXPECT_EQ(kInflateWriteError, DecompressStream(source, &consumed, destination, &written));
    std::fclose(source);
    std::fclose(destination);
}

// A bound below what a stream of many output pieces inflates to stops it at once, with no more
// than the bound written; a bound of exactly its size lets it through.
TEST_F(InflateTest, IntoACStreamStopsAtTheBoundItIsGiven) {
    std::string data = SampleBytes(400000, 31) + std::string(600000, 'z');
    std::string stream = Deflate(data);
    std::string stored = dir.File("bound.bin"), outPath = dir.File("bound.out");
    WriteFile(stored, stream);
    for (uint64_t bound : {uint64_t(0), uint64_t(1000), uint64_t(300000), uint64_t(data.size() - 1)}) {
        FILE* source = std::fopen(stored.c_str(), "rb");
        FILE* destination = std::fopen(outPath.c_str(), "wb");
        ASSERT_TRUE(source && destination);
        uint64_t consumed = stream.size(), written = 0;
        EXPECT_EQ(kInflateTooLarge, DecompressStream(source, &consumed, destination, &written, bound)) << bound;
        std::fclose(source);
        std::fclose(destination);
        EXPECT_LE(written, bound);
        EXPECT_LE(ReadFile(outPath).size(), bound);
    }
    FILE* source = std::fopen(stored.c_str(), "rb");
    FILE* destination = std::fopen(outPath.c_str(), "wb");
    uint64_t consumed = stream.size(), written = 0;
    EXPECT_EQ(kInflateOk, DecompressStream(source, &consumed, destination, &written, data.size()));
    std::fclose(source);
    std::fclose(destination);
    EXPECT_EQ(data.size(), written);
    EXPECT_TRUE(data == ReadFile(outPath));
}

// The extraction loop works in larger pieces and holds output back; whatever a stream does, it
// must answer what the reference loop answers and leave the bytes the reference loop hands
// over in the destination. The streams inflate to more than one 256 KiB output piece, and
// break at places spread over their whole length.
TEST_F(InflateTest, IntoACStreamAnswersWhatTheReferenceLoopAnswers) {
    std::string data = SampleBytes(400000, 21) + std::string(200000, '\xFF') + SampleBytes(100000, 22);
    std::string stream = Deflate(data);
    std::string stored = dir.File("stream.bin"), outPath = dir.File("out.bin");
    struct Case {
        std::string label;
        std::string bytes;
        uint64_t claimed;
    };
    std::vector<Case> cases;
    cases.push_back({"whole", stream, stream.size()});
    cases.push_back({"whole with trailing bytes", stream + "trailing", stream.size() + 8});
    for (size_t cut : {size_t(1), size_t(2), size_t(1500), stream.size() / 3, stream.size() - 4, stream.size() - 1}) {
        cases.push_back({"claimed " + std::to_string(cut), stream, cut});
        cases.push_back({"file ends at " + std::to_string(cut), stream.substr(0, cut), stream.size()});
    }
    for (size_t i = 0; i < 16; ++i) {
        size_t at = 2 + (stream.size() - 3) * i / 15;
        for (unsigned char flip : {0x01, 0xFF}) {
            std::string bad = stream;
            bad[at] = static_cast<char>(bad[at] ^ flip);
            cases.push_back({"byte " + std::to_string(at) + " ^ " + std::to_string(flip), bad, bad.size()});
        }
    }
    int failures = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        Collected expected;
        uint64_t expectedConsumed, expectedWritten;
        int expectedResult = Run(c.bytes, c.claimed, &expected, &expectedConsumed, &expectedWritten);

        WriteFile(stored, "head:" + c.bytes);
        FILE* source = std::fopen(stored.c_str(), "rb");
        FILE* destination = std::fopen(outPath.c_str(), "wb");
        ASSERT_TRUE(source && destination);
        std::fseek(source, 5, SEEK_SET);
        uint64_t consumed = c.claimed, written = 0;
        int result = DecompressStream(source, &consumed, destination, &written);
        std::fclose(source);
        std::fclose(destination);
        EXPECT_EQ(expectedResult, result);
        EXPECT_EQ(expectedConsumed, consumed);
        EXPECT_EQ(expectedWritten, written);
        EXPECT_TRUE(expected.bytes == ReadFile(outPath));
        if (result != kInflateOk) ++failures;
    }
    // The cases must reach the failures they are meant to compare.
    EXPECT_GE(failures, 12 + 16 * 2 - 6);

    // A destination that takes nothing: the reference loop is refused its first piece.
    Collected refusing;
    refusing.failAfter = 0;
    uint64_t expectedConsumed, expectedWritten;
    ASSERT_EQ(kInflateWriteError, Run(stream, stream.size(), &refusing, &expectedConsumed, &expectedWritten));
    FILE* source = std::fopen(stored.c_str(), "rb");
    FILE* destination = std::fopen(outPath.c_str(), "rb");
    ASSERT_TRUE(source && destination);
    std::fseek(source, 5, SEEK_SET);
    uint64_t consumed = stream.size(), written = 99;
    EXPECT_EQ(kInflateWriteError, DecompressStream(source, &consumed, destination, &written));
    std::fclose(source);
    std::fclose(destination);
    EXPECT_EQ(expectedConsumed, consumed);
    EXPECT_EQ(0u, written);
}

}  // namespace
