// WabHost.exe: plays the Windows Address Book window for its context-menu extensions (Ferrule.DLL
// among them), which Wine cannot host.
//
//   WabHost.exe [-store FILE] [-folder FOLDER] [-command export|import|none] [-show] [-wait SECONDS]
//               [NAME...]
//
// It opens the address book (WAB32.DLL beside it, through WABOpen; FILE names the store, else the
// default one), lists the contacts and groups of one folder (FOLDER, by name; the personal address
// book when not given), and selects those whose display names are given (all of them when no name
// is given). Names are printed in UTF-8 and matched in the ANSI code page. Then it does what the
// address book window does with its context-menu extensions: it reads their list, the value names
// of HKLM\Software\Microsoft\WAB\WAB4\ExtContext (each a class identifier; the data is not
// read), creates each listed class through COM (an extension that cannot be created is left out,
// as the address book leaves it out), hands each the selection as an address list through
// IWABExtInit, lets each add its items to one real popup menu with IContextMenu::QueryContextMenu
// (each from the next free command id on), prints the menu with the help texts, and invokes the
// command named by -command ("export" by default) through the extension whose item it is. With
// -show the menu is shown at the mouse instead and the command the user picks is invoked. With
// -wait the host then waits, up to SECONDS (0: without limit), for the converter it caused to
// start (a Quillon.exe whose parent is this process) to end, as the address book window would stay
// open meanwhile.
//
// Exit codes: 0 done; 1 bad command line; 2 address book or folder; 3 no listed extension could be
// created (none listed, or none registered); 4 menu; 5 a name matched no entry; 6 the command
// failed or was not found.
#include <windows.h>
#include <shlobj.h>
#include <wabdefs.h>
#include <wabcode.h>
#include <wabtags.h>
#include <wabiab.h>
#include <wabapi.h>
#include <tlhelp32.h>
#include <wrl/client.h>

#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "common/raii.h"
#include "common/text.h"

using Microsoft::WRL::ComPtr;

namespace {

// The address book's list of context-menu extensions.
const char kExtContextKey[] = "Software\\Microsoft\\WAB\\WAB4\\ExtContext";
const IID kIidWabExtInit = {0xEA22EBF0, 0x87A4, 0x11D1, {0x9A, 0xCF, 0x00, 0xA0, 0xC9, 0x1F, 0x9C, 0x8B}};
const UINT kFirstId = 1000;
const UINT kLastId = 1999;

enum Exit { kDone = 0, kUsage = 1, kAddressBook = 2, kNoExtension = 3, kMenu = 4, kNoSuchName = 5, kCommand = 6 };

struct COptions {
    std::string store;
    std::string folder;
    std::string command = "export";
    bool show = false;
    bool wait = false;
    DWORD waitMs = INFINITE;
    std::vector<std::string> names;
};

bool ParseOptions(int argc, char** argv, COptions* options)
{
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        if (arg == "-store" && i + 1 < argc) {
            options->store = argv[++i];
        } else if (arg == "-folder" && i + 1 < argc) {
            options->folder = argv[++i];
        } else if (arg == "-command" && i + 1 < argc) {
            options->command = argv[++i];
            if (options->command != "export" && options->command != "import" && options->command != "none")
                return false;
        } else if (arg == "-wait" && i + 1 < argc) {
            char* end = nullptr;
            unsigned long seconds = std::strtoul(argv[++i], &end, 10);
            if (!end || *end || seconds > 86400)
                return false;
            options->wait = true;
            options->waitMs = seconds ? static_cast<DWORD>(seconds * 1000) : INFINITE;
        } else if (arg == "-show") {
            options->show = true;
        } else if (!arg.empty() && arg[0] == '-') {
            return false;
        } else {
            options->names.push_back(arg);
        }
    }
    return true;
}

// The address book session and the rows of the personal address book's contents table.
class CAddressBook {
public:
    ~CAddressBook()
    {
        if (m_rows)
            _FreeRows();
        m_book.Reset();
        m_wab.Reset();
    }

    HRESULT Open(const std::string& store)
    {
        m_library.reset(LoadLibraryA("wab32.dll"));
        if (!m_library)
            return common::HResultFromLastError();
        auto open = reinterpret_cast<LPWABOPEN>(GetProcAddress(m_library.get(), "WABOpen"));
        if (!open)
            return common::HResultFromLastError();
        WAB_PARAM param = {};
        param.cbSize = sizeof(param);
        param.szFileName = store.empty() ? nullptr : const_cast<char*>(store.c_str());
        return open(m_book.GetAddressOf(), m_wab.GetAddressOf(), &param, 0);
    }

    // Reads the contents of the folder of that name, or of the personal address book.
    HRESULT ReadFolder(const std::wstring& folder)
    {
        ULONG cb = 0;
        LPENTRYID id = nullptr;
        HRESULT hr = folder.empty() ? m_book->GetPAB(&cb, &id) : _FindFolder(folder, &cb, &id);
        if (FAILED(hr))
            return hr;
        ULONG type = 0;
        ComPtr<IABContainer> container;
        hr = m_book->OpenEntry(cb, id, nullptr, 0, &type, reinterpret_cast<IUnknown**>(container.GetAddressOf()));
        m_wab->FreeBuffer(id);
        if (FAILED(hr))
            return hr;
        ComPtr<IMAPITable> table;
        hr = container->GetContentsTable(0, table.GetAddressOf());
        if (FAILED(hr))
            return hr;
        SizedSPropTagArray(3, columns) = {3, {PR_ENTRYID, PR_OBJECT_TYPE, PR_DISPLAY_NAME_W}};
        hr = table->SetColumns(reinterpret_cast<LPSPropTagArray>(&columns), 0);
        if (FAILED(hr))
            return hr;
        return table->QueryRows(0x7FFFFFFF, 0, &m_rows);
    }

    const SRowSet* rows() const { return m_rows; }

private:
    static void _FreeRows(IWABObject* wab, LPSRowSet rows)
    {
        for (ULONG i = 0; i < rows->cRows; ++i)
            wab->FreeBuffer(rows->aRow[i].lpProps);
        wab->FreeBuffer(rows);
    }
    void _FreeRows()
    {
        _FreeRows(m_wab.Get(), m_rows);
        m_rows = nullptr;
    }

    // The folder of that name among the root container's subfolders; a copy of its identifier
    // that the caller frees.
    HRESULT _FindFolder(const std::wstring& name, ULONG* cb, LPENTRYID* id)
    {
        ULONG type = 0;
        ComPtr<IABContainer> root;
        HRESULT hr = m_book->OpenEntry(0, nullptr, nullptr, 0, &type, reinterpret_cast<IUnknown**>(root.GetAddressOf()));
        if (FAILED(hr))
            return hr;
        ComPtr<IMAPITable> table;
        hr = root->GetHierarchyTable(0, table.GetAddressOf());
        if (FAILED(hr))
            return hr;
        SizedSPropTagArray(2, columns) = {2, {PR_ENTRYID, PR_DISPLAY_NAME_W}};
        hr = table->SetColumns(reinterpret_cast<LPSPropTagArray>(&columns), 0);
        LPSRowSet rows = nullptr;
        if (SUCCEEDED(hr))
            hr = table->QueryRows(0x7FFFFFFF, 0, &rows);
        if (FAILED(hr))
            return hr;
        hr = MAPI_E_NOT_FOUND;
        for (ULONG i = 0; i < rows->cRows && hr == MAPI_E_NOT_FOUND; ++i) {
            const SPropValue* props = rows->aRow[i].lpProps;
            if (rows->aRow[i].cValues < 2 || props[0].ulPropTag != PR_ENTRYID ||
                props[1].ulPropTag != PR_DISPLAY_NAME_W || !props[1].Value.lpszW || name != props[1].Value.lpszW)
                continue;
            hr = m_wab->AllocateBuffer(props[0].Value.bin.cb ? props[0].Value.bin.cb : 1, reinterpret_cast<LPVOID*>(id));
            if (SUCCEEDED(hr)) {
                memcpy(*id, props[0].Value.bin.lpb, props[0].Value.bin.cb);
                *cb = props[0].Value.bin.cb;
            }
        }
        _FreeRows(m_wab.Get(), rows);
        return hr;
    }

    common::CModule m_library;
    ComPtr<IAddrBook> m_book;
    ComPtr<IWABObject> m_wab;
    LPSRowSet m_rows = nullptr;
};

const SPropValue* FindProp(const SRow& row, ULONG tag)
{
    for (ULONG i = 0; i < row.cValues; ++i) {
        if (row.lpProps[i].ulPropTag == tag)
            return &row.lpProps[i];
    }
    return nullptr;
}

std::wstring DisplayName(const SRow& row)
{
    const SPropValue* name = FindProp(row, PR_DISPLAY_NAME_W);
    return name && name->Value.lpszW ? name->Value.lpszW : L"";
}

std::wstring Widen(const std::string& text, UINT codePage)
{
    int n = MultiByteToWideChar(codePage, 0, text.c_str(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring wide(n > 0 ? static_cast<size_t>(n) : 0, L'\0');
    if (n > 0)
        MultiByteToWideChar(codePage, 0, text.c_str(), static_cast<int>(text.size()), &wide[0], n);
    return wide;
}

std::string Utf8(const std::wstring& text)
{
    int n = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    std::string out(n > 0 ? static_cast<size_t>(n) : 0, '\0');
    if (n > 0)
        WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), &out[0], n, nullptr, nullptr);
    return out;
}

// The host's address list: the chosen rows' property values, in table order.
class CSelection {
public:
    void Add(const SRow& row) { m_rows.push_back(&row); }
    size_t size() const { return m_rows.size(); }

    ADRLIST* Build()
    {
        m_buffer.assign(offsetof(ADRLIST, aEntries) + sizeof(ADRENTRY) * (m_rows.empty() ? 1 : m_rows.size()), 0);
        ADRLIST* list = reinterpret_cast<ADRLIST*>(m_buffer.data());
        list->cEntries = static_cast<ULONG>(m_rows.size());
        for (size_t i = 0; i < m_rows.size(); ++i) {
            list->aEntries[i].ulReserved1 = 0;
            list->aEntries[i].cValues = m_rows[i]->cValues;
            list->aEntries[i].rgPropVals = m_rows[i]->lpProps;
        }
        return list;
    }

private:
    std::vector<const SRow*> m_rows;
    std::vector<unsigned char> m_buffer;
};

std::string MenuText(HMENU menu, UINT position)
{
    char text[256] = {};
    GetMenuStringA(menu, position, text, sizeof(text), MF_BYPOSITION);
    return text;
}

// A created extension and the command ids it took.
struct CExtension {
    std::string name;
    ComPtr<IContextMenu> menu;
    UINT firstId = 0;
    UINT count = 0;
};

// The extension that owns a command id; null when none does.
const CExtension* OwnerOf(const std::vector<CExtension>& extensions, UINT id)
{
    for (const CExtension& e : extensions) {
        if (id >= e.firstId && id - e.firstId < e.count)
            return &e;
    }
    return nullptr;
}

// The value names under the extension list, in the registry's order; none when there is no list.
std::vector<std::string> ListedExtensions()
{
    std::vector<std::string> names;
    common::CRegKey key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kExtContextKey, 0, KEY_READ, key.put()) != ERROR_SUCCESS)
        return names;
    for (DWORD i = 0;; ++i) {
        // A class identifier in braces is 38 characters; a longer name names no class.
        char name[64] = {};
        DWORD size = sizeof(name);
        LONG rc = RegEnumValueA(key.get(), i, name, &size, nullptr, nullptr, nullptr, nullptr);
        if (rc == ERROR_MORE_DATA) {
            std::printf("extension list: a value name too long for a class identifier is skipped\n");
            continue;
        }
        if (rc != ERROR_SUCCESS)
            break;
        names.push_back(name);
    }
    return names;
}

// Creates one listed extension and hands it the selection; false (and a line saying why) when
// the name is no class identifier or the class cannot be created or initialised.
bool CreateExtension(const std::string& name, WABEXTDISPLAY* display, CExtension* extension)
{
    CLSID clsid = {};
    HRESULT hr = CLSIDFromString(Widen(name, CP_ACP).c_str(), &clsid);
    if (SUCCEEDED(hr))
        hr = CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IContextMenu,
                              reinterpret_cast<void**>(extension->menu.GetAddressOf()));
    ComPtr<IWABExtInit> init;
    if (SUCCEEDED(hr))
        hr = extension->menu->QueryInterface(kIidWabExtInit, reinterpret_cast<void**>(init.GetAddressOf()));
    if (SUCCEEDED(hr))
        hr = init->Initialize(display);
    if (FAILED(hr)) {
        std::printf("extension %s: cannot be created (0x%08lX)\n", name.c_str(), static_cast<unsigned long>(hr));
        extension->menu.Reset();
        return false;
    }
    extension->name = name;
    return true;
}

void PrintMenu(const std::vector<CExtension>& extensions, HMENU menu)
{
    int count = GetMenuItemCount(menu);
    for (int i = 0; i < count; ++i) {
        HMENU sub = GetSubMenu(menu, i);
        std::printf("  %s\n", MenuText(menu, static_cast<UINT>(i)).c_str());
        if (!sub)
            continue;
        for (int j = 0; j < GetMenuItemCount(sub); ++j) {
            UINT id = GetMenuItemID(sub, j);
            const CExtension* owner = OwnerOf(extensions, id);
            UINT offset = owner ? id - owner->firstId : 0;
            char help[256] = {};
            HRESULT hr = owner ? owner->menu->GetCommandString(offset, GCS_HELPTEXTA, nullptr, help, sizeof(help))
                               : E_INVALIDARG;
            MENUITEMINFOA info = {};
            info.cbSize = sizeof(info);
            info.fMask = MIIM_CHECKMARKS;
            GetMenuItemInfoA(sub, static_cast<UINT>(j), TRUE, &info);
            std::printf("    %-28s id %u (offset %u), bitmap %s, help \"%s\"\n", MenuText(sub, static_cast<UINT>(j)).c_str(),
                        id, offset, info.hbmpUnchecked ? "yes" : "no", SUCCEEDED(hr) ? help : "");
        }
    }
}

// The id of the submenu item with this text; 0 when there is none.
UINT FindCommand(HMENU menu, const std::string& text)
{
    for (int i = 0; i < GetMenuItemCount(menu); ++i) {
        if (HMENU sub = GetSubMenu(menu, i)) {
            for (int j = 0; j < GetMenuItemCount(sub); ++j) {
                if (MenuText(sub, static_cast<UINT>(j)) == text)
                    return GetMenuItemID(sub, j);
            }
        }
    }
    return 0;
}

// Shows the menu at the mouse in a small window of our own; gives the picked id or 0.
UINT TrackMenu(HMENU menu)
{
    HWND owner = CreateWindowExA(0, "STATIC", "Address Book (stand-in host)", WS_OVERLAPPEDWINDOW | WS_VISIBLE,
                                 CW_USEDEFAULT, CW_USEDEFAULT, 320, 200, nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
    if (!owner)
        return 0;
    SetForegroundWindow(owner);
    POINT at = {};
    GetCursorPos(&at);
    UINT id = static_cast<UINT>(TrackPopupMenu(menu, TPM_RETURNCMD | TPM_NONOTIFY, at.x, at.y, 0, owner, nullptr));
    DestroyWindow(owner);
    return id;
}

// The converter started by this process, found among its child processes by file name.
common::CHandle FindConverter()
{
    common::CFileHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    if (!snapshot)
        return common::CHandle();
    PROCESSENTRY32 entry = {};
    entry.dwSize = sizeof(entry);
    for (BOOL more = Process32First(snapshot.get(), &entry); more; more = Process32Next(snapshot.get(), &entry)) {
        if (entry.th32ParentProcessID == GetCurrentProcessId() && lstrcmpiA(entry.szExeFile, "Quillon.exe") == 0)
            return common::CHandle(OpenProcess(SYNCHRONIZE, FALSE, entry.th32ProcessID));
    }
    return common::CHandle();
}

void WaitForConverter(DWORD timeoutMs)
{
    common::CHandle converter = FindConverter();
    if (!converter) {
        std::printf("no converter process to wait for\n");
        return;
    }
    std::printf("waiting for Quillon.exe to end...\n");
    std::fflush(stdout);
    if (WaitForSingleObject(converter.get(), timeoutMs) == WAIT_OBJECT_0)
        std::printf("Quillon.exe ended\n");
    else
        std::printf("Quillon.exe still runs\n");
}

int Run(const COptions& options)
{
    CAddressBook book;
    HRESULT hr = book.Open(options.store);
    if (SUCCEEDED(hr))
        hr = book.ReadFolder(Widen(options.folder, CP_ACP));
    if (FAILED(hr)) {
        std::printf("address book: cannot read the folder (0x%08lX)\n", static_cast<unsigned long>(hr));
        return kAddressBook;
    }

    CSelection selection;
    std::vector<bool> matched(options.names.size(), false);
    std::printf("%s:\n", options.folder.empty() ? "Personal address book" : options.folder.c_str());
    const SRowSet* rows = book.rows();
    for (ULONG i = 0; i < rows->cRows; ++i) {
        const SRow& row = rows->aRow[i];
        const SPropValue* type = FindProp(row, PR_OBJECT_TYPE);
        std::wstring name = DisplayName(row);
        bool chosen = options.names.empty();
        for (size_t n = 0; n < options.names.size(); ++n) {
            if (Widen(options.names[n], CP_ACP) == name) {
                chosen = true;
                matched[n] = true;
            }
        }
        std::printf("  %c %-30s %s\n", chosen ? '*' : ' ', Utf8(name).c_str(),
                    type && type->Value.l == MAPI_DISTLIST ? "group" : "contact");
        if (chosen)
            selection.Add(row);
    }
    for (size_t n = 0; n < options.names.size(); ++n) {
        if (!matched[n]) {
            std::printf("no entry is named \"%s\"\n", options.names[n].c_str());
            return kNoSuchName;
        }
    }

    WABEXTDISPLAY display = {};
    display.cbSize = sizeof(display);
    display.ulFlags = WAB_CONTEXT_ADRLIST;
    display.lpv = selection.Build();
    std::vector<CExtension> extensions;
    for (const std::string& name : ListedExtensions()) {
        CExtension extension;
        if (CreateExtension(name, &display, &extension))
            extensions.push_back(extension);
    }
    if (extensions.empty()) {
        std::printf("no context-menu extension could be created: none is listed under HKLM\\%s, or none listed is "
                    "registered\n",
                    kExtContextKey);
        return kNoExtension;
    }

    common::CMenu menu(CreatePopupMenu());
    if (!menu || !AppendMenuA(menu.get(), MF_STRING, 1, "&Properties") ||
        !AppendMenuA(menu.get(), MF_SEPARATOR, 0, nullptr) || !AppendMenuA(menu.get(), MF_STRING, 2, "&Delete")) {
        std::printf("menu: cannot be made\n");
        return kMenu;
    }
    UINT nextId = kFirstId;
    for (CExtension& extension : extensions) {
        hr = extension.menu->QueryContextMenu(menu.get(), 0, nextId, kLastId, CMF_NORMAL);
        if (FAILED(hr)) {
            std::printf("%s: IContextMenu::QueryContextMenu failed (0x%08lX)\n", extension.name.c_str(),
                        static_cast<unsigned long>(hr));
            return kMenu;
        }
        extension.firstId = nextId;
        extension.count = HRESULT_CODE(hr);
        nextId += extension.count;
        std::printf("%s added %u command%s\n", extension.name.c_str(), extension.count, extension.count == 1 ? "" : "s");
    }
    std::printf("Context menu:\n");
    PrintMenu(extensions, menu.get());

    UINT id = 0;
    if (options.show) {
        id = TrackMenu(menu.get());
    } else if (options.command != "none") {
        id = FindCommand(menu.get(), options.command == "export" ? "Export contacts to vCard" : "Import contacts from vCard");
    } else {
        return kDone;
    }
    const CExtension* owner = OwnerOf(extensions, id);
    if (!owner) {
        std::printf("no command of the extension was chosen\n");
        return options.show ? kDone : kCommand;
    }
    CMINVOKECOMMANDINFO info = {};
    info.cbSize = sizeof(info);
    info.lpVerb = MAKEINTRESOURCEA(id - owner->firstId);
    info.nShow = SW_SHOWNORMAL;
    hr = owner->menu->InvokeCommand(&info);
    std::printf("%s: InvokeCommand(%u) with %u selected entr%s: 0x%08lX\n", owner->name.c_str(), id - owner->firstId,
                static_cast<unsigned>(selection.size()), selection.size() == 1 ? "y" : "ies",
                static_cast<unsigned long>(hr));
    if (FAILED(hr))
        return kCommand;
    if (options.wait)
        WaitForConverter(options.waitMs);
    return kDone;
}

}  // namespace

int main(int argc, char** argv)
{
    COptions options;
    if (!ParseOptions(argc, argv, &options)) {
        std::printf("usage: WabHost.exe [-store FILE] [-folder FOLDER] [-command export|import|none] [-show]\n"
                    "                   [-wait SECONDS] [NAME...]\n");
        return kUsage;
    }
    common::CCoInit com;
    if (FAILED(com.result())) {
        std::printf("CoInitialize failed (0x%08lX)\n", static_cast<unsigned long>(com.result()));
        return kNoExtension;
    }
    int code = Run(options);
    std::fflush(stdout);
    return code;
}
