#include "extractor/package/sfx_inflate.h"

#include <cstring>
#include <memory>
#include <new>
#include <zlib.h>

#include "extractor/package/sfx_fs.h"

namespace {

// The pieces of the reference loop (DecompressStreamTo): every result of a stream that fails
// is defined by them.
constexpr size_t kPiece = 1024;
// The pieces of the extraction loop (DecompressStream): large enough that inflate spends its
// time in its fast decoder and each call and write carries many bytes, small enough that an
// entry of any size needs at most 320 KiB. A short stream gets smaller ones: the input piece
// is no larger than the stream, and the output piece starts at kFirstOutputPiece and doubles
// each time it fills, up to kOutputPiece, before anything is written, so the writes are the
// same as with the full piece from the start.
constexpr size_t kInputPiece = 64 * 1024;
constexpr size_t kOutputPiece = 256 * 1024;
// Output the extraction loop keeps back until the stream has ended well. The reference loop
// drops the output of the inflate call that fails, at most one piece, so whatever has already
// been written is also written by the reference loop.
constexpr size_t kHeldBack = 4 * kPiece;
constexpr size_t kFirstOutputPiece = 4 * kHeldBack;

// Owns an initialised inflate stream; ends it on every path.
class CInflater {
public:
    CInflater() { m_initialised = inflateInit(&m_stream) == Z_OK; }
    ~CInflater() {
        if (m_initialised) inflateEnd(&m_stream);
    }
    CInflater(const CInflater&) = delete;
    CInflater& operator=(const CInflater&) = delete;
    bool Initialised() const { return m_initialised; }
    z_stream& Stream() { return m_stream; }

private:
    z_stream m_stream{};
    bool m_initialised = false;
};

bool WriteToStream(void* context, const unsigned char* bytes, size_t count) {
    FILE* destination = static_cast<FILE*>(context);
    return std::fwrite(bytes, 1, count, destination) == count && !std::ferror(destination);
}

// A destination that takes at most `max` bytes in all.
struct CBoundedSink {
    FILE* destination;
    uint64_t total;
    uint64_t max;
    bool exceeded;
};

bool WriteBounded(void* context, const unsigned char* bytes, size_t count) {
    CBoundedSink* sink = static_cast<CBoundedSink*>(context);
    if (count > sink->max - sink->total) {
        sink->exceeded = true;
        return false;
    }
    sink->total += count;
    return WriteToStream(sink->destination, bytes, count);
}

// The sink of a second pass of the reference loop over a stream the extraction loop could not
// finish: it counts what the reference loop hands over, refuses beyond `limit` (the bytes the
// destination took before it refused) and writes only what lies at or behind `writeFrom`.
struct CReplaySink {
    FILE* destination;
    uint64_t total;
    uint64_t limit;
    uint64_t writeFrom;
};

bool ReplayPiece(void* context, const unsigned char* bytes, size_t count) {
    CReplaySink* replay = static_cast<CReplaySink*>(context);
    if (count > replay->limit - replay->total) return false;
    uint64_t end = replay->total + count;
    if (end > replay->writeFrom) {
        size_t skip = replay->writeFrom > replay->total ? static_cast<size_t>(replay->writeFrom - replay->total) : 0;
        if (!WriteToStream(replay->destination, bytes + skip, count - skip)) return false;
    }
    replay->total = end;
    return true;
}

}  // namespace

int DecompressStreamTo(FILE* source, uint64_t* compressedSize, SfxInflateSink sink, void* context,
                       uint64_t* written) {
    *written = 0;
    CInflater inflater;
    if (!inflater.Initialised()) {
        *compressedSize = 0;
        return kInflateInitError;
    }
    z_stream& stream = inflater.Stream();
    unsigned char in[kPiece];
    unsigned char out[kPiece];
    uint64_t remaining = *compressedSize;
    uint64_t consumed = 0;  // bytes handed to inflate
    int status = Z_OK;
    do {
        size_t want = remaining < kPiece ? static_cast<size_t>(remaining) : kPiece;
        size_t got = want ? std::fread(in, 1, want, source) : 0;
        if (got < want && std::ferror(source)) {
            *compressedSize = consumed;
            return kInflateReadError;
        }
        if (got == 0) break;
        remaining -= got;
        stream.next_in = in;
        stream.avail_in = static_cast<uInt>(got);
        do {
            stream.next_out = out;
            stream.avail_out = kPiece;
            status = inflate(&stream, Z_NO_FLUSH);
            if (status == Z_NEED_DICT || status == Z_DATA_ERROR || status == Z_MEM_ERROR || status == Z_STREAM_ERROR) {
                *compressedSize = consumed + (got - stream.avail_in);
                return kInflateDataError;
            }
            size_t produced = kPiece - stream.avail_out;
            if (produced && !sink(context, out, produced)) {
                *compressedSize = consumed + (got - stream.avail_in);
                return kInflateWriteError;
            }
            *written += produced;
        } while (stream.avail_out == 0 && status != Z_STREAM_END);
        // Input left in this piece behind the end of the stream is not counted.
        consumed += got - stream.avail_in;
    } while (status != Z_STREAM_END);
    *compressedSize = consumed;
    return status == Z_STREAM_END ? kInflateOk : kInflateDataError;
}

// A stream that inflates whole gives the same bytes and counts whatever the pieces. A stream
// that fails (corrupt, cut short, unreadable, or refused by the destination) answers what the
// reference loop answers for it: the extraction loop then goes back to the stream's start and
// lets the reference loop run it again, counting without writing what is already written.
int DecompressStream(FILE* source, uint64_t* compressedSize, FILE* destination, uint64_t* written,
                     uint64_t maxOutput) {
    const uint64_t claimed = *compressedSize;
    uint64_t start = 0;
    const bool errorBefore = std::ferror(source) != 0;
    const size_t inputPiece = claimed == 0 ? 1 : claimed < kInputPiece ? static_cast<size_t>(claimed) : kInputPiece;
    size_t outputPiece = kFirstOutputPiece;
    std::unique_ptr<unsigned char[]> input(new (std::nothrow) unsigned char[inputPiece]);
    std::unique_ptr<unsigned char[]> output(new (std::nothrow) unsigned char[outputPiece]);
    CInflater inflater;
    // Without its buffers or a way back to the start, the reference loop does the whole job.
    if (!input || !output || !inflater.Initialised() || !sfxfs::Tell(source, &start)) {
        CBoundedSink bounded{destination, 0, maxOutput, false};
        int result = DecompressStreamTo(source, compressedSize, &WriteBounded, &bounded, written);
        return bounded.exceeded ? kInflateTooLarge : result;
    }
    unsigned char* in = input.get();
    unsigned char* out = output.get();
    z_stream& stream = inflater.Stream();
    uint64_t remaining = claimed;
    uint64_t delivered = 0;  // bytes written to the destination
    size_t held = 0;         // bytes in `out` not written yet
    uint64_t limit = UINT64_MAX;
    int status = Z_OK;
    for (;;) {
        if (stream.avail_in == 0) {
            size_t want = remaining < inputPiece ? static_cast<size_t>(remaining) : inputPiece;
            size_t got = want ? std::fread(in, 1, want, source) : 0;
            if (got == 0) break;
            remaining -= got;
            stream.next_in = in;
            stream.avail_in = static_cast<uInt>(got);
        }
        stream.next_out = out + held;
        stream.avail_out = static_cast<uInt>(outputPiece - held);
        status = inflate(&stream, Z_NO_FLUSH);
        held = outputPiece - stream.avail_out;
        // Larger than the entry says it is: stop before writing any of it.
        if (delivered + held > maxOutput) {
            *compressedSize = claimed - remaining - stream.avail_in;
            *written = delivered;
            return kInflateTooLarge;
        }
        if (status != Z_OK && status != Z_BUF_ERROR) break;
        if (held == outputPiece && outputPiece < kOutputPiece) {
            // Full before the largest piece: a larger one, with what it holds. Without the
            // memory the full piece is written as it is, which changes no result.
            size_t larger = 2 * outputPiece < kOutputPiece ? 2 * outputPiece : kOutputPiece;
            std::unique_ptr<unsigned char[]> grown(new (std::nothrow) unsigned char[larger]);
            if (grown) {
                std::memcpy(grown.get(), out, held);
                output = std::move(grown);
                out = output.get();
                outputPiece = larger;
                continue;
            }
        }
        if (held == outputPiece) {
            const size_t give = outputPiece - kHeldBack;
            size_t taken = std::fwrite(out, 1, give, destination);
            if (taken != give || std::ferror(destination)) {
                limit = delivered + taken;
                break;
            }
            delivered += give;
            std::memmove(out, out + give, kHeldBack);
            held = kHeldBack;
        } else if (stream.avail_in != 0) {
            break;  // no progress with input and room for output: treated as a failure
        }
    }
    if (status == Z_STREAM_END && limit == UINT64_MAX) {
        size_t taken = std::fwrite(out, 1, held, destination);
        if (taken == held && !std::ferror(destination)) {
            // Input behind the end of the stream is not counted.
            *compressedSize = claimed - remaining - stream.avail_in;
            *written = delivered + held;
            return kInflateOk;
        }
        limit = delivered + taken;
    }

    // The second pass. A refusing destination gets nothing more; otherwise the bytes the
    // reference loop would have written behind those already written follow them.
    if (!sfxfs::Seek(source, start)) {
        *compressedSize = claimed - remaining - stream.avail_in;
        *written = delivered;
        return limit != UINT64_MAX ? kInflateWriteError : kInflateDataError;
    }
    if (!errorBefore) std::clearerr(source);
    CReplaySink replay{destination, 0, limit, limit != UINT64_MAX ? UINT64_MAX : delivered};
    *compressedSize = claimed;
    return DecompressStreamTo(source, compressedSize, &ReplayPiece, &replay, written);
}
