// Native stand-in for the package's file-system calls, so that the reader and the writer run
// and are tested on Linux. Windows attributes map onto modes only where they mean the same:
// the read-only attribute is a mode without write bits, and a file without write bits counts
// as read-only even for root, as the attribute does on Windows. Creation times do not exist
// here; a file's creation time reads as its modification time.
#include "extractor/package/sfx_fs.h"

#include <cerrno>
#include <fcntl.h>
#include <string>
#include <vector>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr uint32_t kAttributeReadOnly = 0x1;
constexpr uint32_t kAttributeArchive = 0x20;
constexpr int64_t kUnixEpochAsFileTime = 116444736000000000LL;  // 1970-01-01 in 100-ns units

std::string ToPosixPath(const char* path) {
    std::string result = path;
    for (char& c : result)
        if (c == '\\') c = '/';
    return result;
}

SfxFileTime ToFileTime(const struct timespec& ts) {
    int64_t ticks = static_cast<int64_t>(ts.tv_sec) * 10000000 + ts.tv_nsec / 100 + kUnixEpochAsFileTime;
    return FileTimeFromU64(ticks < 0 ? 0 : static_cast<uint64_t>(ticks));
}

struct timespec ToTimespec(const SfxFileTime& ft) {
    uint64_t value = FileTimeToU64(ft);
    // FILETIMEs beyond what time_t holds are clamped rather than wrapped.
    if (value > static_cast<uint64_t>(INT64_MAX)) value = INT64_MAX;
    int64_t ticks = static_cast<int64_t>(value) - kUnixEpochAsFileTime;
    int64_t seconds = ticks / 10000000;
    int64_t rest = ticks % 10000000;
    if (rest < 0) {
        rest += 10000000;
        --seconds;
    }
    struct timespec ts{};
    ts.tv_sec = static_cast<time_t>(seconds);
    ts.tv_nsec = static_cast<long>(rest * 100);
    return ts;
}

}  // namespace

namespace sfxfs {

FILE* OpenForRead(const char* path) { return std::fopen(ToPosixPath(path).c_str(), "rb"); }

FILE* CreatePrivateScratch(const char* folder, unsigned long* error) {
    std::string pattern = ToPosixPath(folder);
    if (!pattern.empty() && pattern.back() != '/') pattern += '/';
    pattern += "XXXXXXXXXXXXXXXX.tmp";
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    int descriptor = mkstemps(name.data(), 4);
    if (descriptor < 0) {
        *error = static_cast<unsigned long>(errno);
        return nullptr;
    }
    // Gone from the folder at once; the open descriptor is the only way to it.
    unlink(name.data());
    FILE* stream = fdopen(descriptor, "w+b");
    if (!stream) {
        *error = static_cast<unsigned long>(errno);
        close(descriptor);
    }
    return stream;
}

bool IsLink(const char* path) {
    struct stat info{};
    return ::lstat(ToPosixPath(path).c_str(), &info) == 0 && S_ISLNK(info.st_mode);
}

FILE* CreateForWrite(const char* path, int* error) {
    std::string posix = ToPosixPath(path);
    struct stat info{};
    if (::stat(posix.c_str(), &info) == 0 && S_ISREG(info.st_mode) && !(info.st_mode & S_IWUSR)) {
        *error = EACCES;
        return nullptr;
    }
    errno = 0;
    FILE* file = std::fopen(posix.c_str(), "wb");
    if (!file) *error = errno;
    return file;
}

bool Seek(FILE* file, uint64_t position) {
    if (position > static_cast<uint64_t>(INT64_MAX)) return false;
    return ::fseeko(file, static_cast<off_t>(position), SEEK_SET) == 0;
}

bool Tell(FILE* file, uint64_t* position) {
    off_t at = ::ftello(file);
    if (at < 0) return false;
    *position = static_cast<uint64_t>(at);
    return true;
}

bool SizeOf(FILE* file, uint64_t* size) {
    if (::fseeko(file, 0, SEEK_END) != 0) return false;
    return Tell(file, size);
}

BOOL ReadStamp(const char* path, FileStamp* stamp) {
    struct stat info{};
    if (::stat(ToPosixPath(path).c_str(), &info) != 0 || !S_ISREG(info.st_mode)) return FALSE;
    stamp->size = static_cast<uint64_t>(info.st_size);
    stamp->lastWrite = ToFileTime(info.st_mtim);
    stamp->creation = stamp->lastWrite;
    stamp->attributes = kAttributeArchive | ((info.st_mode & S_IWUSR) ? 0 : kAttributeReadOnly);
    return TRUE;
}

BOOL ApplyStamp(FILE* file, const SfxFileTime& /*creation*/, const SfxFileTime& lastWrite, uint32_t attributes) {
    if (std::fflush(file) != 0) return FALSE;
    const int descriptor = ::fileno(file);
    struct timespec times[2];
    times[0].tv_sec = 0;
    times[0].tv_nsec = UTIME_OMIT;  // last access untouched
    times[1] = ToTimespec(lastWrite);
    BOOL timesSet = ::futimens(descriptor, times) == 0;
    struct stat info{};
    if (::fstat(descriptor, &info) != 0) return FALSE;
    mode_t mode = info.st_mode & 07777;
    mode = (attributes & kAttributeReadOnly) ? (mode & ~static_cast<mode_t>(0222)) : (mode | S_IWUSR);
    BOOL modeSet = ::fchmod(descriptor, mode) == 0;
    return (timesSet && modeSet) ? TRUE : FALSE;
}

BOOL MakeSureDirectoryPathExists(const char* path) {
    std::string posix = ToPosixPath(path);
    size_t end = posix.rfind('/');
    if (end == std::string::npos) return TRUE;
    for (size_t pos = 1; pos <= end; ++pos) {
        if (posix[pos] != '/') continue;
        std::string prefix = posix.substr(0, pos);
        if (::mkdir(prefix.c_str(), 0777) != 0 && errno != EEXIST) return FALSE;
    }
    struct stat info{};
    return (::stat(posix.substr(0, end + 1).c_str(), &info) == 0 && S_ISDIR(info.st_mode)) ? TRUE : FALSE;
}

void DebugOutput(const char*) {
    // There is no debugger channel here; tests read the trace through the reader's debug sink.
}

}  // namespace sfxfs
