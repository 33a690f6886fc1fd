#ifndef DOS_CORE_DZ_LOG_H
#define DOS_CORE_DZ_LOG_H
/* Log lines as Brevane and the DOS program write them: "YYYY/MM/DD, HH:MM:SS, $Tag, message"
   and CR LF, every line feed inside the message also stored as CR LF. Brevane's log (CLogFile)
   builds its lines from the head and the text-mode pieces, so a message of any length is kept
   whole there; the DOS program takes the whole line into one buffer. */

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef struct dz_clock {
    uint16_t year;
    uint8_t month, day, hour, minute, second;
} dz_clock;

/* "YYYY/MM/DD, HH:MM:SS, $Tag, " into `out`; without `when` (a time that could not be read) it
   starts at ", $". Answers its length (cut to fit, always terminated). */
size_t dz_log_head(const dz_clock* when, const char* tag, char* out, size_t size);

/* Text-mode bytes of text[0, length): each line feed preceded by a carriage return. Writes at
   most `room` bytes into `out` (no terminator), never a carriage return without its line feed;
   answers how many, and sets *used to the number of bytes of `text` taken. */
size_t dz_log_text(const char* text, size_t length, size_t* used, char* out, size_t room);

/* The whole line into `out`; answers its length (cut to fit, always terminated). */
size_t dz_log_line(const dz_clock* when, const char* tag, const char* message, char* out, size_t size);

/* What an undated log file's name gets behind it: ".log" when `name` holds no '.' (it has no
   extension of its own), else nothing. */
const char* dz_log_suffix(const char* name);

/* The log file's name for a /LogFile value, as Brevane makes it: a '.' that ends the value
   opens no extension and is dropped, and the name part then gets dz_log_suffix. */
void dz_log_name(const char* value, char* out, size_t size);

#ifdef __cplusplus
}
#endif

#endif
