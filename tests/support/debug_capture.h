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

// Sets the option flags the interpretation reads and restores them when it goes.
class OptionFlags {
public:
    OptionFlags(bool ovrel, bool meUpdV1);
    ~OptionFlags();
    OptionFlags(const OptionFlags&) = delete;
    OptionFlags& operator=(const OptionFlags&) = delete;

private:
    bool m_bOvrel;
    bool m_bMeUpdV1;
};

}  // namespace testsupport
