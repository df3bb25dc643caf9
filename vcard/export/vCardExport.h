// Export of address-book contacts to vCard files.
#pragma once

#include <windows.h>

#include "app/CommandLine.h"

class CvCardExport {
public:
    CvCardExport();
    virtual ~CvCardExport();

    // Shows the export dialog owned by owner and, on OK, runs the export. selection is null when
    // the program was started without selected contacts.
    int RunExport(HWND owner, const CSelectionList* selection);
};
