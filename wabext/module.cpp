// The four exports of Ferrule.DLL. Everything they do is the shared COM server's; this file only
// names the one class it serves and its type library.
#include <windows.h>

#include "common/comserver.h"
#include "wabext/connect.h"
#include "wabext/ferrule_ids.h"
#include "wabext/resource.h"

namespace {
common::CClassEntry g_classes[] = {
    {&ferrule::CLSID_Connect, &common::CreateComObject<ferrule::CConnect>, IDR_CONNECT}};
common::CComServer g_server(g_classes, &ferrule::LIBID_FERRULELib);
}  // namespace

HINSTANCE ferrule::ModuleInstance() noexcept { return g_server.Instance(); }

COMMON_COM_SERVER_EXPORTS(g_server)
