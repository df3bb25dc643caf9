// Resource identifiers of Ferrule.DLL. They are part of its published behaviour: the host shows the
// strings and bitmaps, and the registration runs the script by its id.
#pragma once

#define IDS_PROJNAME 100
#define IDS_SUBMENU 101
#define IDS_EXPORT_MENU 102
#define IDS_EXPORT_HELP 103
#define IDS_IMPORT_MENU 104
#define IDS_IMPORT_HELP 105

#define IDR_CONNECT 101

#define IDB_IMPORT 203
#define IDB_EXPORT 204
