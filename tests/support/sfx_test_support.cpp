#include "tests/support/sfx_test_support.h"

#include <atomic>
#include <cstdio>
#include <fstream>
#include <random>
#include <sstream>

#include "extractor/package/sfx_debug.h"
#include "extractor/package/sfx_format.h"

namespace fs = std::filesystem;

namespace sfxtest {

namespace {
std::atomic<int> g_counter{0};
std::vector<std::string> g_trace;
}  // namespace

CScratchDir::CScratchDir() {
    std::random_device random;
    for (;;) {
        fs::path candidate = fs::temp_directory_path() /
                             ("sfxtest-" + std::to_string(random()) + "-" + std::to_string(g_counter++));
        std::error_code ec;
        if (fs::create_directory(candidate, ec)) {
            m_path = candidate;
            break;
        }
    }
}

CScratchDir::~CScratchDir() {
    std::error_code ec;
    if (m_entered) fs::current_path(m_previous, ec);
    // Read-only files would stop the removal on Windows.
    for (auto it = fs::recursive_directory_iterator(m_path, ec); !ec && it != fs::recursive_directory_iterator();
         it.increment(ec))
        fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ec);
    fs::remove_all(m_path, ec);
}

void CScratchDir::EnterAsCurrent() {
    if (!m_entered) m_previous = fs::current_path();
    fs::current_path(m_path);
    m_entered = true;
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream buffer;
    buffer << in.rdbuf();
    return buffer.str();
}

void WriteFile(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

SfxWriterEntry MakeEntry(const std::string& name, const std::string& data, uint32_t platform, uint32_t attributes,
                         uint64_t lastWrite, uint64_t creation) {
    SfxWriterEntry entry;
    entry.hasData = true;
    entry.data = data;
    std::snprintf(entry.info.m_szFileName, sizeof entry.info.m_szFileName, "%s", name.c_str());
    entry.info.m_dwPlatform = platform;
    entry.info.m_dwAttributes = attributes;
    entry.info.m_ftLastWrite = FileTimeFromU64(lastWrite);
    entry.info.m_ftCreation = FileTimeFromU64(creation);
    return entry;
}

std::string BuildPackage(const CScratchDir& dir, const std::string& name, const std::string& program,
                         const SfxPackagePlan& plan, std::vector<CSrcFileInfo>* stored) {
    std::string programPath = dir.File(name + ".program");
    WriteFile(programPath, program);
    std::string path = dir.File(name);
    std::string error;
    if (!WriteSfxPackage(programPath, plan, path, error, stored)) {
        std::fprintf(stderr, "writer refused: %s\n", error.c_str());
        return std::string();
    }
    return path;
}

std::string SampleBytes(size_t size, uint32_t seed) {
    std::mt19937 random(seed);
    static const char kWords[][8] = {"flash ", "image ", "BIOS ", "update ", "Zera ", "tool\r\n"};
    std::string bytes;
    bytes.reserve(size + 8);
    while (bytes.size() < size) {
        uint32_t pick = random();
        if (pick % 5 == 0)
            bytes += static_cast<char>(pick >> 8);
        else
            bytes += kWords[(pick >> 8) % 6];
    }
    bytes.resize(size);
    return bytes;
}

std::string MinimalPeImage() {
    sfx::CByteWriter w;
    std::string dos(0x40, '\0');
    dos[0] = 'M';
    dos[1] = 'Z';
    dos[0x3C] = 0x40;
    w.Bytes(dos.data(), dos.size());
    w.Bytes("PE\0\0", 4);
    // File header: i386, one section, a PE32 optional header, executable 32-bit image.
    w.U16(0x14C);
    w.U16(1);
    w.U32(0);
    w.U32(0);
    w.U32(0);
    w.U16(0xE0);
    w.U16(0x0102);
    // Optional header.
    w.U16(0x10B);
    w.U16(0);
    w.U32(0x200);       // size of code
    w.U32(0);
    w.U32(0);
    w.U32(0x1000);      // entry point
    w.U32(0x1000);      // base of code
    w.U32(0x1000);      // base of data
    w.U32(0x400000);    // image base
    w.U32(0x1000);      // section alignment
    w.U32(0x200);       // file alignment
    w.U16(4);
    w.U16(0);
    w.U16(0);
    w.U16(0);
    w.U16(4);
    w.U16(0);
    w.U32(0);
    w.U32(0x2000);      // size of image
    w.U32(0x200);       // size of headers
    w.U32(0);           // checksum
    w.U16(2);           // GUI subsystem
    w.U16(0);
    w.U32(0x100000);
    w.U32(0x1000);
    w.U32(0x100000);
    w.U32(0x1000);
    w.U32(0);
    w.U32(16);
    for (int i = 0; i < 16; ++i) w.U64(0);
    // One section.
    w.Bytes(".text\0\0\0", 8);
    w.U32(0x200);
    w.U32(0x1000);
    w.U32(0x200);
    w.U32(0x200);
    w.U32(0);
    w.U32(0);
    w.U16(0);
    w.U16(0);
    w.U32(0x60000020);
    std::string image = w.Data();
    image.resize(0x200, '\0');
    image.append(0x200, static_cast<char>(0xC3));
    return image;
}

CTraceCapture::CTraceCapture() {
    g_trace.clear();
    SetSfxDebugSink([](const char* text) { g_trace.push_back(text); });
}

CTraceCapture::~CTraceCapture() { SetSfxDebugSink(nullptr); }

const std::vector<std::string>& CTraceCapture::Lines() const { return g_trace; }

bool CTraceCapture::Contains(const std::string& line) const {
    for (const std::string& text : g_trace)
        if (text == line) return true;
    return false;
}

}  // namespace sfxtest
