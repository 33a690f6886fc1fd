#pragma once
// Writing a package: the program image, "!SRC", one zlib stream per entry, the table of
// contents and the trailer, all laid out by sfx_format.h. The same inputs give the same bytes.

#include <cstdint>
#include <string>
#include <vector>

#include "common/portable_types.h"
#include "extractor/package/sfx_entry.h"
#include "extractor/package/sfx_format.h"

struct SfxWriterEntry {
    std::string sourcePath;  // the file whose bytes are stored, unless hasData
    bool hasData = false;
    std::string data;        // bytes stored instead of a file's (tests, generated content)
    // Name, times, attributes and platform as they will be stored. The sizes and the data
    // offset are filled in by the writer.
    CSrcFileInfo info;
};

struct SfxPackagePlan {
    uint32_t flags = 0;
    uint32_t reserved = 0;
    std::string commands[sfx::kCommandCount];  // Win32, DOS, 3, 4
    std::vector<SfxWriterEntry> entries;
    int level = -1;  // zlib level; -1 is zlib's default (6)
};

// Refuses what a reader could not honour: a name that is not a plain file name or is longer
// than 79 characters, a command longer than 255 characters, a level zlib does not know.
[[nodiscard]] BOOL CheckSfxPackagePlan(const SfxPackagePlan& plan, std::string& error);

// Writes `programPath`'s bytes followed by the package to `outputPath` (replacing it). A
// program image with a package slot (sfx_binding.h) gets the package's place and SHA-256
// recorded there and its PE checksum fixed; any other program is copied unchanged. On
// failure nothing is left at `outputPath` and `error` says why. `entriesOut`, when given,
// receives the records as stored.
[[nodiscard]] BOOL WriteSfxPackage(const std::string& programPath, const SfxPackagePlan& plan,
                                   const std::string& outputPath, std::string& error,
                                   std::vector<CSrcFileInfo>* entriesOut = nullptr);
