#include "dz_toc.h"

uint16_t dz_le16(const uint8_t* p) { return (uint16_t)(p[0] | (p[1] << 8)); }

uint32_t dz_le32(const uint8_t* p) {
    return (uint32_t)p[0] | ((uint32_t)p[1] << 8) | ((uint32_t)p[2] << 16) | ((uint32_t)p[3] << 24);
}

char dz_signature_byte(unsigned i) {
    static const char kHead[] = DZ_SIGNATURE_HEAD;
    static const char kTail[] = DZ_SIGNATURE_TAIL;
    return i < sizeof kHead - 1 ? kHead[i] : kTail[i - (sizeof kHead - 1)];
}

int dz_read_exact(const dz_source* source, dz_offset offset, uint8_t* into, unsigned want) {
    if (offset > source->size || source->size - offset < want) return 0;
    return source->read_at(source->context, offset, into, want) == (int)want;
}

int dz_read_trailer(const dz_source* source, dz_offset signatureAt, uint16_t* version, dz_offset* tocOffset,
                    dz_offset* trailerAt) {
    uint8_t bytes[DZ_SIGNATURE_LENGTH];
    *version = 0xFFFF;
    if (!dz_read_exact(source, signatureAt, bytes, DZ_SIGNATURE_LENGTH)) return DZ_TRAILER_UNREADABLE;
    for (unsigned i = 0; i < DZ_SIGNATURE_LENGTH; i++)
        if (bytes[i] != (uint8_t)dz_signature_byte(i)) return DZ_TRAILER_MISMATCH;
    *tocOffset = 0;
    *trailerAt = signatureAt >= DZ_TOC_OFFSET_BEFORE_SIGNATURE ? signatureAt - DZ_TOC_OFFSET_BEFORE_SIGNATURE : 0;
    if (signatureAt >= DZ_TOC_OFFSET_BEFORE_SIGNATURE && dz_read_exact(source, *trailerAt, bytes, 8)) {
        uint32_t low = dz_le32(bytes), high = dz_le32(bytes + 4);
#ifdef DZ_DOS
        if (high) *trailerAt = 0; /* beyond what a DOS file can reach: no room for a table */
        *tocOffset = low;
#else
        *tocOffset = ((dz_offset)high << 32) | low;
#endif
    }
    if (signatureAt >= DZ_VERSION_BEFORE_SIGNATURE &&
        dz_read_exact(source, signatureAt - DZ_VERSION_BEFORE_SIGNATURE, bytes, 2))
        *version = dz_le16(bytes);
    return *version == DZ_HEADER_VERSION ? DZ_TRAILER_OK : DZ_TRAILER_VERSION;
}

/* Reads `want` bytes of the table, none of them at or behind its end. */
static int table_bytes(dz_toc* toc, uint8_t* into, unsigned want) {
    if (toc->at > toc->end || toc->end - toc->at < want) return 0;
    if (!dz_read_exact(toc->source, toc->at, into, want)) return 0;
    toc->at += want;
    return 1;
}

int dz_toc_begin(dz_toc* toc, const dz_source* source, dz_offset offset, dz_offset trailerAt) {
    uint8_t word[4];
    toc->source = source;
    toc->at = offset;
    toc->end = trailerAt;
    return table_bytes(toc, word, 4) && dz_le32(word) == DZ_TOC_SIGNATURE;
}

int dz_toc_u32(dz_toc* toc, uint32_t* value) {
    uint8_t word[4];
    if (!table_bytes(toc, word, 4)) return 0;
    *value = dz_le32(word);
    return 1;
}

int dz_toc_string(dz_toc* toc, char* into, unsigned limit) {
    uint8_t piece[32];
    unsigned stored = 0;
    while (stored < limit && toc->at < toc->end) {
        unsigned want = limit - stored < sizeof piece ? limit - stored : sizeof piece;
        if (toc->end - toc->at < want) want = (unsigned)(toc->end - toc->at);
        int got = toc->source->read_at(toc->source->context, toc->at, piece, want);
        if (got <= 0) break;
        for (int i = 0; i < got; i++) {
            toc->at++;
            if (piece[i] == 0) {
                into[stored] = '\0';
                return 1;
            }
            into[stored++] = (char)piece[i];
        }
    }
    into[stored] = '\0';
    return stored == limit ? 0 : -1;
}

int dz_toc_fields(dz_toc* toc, uint8_t fields[DZ_ENTRY_FIELDS]) { return table_bytes(toc, fields, DZ_ENTRY_FIELDS); }
