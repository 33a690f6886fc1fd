#include "devtools/sfxpack/sfxpack_ops.h"

#include <filesystem>
#include <fstream>
#include <sstream>
#include <vector>

#include "common/format.h"
#include "devtools/sfxpack/manifest.h"
#include "devtools/sfxpack/program_image.h"
#include "extractor/package/sfx_display.h"
#include "extractor/package/sfx_file.h"
#include "extractor/package/sfx_format.h"
#include "extractor/package/sfx_fs.h"
#include "extractor/package/sfx_inflate.h"
#include "extractor/package/sfx_writer.h"

namespace {

bool ReadWholeFile(const std::string& path, std::string* text) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    std::ostringstream buffer;
    buffer << in.rdbuf();
    *text = buffer.str();
    return !in.bad();
}

bool OpenAndLoad(CSfxFile& sfx, const std::string& path, std::string& error) {
    if (!sfx.Open(path.c_str()) || !sfx.LoadToc()) {
        error = common::Format("%s: %s", path.c_str(), sfx.m_szLastError);
        return false;
    }
    return true;
}

std::string PadLeft(const std::string& text, size_t width) {
    return text.size() >= width ? text : std::string(width - text.size(), ' ') + text;
}
std::string PadRight(const std::string& text, size_t width) {
    return text.size() >= width ? text : text + std::string(width - text.size(), ' ');
}

ProgramKind PackageProgramKind(const std::string& packagePath) {
    ProgramKind kind = ProgramKind::Other;
    std::string ignored;
    (void)ReadProgramKind(packagePath, &kind, ignored);
    return kind;
}

// Brevane.exe is a 32-bit program and Brevane64.exe a 64-bit one. A 64-bit package exists for
// 64-bit Windows PE, which starts no 32-bit program; a 32-bit package also serves 32-bit
// Windows, which starts no 64-bit one. So each package must start the Brevane of its own kind,
// and that Brevane must be one of the entries extracted under Windows.
std::string CheckCommandProgram(const CSfxFile& sfx, ProgramKind kind) {
    std::string program = CommandProgramName(sfx.m_szWin32Command);
    int bits = SameFileName(program, "Brevane.exe") ? 32 : SameFileName(program, "Brevane64.exe") ? 64 : 0;
    if (bits == 0) return "";  // a command of another kind is the packager's business
    if ((kind == ProgramKind::X64 && bits != 64) || (kind == ProgramKind::X86 && bits != 32))
        return common::Format("a %s program whose command starts the %d-bit %s", ProgramKindText(kind), bits,
                              program.c_str());
    for (const auto& entry : sfx.Entries()) {
        if (SameFileName(program, entry->m_szFileName) &&
            (entry->m_dwPlatform & (sfx::kPlatformWin32 | sfx::kPlatformWinPE)))
            return "";
    }
    return common::Format("the command starts %s, which is no entry for Windows", program.c_str());
}

bool CountBytes(void* context, const unsigned char*, size_t) {
    (void)context;
    return true;
}

}  // namespace

BOOL BuildPackage(const std::string& programPath, const std::string& manifestPath, const std::string& outputPath,
                  std::string& out, std::string& error) {
    std::string text;
    if (!ReadWholeFile(manifestPath, &text)) {
        error = common::Format("cannot read the manifest \"%s\"", manifestPath.c_str());
        return FALSE;
    }
    ProgramKind kind;
    if (!ReadProgramKind(programPath, &kind, error)) return FALSE;
    SfxPackagePlan plan;
    std::string folder = std::filesystem::path(manifestPath).parent_path().string();
    if (!ParseManifest(text, folder, &plan, error, kind)) {
        error = manifestPath + ": " + error;
        return FALSE;
    }
    std::vector<CSrcFileInfo> stored;
    if (!WriteSfxPackage(programPath, plan, outputPath, error, &stored)) return FALSE;
    out += common::Format("%s: %u entries behind a %s program; command: %s\n", outputPath.c_str(),
                          static_cast<unsigned>(stored.size()), ProgramKindText(kind), plan.commands[0].c_str());
    return TRUE;
}

BOOL ListPackage(const std::string& packagePath, std::string& out, std::string& error) {
    CSfxFile sfx;
    if (!OpenAndLoad(sfx, packagePath, error)) return FALSE;
    out += common::Format("Sfx PathName: %s\n", packagePath.c_str());
    out += common::Format("Program: %s\n", ProgramKindText(PackageProgramKind(packagePath)));
    out += common::Format("Flags: 0x%08X (destination option %u, no-dialog flag %s)\n", sfx.m_dwSfxFlags,
                          sfx.GetDestOption(), sfx.IsNoDialog() ? "set" : "clear");
    out += common::Format("Win32 Command: %s\n", sfx.m_szWin32Command);
    out += common::Format("DOS Command: %s\n", sfx.m_szDosCommand);
    out += common::Format("Command 3: %s\n", sfx.m_szCommand3);
    out += common::Format("Command 4: %s\n", sfx.m_szCommand4);
    out += common::Format("Entries: %u\n", sfx.m_dwFileCount);

    static const char* const kHeaders[] = {"File Name",     "File Size",    "Compressed Size", "Platformd",
                                           "Last Modified", "Created Time", "Attributes"};
    static const bool kRight[] = {false, true, true, false, false, false, false};
    std::vector<std::vector<std::string>> rows;
    rows.push_back(std::vector<std::string>(std::begin(kHeaders), std::end(kHeaders)));
    for (const auto& entry : sfx.Entries()) {
        rows.push_back({entry->m_szFileName, FormatThousands(entry->m_ullFileSize),
                        FormatThousands(entry->m_ullCompressedSize), GetPlatformName(entry->m_dwPlatform),
                        FormatFileTime(entry->m_ftLastWrite), FormatFileTime(entry->m_ftCreation),
                        FormatAttributes(entry->m_dwAttributes)});
    }
    size_t widths[7] = {};
    for (const auto& row : rows)
        for (size_t c = 0; c < 7; ++c) widths[c] = std::max(widths[c], row[c].size());
    for (const auto& row : rows) {
        std::string line;
        for (size_t c = 0; c < 7; ++c) {
            if (c) line += "  ";
            line += kRight[c] ? PadLeft(row[c], widths[c]) : (c == 6 ? row[c] : PadRight(row[c], widths[c]));
        }
        out += line + "\n";
    }
    return TRUE;
}

BOOL VerifyPackage(const std::string& packagePath, std::string& out, std::string& error) {
    CSfxFile sfx;
    if (!OpenAndLoad(sfx, packagePath, error)) return FALSE;
    sfx.Close();
    int failures = 0;
    ProgramKind kind = PackageProgramKind(packagePath);
    std::string commandProblem = CheckCommandProgram(sfx, kind);
    if (commandProblem.empty()) {
        out += common::Format("OK command for a %s program: %s\n", ProgramKindText(kind), sfx.m_szWin32Command);
    } else {
        out += common::Format("FAILED command: %s\n", commandProblem.c_str());
        ++failures;
    }
    if (sfx.Entries().size() != sfx.m_dwFileCount) {
        out += common::Format("FAILED table: %u records counted, %u present\n", sfx.m_dwFileCount,
                              static_cast<unsigned>(sfx.Entries().size()));
        ++failures;
    }
    FILE* package = sfxfs::OpenForRead(packagePath.c_str());
    if (!package) {
        error = common::Format("cannot open \"%s\"", packagePath.c_str());
        return FALSE;
    }
    size_t index = 0;
    for (const auto& entry : sfx.Entries()) {
        std::string name = entry->m_szFileName;
        std::string label = common::Format("#%u \"%s\"", static_cast<unsigned>(index++), name.c_str());
        uint64_t compressed = entry->m_ullCompressedSize;
        uint64_t written = 0;
        std::string problem;
        if (!sfx::IsPlainFileName(name.c_str())) {
            problem = "not a plain file name";
        } else if (!sfxfs::Seek(package, entry->m_ullDataOffset)) {
            problem = "data offset out of range";
        } else {
            std::clearerr(package);
            int result = DecompressStreamTo(package, &compressed, &CountBytes, nullptr, &written);
            if (result != kInflateOk)
                problem = common::Format("stream does not inflate whole (code %d after %s bytes)", result,
                                         std::to_string(written).c_str());
            else if (written != entry->m_ullFileSize)
                problem = common::Format("inflates to %s bytes, %s stated", std::to_string(written).c_str(),
                                         std::to_string(entry->m_ullFileSize).c_str());
        }
        if (problem.empty()) {
            out += common::Format("OK %s %s bytes\n", label.c_str(), FormatThousands(written).c_str());
        } else {
            out += common::Format("FAILED %s: %s\n", label.c_str(), problem.c_str());
            ++failures;
        }
    }
    std::fclose(package);
    if (failures) {
        error = common::Format("%s: %d problem(s)", packagePath.c_str(), failures);
        return FALSE;
    }
    out += common::Format("%s: %u entries verified\n", packagePath.c_str(),
                          static_cast<unsigned>(sfx.Entries().size()));
    return TRUE;
}

BOOL ExtractPackage(const std::string& packagePath, const std::string& destination, uint32_t mask, std::string& out,
                    std::string& error) {
    std::error_code ec;
    std::filesystem::path package = std::filesystem::absolute(packagePath, ec);
    if (ec) {
        error = common::Format("bad package path \"%s\"", packagePath.c_str());
        return FALSE;
    }
    std::string folder = destination;
    if (folder.empty() || (folder.back() != '/' && folder.back() != '\\')) folder += '/';
    if (!sfxfs::MakeSureDirectoryPathExists(folder.c_str())) {
        error = common::Format("cannot create \"%s\"", destination.c_str());
        return FALSE;
    }
    CSfxFile sfx;
    if (!OpenAndLoad(sfx, package.string(), error)) return FALSE;
    std::filesystem::path previous = std::filesystem::current_path(ec);
    std::filesystem::current_path(destination, ec);
    if (ec) {
        error = common::Format("cannot enter \"%s\"", destination.c_str());
        return FALSE;
    }
    size_t wanted = 0;
    for (const auto& entry : sfx.Entries())
        if (entry->m_dwPlatform & mask) ++wanted;
    int count = sfx.ExtractAll(mask);
    std::filesystem::current_path(previous, ec);
    if (wanted > 0 && count <= 0) {
        error = common::Format("%s: %s", packagePath.c_str(), sfx.m_szLastError);
        return FALSE;
    }
    out += common::Format("%d file(s) extracted to %s\n", count, destination.c_str());
    return TRUE;
}
