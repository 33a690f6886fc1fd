#ifndef DOS_DOS_LOG_H
#define DOS_DOS_LOG_H
/* The log file under DOS: each line appended and the file closed again, stamped with DOS's date
   and time. */

typedef struct dos_log {
    char path[96];
    int enabled;
} dos_log;

/* Appends one line; 0 when the file could not be opened or written (the line is lost). A
   disabled log answers 1 and writes nothing. */
int dos_log_write(const dos_log* log, const char* tag, const char* message);

/* Creates every missing folder along the folder part of `path`. */
void dos_make_folders(const char* path);

#endif
