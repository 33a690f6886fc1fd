#include "extractor/package/sfx_format.h"

#include <cctype>
#include <cstring>

namespace sfx {

bool CByteReader::Take(size_t count, const uint8_t** bytes) {
    if (count > m_size - m_pos) return false;
    *bytes = m_data + m_pos;
    m_pos += count;
    return true;
}

bool CByteReader::U16(uint16_t* value) {
    const uint8_t* b;
    if (!Take(2, &b)) return false;
    *value = static_cast<uint16_t>(b[0] | (b[1] << 8));
    return true;
}

bool CByteReader::U32(uint32_t* value) {
    const uint8_t* b;
    if (!Take(4, &b)) return false;
    *value = static_cast<uint32_t>(b[0]) | (static_cast<uint32_t>(b[1]) << 8) | (static_cast<uint32_t>(b[2]) << 16) |
             (static_cast<uint32_t>(b[3]) << 24);
    return true;
}

bool CByteReader::U64(uint64_t* value) {
    // Two 32-bit halves, low half first.
    const uint8_t* b;
    if (!Take(8, &b)) return false;
    uint64_t result = 0;
    for (int i = 7; i >= 0; --i) result = (result << 8) | b[i];
    *value = result;
    return true;
}

void CByteWriter::U16(uint16_t value) {
    m_bytes += static_cast<char>(value & 0xFF);
    m_bytes += static_cast<char>(value >> 8);
}

void CByteWriter::U32(uint32_t value) {
    for (int i = 0; i < 4; ++i) m_bytes += static_cast<char>((value >> (8 * i)) & 0xFF);
}

void CByteWriter::U64(uint64_t value) {
    for (int i = 0; i < 8; ++i) m_bytes += static_cast<char>((value >> (8 * i)) & 0xFF);
}

void CByteWriter::Bytes(const void* data, size_t size) { m_bytes.append(static_cast<const char*>(data), size); }

void CByteWriter::ZString(const std::string& text) {
    m_bytes.append(text.c_str(), std::strlen(text.c_str()));
    m_bytes += '\0';
}

void ReadEntryFields(CByteReader& reader, CSrcFileInfo* entry) {
    uint64_t time;
    if (!reader.U64(&entry->m_ullFileSize)) return;
    if (!reader.U64(&entry->m_ullCompressedSize)) return;
    if (!reader.U64(&time)) return;
    entry->m_ftLastWrite = FileTimeFromU64(time);
    if (!reader.U64(&time)) return;
    entry->m_ftCreation = FileTimeFromU64(time);
    if (!reader.U32(&entry->m_dwAttributes)) return;
    if (!reader.U64(&entry->m_ullDataOffset)) return;
    if (!reader.U32(&entry->m_dwPlatform)) return;
}

void WriteEntryFields(CByteWriter& writer, const CSrcFileInfo& entry) {
    writer.U64(entry.m_ullFileSize);
    writer.U64(entry.m_ullCompressedSize);
    writer.U64(FileTimeToU64(entry.m_ftLastWrite));
    writer.U64(FileTimeToU64(entry.m_ftCreation));
    writer.U32(entry.m_dwAttributes);
    writer.U64(entry.m_ullDataOffset);
    writer.U32(entry.m_dwPlatform);
}

void WriteEntryRecord(CByteWriter& writer, const CSrcFileInfo& entry) {
    size_t length = strnlen(entry.m_szFileName, sizeof entry.m_szFileName - 1);
    writer.ZString(std::string(entry.m_szFileName, length));
    WriteEntryFields(writer, entry);
}

void WriteTocHeader(CByteWriter& writer, uint32_t flags, uint32_t reserved, const std::string commands[kCommandCount],
                    uint32_t count) {
    writer.U32(kTocSignature);
    writer.U32(flags);
    writer.U32(reserved);
    for (size_t i = 0; i < kCommandCount; ++i) writer.ZString(commands[i]);
    writer.U32(count);
}

void WriteTrailer(CByteWriter& writer, uint64_t offsetToToc) {
    writer.U64(offsetToToc);
    writer.U16(kHeaderVersion);
    writer.Bytes(kSignature, kSignatureLength);
}

namespace {

bool IsDeviceName(const char* name) {
    // Windows maps these names to devices in any folder and with any extension.
    std::string stem;
    for (const char* p = name; *p && *p != '.'; ++p) stem += static_cast<char>(std::toupper(static_cast<unsigned char>(*p)));
    while (!stem.empty() && stem.back() == ' ') stem.pop_back();
    static const char* const kDevices[] = {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$"};
    for (const char* device : kDevices)
        if (stem == device) return true;
    if (stem.size() == 4 && (stem.compare(0, 3, "COM") == 0 || stem.compare(0, 3, "LPT") == 0) && stem[3] >= '0' &&
        stem[3] <= '9')
        return true;
    return false;
}

}  // namespace

bool IsPlainFileName(const char* name) {
    if (!name || !*name) return false;
    size_t length = strnlen(name, kNameFieldLimit);
    if (length >= kNameFieldLimit) return false;
    bool onlyDotsAndBlanks = true;
    for (const char* p = name; *p; ++p) {
        unsigned char c = static_cast<unsigned char>(*p);
        if (c < 0x20 || std::strchr("<>:\"/\\|?*", c)) return false;
        if (c != '.' && c != ' ') onlyDotsAndBlanks = false;
    }
    if (onlyDotsAndBlanks) return false;
    return !IsDeviceName(name);
}

bool PeDosHeaderOffset(const uint8_t* dosHeader, size_t size, uint32_t* peOffset) {
    return dz_pe_header_offset(dosHeader, size, peOffset) != 0;
}

bool PeMachine(const uint8_t* peHeader, size_t size, uint16_t* machine) {
    if (size < 4 + 2 || std::memcmp(peHeader, "PE\0\0", 4) != 0) return false;
    CByteReader reader(peHeader + 4, 2);
    return reader.U16(machine);
}

bool PeCertificateTable(const uint8_t* peHeader, size_t size, uint32_t* tableOffset, uint32_t* tableSize) {
    return dz_pe_certificate_table(peHeader, size, tableOffset, tableSize) != 0;
}

}  // namespace sfx
