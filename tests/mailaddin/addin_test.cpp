// The add-in against the stand-in SDK, the way a mail client meets it: both servers registered,
// Gimlet.dll loaded from a scratch folder whose Quillon.exe is a recorder, the user's application
// data folder pointed at a scratch folder, and the SDK's events fired through TanagerSite, the
// same host interface the stand-in mail client uses.
#include <gtest/gtest.h>

#include <algorithm>

#include <windows.h>
#include <oleauto.h>
#include <wrl/client.h>

#include <functional>
#include <regex>
#include <cstring>
#include <commctrl.h>
#include <string>
#include <vector>

#include "common/comserver.h"
#include "mailaddin/Addin.h"
#include "mailaddin/Pictures.h"
#include "mailaddin/gimlet_ids.h"
#include "mailclient_ids.h"
#include "support/testsupport.h"
#include "tanager.h"
#include "tanager_site.h"

using Microsoft::WRL::ComPtr;
using namespace testsupport;

namespace {

const char kAddinKey[] = "Software\\Brisco\\Quillon\\Addin";
const long kHostWindow = 0x1234;

std::string Narrow(BSTR text)
{
    std::string out;
    for (UINT i = 0; text && i < ::SysStringLen(text); ++i)
        out += static_cast<char>(text[i]);
    return out;
}

std::string TakeBstr(BSTR text)
{
    std::string out = Narrow(text);
    ::SysFreeString(text);
    return out;
}

HRESULT CallExport(HMODULE module, const char* name)
{
    auto fn = reinterpret_cast<HRESULT(STDAPICALLTYPE*)()>(::GetProcAddress(module, name));
    return fn ? fn() : E_NOTIMPL;
}

// Everything the suite shares: registrations, the scratch folders and the redirected AppData.
struct CWorld {
    CScratchAppData scratch;
    std::string addinFolder = scratch.file("addin");
    std::string logFolder = scratch.AppData() + "\\Brisco\\Quillon";
    common::CModule tanager, gimlet;

    bool Setup()
    {
        ::CreateDirectoryA(addinFolder.c_str(), nullptr);
        if (!CopyFileTo(BinDir() + "\\Gimlet.dll", addinFolder + "\\Gimlet.dll") ||
            !CopyFileTo(BinDir() + "\\converter_recorder.exe", addinFolder + "\\Quillon.exe"))
            return false;
        tanager.reset(::LoadLibraryA((BinDir() + "\\Tanager.dll").c_str()));
        gimlet.reset(::LoadLibraryA((addinFolder + "\\Gimlet.dll").c_str()));
        return tanager && gimlet && SUCCEEDED(CallExport(tanager.get(), "DllRegisterServer")) &&
               SUCCEEDED(CallExport(gimlet.get(), "DllRegisterServer"));
    }

    void Teardown()
    {
        if (gimlet)
            CallExport(gimlet.get(), "DllUnregisterServer");
        if (tanager)
            CallExport(tanager.get(), "DllUnregisterServer");
        ::CoFreeUnusedLibraries();
        DeleteRegTree(HKEY_CURRENT_USER, kAddinKey);
    }
};

CWorld* g_world = nullptr;

// The add-in's hidden form of this process (a host left over from an earlier run may have one too).
HWND OwnHiddenForm()
{
    for (HWND w = nullptr; (w = ::FindWindowExA(nullptr, w, nullptr, "Unvisible Form")) != nullptr;) {
        DWORD pid = 0;
        ::GetWindowThreadProcessId(w, &pid);
        if (pid == ::GetCurrentProcessId())
            return w;
    }
    return nullptr;
}

class AddinTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
        g_world = new CWorld();
        s_ready = g_world->Setup();
    }
    static void TearDownTestSuite()
    {
        g_world->Teardown();
        delete g_world;
        g_world = nullptr;
        ::CoUninitialize();
    }

    void SetUp() override
    {
        ASSERT_TRUE(s_ready) << "the servers could not be registered from the scratch folder";
        ASSERT_HRESULT_SUCCEEDED(::CoCreateInstance(CLSID_TanagerSite, nullptr, CLSCTX_INPROC_SERVER,
                                                    IID_ITanagerSite, &site));
        ASSERT_HRESULT_SUCCEEDED(site->Reset());
        ASSERT_HRESULT_SUCCEEDED(site->put_HostWindow(kHostWindow));
        ::DeleteFileA(LogFile().c_str());
        ::DeleteFileA((g_world->addinFolder + "\\cmdline.txt").c_str());  // a record an earlier test left
        DeleteRegTree(HKEY_CURRENT_USER, kAddinKey);
    }
    void TearDown() override
    {
        addin.Reset();
        site.Reset();
    }

    std::string LogFile() const { return g_world->logFolder + "\\Gimlet.log"; }

    std::string Picture(const char* key) const { return g_world->logFolder + "\\" + key + ".bmp"; }

    // The log's lines without their time stamps.
    std::vector<std::string> Log() const
    {
        static const std::regex stamp("^[0-9][0-9/.\\-]* [0-9][0-9:.]*( [AP]M)? ");
        std::vector<std::string> lines;
        for (const std::string& line : SplitLines(ReadFileBytes(LogFile()))) {
            std::smatch m;
            if (!std::regex_search(line, m, stamp)) {
                ADD_FAILURE() << "line without time stamp: " << line;
                continue;
            }
            lines.push_back(m.suffix());
        }
        return lines;
    }

    void CreateAddin()
    {
        ASSERT_HRESULT_SUCCEEDED(::CoCreateInstance(gimlet::CLSID_Addin, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch,
                                                    &addin));
    }
    std::string Layout()
    {
        BSTR text = nullptr;
        EXPECT_HRESULT_SUCCEEDED(site->get_Layout(&text));
        return TakeBstr(text);
    }
    std::vector<std::string> Journal()
    {
        BSTR text = nullptr;
        EXPECT_HRESULT_SUCCEEDED(site->get_Journal(&text));
        return SplitLines(TakeBstr(text));
    }
    long Fire(HRESULT (STDMETHODCALLTYPE ITanagerSite::*event)(long*))
    {
        long delivered = -1;
        EXPECT_HRESULT_SUCCEEDED((site.Get()->*event)(&delivered));
        return delivered;
    }
    long Select(long folder)
    {
        long delivered = -1;
        EXPECT_HRESULT_SUCCEEDED(site->SelectFolder(folder, &delivered));
        return delivered;
    }
    std::string ExpectedLayout(bool large)
    {
        const std::string f = g_world->logFolder;
        return "toolbar 0 host=" + std::to_string(kHostWindow) + " large=" + (large ? "true" : "false") + "\r\n" +
               "  button \"Import contacts\" image=\"" + f + "\\Import.bmp\" hover=\"" + f + "\\Import_over.bmp\"\r\n" +
               "  button \"Export contacts\" image=\"" + f + "\\Export.bmp\" hover=\"" + f + "\\Export_over.bmp\"\r\n" +
               "  button \"Help\" image=\"" + f + "\\Help.bmp\" hover=\"" + f + "\\Help_over.bmp\"\r\n" +
               "    item \"Report a problem\" image=\"\" hover=\"\"\r\n" +
               "    item \"About Quillon\" image=\"\" hover=\"\"\r\n" +
               "menu 3 \"Tools\" item \"Quillon Options...\"\r\n";
    }

    static bool s_ready;
    ComPtr<ITanagerSite> site;
    ComPtr<IDispatch> addin;
};

bool AddinTest::s_ready = false;

TEST_F(AddinTest, RegistrationDescribesTheClassFromItsTypeLibrary)
{
    const std::string clsid = "CLSID\\{23AF1216-93FC-4048-8251-3464520A29D2}";
    EXPECT_EQ("{23AF1216-93FC-4048-8251-3464520A29D2}", RegText(HKEY_CLASSES_ROOT, "Gimlet.Addin\\CLSID", nullptr));
    EXPECT_EQ("Gimlet.Addin", RegText(HKEY_CLASSES_ROOT, clsid + "\\ProgID", nullptr));
    EXPECT_EQ(g_world->addinFolder + "\\Gimlet.dll", RegText(HKEY_CLASSES_ROOT, clsid + "\\InprocServer32", nullptr));
    EXPECT_EQ("Apartment", RegText(HKEY_CLASSES_ROOT, clsid + "\\InprocServer32", "ThreadingModel"));
    EXPECT_EQ("{27B55042-3F91-4D5B-8D3E-F8494D6F5EC4}", RegText(HKEY_CLASSES_ROOT, clsid + "\\TypeLib", nullptr));

    ComPtr<ITypeLib> lib;
    ASSERT_HRESULT_SUCCEEDED(::LoadRegTypeLib(gimlet::LIBID_Gimlet, 1, 0, LOCALE_NEUTRAL, &lib));
    BSTR name = nullptr;
    ASSERT_HRESULT_SUCCEEDED(lib->GetDocumentation(-1, &name, nullptr, nullptr, nullptr));
    EXPECT_EQ("Gimlet", TakeBstr(name));

    ComPtr<ITypeInfo> info;
    ASSERT_HRESULT_SUCCEEDED(lib->GetTypeInfoOfGuid(gimlet::IID__Addin, &info));
    TYPEATTR* attr = nullptr;
    ASSERT_HRESULT_SUCCEEDED(info->GetTypeAttr(&attr));
    EXPECT_TRUE(attr->wTypeFlags & TYPEFLAG_FDUAL);
    EXPECT_TRUE(attr->wTypeFlags & TYPEFLAG_FHIDDEN);
    info->ReleaseTypeAttr(attr);
    ASSERT_HRESULT_SUCCEEDED(info->GetDocumentation(MEMBERID_NIL, &name, nullptr, nullptr, nullptr));
    EXPECT_EQ("_Addin", TakeBstr(name));

    ComPtr<ITypeInfo> coclass;
    ASSERT_HRESULT_SUCCEEDED(lib->GetTypeInfoOfGuid(gimlet::CLSID_Addin, &coclass));
    ASSERT_HRESULT_SUCCEEDED(coclass->GetDocumentation(MEMBERID_NIL, &name, nullptr, nullptr, nullptr));
    EXPECT_EQ("Addin", TakeBstr(name));

    // The object answers its default interface and serves the type library through IDispatch.
    CreateAddin();
    ComPtr<IUnknown> same;
    EXPECT_HRESULT_SUCCEEDED(addin->QueryInterface(gimlet::IID__Addin, &same));
    UINT count = 0;
    EXPECT_HRESULT_SUCCEEDED(addin->GetTypeInfoCount(&count));
    EXPECT_EQ(1u, count);

    // The version resource.
    const std::string dll = g_world->addinFolder + "\\Gimlet.dll";
    EXPECT_EQ("1.0.0.97", VersionValue(dll, "file"));
    EXPECT_EQ("1.00.0097", VersionValue(dll, "FileVersion"));
}

TEST_F(AddinTest, UnregistrationRemovesTheClass)
{
    ASSERT_HRESULT_SUCCEEDED(CallExport(g_world->gimlet.get(), "DllUnregisterServer"));
    EXPECT_EQ("<missing>", RegText(HKEY_CLASSES_ROOT, "Gimlet.Addin\\CLSID", nullptr));
    EXPECT_EQ("<missing>", RegText(HKEY_CLASSES_ROOT, "CLSID\\{23AF1216-93FC-4048-8251-3464520A29D2}\\InprocServer32", nullptr));
    ComPtr<IDispatch> none;
    EXPECT_EQ(REGDB_E_CLASSNOTREG, ::CoCreateInstance(gimlet::CLSID_Addin, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch, &none));
    ASSERT_HRESULT_SUCCEEDED(CallExport(g_world->gimlet.get(), "DllRegisterServer"));
    EXPECT_EQ("{23AF1216-93FC-4048-8251-3464520A29D2}", RegText(HKEY_CLASSES_ROOT, "Gimlet.Addin\\CLSID", nullptr));
}

TEST_F(AddinTest, BuildsItsToolbarOnceAndReleasesInOrder)
{
    CreateAddin();
    EXPECT_EQ(std::vector<std::string>{"Add.Init 1.0.97"}, Log());
    EXPECT_EQ(0, Select(7));  // no host before the SDK is ready
    EXPECT_EQ(1, Fire(&ITanagerSite::Ready));
    EXPECT_EQ("", Layout());

    EXPECT_EQ(1, Select(7));
    EXPECT_EQ(ExpectedLayout(false), Layout());  // SmallButtons defaults to true
    for (const char* key : gimlet::kPictureKeys) {
        std::string bmp = ReadFileBytes(Picture(key));
        ASSERT_GE(bmp.size(), 54u) << key;
        EXPECT_EQ("BM", bmp.substr(0, 2)) << key;
        EXPECT_EQ(32, *reinterpret_cast<const LONG*>(&bmp[18])) << key;  // width
        EXPECT_EQ(32, *reinterpret_cast<const LONG*>(&bmp[22])) << key;  // height
    }

    // The hidden form that holds the picture lists lives as long as the add-in.
    HWND form = OwnHiddenForm();
    ASSERT_NE(nullptr, form);
    EXPECT_FALSE(::IsWindowVisible(form));

    EXPECT_EQ(1, Select(8));
    EXPECT_EQ(1, Select(9));
    EXPECT_EQ(ExpectedLayout(false), Layout());  // no second toolbar, no second menu item

    std::vector<std::string> before = Journal();
    EXPECT_EQ(1, Fire(&ITanagerSite::Shutdown));
    std::vector<std::string> released = Journal();
    released.erase(released.begin(), released.begin() + before.size());
    EXPECT_EQ((std::vector<std::string>{
                  "release TanagerButton \"Import contacts\"",
                  "release TanagerButton \"Export contacts\"",
                  "release TanagerButton item \"Report a problem\"",
                  "release TanagerButton \"Help\"",
                  "release TanagerButton item \"About Quillon\"",
                  "release TanagerMenuItem \"Quillon Options...\"",
                  "release TanagerToolbar",
                  "release TanagerHost",
              }),
              released);
    long delivered = -1;
    ASSERT_HRESULT_SUCCEEDED(site->ClickButton(0, 0, -1, &delivered));
    EXPECT_EQ(0, delivered);  // released objects deliver no events

    // Ready again: a new host, but the interface is never built a second time.
    EXPECT_EQ(1, Fire(&ITanagerSite::Ready));
    EXPECT_EQ(1, Select(10));
    EXPECT_EQ(ExpectedLayout(false), Layout());
    EXPECT_TRUE(FileExists(Picture("Import")));

    addin.Reset();
    for (const char* key : gimlet::kPictureKeys)
        EXPECT_FALSE(FileExists(Picture(key))) << key;
    EXPECT_EQ(nullptr, OwnHiddenForm());
    EXPECT_EQ((std::vector<std::string>{"Add.Init 1.0.97", "->OnInitTanager", "->OnFolderSelectionChanged", "AddGUI",
                                        "->OnFolderSelectionChanged", "->OnFolderSelectionChanged",
                                        "->OnShutdownTanager", "->OnInitTanager", "->OnFolderSelectionChanged",
                                        "Addin.Done 1.0.97"}),
              Log());
    std::vector<std::string> journal = Journal();
    ASSERT_GE(journal.size(), 2u);
    EXPECT_EQ("release TanagerHost", journal[journal.size() - 2]);
    EXPECT_EQ("release TanagerInit", journal.back());
    EXPECT_EQ(0, Fire(&ITanagerSite::Ready));  // nobody listens any more
}

TEST_F(AddinTest, SmallButtonsOffGivesLargeButtons)
{
    ASSERT_TRUE(SetRegDword(HKEY_CURRENT_USER, kAddinKey, "SmallButtons", 0));
    CreateAddin();
    Fire(&ITanagerSite::Ready);
    Select(1);
    EXPECT_EQ(ExpectedLayout(true), Layout());
}

TEST_F(AddinTest, ErrorWhileBuildingIsLoggedAndKeepsWhatWasBuilt)
{
    ASSERT_HRESULT_SUCCEEDED(site->put_MenuCount(3));  // no menu at position 3
    CreateAddin();
    Fire(&ITanagerSite::Ready);
    Select(1);
    Select(2);
    std::string layout = ExpectedLayout(false);
    layout.erase(layout.find("menu 3"));
    EXPECT_EQ(layout, Layout());
    EXPECT_EQ((std::vector<std::string>{"Add.Init 1.0.97", "->OnInitTanager", "->OnFolderSelectionChanged", "AddGUI",
                                        "Error(-2147024809) : AddGUI0,line=0\tThe mail client has no menu at this position",
                                        "->OnFolderSelectionChanged"}),
              Log());
    long delivered = -1;
    ASSERT_HRESULT_SUCCEEDED(site->ClickButton(0, 2, -1, &delivered));  // the built part works
    EXPECT_EQ(1, delivered);
    EXPECT_FALSE(TakeRecord(g_world->addinFolder).empty());
}

TEST_F(AddinTest, CommandsStartTheConverterWithTheirParameters)
{
    CreateAddin();
    Fire(&ITanagerSite::Ready);
    Select(1);
    const struct {
        long button, sub;
        const char* parameters;
    } cases[] = {
        {0, -1, "-Import -Foreground"}, {1, -1, "-Export -Foreground"}, {2, -1, "-Help"},
        {2, 0, "-BugReport"},           {2, 1, "-About -Foreground"},
    };
    for (const auto& c : cases) {
        long delivered = -1;
        ASSERT_HRESULT_SUCCEEDED(site->ClickButton(0, c.button, c.sub, &delivered));
        EXPECT_EQ(1, delivered);
        std::vector<std::string> lines = TakeRecord(g_world->addinFolder);
        ASSERT_EQ(2u, lines.size()) << "the converter was not started for " << c.parameters;
        // The program as the shell names it, then exactly our parameters.
        const std::string& line = lines[0];
        size_t end = line[0] == '"' ? line.find('"', 1) + 1 : line.find(' ');
        ASSERT_NE(std::string::npos, end) << line;
        EXPECT_EQ(std::string(" ") + c.parameters, line.substr(end)) << line;
        EXPECT_NE(std::string::npos, line.substr(0, end).find("Quillon.exe")) << line;
        EXPECT_EQ(0, lstrcmpiA(g_world->addinFolder.c_str(), lines[1].c_str())) << "working folder " << lines[1];
    }
    EXPECT_EQ((std::vector<std::string>{"Add.Init 1.0.97", "->OnInitTanager", "->OnFolderSelectionChanged", "AddGUI"}),
              Log());

    // A Quillon.exe that cannot be started: the click still succeeds for the SDK, and the log says
    // why nothing opened. (A missing one would be looked for beside this program too.)
    const std::string converter = g_world->addinFolder + "\\Quillon.exe";
    ASSERT_TRUE(::MoveFileA(converter.c_str(), (converter + ".away").c_str()));
    ASSERT_TRUE(WriteFileBytes(converter, "not a program"));
    long delivered = -1;
    HRESULT hr = site->ClickButton(0, 0, -1, &delivered);
    ASSERT_TRUE(::DeleteFileA(converter.c_str()));
    ASSERT_TRUE(::MoveFileA((converter + ".away").c_str(), converter.c_str()));
    EXPECT_HRESULT_SUCCEEDED(hr);
    EXPECT_EQ(1, delivered);
    const std::string line = Log().back();
    EXPECT_TRUE(std::regex_match(line, std::regex("Error\\([0-9]+\\) : StartConverter\\(-Import -Foreground\\),line=0\t"
                                                  "Quillon\\.exe could not be started in .*")))
        << line;
    EXPECT_EQ(g_world->addinFolder, line.substr(line.size() - g_world->addinFolder.size())) << line;
}

// Whatever throws inside the add-in (an allocation, a callee) is a line in its log and a failure
// code for the SDK, never an exception in the mail client's process.
TEST_F(AddinTest, NoExceptionReachesTheMailClient)
{
    // Creation and release run inside the mail client's CoCreateInstance and Release: a failing
    // creation is a failure code, a failing release still lets everything go.
    {
        CScopedEnv hook("QUILLON_TEST_THROW", "CAddin::FinalConstruct");
        ComPtr<IDispatch> none;
        EXPECT_EQ(E_OUTOFMEMORY, ::CoCreateInstance(gimlet::CLSID_Addin, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch, &none));
        EXPECT_EQ(nullptr, none.Get());
    }
    EXPECT_EQ((std::vector<std::string>{"Error(custom) : CAddin::FinalConstruct\texception: out of memory",
                                        "Addin.Done 1.0.97"}),
              Log());
    {
        CreateAddin();
        Fire(&ITanagerSite::Ready);
        Select(1);
        CScopedEnv hook("QUILLON_TEST_THROW", "CAddin::~CAddin");
        addin.Reset();
    }
    EXPECT_EQ("Error(custom) : CAddin::~CAddin\texception: out of memory", Log().back());
    EXPECT_FALSE(FileExists(Picture("Import")));
    EXPECT_EQ(nullptr, OwnHiddenForm());
    EXPECT_EQ("release TanagerInit", Journal().back());
    ::DeleteFileA(LogFile().c_str());
    ASSERT_HRESULT_SUCCEEDED(site->Reset());  // the released toolbar goes from the site too
    ASSERT_HRESULT_SUCCEEDED(site->put_HostWindow(kHostWindow));

    CreateAddin();
    Fire(&ITanagerSite::Ready);
    Select(1);
    {
        CScopedEnv hook("QUILLON_TEST_THROW", "CAddin::OnClick");
        long delivered = -1;
        EXPECT_HRESULT_SUCCEEDED(site->ClickButton(0, 0, -1, &delivered));
    }
    UINT count = 0;
    DISPPARAMS none = {};
    {
        CScopedEnv hook("QUILLON_TEST_THROW", "CAddin::GetTypeInfoCount:error");
        EXPECT_EQ(E_FAIL, addin->GetTypeInfoCount(&count));
    }
    {
        CScopedEnv hook("QUILLON_TEST_THROW", "CAddin::Invoke");
        EXPECT_EQ(E_OUTOFMEMORY, addin->Invoke(1, IID_NULL, 0, DISPATCH_METHOD, &none, nullptr, nullptr, nullptr));
    }
    std::vector<std::string> log = Log();
    for (const char* line : {"Error(custom) : CAddin::OnClick\texception: out of memory",
                             "Error(custom) : CAddin::GetTypeInfoCount\texception: test hook",
                             "Error(custom) : CAddin::Invoke\texception: out of memory"})
        EXPECT_NE(log.end(), std::find(log.begin(), log.end(), line)) << line;
    // The same button works afterwards.
    long delivered = -1;
    ASSERT_HRESULT_SUCCEEDED(site->ClickButton(0, 0, -1, &delivered));
    EXPECT_FALSE(TakeRecord(g_world->addinFolder).empty());
}

// An SDK object whose connection point calls back from inside Advise and keeps the sink after
// Unadvise, as a careless SDK may.
class CFakeSource final
    : public common::CComObject<CFakeSource, IConnectionPointContainer, IConnectionPoint> {
public:
    static const common::CInterfaceEntry<CFakeSource> kInterfaces[];
    explicit CFakeSource(IUnknown* outer) : CComObject(outer) {}
    std::function<void()> m_duringAdvise;
    ComPtr<IUnknown> m_sink;

    STDMETHODIMP EnumConnectionPoints(IEnumConnectionPoints**) override { return E_NOTIMPL; }
    STDMETHODIMP FindConnectionPoint(REFIID, IConnectionPoint** point) override
    {
        *point = this;
        AddRef();
        return S_OK;
    }
    STDMETHODIMP GetConnectionInterface(IID*) override { return E_NOTIMPL; }
    STDMETHODIMP GetConnectionPointContainer(IConnectionPointContainer**) override { return E_NOTIMPL; }
    STDMETHODIMP Advise(IUnknown* sink, DWORD* cookie) override
    {
        m_sink = sink;
        *cookie = 1;
        if (m_duringAdvise)
            m_duringAdvise();
        return S_OK;
    }
    STDMETHODIMP Unadvise(DWORD) override { return S_OK; }
    STDMETHODIMP EnumConnections(IEnumConnections**) override { return E_NOTIMPL; }
};
const common::CInterfaceEntry<CFakeSource> CFakeSource::kInterfaces[] = {
    {&IID_IConnectionPointContainer, &common::CastTo<CFakeSource, IConnectionPointContainer>},
    {&IID_IConnectionPoint, &common::CastTo<CFakeSource, IConnectionPoint>},
    {nullptr, nullptr}};

class CFakeSink final : public common::CComObject<CFakeSink, ITanagerInitEvents>, public gimlet::CSinkOwner {
public:
    static const common::CInterfaceEntry<CFakeSink> kInterfaces[];
    explicit CFakeSink(IUnknown* outer) : CComObject(outer) {}
    STDMETHODIMP OnInitTanager() override { return S_OK; }
    STDMETHODIMP OnShutdownTanager() override { return S_OK; }
};
const common::CInterfaceEntry<CFakeSink> CFakeSink::kInterfaces[] = {
    {&IID_ITanagerInitEvents, &common::CastTo<CFakeSink, ITanagerInitEvents>}, {nullptr, nullptr}};

// An event delivered from inside Advise finds the source held (the toolbar is built from the host
// that reports the current folder while it connects); once the link lets go, a source that still
// calls the sink reaches no add-in.
TEST_F(AddinTest, EventLinkHoldsTheSourceDuringAdviseAndClearsTheSinksOwner)
{
    ComPtr<IConnectionPointContainer> source;
    ASSERT_HRESULT_SUCCEEDED(common::CreateComObject<CFakeSource>(nullptr, IID_IConnectionPointContainer, &source));
    auto* fake = static_cast<CFakeSource*>(source.Get());
    ComPtr<ITanagerInitEvents> sinkObject;
    ASSERT_HRESULT_SUCCEEDED(common::CreateComObject<CFakeSink>(nullptr, IID_ITanagerInitEvents, &sinkObject));
    auto* sink = static_cast<CFakeSink*>(sinkObject.Get());
    gimlet::CAddin* const owner = reinterpret_cast<gimlet::CAddin*>(&g_world);  // never called
    sink->m_owner = owner;

    gimlet::CEventLink<IConnectionPointContainer> link;
    bool heldDuringAdvise = false;
    fake->m_duringAdvise = [&] { heldDuringAdvise = link.Get() == source.Get(); };
    ASSERT_HRESULT_SUCCEEDED(link.Set(source, sink, IID_ITanagerInitEvents));
    EXPECT_TRUE(heldDuringAdvise);
    EXPECT_EQ(owner, sink->m_owner);
    link.Release();
    EXPECT_FALSE(link);
    EXPECT_EQ(sinkObject.Get(), fake->m_sink.Get());  // still held by the source
    EXPECT_EQ(nullptr, sink->m_owner);
    fake->m_sink.Reset();
}

TEST_F(AddinTest, OptionsItemShowsTheOptionsFormModally)
{
    CreateAddin();
    Fire(&ITanagerSite::Ready);
    Select(1);
    static bool s_seen;
    s_seen = false;
    UINT_PTR timer = ::SetTimer(nullptr, 0, 50, [](HWND, UINT, UINT_PTR id, DWORD) CALLBACK {
        HWND form = ::FindWindowA("#32770", "Quillon - Options");
        if (!form)
            return;
        ::KillTimer(nullptr, id);
        s_seen = true;
        ::SendMessageA(::GetDlgItem(form, IDCANCEL), BM_CLICK, 0, 0);
    });
    UINT_PTR guard = ::SetTimer(nullptr, 0, 10000, [](HWND, UINT, UINT_PTR id, DWORD) CALLBACK {
        ::KillTimer(nullptr, id);
        if (HWND form = ::FindWindowA("#32770", nullptr))
            ::EndDialog(form, IDCANCEL);
    });
    long delivered = -1;
    ASSERT_HRESULT_SUCCEEDED(site->ClickMenuItem(3, 0, &delivered));
    ::KillTimer(nullptr, timer);
    ::KillTimer(nullptr, guard);
    EXPECT_EQ(1, delivered);
    EXPECT_TRUE(s_seen) << "the options form did not show";
    EXPECT_EQ(nullptr, ::FindWindowA("#32770", "Quillon - Options"));  // unloaded after
}

// The picture choice, through the add-in's code linked into this program so that the version
// question can be answered by the test.
DWORD g_major = 0;
bool g_versionKnown = true;
bool TestVersion(DWORD* major)
{
    *major = g_major;
    return g_versionKnown;
}

COLORREF FirstPixel(const std::string& bmp)
{
    // 24-bit bottom-up rows: the first pixel of the last row is (0, 31); the background is plain.
    if (bmp.size() < 57)
        return CLR_INVALID;
    const BYTE* p = reinterpret_cast<const BYTE*>(bmp.data()) + 54;
    return RGB(p[2], p[1], p[0]);
}

TEST_F(AddinTest, PicturesFollowTheWindowsVersion)
{
    const struct {
        DWORD major;
        bool known;
        COLORREF background;  // of the "Import" picture: classic grey or the light vista one
    } cases[] = {{6, true, RGB(245, 246, 247)}, {10, true, RGB(245, 246, 247)}, {5, true, RGB(212, 208, 200)},
                 {0, false, RGB(212, 208, 200)}};
    gimlet::SetVersionSource(&TestVersion);
    for (const auto& c : cases) {
        g_major = c.major;
        g_versionKnown = c.known;
        ComPtr<IDispatch> local;
        ASSERT_HRESULT_SUCCEEDED(common::CreateComObject<gimlet::CAddin>(nullptr, IID_IDispatch, &local));
        Fire(&ITanagerSite::Ready);
        Select(1);
        EXPECT_EQ(c.background, FirstPixel(ReadFileBytes(Picture("Import")))) << "major " << c.major;
        EXPECT_NE(FirstPixel(ReadFileBytes(Picture("Import"))), FirstPixel(ReadFileBytes(Picture("Import_over"))));
        local.Reset();
        EXPECT_FALSE(FileExists(Picture("Import")));
        site->Reset();
        site->put_HostWindow(kHostWindow);
    }
    gimlet::SetVersionSource(nullptr);
}

// The whole road: the stand-in mail client loads the SDK and the add-in, shows the toolbar the
// add-in built, and its buttons start the converter; closing it shuts the SDK down.
TEST_F(AddinTest, MailClientShowsTheToolbarAndItsButtonsStartTheConverter)
{
    DWORD pid = 0;
    common::CHandle process = StartProcess("\"" + BinDir() + "\\mailclient.exe\"", "", &pid);
    ASSERT_TRUE(process);
    // Whatever happens below, the mail client does not outlive the test.
    struct CKill {
        HANDLE process;
        ~CKill() { ::TerminateProcess(process, 99); }
    } kill{process.get()};
    HWND main = nullptr;
    ASSERT_TRUE(WaitUntil([&] {
        main = ::FindWindowA(mailclient::kWindowClass, mailclient::kWindowTitle);
        DWORD owner = 0;
        ::GetWindowThreadProcessId(main, &owner);
        return main && owner == pid && ::IsWindowVisible(main);
    }, 20000)) << "the mail client's window did not show: " << main << " pid " << pid << " any "
               << ::FindWindowA(mailclient::kWindowClass, nullptr) << " title " << ::FindWindowA(nullptr, mailclient::kWindowTitle);

    HWND list = ::GetDlgItem(main, mailclient::kFolderListId);
    ::SendMessageA(list, LB_SETCURSEL, 0, 0);
    ::PostMessageA(main, WM_COMMAND, MAKEWPARAM(mailclient::kFolderListId, LBN_SELCHANGE), reinterpret_cast<LPARAM>(list));
    HWND toolbar = nullptr;
    ASSERT_TRUE(WaitUntil([&] {
        toolbar = ::GetDlgItem(main, mailclient::kToolbarIdBase);
        return toolbar && ::SendMessageA(toolbar, TB_BUTTONCOUNT, 0, 0) == 3;
    }, 20000)) << "the add-in's toolbar did not appear with three buttons";
    EXPECT_TRUE(::IsWindowVisible(toolbar));

    const struct {
        int command;
        const char* parameters;
    } clicks[] = {{mailclient::ButtonCommand(0, 0), " -Import -Foreground"},
                  {mailclient::ButtonCommand(0, 1), " -Export -Foreground"},
                  {mailclient::ItemCommand(0, 2, 1), " -About -Foreground"}};
    for (const auto& c : clicks) {
        ::PostMessageA(main, WM_COMMAND, MAKEWPARAM(c.command, 0), 0);
        std::vector<std::string> lines = TakeRecord(g_world->addinFolder);
        ASSERT_FALSE(lines.empty()) << c.parameters;
        const std::string& line = lines[0];
        ASSERT_GE(line.size(), strlen(c.parameters));
        EXPECT_EQ(c.parameters, line.substr(line.size() - strlen(c.parameters))) << line;
    }

    ::PostMessageA(main, WM_CLOSE, 0, 0);
    LONG code = -1;
    ASSERT_TRUE(WaitExit(process.get(), 20000, &code)) << "the mail client did not end";
    EXPECT_EQ(0, code);
    EXPECT_EQ((std::vector<std::string>{"Add.Init 1.0.97", "->OnInitTanager", "->OnFolderSelectionChanged", "AddGUI",
                                        "->OnShutdownTanager", "Addin.Done 1.0.97"}),
              Log());
    for (const char* key : gimlet::kPictureKeys)
        EXPECT_FALSE(FileExists(Picture(key))) << key;
}

}  // namespace
