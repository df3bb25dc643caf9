#include "ui/FolderPicker.h"

#include "ui/DlgPickFolder.h"

int ShowFolderPicker(HWND owner, std::string* pickedId)
{
    CDlgPickFolder picker(nullptr, false, false);
    INT_PTR result = picker.DoModal(owner);
    if (result != IDOK)
        return result == -1 ? IDCANCEL : static_cast<int>(result);
    if (pickedId)
        *pickedId = picker.SelectedId();
    return IDOK;
}
