#include "app/DebugWindow.h"

#include <shellapi.h>
#include <string>

#include "base/App.h"
#include "base/LibBrisco.h"
#include "base/Settings.h"
#include "app/resource.h"
#include "ui/FolderPicker.h"
#include "ui/resource.h"
#include "vcard/export/vCardExport.h"
#include "vcard/import/vCardImport.h"
#include "common/guard.h"

namespace {

void PickFolderLoop(HWND owner)
{
    for (;;) {
        std::string picked;
        if (ShowFolderPicker(owner, &picked) != IDOK)
            return;
        if (::MessageBoxA(owner, "Retry?", nullptr, MB_YESNO) != IDYES)
            return;
    }
}

void OnCommand(HWND hwnd, int id)
{
    switch (id) {
    case IDM_IMPORT: {
        CvCardImport run;
        run.Execute(::GetActiveWindow(), nullptr);
        break;
    }
    case IDM_EXPORT: {
        CvCardExport run;
        run.RunExport(::GetActiveWindow(), nullptr);
        break;
    }
    case IDM_EXIT:
        ::DestroyWindow(hwnd);
        break;
    case IDM_ABOUT:
        g_libBrisco.ShowAbout(GetAppInstance());
        break;
    case IDM_OPENLOGS:
        ::ShellExecuteA(hwnd, nullptr, GetDataFolder(), nullptr, nullptr, SW_SHOWNORMAL);
        break;
    case IDM_PICKFOLDER:
        PickFolderLoop(::GetActiveWindow());
        break;
    }
}

LRESULT CALLBACK DebugWndProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp)
{
    return common::Guard<LRESULT>("DebugWndProc", 0, [&]() -> LRESULT {
        switch (msg) {
        case WM_COMMAND:
            switch (LOWORD(wp)) {
            case IDM_IMPORT:
            case IDM_EXPORT:
            case IDM_EXIT:
            case IDM_ABOUT:
            case IDM_OPENLOGS:
            case IDM_PICKFOLDER:
                OnCommand(hwnd, LOWORD(wp));
                return 0;
            }
            break;
        case WM_PAINT:
            ::ValidateRect(hwnd, nullptr);
            return 0;
        case WM_DESTROY:
            ::PostQuitMessage(0);
            return 0;
        }
        return ::DefWindowProcA(hwnd, msg, wp, lp);
    });
}

}  // namespace

bool RunDebugWindow(HINSTANCE instance, int showCommand)
{
    std::string title = LoadProgramString(IDS_APP_TITLE);
    std::string className = LoadProgramString(IDS_WINDOW_CLASS);

    WNDCLASSEXA wc = {};
    wc.cbSize = sizeof wc;
    wc.style = CS_HREDRAW | CS_VREDRAW;
    wc.lpfnWndProc = DebugWndProc;
    wc.hInstance = instance;
    wc.hIcon = ::LoadIconA(instance, "MAIN_ICON");
    wc.hIconSm = ::LoadIconA(instance, "MAIN_ICON");
    wc.hCursor = ::LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_ARROW));
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    wc.lpszMenuName = MAKEINTRESOURCEA(IDR_MAINMENU);
    wc.lpszClassName = className.c_str();
    ::RegisterClassExA(&wc);

    HWND hwnd = ::CreateWindowExA(0, className.c_str(), title.c_str(), WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, 0, 320, 200, nullptr,
                                  nullptr, instance, nullptr);
    if (!hwnd)
        return false;
    ::ShowWindow(hwnd, showCommand);
    ::UpdateWindow(hwnd);

    HACCEL accel = ::LoadAcceleratorsA(instance, MAKEINTRESOURCEA(IDR_MAINMENU));
    MSG msg;
    while (::GetMessageA(&msg, nullptr, 0, 0) > 0) {
        if (!::TranslateAcceleratorA(msg.hwnd, accel, &msg)) {
            ::TranslateMessage(&msg);
            ::DispatchMessageA(&msg);
        }
    }
    return true;
}
