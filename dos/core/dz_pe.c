#include "dz_pe.h"

#include "dz_toc.h"

int dz_pe_header_offset(const uint8_t* dosHeader, size_t size, uint32_t* peOffset) {
    if (size < DZ_DOS_HEADER_BYTES || dosHeader[0] != 'M' || dosHeader[1] != 'Z') return 0;
    *peOffset = dz_le32(dosHeader + 0x3C);
    return 1;
}

int dz_pe_certificate_table(const uint8_t* peHeader, size_t size, uint32_t* tableOffset, uint32_t* tableSize) {
    enum { OPTIONAL_AT = 4 + 20, SECURITY_INDEX = 4 };
    if (size < OPTIONAL_AT + 2 || peHeader[0] != 'P' || peHeader[1] != 'E' || peHeader[2] || peHeader[3]) return 0;
    uint16_t optionalSize = dz_le16(peHeader + 4 + 16), magic = dz_le16(peHeader + OPTIONAL_AT);
    /* PE32 and PE32+ differ in where the directory count and the directories begin. */
    size_t countAt = magic == 0x10B ? 92 : magic == 0x20B ? 108 : 0;
    if (countAt == 0) return 0;
    size_t entryAt = countAt + 4 + SECURITY_INDEX * 8;
    if (optionalSize < entryAt + 8 || size < OPTIONAL_AT + entryAt + 8) return 0;
    if (dz_le32(peHeader + OPTIONAL_AT + countAt) <= SECURITY_INDEX) return 0;
    uint32_t offset = dz_le32(peHeader + OPTIONAL_AT + entryAt), length = dz_le32(peHeader + OPTIONAL_AT + entryAt + 4);
    if (offset == 0 || length == 0) return 0;
    *tableOffset = offset;
    *tableSize = length;
    return 1;
}

uint64_t dz_signature_scan_end(int hasTable, uint32_t tableOffset, uint64_t fileSize) {
    if (!hasTable || tableOffset >= fileSize) return fileSize;
    /* The twelfth byte must lie before the table too. */
    return tableOffset - 1;
}
