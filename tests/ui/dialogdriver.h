// Runs a modal dialog on the test's thread while a second thread drives it as a user would:
// finds its window, reads and sets controls with messages, presses buttons. Whatever the driver
// leaves open is cancelled once the driver is done, so a failing test never hangs.
#pragma once

#include <windows.h>
#include <commctrl.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "support/testsupport.h"

namespace uitest {

using testsupport::IsChecked;
using testsupport::IsEnabled;
using testsupport::ItemText;
using testsupport::kWait;
using testsupport::SetItemText;

// Visible dialogs (#32770) of this process, topmost first.
inline std::vector<HWND> OwnDialogs()
{
    struct Args {
        std::vector<HWND> found;
    } args;
    ::EnumWindows(
        [](HWND hwnd, LPARAM lp) CALLBACK -> BOOL {
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

// The first of this process's visible dialogs that `matches`, waited for; null when none comes in time.
inline HWND WaitOwnDialog(const std::function<bool(HWND)>& matches, DWORD timeoutMs)
{
    HWND found = nullptr;
    testsupport::WaitUntil(
        [&] {
            for (HWND hwnd : OwnDialogs())
                if (matches(hwnd))
                    return (found = hwnd) != nullptr;
            return false;
        },
        timeoutMs);
    return found;
}

// A visible dialog of this process whose title is exactly `title` and, when a text is given, whose
// static text contains it.
inline HWND WaitDialog(const std::string& title, const std::string& text = std::string(), DWORD timeoutMs = kWait)
{
    return WaitOwnDialog(
        [&](HWND hwnd) {
            return testsupport::WindowText(hwnd) == title &&
                   (text.empty() || testsupport::DialogStaticText(hwnd).find(text) != std::string::npos);
        },
        timeoutMs);
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
        // A driver that gave up half-way (a failed assertion) leaves its dialog open: cancel it,
        // but only long after any dialog the driver did end must have gone, so that a loaded
        // machine never sees a Cancel the test did not mean.
        DWORD start = ::GetTickCount();
        while (!done.load()) {
            if (::GetTickCount() - start > 30000)
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

// Runs a modal dialog (its DoModal) and drives it once its window, titled `title`, is up.
template <class Dialog>
INT_PTR RunDialog(Dialog& dialog, const std::string& title, const std::function<void(HWND)>& drive)
{
    return RunDriven([&] { return dialog.DoModal(nullptr); },
                     [&] {
                         HWND hwnd = WaitDialog(title);
                         ASSERT_NE(hwnd, nullptr) << "the dialog \"" << title << "\" did not open";
                         drive(hwnd);
                     });
}

// Answers this process's message box titled `title` whose text holds `text` with OK and waits until
// it is gone; false when no such box came or it stayed.
inline bool AnswerBox(const std::string& title, const std::string& text = std::string())
{
    HWND box = WaitDialog(title, text);
    if (!box)
        return false;
    testsupport::PostClick(box, IDOK);
    return WaitGone(box);
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

// The tree control among a window's children (the first one), or null.
inline HWND FindTree(HWND window)
{
    HWND found = nullptr;
    ::EnumChildWindows(
        window,
        [](HWND child, LPARAM lp) CALLBACK -> BOOL {
            char cls[64] = "";
            ::GetClassNameA(child, cls, sizeof cls);
            if (std::string(cls) != WC_TREEVIEWA)
                return TRUE;
            *reinterpret_cast<HWND*>(lp) = child;
            return FALSE;
        },
        reinterpret_cast<LPARAM>(&found));
    return found;
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

// Texts of a tree's items: the root's children in display order.
inline std::vector<std::string> TreeChildren(HWND tree, HTREEITEM parent)
{
    std::vector<std::string> out;
    for (HTREEITEM item = TreeView_GetChild(tree, parent); item; item = TreeView_GetNextSibling(tree, item))
        out.push_back(TreeItemText(tree, item));
    return out;
}

// The child of parent with that text, or null.
inline HTREEITEM FindTreeChild(HWND tree, HTREEITEM parent, const std::string& text)
{
    for (HTREEITEM item = TreeView_GetChild(tree, parent); item; item = TreeView_GetNextSibling(tree, item))
        if (TreeItemText(tree, item) == text)
            return item;
    return nullptr;
}

// Where tests make the folders they choose in the shell's folder browser: the root of the system
// drive, a short way from the drive through the browser's tree, along folders no other test
// changes. %TEMP% (and the profile folder holding it) has folders of other tests made and removed
// all the time, and the browser's listings meeting one going away come back incomplete.
inline std::string BrowsableParent()
{
    char drive[MAX_PATH] = "";
    DWORD length = ::GetEnvironmentVariableA("SystemDrive", drive, sizeof drive);
    if (length == 0 || length >= sizeof drive)
        return "C:\\";
    return std::string(drive) + "\\";
}

// The shell's folder browser that `dialog` opened: a dialog of this process other than `dialog`
// with a static text exactly `title`. The browser has done its own start (the owner's callback
// included) before it is shown. Null when no such browser appears in time.
inline HWND WaitFolderBrowser(HWND dialog, const std::string& title, DWORD timeoutMs = kWait)
{
    return WaitOwnDialog(
        [&](HWND hwnd) {
            const std::string statics = "\n" + testsupport::DialogStaticText(hwnd) + "\n";
            return hwnd != dialog && FindTree(hwnd) && statics.find("\n" + title + "\n") != std::string::npos;
        },
        timeoutMs);
}

// An item among the expanded part of a tree whose text ends with `suffix`, or null.
inline HTREEITEM FindExpandedTreeItem(HWND tree, HTREEITEM first, const std::string& suffix)
{
    for (HTREEITEM item = first; item; item = TreeView_GetNextSibling(tree, item)) {
        const std::string text = TreeItemText(tree, item);
        if (text.size() >= suffix.size() && text.compare(text.size() - suffix.size(), suffix.size(), suffix) == 0)
            return item;
        if (TreeView_GetItemState(tree, item, TVIS_EXPANDED) & TVIS_EXPANDED)
            if (HTREEITEM found = FindExpandedTreeItem(tree, TreeView_GetChild(tree, item), suffix))
                return found;
    }
    return nullptr;
}

// Chooses a folder (a full path) in the shell's folder browser the way a user clicks through its
// tree: from the path's drive, which the browser opened to show the folder it started on, down
// folder by folder by name, then selects it; waits until the browser shows it selected. Selecting
// by path (BFFM_SETSELECTION) will not do under Wine: it often stops at a folder above the one
// asked for, and always does once the folders have been left unchanged for a few seconds.
// False when the folder cannot be reached.
inline bool ChooseInFolderBrowser(HWND browser, const std::string& path, DWORD timeoutMs = kWait)
{
    HWND tree = FindTree(browser);
    if (!tree || path.size() < 3 || path[1] != ':')
        return false;
    HTREEITEM item = FindExpandedTreeItem(tree, TreeView_GetRoot(tree), "(" + path.substr(0, 2) + ")");
    for (size_t start = 3; item && start < path.size();) {
        size_t end = path.find('\\', start);
        if (end == std::string::npos)
            end = path.size();
        TreeView_Expand(tree, item, TVE_EXPAND);
        item = FindTreeChild(tree, item, path.substr(start, end - start));
        start = end + 1;
    }
    if (!item)
        return false;
    TreeView_SelectItem(tree, item);
    return testsupport::WaitUntil([&] { return TreeView_GetSelection(tree) == item; }, timeoutMs);
}

// Records the folders that code on one thread asks shell folder browsers to select
// (BFFM_SETSELECTION, the text form), from construction to destruction: what a dialog wants its
// browser to open on, whether or not the browser manages to show it.
class CBrowserSelections {
public:
    explicit CBrowserSelections(DWORD threadId)
    {
        std::lock_guard<std::mutex> hold(_Lock());
        _Paths().clear();
        m_hook = ::SetWindowsHookExA(WH_CALLWNDPROC, _Hook, nullptr, threadId);
    }
    ~CBrowserSelections()
    {
        if (m_hook)
            ::UnhookWindowsHookEx(m_hook);
    }
    CBrowserSelections(const CBrowserSelections&) = delete;
    CBrowserSelections& operator=(const CBrowserSelections&) = delete;

    bool Hooked() const { return m_hook != nullptr; }
    std::vector<std::string> Paths() const
    {
        std::lock_guard<std::mutex> hold(_Lock());
        return _Paths();
    }

private:
    static std::mutex& _Lock()
    {
        static std::mutex lock;
        return lock;
    }
    static std::vector<std::string>& _Paths()
    {
        static std::vector<std::string> paths;
        return paths;
    }
    static LRESULT CALLBACK _Hook(int code, WPARAM wp, LPARAM lp)
    {
        const auto* sent = reinterpret_cast<const CWPSTRUCT*>(lp);
        if (code == HC_ACTION && sent && sent->wParam && sent->lParam &&
            (sent->message == BFFM_SETSELECTIONA || sent->message == BFFM_SETSELECTIONW)) {
            std::string path;
            if (sent->message == BFFM_SETSELECTIONA) {
                path = reinterpret_cast<const char*>(sent->lParam);
            } else {
                char text[MAX_PATH * 2] = "";
                ::WideCharToMultiByte(CP_ACP, 0, reinterpret_cast<const wchar_t*>(sent->lParam), -1, text,
                                      sizeof text, nullptr, nullptr);
                path = text;
            }
            std::lock_guard<std::mutex> hold(_Lock());
            _Paths().push_back(path);
        }
        return ::CallNextHookEx(nullptr, code, wp, lp);
    }

    HHOOK m_hook = nullptr;
};

// What pressing a Help button led to: whether the support library's stand-in answered with its
// box (it has no help file to show), and the topics it was asked for, one "topic\r\n" each.
struct HelpRequest {
    bool answered = false;
    std::string topics;
    std::string viewerCommandLine;  // the help viewer's, when it opened
};

// Presses the Help button of `dialog` with the support library recording the topics it is asked
// for into `recordFile`, and closes what it answers with: the help viewer (hh.exe) on Quillon.chm,
// which the build puts beside the test programs, or, without the file, its box "Help is not
// installed.".
inline HelpRequest PressHelp(HWND dialog, int helpId, const std::string& recordFile)
{
    HelpRequest request;
    ::DeleteFileA(recordFile.c_str());
    testsupport::CScopedEnv helpLog("LIBBRISCO_STANDIN_HELP_LOG", recordFile.c_str());
    testsupport::PostClick(dialog, helpId);
    const DWORD self = ::GetCurrentProcessId();
    HWND box = nullptr;
    testsupport::WaitUntil(
        [&] {
            if (testsupport::FindChildProcess(self, "hh.exe"))
                return true;
            for (HWND hwnd : OwnDialogs()) {
                if (testsupport::WindowText(hwnd) == "Brisco Support" &&
                    testsupport::DialogStaticText(hwnd).find("Help is not installed.") != std::string::npos) {
                    box = hwnd;
                    return true;
                }
            }
            return false;
        },
        kWait);
    if (box) {
        request.answered = true;
        testsupport::PostClick(box, IDOK);
        WaitGone(box);
    } else {
        testsupport::HelpViewer viewer = testsupport::WaitHelpViewer(self, kWait);
        request.answered = viewer.window != nullptr;
        request.viewerCommandLine = viewer.commandLine;
        testsupport::CloseHelpViewer(viewer, kWait);
    }
    request.topics = testsupport::ReadFileBytes(recordFile);
    return request;
}

// Presses the Help button of `dialog` and checks that the support library was asked for exactly
// `topic` and answered, with the dialog still open.
inline void ExpectHelpTopic(HWND dialog, int helpId, const std::string& topic, const std::string& recordFile)
{
    HelpRequest help = PressHelp(dialog, helpId, recordFile);
    EXPECT_TRUE(help.answered) << "the support library did not answer the help request";
    EXPECT_EQ(help.topics, topic + "\r\n");
    if (!help.viewerCommandLine.empty()) {
        EXPECT_NE(std::string::npos, help.viewerCommandLine.find(".chm::/" + topic)) << help.viewerCommandLine;
    }
    EXPECT_TRUE(::IsWindowVisible(dialog)) << "Help closed the dialog";
}

}  // namespace uitest
