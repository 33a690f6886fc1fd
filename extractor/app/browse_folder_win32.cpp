#include "extractor/app/browse_folder_win32.h"

#include <windows.h>
#include <objbase.h>
#include <shlobj.h>

#include "extractor/app/extractor_launcher.h"
#include "framework/com_owners_win32.h"
#include "framework/unique_handle_win32.h"

namespace sfx {

namespace {

// Opens at the initial folder and shows each newly selected folder as the status text.
int CALLBACK BrowseCallback(HWND hwnd, UINT message, LPARAM lParam, LPARAM data) {
    if (message == BFFM_INITIALIZED) {
        const char* initial = reinterpret_cast<const char*>(data);
        if (initial && *initial) ::SendMessageA(hwnd, BFFM_SETSELECTIONA, TRUE, reinterpret_cast<LPARAM>(initial));
    } else if (message == BFFM_SELCHANGED) {
        char path[MAX_PATH] = {};
        if (::SHGetPathFromIDListA(reinterpret_cast<PCIDLIST_ABSOLUTE>(lParam), path)) {
            ::SendMessageA(hwnd, BFFM_SETSTATUSTEXTA, 0, reinterpret_cast<LPARAM>(path));
        }
    }
    return 0;
}

// An item list freed through the shell allocator.
class ItemList {
public:
    explicit ItemList(IMalloc* allocator) : m_allocator(allocator) {}
    ~ItemList() {
        if (m_pidl) m_allocator->Free(m_pidl);
    }
    ItemList(const ItemList&) = delete;
    ItemList& operator=(const ItemList&) = delete;
    LPITEMIDLIST* put() { return &m_pidl; }
    void reset(LPITEMIDLIST pidl) {
        if (m_pidl) m_allocator->Free(m_pidl);
        m_pidl = pidl;
    }
    LPITEMIDLIST get() const { return m_pidl; }

private:
    IMalloc* m_allocator;
    LPITEMIDLIST m_pidl = nullptr;
};

}  // namespace

int BrowseForFolder(const char* title, const char* initialFolder, std::string& chosen) {
    // The shell's folder dialog needs a single-threaded apartment; S_FALSE (this thread is in
    // one already) counts as entered.
    fw::ComApartment com(COINIT_APARTMENTTHREADED);
    if (FAILED(com.Result())) return kBrowseComFailed;

    char initial[MAX_PATH] = {};
    if (initialFolder && *initialFolder) {
        lstrcpynA(initial, initialFolder, MAX_PATH);
    } else {
        DWORD length = ::GetCurrentDirectoryA(MAX_PATH, initial);
        if (length == 0 || length >= MAX_PATH) initial[0] = '\0';
    }

    fw::ComPtr<IMalloc> allocator;
    if (FAILED(::SHGetMalloc(allocator.put())) || !allocator) return kBrowseNoAllocator;

    ItemList root(allocator.get());
    // Without the computer folder the dialog roots at the desktop, which still works.
    if (FAILED(::SHGetSpecialFolderLocation(nullptr, CSIDL_DRIVES, root.put()))) root.reset(nullptr);

    BROWSEINFOA info{};
    info.hwndOwner = ::GetDesktopWindow();
    info.pidlRoot = root.get();
    info.lpszTitle = title;
    info.ulFlags = BIF_RETURNONLYFSDIRS | BIF_DONTGOBELOWDOMAIN | BIF_RETURNFSANCESTORS | BIF_NEWDIALOGSTYLE;
    info.lpfn = BrowseCallback;
    info.lParam = reinterpret_cast<LPARAM>(initial);

    ItemList picked(allocator.get());
    picked.reset(::SHBrowseForFolderA(&info));
    if (!picked.get()) return kBrowseCancelled;

    char path[MAX_PATH] = {};
    if (!::SHGetPathFromIDListA(picked.get(), path)) return kBrowseNoPath;
    chosen = path;
    return kBrowseChosen;
}

}  // namespace sfx
