#include "updater/tools/tool_end.h"

#include "common/format.h"

std::string FlashToolEndFailure(const std::string& tool, const ToolEnd& end) {
    if (end.exitCodeKnown && IsFaultExitCode(end.exitCode))
        return common::Format("%s ended abnormally, exit code 0x%08lX", tool.c_str(),
                              static_cast<unsigned long>(end.exitCode));
    if (end.bytesPrinted == 0) return common::Format("%s ended without printing anything", tool.c_str());
    return std::string();
}

std::string ExitCodeLogText(const ToolEnd& end) {
    if (!end.exitCodeKnown) return "ExitCode=[unknown]";
    return common::Format("ExitCode=[0x%08lX]", static_cast<unsigned long>(end.exitCode));
}
