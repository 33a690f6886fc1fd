#pragma once
// Signing a built package and reporting what its signature covers.

#include <string>

#include "common/portable_types.h"

// Signs the finished file at `path` in place with osslsigncode (PKCS#12 key and certificate in
// `pfx`, its password read from `passwordFile` when that is not empty). Signing appends the
// certificate table behind the package, so it is the last step on a finished file.
[[nodiscard]] BOOL SignPackageFile(const std::string& path, const std::string& pfx, const std::string& passwordFile,
                                   std::string& out, std::string& error);

// Appends to `out` whether the file carries a certificate table and whether the package (its
// trailer, table of contents and every entry's data) lies wholly before it, inside what the
// signature covers. FALSE, with the reason, when part of the package lies outside, or when the
// certificate table itself holds a package signature (bytes someone added after signing).
[[nodiscard]] BOOL DescribeSignedArea(const std::string& path, std::string& out, std::string& error);
