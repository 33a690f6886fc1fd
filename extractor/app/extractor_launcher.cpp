#include "extractor/app/extractor_launcher.h"

#include "common/format.h"

namespace sfx {

void CExtractorLauncher::SetModulePath(const std::string& path) {
    m_strSfxPathName = path;
    m_strBaseName = PackageBaseName(path);
}

void CExtractorLauncher::PublishCommandLine(const std::string& arguments) {
    std::string value = arguments;
    // A failed expansion leaves the arguments as they were given.
    if (!value.empty()) (void)ExpandEnvironment(value, m_platform.Expander());
    m_platform.SetVariable("SfxCmdLine", value);
}

void CExtractorLauncher::Diagnostic(const std::string& text, MsgKind kind) {
    if (m_bDiagnostic) m_platform.ShowMessage(text, nullptr, kind);
}

void CExtractorLauncher::Run() {
    bool showDialog = false;
    if (m_platform.OpenPackage(m_strSfxPathName)) {
        // A table that cannot be read leaves the package open; the second open below then
        // fails and the program ends quietly.
        if (m_platform.LoadToc()) {
            showDialog = (m_platform.SfxFlags() & kNoDialogFlag) == 0;
            Diagnostic(common::Format("SfxPathName=%s\nShowDlg=%d", m_strSfxPathName.c_str(), showDialog ? 1 : 0));
            m_platform.ClosePackage();
        }
    } else {
        Diagnostic(common::Format("Open SfxFile ERROR (No file list?)\nSfxPathName=%s\nShowDlg=%d",
                                  m_strSfxPathName.c_str(), showDialog ? 1 : 0));
    }

    uint32_t mask = kSilentExtractMask;
    if (m_bDiagnostic && m_platform.AskYesNo("Show UI?", "Welcome Dastro")) showDialog = true;
    if (showDialog) {
        mask = kDialogExtractMask;
        if (!m_platform.RunDialog()) return;
    }

    if (!m_platform.OpenPackage(m_strSfxPathName)) return;
    if (!SelectDestination(-1)) {
        Diagnostic("Select Destination directory error", MsgKind::Error);
        return;
    }
    int count = m_platform.ExtractAll(mask);
    Diagnostic(common::Format("Extract file count: %d\nDestination: %s\nLastError=%s", count,
                              m_strExtractDest.c_str(), m_platform.LastError().c_str()));
    m_platform.ClosePackage();
    m_platform.FreeEntries();
    // The command runs even after a failed extraction; its own failure ends the program too.
    (void)ExecuteCommand();
}

BOOL CExtractorLauncher::SelectDestination(int option) {
    option = ResolveDestinationOption(option, m_platform.SfxFlags());
    switch (ClassifyDestination(option)) {
    case DestinationKind::Browse: {
        std::string chosen;
        if (m_platform.BrowseForFolder("Browse a folder to extract files", chosen) != kBrowseChosen) return FALSE;
        m_strExtractDest = chosen;
        (void)m_platform.SetCurrentDir(m_strExtractDest);
        Diagnostic(common::Format("Extract to Browsed dir: %s", m_strExtractDest.c_str()));
        break;
    }
    case DestinationKind::TempDirectory: {
        std::string temp;
        if (!m_platform.GetTempDirectory(temp)) return FALSE;
        m_strExtractDest = TempDestination(temp, m_strBaseName);
        Diagnostic(common::Format("Extract to TEMP dir: %s", m_strExtractDest.c_str()));
        break;
    }
    case DestinationKind::CurrentDirectory: {
        std::string current;
        if (!m_platform.GetCurrentDir(current)) return FALSE;
        m_strExtractDest = current;
        Diagnostic(common::Format("Extract to Current dir: %s", m_strExtractDest.c_str()));
        break;
    }
    }

    std::string withSlash = WithTrailingBackslash(m_strExtractDest);
    unsigned long error = 0;
    if (!m_platform.MakeSurePathExists(withSlash, error)) {
        Diagnostic(common::Format("Destination path not available!\nError code: %lu\nPath: %s", error,
                                  withSlash.c_str()));
        return FALSE;
    }
    // Extraction writes relative to the current directory, so a destination that cannot be
    // entered must stop here rather than scatter the files wherever the process stands.
    if (!m_platform.SetCurrentDir(m_strExtractDest)) {
        Diagnostic(common::Format("Destination path not available!\nError code: %lu\nPath: %s",
                                  m_platform.LastSystemError(), withSlash.c_str()));
        return FALSE;
    }
    return TRUE;
}

BOOL CExtractorLauncher::ExecuteCommand() {
    m_platform.SetVariable("SfxPathName", m_strSfxPathName);
    m_platform.SetVariable("ExtractDest", m_strExtractDest);

    std::string command = m_platform.Win32Command();
    // An expansion that fails has no room in any buffer; running the unexpanded text instead
    // would start something other than what the package asks for.
    if (!ExpandEnvironment(command, m_platform.Expander())) {
        Diagnostic("Command line cannot be expanded: longer than 32767 characters", MsgKind::Error);
        return FALSE;
    }
    if (command.empty()) return TRUE;

    char buffer[kCommandBufferSize];
    std::string reason;
    if (!CopyCommandLine(command, buffer, reason)) {
        Diagnostic(reason, MsgKind::Error);
        return FALSE;
    }

    std::string workingDir = CommandWorkingDirectory(m_strExtractDest);
    // Only the dialog can get here before anything was extracted; the command would then run
    // from wherever the process stands instead of from the package's files.
    if (workingDir.empty()) {
        Diagnostic("No destination directory: extract the package first", MsgKind::Error);
        return FALSE;
    }
    (void)m_platform.SetCurrentDir(workingDir);

    uint32_t exitCode = 0;
    unsigned long error = 0;
    if (!m_platform.StartAndWait(buffer, workingDir, exitCode, error)) {
        Diagnostic(StartFailureText(error, command, workingDir), MsgKind::Error);
        return FALSE;
    }
    m_nExitCode = exitCode;
    return TRUE;
}

}  // namespace sfx
