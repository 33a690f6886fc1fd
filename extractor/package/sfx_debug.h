#pragma once
// The reader's diagnostic lines: printf-style texts for the debugger output channel, never shown
// to the user. Tests capture them through a sink.

#include "common/portable_types.h"

void SfxDebugPrint(const char* format, ...) BREVANE_PRINTF(1, 2);

// The sink receives each text instead of the debugger channel; null restores the channel.
using SfxDebugSink = void (*)(const char* text);
void SetSfxDebugSink(SfxDebugSink sink);
