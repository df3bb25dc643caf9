#include "common/registration.h"

#include <oleauto.h>
#include <wrl/client.h>

#include "common/raii.h"
#include "common/text.h"
#include "common/trace.h"

using Microsoft::WRL::ComPtr;

namespace common {

// The script registrar of the system (atl's "Registrar" class), declared here because this
// toolchain has no header for it. Not in an anonymous namespace: the compiler would take an
// interface that nothing in this file implements for one that no object can have, and drop the
// calls through it.
const CLSID CLSID_ScriptRegistrar = {0x44EC053A, 0x400F, 0x11D0, {0x9D, 0xCD, 0x00, 0xA0, 0xC9, 0x03, 0x91, 0xD3}};
const IID IID_IScriptRegistrar = {0x44EC053B, 0x400F, 0x11D0, {0x9D, 0xCD, 0x00, 0xA0, 0xC9, 0x03, 0x91, 0xD3}};

struct IScriptRegistrar : public IUnknown {
    virtual HRESULT STDMETHODCALLTYPE AddReplacement(LPCOLESTR key, LPCOLESTR item) = 0;
    virtual HRESULT STDMETHODCALLTYPE ClearReplacements() = 0;
    virtual HRESULT STDMETHODCALLTYPE ResourceRegisterSz(LPCOLESTR resFileName, LPCOLESTR id,
                                                         LPCOLESTR type) = 0;
    virtual HRESULT STDMETHODCALLTYPE ResourceUnregisterSz(LPCOLESTR resFileName, LPCOLESTR id,
                                                           LPCOLESTR type) = 0;
    virtual HRESULT STDMETHODCALLTYPE FileRegister(LPCOLESTR fileName) = 0;
    virtual HRESULT STDMETHODCALLTYPE FileUnregister(LPCOLESTR fileName) = 0;
    virtual HRESULT STDMETHODCALLTYPE StringRegister(LPCOLESTR data) = 0;
    virtual HRESULT STDMETHODCALLTYPE StringUnregister(LPCOLESTR data) = 0;
    virtual HRESULT STDMETHODCALLTYPE ResourceRegister(LPCOLESTR resFileName, UINT id,
                                                       LPCOLESTR type) = 0;
    virtual HRESULT STDMETHODCALLTYPE ResourceUnregister(LPCOLESTR resFileName, UINT id,
                                                         LPCOLESTR type) = 0;
};

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
