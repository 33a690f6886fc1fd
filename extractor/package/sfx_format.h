#pragma once
// The package layout, declared once and shared by the reader and the writer.
//
//   [program image][ "!SRC" ][ zlib stream per entry ][ table of contents ][ trailer ][ anything ]
//
// Trailer (22 bytes): u64 offset of "!TOC", u16 version 0x0100, the 12 bytes "!Sfx_Korvale".
// The trailer is found by the last occurrence of the signature's first 11 bytes, so signing may
// append alignment and a certificate behind it.
// Table of contents: "!TOC", u32 flags, u32 reserved, four NUL-terminated command strings
// (at most 256 bytes each with the NUL), u32 count, then `count` records of
// name (NUL-terminated, at most 80 bytes with the NUL) + kEntryFixedSize bytes of fields.
// All integers little-endian; all offsets absolute from the start of the file.

#include <cstddef>
#include <cstdint>
#include <string>

#include "common/portable_types.h"
#include "extractor/package/sfx_entry.h"

namespace sfx {

constexpr char kSignature[] = "!Sfx_Korvale";
constexpr size_t kSignatureLength = sizeof(kSignature) - 1;         // 12
constexpr size_t kSignatureScanLength = kSignatureLength - 1;       // 11: what the search compares
constexpr uint16_t kHeaderVersion = 0x0100;                        // bytes 00 01
constexpr size_t kTrailerSize = 8 + 2 + kSignatureLength;          // 22
constexpr uint64_t kVersionBeforeSignature = 2;
constexpr uint64_t kTocOffsetBeforeSignature = 10;

constexpr uint32_t kTocSignature = 0x434F5421;  // "!TOC"
constexpr char kDataMarker[] = "!SRC";          // written, never checked
constexpr size_t kDataMarkerLength = 4;

constexpr size_t kNameFieldLimit = 80;      // bytes including the NUL
constexpr size_t kCommandFieldLimit = 256;  // bytes including the NUL
constexpr size_t kCommandCount = 4;
constexpr size_t kEntryFixedSize = 8 + 8 + 8 + 8 + 4 + 8 + 4;  // 48 bytes after the name
constexpr size_t kTocFixedHeaderSize = 4 + 4;                  // flags, reserved

constexpr uint32_t kDestOptionMask = 0xFF;
constexpr uint32_t kNoDialogFlag = 0x100;

constexpr uint32_t kPlatformDos = 1;
constexpr uint32_t kPlatformWin32 = 2;
constexpr uint32_t kPlatformWinPE = 4;
constexpr uint32_t kPlatformEvery = 0xFF;

// Bounds-checked little-endian reads from a byte range. A read that does not fit fails, leaves
// its destination untouched and consumes nothing.
class CByteReader {
public:
    CByteReader(const void* data, size_t size) : m_data(static_cast<const uint8_t*>(data)), m_size(size) {}

    [[nodiscard]] bool U16(uint16_t* value);
    [[nodiscard]] bool U32(uint32_t* value);
    [[nodiscard]] bool U64(uint64_t* value);
    size_t Remaining() const { return m_size - m_pos; }

private:
    [[nodiscard]] bool Take(size_t count, const uint8_t** bytes);
    const uint8_t* m_data;
    size_t m_size;
    size_t m_pos = 0;
};

// Little-endian writes appended to a byte string.
class CByteWriter {
public:
    void U16(uint16_t value);
    void U32(uint32_t value);
    void U64(uint64_t value);
    void Bytes(const void* data, size_t size);
    // The text and its NUL.
    void ZString(const std::string& text);
    const std::string& Data() const { return m_bytes; }

private:
    std::string m_bytes;
};

// The fields of a record after its name, in their order. Fields that do not fit keep their
// value, and so do all later fields: a truncated record keeps its initial values.
void ReadEntryFields(CByteReader& reader, CSrcFileInfo* entry);
void WriteEntryFields(CByteWriter& writer, const CSrcFileInfo& entry);

// A whole record: name with its NUL, then the fields.
void WriteEntryRecord(CByteWriter& writer, const CSrcFileInfo& entry);

// "!TOC", flags, reserved, the four commands each with its NUL, the count.
void WriteTocHeader(CByteWriter& writer, uint32_t flags, uint32_t reserved, const std::string commands[kCommandCount],
                    uint32_t count);

void WriteTrailer(CByteWriter& writer, uint64_t offsetToToc);

// Where the certificate table of a signed program starts, from the security entry of its own
// PE header: `dosHeader` holds the file's first 64 bytes, `peHeader` the bytes from the
// offset at 0x3C on (kPeHeaderBytes of them, fewer at the end of the file). FALSE when the
// file is no PE image or has no certificate table. The table is not covered by the signature's
// hash, so nothing in it may be taken for part of the package.
constexpr size_t kDosHeaderBytes = 64;
constexpr size_t kPeHeaderBytes = 4 + 20 + 144 + 8;
[[nodiscard]] bool PeDosHeaderOffset(const uint8_t* dosHeader, size_t size, uint32_t* peOffset);
// The machine field of the PE header (`peHeader` as for PeCertificateTable): kMachineI386 for a
// 32-bit image, kMachineAmd64 for a 64-bit one. FALSE when the bytes hold no PE header.
constexpr uint16_t kMachineI386 = 0x014C;
constexpr uint16_t kMachineAmd64 = 0x8664;
[[nodiscard]] bool PeMachine(const uint8_t* peHeader, size_t size, uint16_t* machine);
[[nodiscard]] bool PeCertificateTable(const uint8_t* peHeader, size_t size, uint32_t* tableOffset,
                                      uint32_t* tableSize);

// True when `name` names a file directly inside the destination: not empty, shorter than the
// name field, no path separator, drive or stream colon, no character Windows forbids in a name,
// not made of dots and blanks only (".", "..", and what Windows shortens to them), and not a
// device name (CON, NUL, COM1, ...).
bool IsPlainFileName(const char* name);

}  // namespace sfx
