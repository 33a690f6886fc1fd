#pragma once
// CSrcFileInfo: one record of a package's table of contents, as it stands on disk plus the
// check state the dialog copies into it.

#include <cstdint>

#include "common/portable_types.h"

// A Windows FILETIME (UTC, 100-ns units since 1601-01-01) with the same member names, so that
// portable code can carry it without <windows.h>.
struct SfxFileTime {
    uint32_t dwLowDateTime;
    uint32_t dwHighDateTime;
};

inline uint64_t FileTimeToU64(const SfxFileTime& ft) {
    return (static_cast<uint64_t>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime;
}

inline SfxFileTime FileTimeFromU64(uint64_t value) {
    return SfxFileTime{static_cast<uint32_t>(value), static_cast<uint32_t>(value >> 32)};
}

class CSrcFileInfo {
public:
    char m_szFileName[80] = {};
    uint64_t m_ullFileSize = 0;
    uint64_t m_ullCompressedSize = 0;
    SfxFileTime m_ftLastWrite = {};
    SfxFileTime m_ftCreation = {};
    uint32_t m_dwAttributes = 0;
    uint64_t m_ullDataOffset = 0;
    uint32_t m_dwPlatform = 0xFF;
    BOOL m_bSelected = TRUE;  // not stored in the package
};
