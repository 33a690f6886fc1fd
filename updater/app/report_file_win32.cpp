#include "updater/app/report_file_win32.h"

#include <windows.h>

#include <ctime>

#include "common/format.h"
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

bool WriteFileAtomically(const std::string& path, const std::string& text, std::string& error) {
    // Beside the target, so the rename stays on one volume; the process id keeps two runs apart.
    const std::string temporary = common::Format("%s.%lu.tmp", path.c_str(), ::GetCurrentProcessId());
    {
        fw::UniqueFile file(::CreateFileA(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                          FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!file) {
            error = common::Format("CreateFile(%s) ERR %lu", temporary.c_str(), ::GetLastError());
            return false;
        }
        DWORD written = 0;
        if (!::WriteFile(file.get(), text.data(), static_cast<DWORD>(text.size()), &written, nullptr) ||
            written != text.size() || !::FlushFileBuffers(file.get())) {
            error = common::Format("WriteFile(%s) ERR %lu", temporary.c_str(), ::GetLastError());
            file.reset();
            ::DeleteFileA(temporary.c_str());
            return false;
        }
    }
    if (!::MoveFileExA(temporary.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        error = common::Format("MoveFileEx(%s) ERR %lu", path.c_str(), ::GetLastError());
        ::DeleteFileA(temporary.c_str());
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
