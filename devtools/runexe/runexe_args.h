#pragma once
// The runner's command line. Every text can also be given hex-encoded ("-hex" forms), so that
// the harness hands over exact bytes that no quoting rule can change on the way through Wine.

#include <string>
#include <utility>
#include <vector>

struct RunexeArgs {
    std::string commandLine;                                     // started verbatim
    std::string directory;                                       // empty: the runner's own
    std::string resultFile;                                      // empty: results on stdout
    std::vector<std::pair<std::string, std::string>> environment;  // set in the runner, inherited
    unsigned long timeoutMs = 60000;
    bool waitForTree = true;                                     // also wait for grandchildren
};

// Fills `args` from argv[1..]; false with `error` set on any unknown or malformed argument.
bool ParseRunexeArgs(int argc, char** argv, RunexeArgs& args, std::string& error);
