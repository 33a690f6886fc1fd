#include "tests/support/captured_log.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <fstream>
#include <mutex>
#include <sstream>

#include "updater/tools/log_file.h"

namespace testsupport {

namespace {

std::mutex g_debugMutex;
std::vector<std::string> g_debugTexts;
std::atomic<unsigned> g_counter{0};

void CollectDebug(const char* text) {
    std::lock_guard<std::mutex> lock(g_debugMutex);
    g_debugTexts.emplace_back(text);
}

// The log stores folders with backslashes; native builds map them back to slashes.
std::string AsLogFolder(const std::filesystem::path& folder) {
    std::string text = folder.string();
    for (char& c : text)
        if (c == '/') c = '\\';
    return text;
}

}  // namespace

CapturedLog::CapturedLog()
    : m_savedFolder(theLog.folder), m_savedName(theLog.name), m_savedPath(theLog.path), m_savedEnabled(theLog.enabled) {
    std::ostringstream unique;
    unique << "brevane_log_" << std::hex << reinterpret_cast<uintptr_t>(this) << "_" << g_counter++ << "_"
           << std::chrono::steady_clock::now().time_since_epoch().count();
    m_folder = std::filesystem::temp_directory_path() / unique.str();
    std::filesystem::create_directories(m_folder);
    theLog.enabled = 1;
    theLog.SetFolder(AsLogFolder(m_folder));
    theLog.SetName("captured");
    theLog.BuildPath();
    {
        std::lock_guard<std::mutex> lock(g_debugMutex);
        g_debugTexts.clear();
    }
    CLogFile::SetDebugSink(&CollectDebug);
}

CapturedLog::~CapturedLog() {
    CLogFile::SetDebugSink(nullptr);
    theLog.folder = m_savedFolder;
    theLog.name = m_savedName;
    theLog.path = m_savedPath;
    theLog.enabled = m_savedEnabled;
    std::error_code ignored;
    std::filesystem::remove_all(m_folder, ignored);
}

std::vector<std::string> CapturedLog::Lines() const {
    std::ifstream in(m_folder / "captured.log", std::ios::binary);
    std::vector<std::string> lines;
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        // "<date>, <time>, $<tag>, <message>"
        size_t dollar = line.find(", $");
        lines.push_back(dollar == std::string::npos ? line : line.substr(dollar + 3));
    }
    return lines;
}

std::vector<std::string> CapturedLog::DebugTexts() const {
    std::lock_guard<std::mutex> lock(g_debugMutex);
    return g_debugTexts;
}

}  // namespace testsupport
