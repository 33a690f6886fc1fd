#pragma once
// Hex-encoded arguments of the end-to-end tools: the harness passes exact bytes this way so that
// Wine's rebuilding of a command line cannot change them.

#include <string>
#include <utility>

namespace devtools {

inline int HexDigitValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// Decodes pairs of hex digits; false on an odd length or a non-hex character. `out` may be the
// same string as `hex`: the result is built apart and assigned last.
inline bool DecodeHex(const std::string& hex, std::string& out) {
    if (hex.size() % 2 != 0) return false;
    std::string decoded;
    decoded.reserve(hex.size() / 2);
    for (size_t i = 0; i < hex.size(); i += 2) {
        int hi = HexDigitValue(hex[i]);
        int lo = HexDigitValue(hex[i + 1]);
        if (hi < 0 || lo < 0) return false;
        decoded.push_back(static_cast<char>(hi * 16 + lo));
    }
    out = std::move(decoded);
    return true;
}

}  // namespace devtools
