#include "base/App.h"

#include "common/text.h"

namespace {
HINSTANCE g_instance = nullptr;
}

HINSTANCE GetAppInstance()
{
    return g_instance ? g_instance : ::GetModuleHandleA(nullptr);
}

void SetAppInstance(HINSTANCE instance)
{
    g_instance = instance;
}

std::string LoadProgramString(UINT id)
{
    // A length query (buffer size 0) hands back a read-only pointer into the resource.
    const wchar_t* text = nullptr;
    int length = ::LoadStringW(GetAppInstance(), id, reinterpret_cast<LPWSTR>(&text), 0);
    if (length <= 0 || !text)
        return std::string();
    return common::WideToAnsi(text, static_cast<size_t>(length));
}
