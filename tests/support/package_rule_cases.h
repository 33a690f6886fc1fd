#pragma once
// Cases of the package rules that more than one reader implements (the Windows reader in
// extractor/package and the DOS program's reader in dos/core): one table each, so that the
// implementations' tests cannot drift apart.

#include <cstdint>

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
};

struct SignatureBoundCase {
    const char* what;
    CertificateAt at;
    bool forgedTrailerInTable;  // a second, valid-looking trailer inside the table's bytes
    bool expectFound;           // the package's own trailer is found (and nothing else)
};

inline constexpr SignatureBoundCase kSignatureBoundCases[] = {
    {"unsigned package", CertificateAt::kNone, false, true},
    {"signed package", CertificateAt::kAfterPackage, false, true},
    {"a trailer forged inside the certificate table is not seen", CertificateAt::kAfterPackage, true, true},
    {"a table over the trailer hides it", CertificateAt::kOverTheTrailer, false, false},
    {"a table entry behind the file's end is ignored", CertificateAt::kBeyondTheFile, false, true},
};

}  // namespace sfxtest
