#include "updater/tools/log_file.h"

#include <atomic>
#include <cstring>

#include "common/format.h"
#include "dos/core/dz_log.h"
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
        suffix = dz_log_suffix(name.c_str());
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
    std::tm local{};
    dz_clock when{};
    const bool known = logio::ToLocalTime(m_pfnClock(), &local);
    if (known) {
        when.year = static_cast<uint16_t>(local.tm_year + 1900);
        when.month = static_cast<uint8_t>(local.tm_mon + 1);
        when.day = static_cast<uint8_t>(local.tm_mday);
        when.hour = static_cast<uint8_t>(local.tm_hour);
        when.minute = static_cast<uint8_t>(local.tm_min);
        when.second = static_cast<uint8_t>(local.tm_sec);
    }
    // The head holds the time (19 characters), the tag and 5 characters of separators.
    if (!tag) tag = "";
    std::string head(32 + std::strlen(tag), '\0');
    head.resize(dz_log_head(known ? &when : nullptr, tag, &head[0], head.size()));
    return logio::AppendInOneWrite(path, head + ToTextModeBytes(message) + "\r\n");
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
    std::string bytes(2 * text.size(), '\0');  // every byte a line feed at worst
    size_t used = 0;
    bytes.resize(dz_log_text(text.data(), text.size(), &used, &bytes[0], bytes.size()));
    return bytes;
}
