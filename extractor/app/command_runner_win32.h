#pragma once
// Starts the package's command and waits for it while keeping the thread's windows alive.

#include <windows.h>

#include <cstdint>

namespace sfx {

// The message the update utility posts to every top-level window when it ends: wParam 1,
// lParam its exit code.
constexpr char kLauncherMessageName[] = "SfxKorvaleMsg";

// Starts `program` (null: the command line's first token, which then must be a full path, so
// that nothing is searched) with `commandLine` in `workingDir` and waits, polling every 500 ms
// and pumping this thread's messages, until the child ends or the launcher message with
// wParam 1 arrives; `exitCode` is then the child's code or the message's lParam. FALSE when the
// start fails, with the system error in `error`.
BOOL StartAndWait(const char* program, char* commandLine, const char* workingDir, uint32_t& exitCode, DWORD& error);

}  // namespace sfx
