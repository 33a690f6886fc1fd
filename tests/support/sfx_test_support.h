#pragma once
// Helpers for the package tests: scratch folders, whole-file reads and writes, packages built
// by the writer from in-memory entries, a minimal PE image for signing, and the reader's trace.

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "extractor/package/sfx_writer.h"

namespace sfxtest {

// A fresh folder under the system's temporary folder, removed with everything in it (read-only
// files included) when the object goes. EnterAsCurrent makes it the current directory until
// destruction.
class CScratchDir {
public:
    CScratchDir();
    ~CScratchDir();
    CScratchDir(const CScratchDir&) = delete;
    CScratchDir& operator=(const CScratchDir&) = delete;
    const std::filesystem::path& Path() const { return m_path; }
    std::string File(const std::string& name) const { return (m_path / name).string(); }
    void EnterAsCurrent();

private:
    std::filesystem::path m_path;
    std::filesystem::path m_previous;
    bool m_entered = false;
};

std::string ReadFile(const std::string& path);
void WriteFile(const std::string& path, const std::string& bytes);

// 2014/01/22 20:22:32 and 2020/05/17 08:09:10.1234567 (UTC) as FILETIME values.
constexpr uint64_t kTime2014 = 0x01CF17AFADD27400ULL;
constexpr uint64_t kTime2020 = 0x01D62C2271A62D87ULL;

// An entry with in-memory bytes.
SfxWriterEntry MakeEntry(const std::string& name, const std::string& data, uint32_t platform,
                         uint32_t attributes = 0x20, uint64_t lastWrite = kTime2014,
                         uint64_t creation = kTime2020);

// Writes `program` to a file in `dir`, builds the package behind it, and answers its path.
// Answers "" (and prints the reason) when the writer refuses.
std::string BuildPackage(const CScratchDir& dir, const std::string& name, const std::string& program,
                         const SfxPackagePlan& plan, std::vector<CSrcFileInfo>* stored = nullptr);

// Deterministic bytes that deflate to about a third: text-like with some noise.
std::string SampleBytes(size_t size, uint32_t seed);

// A minimal valid 32-bit PE image (one section) that signing tools accept.
std::string MinimalPeImage();

// Every text the reader hands to the debug channel while the object lives.
class CTraceCapture {
public:
    CTraceCapture();
    ~CTraceCapture();
    const std::vector<std::string>& Lines() const;
    bool Contains(const std::string& line) const;
};

}  // namespace sfxtest
