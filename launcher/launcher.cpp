// The SDK's launcher: it exists only to keep the hook library loaded. Whatever Grapnel does, it
// does from its own initialisation and from the hooks and messages it sets up, so this process
// has no window and no work of its own; it waits for messages until someone posts it a quit.
#include <windows.h>

#include "common/guard.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int)
{
    return common::Guard<int>("launcher", 1, [] {
        // A missing or damaged library ends the launcher with 1; the system must not stop it with
        // a box nobody is there to answer.
        ::SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
        // Loaded by file name so the standard search (our own folder first) finds it. It is never
        // freed: it must stay until the process ends.
        if (!::LoadLibraryA("Grapnel.dll"))
            return 1;

        MSG msg;
        // GetMessage gives -1 on error; that ends the loop like a quit message.
        while (::GetMessageA(&msg, nullptr, 0, 0) > 0) {
            ::TranslateMessage(&msg);
            ::DispatchMessageA(&msg);
        }
        return 0;
    });
}
