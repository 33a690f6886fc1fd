#pragma once
// Texts of the package listing, as the dialog's file list and the package writer show them.

#include <cstdint>
#include <string>

#include "extractor/package/sfx_entry.h"

// Decimal digits with "," before every group of three: 4194304 gives "4,194,304".
std::string FormatThousands(uint64_t value);

// UTC calendar time, no time-zone conversion: "2014/01/22 20:22:32". A value Windows cannot
// convert (at or above 2^63) gives the empty text.
std::string FormatFileTime(const SfxFileTime& time);

// Six characters for r h s v d a (0x1 .. 0x20), "-" for each clear bit: 0x21 gives "r----a".
std::string FormatAttributes(uint32_t attributes);

// "DOS", "Win32", "WinPE", "DOS,Win32,WinPE" for 1, 2, 4, 7; "" for 0; "??" otherwise.
std::string GetPlatformName(uint32_t platform);
