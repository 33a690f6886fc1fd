#include "devtools/uidriver/uidriver_options.h"

#include <cstdio>
#include <cstdlib>
#include <utility>

#include "devtools/shared/hex_text.h"

std::string DriverOptions::Get(const std::string& name, const std::string& fallback) const {
    auto it = values.find(name);
    return it == values.end() ? fallback : it->second;
}

bool DriverOptions::GetNumber(const std::string& name, unsigned long long fallback, unsigned long long& out) const {
    auto it = values.find(name);
    if (it == values.end()) {
        out = fallback;
        return true;
    }
    const std::string& text = it->second;
    if (text.empty()) return false;
    char* end = nullptr;
    out = std::strtoull(text.c_str(), &end, 0);
    return *end == '\0';
}

bool ParseDriverOptions(int argc, char** argv, const std::set<std::string>& switches, DriverOptions& options,
                        std::string& error) {
    if (argc < 2) {
        error = "no verb";
        return false;
    }
    options.verb = argv[1];
    for (int i = 2; i < argc; ++i) {
        std::string arg = argv[i];
        if (arg.size() < 3 || arg.compare(0, 2, "--") != 0) {
            error = "unexpected argument " + arg;
            return false;
        }
        std::string name = arg.substr(2);
        if (switches.count(name) != 0) {
            options.flags.insert(name);
            continue;
        }
        if (i + 1 >= argc) {
            error = "missing value after " + arg;
            return false;
        }
        std::string value = argv[++i];
        if (name.size() > 4 && name.compare(name.size() - 4, 4, "-hex") == 0) {
            name.resize(name.size() - 4);
            if (!devtools::DecodeHex(value, value)) {
                error = "bad hex value after " + arg;
                return false;
            }
        }
        options.values[name] = value;
    }
    return true;
}

std::string QuoteText(const std::string& text) {
    std::string out = "\"";
    for (unsigned char c : text) {
        switch (c) {
        case '\\': out += "\\\\"; break;
        case '"': out += "\\\""; break;
        case '\r': out += "\\r"; break;
        case '\n': out += "\\n"; break;
        case '\t': out += "\\t"; break;
        default:
            if (c < 0x20 || c >= 0x7F) {
                char hex[8];
                std::snprintf(hex, sizeof(hex), "\\x%02X", c);
                out += hex;
            } else {
                out.push_back(static_cast<char>(c));
            }
        }
    }
    out += "\"";
    return out;
}

std::string StripMnemonic(const std::string& text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '&') {
            if (i + 1 < text.size() && text[i + 1] == '&') {
                out.push_back('&');
                ++i;
            }
            continue;
        }
        out.push_back(text[i]);
    }
    return out;
}
