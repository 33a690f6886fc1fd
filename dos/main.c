/* The DOS program in Extractor.exe's header. Started under DOS it reads the package behind its
   own file, extracts the DOS entries into a temporary folder, runs the DOS form of the update
   and removes what it extracted. */
#include "core/dz_options.h"
#include "core/dz_package.h"
#include "core/dz_paths.h"
#include "core/dz_text.h"
#include "dosapi.h"
#include "extract.h"
#include "scratch.h"
#include "self_file.h"
#include "system_table.h"
#include "update.h"

#define EXIT_PACKAGE_UNREADABLE 20
#define EXIT_EXTRACTION_FAILED 22

static dz_package g_package;
dos_scratch g_scratch;
static extraction g_extraction;

int dos_main(void);

/* The program's own arguments: the command tail in the PSP (length at 80h, text from 81h). */
static void own_tail(char tail[128]) {
    uint8_t length;
    dos_copy_from_far(&length, dos_psp(), 0x80, 1);
    if (length > 126) length = 126;
    dos_copy_from_far(tail, dos_psp(), 0x81, length);
    tail[length] = '\0';
}

dz_options g_options;
static char g_commandLine[DZ_COMMAND_LINE];

int dos_main(void) {
    char path[DOS_PATH_SIZE];
    char error[DZ_ERROR_SIZE];
    char tail[128];
    self_file file;
    file.handle = -1;
    own_tail(tail);
    dz_parse_options(tail, &g_options);

    if (!self_path(path)) return refuse(EXIT_PACKAGE_UNREADABLE, "Open Sfx file error");
    if (!self_open(&file, path)) return refuse(EXIT_PACKAGE_UNREADABLE, "Open Sfx file error");
    int code = dz_read_package(&file.source, &g_package, error);
    /* The DOS command comes before the records: a table refused for one of its records has
       still said whether a person is there to press a key. */
    dz_join_command(g_package.dosCommand, tail, g_commandLine);
    dz_parse_options(g_commandLine, &g_options);
    if (code != DZ_PKG_OK) {
        self_close(&file);
        return refuse(code, error);
    }

    char temp[DOS_FOLDER_SIZE], tmp[DOS_FOLDER_SIZE];
    if (!self_getenv("TEMP", temp, sizeof temp)) temp[0] = '\0';
    if (!self_getenv("TMP", tmp, sizeof tmp)) tmp[0] = '\0';
    if (!dz_temp_folder(temp, tmp, path, g_extraction.folder, sizeof g_extraction.folder)) {
        self_close(&file);
        return refuse(EXIT_EXTRACTION_FAILED, "Create temporary folder error");
    }
    code = extraction_run(&g_extraction, &file, &g_package, error, sizeof error);
    self_close(&file);
    if (code != 0) {
        extraction_remove(&g_extraction, &g_package);
        return refuse(code, error);
    }
    dos_print("Extracted to ");
    dos_print(g_extraction.folder);
    dos_print("\n");

    char folder[DOS_PATH_SIZE];
    dz_folder_of(path, folder, sizeof folder);
    code = update_run(g_commandLine, folder, &g_extraction);
    extraction_remove(&g_extraction, &g_package);
    if (update_wants_restart()) system_restart();
    return code;
}
