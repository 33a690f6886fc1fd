#pragma once
// CExtractorApp: the application object of Extractor. Its start-up does all the work
// (CExtractorLauncher) and always ends the program afterwards; its exit step answers the exit
// code. It is also the launcher's platform: the reader, the user and the system on Windows.

#include <windows.h>

#include <vector>

#include "extractor/app/extractor_launcher.h"
#include "extractor/package/sfx_file.h"
#include "framework/app_win32.h"
#include "framework/unique_handle_win32.h"

// The one package reader of the process.
extern CSfxFile theSfxFile;

// A file-system object of this name, owned by Administrators or SYSTEM, switches on the
// diagnostic message boxes.
constexpr char kDiagnosticMarker[] = "C:\\Temp\\DastroComputer.txt";

class CExtractorApp : public fw::CWinApp, public sfx::CLauncherPlatform {
public:
    CExtractorApp();
    BOOL InitInstance() override;
    int ExitInstance() override;

    [[nodiscard]] BOOL SelectDestination(int option) { return m_launcher.SelectDestination(option); }
    [[nodiscard]] BOOL ExecuteCommand() { return m_launcher.ExecuteCommand(); }

    // The launcher's state: SfxPathName, the package base name, ExtractDest, the exit code.
    sfx::CExtractorLauncher m_launcher{*this};

    // CLauncherPlatform.
    BOOL OpenPackage(const std::string& path) override;
    BOOL LoadToc() override;
    void ClosePackage() override;
    void FreeEntries() override;
    int ExtractAll(uint32_t mask) override;
    int CountEntries(uint32_t mask) override;
    uint32_t SfxFlags() override;
    std::string Win32Command() override;
    std::string LastError() override;
    sfx::SfxBinding PackageBinding() override;
    BOOL CheckPackage(const sfx::SfxBinding& binding) override;
    BOOL ReadPackageCopy(const sfx::SfxBinding& binding, const std::string& folder) override;
    void ShowMessage(const std::string& text, const char* caption, sfx::MsgKind kind) override;
    bool AskYesNo(const std::string& text, const char* caption) override;
    bool RunDialog() override;
    int BrowseForFolder(const char* title, std::string& chosen) override;
    void SetVariable(const char* name, const std::string& value) override;
    sfx::ExpandFn Expander() override;
    BOOL GetTempDirectory(std::string& path) override;
    BOOL GetCurrentDir(std::string& path) override;
    BOOL SetCurrentDir(const std::string& path) override;
    unsigned long LastSystemError() override;
    BOOL MakeSurePathExists(const std::string& pathWithBackslash, unsigned long& error) override;
    bool IsElevated() override;
    sfx::PathState InspectPath(const std::string& path) override;
    bool OwnersRecorded() override;
    BOOL GetWindowsDirectory(std::string& path) override;
    BOOL RandomSuffix(std::string& hex) override;
    BOOL CreateHeldFolder(const std::string& path, const char* sddl, sfx::HeldFolder& held,
                          unsigned long& error) override;
    bool FileExists(const std::string& path) override;
    std::vector<std::string> SystemDirectories() override;
    BOOL StartAndWait(const std::string& program, char* commandLine, const std::string& workingDir,
                      uint32_t& exitCode, unsigned long& error) override;

private:
    // The private folders made this run, held open until the process ends.
    std::vector<fw::UniqueFile> m_heldFolders;
};

// The application object, for the dialog.
CExtractorApp& GetExtractorApp();
