#ifndef DOS_SELF_FILE_H
#define DOS_SELF_FILE_H
/* The program's own file: its path from the environment block, and reads at 32-bit offsets
   (int 21h 42h with CX:DX) for the package reader. */

#include <stdint.h>

#include "core/dz_package.h"

#define DOS_PATH_SIZE 80

typedef struct self_file {
    int handle;
    uint32_t position; /* where the file pointer stands, or 0xFFFFFFFF when unknown */
    dz_source source;
} self_file;

/* The full path DOS started the program from (after the environment's strings); 0 if none. */
int self_path(char path[DOS_PATH_SIZE]);
/* A variable of the environment block, case-sensitive name; 0 when absent. */
int self_getenv(const char* name, char* value, unsigned size);
int self_open(self_file* file, const char* path);
void self_close(self_file* file);

#endif
