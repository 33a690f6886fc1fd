#pragma once
// A tool run as the update sequence drives it: start one outside tool, wait for it, read the
// flags its output raised, stop. The dialog's redirector implements it on Windows; the unit
// tests and the fuzz target implement it with scripted doubles.

#include <cstdint>
#include <string>

#include "updater/tools/tool_end.h"

class IToolRunner {
public:
    virtual ~IToolRunner() = default;
    // Starts the program file `program` (a full path, never searched for) with `commandLine`
    // for `updateType`. FALSE when the process could not be started; `lastError` then holds
    // the system error code of the failure.
    virtual bool Start(const std::string& program, const std::string& commandLine, int updateType,
                       uint32_t& lastError) = 0;
    virtual bool ChildHasEnded() = 0;
    // True once the run's output has been taken to its end and interpreted: the reader has
    // ended (or there is no run).
    virtual bool OutputTaken() = 0;
    // The one wait of a tool run: blocks until what the run waits for next has happened (the
    // child's end while it runs, the end of its output after that), a window message waits for
    // the calling thread, or `limitMs` passes. Dispatches nothing; never blocks past the limit.
    virtual void Wait(uint32_t limitMs) = 0;
    // Ends the run (and a child still running). A reader that does not end even then is left
    // behind, never killed; ReaderDetached tells.
    virtual void Stop() = 0;
    virtual bool ReaderDetached() const = 0;
    virtual void SetPollInterval(int milliseconds) = 0;
    virtual void ResetMeResults() = 0;
    virtual void ClearDone() = 0;
    virtual void ClearCompleted() = 0;
    // The result flags and texts the output interpretation leaves.
    virtual bool Done() const = 0;
    virtual bool Completed() const = 0;
    virtual bool BiosError() const = 0;
    virtual bool MeError() const = 0;
    virtual bool MeVersionFound() const = 0;
    virtual std::string MeVersion() const = 0;
    virtual std::string ErrorText() const = 0;
    // How the last run ended (exit code, bytes printed); read after Stop.
    virtual ToolEnd LastEnd() const = 0;
    // Records a failure of the last run that its output did not show, as a printed error of
    // that run is recorded: the error flag of `updateType`, the error text, the output view.
    virtual void RecordToolFailure(const std::string& text, int updateType) = 0;
};
