// Feeds arbitrary bytes through the chunk dispatch of every UpdateType, in both ME display modes
// and with tracing on or off, into the in-memory output view, and checks that the view stays
// consistent. Input: byte 0 picks the UpdateType (any value, also unknown ones), byte 1 the
// modes, the rest is cut into chunks at every 0xFF byte (each chunk at most 1023 bytes, as the
// redirector delivers them). Zero bytes inside a chunk are kept, as a pipe may carry them.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "updater/tools/log_file.h"
#include "tests/support/output_view_model.h"
#include "updater/tools/tool_output_interpreter.h"

namespace {

void DiscardTrace(const char*) {}

void Check(bool condition) {
    if (!condition) std::abort();
}

void CheckView(const COutputViewModel& view) {
    int start = -1, end = -1;
    view.GetSel(start, end);
    Check(0 <= start && start <= end && end <= view.GetTextLength());
    int lastLine = view.LineIndex(view.GetLineCount() - 1);
    Check(0 <= lastLine && lastLine <= view.GetTextLength());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2) return 0;
    CLogFile::SetDebugSink(&DiscardTrace);
    const int updateType = static_cast<int8_t>(data[0]) % 6;  // 0..3 and unknown values, also negative
    COutputViewModel view;
    CToolOutputInterpreter interpreter(&view, ToolOutputFlags{(data[1] & 1) != 0, (data[1] & 2) != 0});
    if (data[1] & 4) interpreter.m_nMeLineCount = 68;  // start near the end of a row of dots

    std::string chunk;
    auto deliver = [&]() {
        interpreter.DispatchChunk(chunk.c_str(), updateType);
        CheckView(view);
        chunk.clear();
    };
    for (size_t i = 2; i < size; ++i) {
        if (data[i] == 0xFF || chunk.size() == 1023) {
            deliver();
            if (data[i] == 0xFF) continue;
        }
        chunk += static_cast<char>(data[i]);
    }
    deliver();

    for (const std::atomic<int>* flag : {&interpreter.m_bDone, &interpreter.m_bCompleted, &interpreter.m_bBiosError,
                                         &interpreter.m_bMeError, &interpreter.m_bMeVersionFound})
        Check(flag->load() == 0 || flag->load() == 1);
    Check(interpreter.m_nMeLineCount >= 0 && interpreter.m_nBiosLineCount >= 0);
    return 0;
}
