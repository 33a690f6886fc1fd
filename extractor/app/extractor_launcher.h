#pragma once
// CExtractorLauncher: the Extractor's flow from start to exit, written against a small seam
// (CLauncherPlatform) for the package reader, the user and the operating system. It reads
// the package, decides between the silent path and the dialog, chooses and creates the
// destination, extracts, publishes the environment and runs the stored Win32 command.
// The Win32 side implements the seam; tests drive the flow with a recording fake.

#include <cstdint>
#include <string>

#include "common/portable_types.h"
#include "extractor/app/launch_rules.h"

namespace sfx {

enum class MsgKind { Plain, Error, Information };

// Answers of BrowseForFolder.
constexpr int kBrowseChosen = 1;
constexpr int kBrowseCancelled = 2;
constexpr int kBrowseComFailed = -1;
constexpr int kBrowseNoAllocator = -2;
constexpr int kBrowseNoPath = -3;

// Platform masks used for extraction: Win32 and WinPE on the silent path, all after the dialog.
constexpr uint32_t kSilentExtractMask = 6;
constexpr uint32_t kDialogExtractMask = 0xFF;

class CLauncherPlatform {
public:
    virtual ~CLauncherPlatform() = default;

    // The one package reader.
    virtual BOOL OpenPackage(const std::string& path) = 0;
    virtual BOOL LoadToc() = 0;
    virtual void ClosePackage() = 0;
    virtual void FreeEntries() = 0;
    virtual int ExtractAll(uint32_t mask) = 0;
    virtual uint32_t SfxFlags() = 0;
    virtual std::string Win32Command() = 0;
    virtual std::string LastError() = 0;

    // The user. A null caption stands for the application's own.
    virtual void ShowMessage(const std::string& text, const char* caption, MsgKind kind) = 0;
    virtual bool AskYesNo(const std::string& text, const char* caption) = 0;
    // Runs the package dialog modally; true when it ended with OK.
    virtual bool RunDialog() = 0;
    // One of the kBrowse answers; on kBrowseChosen `chosen` holds the folder.
    virtual int BrowseForFolder(const char* title, std::string& chosen) = 0;

    // The operating system.
    virtual void SetVariable(const char* name, const std::string& value) = 0;
    virtual ExpandFn Expander() = 0;
    // The long form of the temporary directory, ending in a backslash.
    virtual BOOL GetTempDirectory(std::string& path) = 0;
    virtual BOOL GetCurrentDir(std::string& path) = 0;
    virtual BOOL SetCurrentDir(const std::string& path) = 0;
    // The system error code of the last failed call.
    virtual unsigned long LastSystemError() = 0;
    // Creates `pathWithBackslash` with every missing parent; on failure `error` is the system's.
    virtual BOOL MakeSurePathExists(const std::string& pathWithBackslash, unsigned long& error) = 0;
    // Starts `commandLine` in `workingDir` and waits for it (or for the launcher message).
    // TRUE with the exit code, or FALSE with the start error.
    virtual BOOL StartAndWait(char* commandLine, const std::string& workingDir, uint32_t& exitCode,
                              unsigned long& error) = 0;
};

class CExtractorLauncher {
public:
    explicit CExtractorLauncher(CLauncherPlatform& platform) : m_platform(platform) {}

    // Sets SfxPathName and the package base name from the running program's path.
    void SetModulePath(const std::string& path);
    // Publishes the program's own arguments as SfxCmdLine, expanded; "" when there are none.
    void PublishCommandLine(const std::string& arguments);
    // The start-up routine after the process-wide strings are set: read, maybe show the
    // dialog, extract, run. The exit code is left in m_nExitCode.
    void Run();

    // Chooses ExtractDest for `option` (-1: the package's own), creates it and makes it the
    // current directory.
    [[nodiscard]] BOOL SelectDestination(int option);
    // Starts the package's Win32 command in ExtractDest and waits for it.
    [[nodiscard]] BOOL ExecuteCommand();

    std::string m_strSfxPathName;
    std::string m_strBaseName;
    std::string m_strExtractDest;
    uint32_t m_nExitCode = 0;
    bool m_bDiagnostic = false;

private:
    void Diagnostic(const std::string& text, MsgKind kind = MsgKind::Plain);

    CLauncherPlatform& m_platform;
};

}  // namespace sfx
