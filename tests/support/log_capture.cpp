#include "tests/support/log_capture.h"

#include <atomic>
#include <fstream>
#include <mutex>
#include <random>
#include <sstream>

namespace {

std::filesystem::path MakeScratchFolder() {
    std::random_device random;
    auto base = std::filesystem::temp_directory_path();
    for (;;) {
        auto candidate = base / ("brevane_log_" + std::to_string(random()));
        if (std::filesystem::create_directory(candidate)) return candidate;
    }
}

std::string WithBackslash(const std::filesystem::path& folder) {
    std::string text = folder.string();
    if (text.empty() || (text.back() != '\\' && text.back() != '/')) text += '\\';
    return text;
}

std::mutex g_debugMutex;
std::vector<std::string> g_debugTexts;

void CollectDebug(const char* text) {
    std::lock_guard<std::mutex> lock(g_debugMutex);
    g_debugTexts.emplace_back(text);
}

}  // namespace

LogCapture::LogCapture() : m_folder(MakeScratchFolder()), m_log('S', WithBackslash(m_folder), "capture") {}

LogCapture::~LogCapture() {
    std::error_code ignored;
    std::filesystem::remove_all(m_folder, ignored);
}

std::string LogCapture::Bytes() const {
    std::ifstream in(m_folder / "capture.log", std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

std::vector<std::string> LogCapture::Lines() const {
    std::vector<std::string> lines;
    std::string bytes = Bytes();
    size_t start = 0;
    while (start < bytes.size()) {
        size_t end = bytes.find("\r\n", start);
        if (end == std::string::npos) end = bytes.size();
        std::string line = bytes.substr(start, end - start);
        // "2013/06/04, 14:05:09, " is 22 characters.
        lines.push_back(line.size() >= 22 ? line.substr(22) : line);
        start = end + 2;
    }
    return lines;
}

DebugCapture::DebugCapture() {
    std::lock_guard<std::mutex> lock(g_debugMutex);
    g_debugTexts.clear();
    CLogFile::SetDebugSink(&CollectDebug);
}

DebugCapture::~DebugCapture() { CLogFile::SetDebugSink(nullptr); }

std::vector<std::string> DebugCapture::Texts() const {
    std::lock_guard<std::mutex> lock(g_debugMutex);
    return g_debugTexts;
}
