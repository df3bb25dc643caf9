#include "ui/DlgPickFolder.h"

#include "base/App.h"
#include "base/Log.h"
#include "base/Settings.h"
#include "ui/resource.h"

namespace {

// Item data of the root item "Address Book"; folder items carry their index in the folder list.
const LPARAM kRootData = -1;
const COLORREF kTransparent = RGB(255, 0, 255);
const int kRootImage = 0;
const int kFolderImage = 1;

}  // namespace

CDlgPickFolder::CDlgPickFolder(const char* selectedId, bool allFoldersAllowed, bool allFoldersChosen)
    : ui::CDialog(IDD_PICKFOLDER),
      m_selectedId(selectedId ? selectedId : ""),
      m_allFoldersAllowed(allFoldersAllowed ? TRUE : FALSE),
      m_allFoldersChosen(allFoldersChosen ? TRUE : FALSE)
{
}

CDlgPickFolder::~CDlgPickFolder() = default;

int CDlgPickFolder::SystemMajorVersion()
{
    OSVERSIONINFOA info = {};
    info.dwOSVersionInfoSize = sizeof info;
    if (!::GetVersionExA(&info))
        return 0;
    return static_cast<int>(info.dwMajorVersion);
}

bool CDlgPickFolder::OnInitDialog()
{
    m_tree.Attach(Item(IDC_PICK_TREE));
    if (m_majorVersion() >= 6)
        ui::CWindowRef(Item(IDC_PICK_HINT)).Show(false);

    if (_BuildImageList())
        m_tree.SetImageList(m_images.get());

    _FillTree();

    ui::CButton allFolders(Item(IDC_PICK_ALL_FOLDERS));
    if (!m_allFoldersAllowed) {
        allFolders.Show(false);
    } else {
        allFolders.SetCheck(m_allFoldersChosen != FALSE);
        _UpdateTreeEnabling();
    }
    // The tree has the focus (set while filling it).
    return false;
}

bool CDlgPickFolder::_BuildImageList()
{
    m_images.reset(::ImageList_Create(16, 16, ILC_COLOR24 | ILC_MASK, 2, 0));
    if (!m_images) {
        g_log.LogErr("CDlgPickFolder::OnInitDialog", common::HResultFromLastError(), "ImageList_Create");
        return false;
    }
    const UINT bitmaps[] = {IDB_PICK_ROOT, IDB_PICK_FOLDER};
    for (UINT id : bitmaps) {
        common::CBitmap bitmap(static_cast<HBITMAP>(
            ::LoadImageA(GetAppInstance(), MAKEINTRESOURCEA(id), IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION)));
        if (!bitmap || ::ImageList_AddMasked(m_images.get(), bitmap.get(), kTransparent) < 0) {
            g_log.LogErr("CDlgPickFolder::OnInitDialog", common::HResultFromLastError(), "bitmap %u", id);
            return false;
        }
    }
    return true;
}

void CDlgPickFolder::_FillTree()
{
    m_tree.DeleteAllItems();
    HRESULT hr = g_wabLib._GetFolders(m_folders.put());
    if (FAILED(hr) || !m_folders) {
        m_folders.reset();
        m_selectedId.clear();
        return;
    }

    HTREEITEM root = m_tree.InsertItem(TVI_ROOT, TVI_LAST, "Address Book", kRootImage, kRootData);
    HTREEITEM remembered = nullptr;
    // From the last folder to the first: every folder but the first goes to its sorted place, the
    // first is put on top, so the address book's main folder always leads the list.
    for (ULONG i = m_folders->count; i-- > 0;) {
        const WABFolder& folder = m_folders->folders[i];
        HTREEITEM item = m_tree.InsertItem(root, i == 0 ? TVI_FIRST : TVI_SORT, folder.name ? folder.name : "",
                                           kFolderImage, static_cast<LPARAM>(i));
        if (item && folder.id && m_selectedId == folder.id)
            remembered = item;
    }
    m_tree.Expand(root);
    if (remembered) {
        m_tree.EnsureVisible(remembered);
        m_tree.Select(remembered);
    }
    m_tree.Focus();
    m_selectedId.clear();
}

void CDlgPickFolder::_UpdateTreeEnabling()
{
    m_tree.Enable(!ui::CButton(Item(IDC_PICK_ALL_FOLDERS)).IsChecked());
}

bool CDlgPickFolder::OnClicked(int id)
{
    switch (id) {
    case IDC_PICK_ALL_FOLDERS:
        _UpdateTreeEnabling();
        return true;
    case IDC_PICK_REFRESH:
        _Refresh();
        return true;
    case IDC_PICK_HINT:
        _ShowHint();
        return true;
    }
    return ui::CDialog::OnClicked(id);
}

void CDlgPickFolder::OnClickedOK()
{
    UINT error = 0;
    HTREEITEM item = m_tree.GetSelection();
    LPARAM data = kRootData;
    if (!item || !m_tree.GetItemData(item, &data)) {
        error = IDS_PICK_NO_SELECTION;
    } else if (data == kRootData || !m_folders || data < 0 || static_cast<ULONG>(data) >= m_folders->count) {
        error = IDS_PICK_ROOT_SELECTED;
    } else {
        const WABFolder& folder = m_folders->folders[data];
        m_selectedId = folder.id ? folder.id : "";
        m_selectedName = folder.name ? folder.name : "";
    }

    m_allFoldersChosen = FALSE;
    if (m_allFoldersAllowed && ui::CButton(Item(IDC_PICK_ALL_FOLDERS)).IsChecked()) {
        m_allFoldersChosen = TRUE;
        EndDialog(IDOK);
        return;
    }
    if (!error) {
        EndDialog(IDOK);
        return;
    }
    MessageBox(LoadProgramString(error).c_str(), GetProductName(), MB_OK);
}

void CDlgPickFolder::_Refresh()
{
    HTREEITEM item = m_tree.GetSelection();
    LPARAM data = kRootData;
    m_selectedId.clear();
    if (item && m_tree.GetItemData(item, &data) && data != kRootData && m_folders && data >= 0 &&
        static_cast<ULONG>(data) < m_folders->count && m_folders->folders[data].id)
        m_selectedId = m_folders->folders[data].id;
    // The tree's items point into the list: empty the tree before the list goes.
    m_tree.DeleteAllItems();
    m_folders.reset();
    // A failed log-on is logged there and leaves the tree empty.
    (void)g_wabLib.ReInit();
    _FillTree();
}

std::string CDlgPickFolder::NewFolderHint(int majorVersion)
{
    return LoadProgramString(majorVersion <= 5 ? IDS_NEW_FOLDER_HINT_OLD : IDS_NEW_FOLDER_HINT_NEW);
}

void CDlgPickFolder::_ShowHint()
{
    MessageBox(NewFolderHint(m_majorVersion()).c_str(), GetProductName(), MB_OK);
}
