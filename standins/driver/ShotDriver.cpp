// ShotDriver.exe: finds and drives windows for scripts/screenshots.sh, one small step per run, so
// that the script can take each picture (xwd of the X display) between the steps. Windows are
// named by their handle in hexadecimal, as `find` prints it; rectangles are screen pixels.
//
//   ShotDriver.exe find CLASS TITLE [TIMEOUT_MS]   wait for a visible top-level window; prints
//                                                  "HWND LEFT TOP RIGHT BOTTOM"
//        CLASS "*" for any class; TITLE "*" for any, "=text" for an exact title, "~text" for a
//        title that contains text, "?text" for a window whose static texts contain text
//   ShotDriver.exe rect HWND                       prints "HWND LEFT TOP RIGHT BOTTOM"
//   ShotDriver.exe children HWND                   prints "HWND LEFT TOP RIGHT BOTTOM CLASS" for
//                                                  each visible direct child
//   ShotDriver.exe menus [TIMEOUT_MS]              waits for open popup menus; prints each one's
//                                                  "HWND LEFT TOP RIGHT BOTTOM", then their union
//                                                  as "0 LEFT TOP RIGHT BOTTOM"
//   ShotDriver.exe click HWND ID                   presses button ID of a dialog (posted)
//   ShotDriver.exe command HWND ID                 posts WM_COMMAND ID (a menu command)
//   ShotDriver.exe settext HWND ID TEXT            sets a control's text and tells its dialog
//   ShotDriver.exe select HWND ID INDEX            selects item INDEX of a list box and tells
//                                                  its parent (LBN_SELCHANGE)
//   ShotDriver.exe key HWND VK [VK...]             posts key presses (decimal virtual keys)
//   ShotDriver.exe cursor X Y                      moves the mouse pointer
//   ShotDriver.exe move HWND X Y                   moves a window (its size stays)
//   ShotDriver.exe redraw [HWND]                   repaints every open popup menu, or the window
//                                                  and its children once its thread is idle
//   ShotDriver.exe close HWND                      posts WM_CLOSE
//   ShotDriver.exe gone HWND [TIMEOUT_MS]          waits until the window is gone
// Exit code 0, or 1 when a wait timed out or a window or control was not found, 2 on bad usage.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

struct Query {
    std::string cls;
    std::string title;
    HWND found = nullptr;
};

std::string Text(HWND hwnd)
{
    char buf[2048] = "";
    ::SendMessageTimeoutA(hwnd, WM_GETTEXT, sizeof buf, reinterpret_cast<LPARAM>(buf), SMTO_ABORTIFHUNG, 3000,
                          nullptr);
    return buf;
}

std::string ClassOf(HWND hwnd)
{
    char cls[256] = "";
    ::GetClassNameA(hwnd, cls, sizeof cls);
    return cls;
}

BOOL CALLBACK CollectStatic(HWND hwnd, LPARAM lp)
{
    if (lstrcmpiA(ClassOf(hwnd).c_str(), "Static") == 0)
        *reinterpret_cast<std::string*>(lp) += Text(hwnd) + "\n";
    return TRUE;
}

bool TitleMatches(HWND hwnd, const std::string& want)
{
    if (want == "*")
        return true;
    if (want.empty())
        return Text(hwnd).empty();
    std::string rest = want.substr(1);
    switch (want[0]) {
    case '=':
        return Text(hwnd) == rest;
    case '~':
        return Text(hwnd).find(rest) != std::string::npos;
    case '?': {
        std::string statics;
        ::EnumChildWindows(hwnd, CollectStatic, reinterpret_cast<LPARAM>(&statics));
        return statics.find(rest) != std::string::npos;
    }
    default:
        return Text(hwnd) == want;
    }
}

BOOL CALLBACK FindProc(HWND hwnd, LPARAM lp)
{
    auto* q = reinterpret_cast<Query*>(lp);
    if (!::IsWindowVisible(hwnd))
        return TRUE;
    if (q->cls != "*" && ClassOf(hwnd) != q->cls)
        return TRUE;
    if (!TitleMatches(hwnd, q->title))
        return TRUE;
    q->found = hwnd;
    return FALSE;
}

HWND ParseHwnd(const char* text)
{
    return reinterpret_cast<HWND>(static_cast<UINT_PTR>(std::strtoull(text, nullptr, 16)));
}

void PrintRect(HWND hwnd, const RECT& r)
{
    std::printf("%llx %ld %ld %ld %ld\n", static_cast<unsigned long long>(reinterpret_cast<UINT_PTR>(hwnd)), r.left,
                r.top, r.right, r.bottom);
}

bool WaitFor(DWORD timeoutMs, bool (*done)(void*), void* arg)
{
    for (DWORD start = ::GetTickCount();; ::Sleep(100)) {
        if (done(arg))
            return true;
        if (::GetTickCount() - start > timeoutMs)
            return false;
    }
}

BOOL CALLBACK ChildProc(HWND hwnd, LPARAM lp)
{
    if (::GetParent(hwnd) == reinterpret_cast<HWND>(lp) && ::IsWindowVisible(hwnd)) {
        RECT r = {};
        ::GetWindowRect(hwnd, &r);
        std::printf("%llx %ld %ld %ld %ld %s\n", static_cast<unsigned long long>(reinterpret_cast<UINT_PTR>(hwnd)),
                    r.left, r.top, r.right, r.bottom, ClassOf(hwnd).c_str());
    }
    return TRUE;
}

BOOL CALLBACK MenuProc(HWND hwnd, LPARAM lp)
{
    if (::IsWindowVisible(hwnd) && ClassOf(hwnd) == "#32768")
        reinterpret_cast<std::vector<HWND>*>(lp)->push_back(hwnd);
    return TRUE;
}

int Usage()
{
    std::fprintf(stderr, "usage: ShotDriver.exe find|rect|menus|click|command|settext|select|key|cursor|"
                         "move|redraw|close|gone ... (see ShotDriver.cpp)\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 2)
        return Usage();
    std::string verb = argv[1];
    auto timeoutAt = [&](int i, DWORD fallback) { return argc > i ? static_cast<DWORD>(std::atol(argv[i])) : fallback; };

    if (verb == "find" && argc >= 4) {
        Query q{argv[2], argv[3]};
        bool found = WaitFor(
            timeoutAt(4, 30000),
            [](void* a) {
                auto* query = static_cast<Query*>(a);
                query->found = nullptr;
                ::EnumWindows(FindProc, reinterpret_cast<LPARAM>(query));
                return query->found != nullptr;
            },
            &q);
        if (!found) {
            std::fprintf(stderr, "no window of class %s titled %s\n", argv[2], argv[3]);
            return 1;
        }
        RECT r = {};
        ::GetWindowRect(q.found, &r);
        PrintRect(q.found, r);
        return 0;
    }
    if (verb == "menus") {
        std::vector<HWND> menus;
        bool found = WaitFor(
            timeoutAt(2, 30000),
            [](void* a) {
                auto* list = static_cast<std::vector<HWND>*>(a);
                list->clear();
                ::EnumWindows(MenuProc, reinterpret_cast<LPARAM>(list));
                return !list->empty();
            },
            &menus);
        if (!found) {
            std::fprintf(stderr, "no popup menu is open\n");
            return 1;
        }
        RECT all = {};
        for (HWND m : menus) {
            RECT r = {};
            ::GetWindowRect(m, &r);
            PrintRect(m, r);
            ::UnionRect(&all, &all, &r);
        }
        PrintRect(nullptr, all);
        return 0;
    }
    if (verb == "redraw" && argc == 3) {
        // A window shown while its program is still building it: wait for the program to answer,
        // then paint it all before returning.
        HWND window = ParseHwnd(argv[2]);
        DWORD_PTR answer = 0;
        if (!::SendMessageTimeoutA(window, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 30000, &answer))
            return 1;
        return ::RedrawWindow(window, nullptr, nullptr,
                              RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN | RDW_UPDATENOW)
                   ? 0
                   : 1;
    }
    if (verb == "redraw") {
        std::vector<HWND> menus;
        ::EnumWindows(MenuProc, reinterpret_cast<LPARAM>(&menus));
        for (HWND m : menus)
            ::RedrawWindow(m, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN);
        return 0;
    }
    if (verb == "cursor" && argc == 4)
        return ::SetCursorPos(std::atoi(argv[2]), std::atoi(argv[3])) ? 0 : 1;
    if (argc < 3)
        return Usage();

    HWND hwnd = ParseHwnd(argv[2]);
    if (verb == "gone") {
        return WaitFor(timeoutAt(3, 30000), [](void* a) { return !::IsWindow(static_cast<HWND>(a)); }, hwnd) ? 0 : 1;
    }
    if (!::IsWindow(hwnd)) {
        std::fprintf(stderr, "no window %s\n", argv[2]);
        return 1;
    }
    if (verb == "rect") {
        RECT r = {};
        ::GetWindowRect(hwnd, &r);
        PrintRect(hwnd, r);
        return 0;
    }
    if (verb == "children") {
        ::EnumChildWindows(hwnd, ChildProc, reinterpret_cast<LPARAM>(hwnd));
        return 0;
    }
    if (verb == "move" && argc == 5) {
        return ::SetWindowPos(hwnd, nullptr, std::atoi(argv[3]), std::atoi(argv[4]), 0, 0,
                              SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE)
                   ? 0
                   : 1;
    }
    if (verb == "close") {
        ::PostMessageA(hwnd, WM_CLOSE, 0, 0);
        return 0;
    }
    if (verb == "click" && argc == 4) {
        int id = std::atoi(argv[3]);
        ::PostMessageA(hwnd, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(::GetDlgItem(hwnd, id)));
        return 0;
    }
    if (verb == "command" && argc == 4) {
        ::PostMessageA(hwnd, WM_COMMAND, MAKEWPARAM(std::atoi(argv[3]), 0), 0);
        return 0;
    }
    if (verb == "settext" && argc == 5) {
        int id = std::atoi(argv[3]);
        HWND control = ::GetDlgItem(hwnd, id);
        if (!control)
            return 1;
        ::SendMessageA(control, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(argv[4]));
        ::SendMessageA(hwnd, WM_COMMAND, MAKEWPARAM(id, EN_CHANGE), reinterpret_cast<LPARAM>(control));
        return 0;
    }
    if (verb == "select" && argc == 5) {
        int id = std::atoi(argv[3]);
        HWND list = ::GetDlgItem(hwnd, id);
        if (!list)
            return 1;
        ::SendMessageA(list, LB_SETCURSEL, static_cast<WPARAM>(std::atoi(argv[4])), 0);
        ::PostMessageA(hwnd, WM_COMMAND, MAKEWPARAM(id, LBN_SELCHANGE), reinterpret_cast<LPARAM>(list));
        return 0;
    }
    if (verb == "key" && argc >= 4) {
        for (int i = 3; i < argc; ++i) {
            WPARAM vk = static_cast<WPARAM>(std::atoi(argv[i]));
            ::PostMessageA(hwnd, WM_KEYDOWN, vk, 1);
            ::PostMessageA(hwnd, WM_KEYUP, vk, 0xC0000001);
            ::Sleep(300);
        }
        return 0;
    }
    return Usage();
}
