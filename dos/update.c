#include "update.h"

#include "../updater/app/version_info.h"
#include "core/dz_identity.h"
#include "core/dz_log.h"
#include "core/dz_options.h"
#include "core/dz_paths.h"
#include "core/dz_text.h"
#include "core/dz_versions.h"
#include "dos_log.h"
#include "dosapi.h"
#include "system_table.h"

/* Brevane's exit codes for the same outcomes. */
#define CODE_OPTION_MISSING 11
#define CODE_IMAGE_MISSING 12
#define CODE_NOT_UPDATED 13
#define CODE_NO_SYSTEM_INFO 4
#define CODE_VERSION_REFUSED 2

static dz_options g_options;
static dz_identity g_identity;
static uint8_t g_table[SYSTEM_TABLE_LIMIT + 2];
static dos_log g_log;
static char g_text[300];

static void wait_for_key(void) {
    dos_regs r = {0};
    dos_print("Press any key to continue.\n");
    bios_int16(&r); /* AH=0: read a key */
}

/* A refusal: the text on the screen and, unless /NoPause, a key press before going on. */
static int refuse(int code, const char* text) {
    dos_print(text);
    dos_print("\n");
    if (!g_options.noPause) wait_for_key();
    return code;
}

static int log_error_and_refuse(int code, const char* text) {
    (void)dos_log_write(&g_log, "Error", text);
    return refuse(code, text);
}

static void open_log(const char* commandLine, const char* packageFolder) {
    g_log.enabled = 1;
    if (!g_options.logFile[0]) {
        /* The default log: beside the package (on the stick), so that it survives. */
        if (!dz_join(packageFolder, "BREVANE.LOG", g_log.path, sizeof g_log.path)) g_log.enabled = 0;
        return;
    }
    dz_log_name(g_options.logFile, g_log.path, sizeof g_log.path);
    dos_make_folders(g_log.path);
    dz_copy(g_text, sizeof g_text, "Brevane v" BREVANE_VERSION_TEXT ", Command Line=[");
    dz_append(g_text, sizeof g_text, commandLine);
    dz_append(g_text, sizeof g_text, "]");
    if (!dos_log_write(&g_log, "Brevane_Start", g_text)) g_log.enabled = 0;
}

static int file_exists(const char* folder, const char* path) {
    char full[DOS_FOLDER_SIZE + DZ_OPTION_TEXT];
    /* Relative names are the package's entries, in the extraction folder. */
    int relative = !(path[0] == '\\' || (path[0] && path[1] == ':'));
    if (relative) {
        if (!dz_join(folder, path, full, sizeof full)) return 0;
    } else {
        dz_copy(full, sizeof full, path);
    }
    int handle = dos_open_read(full);
    if (handle < 0) return 0;
    (void)dos_close(handle);
    return 1;
}

static void append_hex4(char* text, size_t size, uint32_t value) { dz_append_hex(text, size, value & 0xFFFFu, 4); }

/* The system information and Brevane's system check: 0, or the refusal's code. */
static int check_system(void) {
    const char* error = "";
    uint32_t length = system_table_read(g_table, &error);
    if (length == 0) {
        dz_copy(g_text, sizeof g_text, "Get System Information ERROR\n");
        dz_append(g_text, sizeof g_text, error);
        (void)dos_log_write(&g_log, "GetSystemInfo", g_text);
        return refuse(CODE_NO_SYSTEM_INFO, g_text);
    }
    dz_read_identity(g_table, length, &g_identity);
    dz_copy(g_text, sizeof g_text, "OK, SystemManufacturer=[");
    dz_append(g_text, sizeof g_text, g_identity.manufacturer);
    dz_append(g_text, sizeof g_text, "], SystemProductName=[");
    dz_append(g_text, sizeof g_text, g_identity.productName);
    dz_append(g_text, sizeof g_text, "], SystemZeraID=[");
    append_hex4(g_text, sizeof g_text, g_identity.zeraId);
    dz_append(g_text, sizeof g_text, "]");
    (void)dos_log_write(&g_log, "GetSystemInfo", g_text);

    const char* message;
    int mismatch;
    int code = dz_check_identity(&g_identity, g_options.zeraIds, g_options.zeraCount, &message, &mismatch);
    if (mismatch) {
        /* Only a mismatch against the list is logged, as Brevane logs it. */
        dz_copy(g_text, sizeof g_text, "Current System = ");
        append_hex4(g_text, sizeof g_text, g_identity.zeraId);
        dz_append(g_text, sizeof g_text, ", ");
        (void)dos_log_write(&g_log, "Check Zera ID", g_text);
        for (int i = 0; i < g_options.zeraCount; i++) {
            dz_copy(g_text, sizeof g_text, "    [");
            dz_append_dec(g_text, sizeof g_text, (uint32_t)i);
            dz_append(g_text, sizeof g_text, "]New System = ");
            append_hex4(g_text, sizeof g_text, g_options.zeraIds[i]);
            (void)dos_log_write(&g_log, "Check Zera ID", g_text);
        }
    }
    return code == DZ_ID_OK ? 0 : refuse(code, message);
}

int update_run(const char* commandLine, const char* packageFolder, const extraction* x) {
    dz_parse_options(commandLine, &g_options);
    open_log(commandLine, packageFolder);

    if (!g_options.biosRomFile[0])
        return log_error_and_refuse(CODE_OPTION_MISSING, "The /BiosRomFile is not specified in command line.");
    if (!file_exists(x->folder, g_options.biosRomFile)) {
        dz_copy(g_text, sizeof g_text, "The specified bios_rom_file (");
        dz_append(g_text, sizeof g_text, g_options.biosRomFile);
        dz_append(g_text, sizeof g_text, ") is not found");
        return log_error_and_refuse(CODE_IMAGE_MISSING, g_text);
    }
    if (!g_options.biosVer[0] && !g_options.forceIt)
        return log_error_and_refuse(CODE_OPTION_MISSING, "The /BiosVer is not specified in command line.");
    int code = check_system();
    if (code != 0) return code;
    if (!g_options.amd) {
        if (!g_options.meRomFile[0])
            return log_error_and_refuse(CODE_OPTION_MISSING, "The /MeRomFile is not specified in command line.");
        if (!g_options.meVer[0])
            return log_error_and_refuse(CODE_OPTION_MISSING, "The /MeVer is not specified in command line.");
    }

    /* What the dialog shows on Windows, and its comparison at the start. */
    dos_print("Current BIOS version: ");
    dos_print(g_identity.biosVersion);
    dos_print("\nNew BIOS version:     ");
    dos_print(g_options.biosVer);
    dos_print("\n");
    if (!g_options.forceIt) {
        char message[DZ_VERSION_MESSAGE];
        if (dz_compare_bios_version(g_identity.biosVersion, g_options.biosVer, message) != 0) {
            /* Silent mode ends with 2; a person reads the banner and can only quit (13). */
            return refuse(g_options.noPause ? CODE_VERSION_REFUSED : CODE_NOT_UPDATED,
                          "ERROR: The BIOS version is same or lower than current BIOS version.");
        }
    }

    /* The flash steps do not run under DOS yet: say so, and never report success. */
    (void)dos_log_write(&g_log, "Error", "The DOS update is not available in this package program; nothing was updated.");
    return refuse(CODE_NOT_UPDATED, "The DOS update is not available in this package program; nothing was updated.");
}
