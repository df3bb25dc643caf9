// Registration of Ferrule.DLL in the real (Wine) registry: regsvr32 and the exports write exactly
// the class and ProgID keys, the type library is registered and loadable, COM can create the class
// from the registry, and unregistration removes it all but HKEY_CLASSES_ROOT\CLSID.
#include <gtest/gtest.h>
#include <shlobj.h>
#include <wrl/client.h>

#include <algorithm>
#include <set>
#include <thread>

#include "common/comserver.h"
#include "common/text.h"
#include "support/testsupport.h"
#include "wabext/ferrule_ids.h"

using Microsoft::WRL::ComPtr;

namespace {

const char kClassKey[] = "CLSID\\{C0CEE871-6EDE-4B3F-9D49-487132A1193C}";
const char kTypeLibKey[] = "TypeLib\\{07DC723E-F819-4C2D-AD32-B0F5AB384E80}";

std::string DllPath() { return testsupport::BinDir() + "\\Ferrule.DLL"; }

bool KeyExists(const std::string& key)
{
    return testsupport::RegKeyExists(HKEY_CLASSES_ROOT, key);
}

std::string Value(const std::string& key, const char* name)
{
    return testsupport::RegText(HKEY_CLASSES_ROOT, key, name);
}

// The names of a key's subkeys, or of its named values.
std::set<std::string> Names(const std::string& key, bool values)
{
    std::set<std::string> names;
    common::CRegKey h;
    if (RegOpenKeyExA(HKEY_CLASSES_ROOT, key.c_str(), 0, KEY_READ, h.put()) != ERROR_SUCCESS)
        return names;
    char name[256];
    for (DWORD i = 0;; ++i) {
        DWORD size = sizeof(name);
        LONG result = values ? RegEnumValueA(h.get(), i, name, &size, nullptr, nullptr, nullptr, nullptr)
                             : RegEnumKeyExA(h.get(), i, name, &size, nullptr, nullptr, nullptr, nullptr);
        if (result != ERROR_SUCCESS)
            break;
        if (name[0])
            names.insert(name);
    }
    return names;
}

std::set<std::string> Subkeys(const std::string& key) { return Names(key, false); }
std::set<std::string> ValueNames(const std::string& key) { return Names(key, true); }

bool RunRegsvr32(const std::string& options)
{
    return testsupport::Regsvr32(options, DllPath());
}

class FerruleRegistration : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(SUCCEEDED(m_com.result()));
        testsupport::CFerruleRegistered::Remove(DllPath());
    }
    void TearDown() override { testsupport::CFerruleRegistered::Remove(DllPath()); }

    // Everything the registration script writes, value by value and key by key.
    void ExpectTable()
    {
        const std::string clsid = "{C0CEE871-6EDE-4B3F-9D49-487132A1193C}";
        const std::string cls = kClassKey;
        struct Row {
            std::string key;
            const char* name;
            std::string value;
        } rows[] = {
            {"Ferrule.Connect.1", nullptr, "Connect Class"},
            {"Ferrule.Connect.1\\CLSID", nullptr, clsid},
            {"Ferrule.Connect", nullptr, "Connect Class"},
            {"Ferrule.Connect\\CLSID", nullptr, clsid},
            {"Ferrule.Connect\\CurVer", nullptr, "Ferrule.Connect.1"},
            {cls, nullptr, "Connect Class"},
            {cls + "\\ProgID", nullptr, "Ferrule.Connect.1"},
            {cls + "\\VersionIndependentProgID", nullptr, "Ferrule.Connect"},
            {cls + "\\Programmable", nullptr, "<missing>"},
            {cls + "\\InprocServer32", nullptr, common::ModuleFileName(m_module.get())},
            {cls + "\\InprocServer32", "ThreadingModel", "Apartment"},
            {cls + "\\TypeLib", nullptr, "{07DC723E-F819-4C2D-AD32-B0F5AB384E80}"},
        };
        for (const Row& r : rows)
            EXPECT_EQ(r.value, Value(r.key, r.name)) << r.key << " " << (r.name ? r.name : "(default)");
        EXPECT_TRUE(KeyExists(cls + "\\Programmable"));

        using Names = std::set<std::string>;
        EXPECT_EQ((Names{"CLSID"}), Subkeys("Ferrule.Connect.1"));
        EXPECT_EQ((Names{"CLSID", "CurVer"}), Subkeys("Ferrule.Connect"));
        EXPECT_EQ((Names{"InprocServer32", "ProgID", "Programmable", "TypeLib", "VersionIndependentProgID"}),
                  Subkeys(cls));
        for (const char* sub : {"\\ProgID", "\\VersionIndependentProgID", "\\Programmable", "\\TypeLib"}) {
            EXPECT_EQ(Names{}, Subkeys(cls + sub)) << sub;
            EXPECT_EQ(Names{}, ValueNames(cls + sub)) << sub;
        }
        EXPECT_EQ((Names{"ThreadingModel"}), ValueNames(cls + "\\InprocServer32"));
        EXPECT_EQ(Names{}, ValueNames(cls));
    }

    void ExpectGone()
    {
        EXPECT_FALSE(KeyExists(kClassKey));
        EXPECT_FALSE(KeyExists("Ferrule.Connect"));
        EXPECT_FALSE(KeyExists("Ferrule.Connect.1"));
        EXPECT_FALSE(KeyExists(kTypeLibKey));
        EXPECT_TRUE(KeyExists("CLSID"));
    }

    common::CCoInit m_com;
    common::CModule m_module{LoadLibraryA(DllPath().c_str())};
};

TEST_F(FerruleRegistration, Regsvr32WritesTheTableAndRemovesIt)
{
    ASSERT_TRUE(m_module);
    ASSERT_TRUE(RunRegsvr32("/s"));
    ExpectTable();
    // The full path, as the system reports it for the module.
    EXPECT_NE(std::string::npos, Value(std::string(kClassKey) + "\\InprocServer32", nullptr).find("\\Ferrule.DLL"));

    // The type library is registered with its path and help folder.
    EXPECT_EQ("Ferrule 1.0 Type Library", Value(std::string(kTypeLibKey) + "\\1.0", nullptr));
    // Under the platform of the library's own code: a 32-bit Ferrule is "win32".
    const char* platform = sizeof(void*) == 8 ? "\\win64" : "\\win32";
    EXPECT_EQ(common::ModuleFileName(m_module.get()), Value(std::string(kTypeLibKey) + "\\1.0\\0" + platform, nullptr));
    EXPECT_EQ(common::FolderOf(common::ModuleFileName(m_module.get())) + "\\",
              Value(std::string(kTypeLibKey) + "\\1.0\\HELPDIR", nullptr));
    ComPtr<ITypeLib> typeLib;
    EXPECT_EQ(S_OK, LoadRegTypeLib(ferrule::LIBID_FERRULELib, 1, 0, LOCALE_NEUTRAL, typeLib.GetAddressOf()));

    // COM finds the class through the registry, by class and by either ProgID.
    ComPtr<IContextMenu> menu;
    EXPECT_EQ(S_OK, CoCreateInstance(ferrule::CLSID_Connect, nullptr, CLSCTX_INPROC_SERVER, IID_IContextMenu,
                                     reinterpret_cast<void**>(menu.GetAddressOf())));
    menu.Reset();
    for (const wchar_t* progId : {L"Ferrule.Connect", L"Ferrule.Connect.1"}) {
        CLSID clsid = CLSID_NULL;
        EXPECT_EQ(S_OK, CLSIDFromProgID(progId, &clsid));
        EXPECT_TRUE(IsEqualCLSID(ferrule::CLSID_Connect, clsid));
    }

    ASSERT_TRUE(RunRegsvr32("/s /u"));
    ExpectGone();
    typeLib.Reset();
    EXPECT_TRUE(FAILED(LoadRegTypeLib(ferrule::LIBID_FERRULELib, 1, 0, LOCALE_NEUTRAL, typeLib.GetAddressOf())));
}

TEST_F(FerruleRegistration, ExportsRegisterTwiceAndUnregisterTwiceHarmlessly)
{
    ASSERT_TRUE(m_module);
    auto reg = reinterpret_cast<HRESULT(WINAPI*)()>(GetProcAddress(m_module.get(), "DllRegisterServer"));
    auto unreg = reinterpret_cast<HRESULT(WINAPI*)()>(GetProcAddress(m_module.get(), "DllUnregisterServer"));
    ASSERT_TRUE(reg && unreg);

    // From a thread that has not initialised COM, as an installer may call it.
    HRESULT fromBareThread = E_FAIL;
    std::thread([&] { fromBareThread = reg(); }).join();
    ASSERT_EQ(S_OK, fromBareThread);
    ExpectTable();
    // The class key is replaced as a whole: whatever was left under it goes.
    ASSERT_TRUE(testsupport::SetRegString(HKEY_CLASSES_ROOT, std::string(kClassKey) + "\\Stale", "", "old"));
    ASSERT_TRUE(testsupport::SetRegString(HKEY_CLASSES_ROOT, std::string(kClassKey) + "\\Programmable", "", "old"));
    ASSERT_EQ(S_OK, reg());
    ExpectTable();

    EXPECT_EQ(S_OK, unreg());
    ExpectGone();
    EXPECT_EQ(S_OK, unreg());
    ExpectGone();
}

TEST_F(FerruleRegistration, TypeLibraryDescribesTheClass)
{
    ComPtr<ITypeLib> typeLib;
    const std::string dll = DllPath();
    std::wstring wide(dll.begin(), dll.end());
    ASSERT_EQ(S_OK, LoadTypeLib(wide.c_str(), typeLib.GetAddressOf()));

    TLIBATTR* attr = nullptr;
    ASSERT_EQ(S_OK, typeLib->GetLibAttr(&attr));
    EXPECT_TRUE(IsEqualGUID(ferrule::LIBID_FERRULELib, attr->guid));
    EXPECT_EQ(1, attr->wMajorVerNum);
    EXPECT_EQ(0, attr->wMinorVerNum);
    typeLib->ReleaseTLibAttr(attr);
    BSTR name = nullptr, doc = nullptr;
    ASSERT_EQ(S_OK, typeLib->GetDocumentation(-1, &name, &doc, nullptr, nullptr));
    EXPECT_STREQ(L"FERRULELib", name);
    EXPECT_STREQ(L"Ferrule 1.0 Type Library", doc);
    SysFreeString(name);
    SysFreeString(doc);

    ComPtr<ITypeInfo> coclass;
    ASSERT_EQ(S_OK, typeLib->GetTypeInfoOfGuid(ferrule::CLSID_Connect, coclass.GetAddressOf()));
    ASSERT_EQ(S_OK, coclass->GetDocumentation(MEMBERID_NIL, &name, &doc, nullptr, nullptr));
    EXPECT_STREQ(L"Connect", name);
    EXPECT_STREQ(L"Connect Class", doc);
    SysFreeString(name);
    SysFreeString(doc);
    TYPEATTR* ta = nullptr;
    ASSERT_EQ(S_OK, coclass->GetTypeAttr(&ta));
    EXPECT_EQ(TKIND_COCLASS, ta->typekind);
    EXPECT_TRUE(ta->wTypeFlags & TYPEFLAG_FCANCREATE);
    EXPECT_EQ(1, ta->cImplTypes);
    coclass->ReleaseTypeAttr(ta);
    INT implFlags = 0;
    EXPECT_EQ(S_OK, coclass->GetImplTypeFlags(0, &implFlags));
    EXPECT_TRUE(implFlags & IMPLTYPEFLAG_FDEFAULT);

    ComPtr<ITypeInfo> itf;
    ASSERT_EQ(S_OK, typeLib->GetTypeInfoOfGuid(ferrule::IID_IConnect, itf.GetAddressOf()));
    ASSERT_EQ(S_OK, itf->GetDocumentation(MEMBERID_NIL, &name, &doc, nullptr, nullptr));
    EXPECT_STREQ(L"IConnect", name);
    EXPECT_STREQ(L"IConnect Interface", doc);
    SysFreeString(name);
    SysFreeString(doc);
    ASSERT_EQ(S_OK, itf->GetTypeAttr(&ta));
    EXPECT_EQ(TKIND_DISPATCH, ta->typekind);
    EXPECT_TRUE(ta->wTypeFlags & TYPEFLAG_FDUAL);
    itf->ReleaseTypeAttr(ta);

    // Its interface half: automation-compatible, derived from IDispatch, no members of its own.
    HREFTYPE href = 0;
    ComPtr<ITypeInfo> vtable;
    ASSERT_EQ(S_OK, itf->GetRefTypeOfImplType(-1, &href));
    ASSERT_EQ(S_OK, itf->GetRefTypeInfo(href, vtable.GetAddressOf()));
    ASSERT_EQ(S_OK, vtable->GetTypeAttr(&ta));
    EXPECT_EQ(TKIND_INTERFACE, ta->typekind);
    EXPECT_TRUE(ta->wTypeFlags & TYPEFLAG_FOLEAUTOMATION);
    EXPECT_EQ(0, ta->cFuncs);
    vtable->ReleaseTypeAttr(ta);
    ComPtr<ITypeInfo> base;
    ASSERT_EQ(S_OK, vtable->GetRefTypeOfImplType(0, &href));
    ASSERT_EQ(S_OK, vtable->GetRefTypeInfo(href, base.GetAddressOf()));
    ASSERT_EQ(S_OK, base->GetDocumentation(MEMBERID_NIL, &name, nullptr, nullptr, nullptr));
    EXPECT_STREQ(L"IDispatch", name);
    SysFreeString(name);
}

TEST(FerruleTypeLibFile, LoadedFromTheTlbBesideAModuleWithoutOne)
{
    // The test program has no TYPELIB resource: the file of its name with ".tlb" is used instead.
    common::CCoInit com;
    std::string exe = common::ModuleFileName(nullptr);
    std::string tlb = exe.substr(0, exe.size() - 4) + ".tlb";
    ASSERT_TRUE(testsupport::CopyFileTo(testsupport::BinDir() + "\\..\\wabext\\ferrule.tlb", tlb));
    ComPtr<ITypeLib> typeLib;
    std::wstring path;
    HRESULT hr = common::LoadModuleTypeLib(GetModuleHandleW(nullptr), typeLib.GetAddressOf(), &path);
    TLIBATTR* attr = nullptr;
    bool right = SUCCEEDED(hr) && SUCCEEDED(typeLib->GetLibAttr(&attr)) &&
                 IsEqualGUID(ferrule::LIBID_FERRULELib, attr->guid);
    if (attr)
        typeLib->ReleaseTLibAttr(attr);
    typeLib.Reset();
    DeleteFileA(tlb.c_str());
    EXPECT_EQ(S_OK, hr);
    EXPECT_TRUE(right);
    EXPECT_EQ(std::wstring(tlb.begin(), tlb.end()), path);

    EXPECT_TRUE(FAILED(common::LoadModuleTypeLib(GetModuleHandleW(nullptr), typeLib.GetAddressOf(), nullptr)));
}

TEST(FerruleVersion, VersionResource)
{
    const struct {
        const char* name;
        const char* value;
    } rows[] = {
        {"file", "1.0.0.2"},           {"product", "1.0.0.2"},    {"FileDescription", "Ferrule Module"},
        {"ProductName", "Ferrule Module"}, {"InternalName", "Ferrule"}, {"OriginalFilename", "Ferrule.DLL"},
        {"FileVersion", "1.0.0.2"},    {"ProductVersion", "1.0.0.2"},
    };
    for (const auto& r : rows)
        EXPECT_EQ(r.value, testsupport::VersionValue(DllPath(), r.name)) << r.name;
}

}  // namespace
