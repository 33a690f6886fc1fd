// logwatch: holds a file open the way log viewers and editors do (read and write access,
// sharing reading, writing and deletion with everyone) for its whole run, and copies every
// byte appended to it into a second file, as a technician watching a log would see it.
//
//   logwatch --file FILE --copy COPY --stop STOPFILE [--timeout MS]
//
// FILE is opened, and created empty when missing, before anything else; COPY is created once
// FILE is open, so a caller that sees COPY knows the file is held. Every 20 ms what was
// appended since is added to COPY (flushed at once). When STOPFILE exists, a last read follows
// and logwatch ends with 0; when the bound passes (default 120000 ms) it ends with 1; a usage
// or open error ends it with 2.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "framework/unique_handle_win32.h"

namespace {

constexpr DWORD kIntervalMs = 20;

bool Exists(const std::string& path) { return ::GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

// Copies everything from the handle's position to the current end of the file into `copy`.
bool CopyAppended(HANDLE file, FILE* copy) {
    char buffer[4096];
    for (;;) {
        DWORD got = 0;
        if (!::ReadFile(file, buffer, sizeof buffer, &got, nullptr)) return false;
        if (got == 0) return true;
        std::fwrite(buffer, 1, got, copy);
        std::fflush(copy);
    }
}

}  // namespace

int main(int argc, char** argv) {
    std::string path, copyPath, stopPath;
    unsigned long timeoutMs = 120000;
    for (int i = 1; i + 1 < argc; i += 2) {
        if (!std::strcmp(argv[i], "--file")) path = argv[i + 1];
        else if (!std::strcmp(argv[i], "--copy")) copyPath = argv[i + 1];
        else if (!std::strcmp(argv[i], "--stop")) stopPath = argv[i + 1];
        else if (!std::strcmp(argv[i], "--timeout")) timeoutMs = std::strtoul(argv[i + 1], nullptr, 10);
    }
    if (path.empty() || copyPath.empty() || stopPath.empty()) {
        std::fputs("usage: logwatch --file FILE --copy COPY --stop STOPFILE [--timeout MS]\n", stderr);
        return 2;
    }
    fw::UniqueFile file(::CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_ALWAYS,
                                      FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) {
        std::fprintf(stderr, "logwatch: cannot open %s: error %lu\n", path.c_str(), ::GetLastError());
        return 2;
    }
    FILE* copy = std::fopen(copyPath.c_str(), "wb");
    if (!copy) {
        std::fprintf(stderr, "logwatch: cannot create %s\n", copyPath.c_str());
        return 2;
    }
    const ULONGLONG deadline = ::GetTickCount64() + timeoutMs;
    for (;;) {
        const bool stopping = Exists(stopPath);
        if (!CopyAppended(file.get(), copy)) {
            std::fprintf(stderr, "logwatch: read failed: error %lu\n", ::GetLastError());
            std::fclose(copy);
            return 2;
        }
        if (stopping) break;
        if (::GetTickCount64() >= deadline) {
            std::fclose(copy);
            return 1;
        }
        ::Sleep(kIntervalMs);
    }
    std::fclose(copy);
    return 0;
}
