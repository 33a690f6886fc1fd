#include "tests/support/debug_capture.h"

#include <algorithm>
#include <mutex>

#include "updater/tools/log_file.h"

namespace testsupport {

namespace {

std::mutex g_lock;
std::vector<std::string> g_lines;

void Sink(const char* text) {
    std::lock_guard<std::mutex> lock(g_lock);
    g_lines.emplace_back(text);
}

}  // namespace

DebugCapture::DebugCapture() {
    {
        std::lock_guard<std::mutex> lock(g_lock);
        g_lines.clear();
    }
    CLogFile::SetDebugSink(&Sink);
}

DebugCapture::~DebugCapture() { CLogFile::SetDebugSink(nullptr); }

std::vector<std::string> DebugCapture::Lines() const {
    std::lock_guard<std::mutex> lock(g_lock);
    return g_lines;
}

bool DebugCapture::Contains(const std::string& line) const {
    std::lock_guard<std::mutex> lock(g_lock);
    return std::find(g_lines.begin(), g_lines.end(), line) != g_lines.end();
}

}  // namespace testsupport
