#include "updater/app/report_file_win32.h"

#include <windows.h>

#include <ctime>
#include <vector>

#include "common/format.h"
#include "framework/checked_file_win32.h"
#include "framework/unique_handle_win32.h"
#include "updater/app/option_settings.h"
#include "updater/app/run_report.h"
#include "updater/app/version_info.h"
#include "updater/tools/log_file.h"

std::string AnsiToUtf8(const std::string& ansi) {
    if (ansi.empty()) return ansi;
    int units = ::MultiByteToWideChar(CP_ACP, 0, ansi.data(), static_cast<int>(ansi.size()), nullptr, 0);
    if (units <= 0) return ansi;
    std::wstring wide(static_cast<size_t>(units), L'\0');
    if (::MultiByteToWideChar(CP_ACP, 0, ansi.data(), static_cast<int>(ansi.size()), &wide[0], units) != units)
        return ansi;
    int bytes = ::WideCharToMultiByte(CP_UTF8, 0, wide.data(), units, nullptr, 0, nullptr, nullptr);
    if (bytes <= 0) return ansi;
    std::string utf8(static_cast<size_t>(bytes), '\0');
    if (::WideCharToMultiByte(CP_UTF8, 0, wide.data(), units, &utf8[0], bytes, nullptr, nullptr) != bytes) return ansi;
    return utf8;
}

namespace {

// Renames the open file `file` to `target` through its handle: whatever its temporary name
// names by now, the file written is the file that takes the report's name.
bool RenameByHandle(HANDLE file, const std::string& target, DWORD& error) {
    char full[MAX_PATH] = {};
    DWORD length = ::GetFullPathNameA(target.c_str(), MAX_PATH, full, nullptr);
    if (length == 0 || length >= MAX_PATH) {
        error = length == 0 ? ::GetLastError() : static_cast<DWORD>(ERROR_BAD_PATHNAME);
        return false;
    }
    int units = ::MultiByteToWideChar(CP_ACP, 0, full, static_cast<int>(length), nullptr, 0);
    if (units <= 0) {
        error = ::GetLastError();
        return false;
    }
    std::vector<unsigned char> buffer(sizeof(FILE_RENAME_INFO) + static_cast<size_t>(units) * sizeof(wchar_t));
    auto* rename = reinterpret_cast<FILE_RENAME_INFO*>(buffer.data());
    rename->ReplaceIfExists = TRUE;
    rename->RootDirectory = nullptr;
    rename->FileNameLength = static_cast<DWORD>(units * sizeof(wchar_t));
    ::MultiByteToWideChar(CP_ACP, 0, full, static_cast<int>(length), rename->FileName, units);
    if (!::SetFileInformationByHandle(file, FileRenameInfo, rename, static_cast<DWORD>(buffer.size()))) {
        error = ::GetLastError();
        return false;
    }
    return true;
}

void DeleteByHandle(HANDLE file) {
    FILE_DISPOSITION_INFO disposition{TRUE};
    ::SetFileInformationByHandle(file, FileDispositionInfo, &disposition, sizeof disposition);
}

}  // namespace

bool WriteFileAtomically(const std::string& path, const std::string& text, std::string& error) {
    // Beside the target, so the rename stays on one volume. The name is new and unpredictable
    // and the file created new, so nobody can have prepared it (a link in its place, a file
    // held open); the folder is checked by its handle, and everything after the creation goes
    // through the file's own handle, rename included.
    std::string random;
    DWORD code = 0;
    if (!fw::RandomHex128(random, code)) {
        error = common::Format("CreateFile(%s) ERR %lu", path.c_str(), code);
        return false;
    }
    const std::string temporary = common::Format("%s.%s.tmp", path.c_str(), random.c_str());
    fw::UniqueFile file;
    if (!fw::OpenWithoutLinks(temporary, GENERIC_WRITE | DELETE | FILE_READ_ATTRIBUTES, 0, CREATE_NEW,
                              FILE_ATTRIBUTE_NORMAL, file, code)) {
        error = common::Format("CreateFile(%s) ERR %lu", temporary.c_str(), code);
        return false;
    }
    DWORD written = 0;
    if (!::WriteFile(file.get(), text.data(), static_cast<DWORD>(text.size()), &written, nullptr) ||
        written != text.size() || !::FlushFileBuffers(file.get())) {
        error = common::Format("WriteFile(%s) ERR %lu", temporary.c_str(), ::GetLastError());
        DeleteByHandle(file.get());
        return false;
    }
    if (!RenameByHandle(file.get(), path, code)) {
        error = common::Format("MoveFileEx(%s) ERR %lu", path.c_str(), code);
        DeleteByHandle(file.get());
        return false;
    }
    return true;
}

void WriteRunReport(int exitCode) {
    if (theOptions.Report.empty()) return;
    theRunReport.exitCode = exitCode;
    theRunReport.ended = std::time(nullptr);
    if (theLog.enabled) {
        char full[MAX_PATH] = {};
        DWORD length = ::GetFullPathNameA(theLog.path.c_str(), MAX_PATH, full, nullptr);
        theRunReport.logFile = (length > 0 && length < MAX_PATH) ? std::string(full, length) : theLog.path;
    }
    const char* program = sizeof(void*) == 8 ? "Brevane64" : "Brevane";
    const std::string json = RunReportJson(theRunReport, program, BREVANE_VERSION_TEXT, &AnsiToUtf8);
    std::string error;
    if (!WriteFileAtomically(theOptions.Report, json, error))
        theLog.WriteLine("Report", "Result=[ERROR], the report was not written: %s", error.c_str());
}
