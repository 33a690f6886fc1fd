#ifndef DOS_DOSAPI_H
#define DOS_DOSAPI_H
/* DOS and BIOS services for the DOS program (real mode, one 64 KiB segment for code, data and
   stack; other memory reached through FS and GS). Calls answer 0 or a handle/count on success
   and a negative DOS error code on failure. */

#include <stdint.h>

/* The program is compiled to pass arguments in registers (-mregparm=3: shorter calls); the
   routines written in assembly (intr.S) take theirs on the stack. */
#define DZ_STACK_ARGS __attribute__((regparm(0)))

typedef struct dos_regs {
    uint16_t ax, bx, cx, dx, si, di, ds, es, flags;
} dos_regs;

DZ_STACK_ARGS void dos_int21(dos_regs* r);
DZ_STACK_ARGS void bios_int10(dos_regs* r);
DZ_STACK_ARGS void bios_int15(dos_regs* r);
DZ_STACK_ARGS void bios_int16(dos_regs* r);
DZ_STACK_ARGS void bios_int1a(dos_regs* r);

uint16_t dos_data_segment(void);
void dos_write_text(int handle, const char* text);
void dos_print(const char* text);

int dos_open_read(const char* path);
int dos_open_write(const char* path);
int dos_create(const char* path);
int dos_close(int handle);
int dos_read(int handle, void* into, unsigned count);
int dos_write(int handle, const void* from, unsigned count);
/* Writes `count` bytes at segment:offset. */
int dos_write_far(int handle, uint16_t segment, uint16_t offset, unsigned count);
int dos_seek(int handle, uint32_t offset);
int dos_seek_end(int handle, uint32_t* size);
int dos_delete(const char* path);
int dos_mkdir(const char* path);
int dos_rmdir(const char* path);
/* A block of `paragraphs` 16-byte paragraphs: its segment, or 0. */
uint16_t dos_alloc(uint16_t paragraphs);
void dos_free(uint16_t segment);
void dos_set_fs(uint16_t segment);
void dos_set_gs(uint16_t segment);
/* Bytes from segment:offset into the data segment. */
void dos_copy_from_far(void* into, uint16_t segment, uint16_t offset, unsigned count);
uint16_t dos_psp(void);

/* A second handle for `handle` (int 21h 45h), or a negative error. */
int dos_dup(int handle);
/* Makes `to` refer to what `from` refers to (int 21h 46h). */
int dos_force_dup(int from, int to);
/* The current drive (0 = A) and its current folder as "X:\PATH" into `out` (68 bytes). */
int dos_get_folder(char* out);
/* Makes `folder` ("X:\PATH", or without a drive) the current drive and folder. */
int dos_set_folder(const char* folder);
/* One key from standard input, without echo (int 21h 08h), so that it can be redirected. */
char dos_read_key(void);

/* Loads and runs `program` (int 21h 4B00h) with `parameterBlock`; 0 or a negative DOS error. */
DZ_STACK_ARGS int dos_exec(const char* program, const void* parameterBlock);
/* How the last program run by dos_exec ended (int 21h 4Dh): its return code in the low byte,
   in the high byte 0 for a normal end, 1 ended by Ctrl-C, 2 ended on a critical error, 3 stayed
   resident. */
uint16_t dos_child_exit(void);
/* Restarts the machine: keyboard controller reset, then a jump to the reset vector. */
DZ_STACK_ARGS void machine_restart(void) __attribute__((noreturn));

#endif
