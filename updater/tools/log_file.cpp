#include "updater/tools/log_file.h"

#include <atomic>

#include "common/format.h"
#include "updater/tools/log_io.h"

namespace {

std::atomic<CLogFile::DebugSink> g_debugSink{nullptr};

std::time_t SystemClock() { return std::time(nullptr); }

// strftime into a 128-character buffer; empty when the time cannot be converted or the pattern
// produces nothing.
std::string FormatLocalTime(std::time_t when, const char* pattern) {
    std::tm local{};
    if (!logio::ToLocalTime(when, &local)) return std::string();
    char buffer[128];
    size_t length = std::strftime(buffer, sizeof buffer, pattern, &local);
    return std::string(buffer, length);
}

}  // namespace

CLogFile theLog('S', ".\\", "Brevane");

CLogFile::CLogFile(char periodIn, const std::string& folderIn, const std::string& nameIn)
    : enabled(1), period(periodIn), name(nameIn), m_pfnClock(&SystemClock) {
    SetFolder(folderIn);
    BuildPath();
}

BOOL CLogFile::SetFolder(const std::string& folderIn) {
    folder = folderIn;
    if (folder.empty() || folder.back() != '\\') folder += '\\';
    return logio::CreateDirectoryChain(folder);
}

void CLogFile::SetName(const std::string& nameIn) { name = nameIn; }

BOOL CLogFile::BuildPath() {
    std::string suffix;
    switch (period) {
    case 'D': suffix = FormatLocalTime(m_pfnClock(), "%Y%m%d.log"); break;
    case 'W': suffix = FormatLocalTime(m_pfnClock(), "%Yw%U.log"); break;
    case 'M': suffix = FormatLocalTime(m_pfnClock(), "%Ym%m.log"); break;
    case 'Y': suffix = FormatLocalTime(m_pfnClock(), "%Y.log"); break;
    default:
        // An undated name gets ".log" only when it has no extension of its own.
        if (name.find('.') == std::string::npos) suffix = ".log";
        break;
    }
    if (!folder.empty() && folder.back() == '\\')
        path = folder + name + suffix;
    else
        path = folder + "\\" + name + suffix;
    return TRUE;
}

BOOL CLogFile::WriteLine(const char* tag, const char* format, ...) {
    va_list args;
    va_start(args, format);
    BOOL written = WriteLineV(tag, format, args);
    va_end(args);
    return written;
}

BOOL CLogFile::WriteLineV(const char* tag, const char* format, va_list args) {
    if (!enabled) return TRUE;
    std::string message = common::FormatV(format, args);
    if (path.size() >= kLogMaxPath) return FALSE;
    std::string stamp = FormatLocalTime(m_pfnClock(), "%Y/%m/%d, %H:%M:%S");
    std::string line = stamp + ", $" + (tag ? tag : "") + ", " + message + "\n";
    return logio::AppendInOneWrite(path, ToTextModeBytes(line));
}

void CLogFile::DebugPrint(const char* format, ...) {
    va_list args;
    va_start(args, format);
    std::string text = common::FormatV(format, args);
    va_end(args);
    if (DebugSink sink = g_debugSink.load())
        sink(text.c_str());
    else
        logio::DebugOutput(text.c_str());
}

void CLogFile::SetDebugSink(DebugSink sink) { g_debugSink.store(sink); }

std::string ToTextModeBytes(const std::string& text) {
    std::string bytes;
    bytes.reserve(text.size() + 8);
    for (char c : text) {
        if (c == '\n') bytes += '\r';
        bytes += c;
    }
    return bytes;
}
