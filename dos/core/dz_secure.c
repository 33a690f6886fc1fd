#include "dz_secure.h"

#include "dz_text.h"

#define VALUE_SIZE 96

static int is_blank(char c) { return c == ' ' || c == '\t'; }

/* The next line of `text` as [start, end) without its line end; answers the following line. */
static const char* next_line(const char* text, const char** start, const char** end) {
    const char* p = text;
    while (*p && *p != '\n' && *p != '\r') p++;
    *start = text;
    *end = p;
    while (*p == '\r' || *p == '\n') p++;
    return p;
}

static void trim(const char** start, const char** end) {
    while (*start < *end && is_blank(**start)) (*start)++;
    while (*end > *start && is_blank((*end)[-1])) (*end)--;
}

static int same_name(const char* start, const char* end, const char* name) {
    size_t n = (size_t)(end - start);
    return dz_strlen(name) == n && dz_strnicmp(start, name, n) == 0;
}

int dz_ini_string(const char* ini, const char* section, const char* key, char* out, size_t size) {
    int inSection = 0;
    out[0] = '\0';
    if (!ini) return 0;
    for (const char* p = ini; *p;) {
        const char *start, *end;
        p = next_line(p, &start, &end);
        trim(&start, &end);
        if (start == end || *start == ';') continue;
        if (*start == '[') {
            const char *name = start + 1, *close = name;
            while (close < end && *close != ']') close++;
            inSection = 0;
            if (close < end) {
                trim(&name, &close);
                inSection = same_name(name, close, section);
            }
            continue;
        }
        if (!inSection) continue;
        const char* equals = start;
        while (equals < end && *equals != '=') equals++;
        if (equals == end) continue;
        const char *name = start, *nameEnd = equals;
        trim(&name, &nameEnd);
        if (!same_name(name, nameEnd, key)) continue;
        const char *value = equals + 1, *valueEnd = end;
        trim(&value, &valueEnd);
        if (valueEnd - value >= 2 && *value == '"' && valueEnd[-1] == '"') {
            value++;
            valueEnd--;
        }
        size_t n = (size_t)(valueEnd - value);
        if (n >= size) n = size - 1;
        for (size_t i = 0; i < n; i++) out[i] = value[i];
        out[n] = '\0';
        return 1;
    }
    return 0;
}

int32_t dz_ini_int(const char* ini, const char* section, const char* key, int32_t defaultValue) {
    char value[VALUE_SIZE];
    if (!dz_ini_string(ini, section, key, value, sizeof value)) return defaultValue;
    return dz_read_decimal32(value, 0);
}

static void append_int(char* to, size_t size, int32_t value) {
    if (value < 0) {
        dz_append(to, size, "-");
        dz_append_dec(to, size, 0u - (uint32_t)value);
    } else {
        dz_append_dec(to, size, (uint32_t)value);
    }
}

static void say(char* message, const char* text, const char* value) {
    dz_copy(message, DZ_VERSION_MESSAGE, text);
    if (value) {
        dz_append(message, DZ_VERSION_MESSAGE, value);
        dz_append(message, DZ_VERSION_MESSAGE, "\n");
    }
}

/* The number after the series letter, read like strtol in base 10. */
static int32_t series_number(const char* version) { return dz_read_decimal32(version + 1, 0); }

int dz_is_below_secure_version(const char* current, const char* a, const char* x, int32_t tEnabled, const char* t,
                               char* message, dz_log_sink log, void* context) {
    if (dz_strlen(current) < 3) return say(message, "Invalid BIOS version length(2) in current BIOS: ", current), -1;
    if (dz_strlen(a) < 3) return say(message, "Invalid BIOS version length(2) of A Ver in settings.ini: ", a), -1;
    if (dz_strlen(x) < 3) return say(message, "Invalid BIOS version length(2) of X Ver in settings.ini: ", x), -1;
    if (tEnabled == 1 && dz_strlen(t) < 3)
        return say(message, "Invalid BIOS version length(2) of T Ver in settings.ini: ", t), -1;
    switch (dz_bios_version_format(current)) {
    case 1: break;
    case 2: return say(message, "Error: Only support comparing for Axx or Xxx format\n", 0), -1;
    default: return say(message, "Invalidate BIOS version format\n", 0), -1;
    }
    char series = dz_upper(current[0]);
    const char* name;
    const char* threshold;
    /* X is tried first, so when two keys share a letter the X threshold wins. */
    if (series == dz_upper(x[0])) {
        name = "X";
        threshold = x;
    } else if (series == dz_upper(a[0])) {
        name = "A";
        threshold = a;
    } else if (tEnabled == 1 && series == dz_upper(t[0])) {
        name = "T";
        threshold = t;
    } else {
        return say(message, "Error", 0), -1;
    }
    int32_t secure = series_number(threshold), running = series_number(current);
    char text[80];
    dz_copy(text, sizeof text, name);
    dz_append(text, sizeof text, " Ver cmp => Secure:");
    append_int(text, sizeof text, secure);
    dz_append(text, sizeof text, ", Cur:");
    append_int(text, sizeof text, running);
    log(context, "Info", text);
    return running < secure ? 1 : 0;
}

int dz_select_secure_flash(const char* ini, const char* current, char* image, size_t size, dz_log_sink log,
                           void* context) {
    static const char info[] = "Secure flash Info", error[] = "Secure flash Error.";
    char a[VALUE_SIZE], x[VALUE_SIZE], t[VALUE_SIZE], text[2 * DZ_VERSION_MESSAGE + 3 * VALUE_SIZE];
    if (dz_ini_int(ini, "settings", "SecEn", 0) != 1) {
        log(context, info, "Disable secure update");
        return 1;
    }
    if (!dz_ini_string(ini, "settings", "SecAVer", a, sizeof a) || !a[0]) {
        log(context, error, "Enable secure flash, but cannot get A version number.[settings.ini error]");
        return -1;
    }
    if (!dz_ini_string(ini, "settings", "SecXVer", x, sizeof x) || !x[0]) {
        log(context, error, "Enable secure flash, but cannot get X version number.[settings.ini error]");
        return -1;
    }
    dz_copy(text, sizeof text, "CurVer:");
    dz_append(text, sizeof text, current);
    dz_append(text, sizeof text, ", VerA:");
    dz_append(text, sizeof text, a);
    dz_append(text, sizeof text, ", VerX:");
    dz_append(text, sizeof text, x);
    log(context, info, text);

    int32_t tEnabled = dz_ini_int(ini, "settings", "EnVerT", 0);
    t[0] = '\0';
    if (tEnabled == 1 && (!dz_ini_string(ini, "settings", "SecTVer", t, sizeof t) || !t[0])) {
        log(context, error, "Enable secure flash, but cannot get T version number.[settings.ini error]");
        return -1;
    }
    char message[DZ_VERSION_MESSAGE];
    message[0] = '\0';
    int result = dz_is_below_secure_version(current, a, x, tEnabled, t, message, log, context);
    dz_copy(text, sizeof text, "Compare result:");
    append_int(text, sizeof text, result);
    dz_append(text, sizeof text, " [Error:");
    dz_append(text, sizeof text, message);
    dz_append(text, sizeof text, "]");
    log(context, info, text);
    if (result == 0) {
        (void)dz_ini_string(ini, "settings", "SecCapFlie", image, size);
        dz_copy(text, sizeof text, "Change BIOS file to secure file[");
        dz_append(text, sizeof text, image);
        dz_append(text, sizeof text, "]");
        log(context, "Secure flash", text);
    }
    return 0;
}
