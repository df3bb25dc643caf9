#include "vcard/import/vCardImport.h"

#include <winerror.h>

#include "app/Log.h"

CvCardImport::CvCardImport() = default;
CvCardImport::~CvCardImport() = default;

// The import dialog and run are not part of this build yet: say so in the log and report failure
// rather than end as if something had been imported.
int CvCardImport::Execute(HWND owner, const CSelectionList* selection)
{
    g_log.LogErr("CvCardImport::Execute", E_NOTIMPL, "import is not available in this build");
    return E_NOTIMPL;
}
