#pragma once
// The parsed command line: an ordered list of options ("/Name"), each with the values written
// after it. Lives only while start-up reads the option settings from it.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "common/portable_types.h"

class CObject {
public:
    virtual ~CObject() = default;
};

class CCmdNode : public CObject {
public:
    std::string m_strName;                 // without the leading slash, as typed
    std::vector<std::string> m_arrValues;  // in command-line order
};

class CCmdLine {
public:
    // Splits a command-line tail into arguments; FALSE when it cannot.
    using Splitter = BOOL (*)(const std::string& tail, std::vector<std::string>& args);

    // 1 when at least one option was found; 0 for an empty tail, a tail that cannot be split
    // or one without options.
    int Parse(const char* tail, Splitter split);

    // Index of the first node at or after `start` named `name` (case-insensitive), or -1.
    int Find(const char* name, int start = 0) const;
    // The value, or "" when the node or value does not exist.
    std::string GetValue(int node, int value) const;
    // The value as an unsigned 32-bit number in `radix`: leading blanks skipped, stops at the
    // first non-digit, "0x" accepted in radix 16, saturates at 0xFFFFFFFF; "" gives 0.
    uint32_t GetValueAsNumber(int node, int value, int radix) const;

    int GetCount() const { return static_cast<int>(m_nodes.size()); }
    const CCmdNode& GetNode(int index) const { return *m_nodes[static_cast<size_t>(index)]; }

private:
    std::vector<std::unique_ptr<CCmdNode>> m_nodes;
};

// Case-insensitive comparison of option names. Byte-wise ASCII folding equals the multi-byte
// aware comparison here: a name can only equal an all-ASCII option name if it has no lead bytes.
bool OptionNameEquals(const std::string& a, const char* b);

// Converts text to an unsigned 32-bit number with the rules of CCmdLine::GetValueAsNumber.
uint32_t ParseUnsigned32(const std::string& text, int radix);
