#pragma once
// The operating-system side of the package reader and writer: the only calls they make outside
// the C library's streams. Windows: sfx_fs_win32.cpp. Native builds: sfx_fs_posix.cpp, which
// maps the Windows attributes it can onto file modes (see there).

#include <cstdint>
#include <cstdio>

#include "common/portable_types.h"
#include "extractor/package/sfx_entry.h"

namespace sfxfs {

// Opens `path` for binary reading; nullptr on failure.
FILE* OpenForRead(const char* path);

// Creates or truncates `path` for binary writing; on failure nullptr and the C library's error
// number in *error (13, EACCES, for a read-only file in the way).
FILE* CreateForWrite(const char* path, int* error);

// Creates a new file under a random name in `folder` for reading and writing, which nobody else
// can open while it is open and which is removed when it is closed; nullptr on failure (the
// system's or the C library's error in *error). It holds the reader's checked copy of a package.
FILE* CreatePrivateScratch(const char* folder, unsigned long* error);

// True when `path` is a symbolic link, junction or other reparse point: writing through it would
// write somewhere else than the folder it lies in.
bool IsLink(const char* path);

// 64-bit positioning of a C stream.
[[nodiscard]] bool Seek(FILE* file, uint64_t position);
[[nodiscard]] bool Tell(FILE* file, uint64_t* position);
// Size of the file behind `file`; the position is left at the end.
[[nodiscard]] bool SizeOf(FILE* file, uint64_t* size);

// What a package records about a file besides its bytes.
struct FileStamp {
    uint64_t size;
    SfxFileTime creation;
    SfxFileTime lastWrite;
    uint32_t attributes;
};

// Reads the stamp of an existing regular file; FALSE for a directory or a missing file.
BOOL ReadStamp(const char* path, FileStamp* stamp);

// Sets the creation and last-write times (the last-access time is left alone), then the
// attributes, of the file open for writing as `file`, through that open file (flushed first),
// never by its name: the name may stand for something else by then. FALSE when either step fails.
BOOL ApplyStamp(FILE* file, const SfxFileTime& creation, const SfxFileTime& lastWrite, uint32_t attributes);

// Creates every missing directory of `path` up to its last backslash (or slash); an existing
// directory is accepted.
BOOL MakeSureDirectoryPathExists(const char* path);

// Hands one diagnostic text to the debugger output channel.
void DebugOutput(const char* text);

}  // namespace sfxfs
