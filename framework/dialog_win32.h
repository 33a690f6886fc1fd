#pragma once
// Modal dialog over DialogBoxParamA with virtual handlers. A derived class overrides the
// handlers it needs; OnMessage sees every message the fixed handlers do not take.

#include <windows.h>

namespace fw {

class CDialog {
public:
    CDialog(UINT templateId, HWND parent = nullptr);
    virtual ~CDialog();
    CDialog(const CDialog&) = delete;
    CDialog& operator=(const CDialog&) = delete;

    // Runs the dialog modally; answers the EndDialog code, or -1 when the dialog could not be
    // created (GetLastError tells why).
    INT_PTR DoModal(HINSTANCE instance = nullptr);
    void EndDialog(INT_PTR result);

    HWND GetSafeHwnd() const { return m_hWnd; }
    HWND GetDlgItem(int id) const { return ::GetDlgItem(m_hWnd, id); }

protected:
    // WM_INITDIALOG. TRUE lets the system set the focus.
    virtual BOOL OnInitDialog() { return TRUE; }
    // WM_COMMAND. Answer TRUE when handled. The default maps IDOK and IDCANCEL to OnOK and
    // OnCancel.
    virtual BOOL OnCommand(WPARAM wParam, LPARAM lParam);
    virtual void OnOK() { EndDialog(IDOK); }
    virtual void OnCancel() { EndDialog(IDCANCEL); }
    // Called after EndDialog's window is gone (WM_DESTROY), while m_hWnd is still valid.
    virtual void OnDestroy() {}
    // Any other message. Set `handled` and answer the dialog-procedure result to take it.
    virtual INT_PTR OnMessage(UINT message, WPARAM wParam, LPARAM lParam, bool& handled);

    // Paints `icon` centred in the client area, as a minimised dialog shows itself.
    void PaintIconCentred(HICON icon);

    HWND m_hWnd = nullptr;
    UINT m_nTemplateId;
    HWND m_hParent;

private:
    static INT_PTR CALLBACK DialogProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    INT_PTR Dispatch(UINT message, WPARAM wParam, LPARAM lParam);
};

}  // namespace fw
