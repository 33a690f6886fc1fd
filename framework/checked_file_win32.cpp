#include "framework/checked_file_win32.h"

#include <bcrypt.h>
#include <sddl.h>

#include <vector>

#include "framework/system_library_win32.h"

namespace fw {

namespace {

bool ToWide(const std::string& narrow, std::wstring& wide) {
    int units = ::MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, narrow.c_str(), -1, nullptr, 0);
    if (units <= 0) return false;
    std::vector<wchar_t> buffer(static_cast<size_t>(units));
    if (::MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, narrow.c_str(), -1, buffer.data(), units) != units)
        return false;
    wide.assign(buffer.data());
    return true;
}

std::wstring WithoutLongPrefix(const std::wstring& path) {
    if (path.compare(0, 8, L"\\\\?\\UNC\\") == 0) return L"\\" + path.substr(7);
    if (path.compare(0, 4, L"\\\\?\\") == 0) return path.substr(4);
    return path;
}

std::wstring WithoutTrailingSlash(std::wstring path) {
    while (path.size() > 3 && path.back() == L'\\') path.pop_back();
    return path;
}

// The full path asked for in its long form: short (8.3) components read as long ones, which is
// how the system reports a handle's path. Links are not resolved by this.
bool LongFullPath(const std::string& path, std::wstring& full) {
    std::wstring wide;
    if (!ToWide(path, wide)) return false;
    DWORD length = ::GetFullPathNameW(wide.c_str(), 0, nullptr, nullptr);
    if (length == 0) return false;
    std::vector<wchar_t> buffer(length + 1);
    length = ::GetFullPathNameW(wide.c_str(), static_cast<DWORD>(buffer.size()), buffer.data(), nullptr);
    if (length == 0 || length >= buffer.size()) return false;
    std::wstring absolute(buffer.data(), length);
    length = ::GetLongPathNameW(absolute.c_str(), nullptr, 0);
    if (length == 0) {
        full = absolute;  // not there yet: nothing to lengthen
        return true;
    }
    std::vector<wchar_t> longer(length + 1);
    length = ::GetLongPathNameW(absolute.c_str(), longer.data(), static_cast<DWORD>(longer.size()));
    if (length == 0 || length >= longer.size()) return false;
    full.assign(longer.data(), length);
    return true;
}

bool IsLinkHandle(HANDLE handle, DWORD& error) {
    BY_HANDLE_FILE_INFORMATION info{};
    if (!::GetFileInformationByHandle(handle, &info)) {
        error = ::GetLastError();
        return true;
    }
    if (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) {
        error = kErrorLinkRefused;
        return true;
    }
    return false;
}

}  // namespace

bool HandleIsPath(HANDLE handle, const std::string& fullPath, DWORD& error) {
    std::wstring asked;
    if (!LongFullPath(fullPath, asked)) {
        error = ERROR_BAD_PATHNAME;
        return false;
    }
    DWORD length = ::GetFinalPathNameByHandleW(handle, nullptr, 0, FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
    if (length == 0) {
        error = ::GetLastError();
        return false;
    }
    std::vector<wchar_t> buffer(length + 1);
    length = ::GetFinalPathNameByHandleW(handle, buffer.data(), static_cast<DWORD>(buffer.size()),
                                         FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
    if (length == 0 || length >= buffer.size()) {
        error = length == 0 ? ::GetLastError() : static_cast<DWORD>(ERROR_FILENAME_EXCED_RANGE);
        return false;
    }
    std::wstring final = WithoutTrailingSlash(WithoutLongPrefix(std::wstring(buffer.data(), length)));
    asked = WithoutTrailingSlash(WithoutLongPrefix(asked));
    if (::CompareStringOrdinal(final.c_str(), static_cast<int>(final.size()), asked.c_str(),
                               static_cast<int>(asked.size()), TRUE) != CSTR_EQUAL) {
        error = kErrorLinkRefused;
        return false;
    }
    return true;
}

BOOL OpenWithoutLinks(const std::string& path, DWORD access, DWORD share, DWORD disposition, DWORD flags,
                      UniqueFile& file, DWORD& error) {
    char full[MAX_PATH] = {};
    char* name = nullptr;
    DWORD length = ::GetFullPathNameA(path.c_str(), MAX_PATH, full, &name);
    if (length == 0 || length >= MAX_PATH || !name || name == full) {
        error = length == 0 ? ::GetLastError() : static_cast<DWORD>(ERROR_BAD_PATHNAME);
        return FALSE;
    }
    const std::string fullPath(full, length);
    const std::string folderPath(full, static_cast<size_t>(name - full));
    UniqueFile folder(::CreateFileA(folderPath.c_str(), FILE_READ_ATTRIBUTES | SYNCHRONIZE,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                    FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (!folder) {
        // As for a file opened by path: a folder on the way that does not exist is a path
        // not found.
        error = ::GetLastError();
        if (error == ERROR_FILE_NOT_FOUND) error = ERROR_PATH_NOT_FOUND;
        return FALSE;
    }
    // A drive's root is a volume, not a link, whatever its attributes say.
    const bool root = folderPath.size() == 3 && folderPath[1] == ':';
    if ((!root && IsLinkHandle(folder.get(), error)) || !HandleIsPath(folder.get(), folderPath, error)) return FALSE;
    UniqueFile opened(::CreateFileA(fullPath.c_str(), access, share, nullptr, disposition,
                                    flags | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (!opened) {
        error = ::GetLastError();
        return FALSE;
    }
    if (IsLinkHandle(opened.get(), error) || !HandleIsPath(opened.get(), fullPath, error)) return FALSE;
    file = std::move(opened);
    return TRUE;
}

bool ProcessIsElevated() {
    HANDLE token = nullptr;
    if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &token)) return true;
    UniqueHandle owner(token);
    TOKEN_ELEVATION elevation{};
    DWORD size = 0;
    if (!::GetTokenInformation(token, TokenElevation, &elevation, sizeof elevation, &size)) return true;
    return elevation.TokenIsElevated != 0;
}

BOOL CreateFolderWithDescriptor(const std::string& folder, const char* sddl) {
    if (!sddl) return ::CreateDirectoryA(folder.c_str(), nullptr);
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (!::ConvertStringSecurityDescriptorToSecurityDescriptorA(sddl, SDDL_REVISION_1, &descriptor, nullptr))
        return FALSE;
    UniqueLocal owner(descriptor);
    SECURITY_ATTRIBUTES attributes{sizeof attributes, descriptor, FALSE};
    return ::CreateDirectoryA(folder.c_str(), &attributes);
}

BOOL CreateFolderChain(const std::string& path, const char* sddl, CreateFolderFn create) {
    std::string folder = path;
    for (char& c : folder)
        if (c == '/') c = '\\';
    size_t end = folder.find_last_of('\\');
    if (end == std::string::npos) return TRUE;
    // Past the root: "C:\", "\\server\share\", or nothing for a relative path.
    size_t at = 0;
    if (folder.size() >= 2 && folder[1] == ':') at = 3;
    else if (folder.compare(0, 2, "\\\\") == 0) {
        size_t share = folder.find('\\', 2);
        at = share == std::string::npos ? folder.size() : folder.find('\\', share + 1);
        if (at == std::string::npos) return TRUE;
        ++at;
    }
    for (size_t next = folder.find('\\', at); next != std::string::npos && next <= end;
         next = folder.find('\\', next + 1)) {
        if (next == 0) continue;
        const std::string prefix = folder.substr(0, next);
        DWORD attributes = ::GetFileAttributesA(prefix.c_str());
        if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)) continue;
        if (!create(prefix, sddl) && ::GetLastError() != ERROR_ALREADY_EXISTS) return FALSE;
    }
    return TRUE;
}

BOOL RandomHex128(std::string& hex, DWORD& error) {
    using GenRandomFn = NTSTATUS(WINAPI*)(BCRYPT_ALG_HANDLE, PUCHAR, ULONG, ULONG);
    UniqueModule bcrypt(LoadSystemLibrary("bcrypt.dll"));
    auto generate = bcrypt ? reinterpret_cast<GenRandomFn>(reinterpret_cast<void (*)()>(
                                 ::GetProcAddress(bcrypt.get(), "BCryptGenRandom")))
                           : nullptr;
    if (!generate) {
        error = ::GetLastError() ? ::GetLastError() : static_cast<DWORD>(ERROR_PROC_NOT_FOUND);
        return FALSE;
    }
    unsigned char bytes[16] = {};
    if (generate(nullptr, bytes, sizeof bytes, BCRYPT_USE_SYSTEM_PREFERRED_RNG) < 0) {
        error = ERROR_GEN_FAILURE;
        return FALSE;
    }
    static const char kDigits[] = "0123456789abcdef";
    hex.clear();
    for (unsigned char byte : bytes) {
        hex += kDigits[byte >> 4];
        hex += kDigits[byte & 0x0F];
    }
    return TRUE;
}

}  // namespace fw
