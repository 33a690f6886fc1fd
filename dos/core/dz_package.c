#include "dz_package.h"

#include "dz_names.h"
#include "dz_pe.h"
#include "dz_text.h"

/* Assembled from two halves so that the program image never holds the signature itself. */
static const char kSignatureHead[] = DZ_SIGNATURE_HEAD;
static const char kSignatureTail[] = DZ_SIGNATURE_TAIL;
#define SIGNATURE_LENGTH DZ_SIGNATURE_LENGTH
#define SIGNATURE_SCAN DZ_SIGNATURE_SCAN
#define ENTRY_FIELDS DZ_ENTRY_FIELDS

static uint16_t le16(const uint8_t* p) { return (uint16_t)(p[0] | (p[1] << 8)); }
static uint32_t le32(const uint8_t* p) {
    return (uint32_t)p[0] | ((uint32_t)p[1] << 8) | ((uint32_t)p[2] << 16) | ((uint32_t)p[3] << 24);
}

static int read_exact(const dz_source* source, uint32_t offset, uint8_t* into, unsigned want) {
    if (offset > source->size || source->size - offset < want) return 0;
    return source->read_at(source->context, offset, into, want) == (int)want;
}

static char signature_byte(unsigned i) {
    return i < sizeof kSignatureHead - 1 ? kSignatureHead[i] : kSignatureTail[i - (sizeof kSignatureHead - 1)];
}

uint32_t dz_search_limit(const dz_source* source) {
    uint8_t header[DZ_PE_HEADER_BYTES];
    uint32_t peOffset = 0, tableOffset = 0, tableSize = 0;
    int hasTable = 0;
    if (source->read_at(source->context, 0, header, DZ_DOS_HEADER_BYTES) == (int)DZ_DOS_HEADER_BYTES &&
        dz_pe_header_offset(header, DZ_DOS_HEADER_BYTES, &peOffset) && peOffset < source->size) {
        unsigned want = source->size - peOffset < sizeof header ? (unsigned)(source->size - peOffset) : sizeof header;
        int got = source->read_at(source->context, peOffset, header, want);
        hasTable = got > 0 && dz_pe_certificate_table(header, (size_t)got, &tableOffset, &tableSize);
    }
    return (uint32_t)dz_signature_scan_end(hasTable, tableOffset, source->size);
}

int dz_find_signature(const dz_source* source, uint32_t limit, uint8_t* scratch, unsigned scratchSize,
                      uint32_t* position) {
    if (limit > source->size) limit = source->size;
    if (scratchSize <= SIGNATURE_SCAN || limit < SIGNATURE_SCAN) return 0;
    /* Pieces end at `end`; each next piece overlaps the previous one by 10 bytes, so a match
       across a boundary is found once. */
    uint32_t end = limit;
    for (;;) {
        uint32_t start = end > scratchSize ? end - scratchSize : 0;
        unsigned held = (unsigned)(end - start);
        if (source->read_at(source->context, start, scratch, held) != (int)held) return -1;
        for (unsigned at = held - SIGNATURE_SCAN + 1; at-- > 0;) {
            unsigned i = 0;
            while (i < SIGNATURE_SCAN && scratch[at + i] == (uint8_t)signature_byte(i)) i++;
            if (i == SIGNATURE_SCAN) {
                *position = start + at;
                return 1;
            }
        }
        if (start == 0) return 0;
        end = start + SIGNATURE_SCAN - 1;
    }
}

/* Reads a NUL-terminated field of at most `limit` bytes at *offset into `into` (`limit` + 1
   bytes, always terminated) and moves *offset past what it read. Answers 1 when a NUL ended
   it, 0 when it filled its `limit` bytes without one (the field ends there and the next one
   follows, as in the Windows reader), -1 when the table ended first. */
static int read_zstring(const dz_source* source, uint32_t* offset, char* into, unsigned limit) {
    uint8_t piece[32];
    unsigned stored = 0;
    while (stored < limit && *offset < source->size) {
        unsigned want = limit - stored < sizeof piece ? limit - stored : sizeof piece;
        if (source->size - *offset < want) want = (unsigned)(source->size - *offset);
        int got = source->read_at(source->context, *offset, piece, want);
        if (got <= 0) break;
        for (int i = 0; i < got; i++) {
            (*offset)++;
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

static void set_error(char* error, const char* text) { dz_copy(error, DZ_ERROR_SIZE, text); }

static int read_package(const dz_source* source, dz_package* package, char error[DZ_ERROR_SIZE]) {
    uint8_t scratch[512];
    uint8_t* bytes = scratch;
    package->dosCount = 0;
    package->count = 0;
    package->dosCommand[0] = '\0';
    error[0] = '\0';

    int found = dz_find_signature(source, dz_search_limit(source), scratch, sizeof scratch, &package->signatureAt);
    if (found < 0) {
        set_error(error, "Read Signature SFX error");
        return DZ_PKG_UNREADABLE;
    }
    if (found == 0) {
        set_error(error, "Find Signature SFX error");
        return DZ_PKG_UNREADABLE;
    }
    uint32_t at = package->signatureAt;
    if (!read_exact(source, at, bytes, SIGNATURE_LENGTH)) {
        set_error(error, "Read Signature SFX error");
        return DZ_PKG_UNREADABLE;
    }
    for (unsigned i = 0; i < SIGNATURE_LENGTH; i++)
        if (bytes[i] != (uint8_t)signature_byte(i)) {
            set_error(error, "Signature SFX mismatched");
            return DZ_PKG_UNREADABLE;
        }
    uint16_t version = 0xFFFF;
    if (at >= 2 && read_exact(source, at - 2, bytes, 2)) version = le16(bytes);
    if (version != DZ_HEADER_VERSION) {
        set_error(error, "SfxHeaderVersion mismatched: ");
        dz_append_hex(error, DZ_ERROR_SIZE, version, 4);
        dz_append(error, DZ_ERROR_SIZE, " != 0100");
        return DZ_PKG_UNREADABLE;
    }
    uint32_t tocLow = 0, tocHigh = 0;
    if (at >= 10 && read_exact(source, at - 10, bytes, 8)) {
        tocLow = le32(bytes);
        tocHigh = le32(bytes + 4);
    }
    package->tocOffset = tocLow;
    /* The whole table lies before the trailer: nothing of it is read from the trailer's bytes
       or from what follows them (alignment, a certificate). */
    dz_source table = *source;
    table.size = at >= 10 ? at - 10 : 0;
    if (tocHigh != 0 || !read_exact(&table, tocLow, bytes, 4) || le32(bytes) != DZ_TOC_SIGNATURE) {
        set_error(error, "Signature TOC mismatched");
        return DZ_PKG_UNREADABLE;
    }
    if (!read_exact(&table, tocLow + 4, bytes, 8)) {
        set_error(error, "Read TOC error");
        return DZ_PKG_UNREADABLE;
    }
    package->flags = le32(bytes);
    package->reserved = le32(bytes + 4);
    uint32_t offset = tocLow + 12;
    char command[DZ_COMMAND_SIZE];
    for (unsigned i = 0; i < DZ_COMMAND_COUNT; i++) {
        if (read_zstring(&table, &offset, command, DZ_COMMAND_FIELD) < 0) {
            set_error(error, "Read TOC error");
            return DZ_PKG_UNREADABLE;
        }
        if (i == DZ_DOS_COMMAND_INDEX) dz_copy(package->dosCommand, sizeof package->dosCommand, command);
    }
    if (!read_exact(&table, offset, bytes, 4)) {
        set_error(error, "Read TOC error");
        return DZ_PKG_UNREADABLE;
    }
    package->count = le32(bytes);
    offset += 4;

    for (uint32_t i = 0; i < package->count; i++) {
        char name[DZ_NAME_FIELD + 1];
        int terminated = read_zstring(&table, &offset, name, DZ_NAME_FIELD);
        if (terminated < 0 || !read_exact(&table, offset, bytes, ENTRY_FIELDS)) {
            /* The table promises more records than it has room for before the trailer. */
            set_error(error, "Read TOC error");
            return DZ_PKG_UNREADABLE;
        }
        /* A name that fills its field without a NUL is no name: a DOS entry with it is refused
           below, as an empty name is. */
        if (!terminated) name[0] = '\0';
        offset += ENTRY_FIELDS;
        uint32_t platform = le32(bytes + DZ_FIELD_PLATFORM);
        if (!(platform & DZ_PLATFORM_DOS)) continue;
        if (!dz_is_dos_name(name)) {
            set_error(error, "Unsafe filename for ExtractOne(),");
            dz_append(error, DZ_ERROR_SIZE, name);
            return DZ_PKG_REFUSED_ENTRY;
        }
        /* Sizes and offsets past 4 GiB cannot be a DOS file's. */
        if (le32(bytes + DZ_FIELD_SIZE + 4) || le32(bytes + DZ_FIELD_COMPRESSED + 4) ||
            le32(bytes + DZ_FIELD_DATA_OFFSET + 4) || le32(bytes + DZ_FIELD_COMPRESSED) > source->size ||
            le32(bytes + DZ_FIELD_DATA_OFFSET) > source->size) {
            set_error(error, "Out of SfxFile range");
            return DZ_PKG_REFUSED_ENTRY;
        }
        if (package->dosCount == DZ_MAX_ENTRIES) {
            set_error(error, "Too many DOS entries");
            return DZ_PKG_REFUSED_ENTRY;
        }
        dz_entry* entry = &package->entries[package->dosCount++];
        dz_copy(entry->name, sizeof entry->name, name);
        entry->size = le32(bytes + DZ_FIELD_SIZE);
        entry->compressedSize = le32(bytes + DZ_FIELD_COMPRESSED);
        entry->attributes = le32(bytes + DZ_FIELD_ATTRIBUTES);
        entry->dataOffset = le32(bytes + DZ_FIELD_DATA_OFFSET);
    }
    return DZ_PKG_OK;
}

int dz_read_package(const dz_source* source, dz_package* package, char error[DZ_ERROR_SIZE]) {
    int code = read_package(source, package, error);
    if (code != DZ_PKG_OK) package->dosCount = 0; /* a refused table yields no entries */
    return code;
}
