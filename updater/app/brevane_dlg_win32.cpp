#include "updater/app/brevane_dlg_win32.h"

#include "framework/app_win32.h"
#include "framework/narrow_path_win32.h"
#include "resources/brevane_resource.h"
#include "updater/app/option_settings.h"
#include "updater/app/update_rules.h"
#include "updater/platform/platform_os_win32.h"
#include "updater/platform/platform_services.h"
#include "updater/platform/secure_flash.h"
#include "updater/platform/version_rules.h"
#include "updater/tools/log_file.h"

namespace {

constexpr UINT_PTR kSpinnerTimer = 5;
constexpr UINT kSpinnerPeriod = 300;
constexpr COLORREF kPureRed = 255;
constexpr COLORREF kBannerBackground = 128;  // red 128, green 0, blue 0
constexpr COLORREF kBannerText = 0x00FFFF;   // yellow

// Process-wide, as the commands may arrive from any sender at any time.
int g_spinnerIndex = 0;
int g_eraseProgress = 0;

}  // namespace

CBrevaneDlg::CBrevaneDlg()
    : fw::CDialog(IDD_BREVANE_DIALOG),
      m_bannerBrush(::CreateSolidBrush(kBannerBackground)) {
    m_hIcon = ::LoadIconA(::GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDR_MAINFRAME));
}

CBrevaneDlg::~CBrevaneDlg() = default;

BOOL CBrevaneDlg::OnInitDialog() {
    if (fw::CWinApp* app = fw::AfxGetApp()) app->m_hMainWnd = m_hWnd;

    ::SetDlgItemTextA(m_hWnd, IDC_CURRENT_VERSION, m_versions.currentBios.c_str());
    ::SetDlgItemTextA(m_hWnd, IDC_NEW_VERSION, m_versions.newBios.c_str());
    m_editOutput.Attach(GetDlgItem(IDC_OUTPUT));

    ::SendMessageA(m_hWnd, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(m_hIcon));
    ::SendMessageA(m_hWnd, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(m_hIcon));
    m_crStatusText = ::GetSysColor(COLOR_WINDOWTEXT);
    CreateFonts();

    m_pRedirector = std::make_unique<CRedirMsgEdit>(
        &m_editOutput, ToolOutputFlags{theOptions.MeUpdV1 != 0, theOptions.Ovrel != 0});
    ApplyStartDecision();
    return TRUE;
}

void CBrevaneDlg::CreateFonts() {
    HFONT dialogFont = reinterpret_cast<HFONT>(::SendMessageA(GetDlgItem(IDC_STATUS), WM_GETFONT, 0, 0));
    LOGFONTA status{};
    if (dialogFont && ::GetObjectA(dialogFont, sizeof status, &status) == sizeof status) {
        // ORed, not assigned: a weight of 400 becomes 956, as the dialog has always drawn it.
        status.lfWeight = StatusFontWeight(status.lfWeight);
        m_statusFont.reset(::CreateFontIndirectA(&status));
        ::SendMessageA(GetDlgItem(IDC_STATUS), WM_SETFONT, reinterpret_cast<WPARAM>(m_statusFont.get()), TRUE);
        ::SendMessageA(GetDlgItem(IDC_VERSION_BANNER), WM_SETFONT, reinterpret_cast<WPARAM>(m_statusFont.get()), TRUE);
    }

    HDC dc = ::GetDC(m_hWnd);
    int height = -::MulDiv(8, dc ? ::GetDeviceCaps(dc, LOGPIXELSY) : 96, 72);
    if (dc) ::ReleaseDC(m_hWnd, dc);
    m_outputFont.reset(::CreateFontA(height, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                                     OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                                     FF_MODERN | DEFAULT_PITCH, "Courier New"));
    ::SendMessageA(GetDlgItem(IDC_OUTPUT), WM_SETFONT, reinterpret_cast<WPARAM>(m_outputFont.get()), TRUE);
}

void CBrevaneDlg::ApplyStartDecision() {
    int compared = 0;
    if (StartComparesVersions(theOptions.ForceIt)) {
        std::string message;
        compared = CompareBiosVersion(m_versions.currentBios, m_versions.newBios, message);
        if (theOptions.Ovrel) CLogFile::DebugPrint("  * Return=%d, Msg=%s", compared, message.c_str());
    }
    switch (DecideStart(theOptions.NoPause, theOptions.ForceIt, compared)) {
    case StartDecision::kStartUpdate:
        ::PostMessageA(m_hWnd, WM_COMMAND, MAKEWPARAM(IDC_UPDATE, BN_CLICKED), 0);
        break;
    case StartDecision::kRefuseSilently:
        m_nResultCode = 2;
        m_bRebootRequested = false;
        ::PostMessageA(m_hWnd, WM_COMMAND, MAKEWPARAM(IDC_QUIT, BN_CLICKED), 0);
        break;
    case StartDecision::kShowBanner:
        ::ShowWindow(GetDlgItem(IDC_VERSION_BANNER), SW_SHOW);
        ::EnableWindow(GetDlgItem(IDC_UPDATE), FALSE);
        break;
    case StartDecision::kWaitForUser:
        break;
    }
}

BOOL CBrevaneDlg::OnCommand(WPARAM wParam, LPARAM lParam) {
    switch (LOWORD(wParam)) {
    case IDC_UPDATE: OnUpdate(); return TRUE;
    case IDC_QUIT: Leave(); return TRUE;
    case IDC_ENTER: OnAnswerChild(); return TRUE;
    case IDC_ERASE_PROGRESS: OnEraseProgress(); return TRUE;
    default: return fw::CDialog::OnCommand(wParam, lParam);
    }
}

void CBrevaneDlg::Leave() {
    // Every route ends here: the Quit button, and Cancel, into which the dialog manager turns
    // Escape, the close box, the system menu's Close and a posted WM_CLOSE (a multi-line edit
    // posts one on Escape once a key has gone through the dialog manager).
    if (m_bUpdating) return;
    EndDialog(2);
}

void CBrevaneDlg::OnUpdate() {
    // Commands are accepted from any sender, and the handler dispatches messages while a tool
    // runs: a second "Update" then must not start another tool over the running flash.
    if (!m_pRedirector || m_bUpdating) return;
    m_bUpdating = true;
    // The dialog manager shows a dialog only once its loop first finds the queue empty. An
    // update started by the command posted during initialisation (silent mode) runs before
    // that and keeps the loop busy to the end, so the whole flash, warning included, would run
    // with no window on screen. A person at a machine a deployment is flashing must see it.
    if (!::IsWindowVisible(m_hWnd)) {
        ::ShowWindow(m_hWnd, SW_SHOWNORMAL);
        ::UpdateWindow(m_hWnd);
    }
    CUpdateSequence sequence(*this, *m_pRedirector, theOptions, theLog, m_versions, m_nResultCode, m_bRebootRequested);
    sequence.AttachReport(&theRunReport);
    sequence.Run();
    m_bUpdating = false;
}

void CBrevaneDlg::OnAnswerChild() {
    if (m_pRedirector) m_pRedirector->WriteInput("%s", "Y\n\r");
    ::keybd_event(VK_RETURN, 0, 0, 0);
    ::keybd_event(VK_RETURN, 0, KEYEVENTF_KEYUP, 0);
}

void CBrevaneDlg::OnEraseProgress() {
    std::string line = EraseProgressLine(g_eraseProgress++);
    int lastLineStart = m_editOutput.LineIndex(m_editOutput.GetLineCount() - 1);
    m_editOutput.SetSel(lastLineStart, m_editOutput.GetWindowTextLength());
    m_editOutput.ReplaceSel(line.c_str());
}

void CBrevaneDlg::OnSpinnerTick() {
    ::SetWindowTextA(m_hWnd, SpinnerTitle(g_spinnerIndex).c_str());
    fw::CWinApp* app = fw::AfxGetApp();
    if (app && app->m_hMainWnd) ::PostMessageA(app->m_hMainWnd, WM_PAINT, 0, 0);
    g_spinnerIndex = NextSpinnerIndex(g_spinnerIndex);
}

INT_PTR CBrevaneDlg::OnControlColor(HDC dc, HWND control, bool& handled) {
    int id = ::GetDlgCtrlID(control);
    if (id == IDC_STATUS) {
        // The default colours and brush first, then only the text colour changes.
        INT_PTR brush = static_cast<INT_PTR>(::DefWindowProcA(m_hWnd, WM_CTLCOLORSTATIC,
                                                              reinterpret_cast<WPARAM>(dc),
                                                              reinterpret_cast<LPARAM>(control)));
        ::SetTextColor(dc, m_crStatusText);
        handled = true;
        return brush;
    }
    if (id == IDC_VERSION_BANNER) {
        ::SetBkMode(dc, TRANSPARENT);
        ::SetTextColor(dc, kBannerText);
        handled = true;
        return reinterpret_cast<INT_PTR>(m_bannerBrush.get());
    }
    return FALSE;
}

bool CBrevaneDlg::OnPaintMinimised() {
    if (!::IsIconic(m_hWnd)) return false;
    PaintIconCentred(m_hIcon);
    return true;
}

INT_PTR CBrevaneDlg::OnMessage(UINT message, WPARAM wParam, LPARAM lParam, bool& handled) {
    switch (message) {
    case WM_TIMER:
        if (wParam == kSpinnerTimer) OnSpinnerTick();
        return FALSE;  // then the default handling
    case WM_CTLCOLORSTATIC:
        return OnControlColor(reinterpret_cast<HDC>(wParam), reinterpret_cast<HWND>(lParam), handled);
    case WM_PAINT:
        handled = OnPaintMinimised();
        return handled ? TRUE : FALSE;
    case WM_QUERYDRAGICON:
        handled = true;
        return reinterpret_cast<INT_PTR>(m_hIcon);
    default:
        return fw::CDialog::OnMessage(message, wParam, lParam, handled);
    }
}

void CBrevaneDlg::OnDestroy() {
    if (m_pRedirector) {
        m_pRedirector->Stop();  // ends a child that still runs
        // A reader left behind may still call into the redirector: it must outlive it, and the
        // process ends right after the dialog.
        if (m_pRedirector->AnyReaderDetached())
            (void)m_pRedirector.release();
        else
            m_pRedirector.reset();
    }
    ::SendMessageA(GetDlgItem(IDC_OUTPUT), WM_SETFONT, 0, FALSE);
    m_outputFont.reset();
    if (fw::CWinApp* app = fw::AfxGetApp())
        if (app->m_hMainWnd == m_hWnd) app->m_hMainWnd = nullptr;
}

void CBrevaneDlg::PumpMessages(int maxMessages) {
    MSG msg;
    for (int i = 0; i < maxMessages && ::PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE); ++i) {
        if (msg.message == WM_QUIT) {
            // Keep the quit request for the modal loop that owns it.
            ::PostQuitMessage(static_cast<int>(msg.wParam));
            break;
        }
        ::TranslateMessage(&msg);
        ::DispatchMessageA(&msg);
    }
}

void CBrevaneDlg::DisableUpdateButton() { ::EnableWindow(GetDlgItem(IDC_UPDATE), FALSE); }

void CBrevaneDlg::StartSpinner() { ::SetTimer(m_hWnd, kSpinnerTimer, kSpinnerPeriod, nullptr); }

void CBrevaneDlg::StopSpinner() {
    ::KillTimer(m_hWnd, kSpinnerTimer);
    ::SetWindowTextA(m_hWnd, "Update BIOS");
}

void CBrevaneDlg::SetWarningStatus(const char* text) {
    m_crStatusText = kPureRed;
    ::SetDlgItemTextA(m_hWnd, IDC_STATUS, text);
    ::InvalidateRect(GetDlgItem(IDC_STATUS), nullptr, TRUE);
}

void CBrevaneDlg::DisableQuitAndClose() {
    ::EnableWindow(GetDlgItem(IDC_QUIT), FALSE);
    if (HMENU menu = ::GetSystemMenu(m_hWnd, FALSE)) ::EnableMenuItem(menu, SC_CLOSE, MF_BYCOMMAND | MF_GRAYED);
}

void CBrevaneDlg::EnableQuit() { ::EnableWindow(GetDlgItem(IDC_QUIT), TRUE); }

int CBrevaneDlg::ShowMessage(const std::string& text, const char* caption, unsigned style) {
    return ::MessageBoxA(m_hWnd, text.c_str(), caption, style);
}

bool CBrevaneDlg::Is64BitWindows() { return ::Is64BitWindows() != FALSE; }

std::string CBrevaneDlg::ToolFolder() {
    std::string path;
    if (!fw::GetModulePathNarrow(path)) return std::string();
    size_t slash = path.find_last_of('\\');
    return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

std::string CBrevaneDlg::SystemFolder() {
    std::string folder;
    return ActivePlatformOs().systemDirectory(folder) ? folder : std::string();
}

bool CBrevaneDlg::IsWinPE() { return ::IsWinPE() != FALSE; }

std::string CBrevaneDlg::SelectSecureFlashFile(const std::string& currentBiosVersion, const std::string& biosRomFile) {
    return ::SelectSecureFlashFile(currentBiosVersion, biosRomFile, theOptions.Ovrel);
}

BitLockerProbe CBrevaneDlg::SuspendBitLocker() { return ::SuspendBitLocker(); }

uint32_t CBrevaneDlg::QueryToolLimitMs() { return ::QueryToolLimitMs(); }
