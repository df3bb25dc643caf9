// Windows of other programs that own ours.
#pragma once

#include <windows.h>

namespace common {

// The owner Quillon is given is the window that was in the foreground when it started: a window of
// another program, which may have closed since. Windows refuses to show a message box or dialog
// owned by a closed window, so the user would never see it; it is shown without an owner instead.
HWND LiveOwner(HWND owner);

// MessageBoxA for such an owner; also when the owner closes between the check and the call.
int OwnedMessageBox(HWND owner, const char* text, const char* caption, UINT type);
int OwnedMessageBox(HWND owner, const wchar_t* text, const wchar_t* caption, UINT type);

}  // namespace common
