#include "update.h"

#include "../updater/app/version_info.h"
#include "core/dz_exit_codes.h"
#include "core/dz_identity.h"
#include "core/dz_log.h"
#include "core/dz_options.h"
#include "core/dz_paths.h"
#include "core/dz_secure.h"
#include "core/dz_text.h"
#include "core/dz_toolout.h"
#include "core/dz_versions.h"
#include "dos_log.h"
#include "dosapi.h"
#include "scratch.h"
#include "system_table.h"
#include "tool_run.h"

#define BIOS_TOOL "AFUDOS.exe"
#define ME_TOOL "FWUpdLcl.exe"

static dz_identity g_identity;
#define g_table g_scratch.table
#define g_output g_scratch.tools.output
dos_log g_log;
static char g_text[300];
static char g_image[DZ_OPTION_TEXT];
#define g_meVersion g_scratch.tools.meVersion
static int g_restart;

int refuse(int code, const char* text) {
    dos_print(text);
    dos_print("\n");
    if (!g_options.noPause) {
        dos_regs r = {0};
        dos_print("Press any key to continue.\n");
        bios_int16(&r); /* AH=0: read a key */
    }
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
        return refuse(DZ_EXIT_NO_SYSTEM_INFO, g_text);
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
    int code = dz_check_identity(g_identity.manufacturer, g_identity.zeraId, g_options.zeraIds, g_options.zeraCount,
                                 &message, &mismatch);
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

static void log_sink(void* context, const char* tag, const char* text) {
    (void)context;
    (void)dos_log_write(&g_log, tag, text);
}

/* settings.ini beside the update program (in the extraction folder), or "" without one; NULL
   when it is longer than the room it is read into, since a cut file could choose another image
   than Windows chooses from the whole one. */
static const char* read_settings(const char* folder) {
    char* text = g_scratch.tools.settings;
    char path[DOS_FOLDER_SIZE + 16];
    text[0] = '\0';
    if (!dz_join(folder, "SETTINGS.INI", path, sizeof path)) return text;
    int file = dos_open_read(path);
    if (file < 0) return text;
    int got = dos_read(file, text, SCRATCH_SETTINGS_SIZE - 1);
    char more;
    int longer = got == SCRATCH_SETTINGS_SIZE - 1 && dos_read(file, &more, 1) > 0;
    (void)dos_close(file);
    text[got > 0 ? got : 0] = '\0';
    return longer ? 0 : text;
}

static void log_command(const char* tag, const char* command) {
    dz_copy(g_text, sizeof g_text, "CommandLine=[");
    dz_append(g_text, sizeof g_text, command);
    dz_append(g_text, sizeof g_text, "]");
    (void)dos_log_write(&g_log, tag, g_text);
    dos_print(command);
    dos_print("\n");
}

/* A tool that did not start: Brevane's log line and message with the DOS error code. */
static int launch_failed(const char* tag, int code, const char* message, int error) {
    dz_copy(g_text, sizeof g_text, "Result=[ERROR], ErrCode=[");
    dz_append_dec(g_text, sizeof g_text, (uint32_t)-error);
    dz_append(g_text, sizeof g_text, "]");
    (void)dos_log_write(&g_log, tag, g_text);
    dz_copy(g_text, sizeof g_text, message);
    dz_append(g_text, sizeof g_text, ", GetLastError=");
    dz_append_dec(g_text, sizeof g_text, (uint32_t)-error);
    return refuse(code, g_text);
}

/* A failed ME step: its log line and message, no restart. */
static int me_step_failed(const char* tag, const char* logText, int code, const char* message) {
    (void)dos_log_write(&g_log, tag, logText);
    return refuse(code, message);
}

/* The running ME version ("FWUpdLcl.exe -FWVER"): 0 when read, else the launch failure's code
   (`failCode` for an empty answer is left to the caller). */
static int query_me_version(const char* folder, int* code) {
    static const char command[] = ME_TOOL " -FWVER";
    log_command("GetMeVersion", command);
    int error = run_tool(folder, ME_TOOL, "-FWVER", DZ_TOOL_ME_VERSION, "GetMeVersion");
    if (error != 0) {
        *code = launch_failed("GetMeVersion", DZ_EXIT_ME_UNAVAILABLE, "GetMeVersion Error", error);
        return 0;
    }
    /* The error check follows the version check, as in each pass of Brevane's wait. */
    int got = g_output.meVersionFound && !g_output.meError;
    dz_copy(g_meVersion, sizeof g_meVersion, g_output.meVersion);
    return got;
}

/* ERROR_INVALID_NAME, Windows' answer for an image path that cannot be quoted for the tool: a
   double quote in it would end the quoted argument and hand the tool options nobody chose. */
#define ERROR_INVALID_NAME 123

static int breaks_quoting(const char* path) {
    for (; *path; path++)
        if (*path == '"') return 1;
    return 0;
}

static int is_cut(char c) { return c == ' ' || c == '\r' || c == '\n'; }

/* The ME steps after the BIOS flash: the comparison with /MeVer and the ME flash. 0 when they
   are done (the ME error, if any, in *meError), else the code of a failed step. */
static int flash_me(const char* folder, int* meError) {
    int code = 0;
    if (!g_meVersion[0] && !query_me_version(folder, &code)) {
        if (code) return code;
        return me_step_failed("CheckMeFunction", "Result=[ME is not available now, please check it]",
                              DZ_EXIT_BIOS_FAILED, "ME is not available now, please check it");
    }
    dz_tool_reset_me(&g_output);
    if (!g_meVersion[0])
        return me_step_failed("GetMeVersion", "Get empty ME Version", DZ_EXIT_ME_UNAVAILABLE,
                              "Get Me Version Error, Get empty Me Version");
    char current[DZ_TOOL_LINE];
    size_t n = 0;
    for (const char* p = g_meVersion; *p; p++)
        if (!is_cut(*p)) current[n++] = *p;
    current[n] = '\0';
    dz_copy(g_text, sizeof g_text, "Cur:\"");
    dz_append(g_text, sizeof g_text, current);
    dz_append(g_text, sizeof g_text, "\", New:\"");
    dz_append(g_text, sizeof g_text, g_options.meVer);
    dz_append(g_text, sizeof g_text, "\"");
    (void)dos_log_write(&g_log, "CompareMeVersion", g_text);

    char message[DZ_VERSION_MESSAGE];
    int answer = dz_compare_me_version(current, g_options.meVer, message);
    const char* options = answer == 0 ? " -generic" : (answer == 1 && g_options.meupd) ? " -generic -allowsv " : 0;
    if (!options) return 0; /* nothing to flash: the verdict rests on the BIOS */

    dos_print("Updating ME. Please DO NOT POWER OFF!\n");
    char arguments[DZ_OPTION_TEXT + 40], command[DZ_OPTION_TEXT + 60];
    dz_copy(arguments, sizeof arguments, "-f \"");
    dz_append(arguments, sizeof arguments, g_options.meRomFile);
    dz_append(arguments, sizeof arguments, "\" ");
    dz_append(arguments, sizeof arguments, options);
    dz_copy(command, sizeof command, ME_TOOL " ");
    dz_append(command, sizeof command, arguments);
    log_command("FlashME", command);
    g_output.done = g_output.completed = 0;
    int error = breaks_quoting(g_options.meRomFile) ? -ERROR_INVALID_NAME
                                                   : run_tool(folder, ME_TOOL, arguments, DZ_TOOL_ME_FLASH, "FlashME");
    if (error != 0) return launch_failed("FlashMe", DZ_EXIT_ME_FAILED, "Flash ME Error", error);
    /* A tool's end outweighs even its completion text. */
    *meError = failed_by_its_end(ME_TOOL) || (g_output.meError && !g_output.done && !g_output.completed);
    return 0;
}

/* The update itself: the ME version before, the BIOS flash, the ME steps after, the verdict. */
static int flash(const char* folder) {
    int code = 0;
    __builtin_memset(&g_output, 0, sizeof g_output);
    g_meVersion[0] = '\0'; /* the scratch area held the SMBIOS table until now */
    g_output.meUpdV1 = g_options.meUpdV1;
    if (!g_options.amd) {
        if (!query_me_version(folder, &code)) {
            if (code) return code;
            if (!g_output.meVersion[0])
                return me_step_failed("CheckMeFunction", "Result=[ME is not available now, please check it]",
                                      DZ_EXIT_ME_UNAVAILABLE, "ME is not available now, please check it");
        }
        dz_copy(g_meVersion, sizeof g_meVersion, g_output.meVersion);
        dz_tool_reset_me(&g_output);
    }

    dos_print("Updating BIOS. Please DO NOT POWER OFF!\n");
    char message[DZ_VERSION_MESSAGE];
    message[0] = '\0';
    int below = dz_is_below_compatible_version(g_identity.biosVersion, g_options.ca, g_options.cx, message);
    dz_copy(g_text, sizeof g_text, "Check compatible : Cur:");
    dz_append(g_text, sizeof g_text, g_identity.biosVersion);
    dz_append(g_text, sizeof g_text, ", VerA:");
    dz_append(g_text, sizeof g_text, g_options.ca);
    dz_append(g_text, sizeof g_text, ", VerX:");
    dz_append(g_text, sizeof g_text, g_options.cx);
    dz_append(g_text, sizeof g_text, " [");
    dz_append(g_text, sizeof g_text, message);
    dz_append(g_text, sizeof g_text, "]");
    (void)dos_log_write(&g_log, "FlashBios", g_text);
    dz_copy(g_image, sizeof g_image, g_options.biosRomFile);
    const char* settings = read_settings(folder);
    if (!settings) {
        (void)dos_log_write(&g_log, "Secure flash Info", "Result=[ERROR], settings.ini is longer than 12287 bytes");
        return refuse(DZ_EXIT_BIOS_FAILED, "settings.ini is longer than 12287 bytes: the BIOS was not flashed.");
    }
    (void)dz_select_secure_flash(settings, g_identity.biosVersion, g_image, sizeof g_image, log_sink, 0);

    char arguments[DZ_OPTION_TEXT + 16], command[DZ_OPTION_TEXT + 32];
    dz_copy(arguments, sizeof arguments, "\"");
    dz_append(arguments, sizeof arguments, g_image);
    dz_append(arguments, sizeof arguments, below == 0 ? "\" /P /B" : "\" /P /B /N");
    dz_copy(command, sizeof command, BIOS_TOOL " ");
    dz_append(command, sizeof command, arguments);
    log_command("FlashBios", command);
    int error = breaks_quoting(g_image) ? -ERROR_INVALID_NAME
                                        : run_tool(folder, BIOS_TOOL, arguments, DZ_TOOL_BIOS, "FlashBios");
    if (error != 0) return launch_failed("FlashBios", DZ_EXIT_BIOS_FAILED, "Flash BIOS Error", error);
    int biosError = failed_by_its_end(BIOS_TOOL) || g_output.biosError;

    int meError = 0;
    if (!g_options.amd) {
        code = flash_me(folder, &meError);
        if (code != 0) return code;
    }

    /* The verdict; a failed flash can still ask for a restart, as on Windows. */
    if (biosError || meError) {
        dz_copy(g_text, sizeof g_text, "Update Failed!\n\"");
        dz_append(g_text, sizeof g_text, g_output.errorText);
        dz_append(g_text, sizeof g_text, "\"\nIt will take effect after reboot!");
        code = biosError ? DZ_EXIT_BIOS_FAILED : DZ_EXIT_ME_FAILED;
    } else {
        dz_copy(g_text, sizeof g_text, "Update successful!\nIt will take effect after reboot!");
        code = 0;
    }
    dos_print(g_text);
    dos_print("\n");
    if (g_options.noReboot) {
        g_restart = 0;
    } else if (g_options.noPause) {
        g_restart = 1;
    } else {
        dos_print("Restart now? (Y/N)");
        char key;
        do key = dz_upper(dos_read_key());
        while (key != 'Y' && key != 'N' && key != 0x1A && key != 0x1B);
        dos_print(key == 'Y' ? " Y\n" : " N\n");
        g_restart = key == 'Y';
    }
    return code;
}

int update_wants_restart(void) { return g_restart; }

int update_run(const char* commandLine, const char* packageFolder, const extraction* x) {
    dz_parse_options(commandLine, &g_options);
    open_log(commandLine, packageFolder);

    if (!g_options.biosRomFile[0])
        return log_error_and_refuse(DZ_EXIT_OPTION_MISSING, "The /BiosRomFile is not specified in command line.");
    if (!file_exists(x->folder, g_options.biosRomFile)) {
        dz_copy(g_text, sizeof g_text, "The specified bios_rom_file (");
        dz_append(g_text, sizeof g_text, g_options.biosRomFile);
        dz_append(g_text, sizeof g_text, ") is not found");
        return log_error_and_refuse(DZ_EXIT_IMAGE_MISSING, g_text);
    }
    if (!g_options.biosVer[0] && !g_options.forceIt)
        return log_error_and_refuse(DZ_EXIT_OPTION_MISSING, "The /BiosVer is not specified in command line.");
    int code = check_system();
    if (code != 0) return code;
    if (!g_options.amd) {
        if (!g_options.meRomFile[0])
            return log_error_and_refuse(DZ_EXIT_OPTION_MISSING, "The /MeRomFile is not specified in command line.");
        if (!g_options.meVer[0])
            return log_error_and_refuse(DZ_EXIT_OPTION_MISSING, "The /MeVer is not specified in command line.");
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
            return refuse(g_options.noPause ? DZ_EXIT_VERSION_REFUSED : DZ_EXIT_NOT_UPDATED,
                          "ERROR: The BIOS version is same or lower than current BIOS version.");
        }
    }

    return flash(x->folder);
}
