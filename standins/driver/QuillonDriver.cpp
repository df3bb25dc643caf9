// QuillonDriver.exe: plays the user for the README's run command. It starts Quillon.exe with a
// mode, waits for its dialog, fills in the file-system folder, presses OK, reads the closing
// message aloud (on standard output), presses its OK and reports Quillon's exit code. The boxes
// a run shows on its way (an invalid element, a file that cannot be opened) are read aloud too
// and answered with OK, which lets the run go on.
//
//   QuillonDriver.exe export <folder for the vCard files>
//   QuillonDriver.exe import <folder that holds the vCard files>
//
// Exit code: Quillon's own, or 2 when a window did not appear in time.
#include <windows.h>

#include <cstdio>
#include <initializer_list>
#include <string>

#include "common/raii.h"
#include "common/text.h"

namespace {

const DWORD kWait = 60000;
// A run itself (a large folder imported under Wine) may take longer than a window takes to appear.
const DWORD kRunWait = 600000;

struct Find {
    DWORD pid;
    const char* title;
    HWND found;
};

BOOL CALLBACK FindProc(HWND hwnd, LPARAM lp)
{
    auto* f = reinterpret_cast<Find*>(lp);
    DWORD pid = 0;
    ::GetWindowThreadProcessId(hwnd, &pid);
    char cls[64] = "", title[256] = "";
    ::GetClassNameA(hwnd, cls, sizeof cls);
    ::GetWindowTextA(hwnd, title, sizeof title);
    if (pid == f->pid && ::IsWindowVisible(hwnd) && std::string(cls) == "#32770" && std::string(title) == f->title) {
        f->found = hwnd;
        return FALSE;
    }
    return TRUE;
}

// The first of the titles' dialogs that shows, and in *which the index of its title.
HWND WaitDialog(DWORD pid, HANDLE process, std::initializer_list<const char*> titles, DWORD wait = kWait,
                size_t* which = nullptr)
{
    for (DWORD start = ::GetTickCount(); ::GetTickCount() - start < wait;) {
        size_t i = 0;
        for (const char* title : titles) {
            Find f{pid, title, nullptr};
            ::EnumWindows(FindProc, reinterpret_cast<LPARAM>(&f));
            if (f.found) {
                if (which)
                    *which = i;
                return f.found;
            }
            ++i;
        }
        if (::WaitForSingleObject(process, 100) == WAIT_OBJECT_0)
            return nullptr;
    }
    return nullptr;
}

HWND WaitDialog(DWORD pid, HANDLE process, const char* title)
{
    return WaitDialog(pid, process, {title});
}

BOOL CALLBACK StaticText(HWND hwnd, LPARAM lp)
{
    char cls[64] = "", text[2048] = "";
    ::GetClassNameA(hwnd, cls, sizeof cls);
    // WM_GETTEXT, not GetWindowText: the controls belong to another process.
    ::SendMessageTimeoutA(hwnd, WM_GETTEXT, sizeof text, reinterpret_cast<LPARAM>(text), SMTO_ABORTIFHUNG, 5000,
                          nullptr);
    if (lstrcmpiA(cls, "Static") == 0 && text[0])
        *reinterpret_cast<std::string*>(lp) += text;
    return TRUE;
}

void Click(HWND dialog, int id)
{
    ::PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(::GetDlgItem(dialog, id)));
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 3 || (std::string(argv[1]) != "export" && std::string(argv[1]) != "import")) {
        std::fprintf(stderr, "usage: QuillonDriver export|import <folder>\n");
        return 1;
    }
    bool exporting = std::string(argv[1]) == "export";
    std::string quillon = common::FolderOf(common::ModuleFileName(nullptr)) + "\\Quillon.exe";
    std::string cmd = "\"" + quillon + "\" " + (exporting ? "-export" : "-import");

    STARTUPINFOA si = {};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi = {};
    if (!::CreateProcessA(nullptr, &cmd[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) {
        std::fprintf(stderr, "cannot start %s\n", quillon.c_str());
        return 2;
    }
    common::CHandle process(pi.hProcess), thread(pi.hThread);

    const char* title = exporting ? "Export" : "Import";
    HWND dialog = WaitDialog(pi.dwProcessId, process.get(), title);
    if (!dialog) {
        std::fprintf(stderr, "the %s dialog did not appear\n", title);
        ::TerminateProcess(process.get(), 2);
        return 2;
    }
    // The file-system folder field: 1007 in the export dialog, 1007 in the import dialog too.
    HWND folderField = ::GetDlgItem(dialog, 1007);
    ::SendMessageA(folderField, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(argv[2]));
    ::SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(1007, EN_CHANGE), reinterpret_cast<LPARAM>(folderField));
    char source[512] = "";
    ::SendMessageA(::GetDlgItem(dialog, 1006), WM_GETTEXT, sizeof source, reinterpret_cast<LPARAM>(source));
    std::printf("%s dialog: address-book folder \"%s\", file folder \"%s\"; pressing OK\n", title, source, argv[2]);
    std::fflush(stdout);
    for (DWORD start = ::GetTickCount(); !::IsWindowEnabled(::GetDlgItem(dialog, IDOK));) {
        if (::GetTickCount() - start > kWait) {
            std::fprintf(stderr, "OK stayed disabled\n");
            ::TerminateProcess(process.get(), 2);
            return 2;
        }
        ::Sleep(50);
    }
    Click(dialog, IDOK);

    HWND box = nullptr;
    for (;;) {
        size_t which = 0;
        box = WaitDialog(pi.dwProcessId, process.get(), {"Quillon for Outlook Express", "Quillon"}, kRunWait, &which);
        if (!box)
            break;
        std::string text;
        ::EnumChildWindows(box, StaticText, reinterpret_cast<LPARAM>(&text));
        std::printf("%s: %s\n", which == 0 ? "Closing message" : "Message", text.c_str());
        std::fflush(stdout);
        Click(box, IDOK);
        if (which == 0)
            break;
        // Until the box has gone, it would be read again.
        for (DWORD start = ::GetTickCount(); ::IsWindow(box) && ::GetTickCount() - start < kWait;)
            ::Sleep(20);
    }
    if (::WaitForSingleObject(process.get(), kWait) != WAIT_OBJECT_0) {
        std::fprintf(stderr, "Quillon did not end\n");
        ::TerminateProcess(process.get(), 2);
        return 2;
    }
    DWORD code = 0;
    ::GetExitCodeProcess(process.get(), &code);
    std::printf("Quillon ended with exit code %ld\n", static_cast<long>(code));
    return box ? static_cast<int>(code) : 2;
}
