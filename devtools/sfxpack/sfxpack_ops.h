#pragma once
// What the package writer does, apart from its command line: build, list, verify, extract.
// Each answers TRUE or FALSE and appends its report to `out`; a failure's reason goes to `error`.

#include <cstdint>
#include <string>

#include "common/portable_types.h"

[[nodiscard]] BOOL BuildPackage(const std::string& programPath, const std::string& manifestPath,
                                const std::string& outputPath, std::string& out, std::string& error);

// The header and one row per entry with the columns of the Extractor dialog's file list.
[[nodiscard]] BOOL ListPackage(const std::string& packagePath, std::string& out, std::string& error);

// Every stream inflates whole, with a valid Adler-32, to its stated size, within its stated
// compressed size; every name is plain; the table holds as many records as it counts.
[[nodiscard]] BOOL VerifyPackage(const std::string& packagePath, std::string& out, std::string& error);

// Extracts the entries whose platform shares a bit with `mask` into `destination` (created
// when missing) with the package reader, exactly as Extractor would.
[[nodiscard]] BOOL ExtractPackage(const std::string& packagePath, const std::string& destination, uint32_t mask,
                                  std::string& out, std::string& error);
