#include "dz_toolout.h"

#include "dz_text.h"

/* The first occurrence of `wanted` in `text`, letters compared without regard to case when
   `anyCase`; NULL when absent. */
static const char* find(const char* text, const char* wanted, int anyCase) {
    size_t n = dz_strlen(wanted);
    for (const char* p = text; *p; p++) {
        size_t i = 0;
        while (i < n && p[i] && (anyCase ? dz_upper(p[i]) == dz_upper(wanted[i]) : p[i] == wanted[i])) i++;
        if (i == n) return p;
    }
    return n == 0 ? text : 0;
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

static void bios_output(dz_tool_output* out, const char* text) {
    for (const char* p = text; *p; p++) {
        if (*p == '\r') {
            if (find(out->biosLine, "Verifying NCBlock ..... done", 0)) {
                out->done = out->completed = 1;
            } else if (find(out->biosLine, "Error", 0)) {
                dz_copy(out->errorText, DZ_TOOL_LINE, out->biosLine);
                out->biosError = 1;
            }
            out->biosLine[0] = '\0';
        } else if (*p == '\n') {
            count_up(&out->biosLineCount); /* the first three lines (the banner) are not kept */
        } else if (out->biosLineCount >= 3) {
            add_char(out->biosLine, *p);
        }
    }
}

static void me_output(dz_tool_output* out, const char* text) {
    for (const char* p = text; *p; p++) {
        if (*p == '\r') {
            if (find(out->meLine, "FW Update is complete", 1)) {
                out->done = out->completed = 1;
            } else if (find(out->meLine, "ERROR", 1)) {
                out->meError = 1; /* the rest of the text is left unread, the line kept */
                return;
            } else if (find(out->meLine, "[ COMPLETE ]", 1)) {
                count_up(&out->meLineCount);
            }
            out->meLine[0] = '\0';
        } else if (*p == '\n') {
            count_up(&out->meLineCount); /* the first five lines are not kept */
        } else if (out->meLineCount >= 5) {
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
        out->meLineCount = 5;
        me_progress(out);
        out->meLineCount = saved;
    } else {
        out->biosError = 1;
        int32_t saved = out->biosLineCount;
        out->biosLineCount = 3;
        bios_output(out, "\r\nError message: ");
        dz_copy(copy, sizeof copy, out->errorText);
        dz_append(copy, sizeof copy, "\r\n");
        bios_output(out, copy);
        out->biosLineCount = saved;
    }
}

static void extract_version(dz_tool_output* out, const char* marker) {
    const char* after = marker + 11; /* "FW Version:" */
    const char* lineFeed = after;
    while (*lineFeed && *lineFeed != '\n') lineFeed++;
    out->meVersion[0] = '\0';
    /* Without a line feed in this chunk the version is empty, yet still reported. */
    if (*lineFeed)
        for (const char* p = after; p < lineFeed; p++)
            if (*p != ' ') add_char(out->meVersion, *p);
    out->meVersionFound = 1;
}

/* Where `wanted` (any case) first occurs in the run's output as `carry` followed by `chunk`,
   with at least one of its bytes in the chunk (one wholly in the carry was found with the chunk
   before); its offset in that joined text, or -1. */
static long find_across(const char* carry, const char* chunk, const char* wanted) {
    size_t n = dz_strlen(wanted), c = dz_strlen(carry);
    for (size_t start = c >= n ? c - (n - 1) : 0;; start++) {
        size_t i = 0;
        while (i < n) {
            size_t at = start + i;
            char ch = at < c ? carry[at] : chunk[at - c];
            if (!ch || dz_upper(ch) != dz_upper(wanted[i])) break;
            i++;
        }
        if (i == n) return (long)start;
        if (start >= c && !chunk[start - c]) return -1;
    }
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

static void keep_carry(dz_tool_output* out, const char* chunk) {
    size_t n = dz_strlen(chunk), c = dz_strlen(out->carry);
    if (n >= DZ_TOOL_CARRY) {
        dz_copy(out->carry, sizeof out->carry, chunk + (n - DZ_TOOL_CARRY));
        return;
    }
    size_t keep = c + n > DZ_TOOL_CARRY ? DZ_TOOL_CARRY - n : c;
    char joined[DZ_TOOL_CARRY + 1];
    dz_copy(joined, sizeof joined, out->carry + (c - keep));
    dz_append(joined, sizeof joined, chunk);
    dz_copy(out->carry, sizeof out->carry, joined);
}

void dz_tool_begin(dz_tool_output* out) { out->carry[0] = '\0'; }

void dz_tool_chunk(dz_tool_output* out, const char* chunk, int kind) {
    const char* at;
    char joined[DZ_TOOL_LINE];
    long found;
    switch (kind) {
    case DZ_TOOL_ME_VERSION:
        if ((at = find(chunk, "FW Version:", 0)) != 0)
            extract_version(out, at);
        else if ((found = find_across(out->carry, chunk, "Error")) >= 0)
            tool_error(out, (size_t)found >= dz_strlen(out->carry) ? chunk : text_from(out, chunk, found, joined),
                       kind);
        break;
    case DZ_TOOL_ME_FLASH:
        if ((found = find_across(out->carry, chunk, "Error")) >= 0) {
            tool_error(out, text_from(out, chunk, found, joined), kind);
        } else if (find_across(out->carry, chunk, "FW Update is complete") >= 0) {
            if (out->meUpdV1) {
                out->completed = 1;
                me_output(out, chunk);
            } else {
                me_progress(out);
            }
        } else if (out->meUpdV1) {
            me_output(out, chunk);
        } else {
            me_progress(out);
        }
        break;
    default:
        if ((found = find_across(out->carry, chunk, "Error")) >= 0)
            tool_error(out, text_from(out, chunk, found, joined), DZ_TOOL_BIOS);
        bios_output(out, chunk);
        break;
    }
    keep_carry(out, chunk);
}

void dz_tool_reset_me(dz_tool_output* out) {
    out->meVersion[0] = '\0';
    out->meVersionFound = 0;
    out->meError = 0;
}
