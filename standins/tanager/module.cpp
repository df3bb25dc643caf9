// The four exports of Tanager.dll, served by the shared COM server pieces.
#include <windows.h>

#include "common/comserver.h"
#include "objects.h"

#define IDR_TANAGER 101

namespace {
// One script registers every class; the other entries only serve their class objects.
common::CClassEntry g_classes[] = {
    {&CLSID_TanagerSite, &common::CreateComObject<tanager::CSite>, IDR_TANAGER},
    {&CLSID_TanagerInit, &common::CreateComObject<tanager::CInit>, 0},
    {&CLSID_TanagerHost, &common::CreateComObject<tanager::CHost>, 0},
    {&CLSID_TanagerToolbar, &common::CreateComObject<tanager::CToolbar>, 0}};
common::CComServer g_server(g_classes, &LIBID_Tanager);
}  // namespace

COMMON_COM_SERVER_EXPORTS(g_server)
