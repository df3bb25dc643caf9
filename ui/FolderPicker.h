// The folder picker as the debug window uses it: shows the picker with no preset folder and gives
// the picked folder's entry-identifier text. Returns IDOK when a folder was picked.
#pragma once

#include <windows.h>
#include <string>

int ShowFolderPicker(HWND owner, std::string* pickedId);
