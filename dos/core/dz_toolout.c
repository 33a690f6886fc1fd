#include "dz_toolout.h"

#include "dz_text.h"

/* Where `wanted` first occurs in `carry` followed by `text`, with at least one of its bytes in
   `text` (one wholly in the carry was found with the text before), letters compared without
   regard to case when `anyCase`: its offset in that joined text, or -1. */
static long find_across(const char* carry, const char* text, const char* wanted, int anyCase) {
    size_t n = dz_strlen(wanted), c = dz_strlen(carry);
    for (size_t start = c >= n ? c - (n - 1) : 0;; start++) {
        size_t i = 0;
        while (i < n) {
            size_t at = start + i;
            char ch = at < c ? carry[at] : text[at - c];
            if (!ch || (anyCase ? dz_upper(ch) != dz_upper(wanted[i]) : ch != wanted[i])) break;
            i++;
        }
        if (i == n) return (long)start;
        if (start >= c && !text[start - c]) return -1;
    }
}

static void count_up(int32_t* counter) {
    if (*counter < 0x7FFFFFFF) ++*counter;
}

static void add_char(char* line, char c) {
    size_t n = dz_strlen(line);
    if (n + 1 < DZ_TOOL_LINE) {
        line[n] = c;
        line[n + 1] = '\0';
    }
}

/* The texts a line is tested for, in order: the first found gives its verdict, which is its
   place in the list counted from 1 (DZ_LINE_DONE, DZ_LINE_ERROR, DZ_LINE_STEP). */
static const char* const kBiosLines[] = {"Verifying NCBlock ..... done", "Error", 0};
static const char* const kMeLines[] = {"FW Update is complete", "ERROR", "[ COMPLETE ]", 0};

static int line_verdict(const char* line, const char* const* texts, int anyCase) {
    for (int i = 0; texts[i]; i++)
        if (find_across("", line, texts[i], anyCase) >= 0) return i + 1;
    return DZ_LINE_PLAIN;
}

int dz_tool_bios_line(const char* line) { return line_verdict(line, kBiosLines, 0); }

int dz_tool_me_line(const char* line) { return line_verdict(line, kMeLines, 1); }

int dz_tool_byte(char c, int32_t* lineCount, int32_t banner) {
    if (c == '\r') return DZ_BYTE_LINE_END;
    if (c == '\n') {
        int shown = *lineCount >= banner;
        count_up(lineCount);
        return shown ? DZ_BYTE_NEW_ROW : DZ_BYTE_HIDDEN;
    }
    return *lineCount >= banner ? DZ_BYTE_TEXT : DZ_BYTE_HIDDEN;
}

static void bios_output(dz_tool_output* out, const char* text) {
    for (const char* p = text; *p; p++) {
        int effect = dz_tool_byte(*p, &out->biosLineCount, DZ_TOOL_BIOS_BANNER);
        if (effect == DZ_BYTE_LINE_END) {
            int line = dz_tool_bios_line(out->biosLine);
            if (line == DZ_LINE_DONE) {
                out->done = out->completed = 1;
            } else if (line == DZ_LINE_ERROR) {
                dz_copy(out->errorText, DZ_TOOL_LINE, out->biosLine);
                out->biosError = 1;
            }
            out->biosLine[0] = '\0';
        } else if (effect == DZ_BYTE_TEXT) {
            add_char(out->biosLine, *p);
        }
    }
}

static void me_output(dz_tool_output* out, const char* text) {
    for (const char* p = text; *p; p++) {
        int effect = dz_tool_byte(*p, &out->meLineCount, DZ_TOOL_ME_BANNER);
        if (effect == DZ_BYTE_LINE_END) {
            int line = dz_tool_me_line(out->meLine);
            if (line == DZ_LINE_DONE) {
                out->done = out->completed = 1;
            } else if (line == DZ_LINE_ERROR) {
                out->meError = 1; /* the rest of the text is left unread, the line kept */
                return;
            } else if (line == DZ_LINE_STEP) {
                count_up(&out->meLineCount);
            }
            out->meLine[0] = '\0';
        } else if (effect == DZ_BYTE_TEXT) {
            add_char(out->meLine, *p);
        }
    }
}

/* The progress display's counter: the first call opens the display, then one step per call,
   rows of 70 and then 69. */
static void me_progress(dz_tool_output* out) {
    if (out->meLineCount < 1) {
        out->meLine[0] = '\0';
        count_up(&out->meLineCount);
        return;
    }
    if (out->meLineCount >= 70) out->meLineCount = 1;
    count_up(&out->meLineCount);
}

static void tool_error(dz_tool_output* out, const char* text, int kind) {
    char copy[DZ_TOOL_LINE + 2];
    dz_copy(out->errorText, DZ_TOOL_LINE, text);
    if (kind == DZ_TOOL_ME_VERSION || kind == DZ_TOOL_ME_FLASH) {
        out->meError = 1;
        int32_t saved = out->meLineCount;
        out->meLineCount = DZ_TOOL_ME_BANNER;
        me_progress(out);
        out->meLineCount = saved;
    } else {
        out->biosError = 1;
        int32_t saved = out->biosLineCount;
        out->biosLineCount = DZ_TOOL_BIOS_BANNER;
        bios_output(out, "\r\nError message: ");
        dz_copy(copy, sizeof copy, out->errorText);
        dz_append(copy, sizeof copy, "\r\n");
        bios_output(out, copy);
        out->biosLineCount = saved;
    }
}

void dz_tool_me_version(const char* marker, char* out, size_t size) {
    const char* p = marker + 11; /* "FW Version:" */
    const char* lineFeed = p;
    while (*lineFeed && *lineFeed != '\n') lineFeed++;
    size_t n = 0;
    if (*lineFeed)
        for (; p < lineFeed; p++)
            if (*p != ' ' && n + 1 < size) out[n++] = *p;
    out[n] = '\0';
}

/* The output from `at` (an offset found by find_across) on, cut to a line's length when the
   match starts in the carry; otherwise the chunk itself from there. */
static const char* text_from(const dz_tool_output* out, const char* chunk, long at, char* joined) {
    size_t c = dz_strlen(out->carry);
    if ((size_t)at >= c) return chunk + ((size_t)at - c);
    dz_copy(joined, DZ_TOOL_LINE, out->carry + at);
    dz_append(joined, DZ_TOOL_LINE, chunk);
    return joined;
}

void dz_tool_keep_carry(char* carry, const char* chunk) {
    size_t n = dz_strlen(chunk), c = dz_strlen(carry);
    if (n > DZ_TOOL_CARRY) chunk += n - DZ_TOOL_CARRY;
    for (; *chunk; chunk++) {
        if (c == DZ_TOOL_CARRY) { /* full: the oldest byte goes */
            for (size_t i = 1; i < c; i++) carry[i - 1] = carry[i];
            c--;
        }
        carry[c++] = *chunk;
    }
    carry[c] = '\0';
}

int dz_tool_chunk_meaning(const char* carry, const char* chunk, int kind, long* at) {
    if (kind == DZ_TOOL_ME_VERSION && (*at = find_across("", chunk, "FW Version:", 0)) >= 0) return DZ_CHUNK_VERSION;
#ifndef DZ_DOS
    if (kind == DZ_TOOL_DRIVER_LOAD) {
        /* Any chunk without the success word counts as an error, even a partial line. */
        *at = (long)dz_strlen(carry);
        return find_across("", chunk, "Successfully", 1) >= 0 ? DZ_CHUNK_PLAIN : DZ_CHUNK_ERROR;
    }
#endif
    if ((*at = find_across(carry, chunk, "Error", 1)) >= 0) return DZ_CHUNK_ERROR;
    if (kind == DZ_TOOL_ME_FLASH && find_across(carry, chunk, "FW Update is complete", 1) >= 0)
        return DZ_CHUNK_COMPLETE;
    return DZ_CHUNK_PLAIN;
}

void dz_tool_begin(dz_tool_output* out) { out->carry[0] = '\0'; }

void dz_tool_chunk(dz_tool_output* out, const char* chunk, int kind) {
    char joined[DZ_TOOL_LINE];
    long at;
    int meaning = dz_tool_chunk_meaning(out->carry, chunk, kind, &at);
    switch (kind) {
    case DZ_TOOL_ME_VERSION:
        if (meaning == DZ_CHUNK_VERSION) {
            dz_tool_me_version(chunk + at, out->meVersion, sizeof out->meVersion);
            out->meVersionFound = 1; /* also for an empty version */
        } else if (meaning == DZ_CHUNK_ERROR) {
            /* The whole chunk when the error word starts in it. */
            tool_error(out, (size_t)at >= dz_strlen(out->carry) ? chunk : text_from(out, chunk, at, joined), kind);
        }
        break;
    case DZ_TOOL_ME_FLASH:
        if (meaning == DZ_CHUNK_ERROR) {
            tool_error(out, text_from(out, chunk, at, joined), kind);
        } else if (out->meUpdV1) {
            if (meaning == DZ_CHUNK_COMPLETE) out->completed = 1;
            me_output(out, chunk);
        } else {
            me_progress(out);
        }
        break;
    default:
        if (meaning == DZ_CHUNK_ERROR) tool_error(out, text_from(out, chunk, at, joined), DZ_TOOL_BIOS);
        bios_output(out, chunk);
        break;
    }
    dz_tool_keep_carry(out->carry, chunk);
}

void dz_tool_reset_me(dz_tool_output* out) {
    out->meVersion[0] = '\0';
    out->meVersionFound = 0;
    out->meError = 0;
}
