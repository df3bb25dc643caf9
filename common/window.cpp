#include "common/window.h"

namespace common {

HWND LiveOwner(HWND owner)
{
    return owner && ::IsWindow(owner) ? owner : nullptr;
}

int OwnedMessageBox(HWND owner, const char* text, const char* caption, UINT type)
{
    owner = LiveOwner(owner);
    int answer = ::MessageBoxA(owner, text, caption, type);
    if (answer == 0 && owner && ::GetLastError() == ERROR_INVALID_WINDOW_HANDLE)
        answer = ::MessageBoxA(nullptr, text, caption, type);
    return answer;
}

int OwnedMessageBox(HWND owner, const wchar_t* text, const wchar_t* caption, UINT type)
{
    owner = LiveOwner(owner);
    int answer = ::MessageBoxW(owner, text, caption, type);
    if (answer == 0 && owner && ::GetLastError() == ERROR_INVALID_WINDOW_HANDLE)
        answer = ::MessageBoxW(nullptr, text, caption, type);
    return answer;
}

}  // namespace common
