#include "updater/app/redirector_tool_runner_win32.h"

#include <windows.h>

namespace {
// Bound on the wait for the reader's last drain; it takes no longer than one pass over the pipe.
constexpr DWORD kReaderEndMs = 5000;
}  // namespace

bool CRedirectorToolRunner::Start(const std::string& program, const std::string& commandLine, int updateType,
                                  uint32_t& lastError) {
    if (m_redirector.Start(program.c_str(), commandLine.c_str(), updateType)) return true;
    lastError = ::GetLastError();  // Start hands back the error that made it fail
    return false;
}

bool CRedirectorToolRunner::ChildHasEnded() { return m_redirector.ChildHasEnded() != FALSE; }

ToolWait CRedirectorToolRunner::WaitForChildOrMessage(uint32_t limitMs) {
    switch (m_redirector.WaitForChildOrMessage(limitMs)) {
    case WAIT_OBJECT_0: return ToolWait::kChildEnded;
    case WAIT_OBJECT_0 + 1: return ToolWait::kMessage;
    case WAIT_TIMEOUT: return ToolWait::kTimedOut;
    default:
        // The wait itself failed: pass the time anyway, or the caller's loop would spin.
        ::Sleep(limitMs);
        return ToolWait::kTimedOut;
    }
}

void CRedirectorToolRunner::WaitWhileReading() {
    m_redirector.WaitWhileReading();
    // The reader ends by itself right after its last drain once the child has ended.
    m_redirector.WaitForReaderEnd(kReaderEndMs);
}

void CRedirectorToolRunner::Stop() { m_redirector.Stop(); }

void CRedirectorToolRunner::SetPollInterval(int milliseconds) { m_redirector.SetPollInterval(milliseconds); }

void CRedirectorToolRunner::ResetMeResults() { m_redirector.ResetMeResults(); }

void CRedirectorToolRunner::ClearDone() { m_redirector.m_bDone = 0; }

void CRedirectorToolRunner::ClearCompleted() { m_redirector.m_bCompleted = 0; }

bool CRedirectorToolRunner::Done() const { return m_redirector.m_bDone != 0; }

bool CRedirectorToolRunner::Completed() const { return m_redirector.m_bCompleted != 0; }

bool CRedirectorToolRunner::BiosError() const { return m_redirector.m_bBiosError != 0; }

bool CRedirectorToolRunner::MeError() const { return m_redirector.m_bMeError != 0; }

bool CRedirectorToolRunner::MeVersionFound() const { return m_redirector.m_bMeVersionFound != 0; }

std::string CRedirectorToolRunner::MeVersion() const { return m_redirector.GetMeVersion(); }

std::string CRedirectorToolRunner::ErrorText() const { return m_redirector.GetErrorText(); }

ToolEnd CRedirectorToolRunner::LastEnd() const {
    ToolEnd end;
    DWORD code = 0;
    end.exitCodeKnown = m_redirector.GetChildExitCode(code) != FALSE;
    end.exitCode = code;
    end.bytesPrinted = m_redirector.OutputBytes();
    return end;
}

void CRedirectorToolRunner::RecordToolFailure(const std::string& text, int updateType) {
    // The run has stopped, so its reader no longer writes the interpretation state.
    CToolOutputInterpreter& interpreter = m_redirector;
    interpreter.OnToolError(text.c_str(), updateType);
}
