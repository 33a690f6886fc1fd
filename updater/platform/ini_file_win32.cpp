// CIniFile over the Windows profile functions, and the program's secure-flash choice from
// settings.ini beside the program file.
#include <windows.h>

#include "framework/narrow_path_win32.h"
#include "updater/platform/secure_flash.h"

namespace {

constexpr DWORD kValueBufferSize = 4096;

// The folder of the program file, narrow (see narrow_path_win32.h).
std::string ProgramFolder() {
    std::string path;
    if (!fw::GetModulePathNarrow(path)) {
        // No narrow form names the folder: the code page's lossy one still keeps the lookup away
        // from the Windows folder, where a bare file name would send the profile functions.
        char module[MAX_PATH] = {};
        DWORD length = ::GetModuleFileNameA(nullptr, module, MAX_PATH);
        path.assign(module, length < MAX_PATH ? length : MAX_PATH - 1);
    }
    size_t slash = path.find_last_of('\\');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

}  // namespace

CIniFile::CIniFile(const std::string& name) : m_strFolder(ProgramFolder()), m_strName(name) {
    m_strPath = m_strFolder + m_strName;
}

CIniFile::CIniFile(const std::string& name, const std::string& folder) : m_strFolder(folder), m_strName(name) {
    if (m_strFolder.empty() || m_strFolder.back() != '\\') m_strFolder += '\\';
    m_strPath = m_strFolder + m_strName;
}

int CIniFile::ReadInt(const char* section, const char* key, int defaultValue) const {
    return static_cast<int>(::GetPrivateProfileIntA(section, key, defaultValue, m_strPath.c_str()));
}

std::string CIniFile::ReadString(const char* section, const char* key, const char* defaultValue) const {
    char value[kValueBufferSize] = {};
    DWORD length =
        ::GetPrivateProfileStringA(section, key, defaultValue, value, kValueBufferSize, m_strPath.c_str());
    return std::string(value, length < kValueBufferSize ? length : kValueBufferSize - 1);
}

std::string SelectSecureFlashFile(const std::string& currentBiosVersion, const std::string& biosRomFile, bool trace) {
    CIniFile settings("settings.ini");
    std::string image = biosRomFile;
    // The answer code is not needed: every outcome but a secure choice keeps the image.
    (void)SelectSecureFlashFile(settings, currentBiosVersion, image, trace);
    return image;
}
