#include "updater/tools/redir_msg_edit_win32.h"

void CExpandEditBox::Attach(HWND hwnd) {
    fw::CEdit::Attach(hwnd);
    if (hwnd) ::SendMessageA(hwnd, EM_LIMITTEXT, 0xFFFFFFFF, 0);
}

void CExpandEditBox::GetSel(int& start, int& end) const {
    DWORD first = 0, last = 0;
    ::SendMessageA(GetSafeHwnd(), EM_GETSEL, reinterpret_cast<WPARAM>(&first), reinterpret_cast<LPARAM>(&last));
    start = static_cast<int>(first);
    end = static_cast<int>(last);
}

CRedirMsgEdit::CRedirMsgEdit(CExpandEditBox* edit, ToolOutputFlags flags)
    : CRedirector(flags.trace), m_interpreter(edit, flags) {}

CRedirMsgEdit::~CRedirMsgEdit() { CRedirector::Stop(); }

bool CRedirMsgEdit::Start(const std::string& program, const std::string& commandLine, int updateType,
                          uint32_t& lastError) {
    if (CRedirector::Start(program.c_str(), commandLine.c_str(), updateType)) return true;
    lastError = ::GetLastError();  // Start hands back the error that made it fail
    return false;
}

void CRedirMsgEdit::Wait(uint32_t limitMs) {
    DWORD waited = WaitForRunOrMessage(limitMs);
    // The wait itself failed: pass the time anyway, or the caller's loop would spin.
    if (waited == WAIT_FAILED) ::Sleep(limitMs);
}

void CRedirMsgEdit::Stop() {
    EndRunningChild(m_interpreter.m_bCompleted ? 0 : STILL_ACTIVE);
    CRedirector::Stop();
}

ToolEnd CRedirMsgEdit::LastEnd() const {
    ToolEnd end;
    DWORD code = 0;
    end.exitCodeKnown = GetChildExitCode(code) != FALSE;
    end.exitCode = code;
    end.bytesPrinted = OutputBytes();
    return end;
}

void CRedirMsgEdit::RecordToolFailure(const std::string& text, int updateType) {
    // The run has stopped, so its reader no longer writes the interpretation state.
    m_interpreter.OnToolError(text.c_str(), updateType);
}
