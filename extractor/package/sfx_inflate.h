#pragma once
// Inflating one stored zlib stream out of the package, in fixed pieces, so that an entry of any
// size needs no more memory than those: 1024-byte pieces into a sink, 64 KiB in and 256 KiB out
// into a C stream, with the same results either way.

#include <cstddef>
#include <cstdint>
#include <cstdio>

// Results of DecompressStream; any non-zero result is a failure.
enum : int {
    kInflateOk = 0,
    kInflateInitError = -1,
    kInflateDataError = -2,  // corrupt data, bad check value, or input ended before the stream
    kInflateReadError = -13,
    kInflateWriteError = -14,
    kInflateTooLarge = -15,  // the stream inflates past the bound it was given
};

// Receives each piece of inflated bytes; answers false when it could not take them all.
using SfxInflateSink = bool (*)(void* context, const unsigned char* bytes, size_t count);

// Reads at most *compressedSize bytes from `source` (positioned at the stream), inflates them
// and hands the output to `sink`. On return *compressedSize holds the bytes inflate consumed
// and *written the bytes handed to the sink. Input behind the end of the stream is ignored.
int DecompressStreamTo(FILE* source, uint64_t* compressedSize, SfxInflateSink sink, void* context,
                       uint64_t* written);

// The same into a C stream, with the same bytes, result and counts; the stream is written in
// pieces of up to 256 KiB. A stream that fails is inflated a second time from its start
// (`source` must be seekable for that; when it is not, the counts of a failure are those of
// the larger pieces). A stream that inflates past `maxOutput` bytes fails with kInflateTooLarge
// as soon as that shows, with no more than `maxOutput` bytes written.
int DecompressStream(FILE* source, uint64_t* compressedSize, FILE* destination, uint64_t* written,
                     uint64_t maxOutput = UINT64_MAX);
