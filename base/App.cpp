#include "base/App.h"

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
