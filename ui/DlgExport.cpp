#include "ui/DlgExport.h"

#include <shlwapi.h>

#include "base/App.h"
#include "base/Log.h"
#include "contact/CharConverter.h"
#include "ui/DlgPickFolder.h"
#include "ui/resource.h"

namespace {

const char kFolderIdValue[] = "Export.WABFolderID";
const char kAllFoldersValue[] = "Export.WABAllFolders";
const char kWinFolderValue[] = "Export.WinFolder";
const char kFormatValue[] = "Export.Format";
const char kEncodingValue[] = "Export.Encoding";
const char kOneFileValue[] = "Export.SaveInOneFile";
const char kGroupCardsValue[] = "Export.GroupCards";

const char kHelpTopic[] = "Working_with_Marrow/Export_Outlook_contacts.htm";

const char* const kFormats[] = {"vCard 2.1", "vCard 3.0", "CSV (comma separated values)"};
const int kFormatCount = 3;

bool IsExistingFolder(const std::string& path)
{
    return !path.empty() && ::PathIsDirectoryA(path.c_str()) != FALSE;
}

}  // namespace

CDlgExport::CDlgExport(const char* selectionFolder, int selectionCount)
    : ui::CDialog(IDD_EXPORT, kHelpTopic),
      m_selectionCount(selectionCount),
      m_selectionFolder(selectionFolder ? selectionFolder : "")
{
    _LoadSettings();
    if (m_selectionCount == 0) {
        m_selectedOnly = false;
    } else {
        m_allFolders = false;
        if (!m_selectionFolder.empty()) {
            m_folderId = m_selectionFolder;
            m_selectedOnly = m_selectionCount > 1;
        } else {
            m_folderId.clear();
            m_selectedOnly = true;
        }
    }
}

CDlgExport::~CDlgExport() = default;

void CDlgExport::_LoadSettings()
{
    DWORD value = 0;
    m_settings.ReadString(kFolderIdValue, &m_folderId);
    if (m_settings.ReadDword(kAllFoldersValue, &value))
        m_allFolders = value != 0;
    m_settings.ReadString(kWinFolderValue, &m_targetFolder);
    if (m_settings.ReadDword(kFormatValue, &value))
        m_formatIndex = static_cast<int>(value);
    m_settings.ReadString(kEncodingValue, &m_encodingName);
    if (m_settings.ReadDword(kOneFileValue, &value))
        m_oneFile = value != 0;
    if (m_settings.ReadDword(kGroupCardsValue, &value))
        m_groupCards = value != 0;
}

void CDlgExport::_SaveSettings()
{
    if (!m_settings.IsOpen())
        return;
    bool ok = m_settings.WriteString(kFolderIdValue, m_folderId.c_str()) &&
              m_settings.WriteDword(kAllFoldersValue, m_allFolders ? 1 : 0) &&
              m_settings.WriteString(kWinFolderValue, m_targetFolder.c_str()) &&
              m_settings.WriteDword(kFormatValue, static_cast<DWORD>(m_formatIndex)) &&
              m_settings.WriteString(kEncodingValue, m_encodingName.c_str()) &&
              m_settings.WriteDword(kOneFileValue, m_oneFile ? 1 : 0) &&
              m_settings.WriteDword(kGroupCardsValue, m_groupCards ? 1 : 0);
    if (!ok)
        g_log.LogErr("CDlgExport::OnClickedOK", m_settings.LastWriteError(), "RegSetValueEx");
}

bool CDlgExport::OnInitDialog()
{
    if (m_allFolders)
        ui::CWindowRef(Item(IDC_EXPORT_SOURCE)).SetText(LoadProgramString(IDS_ALL_FOLDERS));
    else
        ShowStoredFolder(IDC_EXPORT_SOURCE, &m_folderId);

    ui::CWindowRef(Item(IDC_EXPORT_TARGET)).SetText(m_targetFolder);

    ui::CComboBox formats(Item(IDC_EXPORT_FORMAT));
    for (const char* format : kFormats)
        formats.AddString(format);
    // A stored index the list does not have would leave it without a selection (and store -1
    // on OK); show the first format instead.
    formats.SetCurSel(m_formatIndex >= 0 && m_formatIndex < kFormatCount ? m_formatIndex : 0);

    ui::CComboBox encodings(Item(IDC_EXPORT_ENCODING));
    int chosen = -1;
    for (const EncodingEntry& entry : g_charConverter.Encodings()) {
        int index = encodings.AddString(entry.displayName.c_str());
        if (index >= 0 && entry.displayName == m_encodingName)
            chosen = index;
    }
    encodings.SetCurSel(chosen >= 0 ? chosen : 0);

    ui::CButton(Item(IDC_EXPORT_ONE_FILE)).SetCheck(m_oneFile);
    ui::CButton(Item(IDC_EXPORT_GROUP_CARDS)).SetCheck(m_groupCards);
    _UpdateOneFile();
    ui::CButton selectedOnly(Item(IDC_EXPORT_SELECTED_ONLY));
    selectedOnly.SetCheck(m_selectedOnly);
    selectedOnly.Enable(m_selectionCount != 0);

    _Update();
    return true;
}

void CDlgExport::_Update()
{
    ui::CButton selectedOnly(Item(IDC_EXPORT_SELECTED_ONLY));
    bool selected = selectedOnly.IsChecked();
    if (m_selectionCount > 0) {
        bool enable = m_folderId == m_selectionFolder && !m_allFolders;
        selectedOnly.Enable(enable);
        if (!enable) {
            selectedOnly.SetCheck(false);
            selected = false;
        }
    }
    m_targetFolder = ui::CWindowRef(Item(IDC_EXPORT_TARGET)).GetText();
    bool hasSource = selected || !m_folderId.empty() || m_allFolders;
    ui::CWindowRef(Item(IDOK)).Enable(hasSource && IsExistingFolder(m_targetFolder));
}

bool CDlgExport::OnClicked(int id)
{
    switch (id) {
    case IDC_EXPORT_SELECTED_ONLY:
        _Update();
        return true;
    case IDC_EXPORT_PICK:
        _OnPickSource();
        return true;
    case IDC_EXPORT_BROWSE:
        _OnBrowseTarget();
        return true;
    }
    return ui::CDialog::OnClicked(id);
}

bool CDlgExport::OnCommand(int id, int code, HWND control)
{
    if (id == IDC_EXPORT_FORMAT && code == CBN_SELCHANGE) {
        _UpdateOneFile();
        return true;
    }
    return ui::CDialog::OnCommand(id, code, control);
}

void CDlgExport::_UpdateOneFile()
{
    ui::CButton oneFile(Item(IDC_EXPORT_ONE_FILE));
    const bool csv = ui::CComboBox(Item(IDC_EXPORT_FORMAT)).GetCurSel() == kCsv;
    if (csv && oneFile.IsEnabled())
        m_oneFile = oneFile.IsChecked();  // kept for when a vCard format is chosen again
    oneFile.SetCheck(csv || m_oneFile);
    oneFile.Enable(!csv);
    // A CSV file holds rows of contacts only: a group travels in their Categories.
    ui::CButton(Item(IDC_EXPORT_GROUP_CARDS)).Enable(!csv);
}

bool CDlgExport::OnChanged(int id)
{
    if (id != IDC_EXPORT_TARGET)
        return false;
    _Update();
    return true;
}

void CDlgExport::_OnPickSource()
{
    CDlgPickFolder picker(m_folderId.c_str(), true, m_allFolders);
    HWND owner = ::GetActiveWindow();
    if (picker.DoModal(owner ? owner : Handle()) != IDOK)
        return;
    m_allFolders = picker.AllFoldersChosen();
    m_folderId = picker.SelectedId();
    ui::CWindowRef(Item(IDC_EXPORT_SOURCE))
        .SetText(m_allFolders ? LoadProgramString(IDS_ALL_FOLDERS) : picker.SelectedName());
    _Update();
}

void CDlgExport::_OnBrowseTarget()
{
    m_targetFolder = ui::CWindowRef(Item(IDC_EXPORT_TARGET)).GetText();
    std::string path;
    if (!ui::BrowseForFolder(Handle(), IDS_BROWSE_EXPORT, m_targetFolder, &path))
        return;
    ui::CWindowRef(Item(IDC_EXPORT_TARGET)).SetText(path);
    _Update();
}

void CDlgExport::OnClickedOK()
{
    m_targetFolder = ui::CWindowRef(Item(IDC_EXPORT_TARGET)).GetText();
    m_formatIndex = ui::CComboBox(Item(IDC_EXPORT_FORMAT)).GetCurSel();
    ui::CComboBox encodings(Item(IDC_EXPORT_ENCODING));
    int encoding = encodings.GetCurSel();
    m_encodingName = encoding >= 0 ? encodings.GetItemText(encoding) : std::string();
    if (m_formatIndex != kCsv)
        m_oneFile = ui::CButton(Item(IDC_EXPORT_ONE_FILE)).IsChecked();
    m_groupCards = ui::CButton(Item(IDC_EXPORT_GROUP_CARDS)).IsChecked();
    m_selectedOnly = ui::CButton(Item(IDC_EXPORT_SELECTED_ONLY)).IsChecked();
    _SaveSettings();
    EndDialog(IDOK);
}
