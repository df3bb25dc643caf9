// The four exports of Gimlet.dll, served by the shared COM server pieces.
#include <windows.h>

#include "common/comserver.h"
#include "mailaddin/Addin.h"
#include "mailaddin/gimlet_ids.h"
#include "mailaddin/resource.h"

namespace {
common::CClassEntry g_classes[] = {
    {&gimlet::CLSID_Addin, &common::CreateComObject<gimlet::CAddin>, IDR_ADDIN}};
common::CComServer g_server(g_classes, 1, &gimlet::LIBID_Gimlet);
}  // namespace

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID)
{
    if (reason == DLL_PROCESS_ATTACH) {
        g_server.Attach(instance);
        DisableThreadLibraryCalls(instance);
    } else if (reason == DLL_PROCESS_DETACH) {
        g_server.Detach();
    }
    return TRUE;
}

STDAPI DllGetClassObject(REFCLSID clsid, REFIID iid, void** out)
{
    return g_server.GetClassObject(clsid, iid, out);
}

STDAPI DllCanUnloadNow() { return g_server.CanUnloadNow(); }

STDAPI DllRegisterServer() { return g_server.RegisterServer(); }

STDAPI DllUnregisterServer() { return g_server.UnregisterServer(); }
