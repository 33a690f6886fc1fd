#include "extractor/app/trusted_folder_win32.h"

#include <aclapi.h>
#include <sddl.h>

#include <vector>

#include "framework/checked_file_win32.h"

namespace sfx {

namespace {

constexpr NTSTATUS kStatusObjectNameCollision = static_cast<NTSTATUS>(0xC0000035);
constexpr ULONG kFileOpenReparsePoint = 0x00200000;  // FILE_OPEN_REPARSE_POINT
constexpr ULONG kFileDirectoryFile = 0x00000001;     // FILE_DIRECTORY_FILE
constexpr ULONG kFileSynchronousIoNonAlert = 0x00000020;
constexpr ULONG kObjCaseInsensitive = 0x00000040;

DWORD ErrorFromStatus(NTSTATUS status) {
    if (status == kStatusObjectNameCollision) return static_cast<DWORD>(kErrorAlreadyExists);
    using RtlNtStatusToDosErrorFn = ULONG(NTAPI*)(NTSTATUS);
    auto convert = reinterpret_cast<RtlNtStatusToDosErrorFn>(
        reinterpret_cast<void (*)()>(::GetProcAddress(::GetModuleHandleA("ntdll.dll"), "RtlNtStatusToDosError")));
    DWORD error = convert ? convert(status) : ERROR_GEN_FAILURE;
    return error ? error : ERROR_GEN_FAILURE;
}

}  // namespace

bool ProcessIsElevated() {
    HANDLE token = nullptr;
    if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &token)) return true;
    fw::UniqueHandle owner(token);
    TOKEN_ELEVATION elevation{};
    DWORD size = 0;
    // Without an answer the destination is made private anyway: that costs nothing when the
    // process was not elevated after all.
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

BOOL SystemWindowsDirectory(std::string& path) {
    char buffer[MAX_PATH] = {};
    UINT length = ::GetSystemWindowsDirectoryA(buffer, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return FALSE;
    path.assign(buffer, length);
    while (path.size() > 3 && path.back() == '\\') path.pop_back();
    return TRUE;
}

BOOL RandomHex128(std::string& hex, DWORD& error) { return fw::RandomHex128(hex, error); }

NtCreateFileFn SystemNtCreateFile() {
    return reinterpret_cast<NtCreateFileFn>(
        reinterpret_cast<void (*)()>(::GetProcAddress(::GetModuleHandleA("ntdll.dll"), "NtCreateFile")));
}

BOOL FinalPathOf(HANDLE handle, std::string& path, DWORD& error) {
    char buffer[MAX_PATH + 8] = {};
    DWORD length = ::GetFinalPathNameByHandleA(handle, buffer, sizeof buffer, FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
    if (length == 0 || length >= sizeof buffer) {
        error = length == 0 ? ::GetLastError() : static_cast<DWORD>(ERROR_FILENAME_EXCED_RANGE);
        return FALSE;
    }
    path.assign(buffer, length);
    if (path.compare(0, 8, "\\\\?\\UNC\\") == 0)
        path = "\\" + path.substr(7);
    else if (path.compare(0, 4, "\\\\?\\") == 0)
        path = path.substr(4);
    return TRUE;
}

BOOL OwnerOf(HANDLE handle, std::string& sid, DWORD& error) {
    PSID owner = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    DWORD result = ::GetSecurityInfo(handle, SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION, &owner, nullptr, nullptr,
                                     nullptr, &descriptor);
    if (result != ERROR_SUCCESS) {
        error = result;
        return FALSE;
    }
    fw::UniqueLocal keep(descriptor);
    char* text = nullptr;
    if (!owner || !::ConvertSidToStringSidA(owner, &text)) {
        error = owner ? ::GetLastError() : static_cast<DWORD>(ERROR_INVALID_OWNER);
        return FALSE;
    }
    fw::UniqueLocal keepText(text);
    sid = text;
    return TRUE;
}

ObjectOwnership InspectOwnership(const char* path) {
    ObjectOwnership answer;
    fw::UniqueFile object(::CreateFileA(path, READ_CONTROL | FILE_READ_ATTRIBUTES,
                                        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                        FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (!object) return answer;
    answer.exists = true;
    BY_HANDLE_FILE_INFORMATION info{};
    // What cannot be told is taken for a link: it does not count.
    answer.link = !::GetFileInformationByHandle(object.get(), &info) ||
                  (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
    DWORD error = 0;
    answer.ownerKnown = OwnerOf(object.get(), answer.ownerSid, error) != FALSE;
    return answer;
}

bool ExistsOwnedByAdministrators(const char* path, bool ownersRecorded) {
    return MadeByAdministrators(InspectOwnership(path), ownersRecorded);
}

BOOL CreateHeldFolder(NtCreateFileFn create, const std::string& path, const char* sddl, fw::UniqueFile& folder,
                      HeldFolder& held, DWORD& error) {
    fw::UniqueLocal descriptor = DescriptorFromSddl(sddl, error);
    if (!descriptor) return FALSE;
    if (!create) {
        error = ERROR_PROC_NOT_FOUND;
        return FALSE;
    }
    int wide = ::MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, path.c_str(), -1, nullptr, 0);
    if (wide <= 1 || path.size() < 3 || path[1] != ':' || path[2] != '\\') {
        error = ERROR_BAD_PATHNAME;
        return FALSE;
    }
    std::vector<wchar_t> name(static_cast<size_t>(wide) + 4, L'\0');
    name[0] = L'\\';
    name[1] = name[2] = L'?';
    name[3] = L'\\';
    ::MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, path.c_str(), -1, name.data() + 4, wide);
    UNICODE_STRING objectName;
    objectName.Buffer = name.data();
    objectName.Length = static_cast<USHORT>((static_cast<size_t>(wide) - 1 + 4) * sizeof(wchar_t));
    objectName.MaximumLength = static_cast<USHORT>(objectName.Length + sizeof(wchar_t));
    OBJECT_ATTRIBUTES attributes;
    InitializeObjectAttributes(&attributes, &objectName, kObjCaseInsensitive, nullptr, descriptor.get());

    // Created and opened in one call, with its descriptor: there is no moment at which the
    // folder exists with another one, or exists and is not held. Without delete sharing
    // nobody can rename, delete or replace it while we hold it.
    HANDLE handle = nullptr;
    IO_STATUS_BLOCK status{};
    NTSTATUS result = create(&handle, FILE_LIST_DIRECTORY | FILE_TRAVERSE | READ_CONTROL | SYNCHRONIZE, &attributes,
                             &status, nullptr, FILE_ATTRIBUTE_NORMAL, FILE_SHARE_READ | FILE_SHARE_WRITE, FILE_CREATE,
                             kFileDirectoryFile | kFileSynchronousIoNonAlert | kFileOpenReparsePoint, nullptr, 0);
    if (result < 0) {
        error = ErrorFromStatus(result);
        return FALSE;
    }
    fw::UniqueFile made(handle);
    HeldFolder answer;
    if (!FinalPathOf(made.get(), answer.finalPath, error) || !OwnerOf(made.get(), answer.ownerSid, error))
        return FALSE;
    held = answer;
    folder = std::move(made);
    return TRUE;
}

}  // namespace sfx
