#ifndef DOS_UPDATE_H
#define DOS_UPDATE_H
/* The DOS form of the update, run in the extraction folder after extraction: Brevane's options
   and start-up checks, its update sequence (each tool run through tool_run.h), its log and its
   exit codes. */

#include "core/dz_options.h"
#include "dos_log.h"
#include "extract.h"

/* The options of the run: the program's own arguments at first, then the package's DOS
   command with them (one object for both phases: the segment has no room for two). */
extern dz_options g_options;

/* The update's log (BREVANE.LOG beside the package, or /LogFile). */
extern dos_log g_log;

/* A refusal, before the update or in it: the text on the screen and, unless /NoPause, a key
   press, so that a person can read it. /NoPause is taken from g_options as it stands: the
   program's own arguments until the package's DOS command is read, both after that. Answers
   `code`. */
int refuse(int code, const char* text);

/* Runs the update for `commandLine` (the package's DOS command and the program's own tail);
   `packageFolder` is where the package was started from (the default log goes there).
   Answers the exit code. */
int update_run(const char* commandLine, const char* packageFolder, const extraction* x);

/* Whether the finished update asks for a restart (after the extracted files are removed). */
int update_wants_restart(void);

#endif
