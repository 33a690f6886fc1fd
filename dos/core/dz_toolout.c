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

void dz_tool_chunk(dz_tool_output* out, const char* chunk, int kind) {
    const char* at;
    switch (kind) {
    case DZ_TOOL_ME_VERSION:
        if ((at = find(chunk, "FW Version:", 0)) != 0)
            extract_version(out, at);
        else if (find(chunk, "Error", 1))
            tool_error(out, chunk, kind);
        break;
    case DZ_TOOL_ME_FLASH:
        if ((at = find(chunk, "Error", 1)) != 0) {
            tool_error(out, at, kind);
        } else if (find(chunk, "FW Update is complete", 1)) {
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
        if ((at = find(chunk, "Error", 1)) != 0) tool_error(out, at, DZ_TOOL_BIOS);
        bios_output(out, chunk);
        break;
    }
}

void dz_tool_reset_me(dz_tool_output* out) {
    out->meVersion[0] = '\0';
    out->meVersionFound = 0;
    out->meError = 0;
}
