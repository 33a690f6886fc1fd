#include "updater/app/path_parts.h"

#include <vector>

#include "common/format.h"

namespace {

bool IsAsciiLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool IsSeparator(char c) { return c == '\\' || c == '/'; }

}  // namespace

int CFileSpec::Split(const char* path, FullPathFn fullPath) {
    m_strError.clear();
    m_strRoot.clear();
    m_bIsFolder = false;
    m_strExt.clear();
    m_strBase.clear();
    m_strFolder.clear();

    std::vector<char> buffer(kFullPathBuffer, '\0');
    uint32_t lastError = 0;
    uint32_t length = fullPath(path ? path : "", kFullPathBuffer, buffer.data(), &lastError);
    if (length == 0) {
        m_strError = common::Format("GetFullPathName ERR %lu", static_cast<unsigned long>(lastError));
        return -1;
    }
    if (length >= kFullPathBuffer) {
        m_strError = common::Format("Buffer size too small, required=%lu", static_cast<unsigned long>(length));
        return -2;
    }
    std::string full(buffer.data(), length);
    m_bIsFolder = IsSeparator(full.back());

    size_t rootLength;
    if (full.size() >= 2 && full[0] == '\\' && full[1] == '\\') {
        size_t end = full.find('\\', 2);
        if (end == std::string::npos) {
            m_strError = "Bad FileSpec format at <Root>";
            return -3;
        }
        m_strRoot = full.substr(0, end);
        rootLength = end;
    } else if (full.size() >= 2 && full[1] == ':' && IsAsciiLetter(full[0])) {
        m_strRoot = common::Format("%c:", full[0]);
        rootLength = 2;
    } else {
        m_strError = "Bad FileSpec format at <Root>";
        return -3;
    }

    if (!m_bIsFolder) {
        size_t fileStart = full.find_last_of("\\/") + 1;  // the root guarantees a separator or a colon
        if (fileStart <= rootLength) fileStart = rootLength + (full.size() > rootLength && IsSeparator(full[rootLength]) ? 1 : 0);
        std::string filePart = full.substr(fileStart);
        size_t dot = filePart.rfind('.');
        if (dot == std::string::npos) {
            m_strBase = filePart;
        } else {
            m_strBase = filePart.substr(0, dot);
            m_strExt = filePart.substr(dot + 1);
        }
        full.erase(fileStart);
    }
    if (full.size() > rootLength + 1) m_strFolder = full.substr(rootLength + 1);
    return 0;
}

std::string CFileSpec::GetFolderPath() const {
    std::string result = m_strRoot;
    if (result.empty() || result.back() != '\\') result += '\\';
    result += m_strFolder;
    if (!m_strFolder.empty() && m_strFolder.back() != '\\') result += '\\';
    return result;
}

std::string CFileSpec::GetFileName() const { return m_strExt.empty() ? m_strBase : m_strBase + "." + m_strExt; }
