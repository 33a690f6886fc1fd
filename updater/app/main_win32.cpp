// Brevane's entry point: hands the command-line tail to the one application object.
#include <windows.h>

#include "updater/app/brevane_app_win32.h"

namespace {
CBrevaneApp theApp;
}

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR commandLineTail, int) {
    return theApp.Run(instance, commandLineTail);
}
