#pragma once
// Tool output as the redirector hands it over: real-looking transcripts of each tool, already
// cut into chunks. Shared by the native interpretation tests and the Windows-side replay into a
// real EDIT control.

#include <ostream>
#include <string>
#include <vector>

namespace testsupport {

struct ToolTranscript {
    const char* name;
    int updateType;
    bool meUpdV1;  // full-output mode for the ME update
    std::vector<std::string> chunks;
};

// Test names show the transcript's name instead of its bytes.
inline void PrintTo(const ToolTranscript& transcript, std::ostream* out) { *out << transcript.name; }

// BIOS flash: banner, a finished line, a progress line rewritten by bare carriage returns, and
// the completion line.
std::vector<std::string> BiosSuccessChunks();
// The text the view must hold after BiosSuccessChunks.
extern const char* const kBiosSuccessView;

// Every transcript that the replay compares (ASCII only, so byte and character offsets agree).
std::vector<ToolTranscript> AllTranscripts();

// Cuts `text` into pieces of `size` bytes (the last may be shorter).
std::vector<std::string> SplitEvery(const std::string& text, size_t size);

}  // namespace testsupport
