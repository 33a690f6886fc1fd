#ifndef DOS_EXTRACT_H
#define DOS_EXTRACT_H
/* Extraction of the package's DOS entries into the temporary folder, and its removal. */

#include "core/dz_package.h"
#include "self_file.h"

#define DOS_FOLDER_SIZE 80

typedef struct extraction {
    char folder[DOS_FOLDER_SIZE];
    int folderMade;
    unsigned written; /* entries whose file was created, in table order */
} extraction;

/* Creates the folder and inflates every DOS entry into it. 0 on success; otherwise 22 with the
   reason in `error` (and what was created is still recorded for extraction_remove). */
int extraction_run(extraction* x, self_file* file, const dz_package* package, char* error, unsigned errorSize);

/* Deletes every file created and the folder. */
void extraction_remove(const extraction* x, const dz_package* package);

#endif
