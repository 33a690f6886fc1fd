#include "updater/app/cmd_line.h"

#include <cstring>

namespace {

char FoldAscii(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

int DigitValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'z') return c - 'a' + 10;
    if (c >= 'A' && c <= 'Z') return c - 'A' + 10;
    return 99;
}

bool IsCSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r'; }

}  // namespace

bool OptionNameEquals(const std::string& a, const char* b) {
    size_t length = std::strlen(b);
    if (a.size() != length) return false;
    for (size_t i = 0; i < length; ++i)
        if (FoldAscii(a[i]) != FoldAscii(b[i])) return false;
    return true;
}

uint32_t ParseUnsigned32(const std::string& text, int radix) {
    if (radix < 2 || radix > 36) return 0;
    size_t i = 0;
    while (i < text.size() && IsCSpace(text[i])) ++i;
    // A "0x" prefix in radix 16; whatever follows it, the digits decide the value.
    if (radix == 16 && i + 1 < text.size() && text[i] == '0' && (text[i + 1] == 'x' || text[i + 1] == 'X')) i += 2;
    uint64_t value = 0;
    for (; i < text.size(); ++i) {
        int digit = DigitValue(text[i]);
        if (digit >= radix) break;
        value = value * static_cast<uint64_t>(radix) + static_cast<uint64_t>(digit);
        if (value > 0xFFFFFFFFull) value = 0x100000000ull;  // saturate, keep consuming digits
    }
    return value > 0xFFFFFFFFull ? 0xFFFFFFFFu : static_cast<uint32_t>(value);
}

int CCmdLine::Parse(const char* tail, Splitter split) {
    m_nodes.clear();
    if (!tail || !*tail || !split) return 0;
    std::vector<std::string> args;
    if (!split(tail, args)) return 0;

    CCmdNode* current = nullptr;
    for (const std::string& arg : args) {
        if (!arg.empty() && arg[0] == '/') {
            m_nodes.push_back(std::make_unique<CCmdNode>());
            current = m_nodes.back().get();
            current->m_strName = arg.substr(1);
        } else if (current) {
            current->m_arrValues.push_back(arg);
        }
        // Arguments before the first option belong to nothing and are dropped.
    }
    return m_nodes.empty() ? 0 : 1;
}

int CCmdLine::Find(const char* name, int start) const {
    if (!name) return -1;
    for (int i = start < 0 ? 0 : start; i < GetCount(); ++i)
        if (OptionNameEquals(m_nodes[static_cast<size_t>(i)]->m_strName, name)) return i;
    return -1;
}

std::string CCmdLine::GetValue(int node, int value) const {
    if (node < 0 || node >= GetCount() || value < 0) return std::string();
    const auto& values = m_nodes[static_cast<size_t>(node)]->m_arrValues;
    if (static_cast<size_t>(value) >= values.size()) return std::string();
    return values[static_cast<size_t>(value)];
}

uint32_t CCmdLine::GetValueAsNumber(int node, int value, int radix) const {
    return ParseUnsigned32(GetValue(node, value), radix);
}
