// Test support of the stand-in address book (our WAB32.DLL for Wine, which has none).
//
// Normal use never reaches these functions: they build store files for tests (folders in a given
// order, empty ones included, contacts with any properties, groups) and make named calls of the
// address-book interfaces fail on purpose, so that every failure path of the programs that use
// the address book can be tested. They are exported undecorated from WAB32.DLL; link the test
// against the DLL's import library (CMake target `wab32`).
//
// This header brings the published address-book declarations in the one order in which the
// mingw-w64 headers agree with each other (wabdefs.h first; never mix in mapidefs.h).
//
// Entry-identifier texts: every folder, contact and group has a 16-byte entry identifier that
// never changes (4 zero flag bytes, the signature "QWS1", the object type as a 32-bit little-endian
// number, a 32-bit little-endian serial number). Its text is two upper-case hexadecimal digits per
// byte (32 characters); functions that take a text also accept lower case. The personal address
// book is the first folder of a store.
//
// Store files are plain UTF-8 text (a journal of records; see store.h). All functions work on the
// file directly; when this process has an address-book session open on the same file, they work
// through that session's copy so the session sees the change at once. Another process sees it at
// its next open (or refresh).
//
// Fault injection. A fault makes one named call fail with a given code, for one entry or for all:
//   call    : "WABOpen", "GetPAB", "OpenEntry", "GetContentsTable", "SetColumns", "Restrict",
//             "SortTable", "GetRowCount", "QueryRows", "CreateEntry", "SaveChanges",
//             "DeleteEntries", "GetProps", "SetProps", "DeleteProps", "GetIDsFromNames"
//   entry   : the entry-identifier text the call is about, "*" for any, or "ROOT" for the root
//             container (whose identifier is empty). Which entry a call is about:
//               OpenEntry            the identifier asked for
//               GetContentsTable     the container (folder, root or group)
//               SetColumns, Restrict, SortTable, GetRowCount, QueryRows
//                                    the container whose table it is
//               CreateEntry          the container the new entry goes into
//               SaveChanges          the entry saved; a new entry that has no identifier yet is
//                                    matched by its container's identifier
//               DeleteEntries        any of the identifiers in the list (nothing is deleted; a
//                                    code that is no failure is returned too, so that
//                                    MAPI_W_PARTIAL_COMPLETION, 0x00040680, stands for a delete
//                                    the address book did only in part)
//               GetProps, SetProps, DeleteProps, GetIDsFromNames
//                                    the entry (or container) asked
//               WABOpen, GetPAB      "*" only
//   code    : the HRESULT the call returns, for example 0x80004005 (E_FAIL)
//   skip    : how many matching calls succeed before the fault starts (0: the first fails);
//             once started, a fault stays until cleared.
// From another process: the environment variable WAB_STANDIN_FAULTS, read at every WABOpen, holds
// faults separated by ';', each "call:entry:code" or "call:entry:code:skip", for example
//   WAB_STANDIN_FAULTS=OpenEntry:00000000515753310600000005000000:0x80004005;SaveChanges:*:0x8004010F:2
// (codes in hexadecimal with 0x, or decimal). A malformed item is ignored and written to the
// debugger output.
#pragma once

#include <windows.h>
#include <wabdefs.h>
#include <wabcode.h>
#include <wabtags.h>
#include <wabiab.h>
#include <wabapi.h>

#ifdef __cplusplus
extern "C" {
#endif

// Room for an entry-identifier text: 32 hexadecimal digits and the terminating zero.
#define WABSTANDIN_ID_TEXT_SIZE 33
// Size in bytes of every entry identifier of the stand-in.
#define WABSTANDIN_ENTRYID_SIZE 16

// Name of the environment variable read at WABOpen (syntax above).
#define WABSTANDIN_FAULTS_VARIABLE "WAB_STANDIN_FAULTS"

// The test functions below use the C calling convention: their names in wab32.def are then the
// names 32-bit callers link against, as on 64-bit (WINAPI would decorate them with "@n" on i686).

// The store file WABOpen uses when WAB_PARAM names none: the file named by the default value of
// HKCU "Software\Microsoft\WAB\WAB4\Wab File Name" when set, otherwise
// "%APPDATA%\Microsoft\Address Book\<user name>.wab". cchPath counts characters with the end.
HRESULT WabStandinDefaultStorePath(LPSTR path, ULONG cchPath);

// Creates the store file anew (an existing file is replaced) with one folder, the personal
// address book, named pabName (NULL: "Contacts"). MAPI_E_BUSY while this process has a session
// open on the file.
HRESULT WabStandinCreateStore(LPCSTR storePath, LPCWSTR pabName);

// Identifier text of the personal address book (the first folder).
HRESULT WabStandinGetPab(LPCSTR storePath, LPSTR idText, ULONG cchIdText);

// Appends a folder after the existing ones; idText (may be NULL) receives its identifier text.
HRESULT WabStandinAddFolder(LPCSTR storePath, LPCWSTR name, LPSTR idText, ULONG cchIdText);

// Adds a saved contact to a folder (folderIdText NULL or "": the personal address book) with the
// given properties, exactly as SetProps would take them (PT_STRING8 values are stored as Unicode;
// PT_ERROR values are skipped). PR_LAST_MODIFICATION_TIME is set to now unless given.
// MAPI_E_NOT_FOUND when the folder does not exist, MAPI_E_INVALID_TYPE for an unsupported type.
HRESULT WabStandinAddContact(LPCSTR storePath, LPCSTR folderIdText, ULONG cValues,
                                    const SPropValue* values, LPSTR idText, ULONG cchIdText);

// Adds a saved group (MAPI_DISTLIST) named name whose members are the given entries
// (PR_WAB_DL_ENTRIES); further properties as for WabStandinAddContact (may be 0 and NULL).
HRESULT WabStandinAddGroup(LPCSTR storePath, LPCSTR folderIdText, LPCWSTR name,
                                  ULONG cMembers, const LPCSTR* memberIdTexts, ULONG cValues,
                                  const SPropValue* values, LPSTR idText, ULONG cchIdText);

// Tag of a named property (type PT_UNSPECIFIED), created in the store when it is new: use it with
// the type you want in WabStandinAddContact. lpid is the numeric id (MNID_ID) of the name.
HRESULT WabStandinGetNamedTag(LPCSTR storePath, const GUID* propSet, LONG lid,
                                     ULONG* propTag);

// Adds the folders, contacts and groups of a description file (the format of wabstore.exe, see
// standins/wab32/description.h) to the store, creating the store when the file does not exist.
// errorText (may be NULL) receives "line N: reason" for the first error.
HRESULT WabStandinLoadDescription(LPCSTR storePath, LPCSTR descriptionPath,
                                         LPSTR errorText, ULONG cchErrorText);

// Adds one fault (syntax above). E_INVALIDARG for an unknown call name or a bad entry text.
HRESULT WabStandinInjectFault(LPCSTR call, LPCSTR entry, HRESULT code, ULONG skip);

// Adds the faults of a text in the WAB_STANDIN_FAULTS syntax; E_INVALIDARG when any item is
// malformed (the well-formed ones are still added).
HRESULT WabStandinAddFaults(LPCSTR faults);

// Removes every fault of this process.
void WabStandinClearFaults(void);

// How many times a fault of this call has fired since the faults were last cleared.
ULONG WabStandinFaultHits(LPCSTR call);

// How many objects of the address book are alive in this process: address books and
// address-book objects from WABOpen, containers, contacts and groups, tables. Once every session
// is closed and everything it handed out released, none.
ULONG WabStandinLiveObjects(void);

#ifdef __cplusplus
}
#endif
