// One connection point, embedded in the object whose events it delivers. Its reference count is
// the owner's, so a sink's connection never keeps an object alive on its own, and releasing the
// last reference to the owner ends its event delivery.
#pragma once

#include <windows.h>
#include <ocidl.h>
#include <wrl/client.h>

#include <utility>
#include <vector>

namespace tanager {

class CConnectionPoint : public IConnectionPoint {
public:
    CConnectionPoint(IConnectionPointContainer* owner, const IID& sinkIid) noexcept
        : m_owner(owner), m_sinkIid(sinkIid) {}
    CConnectionPoint(const CConnectionPoint&) = delete;
    CConnectionPoint& operator=(const CConnectionPoint&) = delete;

    STDMETHODIMP QueryInterface(REFIID iid, void** out) override;
    STDMETHODIMP_(ULONG) AddRef() override { return m_owner->AddRef(); }
    STDMETHODIMP_(ULONG) Release() override { return m_owner->Release(); }

    STDMETHODIMP GetConnectionInterface(IID* iid) override;
    STDMETHODIMP GetConnectionPointContainer(IConnectionPointContainer** container) override;
    STDMETHODIMP Advise(IUnknown* sink, DWORD* cookie) override;
    STDMETHODIMP Unadvise(DWORD cookie) override;
    STDMETHODIMP EnumConnections(IEnumConnections** out) override;

    const IID& SinkIid() const noexcept { return m_sinkIid; }
    size_t Count() const noexcept { return m_sinks.size(); }

    // Calls fire(sink) on every sink connected now; sinks that connect or disconnect meanwhile do
    // not disturb the round. Returns how many sinks were called.
    template <class Sink, class Fn>
    long Fire(Fn fire)
    {
        std::vector<Microsoft::WRL::ComPtr<IUnknown>> round;
        for (const auto& s : m_sinks)
            round.push_back(s.second);
        long called = 0;
        for (const auto& s : round) {
            Microsoft::WRL::ComPtr<Sink> sink;
            if (SUCCEEDED(s.As(&sink))) {
                fire(sink.Get());
                ++called;
            }
        }
        return called;
    }

private:
    IConnectionPointContainer* m_owner;
    IID m_sinkIid;
    DWORD m_nextCookie = 1;
    std::vector<std::pair<DWORD, Microsoft::WRL::ComPtr<IUnknown>>> m_sinks;
};

// FindConnectionPoint for an object with a single connection point.
HRESULT FindSingle(CConnectionPoint& point, REFIID iid, IConnectionPoint** out) noexcept;

}  // namespace tanager
