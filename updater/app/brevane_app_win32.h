#pragma once
// CBrevaneApp: the application object of Brevane. Start-up runs every check and the dialog and
// always answers FALSE; the exit step broadcasts the result code and answers it.

#include "framework/app_win32.h"

class CBrevaneApp : public fw::CWinApp {
public:
    CBrevaneApp();
    BOOL InitInstance() override;
    int ExitInstance() override;

    int m_nResultCode = 14;  // the exit code; 14 until a step decides otherwise
};
