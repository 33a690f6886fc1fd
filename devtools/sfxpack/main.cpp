// sfxpack: builds, lists, verifies and extracts Extractor packages. See README.md.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "devtools/sfxpack/manifest.h"
#include "devtools/sfxpack/sfxpack_ops.h"
#include "devtools/sfxpack/sfxpack_sign.h"

namespace {

int Usage() {
    std::fputs("usage: sfxpack build PROGRAM MANIFEST OUTPUT [--sign PFX [--password-file FILE]]\n"
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
    if (command == "build" && (argc == 5 || argc == 7 || argc == 9)) {
        // Signing comes last, on the finished file, so that the signature covers all of it.
        std::string pfx, passwordFile;
        for (int i = 5; i + 1 < argc; i += 2) {
            if (std::strcmp(argv[i], "--sign") == 0 && pfx.empty()) {
                pfx = argv[i + 1];
            } else if (std::strcmp(argv[i], "--password-file") == 0 && passwordFile.empty()) {
                passwordFile = argv[i + 1];
            } else {
                return Usage();
            }
        }
        if (pfx.empty() && !passwordFile.empty()) return Usage();
        ok = BuildPackage(argv[2], argv[3], argv[4], out, error);
        if (ok && !pfx.empty()) ok = SignPackageFile(argv[4], pfx, passwordFile, out, error);
        if (ok && !pfx.empty()) ok = DescribeSignedArea(argv[4], out, error);
    } else if (command == "list" && argc == 3) {
        ok = ListPackage(argv[2], out, error);
    } else if (command == "verify" && argc == 3) {
        ok = VerifyPackage(argv[2], out, error);
        std::string signedError;
        if (!DescribeSignedArea(argv[2], out, signedError)) {
            out += "FAILED signature: " + signedError + "\n";
            if (ok) error = signedError;
            ok = FALSE;
        }
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
