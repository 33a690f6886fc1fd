#pragma once
// CRedirector: runs one outside console tool at a time as a hidden child in a new console, with
// its standard output and standard error joined in one pipe and its standard input on another.
// A reader thread drains the output in chunks of at most 1023 bytes while the child lives and
// hands each chunk to OnOutputChunk; the GUI thread waits, writes input, and stops.
//
// Threads: Start, SetPollInterval, ChildHasEnded, ReaderHasEnded, WaitForRunOrMessage and
// WriteInput belong to the GUI thread; the hooks run on the reader thread, which calls Stop
// itself when the run ends. The reader works on handles of its own (the pipe, the child, its
// stop event), so closing the members never pulls them from under it. The members are guarded
// by one lock that is never held while a hook runs, so a hook may send messages to the GUI
// thread. Stop on another thread than the reader waits for the reader to end while serving the
// messages the reader sends, so no hook runs after it has returned; a reader that still does
// not end is left behind (detached), never killed in the middle of a write.

#include <windows.h>

#include <atomic>
#include <mutex>

#include "common/portable_types.h"
#include "framework/unique_handle_win32.h"

class CRedirector {
public:
    // `trace`: write the developer diagnostics of each run to the debug output.
    explicit CRedirector(bool trace = false) : m_bTrace(trace) {}
    virtual ~CRedirector();
    CRedirector(const CRedirector&) = delete;
    CRedirector& operator=(const CRedirector&) = delete;

    // Ends any earlier run, then starts the program file `program` (a full path: it is handed
    // to the system as the application name, so nothing is searched) with `commandLine` for
    // the given UpdateType. FALSE: the thread's last error says why, and OnToolError has
    // received "Redirect console error: <hex>\r\n".
    [[nodiscard]] BOOL Start(const char* program, const char* commandLine, int updateType);
    // Ends the current run: stops the reader thread and closes every handle. Never ends the
    // child; derived classes do that first where wanted. A reader that does not end within
    // kReaderEndTimeoutMs is detached: ReaderDetached answers TRUE until the next Start.
    virtual void Stop();
    static constexpr DWORD kReaderEndTimeoutMs = 5000;

    // How long the reader waits for the child's end between two drains. Never less than
    // kMinPollIntervalMs: a reader that polls without waiting takes the processor from the
    // tool it reads, which runs on the same one.
    void SetPollInterval(int milliseconds);
    static constexpr DWORD kMinPollIntervalMs = 10;
    // TRUE when there is no child, its exit code cannot be read, or it is not STILL_ACTIVE.
    BOOL ChildHasEnded();
    // TRUE when there is no reader or it has ended, that is the run's output has been taken.
    BOOL ReaderHasEnded();
    // Blocks the calling thread until what the run waits for next has happened (while the child
    // runs: its end; after it: the reader's end), a message is waiting in the thread's queue
    // (also one already seen but not yet taken), or `timeoutMs` passes. Dispatches nothing.
    // Answers as MsgWaitForMultipleObjectsEx does: WAIT_OBJECT_0 the awaited end (or there is
    // nothing to wait for), WAIT_OBJECT_0 + 1 a message, WAIT_TIMEOUT, or WAIT_FAILED.
    DWORD WaitForRunOrMessage(DWORD timeoutMs);
    // Writes printf-formatted text to the child's standard input. FALSE without a run.
    BOOL WriteInput(const char* format, ...) BREVANE_PRINTF(2, 3);

    // How the current or last run's child ended: TRUE with its exit code once the run has been
    // stopped after the child ended; FALSE while it runs, before any run, or when the code
    // could not be read.
    BOOL GetChildExitCode(DWORD& code) const;
    // Bytes read from the child's output since the run started.
    ULONGLONG OutputBytes() const { return m_ullOutputBytes.load(); }
    // TRUE when the last Stop had to leave its reader behind (until the next Start).
    BOOL ReaderDetached() const { return m_bReaderDetached.load(); }
    // TRUE once any Stop has left a reader behind: that reader may still call the hooks, so
    // this object must then live as long as the process.
    BOOL AnyReaderDetached() const { return m_bAnyReaderDetached.load(); }

protected:
    // GUI thread, from Start: a new run is about to start (the earlier one has been stopped).
    virtual void OnRunStarting() {}
    // Reader thread: one zero-terminated chunk of output (at most 1023 bytes before the zero).
    virtual void OnOutputChunk(const char* chunk) { (void)chunk; }
    // GUI thread, from Start: a run could not be started.
    virtual void OnToolError(const char* text, int updateType) {
        (void)text;
        (void)updateType;
    }

    // Ends the child with `exitCode` if it is still running; TRUE when it was ended. Waits a
    // short while for the end to take effect, so that the run's exit code is final.
    BOOL EndRunningChild(UINT exitCode);
    bool Tracing() const { return m_bTrace; }

    fw::UniqueHandle m_hReaderThread;  // kept after the reader ends by itself, until the next Stop
    fw::UniqueHandle m_hStopEvent;
    DWORD m_dwReaderThreadId = 0;
    std::atomic<DWORD> m_dwPollInterval{100};
    int m_nUpdateType = 0;
    fw::UniqueHandle m_hInputWrite;
    fw::UniqueHandle m_hOutputRead;
    fw::UniqueHandle m_hChild;
    std::atomic<ULONGLONG> m_ullOutputBytes{0};
    std::atomic<LONG> m_bExitCodeKnown{0};
    std::atomic<DWORD> m_dwExitCode{0};

private:
    struct ReaderHandles;
    static unsigned __stdcall ReaderThreadProc(void* param);
    unsigned ReaderMain(ReaderHandles& own);
    // Drains the output pipe: 1 pipe empty for now (or a stop was asked), 0 the child closed
    // its output, -1 read error.
    int ReadAvailable(HANDLE pipe, HANDLE stopEvent);
    BOOL CreateChild(const char* program, const char* commandLine, HANDLE output, HANDLE input, HANDLE error, fw::UniqueHandle& child);
    BOOL FailStart();

    const bool m_bTrace;
    std::atomic<BOOL> m_bReaderDetached{FALSE};
    std::atomic<BOOL> m_bAnyReaderDetached{FALSE};
    std::mutex m_lock;  // guards the handles and the thread id
};
