// Fuzz target: the DOS program's reading of settings.ini and of tool output on arbitrary bytes.
// The input is a settings.ini text for the secure-flash choice (with a running version taken
// from its first bytes) and, cut into chunks of a size from its first byte, the output of each
// kind of tool run. Beyond the sanitizers' checks, it aborts when a text the program keeps is
// not terminated inside its buffer or the chosen image is not what settings.ini names.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "dos/core/dz_secure.h"
#include "dos/core/dz_toolout.h"

namespace {

void Discard(void*, const char* tag, const char* text) {
    if (!tag || !text) std::abort();
}

void ExpectTerminated(const char* text, size_t size) {
    if (!std::memchr(text, '\0', size)) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);  // up to its first zero, as read
    const std::string current = text.substr(0, size > 0 ? data[0] % 6 : 0);

    char image[80] = "IMAGE.ROM";
    int answer = dz_select_secure_flash(text.c_str(), current.c_str(), image, sizeof image, Discard, nullptr);
    ExpectTerminated(image, sizeof image);
    if (answer < -1 || answer > 1) std::abort();
    if (answer != 0 && std::strcmp(image, "IMAGE.ROM") != 0) std::abort();

    const size_t piece = size ? 1u + data[0] % DZ_TOOL_CHUNK : 1u;
    for (int kind = DZ_TOOL_BIOS; kind <= DZ_TOOL_ME_FLASH; ++kind) {
        static dz_tool_output out;
        out = dz_tool_output{};
        out.meUpdV1 = size > 1 && (data[1] & 1);
        for (size_t at = 0; at < size; at += piece) {
            std::string chunk(reinterpret_cast<const char*>(data) + at, size - at < piece ? size - at : piece);
            dz_tool_chunk(&out, chunk.c_str(), kind);
            ExpectTerminated(out.biosLine, sizeof out.biosLine);
            ExpectTerminated(out.meLine, sizeof out.meLine);
            ExpectTerminated(out.errorText, sizeof out.errorText);
            ExpectTerminated(out.meVersion, sizeof out.meVersion);
        }
        if (out.meVersion[0] && !out.meVersionFound) std::abort();
    }
    return 0;
}
