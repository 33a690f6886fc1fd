#include "updater/app/brevane_app_win32.h"

#include <windows.h>
#include <commctrl.h>

#include <ctime>

#include "updater/app/cmd_line_platform_win32.h"
#include "updater/app/exit_notification_win32.h"
#include "updater/app/option_settings.h"
#include "updater/app/report_file_win32.h"
#include "updater/app/run_report.h"
#include "updater/app/startup_sequence.h"
#include "updater/app/startup_services_win32.h"
#include "updater/app/version_info.h"
#include "updater/tools/log_file.h"

CBrevaneApp::CBrevaneApp() { m_strAppName = "Update BIOS"; }

BOOL CBrevaneApp::InitInstance() {
    theRunReport.started = std::time(nullptr);
    INITCOMMONCONTROLSEX controls{sizeof controls, 0xFF};
    ::InitCommonControlsEx(&controls);
    m_strAppName = "Update BIOS";
    ParseCommandLine(m_strCmdLine.c_str(), theOptions, theLog, Win32CommandLinePlatform(), BREVANE_VERSION_TEXT);

    CWin32StartupServices services;
    m_nResultCode = RunStartupSequence(services, theOptions, theLog, m_strCmdLine, &theRunReport);
    return FALSE;  // no message loop: straight to the exit step
}

int CBrevaneApp::ExitInstance() {
    theOptions.ReleaseZeraIDList();
    // Every path ends here, refusals included; the report changes no exit code.
    WriteRunReport(m_nResultCode);
    // The one place the result leaves the program, on every path.
    BroadcastExitCode(m_nResultCode);
    return m_nResultCode;
}
