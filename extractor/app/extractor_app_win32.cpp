#include "extractor/app/extractor_app_win32.h"

#include <commctrl.h>

#include <cstdio>
#include <new>

#include "extractor/app/browse_folder_win32.h"
#include "extractor/app/command_runner_win32.h"
#include "framework/system_library_win32.h"
#include "extractor/app/extractor_dlg_win32.h"
#include "extractor/app/image_binding.h"
#include "extractor/app/owner_records_win32.h"
#include "extractor/package/sfx_fs.h"
#include "extractor/app/trusted_folder_win32.h"
#include "framework/narrow_path_win32.h"
#include "framework/unique_handle_win32.h"

CSfxFile theSfxFile;

namespace {

UINT MessageBoxType(sfx::MsgKind kind) {
    switch (kind) {
    case sfx::MsgKind::Error:
        return MB_OK | MB_ICONERROR;
    case sfx::MsgKind::Information:
        return MB_OK | MB_ICONINFORMATION;
    case sfx::MsgKind::Plain:
        break;
    }
    return MB_OK;
}

uint32_t ExpandStrings(const char* text, char* out, uint32_t size) {
    return ::ExpandEnvironmentStringsA(text, out, size);
}

// The running program's own path; the package is appended to it. Empty when it has no narrow
// form that names the file.
std::string ModulePath() {
    std::string path;
    return fw::GetModulePathNarrow(path) ? path : std::string();
}

}  // namespace

CExtractorApp& GetExtractorApp() { return *static_cast<CExtractorApp*>(fw::AfxGetApp()); }

CExtractorApp::CExtractorApp() { m_strAppName = "Extractor"; }

BOOL CExtractorApp::InitInstance() {
    INITCOMMONCONTROLSEX controls{sizeof(INITCOMMONCONTROLSEX), 0xFF};
    ::InitCommonControlsEx(&controls);

    // Any user can create C:\Temp\...: only a marker an administrator made turns on the boxes,
    // which would otherwise stop every elevated run (and a run as SYSTEM, on a box nobody sees).
    m_launcher.m_bDiagnostic = sfx::ExistsOwnedByAdministrators(kDiagnosticMarker, OwnersRecorded());
    // Read twice (table first, data after the dialog or the questions): both reads must see
    // the same file.
    theSfxFile.KeepFileAcrossClose();
    m_launcher.SetModulePath(ModulePath());
    m_launcher.PublishCommandLine(m_strCmdLine);
    m_launcher.Run();
    return FALSE;  // never a message loop of its own
}

int CExtractorApp::ExitInstance() { return static_cast<int>(m_launcher.m_nExitCode); }

BOOL CExtractorApp::OpenPackage(const std::string& path) { return theSfxFile.Open(path.c_str()); }
BOOL CExtractorApp::LoadToc() { return theSfxFile.LoadToc(); }
void CExtractorApp::ClosePackage() { theSfxFile.Close(); }
void CExtractorApp::FreeEntries() { theSfxFile.FreeEntries(); }
int CExtractorApp::ExtractAll(uint32_t mask) { return theSfxFile.ExtractAll(mask); }
int CExtractorApp::CountEntries(uint32_t mask) {
    int count = 0;
    for (const auto& entry : theSfxFile.Entries())
        if (entry->m_dwPlatform & mask) ++count;
    return count;
}
uint32_t CExtractorApp::SfxFlags() { return theSfxFile.m_dwSfxFlags; }
std::string CExtractorApp::Win32Command() { return theSfxFile.m_szWin32Command; }
std::string CExtractorApp::LastError() { return theSfxFile.m_szLastError; }
sfx::SfxBinding CExtractorApp::PackageBinding() { return sfx::ImageBinding(); }
BOOL CExtractorApp::CheckPackage(const sfx::SfxBinding& binding) { return theSfxFile.CheckBinding(binding); }

BOOL CExtractorApp::ReadPackageCopy(const sfx::SfxBinding& binding, const std::string& folder) {
    unsigned long error = 0;
    FILE* copy = sfxfs::CreatePrivateScratch(folder.c_str(), &error);
    if (!copy) {
        // Refused like a package that does not match: nothing is read from anywhere else.
        std::snprintf(theSfxFile.m_szLastError, sizeof theSfxFile.m_szLastError, "Package copy error #%lu", error);
        theSfxFile.Close();
        return FALSE;
    }
    return theSfxFile.ReadFromCopy(binding, copy);
}

void CExtractorApp::ShowMessage(const std::string& text, const char* caption, sfx::MsgKind kind) {
    if (caption) {
        ::MessageBoxA(m_hMainWnd, text.c_str(), caption, MessageBoxType(kind));
    } else {
        fw::AfxMessageBox(text.c_str(), MessageBoxType(kind));
    }
}

bool CExtractorApp::AskYesNo(const std::string& text, const char* caption) {
    return ::MessageBoxA(m_hMainWnd, text.c_str(), caption, MB_YESNO | MB_ICONQUESTION) == IDYES;
}

bool CExtractorApp::RunDialog() {
    CExtractorDlg dialog;
    INT_PTR result = dialog.DoModal(m_hInstance);
    m_hMainWnd = nullptr;
    return result == IDOK;
}

int CExtractorApp::BrowseForFolder(const char* title, std::string& chosen) {
    return sfx::BrowseForFolder(title, nullptr, chosen);
}

void CExtractorApp::SetVariable(const char* name, const std::string& value) {
    ::SetEnvironmentVariableA(name, value.c_str());
}

sfx::ExpandFn CExtractorApp::Expander() { return &ExpandStrings; }

BOOL CExtractorApp::GetTempDirectory(std::string& path) { return fw::GetTempPathNarrow(path); }

BOOL CExtractorApp::GetCurrentDir(std::string& path) {
    char current[MAX_PATH] = {};
    DWORD length = ::GetCurrentDirectoryA(MAX_PATH, current);
    if (length == 0 || length >= MAX_PATH) return FALSE;
    path.assign(current, length);
    return TRUE;
}

BOOL CExtractorApp::SetCurrentDir(const std::string& path) { return ::SetCurrentDirectoryA(path.c_str()); }

unsigned long CExtractorApp::LastSystemError() { return ::GetLastError(); }

BOOL CExtractorApp::MakeSurePathExists(const std::string& pathWithBackslash, unsigned long& error) {
    if (fw::MakeSureDirectoryPathExistsFromSystem(pathWithBackslash.c_str())) return TRUE;
    error = ::GetLastError();
    return FALSE;
}

bool CExtractorApp::IsElevated() { return sfx::ProcessIsElevated(); }

sfx::PathState CExtractorApp::InspectPath(const std::string& path) { return sfx::InspectPath(path); }

bool CExtractorApp::OwnersRecorded() { return sfx::SystemRecordsOwners(); }

BOOL CExtractorApp::GetWindowsDirectory(std::string& path) { return sfx::SystemWindowsDirectory(path); }

BOOL CExtractorApp::RandomSuffix(std::string& hex) {
    DWORD error = 0;
    if (sfx::RandomHex128(hex, error)) return TRUE;
    ::SetLastError(error);
    return FALSE;
}

BOOL CExtractorApp::CreateHeldFolder(const std::string& path, const char* sddl, sfx::HeldFolder& held,
                                     unsigned long& error) {
    DWORD code = 0;
    fw::UniqueFile folder;
    if (!sfx::CreateHeldFolder(sfx::SystemNtCreateFile(), path, sddl, folder, held, code)) {
        error = code;
        return FALSE;
    }
    try {
        m_heldFolders.push_back(std::move(folder));
    } catch (const std::bad_alloc&) {
        error = ERROR_NOT_ENOUGH_MEMORY;
        return FALSE;
    }
    return TRUE;
}

bool CExtractorApp::FileExists(const std::string& path) {
    DWORD attributes = ::GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

std::vector<std::string> CExtractorApp::SystemDirectories() {
    // The folders the platform's own search would try after the program's folder and the
    // current directory, less the search path (which may hold folders anyone can write).
    std::vector<std::string> folders;
    char folder[MAX_PATH] = {};
    UINT length = ::GetSystemDirectoryA(folder, MAX_PATH);
    if (length > 0 && length < MAX_PATH) folders.emplace_back(folder, length);
    length = ::GetWindowsDirectoryA(folder, MAX_PATH);
    if (length > 0 && length < MAX_PATH) folders.emplace_back(folder, length);
    return folders;
}

BOOL CExtractorApp::StartAndWait(const std::string& program, char* commandLine, const std::string& workingDir,
                                 uint32_t& exitCode, unsigned long& error) {
    DWORD startError = 0;
    BOOL started = sfx::StartAndWait(program.empty() ? nullptr : program.c_str(), commandLine, workingDir.c_str(),
                                     exitCode, startError);
    error = startError;
    return started;
}
