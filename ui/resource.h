// Resource identifiers of Quillon's dialogs, their controls and bitmaps (each dialog's layout is
// beside its code); the string ids are base/strings.h.
#pragma once

#include "base/strings.h"

// Dialogs and their bitmaps.
#define IDD_EXPORT               129
#define IDD_PROGRESS             130
#define IDD_IMPORT               131
#define IDD_PICKFOLDER           132
#define IDD_MAP_FIELDS           140
#define IDB_PICK_ROOT            133  // tree image of "Address Book"
#define IDB_PICK_FOLDER          134  // tree image of every folder

// Progress window (130).
#define IDC_PROGRESS_BAR         200
#define IDC_PROGRESS_ACTION      201
#define IDC_PROGRESS_COUNT       202

// Folder picker (132).
#define IDC_PICK_LABEL           1002
#define IDC_PICK_TREE            1003
#define IDC_PICK_HINT            1005
#define IDC_PICK_ALL_FOLDERS     1010
#define IDC_PICK_REFRESH         1011

// Export dialog (129).
#define IDC_EXPORT_FORMAT        215
#define IDC_EXPORT_ONE_FILE      216
#define IDC_EXPORT_SELECTED_ONLY 217
#define IDC_EXPORT_ENCODING      218
#define IDC_EXPORT_ENCODING_LBL  219
#define IDC_EXPORT_SOURCE_LBL    220
#define IDC_EXPORT_TARGET_LBL    221
#define IDC_EXPORT_FORMAT_LBL    222
#define IDC_EXPORT_SOURCE        1006
#define IDC_EXPORT_TARGET        1007
#define IDC_EXPORT_BROWSE        1008
#define IDC_EXPORT_PICK          1009
#define IDC_HELP_BUTTON          9

// Import dialog (131).
#define IDC_IMPORT_TARGET_LBL      203
#define IDC_IMPORT_SOURCE_LBL      204
#define IDC_IMPORT_CONFLICT_GROUP  207
#define IDC_IMPORT_DUPLICATE       208
#define IDC_IMPORT_REPLACE         209
#define IDC_IMPORT_LEAVE_OLD       210
#define IDC_IMPORT_TARGET          1006
#define IDC_IMPORT_SOURCE          1007
#define IDC_IMPORT_BROWSE          1008
#define IDC_IMPORT_PICK            1009
#define IDC_IMPORT_GROUPS          1012
#define IDC_EXPORT_GROUP_CARDS     1013

// Map Fields dialog (140).
#define IDC_MAP_TEXT             1101
#define IDC_MAP_FILE             1102
#define IDC_MAP_COLUMNS_LBL      1103
#define IDC_MAP_COLUMNS          1104
#define IDC_MAP_FIELD_LBL        1105
#define IDC_MAP_FIELD            1106
#define IDC_MAP_SAMPLE_LBL       1107
#define IDC_MAP_SAMPLE           1108
