// Brevane's entry point: narrows the DLL search before anything can load a library, then hands
// the command-line tail to the one application object.
#include <windows.h>

#include "framework/system_library_win32.h"
#include "updater/app/brevane_app_win32.h"

namespace {

// The program-wide log object creates its folder while static objects are built, before
// WinMain: the search is narrowed ahead of every default-priority constructor.
__attribute__((constructor(101))) void NarrowDllSearchFirst() { fw::RestrictDllSearchToSystem(); }

CBrevaneApp theApp;

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR commandLineTail, int) {
    return theApp.Run(instance, commandLineTail);
}
