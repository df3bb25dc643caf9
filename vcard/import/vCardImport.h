// Import of vCard files into an address-book folder.
#pragma once

#include <windows.h>

#include "app/CommandLine.h"

class CvCardImport {
public:
    CvCardImport();
    virtual ~CvCardImport();

    // Shows the import dialog owned by owner and, on OK, imports the folder's vCard files.
    // selection is null when the program was started without selected contacts.
    int Execute(HWND owner, const CSelectionList* selection);
};
