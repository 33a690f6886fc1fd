// Fuzz target: the DOS program's package reader and inflater on arbitrary bytes. The input is
// read as a package; the same bytes also go through the inflater as one stream, split into
// reads of a size taken from the first byte. Beyond the sanitizers' checks, it aborts when a
// kept entry name is not a DOS short name or a write reaches outside the window.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "dos/core/dz_inflate.h"
#include "dos/core/dz_names.h"
#include "dos/core/dz_package.h"

namespace {

struct Input {
    const uint8_t* data;
    size_t size;
    size_t at;
    unsigned piece;
};

int ReadAt(void* context, dz_offset offset, uint8_t* into, unsigned want) {
    const Input* in = static_cast<const Input*>(context);
    if (offset > in->size) return -1;
    size_t n = want < in->size - offset ? want : in->size - offset;
    std::memcpy(into, in->data + offset, n);
    return static_cast<int>(n);
}

int ReadNext(void* context, uint8_t* into, unsigned want) {
    Input* in = static_cast<Input*>(context);
    size_t n = want < in->piece ? want : in->piece;
    if (n > in->size - in->at) n = in->size - in->at;
    std::memcpy(into, in->data + in->at, n);
    in->at += n;
    return static_cast<int>(n);
}

int Write(void*, const uint8_t*, unsigned from, unsigned count) {
    if (from + count > DZ_WINDOW_SIZE || count == 0) std::abort();
    return 0;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static dz_package package;
    Input in{data, size, 0, 1};
    dz_source source{&ReadAt, &in, static_cast<dz_offset>(size)};
    char error[DZ_ERROR_SIZE];
    if (dz_read_package(&source, &package, error) == DZ_PKG_OK) {
        for (unsigned i = 0; i < package.dosCount; ++i)
            if (!dz_is_dos_name(package.entries[i].name)) std::abort();
    }
    static std::vector<uint8_t> window(DZ_WINDOW_SIZE);
    static dz_stream stream;
    in.piece = size ? 1u + data[0] % 64u : 1u;
    in.at = 0;
    stream.read = ReadNext;
    stream.write = Write;
    stream.context = &in;
    stream.window = window.data();
    (void)dz_inflate(&stream);
    return 0;
}
