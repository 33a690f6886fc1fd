#include "extractor/package/sfx_fs.h"

#include <windows.h>

#include <fcntl.h>
#include <io.h>

#include <cerrno>
#include <cstdio>
#include <string>

#include "framework/checked_file_win32.h"
#include "framework/system_library_win32.h"
#include "framework/unique_handle_win32.h"

namespace {

FILETIME ToFileTime(const SfxFileTime& ft) { return FILETIME{ft.dwLowDateTime, ft.dwHighDateTime}; }
SfxFileTime FromFileTime(const FILETIME& ft) { return SfxFileTime{ft.dwLowDateTime, ft.dwHighDateTime}; }

// A C stream over `file`, which it then owns; nullptr (with errno set, `file` still owning the
// handle) when the C library has no descriptor or stream left.
FILE* StreamOf(fw::UniqueFile& file, int flags, const char* mode) {
    int descriptor = _open_osfhandle(reinterpret_cast<intptr_t>(file.get()), flags | _O_BINARY);
    if (descriptor == -1) return nullptr;
    file.release();  // the descriptor owns it now
    FILE* stream = _fdopen(descriptor, mode);
    if (!stream) {
        int kept = errno;
        _close(descriptor);  // closes the handle too
        errno = kept;
    }
    return stream;
}

}  // namespace

namespace sfxfs {

FILE* OpenForRead(const char* path) {
    // Others may read the package meanwhile, but nobody may write, rename or delete it while
    // it is open: what is read later through this handle is what was checked first.
    fw::UniqueFile file(::CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                      FILE_ATTRIBUTE_NORMAL, nullptr));
    return file ? StreamOf(file, _O_RDONLY, "rb") : nullptr;
}

FILE* CreatePrivateScratch(const char* folder, unsigned long* error) {
    std::string hex;
    DWORD code = 0;
    if (!fw::RandomHex128(hex, code)) {
        *error = code;
        return nullptr;
    }
    std::string path = folder;
    if (!path.empty() && path.back() != '\\') path += '\\';
    path += hex + ".tmp";
    // No sharing at all, a name nobody knows, made new, and gone when closed: the copy is read
    // only through this handle, and nothing of it outlives the process.
    fw::UniqueFile file;
    if (!fw::OpenWithoutLinks(path, GENERIC_READ | GENERIC_WRITE | DELETE, 0, CREATE_NEW,
                              FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, file, code)) {
        *error = code;
        return nullptr;
    }
    FILE* stream = StreamOf(file, _O_RDWR, "w+b");
    if (!stream) *error = ERROR_TOO_MANY_OPEN_FILES;
    return stream;
}

bool IsLink(const char* path) {
    DWORD attributes = ::GetFileAttributesA(path);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT);
}

FILE* CreateForWrite(const char* path, int* error) {
    // Windows refuses to open a read-only file for writing, even for an administrator; Wine
    // run by root would not. Asking first gives the same EACCES everywhere.
    DWORD attributes = ::GetFileAttributesA(path);
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY) &&
        !(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        *error = EACCES;
        return nullptr;
    }
    // Opened where its path says, through no link at any folder on the way, and written only
    // through this handle. An existing file is opened as it is and emptied through the handle
    // only once it is known to have no other name: a hard link that a normal user made in the
    // destination to a file elsewhere (any file they can read will do) would otherwise have an
    // elevated extraction rewrite that other file when it truncates this one.
    fw::UniqueFile file;
    DWORD code = 0;
    if (!fw::OpenWithoutLinks(path, GENERIC_WRITE | FILE_READ_ATTRIBUTES, 0, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                              file, code)) {
        *error = code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND ? ENOENT : EACCES;
        return nullptr;
    }
    BY_HANDLE_FILE_INFORMATION info = {};
    if (!::GetFileInformationByHandle(file.get(), &info) || info.nNumberOfLinks > 1 ||
        !::SetEndOfFile(file.get())) {
        *error = EACCES;
        return nullptr;
    }
    FILE* stream = StreamOf(file, _O_WRONLY, "wb");
    if (!stream) *error = errno;
    return stream;
}

bool Seek(FILE* file, uint64_t position) {
    if (position > static_cast<uint64_t>(INT64_MAX)) return false;
    return _fseeki64(file, static_cast<__int64>(position), SEEK_SET) == 0;
}

bool Tell(FILE* file, uint64_t* position) {
    __int64 at = _ftelli64(file);
    if (at < 0) return false;
    *position = static_cast<uint64_t>(at);
    return true;
}

bool SizeOf(FILE* file, uint64_t* size) {
    if (_fseeki64(file, 0, SEEK_END) != 0) return false;
    return Tell(file, size);
}

BOOL ReadStamp(const char* path, FileStamp* stamp) {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!::GetFileAttributesExA(path, GetFileExInfoStandard, &data)) return FALSE;
    if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) return FALSE;
    stamp->size = (static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
    stamp->creation = FromFileTime(data.ftCreationTime);
    stamp->lastWrite = FromFileTime(data.ftLastWriteTime);
    stamp->attributes = data.dwFileAttributes;
    return TRUE;
}

BOOL ApplyStamp(FILE* file, const SfxFileTime& creation, const SfxFileTime& lastWrite, uint32_t attributes) {
    // Everything written first: a write after the times would move the last-write time again.
    if (std::fflush(file) != 0) return FALSE;
    HANDLE handle = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(file)));
    if (handle == INVALID_HANDLE_VALUE) return FALSE;
    FILETIME created = ToFileTime(creation);
    FILETIME written = ToFileTime(lastWrite);
    BOOL timesSet = ::SetFileTime(handle, &created, nullptr, &written);
    // Zero attributes in the basic information mean "unchanged"; zero set by name meant normal.
    FILE_BASIC_INFO basic{};
    basic.FileAttributes = attributes ? attributes : FILE_ATTRIBUTE_NORMAL;
    BOOL attributesSet = ::SetFileInformationByHandle(handle, FileBasicInfo, &basic, sizeof basic);
    return (timesSet && attributesSet) ? TRUE : FALSE;
}

BOOL MakeSureDirectoryPathExists(const char* path) {
    // dbghelp splits the path at backslashes only.
    std::string folder = path;
    for (char& c : folder)
        if (c == '/') c = '\\';
    return fw::MakeSureDirectoryPathExistsFromSystem(folder.c_str());
}

void DebugOutput(const char* text) { ::OutputDebugStringA(text); }

}  // namespace sfxfs
