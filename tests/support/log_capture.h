#pragma once
// A CLogFile writing into a fresh temporary folder, read back as its lines without their time
// stamps ("$Tag, message"), so tests can assert exact log lines in order.

#include <filesystem>
#include <string>
#include <vector>

#include "updater/tools/log_file.h"

class LogCapture {
public:
    LogCapture();
    ~LogCapture();
    LogCapture(const LogCapture&) = delete;
    LogCapture& operator=(const LogCapture&) = delete;

    CLogFile& log() { return m_log; }
    // The raw bytes of the file ("" when nothing was written).
    std::string Bytes() const;
    // Each line with its "YYYY/MM/DD, HH:MM:SS, " stamp and its CR LF removed.
    std::vector<std::string> Lines() const;

private:
    std::filesystem::path m_folder;
    CLogFile m_log;
};

// Collects the debug trace while alive (one process-wide sink; tests run one at a time).
class DebugCapture {
public:
    DebugCapture();
    ~DebugCapture();
    std::vector<std::string> Texts() const;
};
