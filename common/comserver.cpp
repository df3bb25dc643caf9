#include "common/comserver.h"

namespace common {

// ---- module lock count --------------------------------------------------------------------

namespace {
LONG g_moduleLocks = 0;
}

void ModuleLock() noexcept { InterlockedIncrement(&g_moduleLocks); }
void ModuleUnlock() noexcept { InterlockedDecrement(&g_moduleLocks); }
LONG ModuleLockCount() noexcept { return InterlockedCompareExchange(&g_moduleLocks, 0, 0); }

// ---- the class object ---------------------------------------------------------------------

namespace {

// Lives in the server's cache, which holds one reference. Every reference beyond that one keeps
// the module loaded, so the lock is taken when the count rises to 2 and given back at 1.
class CClassFactory : public IClassFactory {
public:
    explicit CClassFactory(CreateFn create) noexcept : m_create(create) {}

    STDMETHODIMP QueryInterface(REFIID iid, void** out) override
    {
        if (!out)
            return E_POINTER;
        *out = nullptr;
        if (!IsEqualIID(iid, IID_IUnknown) && !IsEqualIID(iid, IID_IClassFactory))
            return E_NOINTERFACE;
        AddRef();
        *out = static_cast<IClassFactory*>(this);
        return S_OK;
    }
    STDMETHODIMP_(ULONG) AddRef() override
    {
        LONG n = InterlockedIncrement(&m_refs);
        if (n == 2)
            ModuleLock();
        return static_cast<ULONG>(n);
    }
    STDMETHODIMP_(ULONG) Release() override
    {
        LONG n = InterlockedDecrement(&m_refs);
        if (n == 1)
            ModuleUnlock();
        else if (n == 0)
            delete this;
        return static_cast<ULONG>(n);
    }
    STDMETHODIMP CreateInstance(IUnknown* outer, REFIID iid, void** out) override
    {
        // A constructor that throws (out of memory) must not reach the host.
        return GuardHr("IClassFactory::CreateInstance", [&] { return m_create(outer, iid, out); });
    }
    STDMETHODIMP LockServer(BOOL lock) override
    {
        if (lock)
            ModuleLock();
        else
            ModuleUnlock();
        return S_OK;
    }

private:
    virtual ~CClassFactory() = default;
    CreateFn m_create;
    LONG m_refs = 1;  // the cache's reference
};

}  // namespace

// ---- the server ---------------------------------------------------------------------------

CComServer::CComServer(CClassEntry* classes, size_t count, const GUID* libid) noexcept
    : m_classes(classes), m_count(count), m_libid(libid)
{
}

void CComServer::Attach(HINSTANCE instance) noexcept { m_instance = instance; }

void CComServer::Detach() noexcept
{
    CLock lock(m_cs);
    for (size_t i = 0; i < m_count; ++i) {
        if (IClassFactory* factory = std::exchange(m_classes[i].cached, nullptr))
            factory->Release();
    }
}

HRESULT CComServer::GetClassObject(REFCLSID clsid, REFIID iid, void** out) noexcept
{
    if (!out)
        return E_POINTER;
    *out = nullptr;
    CClassEntry* entry = nullptr;
    for (size_t i = 0; i < m_count && !entry; ++i) {
        if (IsEqualCLSID(clsid, *m_classes[i].clsid))
            entry = &m_classes[i];
    }
    if (!entry)
        return CLASS_E_CLASSNOTAVAILABLE;

    // Checked once without the lock (the common case: it exists) and again inside it, so that two
    // threads asking at once end up with the same class object.
    auto* slot = reinterpret_cast<PVOID volatile*>(&entry->cached);
    auto* factory = static_cast<IClassFactory*>(InterlockedCompareExchangePointer(slot, nullptr, nullptr));
    if (!factory) {
        CLock lock(m_cs);
        factory = entry->cached;
        if (!factory) {
            factory = new (std::nothrow) CClassFactory(entry->create);
            if (!factory) {
                ComTrace("CComServer::GetClassObject", "new CClassFactory", E_OUTOFMEMORY);
                return E_OUTOFMEMORY;
            }
            InterlockedExchangePointer(slot, factory);
        }
    }
    return factory->QueryInterface(iid, out);
}

HRESULT CComServer::CanUnloadNow() const noexcept { return ModuleLockCount() == 0 ? S_OK : S_FALSE; }

void CComServer::AddReplacement(const wchar_t* key, const wchar_t* value)
{
    m_replacements.push_back({key ? key : L"", value ? value : L""});
}

HRESULT CComServer::_RunScript(UINT id, bool doRegister) noexcept
{
    if (id == 0)
        return S_OK;
    return RunRegistryScript(m_instance, id, doRegister, m_replacements);
}

HRESULT CComServer::RegisterServer() noexcept
{
    // Callers such as installers may not have initialised COM on this thread.
    CCoInit com;
    for (size_t i = 0; i < m_count; ++i) {
        HRESULT hr = _RunScript(m_classes[i].registryScript, true);
        if (FAILED(hr))
            return hr;
    }
    if (!m_libid)
        return S_OK;
    return RegisterModuleTypeLib(m_instance);
}

HRESULT CComServer::UnregisterServer() noexcept
{
    CCoInit com;
    HRESULT first = S_OK;
    for (size_t i = 0; i < m_count; ++i) {
        HRESULT hr = _RunScript(m_classes[i].registryScript, false);
        if (FAILED(hr) && SUCCEEDED(first))
            first = hr;
    }
    // A type library that cannot be found or unregistered was logged where it failed; it does not
    // make the unregistration fail.
    if (m_libid)
        (void)UnregisterModuleTypeLib(m_instance);
    return first;
}

}  // namespace common
