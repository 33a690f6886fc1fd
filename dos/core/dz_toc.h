#ifndef DOS_CORE_DZ_TOC_H
#define DOS_CORE_DZ_TOC_H
/* The trailer and the table of contents read by the rules both package readers apply (the
   Windows reader in extractor/package and the DOS program's): the trailer's fields lie before
   the signature found; the whole table lies before the trailer, so that no field is ever made
   of the trailer's bytes or of what follows them (alignment, a certificate); a string field
   ends at its NUL or fills its limit without one, and the next field follows right behind it;
   every record is a name and DZ_ENTRY_FIELDS bytes of fields. Each reader turns the answers
   into its own records and error texts. */

#include <stdint.h>

#include "dz_layout.h"

#ifdef __cplusplus
extern "C" {
#endif

/* A position in the package file: DOS files end below 4 GiB (int 21h 42h with CX:DX). */
#ifdef DZ_DOS
typedef uint32_t dz_offset;
#else
typedef uint64_t dz_offset;
#endif

typedef struct dz_source {
    /* Up to `want` bytes at `offset` into `into`: the count (short at the end), -1 on an error. */
    int (*read_at)(void* context, dz_offset offset, uint8_t* into, unsigned want);
    void* context;
    dz_offset size;
} dz_source;

/* 1 when all `want` bytes at `offset` lie in the source and were read. */
int dz_read_exact(const dz_source* source, dz_offset offset, uint8_t* into, unsigned want);

/* The trailer whose signature was found at `signatureAt`: */
#define DZ_TRAILER_OK 0
#define DZ_TRAILER_UNREADABLE 1 /* the signature's 12 bytes cannot be read */
#define DZ_TRAILER_MISMATCH 2   /* they are not the signature */
#define DZ_TRAILER_VERSION 3    /* the version before it is not DZ_HEADER_VERSION */
/* Also sets *version (0xFFFF when its bytes cannot be read), and, unless the signature fails,
   *tocOffset (0 when it cannot be read) and *trailerAt (where the table must end: 0 when fewer
   than DZ_TOC_OFFSET_BEFORE_SIGNATURE bytes lie before the signature, or the offset is one this
   reader cannot reach). */
int dz_read_trailer(const dz_source* source, dz_offset signatureAt, uint16_t* version, dz_offset* tocOffset,
                    dz_offset* trailerAt);

typedef struct dz_toc {
    const dz_source* source;
    dz_offset at;  /* the next field */
    dz_offset end; /* where the trailer starts */
} dz_toc;

/* Starts at the table's offset: 1 when "!TOC" lies there, before `trailerAt`. */
int dz_toc_begin(dz_toc* toc, const dz_source* source, dz_offset offset, dz_offset trailerAt);
/* The next 32-bit field (flags, reserved, the count): 1, or 0 when the table ends first. */
int dz_toc_u32(dz_toc* toc, uint32_t* value);
/* The next string field of at most `limit` bytes into `into` (`limit` + 1 bytes, always
   terminated): 1 ended by its NUL, 0 it filled its limit without one, -1 the table ends first. */
int dz_toc_string(dz_toc* toc, char* into, unsigned limit);
/* The next record's fields: 1, or 0 when the table ends first. */
int dz_toc_fields(dz_toc* toc, uint8_t fields[DZ_ENTRY_FIELDS]);

/* Byte `i` (below DZ_SIGNATURE_LENGTH) of the signature, which no program spells whole. */
char dz_signature_byte(unsigned i);

/* Little-endian fields of the package and of the PE header. */
uint16_t dz_le16(const uint8_t* bytes);
uint32_t dz_le32(const uint8_t* bytes);

#ifdef __cplusplus
}
#endif

#endif
