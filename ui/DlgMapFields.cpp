#include "ui/DlgMapFields.h"

#include "ui/resource.h"

namespace {

const char kHelpTopic[] = "CSV_files.htm";
// The first entry of the field box: the column is not read.
const char kLeaveOut[] = "(leave out)";

}  // namespace

CDlgMapFields::CDlgMapFields(const std::wstring& file,
                             const std::vector<std::pair<std::wstring, std::wstring>>& columns,
                             const std::vector<std::string>& fields)
    : ui::CDialog(IDD_MAP_FIELDS, kHelpTopic),
      m_file(file),
      m_columns(columns),
      m_fields(fields),
      m_choices(columns.size(), -1)
{
}

CDlgMapFields::~CDlgMapFields() = default;

bool CDlgMapFields::OnInitDialog()
{
    // In UTF-16: the file and its columns may be named in any script.
    ::SetWindowTextW(Item(IDC_MAP_FILE), m_file.c_str());
    HWND list = Item(IDC_MAP_COLUMNS);
    for (const auto& column : m_columns)
        ::SendMessageW(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(column.first.c_str()));
    ui::CComboBox fields(Item(IDC_MAP_FIELD));
    fields.AddString(kLeaveOut);
    for (const std::string& field : m_fields)
        fields.AddString(field.c_str());
    ::SendMessageW(list, LB_SETCURSEL, 0, 0);
    _ShowColumn();
    return true;
}

void CDlgMapFields::_ShowColumn()
{
    int column = static_cast<int>(::SendMessageW(Item(IDC_MAP_COLUMNS), LB_GETCURSEL, 0, 0));
    bool valid = column >= 0 && static_cast<size_t>(column) < m_columns.size();
    ui::CComboBox fields(Item(IDC_MAP_FIELD));
    fields.SetCurSel(valid ? m_choices[static_cast<size_t>(column)] + 1 : 0);
    fields.Enable(valid);
    ::SetWindowTextW(Item(IDC_MAP_SAMPLE), valid ? m_columns[static_cast<size_t>(column)].second.c_str() : L"");
}

bool CDlgMapFields::OnCommand(int id, int code, HWND control)
{
    if (id == IDC_MAP_COLUMNS && code == LBN_SELCHANGE) {
        _ShowColumn();
        return true;
    }
    if (id == IDC_MAP_FIELD && code == CBN_SELCHANGE) {
        int column = static_cast<int>(::SendMessageW(Item(IDC_MAP_COLUMNS), LB_GETCURSEL, 0, 0));
        int field = ui::CComboBox(Item(IDC_MAP_FIELD)).GetCurSel();
        if (column >= 0 && static_cast<size_t>(column) < m_choices.size() && field >= 0)
            m_choices[static_cast<size_t>(column)] = field - 1;
        return true;
    }
    return ui::CDialog::OnCommand(id, code, control);
}
