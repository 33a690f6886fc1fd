#pragma once
// Thin wrapper over an EDIT control window: the selection and line operations the output
// views use. Does not own the window.

#include <windows.h>
#include <string>

namespace fw {

class CEdit {
public:
    CEdit() = default;
    explicit CEdit(HWND hwnd) : m_hWnd(hwnd) {}
    void Attach(HWND hwnd) { m_hWnd = hwnd; }
    HWND GetSafeHwnd() const { return m_hWnd; }

    void SetSel(int start, int end) const { ::SendMessageA(m_hWnd, EM_SETSEL, start, end); }
    void ReplaceSel(const char* text, BOOL canUndo = FALSE) const {
        ::SendMessageA(m_hWnd, EM_REPLACESEL, canUndo, reinterpret_cast<LPARAM>(text));
    }
    int LineIndex(int line = -1) const { return static_cast<int>(::SendMessageA(m_hWnd, EM_LINEINDEX, line, 0)); }
    int GetLineCount() const { return static_cast<int>(::SendMessageA(m_hWnd, EM_GETLINECOUNT, 0, 0)); }
    void ScrollCaret() const { ::SendMessageA(m_hWnd, EM_SCROLLCARET, 0, 0); }
    int GetWindowTextLength() const { return ::GetWindowTextLengthA(m_hWnd); }
    void SetWindowText(const char* text) const { ::SetWindowTextA(m_hWnd, text); }
    std::string GetWindowText() const {
        int length = ::GetWindowTextLengthA(m_hWnd);
        std::string text(static_cast<size_t>(length) + 1, '\0');
        int copied = ::GetWindowTextA(m_hWnd, &text[0], length + 1);
        text.resize(copied > 0 ? static_cast<size_t>(copied) : 0);
        return text;
    }

private:
    HWND m_hWnd = nullptr;
};

}  // namespace fw
