#ifndef DOS_CORE_DZ_INFLATE_H
#define DOS_CORE_DZ_INFLATE_H
/* The DOS program's inflater: one zlib stream (stored, fixed and dynamic blocks), read through a
   callback and written through a callback out of a 32 KiB circular window. The window is the
   only large buffer; in the DOS build it is a separate DOS memory block reached through FS, in
   native builds an ordinary array. Portable C, no library calls, so that the same source builds
   freestanding for real mode and natively for tests and fuzzing. */

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#ifdef DZ_DOS
#define DZ_FAR __seg_fs
#else
#define DZ_FAR
#endif

#define DZ_WINDOW_SIZE 32768u
#define DZ_INPUT_SIZE 1024u

enum {
    DZ_OK = 0,
    DZ_TRUNCATED = 1,   /* the input ended before the stream */
    DZ_BAD_HEADER = 2,  /* not a zlib header this inflater accepts */
    DZ_BAD_BLOCK = 3,   /* reserved block type, stored length check, bad code lengths */
    DZ_BAD_CODE = 4,    /* a code that is not in the block's code set, or a bad symbol */
    DZ_BAD_DISTANCE = 5,
    DZ_CHECKSUM = 6,    /* the Adler-32 does not match the inflated bytes */
    DZ_READ = 7,        /* the read callback failed */
    DZ_WRITE = 8        /* the write callback failed */
};

typedef struct dz_stream {
    /* Up to `want` bytes of the compressed stream into `into`: the count, 0 at its end, -1 on
       an error. */
    int (*read)(void* context, uint8_t* into, unsigned want);
    /* The bytes window[from, from + count): 0 when all were written. */
    int (*write)(void* context, DZ_FAR const uint8_t* window, unsigned from, unsigned count);
    void* context;
    DZ_FAR uint8_t* window; /* DZ_WINDOW_SIZE bytes */

    /* State, set by dz_inflate. */
    uint8_t input[DZ_INPUT_SIZE];
    unsigned inputHeld, inputAt;
    uint32_t bitBuffer;
    unsigned bitCount;
    int error;
    unsigned windowAt;     /* next position to fill */
    unsigned flushedTo;    /* bytes before this position were written */
    uint32_t total;        /* bytes inflated so far */
    uint32_t adlerA, adlerB;
} dz_stream;

/* Inflates the whole stream: DZ_OK only when the final block ended and the Adler-32 matched;
   every byte was then written. Input behind the stream is not read beyond the current piece. */
int dz_inflate(dz_stream* s);

/* A short text for a result code. */
const char* dz_error_text(int code);

#ifdef __cplusplus
}
#endif

#endif
