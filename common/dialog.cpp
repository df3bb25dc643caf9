#include "common/dialog.h"

#include <vector>

#include "common/guard.h"
#include "common/raii.h"
#include "common/window.h"

namespace common {

std::string CWindowRef::GetText() const
{
    int length = ::GetWindowTextLengthA(m_hwnd);
    if (length <= 0)
        return std::string();
    std::vector<char> buffer(static_cast<size_t>(length) + 1, '\0');
    int got = ::GetWindowTextA(m_hwnd, buffer.data(), length + 1);
    return std::string(buffer.data(), got > 0 ? static_cast<size_t>(got) : 0);
}

std::string CComboBox::GetItemText(int index) const
{
    LRESULT length = ::SendMessageA(m_hwnd, CB_GETLBTEXTLEN, static_cast<WPARAM>(index), 0);
    if (length == CB_ERR || length < 0)
        return std::string();
    std::vector<char> buffer(static_cast<size_t>(length) + 1, '\0');
    LRESULT got = ::SendMessageA(m_hwnd, CB_GETLBTEXT, static_cast<WPARAM>(index),
                                 reinterpret_cast<LPARAM>(buffer.data()));
    if (got == CB_ERR || got < 0)
        return std::string();
    return std::string(buffer.data());
}

HTREEITEM CTreeView::InsertItem(HTREEITEM parent, HTREEITEM after, const char* text, int image, LPARAM data) const
{
    TVINSERTSTRUCTA insert = {};
    insert.hParent = parent;
    insert.hInsertAfter = after;
    insert.item.mask = TVIF_TEXT | TVIF_IMAGE | TVIF_SELECTEDIMAGE | TVIF_PARAM;
    insert.item.pszText = const_cast<char*>(text ? text : "");
    insert.item.iImage = image;
    insert.item.iSelectedImage = image;
    insert.item.lParam = data;
    // TVM_INSERTITEMA: the new item, or null on failure.
    return reinterpret_cast<HTREEITEM>(::SendMessageA(m_hwnd, TVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&insert)));
}

bool CTreeView::GetItemData(HTREEITEM item, LPARAM* data) const
{
    TVITEMA tvi = {};
    tvi.mask = TVIF_PARAM | TVIF_HANDLE;
    tvi.hItem = item;
    if (!item || !::SendMessageA(m_hwnd, TVM_GETITEMA, 0, reinterpret_cast<LPARAM>(&tvi)))
        return false;
    *data = tvi.lParam;
    return true;
}

std::string CTreeView::GetItemText(HTREEITEM item) const
{
    char buffer[MAX_PATH] = "";
    TVITEMA tvi = {};
    tvi.mask = TVIF_TEXT | TVIF_HANDLE;
    tvi.hItem = item;
    tvi.pszText = buffer;
    tvi.cchTextMax = sizeof buffer;
    if (!item || !::SendMessageA(m_hwnd, TVM_GETITEMA, 0, reinterpret_cast<LPARAM>(&tvi)))
        return std::string();
    buffer[sizeof buffer - 1] = '\0';
    return buffer;
}

void InitDialogControls()
{
    INITCOMMONCONTROLSEX icc = {sizeof icc, ICC_PROGRESS_CLASS | ICC_TREEVIEW_CLASSES | ICC_STANDARD_CLASSES};
    ::InitCommonControlsEx(&icc);
}

INT_PTR CDialog::DoModal(HWND owner)
{
    InitDialogControls();
    owner = LiveOwner(owner);
    INT_PTR result = ::DialogBoxParamA(m_resources, MAKEINTRESOURCEA(m_templateId), owner, _DialogProc,
                                       reinterpret_cast<LPARAM>(this));
    if (result == -1 && owner && ::GetLastError() == ERROR_INVALID_WINDOW_HANDLE)
        result = ::DialogBoxParamA(m_resources, MAKEINTRESOURCEA(m_templateId), nullptr, _DialogProc,
                                   reinterpret_cast<LPARAM>(this));
    if (result == -1)
        OnShowFailed(HResultFromLastError());
    return result;
}

bool CDialog::OnCommand(int id, int code, HWND control)
{
    if (code == EN_CHANGE)
        return OnChanged(id);
    if (code != BN_CLICKED)
        return false;
    switch (id) {
    case IDOK:
        OnClickedOK();
        return true;
    case IDCANCEL:
        OnClickedCancel();
        return true;
    }
    return OnClicked(id);
}

int CDialog::MessageBox(const char* text, const char* caption, UINT type) const
{
    return ::MessageBoxA(m_hwnd, text, caption, type);
}

INT_PTR CALLBACK CDialog::_DialogProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp)
{
    CDialog* self = nullptr;
    if (msg == WM_INITDIALOG) {
        self = reinterpret_cast<CDialog*>(lp);
        ::SetWindowLongPtrA(hwnd, DWLP_USER, lp);
        self->m_hwnd = hwnd;
    } else {
        self = reinterpret_cast<CDialog*>(::GetWindowLongPtrA(hwnd, DWLP_USER));
    }
    if (!self)
        return FALSE;
    // An exception inside a handler: the message counts as unhandled, the dialog lives on.
    return Guard<INT_PTR>("CDialog::DialogProc", FALSE, [&] { return self->_Dispatch(msg, wp, lp); });
}

INT_PTR CDialog::_Dispatch(UINT msg, WPARAM wp, LPARAM lp)
{
    switch (msg) {
    case WM_INITDIALOG:
        return OnInitDialog() ? TRUE : FALSE;
    case WM_COMMAND:
        return OnCommand(LOWORD(wp), HIWORD(wp), reinterpret_cast<HWND>(lp)) ? TRUE : FALSE;
    case WM_NOTIFY: {
        auto* header = reinterpret_cast<NMHDR*>(lp);
        LRESULT result = 0;
        if (!OnNotify(static_cast<int>(header->idFrom), header, &result))
            return FALSE;
        ::SetWindowLongPtrA(m_hwnd, DWLP_MSGRESULT, result);
        return TRUE;
    }
    case WM_NCDESTROY:
        ::SetWindowLongPtrA(m_hwnd, DWLP_USER, 0);
        m_hwnd = nullptr;
        return FALSE;
    }
    INT_PTR result = FALSE;
    return OnMessage(msg, wp, lp, &result) ? result : FALSE;
}

}  // namespace common
