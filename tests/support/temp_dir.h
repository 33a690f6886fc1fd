#pragma once
// A fresh directory under the system's temporary folder, removed with everything in it when the
// owner goes. Portable: the same helper serves native tests and the Windows build under Wine.

#include <string>

class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    // The directory in the platform's own spelling, without a trailing separator.
    const std::string& Path() const { return m_path; }
    // Path() joined with a relative name written with backslashes, as the programs write paths.
    // Natively the backslashes stay: the native seams map them to slashes.
    std::string Join(const std::string& relative) const { return m_path + "\\" + relative; }
    // The same name in the platform's own spelling, for reading files back in tests.
    std::string Native(const std::string& relative) const;

private:
    std::string m_path;
};

// Whole contents of a file, or "" when it cannot be read.
std::string ReadFileBytes(const std::string& path);
bool FileExistsAt(const std::string& path);
