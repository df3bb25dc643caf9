// The pieces every in-process COM server of ours is made of, written once.
//
// How a server uses it:
//
//   1. Each class derives from CComObject<CMyClass, IFirst, ISecond...> and lists what it answers
//      in a static table; the first entry also answers IUnknown:
//
//        class CMyClass final : public common::CComObject<CMyClass, IFirst, ISecond> {
//        public:
//            static const common::CInterfaceEntry<CMyClass> kInterfaces[];
//            explicit CMyClass(IUnknown* outer) : CComObject(outer) {}
//            HRESULT FinalConstruct();     // optional: work that can fail, after construction;
//                                          // it runs inside the noexcept creator, so whatever
//                                          // may throw there runs through GuardHr
//            ...interface methods...
//        };
//        const common::CInterfaceEntry<CMyClass> CMyClass::kInterfaces[] = {
//            {&IID_IFirst, &common::CastTo<CMyClass, IFirst>},
//            {&IID_ISecond, &common::CastTo<CMyClass, ISecond>},
//            {nullptr, nullptr}};
//
//      A live object holds one module lock (see ModuleLockCount); it supports aggregation.
//
//   2. The module keeps one CComServer with its class table and type library:
//
//        static common::CClassEntry g_classes[] = {
//            {&CLSID_MyClass, &common::CreateComObject<CMyClass>, 101 /* REGISTRY script */}};
//        static common::CComServer g_server(g_classes, &LIBID_MyLib);
//
//   3. The exports forward to it: DllMain calls Attach/Detach, and DllGetClassObject,
//      DllCanUnloadNow, DllRegisterServer and DllUnregisterServer call the members of the same
//      name. Registration runs each class's "REGISTRY" script through the system's script
//      registrar with %MODULE% = the module's full path (plus any replacements the server adds),
//      then registers the type library from the module's "TYPELIB" 1 resource, or from a .tlb
//      file beside the module when the resource cannot be loaded.
//
// Lock count: +1 for each live object, +1 while a cached class object is held by anyone besides
// the cache, +1 for each LockServer(TRUE) not yet undone. DllCanUnloadNow answers S_OK at zero.
#pragma once

#include <windows.h>
#include <ole2.h>
#include <new>
#include <utility>
#include <vector>

#include "common/guard.h"
#include "common/raii.h"
#include "common/registration.h"
#include "common/trace.h"

namespace common {

// ---- module lock count --------------------------------------------------------------------

void ModuleLock() noexcept;
void ModuleUnlock() noexcept;
LONG ModuleLockCount() noexcept;

// ---- objects -------------------------------------------------------------------------------

template <class T>
struct CInterfaceEntry {
    const IID* iid;
    IUnknown* (*cast)(T* object);
};

template <class T, class I>
IUnknown* CastTo(T* object)
{
    return static_cast<I*>(object);
}

// IUnknown for a class T implementing the interfaces Is. The interfaces' IUnknown methods go to the
// controlling unknown: the outer object when aggregated, this object's own inner unknown otherwise.
template <class T, class... Is>
class CComObject : public Is... {
public:
    CComObject(const CComObject&) = delete;
    CComObject& operator=(const CComObject&) = delete;

    STDMETHODIMP QueryInterface(REFIID iid, void** out) override
    {
        return m_controlling->QueryInterface(iid, out);
    }
    STDMETHODIMP_(ULONG) AddRef() override { return m_controlling->AddRef(); }
    STDMETHODIMP_(ULONG) Release() override { return m_controlling->Release(); }

    // The non-delegating unknown: what an aggregating outer object holds.
    IUnknown* InnerUnknown() noexcept { return &m_inner; }

    // Second construction step, for work that can fail; classes hide it with their own.
    HRESULT FinalConstruct() { return S_OK; }

protected:
    explicit CComObject(IUnknown* outer) noexcept
        : m_inner(static_cast<T*>(this)), m_controlling(outer ? outer : &m_inner)
    {
        ModuleLock();
    }
    virtual ~CComObject() { ModuleUnlock(); }

private:
    class CInner : public IUnknown {
    public:
        explicit CInner(T* owner) noexcept : m_owner(owner) {}

        STDMETHODIMP QueryInterface(REFIID iid, void** out) override
        {
            if (!out)
                return E_POINTER;
            *out = nullptr;
            IUnknown* found = nullptr;
            const bool aggregated = static_cast<CComObject*>(m_owner)->m_controlling != this;
            if (IsEqualIID(iid, IID_IUnknown)) {
                // An aggregated object's identity is its inner unknown; a standalone one answers
                // IUnknown through its first interface.
                found = aggregated ? static_cast<IUnknown*>(this) : T::kInterfaces[0].cast(m_owner);
            } else {
                for (const CInterfaceEntry<T>* e = T::kInterfaces; e->iid; ++e) {
                    if (IsEqualIID(iid, *e->iid)) {
                        found = e->cast(m_owner);
                        break;
                    }
                }
            }
            if (!found)
                return E_NOINTERFACE;
            found->AddRef();
            *out = found;
            return S_OK;
        }
        STDMETHODIMP_(ULONG) AddRef() override { return static_cast<ULONG>(InterlockedIncrement(&m_refs)); }
        STDMETHODIMP_(ULONG) Release() override
        {
            LONG n = InterlockedDecrement(&m_refs);
            if (n == 0)
                delete static_cast<CComObject*>(m_owner);
            return static_cast<ULONG>(n);
        }

    private:
        T* m_owner;
        LONG m_refs = 1;  // the creator's reference, given back by CreateComObject
    };

    CInner m_inner;
    IUnknown* m_controlling;
};

// Creator for the class table: constructs T (aggregated when outer is given, which allows only
// IUnknown to be asked for), runs its FinalConstruct and asks it for iid. Whatever fails destroys
// the new object and is returned.
template <class T>
HRESULT CreateComObject(IUnknown* outer, REFIID iid, void** out) noexcept
{
    if (!out)
        return E_POINTER;
    *out = nullptr;
    if (outer && !IsEqualIID(iid, IID_IUnknown))
        return CLASS_E_NOAGGREGATION;
    T* object = new (std::nothrow) T(outer);
    if (!object)
        return E_OUTOFMEMORY;
    IUnknown* inner = object->InnerUnknown();
    HRESULT hr = object->FinalConstruct();
    if (SUCCEEDED(hr))
        hr = inner->QueryInterface(iid, out);
    inner->Release();  // the creator's reference: the object lives on only if the caller holds it
    return hr;
}

// ---- class objects and the server ---------------------------------------------------------

using CreateFn = HRESULT (*)(IUnknown* outer, REFIID iid, void** out);

struct CClassEntry {
    const CLSID* clsid;
    CreateFn create;
    UINT registryScript;          // id of its "REGISTRY" resource; 0 writes nothing
    IClassFactory* cached = nullptr;  // the class object, made on first request
};

class CComServer {
public:
    CComServer(CClassEntry* classes, size_t count, const GUID* libid) noexcept;
    // The whole class table, counted.
    template <size_t N>
    CComServer(CClassEntry (&classes)[N], const GUID* libid) noexcept : CComServer(classes, N, libid) {}
    CComServer(const CComServer&) = delete;
    CComServer& operator=(const CComServer&) = delete;

    void Attach(HINSTANCE instance) noexcept;
    void Detach() noexcept;  // releases every cached class object
    HINSTANCE Instance() const noexcept { return m_instance; }

    HRESULT GetClassObject(REFCLSID clsid, REFIID iid, void** out) noexcept;
    HRESULT CanUnloadNow() const noexcept;

    // Replacements besides %MODULE%, used by every script of this server.
    void AddReplacement(const wchar_t* key, const wchar_t* value);

    // Scripts of every class, then the type library (when the server has one). The first failure
    // is returned; a failed script leaves the type library alone.
    HRESULT RegisterServer() noexcept;
    // Scripts in "unregister" mode, then the type library. Returns the first script failure, or
    // S_OK; a type library that cannot be unregistered (no oleaut32 entry) is not a failure.
    HRESULT UnregisterServer() noexcept;

private:
    HRESULT _RunScript(UINT id, bool doRegister) noexcept;

    CClassEntry* m_classes;
    size_t m_count;
    const GUID* m_libid;
    HINSTANCE m_instance = nullptr;
    CCriticalSection m_cs;
    std::vector<CReplacement> m_replacements;
};

}  // namespace common

// The DLL entry and the four exports of an in-process server, all served by one CComServer.
// A server's module file names its class table and server object, then writes this once.
#define COMMON_COM_SERVER_EXPORTS(server)                                           \
    extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID)        \
    {                                                                               \
        if (reason == DLL_PROCESS_ATTACH) {                                         \
            (server).Attach(instance);                                              \
            ::DisableThreadLibraryCalls(instance);                                  \
        } else if (reason == DLL_PROCESS_DETACH) {                                  \
            (server).Detach();                                                      \
        }                                                                           \
        return TRUE;                                                                \
    }                                                                               \
    STDAPI DllGetClassObject(REFCLSID clsid, REFIID iid, void** out)                \
    {                                                                               \
        return common::GuardHr("DllGetClassObject",                                 \
                               [&] { return (server).GetClassObject(clsid, iid, out); }); \
    }                                                                               \
    STDAPI DllCanUnloadNow()                                                        \
    {                                                                               \
        return common::GuardHr("DllCanUnloadNow", [&] { return (server).CanUnloadNow(); }); \
    }                                                                               \
    STDAPI DllRegisterServer()                                                      \
    {                                                                               \
        return common::GuardHr("DllRegisterServer", [&] { return (server).RegisterServer(); }); \
    }                                                                               \
    STDAPI DllUnregisterServer()                                                    \
    {                                                                               \
        return common::GuardHr("DllUnregisterServer",                               \
                               [&] { return (server).UnregisterServer(); });        \
    }
