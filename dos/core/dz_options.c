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

/* The index of the first argument "/name" (any case), or -1. */
static int find(const args* a, const char* name) {
    for (unsigned i = 0; i < a->count; i++)
        if (a->items[i][0] == '/' && dz_stricmp(a->items[i] + 1, name) == 0) return (int)i;
    return -1;
}

static int is_value(const args* a, unsigned i) { return i < a->count && a->items[i][0] != '/'; }

static uint8_t flag(const args* a, const char* name) { return find(a, name) >= 0; }

static void text(const args* a, const char* name, char* into) {
    int at = find(a, name);
    into[0] = '\0';
    if (at >= 0 && is_value(a, (unsigned)at + 1)) dz_copy(into, DZ_OPTION_TEXT, a->items[at + 1]);
}

uint32_t dz_hex_value(const char* text) {
    uint32_t value = 0;
    while (*text == ' ' || *text == '\t') text++;
    if (text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) text += 2;
    for (;; text++) {
        char c = dz_upper(*text);
        unsigned digit;
        if (c >= '0' && c <= '9') digit = (unsigned)(c - '0');
        else if (c >= 'A' && c <= 'F') digit = (unsigned)(c - 'A' + 10);
        else return value;
        if (value > 0x0FFFFFFFuL) return 0xFFFFFFFFuL; /* saturates, as Brevane's reading does */
        value = (value << 4) | digit;
    }
}

void dz_join_command(const char* dosCommand, const char* ownTail, char out[DZ_COMMAND_LINE]) {
    dz_copy(out, DZ_COMMAND_LINE, dosCommand);
    while (*ownTail == ' ' || *ownTail == '\t') ownTail++;
    if (*ownTail) {
        if (out[0]) dz_append(out, DZ_COMMAND_LINE, " ");
        dz_append(out, DZ_COMMAND_LINE, ownTail);
    }
}

void dz_parse_options(const char* commandLine, dz_options* o) {
    static args a;
    unsigned char* raw = (unsigned char*)o;
    for (unsigned i = 0; i < sizeof *o; i++) raw[i] = 0;
    split(commandLine, &a);
    o->forceIt = flag(&a, "ForceIt");
    o->noPause = flag(&a, "NoPause");
    o->noReboot = flag(&a, "NoReboot");
    text(&a, "MeRomFile", o->meRomFile);
    text(&a, "MeVer", o->meVer);
    o->meupd = flag(&a, "MEUPD");
    o->amd = flag(&a, "AMD");
    text(&a, "BiosRomFile", o->biosRomFile);
    text(&a, "BiosVer", o->biosVer);
    text(&a, "LogFile", o->logFile);
    int zera = find(&a, "ZeraID");
    if (zera >= 0) {
        for (unsigned i = (unsigned)zera + 1; is_value(&a, i); i++)
            if (o->zeraCount < DZ_MAX_ZERA_IDS) o->zeraIds[o->zeraCount++] = dz_hex_value(a.items[i]);
        if (o->zeraCount == 0) o->zeraIds[o->zeraCount++] = 0;
    }
    o->meUpdV1 = flag(&a, "MeUpdV1");
    text(&a, "CA", o->ca);
    text(&a, "CX", o->cx);
}
