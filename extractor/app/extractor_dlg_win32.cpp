#include "extractor/app/extractor_dlg_win32.h"

#include <commctrl.h>
#include <commdlg.h>

#include "common/format.h"
#include "extractor/app/extractor_app_win32.h"
#include "extractor/package/sfx_display.h"
#include "resources/extractor_resource.h"

namespace {

struct Column {
    const char* header;
    int format;
    int width;
};

// "Platformd" is the column's established header.
constexpr Column kColumns[] = {
    {"File Name", LVCFMT_LEFT, 180},    {"File Size", LVCFMT_RIGHT, 120}, {"Compressed Size", LVCFMT_RIGHT, 120},
    {"Platformd", LVCFMT_LEFT, 80},     {"Last Modified", LVCFMT_LEFT, 120}, {"Created Time", LVCFMT_LEFT, 120},
    {"Attributes", LVCFMT_LEFT, 40},
};

constexpr int kRadioIds[] = {IDC_DEST_OPTION0, IDC_DEST_OPTION1, IDC_DEST_OPTION2};

std::string ControlText(HWND control) {
    int length = ::GetWindowTextLengthA(control);
    std::string text(static_cast<size_t>(length) + 1, '\0');
    int copied = ::GetWindowTextA(control, &text[0], length + 1);
    text.resize(copied > 0 ? static_cast<size_t>(copied) : 0);
    return text;
}

void SetCell(HWND list, int row, int column, const std::string& text) {
    LVITEMA item{};
    item.iSubItem = column;
    item.pszText = const_cast<char*>(text.c_str());
    ::SendMessageA(list, LVM_SETITEMTEXTA, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&item));
}

}  // namespace

CAboutDlg::CAboutDlg(HWND parent) : fw::CDialog(IDD_ABOUTBOX, parent) {}

CExtractorDlg::CExtractorDlg() : fw::CDialog(IDD_EXTRACTOR_DIALOG) {}

BOOL CExtractorDlg::OnInitDialog() {
    CExtractorApp& app = GetExtractorApp();
    app.m_hMainWnd = m_hWnd;

    HMENU systemMenu = ::GetSystemMenu(m_hWnd, FALSE);
    char about[128] = {};
    if (systemMenu && ::LoadStringA(app.m_hInstance, IDS_ABOUTBOX, about, sizeof about) > 0) {
        ::AppendMenuA(systemMenu, MF_SEPARATOR, 0, nullptr);
        ::AppendMenuA(systemMenu, MF_STRING, IDM_ABOUTBOX, about);
    }

    m_hIcon = static_cast<HICON>(::LoadImageA(app.m_hInstance, MAKEINTRESOURCEA(IDR_MAINFRAME), IMAGE_ICON,
                                              ::GetSystemMetrics(SM_CXICON), ::GetSystemMetrics(SM_CYICON), 0));
    m_hSmallIcon = static_cast<HICON>(::LoadImageA(app.m_hInstance, MAKEINTRESOURCEA(IDR_MAINFRAME), IMAGE_ICON,
                                                   ::GetSystemMetrics(SM_CXSMICON),
                                                   ::GetSystemMetrics(SM_CYSMICON), 0));
    ::SendMessageA(m_hWnd, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(m_hIcon));
    ::SendMessageA(m_hWnd, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(m_hSmallIcon));

    InsertColumns();
    UpdateData(false);
    if (theSfxFile.HasEntries()) {
        FillFileList();
        UpdateSfxInfo();
        ::EnableWindow(GetDlgItem(IDC_LOAD_SFX), FALSE);
        ::EnableWindow(GetDlgItem(IDC_EXTRACT), TRUE);
    }
    return TRUE;
}

void CExtractorDlg::OnDestroy() {
    // The rows point into the reader's entries; they go before anything can free those.
    ListView_DeleteAllItems(FileList());
    if (m_hIcon) ::DestroyIcon(m_hIcon);
    if (m_hSmallIcon) ::DestroyIcon(m_hSmallIcon);
    m_hIcon = m_hSmallIcon = nullptr;
}

void CExtractorDlg::InsertColumns() {
    HWND list = FileList();
    ListView_SetExtendedListViewStyle(list, LVS_EX_GRIDLINES | LVS_EX_CHECKBOXES | LVS_EX_FULLROWSELECT);
    int index = 0;
    for (const Column& column : kColumns) {
        LVCOLUMNA info{};
        info.mask = LVCF_FMT | LVCF_WIDTH | LVCF_TEXT | LVCF_SUBITEM;
        info.fmt = column.format;
        info.cx = column.width;
        info.pszText = const_cast<char*>(column.header);
        info.iSubItem = index;
        ::SendMessageA(list, LVM_INSERTCOLUMNA, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&info));
        ++index;
    }
}

void CExtractorDlg::FillFileList() {
    HWND list = FileList();
    for (const auto& entry : theSfxFile.Entries()) {
        LVITEMA item{};
        item.mask = LVIF_TEXT | LVIF_PARAM;
        item.iItem = ListView_GetItemCount(list);
        item.pszText = entry->m_szFileName;
        item.lParam = reinterpret_cast<LPARAM>(entry.get());
        int row = static_cast<int>(::SendMessageA(list, LVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&item)));
        if (row < 0) continue;
        SetCell(list, row, 1, FormatThousands(entry->m_ullFileSize));
        SetCell(list, row, 2, FormatThousands(entry->m_ullCompressedSize));
        SetCell(list, row, 3, GetPlatformName(entry->m_dwPlatform));
        SetCell(list, row, 4, FormatFileTime(entry->m_ftLastWrite));
        SetCell(list, row, 5, FormatFileTime(entry->m_ftCreation));
        SetCell(list, row, 6, FormatAttributes(entry->m_dwAttributes));
        ListView_SetCheckState(list, row, TRUE);
    }
}

void CExtractorDlg::UpdateSfxInfo() {
    ::SetDlgItemTextA(m_hWnd, IDC_SFX_PATHNAME, GetExtractorApp().m_launcher.m_strSfxPathName.c_str());
    m_nDestOption = static_cast<int>(theSfxFile.GetDestOption());
    m_strWin32Command = theSfxFile.m_szWin32Command;
    m_strDosCommand = theSfxFile.m_szDosCommand;
    UpdateData(false);
}

void CExtractorDlg::UpdateData(bool fromControls) {
    if (fromControls) {
        m_nDestOption = -1;
        for (int i = 0; i < 3; ++i) {
            if (::IsDlgButtonChecked(m_hWnd, kRadioIds[i]) == BST_CHECKED) m_nDestOption = i;
        }
        m_strWin32Command = ControlText(GetDlgItem(IDC_WIN32_COMMAND));
        m_strDosCommand = ControlText(GetDlgItem(IDC_DOS_COMMAND));
    } else {
        // An option of 3 or more checks no radio button.
        for (int i = 0; i < 3; ++i) {
            ::CheckDlgButton(m_hWnd, kRadioIds[i], i == m_nDestOption ? BST_CHECKED : BST_UNCHECKED);
        }
        ::SetDlgItemTextA(m_hWnd, IDC_WIN32_COMMAND, m_strWin32Command.c_str());
        ::SetDlgItemTextA(m_hWnd, IDC_DOS_COMMAND, m_strDosCommand.c_str());
    }
}

void CExtractorDlg::FreeEntries() {
    ListView_DeleteAllItems(FileList());
    theSfxFile.FreeEntries();
}

void CExtractorDlg::ShowReaderError() {
    ::MessageBoxA(m_hWnd, theSfxFile.m_szLastError, GetExtractorApp().m_launcher.m_strBaseName.c_str(),
                  MB_OK | MB_ICONERROR);
}

void CExtractorDlg::OnOK() {
    UpdateData(true);
    EndDialog(IDOK);
}

BOOL CExtractorDlg::OnCommand(WPARAM wParam, LPARAM lParam) {
    switch (LOWORD(wParam)) {
    case IDC_LOAD_SFX:
        OnLoadFromSfx();
        return TRUE;
    case IDC_EXTRACT:
        OnExtract();
        return TRUE;
    case IDC_EXECUTE:
        OnExecuteCommand();
        return TRUE;
    case IDC_SFX_TEST:
        return TRUE;  // no action
    default:
        return fw::CDialog::OnCommand(wParam, lParam);
    }
}

void CExtractorDlg::OnLoadFromSfx() {
    UpdateData(true);
    char path[MAX_PATH] = {};
    OPENFILENAMEA open{};
    open.lStructSize = sizeof open;
    open.hwndOwner = m_hWnd;
    open.lpstrFilter = "Executable file (*.exe)\0*.exe\0\0";
    open.lpstrFile = path;
    open.nMaxFile = MAX_PATH;
    open.lpstrDefExt = "EXE";
    open.Flags = OFN_EXPLORER | OFN_HIDEREADONLY | OFN_ENABLESIZING | OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST;
    if (!::GetOpenFileNameA(&open)) return;

    CExtractorApp& app = GetExtractorApp();
    app.m_launcher.m_strSfxPathName = path;
    FreeEntries();
    if (!theSfxFile.Open(path)) {
        ShowReaderError();
        return;
    }
    if (!theSfxFile.LoadToc()) {
        // The file stays open; "Execute Command" closes it and drops what was read.
        ShowReaderError();
        return;
    }
    FillFileList();
    UpdateSfxInfo();
    theSfxFile.Close();
    ::EnableWindow(GetDlgItem(IDC_EXTRACT), TRUE);
}

void CExtractorDlg::OnExtract() {
    UpdateData(true);
    HWND list = FileList();
    int rows = ListView_GetItemCount(list);
    for (int row = 0; row < rows; ++row) {
        LVITEMA item{};
        item.mask = LVIF_PARAM;
        item.iItem = row;
        if (!::SendMessageA(list, LVM_GETITEMA, 0, reinterpret_cast<LPARAM>(&item)) || !item.lParam) continue;
        reinterpret_cast<CSrcFileInfo*>(item.lParam)->m_bSelected = ListView_GetCheckState(list, row) ? TRUE : FALSE;
    }

    CExtractorApp& app = GetExtractorApp();
    if (!app.SelectDestination(m_nDestOption)) {
        fw::AfxMessageBox("Select Destination directory error", MB_OK);
        return;
    }
    if (!theSfxFile.Open(app.m_launcher.m_strSfxPathName.c_str())) {
        ShowReaderError();
        return;
    }
    const int expected = app.CountEntries(sfx::kDialogExtractMask);
    int count = theSfxFile.ExtractAll(sfx::kDialogExtractMask);
    if (count <= 0) ShowReaderError();
    theSfxFile.Close();
    std::string done = common::Format("There are %d file been extracted!\nDestination Path: %s", count,
                                      app.m_launcher.m_strExtractDest.c_str());
    fw::AfxMessageBox(done.c_str(), MB_OK | MB_ICONINFORMATION);
    // Only a complete extraction may be run: a file that was not written may be one that was
    // already there, put by someone else.
    ::EnableWindow(GetDlgItem(IDC_EXECUTE), count == expected ? TRUE : FALSE);
}

void CExtractorDlg::OnExecuteCommand() {
    UpdateData(true);
    if (theSfxFile.IsOpen()) {
        // Left open by a table that could not be read: drop it and what was read of it.
        theSfxFile.Close();
        FreeEntries();
        ::EnableWindow(GetDlgItem(IDC_EXTRACT), FALSE);
        ::EnableWindow(GetDlgItem(IDC_EXECUTE), FALSE);
    }
    if (GetExtractorApp().ExecuteCommand()) {
        fw::AfxMessageBox("Execute Command OK", MB_OK | MB_ICONINFORMATION);
    } else {
        fw::AfxMessageBox("Execute Command error", MB_OK | MB_ICONERROR);
    }
}

INT_PTR CExtractorDlg::OnMessage(UINT message, WPARAM wParam, LPARAM, bool& handled) {
    switch (message) {
    case WM_SYSCOMMAND:
        if ((wParam & 0xFFF0) == IDM_ABOUTBOX) {
            CAboutDlg about(m_hWnd);
            about.DoModal(GetExtractorApp().m_hInstance);
            handled = true;
            return TRUE;
        }
        break;
    case WM_PAINT:
        if (::IsIconic(m_hWnd)) {
            PaintIconCentred(m_hIcon);
            handled = true;
            return TRUE;
        }
        break;
    case WM_QUERYDRAGICON:
        handled = true;
        return reinterpret_cast<INT_PTR>(m_hIcon);
    default:
        break;
    }
    handled = false;
    return FALSE;
}
