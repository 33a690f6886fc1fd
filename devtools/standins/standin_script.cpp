#include "devtools/standins/standin_script.h"

#include <cerrno>
#include <cstdlib>

namespace standin {

namespace {

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

bool ParseNumber(const std::string& text, unsigned long& value) {
    if (text.empty()) return false;
    errno = 0;
    char* end = nullptr;
    value = std::strtoul(text.c_str(), &end, 0);
    return errno == 0 && end && *end == '\0';
}

// Splits "keyword rest": the keyword ends at the first blank; exactly one blank is skipped, so
// the rest keeps any further leading or trailing blanks as written.
void SplitKeyword(const std::string& line, std::string& keyword, std::string& rest) {
    size_t blank = line.find(' ');
    if (blank == std::string::npos) {
        keyword = line;
        rest.clear();
    } else {
        keyword = line.substr(0, blank);
        rest = line.substr(blank + 1);
    }
}

struct Parser {
    std::vector<std::string> lines;
    size_t next = 0;
    std::string* recordPath = nullptr;  // set while the preamble is read
    std::string error;

    bool Fail(size_t lineIndex, const std::string& why) {
        error = "line " + std::to_string(lineIndex + 1) + ": " + why;
        return false;
    }

    static bool IsHeader(const std::string& line) { return !line.empty() && line[0] == '['; }

    // Reads steps until a section header, the end of the text, or (inside a repeat) "end".
    // `repeatLine` is the index of the "repeat" line being read, for its error message.
    bool ReadSteps(std::vector<Step>& steps, bool insideRepeat, size_t repeatLine = 0) {
        while (next < lines.size()) {
            size_t index = next;
            const std::string& line = lines[index];
            if (IsHeader(line)) {
                if (insideRepeat) return Fail(repeatLine, "repeat without end");
                return true;
            }
            ++next;
            if (line.empty() || line[0] == '#') continue;
            std::string keyword, rest;
            SplitKeyword(line, keyword, rest);
            Step step;
            if (keyword == "end") {
                if (!insideRepeat) return Fail(index, "end without repeat");
                return true;
            } else if (keyword == "print" || keyword == "line" || keyword == "stderr") {
                step.kind = keyword == "stderr" ? Step::PrintErr : Step::Print;
                if (!Unescape(rest, step.text)) return Fail(index, "bad escape");
                if (keyword == "line") step.text += "\r\n";
            } else if (keyword == "fill") {
                std::string count, pattern;
                SplitKeyword(rest, count, pattern);
                if (!ParseNumber(count, step.number)) return Fail(index, "fill needs a byte count");
                if (!Unescape(pattern, step.text) || step.text.empty()) return Fail(index, "fill needs a pattern");
                step.kind = Step::Fill;
            } else if (keyword == "sleep") {
                if (!ParseNumber(rest, step.number)) return Fail(index, "sleep needs milliseconds");
                step.kind = Step::Sleep;
            } else if (keyword == "wait-input") {
                step.kind = Step::WaitInput;
            } else if (keyword == "echo-input") {
                step.kind = Step::EchoInput;
            } else if (keyword == "wait-file") {
                if (rest.empty()) return Fail(index, "wait-file needs a file name");
                step.kind = Step::WaitFile;
                step.text = rest;
            } else if (keyword == "spawn") {
                if (rest.empty()) return Fail(index, "spawn needs arguments");
                step.kind = Step::Spawn;
                step.text = rest;
            } else if (keyword == "hang") {
                step.kind = Step::Hang;
            } else if (keyword == "close-output") {
                step.kind = Step::CloseOutput;
            } else if (keyword == "exit") {
                if (!ParseNumber(rest, step.number)) return Fail(index, "exit needs a code");
                step.kind = Step::Exit;
            } else if (keyword == "repeat") {
                if (!ParseNumber(rest, step.number)) return Fail(index, "repeat needs a count");
                step.kind = Step::Repeat;
                if (!ReadSteps(step.body, true, index)) return false;
            } else if (keyword == "record") {
                if (!recordPath || insideRepeat) return Fail(index, "record belongs before the first section");
                if (rest.empty()) return Fail(index, "record needs a file name");
                *recordPath = rest;
                continue;
            } else {
                return Fail(index, "unknown directive '" + keyword + "'");
            }
            steps.push_back(std::move(step));
        }
        if (insideRepeat) return Fail(repeatLine, "repeat without end");
        return true;
    }
};

}  // namespace

bool Unescape(const std::string& in, std::string& out) {
    out.clear();
    for (size_t i = 0; i < in.size(); ++i) {
        char c = in[i];
        if (c != '\\') {
            out += c;
            continue;
        }
        if (++i >= in.size()) return false;
        switch (in[i]) {
        case 'r': out += '\r'; break;
        case 'n': out += '\n'; break;
        case 't': out += '\t'; break;
        case '0': out += '\0'; break;
        case 's': out += ' '; break;
        case '\\': out += '\\'; break;
        case 'x': {
            if (i + 2 >= in.size()) return false;
            int high = HexDigit(in[i + 1]);
            int low = HexDigit(in[i + 2]);
            if (high < 0 || low < 0) return false;
            out += static_cast<char>(high * 16 + low);
            i += 2;
            break;
        }
        default: return false;
        }
    }
    return true;
}

bool ParseScript(const std::string& text, Script& script, std::string& error) {
    Parser parser;
    size_t start = 0;
    while (start <= text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        std::string line = text.substr(start, end - start);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        parser.lines.push_back(line);
        start = end + 1;
    }

    script = Script();
    parser.recordPath = &script.recordPath;
    if (!parser.ReadSteps(script.preamble, false)) {
        error = parser.error;
        return false;
    }
    parser.recordPath = nullptr;

    while (parser.next < parser.lines.size()) {
        size_t index = parser.next;
        const std::string& header = parser.lines[index];
        Section section;
        if (header == "[otherwise]") {
            section.otherwise = true;
        } else if (header.size() > 7 && header.compare(0, 6, "[when ") == 0 && header.back() == ']') {
            section.when = header.substr(6, header.size() - 7);
        } else {
            error = "line " + std::to_string(index + 1) + ": unknown section header";
            return false;
        }
        ++parser.next;
        if (!parser.ReadSteps(section.steps, false)) {
            error = parser.error;
            return false;
        }
        script.sections.push_back(std::move(section));
    }
    return true;
}

std::string ArgumentsOf(const std::string& commandLine) {
    size_t at = commandLine.find_first_not_of(" \t");
    if (at == std::string::npos) return std::string();
    if (commandLine[at] == '"') {
        at = commandLine.find('"', at + 1);
        at = at == std::string::npos ? commandLine.size() : at + 1;
    } else {
        at = commandLine.find_first_of(" \t", at);
        if (at == std::string::npos) at = commandLine.size();
    }
    at = commandLine.find_first_not_of(" \t", at);
    return at == std::string::npos ? std::string() : commandLine.substr(at);
}

const std::vector<Step>* ChooseSection(const Script& script, const std::string& arguments) {
    for (const Section& section : script.sections)
        if (!section.otherwise && arguments.find(section.when) != std::string::npos) return &section.steps;
    for (const Section& section : script.sections)
        if (section.otherwise) return &section.steps;
    return nullptr;
}

}  // namespace standin
