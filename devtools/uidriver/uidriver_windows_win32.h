#pragma once
// Finding windows and reading controls of other processes. Every cross-process message is sent
// with a time bound, so that a hung target makes the driver fail instead of hanging with it.

#include <windows.h>

#include <string>
#include <vector>

// What a top-level window must match. Empty texts and zero numbers match anything.
struct WindowQuery {
    HWND hwnd = nullptr;        // a window found before: matches only while it exists
    std::string title;          // exact caption
    std::string titleContains;  // part of the caption
    std::string className;      // exact class, "#32770" for dialogs and message boxes
    DWORD processId = 0;
    HWND owner = nullptr;        // owned by this window (a dialog's message box)
    HWND exclude = nullptr;      // never this window
    bool visibleOnly = true;
    bool messageBoxOnly = false; // only message boxes (see IsMessageBox)
    bool noMessageBox = false;   // never a message box
};

// A message box: a text static with id 0xFFFF and only the standard answer buttons (IDOK to
// IDCONTINUE), which tells it apart from a dialog with the same caption.
bool IsMessageBox(HWND hwnd);

std::vector<HWND> FindTopLevelWindows(const WindowQuery& query);

// Polls until a window matches or `timeoutMs` passes; null on timeout. When several match, the
// most recent (first in Z order) is answered.
HWND WaitForWindow(const WindowQuery& query, DWORD timeoutMs);
// Polls until no window matches; false on timeout.
bool WaitForNoWindow(const WindowQuery& query, DWORD timeoutMs);

// The current text (WM_GETTEXT, so an edit control answers its content). False when the
// window does not answer within the bound.
bool ReadWindowText(HWND hwnd, std::string& text);
std::string ReadClassName(HWND hwnd);

// The direct child controls of `parent` in Z order (the tab order of a dialog).
std::vector<HWND> ListChildren(HWND parent);
// The child button whose text, without '&' markers and blanks around it, equals `text`
// (case-insensitive); null when there is none.
HWND FindButtonByText(HWND parent, const std::string& text);
