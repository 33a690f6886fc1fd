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
        // fails and the program ends without a box, with the code of an unreadable package.
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

    // Also the end after a table that could not be read, whose package is still open.
    if (!m_platform.OpenPackage(m_strSfxPathName)) {
        m_nExitCode = kExitPackageUnreadable;
        return;
    }
    if (!SelectDestination(-1)) {
        Diagnostic("Select Destination directory error", MsgKind::Error);
        if (!m_bDestinationCancelled) m_nExitCode = kExitDestinationUnavailable;
        return;
    }
    int expected = m_platform.CountEntries(mask);
    int count = m_platform.ExtractAll(mask);
    Diagnostic(common::Format("Extract file count: %d\nDestination: %s\nLastError=%s", count,
                              m_strExtractDest.c_str(), m_platform.LastError().c_str()));
    m_platform.ClosePackage();
    m_platform.FreeEntries();
    // A file that was not written may be one that was already there, put by someone else: the
    // command would run it, elevated. Nothing starts after a failed extraction.
    if (count != expected) {
        m_nExitCode = kExitExtractionFailed;
        return;
    }
    if (!ExecuteCommand()) m_nExitCode = kExitCommandNotStarted;
}

BOOL CExtractorLauncher::SelectDestination(int option) {
    m_bDestinationCancelled = false;
    bool trusted = false;  // made by PrepareTrustedFolder, which also created it
    option = ResolveDestinationOption(option, m_platform.SfxFlags());
    switch (ClassifyDestination(option)) {
    case DestinationKind::Browse: {
        std::string chosen;
        int answer = m_platform.BrowseForFolder("Browse a folder to extract files", chosen);
        if (answer != kBrowseChosen) {
            m_bDestinationCancelled = answer == kBrowseCancelled;
            return FALSE;
        }
        m_strExtractDest = chosen;
        (void)m_platform.SetCurrentDir(m_strExtractDest);
        Diagnostic(common::Format("Extract to Browsed dir: %s", m_strExtractDest.c_str()));
        break;
    }
    case DestinationKind::TempDirectory: {
        std::string temp;
        if (!m_platform.GetTempDirectory(temp)) return FALSE;
        m_strExtractDest = TempDestination(temp, m_strBaseName);
        // Run elevated, the files go where the user who started it cannot change them before
        // they run: never into a folder found under the user's own temporary folder as it is.
        if (m_platform.IsElevated()) {
            unsigned long error = 0;
            std::string used;
            if (!m_platform.MakeSurePathExists(WithTrailingBackslash(temp), error) ||
                !PrepareTrustedFolder(m_strExtractDest, used, error)) {
                Diagnostic(common::Format("Destination path not available!\nError code: %lu\nPath: %s", error,
                                          WithTrailingBackslash(m_strExtractDest).c_str()));
                return FALSE;
            }
            m_strExtractDest = used;
            trusted = true;
        }
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
    if (!trusted && !m_platform.MakeSurePathExists(withSlash, error)) {
        Diagnostic(common::Format("Destination path not available!\nError code: %lu\nPath: %s", error,
                                  withSlash.c_str()));
        return FALSE;
    }
    // A link would send every write (and the times and attributes set after it) elsewhere.
    if (m_platform.InspectPath(m_strExtractDest) == PathState::ReparsePoint) {
        Diagnostic(common::Format("Destination path not available!\nError code: %lu\nPath: %s", kErrorReparsePoint,
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

BOOL CExtractorLauncher::PrepareTrustedFolder(const std::string& path, std::string& used, unsigned long& error) {
    error = 0;
    for (int sibling = 0; sibling <= kTrustedFolderSiblings; ++sibling) {
        std::string candidate = sibling == 0 ? path : path + "." + std::to_string(sibling);
        switch (m_platform.InspectPath(candidate)) {
        case PathState::Missing:
            // Someone may create it first: then it is taken, and the next name is tried.
            if (m_platform.CreateFolderWithAccess(candidate, kTrustedFolderSddl, error)) {
                used = candidate;
                return TRUE;
            }
            break;
        case PathState::Folder:
            // Emptied and given our access list, it is as good as new; anything less and it
            // is left alone for a fresh sibling.
            if (m_platform.ResetFolder(candidate, kTrustedFolderSddl, error)) {
                used = candidate;
                return TRUE;
            }
            break;
        case PathState::ReparsePoint:
            if (sibling == 0) {
                error = kErrorReparsePoint;
                return FALSE;
            }
            break;
        case PathState::Other:
            break;
        }
    }
    if (error == 0) error = kErrorFileNotFound;
    return FALSE;
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

    std::string program;
    unsigned long error = 0;
    if (!ResolveCommandProgram(command, m_strExtractDest, m_platform.SystemDirectories(),
                               [this](const std::string& path) { return m_platform.FileExists(path); }, program)) {
        error = kErrorFileNotFound;
        Diagnostic(StartFailureText(error, command, workingDir), MsgKind::Error);
        return FALSE;
    }
    uint32_t exitCode = 0;
    if (!m_platform.StartAndWait(program, buffer, workingDir, exitCode, error)) {
        Diagnostic(StartFailureText(error, command, workingDir), MsgKind::Error);
        return FALSE;
    }
    m_nExitCode = exitCode;
    return TRUE;
}

}  // namespace sfx
