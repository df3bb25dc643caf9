// Runs a modal dialog on the test's thread while a second thread drives it as a user would:
// finds its window, reads and sets controls with messages, presses buttons. Whatever the driver
// leaves open is cancelled once the driver is done, so a failing test never hangs.
#pragma once

#include <windows.h>
#include <commctrl.h>

#include <atomic>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "support/testsupport.h"

namespace uitest {

const DWORD kWait = 10000;

// Visible dialogs (#32770) of this process, topmost first.
inline std::vector<HWND> OwnDialogs()
{
    struct Args {
        std::vector<HWND> found;
    } args;
    ::EnumWindows(
        [](HWND hwnd, LPARAM lp) -> BOOL {
            DWORD pid = 0;
            ::GetWindowThreadProcessId(hwnd, &pid);
            char cls[64] = "";
            ::GetClassNameA(hwnd, cls, sizeof cls);
            if (pid == ::GetCurrentProcessId() && ::IsWindowVisible(hwnd) && std::string(cls) == "#32770")
                reinterpret_cast<Args*>(lp)->found.push_back(hwnd);
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&args));
    return args.found;
}

// A visible dialog of this process whose title is exactly `title`, or whose static text contains
// `text` when a text is given.
inline HWND WaitDialog(const std::string& title, const std::string& text = std::string(), DWORD timeoutMs = kWait)
{
    HWND found = nullptr;
    testsupport::WaitUntil(
        [&] {
            for (HWND hwnd : OwnDialogs()) {
                if (testsupport::WindowText(hwnd) != title)
                    continue;
                if (!text.empty() && testsupport::DialogStaticText(hwnd).find(text) == std::string::npos)
                    continue;
                found = hwnd;
                return true;
            }
            return false;
        },
        timeoutMs);
    return found;
}

inline bool WaitGone(HWND hwnd, DWORD timeoutMs = kWait)
{
    return testsupport::WaitUntil([&] { return !::IsWindow(hwnd) || !::IsWindowVisible(hwnd); }, timeoutMs);
}

// After a modal child of dialog (picker, browser, message box) was ended: waits until the child
// is destroyed and the dialog's thread has finished the handler that showed it.
inline bool Settle(HWND dialog, HWND child, DWORD timeoutMs = kWait)
{
    if (!testsupport::WaitUntil([&] { return !::IsWindow(child); }, timeoutMs))
        return false;
    DWORD_PTR ignored = 0;
    return ::SendMessageTimeoutA(dialog, WM_NULL, 0, 0, SMTO_NORMAL, timeoutMs, &ignored) != 0;
}

// Runs modal() here and drive() on a second thread; returns what modal() returned.
inline INT_PTR RunDriven(const std::function<INT_PTR()>& modal, const std::function<void()>& drive)
{
    std::atomic<bool> done{false};
    std::thread driver([&] {
        drive();
        // Give a dialog the driver ended time to go, then cancel whatever is still open.
        DWORD start = ::GetTickCount();
        while (!done.load()) {
            if (::GetTickCount() - start > 5000)
                for (HWND hwnd : OwnDialogs())
                    ::PostMessageA(hwnd, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
            ::Sleep(50);
        }
    });
    INT_PTR result = modal();
    done.store(true);
    driver.join();
    return result;
}

inline std::string ItemText(HWND dialog, int id)
{
    return testsupport::WindowText(::GetDlgItem(dialog, id));
}

inline void SetItemText(HWND dialog, int id, const std::string& text)
{
    ::SendMessageA(::GetDlgItem(dialog, id), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
}

inline bool IsChecked(HWND dialog, int id)
{
    return ::SendMessageA(::GetDlgItem(dialog, id), BM_GETCHECK, 0, 0) == BST_CHECKED;
}

inline bool IsEnabled(HWND dialog, int id)
{
    return ::IsWindowEnabled(::GetDlgItem(dialog, id)) != FALSE;
}

inline bool IsShown(HWND dialog, int id)
{
    return ::IsWindowVisible(::GetDlgItem(dialog, id)) != FALSE;
}

// Clicks a control and waits until the dialog has handled the click.
inline void Click(HWND dialog, int id)
{
    ::SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(::GetDlgItem(dialog, id)));
}

// Texts of a tree's items: the root's children in display order.
inline std::vector<std::string> TreeChildren(HWND tree, HTREEITEM parent)
{
    std::vector<std::string> out;
    for (HTREEITEM item = TreeView_GetChild(tree, parent); item; item = TreeView_GetNextSibling(tree, item)) {
        char text[260] = "";
        TVITEMA tvi = {};
        tvi.mask = TVIF_TEXT | TVIF_HANDLE;
        tvi.hItem = item;
        tvi.pszText = text;
        tvi.cchTextMax = sizeof text;
        ::SendMessageA(tree, TVM_GETITEMA, 0, reinterpret_cast<LPARAM>(&tvi));
        out.push_back(text);
    }
    return out;
}

inline std::string TreeItemText(HWND tree, HTREEITEM item)
{
    char text[260] = "";
    TVITEMA tvi = {};
    tvi.mask = TVIF_TEXT | TVIF_HANDLE;
    tvi.hItem = item;
    tvi.pszText = text;
    tvi.cchTextMax = sizeof text;
    if (!item || !::SendMessageA(tree, TVM_GETITEMA, 0, reinterpret_cast<LPARAM>(&tvi)))
        return std::string();
    return text;
}

// The child of parent with that text, or null.
inline HTREEITEM FindTreeChild(HWND tree, HTREEITEM parent, const std::string& text)
{
    for (HTREEITEM item = TreeView_GetChild(tree, parent); item; item = TreeView_GetNextSibling(tree, item))
        if (TreeItemText(tree, item) == text)
            return item;
    return nullptr;
}

}  // namespace uitest
