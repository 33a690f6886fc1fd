#ifndef DOS_CORE_DZ_LAYOUT_H
#define DOS_CORE_DZ_LAYOUT_H
/* The package layout, for every reader and the writer:

     [program image][ "!SRC" ][ zlib stream per entry ][ table of contents ][ trailer ][ anything ]

   Trailer (22 bytes): u64 offset of "!TOC", u16 version 0x0100, the 12 signature bytes. It is
   found by the last occurrence of the signature's first 11 bytes, so signing may append
   alignment and a certificate behind it. Table of contents: "!TOC", u32 flags, u32 reserved,
   four NUL-terminated commands (at most 256 bytes each with the NUL), u32 count, then `count`
   records: a NUL-terminated name (at most 80 bytes with the NUL) and 48 bytes of fields. All
   integers little-endian; all offsets absolute from the start of the file. */

/* The signature in two halves: a program that spells it whole in its image would hold a match. */
#define DZ_SIGNATURE_HEAD "!Sfx_"
#define DZ_SIGNATURE_TAIL "Korvale"
#define DZ_SIGNATURE_LENGTH 12u
#define DZ_SIGNATURE_SCAN 11u /* what the search compares */
#define DZ_HEADER_VERSION 0x0100u
#define DZ_TRAILER_SIZE 22u
#define DZ_VERSION_BEFORE_SIGNATURE 2u
#define DZ_TOC_OFFSET_BEFORE_SIGNATURE 10u

#define DZ_TOC_SIGNATURE 0x434F5421uL /* "!TOC" */
#define DZ_DATA_MARKER "!SRC"         /* written, never checked */
#define DZ_NAME_FIELD 80u             /* bytes with the NUL */
#define DZ_COMMAND_FIELD 256u         /* bytes with the NUL */
#define DZ_COMMAND_COUNT 4u
#define DZ_DOS_COMMAND_INDEX 1u

/* A record's fields after its name: u64 size, u64 compressed size, u64 last-write time, u64
   creation time, u32 attributes, u64 data offset, u32 platform mask. */
#define DZ_ENTRY_FIELDS 48u
#define DZ_FIELD_SIZE 0u
#define DZ_FIELD_COMPRESSED 8u
#define DZ_FIELD_ATTRIBUTES 32u
#define DZ_FIELD_DATA_OFFSET 36u
#define DZ_FIELD_PLATFORM 44u

/* Table flags: the destination option in bits 0-7, no dialog in bit 8. */
#define DZ_DEST_OPTION_MASK 0xFFu
#define DZ_NO_DIALOG_FLAG 0x100u

/* Platform mask bits of a record. */
#define DZ_PLATFORM_DOS 1u
#define DZ_PLATFORM_WIN32 2u
#define DZ_PLATFORM_WINPE 4u
#define DZ_PLATFORM_EVERY 0xFFu

#endif
