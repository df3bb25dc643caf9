// What the benchmarks share.
#pragma once

#include <windows.h>

namespace bench {

// Answers the runs' closing messages (caption "Quillon for Outlook Express") shown by the thread
// that made this object, while it lives. A hook on that thread sees each box as it is activated,
// so nothing polls for windows meanwhile: a watcher looking every few milliseconds cost the
// process about a tenth of its CPU time, which the figures then counted as the run's.
class CBoxAnswer {
public:
    CBoxAnswer() { s_hook = ::SetWindowsHookExA(WH_CBT, &CBoxAnswer::_Hook, nullptr, ::GetCurrentThreadId()); }
    ~CBoxAnswer()
    {
        if (s_hook)
            ::UnhookWindowsHookEx(s_hook);
        s_hook = nullptr;
    }
    CBoxAnswer(const CBoxAnswer&) = delete;
    CBoxAnswer& operator=(const CBoxAnswer&) = delete;
    bool IsActive() const { return s_hook != nullptr; }

private:
    static LRESULT CALLBACK _Hook(int code, WPARAM wParam, LPARAM lParam)
    {
        if (code == HCBT_ACTIVATE) {
            HWND hwnd = reinterpret_cast<HWND>(wParam);
            char caption[64] = "";
            ::GetWindowTextA(hwnd, caption, sizeof caption);
            // The box's own loop takes the click once it runs.
            if (lstrcmpA(caption, "Quillon for Outlook Express") == 0)
                ::PostMessageA(hwnd, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
        }
        return ::CallNextHookEx(s_hook, code, wParam, lParam);
    }
    static inline HHOOK s_hook = nullptr;
};

}  // namespace bench
