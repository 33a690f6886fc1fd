#include "updater/tools/edit_output_view_win32.h"

void CEditOutputView::GetSel(int& start, int& end) const {
    DWORD first = 0, last = 0;
    ::SendMessageA(m_pEdit->GetSafeHwnd(), EM_GETSEL, reinterpret_cast<WPARAM>(&first), reinterpret_cast<LPARAM>(&last));
    start = static_cast<int>(first);
    end = static_cast<int>(last);
}
