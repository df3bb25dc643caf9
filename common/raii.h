// Owners for the Windows resources our components hold, so that no early return leaks one.
// Each owner is move-only; get() hands the raw value to a call, reset() replaces it and
// release() gives up ownership. COM pointers use Microsoft::WRL::ComPtr instead; the address
// book's buffers, row sets and lists have their owners beside CWABLib (wab/WABLib.h).
#pragma once

#include <windows.h>
#include <commctrl.h>
#include <objbase.h>
#include <oleauto.h>
#include <cstdio>
#include <string>
#include <utility>

namespace common {

template <class Traits>
class CUnique {
public:
    using value_type = typename Traits::type;

    CUnique() noexcept : m_value(Traits::invalid()) {}
    explicit CUnique(value_type value) noexcept : m_value(value) {}
    ~CUnique() { reset(); }

    CUnique(const CUnique&) = delete;
    CUnique& operator=(const CUnique&) = delete;
    CUnique(CUnique&& other) noexcept : m_value(other.release()) {}
    CUnique& operator=(CUnique&& other) noexcept
    {
        if (this != &other)
            reset(other.release());
        return *this;
    }

    value_type get() const noexcept { return m_value; }
    // For owners of a pointer to a structure.
    value_type operator->() const noexcept { return m_value; }
    bool valid() const noexcept { return m_value != Traits::invalid(); }
    explicit operator bool() const noexcept { return valid(); }

    // For calls that fill in an out-parameter: closes what is held first.
    value_type* put() noexcept
    {
        reset();
        return &m_value;
    }

    value_type release() noexcept { return std::exchange(m_value, Traits::invalid()); }

    void reset(value_type value = Traits::invalid()) noexcept
    {
        value_type old = std::exchange(m_value, value);
        if (old != Traits::invalid())
            Traits::close(old);
    }

private:
    value_type m_value;
};

// An owner of a value that is null when there is none, released by one plain function:
// CFreed<T, &Free>. Most of the owners below are such, and so are a library's own lists and buffers.
template <class T, auto Free>
struct FreeTraits {
    using type = T;
    static type invalid() noexcept { return nullptr; }
    static void close(type p) noexcept { Free(p); }
};
template <class T, auto Free>
using CFreed = CUnique<FreeTraits<T, Free>>;

// Kernel handles that use NULL for "none" (events, mutexes, threads, processes).
using CHandle = CFreed<HANDLE, &::CloseHandle>;

// File and search handles, which use INVALID_HANDLE_VALUE for "none".
template <auto Close>
struct InvalidHandleTraits {
    using type = HANDLE;
    static type invalid() noexcept { return INVALID_HANDLE_VALUE; }
    static void close(type h) noexcept { Close(h); }
};
using CFileHandle = CUnique<InvalidHandleTraits<&::CloseHandle>>;
using CFindHandle = CUnique<InvalidHandleTraits<&::FindClose>>;

using CRegKey = CFreed<HKEY, &::RegCloseKey>;
using CModule = CFreed<HMODULE, &::FreeLibrary>;
using CMenu = CFreed<HMENU, &::DestroyMenu>;
using CLocalMem = CFreed<HLOCAL, &::LocalFree>;
// A view of a file mapping, as MapViewOfFile hands it out.
using CMappedView = CFreed<void*, &::UnmapViewOfFile>;
using CBstr = CFreed<BSTR, &::SysFreeString>;

// GDI objects, memory device contexts (CreateCompatibleDC) and image lists.
using CBitmap = CFreed<HBITMAP, &::DeleteObject>;
using CFont = CFreed<HFONT, &::DeleteObject>;
using CBrush = CFreed<HBRUSH, &::DeleteObject>;
using CPen = CFreed<HPEN, &::DeleteObject>;
using CMemoryDC = CFreed<HDC, &::DeleteDC>;
using CImageList = CFreed<HIMAGELIST, &::ImageList_Destroy>;

// Memory the COM allocator handed out (CoTaskMemAlloc, the shell's item lists).
template <class T>
using CCoTaskMem = CFreed<T, &::CoTaskMemFree>;

// A C stream. A writer that must know whether its last bytes reached the file closes it itself:
// fclose(file.release()).
using CStdioFile = CFreed<FILE*, &std::fclose>;

// A BSTR holding text, embedded nulls included; invalid when there is no memory for it.
inline CBstr MakeBstr(const std::wstring& text)
{
    return CBstr(::SysAllocStringLen(text.c_str(), static_cast<UINT>(text.size())));
}

// The device context of a window, or of the screen for a null window (GetDC / ReleaseDC).
class CWindowDC {
public:
    explicit CWindowDC(HWND window) noexcept : m_window(window), m_dc(::GetDC(window)) {}
    ~CWindowDC()
    {
        if (m_dc)
            ::ReleaseDC(m_window, m_dc);
    }
    CWindowDC(const CWindowDC&) = delete;
    CWindowDC& operator=(const CWindowDC&) = delete;
    HDC get() const noexcept { return m_dc; }

private:
    HWND m_window;
    HDC m_dc;
};

// Runs a function when the scope ends, however it ends; Dismiss() cancels it.
template <class F>
class CScopeExit {
public:
    explicit CScopeExit(F f) noexcept : m_f(std::move(f)) {}
    ~CScopeExit()
    {
        if (m_armed)
            m_f();
    }
    CScopeExit(const CScopeExit&) = delete;
    CScopeExit& operator=(const CScopeExit&) = delete;
    void Dismiss() noexcept { m_armed = false; }

private:
    F m_f;
    bool m_armed = true;
};

// A critical section and its scoped lock.
class CCriticalSection {
public:
    CCriticalSection() noexcept { ::InitializeCriticalSection(&m_cs); }
    ~CCriticalSection() { ::DeleteCriticalSection(&m_cs); }
    CCriticalSection(const CCriticalSection&) = delete;
    CCriticalSection& operator=(const CCriticalSection&) = delete;
    void Enter() noexcept { ::EnterCriticalSection(&m_cs); }
    void Leave() noexcept { ::LeaveCriticalSection(&m_cs); }

private:
    CRITICAL_SECTION m_cs;
};

class CLock {
public:
    explicit CLock(CCriticalSection& cs) noexcept : m_cs(cs) { m_cs.Enter(); }
    ~CLock() { m_cs.Leave(); }
    CLock(const CLock&) = delete;
    CLock& operator=(const CLock&) = delete;

private:
    CCriticalSection& m_cs;
};

// CoInitialize for a scope; CoUninitialize only when the initialisation counted.
class CCoInit {
public:
    explicit CCoInit(DWORD model = COINIT_APARTMENTTHREADED) noexcept
        : m_hr(::CoInitializeEx(nullptr, model)) {}
    ~CCoInit()
    {
        if (SUCCEEDED(m_hr))
            ::CoUninitialize();
    }
    CCoInit(const CCoInit&) = delete;
    CCoInit& operator=(const CCoInit&) = delete;
    HRESULT result() const noexcept { return m_hr; }

private:
    HRESULT m_hr;
};

// HRESULT of the last Win32 error; never a success code, even when the call forgot to set one.
[[nodiscard]] inline HRESULT HResultFromLastError() noexcept
{
    DWORD err = ::GetLastError();
    HRESULT hr = HRESULT_FROM_WIN32(err);
    return SUCCEEDED(hr) ? E_FAIL : hr;
}

}  // namespace common
