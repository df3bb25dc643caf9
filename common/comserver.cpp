#include "common/comserver.h"

#include <oleauto.h>
#include <wrl/client.h>

#include "common/text.h"

using Microsoft::WRL::ComPtr;

namespace common {

const CLSID CLSID_ScriptRegistrar = {0x44EC053A, 0x400F, 0x11D0, {0x9D, 0xCD, 0x00, 0xA0, 0xC9, 0x03, 0x91, 0xD3}};
const IID IID_IScriptRegistrar = {0x44EC053B, 0x400F, 0x11D0, {0x9D, 0xCD, 0x00, 0xA0, 0xC9, 0x03, 0x91, 0xD3}};

// ---- module lock count --------------------------------------------------------------------

namespace {
LONG g_moduleLocks = 0;
}

void ModuleLock() noexcept { InterlockedIncrement(&g_moduleLocks); }
void ModuleUnlock() noexcept { InterlockedDecrement(&g_moduleLocks); }
LONG ModuleLockCount() noexcept { return InterlockedCompareExchange(&g_moduleLocks, 0, 0); }

void ComTrace(const char* context, const char* call, HRESULT hr) noexcept
{
    char line[512];
    FormatBounded(line, sizeof(line), "%s: %s failed (0x%08lX)\n", context ? context : "",
                  call ? call : "", static_cast<unsigned long>(hr));
    OutputDebugStringA(line);
}

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

// ---- registration script ------------------------------------------------------------------

HRESULT RunRegistryScript(HMODULE module, UINT id, bool doRegister,
                          const std::vector<CReplacement>& extra) noexcept
{
    const char* context = "common::RunRegistryScript";
    try {
        HRSRC res = FindResourceW(module, MAKEINTRESOURCEW(id), L"REGISTRY");
        if (!res) {
            HRESULT hr = HResultFromLastError();
            ComTrace(context, "FindResource", hr);
            return hr;
        }
        HGLOBAL data = LoadResource(module, res);
        const char* bytes = data ? static_cast<const char*>(LockResource(data)) : nullptr;
        DWORD size = SizeofResource(module, res);
        if (!bytes || size == 0) {
            HRESULT hr = HResultFromLastError();
            ComTrace(context, "LoadResource", hr);
            return hr;
        }
        int wide = MultiByteToWideChar(CP_ACP, 0, bytes, static_cast<int>(size), nullptr, 0);
        std::wstring script(static_cast<size_t>(wide), L'\0');
        if (wide <= 0 ||
            MultiByteToWideChar(CP_ACP, 0, bytes, static_cast<int>(size), &script[0], wide) != wide) {
            HRESULT hr = HResultFromLastError();
            ComTrace(context, "MultiByteToWideChar", hr);
            return hr;
        }
        // A resource may carry padding zeros after the text.
        script.resize(wcsnlen(script.c_str(), script.size()));

        std::wstring modulePath = ModuleFileNameW(module);
        if (modulePath.empty()) {
            HRESULT hr = HResultFromLastError();
            ComTrace(context, "GetModuleFileName", hr);
            return hr;
        }

        ComPtr<IScriptRegistrar> registrar;
        HRESULT hr = CoCreateInstance(CLSID_ScriptRegistrar, nullptr, CLSCTX_INPROC_SERVER,
                                      IID_IScriptRegistrar, reinterpret_cast<void**>(registrar.GetAddressOf()));
        if (FAILED(hr)) {
            ComTrace(context, "CoCreateInstance(Registrar)", hr);
            return hr;
        }
        // Replacements land inside the scripts' quoted strings, where a quote is written twice: an
        // install path such as "C:\Bob's Tools" must not end the string early.
        auto quoted = [](const std::wstring& text) {
            std::wstring out;
            for (wchar_t c : text) {
                out += c;
                if (c == L'\'')
                    out += c;
            }
            return out;
        };
        hr = registrar->AddReplacement(L"MODULE", quoted(modulePath).c_str());
        for (size_t i = 0; i < extra.size() && SUCCEEDED(hr); ++i)
            hr = registrar->AddReplacement(extra[i].key.c_str(), quoted(extra[i].value).c_str());
        if (FAILED(hr)) {
            ComTrace(context, "IRegistrar::AddReplacement", hr);
            return hr;
        }
        hr = doRegister ? registrar->StringRegister(script.c_str()) : registrar->StringUnregister(script.c_str());
        if (FAILED(hr))
            ComTrace(context, doRegister ? "IRegistrar::StringRegister" : "IRegistrar::StringUnregister", hr);
        return hr;
    } catch (const std::bad_alloc&) {
        ComTrace(context, "allocation", E_OUTOFMEMORY);
        return E_OUTOFMEMORY;
    }
}

// ---- type library -------------------------------------------------------------------------

std::wstring ReplaceExtension(const std::wstring& path, const wchar_t* ext)
{
    size_t sep = path.find_last_of(L"\\/:");
    size_t dot = path.find_last_of(L'.');
    if (dot != std::wstring::npos && (sep == std::wstring::npos || dot > sep))
        return path.substr(0, dot) + ext;
    return path + ext;
}

std::wstring HelpFolderOf(const std::wstring& path)
{
    size_t sep = path.find_last_of(L"\\/:");
    if (sep == std::wstring::npos)
        return std::wstring();
    return path.substr(0, sep + 1);
}

HRESULT LoadModuleTypeLib(HMODULE module, ITypeLib** out, std::wstring* path) noexcept
{
    const char* context = "common::LoadModuleTypeLib";
    if (!out)
        return E_POINTER;
    *out = nullptr;
    try {
        std::wstring file = ModuleFileNameW(module);
        if (file.empty()) {
            HRESULT hr = HResultFromLastError();
            ComTrace(context, "GetModuleFileName", hr);
            return hr;
        }
        HRESULT hr = LoadTypeLib(file.c_str(), out);
        if (FAILED(hr)) {
            file = ReplaceExtension(file, L".tlb");
            hr = LoadTypeLib(file.c_str(), out);
        }
        if (FAILED(hr)) {
            ComTrace(context, "LoadTypeLib", hr);
            return hr;
        }
        if (path)
            *path = file;
        return S_OK;
    } catch (const std::bad_alloc&) {
        ComTrace(context, "allocation", E_OUTOFMEMORY);
        return E_OUTOFMEMORY;
    }
}

HRESULT RegisterModuleTypeLib(HMODULE module) noexcept
{
    try {
        ComPtr<ITypeLib> typeLib;
        std::wstring path;
        HRESULT hr = LoadModuleTypeLib(module, typeLib.GetAddressOf(), &path);
        if (FAILED(hr))
            return hr;
        std::wstring helpDir = HelpFolderOf(path);
        hr = RegisterTypeLib(typeLib.Get(), &path[0], helpDir.empty() ? nullptr : &helpDir[0]);
        if (FAILED(hr))
            ComTrace("common::RegisterModuleTypeLib", "RegisterTypeLib", hr);
        return hr;
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
}

HRESULT UnregisterModuleTypeLib(HMODULE module) noexcept
{
    const char* context = "common::UnregisterModuleTypeLib";
    ComPtr<ITypeLib> typeLib;
    HRESULT hr = LoadModuleTypeLib(module, typeLib.GetAddressOf(), nullptr);
    if (FAILED(hr))
        return hr;
    TLIBATTR* attr = nullptr;
    hr = typeLib->GetLibAttr(&attr);
    if (FAILED(hr)) {
        ComTrace(context, "ITypeLib::GetLibAttr", hr);
        return hr;
    }
    const TLIBATTR a = *attr;
    typeLib->ReleaseTLibAttr(attr);

    // Looked up when needed: systems whose oleaut32 lacks it simply keep the registration.
    using UnRegisterFn = HRESULT(WINAPI*)(REFGUID, WORD, WORD, LCID, SYSKIND);
    CModule oleaut(LoadLibraryW(L"oleaut32.dll"));
    if (!oleaut)
        return S_OK;
    auto unregister = reinterpret_cast<UnRegisterFn>(GetProcAddress(oleaut.get(), "UnRegisterTypeLib"));
    if (!unregister)
        return S_OK;
    hr = unregister(a.guid, a.wMajorVerNum, a.wMinorVerNum, a.lcid, a.syskind);
    if (FAILED(hr))
        ComTrace(context, "UnRegisterTypeLib", hr);
    return hr;
}

}  // namespace common
