#include "devtools/runexe/runexe_args.h"

#include <cstdlib>
#include <cstring>

#include "devtools/shared/hex_text.h"

namespace {

bool SplitAssignment(const std::string& text, std::pair<std::string, std::string>& out) {
    size_t eq = text.find('=');
    if (eq == std::string::npos || eq == 0) return false;
    out.first = text.substr(0, eq);
    out.second = text.substr(eq + 1);
    return true;
}

}  // namespace

bool ParseRunexeArgs(int argc, char** argv, RunexeArgs& args, std::string& error) {
    bool haveCommand = false;
    for (int i = 1; i < argc; ++i) {
        std::string name = argv[i];
        if (name == "--no-tree-wait") {
            args.waitForTree = false;
            continue;
        }
        if (i + 1 >= argc) {
            error = "missing value after " + name;
            return false;
        }
        std::string value = argv[++i];
        bool hex = name.size() > 4 && name.compare(name.size() - 4, 4, "-hex") == 0;
        if (hex) {
            name.resize(name.size() - 4);
            if (!devtools::DecodeHex(value, value)) {
                error = "bad hex value after " + name + "-hex";
                return false;
            }
        }
        if (name == "--cmd") {
            args.commandLine = value;
            haveCommand = true;
        } else if (name == "--dir") {
            args.directory = value;
        } else if (name == "--result") {
            args.resultFile = value;
        } else if (name == "--env") {
            std::pair<std::string, std::string> assignment;
            if (!SplitAssignment(value, assignment)) {
                error = "--env needs NAME=VALUE";
                return false;
            }
            args.environment.push_back(assignment);
        } else if (name == "--timeout" && !hex) {
            char* end = nullptr;
            unsigned long ms = std::strtoul(value.c_str(), &end, 10);
            if (value.empty() || *end != '\0') {
                error = "--timeout needs milliseconds";
                return false;
            }
            args.timeoutMs = ms;
        } else {
            error = "unknown argument " + name;
            return false;
        }
    }
    if (!haveCommand || args.commandLine.empty()) {
        error = "no command line (--cmd or --cmd-hex)";
        return false;
    }
    return true;
}
