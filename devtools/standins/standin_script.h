#pragma once
// The script language of the tool stand-ins (see README.md): a preamble that runs for every
// start, then the first section whose condition the command line meets.

#include <string>
#include <vector>

namespace standin {

struct Step {
    enum Kind { Print, PrintErr, Fill, Sleep, WaitInput, EchoInput, WaitFile, Hang, CloseOutput, Exit, Repeat, Spawn };
    Kind kind = Print;
    std::string text;          // bytes to write (escapes already resolved); WaitFile: the file; Spawn: arguments
    unsigned long number = 0;  // milliseconds, byte count, exit code or repeat count
    std::vector<Step> body;    // Repeat only
};

struct Section {
    bool otherwise = false;  // "[otherwise]": runs when no "[when ...]" section matched
    std::string when;        // "[when TEXT]": runs when the command line contains TEXT
    std::vector<Step> steps;
};

struct Script {
    std::string recordPath;  // empty: the default record file beside the program
    std::vector<Step> preamble;
    std::vector<Section> sections;
};

// Parses the whole script text. On failure answers false and puts "line N: reason" in `error`.
bool ParseScript(const std::string& text, Script& script, std::string& error);

// The arguments of a whole command line: what follows the program's name, which ends at the
// next quote when it starts with one, else at the next blank (the system's rule for it).
std::string ArgumentsOf(const std::string& commandLine);

// The steps to run for `arguments`: the first "[when]" section whose text occurs in them
// (case-sensitive), else the first "[otherwise]" section, else none. Only the arguments count:
// the folder a stand-in lies in may hold any text.
const std::vector<Step>* ChooseSection(const Script& script, const std::string& arguments);

// Resolves \r \n \t \0 \\ \s (blank) and \xHH. Answers false on a malformed escape.
bool Unescape(const std::string& in, std::string& out);

}  // namespace standin
