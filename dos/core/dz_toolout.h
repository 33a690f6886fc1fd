#ifndef DOS_CORE_DZ_TOOLOUT_H
#define DOS_CORE_DZ_TOOLOUT_H
/* What the flash tools' output means, for Brevane and the DOS program: which texts a chunk of a
   run holds (found also where the reads cut them), what a line the tool ended says, and the ME
   version. Brevane's CToolOutputInterpreter asks these, assembles its lines with
   dz_tool_byte and draws its output view; the DOS program, whose screen shows the output as
   the tool wrote it, reads it with dz_tool_chunk, which assembles the lines the same way and
   only decides the flags. Lines longer than the DOS
   program's buffers are cut there (Brevane keeps them). */

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#define DZ_TOOL_BIOS 0
#define DZ_TOOL_ME_VERSION 1
#define DZ_TOOL_ME_FLASH 2
#define DZ_TOOL_DRIVER_LOAD 3 /* Windows PE only */
#define DZ_TOOL_LINE 256
/* The largest chunk handed over at once, as the Windows reader takes them. */
#define DZ_TOOL_CHUNK 1023
/* The end of a run's earlier output kept to find a text the reads cut: one byte fewer than the
   longest text the chunk tests look for ("FW Update is complete"). */
#define DZ_TOOL_CARRY 20

/* The first lines of each tool are its banner, never shown nor read. */
#define DZ_TOOL_BIOS_BANNER 3
#define DZ_TOOL_ME_BANNER 5

/* What a chunk of a run holds, tested in this order for its kind: */
#define DZ_CHUNK_PLAIN 0    /* none of the texts below */
#define DZ_CHUNK_VERSION 1  /* version query: "FW Version:" (exact case) in the chunk itself */
#define DZ_CHUNK_ERROR 2    /* "Error" (any case); a driver load: no "Successfully" (any case) */
#define DZ_CHUNK_COMPLETE 3 /* ME flash: "FW Update is complete" (any case) */

/* The meaning of `chunk` (up to its zero byte) of a run of `kind`, read as the end of the run's
   earlier output (`carry`) followed by the chunk; a text must have a byte in the chunk (one
   wholly in the carry was found with the chunk before). *at is where the text starts in that
   joined text (the version marker: in the chunk). */
int dz_tool_chunk_meaning(const char* carry, const char* chunk, int kind, long* at);
/* `carry` (DZ_TOOL_CARRY + 1 bytes) becomes the last DZ_TOOL_CARRY bytes of itself and `chunk`. */
void dz_tool_keep_carry(char* carry, const char* chunk);

/* What a line the tool ended with a carriage return says: */
#define DZ_LINE_PLAIN 0
#define DZ_LINE_DONE 1  /* BIOS: "Verifying NCBlock ..... done"; ME: "FW Update is complete" */
#define DZ_LINE_ERROR 2 /* BIOS: "Error" (exact case); ME: "ERROR" (any case) */
#define DZ_LINE_STEP 3  /* ME: "[ COMPLETE ]" (any case), one step of the flash */
int dz_tool_bios_line(const char* line);
int dz_tool_me_line(const char* line);

/* What one byte of a tool's output does to the line being assembled (the same for both tools):
   a carriage return ends the line, which is then judged and emptied; a line feed counts a line
   in *lineCount and, once the banner's `banner` lines are behind, starts a new row of the
   view; any other byte after the banner belongs to the line. */
#define DZ_BYTE_HIDDEN 0 /* a byte of the banner: neither shown nor kept */
#define DZ_BYTE_TEXT 1
#define DZ_BYTE_LINE_END 2
#define DZ_BYTE_NEW_ROW 3
int dz_tool_byte(char c, int32_t* lineCount, int32_t banner);

/* The version after a "FW Version:" marker: the rest of its line without blanks, into `out`
   (cut to `size`); empty when the line has no line feed in the text. */
void dz_tool_me_version(const char* marker, char* out, size_t size);

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
