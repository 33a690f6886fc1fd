#pragma once
// The shell's folder dialog, rooted at the computer folder, opening at a given folder.

#include <string>

namespace sfx {

// One of the kBrowse answers of extractor_launcher.h: 1 chosen (`chosen` holds the path),
// 2 cancelled, -1 COM could not start, -2 no shell allocator, -3 no file-system path.
// `initialFolder` null or empty: the current directory.
int BrowseForFolder(const char* title, const char* initialFolder, std::string& chosen);

}  // namespace sfx
