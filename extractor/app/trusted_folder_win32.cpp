#include "extractor/app/trusted_folder_win32.h"

#include <aclapi.h>
#include <sddl.h>

#include <cstring>

namespace sfx {

namespace {

bool IsDots(const char* name) { return std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0; }

// Deletes everything inside `folder`. A link (to a file or a folder) is removed itself; a real
// sub-folder is emptied first. A read-only file loses that attribute first.
bool EmptyFolder(const std::string& folder, DWORD& error) {
    WIN32_FIND_DATAA found{};
    fw::UniqueFind find(::FindFirstFileA((folder + "\\*").c_str(), &found));
    if (!find) {
        error = ::GetLastError();
        return error == ERROR_FILE_NOT_FOUND;
    }
    bool ok = true;
    do {
        if (IsDots(found.cFileName)) continue;
        std::string path = folder + "\\" + found.cFileName;
        DWORD attributes = found.dwFileAttributes;
        bool isFolder = (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
        bool isLink = (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
        if (attributes & FILE_ATTRIBUTE_READONLY) ::SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
        bool removed;
        if (isFolder && !isLink)
            removed = EmptyFolder(path, error) && ::RemoveDirectoryA(path.c_str());
        else if (isFolder)
            removed = ::RemoveDirectoryA(path.c_str()) != FALSE;  // the junction, not its target
        else
            removed = ::DeleteFileA(path.c_str()) != FALSE;
        if (!removed) {
            if (error == 0) error = ::GetLastError();
            ok = false;
        }
    } while (::FindNextFileA(find.get(), &found));
    return ok;
}

// True when nothing but "." and ".." is left: a file someone still holds open with delete
// sharing stays listed until it is closed.
bool IsEmpty(const std::string& folder) {
    WIN32_FIND_DATAA found{};
    fw::UniqueFind find(::FindFirstFileA((folder + "\\*").c_str(), &found));
    if (!find) return ::GetLastError() == ERROR_FILE_NOT_FOUND;
    do {
        if (!IsDots(found.cFileName)) return false;
    } while (::FindNextFileA(find.get(), &found));
    return true;
}

}  // namespace

bool ProcessIsElevated() {
    HANDLE token = nullptr;
    if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &token)) return true;
    fw::UniqueHandle owner(token);
    TOKEN_ELEVATION elevation{};
    DWORD size = 0;
    // Without an answer the destination is made trustworthy anyway: that costs nothing when
    // the process was not elevated after all.
    if (!::GetTokenInformation(token, TokenElevation, &elevation, sizeof elevation, &size)) return true;
    return elevation.TokenIsElevated != 0;
}

PathState InspectPath(const std::string& path) {
    DWORD attributes = ::GetFileAttributesA(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        DWORD error = ::GetLastError();
        return (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) ? PathState::Missing
                                                                                 : PathState::Other;
    }
    if (attributes & FILE_ATTRIBUTE_REPARSE_POINT) return PathState::ReparsePoint;
    return (attributes & FILE_ATTRIBUTE_DIRECTORY) ? PathState::Folder : PathState::Other;
}

fw::UniqueLocal DescriptorFromSddl(const char* sddl, DWORD& error) {
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (!::ConvertStringSecurityDescriptorToSecurityDescriptorA(sddl, SDDL_REVISION_1, &descriptor, nullptr)) {
        error = ::GetLastError();
        return fw::UniqueLocal();
    }
    return fw::UniqueLocal(descriptor);
}

BOOL CreateFolderWithAccess(const std::string& path, const char* sddl, DWORD& error) {
    fw::UniqueLocal descriptor = DescriptorFromSddl(sddl, error);
    if (!descriptor) return FALSE;
    SECURITY_ATTRIBUTES attributes{sizeof attributes, descriptor.get(), FALSE};
    if (!::CreateDirectoryA(path.c_str(), &attributes)) {
        error = ::GetLastError();
        return FALSE;
    }
    return TRUE;
}

BOOL ResetFolder(const std::string& path, const char* sddl, DWORD& error) {
    error = 0;
    fw::UniqueLocal descriptor = DescriptorFromSddl(sddl, error);
    if (!descriptor) return FALSE;
    // Opened without delete sharing, the folder can be neither renamed nor replaced by a link
    // while it is reset; the link flag opens a link itself, which is then refused.
    fw::UniqueFile folder(::CreateFileA(path.c_str(), READ_CONTROL | WRITE_DAC | WRITE_OWNER | FILE_LIST_DIRECTORY,
                                        FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                        FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (!folder) {
        error = ::GetLastError();
        return FALSE;
    }
    BY_HANDLE_FILE_INFORMATION info{};
    if (!::GetFileInformationByHandle(folder.get(), &info)) {
        error = ::GetLastError();
        return FALSE;
    }
    if ((info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) || !(info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
        error = kErrorReparsePoint;
        return FALSE;
    }
    PSID owner = nullptr;
    PACL dacl = nullptr;
    BOOL defaulted = FALSE, present = FALSE;
    if (!::GetSecurityDescriptorOwner(descriptor.get(), &owner, &defaulted) ||
        !::GetSecurityDescriptorDacl(descriptor.get(), &present, &dacl, &defaulted)) {
        error = ::GetLastError();
        return FALSE;
    }
    // The access list first: from then on the user who owned the folder can add nothing new.
    DWORD result = ::SetSecurityInfo(folder.get(), SE_FILE_OBJECT,
                                     OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION |
                                         PROTECTED_DACL_SECURITY_INFORMATION,
                                     owner, nullptr, dacl, nullptr);
    if (result != ERROR_SUCCESS) {
        error = result;
        return FALSE;
    }
    if (!EmptyFolder(path, error)) return FALSE;
    if (!IsEmpty(path)) {
        error = ERROR_DIR_NOT_EMPTY;
        return FALSE;
    }
    return TRUE;
}

}  // namespace sfx
