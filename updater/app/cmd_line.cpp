#include "updater/app/cmd_line.h"

#include <utility>

#include "dos/core/dz_text.h"

uint32_t ParseUnsigned32(const std::string& text, int radix) {
    return radix < 2 ? 0 : dz_unsigned_value(text.c_str(), static_cast<unsigned>(radix));
}

int CCmdLine::Parse(const char* tail, Splitter split) {
    m_nodes.clear();
    m_args.clear();
    m_argItems.clear();
    if (!tail || !*tail || !split) return 0;
    std::vector<std::string> args;
    if (!split(tail, args)) return 0;
    m_args = std::move(args);
    for (const std::string& arg : m_args) m_argItems.push_back(arg.c_str());

    CCmdNode* current = nullptr;
    for (const std::string& arg : m_args) {
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

// Option names compare by ASCII folding, which equals the multi-byte aware comparison here: a
// name can only equal an all-ASCII option name if it has no lead bytes.
int CCmdLine::Find(const char* name, int start) const {
    if (!name) return -1;
    for (int i = start < 0 ? 0 : start; i < GetCount(); ++i)
        if (dz_stricmp(m_nodes[static_cast<size_t>(i)]->m_strName.c_str(), name) == 0) return i;
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
