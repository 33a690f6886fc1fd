#pragma once
// Cases of the package rules that more than one reader implements (the Windows reader in
// extractor/package and the DOS program's reader in dos/core): one table each, so that the
// implementations' tests cannot drift apart.

#include <cstddef>
#include <cstdint>
#include <string>

namespace sfxtest {

// Stored entry names: whether Windows takes each as a plain file name, and whether the DOS
// program takes it (a plain name that is also a valid 8.3 short name).
struct FileNameCase {
    const char* name;
    bool plainOnWindows;
    bool dosShortName;
};

inline constexpr FileNameCase kFileNameCases[] = {
    {"AFUDOS.EXE", true, true},
    {"image.rom", true, true},
    {"A", true, true},
    {"README", true, true},
    {"12345678.123", true, true},
    {"$ALL~1!.#%&", true, true},
    {"{X}'(Y)`.@^_", true, true},
    {"FWUpdLcl.exe", true, true},
    {"settings.ini", true, true},
    {"123456789.TXT", true, false},    // nine name characters
    {"FILE.TEXT", true, false},        // four extension characters
    {"A.B.C", true, false},            // two dots
    {"NAME.", true, false},            // empty extension
    {".PROFILE", true, false},         // empty name
    {"MY FILE.TXT", true, false},      // blank
    {"A+B.TXT", true, false},          // characters DOS does not allow in a short name
    {"A,B.TXT", true, false},
    {"A=B.TXT", true, false},
    {"A[1].TXT", true, false},
    {"A;B", true, false},
    {"\xC4" "BC.TXT", true, false},    // a byte above 0x7F: depends on the code page
    {"CLOCK$", true, false},           // a DOS device
    {"", false, false},
    {".", false, false},
    {"..", false, false},
    {"...", false, false},
    {"..\\ESCAPE.TXT", false, false},
    {"DIR\\FILE.TXT", false, false},
    {"DIR/FILE.TXT", false, false},
    {"C:FILE.TXT", false, false},
    {"A?.TXT", false, false},
    {"A*.TXT", false, false},
    {"A<B", false, false},
    {"A|B", false, false},
    {"A\"B", false, false},
    {"TAB\t.TXT", false, false},
    {"CON", false, false},
    {"con.txt", false, false},
    {"NUL.BIN", false, false},
    {"PRN", false, false},
    {"AUX.X", false, false},
    {"COM1", false, false},
    {"LPT9.DAT", false, false},
    {"COM0", false, false},
    {"CONIN$", false, false},
    {"COM10", true, true},            // not a device: a fifth stem character
};

// The signature search ends where the file's own certificate table starts, whatever lies
// behind it. Each case is a package whose PE header may name a certificate table.
enum class CertificateAt {
    kNone,              // no certificate table entry
    kAfterPackage,      // a table appended behind the trailer, as signing does
    kOverTheTrailer,    // the entry names a start before the real trailer
    kBeyondTheFile,     // the entry names a start behind the file's end: ignored
    kAtTheLastByte,     // the entry names the trailer's last byte: 11 signature bytes lie before it
};

// The optional header's size in MinimalPeImage (PE32, all sixteen directories), and the least
// size that still holds the certificate entry (the fifth directory, 128 bytes into it).
constexpr uint16_t kOptionalHeaderFull = 0xE0;
constexpr uint16_t kOptionalHeaderToCertificateEntry = 128 + 8;

struct SignatureBoundCase {
    const char* what;
    CertificateAt at;
    bool forgedTrailerInTable;     // a second, valid-looking trailer inside the table's bytes
    uint16_t optionalHeaderSize;   // the file header's size of the optional header
    bool expectFound;              // the package's own trailer is found (and nothing else)
};

inline constexpr SignatureBoundCase kSignatureBoundCases[] = {
    {"unsigned package", CertificateAt::kNone, false, kOptionalHeaderFull, true},
    {"signed package", CertificateAt::kAfterPackage, false, kOptionalHeaderFull, true},
    {"a trailer forged inside the certificate table is not seen", CertificateAt::kAfterPackage, true,
     kOptionalHeaderFull, true},
    {"a table over the trailer hides it", CertificateAt::kOverTheTrailer, false, kOptionalHeaderFull, false},
    {"a table entry behind the file's end is ignored", CertificateAt::kBeyondTheFile, false, kOptionalHeaderFull, true},
    {"a signature counts only whole before the table", CertificateAt::kAtTheLastByte, false, kOptionalHeaderFull,
     false},
    // Directories past the optional header's end do not exist, for the loader and the
    // signature check alike: such an entry names no table.
    {"an entry the optional header ends inside is no entry", CertificateAt::kOverTheTrailer, false,
     kOptionalHeaderToCertificateEntry - 1, true},
    {"an optional header that ends with the entry holds it", CertificateAt::kOverTheTrailer, false,
     kOptionalHeaderToCertificateEntry, false},
};

// Where MinimalPeImage's header keeps the optional header's size and the certificate entry
// (PE header at 0x40, PE32 directories at 0xB8, the fifth entry).
constexpr size_t kOptionalHeaderSizeAt = 0x40 + 4 + 16;
constexpr size_t kCertificateEntryAt = 0xB8 + 4 * 8;

// A package from the writer on MinimalPeImage, altered as `c` describes. A certificate table
// of 512 bytes (with a forged trailer in it when asked) follows the package at an 8-byte
// boundary; the package's own signature stays where it was, kSignatureLength before its end.
inline std::string WithSignatureBound(const std::string& package, const SignatureBoundCase& c) {
    constexpr size_t kTrailer = 22;
    std::string bytes = package;
    while (bytes.size() % 8) bytes += '\0';
    uint32_t tableAt = static_cast<uint32_t>(bytes.size());
    std::string table(512, '\x5a');
    if (c.forgedTrailerInTable) {
        // A forged trailer naming a table of contents of its own at the table's start.
        table.replace(0, 4, "!TOC");
        std::string forged = package.substr(package.size() - kTrailer);
        for (int i = 0; i < 8; ++i) forged[i] = static_cast<char>(i < 4 ? tableAt >> (8 * i) : 0);
        table.replace(200, forged.size(), forged);
    }
    uint32_t entryStart = tableAt;
    if (c.at == CertificateAt::kOverTheTrailer) entryStart = static_cast<uint32_t>(package.size() - 5);
    if (c.at == CertificateAt::kBeyondTheFile) entryStart = tableAt + 100000;
    if (c.at == CertificateAt::kAtTheLastByte) entryStart = static_cast<uint32_t>(package.size() - 1);
    if (c.at != CertificateAt::kNone) {
        bytes += table;
        uint32_t size = static_cast<uint32_t>(table.size());
        for (int i = 0; i < 4; ++i) {
            bytes[kCertificateEntryAt + i] = static_cast<char>(entryStart >> (8 * i));
            bytes[kCertificateEntryAt + 4 + i] = static_cast<char>(size >> (8 * i));
        }
    }
    bytes[kOptionalHeaderSizeAt] = static_cast<char>(c.optionalHeaderSize & 0xFF);
    bytes[kOptionalHeaderSizeAt + 1] = static_cast<char>(c.optionalHeaderSize >> 8);
    return bytes;
}

// The table of contents must lie wholly before the trailer: no record, count or command is
// made of the trailer's bytes or of what follows them. Each case alters a package from the
// writer (its trailer ending the file) and may append bytes behind the trailer, as signing
// does.
enum class TableShape {
    kAsWritten,          // the count matches the records
    kOneRecordMore,      // the count is one more: the extra record would start at the trailer
    kCountHuge,          // the count is 0xFFFFFFFF
    kBehindTheTrailer,   // the table is copied behind the trailer, which names the copy
};

struct TableBoundCase {
    const char* what;
    TableShape shape;
    size_t appended;     // bytes behind the trailer (before any copied table)
    const char* error;   // nullptr: the table reads
};

inline constexpr TableBoundCase kTableBoundCases[] = {
    {"a table that ends at the trailer", TableShape::kAsWritten, 0, nullptr},
    {"a signed package's table", TableShape::kAsWritten, 600, nullptr},
    {"one record more than the table holds", TableShape::kOneRecordMore, 0, "Read TOC error"},
    // With a certificate behind the trailer the extra record's bytes are all in the file.
    {"one record more, made of the trailer and the certificate", TableShape::kOneRecordMore, 600, "Read TOC error"},
    {"a huge count", TableShape::kCountHuge, 600, "Read TOC error"},
    {"a table behind the trailer", TableShape::kBehindTheTrailer, 8, "Signature TOC mismatched"},
};

inline uint32_t TableBoundU32(const std::string& bytes, size_t at) {
    return uint32_t(uint8_t(bytes[at])) | uint32_t(uint8_t(bytes[at + 1])) << 8 | uint32_t(uint8_t(bytes[at + 2])) << 16 |
           uint32_t(uint8_t(bytes[at + 3])) << 24;
}

inline void TableBoundPutU32(std::string* bytes, size_t at, uint32_t value) {
    for (int i = 0; i < 4; ++i) (*bytes)[at + i] = static_cast<char>(value >> (8 * i));
}

// `package` ends with its trailer; its table's offset fits 32 bits.
inline std::string WithTableBound(const std::string& package, const TableBoundCase& c) {
    constexpr size_t kTrailer = 22;
    const size_t trailerAt = package.size() - kTrailer;
    const uint32_t toc = TableBoundU32(package, trailerAt);
    std::string bytes = package;
    // The count follows "!TOC", flags, reserved and the four NUL-terminated commands.
    size_t countAt = toc + 12;
    for (int i = 0; i < 4; ++i) countAt = bytes.find('\0', countAt) + 1;
    uint32_t count = TableBoundU32(bytes, countAt);
    if (c.shape == TableShape::kOneRecordMore) TableBoundPutU32(&bytes, countAt, count + 1);
    if (c.shape == TableShape::kCountHuge) TableBoundPutU32(&bytes, countAt, 0xFFFFFFFFu);
    bytes += std::string(c.appended, '\x33');
    if (c.shape == TableShape::kBehindTheTrailer) {
        TableBoundPutU32(&bytes, trailerAt, static_cast<uint32_t>(bytes.size()));
        bytes += package.substr(toc, trailerAt - toc);
    }
    return bytes;
}

// A field may fill its limit without a NUL, and the next field follows right behind it: a
// command of 256 bytes is read whole, and a name of 80 bytes is no name (its record is kept
// with an empty name, never extracted under a cut-off one, and skipped by the DOS program when
// it is not a DOS entry). Each case rewrites the table of a package from the writer.
struct FieldLimitCase {
    const char* what;
    bool fullDosCommand;  // the DOS command fills its 256 bytes
    bool fullName;        // a record for Windows only, whose name fills its 80 bytes, comes first
};

inline constexpr FieldLimitCase kFieldLimitCases[] = {
    {"a DOS command that fills its field", true, false},
    {"a Windows record whose name fills its field", false, true},
    {"both at once", true, true},
};

constexpr size_t kFullCommandLength = 256;

// `package` ends with its trailer.
inline std::string WithFullFields(const std::string& package, const FieldLimitCase& c) {
    constexpr size_t kTrailer = 22;
    const size_t trailerAt = package.size() - kTrailer;
    const uint32_t toc = TableBoundU32(package, trailerAt);
    std::string table = package.substr(toc, 12);  // "!TOC", flags, reserved
    size_t at = toc + 12;
    for (int i = 0; i < 4; ++i) {
        const size_t end = package.find('\0', at);
        table += i == 1 && c.fullDosCommand ? std::string(kFullCommandLength, 'D') : package.substr(at, end + 1 - at);
        at = end + 1;
    }
    std::string count(4, '\0');
    TableBoundPutU32(&count, 0, TableBoundU32(package, at) + (c.fullName ? 1 : 0));
    table += count;
    if (c.fullName) {
        std::string fields(48, '\0');
        TableBoundPutU32(&fields, 44, 2);  // platform: Windows only
        table += std::string(80, 'N') + fields;
    }
    table += package.substr(at + 4, trailerAt - (at + 4));  // the writer's records
    return package.substr(0, toc) + table + package.substr(trailerAt);
}

}  // namespace sfxtest
