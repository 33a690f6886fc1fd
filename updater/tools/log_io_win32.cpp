#include "updater/tools/log_io.h"

#include <windows.h>

#include "framework/checked_file_win32.h"
#include "framework/system_library_win32.h"
#include "framework/unique_handle_win32.h"

namespace logio {

namespace {
constexpr int kSharingRetries = 10;
constexpr DWORD kSharingRetryMs = 20;
}  // namespace

BOOL CreateDirectoryChain(const std::string& folder) {
    // Creates each directory up to the last backslash; existing ones are accepted. Run
    // elevated, a folder made here (under C:\ or C:\ProgramData, where any user may create
    // folders and would otherwise inherit the right to change what is in them) is made with
    // the descriptor only administrators can change, in the same call.
    return fw::CreateFolderChain(folder, fw::ProcessIsElevated() ? fw::kAdminOnlyFolderSddl : nullptr,
                                 &fw::CreateFolderWithDescriptor);
}

BOOL AppendInOneWrite(const std::string& path, const std::string& bytes) {
    // Others may read the log, and keep it open for reading and writing as viewers and editors
    // do, while a line is appended; append-only access keeps each line whole at the end even
    // then. One that forbids writing holds it only briefly as a rule (a backup or indexing
    // agent), so a sharing violation is retried for a moment before the line is given up.
    // A link at the log's name or at any folder above it would send the elevated append to
    // wherever it points: the file is opened only where its path says, and only written
    // through that handle.
    fw::UniqueFile file;
    for (int attempt = 0;; ++attempt) {
        DWORD error = 0;
        if (fw::OpenWithoutLinks(path, FILE_APPEND_DATA | FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                 OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, file, error))
            break;
        if (error != ERROR_SHARING_VIOLATION || attempt == kSharingRetries) return FALSE;
        ::Sleep(kSharingRetryMs);
    }
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
