#include "extractor/app/launch_rules.h"

#include <cstring>
#include <vector>

#include "common/format.h"

namespace sfx {

std::string PackageBaseName(const std::string& path) {
    size_t slash = path.find_last_of('\\');
    std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    size_t dot = name.find('.');
    return dot == std::string::npos ? std::string() : name.substr(0, dot);
}

int ResolveDestinationOption(int option, uint32_t sfxFlags) {
    return option == -1 ? static_cast<int>(sfxFlags & kDestOptionMask) : option;
}

DestinationKind ClassifyDestination(int option) {
    if (option == 0) return DestinationKind::Browse;
    if (option == 1) return DestinationKind::TempDirectory;
    return DestinationKind::CurrentDirectory;
}

std::string TempDestination(const std::string& longTempPath, const std::string& baseName) {
    return longTempPath + baseName;
}

std::string PrivateFolderRoot(const std::string& windowsDirectory, PathState systemTemp) {
    std::string root = windowsDirectory;
    while (!root.empty() && root.back() == '\\') root.pop_back();
    return root + (systemTemp == PathState::Folder ? "\\SystemTemp" : "\\Temp");
}

namespace {

std::string WithoutLongPrefix(const std::string& path) {
    if (path.compare(0, 8, "\\\\?\\UNC\\") == 0) return "\\" + path.substr(7);
    if (path.compare(0, 4, "\\\\?\\") == 0) return path.substr(4);
    return path;
}

char Lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

}  // namespace

bool SamePath(const std::string& a, const std::string& b) {
    std::string x = WithoutLongPrefix(a), y = WithoutLongPrefix(b);
    while (x.size() > 1 && x.back() == '\\') x.pop_back();
    while (y.size() > 1 && y.back() == '\\') y.pop_back();
    if (x.size() != y.size()) return false;
    for (size_t i = 0; i < x.size(); ++i)
        if (Lower(x[i]) != Lower(y[i])) return false;
    return true;
}

bool MadeByAdministrators(const ObjectOwnership& object, bool ownersRecorded) {
    if (!object.exists || object.link) return false;
    return !ownersRecorded || (object.ownerKnown && IsAdministrativeOwner(object.ownerSid));
}

bool IsAdministrativeOwner(const std::string& sid) { return sid == "S-1-5-32-544" || sid == "S-1-5-18"; }

std::string WithTrailingBackslash(const std::string& path) {
    if (!path.empty() && path.back() == '\\') return path;
    return path + '\\';
}

std::string CommandWorkingDirectory(const std::string& extractDest) {
    size_t end = extractDest.find_last_not_of('\\');
    return end == std::string::npos ? std::string() : extractDest.substr(0, end + 1);
}

namespace {

// One expansion into a zeroed buffer of `size` bytes. Answers what the expander answered; the
// result is taken only when the expansion fitted.
uint32_t ExpandInto(const std::string& text, ExpandFn expand, uint32_t size, std::string& result) {
    std::vector<char> buffer(size, '\0');
    uint32_t answer = expand(text.c_str(), buffer.data(), size);
    if (answer != 0 && answer <= size - 1) result.assign(buffer.data(), strnlen(buffer.data(), size));
    return answer;
}

}  // namespace

BOOL ExpandEnvironment(std::string& text, ExpandFn expand) {
    std::string result;
    uint32_t answer = ExpandInto(text, expand, kExpandSmall, result);
    if (answer == 0) return FALSE;
    if (answer > kExpandSmall - 1) {
        answer = ExpandInto(text, expand, kExpandLarge, result);
        if (answer == 0 || answer > kExpandLarge - 1) return FALSE;
    }
    text = result;
    return TRUE;
}

namespace {

bool SameNameIgnoringCase(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        char x = a[i], y = b[i];
        if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
        if (y >= 'A' && y <= 'Z') y = static_cast<char>(y - 'A' + 'a');
        if (x != y) return false;
    }
    return true;
}

}  // namespace

BOOL ExpandKnownVariables(std::string& text, const std::vector<KnownVariable>& known) {
    std::string result;
    size_t at = 0;
    while (at < text.size()) {
        size_t open = text.find('%', at);
        if (open == std::string::npos) {
            result.append(text, at, std::string::npos);
            break;
        }
        result.append(text, at, open - at);
        size_t close = text.find('%', open + 1);
        if (close == std::string::npos) {
            result.append(text, open, std::string::npos);
            break;
        }
        const std::string name = text.substr(open + 1, close - open - 1);
        const KnownVariable* match = nullptr;
        for (const KnownVariable& variable : known)
            if (!name.empty() && SameNameIgnoringCase(variable.name, name)) match = &variable;
        if (match) {
            result += match->value;
            at = close + 1;
        } else {
            // Left as written; its closing sign may open the next reference.
            result.append(text, open, close - open);
            at = close;
        }
        if (result.size() > kExpandLarge - 1) return FALSE;
    }
    if (result.size() > kExpandLarge - 1) return FALSE;
    text = result;
    return TRUE;
}

BOOL CopyCommandLine(const std::string& command, char (&buffer)[kCommandBufferSize], std::string& reason) {
    if (command.size() >= kCommandBufferSize) {
        reason = common::Format("Command line too long: %u characters, at most %u",
                                static_cast<unsigned>(command.size()), static_cast<unsigned>(kCommandBufferSize - 1));
        return FALSE;
    }
    std::memcpy(buffer, command.c_str(), command.size() + 1);
    return TRUE;
}

std::string StartFailureText(unsigned long error, const std::string& command, const std::string& workingDir) {
    if (error == 740) return "This program requires elevation (run as) administrator privilege";
    return common::Format("CreateProcess() ERR#%lu\nCommandLine: %s\nWorkingDir: %s\n", error, command.c_str(),
                          workingDir.c_str());
}

namespace {

std::string FirstToken(const std::string& command) {
    size_t at = command.find_first_not_of(" \t");
    if (at == std::string::npos) return std::string();
    if (command[at] == '"') {
        size_t end = command.find('"', at + 1);
        return command.substr(at + 1, end == std::string::npos ? std::string::npos : end - at - 1);
    }
    size_t end = command.find_first_of(" \t", at);
    return command.substr(at, end == std::string::npos ? std::string::npos : end - at);
}

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

std::string JoinPath(std::string folder, const std::string& name) {
    while (!folder.empty() && IsSeparator(folder.back())) folder.pop_back();
    return folder + "\\" + name;
}

}  // namespace

BOOL ResolveCommandProgram(const std::string& command, const std::string& extractDest,
                           const std::vector<std::string>& systemDirectories,
                           const std::function<bool(const std::string&)>& exists, std::string& program) {
    std::string token = FirstToken(command);
    program.clear();
    if (token.empty()) return FALSE;

    size_t nameAt = token.find_last_of("\\/:");
    bool hasFolder = nameAt != std::string::npos;
    std::string name = hasFolder ? token.substr(nameAt + 1) : token;
    // As the platform's own start would: a name without an extension is a program's.
    if (name.find('.') == std::string::npos) token += ".exe";

    std::vector<std::string> candidates;
    // "C:\x.exe", "\\server\x.exe", "\x.exe", "C:x.exe": taken as written, never searched.
    if (token.find(':') != std::string::npos || IsSeparator(token[0])) {
        candidates.push_back(token);
    } else {
        candidates.push_back(JoinPath(extractDest, token));
        if (!hasFolder)
            for (const std::string& folder : systemDirectories) candidates.push_back(JoinPath(folder, token));
    }
    for (const std::string& candidate : candidates) {
        if (exists(candidate)) {
            program = candidate;
            return TRUE;
        }
    }
    return FALSE;
}

}  // namespace sfx
