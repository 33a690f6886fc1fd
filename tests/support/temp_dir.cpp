#include "tests/support/temp_dir.h"

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <system_error>

namespace fs = std::filesystem;

namespace {
std::atomic<unsigned> g_counter{0};
}

TempDir::TempDir() {
    auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
    for (unsigned attempt = 0; attempt < 100; ++attempt) {
        fs::path candidate = fs::temp_directory_path() /
                             ("brevane-test-" + std::to_string(stamp) + "-" + std::to_string(g_counter++));
        std::error_code error;
        if (fs::create_directory(candidate, error)) {
            m_path = candidate.string();
            return;
        }
    }
}

TempDir::~TempDir() {
    if (m_path.empty()) return;
    std::error_code error;
    // Read-only files left by a test must not keep the folder alive.
    for (auto it = fs::recursive_directory_iterator(m_path, error); !error && it != fs::recursive_directory_iterator();
         it.increment(error))
        fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, error);
    fs::remove_all(m_path, error);
}

std::string TempDir::Native(const std::string& relative) const {
    std::string result = m_path;
    result += static_cast<char>(fs::path::preferred_separator);
    for (char c : relative) result += (c == '\\') ? static_cast<char>(fs::path::preferred_separator) : c;
    return result;
}

std::string ReadFileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return std::string();
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

bool FileExistsAt(const std::string& path) {
    std::error_code error;
    return fs::exists(path, error);
}
