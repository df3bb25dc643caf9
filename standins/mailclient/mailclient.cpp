// The stand-in mail client: a small window with a folder list, the menus File to Help and the
// toolbars that add-ins build through the Tanager SDK. It loads the SDK (TanagerSite) and the
// add-ins named on its command line (by ProgID; "Gimlet.Addin" when none is named), tells them
// the SDK is ready, reports each folder selection, and turns clicks on the add-ins' buttons and
// menu items into the SDK's click events. On close it tells them the SDK shuts down.
//
// How it draws: after every call into the SDK it compares the SDK's revision number with the one
// it drew last and, when they differ, rebuilds its toolbars and add-in menu items from the
// SDK's model (captions, picture files, large or small buttons, drop-down items).
#include <windows.h>
#include <commctrl.h>
#include <wrl/client.h>

#include <string>
#include <vector>

#include "mailclient_ids.h"
#include "tanager.h"
#include "tanager_site.h"

using Microsoft::WRL::ComPtr;
using namespace mailclient;

namespace {

const char* const kFolders[] = {"Inbox", "Outbox", "Sent Items", "Deleted Items", "Drafts"};

struct CToolbarView {
    HWND window = nullptr;
    HIMAGELIST images = nullptr, hotImages = nullptr;
    std::vector<std::vector<std::wstring>> items;  // drop-down captions per button
};

struct CClient {
    HWND window = nullptr;
    HWND folders = nullptr;
    HWND status = nullptr;
    ComPtr<ITanagerSite> site;
    std::vector<ComPtr<IUnknown>> addins;
    std::vector<CToolbarView> toolbars;
    long drawnRevision = -1;
} g_client;

std::wstring Wide(const std::string& text)
{
    int n = ::MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, nullptr, 0);
    std::wstring out(n > 0 ? n - 1 : 0, L'\0');
    if (n > 1)
        ::MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, &out[0], n);
    return out;
}

std::wstring Take(BSTR text)
{
    std::wstring out = text ? std::wstring(text, ::SysStringLen(text)) : std::wstring();
    ::SysFreeString(text);
    return out;
}

void Status(const std::wstring& text) { ::SetWindowTextW(g_client.status, text.c_str()); }

// A picture file at the toolbar's size; a missing file gives an empty square.
HBITMAP LoadPicture(const std::wstring& path, int size)
{
    HBITMAP bitmap = nullptr;
    if (!path.empty())
        bitmap = static_cast<HBITMAP>(::LoadImageW(nullptr, path.c_str(), IMAGE_BITMAP, size, size, LR_LOADFROMFILE));
    if (!bitmap) {
        HDC screen = ::GetDC(nullptr);
        bitmap = ::CreateCompatibleBitmap(screen, size, size);
        HDC dc = ::CreateCompatibleDC(screen);
        HGDIOBJ old = ::SelectObject(dc, bitmap);
        RECT r = {0, 0, size, size};
        ::FillRect(dc, &r, ::GetSysColorBrush(COLOR_BTNFACE));
        ::SelectObject(dc, old);
        ::DeleteDC(dc);
        ::ReleaseDC(nullptr, screen);
    }
    return bitmap;
}

void DestroyToolbars()
{
    for (CToolbarView& view : g_client.toolbars) {
        ::DestroyWindow(view.window);
        if (view.images)
            ::ImageList_Destroy(view.images);
        if (view.hotImages)
            ::ImageList_Destroy(view.hotImages);
    }
    g_client.toolbars.clear();
}

void BuildToolbars()
{
    DestroyToolbars();
    long count = 0;
    g_client.site->get_ToolbarCount(&count);
    for (long t = 0; t < count; ++t) {
        VARIANT_BOOL large = VARIANT_TRUE;
        long hostId = 0, buttons = 0;
        if (FAILED(g_client.site->GetToolbar(t, &large, &hostId, &buttons)))
            continue;
        const int size = large ? 32 : 16;
        CToolbarView view;
        view.window = ::CreateWindowExW(0, TOOLBARCLASSNAMEW, nullptr,
                                        WS_CHILD | WS_VISIBLE | TBSTYLE_FLAT | CCS_NOPARENTALIGN | CCS_NORESIZE |
                                            CCS_NODIVIDER,
                                        0, 0, 0, 0, g_client.window,
                                        reinterpret_cast<HMENU>(static_cast<INT_PTR>(kToolbarIdBase + t)),
                                        ::GetModuleHandleW(nullptr), nullptr);
        ::SendMessageW(view.window, TB_BUTTONSTRUCTSIZE, sizeof(TBBUTTON), 0);
        ::SendMessageW(view.window, TB_SETEXTENDEDSTYLE, 0, TBSTYLE_EX_DRAWDDARROWS);
        view.images = ::ImageList_Create(size, size, ILC_COLOR24, buttons, 0);
        view.hotImages = ::ImageList_Create(size, size, ILC_COLOR24, buttons, 0);
        std::vector<std::wstring> captions(buttons);
        for (long b = 0; b < buttons; ++b) {
            BSTR caption = nullptr, image = nullptr, hover = nullptr;
            long subCount = 0;
            g_client.site->GetButton(t, b, -1, &caption, &image, &hover, &subCount);
            captions[b] = Take(caption);
            HBITMAP picture = LoadPicture(Take(image), size);
            HBITMAP hot = LoadPicture(Take(hover), size);
            ::ImageList_Add(view.images, picture, nullptr);
            ::ImageList_Add(view.hotImages, hot, nullptr);
            ::DeleteObject(picture);
            ::DeleteObject(hot);
            std::vector<std::wstring> items;
            for (long s = 0; s < subCount; ++s) {
                BSTR item = nullptr;
                g_client.site->GetButton(t, b, s, &item, nullptr, nullptr, nullptr);
                items.push_back(Take(item));
            }
            view.items.push_back(items);
        }
        ::SendMessageW(view.window, TB_SETIMAGELIST, 0, reinterpret_cast<LPARAM>(view.images));
        ::SendMessageW(view.window, TB_SETHOTIMAGELIST, 0, reinterpret_cast<LPARAM>(view.hotImages));
        for (long b = 0; b < buttons; ++b) {
            TBBUTTON button = {};
            button.iBitmap = b;
            button.idCommand = ButtonCommand(t, b);
            button.fsState = TBSTATE_ENABLED;
            button.fsStyle = BTNS_BUTTON | BTNS_AUTOSIZE | (view.items[b].empty() ? 0 : BTNS_DROPDOWN);
            button.iString = reinterpret_cast<INT_PTR>(captions[b].c_str());
            ::SendMessageW(view.window, TB_ADDBUTTONSW, 1, reinterpret_cast<LPARAM>(&button));
        }
        ::SendMessageW(view.window, TB_AUTOSIZE, 0, 0);
        g_client.toolbars.push_back(std::move(view));
    }
}

// The add-ins' items at the end of each menu, below a separator.
void BuildMenus()
{
    HMENU bar = ::GetMenu(g_client.window);
    for (int m = 0; m < ::GetMenuItemCount(bar); ++m) {
        HMENU menu = ::GetSubMenu(bar, m);
        for (int i = ::GetMenuItemCount(menu) - 1; i >= 0; --i) {
            UINT id = ::GetMenuItemID(menu, i);
            MENUITEMINFOW info = {sizeof info, MIIM_DATA};
            ::GetMenuItemInfoW(menu, i, TRUE, &info);
            if ((id >= static_cast<UINT>(MenuCommand(0, 0)) && id < static_cast<UINT>(MenuCommand(100, 0))) ||
                info.dwItemData == 1)
                ::DeleteMenu(menu, i, MF_BYPOSITION);
        }
        long count = 0;
        g_client.site->GetMenuItemCount(m, &count);
        if (count > 0) {
            MENUITEMINFOW separator = {sizeof separator, MIIM_FTYPE | MIIM_DATA};
            separator.fType = MFT_SEPARATOR;
            separator.dwItemData = 1;
            ::InsertMenuItemW(menu, ::GetMenuItemCount(menu), TRUE, &separator);
        }
        for (long i = 0; i < count; ++i) {
            BSTR caption = nullptr;
            g_client.site->GetMenuItem(m, i, &caption);
            std::wstring text = Take(caption);
            ::AppendMenuW(menu, MF_STRING, MenuCommand(m, i), text.c_str());
        }
    }
    ::DrawMenuBar(g_client.window);
}

void Layout()
{
    RECT client;
    ::GetClientRect(g_client.window, &client);
    ::SendMessageW(g_client.status, WM_SIZE, 0, 0);
    RECT statusRect;
    ::GetWindowRect(g_client.status, &statusRect);
    int statusHeight = statusRect.bottom - statusRect.top;
    int top = 0;
    for (CToolbarView& view : g_client.toolbars) {
        DWORD size = static_cast<DWORD>(::SendMessageW(view.window, TB_GETBUTTONSIZE, 0, 0));
        int height = HIWORD(size) + 6;
        ::MoveWindow(view.window, 0, top, client.right, height, TRUE);
        top += height;
    }
    ::MoveWindow(g_client.folders, 0, top, 180, client.bottom - top - statusHeight, TRUE);
}

// After each call into the SDK: redraw when an add-in changed what it built.
void Refresh()
{
    long revision = 0;
    g_client.site->get_Revision(&revision);
    if (revision == g_client.drawnRevision)
        return;
    g_client.drawnRevision = revision;
    BuildToolbars();
    BuildMenus();
    Layout();
}

void Delivered(const std::wstring& what, long delivered)
{
    Status(what + L": delivered to " + std::to_wstring(delivered) + L" add-in(s)");
    Refresh();
}

void OnCommand(int id, int code)
{
    if (id == kExitId) {
        ::PostMessageW(g_client.window, WM_CLOSE, 0, 0);
    } else if (id == kFolderListId && code == LBN_SELCHANGE) {
        LRESULT index = ::SendMessageW(g_client.folders, LB_GETCURSEL, 0, 0);
        if (index < 0)
            return;
        long delivered = 0;
        g_client.site->SelectFolder(static_cast<long>(index) + 1, &delivered);
        Delivered(L"Folder " + Wide(kFolders[index]) + L" selected", delivered);
    } else if (id >= ButtonCommand(0, 0) && id < ItemCommand(0, 0, 0)) {
        int t = (id - 1000) / 50, b = (id - 1000) % 50;
        long delivered = 0;
        g_client.site->ClickButton(t, b, -1, &delivered);
        Delivered(L"Button clicked", delivered);
    } else if (id >= ItemCommand(0, 0, 0) && id < MenuCommand(0, 0)) {
        int rest = id - 10000;
        int t = rest / 1000, b = (rest % 1000) / 20, s = rest % 20;
        long delivered = 0;
        g_client.site->ClickButton(t, b, s, &delivered);
        Delivered(L"Drop-down item chosen", delivered);
    } else if (id >= MenuCommand(0, 0)) {
        int rest = id - 30000;
        long delivered = 0;
        g_client.site->ClickMenuItem(rest / 100, rest % 100, &delivered);
        Delivered(L"Menu item chosen", delivered);
    }
}

void OnDropDown(NMTOOLBARW* info)
{
    int t = static_cast<int>(info->hdr.idFrom) - kToolbarIdBase;
    if (t < 0 || t >= static_cast<int>(g_client.toolbars.size()))
        return;
    int b = (info->iItem - 1000) % 50;
    const CToolbarView& view = g_client.toolbars[t];
    if (b < 0 || b >= static_cast<int>(view.items.size()))
        return;
    HMENU popup = ::CreatePopupMenu();
    for (size_t s = 0; s < view.items[b].size(); ++s)
        ::AppendMenuW(popup, MF_STRING, ItemCommand(t, b, static_cast<int>(s)), view.items[b][s].c_str());
    RECT r;
    ::SendMessageW(view.window, TB_GETRECT, info->iItem, reinterpret_cast<LPARAM>(&r));
    ::MapWindowPoints(view.window, nullptr, reinterpret_cast<POINT*>(&r), 2);
    ::TrackPopupMenu(popup, TPM_LEFTALIGN | TPM_TOPALIGN, r.left, r.bottom, 0, g_client.window, nullptr);
    ::DestroyMenu(popup);
}

HMENU MakeMenuBar()
{
    HMENU bar = ::CreateMenu();
    for (const wchar_t* name : {L"&File", L"&Edit", L"&View", L"&Tools", L"&Message", L"&Help"}) {
        HMENU menu = ::CreatePopupMenu();
        if (name[1] == L'F')
            ::AppendMenuW(menu, MF_STRING, kExitId, L"E&xit");
        ::AppendMenuW(bar, MF_POPUP, reinterpret_cast<UINT_PTR>(menu), name);
    }
    return bar;
}

LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_COMMAND:
        OnCommand(LOWORD(wParam), HIWORD(wParam));
        return 0;
    case WM_NOTIFY: {
        auto* header = reinterpret_cast<NMHDR*>(lParam);
        if (header->code == TBN_DROPDOWN) {
            OnDropDown(reinterpret_cast<NMTOOLBARW*>(lParam));
            return TBDDRET_DEFAULT;
        }
        break;
    }
    case WM_SIZE:
        if (g_client.status)
            Layout();
        return 0;
    case WM_CLOSE: {
        long delivered = 0;
        g_client.site->Shutdown(&delivered);
        g_client.addins.clear();  // the add-ins go while their SDK is still loaded
        DestroyToolbars();
        ::DestroyWindow(window);
        return 0;
    }
    case WM_DESTROY:
        ::PostQuitMessage(0);
        return 0;
    default:
        break;
    }
    return ::DefWindowProcA(window, message, wParam, lParam);
}

// The ProgIDs on the command line, separated by blanks.
std::vector<std::wstring> AddinNames()
{
    std::vector<std::wstring> names;
    int argc = 0;
    LPWSTR* argv = ::CommandLineToArgvW(::GetCommandLineW(), &argc);
    for (int i = 1; argv && i < argc; ++i)
        names.push_back(argv[i]);
    ::LocalFree(argv);
    if (names.empty())
        names.push_back(L"Gimlet.Addin");
    return names;
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int show)
{
    if (FAILED(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)))
        return 2;
    INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_BAR_CLASSES | ICC_STANDARD_CLASSES};
    ::InitCommonControlsEx(&controls);

    int result = 0;
    HRESULT hr = ::CoCreateInstance(CLSID_TanagerSite, nullptr, CLSCTX_INPROC_SERVER, IID_ITanagerSite,
                                    &g_client.site);
    if (FAILED(hr)) {
        ::MessageBoxW(nullptr, L"The Tanager SDK is not registered (regsvr32 Tanager.dll).", L"Tanager Mail",
                      MB_OK | MB_ICONERROR);
        ::CoUninitialize();
        return 1;
    }

    WNDCLASSEXA wc = {sizeof wc};
    wc.lpfnWndProc = WindowProc;
    wc.hInstance = instance;
    wc.hCursor = ::LoadCursor(nullptr, IDC_ARROW);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    wc.lpszClassName = kWindowClass;
    ::RegisterClassExA(&wc);
    g_client.window = ::CreateWindowExA(0, kWindowClass, kWindowTitle, WS_OVERLAPPEDWINDOW, CW_USEDEFAULT,
                                        CW_USEDEFAULT, 760, 480, nullptr, MakeMenuBar(), instance, nullptr);
    g_client.folders = ::CreateWindowExA(WS_EX_CLIENTEDGE, "LISTBOX", nullptr,
                                         WS_CHILD | WS_VISIBLE | WS_VSCROLL | LBS_NOTIFY, 0, 0, 180, 300,
                                         g_client.window,
                                         reinterpret_cast<HMENU>(static_cast<INT_PTR>(kFolderListId)), instance,
                                         nullptr);
    for (const char* folder : kFolders)
        ::SendMessageA(g_client.folders, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(folder));
    g_client.status = ::CreateWindowExA(0, STATUSCLASSNAMEA, "", WS_CHILD | WS_VISIBLE, 0, 0, 0, 0, g_client.window,
                                        reinterpret_cast<HMENU>(static_cast<INT_PTR>(kStatusId)), instance, nullptr);

    // The SDK knows the window by a 32-bit number; window handles fit in 32 bits.
    g_client.site->put_HostWindow(static_cast<long>(reinterpret_cast<LONG_PTR>(g_client.window)));
    for (const std::wstring& name : AddinNames()) {
        CLSID clsid;
        ComPtr<IUnknown> addin;
        hr = ::CLSIDFromProgID(name.c_str(), &clsid);
        if (SUCCEEDED(hr))
            hr = ::CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, &addin);
        if (FAILED(hr)) {
            Status(L"Add-in " + name + L" could not be loaded");
            continue;
        }
        g_client.addins.push_back(addin);
    }
    long delivered = 0;
    g_client.site->Ready(&delivered);
    Delivered(L"SDK ready", delivered);
    ::ShowWindow(g_client.window, show);
    ::UpdateWindow(g_client.window);

    MSG msg;
    while (::GetMessageA(&msg, nullptr, 0, 0) > 0) {
        ::TranslateMessage(&msg);
        ::DispatchMessageA(&msg);
    }
    result = static_cast<int>(msg.wParam);
    g_client.addins.clear();
    g_client.site.Reset();
    ::CoUninitialize();
    return result;
}
