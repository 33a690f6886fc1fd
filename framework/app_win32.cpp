#include "framework/app_win32.h"

namespace fw {

namespace {
CWinApp* g_app = nullptr;
}

CWinApp::CWinApp() { g_app = this; }

CWinApp::~CWinApp() {
    if (g_app == this) g_app = nullptr;
}

int CWinApp::Run(HINSTANCE instance, const char* commandLineTail) {
    m_hInstance = instance;
    m_strCmdLine = commandLineTail ? commandLineTail : "";
    if (InitInstance()) {
        MSG msg;
        while (::GetMessageA(&msg, nullptr, 0, 0) > 0) {
            ::TranslateMessage(&msg);
            ::DispatchMessageA(&msg);
        }
    }
    return ExitInstance();
}

CWinApp* AfxGetApp() { return g_app; }

int AfxMessageBox(const char* text, UINT type) {
    const char* caption = (g_app && !g_app->m_strAppName.empty()) ? g_app->m_strAppName.c_str() : nullptr;
    HWND owner = g_app ? g_app->m_hMainWnd : nullptr;
    return ::MessageBoxA(owner, text, caption, type);
}

}  // namespace fw
