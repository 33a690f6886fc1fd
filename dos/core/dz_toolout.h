#ifndef DOS_CORE_DZ_TOOLOUT_H
#define DOS_CORE_DZ_TOOLOUT_H
/* What the flash tools print, read by Brevane's rules: each chunk of a tool's output is examined
   according to the kind of run; recognised texts raise the result flags and set the error text
   and the ME version. Under DOS the output itself goes to the screen as the tool wrote it, so
   only the line assembly that decides the flags is kept here. Lines longer than the buffers
   are cut (Brevane keeps them whole); the tests run both on the same transcripts. */

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#define DZ_TOOL_BIOS 0
#define DZ_TOOL_ME_VERSION 1
#define DZ_TOOL_ME_FLASH 2
#define DZ_TOOL_LINE 256
/* The largest chunk handed over at once, as the Windows reader takes them. */
#define DZ_TOOL_CHUNK 1023
/* The end of a run's earlier output kept to find a text the reads cut: one byte fewer than the
   longest text the chunk tests look for ("FW Update is complete"). */
#define DZ_TOOL_CARRY 20

typedef struct dz_tool_output {
    int32_t meLineCount, biosLineCount;
    char meLine[DZ_TOOL_LINE], biosLine[DZ_TOOL_LINE];
    char errorText[DZ_TOOL_LINE], meVersion[DZ_TOOL_LINE];
    uint8_t done, completed, meVersionFound, meError, biosError;
    uint8_t meUpdV1; /* /MeUpdV1: the ME flash output is read line by line */
    char carry[DZ_TOOL_CARRY + 1];
} dz_tool_output;

/* A new tool run starts: its texts are not joined with the end of the last run's output. */
void dz_tool_begin(dz_tool_output* out);

/* Examines one zero-terminated chunk (up to its first zero byte) of a run of `kind`. The error
   and completion texts are found also where a read boundary cuts them. */
void dz_tool_chunk(dz_tool_output* out, const char* chunk, int kind);
/* Empties the ME version and clears meVersionFound and meError. */
void dz_tool_reset_me(dz_tool_output* out);

#ifdef __cplusplus
}
#endif

#endif
