#pragma once
// Captures the debug trace (CLogFile::DebugPrint) while in scope, from any thread.

#include <string>
#include <vector>

namespace testsupport {

class DebugCapture {
public:
    DebugCapture();
    ~DebugCapture();
    DebugCapture(const DebugCapture&) = delete;
    DebugCapture& operator=(const DebugCapture&) = delete;

    std::vector<std::string> Lines() const;
    bool Contains(const std::string& line) const;
};

}  // namespace testsupport
