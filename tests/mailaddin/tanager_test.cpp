// The stand-in SDK on its own: its connection points follow the COM rules, its objects refuse
// what a real SDK would refuse, and releasing an object ends its event delivery while what it
// built stays readable by the mail client.
#include <gtest/gtest.h>

#include <windows.h>
#include <olectl.h>
#include <wrl/client.h>

#include <string>

#include "support/testsupport.h"
#include "tanager.h"
#include "tanager_site.h"

using Microsoft::WRL::ComPtr;

namespace {

// A sink that counts what it hears; it answers the four event interfaces.
class CCountingSink : public ITanagerInitEvents, public ITanagerHostEvents, public ITanagerButtonEvents {
public:
    long inits = 0, shutdowns = 0, clicks = 0, lastFolder = 0;

    STDMETHODIMP QueryInterface(REFIID iid, void** out) override
    {
        if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_ITanagerInitEvents))
            *out = static_cast<ITanagerInitEvents*>(this);
        else if (IsEqualIID(iid, IID_ITanagerHostEvents))
            *out = static_cast<ITanagerHostEvents*>(this);
        else if (IsEqualIID(iid, IID_ITanagerButtonEvents))
            *out = static_cast<ITanagerButtonEvents*>(this);
        else {
            *out = nullptr;
            return E_NOINTERFACE;
        }
        AddRef();
        return S_OK;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return ++m_refs; }
    STDMETHODIMP_(ULONG) Release() override { return --m_refs; }  // lives on the test's stack
    STDMETHODIMP OnInitTanager() override { ++inits; return S_OK; }
    STDMETHODIMP OnShutdownTanager() override { ++shutdowns; return S_OK; }
    STDMETHODIMP OnFolderSelectionChanged(long id) override { lastFolder = id; return S_OK; }
    STDMETHODIMP OnClick() override { ++clicks; return S_OK; }
    ULONG Refs() const { return m_refs; }

private:
    ULONG m_refs = 0;
};

HRESULT Connect(IUnknown* source, REFIID iid, IUnknown* sink, DWORD* cookie, ComPtr<IConnectionPoint>* point)
{
    ComPtr<IConnectionPointContainer> container;
    HRESULT hr = source->QueryInterface(IID_IConnectionPointContainer, &container);
    if (SUCCEEDED(hr))
        hr = container->FindConnectionPoint(iid, point->ReleaseAndGetAddressOf());
    if (SUCCEEDED(hr))
        hr = (*point)->Advise(sink, cookie);
    return hr;
}

BSTR Text(const wchar_t* text) { return ::SysAllocString(text); }

class TanagerTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
        s_module.reset(::LoadLibraryA((testsupport::BinDir() + "\\Tanager.dll").c_str()));
        auto reg = reinterpret_cast<HRESULT(STDAPICALLTYPE*)()>(::GetProcAddress(s_module.get(), "DllRegisterServer"));
        s_registered = reg && SUCCEEDED(reg());
    }
    static void TearDownTestSuite()
    {
        auto unreg = reinterpret_cast<HRESULT(STDAPICALLTYPE*)()>(::GetProcAddress(s_module.get(), "DllUnregisterServer"));
        if (unreg)
            unreg();
        ::CoUninitialize();
    }
    void SetUp() override
    {
        ASSERT_TRUE(s_registered);
        ASSERT_HRESULT_SUCCEEDED(::CoCreateInstance(CLSID_TanagerSite, nullptr, CLSCTX_INPROC_SERVER, IID_ITanagerSite, &site));
        site->Reset();
        site->put_HostWindow(77);
    }
    template <class I>
    ComPtr<I> Make(REFCLSID clsid, REFIID iid)
    {
        ComPtr<I> object;
        EXPECT_HRESULT_SUCCEEDED(::CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, iid, &object));
        return object;
    }

    static common::CModule s_module;
    static bool s_registered;
    ComPtr<ITanagerSite> site;
};

common::CModule TanagerTest::s_module;
bool TanagerTest::s_registered = false;

TEST_F(TanagerTest, ConnectionPointsFollowTheComRules)
{
    auto init = Make<ITanagerInit>(CLSID_TanagerInit, IID_ITanagerInit);
    ComPtr<IConnectionPointContainer> container;
    ASSERT_HRESULT_SUCCEEDED(init.As(&container));
    ComPtr<IConnectionPoint> point;
    EXPECT_EQ(CONNECT_E_NOCONNECTION, container->FindConnectionPoint(IID_ITanagerButtonEvents, &point));
    ASSERT_HRESULT_SUCCEEDED(container->FindConnectionPoint(IID_ITanagerInitEvents, &point));
    IID iid = {};
    EXPECT_HRESULT_SUCCEEDED(point->GetConnectionInterface(&iid));
    EXPECT_TRUE(IsEqualIID(IID_ITanagerInitEvents, iid));
    ComPtr<IConnectionPointContainer> back;
    EXPECT_HRESULT_SUCCEEDED(point->GetConnectionPointContainer(&back));
    EXPECT_EQ(container.Get(), back.Get());

    // A sink that does not speak the interface is refused.
    class CWrong : public IUnknown {
    public:
        STDMETHODIMP QueryInterface(REFIID iid, void** out) override
        {
            *out = IsEqualIID(iid, IID_IUnknown) ? this : nullptr;
            return *out ? S_OK : E_NOINTERFACE;
        }
        STDMETHODIMP_(ULONG) AddRef() override { return 2; }
        STDMETHODIMP_(ULONG) Release() override { return 1; }
    } wrong;
    DWORD cookie = 0;
    EXPECT_EQ(CONNECT_E_CANNOTCONNECT, point->Advise(&wrong, &cookie));
    EXPECT_EQ(0u, cookie);

    CCountingSink a, b;
    DWORD ca = 0, cb = 0;
    ASSERT_HRESULT_SUCCEEDED(point->Advise(static_cast<ITanagerInitEvents*>(&a), &ca));
    ASSERT_HRESULT_SUCCEEDED(point->Advise(static_cast<ITanagerInitEvents*>(&b), &cb));
    EXPECT_NE(ca, cb);
    long delivered = 0;
    site->Ready(&delivered);
    EXPECT_EQ(2, delivered);
    VARIANT_BOOL ready = VARIANT_FALSE;
    init->get_Ready(&ready);
    EXPECT_EQ(VARIANT_TRUE, ready);
    EXPECT_HRESULT_SUCCEEDED(point->Unadvise(ca));
    EXPECT_EQ(CONNECT_E_NOCONNECTION, point->Unadvise(ca));
    EXPECT_EQ(0u, a.Refs());  // the connection let go of the sink
    site->Shutdown(&delivered);
    EXPECT_EQ(1, delivered);
    EXPECT_EQ((std::pair<long, long>{1, 0}), std::make_pair(a.inits, a.shutdowns));
    EXPECT_EQ((std::pair<long, long>{1, 1}), std::make_pair(b.inits, b.shutdowns));

    // Releasing the object ends its delivery and lets go of its sinks.
    point.Reset();
    back.Reset();
    container.Reset();
    init.Reset();
    EXPECT_EQ(0u, b.Refs());
    site->Ready(&delivered);
    EXPECT_EQ(0, delivered);
}

TEST_F(TanagerTest, ToolbarNeedsTheHostIdAndKeepsWhatWasBuilt)
{
    auto host = Make<ITanagerHost>(CLSID_TanagerHost, IID_ITanagerHost);
    CCountingSink hostSink;
    DWORD cookie = 0;
    ComPtr<IConnectionPoint> hostPoint;
    ASSERT_HRESULT_SUCCEEDED(Connect(host.Get(), IID_ITanagerHostEvents, static_cast<ITanagerHostEvents*>(&hostSink), &cookie, &hostPoint));
    long delivered = 0;
    site->SelectFolder(42, &delivered);
    EXPECT_EQ(1, delivered);
    EXPECT_EQ(42, hostSink.lastFolder);
    long id = 0;
    host->get_HostId(&id);
    EXPECT_EQ(77, id);

    auto toolbar = Make<ITanagerToolbar>(CLSID_TanagerToolbar, IID_ITanagerToolbar);
    VARIANT_BOOL large = VARIANT_FALSE;
    toolbar->get_LargeButtons(&large);
    EXPECT_EQ(VARIANT_TRUE, large);
    EXPECT_EQ(E_INVALIDARG, toolbar->Create(78));
    long count = -1;
    site->get_ToolbarCount(&count);
    EXPECT_EQ(0, count);  // not shown before Create succeeds
    ASSERT_HRESULT_SUCCEEDED(toolbar->put_LargeButtons(VARIANT_FALSE));
    ASSERT_HRESULT_SUCCEEDED(toolbar->Create(77));
    EXPECT_EQ(E_UNEXPECTED, toolbar->Create(77));

    BSTR caption = Text(L"Go"), image = Text(L"C:\\p\\go.bmp"), hover = Text(L"C:\\p\\go_over.bmp"), none = Text(L"");
    ComPtr<ITanagerButton> button, item, nested;
    ASSERT_HRESULT_SUCCEEDED(toolbar->AddButton(caption, image, hover, &button));
    ASSERT_HRESULT_SUCCEEDED(button->AddSubButton(caption, none, none, &item));
    EXPECT_EQ(E_NOTIMPL, item->AddSubButton(caption, none, none, &nested));
    ComPtr<ITanagerMenu> menu;
    EXPECT_EQ(E_INVALIDARG, host->GetMenu(6, &menu));
    EXPECT_EQ(E_INVALIDARG, host->GetMenu(-1, &menu));
    ASSERT_HRESULT_SUCCEEDED(host->GetMenu(1, &menu));
    ComPtr<ITanagerMenuItem> menuItem;
    ASSERT_HRESULT_SUCCEEDED(menu->AddItem(caption, &menuItem));
    for (BSTR b : {caption, image, hover, none})
        ::SysFreeString(b);

    BSTR layout = nullptr;
    ASSERT_HRESULT_SUCCEEDED(site->get_Layout(&layout));
    EXPECT_STREQ(L"toolbar 0 host=77 large=false\r\n"
                 L"  button \"Go\" image=\"C:\\p\\go.bmp\" hover=\"C:\\p\\go_over.bmp\"\r\n"
                 L"    item \"Go\" image=\"\" hover=\"\"\r\n"
                 L"menu 1 \"Edit\" item \"Go\"\r\n",
                 layout);
    ::SysFreeString(layout);

    CCountingSink clicks;
    ComPtr<IConnectionPoint> buttonPoint;
    ASSERT_HRESULT_SUCCEEDED(Connect(button.Get(), IID_ITanagerButtonEvents, static_cast<ITanagerButtonEvents*>(&clicks), &cookie, &buttonPoint));
    site->ClickButton(0, 0, -1, &delivered);
    EXPECT_EQ(1, delivered);
    site->ClickButton(0, 0, 0, &delivered);
    EXPECT_EQ(0, delivered);  // the item has no sink
    EXPECT_EQ(E_INVALIDARG, site->ClickButton(0, 1, -1, &delivered));
    EXPECT_EQ(E_INVALIDARG, site->ClickButton(0, 0, 1, &delivered));
    EXPECT_EQ(1, clicks.clicks);

    // Released without disconnecting: clicks stop, the button stays on the toolbar.
    buttonPoint.Reset();
    button.Reset();
    EXPECT_EQ(0u, clicks.Refs());
    site->ClickButton(0, 0, -1, &delivered);
    EXPECT_EQ(0, delivered);
    BSTR shown = nullptr;
    ASSERT_HRESULT_SUCCEEDED(site->GetButton(0, 0, -1, &shown, nullptr, nullptr, nullptr));
    EXPECT_STREQ(L"Go", shown);
    ::SysFreeString(shown);
    hostPoint->Unadvise(cookie);
}

}  // namespace
