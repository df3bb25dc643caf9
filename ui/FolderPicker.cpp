#include "ui/FolderPicker.h"

#include <winerror.h>

#include "app/Log.h"

// The picker dialog is not part of this build yet: log it and answer as a closed picker would.
int ShowFolderPicker(HWND owner, std::string* pickedId)
{
    g_log.LogErr("ShowFolderPicker", E_NOTIMPL, "the folder picker is not available in this build");
    return IDCANCEL;
}
