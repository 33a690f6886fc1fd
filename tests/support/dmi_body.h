#pragma once
// CDmiBody: a reader over one SMBIOS structure table that it does not own. Every position is a
// 16-bit offset from the table's first byte, and every read is checked against the table length,
// so a damaged or hostile table can end a walk early but never make it read outside the table.

#include <cstdint>

class CDmiBody {
public:
    CDmiBody() { Reset(); }

    // Clears the entry-point image and the table address.
    void Reset();
    // Only the low 16 bits count: the reader covers tables of up to 65,535 bytes.
    void SetTableLength(uint32_t length);
    int SetTable(const unsigned char* table);

    uint16_t TableLength() const;

    // Finds the structure that starts at `start`. 0: found, `end` is the position of the last NUL
    // of its string set; -1: no table; -2: the table ended first, or the structure is damaged
    // (a formatted length below 4), `end` holding the position where the search stopped.
    int NextStructure(uint16_t start, uint8_t* type, uint8_t* formattedLength, uint16_t* handle,
                      uint16_t* end) const;

    // 0; -1 no table; -2 when position + offset is at or past the table length.
    int ReadByte(uint16_t position, uint8_t offset, uint8_t* value) const;
    // 0 and `count` bytes copied; -1 no table; -2 when position + offset + count is at or past the
    // table length.
    int GetField(uint16_t position, uint8_t offset, void* out, uint8_t count) const;
    // Little-endian WORD; GetField with a count of 2.
    int ReadWord(uint16_t position, uint8_t offset, uint16_t* value) const;

    // The string whose number is stored at position + offset, NUL-terminated inside the table;
    // null when the number is 0, past the string set, or the string runs off the table's end.
    const char* GetString(uint16_t position, uint8_t offset) const;

private:
    // An SMBIOS 2.x entry point; only Structure Table Length (WORD at 16h) is ever set.
    static constexpr unsigned kEntryPointSize = 32;
    static constexpr unsigned kTableLengthOffset = 0x16;

    unsigned char m_entryPoint[kEntryPointSize];
    const unsigned char* m_pTable;
};
