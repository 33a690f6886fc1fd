#pragma once
// Application object: a start-up step, an optional message loop, and an exit step that
// answers the process exit code. A program defines one instance and hands it to RunApp from
// its WinMain.

#include <windows.h>
#include <string>

namespace fw {

class CWinApp {
public:
    CWinApp();
    virtual ~CWinApp();
    CWinApp(const CWinApp&) = delete;
    CWinApp& operator=(const CWinApp&) = delete;

    // Start-up. TRUE runs the message loop until WM_QUIT; FALSE goes straight to ExitInstance.
    virtual BOOL InitInstance() { return TRUE; }
    // Exit. The answer becomes the process exit code.
    virtual int ExitInstance() { return 0; }

    // Runs InitInstance, the loop when asked for, and ExitInstance; answers the exit code.
    int Run(HINSTANCE instance, const char* commandLineTail);

    HINSTANCE m_hInstance = nullptr;
    std::string m_strCmdLine;             // the command line without the program name, as received
    std::string m_strAppName;             // caption of message boxes that have none of their own
    HWND m_hMainWnd = nullptr;            // the main window while one exists
};

// The one application object of the process, or null before it is constructed.
CWinApp* AfxGetApp();

// Message box owned by the main window (if any), captioned with the application name.
int AfxMessageBox(const char* text, UINT type);

}  // namespace fw
