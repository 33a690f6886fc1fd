#include "updater/app/brevane_redirector_win32.h"

void CBrevaneRedirector::WaitForReaderEnd(DWORD timeoutMs) {
    // Only this (GUI) thread replaces the reader's handle, in Start and Stop; the reader's own
    // Stop leaves it in place, so it stays valid here.
    HANDLE reader = m_hReaderThread.get();
    if (!reader || !ChildHasEnded()) return;
    const ULONGLONG deadline = ::GetTickCount64() + timeoutMs;
    for (;;) {
        ULONGLONG now = ::GetTickCount64();
        if (now >= deadline) return;
        DWORD waited = ::MsgWaitForMultipleObjects(1, &reader, FALSE, static_cast<DWORD>(deadline - now), QS_ALLINPUT);
        if (waited != WAIT_OBJECT_0 + 1) return;  // ended, timed out or failed
        MSG msg;
        while (::PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            if (msg.message == WM_QUIT) {
                ::PostQuitMessage(static_cast<int>(msg.wParam));
                return;
            }
            ::TranslateMessage(&msg);
            ::DispatchMessageA(&msg);
        }
    }
}
