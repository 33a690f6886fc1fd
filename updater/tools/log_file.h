#pragma once
// CLogFile: the program's plain-text log. One line per event, stamped with the local time and
// tagged with the step that wrote it. The file is opened, appended to and closed for every line.

#include <cstdarg>
#include <ctime>
#include <string>

#include "common/portable_types.h"

class CLogFile {
public:
    CLogFile(char period, const std::string& folder, const std::string& name);

    // Stores the folder with a trailing backslash and creates it; does not rebuild the path.
    BOOL SetFolder(const std::string& folder);
    // Stores the base name; does not rebuild the path.
    void SetName(const std::string& name);
    // Rebuilds `path` from period, folder and name. Always TRUE.
    BOOL BuildPath();

    // Appends "<time>, $<tag>, <message>\n" in text mode. TRUE when written or when logging is
    // off; FALSE when the file could not be opened or written.
    BOOL WriteLine(const char* tag, const char* format, ...) BREVANE_PRINTF(3, 4);
    BOOL WriteLineV(const char* tag, const char* format, va_list args);

    // Formats and sends text to the debugger output: no time stamp, no tag, no line end.
    static void DebugPrint(const char* format, ...) BREVANE_PRINTF(1, 2);

    // Tests observe the debug trace through a sink; it receives each text instead of the
    // debugger channel. Null restores the channel. The sink must be safe to call from any thread.
    using DebugSink = void (*)(const char* text);
    static void SetDebugSink(DebugSink sink);

    // The clock behind time stamps and dated names; tests replace it.
    using Clock = std::time_t (*)();
    void SetClock(Clock clock) { m_pfnClock = clock; }

    int enabled;
    char period;
    std::string folder;
    std::string name;
    std::string path;

private:
    Clock m_pfnClock;
};

// Text-mode bytes of `text`: every line feed stored as carriage return plus line feed.
std::string ToTextModeBytes(const std::string& text);

// Paths this long or longer are never opened (the classic MAX_PATH limit).
constexpr size_t kLogMaxPath = 260;

// The program-wide log: period 'S', folder ".\", name "Brevane", so "Brevane.log" in the
// current directory until the command line moves it.
extern CLogFile theLog;
