#pragma once
// The dialog's redirector: CRedirMsgEdit plus a wait for the reader thread's own end once the
// child has ended, so that the update sequence judges a tool by all of its output. Without it,
// a tool that prints its error line and exits at once could be stopped before the reader took
// that line, and a failed flash would pass as a successful one.

#include "updater/tools/redir_msg_edit_win32.h"

class CBrevaneRedirector : public CRedirMsgEdit {
public:
    using CRedirMsgEdit::CRedirMsgEdit;

    // After the child has ended: serves the thread's messages (the reader sends the output view
    // messages) until the reader has taken the last output and ended, at most `timeoutMs`.
    void WaitForReaderEnd(DWORD timeoutMs);
};
