#pragma once
// The package layout (dos/core/dz_layout.h, shared with the DOS program's reader) in the names
// the reader and the writer use, and the byte readers and writers of its fields.

#include <cstddef>
#include <cstdint>
#include <string>

#include "common/portable_types.h"
#include "dos/core/dz_layout.h"
#include "dos/core/dz_pe.h"
#include "extractor/package/sfx_entry.h"

namespace sfx {

constexpr char kSignature[] = DZ_SIGNATURE_HEAD DZ_SIGNATURE_TAIL;
constexpr size_t kSignatureLength = DZ_SIGNATURE_LENGTH;
constexpr size_t kSignatureScanLength = DZ_SIGNATURE_SCAN;
constexpr uint16_t kHeaderVersion = DZ_HEADER_VERSION;
constexpr size_t kTrailerSize = DZ_TRAILER_SIZE;
constexpr uint64_t kVersionBeforeSignature = DZ_VERSION_BEFORE_SIGNATURE;
constexpr uint64_t kTocOffsetBeforeSignature = DZ_TOC_OFFSET_BEFORE_SIGNATURE;
static_assert(sizeof(kSignature) - 1 == kSignatureLength && kTrailerSize == 8 + 2 + kSignatureLength,
              "the trailer is the table's offset, the version and the signature");

constexpr uint32_t kTocSignature = DZ_TOC_SIGNATURE;
constexpr char kDataMarker[] = DZ_DATA_MARKER;
constexpr size_t kDataMarkerLength = sizeof(kDataMarker) - 1;

constexpr size_t kNameFieldLimit = DZ_NAME_FIELD;
constexpr size_t kCommandFieldLimit = DZ_COMMAND_FIELD;
constexpr size_t kCommandCount = DZ_COMMAND_COUNT;
constexpr size_t kEntryFixedSize = DZ_ENTRY_FIELDS;
static_assert(kEntryFixedSize == 8 + 8 + 8 + 8 + 4 + 8 + 4, "the fields ReadEntryFields reads");
constexpr size_t kTocFixedHeaderSize = 4 + 4;  // flags, reserved

constexpr uint32_t kDestOptionMask = DZ_DEST_OPTION_MASK;
constexpr uint32_t kNoDialogFlag = DZ_NO_DIALOG_FLAG;

constexpr uint32_t kPlatformDos = DZ_PLATFORM_DOS;
constexpr uint32_t kPlatformWin32 = DZ_PLATFORM_WIN32;
constexpr uint32_t kPlatformWinPE = DZ_PLATFORM_WINPE;
constexpr uint32_t kPlatformEvery = DZ_PLATFORM_EVERY;

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
constexpr size_t kDosHeaderBytes = DZ_DOS_HEADER_BYTES;
constexpr size_t kPeHeaderBytes = DZ_PE_HEADER_BYTES;
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
