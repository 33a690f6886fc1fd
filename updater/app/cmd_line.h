#pragma once
// The parsed command line: an ordered list of options ("/Name"), each with the values written
// after it, and the arguments it was made of, from which the option settings are read by the
// rules the DOS program shares (dos/core/dz_options.h). Lives only while start-up reads them.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "common/portable_types.h"
#include "dos/core/dz_options.h"

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

    // Every argument of the last Parse, in order, for the shared option rules; valid while this
    // object lives and is not parsed again.
    dz_args Args() const { return dz_args{m_argItems.data(), static_cast<unsigned>(m_argItems.size())}; }

private:
    std::vector<std::unique_ptr<CCmdNode>> m_nodes;
    std::vector<std::string> m_args;
    std::vector<const char*> m_argItems;
};

// Converts text to an unsigned 32-bit number with the rules of CCmdLine::GetValueAsNumber.
uint32_t ParseUnsigned32(const std::string& text, int radix);
