#include "dz_options.h"

#include "dz_text.h"

#define MAX_ARGS 48

typedef struct args {
    char storage[DZ_COMMAND_LINE];
    const char* items[MAX_ARGS];
    unsigned count;
} args;

/* Splits with the rules Windows programs use for their arguments: blanks separate, double
   quotes group; 2n backslashes before a quote give n and the quote groups, 2n+1 give n and a
   literal quote; other backslashes are literal. */
static void split(const char* line, args* a) {
    unsigned at = 0;
    a->count = 0;
    const char* p = line;
    for (;;) {
        while (*p == ' ' || *p == '\t') p++;
        if (!*p || a->count == MAX_ARGS || at + 1 >= sizeof a->storage) return;
        a->items[a->count++] = a->storage + at;
        int quoted = 0;
        while (*p && (quoted || (*p != ' ' && *p != '\t'))) {
            unsigned slashes = 0;
            while (*p == '\\') slashes++, p++;
            if (*p == '"') {
                for (unsigned i = 0; i < slashes / 2 && at + 1 < sizeof a->storage; i++) a->storage[at++] = '\\';
                if (slashes % 2) {
                    if (at + 1 < sizeof a->storage) a->storage[at++] = '"';
                } else if (quoted && p[1] == '"') {
                    if (at + 1 < sizeof a->storage) a->storage[at++] = '"'; /* "" inside quotes */
                    p++;
                } else {
                    quoted = !quoted;
                }
                p++;
            } else {
                for (unsigned i = 0; i < slashes && at + 1 < sizeof a->storage; i++) a->storage[at++] = '\\';
                if (*p && (quoted || (*p != ' ' && *p != '\t'))) {
                    if (at + 1 < sizeof a->storage) a->storage[at++] = *p;
                    p++;
                }
            }
        }
        a->storage[at++] = '\0';
    }
}

int dz_find_option(const dz_args* args, const char* name) {
    for (unsigned i = 0; i < args->count; i++)
        if (args->items[i][0] == '/' && dz_stricmp(args->items[i] + 1, name) == 0) return (int)i;
    return -1;
}

static int is_value(const dz_args* args, unsigned i) { return i < args->count && args->items[i][0] != '/'; }

const char* dz_option_text(const dz_args* args, const char* name) {
    int at = dz_find_option(args, name);
    return at >= 0 && is_value(args, (unsigned)at + 1) ? args->items[at + 1] : "";
}

unsigned dz_zera_ids(const dz_args* args, uint32_t* ids, unsigned capacity) {
    int at = dz_find_option(args, "ZeraID");
    if (at < 0) return 0;
    unsigned count = 0;
    for (unsigned i = (unsigned)at + 1; is_value(args, i); i++, count++)
        if (count < capacity) ids[count] = dz_unsigned_value(args->items[i], 16);
    if (count == 0 && capacity > 0) ids[0] = 0;
    return count ? count : 1;
}

static int is_c_space(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

uint32_t dz_unsigned_value(const char* text, unsigned radix) {
    if (radix < 2 || radix > 36) return 0;
    while (is_c_space(*text)) text++;
    if (radix == 16 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) text += 2;
    uint32_t value = 0;
    int saturated = 0;
    for (;; text++) {
        char c = dz_upper(*text);
        unsigned digit;
        if (c >= '0' && c <= '9') digit = (unsigned)(c - '0');
        else if (c >= 'A' && c <= 'Z') digit = (unsigned)(c - 'A' + 10);
        else break;
        if (digit >= radix) break;
        /* Past 0xFFFFFFFF the value stays there, and the digits are still taken. */
        if (!saturated && value > (0xFFFFFFFFuL - digit) / radix) saturated = 1;
        if (!saturated) value = value * radix + digit;
    }
    return saturated ? 0xFFFFFFFFuL : value;
}

void dz_join_command(const char* dosCommand, const char* ownTail, char out[DZ_COMMAND_LINE]) {
    dz_copy(out, DZ_COMMAND_LINE, dosCommand);
    while (*ownTail == ' ' || *ownTail == '\t') ownTail++;
    if (*ownTail) {
        if (out[0]) dz_append(out, DZ_COMMAND_LINE, " ");
        dz_append(out, DZ_COMMAND_LINE, ownTail);
    }
}

static void text(const dz_args* args, const char* name, char* into) {
    dz_copy(into, DZ_OPTION_TEXT, dz_option_text(args, name));
}

void dz_parse_options(const char* commandLine, dz_options* o) {
    static args a;
    unsigned char* raw = (unsigned char*)o;
    for (unsigned i = 0; i < sizeof *o; i++) raw[i] = 0;
    split(commandLine, &a);
    const dz_args list = {a.items, a.count};
    o->forceIt = dz_find_option(&list, "ForceIt") >= 0;
    o->noPause = dz_find_option(&list, "NoPause") >= 0;
    o->noReboot = dz_find_option(&list, "NoReboot") >= 0;
    text(&list, "MeRomFile", o->meRomFile);
    text(&list, "MeVer", o->meVer);
    o->meupd = dz_find_option(&list, "MEUPD") >= 0;
    o->amd = dz_find_option(&list, "AMD") >= 0;
    text(&list, "BiosRomFile", o->biosRomFile);
    text(&list, "BiosVer", o->biosVer);
    text(&list, "LogFile", o->logFile);
    unsigned ids = dz_zera_ids(&list, o->zeraIds, DZ_MAX_ZERA_IDS);
    o->zeraCount = (int)(ids < DZ_MAX_ZERA_IDS ? ids : DZ_MAX_ZERA_IDS);
    o->meUpdV1 = dz_find_option(&list, "MeUpdV1") >= 0;
    text(&list, "CA", o->ca);
    text(&list, "CX", o->cx);
}
