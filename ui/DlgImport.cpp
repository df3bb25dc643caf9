#include "ui/DlgImport.h"

#include <shlwapi.h>

#include "base/Log.h"
#include "ui/DlgPickFolder.h"
#include "ui/resource.h"

namespace {

const char kFolderIdValue[] = "Import.WABFolderID";
const char kWinFolderValue[] = "Import.WinFolder";
const char kConflictValue[] = "Import.ConflictResolution";
const char kGroupsValue[] = "Import.Groups";

const int kModeButtons[] = {IDC_IMPORT_DUPLICATE, IDC_IMPORT_REPLACE, IDC_IMPORT_LEAVE_OLD};
const int kModeCount = 3;

const char kHelpTopic[] = "Import_vCard,_iCard_Files_to_Contacts_Folders.htm";

}  // namespace

CDlgImport::CDlgImport(const std::string& presetFolder) : ui::CDialog(IDD_IMPORT, kHelpTopic)
{
    m_settings.ReadString(kFolderIdValue, &m_targetFolder);
    m_settings.ReadString(kWinFolderValue, &m_sourceFolder);
    DWORD mode = 0;
    if (m_settings.ReadDword(kConflictValue, &mode))
        m_conflictMode = static_cast<int>(mode);
    DWORD groups = 1;
    if (m_settings.ReadDword(kGroupsValue, &groups))
        m_joinGroups = groups != 0;
    if (!presetFolder.empty())
        m_targetFolder = presetFolder;
}

CDlgImport::~CDlgImport() = default;

bool CDlgImport::OnInitDialog()
{
    ShowStoredFolder(IDC_IMPORT_TARGET, &m_targetFolder);
    ui::CWindowRef(Item(IDC_IMPORT_SOURCE)).SetText(m_sourceFolder);

    bool known = m_conflictMode >= 0 && m_conflictMode < kModeCount;
    QUILLON_ASSERT(known, "CDlgImport::OnInitDialog");
    int button = known ? kModeButtons[m_conflictMode] : IDC_IMPORT_DUPLICATE;
    ui::CButton(Item(button)).SetCheck(true);
    ui::CButton(Item(IDC_IMPORT_GROUPS)).SetCheck(m_joinGroups);

    _UpdateOk();
    return true;
}

void CDlgImport::_UpdateOk()
{
    m_sourceFolder = ui::CWindowRef(Item(IDC_IMPORT_SOURCE)).GetText();
    bool ok = !m_targetFolder.empty() && !m_sourceFolder.empty() &&
              ::PathIsDirectoryA(m_sourceFolder.c_str()) != FALSE;
    ui::CWindowRef(Item(IDOK)).Enable(ok);
}

bool CDlgImport::OnClicked(int id)
{
    switch (id) {
    case IDC_IMPORT_PICK:
        _OnPickTarget();
        return true;
    case IDC_IMPORT_BROWSE:
        _OnBrowseSource();
        return true;
    }
    return ui::CDialog::OnClicked(id);
}

bool CDlgImport::OnChanged(int id)
{
    if (id != IDC_IMPORT_SOURCE)
        return false;
    _UpdateOk();
    return true;
}

void CDlgImport::_OnPickTarget()
{
    CDlgPickFolder picker(m_targetFolder.c_str(), false, false);
    HWND owner = ::GetActiveWindow();
    if (picker.DoModal(owner ? owner : Handle()) != IDOK)
        return;
    m_targetFolder = picker.SelectedId();
    ui::CWindowRef(Item(IDC_IMPORT_TARGET)).SetText(picker.SelectedName());
    _UpdateOk();
}

void CDlgImport::_OnBrowseSource()
{
    std::string current = ui::CWindowRef(Item(IDC_IMPORT_SOURCE)).GetText();
    std::string path;
    if (!ui::BrowseForFolder(Handle(), IDS_BROWSE_IMPORT, current, &path))
        return;
    ui::CWindowRef(Item(IDC_IMPORT_SOURCE)).SetText(path);
    _UpdateOk();
}

void CDlgImport::OnClickedOK()
{
    m_sourceFolder = ui::CWindowRef(Item(IDC_IMPORT_SOURCE)).GetText();
    m_conflictMode = -1;
    for (int i = 0; i < kModeCount; ++i) {
        if (ui::CButton(Item(kModeButtons[i])).IsChecked())
            m_conflictMode = i;
    }
    QUILLON_ASSERT(m_conflictMode >= 0, "CDlgImport::OnClickedOK");
    if (m_conflictMode < 0)
        m_conflictMode = 0;
    m_joinGroups = ui::CButton(Item(IDC_IMPORT_GROUPS)).IsChecked();
    if (m_settings.IsOpen()) {
        bool ok = m_settings.WriteString(kFolderIdValue, m_targetFolder.c_str()) &&
                  m_settings.WriteString(kWinFolderValue, m_sourceFolder.c_str()) &&
                  m_settings.WriteDword(kConflictValue, static_cast<DWORD>(m_conflictMode)) &&
                  m_settings.WriteDword(kGroupsValue, m_joinGroups ? 1 : 0);
        if (!ok)
            g_log.LogErr("CDlgImport::OnClickedOK", m_settings.LastWriteError(), "RegSetValueEx");
    }
    EndDialog(IDOK);
}
