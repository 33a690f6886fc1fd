// sfxpack: builds, lists, verifies and extracts Extractor packages. See README.md.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "devtools/sfxpack/manifest.h"
#include "devtools/sfxpack/sfxpack_ops.h"

namespace {

int Usage() {
    std::fputs("usage: sfxpack build PROGRAM MANIFEST OUTPUT\n"
               "       sfxpack list PACKAGE\n"
               "       sfxpack verify PACKAGE\n"
               "       sfxpack extract PACKAGE DESTINATION [PLATFORM-MASK]   (default mask 0xFF)\n",
               stderr);
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) return Usage();
    std::string command = argv[1];
    std::string out, error;
    BOOL ok;
    if (command == "build" && argc == 5) {
        ok = BuildPackage(argv[2], argv[3], argv[4], out, error);
    } else if (command == "list" && argc == 3) {
        ok = ListPackage(argv[2], out, error);
    } else if (command == "verify" && argc == 3) {
        ok = VerifyPackage(argv[2], out, error);
    } else if (command == "extract" && (argc == 4 || argc == 5)) {
        uint32_t mask = 0xFF;
        if (argc == 5 && !ParsePlatformText(argv[4], &mask)) {
            std::fprintf(stderr, "sfxpack: bad platform mask \"%s\"\n", argv[4]);
            return 2;
        }
        ok = ExtractPackage(argv[2], argv[3], mask, out, error);
    } else {
        return Usage();
    }
    std::fputs(out.c_str(), stdout);
    if (!ok) {
        std::fprintf(stderr, "sfxpack: %s\n", error.c_str());
        return 1;
    }
    return 0;
}
