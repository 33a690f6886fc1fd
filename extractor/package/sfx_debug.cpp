#include "extractor/package/sfx_debug.h"

#include <cstdarg>
#include <string>

#include "common/format.h"
#include "extractor/package/sfx_fs.h"

namespace {
SfxDebugSink g_sink = nullptr;  // Extractor is single-threaded
}

void SfxDebugPrint(const char* format, ...) {
    va_list args;
    va_start(args, format);
    std::string text = common::FormatV(format, args);
    va_end(args);
    if (g_sink)
        g_sink(text.c_str());
    else
        sfxfs::DebugOutput(text.c_str());
}

void SetSfxDebugSink(SfxDebugSink sink) { g_sink = sink; }
