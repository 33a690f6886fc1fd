#include "dz_package.h"

#include "dz_names.h"
#include "dz_pe.h"
#include "dz_text.h"
#include "dz_toc.h"

#define SIGNATURE_LENGTH DZ_SIGNATURE_LENGTH
#define SIGNATURE_SCAN DZ_SIGNATURE_SCAN
#define ENTRY_FIELDS DZ_ENTRY_FIELDS

dz_offset dz_search_limit(const dz_source* source) {
    uint8_t header[DZ_PE_HEADER_BYTES];
    uint32_t peOffset = 0, tableOffset = 0, tableSize = 0;
    int hasTable = 0;
    if (source->read_at(source->context, 0, header, DZ_DOS_HEADER_BYTES) == (int)DZ_DOS_HEADER_BYTES &&
        dz_pe_header_offset(header, DZ_DOS_HEADER_BYTES, &peOffset) && peOffset < source->size) {
        unsigned want = source->size - peOffset < sizeof header ? (unsigned)(source->size - peOffset) : sizeof header;
        int got = source->read_at(source->context, peOffset, header, want);
        hasTable = got > 0 && dz_pe_certificate_table(header, (size_t)got, &tableOffset, &tableSize);
    }
    return (dz_offset)dz_signature_scan_end(hasTable, tableOffset, source->size);
}

int dz_find_signature(const dz_source* source, dz_offset limit, uint8_t* scratch, unsigned scratchSize,
                      dz_offset* position) {
    if (limit > source->size) limit = source->size;
    if (scratchSize <= SIGNATURE_SCAN || limit < SIGNATURE_SCAN) return 0;
    /* Pieces end at `end`; each next piece overlaps the previous one by 10 bytes, so a match
       across a boundary is found once. */
    dz_offset end = limit;
    for (;;) {
        dz_offset start = end > scratchSize ? end - scratchSize : 0;
        unsigned held = (unsigned)(end - start);
        if (source->read_at(source->context, start, scratch, held) != (int)held) return -1;
        for (unsigned at = held - SIGNATURE_SCAN + 1; at-- > 0;) {
            unsigned i = 0;
            while (i < SIGNATURE_SCAN && scratch[at + i] == (uint8_t)dz_signature_byte(i)) i++;
            if (i == SIGNATURE_SCAN) {
                *position = start + at;
                return 1;
            }
        }
        if (start == 0) return 0;
        end = start + SIGNATURE_SCAN - 1;
    }
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
    uint16_t version;
    dz_offset trailerAt;
    switch (dz_read_trailer(source, package->signatureAt, &version, &package->tocOffset, &trailerAt)) {
    case DZ_TRAILER_OK:
        break;
    case DZ_TRAILER_UNREADABLE:
        set_error(error, "Read Signature SFX error");
        return DZ_PKG_UNREADABLE;
    case DZ_TRAILER_MISMATCH:
        set_error(error, "Signature SFX mismatched");
        return DZ_PKG_UNREADABLE;
    default:
        set_error(error, "SfxHeaderVersion mismatched: ");
        dz_append_hex(error, DZ_ERROR_SIZE, version, 4);
        dz_append(error, DZ_ERROR_SIZE, " != 0100");
        return DZ_PKG_UNREADABLE;
    }
    dz_toc toc;
    if (!dz_toc_begin(&toc, source, package->tocOffset, trailerAt)) {
        set_error(error, "Signature TOC mismatched");
        return DZ_PKG_UNREADABLE;
    }
    set_error(error, "Read TOC error"); /* what every short field below answers */
    if (!dz_toc_u32(&toc, &package->flags) || !dz_toc_u32(&toc, &package->reserved)) return DZ_PKG_UNREADABLE;
    char command[DZ_COMMAND_SIZE];
    for (unsigned i = 0; i < DZ_COMMAND_COUNT; i++) {
        if (dz_toc_string(&toc, command, DZ_COMMAND_FIELD) < 0) return DZ_PKG_UNREADABLE;
        if (i == DZ_DOS_COMMAND_INDEX) dz_copy(package->dosCommand, sizeof package->dosCommand, command);
    }
    if (!dz_toc_u32(&toc, &package->count)) return DZ_PKG_UNREADABLE;

    for (uint32_t i = 0; i < package->count; i++) {
        char name[DZ_NAME_FIELD + 1];
        int terminated = dz_toc_string(&toc, name, DZ_NAME_FIELD);
        /* The table promises more records than it has room for before the trailer. */
        if (terminated < 0 || !dz_toc_fields(&toc, bytes)) return DZ_PKG_UNREADABLE;
        /* A name that fills its field without a NUL is no name: a DOS entry with it is refused
           below, as an empty name is. */
        if (!terminated) name[0] = '\0';
        uint32_t platform = dz_le32(bytes + DZ_FIELD_PLATFORM);
        if (!(platform & DZ_PLATFORM_DOS)) continue;
        if (!dz_is_dos_name(name)) {
            set_error(error, "Unsafe filename for ExtractOne(),");
            dz_append(error, DZ_ERROR_SIZE, name);
            return DZ_PKG_REFUSED_ENTRY;
        }
        /* Sizes and offsets past 4 GiB cannot be a DOS file's. */
        if (dz_le32(bytes + DZ_FIELD_SIZE + 4) || dz_le32(bytes + DZ_FIELD_COMPRESSED + 4) ||
            dz_le32(bytes + DZ_FIELD_DATA_OFFSET + 4) || dz_le32(bytes + DZ_FIELD_COMPRESSED) > source->size ||
            dz_le32(bytes + DZ_FIELD_DATA_OFFSET) > source->size) {
            set_error(error, "Out of SfxFile range");
            return DZ_PKG_REFUSED_ENTRY;
        }
        if (package->dosCount == DZ_MAX_ENTRIES) {
            set_error(error, "Too many DOS entries");
            return DZ_PKG_REFUSED_ENTRY;
        }
        dz_entry* entry = &package->entries[package->dosCount++];
        dz_copy(entry->name, sizeof entry->name, name);
        entry->size = dz_le32(bytes + DZ_FIELD_SIZE);
        entry->compressedSize = dz_le32(bytes + DZ_FIELD_COMPRESSED);
        entry->attributes = dz_le32(bytes + DZ_FIELD_ATTRIBUTES);
        entry->dataOffset = dz_le32(bytes + DZ_FIELD_DATA_OFFSET);
    }
    error[0] = '\0';
    return DZ_PKG_OK;
}

int dz_read_package(const dz_source* source, dz_package* package, char error[DZ_ERROR_SIZE]) {
    int code = read_package(source, package, error);
    if (code != DZ_PKG_OK) package->dosCount = 0; /* a refused table yields no entries */
    return code;
}
