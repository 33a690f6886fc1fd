#include "updater/tools/redirector_win32.h"

#include <process.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "common/format.h"
#include "updater/tools/log_file.h"

namespace {

constexpr DWORD kChunkBytes = 1023;
// TerminateProcess only starts the end; this long its caller waits for the process to be gone.
constexpr DWORD kTerminateSettleMs = 2000;

// Waits for `thread` to end, serving the messages sent to this thread meanwhile (the reader's
// hooks send to windows of this thread). Posted messages stay queued, so nothing re-enters the
// caller. Answers false when the thread did not end in time.
bool WaitServingSentMessages(HANDLE thread, DWORD timeoutMs) {
    DWORD started = ::GetTickCount();
    for (;;) {
        DWORD elapsed = ::GetTickCount() - started;
        if (elapsed >= timeoutMs) return ::WaitForSingleObject(thread, 0) == WAIT_OBJECT_0;
        DWORD result = ::MsgWaitForMultipleObjects(1, &thread, FALSE, timeoutMs - elapsed, QS_SENDMESSAGE);
        if (result == WAIT_OBJECT_0) return true;
        if (result == WAIT_OBJECT_0 + 1) {
            MSG msg;
            ::PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
            continue;
        }
        if (result == WAIT_FAILED) return ::WaitForSingleObject(thread, 0) == WAIT_OBJECT_0;
    }
}

// A process-thread attribute list holding one handle list; deleted with its owner. The
// handles must stay open until the process has been created.
class CInheritList {
public:
    CInheritList() = default;
    CInheritList(const CInheritList&) = delete;
    CInheritList& operator=(const CInheritList&) = delete;
    ~CInheritList() {
        if (m_bInitialised) ::DeleteProcThreadAttributeList(get());
    }

    bool Init(HANDLE* handles, size_t bytes) {
        SIZE_T size = 0;
        ::InitializeProcThreadAttributeList(nullptr, 1, 0, &size);  // asks for the size only
        m_buffer.resize(size);
        if (size == 0 || !::InitializeProcThreadAttributeList(get(), 1, 0, &size)) return false;
        m_bInitialised = true;
        return ::UpdateProcThreadAttribute(get(), 0, PROC_THREAD_ATTRIBUTE_HANDLE_LIST, handles, bytes, nullptr,
                                           nullptr) != FALSE;
    }
    LPPROC_THREAD_ATTRIBUTE_LIST get() { return reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(m_buffer.data()); }

private:
    std::vector<unsigned char> m_buffer;
    bool m_bInitialised = false;
};

// A duplicate of `source` for this process, not inheritable; null when it cannot be made.
fw::UniqueHandle Duplicate(HANDLE source, DWORD access, DWORD options) {
    fw::UniqueHandle copy;
    HANDLE self = ::GetCurrentProcess();
    if (source) (void)::DuplicateHandle(self, source, self, copy.put(), access, FALSE, options);
    return copy;
}

}  // namespace

// What the reader works on: handles of its own, so that neither Stop closing the members nor a
// later run reusing them ever changes what a reader (even one left behind) reads or waits on.
struct CRedirector::ReaderHandles {
    CRedirector* owner = nullptr;
    fw::UniqueHandle child;
    fw::UniqueHandle stopEvent;
    fw::UniqueHandle pipe;
};

CRedirector::~CRedirector() { CRedirector::Stop(); }

BOOL CRedirector::Start(const char* program, const char* commandLine, int updateType) {
    Stop();
    m_nUpdateType = updateType;
    if (Tracing()) CLogFile::DebugPrint("Open UpdateType: %d", updateType);
    m_bReaderDetached = FALSE;
    m_ullOutputBytes = 0;
    m_bExitCodeKnown = 0;
    m_dwExitCode = 0;
    OnRunStarting();

    SECURITY_ATTRIBUTES inherit{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    HANDLE self = ::GetCurrentProcess();
    fw::UniqueHandle outputRead, outputWrite, errorWrite, inputRead, inputWrite;
    fw::UniqueHandle parentOutputRead, parentInputWrite, stopEvent, child;

    // Standard error is a second handle on the output pipe, so both streams arrive in order in
    // one pipe. The parent's ends are duplicated as not inheritable, or the child would hold
    // them open and the pipe would never report its end.
    if (!::CreatePipe(outputRead.put(), outputWrite.put(), &inherit, 0) ||
        !::DuplicateHandle(self, outputWrite.get(), self, errorWrite.put(), 0, TRUE, DUPLICATE_SAME_ACCESS) ||
        !::CreatePipe(inputRead.put(), inputWrite.put(), &inherit, 0) ||
        !::DuplicateHandle(self, outputRead.get(), self, parentOutputRead.put(), 0, FALSE, DUPLICATE_SAME_ACCESS) ||
        !::DuplicateHandle(self, inputWrite.get(), self, parentInputWrite.put(), 0, FALSE, DUPLICATE_SAME_ACCESS))
        return FailStart();
    outputRead.reset();
    inputWrite.reset();

    // Created before the child, so that a failure here leaves no child without a reader.
    stopEvent.reset(::CreateEventA(nullptr, TRUE, FALSE, nullptr));
    if (!stopEvent) return FailStart();

    if (!CreateChild(program, commandLine, outputWrite.get(), inputRead.get(), errorWrite.get(), child)) return FailStart();
    outputWrite.reset();
    inputRead.reset();
    errorWrite.reset();

    auto own = std::make_unique<ReaderHandles>();
    own->owner = this;
    own->child = Duplicate(child.get(), SYNCHRONIZE, 0);
    own->stopEvent = Duplicate(stopEvent.get(), 0, DUPLICATE_SAME_ACCESS);
    own->pipe = Duplicate(parentOutputRead.get(), 0, DUPLICATE_SAME_ACCESS);
    const bool ownComplete = own->child && own->stopEvent && own->pipe;
    {
        std::lock_guard<std::mutex> lock(m_lock);
        m_hChild = std::move(child);
        m_hStopEvent = std::move(stopEvent);
        m_hOutputRead = std::move(parentOutputRead);
        m_hInputWrite = std::move(parentInputWrite);
    }

    // Suspended until its handle and id are stored, which the reader's own Stop relies on.
    unsigned threadId = 0;
    HANDLE thread = ownComplete ? reinterpret_cast<HANDLE>(::_beginthreadex(nullptr, 0, &ReaderThreadProc, own.get(),
                                                                            CREATE_SUSPENDED, &threadId))
                                : nullptr;
    if (!thread) {
        // A child nobody reads cannot be watched: end it, keeping the error that stopped us.
        DWORD error = ::GetLastError();
        EndRunningChild(STILL_ACTIVE);
        ::SetLastError(error);
        return FailStart();
    }
    {
        std::lock_guard<std::mutex> lock(m_lock);
        m_hReaderThread.reset(thread);
        m_dwReaderThreadId = threadId;
    }
    own.release();  // the reader owns its handles from here on
    ::ResumeThread(thread);
    return TRUE;
}

BOOL CRedirector::FailStart() {
    DWORD error = ::GetLastError();
    char text[48];
    std::snprintf(text, sizeof text, "Redirect console error: %x\r\n", static_cast<unsigned>(error));
    if (Tracing()) CLogFile::DebugPrint("Redirect console error: 0x%X", static_cast<unsigned>(error));
    OnToolError(text, m_nUpdateType);
    Stop();
    ::SetLastError(error);
    return FALSE;
}

BOOL CRedirector::CreateChild(const char* program, const char* commandLine, HANDLE output, HANDLE input,
                              HANDLE error, fw::UniqueHandle& child) {
    // Without a program file the system would search for the command line's first word.
    if (!program || !*program || !commandLine) {
        ::SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (Tracing()) CLogFile::DebugPrint("---> CreateProcess : %s <---", commandLine);

    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES | STARTF_USESHOWWINDOW;
    startup.hStdOutput = output;
    startup.hStdInput = input;
    startup.hStdError = error;
    startup.wShowWindow = SW_HIDE;

    // The child runs as administrator: it inherits exactly the three pipe ends, whatever else
    // this process has made inheritable, not every inheritable handle it happens to hold.
    HANDLE inherited[] = {output, input, error};
    CInheritList handleList;
    if (!handleList.Init(inherited, sizeof inherited)) return FALSE;
    STARTUPINFOEXA extended{};
    extended.StartupInfo = startup;
    extended.StartupInfo.cb = sizeof extended;
    extended.lpAttributeList = handleList.get();

    // CreateProcessA may write into the command line, so it gets a copy.
    std::vector<char> writable(commandLine, commandLine + std::strlen(commandLine) + 1);
    PROCESS_INFORMATION process{};
    if (!::CreateProcessA(program, writable.data(), nullptr, nullptr, TRUE,
                          CREATE_NEW_CONSOLE | NORMAL_PRIORITY_CLASS | EXTENDED_STARTUPINFO_PRESENT, nullptr, nullptr,
                          &extended.StartupInfo, &process))
        return FALSE;
    fw::UniqueHandle primaryThread(process.hThread);
    child.reset(process.hProcess);
    return TRUE;
}

unsigned __stdcall CRedirector::ReaderThreadProc(void* param) {
    std::unique_ptr<ReaderHandles> own(static_cast<ReaderHandles*>(param));
    return own->owner->ReaderMain(*own);
}

unsigned CRedirector::ReaderMain(ReaderHandles& own) {
    HANDLE waitSet[2] = {own.child.get(), own.stopEvent.get()};
    int result = 1;
    for (;;) {
        result = ReadAvailable(own.pipe.get(), own.stopEvent.get());
        if (result != 1) break;
        DWORD waited = ::WaitForMultipleObjects(2, waitSet, FALSE, m_dwPollInterval.load());
        if (waited == WAIT_OBJECT_0) {
            // The child has ended: take what it left in the pipe.
            result = ReadAvailable(own.pipe.get(), own.stopEvent.get());
            if (result == 1) result = 0;
            break;
        }
        if (waited == WAIT_OBJECT_0 + 1) {
            result = 1;
            break;
        }
    }
    // The run is ended here only while this reader is still its reader: a Stop elsewhere that
    // took the reader over does the rest itself, and a reader it left behind must not end a
    // later run.
    bool current = false;
    {
        std::lock_guard<std::mutex> lock(m_lock);
        current = m_dwReaderThreadId == ::GetCurrentThreadId();
    }
    if (current) Stop();
    return static_cast<unsigned>(result);
}

int CRedirector::ReadAvailable(HANDLE pipe, HANDLE stopEvent) {
    char buffer[kChunkBytes + 1];
    for (;;) {
        // A stop request ends the drain even while a child keeps the pipe full.
        if (::WaitForSingleObject(stopEvent, 0) == WAIT_OBJECT_0) return 1;
        DWORD available = 0;
        if (!::PeekNamedPipe(pipe, nullptr, 0, nullptr, &available, nullptr)) {
            if (Tracing()) CLogFile::DebugPrint("PeekNamedPipe, error, BREAK");
            break;
        }
        if (available == 0) return 1;
        DWORD wanted = available < kChunkBytes ? available : kChunkBytes;
        DWORD got = 0;
        if (!::ReadFile(pipe, buffer, wanted, &got, nullptr) || got == 0) {
            if (Tracing()) CLogFile::DebugPrint("ReadFile, error");
            break;
        }
        buffer[got] = '\0';
        m_ullOutputBytes += got;
        if (Tracing()) CLogFile::DebugPrint("--> RedirBuf:%s", buffer);
        OnOutputChunk(buffer);
    }
    DWORD error = ::GetLastError();
    return (error == ERROR_BROKEN_PIPE || error == ERROR_NO_DATA) ? 0 : -1;
}

void CRedirector::Stop() {
    fw::UniqueHandle thread;
    {
        std::lock_guard<std::mutex> lock(m_lock);
        bool onReader = m_dwReaderThreadId != 0 && ::GetCurrentThreadId() == m_dwReaderThreadId;
        if (m_hStopEvent) ::SetEvent(m_hStopEvent.get());
        // The reader never waits for itself; its handle is reaped by the next Stop elsewhere.
        if (!onReader && m_hReaderThread) {
            thread = std::move(m_hReaderThread);
            m_dwReaderThreadId = 0;
        }
    }
    if (thread && !WaitServingSentMessages(thread.get(), kReaderEndTimeoutMs)) {
        // A reader stuck where nothing here can reach it. Killing it could leave the heap or
        // the output view in the middle of a change, so it is left to end on its own: it works
        // on handles of its own and, once it sees its stop event, calls nothing here again.
        m_bReaderDetached = TRUE;
        m_bAnyReaderDetached = TRUE;
        if (Tracing()) CLogFile::DebugPrint("Reader did not end, detached");
    }
    std::lock_guard<std::mutex> lock(m_lock);
    m_hStopEvent.reset();
    if (m_hChild) {
        // The run's exit code is kept for the caller. STILL_ACTIVE is final only once the
        // process is gone: a tool may end with that code, or be ended with it.
        DWORD code = 0;
        if (::GetExitCodeProcess(m_hChild.get(), &code) &&
            (code != STILL_ACTIVE || ::WaitForSingleObject(m_hChild.get(), 0) == WAIT_OBJECT_0)) {
            m_dwExitCode = code;
            m_bExitCodeKnown = 1;
        }
    }
    m_hChild.reset();
    m_hInputWrite.reset();
    m_hOutputRead.reset();
}

BOOL CRedirector::EndRunningChild(UINT exitCode) {
    std::lock_guard<std::mutex> lock(m_lock);
    DWORD code = 0;
    if (!m_hChild || !::GetExitCodeProcess(m_hChild.get(), &code) || code != STILL_ACTIVE) return FALSE;
    if (!::TerminateProcess(m_hChild.get(), exitCode)) return FALSE;
    (void)::WaitForSingleObject(m_hChild.get(), kTerminateSettleMs);
    return TRUE;
}

BOOL CRedirector::GetChildExitCode(DWORD& code) const {
    if (!m_bExitCodeKnown) return FALSE;
    code = m_dwExitCode;
    return TRUE;
}

void CRedirector::SetPollInterval(int milliseconds) {
    // The ME flash asks for 0: read as soon as possible. A short wait serves that as well.
    m_dwPollInterval = milliseconds < static_cast<int>(kMinPollIntervalMs) ? kMinPollIntervalMs
                                                                          : static_cast<DWORD>(milliseconds);
}

BOOL CRedirector::ChildHasEnded() {
    std::lock_guard<std::mutex> lock(m_lock);
    DWORD code = 0;
    if (!m_hChild || !::GetExitCodeProcess(m_hChild.get(), &code)) return TRUE;
    return code != STILL_ACTIVE;
}

BOOL CRedirector::ReaderHasEnded() {
    std::lock_guard<std::mutex> lock(m_lock);
    return !m_hReaderThread || ::WaitForSingleObject(m_hReaderThread.get(), 0) == WAIT_OBJECT_0;
}

DWORD CRedirector::WaitForRunOrMessage(DWORD timeoutMs) {
    // The reader's own Stop closes the members when the run ends, so the wait holds a handle of
    // its own: on the child while it runs, then on the reader until it has taken the last output.
    fw::UniqueHandle awaited;
    {
        std::lock_guard<std::mutex> lock(m_lock);
        DWORD code = 0;
        if (m_hChild && ::GetExitCodeProcess(m_hChild.get(), &code) && code == STILL_ACTIVE)
            awaited = Duplicate(m_hChild.get(), SYNCHRONIZE, 0);
        else if (m_hReaderThread && ::WaitForSingleObject(m_hReaderThread.get(), 0) != WAIT_OBJECT_0)
            awaited = Duplicate(m_hReaderThread.get(), SYNCHRONIZE, 0);
        else
            return WAIT_OBJECT_0;
        if (!awaited) return WAIT_FAILED;
    }
    // MWMO_INPUTAVAILABLE: a caller that takes only some of the waiting messages per pass must
    // be woken for the rest, not only for messages that arrive later.
    HANDLE waitSet[1] = {awaited.get()};
    return ::MsgWaitForMultipleObjectsEx(1, waitSet, timeoutMs, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
}

BOOL CRedirector::WriteInput(const char* format, ...) {
    // Written through a duplicate, so the lock is not held while a full pipe blocks the write
    // and the reader's Stop can still close the member meanwhile.
    fw::UniqueHandle pipe;
    {
        std::lock_guard<std::mutex> lock(m_lock);
        if (!m_hInputWrite) return FALSE;
        HANDLE self = ::GetCurrentProcess();
        if (!::DuplicateHandle(self, m_hInputWrite.get(), self, pipe.put(), 0, FALSE, DUPLICATE_SAME_ACCESS))
            return FALSE;
    }
    va_list args;
    va_start(args, format);
    std::string text = common::FormatV(format, args);
    va_end(args);
    DWORD written = 0;
    return ::WriteFile(pipe.get(), text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
}
