// The four exports of Gimlet.dll, served by the shared COM server pieces.
#include <windows.h>

#include "common/comserver.h"
#include "mailaddin/Addin.h"
#include "mailaddin/Debug.h"
#include "mailaddin/gimlet_ids.h"
#include "mailaddin/resource.h"

namespace {
common::CClassEntry g_classes[] = {
    {&gimlet::CLSID_Addin, &common::CreateComObject<gimlet::CAddin>, IDR_ADDIN}};
common::CComServer g_server(g_classes, &gimlet::LIBID_Gimlet);

// Every event and failure of the add-in goes to its debug log, an escaped exception too.
struct CGuardReportToDebugLog {
    CGuardReportToDebugLog()
    {
        common::SetGuardReport([](const char* context, HRESULT, const char* what) {
            gimlet::CDebug::Instance().OutCustomError(context, std::string("exception: ") + what);
        });
    }
} g_guardReport;
}  // namespace

COMMON_COM_SERVER_EXPORTS(g_server)
