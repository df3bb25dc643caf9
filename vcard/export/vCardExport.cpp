#include "vcard/export/vCardExport.h"

#include <winerror.h>

#include "app/Log.h"

CvCardExport::CvCardExport() = default;
CvCardExport::~CvCardExport() = default;

// The export dialog and run are not part of this build yet: say so in the log and report failure
// rather than end as if something had been exported.
int CvCardExport::RunExport(HWND owner, const CSelectionList* selection)
{
    g_log.LogErr("CvCardExport::RunExport", E_NOTIMPL, "export is not available in this build");
    return E_NOTIMPL;
}
