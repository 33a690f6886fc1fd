#include "updater/app/startup_services_win32.h"

#include <windows.h>

#include "framework/app_win32.h"
#include "updater/app/brevane_dlg_win32.h"
#include "updater/app/option_settings.h"
#include "updater/app/report_file_win32.h"
#include "updater/platform/platform_services.h"
#include "updater/platform/system_info.h"
#include "updater/platform/validate_system.h"

bool CWin32StartupServices::SetSingleProcessor() {
    return ::SetSingleProcessor(theOptions.Ovrel, theOptions.NoPause) != FALSE;
}

bool CWin32StartupServices::FileExists(const std::string& path) { return ::FileExists(path.c_str(), nullptr) != FALSE; }

bool CWin32StartupServices::IsAdministratorUser() { return ::IsAdministratorUser() != FALSE; }

int CWin32StartupServices::GetSystemInfo(std::string& error) { return ::GetSystemInfo(error); }

SystemIdentity CWin32StartupServices::Identity() {
    SystemIdentity identity;
    identity.manufacturer = theSystemInfo.SystemManufacturer;
    identity.productName = theSystemInfo.SystemProductName;
    identity.biosVersion = theSystemInfo.SystemBiosVersion;
    identity.zeraId = theSystemInfo.SystemZeraID;
    return identity;
}

int CWin32StartupServices::ValidateSystem(std::string& error) {
    return ::ValidateSystem(theOptions.ZeraID, theOptions.Ovrel, error);
}

int CWin32StartupServices::ShowMessage(const std::string& text, unsigned style) {
    // No dialog exists yet: the box has no owner and carries the application's caption.
    return ::MessageBoxA(nullptr, text.c_str(), "Update BIOS", style);
}

DialogOutcome CWin32StartupServices::RunDialog(const DialogVersions& versions) {
    CBrevaneDlg dialog;
    dialog.m_versions = versions;
    // A dialog that cannot be created keeps its initial code 13.
    dialog.DoModal();
    if (fw::CWinApp* app = fw::AfxGetApp()) app->m_hMainWnd = nullptr;
    return DialogOutcome{dialog.m_nResultCode, dialog.m_bRebootRequested};
}

PowerStatus CWin32StartupServices::ReadPowerStatus() { return ::ReadPowerStatus(); }

bool CWin32StartupServices::IsWinPE() { return ::IsWinPE() != FALSE; }

// The exit step writes the report again afterwards, when the restart leaves it the time.
void CWin32StartupServices::BeforeRestart(int resultCode) { WriteRunReport(resultCode); }

void CWin32StartupServices::RebootWinPE() {
    std::string message;  // reported by the routine itself; start-up goes on regardless
    (void)::RebootWinPE(message);
}

void CWin32StartupServices::RebootWindows() {
    std::string message;
    (void)::RebootWindows(message);
}
