// Ferrule.DLL as a host sees it: a copy of the library in a scratch folder, with the recording
// stand-in converter beside it as Quillon.exe, served through its exported DllGetClassObject.
// Covers the COM rules, the submenu, the help texts and the converter's exact command lines and
// selection files.
#include <gtest/gtest.h>
#include <shlobj.h>
#include <wabdefs.h>
#include <wabcode.h>
#include <wabtags.h>
#include <wabiab.h>
#include <wabapi.h>
#include <wrl/client.h>

#include <cstddef>
#include <functional>
#include <memory>
#include <utility>

#include "common/raii.h"
#include "common/text.h"
#include "support/testsupport.h"
#include "wabext/ferrule_ids.h"

using Microsoft::WRL::ComPtr;
using testsupport::CTempDir;

namespace {

using GetClassObjectFn = HRESULT(WINAPI*)(REFCLSID, REFIID, void**);
using CanUnloadNowFn = HRESULT(WINAPI*)();

const UINT kExport = 0;
const UINT kImport = 1;

// The scratch folder with the library and the recorder, loaded once for all tests.
struct CFerruleCopy {
    CTempDir dir;
    common::CModule module;
    GetClassObjectFn getClassObject = nullptr;
    CanUnloadNowFn canUnloadNow = nullptr;
    std::string modulePath;

    bool Load()
    {
        if (!testsupport::CopyFileTo(testsupport::BinDir() + "\\Ferrule.DLL", dir.file("Ferrule.DLL")) ||
            !testsupport::CopyFileTo(testsupport::BinDir() + "\\converter_recorder.exe", dir.file("Quillon.exe")))
            return false;
        module.reset(LoadLibraryA(dir.file("Ferrule.DLL").c_str()));
        if (!module)
            return false;
        getClassObject = reinterpret_cast<GetClassObjectFn>(GetProcAddress(module.get(), "DllGetClassObject"));
        canUnloadNow = reinterpret_cast<CanUnloadNowFn>(GetProcAddress(module.get(), "DllCanUnloadNow"));
        modulePath = common::ModuleFileName(module.get());
        return getClassObject && canUnloadNow && !modulePath.empty();
    }
    std::string RecordFile() const { return dir.file("cmdline.txt"); }
};

CFerruleCopy* g_copy = nullptr;

// An address list as the host hands it over: entries of property values.
struct CEntry {
    std::vector<BYTE> id;
    LONG type;
    bool withId = true;
    bool withType = true;
};

class CAdrList {
public:
    explicit CAdrList(const std::vector<CEntry>& entries)
        : m_entries(entries), m_props(entries.size())
    {
        m_buffer.resize(offsetof(ADRLIST, aEntries) + sizeof(ADRENTRY) * (entries.size() ? entries.size() : 1));
        ADRLIST* list = get();
        list->cEntries = static_cast<ULONG>(entries.size());
        for (size_t i = 0; i < entries.size(); ++i) {
            std::vector<SPropValue>& props = m_props[i];
            SPropValue name = {};
            name.ulPropTag = PR_DISPLAY_NAME_A;
            name.Value.lpszA = const_cast<char*>("Someone");
            props.push_back(name);
            if (m_entries[i].withId) {
                SPropValue id = {};
                id.ulPropTag = PR_ENTRYID;
                id.Value.bin.cb = static_cast<ULONG>(m_entries[i].id.size());
                id.Value.bin.lpb = m_entries[i].id.data();
                props.push_back(id);
            }
            if (m_entries[i].withType) {
                SPropValue type = {};
                type.ulPropTag = PR_OBJECT_TYPE;
                type.Value.l = m_entries[i].type;
                props.push_back(type);
            }
            list->aEntries[i].ulReserved1 = 0;
            list->aEntries[i].cValues = static_cast<ULONG>(props.size());
            list->aEntries[i].rgPropVals = props.data();
        }
    }
    ADRLIST* get() { return reinterpret_cast<ADRLIST*>(m_buffer.data()); }
    std::vector<SPropValue>& props(size_t i) { return m_props[i]; }
    void Refresh(size_t i)
    {
        get()->aEntries[i].cValues = static_cast<ULONG>(m_props[i].size());
        get()->aEntries[i].rgPropVals = m_props[i].data();
    }

private:
    std::vector<CEntry> m_entries;
    std::vector<std::vector<SPropValue>> m_props;
    std::vector<unsigned char> m_buffer;
};

const std::vector<BYTE> kContactA = {0x00, 0x00, 0x00, 0x00, 0x0A, 0xFF};
const std::vector<BYTE> kContactB = {0x00, 0x00, 0x00, 0x00, 0x51, 0x57, 0x53, 0x31, 0x06, 0x00, 0x00, 0x00, 0x2A, 0x00, 0x00, 0x00};
const std::vector<BYTE> kGroup = {0x00, 0x00, 0x00, 0x00, 0x51, 0x57, 0x53, 0x31, 0x08, 0x00, 0x00, 0x00, 0x07, 0x00, 0x00, 0x00};

class FerruleTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        g_copy = new CFerruleCopy();
        if (!g_copy->Load()) {
            delete g_copy;
            g_copy = nullptr;
        }
    }
    static void TearDownTestSuite()
    {
        delete g_copy;
        g_copy = nullptr;
    }

    void SetUp() override
    {
        ASSERT_NE(nullptr, g_copy) << "could not copy and load Ferrule.DLL with the recorder";
        DeleteFileA(g_copy->RecordFile().c_str());
    }
    void TearDown() override { EXPECT_EQ(S_OK, g_copy->canUnloadNow()) << "an object or lock was left"; }

    ComPtr<IClassFactory> Factory()
    {
        ComPtr<IClassFactory> factory;
        EXPECT_EQ(S_OK, g_copy->getClassObject(ferrule::CLSID_Connect, IID_IClassFactory,
                                               reinterpret_cast<void**>(factory.GetAddressOf())));
        return factory;
    }

    template <class I>
    ComPtr<I> Create(REFIID iid)
    {
        ComPtr<I> object;
        ComPtr<IClassFactory> factory = Factory();
        if (factory) {
            EXPECT_EQ(S_OK, factory->CreateInstance(nullptr, iid, reinterpret_cast<void**>(object.GetAddressOf())));
        }
        return object;
    }

    static HRESULT Initialize(IContextMenu* menu, ULONG flags, ADRLIST* list)
    {
        ComPtr<IWABExtInit> init;
        HRESULT hr = menu->QueryInterface(ferrule::kIID_WABExtInit, reinterpret_cast<void**>(init.GetAddressOf()));
        if (FAILED(hr))
            return hr;
        WABEXTDISPLAY display = {};
        display.cbSize = sizeof(display);
        display.ulFlags = flags;
        display.lpv = list;
        return init->Initialize(&display);
    }

    static HRESULT Invoke(IContextMenu* menu, LPCSTR verb)
    {
        CMINVOKECOMMANDINFO info = {};
        info.cbSize = sizeof(info);
        info.lpVerb = verb;
        info.nShow = SW_SHOWNORMAL;
        return menu->InvokeCommand(&info);
    }

    // The command line the recorder received; empty on time-out.
    static std::string RecordedLine()
    {
        std::vector<std::string> record = testsupport::TakeRecord(g_copy->dir.path());
        return record.empty() ? std::string() : record[0];
    }

    static std::string Expected(const char* options)
    {
        return "\"" + common::FolderOf(g_copy->modulePath) + "\\Quillon.exe\"" + options;
    }

    // Splits `... -selection tmp "<tmp>" -foreground`; gives <tmp>, or empty when absent.
    static std::string SelectionFileOf(const std::string& line)
    {
        const std::string marker = " -selection tmp \"";
        size_t at = line.find(marker);
        if (at == std::string::npos)
            return std::string();
        size_t start = at + marker.size();
        size_t end = line.find('"', start);
        return end == std::string::npos ? std::string() : line.substr(start, end - start);
    }

    // What the selection file of the last command held; the file is deleted.
    static std::string TakeSelection()
    {
        std::string tmp = SelectionFileOf(RecordedLine());
        if (tmp.empty())
            return "<no selection file>";
        std::string bytes = testsupport::ReadFileBytes(tmp);
        DeleteFileA(tmp.c_str());
        return bytes;
    }

};

// ---- COM rules ----------------------------------------------------------------------------

TEST_F(FerruleTest, ClassObjectErrors)
{
    const CLSID other = {0xC0CEE871, 0x6EDE, 0x4B3F, {0x9D, 0x49, 0x48, 0x71, 0x32, 0xA1, 0x19, 0x3D}};
    void* out = reinterpret_cast<void*>(1);
    EXPECT_EQ(CLASS_E_CLASSNOTAVAILABLE, g_copy->getClassObject(other, IID_IClassFactory, &out));
    EXPECT_EQ(nullptr, out);
    out = reinterpret_cast<void*>(1);
    EXPECT_EQ(CLASS_E_CLASSNOTAVAILABLE, g_copy->getClassObject(ferrule::IID_IConnect, IID_IClassFactory, &out));
    EXPECT_EQ(nullptr, out);
    EXPECT_EQ(E_POINTER, g_copy->getClassObject(ferrule::CLSID_Connect, IID_IClassFactory, nullptr));
    out = reinterpret_cast<void*>(1);
    EXPECT_EQ(E_NOINTERFACE, g_copy->getClassObject(ferrule::CLSID_Connect, IID_IDispatch, &out));
    EXPECT_EQ(nullptr, out);

    // The class object is cached: every request gives the same one.
    ComPtr<IClassFactory> a = Factory(), b = Factory();
    ComPtr<IUnknown> c;
    EXPECT_EQ(S_OK, g_copy->getClassObject(ferrule::CLSID_Connect, IID_IUnknown, reinterpret_cast<void**>(c.GetAddressOf())));
    EXPECT_EQ(a.Get(), b.Get());
    EXPECT_EQ(static_cast<IUnknown*>(a.Get()), c.Get());
}

TEST_F(FerruleTest, AnswersExactlyThreeInterfaces)
{
    ComPtr<IContextMenu> menu = Create<IContextMenu>(IID_IContextMenu);
    ASSERT_TRUE(menu);
    ComPtr<IUnknown> unknown;
    ASSERT_EQ(S_OK, menu.As(&unknown));
    EXPECT_EQ(static_cast<IUnknown*>(menu.Get()), unknown.Get());  // IUnknown through IContextMenu
    ComPtr<IUnknown> init;
    EXPECT_EQ(S_OK, menu->QueryInterface(ferrule::kIID_WABExtInit, reinterpret_cast<void**>(init.GetAddressOf())));
    ComPtr<IUnknown> back;
    ASSERT_EQ(S_OK, init.As(&back));
    EXPECT_EQ(unknown.Get(), back.Get());

    const IID refused[] = {ferrule::IID_IConnect, IID_IDispatch, IID_IContextMenu2, IID_IContextMenu3,
                           IID_IShellExtInit, IID_IClassFactory, IID_IPersist};
    for (const IID& iid : refused) {
        void* out = reinterpret_cast<void*>(1);
        EXPECT_EQ(E_NOINTERFACE, menu->QueryInterface(iid, &out));
        EXPECT_EQ(nullptr, out);
    }
    ComPtr<IWABExtInit> direct = Create<IWABExtInit>(ferrule::kIID_WABExtInit);
    EXPECT_TRUE(direct);
}

// Counts what an aggregated Connect delegates to its outer object.
class COuter : public IUnknown {
public:
    STDMETHODIMP QueryInterface(REFIID, void** out) override
    {
        *out = nullptr;
        return E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return ++refs; }
    STDMETHODIMP_(ULONG) Release() override { return --refs; }
    ULONG refs = 1;
};

TEST_F(FerruleTest, AggregationAsksOnlyForIUnknown)
{
    ComPtr<IClassFactory> factory = Factory();
    COuter outer;
    void* out = reinterpret_cast<void*>(1);
    EXPECT_EQ(CLASS_E_NOAGGREGATION, factory->CreateInstance(&outer, IID_IContextMenu, &out));
    EXPECT_EQ(nullptr, out);
    IUnknown* inner = nullptr;
    ASSERT_EQ(S_OK, factory->CreateInstance(&outer, IID_IUnknown, reinterpret_cast<void**>(&inner)));
    IContextMenu* menu = nullptr;
    ASSERT_EQ(S_OK, inner->QueryInterface(IID_IContextMenu, reinterpret_cast<void**>(&menu)));
    EXPECT_EQ(2u, outer.refs);  // the interface's reference belongs to the outer object
    menu->Release();
    EXPECT_EQ(1u, outer.refs);
    EXPECT_EQ(S_FALSE, g_copy->canUnloadNow());
    factory.Reset();
    EXPECT_EQ(0u, inner->Release());
}

TEST_F(FerruleTest, CanUnloadNowFollowsObjectsClassObjectAndLocks)
{
    EXPECT_EQ(S_OK, g_copy->canUnloadNow());
    ComPtr<IClassFactory> factory = Factory();
    EXPECT_EQ(S_FALSE, g_copy->canUnloadNow());  // a class object held beyond the cache

    ComPtr<IContextMenu> menu;
    ASSERT_EQ(S_OK, factory->CreateInstance(nullptr, IID_IContextMenu, reinterpret_cast<void**>(menu.GetAddressOf())));
    factory.Reset();
    EXPECT_EQ(S_FALSE, g_copy->canUnloadNow());  // a live object
    menu.Reset();
    EXPECT_EQ(S_OK, g_copy->canUnloadNow());

    factory = Factory();
    EXPECT_EQ(S_OK, factory->LockServer(TRUE));
    EXPECT_EQ(S_OK, factory->LockServer(TRUE));
    factory.Reset();
    EXPECT_EQ(S_FALSE, g_copy->canUnloadNow());
    factory = Factory();
    EXPECT_EQ(S_OK, factory->LockServer(FALSE));
    factory.Reset();
    EXPECT_EQ(S_FALSE, g_copy->canUnloadNow());
    factory = Factory();
    EXPECT_EQ(S_OK, factory->LockServer(FALSE));
    factory.Reset();
    EXPECT_EQ(S_OK, g_copy->canUnloadNow());
}

// ---- the menu -----------------------------------------------------------------------------

std::string MenuText(HMENU menu, UINT position)
{
    char text[256] = {};
    GetMenuStringA(menu, position, text, sizeof(text), MF_BYPOSITION);
    return text;
}

// The colour of one pixel of a menu bitmap, as 0xRRGGBB.
DWORD PixelOf(HBITMAP bitmap, int x, int y)
{
    HDC dc = CreateCompatibleDC(nullptr);
    HGDIOBJ old = SelectObject(dc, bitmap);
    COLORREF c = GetPixel(dc, x, y);
    SelectObject(dc, old);
    DeleteDC(dc);
    return (GetRValue(c) << 16) | (GetGValue(c) << 8) | GetBValue(c);
}

TEST_F(FerruleTest, SubmenuItemsOrderIdsAndBitmaps)
{
    ComPtr<IContextMenu> connect = Create<IContextMenu>(IID_IContextMenu);
    ASSERT_TRUE(connect);
    common::CMenu menu(CreatePopupMenu());
    ASSERT_TRUE(AppendMenuA(menu.get(), MF_STRING, 1, "&Properties"));
    ASSERT_TRUE(AppendMenuA(menu.get(), MF_STRING, 2, "&Delete"));

    HRESULT hr = connect->QueryContextMenu(menu.get(), 1, 500, 510, CMF_NORMAL);
    EXPECT_EQ(MAKE_HRESULT(SEVERITY_SUCCESS, 0, 2), hr);
    ASSERT_EQ(3, GetMenuItemCount(menu.get()));
    EXPECT_EQ("&Properties", MenuText(menu.get(), 0));
    EXPECT_EQ("Quillon", MenuText(menu.get(), 1));
    EXPECT_EQ("&Delete", MenuText(menu.get(), 2));

    HMENU sub = GetSubMenu(menu.get(), 1);
    ASSERT_NE(nullptr, sub);
    ASSERT_EQ(2, GetMenuItemCount(sub));
    EXPECT_EQ("Import contacts from vCard", MenuText(sub, 0));
    EXPECT_EQ(501u, GetMenuItemID(sub, 0));
    EXPECT_EQ("Export contacts to vCard", MenuText(sub, 1));
    EXPECT_EQ(500u, GetMenuItemID(sub, 1));

    MENUITEMINFOA item[2] = {};
    for (UINT i = 0; i < 2; ++i) {
        item[i].cbSize = sizeof(MENUITEMINFOA);
        item[i].fMask = MIIM_CHECKMARKS;
        ASSERT_TRUE(GetMenuItemInfoA(sub, i, TRUE, &item[i]));
        EXPECT_EQ(nullptr, item[i].hbmpChecked);
        ASSERT_NE(nullptr, item[i].hbmpUnchecked);
        BITMAP info = {};
        ASSERT_TRUE(GetObjectA(item[i].hbmpUnchecked, sizeof(info), &info));
        EXPECT_EQ(16, info.bmWidth);
        EXPECT_EQ(16, info.bmHeight);
    }
    // Import shows the green arrow, export the orange one (top middle of each picture).
    EXPECT_EQ(0x009600u, PixelOf(item[0].hbmpUnchecked, 7, 0));
    EXPECT_EQ(0xE66400u, PixelOf(item[1].hbmpUnchecked, 7, 0));
    EXPECT_EQ(0xFFFFFFu, PixelOf(item[0].hbmpUnchecked, 0, 0));

    // At another index and first id: still two ids used, counted from the first.
    common::CMenu empty(CreatePopupMenu());
    EXPECT_EQ(MAKE_HRESULT(SEVERITY_SUCCESS, 0, 2), connect->QueryContextMenu(empty.get(), 0, 7, 7, CMF_EXPLORE));
    HMENU sub2 = GetSubMenu(empty.get(), 0);
    ASSERT_NE(nullptr, sub2);
    EXPECT_EQ(8u, GetMenuItemID(sub2, 0));
    EXPECT_EQ(7u, GetMenuItemID(sub2, 1));
}

TEST_F(FerruleTest, DefaultOnlyMenuGetsNothing)
{
    ComPtr<IContextMenu> connect = Create<IContextMenu>(IID_IContextMenu);
    ASSERT_TRUE(connect);
    common::CMenu menu(CreatePopupMenu());
    EXPECT_EQ(MAKE_HRESULT(SEVERITY_SUCCESS, 0, 0), connect->QueryContextMenu(menu.get(), 0, 1, 100, CMF_DEFAULTONLY));
    EXPECT_EQ(0, GetMenuItemCount(menu.get()));
    EXPECT_EQ(MAKE_HRESULT(SEVERITY_SUCCESS, 0, 0),
              connect->QueryContextMenu(menu.get(), 0, 1, 100, CMF_DEFAULTONLY | CMF_EXPLORE));
    EXPECT_EQ(0, GetMenuItemCount(menu.get()));
}

TEST_F(FerruleTest, MenuThatCannotTakeTheSubmenuIsAFailure)
{
    ComPtr<IContextMenu> connect = Create<IContextMenu>(IID_IContextMenu);
    ASSERT_TRUE(connect);
    HMENU gone = CreatePopupMenu();
    DestroyMenu(gone);
    EXPECT_TRUE(FAILED(connect->QueryContextMenu(gone, 0, 1, 100, CMF_NORMAL)));
}

TEST_F(FerruleTest, CommandStrings)
{
    ComPtr<IContextMenu> connect = Create<IContextMenu>(IID_IContextMenu);
    ASSERT_TRUE(connect);
    struct Case {
        UINT_PTR offset;
        UINT type;
        UINT length;
        HRESULT result;
        const char* text;  // nullptr: buffer untouched
    } cases[] = {
        {kExport, GCS_HELPTEXTA, 256, S_OK, "Export contacts to vCard"},
        {kImport, GCS_HELPTEXTA, 256, S_OK, "Import contacts from vCard"},
        {kExport, GCS_HELPTEXTA, 10, S_OK, "Export co"},
        {kImport, GCS_HELPTEXTA, 1, S_OK, ""},
        {kExport, GCS_VERBA, 256, E_INVALIDARG, nullptr},
        {kExport, GCS_VALIDATEA, 256, E_INVALIDARG, nullptr},
        {kImport, GCS_VERBW, 256, E_INVALIDARG, nullptr},
        {2, GCS_HELPTEXTA, 256, E_INVALIDARG, nullptr},
        {0x10000, GCS_HELPTEXTA, 256, E_INVALIDARG, nullptr},
    };
    for (const Case& c : cases) {
        char buffer[300];
        memset(buffer, 'x', sizeof(buffer));
        buffer[sizeof(buffer) - 1] = '\0';
        EXPECT_EQ(c.result, connect->GetCommandString(c.offset, c.type, nullptr, buffer, c.length))
            << c.offset << "/" << c.type << "/" << c.length;
        if (c.text) {
            EXPECT_STREQ(c.text, buffer);
        } else {
            EXPECT_EQ('x', buffer[0]);
        }
    }

    EXPECT_EQ(E_POINTER, connect->GetCommandString(kExport, GCS_HELPTEXTA, nullptr, nullptr, 10));

    // A wide request gets wide text, within its length in wide characters.
    wchar_t wide[64];
    wmemset(wide, L'x', 64);
    EXPECT_EQ(S_OK, connect->GetCommandString(kImport, GCS_HELPTEXTW, nullptr, reinterpret_cast<char*>(wide), 64));
    EXPECT_STREQ(L"Import contacts from vCard", wide);
    wmemset(wide, L'x', 64);
    EXPECT_EQ(S_OK, connect->GetCommandString(kExport, GCS_HELPTEXTW, nullptr, reinterpret_cast<char*>(wide), 7));
    EXPECT_STREQ(L"Export", wide);
    EXPECT_EQ(L'x', wide[7]);
}

// ---- the launch ---------------------------------------------------------------------------

TEST_F(FerruleTest, VerbAsTextOrUnknownOffsetStartsNothing)
{
    ComPtr<IContextMenu> connect = Create<IContextMenu>(IID_IContextMenu);
    ASSERT_TRUE(connect);
    CAdrList list({{kContactA, MAPI_MAILUSER}});
    ASSERT_EQ(S_OK, Initialize(connect.Get(), WAB_CONTEXT_ADRLIST, list.get()));
    // A temporary folder of this test's own, to see that no selection file is written.
    CTempDir temp;
    {
        testsupport::CScopedEnv tmp("TMP", temp.path().c_str());
        EXPECT_EQ(E_INVALIDARG, Invoke(connect.Get(), "export"));
        EXPECT_EQ(E_INVALIDARG, Invoke(connect.Get(), MAKEINTRESOURCEA(2)));
        EXPECT_EQ(E_INVALIDARG, Invoke(connect.Get(), MAKEINTRESOURCEA(0xFFFF)));
        EXPECT_EQ(E_INVALIDARG, connect->InvokeCommand(nullptr));
    }
    EXPECT_TRUE(testsupport::ListFiles(temp.path()).empty());
}

TEST_F(FerruleTest, NoSelectionGivesThePlainCommandLines)
{
    ComPtr<IContextMenu> connect = Create<IContextMenu>(IID_IContextMenu);
    ASSERT_TRUE(connect);
    EXPECT_EQ(S_OK, Invoke(connect.Get(), MAKEINTRESOURCEA(kExport)));
    EXPECT_EQ(Expected(" -export -foreground"), RecordedLine());
    EXPECT_EQ(S_OK, Invoke(connect.Get(), MAKEINTRESOURCEA(kImport)));
    EXPECT_EQ(Expected(" -import -foreground"), RecordedLine());

    // Groups only, or an empty list: still no selection file.
    CAdrList groups({{kGroup, MAPI_DISTLIST}});
    ASSERT_EQ(S_OK, Initialize(connect.Get(), WAB_CONTEXT_ADRLIST, groups.get()));
    EXPECT_EQ(S_OK, Invoke(connect.Get(), MAKEINTRESOURCEA(kExport)));
    EXPECT_EQ(Expected(" -export -foreground"), RecordedLine());
    CAdrList empty({});
    ASSERT_EQ(S_OK, Initialize(connect.Get(), WAB_CONTEXT_ADRLIST, empty.get()));
    ASSERT_EQ(S_OK, Initialize(connect.Get(), WAB_CONTEXT_ADRLIST, nullptr));
    EXPECT_EQ(S_OK, Invoke(connect.Get(), MAKEINTRESOURCEA(kImport)));
    EXPECT_EQ(Expected(" -import -foreground"), RecordedLine());
}

TEST_F(FerruleTest, SelectionOfContactsAndAGroupGivesTwoLines)
{
    ComPtr<IContextMenu> connect = Create<IContextMenu>(IID_IContextMenu);
    ASSERT_TRUE(connect);
    CAdrList list({{kContactA, MAPI_MAILUSER}, {kGroup, MAPI_DISTLIST}, {kContactB, MAPI_MAILUSER}});
    ASSERT_EQ(S_OK, Initialize(connect.Get(), WAB_CONTEXT_ADRLIST, list.get()));

    for (UINT offset : {kExport, kImport}) {
        ASSERT_EQ(S_OK, Invoke(connect.Get(), MAKEINTRESOURCEA(offset)));
        std::string line = RecordedLine();
        std::string tmp = SelectionFileOf(line);
        ASSERT_FALSE(tmp.empty()) << line;
        const char* option = offset == kExport ? " -export" : " -import";
        EXPECT_EQ(Expected((std::string(option) + " -selection tmp \"" + tmp + "\" -foreground").c_str()), line);
        EXPECT_EQ("000000000AFF\r\n0000000051575331060000002A000000\r\n", testsupport::ReadFileBytes(tmp));
        char folder[MAX_PATH + 1] = {};
        GetTempPathA(MAX_PATH + 1, folder);
        EXPECT_EQ(0u, tmp.find(std::string(folder) + "qzt")) << tmp;
        EXPECT_TRUE(DeleteFileA(tmp.c_str()));
    }
}

TEST_F(FerruleTest, EntriesWithoutIdOrTypeAreSkippedAndTheLastValuesCount)
{
    ComPtr<IContextMenu> connect = Create<IContextMenu>(IID_IContextMenu);
    ASSERT_TRUE(connect);
    CEntry noType{kContactA, MAPI_MAILUSER};
    noType.withType = false;
    CEntry noId{kContactB, MAPI_MAILUSER};
    noId.withId = false;
    CAdrList list({noType, noId, {kContactB, MAPI_DISTLIST}, {{0xAB}, MAPI_MAILUSER}});
    // The last entry carries a second identifier and a second type: the later ones count.
    SPropValue id = {};
    id.ulPropTag = PR_ENTRYID;
    static BYTE later[] = {0x01, 0x02};
    id.Value.bin.cb = 2;
    id.Value.bin.lpb = later;
    list.props(3).push_back(id);
    list.Refresh(3);
    // The third: a group that a later type value turns into a contact.
    SPropValue type = {};
    type.ulPropTag = PR_OBJECT_TYPE;
    type.Value.l = MAPI_MAILUSER;
    list.props(2).push_back(type);
    list.Refresh(2);
    ASSERT_EQ(S_OK, Initialize(connect.Get(), WAB_CONTEXT_ADRLIST, list.get()));

    ASSERT_EQ(S_OK, Invoke(connect.Get(), MAKEINTRESOURCEA(kExport)));
    EXPECT_EQ("0000000051575331060000002A000000\r\n0102\r\n", TakeSelection());
}

TEST_F(FerruleTest, InitializeWithoutTheListBitKeepsTheSelection)
{
    ComPtr<IContextMenu> connect = Create<IContextMenu>(IID_IContextMenu);
    ASSERT_TRUE(connect);
    CAdrList first({{kContactA, MAPI_MAILUSER}});
    CAdrList second({{kContactB, MAPI_MAILUSER}});
    ASSERT_EQ(S_OK, Initialize(connect.Get(), WAB_CONTEXT_ADRLIST, first.get()));
    ASSERT_EQ(S_OK, Initialize(connect.Get(), 0x1 | 0x4, second.get()));
    ComPtr<IWABExtInit> init;
    ASSERT_EQ(S_OK, connect->QueryInterface(ferrule::kIID_WABExtInit, reinterpret_cast<void**>(init.GetAddressOf())));
    EXPECT_EQ(S_OK, init->Initialize(nullptr));

    ASSERT_EQ(S_OK, Invoke(connect.Get(), MAKEINTRESOURCEA(kImport)));
    EXPECT_EQ("000000000AFF\r\n", TakeSelection());

    // A new list replaces the old one; each command writes a new file.
    ASSERT_EQ(S_OK, Initialize(connect.Get(), WAB_CONTEXT_ADRLIST, second.get()));
    ASSERT_EQ(S_OK, Invoke(connect.Get(), MAKEINTRESOURCEA(kExport)));
    EXPECT_EQ("0000000051575331060000002A000000\r\n", TakeSelection());
}

TEST_F(FerruleTest, MissingConverterIsStillSuccessAndLeavesNoSelectionFile)
{
    ComPtr<IContextMenu> connect = Create<IContextMenu>(IID_IContextMenu);
    ASSERT_TRUE(connect);
    CAdrList list({{kContactA, 6}});
    ASSERT_EQ(S_OK, Initialize(connect.Get(), WAB_CONTEXT_ADRLIST, list.get()));
    CTempDir temp;
    testsupport::CScopedEnv tmp("TMP", temp.path().c_str());
    testsupport::CScopedEnv tempVar("TEMP", temp.path().c_str());
    std::string converter = g_copy->dir.file("Quillon.exe");
    std::string aside = g_copy->dir.file("Quillon.aside");
    ASSERT_TRUE(MoveFileA(converter.c_str(), aside.c_str()));
    HRESULT hr = Invoke(connect.Get(), MAKEINTRESOURCEA(kExport));
    ASSERT_TRUE(MoveFileA(aside.c_str(), converter.c_str()));
    EXPECT_EQ(S_OK, hr);
    // Nobody would ever read and delete it.
    EXPECT_EQ(std::vector<std::string>{}, testsupport::ListFiles(temp.path()));
}

// Whatever throws inside Ferrule (an allocation, a callee) ends as a failure code at the host's
// call, never as an exception in the Address Book's process.
TEST_F(FerruleTest, NoExceptionReachesTheHost)
{
    ComPtr<IContextMenu> connect = Create<IContextMenu>(IID_IContextMenu);
    ASSERT_TRUE(connect);
    CAdrList list({{kContactA, 6}});
    common::CMenu menu(CreatePopupMenu());
    char text[64] = "";
    const std::pair<const char*, std::function<HRESULT()>> entries[] = {
        {"DllGetClassObject",
         [] {
             ComPtr<IClassFactory> f;
             return g_copy->getClassObject(ferrule::CLSID_Connect, IID_IClassFactory,
                                           reinterpret_cast<void**>(f.GetAddressOf()));
         }},
        {"IClassFactory::CreateInstance",
         [&] {
             ComPtr<IContextMenu> object;
             return Factory()->CreateInstance(nullptr, IID_IContextMenu, reinterpret_cast<void**>(object.GetAddressOf()));
         }},
        {"CConnect::Initialize", [&] { return Initialize(connect.Get(), WAB_CONTEXT_ADRLIST, list.get()); }},
        {"CConnect::QueryContextMenu", [&] { return connect->QueryContextMenu(menu.get(), 0, 1000, 1999, CMF_NORMAL); }},
        {"CConnect::GetCommandString",
         [&] { return connect->GetCommandString(kExport, GCS_HELPTEXTA, nullptr, text, sizeof text); }},
        {"CConnect::InvokeCommand", [&] { return Invoke(connect.Get(), MAKEINTRESOURCEA(kExport)); }},
        {"DllCanUnloadNow", [] { return g_copy->canUnloadNow(); }},
    };
    for (const auto& entry : entries) {
        {
            testsupport::CScopedEnv hook("QUILLON_TEST_THROW", entry.first);
            EXPECT_EQ(E_OUTOFMEMORY, entry.second()) << entry.first;
        }
        {
            testsupport::CScopedEnv hook("QUILLON_TEST_THROW", (std::string(entry.first) + ":error").c_str());
            EXPECT_EQ(E_FAIL, entry.second()) << entry.first;
        }
    }
    EXPECT_EQ(0, GetMenuItemCount(menu.get()));
    // Afterwards every entry works as before.
    EXPECT_EQ(MAKE_HRESULT(SEVERITY_SUCCESS, 0, 2), connect->QueryContextMenu(menu.get(), 0, 1000, 1999, CMF_NORMAL));
}

}  // namespace
