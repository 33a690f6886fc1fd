// Fuzz target: Open + LoadToc + extraction of an arbitrary file into a scratch folder. Beyond
// the sanitizers' checks, it aborts when anything appears outside the extraction folder or
// when an extracted name is not a plain file name.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <signal.h>
#include <unistd.h>

#include "extractor/package/sfx_debug.h"
#include "extractor/package/sfx_file.h"
#include "extractor/package/sfx_format.h"

namespace fs = std::filesystem;

namespace {

const fs::path& Root() {
    static const fs::path root = [] {
        // libFuzzer ends without running exit handlers: clear folders of earlier runs whose
        // process is gone instead.
        std::error_code ec;
        for (const auto& item : fs::directory_iterator(fs::temp_directory_path(), ec)) {
            std::string name = item.path().filename().string();
            const std::string prefix = "sfx_reader_fuzz-";
            if (name.compare(0, prefix.size(), prefix) != 0) continue;
            long pid = std::strtol(name.c_str() + prefix.size(), nullptr, 10);
            if (pid > 0 && ::kill(static_cast<pid_t>(pid), 0) != 0) fs::remove_all(item.path(), ec);
        }
        fs::path path = fs::temp_directory_path() / ("sfx_reader_fuzz-" + std::to_string(::getpid()));
        fs::remove_all(path);
        fs::create_directories(path / "out");
        SetSfxDebugSink([](const char*) {});
        return path;
    }();
    return root;
}

void Check(bool condition, const char* what) {
    if (!condition) {
        std::fprintf(stderr, "sfx_reader_fuzz: %s\n", what);
        std::abort();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const fs::path& root = Root();
    const fs::path package = root / "pkg.bin";
    const fs::path out = root / "out";
    {
        std::ofstream file(package, std::ios::binary | std::ios::trunc);
        file.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    }
    // libFuzzer reads relative corpus paths after the first run: keep its current directory.
    const fs::path previous = fs::current_path();
    fs::current_path(out);
    {
        CSfxFile sfx;
        if (sfx.Open(package.c_str())) {
            if (sfx.LoadToc()) {
                (void)sfx.ExtractAll(0xFF);
                // Every record once more on its own, also those ExtractAll's first failure skipped.
                for (const auto& entry : sfx.Entries()) (void)sfx.ExtractOne(entry.get());
            }
            sfx.Close();
            (void)sfx.Open(package.c_str());  // reopen with the kept list
            (void)sfx.ExtractAll(6);
        }
        Check(sfx.m_szLastError[sizeof sfx.m_szLastError - 1] == '\0', "last error not terminated");
    }
    fs::current_path(previous);

    for (const auto& item : fs::directory_iterator(root))
        Check(item.path() == package || item.path() == out, "something was written beside the extraction folder");
    for (const auto& item : fs::directory_iterator(out)) {
        Check(item.is_regular_file(), "extraction made something that is not a file");
        Check(sfx::IsPlainFileName(item.path().filename().c_str()), "extracted name is not plain");
        fs::permissions(item.path(), fs::perms::owner_all, fs::perm_options::add);
        fs::remove(item.path());
    }
    return 0;
}
