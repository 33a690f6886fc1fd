#pragma once
// CBrevaneDlg: Brevane's main dialog. Shows the current and the new BIOS version, the status
// line, the tools' live output, and runs the update (CUpdateSequence) inside its "Update"
// command on the dialog's thread. The sequence's one wait per tool run dispatches the dialog's
// messages through PumpMessages meanwhile. It owns the redirector that runs the tools.

#include <windows.h>

#include <memory>
#include <string>

#include "framework/dialog_win32.h"
#include "framework/unique_handle_win32.h"
#include "updater/app/update_sequence.h"
#include "updater/tools/redir_msg_edit_win32.h"

class CBrevaneDlg : public fw::CDialog, private IUpdateHost {
public:
    CBrevaneDlg();
    ~CBrevaneDlg() override;

    DialogVersions m_versions;          // set by start-up before the dialog runs
    int m_nResultCode = 13;             // a dialog left without an update
    bool m_bRebootRequested = false;
    COLORREF m_crStatusText = 0;

protected:
    BOOL OnInitDialog() override;
    BOOL OnCommand(WPARAM wParam, LPARAM lParam) override;
    void OnOK() override {}  // Enter does nothing
    void OnCancel() override { Leave(); }
    void OnDestroy() override;
    INT_PTR OnMessage(UINT message, WPARAM wParam, LPARAM lParam, bool& handled) override;

private:
    // Quit, Escape, the close box and a close asked by another program: the dialog ends with
    // code 2, unless an update runs. Ended then, the window would vanish while the tool goes
    // on flashing; the update ends the dialog itself once it has its verdict.
    void Leave();
    void OnUpdate();
    void OnAnswerChild();
    void OnEraseProgress();
    void OnSpinnerTick();
    INT_PTR OnControlColor(HDC dc, HWND control, bool& handled);
    bool OnPaintMinimised();
    void CreateFonts();
    void ApplyStartDecision();

    // IUpdateHost
    void PumpMessages(int maxMessages) override;
    void Sleep(uint32_t milliseconds) override { ::Sleep(milliseconds); }
    void DisableUpdateButton() override;
    void StartSpinner() override;
    void StopSpinner() override;
    void SetWarningStatus(const char* text) override;
    void DisableQuitAndClose() override;
    void EnableQuit() override;
    void CloseDialog(int code) override { EndDialog(code); }
    int ShowMessage(const std::string& text, const char* caption, unsigned style) override;
    bool Is64BitWindows() override;
    std::string ToolFolder() override;
    std::string SystemFolder() override;
    bool IsWinPE() override;
    std::string SelectSecureFlashFile(const std::string& currentBiosVersion, const std::string& biosRomFile) override;
    BitLockerProbe SuspendBitLocker() override;
    uint64_t TickMs() override { return ::GetTickCount64(); }
    uint32_t QueryToolLimitMs() override;

    HICON m_hIcon = nullptr;                 // shared icon resource; not destroyed
    fw::UniqueGdiObject m_bannerBrush;       // dark red behind the refusal banner
    fw::UniqueGdiObject m_statusFont;        // for the dialog's lifetime
    fw::UniqueGdiObject m_outputFont;        // deleted when the window is destroyed
    CExpandEditBox m_editOutput;
    std::unique_ptr<CRedirMsgEdit> m_pRedirector;
    bool m_bUpdating = false;                // the update handler is running (its wait dispatches messages)
};
