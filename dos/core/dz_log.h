#ifndef DOS_CORE_DZ_LOG_H
#define DOS_CORE_DZ_LOG_H
/* Log lines in Brevane's format: "YYYY/MM/DD, HH:MM:SS, $Tag, message" and CR LF, every line
   feed inside the message also stored as CR LF. */

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef struct dz_clock {
    uint16_t year;
    uint8_t month, day, hour, minute, second;
} dz_clock;

/* The whole line into `out`; answers its length (cut to fit, always terminated). */
size_t dz_log_line(const dz_clock* when, const char* tag, const char* message, char* out, size_t size);

/* The log file's name for a /LogFile value: as given when its name part holds a '.', else
   with ".log" added (Brevane's undated name). */
void dz_log_name(const char* value, char* out, size_t size);

#ifdef __cplusplus
}
#endif

#endif
