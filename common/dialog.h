// The dialog base of our dialogs (Quillon's and the add-in's options form) and the thin control
// wrappers they talk through.
//
// CDialog runs a dialog template from a module's resources and turns the messages of its dialog
// procedure into member calls (OnInitDialog, OnClicked, OnChanged, OnNotify, OnClickedOK, ...), so
// that each dialog reads as the steps it performs. The object is bound to its window through
// DWLP_USER at WM_INITDIALOG; nothing thrown inside a handler leaves the dialog procedure.
//
// The wrappers hold a window handle they do not own; each operation is one SendMessage.
#pragma once

#include <windows.h>
#include <commctrl.h>
#include <string>

namespace common {

// A child window (or any window) by handle: texts, enabling, visibility.
class CWindowRef {
public:
    CWindowRef() = default;
    explicit CWindowRef(HWND hwnd) : m_hwnd(hwnd) {}
    HWND Handle() const { return m_hwnd; }
    void Attach(HWND hwnd) { m_hwnd = hwnd; }

    std::string GetText() const;
    void SetText(const char* text) const { ::SetWindowTextA(m_hwnd, text); }
    void SetText(const std::string& text) const { SetText(text.c_str()); }
    void Enable(bool enable) const { ::EnableWindow(m_hwnd, enable ? TRUE : FALSE); }
    bool IsEnabled() const { return ::IsWindowEnabled(m_hwnd) != FALSE; }
    void Show(bool show) const { ::ShowWindow(m_hwnd, show ? SW_SHOW : SW_HIDE); }
    void Focus() const { ::SetFocus(m_hwnd); }

protected:
    HWND m_hwnd = nullptr;
};

// Push buttons and check boxes.
class CButton : public CWindowRef {
public:
    using CWindowRef::CWindowRef;
    // BM_GETCHECK: BST_CHECKED, BST_UNCHECKED or BST_INDETERMINATE.
    bool IsChecked() const { return ::SendMessageA(m_hwnd, BM_GETCHECK, 0, 0) == BST_CHECKED; }
    void SetCheck(bool checked) const
    {
        ::SendMessageA(m_hwnd, BM_SETCHECK, checked ? BST_CHECKED : BST_UNCHECKED, 0);
    }
};

// Drop-down lists.
class CComboBox : public CWindowRef {
public:
    using CWindowRef::CWindowRef;
    // CB_ADDSTRING: the new item's index, or CB_ERR / CB_ERRSPACE.
    int AddString(const char* text) const
    {
        return static_cast<int>(::SendMessageA(m_hwnd, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text)));
    }
    // CB_GETCURSEL: the selected index, or CB_ERR (-1) when nothing is selected.
    int GetCurSel() const { return static_cast<int>(::SendMessageA(m_hwnd, CB_GETCURSEL, 0, 0)); }
    void SetCurSel(int index) const { ::SendMessageA(m_hwnd, CB_SETCURSEL, static_cast<WPARAM>(index), 0); }
    // The text of an item; empty for an index out of range.
    std::string GetItemText(int index) const;
};

// The folder tree.
class CTreeView : public CWindowRef {
public:
    using CWindowRef::CWindowRef;
    void DeleteAllItems() const { TreeView_DeleteAllItems(m_hwnd); }
    // Inserts an item after `after` (TVI_FIRST, TVI_LAST, TVI_SORT or an item); null on failure.
    HTREEITEM InsertItem(HTREEITEM parent, HTREEITEM after, const char* text, int image, LPARAM data) const;
    void SetImageList(HIMAGELIST images) const { TreeView_SetImageList(m_hwnd, images, TVSIL_NORMAL); }
    void Expand(HTREEITEM item) const { TreeView_Expand(m_hwnd, item, TVE_EXPAND); }
    void EnsureVisible(HTREEITEM item) const { TreeView_EnsureVisible(m_hwnd, item); }
    void Select(HTREEITEM item) const { TreeView_SelectItem(m_hwnd, item); }
    HTREEITEM GetSelection() const { return TreeView_GetSelection(m_hwnd); }
    // The item's data; false when the item cannot be read.
    bool GetItemData(HTREEITEM item, LPARAM* data) const;
    std::string GetItemText(HTREEITEM item) const;
};

// The progress bar.
class CProgressBar : public CWindowRef {
public:
    using CWindowRef::CWindowRef;
    void SetRange(int low, int high) const { ::SendMessageA(m_hwnd, PBM_SETRANGE32, low, high); }
    void SetPos(int pos) const { ::SendMessageA(m_hwnd, PBM_SETPOS, static_cast<WPARAM>(pos), 0); }
};

class CDialog {
public:
    // The template templateId of the module resources.
    CDialog(HINSTANCE resources, UINT templateId) : m_resources(resources), m_templateId(templateId) {}
    virtual ~CDialog() = default;
    CDialog(const CDialog&) = delete;
    CDialog& operator=(const CDialog&) = delete;

    // Runs the dialog modally; returns the value given to EndDialog, or -1 when the dialog could
    // not be created (OnShowFailed tells why). An owner that has closed is not used.
    INT_PTR DoModal(HWND owner);

    HWND Handle() const { return m_hwnd; }
    HWND Item(int id) const { return ::GetDlgItem(m_hwnd, id); }
    void EndDialog(INT_PTR result) const { ::EndDialog(m_hwnd, result); }

protected:
    // Return true to let the system give the focus to the first control.
    virtual bool OnInitDialog() { return true; }
    // Return true when the command was handled. The default sends the clicks of OK and Cancel
    // to OnClickedOK and OnClickedCancel, every other click to OnClicked and a changed edit text
    // to OnChanged.
    virtual bool OnCommand(int id, int code, HWND control);
    // A click on button id (not OK or Cancel); return true when handled.
    virtual bool OnClicked(int id) { return false; }
    // The text of edit control id has changed; return true when handled.
    virtual bool OnChanged(int id) { return false; }
    virtual bool OnNotify(int id, NMHDR* header, LRESULT* result) { return false; }
    // Every other message; return true with *result set when handled.
    virtual bool OnMessage(UINT msg, WPARAM wp, LPARAM lp, INT_PTR* result) { return false; }
    virtual void OnClickedOK() { EndDialog(IDOK); }
    virtual void OnClickedCancel() { EndDialog(IDCANCEL); }

    // The dialog could not be created: code is the system's reason.
    virtual void OnShowFailed(HRESULT code) {}

    // The messages of a message box owned by this dialog; the caption is the given text.
    int MessageBox(const char* text, const char* caption, UINT type) const;
    UINT TemplateId() const { return m_templateId; }

private:
    static INT_PTR CALLBACK _DialogProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
    INT_PTR _Dispatch(UINT msg, WPARAM wp, LPARAM lp);

    HINSTANCE m_resources;
    UINT m_templateId;
    HWND m_hwnd = nullptr;
};

// Makes sure the common-control classes the dialogs use (tree, progress bar) are registered.
void InitDialogControls();

}  // namespace common
