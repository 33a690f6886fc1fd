#include "updater/app/exit_notification_win32.h"

#include <windows.h>

void BroadcastExitCode(int exitCode) {
    UINT message = ::RegisterWindowMessageA("SfxKorvaleMsg");
    if (message != 0)
        ::PostMessageA(HWND_BROADCAST, message, 1, static_cast<LPARAM>(static_cast<LONG_PTR>(exitCode)));
    ::Sleep(100);
}
