#include "tests/support/dmi_body.h"

#include <cstring>

namespace {

// The smallest formatted area: type, length and handle.
constexpr unsigned kHeaderSize = 4;

}  // namespace

void CDmiBody::Reset() {
    std::memset(m_entryPoint, 0, sizeof m_entryPoint);
    m_pTable = nullptr;
}

void CDmiBody::SetTableLength(uint32_t length) {
    m_entryPoint[kTableLengthOffset] = static_cast<unsigned char>(length & 0xFF);
    m_entryPoint[kTableLengthOffset + 1] = static_cast<unsigned char>((length >> 8) & 0xFF);
}

int CDmiBody::SetTable(const unsigned char* table) {
    m_pTable = table;
    return 0;
}

uint16_t CDmiBody::TableLength() const {
    return static_cast<uint16_t>(m_entryPoint[kTableLengthOffset] | (m_entryPoint[kTableLengthOffset + 1] << 8));
}

int CDmiBody::NextStructure(uint16_t start, uint8_t* type, uint8_t* formattedLength, uint16_t* handle,
                            uint16_t* end) const {
    if (!m_pTable) return -1;
    const uint32_t length = TableLength();

    enum class State { Type, Length, HandleLow, HandleHigh, Strings, EndMark };
    State state = State::Type;
    // Positions are kept in 32 bits so that start + formatted length cannot wrap around.
    uint32_t position = start;
    uint16_t handleValue = 0;
    while (position < length) {
        const unsigned char byte = m_pTable[position];
        switch (state) {
        case State::Type:
            *type = byte;
            state = State::Length;
            ++position;
            break;
        case State::Length:
            *formattedLength = byte;
            state = State::HandleLow;
            ++position;
            break;
        case State::HandleLow:
            handleValue = byte;
            state = State::HandleHigh;
            ++position;
            break;
        case State::HandleHigh:
            handleValue = static_cast<uint16_t>(handleValue + byte * 256);
            *handle = handleValue;
            // A formatted area shorter than its own header means the chain is broken: jumping
            // back into the header would read the header as strings.
            if (*formattedLength < kHeaderSize) {
                *end = static_cast<uint16_t>(position);
                return -2;
            }
            position = static_cast<uint32_t>(start) + *formattedLength;
            state = State::Strings;
            break;
        case State::Strings:
            if (byte == 0 && position + 1 < length && m_pTable[position + 1] == 0) state = State::EndMark;
            ++position;
            break;
        case State::EndMark:
            *end = static_cast<uint16_t>(position);
            return 0;
        }
    }
    // A jump past the end reports the end of the table as the place where the search stopped.
    *end = static_cast<uint16_t>(position < length ? position : length);
    return -2;
}

int CDmiBody::ReadByte(uint16_t position, uint8_t offset, uint8_t* value) const {
    if (!m_pTable) return -1;
    const uint32_t at = static_cast<uint32_t>(position) + offset;
    if (at >= TableLength()) return -2;
    *value = m_pTable[at];
    return 0;
}

int CDmiBody::GetField(uint16_t position, uint8_t offset, void* out, uint8_t count) const {
    if (!m_pTable) return -1;
    const uint32_t at = static_cast<uint32_t>(position) + offset;
    // "At or past": a field that would end on the table's very last byte is refused as well.
    if (at + count >= TableLength()) return -2;
    std::memcpy(out, m_pTable + at, count);
    return 0;
}

int CDmiBody::ReadWord(uint16_t position, uint8_t offset, uint16_t* value) const {
    unsigned char bytes[2];
    int result = GetField(position, offset, bytes, 2);
    if (result == 0) *value = static_cast<uint16_t>(bytes[0] | (bytes[1] << 8));
    return result;
}

const char* CDmiBody::GetString(uint16_t position, uint8_t offset) const {
    uint8_t number = 0;
    if (ReadByte(position, offset, &number) != 0 || number == 0) return nullptr;
    uint8_t formattedLength = 0;
    if (ReadByte(position, 1, &formattedLength) != 0 || formattedLength < kHeaderSize) return nullptr;

    const uint32_t length = TableLength();
    uint32_t at = static_cast<uint32_t>(position) + formattedLength;
    for (unsigned index = 1; index < number; ++index) {
        if (at >= length) return nullptr;
        if (m_pTable[at] == 0) return nullptr;  // an empty string: the set ended early
        while (at < length && m_pTable[at] != 0) ++at;
        ++at;  // its NUL
    }
    if (at >= length) return nullptr;
    // The string must end inside the table, or reading it would run past the end.
    if (!std::memchr(m_pTable + at, 0, length - at)) return nullptr;
    return reinterpret_cast<const char*>(m_pTable + at);
}
