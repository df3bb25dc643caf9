// The Map Fields dialog: a CSV file has columns whose names no program's set we know has (a
// localised Outlook's, a spreadsheet's own); the user says, column by column, which field of the
// contact each goes to, or leaves it out. The list shows the columns, the box below the field the
// selected one goes to, and its first value to tell what it holds.
#pragma once

#include <windows.h>

#include <string>
#include <utility>
#include <vector>

#include "ui/Dialog.h"

class CDlgMapFields : public ui::CDialog {
public:
    // file: the CSV file's path; columns: each column's name and first value; fields: the names of
    // the fields a column may go to.
    CDlgMapFields(const std::wstring& file, const std::vector<std::pair<std::wstring, std::wstring>>& columns,
                  const std::vector<std::string>& fields);
    virtual ~CDlgMapFields();

    // After OK: per column the index of its field, or -1 when it is left out.
    const std::vector<int>& Choices() const { return m_choices; }

private:
    bool OnInitDialog() override;
    bool OnCommand(int id, int code, HWND control) override;
    // Shows the selected column's field and first value.
    void _ShowColumn();

    std::wstring m_file;
    std::vector<std::pair<std::wstring, std::wstring>> m_columns;
    std::vector<std::string> m_fields;
    std::vector<int> m_choices;
};
