// The shared COM server pieces, exercised with a small class of the test's own: reference counts,
// the interface table, aggregation, the module lock count, the cached class object and the script
// registrar run against this program's own "REGISTRY" resources.
#include <gtest/gtest.h>
#include <ocidl.h>
#include <wrl/client.h>

#include "common/comserver.h"
#include "support/testsupport.h"

using Microsoft::WRL::ComPtr;

namespace {

int g_liveObjects = 0;
HRESULT g_finalConstructResult = S_OK;

class CSample : public common::CComObject<CSample, IPersist, IOleWindow> {
public:
    static const common::CInterfaceEntry<CSample> kInterfaces[];

    explicit CSample(IUnknown* outer) : CComObject(outer) { ++g_liveObjects; }
    ~CSample() override { --g_liveObjects; }
    HRESULT FinalConstruct() { return g_finalConstructResult; }

    STDMETHODIMP GetClassID(CLSID* id) override
    {
        *id = CLSID_NULL;
        return S_OK;
    }
    STDMETHODIMP GetWindow(HWND* hwnd) override
    {
        *hwnd = nullptr;
        return E_FAIL;
    }
    STDMETHODIMP ContextSensitiveHelp(BOOL) override { return E_NOTIMPL; }
};

const common::CInterfaceEntry<CSample> CSample::kInterfaces[] = {
    {&IID_IPersist, &common::CastTo<CSample, IPersist>},
    {&IID_IOleWindow, &common::CastTo<CSample, IOleWindow>},
    {nullptr, nullptr}};

// An outer object that only counts what the inner object delegates to it.
class COuter : public IUnknown {
public:
    STDMETHODIMP QueryInterface(REFIID iid, void** out) override
    {
        ++queries;
        *out = nullptr;
        return E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return ++refs; }
    STDMETHODIMP_(ULONG) Release() override { return --refs; }
    int refs = 1;
    int queries = 0;
};

const CLSID kSampleClsid = {0x6b1f2e10, 0x1111, 0x4a2b, {0x9c, 0x3d, 0x10, 0x20, 0x30, 0x40, 0x50, 0x60}};
const CLSID kOtherClsid = {0x6b1f2e10, 0x1111, 0x4a2b, {0x9c, 0x3d, 0x10, 0x20, 0x30, 0x40, 0x50, 0x61}};

class ComServerTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        g_finalConstructResult = S_OK;
        m_locksBefore = common::ModuleLockCount();
    }
    void TearDown() override
    {
        EXPECT_EQ(0, g_liveObjects);
        EXPECT_EQ(m_locksBefore, common::ModuleLockCount());
    }
    LONG m_locksBefore = 0;
};

TEST_F(ComServerTest, InterfaceTableAnswersListedInterfacesAndIdentity)
{
    ComPtr<IPersist> persist;
    ASSERT_EQ(S_OK, common::CreateComObject<CSample>(nullptr, IID_IPersist,
                                                     reinterpret_cast<void**>(persist.GetAddressOf())));
    EXPECT_EQ(1, g_liveObjects);
    EXPECT_EQ(m_locksBefore + 1, common::ModuleLockCount());

    ComPtr<IUnknown> unknown;
    ASSERT_EQ(S_OK, persist.As(&unknown));
    // IUnknown is answered through the first table entry.
    EXPECT_EQ(static_cast<IUnknown*>(persist.Get()), unknown.Get());
    ComPtr<IOleWindow> window;
    EXPECT_EQ(S_OK, persist.As(&window));
    ComPtr<IDispatch> dispatch;
    EXPECT_EQ(E_NOINTERFACE, persist.As(&dispatch));
    EXPECT_EQ(nullptr, dispatch.Get());
    EXPECT_EQ(E_POINTER, persist->QueryInterface(IID_IPersist, nullptr));

    // Reference counts are shared by all interfaces of the object.
    IPersist* raw = persist.Get();
    EXPECT_EQ(4u, raw->AddRef());  // persist, unknown, window and this one
    EXPECT_EQ(3u, raw->Release());
    unknown.Reset();
    window.Reset();
    persist.Reset();
    EXPECT_EQ(0, g_liveObjects);
}

TEST_F(ComServerTest, AggregationAllowsOnlyIUnknownAndDelegates)
{
    COuter outer;
    ComPtr<IPersist> persist;
    EXPECT_EQ(CLASS_E_NOAGGREGATION,
              common::CreateComObject<CSample>(&outer, IID_IPersist, reinterpret_cast<void**>(persist.GetAddressOf())));
    EXPECT_EQ(0, g_liveObjects);

    IUnknown* inner = nullptr;
    ASSERT_EQ(S_OK, common::CreateComObject<CSample>(&outer, IID_IUnknown, reinterpret_cast<void**>(&inner)));
    EXPECT_EQ(1, g_liveObjects);
    // The inner unknown answers the interfaces; their IUnknown methods go to the outer object.
    IPersist* p = nullptr;
    ASSERT_EQ(S_OK, inner->QueryInterface(IID_IPersist, reinterpret_cast<void**>(&p)));
    EXPECT_EQ(2, outer.refs);
    IUnknown* identity = nullptr;
    ASSERT_EQ(S_OK, inner->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&identity)));
    EXPECT_EQ(inner, identity);
    identity->Release();
    void* dummy = nullptr;
    EXPECT_EQ(E_NOINTERFACE, p->QueryInterface(IID_IDispatch, &dummy));
    EXPECT_EQ(1, outer.queries);
    p->Release();
    EXPECT_EQ(1, outer.refs);
    EXPECT_EQ(0u, inner->Release());
    EXPECT_EQ(0, g_liveObjects);
}

TEST_F(ComServerTest, FailedConstructionDestroysTheObject)
{
    g_finalConstructResult = E_ACCESSDENIED;
    IUnknown* unknown = reinterpret_cast<IUnknown*>(1);
    EXPECT_EQ(E_ACCESSDENIED, common::CreateComObject<CSample>(nullptr, IID_IUnknown, reinterpret_cast<void**>(&unknown)));
    EXPECT_EQ(nullptr, unknown);
    g_finalConstructResult = S_OK;
    EXPECT_EQ(E_NOINTERFACE, common::CreateComObject<CSample>(nullptr, IID_IDispatch, reinterpret_cast<void**>(&unknown)));
    EXPECT_EQ(E_POINTER, common::CreateComObject<CSample>(nullptr, IID_IUnknown, nullptr));
}

TEST_F(ComServerTest, ClassObjectIsCachedAndKeepsTheModuleLocked)
{
    common::CClassEntry classes[] = {{&kSampleClsid, &common::CreateComObject<CSample>, 0}};
    common::CComServer server(classes, 1, nullptr);
    server.Attach(GetModuleHandleW(nullptr));

    void* out = reinterpret_cast<void*>(1);
    EXPECT_EQ(CLASS_E_CLASSNOTAVAILABLE, server.GetClassObject(kOtherClsid, IID_IClassFactory, &out));
    EXPECT_EQ(nullptr, out);
    EXPECT_EQ(E_POINTER, server.GetClassObject(kSampleClsid, IID_IClassFactory, nullptr));
    EXPECT_EQ(S_OK, server.CanUnloadNow());

    ComPtr<IClassFactory> first, second;
    ASSERT_EQ(S_OK, server.GetClassObject(kSampleClsid, IID_IClassFactory,
                                          reinterpret_cast<void**>(first.GetAddressOf())));
    ASSERT_EQ(S_OK, server.GetClassObject(kSampleClsid, IID_IClassFactory,
                                          reinterpret_cast<void**>(second.GetAddressOf())));
    EXPECT_EQ(first.Get(), second.Get());
    EXPECT_EQ(first.Get(), classes[0].cached);
    // Held beyond the cache: one lock, however many outside references.
    EXPECT_EQ(m_locksBefore + 1, common::ModuleLockCount());
    EXPECT_EQ(S_FALSE, server.CanUnloadNow());
    second.Reset();
    EXPECT_EQ(m_locksBefore + 1, common::ModuleLockCount());

    ComPtr<IPersist> object;
    EXPECT_EQ(S_OK, first->CreateInstance(nullptr, IID_IPersist, reinterpret_cast<void**>(object.GetAddressOf())));
    EXPECT_EQ(m_locksBefore + 2, common::ModuleLockCount());
    ComPtr<IUnknown> aggregated;
    COuter outer;
    EXPECT_EQ(CLASS_E_NOAGGREGATION,
              first->CreateInstance(&outer, IID_IPersist, reinterpret_cast<void**>(aggregated.GetAddressOf())));
    first.Reset();
    EXPECT_EQ(m_locksBefore + 1, common::ModuleLockCount());
    object.Reset();
    EXPECT_EQ(S_OK, server.CanUnloadNow());

    // LockServer keeps the module even when nothing else does.
    ASSERT_EQ(S_OK, server.GetClassObject(kSampleClsid, IID_IClassFactory,
                                          reinterpret_cast<void**>(first.GetAddressOf())));
    EXPECT_EQ(S_OK, first->LockServer(TRUE));
    first.Reset();
    EXPECT_EQ(S_FALSE, server.CanUnloadNow());
    ASSERT_EQ(S_OK, server.GetClassObject(kSampleClsid, IID_IClassFactory,
                                          reinterpret_cast<void**>(first.GetAddressOf())));
    EXPECT_EQ(S_OK, first->LockServer(FALSE));
    first.Reset();
    EXPECT_EQ(S_OK, server.CanUnloadNow());

    server.Detach();
    EXPECT_EQ(nullptr, classes[0].cached);
}

TEST(ComServerPaths, ExtensionAndHelpFolder)
{
    struct Case {
        const wchar_t* path;
        const wchar_t* tlb;
        const wchar_t* help;
    } cases[] = {
        {L"C:\\x\\Ferrule.dll", L"C:\\x\\Ferrule.tlb", L"C:\\x\\"},
        {L"C:/x/Ferrule.dll", L"C:/x/Ferrule.tlb", L"C:/x/"},
        {L"C:\\x.y\\Ferrule", L"C:\\x.y\\Ferrule.tlb", L"C:\\x.y\\"},
        {L"C:Ferrule.a.dll", L"C:Ferrule.a.tlb", L"C:"},
        {L"Ferrule", L"Ferrule.tlb", L""},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(c.tlb, common::ReplaceExtension(c.path, L".tlb")) << c.path;
        EXPECT_EQ(c.help, common::HelpFolderOf(c.path)) << c.path;
    }
}

std::string ReadHkcu(const char* key, const char* name)
{
    char value[1024] = {};
    DWORD size = sizeof(value);
    if (RegGetValueA(HKEY_CURRENT_USER, key, name, RRF_RT_REG_SZ, nullptr, value, &size) != ERROR_SUCCESS)
        return "<missing>";
    return value;
}

bool HkcuKeyExists(const char* key)
{
    HKEY h = nullptr;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, key, 0, KEY_READ, &h) != ERROR_SUCCESS)
        return false;
    RegCloseKey(h);
    return true;
}

TEST(ComServerRegistrar, ScriptRunsWithReplacementsBothWays)
{
    common::CCoInit com;
    ASSERT_TRUE(SUCCEEDED(com.result()));
    const char* key = "Software\\QuillonComServerTest";
    testsupport::DeleteRegTree(HKEY_CURRENT_USER, key);

    HMODULE self = GetModuleHandleW(nullptr);
    ASSERT_EQ(S_OK, common::RunRegistryScript(self, 201, true, {{L"EXTRA", L"more"}}));
    EXPECT_EQ("Test Class", ReadHkcu(key, nullptr));
    EXPECT_EQ(testsupport::BinDir() + "\\wabext_comserver_tests.exe", ReadHkcu(key, "Module"));
    EXPECT_EQ("more", ReadHkcu(key, "Extra"));
    EXPECT_EQ("inner", ReadHkcu((std::string(key) + "\\Sub").c_str(), nullptr));
    // Again: harmless, the same values.
    ASSERT_EQ(S_OK, common::RunRegistryScript(self, 201, true, {{L"EXTRA", L"more"}}));
    EXPECT_EQ("inner", ReadHkcu((std::string(key) + "\\Sub").c_str(), nullptr));

    ASSERT_EQ(S_OK, common::RunRegistryScript(self, 201, false, {{L"EXTRA", L"more"}}));
    EXPECT_FALSE(HkcuKeyExists(key));
    EXPECT_TRUE(HkcuKeyExists("Software"));
    testsupport::DeleteRegTree(HKEY_CURRENT_USER, key);
}

TEST(ComServerRegistrar, FailuresAreReported)
{
    common::CCoInit com;
    HMODULE self = GetModuleHandleW(nullptr);
    EXPECT_TRUE(FAILED(common::RunRegistryScript(self, 202, true)));
    EXPECT_TRUE(FAILED(common::RunRegistryScript(self, 202, false)));
    EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_RESOURCE_NAME_NOT_FOUND), common::RunRegistryScript(self, 999, true));
    testsupport::DeleteRegTree(HKEY_CURRENT_USER, "Software\\QuillonComServerTestBad");

    // A server whose script fails registers nothing else and says so, both ways.
    common::CClassEntry classes[] = {{&kSampleClsid, &common::CreateComObject<CSample>, 202}};
    common::CComServer server(classes, 1, nullptr);
    server.Attach(self);
    EXPECT_TRUE(FAILED(server.RegisterServer()));
    EXPECT_TRUE(FAILED(server.UnregisterServer()));
    testsupport::DeleteRegTree(HKEY_CURRENT_USER, "Software\\QuillonComServerTestBad");
}

}  // namespace
