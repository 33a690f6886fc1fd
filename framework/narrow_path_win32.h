#pragma once
// Narrow forms of the paths Windows hands out, for programs that work in narrow strings.
//
// Both programs ask, through their manifests, for UTF-8 as their ANSI code page (Windows 10 1903
// and later; Wine honours it too): there every path has a narrow form. On older systems the code
// page is a legacy one, and the narrow functions (GetModuleFileNameA, GetTempPathA,
// GetLongPathNameA) turn each character it lacks into '?', giving a path that names nothing.
// These helpers take the UTF-16 path instead and keep each component that survives the
// conversion; a component that does not is replaced by its short (8.3) name, which is ASCII.

#include <windows.h>

#include <string>

namespace fw {

// Each helper converts to `codePage`: CP_ACP, the code page the narrow functions use, or another
// one for tests.

// The narrow form of `wide`, when every character has one; no best-fit look-alikes, which would
// name another file.
[[nodiscard]] bool ToNarrowExact(const std::wstring& wide, std::string& narrow, UINT codePage = CP_ACP);

// The narrow form of the existing file or folder `wide`: the path itself where it converts,
// else with each component that does not replaced by that of `shortForm` (the same path's short
// form, as GetShortPathNameW gives it). False when a component converts in neither form (a
// volume without short names) or the two forms do not match component for component.
[[nodiscard]] bool NarrowPathFrom(const std::wstring& wide, const std::wstring& shortForm, std::string& narrow,
                                  UINT codePage = CP_ACP);

// The same, asking the file system for the short form only when it is needed.
[[nodiscard]] bool NarrowPath(const std::wstring& wide, std::string& narrow, UINT codePage = CP_ACP);

// The running program's own path, narrow. False (with the last error set where the system set
// one) when it cannot be had.
[[nodiscard]] BOOL GetModulePathNarrow(std::string& path, UINT codePage = CP_ACP);

// The temporary folder with its trailing backslash, narrow, in its long form where that
// converts (GetLongPathNameA could turn a working short form into a broken long one).
[[nodiscard]] BOOL GetTempPathNarrow(std::string& path, UINT codePage = CP_ACP);

}  // namespace fw
