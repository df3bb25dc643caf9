#include "common/window.h"

namespace common {

HWND LiveOwner(HWND owner)
{
    return owner && ::IsWindow(owner) ? owner : nullptr;
}

namespace {

// The owner may close between the check and the call: then the box is shown without one.
template <typename Char, typename Show>
int ShowOwned(HWND owner, const Char* text, const Char* caption, UINT type, Show show)
{
    owner = LiveOwner(owner);
    int answer = show(owner, text, caption, type);
    if (answer == 0 && owner && ::GetLastError() == ERROR_INVALID_WINDOW_HANDLE)
        answer = show(nullptr, text, caption, type);
    return answer;
}

}  // namespace

int OwnedMessageBox(HWND owner, const char* text, const char* caption, UINT type)
{
    return ShowOwned(owner, text, caption, type, ::MessageBoxA);
}

int OwnedMessageBox(HWND owner, const wchar_t* text, const wchar_t* caption, UINT type)
{
    return ShowOwned(owner, text, caption, type, ::MessageBoxW);
}

}  // namespace common
