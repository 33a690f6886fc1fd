#include "devtools/sfxpack/program_image.h"

#include <cctype>
#include <fstream>

#include "common/format.h"
#include "extractor/package/sfx_format.h"

namespace {

// [begin, end) of the first token's file name inside `command`.
void ProgramNameSpan(const std::string& command, size_t* begin, size_t* end) {
    size_t start = command.find_first_not_of(" \t");
    if (start == std::string::npos) {
        *begin = *end = command.size();
        return;
    }
    size_t stop;
    if (command[start] == '"') {
        ++start;
        stop = command.find('"', start);
    } else {
        stop = command.find_first_of(" \t", start);
    }
    if (stop == std::string::npos) stop = command.size();
    size_t slash = command.find_last_of("\\/", stop == 0 ? 0 : stop - 1);
    *begin = slash != std::string::npos && slash >= start ? slash + 1 : start;
    *end = stop;
}

}  // namespace

bool SameFileName(const std::string& a, const char* b) {
    size_t i = 0;
    for (; i < a.size() && b[i]; ++i)
        if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    return i == a.size() && !b[i];
}

ProgramKind ProgramKindOf(const std::string& head) {
    const auto* bytes = reinterpret_cast<const uint8_t*>(head.data());
    uint32_t peOffset = 0;
    uint16_t machine = 0;
    if (!sfx::PeDosHeaderOffset(bytes, head.size(), &peOffset) || peOffset >= head.size() ||
        !sfx::PeMachine(bytes + peOffset, head.size() - peOffset, &machine))
        return ProgramKind::Other;
    if (machine == sfx::kMachineI386) return ProgramKind::X86;
    if (machine == sfx::kMachineAmd64) return ProgramKind::X64;
    return ProgramKind::Other;
}

BOOL ReadProgramKind(const std::string& path, ProgramKind* kind, std::string& error) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        error = common::Format("cannot read the program \"%s\"", path.c_str());
        return FALSE;
    }
    std::string head(4096, '\0');
    in.read(&head[0], static_cast<std::streamsize>(head.size()));
    head.resize(static_cast<size_t>(in.gcount()));
    *kind = ProgramKindOf(head);
    return TRUE;
}

const char* ProgramKindText(ProgramKind kind) {
    switch (kind) {
    case ProgramKind::X86: return "32-bit (x86)";
    case ProgramKind::X64: return "64-bit (x64)";
    default: return "not a PE image";
    }
}

std::string CommandProgramName(const std::string& command) {
    size_t begin, end;
    ProgramNameSpan(command, &begin, &end);
    return command.substr(begin, end - begin);
}

BOOL Win64CommandFrom(const std::string& win32Command, std::string* win64Command, std::string& error) {
    size_t begin, end;
    ProgramNameSpan(win32Command, &begin, &end);
    if (begin == end && win32Command.find_first_not_of(" \t") == std::string::npos) {
        *win64Command = win32Command;  // no command in either package
        return TRUE;
    }
    if (!SameFileName(win32Command.substr(begin, end - begin), "Brevane.exe")) {
        error = common::Format("the win32 command does not start Brevane.exe, so the 64-bit command cannot be made "
                               "from it: give it as win64 = ...");
        return FALSE;
    }
    std::string result = win32Command.substr(0, begin) + "Brevane64.exe" + win32Command.substr(end);
    if (result.size() >= sfx::kCommandFieldLimit) {
        error = common::Format("the 64-bit command has %u characters; at most 255 fit",
                               static_cast<unsigned>(result.size()));
        return FALSE;
    }
    *win64Command = result;
    return TRUE;
}
