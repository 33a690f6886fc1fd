#pragma once
// CFileSpec: splits a path into root, folder, base name and extension after making it absolute.

#include <cstdint>
#include <string>

class CFileSpec {
public:
    // Makes `path` absolute into `buffer` of `bufferSize` characters, with the answers of
    // GetFullPathNameA: the length copied, the size needed when the buffer is too small, or 0
    // with the system error in `lastError`.
    using FullPathFn = uint32_t (*)(const char* path, uint32_t bufferSize, char* buffer, uint32_t* lastError);

    static constexpr uint32_t kFullPathBuffer = 2048;

    // 0 on success; -1 GetFullPathName failed, -2 the full path is too long, -3 no valid root.
    // The reason is left in m_strError.
    int Split(const char* path, FullPathFn fullPath);

    // Root plus a backslash, then the folder with a trailing backslash (an empty folder stays empty).
    std::string GetFolderPath() const;
    // Base name "." extension; a file part without an extension is the base name alone.
    std::string GetFileName() const;

    std::string m_strError;
    std::string m_strRoot;    // "C:" or "\\server"
    bool m_bIsFolder = false; // the full path ends in a separator: there is no file part
    std::string m_strExt;     // without the dot
    std::string m_strBase;
    std::string m_strFolder;  // below the root, ending in a backslash; empty for the root itself
};
