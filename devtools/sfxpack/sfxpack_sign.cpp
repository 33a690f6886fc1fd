#include "devtools/sfxpack/sfxpack_sign.h"

#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <vector>

#ifndef _WIN32
#include <sys/wait.h>
#include <unistd.h>
#endif

#include "common/format.h"
#include "extractor/package/sfx_file.h"
#include "extractor/package/sfx_format.h"

namespace {

bool ReadWhole(const std::string& path, std::string& bytes) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return !in.bad();
}

// The certificate table of `bytes`, when its PE header names one.
bool FindCertificateTable(const std::string& bytes, uint32_t* offset, uint32_t* size) {
    const uint8_t* data = reinterpret_cast<const uint8_t*>(bytes.data());
    uint32_t peOffset = 0;
    if (!sfx::PeDosHeaderOffset(data, bytes.size(), &peOffset) || peOffset >= bytes.size()) return false;
    return sfx::PeCertificateTable(data + peOffset, bytes.size() - peOffset, offset, size);
}

#ifndef _WIN32
// Runs `argv` (no shell involved) and answers its exit status, -1 when it could not run.
int Run(const std::vector<std::string>& argv) {
    std::vector<char*> args;
    for (const std::string& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
    args.push_back(nullptr);
    pid_t child = fork();
    if (child < 0) return -1;
    if (child == 0) {
        std::freopen("/dev/null", "w", stdout);
        execvp(args[0], args.data());
        _exit(127);
    }
    int status = 0;
    if (waitpid(child, &status, 0) != child || !WIFEXITED(status)) return -1;
    return WEXITSTATUS(status);
}
#endif

}  // namespace

BOOL SignPackageFile(const std::string& path, const std::string& pfx, const std::string& passwordFile,
                     std::string& out, std::string& error) {
#ifdef _WIN32
    (void)path, (void)pfx, (void)passwordFile, (void)out;
    error = "signing needs osslsigncode: use the native sfxpack";
    return FALSE;
#else
    std::string signedPath = path + ".signing";
    std::vector<std::string> argv{"osslsigncode", "sign", "-pkcs12", pfx};
    if (!passwordFile.empty()) argv.insert(argv.end(), {"-readpass", passwordFile});
    argv.insert(argv.end(), {"-in", path, "-out", signedPath});
    std::remove(signedPath.c_str());
    int status = Run(argv);
    if (status != 0) {
        std::remove(signedPath.c_str());
        error = status == 127 || status < 0 ? std::string("cannot run osslsigncode")
                                            : common::Format("osslsigncode failed (exit %d)", status);
        return FALSE;
    }
    if (std::rename(signedPath.c_str(), path.c_str()) != 0) {
        error = common::Format("cannot replace \"%s\" by its signed form", path.c_str());
        return FALSE;
    }
    out += common::Format("signed %s\n", path.c_str());
    return TRUE;
#endif
}

BOOL DescribeSignedArea(const std::string& path, std::string& out, std::string& error) {
    std::string bytes;
    if (!ReadWhole(path, bytes)) {
        error = common::Format("cannot read \"%s\"", path.c_str());
        return FALSE;
    }
    uint32_t tableOffset = 0, tableSize = 0;
    if (!FindCertificateTable(bytes, &tableOffset, &tableSize)) {
        out += "unsigned: no certificate table\n";
        return TRUE;
    }
    out += common::Format("signed: certificate table at 0x%X, %u bytes\n", tableOffset, tableSize);
    if (tableOffset > bytes.size()) {
        error = "certificate table lies beyond the end of the file";
        return FALSE;
    }
    std::string signature(sfx::kSignature, sfx::kSignatureLength);
    if (bytes.find(signature, tableOffset) != std::string::npos) {
        error = "the certificate table holds a package signature: bytes added after signing (ignored by Extractor)";
        return FALSE;
    }
    // What the reader reads, from the signed area only.
    CSfxFile sfx;
    if (!sfx.Open(path.c_str()) || !sfx.LoadToc()) {
        error = common::Format("no package inside the signed area: %s", sfx.m_szLastError);
        return FALSE;
    }
    size_t trailerAt = bytes.rfind(signature, tableOffset - sfx::kSignatureLength);
    bool inside = trailerAt != std::string::npos && sfx.m_ullOffsetToTOC < tableOffset;
    for (const auto& entry : sfx.Entries())
        if (entry->m_ullDataOffset > tableOffset || entry->m_ullCompressedSize > tableOffset - entry->m_ullDataOffset)
            inside = false;
    if (!inside) {
        error = "part of the package lies outside the signed area";
        return FALSE;
    }
    out += "package inside the signed area\n";
    return TRUE;
}
