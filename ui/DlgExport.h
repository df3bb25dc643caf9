// The export dialog: which address-book folder (or all folders, or only the contacts selected when
// the program started), which file-system folder receives the files, the vCard format, the encoding
// and whether all contacts go into one file; or a CSV file instead of vCards. The choices are remembered under the settings key
// between runs; they are read when the dialog object is made and written only on OK.
#pragma once

#include <windows.h>
#include <string>

#include "base/Settings.h"
#include "ui/Dialog.h"

class CDlgExport : public ui::CDialog {
public:
    // selectionFolder: identifier text of the folder holding the first selected contact (null or
    // empty when unknown); selectionCount: entries of the selection list (0 without one).
    CDlgExport(const char* selectionFolder, int selectionCount);
    virtual ~CDlgExport();

    // The choices, valid after OK.
    const std::string& FolderId() const { return m_folderId; }
    bool AllFolders() const { return m_allFolders; }
    const std::string& TargetFolder() const { return m_targetFolder; }
    // The format list's entries, as Export.Format stores them.
    enum { kVCard21 = 0, kVCard30 = 1, kCsv = 2 };
    int FormatIndex() const { return m_formatIndex; }
    const std::string& EncodingName() const { return m_encodingName; }
    // CSV is always one file; the box then shows it, and the vCard choice stays stored.
    bool OneFile() const { return m_oneFile || m_formatIndex == kCsv; }
    bool GroupCards() const { return m_groupCards; }
    bool SelectedOnly() const { return m_selectedOnly; }

private:
    bool OnInitDialog() override;
    bool OnClicked(int id) override;
    bool OnChanged(int id) override;
    bool OnCommand(int id, int code, HWND control) override;
    // The one-file box follows the format: checked and disabled for CSV, the user's own choice
    // for vCard.
    void _UpdateOneFile();
    void OnClickedOK() override;
    void _LoadSettings();
    void _SaveSettings();
    void _Update();
    void _OnPickSource();
    void _OnBrowseTarget();

    // In this order the fields the export run is filled from, then the settings key.
    int m_selectionCount;
    std::string m_selectionFolder;
    std::string m_folderId;
    bool m_allFolders = false;
    std::string m_targetFolder;
    int m_formatIndex = 0;
    std::string m_encodingName;
    bool m_oneFile = false;
    bool m_groupCards = false;
    bool m_selectedOnly = false;
    CSettingsKey m_settings;
};
