#include "devtools/sfxpack/manifest.h"

#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "common/format.h"
#include "extractor/package/sfx_fs.h"

namespace {

std::string Trim(const std::string& text) {
    size_t begin = 0, end = text.size();
    while (begin < end && std::isspace(static_cast<unsigned char>(text[begin]))) ++begin;
    while (end > begin && std::isspace(static_cast<unsigned char>(text[end - 1]))) --end;
    return text.substr(begin, end - begin);
}

std::string Lower(std::string text) {
    for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

// A whole unsigned number in decimal or 0x hex that fits `limit`.
bool ParseNumber(const std::string& text, uint64_t limit, uint64_t* value) {
    if (text.empty() || !std::isdigit(static_cast<unsigned char>(text[0]))) return false;
    errno = 0;
    char* end = nullptr;
    unsigned long long parsed = std::strtoull(text.c_str(), &end, 0);
    if (errno != 0 || *end != '\0' || parsed > limit) return false;
    *value = parsed;
    return true;
}

int64_t DaysFromCivil(int64_t year, unsigned month, unsigned day) {
    year -= month <= 2;
    int64_t era = (year >= 0 ? year : year - 399) / 400;
    unsigned yearOfEra = static_cast<unsigned>(year - era * 400);
    unsigned dayOfYear = (153 * (month > 2 ? month - 3 : month + 9) + 2) / 5 + day - 1;
    unsigned dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return era * 146097 + static_cast<int64_t>(dayOfEra) - 719468;  // days since 1970-01-01
}

bool IsAbsolutePath(const std::string& path) {
    return (!path.empty() && (path[0] == '/' || path[0] == '\\')) || (path.size() > 1 && path[1] == ':');
}

std::string BaseName(const std::string& path) {
    size_t slash = path.find_last_of("/\\");
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

struct PendingFile {
    int line = 0;
    std::string source, name;
    bool hasPlatform = false, hasAttributes = false, hasModified = false, hasCreated = false;
    uint32_t platform = 0, attributes = 0;
    SfxFileTime modified{}, created{};
};

bool FinishFile(const PendingFile& file, const std::string& baseFolder, SfxPackagePlan* plan, std::string& error) {
    if (file.source.empty()) {
        error = common::Format("line %d: [file] without source", file.line);
        return false;
    }
    if (!file.hasPlatform) {
        error = common::Format("line %d: [file] without platform", file.line);
        return false;
    }
    SfxWriterEntry entry;
    entry.sourcePath = IsAbsolutePath(file.source) || baseFolder.empty()
                           ? file.source
                           : (std::filesystem::path(baseFolder) / file.source).string();
    std::string name = file.name.empty() ? BaseName(file.source) : file.name;
    if (name.size() >= sizeof entry.info.m_szFileName) {
        error = common::Format("line %d: name \"%s\" is longer than 79 characters", file.line, name.c_str());
        return false;
    }
    if (!sfx::IsPlainFileName(name.c_str())) {
        error = common::Format("line %d: name \"%s\" is not a plain file name", file.line, name.c_str());
        return false;
    }
    std::memcpy(entry.info.m_szFileName, name.c_str(), name.size() + 1);
    sfxfs::FileStamp stamp{};
    if (!sfxfs::ReadStamp(entry.sourcePath.c_str(), &stamp)) {
        error = common::Format("line %d: cannot read \"%s\"", file.line, entry.sourcePath.c_str());
        return false;
    }
    entry.info.m_ftLastWrite = file.hasModified ? file.modified : stamp.lastWrite;
    entry.info.m_ftCreation = file.hasCreated ? file.created : stamp.creation;
    entry.info.m_dwAttributes = file.hasAttributes ? file.attributes : stamp.attributes;
    entry.info.m_dwPlatform = file.platform;
    plan->entries.push_back(std::move(entry));
    return true;
}

}  // namespace

bool ParseFileTimeText(const std::string& text, SfxFileTime* time) {
    uint64_t number;
    if (text.find('/') == std::string::npos) {
        if (!ParseNumber(text, UINT64_MAX, &number)) return false;
        *time = FileTimeFromU64(number);
        return true;
    }
    int year, month, day, hour, minute, second;
    char tail;
    if (std::sscanf(text.c_str(), "%d/%d/%d %d:%d:%d%c", &year, &month, &day, &hour, &minute, &second, &tail) != 6)
        return false;
    if (year < 1601 || year > 30000 || month < 1 || month > 12 || day < 1 || hour < 0 || hour > 23 || minute < 0 ||
        minute > 59 || second < 0 || second > 59)
        return false;
    static const int kDays[] = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    if (day > kDays[month - 1] || (month == 2 && day == 29 && !leap)) return false;
    int64_t days = DaysFromCivil(year, static_cast<unsigned>(month), static_cast<unsigned>(day)) + 134774;
    uint64_t seconds = static_cast<uint64_t>(days) * 86400 + static_cast<uint64_t>(hour * 3600 + minute * 60 + second);
    *time = FileTimeFromU64(seconds * 10000000);
    return true;
}

bool ParsePlatformText(const std::string& text, uint32_t* mask) {
    uint64_t number;
    if (ParseNumber(text, 0xFFFFFFFFu, &number)) {
        *mask = static_cast<uint32_t>(number);
        return true;
    }
    uint32_t result = 0;
    size_t start = 0;
    while (start <= text.size()) {
        size_t end = text.find_first_of(",+", start);
        if (end == std::string::npos) end = text.size();
        std::string word = Lower(Trim(text.substr(start, end - start)));
        if (word == "dos") result |= sfx::kPlatformDos;
        else if (word == "win32") result |= sfx::kPlatformWin32;
        else if (word == "winpe") result |= sfx::kPlatformWinPE;
        else if (word == "all") result |= sfx::kPlatformEvery;
        else return false;
        start = end + 1;
    }
    *mask = result;
    return true;
}

BOOL ParseManifest(const std::string& text, const std::string& baseFolder, SfxPackagePlan* plan, std::string& error,
                   ProgramKind kind) {
    *plan = SfxPackagePlan();
    std::string win64Command;
    bool hasWin64Command = false;
    enum class Section { None, Package, File } section = Section::None;
    PendingFile file;
    bool inFile = false;
    int lineNumber = 0;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        std::string raw = text.substr(start, end - start);
        start = end + 1;
        ++lineNumber;
        if (!raw.empty() && raw.back() == '\r') raw.pop_back();
        std::string line = Trim(raw);
        if (line.empty() || line[0] == '#' || line[0] == ';') continue;
        if (line.find('\0') != std::string::npos) {
            error = common::Format("line %d: NUL character", lineNumber);
            return FALSE;
        }
        if (line[0] == '[') {
            if (inFile && !FinishFile(file, baseFolder, plan, error)) return FALSE;
            inFile = false;
            std::string name = Lower(line);
            if (name == "[package]") {
                section = Section::Package;
            } else if (name == "[file]") {
                section = Section::File;
                file = PendingFile();
                file.line = lineNumber;
                inFile = true;
            } else {
                error = common::Format("line %d: unknown section %s", lineNumber, line.c_str());
                return FALSE;
            }
            continue;
        }
        size_t equals = line.find('=');
        if (equals == std::string::npos) {
            error = common::Format("line %d: expected key = value", lineNumber);
            return FALSE;
        }
        std::string key = Lower(Trim(line.substr(0, equals)));
        std::string value = Trim(line.substr(equals + 1));
        uint64_t number = 0;
        bool ok = true;
        auto number32 = [&](uint32_t* field) {
            bool parsed = ParseNumber(value, 0xFFFFFFFFu, &number);
            if (parsed) *field = static_cast<uint32_t>(number);
            return parsed;
        };
        if (section == Section::Package) {
            // "win64" is the writer's own: the command stored behind a 64-bit program image.
            static const char* const kCommandKeys[] = {"win32", "dos", "command3", "command4", "win64"};
            std::string* const fields[] = {&plan->commands[0], &plan->commands[1], &plan->commands[2],
                                           &plan->commands[3], &win64Command};
            bool isCommand = false;
            for (size_t i = 0; i < sizeof kCommandKeys / sizeof kCommandKeys[0]; ++i) {
                if (key != kCommandKeys[i]) continue;
                isCommand = true;
                if (value.size() >= sfx::kCommandFieldLimit) {
                    error = common::Format("line %d: the command has %u characters; at most 255 fit", lineNumber,
                                           static_cast<unsigned>(value.size()));
                    return FALSE;
                }
                *fields[i] = value;
                if (fields[i] == &win64Command) hasWin64Command = true;
            }
            if (isCommand) {
                // stored above
            } else if (key == "flags") {
                ok = number32(&plan->flags);
            } else if (key == "reserved") {
                ok = number32(&plan->reserved);
            } else if (key == "level") {
                ok = ParseNumber(value, 9, &number);
                plan->level = static_cast<int>(number);
            } else {
                ok = false;
            }
        } else if (section == Section::File) {
            if (key == "source") file.source = value;
            else if (key == "name") file.name = value;
            else if (key == "platform") ok = file.hasPlatform = ParsePlatformText(value, &file.platform);
            else if (key == "attributes") ok = file.hasAttributes = number32(&file.attributes);
            else if (key == "modified") ok = file.hasModified = ParseFileTimeText(value, &file.modified);
            else if (key == "created") ok = file.hasCreated = ParseFileTimeText(value, &file.created);
            else ok = false;
        } else {
            error = common::Format("line %d: key outside [package] or [file]", lineNumber);
            return FALSE;
        }
        if (!ok) {
            error = common::Format("line %d: bad value or unknown key \"%s\"", lineNumber, key.c_str());
            return FALSE;
        }
    }
    if (inFile && !FinishFile(file, baseFolder, plan, error)) return FALSE;
    if (kind == ProgramKind::X64) {
        if (hasWin64Command) plan->commands[0] = win64Command;
        else if (!Win64CommandFrom(plan->commands[0], &plan->commands[0], error)) return FALSE;
    }
    return CheckSfxPackagePlan(*plan, error);
}
