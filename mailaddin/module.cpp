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

COMMON_COM_SERVER_EXPORTS(g_server)
