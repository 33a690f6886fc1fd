#include "tests/support/output_view_model.h"

#include <algorithm>
#include <cstring>

int COutputViewModel::GetLineCount() const {
    int count = 1;
    for (size_t at = m_strText.find("\r\n"); at != std::string::npos; at = m_strText.find("\r\n", at + 2)) ++count;
    return count;
}

int COutputViewModel::LineIndex(int line) const {
    if (line < 0) return -1;
    size_t start = 0;
    for (int i = 0; i < line; ++i) {
        size_t at = m_strText.find("\r\n", start);
        if (at == std::string::npos) return -1;
        start = at + 2;
    }
    return static_cast<int>(start);
}

void COutputViewModel::GetSel(int& start, int& end) const {
    start = m_nSelStart;
    end = m_nSelEnd;
}

void COutputViewModel::SetSel(int start, int end) {
    // The control treats a negative end as "to the end of the text".
    int length = GetTextLength();
    if (end < 0) end = length;
    start = std::clamp(start < 0 ? 0 : start, 0, length);
    end = std::clamp(end, 0, length);
    m_nSelStart = std::min(start, end);
    m_nSelEnd = std::max(start, end);
}

void COutputViewModel::ReplaceSel(const char* text) {
    size_t length = text ? std::strlen(text) : 0;
    m_strText.replace(static_cast<size_t>(m_nSelStart), static_cast<size_t>(m_nSelEnd - m_nSelStart), text ? text : "",
                      length);
    m_nSelStart += static_cast<int>(length);
    m_nSelEnd = m_nSelStart;
}

void COutputViewModel::SetText(const std::string& text) {
    m_strText = text;
    m_nSelStart = m_nSelEnd = 0;
}
