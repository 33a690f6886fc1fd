// Native stand-in for the log's operating-system calls, so that the log's rules and bytes can
// be tested on Linux. A Windows path's backslashes become slashes; nothing else is translated.
#include "updater/tools/log_io.h"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

std::string ToPosixPath(const std::string& path) {
    std::string result = path;
    for (char& c : result)
        if (c == '\\') c = '/';
    return result;
}

}  // namespace

namespace logio {

BOOL CreateDirectoryChain(const std::string& folder) {
    std::string posix = ToPosixPath(folder);
    size_t end = posix.rfind('/');
    if (end == std::string::npos) return TRUE;
    for (size_t pos = 1; pos <= end; ++pos) {
        if (posix[pos] != '/' && pos != end) continue;
        std::string prefix = posix.substr(0, pos == end ? end : pos);
        if (prefix.empty() || prefix == ".") continue;
        if (::mkdir(prefix.c_str(), 0777) != 0 && errno != EEXIST) return FALSE;
    }
    struct stat info{};
    return (::stat(posix.substr(0, end + 1).c_str(), &info) == 0 && S_ISDIR(info.st_mode)) ? TRUE : FALSE;
}

BOOL AppendInOneWrite(const std::string& path, const std::string& bytes) {
    int fd = ::open(ToPosixPath(path).c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0666);
    if (fd < 0) return FALSE;
    // No sharing: a file another writer holds is not opened.
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        ::close(fd);
        return FALSE;
    }
    size_t done = 0;
    while (done < bytes.size()) {
        ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n <= 0) {
            ::close(fd);
            return FALSE;
        }
        done += static_cast<size_t>(n);
    }
    return ::close(fd) == 0 ? TRUE : FALSE;
}

void DebugOutput(const char*) {
    // There is no debugger channel here; tests read the trace through CLogFile's debug sink.
}

bool ToLocalTime(std::time_t when, std::tm* out) { return ::localtime_r(&when, out) != nullptr; }

}  // namespace logio
