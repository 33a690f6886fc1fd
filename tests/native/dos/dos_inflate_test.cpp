// The DOS program's inflater against zlib: every block type, windows that wrap, and each way a
// stream can be broken, including random damage judged the same way zlib judges it.
#include "dos/core/dz_inflate.h"

#include <gtest/gtest.h>

#include <zlib.h>

#include <random>
#include <string>
#include <vector>

#include "tests/support/sfx_test_support.h"

namespace {

std::string Deflate(const std::string& data, int level, int strategy = Z_DEFAULT_STRATEGY) {
    z_stream z{};
    EXPECT_EQ(Z_OK, deflateInit2(&z, level, Z_DEFLATED, 15, 8, strategy));
    std::string out(deflateBound(&z, static_cast<uLong>(data.size())) + 16, '\0');
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
    z.avail_in = static_cast<uInt>(data.size());
    z.next_out = reinterpret_cast<Bytef*>(&out[0]);
    z.avail_out = static_cast<uInt>(out.size());
    EXPECT_EQ(Z_STREAM_END, deflate(&z, Z_FINISH));
    out.resize(z.total_out);
    deflateEnd(&z);
    return out;
}

// zlib's verdict on a stream: inflated whole with its check value, and the bytes.
bool ZlibInflates(const std::string& stream, std::string* out) {
    z_stream z{};
    if (inflateInit(&z) != Z_OK) return false;
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(stream.data()));
    z.avail_in = static_cast<uInt>(stream.size());
    int status;
    unsigned char piece[4096];
    do {
        z.next_out = piece;
        z.avail_out = sizeof piece;
        status = inflate(&z, Z_NO_FLUSH);
        out->append(reinterpret_cast<char*>(piece), sizeof piece - z.avail_out);
    } while (status == Z_OK && !(z.avail_in == 0 && z.avail_out != 0));
    inflateEnd(&z);
    return status == Z_STREAM_END;
}

struct Feed {
    std::string input;
    size_t at = 0;
    size_t piece = 700;      // bytes per read: not a divisor of anything in the format
    std::string output;
    size_t failWriteAfter = SIZE_MAX;
};

int ReadPiece(void* context, uint8_t* into, unsigned want) {
    Feed* f = static_cast<Feed*>(context);
    size_t n = std::min<size_t>({want, f->piece, f->input.size() - f->at});
    std::copy(f->input.begin() + static_cast<std::ptrdiff_t>(f->at),
              f->input.begin() + static_cast<std::ptrdiff_t>(f->at + n), into);
    f->at += n;
    return static_cast<int>(n);
}

int WritePiece(void* context, const uint8_t* window, unsigned from, unsigned count) {
    Feed* f = static_cast<Feed*>(context);
    if (f->output.size() + count > f->failWriteAfter) return 1;
    f->output.append(reinterpret_cast<const char*>(window) + from, count);
    return 0;
}

int Inflate(Feed* feed) {
    static std::vector<uint8_t> window(DZ_WINDOW_SIZE);
    static dz_stream s;
    s.read = ReadPiece;
    s.write = WritePiece;
    s.context = feed;
    s.window = window.data();
    return dz_inflate(&s);
}

TEST(DosInflate, MatchesZlibOnEveryBlockTypeAndAcrossTheWindow) {
    struct Case {
        const char* what;
        int level;
        int strategy;
    } cases[] = {
        {"stored", 0, Z_DEFAULT_STRATEGY},
        {"fixed", 6, Z_FIXED},
        {"dynamic", 9, Z_DEFAULT_STRATEGY},
        {"dynamic, literals only", 6, Z_HUFFMAN_ONLY},
        {"dynamic, runs", 6, Z_RLE},
    };
    for (const Case& c : cases) {
        for (size_t size : {size_t(0), size_t(1), size_t(32767), size_t(32768), size_t(32769), size_t(200000)}) {
            SCOPED_TRACE(testing::Message() << c.what << ", " << size << " bytes");
            std::string data = sfxtest::SampleBytes(size, static_cast<uint32_t>(size * 7 + c.level));
            Feed feed;
            feed.input = Deflate(data, c.level, c.strategy);
            ASSERT_EQ(DZ_OK, Inflate(&feed));
            EXPECT_TRUE(feed.output == data);
        }
    }
    // Matches reaching the full 32 KiB back across the window's wrap.
    std::string block = sfxtest::SampleBytes(32768 - 3, 99);
    std::string data = block + block + block;
    Feed feed;
    feed.input = Deflate(data, 9);
    ASSERT_EQ(DZ_OK, Inflate(&feed));
    EXPECT_TRUE(feed.output == data);
}

TEST(DosInflate, RefusesBrokenStreamsWithTheirReason) {
    std::string data = sfxtest::SampleBytes(50000, 5);
    std::string good = Deflate(data, 9);

    for (size_t cut = 0; cut < good.size(); cut += cut < 64 ? 1 : 997) {
        Feed feed;
        feed.input = good.substr(0, cut);
        EXPECT_EQ(DZ_TRUNCATED, Inflate(&feed)) << "cut at " << cut;
    }
    Feed checksum;
    checksum.input = good;
    checksum.input[good.size() - 1] ^= 1;
    EXPECT_EQ(DZ_CHECKSUM, Inflate(&checksum));

    // Each header breaks one rule and keeps the others (its check bits valid unless they are
    // the fault), so that each case fails only by the rule it names.
    const char* const headers[][2] = {
        {"\x88\x1c", "window size 128 KiB: not zlib's"},
        {"\x79\x18", "method 9: not deflate"},
        {"\x78\x9d", "header check not a multiple of 31"},
        {"\x78\xbb", "preset dictionary"},
    };
    for (const auto& h : headers) {
        Feed header;
        header.input = std::string(h[0], 2) + good.substr(2);
        EXPECT_EQ(DZ_BAD_HEADER, Inflate(&header)) << h[1];
    }

    Feed reserved;
    reserved.input = std::string("\x78\x01\x07", 3);  // final block of type 3
    EXPECT_EQ(DZ_BAD_BLOCK, Inflate(&reserved));

    Feed stored;
    stored.input = std::string("\x78\x01\x01\x05\x00\xfb\xff", 7) + "hello";  // LEN 5, NLEN wrong
    EXPECT_EQ(DZ_BAD_BLOCK, Inflate(&stored));

    // A distance before the first byte: fixed block, literal 'a', then length 3 distance 2.
    Feed distance;
    distance.input = std::string("\x78\x01\x4b\x04\x42\x00", 6);
    EXPECT_EQ(DZ_BAD_DISTANCE, Inflate(&distance));

    Feed write;
    write.input = good;
    write.failWriteAfter = 40000;
    EXPECT_EQ(DZ_WRITE, Inflate(&write));
}

TEST(DosInflate, JudgesRandomDamageAsZlibDoes) {
    std::mt19937 random(12345);
    std::string data = sfxtest::SampleBytes(70000, 17);
    const std::string streams[] = {Deflate(data, 9), Deflate(data, 1, Z_FIXED), Deflate(data.substr(0, 3000), 0)};
    int agreedFailures = 0;
    for (int round = 0; round < 600; ++round) {
        std::string stream = streams[round % 3];
        int flips = 1 + static_cast<int>(random() % 3);
        for (int i = 0; i < flips; ++i) stream[random() % stream.size()] ^= static_cast<char>(1u << (random() % 8));
        std::string expected;
        bool zlibOk = ZlibInflates(stream, &expected);
        Feed feed;
        feed.input = stream;
        int result = Inflate(&feed);
        ASSERT_EQ(zlibOk, result == DZ_OK) << "round " << round << ": " << dz_error_text(result);
        if (zlibOk) {
            EXPECT_TRUE(feed.output == expected) << "round " << round;
        }
        agreedFailures += zlibOk ? 0 : 1;
    }
    EXPECT_GT(agreedFailures, 500);  // the damage really breaks streams
}

}  // namespace
