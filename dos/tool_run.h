#ifndef DOS_TOOL_RUN_H
#define DOS_TOOL_RUN_H
/* One run of an outside tool under DOS: started from the extraction folder, its output shown
   and read by Brevane's rules into the tool output of the scratch area (g_scratch.tools). */

/* Runs `tool` from the extraction folder `folder` with `arguments`, its standard output and
   standard error redirected into a file there; then shows and reads that output as `kind` (a
   DZ_TOOL_ kind), and logs the tool's exit code under `tag` in the update's log. The code
   itself decides nothing. 0, or the DOS error of a failed start (negative). */
int run_tool(const char* folder, const char* tool, const char* arguments, int kind, const char* tag);

/* After a flash tool's run: a tool that was ended (Ctrl-C, a critical error) or printed nothing
   at all fails its step as an error it printed would; the failure's text becomes the error
   text. Answers whether it did. */
int failed_by_its_end(const char* tool);

#endif
