// String ids of Quillon's string table (base/strings.rc): the texts every layer shows or logs.
#pragma once

#define IDS_MODULE_NAME          102  // "Quillon.exe"
#define IDS_APP_TITLE            103  // "Quillon for Outlook Express"
#define IDS_PICK_NO_SELECTION    104  // "Please select a folder"
#define IDS_PICK_ROOT_SELECTED   105  // "Please select a different folder"
#define IDS_PROGRESS_COUNT       107  // "%i of %i"
#define IDS_PROGRESS_WAIT        108  // "Wait..."
#define IDS_WINDOW_CLASS         109  // "Brisco.Quillon"
#define IDS_PROGRESS_CANCEL      110  // "Cancel"
#define IDS_IMPORTING            111
#define IDS_EXPORTING            112
#define IDS_BROWSE_EXPORT        113
#define IDS_NO_ENCODINGS_FILE    115
#define IDS_ALL_FOLDERS          116
#define IDS_NO_VCARD_FILES       117
#define IDS_FILE_CANNOT_OPEN     118
#define IDS_BROWSE_IMPORT        119
#define IDS_ELEMENT_INVALID      120
#define IDS_ALREADY_RUNNING      121
#define IDS_NEW_FOLDER_HINT_OLD  122
#define IDS_NEW_FOLDER_HINT_NEW  123
#define IDS_EXPORT_OK            124
#define IDS_EXPORT_PARTIAL       125
#define IDS_EXPORT_FAILED        126
#define IDS_IMPORT_OK            127
#define IDS_IMPORT_PARTIAL       128
#define IDS_IMPORT_FAILED        129
#define IDS_EXPORT_CARDS_IN      135  // "The cards written are in %s."
#define IDS_MAKER_NAME           602  // "Brisco"
#define IDS_PRODUCT_NAME         603  // "Quillon"
