// The add-in's one class. It waits for the SDK to become ready, builds its toolbar and options
// menu item once, on the first folder selection, and starts the converter for each command.
//
// Every SDK object it holds whose events it wants comes with a connection (CEventLink): releasing
// the object first disconnects our sink, so that an object we let go of never calls us again.
#pragma once

#include <windows.h>
#include <ocidl.h>
#include <wrl/client.h>

#include <string>

#include "common/comserver.h"
#include "tanager.h"

namespace gimlet {

class CAddin;

// What each sink of ours holds besides its COM identity: the add-in its events go to. The link that
// connected the sink clears it when it lets the source go, so that a source that calls a sink it
// was told to forget reaches no add-in (which may be gone by then).
struct CSinkOwner {
    CAddin* m_owner = nullptr;
};

// An SDK object held with its events connected to one of our sinks.
template <class I>
class CEventLink {
public:
    CEventLink() = default;
    CEventLink(const CEventLink&) = delete;
    CEventLink& operator=(const CEventLink&) = delete;
    ~CEventLink() { Release(); }

    // Takes the object and connects sink (a COM object that is also a CSinkOwner) to its events of
    // sinkIid. The object is held before the connection is made: an SDK may deliver an event from
    // inside Advise, and the handler must find the object there. On failure nothing is held.
    template <class S>
    HRESULT Set(const Microsoft::WRL::ComPtr<I>& object, S* sink, REFIID sinkIid)
    {
        Release();
        Microsoft::WRL::ComPtr<IConnectionPointContainer> container;
        HRESULT hr = object.As(&container);
        if (SUCCEEDED(hr))
            hr = container->FindConnectionPoint(sinkIid, &m_point);
        if (SUCCEEDED(hr)) {
            m_object = object;
            m_sink = static_cast<IUnknown*>(sink);
            m_sinkOwner = sink;
            hr = m_point->Advise(m_sink.Get(), &m_cookie);
        }
        if (FAILED(hr)) {
            m_point.Reset();
            _Forget();
            return hr;
        }
        return S_OK;
    }
    void Release()
    {
        if (m_point) {
            m_point->Unadvise(m_cookie);
            m_point.Reset();
        }
        _Forget();
    }
    I* Get() const { return m_object.Get(); }
    explicit operator bool() const { return m_object != nullptr; }

private:
    void _Forget()
    {
        if (m_sinkOwner)
            m_sinkOwner->m_owner = nullptr;
        m_sinkOwner = nullptr;
        m_sink.Reset();
        m_cookie = 0;
        m_object.Reset();
    }

    Microsoft::WRL::ComPtr<I> m_object;
    Microsoft::WRL::ComPtr<IConnectionPoint> m_point;
    Microsoft::WRL::ComPtr<IUnknown> m_sink;
    CSinkOwner* m_sinkOwner = nullptr;
    DWORD m_cookie = 0;
};

class CAddin final : public common::CComObject<CAddin, IDispatch> {
public:
    static const common::CInterfaceEntry<CAddin> kInterfaces[];
    explicit CAddin(IUnknown* outer);
    // Both run inside the mail client's CoCreateInstance and Release, which cannot take an
    // exception: what they need memory for (the log) is walled, and a failure fails the creation.
    ~CAddin() override;
    HRESULT FinalConstruct();

    // IDispatch of the hidden default interface, served from the type library.
    STDMETHODIMP GetTypeInfoCount(UINT* count) override;
    STDMETHODIMP GetTypeInfo(UINT index, LCID lcid, ITypeInfo** info) override;
    STDMETHODIMP GetIDsOfNames(REFIID iid, LPOLESTR* names, UINT count, LCID lcid, DISPID* ids) override;
    STDMETHODIMP Invoke(DISPID id, REFIID iid, LCID lcid, WORD flags, DISPPARAMS* params, VARIANT* result,
                        EXCEPINFO* exception, UINT* argError) override;

    // The SDK's events, delivered by our sinks.
    void OnInitTanager();
    void OnShutdownTanager();
    void OnFolderSelectionChanged(long folderId);
    void OnImportClick();
    void OnExportClick();
    void OnHelpClick();
    void OnBugReportClick();
    void OnAboutClick();
    void OnOptionsClick();

    // "major.minor.revision" of the add-in.
    static std::string Version();

private:
    HRESULT _BuildInterface();
    HRESULT _AddButton(ITanagerToolbar* toolbar, const wchar_t* caption, const std::string& picture,
                       void (CAddin::*handler)(), CEventLink<ITanagerButton>& link);
    HRESULT _AddSubButton(ITanagerButton* button, const wchar_t* caption, void (CAddin::*handler)(),
                          CEventLink<ITanagerButton>& link);
    void _ReleaseInterface();
    static void _StartConverter(const char* parameters);
    HRESULT _TypeInfo(ITypeInfo** info);

    CEventLink<ITanagerInit> m_TanagerInit;
    CEventLink<ITanagerHost> m_Tanager;
    Microsoft::WRL::ComPtr<ITanagerToolbar> m_toolbar;
    CEventLink<ITanagerButton> m_btnImport, m_btnExport, m_btnHelp, m_btnBugReport, m_btnAbout;
    CEventLink<ITanagerMenuItem> m_btnOptions;
    bool m_interfaceBuilt = false;
    Microsoft::WRL::ComPtr<ITypeInfo> m_typeInfo;
};

}  // namespace gimlet
