#include "extractor/package/sfx_writer.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <system_error>
#include <zlib.h>

#include "common/format.h"
#include "extractor/package/sfx_binding.h"
#include "extractor/package/sfx_fs.h"

namespace {

constexpr size_t kCopyPiece = 64 * 1024;

struct FileCloser {
    void operator()(FILE* file) const { std::fclose(file); }
};
using UniqueStdFile = std::unique_ptr<FILE, FileCloser>;

// Counts what it writes, so that offsets come from the bytes actually written. Once told to,
// it also hashes and checksums what it writes: the package behind the program image.
class COutput {
public:
    explicit COutput(FILE* file) : m_file(file) {}
    void StartDigest(sfx::CSha256* hash, sfx::CPeChecksum* checksum) {
        m_hash = hash;
        m_checksum = checksum;
    }
    bool Write(const void* data, size_t size) {
        if (size && std::fwrite(data, 1, size, m_file) != size) return false;
        if (m_hash) m_hash->Update(data, size);
        if (m_checksum) m_checksum->Add(data, size, m_position);
        m_position += size;
        return true;
    }
    bool Write(const std::string& bytes) { return Write(bytes.data(), bytes.size()); }
    uint64_t Position() const { return m_position; }

private:
    FILE* m_file;
    uint64_t m_position = 0;
    sfx::CSha256* m_hash = nullptr;
    sfx::CPeChecksum* m_checksum = nullptr;
};

bool ReadProgram(FILE* file, std::string* bytes) {
    std::unique_ptr<unsigned char[]> piece(new unsigned char[kCopyPiece]);
    size_t got;
    while ((got = std::fread(piece.get(), 1, kCopyPiece, file)) > 0)
        bytes->append(reinterpret_cast<const char*>(piece.get()), got);
    return !std::ferror(file);
}

// Records `binding` in the slot at `slotAt` of the finished file and gives the file its PE
// checksum: the package's words are in `checksum` already, the image's are added here with the
// slot filled in and the checksum field left out.
bool RecordBinding(FILE* output, std::string image, size_t slotAt, const sfx::SfxBinding& binding,
                   sfx::CPeChecksum checksum) {
    const std::string values = sfx::BindingSlotValues(binding);
    image.replace(slotAt + sfx::kBindingMarkerLength, values.size(), values);
    size_t checksumAt = 0;
    bool hasChecksum = sfx::PeChecksumOffset(image, &checksumAt);
    if (hasChecksum) image.replace(checksumAt, 4, 4, '\0');
    checksum.Add(image.data(), image.size(), 0);
    if (!sfxfs::Seek(output, slotAt + sfx::kBindingMarkerLength) ||
        std::fwrite(values.data(), 1, values.size(), output) != values.size())
        return false;
    if (!hasChecksum) return true;
    sfx::CByteWriter field;
    field.U32(checksum.Value(binding.offset + binding.length));
    return sfxfs::Seek(output, checksumAt) &&
           std::fwrite(field.Data().data(), 1, field.Data().size(), output) == field.Data().size();
}

// Bytes of one entry: an open file or an in-memory string.
class CSource {
public:
    CSource(FILE* file, const std::string* data) : m_file(file), m_data(data) {}
    // Answers the bytes read; 0 at the end. *failed on a read error.
    size_t Read(unsigned char* buffer, size_t size, bool* failed) {
        if (m_data) {
            size_t count = std::min(size, m_data->size() - m_offset);
            std::memcpy(buffer, m_data->data() + m_offset, count);
            m_offset += count;
            return count;
        }
        size_t count = std::fread(buffer, 1, size, m_file);
        if (count < size && std::ferror(m_file)) *failed = true;
        return count;
    }

private:
    FILE* m_file;
    const std::string* m_data;
    size_t m_offset = 0;
};

class CDeflater {
public:
    explicit CDeflater(int level) {
        m_initialised = deflateInit2(&m_stream, level, Z_DEFLATED, 15, 8, Z_DEFAULT_STRATEGY) == Z_OK;
    }
    ~CDeflater() {
        if (m_initialised) deflateEnd(&m_stream);
    }
    CDeflater(const CDeflater&) = delete;
    CDeflater& operator=(const CDeflater&) = delete;
    bool Initialised() const { return m_initialised; }
    z_stream& Stream() { return m_stream; }

private:
    z_stream m_stream{};
    bool m_initialised = false;
};

// One whole zlib stream of `source` (32 KiB window, no dictionary) appended to `out`.
bool CompressEntry(CSource& source, int level, COutput& out, uint64_t* fileSize, uint64_t* compressedSize,
                   std::string& error) {
    CDeflater deflater(level);
    if (!deflater.Initialised()) {
        error = "zlib could not start compressing";
        return false;
    }
    z_stream& stream = deflater.Stream();
    std::unique_ptr<unsigned char[]> in(new unsigned char[kCopyPiece]);
    std::unique_ptr<unsigned char[]> outBuffer(new unsigned char[kCopyPiece]);
    uint64_t start = out.Position();
    *fileSize = 0;
    int flush = Z_NO_FLUSH;
    do {
        bool failed = false;
        size_t got = source.Read(in.get(), kCopyPiece, &failed);
        if (failed) {
            error = "reading the file failed";
            return false;
        }
        *fileSize += got;
        // Only an empty read ends the input.
        flush = got == 0 ? Z_FINISH : Z_NO_FLUSH;
        stream.next_in = in.get();
        stream.avail_in = static_cast<uInt>(got);
        do {
            stream.next_out = outBuffer.get();
            stream.avail_out = kCopyPiece;
            int status = deflate(&stream, flush);
            if (status == Z_STREAM_ERROR) {
                error = "zlib failed while compressing";
                return false;
            }
            if (!out.Write(outBuffer.get(), kCopyPiece - stream.avail_out)) {
                error = "writing the package failed";
                return false;
            }
        } while (stream.avail_out == 0);
    } while (flush != Z_FINISH);
    *compressedSize = out.Position() - start;
    return true;
}

bool SameFile(const std::string& a, const std::string& b) {
    std::error_code ec;
    return std::filesystem::equivalent(a, b, ec) && !ec;
}

}  // namespace

BOOL CheckSfxPackagePlan(const SfxPackagePlan& plan, std::string& error) {
    static const char* const kCommandNames[] = {"Win32 command", "DOS command", "command 3", "command 4"};
    for (size_t i = 0; i < sfx::kCommandCount; ++i) {
        if (plan.commands[i].size() >= sfx::kCommandFieldLimit) {
            error = common::Format("%s has %u characters; at most %u fit", kCommandNames[i],
                                   static_cast<unsigned>(plan.commands[i].size()),
                                   static_cast<unsigned>(sfx::kCommandFieldLimit - 1));
            return FALSE;
        }
        if (plan.commands[i].find('\0') != std::string::npos) {
            error = common::Format("%s contains a NUL character", kCommandNames[i]);
            return FALSE;
        }
    }
    if (plan.level < -1 || plan.level > 9) {
        error = common::Format("compression level %d is not 0 to 9", plan.level);
        return FALSE;
    }
    if (plan.entries.size() > 0xFFFFFFFFu) {
        error = "too many entries";
        return FALSE;
    }
    for (const SfxWriterEntry& entry : plan.entries) {
        const char* name = entry.info.m_szFileName;
        size_t length = strnlen(name, sizeof entry.info.m_szFileName);
        if (length >= sizeof entry.info.m_szFileName) {
            error = "an entry name is longer than 79 characters";
            return FALSE;
        }
        if (!sfx::IsPlainFileName(name)) {
            error = common::Format("entry name \"%s\" is not a plain file name", name);
            return FALSE;
        }
    }
    return TRUE;
}

BOOL WriteSfxPackage(const std::string& programPath, const SfxPackagePlan& plan, const std::string& outputPath,
                     std::string& error, std::vector<CSrcFileInfo>* entriesOut) {
    if (!CheckSfxPackagePlan(plan, error)) return FALSE;
    if (SameFile(outputPath, programPath)) {
        error = "the output would overwrite the program file";
        return FALSE;
    }
    for (const SfxWriterEntry& entry : plan.entries) {
        if (!entry.hasData && SameFile(outputPath, entry.sourcePath)) {
            error = common::Format("the output would overwrite \"%s\"", entry.sourcePath.c_str());
            return FALSE;
        }
    }
    UniqueStdFile program(sfxfs::OpenForRead(programPath.c_str()));
    if (!program) {
        error = common::Format("cannot open the program file \"%s\"", programPath.c_str());
        return FALSE;
    }
    int createError = 0;
    UniqueStdFile output(sfxfs::CreateForWrite(outputPath.c_str(), &createError));
    if (!output) {
        error = common::Format("cannot create \"%s\" (error %d)", outputPath.c_str(), createError);
        return FALSE;
    }

    auto fail = [&](const std::string& text) {
        error = text;
        output.reset();
        std::remove(outputPath.c_str());
        return FALSE;
    };

    std::string image;
    if (!ReadProgram(program.get(), &image)) return fail("reading the program file failed");
    size_t slotAt = sfx::kNoBindingSlot;
    std::string why;
    if (!sfx::FindBindingSlot(image, &slotAt, why)) return fail(common::Format("%s: %s", programPath.c_str(), why.c_str()));

    // The image goes out as built; its slot is filled in once the package's digest is known.
    COutput out(output.get());
    if (!out.Write(image)) return fail("writing the package failed");
    sfx::CSha256 hash;
    sfx::CPeChecksum checksum;
    if (slotAt != sfx::kNoBindingSlot) out.StartDigest(&hash, &checksum);
    const uint64_t packageAt = out.Position();
    if (!out.Write(sfx::kDataMarker, sfx::kDataMarkerLength)) return fail("writing the package failed");

    std::vector<CSrcFileInfo> stored;
    stored.reserve(plan.entries.size());
    for (const SfxWriterEntry& entry : plan.entries) {
        CSrcFileInfo info = entry.info;
        info.m_ullDataOffset = out.Position();
        UniqueStdFile file;
        if (!entry.hasData) {
            file.reset(sfxfs::OpenForRead(entry.sourcePath.c_str()));
            if (!file) return fail(common::Format("cannot open \"%s\"", entry.sourcePath.c_str()));
        }
        CSource source(file.get(), entry.hasData ? &entry.data : nullptr);
        if (!CompressEntry(source, plan.level, out, &info.m_ullFileSize, &info.m_ullCompressedSize, why))
            return fail(common::Format("%s: %s", info.m_szFileName, why.c_str()));
        stored.push_back(info);
    }

    uint64_t tocOffset = out.Position();
    sfx::CByteWriter toc;
    sfx::WriteTocHeader(toc, plan.flags, plan.reserved, plan.commands, static_cast<uint32_t>(stored.size()));
    for (const CSrcFileInfo& info : stored) sfx::WriteEntryRecord(toc, info);
    sfx::WriteTrailer(toc, tocOffset);
    if (!out.Write(toc.Data())) return fail("writing the package failed");
    if (slotAt != sfx::kNoBindingSlot) {
        sfx::SfxBinding binding;
        binding.offset = packageAt;
        binding.length = out.Position() - packageAt;
        hash.Final(binding.digest);
        if (!RecordBinding(output.get(), image, slotAt, binding, checksum))
            return fail("writing the package failed");
    }
    FILE* raw = output.release();
    if (std::fclose(raw) != 0) {
        std::remove(outputPath.c_str());
        error = "writing the package failed";
        return FALSE;
    }
    if (entriesOut) *entriesOut = std::move(stored);
    return TRUE;
}
