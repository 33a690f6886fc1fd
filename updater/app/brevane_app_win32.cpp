#include "updater/app/brevane_app_win32.h"

#include "updater/app/cmd_line_platform_win32.h"
#include "updater/app/option_settings.h"
#include "updater/app/version_info.h"
#include "updater/tools/log_file.h"

CBrevaneApp::CBrevaneApp() { m_strAppName = "Update BIOS"; }

BOOL CBrevaneApp::InitInstance() {
    m_strAppName = "Update BIOS";
    ParseCommandLine(m_strCmdLine.c_str(), theOptions, theLog, Win32CommandLinePlatform(), BREVANE_VERSION_TEXT);
    // Start-up ends here for now: no check runs yet, so the result code stays at its initial value.
    return FALSE;
}

int CBrevaneApp::ExitInstance() {
    theOptions.ReleaseZeraIDList();
    return m_nResultCode;
}
