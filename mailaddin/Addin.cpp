#include "mailaddin/Addin.h"

#include <shellapi.h>

#include <type_traits>

#include "common/guard.h"
#include "common/text.h"
#include "mailaddin/Debug.h"
#include "mailaddin/FrmOptions.h"
#include "mailaddin/Options.h"
#include "mailaddin/Pictures.h"
#include "mailaddin/gimlet_ids.h"

using Microsoft::WRL::ComPtr;

namespace gimlet {

namespace {

// ---- sinks: each SDK source gets its own, which calls one member of the add-in ---------------

class CInitSink final : public common::CComObject<CInitSink, ITanagerInitEvents>, public CSinkOwner {
public:
    static const common::CInterfaceEntry<CInitSink> kInterfaces[];
    explicit CInitSink(IUnknown* outer) : CComObject(outer) {}
    STDMETHODIMP OnInitTanager() override
    {
        return common::GuardHr("CAddin::OnInitTanager", [&] {
            if (m_owner)
                m_owner->OnInitTanager();
            return S_OK;
        });
    }
    STDMETHODIMP OnShutdownTanager() override
    {
        return common::GuardHr("CAddin::OnShutdownTanager", [&] {
            if (m_owner)
                m_owner->OnShutdownTanager();
            return S_OK;
        });
    }
};
const common::CInterfaceEntry<CInitSink> CInitSink::kInterfaces[] = {
    {&IID_ITanagerInitEvents, &common::CastTo<CInitSink, ITanagerInitEvents>}, {nullptr, nullptr}};

class CHostSink final : public common::CComObject<CHostSink, ITanagerHostEvents>, public CSinkOwner {
public:
    static const common::CInterfaceEntry<CHostSink> kInterfaces[];
    explicit CHostSink(IUnknown* outer) : CComObject(outer) {}
    STDMETHODIMP OnFolderSelectionChanged(long folderId) override
    {
        return common::GuardHr("CAddin::OnFolderSelectionChanged", [&] {
            if (m_owner)
                m_owner->OnFolderSelectionChanged(folderId);
            return S_OK;
        });
    }
};
const common::CInterfaceEntry<CHostSink> CHostSink::kInterfaces[] = {
    {&IID_ITanagerHostEvents, &common::CastTo<CHostSink, ITanagerHostEvents>}, {nullptr, nullptr}};

// Buttons and menu items have the same one event; a sink of either calls the member it was given.
// (A sink's owner is cleared by the link that connected it: see CEventLink.)
template <class I, const IID* Iid>
class CClickSink final : public common::CComObject<CClickSink<I, Iid>, I>, public CSinkOwner {
public:
    static const common::CInterfaceEntry<CClickSink> kInterfaces[];
    explicit CClickSink(IUnknown* outer) : common::CComObject<CClickSink<I, Iid>, I>(outer) {}
    void (CAddin::*m_handler)() = nullptr;
    STDMETHODIMP OnClick() override
    {
        return common::GuardHr("CAddin::OnClick", [&] {
            if (m_owner && m_handler)
                (m_owner->*m_handler)();
            return S_OK;
        });
    }
};
template <class I, const IID* Iid>
const common::CInterfaceEntry<CClickSink<I, Iid>> CClickSink<I, Iid>::kInterfaces[] = {
    {Iid, &common::CastTo<CClickSink<I, Iid>, I>}, {nullptr, nullptr}};

using CButtonSink = CClickSink<ITanagerButtonEvents, &IID_ITanagerButtonEvents>;
using CMenuItemSink = CClickSink<ITanagerMenuItemEvents, &IID_ITanagerMenuItemEvents>;

// A new sink of class S for the owner; the caller connects it through a CEventLink and keeps
// nothing else.
template <class S, class I>
HRESULT MakeSink(CAddin* owner, ComPtr<I>& out, void (CAddin::*handler)() = nullptr)
{
    HRESULT hr = common::CreateComObject<S>(nullptr, __uuidof(I), reinterpret_cast<void**>(out.ReleaseAndGetAddressOf()));
    if (FAILED(hr))
        return hr;
    S* sink = static_cast<S*>(out.Get());
    sink->m_owner = owner;
    if constexpr (std::is_same_v<S, CButtonSink> || std::is_same_v<S, CMenuItemSink>)
        sink->m_handler = handler;
    return S_OK;
}

}  // namespace

const common::CInterfaceEntry<CAddin> CAddin::kInterfaces[] = {
    {&IID__Addin, &common::CastTo<CAddin, IDispatch>},
    {&IID_IDispatch, &common::CastTo<CAddin, IDispatch>},
    {nullptr, nullptr}};

std::string CAddin::Version()
{
    return std::to_string(kVersionMajor) + "." + std::to_string(kVersionMinor) + "." + std::to_string(kVersionRevision);
}

CAddin::CAddin(IUnknown* outer) : CComObject(outer) {}

HRESULT CAddin::FinalConstruct()
{
    return common::GuardHr("CAddin::FinalConstruct", [&]() -> HRESULT {
        CDebug::Instance().Out("Add.Init " + Version());
        ComPtr<ITanagerInit> init;
        HRESULT hr = ::CoCreateInstance(CLSID_TanagerInit, nullptr, CLSCTX_INPROC_SERVER, IID_ITanagerInit, &init);
        ComPtr<ITanagerInitEvents> sink;
        if (SUCCEEDED(hr))
            hr = MakeSink<CInitSink>(this, sink);
        if (SUCCEEDED(hr))
            hr = m_TanagerInit.Set(init, static_cast<CInitSink*>(sink.Get()), IID_ITanagerInitEvents);
        if (FAILED(hr)) {
            // The object still exists; it only never hears from the SDK.
            Err().FromHResult(hr);
            CDebug::Instance().OutError("Class_Initialize");
        }
        return S_OK;
    });
}

CAddin::~CAddin()
{
    // Each step that needs memory is walled on its own, so that one failing does not keep the
    // SDK's objects, the pictures or the forms from being let go.
    common::Guard("CAddin::~CAddin", 0, [&] {
        CDebug::Instance().Out("Addin.Done " + Version());
        return 0;
    });
    _ReleaseInterface();
    m_TanagerInit.Release();
    common::Guard("CAddin::~CAddin(pictures)", 0, [&] {
        DeletePictures(CDebug::Instance().LogFolder());
        return 0;
    });
    CDummyForm::Unload();
    COptions::ReleaseInstance();
    CDebug::ReleaseInstance();
}

void CAddin::OnInitTanager()
{
    CDebug::Instance().Out("->OnInitTanager");
    ComPtr<ITanagerHost> host;
    HRESULT hr = ::CoCreateInstance(CLSID_TanagerHost, nullptr, CLSCTX_INPROC_SERVER, IID_ITanagerHost, &host);
    ComPtr<ITanagerHostEvents> sink;
    if (SUCCEEDED(hr))
        hr = MakeSink<CHostSink>(this, sink);
    if (SUCCEEDED(hr))
        hr = m_Tanager.Set(host, static_cast<CHostSink*>(sink.Get()), IID_ITanagerHostEvents);
    if (FAILED(hr)) {
        Err().FromHResult(hr);
        CDebug::Instance().OutError("OnInitTanager");
    }
}

void CAddin::OnFolderSelectionChanged(long)
{
    CDebug::Instance().Out("->OnFolderSelectionChanged");
    if (m_interfaceBuilt)
        return;
    m_interfaceBuilt = true;
    HRESULT hr = _BuildInterface();
    if (FAILED(hr)) {
        CErr& err = Err();
        err.FromHResult(hr);
        CDebug::Instance().OutError("AddGUI" + std::to_string(err.Erl));
    }
}

void CAddin::OnShutdownTanager()
{
    CDebug::Instance().Out("->OnShutdownTanager");
    _ReleaseInterface();
}

HRESULT CAddin::_AddButton(ITanagerToolbar* toolbar, const wchar_t* caption, const std::string& picture,
                           void (CAddin::*handler)(), CEventLink<ITanagerButton>& link)
{
    const std::string& folder = CDebug::Instance().LogFolder();
    common::CBstr text = common::MakeBstr(caption);
    common::CBstr image = common::MakeBstr(common::AnsiToWide(PicturePath(folder, picture)));
    common::CBstr hover = common::MakeBstr(common::AnsiToWide(PicturePath(folder, picture + "_over")));
    ComPtr<ITanagerButton> button;
    HRESULT hr = toolbar->AddButton(text.get(), image.get(), hover.get(), &button);
    if (FAILED(hr))
        return hr;
    ComPtr<ITanagerButtonEvents> sink;
    hr = MakeSink<CButtonSink>(this, sink, handler);
    if (FAILED(hr))
        return hr;
    return link.Set(button, static_cast<CButtonSink*>(sink.Get()), IID_ITanagerButtonEvents);
}

HRESULT CAddin::_AddSubButton(ITanagerButton* button, const wchar_t* caption, void (CAddin::*handler)(),
                              CEventLink<ITanagerButton>& link)
{
    common::CBstr text = common::MakeBstr(caption);
    common::CBstr none = common::MakeBstr(L"");
    ComPtr<ITanagerButton> item;
    HRESULT hr = button->AddSubButton(text.get(), none.get(), none.get(), &item);
    if (FAILED(hr))
        return hr;
    ComPtr<ITanagerButtonEvents> sink;
    hr = MakeSink<CButtonSink>(this, sink, handler);
    if (FAILED(hr))
        return hr;
    return link.Set(item, static_cast<CButtonSink*>(sink.Get()), IID_ITanagerButtonEvents);
}

// Stops at the first failure and returns it; what was built so far stays.
HRESULT CAddin::_BuildInterface()
{
    CDebug& debug = CDebug::Instance();
    debug.Out("AddGUI");
    WritePictures(debug.LogFolder());

    HRESULT hr = ::CoCreateInstance(CLSID_TanagerToolbar, nullptr, CLSCTX_INPROC_SERVER, IID_ITanagerToolbar,
                                    &m_toolbar);
    if (FAILED(hr))
        return hr;
    hr = m_toolbar->put_LargeButtons(COptions::Instance().SmallButtons() ? VARIANT_FALSE : VARIANT_TRUE);
    if (FAILED(hr))
        return hr;
    if (!m_Tanager)
        return E_POINTER;  // no host: the SDK never said it was ready
    long hostId = 0;
    hr = m_Tanager.Get()->get_HostId(&hostId);
    if (FAILED(hr))
        return hr;
    hr = m_toolbar->Create(hostId);
    if (FAILED(hr))
        return hr;
    hr = _AddButton(m_toolbar.Get(), L"Import contacts", "Import", &CAddin::OnImportClick, m_btnImport);
    if (FAILED(hr))
        return hr;
    hr = _AddButton(m_toolbar.Get(), L"Export contacts", "Export", &CAddin::OnExportClick, m_btnExport);
    if (FAILED(hr))
        return hr;
    hr = _AddButton(m_toolbar.Get(), L"Help", "Help", &CAddin::OnHelpClick, m_btnHelp);
    if (FAILED(hr))
        return hr;
    hr = _AddSubButton(m_btnHelp.Get(), L"Report a problem", &CAddin::OnBugReportClick, m_btnBugReport);
    if (FAILED(hr))
        return hr;
    hr = _AddSubButton(m_btnHelp.Get(), L"About Quillon", &CAddin::OnAboutClick, m_btnAbout);
    if (FAILED(hr))
        return hr;

    ComPtr<ITanagerMenu> menu;
    hr = m_Tanager.Get()->GetMenu(3, &menu);
    if (FAILED(hr))
        return hr;
    common::CBstr caption = common::MakeBstr(L"Quillon Options...");
    ComPtr<ITanagerMenuItem> item;
    hr = menu->AddItem(caption.get(), &item);
    if (FAILED(hr))
        return hr;
    ComPtr<ITanagerMenuItemEvents> sink;
    hr = MakeSink<CMenuItemSink>(this, sink, &CAddin::OnOptionsClick);
    if (FAILED(hr))
        return hr;
    return m_btnOptions.Set(item, static_cast<CMenuItemSink*>(sink.Get()), IID_ITanagerMenuItemEvents);
}

void CAddin::_ReleaseInterface()
{
    m_btnImport.Release();
    m_btnExport.Release();
    m_btnBugReport.Release();
    m_btnHelp.Release();
    m_btnAbout.Release();
    m_btnOptions.Release();
    m_toolbar.Reset();
    m_Tanager.Release();
}

void CAddin::_StartConverter(const char* parameters)
{
    // Nothing waits for the converter, and the mail client hears of no failure; the log says why
    // nothing opened.
    std::string folder = AddinFolder();
    HINSTANCE started = ::ShellExecuteA(nullptr, "open", "Quillon.exe", parameters, folder.c_str(), SW_SHOWNORMAL);
    const INT_PTR code = reinterpret_cast<INT_PTR>(started);
    if (code <= 32) {
        Err().Raise(static_cast<long>(code), "Quillon.exe could not be started in " + folder);
        CDebug::Instance().OutError(std::string("StartConverter(") + parameters + ")");
    }
}

void CAddin::OnImportClick() { _StartConverter("-Import -Foreground"); }
void CAddin::OnExportClick() { _StartConverter("-Export -Foreground"); }
void CAddin::OnHelpClick() { _StartConverter("-Help"); }
void CAddin::OnBugReportClick() { _StartConverter("-BugReport"); }
void CAddin::OnAboutClick() { _StartConverter("-About -Foreground"); }

void CAddin::OnOptionsClick()
{
    CFrmOptions form;
    if (form.Show(::GetActiveWindow()) == -1) {
        Err().Raise(static_cast<long>(::GetLastError()), "The options form could not be shown");
        CDebug::Instance().OutError("OnOptionsClick");
    }
}

// ---- IDispatch ------------------------------------------------------------------------------

HRESULT CAddin::_TypeInfo(ITypeInfo** info)
{
    if (!m_typeInfo) {
        ComPtr<ITypeLib> lib;
        std::wstring path;
        HRESULT hr = common::LoadModuleTypeLib(ResourceModule(), &lib, &path);
        if (FAILED(hr))
            return hr;
        hr = lib->GetTypeInfoOfGuid(IID__Addin, &m_typeInfo);
        if (FAILED(hr))
            return hr;
    }
    *info = m_typeInfo.Get();
    (*info)->AddRef();
    return S_OK;
}

STDMETHODIMP CAddin::GetTypeInfoCount(UINT* count)
{
    return common::GuardHr("CAddin::GetTypeInfoCount", [&]() -> HRESULT {
        if (!count)
            return E_POINTER;
        *count = 1;
        return S_OK;
    });
}

STDMETHODIMP CAddin::GetTypeInfo(UINT index, LCID, ITypeInfo** info)
{
    return common::GuardHr("CAddin::GetTypeInfo", [&]() -> HRESULT {
        if (!info)
            return E_POINTER;
        *info = nullptr;
        if (index != 0)
            return DISP_E_BADINDEX;
        return _TypeInfo(info);
    });
}

STDMETHODIMP CAddin::GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids)
{
    return common::GuardHr("CAddin::GetIDsOfNames", [&]() -> HRESULT {
        ComPtr<ITypeInfo> info;
        HRESULT hr = _TypeInfo(&info);
        if (FAILED(hr))
            return hr;
        return ::DispGetIDsOfNames(info.Get(), names, count, ids);
    });
}

STDMETHODIMP CAddin::Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params, VARIANT* result,
                            EXCEPINFO* exception, UINT* argError)
{
    return common::GuardHr("CAddin::Invoke", [&]() -> HRESULT {
        ComPtr<ITypeInfo> info;
        HRESULT hr = _TypeInfo(&info);
        if (FAILED(hr))
            return hr;
        return ::DispInvoke(static_cast<IDispatch*>(this), info.Get(), id, flags, params, result, exception, argError);
    });
}

}  // namespace gimlet
