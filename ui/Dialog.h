// Quillon's dialogs: the common dialog base over the program's resources, a dialog that cannot be
// shown logged; the program's texts for them; the shell's folder browser.
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
    explicit CDialog(UINT templateId);

protected:
    void OnShowFailed(HRESULT code) override;
};

// The string resource `id` of the program, empty when it does not exist.
std::string LoadUiString(UINT id);

// The shell's folder browser (file-system folders only, newer style) with the title of string
// titleId and the current folder selected as it opens. True with *picked set when the user chose
// a folder.
bool BrowseForFolder(HWND owner, UINT titleId, const std::string& current, std::string* picked);

}  // namespace ui
