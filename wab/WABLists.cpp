// The folder and item lists that CWABLib hands out, built from the address book's tables, and
// the search for the folder that lists an entry.
#include "wab/WABLib.h"

#include <cstring>
#include <new>
#include <vector>

#include "base/Log.h"
#include "common/entryid.h"

using Microsoft::WRL::ComPtr;

namespace {

struct OneTag2 {
    ULONG cValues;
    ULONG aulPropTag[2];
};

char* DupText(const char* text)
{
    if (!text)
        return nullptr;
    size_t n = std::strlen(text);
    char* copy = new (std::nothrow) char[n + 1];
    if (copy)
        std::memcpy(copy, text, n + 1);
    return copy;
}

char* DupText(const std::string& text)
{
    return DupText(text.c_str());
}

// A text column: the 8-bit form as stored, or the UTF-16 form converted to the ANSI code page
// (tables opened with MAPI_UNICODE give the latter).
char* DupColumnText(const SPropValue& v)
{
    if (PROP_TYPE(v.ulPropTag) == PT_STRING8)
        return DupText(v.Value.lpszA);
    if (PROP_TYPE(v.ulPropTag) == PT_UNICODE && v.Value.lpszW) {
        int n = ::WideCharToMultiByte(CP_ACP, 0, v.Value.lpszW, -1, nullptr, 0, nullptr, nullptr);
        if (n <= 0)
            return nullptr;
        char* text = new (std::nothrow) char[static_cast<size_t>(n)];
        if (text && ::WideCharToMultiByte(CP_ACP, 0, v.Value.lpszW, -1, text, n, nullptr, nullptr) <= 0)
            text[0] = '\0';
        return text;
    }
    return nullptr;
}

// The restriction "PR_ENTRYID equals these bytes".
struct EntryIdRestriction {
    SPropValue value;
    SRestriction restriction;

    explicit EntryIdRestriction(std::vector<BYTE>& bytes)
    {
        value = SPropValue();
        value.ulPropTag = PR_ENTRYID;
        value.Value.bin.cb = static_cast<ULONG>(bytes.size());
        value.Value.bin.lpb = bytes.empty() ? nullptr : bytes.data();
        restriction = SRestriction();
        restriction.rt = RES_PROPERTY;
        restriction.res.resProperty.relop = RELOP_EQ;
        restriction.res.resProperty.ulPropTag = PR_ENTRYID;
        restriction.res.resProperty.lpProp = &value;
    }
};

}  // namespace

HRESULT CWABLib::_GetFolders(WABFolderList** list, const SRestriction* restriction)
{
    const char* ctx = "CWABLib::_GetFolders";
    QUILLON_ASSERT(list, ctx);
    if (!list)
        return -1;
    *list = nullptr;
    HRESULT hr = _CheckOpen(ctx);
    if (FAILED(hr))
        return hr;

    ComPtr<IABContainer> root;
    ULONG type = 0;
    hr = m_addrBook->OpenEntry(0, nullptr, nullptr, MAPI_BEST_ACCESS, &type,
                               reinterpret_cast<IUnknown**>(root.GetAddressOf()));
    ComPtr<IMAPITable> table;
    if (SUCCEEDED(hr)) {
        QUILLON_ASSERT(type == MAPI_ABCONT, ctx);
        hr = root->GetContentsTable(WAB_LOCAL_CONTAINERS, table.GetAddressOf());
    }
    if (FAILED(hr)) {
        g_log.LogErr(ctx, hr, "Open Root Container");
        return hr;
    }
    if (restriction) {
        hr = table->Restrict(const_cast<SRestriction*>(restriction), 0);
        if (FAILED(hr)) {
            g_log.LogErr(ctx, hr, "RootTable->Restrict");
            return hr;
        }
    }
    ULONG count = 0;
    hr = table->GetRowCount(0, &count);
    if (FAILED(hr)) {
        g_log.LogErr(ctx, hr, "RootTable->GetRowCount");
        return hr;
    }

    CFolderList result(new (std::nothrow) WABFolderList{0, nullptr});
    if (!result) {
        g_log.LogErr(ctx, E_OUTOFMEMORY, "new WABFolderList");
        return E_OUTOFMEMORY;
    }
    SRowSet* rows = nullptr;
    if (count > 0) {
        hr = table->QueryRows(static_cast<LONG>(count), 0, &rows);
        if (FAILED(hr)) {
            g_log.LogErr(ctx, hr, "RootTable->QueryRows");
            return hr;
        }
    }
    common::CScopeExit freeRows([&] { _FreeRows(rows); });
    if (rows)
        result->folders = new (std::nothrow) WABFolder[rows->cRows ? rows->cRows : 1];
    if (rows && !result->folders) {
        g_log.LogErr(ctx, E_OUTOFMEMORY, "new WABFolder[]");
        return E_OUTOFMEMORY;
    }
    for (ULONG r = 0; rows && r < rows->cRows; ++r) {
        const SRow& row = rows->aRow[r];
        const SBinary* eid = nullptr;
        const SPropValue* name = nullptr;
        ULONG flags = 0;
        for (ULONG c = 0; c < row.cValues && row.lpProps; ++c) {
            const SPropValue& v = row.lpProps[c];
            if (PROP_TYPE(v.ulPropTag) == PT_ERROR)
                continue;
            if (v.ulPropTag == PR_ENTRYID)
                eid = &v.Value.bin;
            else if (v.ulPropTag == PR_DISPLAY_NAME_A || v.ulPropTag == PR_DISPLAY_NAME_W)
                name = &v;
            else if (v.ulPropTag == PR_CONTAINER_FLAGS)
                flags = v.Value.ul;
        }
        if (eid && eid->cb > 0 && eid->lpb) {
            WABFolder& f = result->folders[result->count];
            f.size = sizeof(WABFolder);
            f.id = DupText(common::EntryIdToText(eid->lpb, eid->cb));
            f.name = name ? DupColumnText(*name) : nullptr;
            f.flags = flags;
            f.count = _GetItemsCount(eid->cb, reinterpret_cast<const ENTRYID*>(eid->lpb));
            if (f.id)
                ++result->count;
            else
                delete[] f.name;
        }
    }
    *list = result.release();
    return hr;
}

LONG CWABLib::_GetItemsCount(ULONG cbEntryId, const ENTRYID* entryId)
{
    const char* ctx = "CWABLib::_GetItemsCount";
    if (FAILED(_CheckOpen(ctx)))
        return -1;
    ComPtr<IABContainer> container;
    ULONG type = 0;
    if (FAILED(_OpenContainer(cbEntryId, entryId, ctx, "AddrBook->OpenEntry", &container, &type)))
        return -1;
    if (type != MAPI_ABCONT) {
        g_log.LogErr(ctx, static_cast<long>(type), "Object is not ABContainer");
        return -1;
    }
    ComPtr<IMAPITable> table;
    HRESULT hr = container->GetContentsTable(0, table.GetAddressOf());
    if (hr == MAPI_E_NOT_FOUND)
        return 0;
    if (FAILED(hr)) {
        g_log.LogErr(ctx, hr, "Container->GetContentsTable");
        return -1;
    }
    ULONG count = 0;
    hr = table->GetRowCount(0, &count);
    if (FAILED(hr)) {
        g_log.LogErr(ctx, hr, "Table->GetRowCount");
        return -1;
    }
    return static_cast<LONG>(count);
}

HRESULT CWABLib::GetFolder(const char* folderId, WABFolder** folder)
{
    const char* ctx = "CWABLib::GetFolder";
    QUILLON_ASSERT(folder, ctx);
    if (!folder)
        return -1;
    *folder = nullptr;
    std::vector<BYTE> bytes = common::EntryIdFromText(folderId);
    EntryIdRestriction restriction(bytes);
    CFolderList list;
    HRESULT hr = _GetFolders(list.put(), &restriction.restriction);
    if (FAILED(hr))
        return hr;
    if (!list || list->count == 0)
        return kFailed;
    QUILLON_ASSERT(list->count == 1, ctx);
    WABFolder* result = new (std::nothrow) WABFolder(list->folders[0]);
    if (!result) {
        g_log.LogErr(ctx, E_OUTOFMEMORY, "new WABFolder");
        return E_OUTOFMEMORY;
    }
    // The record's texts now belong to the caller's copy.
    list->folders[0].id = nullptr;
    list->folders[0].name = nullptr;
    *folder = result;
    return S_OK;
}

void CWABLib::FreeFolders(WABFolderList* list)
{
    if (!list)
        return;
    for (ULONG i = 0; i < list->count && list->folders; ++i) {
        delete[] list->folders[i].id;
        delete[] list->folders[i].name;
    }
    delete[] list->folders;
    delete list;
}

void CWABLib::FreeFolder(WABFolder* folder)
{
    if (!folder)
        return;
    delete[] folder->id;
    delete[] folder->name;
    delete folder;
}

HRESULT CWABLib::GetItems(const char* folderId, bool allFolders, WABItemList** list)
{
    static const struct {
        ULONG cValues;
        ULONG aulPropTag[7];
    } kColumns = {7,
                  {PR_ENTRYID, PR_OBJECT_TYPE, PR_DISPLAY_NAME_A, PR_EMAIL_ADDRESS_A,
                   PR_LAST_MODIFICATION_TIME, PR_BUSINESS_TELEPHONE_NUMBER_A, PR_HOME_TELEPHONE_NUMBER_A}};
    CContactsOnly onlyContacts;
    ULONG flags = allFolders ? (WAB_LOCAL_CONTAINERS | WAB_PROFILE_CONTENTS) : 0;
    return GetItemsEx(folderId, flags, reinterpret_cast<const SPropTagArray*>(&kColumns), &onlyContacts.restriction,
                      nullptr, list);
}

// The folder a listing reads: the one named, or the personal address book when none is named or
// every folder is asked for.
HRESULT CWABLib::_OpenFolder(const char* ctx, const char* folderId, ULONG flags, ComPtr<IABContainer>* container)
{
    std::vector<BYTE> id;
    if (!folderId || !*folderId || (flags & WAB_PROFILE_CONTENTS)) {
        std::string pab;
        HRESULT hr = _GetPAB(ctx, &pab);
        if (FAILED(hr))
            return hr;
        id.assign(pab.begin(), pab.end());
    } else {
        id = common::EntryIdFromText(folderId);
    }
    ULONG type = 0;
    HRESULT hr = _OpenContainer(static_cast<ULONG>(id.size()), _AsEntryId(id), ctx, "AddrBook->OpenEntry",
                                container, &type);
    if (FAILED(hr))
        return hr;
    if (type != MAPI_ABCONT) {
        g_log.LogErr(ctx, static_cast<long>(type), "Object is not ABContainer");
        return kFailed;
    }
    return S_OK;
}

// Every row of a folder's table with the given columns, restricted and sorted when asked; *rows
// stays null when there is none.
HRESULT CWABLib::_QueryRows(const char* ctx, IMAPITable* table, const SPropTagArray* columns,
                            const SRestriction* restriction, const SSortOrderSet* sortOrder, SRowSet** rows)
{
    *rows = nullptr;
    HRESULT hr = table->SetColumns(const_cast<SPropTagArray*>(columns), 0);
    if (FAILED(hr)) {
        g_log.LogErr(ctx, hr, "Table->SetColumns");
        return hr;
    }
    if (restriction) {
        hr = table->Restrict(const_cast<SRestriction*>(restriction), 0);
        if (FAILED(hr)) {
            g_log.LogErr(ctx, hr, "lpTable->Restrict");
            return hr;
        }
    }
    if (sortOrder) {
        hr = table->SortTable(const_cast<SSortOrderSet*>(sortOrder), 0);
        if (FAILED(hr)) {
            g_log.LogErr(ctx, hr, "lpTable->SortTable");
            return hr;
        }
    }
    ULONG count = 0;
    hr = table->GetRowCount(0, &count);
    if (FAILED(hr)) {
        g_log.LogErr(ctx, hr, "Table->GetRowCount");
        return hr;
    }
    if (count == 0)
        return hr;
    hr = table->QueryRows(static_cast<LONG>(count), 0, rows);
    if (FAILED(hr)) {
        *rows = nullptr;
        g_log.LogErr(ctx, hr, "Table->QueryRows");
    }
    return hr;
}

HRESULT CWABLib::_ContentsTable(const char* context, const char* folderId, ULONG flags,
                                ComPtr<IMAPITable>* table)
{
    HRESULT hr = _CheckOpen(context);
    if (FAILED(hr))
        return hr;
    ComPtr<IABContainer> container;
    hr = _OpenFolder(context, folderId, flags, &container);
    if (FAILED(hr))
        return hr;
    hr = container->GetContentsTable(flags, table->GetAddressOf());
    if (hr == MAPI_E_NOT_FOUND)
        return S_FALSE;
    if (FAILED(hr)) {
        g_log.LogErr(context, hr, "Container->GetContentsTable");
        return hr;
    }
    return S_OK;
}

HRESULT CWABLib::GetItemsEx(const char* folderId, ULONG flags, const SPropTagArray* columns,
                            const SRestriction* restriction, const SSortOrderSet* sortOrder,
                            WABItemList** list)
{
    const char* ctx = "CWABLib::GetItemsEx";
    QUILLON_ASSERT(list && columns, ctx);
    if (!list || !columns)
        return -1;
    *list = nullptr;
    ComPtr<IMAPITable> table;
    HRESULT hr = _ContentsTable(ctx, folderId, flags, &table);
    if (FAILED(hr))
        return hr;
    WABItemList* result = new (std::nothrow) WABItemList{0, nullptr};
    if (!result) {
        g_log.LogErr(ctx, E_OUTOFMEMORY, "new WABItemList");
        return E_OUTOFMEMORY;
    }
    *list = result;
    if (hr == S_FALSE)
        return S_OK;

    SRowSet* rows = nullptr;
    hr = _QueryRows(ctx, table.Get(), columns, restriction, sortOrder, &rows);
    if (FAILED(hr) || !rows)
        return hr;
    common::CScopeExit freeRows([&] { _FreeRows(rows); });
    result->items = new (std::nothrow) WABItem[rows->cRows ? rows->cRows : 1];
    if (!result->items) {
        g_log.LogErr(ctx, E_OUTOFMEMORY, "new WABItem[]");
        return E_OUTOFMEMORY;
    }
    for (ULONG r = 0; r < rows->cRows; ++r) {
        const SRow& row = rows->aRow[r];
        WABItem item = {};
        item.size = sizeof(WABItem);
        const SBinary* eid = nullptr;
        for (ULONG c = 0; c < row.cValues && row.lpProps; ++c) {
            const SPropValue& v = row.lpProps[c];
            if (PROP_TYPE(v.ulPropTag) == PT_ERROR)
                continue;
            switch (PROP_ID(v.ulPropTag)) {
            case PROP_ID(PR_ENTRYID):
                if (PROP_TYPE(v.ulPropTag) == PT_BINARY)
                    eid = &v.Value.bin;
                break;
            case PROP_ID(PR_OBJECT_TYPE):
                if (PROP_TYPE(v.ulPropTag) == PT_LONG)
                    item.type = v.Value.ul;
                break;
            case PROP_ID(PR_DISPLAY_NAME_A):
                delete[] item.name;
                item.name = DupColumnText(v);
                break;
            case PROP_ID(PR_EMAIL_ADDRESS_A):
                delete[] item.email;
                item.email = DupColumnText(v);
                break;
            case PROP_ID(PR_LAST_MODIFICATION_TIME):
                if (PROP_TYPE(v.ulPropTag) == PT_SYSTIME)
                    item.modified = v.Value.ft;
                break;
            case PROP_ID(PR_BUSINESS_TELEPHONE_NUMBER_A):
                delete[] item.businessPhone;
                item.businessPhone = DupColumnText(v);
                break;
            case PROP_ID(PR_HOME_TELEPHONE_NUMBER_A):
                delete[] item.homePhone;
                item.homePhone = DupColumnText(v);
                break;
            default:
                break;
            }
        }
        bool keep = false;
        if (eid && eid->cb > 0 && eid->lpb) {
            if (item.type == MAPI_MAILUSER || item.type == MAPI_DISTLIST) {
                item.id = DupText(common::EntryIdToText(eid->lpb, eid->cb));
                keep = item.id != nullptr;
            } else {
                g_log.LogErr(ctx, static_cast<long>(item.type), "Skipping item with unknown type");
            }
        }
        if (keep) {
            result->items[result->count++] = item;
        } else {
            delete[] item.name;
            delete[] item.email;
            delete[] item.businessPhone;
            delete[] item.homePhone;
        }
    }
    return hr;
}

HRESULT CWABLib::GetItemRows(const char* folderId, ULONG flags, const SPropTagArray* columns,
                             const SRestriction* restriction, SRowSet** rows)
{
    const char* ctx = "CWABLib::GetItemRows";
    QUILLON_ASSERT(rows && columns, ctx);
    if (!rows || !columns)
        return -1;
    *rows = nullptr;
    ComPtr<IMAPITable> table;
    HRESULT hr = _ContentsTable(ctx, folderId, flags, &table);
    if (hr != S_OK)
        return FAILED(hr) ? hr : S_OK;
    return _QueryRows(ctx, table.Get(), columns, restriction, nullptr, rows);
}

void CWABLib::FreeItems(WABItemList* list)
{
    if (!list)
        return;
    for (ULONG i = 0; i < list->count && list->items; ++i) {
        WABItem& item = list->items[i];
        delete[] item.id;
        delete[] item.name;
        delete[] item.email;
        delete[] item.businessPhone;
        delete[] item.homePhone;
    }
    delete[] list->items;
    delete list;
}

HRESULT CWABLib::FindItemFolder(const char* entryId, char** folderId)
{
    const char* ctx = "CWABLib::FindItemFolder";
    QUILLON_ASSERT(folderId, ctx);
    if (!folderId)
        return -1;
    *folderId = nullptr;
    std::vector<BYTE> id = common::EntryIdFromText(entryId);
    QUILLON_ASSERT(!id.empty(), ctx);
    if (id.empty())
        return -1;
    CFolderList folders;
    HRESULT hr = _GetFolders(folders.put());
    if (FAILED(hr))
        return hr;

    OneTag2 columns = {2, {PR_ENTRYID, PR_OBJECT_TYPE}};
    EntryIdRestriction restriction(id);
    hr = 1;
    for (ULONG i = 0; folders && i < folders->count; ++i) {
        CItemList items;
        HRESULT step = GetItemsEx(folders->folders[i].id, 0, reinterpret_cast<SPropTagArray*>(&columns),
                                  &restriction.restriction, nullptr, items.put());
        bool found = SUCCEEDED(step) && items && items->count > 0;
        if (FAILED(step)) {
            hr = step;
            break;
        }
        if (!found)
            continue;
        const char* text = folders->folders[i].id;
        size_t n = std::strlen(text) + 1;
        void* buffer = nullptr;
        HRESULT alloc = AllocateBuffer(static_cast<ULONG>(n), &buffer);
        if (FAILED(alloc) || !buffer) {
            g_log.LogErr(ctx, alloc, "AllocateBuffer");
            hr = FAILED(alloc) ? alloc : E_OUTOFMEMORY;
            break;
        }
        std::memcpy(buffer, text, n);
        *folderId = static_cast<char*>(buffer);
        hr = S_OK;
        break;
    }
    return hr;
}
