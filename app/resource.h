// Resource identifiers of Quillon's frame: icon, debug window menu and accelerators.
#pragma once

#define IDR_MAINMENU      109  // menu and accelerator table of the debug window
#define IDM_ABOUT         104
#define IDM_EXIT          105
#define IDM_EXPORT        32772
#define IDM_IMPORT        32773
#define IDM_PICKFOLDER    32774
#define IDM_OPENLOGS      32775

#define QUILLON_VERSION_MAJOR 2
#define QUILLON_VERSION_MINOR 1
#define QUILLON_VERSION_PATCH 0
#define QUILLON_VERSION_BUILD 14
#define QUILLON_VERSION_TEXT  "2.1.0.14"
