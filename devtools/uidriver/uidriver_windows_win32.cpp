#include "devtools/uidriver/uidriver_windows_win32.h"

#include <algorithm>
#include <cctype>

#include "devtools/uidriver/uidriver_options.h"

namespace {

constexpr UINT kSendBoundMs = 5000;
constexpr DWORD kPollMs = 50;

struct EnumState {
    const WindowQuery* query;
    std::vector<HWND> found;
};

bool Matches(HWND hwnd, const WindowQuery& query) {
    if (query.hwnd && hwnd != query.hwnd) return false;
    if (query.exclude && hwnd == query.exclude) return false;
    if (query.owner && ::GetWindow(hwnd, GW_OWNER) != query.owner) return false;
    if (query.visibleOnly && !::IsWindowVisible(hwnd)) return false;
    if (query.processId) {
        DWORD pid = 0;
        ::GetWindowThreadProcessId(hwnd, &pid);
        if (pid != query.processId) return false;
    }
    if (!query.className.empty() && ReadClassName(hwnd) != query.className) return false;
    if ((query.messageBoxOnly || query.noMessageBox) && IsMessageBox(hwnd) != query.messageBoxOnly) return false;
    if (!query.title.empty() || !query.titleContains.empty()) {
        std::string title;
        if (!ReadWindowText(hwnd, title)) return false;
        if (!query.title.empty() && title != query.title) return false;
        if (!query.titleContains.empty() && title.find(query.titleContains) == std::string::npos) return false;
    }
    return true;
}

BOOL CALLBACK CollectMatching(HWND hwnd, LPARAM param) {
    auto* state = reinterpret_cast<EnumState*>(param);
    if (Matches(hwnd, *state->query)) state->found.push_back(hwnd);
    return TRUE;
}

std::string Trim(const std::string& text) {
    size_t first = text.find_first_not_of(" \t");
    if (first == std::string::npos) return "";
    size_t last = text.find_last_not_of(" \t");
    return text.substr(first, last - first + 1);
}

bool EqualsNoCase(const std::string& a, const std::string& b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
           });
}

}  // namespace

std::vector<HWND> FindTopLevelWindows(const WindowQuery& query) {
    EnumState state{&query, {}};
    if (query.hwnd) {
        // A remembered window: no enumeration needed, but it must still exist and match.
        if (::IsWindow(query.hwnd) && Matches(query.hwnd, query)) state.found.push_back(query.hwnd);
        return state.found;
    }
    ::EnumWindows(CollectMatching, reinterpret_cast<LPARAM>(&state));
    return state.found;
}

HWND WaitForWindow(const WindowQuery& query, DWORD timeoutMs) {
    ULONGLONG start = ::GetTickCount64();
    for (;;) {
        std::vector<HWND> found = FindTopLevelWindows(query);
        if (!found.empty()) return found.front();
        if (::GetTickCount64() - start >= timeoutMs) return nullptr;
        ::Sleep(kPollMs);
    }
}

bool WaitForNoWindow(const WindowQuery& query, DWORD timeoutMs) {
    ULONGLONG start = ::GetTickCount64();
    for (;;) {
        if (FindTopLevelWindows(query).empty()) return true;
        if (::GetTickCount64() - start >= timeoutMs) return false;
        ::Sleep(kPollMs);
    }
}

bool ReadWindowText(HWND hwnd, std::string& text) {
    // The text may change between asking for its length and reading it (a watched status line
    // does): a read that fills the whole buffer may be cut, so read again with more room.
    DWORD_PTR length = 0;
    if (!::SendMessageTimeoutA(hwnd, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, kSendBoundMs, &length)) {
        return false;
    }
    size_t room = std::max<size_t>(static_cast<size_t>(length) * 2, 256);
    for (int attempt = 0; attempt < 8; ++attempt, room *= 4) {
        std::string buffer(room + 1, '\0');
        DWORD_PTR copied = 0;
        if (!::SendMessageTimeoutA(hwnd, WM_GETTEXT, buffer.size(), reinterpret_cast<LPARAM>(&buffer[0]),
                                   SMTO_ABORTIFHUNG, kSendBoundMs, &copied)) {
            return false;
        }
        if (static_cast<size_t>(copied) < room) {
            buffer.resize(static_cast<size_t>(copied));
            text = buffer;
            return true;
        }
    }
    return false;
}

std::string ReadClassName(HWND hwnd) {
    char name[256] = "";
    ::GetClassNameA(hwnd, name, sizeof(name));
    return name;
}

std::vector<HWND> ListChildren(HWND parent) {
    std::vector<HWND> children;
    for (HWND child = ::GetWindow(parent, GW_CHILD); child; child = ::GetWindow(child, GW_HWNDNEXT)) {
        children.push_back(child);
    }
    return children;
}

bool IsMessageBox(HWND hwnd) {
    constexpr int kTextId = 0xFFFF;
    constexpr int kLastAnswerId = 11;  // IDCONTINUE
    bool hasText = false;
    for (HWND child : ListChildren(hwnd)) {
        int id = ::GetDlgCtrlID(child) & 0xFFFF;
        std::string cls = ReadClassName(child);
        if (EqualsNoCase(cls, "Static") && id == kTextId) hasText = true;
        if (EqualsNoCase(cls, "Button") && (id < 1 || id > kLastAnswerId)) return false;
    }
    return hasText;
}

HWND FindButtonByText(HWND parent, const std::string& text) {
    std::string wanted = Trim(StripMnemonic(text));
    for (HWND child : ListChildren(parent)) {
        if (!EqualsNoCase(ReadClassName(child), "Button")) continue;
        std::string caption;
        if (!ReadWindowText(child, caption)) continue;
        if (EqualsNoCase(Trim(StripMnemonic(caption)), wanted)) return child;
    }
    return nullptr;
}
