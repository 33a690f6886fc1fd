#include "framework/narrow_path_win32.h"

#include <vector>

namespace fw {

namespace {

std::vector<std::wstring> Components(const std::wstring& path) {
    std::vector<std::wstring> parts;
    size_t start = 0;
    for (;;) {
        size_t slash = path.find(L'\\', start);
        parts.push_back(path.substr(start, slash == std::wstring::npos ? std::wstring::npos : slash - start));
        if (slash == std::wstring::npos) return parts;
        start = slash + 1;
    }
}

// GetShortPathNameW into a string sized by a first call; empty on failure.
std::wstring ShortPathOf(const std::wstring& path) {
    DWORD size = ::GetShortPathNameW(path.c_str(), nullptr, 0);
    if (size == 0) return std::wstring();
    std::wstring buffer(size, L'\0');
    DWORD length = ::GetShortPathNameW(path.c_str(), &buffer[0], size);
    if (length == 0 || length >= size) return std::wstring();
    buffer.resize(length);
    return buffer;
}

}  // namespace

bool ToNarrowExact(const std::wstring& wide, std::string& narrow, UINT codePage) {
    if (wide.empty()) {
        narrow.clear();
        return true;
    }
    if (codePage == CP_ACP) codePage = ::GetACP();
    // UTF-8 has a form for every character but half a surrogate pair, which WC_ERR_INVALID_CHARS
    // turns into a failure instead of U+FFFD. Other code pages report a missing character
    // through the used-default answer, which UTF-8 does not allow.
    const bool utf8 = codePage == CP_UTF8;
    const DWORD flags = utf8 ? WC_ERR_INVALID_CHARS : WC_NO_BEST_FIT_CHARS;
    BOOL usedDefault = FALSE;
    BOOL* used = utf8 ? nullptr : &usedDefault;
    const int wideLength = static_cast<int>(wide.size());
    int size = ::WideCharToMultiByte(codePage, flags, wide.data(), wideLength, nullptr, 0, nullptr, used);
    if (size <= 0 || usedDefault) return false;
    std::string converted(static_cast<size_t>(size), '\0');
    if (::WideCharToMultiByte(codePage, flags, wide.data(), wideLength, &converted[0], size, nullptr, used) != size ||
        usedDefault)
        return false;
    narrow = std::move(converted);
    return true;
}

bool NarrowPathFrom(const std::wstring& wide, const std::wstring& shortForm, std::string& narrow, UINT codePage) {
    if (ToNarrowExact(wide, narrow, codePage)) return true;
    const std::vector<std::wstring> longParts = Components(wide);
    const std::vector<std::wstring> shortParts = Components(shortForm);
    if (longParts.size() != shortParts.size()) return false;
    std::string result;
    for (size_t i = 0; i < longParts.size(); ++i) {
        std::string part;
        if (!ToNarrowExact(longParts[i], part, codePage) && !ToNarrowExact(shortParts[i], part, codePage))
            return false;
        if (i) result += '\\';
        result += part;
    }
    narrow = std::move(result);
    return true;
}

bool NarrowPath(const std::wstring& wide, std::string& narrow, UINT codePage) {
    if (ToNarrowExact(wide, narrow, codePage)) return true;
    std::wstring shortForm = ShortPathOf(wide);
    return !shortForm.empty() && NarrowPathFrom(wide, shortForm, narrow, codePage);
}

BOOL GetModulePathNarrow(std::string& path, UINT codePage) {
    wchar_t module[MAX_PATH] = {};
    DWORD length = ::GetModuleFileNameW(nullptr, module, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return FALSE;
    return NarrowPath(std::wstring(module, length), path, codePage) ? TRUE : FALSE;
}

BOOL GetTempPathNarrow(std::string& path, UINT codePage) {
    wchar_t temp[MAX_PATH + 1] = {};
    DWORD length = ::GetTempPathW(MAX_PATH + 1, temp);
    if (length == 0 || length > MAX_PATH) return FALSE;
    wchar_t longForm[MAX_PATH] = {};
    DWORD longLength = ::GetLongPathNameW(temp, longForm, MAX_PATH);
    // Without a long form the short one still names the same folder.
    std::wstring chosen = (longLength == 0 || longLength >= MAX_PATH) ? std::wstring(temp, length)
                                                                      : std::wstring(longForm, longLength);
    return NarrowPath(chosen, path, codePage) ? TRUE : FALSE;
}

}  // namespace fw
