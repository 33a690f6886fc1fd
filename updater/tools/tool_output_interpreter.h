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

class CToolOutputInterpreter {
public:
    explicit CToolOutputInterpreter(IOutputView* view) : m_pView(view) {}
    virtual ~CToolOutputInterpreter() = default;
    CToolOutputInterpreter(const CToolOutputInterpreter&) = delete;
    CToolOutputInterpreter& operator=(const CToolOutputInterpreter&) = delete;

    // Examines one zero-terminated chunk (only up to its first zero byte) for the given run.
    // The error and completion texts are found also when a read boundary cuts them: the chunk
    // is searched together with the end of the run's earlier output.
    void DispatchChunk(const char* chunk, int updateType);
    // A new tool run starts: its texts are not joined with the end of the last run's output.
    void BeginRun() { m_strCarry.clear(); }

    // The hooks the dispatch selects. Tool text is data here: shown and stored literally.
    virtual void OnBiosOutput(const char* text);
    virtual void OnMeProgress(const char* text);
    virtual void OnMeOutput(const char* text);
    virtual void OnToolError(const char* text, int updateType);
    virtual void OnMeVersion(const char* version);
    virtual void OnMeComplete(const char* text);

    // A copy of the version found by the query (blanks and line feeds already removed).
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
    void SelectLastLine();
    void RewriteLastLine(const char* text);
    void ExtractVersion(const char* chunk, size_t markerAt);
    // Where `wanted` (any case) first occurs in `joined` (the `carried` bytes of the carry, then
    // the chunk) with at least one of its bytes in the chunk, or npos: a text wholly inside the
    // carry was seen with the chunk before.
    static size_t FindAcrossReads(const std::string& joined, size_t carried, const char* wanted);

    // The last bytes of the run's output before this chunk, one fewer than the longest text
    // the chunk tests look for, so that no text found across a boundary is found twice.
    std::string m_strCarry;

    mutable std::mutex m_textLock;  // guards m_strErrorText and m_strMeVersion
};

// Byte offset of the first occurrence of `needle` in `haystack` compared without regard to
// ASCII letter case, or std::string::npos.
size_t FindAnyCase(const std::string& haystack, const char* needle);
