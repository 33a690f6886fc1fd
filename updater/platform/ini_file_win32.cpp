// CIniFile over the Windows profile functions, and the program's secure-flash choice from
// settings.ini beside the program file.
#include <windows.h>

#include "updater/app/option_settings.h"
#include "updater/platform/secure_flash.h"

namespace {

constexpr DWORD kModulePathSize = 260;
constexpr DWORD kValueBufferSize = 4096;

std::string ProgramFolder() {
    char module[kModulePathSize] = {};
    DWORD length = ::GetModuleFileNameA(nullptr, module, kModulePathSize);
    std::string path(module, length < kModulePathSize ? length : kModulePathSize - 1);
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

int SelectSecureFlashFile(const std::string& currentBiosVersion) {
    CIniFile settings("settings.ini");
    return SelectSecureFlashFile(settings, currentBiosVersion, theOptions.BiosRomFile);
}
