// Quillon reaches the Windows Address Book only through wab32.dll, loaded at run time and opened
// with WABOpen. CWABLib owns that library and the two interfaces WABOpen hands out, and offers the
// few operations the rest of the program needs: folders, the entries of a folder, opening,
// creating and deleting entries, and single property reads and writes. Outside this class folders
// and entries are known only by their entry-identifier texts (common/entryid.h) and by the records
// below.
//
// Ownership: every list, entry and buffer handed out belongs to the caller and goes back through
// the matching operation (FreeFolders, FreeItems, FreeBuffer, Release of the entry), before Close.
#pragma once

#include <windows.h>
// The published address-book declarations, in the one order in which the mingw-w64 headers agree
// (never together with mapidefs.h).
#include <wabdefs.h>
#include <wabcode.h>
#include <wabtags.h>
#include <wabiab.h>
#include <wabapi.h>

#include <wrl/client.h>
#include <string>
#include <vector>

#include "common/raii.h"

// One address-book folder (a container), as the folder picker and the dialogs see it.
struct WABFolder {
    ULONG size;   // always sizeof(WABFolder): 20 on 32-bit Windows
    char* id;     // entry-identifier text of the container
    char* name;   // PR_DISPLAY_NAME_A, or null
    ULONG flags;  // PR_CONTAINER_FLAGS, 0 when absent
    LONG count;   // entries in the container, -1 when they could not be counted
};

struct WABFolderList {
    ULONG count;
    WABFolder* folders;
};

// One entry of a folder. Fields whose column was not asked for stay empty.
struct WABItem {
    ULONG size;         // always sizeof(WABItem): 36 on 32-bit Windows
    char* id;           // entry-identifier text
    ULONG type;         // MAPI_MAILUSER (6) or MAPI_DISTLIST (8)
    char* name;         // PR_DISPLAY_NAME_A, or null
    char* email;        // PR_EMAIL_ADDRESS_A, or null
    FILETIME modified;  // PR_LAST_MODIFICATION_TIME, 0 when absent
    char* businessPhone;  // PR_BUSINESS_TELEPHONE_NUMBER_A, or null
    char* homePhone;      // PR_HOME_TELEPHONE_NUMBER_A, or null
};

struct WABItemList {
    ULONG count;
    WABItem* items;
};

// PR_WAB_DL_ENTRIES: the members of a group (MAPI_DISTLIST) as their entry identifiers, in the
// group's own order. The published headers of this tool chain do not name it.
const ULONG kPrWabDlEntries = PROP_TAG(PT_MV_BINARY, 0x8006);

// PR_WAB_DL_ONEOFFS: the members of a group that are only an address kept in the group (no
// contact of the book), as one-off entry identifiers.
const ULONG kPrWabDlOneOffs = PROP_TAG(PT_MV_BINARY, 0x8054);

// A group of a folder: its name, its members' entry-identifier texts in the group's order, and the
// addresses it keeps only in itself, with their names.
struct CWabGroup {
    std::string id;
    std::wstring name;
    std::vector<std::string> members;
    std::vector<std::wstring> oneOffNames, oneOffAddresses;
};

#if !defined(_WIN64)
static_assert(sizeof(WAB_PARAM) == 32, "WAB_PARAM must keep its published 32-bit layout");
static_assert(sizeof(WABFolder) == 20, "WABFolder must be 20 bytes on 32-bit Windows");
static_assert(sizeof(WABItem) == 36, "WABItem must be 36 bytes on 32-bit Windows");
#endif

class CWABLib {
public:
    CWABLib() = default;
    virtual ~CWABLib();
    CWABLib(const CWABLib&) = delete;
    CWABLib& operator=(const CWABLib&) = delete;

    // Session. Init loads the library named by HKLM "Software\Microsoft\WAB\DLLPath" (or
    // "WAB32.DLL") and opens the store (storeFile null: the default store). True when open.
    [[nodiscard]] bool Init(bool profiles, const char* storeFile, bool mail);
    // Closes and opens again with the arguments of the last Init.
    [[nodiscard]] bool ReInit();
    void Close();
    [[nodiscard]] bool IsOpen() const;

    // Buffers of the address book. FreeBuffer(null) and AllocateBuffer(size, null) return -1,
    // both return -2 without a session.
    [[nodiscard]] HRESULT AllocateBuffer(ULONG size, void** buffer);
    [[nodiscard]] HRESULT FreeBuffer(void* buffer);

    // Folders. _GetFolders lists every local container in table order, filtered by the
    // restriction when one is given; the list is handed out even when empty.
    [[nodiscard]] HRESULT _GetFolders(WABFolderList** list, const SRestriction* restriction = nullptr);
    // Entries of a container, -1 when they cannot be counted.
    [[nodiscard]] LONG _GetItemsCount(ULONG cbEntryId, const ENTRYID* entryId);
    // The folder with that identifier text; -1 (and no record) when no folder has it.
    [[nodiscard]] HRESULT GetFolder(const char* folderId, WABFolder** folder);
    static void FreeFolders(WABFolderList* list);
    static void FreeFolder(WABFolder* folder);

    // Entries. GetItems lists the contacts of a folder (of all folders with allFolders).
    // GetItemsEx lists the rows of a folder's contents table (null or empty id, or
    // WAB_PROFILE_CONTENTS in flags: the personal address book); after a failure the list made
    // so far may still be handed out and must be freed.
    [[nodiscard]] HRESULT GetItems(const char* folderId, bool allFolders, WABItemList** list);
    [[nodiscard]] HRESULT GetItemsEx(const char* folderId, ULONG flags, const SPropTagArray* columns,
                                     const SRestriction* restriction, const SSortOrderSet* sortOrder,
                                     WABItemList** list);
    static void FreeItems(WABItemList* list);
    // The rows of a folder's contents table with any columns, as the table gives them (for
    // callers that need columns a WABItem has no field for). *rows is null for an empty folder;
    // otherwise the caller frees it with FreeRows. One QueryRows for the whole table.
    [[nodiscard]] HRESULT GetItemRows(const char* folderId, ULONG flags, const SPropTagArray* columns,
                                      const SRestriction* restriction, SRowSet** rows);
    void FreeRows(SRowSet* rows) { _FreeRows(rows); }

    // Opens any entry by its text. OpenItem opens only contacts and groups (-1 otherwise).
    [[nodiscard]] HRESULT _OpenEntry(const char* entryId, ULONG* objectType, IUnknown** object);
    [[nodiscard]] HRESULT OpenItem(const char* entryId, ULONG* objectType, IMAPIProp** item);
    // Text of the first folder that lists the entry, in a buffer from AllocateBuffer that the
    // caller frees with FreeBuffer. 0 when found, 1 when no folder lists it, else the failure.
    [[nodiscard]] HRESULT FindItemFolder(const char* entryId, char** folderId);
    // A new, unsaved contact in the folder; the caller sets its properties and saves it.
    [[nodiscard]] HRESULT CreateItem(const char* folderId, IMAPIProp** item, bool group = false);
    // Deletes the entry through the personal address book, whichever folder lists it.
    // MAPI_W_PARTIAL_COMPLETION (not logged here) when the address book did only part of it.
    [[nodiscard]] HRESULT DeleteItem(const char* entryId);

    // Groups (WABGroups.cpp). A group keeps its members by entry identifier in PR_WAB_DL_ENTRIES,
    // and nothing carries a membership over to another contact: whoever replaces a contact by a
    // new one moves it in its groups. GetGroups lists the groups of a folder with their members, in table order
    // (none for a folder without groups).
    // A null folderId lists the groups of every folder.
    [[nodiscard]] HRESULT GetGroups(const char* folderId, std::vector<CWabGroup>* groups);
    // Makes and saves an empty group of that name in the folder; *groupId its identifier text.
    [[nodiscard]] HRESULT CreateGroup(const char* folderId, const std::wstring& name, std::string* groupId);
    // Adds the entries the group does not list yet, after its members, in one write; *members
    // (may be null) receives the members it holds afterwards.
    [[nodiscard]] HRESULT AddGroupMembers(const char* groupId, const std::vector<std::string>& added,
                                          std::vector<std::string>* members);
    // Adds the addresses (with their names, which may be empty) the group does not keep yet as
    // addresses of its own (one-off entries, PR_WAB_DL_ONEOFFS), in one write.
    [[nodiscard]] HRESULT AddGroupOneOffs(const char* groupId, const std::vector<std::wstring>& names,
                                          const std::vector<std::wstring>& addresses);
    // The members of one group (none when it has no member property); -1 for an entry that is
    // not a group.
    [[nodiscard]] HRESULT GetGroupMembers(const char* groupId, std::vector<std::string>* members);
    // Writes the group's members, in this order, and saves the group.
    [[nodiscard]] HRESULT SetGroupMembers(const char* groupId, const std::vector<std::string>& members);
    // The new entry takes the former one's place among the group's members: where the group still
    // lists the former, else at `position` (at most the end), for an address book that drops a
    // deleted member itself. A group that lists the new entry already is left as it is. *members
    // (may be null) receives the members the group holds afterwards.
    [[nodiscard]] HRESULT ReplaceGroupMember(const char* groupId, const char* formerId, const char* newId,
                                             size_t position, std::vector<std::string>* members);

    // One property of an open entry. On success *value is the address book's buffer (free it
    // with FreeBuffer); a property the entry cannot give returns its own error code (typically
    // MAPI_E_NOT_FOUND) and no buffer.
    [[nodiscard]] HRESULT GetItemProps(IMAPIProp* item, ULONG tag, SPropValue** value);
    // Several properties of an open entry in one request: *values receives `count` values in the
    // order of `tags`, each the property or a PT_ERROR value with the reason it could not be
    // given (free the array with FreeBuffer). A request the entry refuses as a whole is logged.
    [[nodiscard]] HRESULT GetItemPropsList(IMAPIProp* item, const ULONG* tags, ULONG count, SPropValue** values);
    // Writes one value; the problems the address book lists are logged and handed out (free
    // them with FreeBuffer). Returns the result of SetProps.
    [[nodiscard]] HRESULT SetItemProps(IMAPIProp* item, const SPropValue* value, SPropProblemArray** problems);
    // Writes one value: 0 when it was stored, else the first listed problem's code or the
    // call's own code.
    [[nodiscard]] HRESULT SetItemProp(IMAPIProp* item, const SPropValue* value);

    // The session's interfaces, for the few callers that talk to the address book directly.
    [[nodiscard]] IAddrBook* AddrBook() const { return m_addrBook.Get(); }
    [[nodiscard]] IWABObject* WABObject() const { return m_wabObject.Get(); }

private:
    // The result of a call refused here rather than by the address book: no folder with that
    // identifier, or an object of the wrong type.
    static const HRESULT kFailed = -1;
    [[nodiscard]] static ENTRYID* _AsEntryId(std::vector<BYTE>& bytes)
    {
        return bytes.empty() ? nullptr : reinterpret_cast<ENTRYID*>(bytes.data());
    }
    [[nodiscard]] HRESULT _CheckOpen(const char* context) const;
    [[nodiscard]] HRESULT _OpenContainer(ULONG cb, const ENTRYID* id, const char* context, const char* failure,
                                         Microsoft::WRL::ComPtr<IABContainer>* container, ULONG* objectType);
    [[nodiscard]] HRESULT _GetPAB(const char* context, std::string* pab);
    // Opens a group for reading and writing; -1 (logged) for an entry of another type.
    [[nodiscard]] HRESULT _OpenGroup(const char* context, const char* groupId,
                                     Microsoft::WRL::ComPtr<IMAPIProp>* group);
    [[nodiscard]] HRESULT _ReadMembers(IMAPIProp* group, std::vector<std::string>* members);
    // _OpenGroup, then _ReadMembers of it.
    [[nodiscard]] HRESULT _OpenGroupMembers(const char* context, const char* groupId,
                                            Microsoft::WRL::ComPtr<IMAPIProp>* group, std::vector<std::string>* members);
    // The group's name and the addresses it keeps in itself; what cannot be read stays empty.
    void _ReadNameAndOneOffs(IMAPIProp* group, CWabGroup* into);
    [[nodiscard]] HRESULT _WriteMembers(const char* context, IMAPIProp* group,
                                        const std::vector<std::string>& members);
    [[nodiscard]] HRESULT _OpenFolder(const char* context, const char* folderId, ULONG flags,
                                      Microsoft::WRL::ComPtr<IABContainer>* container);
    // The folder's contents table; S_FALSE (no table) for a folder that has no contents to list.
    [[nodiscard]] HRESULT _ContentsTable(const char* context, const char* folderId, ULONG flags,
                                         Microsoft::WRL::ComPtr<IMAPITable>* table);
    [[nodiscard]] HRESULT _QueryRows(const char* context, IMAPITable* table, const SPropTagArray* columns,
                                     const SRestriction* restriction, const SSortOrderSet* sortOrder, SRowSet** rows);
    void _FreeRows(SRowSet* rows);
    // Frees a buffer of this session, if any: the owners below free through g_wabLib, whichever
    // session made the buffer. A failed free leaves the caller nothing to do.
    void _FreeBuffer(void* buffer)
    {
        if (buffer)
            (void)FreeBuffer(buffer);
    }

    common::CModule m_library;
    LPWABOPEN m_open = nullptr;
    Microsoft::WRL::ComPtr<IAddrBook> m_addrBook;
    Microsoft::WRL::ComPtr<IWABObject> m_wabObject;
    bool m_hasStoreFile = false;
    std::string m_storeFile;
    bool m_profiles = false;
    bool m_mail = false;
};

extern CWABLib g_wabLib;

// The restriction of a folder's table to its contacts (entries of type MAPI_MAILUSER).
struct CContactsOnly {
    CContactsOnly() noexcept
    {
        type.ulPropTag = PR_OBJECT_TYPE;
        type.Value.l = MAPI_MAILUSER;
        restriction.rt = RES_PROPERTY;
        restriction.res.resProperty.relop = RELOP_EQ;
        restriction.res.resProperty.ulPropTag = PR_OBJECT_TYPE;
        restriction.res.resProperty.lpProp = &type;
    }
    CContactsOnly(const CContactsOnly&) = delete;
    CContactsOnly& operator=(const CContactsOnly&) = delete;

    SPropValue type = {};
    SRestriction restriction = {};
};

// Owners of what the address book hands out: buffers (FreeBuffer), row sets (FreeRows), and the
// folder and item lists (FreeFolders, FreeFolder, FreeItems).
template <class T>
struct WabBufferTraits {
    using type = T*;
    static type invalid() noexcept { return nullptr; }
    static void close(type p) noexcept { (void)g_wabLib.FreeBuffer(p); }
};
template <class T>
using CWabBuffer = common::CUnique<WabBufferTraits<T>>;

struct WabRowSetTraits {
    using type = SRowSet*;
    static type invalid() noexcept { return nullptr; }
    static void close(type rows) noexcept { g_wabLib.FreeRows(rows); }
};
using CRowSet = common::CUnique<WabRowSetTraits>;

using CFolderList = common::CFreed<WABFolderList*, &CWABLib::FreeFolders>;
using CFolderEntry = common::CFreed<WABFolder*, &CWABLib::FreeFolder>;
using CItemList = common::CFreed<WABItemList*, &CWABLib::FreeItems>;
