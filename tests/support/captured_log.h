#pragma once
// Points the program-wide log at a fresh temporary file and the debug trace at a buffer for the
// life of one test, and gives back what was written: "$tag, message" per line, time stamps cut.

#include <filesystem>
#include <string>
#include <vector>

namespace testsupport {

class CapturedLog {
public:
    CapturedLog();
    ~CapturedLog();
    CapturedLog(const CapturedLog&) = delete;
    CapturedLog& operator=(const CapturedLog&) = delete;

    // Each line as "<tag>, <message>", without the time stamp and the line end.
    std::vector<std::string> Lines() const;
    // Every text handed to the debug trace since the capture began, in order.
    std::vector<std::string> DebugTexts() const;
    const std::filesystem::path& Folder() const { return m_folder; }

private:
    std::filesystem::path m_folder;
    std::string m_savedFolder, m_savedName, m_savedPath;
    int m_savedEnabled;
};

}  // namespace testsupport
