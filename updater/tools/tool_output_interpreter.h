#pragma once
// Interpretation of what the outside tools print. Every chunk the redirector reads is examined
// according to the run's UpdateType: recognised texts raise result flags and set texts, and the
// output is rebuilt line by line into an output view, so that a progress line the tool rewrites
// with a bare carriage return is rewritten in place.
//
// Threads: the hooks run on the redirector's reader thread; the update sequences poll the flags
// on the GUI thread. The flags are atomics, only ever set here and cleared by the GUI thread
// between runs. The texts are written here and read after the run has stopped; GetMeVersion and
// GetErrorText may be called at any time.

#include <atomic>
#include <cstddef>
#include <mutex>
#include <string>

#include "updater/tools/output_view.h"

#include "dos/core/dz_toolout.h"

// The options that change how output is read and traced, given to the interpreter when it is
// made: /MeUpdV1 (the ME flash output is shown line by line instead of as dots) and /Ovrel
// (developer trace through CLogFile::DebugPrint).
struct ToolOutputFlags {
    bool meUpdV1 = false;
    bool trace = false;
};

// What the output means is decided by the rules in dos/core/dz_toolout, which the DOS program
// reads its tools' output with too; this class draws the output view and keeps the results.
class CToolOutputInterpreter {
public:
    CToolOutputInterpreter(IOutputView* view, ToolOutputFlags flags) : m_pView(view), m_flags(flags) {}
    virtual ~CToolOutputInterpreter() = default;
    CToolOutputInterpreter(const CToolOutputInterpreter&) = delete;
    CToolOutputInterpreter& operator=(const CToolOutputInterpreter&) = delete;

    // Examines one zero-terminated chunk (only up to its first zero byte) for the given run.
    // The error and completion texts are found also when a read boundary cuts them: the chunk
    // is searched together with the end of the run's earlier output.
    void DispatchChunk(const char* chunk, int updateType);
    // A new tool run starts: its texts are not joined with the end of the last run's output.
    void BeginRun() { m_carry[0] = '\0'; }

    // The hooks the dispatch selects. Tool text is data here: shown and stored literally.
    virtual void OnBiosOutput(const char* text);
    virtual void OnMeProgress(const char* text);
    virtual void OnMeOutput(const char* text);
    virtual void OnToolError(const char* text, int updateType);
    virtual void OnMeVersion(const char* version);
    virtual void OnMeComplete(const char* text);

    // A copy of the version found by the query: the text after "FW Version:" up to the line
    // feed, blanks removed (a carriage return before the line feed is kept, as the tool wrote it).
    std::string GetMeVersion() const;
    // A copy of the latest error text.
    std::string GetErrorText() const;
    // Empties the version and clears m_bMeVersionFound and m_bMeError.
    void ResetMeResults();

    // Display state; carries over from run to run.
    int m_nMeLineCount = 0;    // full-output mode: ME line feeds seen; progress mode: dots in the row
    std::string m_strMeLine;   // ME line being assembled
    std::string m_strBiosLine; // BIOS tool line being assembled, at most its last 2 * kMaxBiosLine bytes
    static constexpr size_t kMaxBiosLine = 4096;
    int m_nBiosLineCount = 0;  // BIOS tool line feeds seen over the object's life

    // Results read by the update sequences.
    std::atomic<int> m_bDone{0};
    std::atomic<int> m_bCompleted{0};
    std::atomic<int> m_bMeVersionFound{0};
    std::atomic<int> m_bMeError{0};
    std::atomic<int> m_bBiosError{0};
    std::string m_strErrorText;  // read it after the run has stopped, or through GetErrorText
    std::string m_strMeVersion;  // read it through GetMeVersion

protected:
    IOutputView* m_pView;

private:
    void SetErrorText(const std::string& text);
    void GoToEnd();
    void Append(const char* text);
    void NewRow();  // a line feed after the banner: the view goes on in a new row
    void SelectLastLine();
    void RewriteLastLine(const char* text);
    void ExtractVersion(const char* chunk, size_t markerAt);
    ToolOutputFlags m_flags;
    // The last bytes of the run's output before this chunk, one fewer than the longest text
    // the chunk tests look for, so that no text found across a boundary is found twice.
    char m_carry[DZ_TOOL_CARRY + 1] = "";

    mutable std::mutex m_textLock;  // guards m_strErrorText and m_strMeVersion
};
