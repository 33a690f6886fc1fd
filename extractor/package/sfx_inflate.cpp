#include "extractor/package/sfx_inflate.h"

#include <zlib.h>

namespace {

constexpr size_t kPiece = 1024;

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

int DecompressStream(FILE* source, uint64_t* compressedSize, FILE* destination, uint64_t* written) {
    return DecompressStreamTo(source, compressedSize, &WriteToStream, destination, written);
}
