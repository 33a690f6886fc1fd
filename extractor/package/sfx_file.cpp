#include "extractor/package/sfx_file.h"

#include <cinttypes>
#include <cstdarg>
#include <cstring>
#include <new>

#include "extractor/package/sfx_debug.h"
#include "extractor/package/sfx_format.h"
#include "extractor/package/sfx_fs.h"
#include "extractor/package/sfx_inflate.h"

CSfxFile::CSfxFile()
    : m_szLastError{},
      m_ullOffsetToTOC(0),
      m_wSfxHeaderVersion(0),
      m_dwSfxFlags(0),
      m_dwReserved(0),
      m_szWin32Command{},
      m_szDosCommand{},
      m_szCommand3{},
      m_szCommand4{},
      m_dwFileCount(0),
      m_pFile(nullptr),
      m_ullPackageSize(0) {}

namespace {

bool SameRecord(const CSrcFileInfo& a, const CSrcFileInfo& b) {
    return std::memcmp(a.m_szFileName, b.m_szFileName, sizeof a.m_szFileName) == 0 &&
           a.m_ullFileSize == b.m_ullFileSize && a.m_ullCompressedSize == b.m_ullCompressedSize &&
           FileTimeToU64(a.m_ftLastWrite) == FileTimeToU64(b.m_ftLastWrite) &&
           FileTimeToU64(a.m_ftCreation) == FileTimeToU64(b.m_ftCreation) && a.m_dwAttributes == b.m_dwAttributes &&
           a.m_ullDataOffset == b.m_ullDataOffset && a.m_dwPlatform == b.m_dwPlatform;
}

}  // namespace

CSfxFile::~CSfxFile() {
    Close();
    if (m_pKeptFile) std::fclose(m_pKeptFile);
    FreeEntries();
}

void CSfxFile::KeepFileAcrossClose() { m_bKeepAcrossClose = true; }

uint32_t CSfxFile::GetDestOption() const { return m_dwSfxFlags & sfx::kDestOptionMask; }

BOOL CSfxFile::IsNoDialog() const { return (m_dwSfxFlags & sfx::kNoDialogFlag) ? TRUE : FALSE; }

void CSfxFile::SetLastError(const char* format, ...) {
    va_list args;
    va_start(args, format);
    // Cut to the 79 characters the buffer holds.
    std::vsnprintf(m_szLastError, sizeof m_szLastError, format, args);
    va_end(args);
}

void CSfxFile::Fail(const char* text) {
    SetLastError("%s", text);
    Close();
    SfxDebugPrint("%s", m_szLastError);
}

void CSfxFile::Close() {
    if (!m_pFile) return;
    if (m_pFile == m_pCopy) {
        std::fclose(m_pCopy);
        m_pCopy = nullptr;
    } else if (m_bKeepAcrossClose && m_pFile != m_pKeptFile) {
        if (m_pKeptFile) std::fclose(m_pKeptFile);
        m_pKeptFile = m_pFile;
    } else if (!m_bKeepAcrossClose) {
        std::fclose(m_pFile);
    }
    m_pFile = nullptr;
}

void CSfxFile::FreeEntries() { m_entries.clear(); }

bool CSfxFile::ReadBytes(void* buffer, size_t count) { return std::fread(buffer, 1, count, m_pFile) == count; }

int CSfxFile::ReadAt(void* context, dz_offset offset, uint8_t* into, unsigned want) {
    FILE* file = static_cast<CSfxFile*>(context)->m_pFile;
    if (!sfxfs::Seek(file, offset)) return -1;
    size_t got = std::fread(into, 1, want, file);
    return got < want && std::ferror(file) ? -1 : static_cast<int>(got);
}

dz_source CSfxFile::Source() { return dz_source{&CSfxFile::ReadAt, this, m_ullPackageSize}; }

// The last position whose 11 bytes equal the signature's first 11, exactly as a scan of the
// whole file would find it, but read through a fixed window: a match may straddle two reads, so
// the window keeps the bytes that could still begin one. Each match is traced in file order.
int CSfxFile::FindLastSignature(uint64_t* position) {
    constexpr size_t kKeep = sfx::kSignatureLength - 1;  // bytes carried into the next read
    // A file smaller than the window is read whole into a window of its own size.
    const size_t windowSize = m_ullScanEnd < kScanWindow ? static_cast<size_t>(m_ullScanEnd) : kScanWindow;
    std::unique_ptr<unsigned char[]> window(new (std::nothrow) unsigned char[windowSize + kKeep + 1]);
    if (!window) return -1;
    bool found = false;
    uint64_t base = 0;   // file position of window[0]
    size_t held = 0;     // bytes in the window
    uint64_t total = 0;  // bytes read
    bool atEnd = false;
    if (!sfxfs::Seek(m_pFile, 0)) atEnd = true;

    auto report = [&](size_t at) {
        char shown[sfx::kSignatureLength] = {};
        size_t available = held - at < sfx::kSignatureLength ? held - at : sfx::kSignatureLength;
        std::memcpy(shown, window.get() + at, available);
        SfxDebugPrint("Found Korvale");
        SfxDebugPrint("%c%c%c%c%c%c%c%c%c%c%c%c(0x%" PRIX64 ")", shown[0], shown[1], shown[2], shown[3], shown[4],
                      shown[5], shown[6], shown[7], shown[8], shown[9], shown[10], shown[11], base + at);
        *position = base + at;
        found = true;
    };
    // Tests positions [0, last] of the window, each with its 11 bytes in the window.
    auto scan = [&](size_t last) {
        const unsigned char* data = window.get();
        size_t at = 0;
        while (at <= last) {
            const void* bang = std::memchr(data + at, sfx::kSignature[0], last - at + 1);
            if (!bang) break;
            at = static_cast<size_t>(static_cast<const unsigned char*>(bang) - data);
            if (std::memcmp(data + at, sfx::kSignature, sfx::kSignatureScanLength) == 0) report(at);
            ++at;
        }
    };

    while (!atEnd && total < m_ullScanEnd) {
        uint64_t left = m_ullScanEnd - total;
        size_t want = left < windowSize ? static_cast<size_t>(left) : windowSize;
        size_t got = std::fread(window.get() + held, 1, want, m_pFile);
        total += got;
        held += got;
        if (got < want) atEnd = true;
        // Positions whose 12 bytes are all here are final now; the last kKeep wait for more.
        if (held >= sfx::kSignatureLength) {
            scan(held - sfx::kSignatureLength);
            size_t keep = kKeep;
            std::memmove(window.get(), window.get() + held - keep, keep);
            base += held - keep;
            held = keep;
        }
    }
    // The tail: positions with 11 bytes left, the twelfth shown as a NUL (before a certificate
    // table the scan ends a byte early, so that the twelfth lies before the table too).
    if (held >= sfx::kSignatureScanLength) scan(held - sfx::kSignatureScanLength);
    uint64_t n = total;
    if (n > 0) SfxDebugPrint("Seek to end. 0x%" PRIX64 "+11 > 0x%" PRIX64, n > 10 ? n - 10 : 0, n);
    return found ? 1 : 0;
}

// A signed file's certificate table is outside what its signature covers: anyone can add bytes
// to it and the file still shows as validly signed. The search stops before the table starts
// (the security entry is itself outside the hash, but moving it moves the table, which the
// signature check then finds in hashed bytes).
uint64_t CSfxFile::SignatureScanEnd() {
    unsigned char dos[sfx::kDosHeaderBytes];
    unsigned char pe[sfx::kPeHeaderBytes];
    uint32_t peOffset = 0, tableOffset = 0, tableSize = 0;
    bool hasTable = false;
    if (sfxfs::Seek(m_pFile, 0) && ReadBytes(dos, sizeof dos) && sfx::PeDosHeaderOffset(dos, sizeof dos, &peOffset) &&
        sfxfs::Seek(m_pFile, peOffset)) {
        size_t got = std::fread(pe, 1, sizeof pe, m_pFile);
        hasTable = sfx::PeCertificateTable(pe, got, &tableOffset, &tableSize);
    }
    return dz_signature_scan_end(hasTable ? 1 : 0, tableOffset, m_ullPackageSize);
}

BOOL CSfxFile::Open(const char* path) {
    if (m_pFile) {
        SetLastError("SfxFile has already opened");
        return FALSE;
    }
    if (m_pKeptFile && m_strKeptPath == path) {
        m_pFile = m_pKeptFile;
        std::clearerr(m_pFile);
    } else {
        if (m_pKeptFile) std::fclose(m_pKeptFile);
        m_pKeptFile = nullptr;
        m_pFile = sfxfs::OpenForRead(path);
        if (m_bKeepAcrossClose) {
            m_pKeptFile = m_pFile;
            m_strKeptPath = path;
        }
    }
    if (!m_pFile) {
        SetLastError("Open Sfx file error");
        return FALSE;
    }
    return ReadTrailer();
}

BOOL CSfxFile::ReadTrailer() {
    if (!sfxfs::SizeOf(m_pFile, &m_ullPackageSize)) {
        SetLastError("Open Sfx file error");
        Close();
        return FALSE;
    }

    m_ullScanEnd = SignatureScanEnd();
    uint64_t signatureAt = 0;
    int found = FindLastSignature(&signatureAt);
    if (found < 0) {
        SetLastError("malloc memory error");
        Close();
        return FALSE;
    }
    if (found == 0) {
        Fail("Find Signature SFX error");
        return FALSE;
    }

    const dz_source source = Source();
    uint16_t version = 0xFFFF;
    dz_offset tocOffset = 0, trailerAt = 0;
    const int trailer = dz_read_trailer(&source, signatureAt, &version, &tocOffset, &trailerAt);
    if (trailer == DZ_TRAILER_UNREADABLE) {
        Fail("Read Signature SFX error");
        return FALSE;
    }
    if (trailer == DZ_TRAILER_MISMATCH) {
        Fail("Signature SFX mismatched");
        return FALSE;
    }
    SfxDebugPrint("Seek m_wSfxHeaderVersion offset:0x%" PRIX64, signatureAt - sfx::kVersionBeforeSignature);
    m_wSfxHeaderVersion = version;
    if (trailer == DZ_TRAILER_VERSION) {
        SetLastError("SfxHeaderVersion mismatched: %04X != %04X", version, sfx::kHeaderVersion);
        Close();
        SfxDebugPrint("%s", m_szLastError);
        return FALSE;
    }
    // Fewer than 10 bytes before the signature: no offset, so nothing counts as loaded.
    SfxDebugPrint("Seek m_ullOffsetToTOC offset:0x%" PRIX64, signatureAt - sfx::kTocOffsetBeforeSignature);
    m_ullTrailerAt = trailerAt;
    m_ullOffsetToTOC = tocOffset;
    return TRUE;
}

BOOL CSfxFile::MatchesBinding(const sfx::SfxBinding& binding, FILE* copy) {
    const uint64_t end = binding.offset + binding.length;
    // The recorded range is the whole package: it ends where the trailer found ends.
    bool match = end > binding.offset && m_ullTrailerAt != 0 && m_ullTrailerAt + sfx::kTrailerSize == end &&
                 end <= m_ullPackageSize && sfxfs::Seek(m_pFile, binding.offset) &&
                 (!copy || sfxfs::Seek(copy, binding.offset));
    if (match) {
        constexpr size_t kPiece = 64 * 1024;
        std::unique_ptr<unsigned char[]> piece(new (std::nothrow) unsigned char[kPiece]);
        if (!piece) {
            SetLastError("malloc memory error");
            Close();
            return FALSE;
        }
        sfx::CSha256 hash;
        for (uint64_t left = binding.length; match && left > 0;) {
            size_t want = left < kPiece ? static_cast<size_t>(left) : kPiece;
            match = std::fread(piece.get(), 1, want, m_pFile) == want &&
                    (!copy || std::fwrite(piece.get(), 1, want, copy) == want);
            hash.Update(piece.get(), want);
            left -= want;
        }
        uint8_t digest[sfx::kSha256Size];
        hash.Final(digest);
        match = match && std::memcmp(digest, binding.digest, sizeof digest) == 0 && (!copy || std::fflush(copy) == 0);
    }
    if (!match) {
        Fail("Package hash mismatched");
        return FALSE;
    }
    return TRUE;
}

BOOL CSfxFile::CheckBinding(const sfx::SfxBinding& binding) {
    if (!m_pFile) {
        SetLastError("SfxFile not opened");
        return FALSE;
    }
    return MatchesBinding(binding, nullptr);
}

BOOL CSfxFile::ReadFromCopy(const sfx::SfxBinding& binding, FILE* copy) {
    if (!m_pFile) {
        std::fclose(copy);
        SetLastError("SfxFile not opened");
        return FALSE;
    }
    if (!MatchesBinding(binding, copy)) {
        std::fclose(copy);
        return FALSE;
    }
    // From here on only the copy is read; the file itself stays kept for a later Open.
    Close();
    m_pFile = m_pCopy = copy;
    std::vector<std::unique_ptr<CSrcFileInfo>> before = std::move(m_entries);
    m_entries.clear();
    if (!ReadTrailer() || !LoadToc()) {
        Close();
        m_entries = std::move(before);  // records handed out (the dialog's list) stay valid
        return FALSE;
    }
    if (before.empty()) return TRUE;
    bool same = before.size() == m_entries.size();
    for (size_t i = 0; same && i < before.size(); ++i) same = SameRecord(*before[i], *m_entries[i]);
    // The records already handed out (the dialog's list holds them) stay the ones in use.
    m_entries = std::move(before);
    if (!same) {
        Fail("Package hash mismatched");
        return FALSE;
    }
    return TRUE;
}

BOOL CSfxFile::LoadToc() {
    if (!m_pFile) {
        SetLastError("SfxFile not opened");
        return FALSE;
    }
    // A new table replaces the whole header, so nothing of an earlier package survives into a
    // table that turns out short.
    m_dwSfxFlags = 0;
    m_dwReserved = 0;
    std::memset(m_szWin32Command, 0, sizeof m_szWin32Command);
    std::memset(m_szDosCommand, 0, sizeof m_szDosCommand);
    std::memset(m_szCommand3, 0, sizeof m_szCommand3);
    std::memset(m_szCommand4, 0, sizeof m_szCommand4);
    m_dwFileCount = 0;

    // The table is read by the rules the DOS program's reader shares (dos/core/dz_toc.h): it
    // lies wholly before the trailer, and a string field may fill its limit without a NUL.
    const dz_source source = Source();
    dz_toc toc;
    if (!dz_toc_begin(&toc, &source, m_ullOffsetToTOC, m_ullTrailerAt)) {
        SetLastError("Signature TOC mismatched");
        return FALSE;
    }
    const size_t kept = m_entries.size();
    auto refuse = [&]() {
        // A refused table adds no records; those of an earlier load stay.
        m_entries.resize(kept);
        SetLastError("Read TOC error");
        return FALSE;
    };

    uint32_t flags = 0, reserved = 0;
    if (!dz_toc_u32(&toc, &flags) || !dz_toc_u32(&toc, &reserved)) return refuse();
    m_dwSfxFlags = flags;
    m_dwReserved = reserved;
    char* commands[] = {m_szWin32Command, m_szDosCommand, m_szCommand3, m_szCommand4};
    for (char* command : commands)
        if (dz_toc_string(&toc, command, sfx::kCommandFieldLimit) < 0) return refuse();
    if (!dz_toc_u32(&toc, &m_dwFileCount)) return refuse();

    // The count is not trusted: every record must lie before the trailer, so a huge count
    // fails at the first record the table has no room for.
    for (uint32_t i = 0; i < m_dwFileCount; ++i) {
        std::unique_ptr<CSrcFileInfo> entry(new (std::nothrow) CSrcFileInfo);
        if (!entry) {
            SetLastError("MemAlloc err");
            return FALSE;
        }
        char name[sfx::kNameFieldLimit + 1];
        const int terminated = dz_toc_string(&toc, name, sfx::kNameFieldLimit);
        if (terminated < 0) return refuse();
        // A name that fills its field without a NUL is not a name: keep it empty, so that the
        // record is listed but never extracted under a cut-off name.
        if (terminated) std::memcpy(entry->m_szFileName, name, std::strlen(name) + 1);
        unsigned char fields[sfx::kEntryFixedSize];
        if (!dz_toc_fields(&toc, fields)) return refuse();
        sfx::CByteReader reader(fields, sizeof fields);
        sfx::ReadEntryFields(reader, entry.get());
        try {
            m_entries.push_back(std::move(entry));
        } catch (const std::bad_alloc&) {
            SetLastError("MemAlloc err");
            return FALSE;
        }
    }
    return TRUE;
}

BOOL CSfxFile::ExtractOne(CSrcFileInfo* entry) {
    if (!m_pFile) {
        SetLastError("SfxFile not opened");
        return FALSE;
    }
    if (m_ullOffsetToTOC == 0) {
        SetLastError("TOC not been loaded");
        return FALSE;
    }
    if (!entry) {
        SetLastError("NULL pointer for ExtractOne()");
        return FALSE;
    }
    if (entry->m_szFileName[0] == '\0') {
        SetLastError("NULL filename for ExtractOne()");
        return FALSE;
    }
    // Names come from the package: anything but a plain file name could write outside the
    // destination directory.
    if (!sfx::IsPlainFileName(entry->m_szFileName)) {
        SetLastError("Unsafe filename for ExtractOne(),%s", entry->m_szFileName);
        return FALSE;
    }
    // An entry name that exists as a link would have the file, its times and its attributes
    // written wherever the link points.
    if (sfxfs::IsLink(entry->m_szFileName)) {
        SetLastError("Link refused for ExtractOne(),%s", entry->m_szFileName);
        return FALSE;
    }
    if (!sfxfs::Seek(m_pFile, entry->m_ullDataOffset)) {
        SetLastError("Out of SfxFile range");
        return FALSE;
    }
    int error = 0;
    FILE* destination = sfxfs::CreateForWrite(entry->m_szFileName, &error);
    if (!destination) {
        SetLastError("Create DestFile ERR,%s,#%d", entry->m_szFileName, error);
        return FALSE;
    }
    uint64_t compressed = entry->m_ullCompressedSize;
    uint64_t written = 0;
    // The recorded size bounds what an entry may inflate to: a small stream that inflates
    // without end would otherwise fill the disk.
    int result = DecompressStream(m_pFile, &compressed, destination, &written, entry->m_ullFileSize);
    // The stored times and attributes go through the handle the data went through.
    if (result == kInflateOk)
        (void)sfxfs::ApplyStamp(destination, entry->m_ftCreation, entry->m_ftLastWrite, entry->m_dwAttributes);
    // A failed close loses buffered bytes: that file is not written either.
    bool closed = std::fclose(destination) == 0;
    if (result == kInflateTooLarge) {
        SetLastError("Entry larger than its recorded size,%s", entry->m_szFileName);
        return FALSE;
    }
    if (result != kInflateOk || !closed) {
        SetLastError("Decompress routine error");
        return FALSE;
    }
    return TRUE;
}

int CSfxFile::ExtractAll(uint32_t mask) {
    int count = 0;
    for (const std::unique_ptr<CSrcFileInfo>& entry : m_entries) {
        if (!(entry->m_dwPlatform & mask)) continue;
        if (!ExtractOne(entry.get())) return 0;
        ++count;
    }
    return count;
}
