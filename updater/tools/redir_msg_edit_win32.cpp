#include "updater/tools/redir_msg_edit_win32.h"

void CExpandEditBox::Attach(HWND hwnd) {
    fw::CEdit::Attach(hwnd);
    if (hwnd) ::SendMessageA(hwnd, EM_LIMITTEXT, 0xFFFFFFFF, 0);
}

CRedirMsgEdit::CRedirMsgEdit(CExpandEditBox* edit)
    : CToolOutputInterpreter(nullptr), m_pEdit(edit), m_view(edit) {
    if (edit) m_pView = &m_view;
}

CRedirMsgEdit::~CRedirMsgEdit() { CRedirector::Stop(); }

void CRedirMsgEdit::Stop() {
    EndRunningChild(m_bCompleted ? 0 : STILL_ACTIVE);
    CRedirector::Stop();
}
