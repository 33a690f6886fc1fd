// Extractor's entry point: narrows the DLL search before anything can load a library, then
// hands the command-line tail to the one application object.
#include <windows.h>

#include "framework/system_library_win32.h"
#include "extractor/app/extractor_app_win32.h"

namespace {
CExtractorApp theApp;
}

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR commandLineTail, int) {
    fw::RestrictDllSearchToSystem();
    return theApp.Run(instance, commandLineTail);
}
