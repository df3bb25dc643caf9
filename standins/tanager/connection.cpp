#include "connection.h"

#include <olectl.h>

namespace tanager {

STDMETHODIMP CConnectionPoint::QueryInterface(REFIID iid, void** out)
{
    if (!out)
        return E_POINTER;
    *out = nullptr;
    if (!IsEqualIID(iid, IID_IUnknown) && !IsEqualIID(iid, IID_IConnectionPoint))
        return E_NOINTERFACE;
    AddRef();
    *out = static_cast<IConnectionPoint*>(this);
    return S_OK;
}

STDMETHODIMP CConnectionPoint::GetConnectionInterface(IID* iid)
{
    if (!iid)
        return E_POINTER;
    *iid = m_sinkIid;
    return S_OK;
}

STDMETHODIMP CConnectionPoint::GetConnectionPointContainer(IConnectionPointContainer** container)
{
    if (!container)
        return E_POINTER;
    m_owner->AddRef();
    *container = m_owner;
    return S_OK;
}

STDMETHODIMP CConnectionPoint::Advise(IUnknown* sink, DWORD* cookie)
{
    if (!cookie)
        return E_POINTER;
    *cookie = 0;
    if (!sink)
        return E_POINTER;
    // The sink must speak our interface; what we keep is its answer to that question.
    Microsoft::WRL::ComPtr<IUnknown> typed;
    if (FAILED(sink->QueryInterface(m_sinkIid, reinterpret_cast<void**>(typed.GetAddressOf()))))
        return CONNECT_E_CANNOTCONNECT;
    *cookie = m_nextCookie++;
    m_sinks.emplace_back(*cookie, typed);
    return S_OK;
}

STDMETHODIMP CConnectionPoint::Unadvise(DWORD cookie)
{
    for (auto it = m_sinks.begin(); it != m_sinks.end(); ++it) {
        if (it->first == cookie) {
            // Released after leaving the list: the sink's destructor may call back into us.
            Microsoft::WRL::ComPtr<IUnknown> gone = std::move(it->second);
            m_sinks.erase(it);
            return S_OK;
        }
    }
    return CONNECT_E_NOCONNECTION;
}

STDMETHODIMP CConnectionPoint::EnumConnections(IEnumConnections** out)
{
    if (out)
        *out = nullptr;
    return E_NOTIMPL;
}

HRESULT FindSingle(CConnectionPoint& point, REFIID iid, IConnectionPoint** out) noexcept
{
    if (!out)
        return E_POINTER;
    *out = nullptr;
    if (!IsEqualIID(iid, point.SinkIid()))
        return CONNECT_E_NOCONNECTION;
    point.AddRef();
    *out = &point;
    return S_OK;
}

}  // namespace tanager
