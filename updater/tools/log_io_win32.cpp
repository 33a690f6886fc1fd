#include "updater/tools/log_io.h"

#include <windows.h>

#include "framework/system_library_win32.h"
#include "framework/unique_handle_win32.h"

namespace logio {

namespace {
constexpr int kSharingRetries = 10;
constexpr DWORD kSharingRetryMs = 20;
}  // namespace

BOOL CreateDirectoryChain(const std::string& folder) {
    // Creates each directory up to the last backslash; existing ones are accepted. dbghelp is
    // loaded from the system directory, never imported: see system_library_win32.h.
    return fw::MakeSureDirectoryPathExistsFromSystem(folder.c_str());
}

namespace {
// A log path that is a link would send the elevated append to wherever the link points.
bool IsLink(const std::string& path) {
    DWORD attributes = ::GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT);
}
}  // namespace

BOOL AppendExclusive(const std::string& path, const std::string& bytes) {
    if (IsLink(path)) return FALSE;
    // Others may read the log, and keep it open for reading and writing as viewers and editors
    // do, while a line is appended; append-only access keeps each line whole at the end even
    // then. One that forbids writing holds it only briefly as a rule (a backup or indexing
    // agent), so a sharing violation is retried for a moment before the line is given up.
    fw::UniqueFile file;
    for (int attempt = 0;; ++attempt) {
        file.reset(::CreateFileA(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                 OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (file || ::GetLastError() != ERROR_SHARING_VIOLATION || attempt == kSharingRetries) break;
        ::Sleep(kSharingRetryMs);
    }
    if (!file) return FALSE;
    LARGE_INTEGER zero{};
    if (!::SetFilePointerEx(file.get(), zero, nullptr, FILE_END)) return FALSE;
    DWORD written = 0;
    if (!::WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) ||
        written != bytes.size())
        return FALSE;
    return ::CloseHandle(file.release()) ? TRUE : FALSE;
}

void DebugOutput(const char* text) { ::OutputDebugStringA(text); }

bool ToLocalTime(std::time_t when, std::tm* out) {
    std::tm* local = std::localtime(&when);  // the CRT's localtime is per-thread on Windows
    if (!local) return false;
    *out = *local;
    return true;
}

}  // namespace logio
