// The shared COM server pieces that Ferrule's tests do not reach through its exports: a creation
// that fails half-way, the type library's file names, and the script registrar run against this
// program's own "REGISTRY" resources (a good script both ways, a broken one). Interface tables,
// aggregation, the cached class object and the lock count are tested through Ferrule.DLL.
#include <gtest/gtest.h>
#include <ocidl.h>
#include <wrl/client.h>

#include "common/comserver.h"
#include "common/text.h"
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

const CLSID kSampleClsid = {0x6b1f2e10, 0x1111, 0x4a2b, {0x9c, 0x3d, 0x10, 0x20, 0x30, 0x40, 0x50, 0x60}};

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

std::string ReadHkcu(const std::string& key, const char* name)
{
    return testsupport::RegText(HKEY_CURRENT_USER, key, name);
}

TEST(ComServerRegistrar, ScriptRunsWithReplacementsBothWays)
{
    const wchar_t* kExtra = L"Bob's 'more'";
    common::CCoInit com;
    ASSERT_TRUE(SUCCEEDED(com.result()));
    const char* key = "Software\\QuillonComServerTest";
    testsupport::DeleteRegTree(HKEY_CURRENT_USER, key);

    HMODULE self = GetModuleHandleW(nullptr);
    ASSERT_EQ(S_OK, common::RunRegistryScript(self, 201, true, {{L"EXTRA", kExtra}}));
    EXPECT_EQ("Test Class", ReadHkcu(key, nullptr));
    EXPECT_EQ(common::ModuleFileName(nullptr), ReadHkcu(key, "Module"));
    // A quote inside a replacement (an install path may hold one) stays part of the value.
    EXPECT_EQ("Bob's 'more'", ReadHkcu(key, "Extra"));
    EXPECT_EQ("inner", ReadHkcu(std::string(key) + "\\Sub", nullptr));
    // Again: harmless, the same values.
    ASSERT_EQ(S_OK, common::RunRegistryScript(self, 201, true, {{L"EXTRA", kExtra}}));
    EXPECT_EQ("inner", ReadHkcu(std::string(key) + "\\Sub", nullptr));

    ASSERT_EQ(S_OK, common::RunRegistryScript(self, 201, false, {{L"EXTRA", kExtra}}));
    EXPECT_FALSE(testsupport::RegKeyExists(HKEY_CURRENT_USER, key));
    EXPECT_TRUE(testsupport::RegKeyExists(HKEY_CURRENT_USER, "Software"));
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
