#include "dz_secure.h"

#include "dz_text.h"

#define VALUE_SIZE DZ_SETTING_TEXT

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

static void say(char* message, const char* text, const char* value) {
    dz_copy(message, DZ_VERSION_MESSAGE, text);
    if (value) {
        dz_append(message, DZ_VERSION_MESSAGE, value);
        dz_append(message, DZ_VERSION_MESSAGE, "\n");
    }
}

/* The room of one log line or trace: the longest holds four values or a message. */
#define TEXT_SIZE (4 * DZ_SETTING_TEXT + DZ_VERSION_MESSAGE + 64)

/* `parts` (ended by a null) joined into `text` and handed to `sink` under `tag`. Traces are for
   the developer option of the Windows program; the DOS program has none. */
static void say_parts(dz_log_sink sink, void* context, const char* tag, const char* const* parts) {
    char text[TEXT_SIZE];
    text[0] = '\0';
    for (; *parts; parts++) dz_append(text, sizeof text, *parts);
    sink(context, tag, text);
}

#ifdef DZ_DOS
#define TRACE(...) ((void)0)
#else
#define TRACE(...)                                                                \
    do {                                                                          \
        if (trace) {                                                              \
            const char* const parts_[] = {__VA_ARGS__, 0};                        \
            say_parts(trace, context, 0, parts_);                                 \
        }                                                                         \
    } while (0)
#endif

static void decimal(char* to, size_t size, int32_t value) {
    to[0] = '\0';
    if (value < 0) {
        dz_append(to, size, "-");
        dz_append_dec(to, size, 0u - (uint32_t)value);
    } else {
        dz_append_dec(to, size, (uint32_t)value);
    }
}

/* The number after the series letter, read like strtol in base 10. */
static int32_t series_number(const char* version) { return dz_read_decimal32(version + 1, 0); }

int dz_is_below_secure_version(const char* current, const char* a, const char* x, int32_t tEnabled, const char* t,
                               char* message, dz_log_sink log, dz_log_sink trace, void* context) {
    (void)trace;
    if (dz_strlen(current) < 3) return say(message, "Invalid BIOS version length(2) in current BIOS: ", current), -1;
    if (dz_strlen(a) < 3) return say(message, "Invalid BIOS version length(2) of A Ver in settings.ini: ", a), -1;
    if (dz_strlen(x) < 3) return say(message, "Invalid BIOS version length(2) of X Ver in settings.ini: ", x), -1;
    if (tEnabled == 1 && dz_strlen(t) < 3)
        return say(message, "Invalid BIOS version length(2) of T Ver in settings.ini: ", t), -1;
    if (tEnabled == 1)
        TRACE("CurVer:", current, ", Chk Ver A: ", a, ", Chk Ver X:", x, ", Chk Ver T:", t, " \n");
    else
        TRACE("CurVer:", current, ", Chk Ver A: ", a, ", Chk Ver X:", x, " \n");
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
        if (tEnabled == 1)
            TRACE("Secure check: There isn't A, X or T ver. Cannot compare with!!\n");
        else
            TRACE("Secure check: There isn't A or X ver. Cannot compare with!!\n");
        return say(message, "Error", 0), -1;
    }
    int32_t secure = series_number(threshold), running = series_number(current);
    char secureText[12], runningText[12];
    decimal(secureText, sizeof secureText, secure);
    decimal(runningText, sizeof runningText, running);
    TRACE(name, " Ver cmp => Secure:", secureText, ", Cur:", runningText, "\n");
    const char* const line[] = {name, " Ver cmp => Secure:", secureText, ", Cur:", runningText, 0};
    say_parts(log, context, "Info", line);
    return running < secure ? 1 : 0;
}

int dz_choose_secure_flash(const dz_settings* settings, const char* current, const char** capsule, dz_log_sink log,
                           dz_log_sink trace, void* context) {
    static const char info[] = "Secure flash Info", error[] = "Secure flash Error.";
    if (settings->number(settings->context, "SecEn", 0) != 1) {
        TRACE("Disable secure update\n");
        log(context, info, "Disable secure update");
        return 1;
    }
    TRACE("Enable secure update\n");
    const char* a = settings->text(settings->context, "SecAVer");
    if (!a[0]) {
        log(context, error, "Enable secure flash, but cannot get A version number.[settings.ini error]");
        return -1;
    }
    const char* x = settings->text(settings->context, "SecXVer");
    if (!x[0]) {
        log(context, error, "Enable secure flash, but cannot get X version number.[settings.ini error]");
        return -1;
    }
    const char* const versions[] = {"CurVer:", current, ", VerA:", a, ", VerX:", x, 0};
    say_parts(log, context, info, versions);
    TRACE("Secure flash. CurVer:", current, ", VerA:", a, ", VerX:", x, "\n");

    int32_t tEnabled = settings->number(settings->context, "EnVerT", 0);
    const char* t = "";
    if (tEnabled == 1) {
        t = settings->text(settings->context, "SecTVer");
        if (!t[0]) {
            log(context, error, "Enable secure flash, but cannot get T version number.[settings.ini error]");
            return -1;
        }
    }
    char message[DZ_VERSION_MESSAGE];
    message[0] = '\0';
    int result = dz_is_below_secure_version(current, a, x, tEnabled, t, message, log, trace, context);
    char resultText[12];
    decimal(resultText, sizeof resultText, result);
    const char* const compared[] = {"Compare result:", resultText, " [Error:", message, "]", 0};
    say_parts(log, context, info, compared);
    TRACE("Secure flash. Compare result:", resultText, " [Error:", message, "]\n");
    if (result == 0) {
        *capsule = settings->text(settings->context, "SecCapFlie");
        const char* const change[] = {"Change BIOS file to secure file[", *capsule, "]", 0};
        say_parts(log, context, "Secure flash", change);
        TRACE("Change BIOS file to secure file.[", *capsule, "]\n");
    }
    return 0;
}

/* settings.ini's text as the choice reads it: each text in a slot of its own, the choice asking
   for at most four (A, X, T and the capsule). */
typedef struct ini_settings {
    const char* ini;
    unsigned used;
    char values[4][VALUE_SIZE];
} ini_settings;

static const char* ini_text(void* context, const char* key) {
    ini_settings* s = (ini_settings*)context;
    if (s->used == 4) return "";
    char* value = s->values[s->used++];
    (void)dz_ini_string(s->ini, "settings", key, value, VALUE_SIZE);
    return value;
}

static int32_t ini_number(void* context, const char* key, int32_t defaultValue) {
    return dz_ini_int(((ini_settings*)context)->ini, "settings", key, defaultValue);
}

int dz_select_secure_flash(const char* ini, const char* current, char* image, size_t size, dz_log_sink log,
                           void* context) {
    static ini_settings s;
    s.ini = ini;
    s.used = 0;
    const dz_settings settings = {ini_text, ini_number, &s};
    const char* capsule = 0;
    int answer = dz_choose_secure_flash(&settings, current, &capsule, log, 0, context);
    if (capsule) dz_copy(image, size, capsule);
    return answer;
}
