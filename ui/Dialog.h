// Quillon's dialogs: the common dialog base over the program's resources, a dialog that cannot be
// shown logged, the Help button and the stored address-book folder that the export and import
// dialogs share; the shell's folder browser.
#pragma once

#include <windows.h>
#include <string>

#include "common/dialog.h"

namespace ui {

using common::CButton;
using common::CComboBox;
using common::CProgressBar;
using common::CTreeView;
using common::CWindowRef;

class CDialog : public common::CDialog {
public:
    // helpTopic: the page of the help file that the Help button opens (null: no Help button).
    explicit CDialog(UINT templateId, const char* helpTopic = nullptr);

protected:
    void OnShowFailed(HRESULT code) override;
    // The Help button; a dialog hands on here the clicks it does not handle itself.
    bool OnClicked(int id) override;
    // Shows the name of the address-book folder *folderId (remembered from an earlier run) in
    // control id. A folder that is gone since is forgotten: *folderId is cleared, the control empty.
    void ShowStoredFolder(int id, std::string* folderId) const;

private:
    const char* m_helpTopic;
};

// The shell's folder browser (file-system folders only, newer style) with the title of string
// titleId and the current folder selected as it opens. True with *picked set when the user chose
// a folder.
bool BrowseForFolder(HWND owner, UINT titleId, const std::string& current, std::string* picked);

}  // namespace ui
