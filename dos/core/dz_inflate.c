/* Inflate after RFC 1950/1951, written for size: canonical Huffman codes decoded bit by bit
   from count and symbol tables, so that no lookup table is needed beyond a few hundred words. */
#include "dz_inflate.h"

#define DZ_WINDOW_MASK (DZ_WINDOW_SIZE - 1u)
#define DZ_MAX_BITS 15
#define DZ_MAX_LENGTHS 286
#define DZ_MAX_DISTANCES 30
#define DZ_FIXED_LENGTHS 288

typedef struct dz_huffman {
    int16_t* count;  /* codes of each length, [0..15] */
    int16_t* symbol; /* symbols in canonical order */
} dz_huffman;

static int next_byte(dz_stream* s) {
    if (s->inputAt == s->inputHeld) {
        int got = s->read(s->context, s->input, DZ_INPUT_SIZE);
        if (got <= 0 || (unsigned)got > DZ_INPUT_SIZE) {
            if (!s->error) s->error = got == 0 ? DZ_TRUNCATED : DZ_READ;
            return -1;
        }
        s->inputHeld = (unsigned)got;
        s->inputAt = 0;
    }
    return s->input[s->inputAt++];
}

/* n bits, least significant first. Past the end of the input the bits read as zero and the
   stream's error is set; every loop checks it, so the zeros never reach a file. */
static unsigned bits(dz_stream* s, unsigned n) {
    while (s->bitCount < n) {
        int byte = next_byte(s);
        if (byte < 0) byte = 0;
        s->bitBuffer |= (uint32_t)byte << s->bitCount;
        s->bitCount += 8;
    }
    unsigned value = (unsigned)(s->bitBuffer & ((1uL << n) - 1u));
    s->bitBuffer >>= n;
    s->bitCount -= n;
    return value;
}

static void add_to_check(dz_stream* s, unsigned from, unsigned to) {
    uint32_t a = s->adlerA, b = s->adlerB;
    while (from < to) {
        unsigned n = to - from;
        if (n > 5552u) n = 5552u; /* the most bytes before b can overflow 32 bits */
        while (n--) {
            a += s->window[from++];
            b += a;
        }
        a %= 65521u;
        b %= 65521u;
    }
    s->adlerA = a;
    s->adlerB = b;
}

static void flush(dz_stream* s) {
    if (s->windowAt > s->flushedTo) {
        add_to_check(s, s->flushedTo, s->windowAt);
        if (s->write(s->context, s->window, s->flushedTo, s->windowAt - s->flushedTo) != 0 && !s->error)
            s->error = DZ_WRITE;
    }
    if (s->windowAt == DZ_WINDOW_SIZE) s->windowAt = 0;
    s->flushedTo = s->windowAt;
}

static void put(dz_stream* s, uint8_t byte) {
    s->window[s->windowAt++] = byte;
    s->total++;
    if (s->windowAt == DZ_WINDOW_SIZE) flush(s);
}

/* Fills the tables from code lengths: 0 for a complete code, a negative value for an
   over-subscribed one, a positive value (the codes left over) for an incomplete one. */
static int construct(dz_huffman* h, const int16_t* length, unsigned n) {
    int16_t offsets[DZ_MAX_BITS + 1];
    unsigned len, symbol;
    int left;
    for (len = 0; len <= DZ_MAX_BITS; len++) h->count[len] = 0;
    for (symbol = 0; symbol < n; symbol++) h->count[length[symbol]]++;
    if ((unsigned)h->count[0] == n) return 0;
    left = 1;
    for (len = 1; len <= DZ_MAX_BITS; len++) {
        left <<= 1;
        left -= h->count[len];
        if (left < 0) return left;
    }
    offsets[1] = 0;
    for (len = 1; len < DZ_MAX_BITS; len++) offsets[len + 1] = (int16_t)(offsets[len] + h->count[len]);
    for (symbol = 0; symbol < n; symbol++)
        if (length[symbol] != 0) h->symbol[offsets[length[symbol]]++] = (int16_t)symbol;
    return left;
}

/* The next symbol, or -1 when the bits are no code of the set. */
static int decode(dz_stream* s, const dz_huffman* h) {
    int code = 0, first = 0, index = 0;
    for (unsigned len = 1; len <= DZ_MAX_BITS; len++) {
        code |= (int)bits(s, 1);
        int count = h->count[len];
        if (code - count < first) return h->symbol[index + (code - first)];
        index += count;
        first += count;
        first <<= 1;
        code <<= 1;
    }
    return -1;
}

static const uint16_t kLengthBase[29] = {3,  4,  5,  6,  7,  8,  9,  10, 11,  13,  15,  17,  19,  23, 27,
                                         31, 35, 43, 51, 59, 67, 83, 99, 115, 131, 163, 195, 227, 258};
static const uint8_t kLengthExtra[29] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2,
                                         2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
static const uint16_t kDistanceBase[30] = {1,   2,   3,   4,   5,   7,    9,    13,   17,   25,   33,   49,    65,    97,    129,
                                           193, 257, 385, 513, 769, 1025, 1537, 2049, 3073, 4097, 6145, 8193, 12289, 16385, 24577};
static const uint8_t kDistanceExtra[30] = {0, 0, 0, 0, 1, 1, 2, 2,  3,  3,  4,  4,  5,  5,  6,
                                           6, 7, 7, 8, 8, 9, 9, 10, 10, 11, 11, 12, 12, 13, 13};

static int codes(dz_stream* s, const dz_huffman* lengths, const dz_huffman* distances) {
    for (;;) {
        int symbol = decode(s, lengths);
        if (s->error) return s->error;
        if (symbol < 0) return DZ_BAD_CODE;
        if (symbol < 256) {
            put(s, (uint8_t)symbol);
        } else if (symbol == 256) {
            return DZ_OK;
        } else {
            symbol -= 257;
            if (symbol >= 29) return DZ_BAD_CODE;
            unsigned length = kLengthBase[symbol] + bits(s, kLengthExtra[symbol]);
            symbol = decode(s, distances);
            if (s->error) return s->error;
            if (symbol < 0 || symbol >= 30) return DZ_BAD_CODE;
            uint32_t distance = kDistanceBase[symbol] + bits(s, kDistanceExtra[symbol]);
            if (s->error) return s->error;
            if (distance > s->total) return DZ_BAD_DISTANCE;
            while (length--) put(s, s->window[(s->windowAt - (unsigned)distance) & DZ_WINDOW_MASK]);
        }
        if (s->error) return s->error;
    }
}

static int stored(dz_stream* s) {
    s->bitBuffer = 0; /* the rest of the current byte */
    s->bitCount = 0;
    unsigned length = bits(s, 16);
    unsigned check = bits(s, 16);
    if (s->error) return s->error;
    if (length != (~check & 0xFFFFu)) return DZ_BAD_BLOCK;
    while (length--) {
        int byte = next_byte(s);
        if (byte < 0) return s->error;
        put(s, (uint8_t)byte);
    }
    return s->error;
}

static int fixed(dz_stream* s) {
    static int16_t lengthCount[DZ_MAX_BITS + 1], lengthSymbol[DZ_FIXED_LENGTHS];
    static int16_t distanceCount[DZ_MAX_BITS + 1], distanceSymbol[DZ_MAX_DISTANCES];
    static int built;
    dz_huffman lengths = {lengthCount, lengthSymbol}, distances = {distanceCount, distanceSymbol};
    if (!built) {
        int16_t code[DZ_FIXED_LENGTHS];
        unsigned symbol;
        for (symbol = 0; symbol < 144; symbol++) code[symbol] = 8;
        for (; symbol < 256; symbol++) code[symbol] = 9;
        for (; symbol < 280; symbol++) code[symbol] = 7;
        for (; symbol < DZ_FIXED_LENGTHS; symbol++) code[symbol] = 8;
        construct(&lengths, code, DZ_FIXED_LENGTHS);
        for (symbol = 0; symbol < DZ_MAX_DISTANCES; symbol++) code[symbol] = 5;
        construct(&distances, code, DZ_MAX_DISTANCES);
        built = 1;
    }
    return codes(s, &lengths, &distances);
}

static int dynamic(dz_stream* s) {
    static const uint8_t kOrder[19] = {16, 17, 18, 0, 8, 7, 9, 6, 10, 5, 11, 4, 12, 3, 13, 2, 14, 1, 15};
    int16_t length[DZ_MAX_LENGTHS + DZ_MAX_DISTANCES];
    int16_t lengthCount[DZ_MAX_BITS + 1], lengthSymbol[DZ_MAX_LENGTHS];
    int16_t distanceCount[DZ_MAX_BITS + 1], distanceSymbol[DZ_MAX_DISTANCES];
    dz_huffman lengths = {lengthCount, lengthSymbol}, distances = {distanceCount, distanceSymbol};

    unsigned nlen = bits(s, 5) + 257;
    unsigned ndist = bits(s, 5) + 1;
    unsigned ncode = bits(s, 4) + 4;
    if (s->error) return s->error;
    if (nlen > DZ_MAX_LENGTHS || ndist > DZ_MAX_DISTANCES) return DZ_BAD_BLOCK;
    unsigned index;
    for (index = 0; index < ncode; index++) length[kOrder[index]] = (int16_t)bits(s, 3);
    for (; index < 19; index++) length[kOrder[index]] = 0;
    if (s->error) return s->error;
    if (construct(&lengths, length, 19) != 0) return DZ_BAD_BLOCK; /* must be complete */

    index = 0;
    while (index < nlen + ndist) {
        int symbol = decode(s, &lengths);
        if (s->error) return s->error;
        if (symbol < 0) return DZ_BAD_CODE;
        if (symbol < 16) {
            length[index++] = (int16_t)symbol;
            continue;
        }
        int16_t repeated = 0;
        unsigned times;
        if (symbol == 16) {
            if (index == 0) return DZ_BAD_BLOCK;
            repeated = length[index - 1];
            times = 3 + bits(s, 2);
        } else if (symbol == 17) {
            times = 3 + bits(s, 3);
        } else {
            times = 11 + bits(s, 7);
        }
        if (index + times > nlen + ndist) return DZ_BAD_BLOCK;
        while (times--) length[index++] = repeated;
    }
    if (length[256] == 0) return DZ_BAD_BLOCK; /* no end-of-block code */

    /* Incomplete codes are allowed only as a single code of one bit, as zlib allows them. */
    int left = construct(&lengths, length, nlen);
    if (left < 0 || (left > 0 && nlen != (unsigned)(lengths.count[0] + lengths.count[1]))) return DZ_BAD_BLOCK;
    left = construct(&distances, length + nlen, ndist);
    if (left < 0 || (left > 0 && ndist != (unsigned)(distances.count[0] + distances.count[1]))) return DZ_BAD_BLOCK;
    return codes(s, &lengths, &distances);
}

int dz_inflate(dz_stream* s) {
    s->inputHeld = s->inputAt = 0;
    s->bitBuffer = 0;
    s->bitCount = 0;
    s->error = DZ_OK;
    s->windowAt = s->flushedTo = 0;
    s->total = 0;
    s->adlerA = 1;
    s->adlerB = 0;

    unsigned cmf = bits(s, 8);
    unsigned flg = bits(s, 8);
    if (s->error) return s->error;
    if ((cmf & 0x0F) != 8 || (cmf >> 4) > 7 || ((cmf << 8) | flg) % 31 != 0 || (flg & 0x20)) return DZ_BAD_HEADER;

    unsigned last;
    do {
        last = bits(s, 1);
        unsigned type = bits(s, 2);
        if (s->error) return s->error;
        int result;
        if (type == 0) result = stored(s);
        else if (type == 1) result = fixed(s);
        else if (type == 2) result = dynamic(s);
        else result = DZ_BAD_BLOCK;
        if (result != DZ_OK) return result;
    } while (!last);
    flush(s);
    if (s->error) return s->error;

    s->bitBuffer >>= s->bitCount & 7u; /* to the byte boundary */
    s->bitCount &= ~7u;
    uint32_t check = 0;
    for (int i = 0; i < 4; i++) check = (check << 8) | bits(s, 8);
    if (s->error) return s->error;
    if (check != ((s->adlerB << 16) | s->adlerA)) return DZ_CHECKSUM;
    return DZ_OK;
}

const char* dz_error_text(int code) {
    switch (code) {
    case DZ_OK: return "ok";
    case DZ_TRUNCATED: return "stream truncated";
    case DZ_BAD_HEADER: return "bad zlib header";
    case DZ_BAD_BLOCK: return "bad block";
    case DZ_BAD_CODE: return "bad code";
    case DZ_BAD_DISTANCE: return "distance too far back";
    case DZ_CHECKSUM: return "checksum mismatch";
    case DZ_READ: return "read error";
    case DZ_WRITE: return "write error";
    }
    return "error";
}
