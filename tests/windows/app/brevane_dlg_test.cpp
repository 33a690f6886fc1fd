// The main dialog opened for real under Wine: fonts, colours, the icon, the title spinner and
// the close codes, driven from a second thread while the dialog runs modally on the test's own.
#include "updater/app/brevane_dlg_win32.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "resources/brevane_resource.h"
#include "updater/app/option_settings.h"

namespace {

BOOL CALLBACK TakeBrevaneDialog(HWND hwnd, LPARAM param) {
    char cls[16] = {};
    ::GetClassNameA(hwnd, cls, sizeof cls);
    // Shown only once its controls exist and its initialisation has run.
    if (std::string(cls) != "#32770" || !::IsWindowVisible(hwnd) || !::GetDlgItem(hwnd, IDC_OUTPUT)) return TRUE;
    *reinterpret_cast<HWND*>(param) = hwnd;
    return FALSE;
}

HWND FindDialogOf(DWORD threadId) {
    HWND found = nullptr;
    ::EnumThreadWindows(threadId, &TakeBrevaneDialog, reinterpret_cast<LPARAM>(&found));
    return found;
}

std::string WindowText(HWND hwnd) {
    char text[256] = {};
    ::GetWindowTextA(hwnd, text, sizeof text);
    return text;
}

LOGFONTA FontOf(HWND control) {
    LOGFONTA font{};
    HFONT handle = reinterpret_cast<HFONT>(::SendMessageA(control, WM_GETFONT, 0, 0));
    EXPECT_NE(nullptr, handle);
    if (handle) ::GetObjectA(handle, sizeof font, &font);
    return font;
}

// Runs the dialog modally on this thread and `drive` on another once the dialog exists; the
// driver must close it. Answers the DoModal result; -2 when the dialog never appeared.
INT_PTR RunDriven(CBrevaneDlg& dialog, const std::function<void(HWND)>& drive) {
    DWORD self = ::GetCurrentThreadId();
    bool appeared = false;
    std::thread driver([&] {
        HWND hwnd = nullptr;
        for (int i = 0; i < 500 && !hwnd; ++i) {  // up to 10 s
            ::Sleep(20);
            hwnd = FindDialogOf(self);
        }
        if (!hwnd) return;
        appeared = true;
        drive(hwnd);
    });
    INT_PTR result = dialog.DoModal();
    driver.join();
    return appeared ? result : -2;
}

class BrevaneDlgTest : public testing::Test {
protected:
    void SetUp() override { saved = theOptions; }
    void TearDown() override { theOptions = saved; }
    COptionSettings saved;
};

TEST_F(BrevaneDlgTest, FontsColoursAndIcon) {
    theOptions.NoPause = false;
    theOptions.ForceIt = false;
    CBrevaneDlg dialog;
    dialog.m_versions.currentBios = "A05";
    dialog.m_versions.newBios = "A05";  // refused: the banner shows

    LOGFONTA status{}, banner{}, plain{}, output{};
    COLORREF statusText = 0, bannerText = 0, bannerBrush = 0;
    int pixelsPerInch = 0;
    bool haveIcon = false;
    INT_PTR closed = RunDriven(dialog, [&](HWND hwnd) {
        status = FontOf(::GetDlgItem(hwnd, IDC_STATUS));
        banner = FontOf(::GetDlgItem(hwnd, IDC_VERSION_BANNER));
        plain = FontOf(::GetDlgItem(hwnd, IDC_CURRENT_VERSION));
        output = FontOf(::GetDlgItem(hwnd, IDC_OUTPUT));
        HDC dc = ::GetDC(hwnd);
        pixelsPerInch = ::GetDeviceCaps(dc, LOGPIXELSY);
        ::SendMessageA(hwnd, WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc),
                       reinterpret_cast<LPARAM>(::GetDlgItem(hwnd, IDC_STATUS)));
        statusText = ::GetTextColor(dc);
        HBRUSH brush = reinterpret_cast<HBRUSH>(::SendMessageA(hwnd, WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc),
                                                               reinterpret_cast<LPARAM>(::GetDlgItem(hwnd, IDC_VERSION_BANNER))));
        bannerText = ::GetTextColor(dc);
        LOGBRUSH fill{};
        if (brush && ::GetObjectA(brush, sizeof fill, &fill)) bannerBrush = fill.lbColor;
        ::ReleaseDC(hwnd, dc);
        haveIcon = ::SendMessageA(hwnd, WM_QUERYDRAGICON, 0, 0) != 0;
        ::PostMessageA(hwnd, WM_COMMAND, IDCANCEL, 0);  // Escape
    });
    ASSERT_EQ(2, closed);
    EXPECT_EQ(13, dialog.m_nResultCode);
    EXPECT_FALSE(dialog.m_bRebootRequested);

    // Bold by ORing 700 into the template font's weight, for the status line and the banner.
    EXPECT_EQ(plain.lfWeight | 700, status.lfWeight);
    EXPECT_EQ(status.lfWeight, banner.lfWeight);
    EXPECT_STREQ(plain.lfFaceName, status.lfFaceName);
    EXPECT_STREQ("Courier New", output.lfFaceName);
    EXPECT_EQ(-::MulDiv(8, pixelsPerInch, 72), output.lfHeight);
    EXPECT_EQ(FW_NORMAL, output.lfWeight);
    EXPECT_EQ(FF_MODERN | DEFAULT_PITCH, output.lfPitchAndFamily);

    EXPECT_EQ(::GetSysColor(COLOR_WINDOWTEXT), statusText);
    EXPECT_EQ(0x00FFFFu, bannerText);
    EXPECT_EQ(128u, bannerBrush);
    EXPECT_TRUE(haveIcon);
}

TEST_F(BrevaneDlgTest, SpinnerFramesAndQuit) {
    theOptions.NoPause = false;
    theOptions.ForceIt = true;  // no comparison: "Update" stays enabled
    CBrevaneDlg dialog;
    std::vector<std::string> titles;
    bool updateEnabled = false, bannerVisible = true;
    INT_PTR closed = RunDriven(dialog, [&](HWND hwnd) {
        updateEnabled = ::IsWindowEnabled(::GetDlgItem(hwnd, IDC_UPDATE)) != FALSE;
        bannerVisible = ::IsWindowVisible(::GetDlgItem(hwnd, IDC_VERSION_BANNER)) != FALSE;
        for (int tick = 0; tick < 5; ++tick) {
            ::SendMessageA(hwnd, WM_TIMER, 5, 0);
            titles.push_back(WindowText(hwnd));
        }
        ::SendMessageA(hwnd, WM_TIMER, 7, 0);  // another timer leaves the title alone
        titles.push_back(WindowText(hwnd));
        ::PostMessageA(hwnd, WM_COMMAND, MAKEWPARAM(IDC_QUIT, BN_CLICKED), 0);
    });
    ASSERT_EQ(2, closed);
    EXPECT_TRUE(updateEnabled);
    EXPECT_FALSE(bannerVisible);
    EXPECT_EQ((std::vector<std::string>{"Update BIOS       |", "Update BIOS       /", "Update BIOS       -",
                                        "Update BIOS       \\", "Update BIOS       |", "Update BIOS       |"}),
              titles);
    EXPECT_EQ(13, dialog.m_nResultCode);
}

TEST_F(BrevaneDlgTest, SilentRefusalClosesByItselfWithCode2) {
    theOptions.NoPause = true;
    theOptions.ForceIt = false;
    CBrevaneDlg dialog;
    dialog.m_versions.currentBios = "A06";
    dialog.m_versions.newBios = "A05";  // older
    dialog.m_bRebootRequested = true;
    INT_PTR closed = dialog.DoModal();
    EXPECT_EQ(2, closed);
    EXPECT_EQ(2, dialog.m_nResultCode);
    EXPECT_FALSE(dialog.m_bRebootRequested);
}

}  // namespace
