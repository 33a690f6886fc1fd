#pragma once
// CSfxFile: reads the package appended to an executable file. It finds the trailer, loads the
// table of contents into CSrcFileInfo records and extracts records into files in the current
// directory with their stored times and attributes. Every operation answers success or failure
// and leaves the reason of a failure in m_szLastError.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "common/portable_types.h"
#include "dos/core/dz_toc.h"
#include "extractor/package/sfx_binding.h"
#include "extractor/package/sfx_entry.h"

class CSfxFile {
public:
    CSfxFile();
    ~CSfxFile();
    CSfxFile(const CSfxFile&) = delete;
    CSfxFile& operator=(const CSfxFile&) = delete;

    // Opens `path` and validates its trailer; the file stays open on success.
    [[nodiscard]] BOOL Open(const char* path);
    // Reads the table of contents and appends its records to the entry list.
    [[nodiscard]] BOOL LoadToc();
    // Writes one entry into the current directory.
    [[nodiscard]] BOOL ExtractOne(CSrcFileInfo* entry);
    // Extracts every entry whose platform mask shares a bit with `mask`, in table order.
    // Answers the number written, or 0 at the first failure.
    [[nodiscard]] int ExtractAll(uint32_t mask);
    void Close();
    void FreeEntries();
    // From now on Close keeps the file it closes, and the next Open of the same path reads
    // through it instead of opening the path again: whatever happens to the path in between
    // (the file renamed and another put in its place), the package read is the one first
    // opened. Where the platform allows, the file is opened so that nobody may write, rename
    // or delete it while it is held.
    void KeepFileAcrossClose();

    // Checks the open package against what its program image records (sfx_binding.h): its
    // bytes from "!SRC" to the end of its trailer must have the recorded place and SHA-256.
    // A mismatch ("Package hash mismatched") closes the package.
    [[nodiscard]] BOOL CheckBinding(const sfx::SfxBinding& binding);
    // The same check, reading the package once into `copy` (a new empty file that no one else
    // can open) while hashing it. On a match the package is read from the copy until Close,
    // which closes the copy: the trailer and the table are read again from there, and a table
    // already loaded must be the copy's, record for record. The program image is not copied
    // (zeros stand in its place), so nothing unchecked can be read from the copy.
    [[nodiscard]] BOOL ReadFromCopy(const sfx::SfxBinding& binding, FILE* copy);

    BOOL IsOpen() const { return m_pFile != nullptr; }
    BOOL HasEntries() const { return !m_entries.empty(); }
    uint32_t GetDestOption() const;  // flags bits 0-7
    BOOL IsNoDialog() const;         // flags bit 8
    const std::vector<std::unique_ptr<CSrcFileInfo>>& Entries() const { return m_entries; }

    // The signature search reads the file through a window of at most this many bytes,
    // whatever the file's size (a smaller file: a window of its size).
    static constexpr size_t kScanWindow = 1024 * 1024;

    char m_szLastError[80];
    uint64_t m_ullOffsetToTOC;
    uint16_t m_wSfxHeaderVersion;
    uint32_t m_dwSfxFlags;
    uint32_t m_dwReserved;
    char m_szWin32Command[1024];
    char m_szDosCommand[1024];
    char m_szCommand3[1024];
    char m_szCommand4[1024];
    uint32_t m_dwFileCount;

private:
    void SetLastError(const char* format, ...) BREVANE_PRINTF(2, 3);
    void Fail(const char* text);  // SetLastError, close, and trace the text
    // Open's work once m_pFile is set: the size, the signature, the version, the table's offset.
    BOOL ReadTrailer();
    // Hashes the recorded range of the open package, copying it into `copy` when given.
    BOOL MatchesBinding(const sfx::SfxBinding& binding, FILE* copy);
    // 1 found (position set), 0 not found, -1 no memory for the search window.
    int FindLastSignature(uint64_t* position);
    // Where the signature search ends (dz_signature_scan_end): before the file's certificate
    // table, or at the end of a file without one.
    uint64_t SignatureScanEnd();
    bool ReadBytes(void* buffer, size_t count);
    // The open file as the shared table reader reads it (dos/core/dz_toc.h).
    static int ReadAt(void* context, dz_offset offset, uint8_t* into, unsigned want);
    dz_source Source();

    std::vector<std::unique_ptr<CSrcFileInfo>> m_entries;
    FILE* m_pFile;
    bool m_bKeepAcrossClose = false;
    FILE* m_pCopy = nullptr;      // the checked copy being read, owned here
    FILE* m_pKeptFile = nullptr;  // the file Close kept, and its path
    std::string m_strKeptPath;
    uint64_t m_ullPackageSize;  // size of the open file, the bound of every count
    uint64_t m_ullScanEnd = 0;  // the signature search reads [0, m_ullScanEnd)
    uint64_t m_ullTrailerAt = 0;  // where the open package's trailer starts: the table ends there
};
