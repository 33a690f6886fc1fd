#pragma once
// The exit notification: the launcher waiting for Brevane learns its result from a registered
// message broadcast to every top-level window.

// Posts "SfxKorvaleMsg" to HWND_BROADCAST with wParam 1 and lParam `exitCode` (sign-extended),
// then sleeps 100 ms so the broadcast can be delivered before the process ends.
void BroadcastExitCode(int exitCode);
