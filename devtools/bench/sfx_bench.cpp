// Measurements behind run.sh:
//   sfx_bench payload DIR MIB            writes four files of MIB MiB in all (text-like bytes)
//   sfx_bench extract PACKAGE DIR        CSfxFile::ExtractAll(0xFF) into DIR/reader, then the
//                                        same streams with a plain zlib inflate loop into DIR/plain;
//                                        prints both times
//   sfx_bench open PACKAGE               peak resident memory before and after CSfxFile::Open
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>
#include <sys/resource.h>
#include <unistd.h>
#include <vector>
#include <zlib.h>

#include "extractor/package/sfx_file.h"
#include "extractor/package/sfx_fs.h"

namespace fs = std::filesystem;

namespace {

double Seconds(std::chrono::steady_clock::time_point since) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

long PeakKiB() {
    struct rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

int Payload(const std::string& dir, long mib) {
    fs::create_directories(dir);
    std::mt19937 random(42);
    static const char* const kWords[] = {"flash ", "image ", "BIOS ", "update ", "Zera ", "tool\r\n", "0x7E600 ", "ME "};
    const uint64_t total = static_cast<uint64_t>(mib) << 20;
    const uint64_t sizes[] = {total / 2, total / 4, total / 8, total - total / 2 - total / 4 - total / 8};
    for (int i = 0; i < 4; ++i) {
        std::string path = dir + "/payload" + std::to_string(i) + ".bin";
        FILE* file = std::fopen(path.c_str(), "wb");
        if (!file) return 1;
        std::string block;
        uint64_t written = 0;
        while (written < sizes[i]) {
            block.clear();
            while (block.size() < (1 << 20)) {
                uint32_t pick = random();
                if (pick % 4 == 0) block += static_cast<char>(pick >> 8);
                else block += kWords[(pick >> 8) % 8];
            }
            size_t count = static_cast<size_t>(std::min<uint64_t>(block.size(), sizes[i] - written));
            std::fwrite(block.data(), 1, count, file);
            written += count;
        }
        std::fclose(file);
    }
    return 0;
}

// zlib's own example loop (16 KiB pieces) over one stream, into a file.
bool PlainInflate(FILE* source, uint64_t compressed, const std::string& path) {
    constexpr size_t kChunk = 16384;
    unsigned char in[kChunk], out[kChunk];
    FILE* destination = std::fopen(path.c_str(), "wb");
    if (!destination) return false;
    z_stream stream{};
    if (inflateInit(&stream) != Z_OK) return false;
    int status = Z_OK;
    do {
        size_t want = compressed < kChunk ? static_cast<size_t>(compressed) : kChunk;
        stream.avail_in = static_cast<uInt>(std::fread(in, 1, want, source));
        compressed -= stream.avail_in;
        if (stream.avail_in == 0) break;
        stream.next_in = in;
        do {
            stream.avail_out = kChunk;
            stream.next_out = out;
            status = inflate(&stream, Z_NO_FLUSH);
            if (status == Z_DATA_ERROR || status == Z_MEM_ERROR || status == Z_NEED_DICT) break;
            std::fwrite(out, 1, kChunk - stream.avail_out, destination);
        } while (stream.avail_out == 0);
    } while (status != Z_STREAM_END && status != Z_DATA_ERROR);
    inflateEnd(&stream);
    std::fclose(destination);
    return status == Z_STREAM_END;
}

int Extract(const std::string& package, const std::string& dir) {
    fs::path absolute = fs::absolute(package);
    fs::path readerDir = fs::path(dir) / "reader", plainDir = fs::path(dir) / "plain";
    fs::create_directories(readerDir);
    fs::create_directories(plainDir);
    CSfxFile sfx;
    if (!sfx.Open(absolute.c_str()) || !sfx.LoadToc()) {
        std::fprintf(stderr, "%s\n", sfx.m_szLastError);
        return 1;
    }
    sfx.Close();
    uint64_t bytes = 0;
    for (const auto& entry : sfx.Entries()) bytes += entry->m_ullFileSize;

    // Each timed phase starts with nothing dirty in the page cache, so that neither pays for
    // the other's write-back.
    ::sync();
    fs::path previous = fs::current_path();
    fs::current_path(readerDir);
    auto start = std::chrono::steady_clock::now();
    if (!sfx.Open(absolute.c_str())) return 1;
    int count = sfx.ExtractAll(0xFF);
    sfx.Close();
    double reader = Seconds(start);
    fs::current_path(previous);
    if (count != static_cast<int>(sfx.Entries().size())) {
        std::fprintf(stderr, "reader: %s\n", sfx.m_szLastError);
        return 1;
    }

    ::sync();
    start = std::chrono::steady_clock::now();
    FILE* source = sfxfs::OpenForRead(absolute.c_str());
    for (const auto& entry : sfx.Entries()) {
        if (!sfxfs::Seek(source, entry->m_ullDataOffset) ||
            !PlainInflate(source, entry->m_ullCompressedSize, (plainDir / entry->m_szFileName).string()))
            return 1;
    }
    std::fclose(source);
    double plain = Seconds(start);
    std::printf("bytes %llu\nreader_seconds %.3f\nplain_seconds %.3f\n", static_cast<unsigned long long>(bytes), reader,
                plain);
    return 0;
}

int OpenPeak(const std::string& package) {
    long before = PeakKiB();
    CSfxFile sfx;
    auto start = std::chrono::steady_clock::now();
    if (!sfx.Open(package.c_str())) {
        std::fprintf(stderr, "%s\n", sfx.m_szLastError);
        return 1;
    }
    double seconds = Seconds(start);
    uint64_t size = 0;
    FILE* file = sfxfs::OpenForRead(package.c_str());
    if (!file || !sfxfs::SizeOf(file, &size)) return 1;
    std::fclose(file);
    std::printf("package_bytes %llu\nopen_seconds %.3f\npeak_kib_before_open %ld\npeak_kib_after_open %ld\n",
                static_cast<unsigned long long>(size), seconds, before, PeakKiB());
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    std::string command = argc > 1 ? argv[1] : "";
    if (command == "payload" && argc == 4) return Payload(argv[2], std::atol(argv[3]));
    if (command == "extract" && argc == 4) return Extract(argv[2], argv[3]);
    if (command == "open" && argc == 3) return OpenPeak(argv[2]);
    std::fputs("usage: sfx_bench payload DIR MIB | extract PACKAGE DIR | open PACKAGE\n", stderr);
    return 2;
}
