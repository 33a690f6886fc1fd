#ifndef DOS_CORE_DZ_PE_H
#define DOS_CORE_DZ_PE_H
/* Where a signed program's certificate table starts, from the security entry of its own PE
   header, for every reader of the package: the table is not covered by the signature's hash,
   so the signature search ends where it starts and nothing in it is taken for the package. */

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* The file's first bytes that hold the PE header's offset (at 0x3C), and the bytes from that
   offset on that hold the signature, the file header and the optional header up to its
   certificate entry (PE32+ needs the most). */
#define DZ_DOS_HEADER_BYTES 64u
#define DZ_PE_HEADER_BYTES (4u + 20u + 144u + 8u)

/* The PE header's offset from the first `size` bytes of a file: 0 when they hold no "MZ" header
   of DZ_DOS_HEADER_BYTES. */
int dz_pe_header_offset(const uint8_t* dosHeader, size_t size, uint32_t* peOffset);

/* The certificate table named by the PE header in `peHeader` (the bytes from the header's
   offset on, fewer than DZ_PE_HEADER_BYTES at the end of a file): 0 when there is none. An
   entry counts only when the directory count includes it and it lies wholly inside the
   optional header as the file header sizes it (for the program loader and the signature check
   no other entry exists), and names a table of some size at some offset. */
int dz_pe_certificate_table(const uint8_t* peHeader, size_t size, uint32_t* tableOffset, uint32_t* tableSize);

/* Where the signature search stops: a match of the signature's first 11 bytes must end at or
   before it. A signature counts inside the signed area only whole, so before a certificate
   table at `tableOffset` all 12 bytes must fit; without a table (`hasTable` 0) or with one at
   or behind the end of the file, the search runs to the file's end. */
uint64_t dz_signature_scan_end(int hasTable, uint32_t tableOffset, uint64_t fileSize);

#ifdef __cplusplus
}
#endif

#endif
