#include "standins/wab32/objects.h"

#include <cstring>

#include <mapiguid.h>

#include "standins/wab32/table.h"

namespace wabstandin {

namespace {

std::vector<ULONG> ContentsColumns(bool unicode)
{
    ULONG str = unicode ? PT_UNICODE : PT_STRING8;
    return {PR_INSTANCE_KEY, PR_ENTRYID, PR_OBJECT_TYPE, PR_DISPLAY_TYPE, PROP_TAG(str, 0x3001),
            PROP_TAG(str, 0x3003), PROP_TAG(str, 0x3002), PR_RECORD_KEY};
}

std::vector<ULONG> FolderColumns(bool unicode)
{
    ULONG str = unicode ? PT_UNICODE : PT_STRING8;
    return {PR_INSTANCE_KEY, PR_ENTRYID, PR_OBJECT_TYPE, PROP_TAG(str, 0x3001), PR_CONTAINER_FLAGS};
}

HRESULT CopyEntryIdOut(const std::string& id, ULONG* lpcb, LPENTRYID* lpp)
{
    void* mem = nullptr;
    HRESULT hr = AllocBuffer(static_cast<ULONG>(id.size()), &mem);
    if (FAILED(hr))
        return hr;
    std::memcpy(mem, id.data(), id.size());
    *lpcb = static_cast<ULONG>(id.size());
    *lpp = static_cast<LPENTRYID>(mem);
    return S_OK;
}

HRESULT TableOut(const std::string& containerId, std::vector<CEntryPtr> rows, std::vector<ULONG> columns,
                 bool unicode, LPMAPITABLE* lppTable)
{
    *lppTable = new (std::nothrow) CTable(containerId, std::move(rows), std::move(columns), unicode);
    return *lppTable ? S_OK : E_OUTOFMEMORY;
}

}  // namespace

HRESULT OpenStoreEntry(const std::shared_ptr<CStore>& store, ULONG cbEntryID, LPENTRYID lpEntryID,
                       LPCIID lpInterface, ULONG ulFlags, ULONG* lpulObjType, LPUNKNOWN* lppUnk)
{
    if (!lpulObjType || !lppUnk || (cbEntryID && !lpEntryID))
        return MAPI_E_INVALID_PARAMETER;
    *lpulObjType = 0;
    *lppUnk = nullptr;
    HRESULT hr = Fault("OpenEntry", lpEntryID, cbEntryID);
    if (FAILED(hr))
        return hr;
    hr = store->Refresh();
    if (FAILED(hr))
        return hr;
    bool writable = (ulFlags & (MAPI_MODIFY | MAPI_BEST_ACCESS)) != 0;
    IUnknown* object = nullptr;
    ULONG type = 0;
    if (cbEntryID == 0) {
        CEntryData root;
        root.type = MAPI_ABCONT;
        object = static_cast<IABContainer*>(new (std::nothrow) CContainer(store, root, false));
        type = MAPI_ABCONT;
    } else {
        ULONG idType = 0, serial = 0;
        if (!ParseEntryId(lpEntryID, cbEntryID, &idType, &serial))
            return MAPI_E_UNKNOWN_ENTRYID;
        CEntryPtr entry = store->Find(serial);
        if (!entry || entry->type != idType)
            return MAPI_E_NOT_FOUND;
        type = entry->type;
        if (type == MAPI_ABCONT)
            object = static_cast<IABContainer*>(new (std::nothrow) CContainer(store, entry->Unpack(), writable));
        else
            object = static_cast<IDistList*>(new (std::nothrow) CEntryObject(
                store, entry->Unpack(), writable, std::string(reinterpret_cast<const char*>(lpEntryID), cbEntryID)));
    }
    if (!object)
        return E_OUTOFMEMORY;
    if (lpInterface) {
        IUnknown* asked = nullptr;
        hr = object->QueryInterface(*lpInterface, reinterpret_cast<void**>(&asked));
        object->Release();
        if (FAILED(hr))
            return MAPI_E_INTERFACE_NOT_SUPPORTED;
        object = asked;
    }
    *lpulObjType = type;
    *lppUnk = object;
    return S_OK;
}

// ---- IWABObject ----------------------------------------------------------------------------------

STDMETHODIMP CWabObject::QueryInterface(REFIID riid, LPVOID* ppv)
{
    if (!ppv)
        return E_INVALIDARG;
    *ppv = nullptr;
    if (!IsEqualIID(riid, IID_IUnknown))
        return E_NOINTERFACE;
    *ppv = static_cast<IWABObject*>(this);
    AddRef();
    return S_OK;
}

STDMETHODIMP_(ULONG) CWabObject::AddRef()
{
    return InterlockedIncrement(&m_refs);
}

STDMETHODIMP_(ULONG) CWabObject::Release()
{
    LONG n = InterlockedDecrement(&m_refs);
    if (n == 0)
        delete this;
    return n;
}

STDMETHODIMP CWabObject::GetLastError(HRESULT, ULONG, LPMAPIERROR* lppMAPIError)
{
    if (!lppMAPIError)
        return MAPI_E_INVALID_PARAMETER;
    *lppMAPIError = nullptr;
    return S_OK;
}

STDMETHODIMP CWabObject::AllocateBuffer(ULONG cbSize, LPVOID* lppBuffer)
{
    return AllocBuffer(cbSize, lppBuffer);
}

STDMETHODIMP CWabObject::AllocateMore(ULONG cbSize, LPVOID lpObject, LPVOID* lppBuffer)
{
    return AllocMore(cbSize, lpObject, lppBuffer);
}

STDMETHODIMP CWabObject::FreeBuffer(LPVOID lpBuffer)
{
    return wabstandin::FreeBuffer(lpBuffer);
}

STDMETHODIMP CWabObject::Backup(LPSTR) { return MAPI_E_NO_SUPPORT; }
STDMETHODIMP CWabObject::Import(LPSTR) { return MAPI_E_NO_SUPPORT; }
STDMETHODIMP CWabObject::Find(LPADRBOOK, HWND) { return MAPI_E_NO_SUPPORT; }
STDMETHODIMP CWabObject::VCardDisplay(LPADRBOOK, HWND, LPSTR) { return MAPI_E_NO_SUPPORT; }
STDMETHODIMP CWabObject::LDAPUrl(LPADRBOOK, HWND, ULONG, LPSTR, LPMAILUSER* lppMailUser)
{
    if (lppMailUser)
        *lppMailUser = nullptr;
    return MAPI_E_NO_SUPPORT;
}
STDMETHODIMP CWabObject::VCardCreate(LPADRBOOK, ULONG, LPSTR, LPMAILUSER) { return MAPI_E_NO_SUPPORT; }
STDMETHODIMP CWabObject::VCardRetrieve(LPADRBOOK, ULONG, LPSTR, LPMAILUSER* lppMailUser)
{
    if (lppMailUser)
        *lppMailUser = nullptr;
    return MAPI_E_NO_SUPPORT;
}
STDMETHODIMP CWabObject::GetMe(LPADRBOOK, ULONG, DWORD*, SBinary*, ULONG) { return MAPI_E_NO_SUPPORT; }
STDMETHODIMP CWabObject::SetMe(LPADRBOOK, ULONG, SBinary, ULONG) { return MAPI_E_NO_SUPPORT; }

// ---- IAddrBook -----------------------------------------------------------------------------------

namespace {

CEntryData RootData()
{
    CEntryData root;
    root.type = MAPI_ABCONT;
    return root;
}

}  // namespace

CAddrBook::CAddrBook(std::shared_ptr<CStore> store)
    : CPropObject<IAddrBook>(std::move(store), RootData(), false, std::string())
{
}

STDMETHODIMP CAddrBook::QueryInterface(REFIID riid, LPVOID* ppv)
{
    if (!ppv)
        return E_INVALIDARG;
    *ppv = nullptr;
    if (!IsEqualIID(riid, IID_IUnknown) && !IsEqualIID(riid, IID_IMAPIProp) && !IsEqualIID(riid, IID_IAddrBook))
        return E_NOINTERFACE;
    *ppv = static_cast<IAddrBook*>(this);
    AddRef();
    return S_OK;
}

STDMETHODIMP CAddrBook::OpenEntry(ULONG cbEntryID, LPENTRYID lpEntryID, LPCIID lpInterface, ULONG ulFlags,
                                  ULONG* lpulObjType, LPUNKNOWN* lppUnk)
{
    return OpenStoreEntry(m_store, cbEntryID, lpEntryID, lpInterface, ulFlags, lpulObjType, lppUnk);
}

STDMETHODIMP CAddrBook::CompareEntryIDs(ULONG cbEntryID1, LPENTRYID lpEntryID1, ULONG cbEntryID2,
                                        LPENTRYID lpEntryID2, ULONG, ULONG* lpulResult)
{
    if (!lpulResult || (cbEntryID1 && !lpEntryID1) || (cbEntryID2 && !lpEntryID2))
        return MAPI_E_INVALID_PARAMETER;
    *lpulResult = cbEntryID1 == cbEntryID2 && (cbEntryID1 == 0 || std::memcmp(lpEntryID1, lpEntryID2, cbEntryID1) == 0);
    return S_OK;
}

STDMETHODIMP CAddrBook::Advise(ULONG, LPENTRYID, ULONG, LPMAPIADVISESINK, ULONG*) { return MAPI_E_NO_SUPPORT; }
STDMETHODIMP CAddrBook::Unadvise(ULONG) { return MAPI_E_NO_SUPPORT; }
// A one-off entry identifier: an address kept in whatever holds the identifier (a group's
// PR_WAB_DL_ONEOFFS), no entry of the store. Flags, the one-off provider, version 0, then the
// name, address type and address, each ending in a zero, in UTF-16 with MAPI_UNICODE.
STDMETHODIMP CAddrBook::CreateOneOff(LPTSTR name, LPTSTR addressType, LPTSTR address, ULONG flags, ULONG* lpcbEntryID,
                                     LPENTRYID* lppEntryID)
{
    static const BYTE kOneOffProvider[16] = {0x81, 0x2B, 0x1F, 0xA4, 0xBE, 0xA3, 0x10, 0x19,
                                             0x9D, 0x6E, 0x00, 0xDD, 0x01, 0x0F, 0x54, 0x02};
    if (!addressType || !address || !lpcbEntryID || !lppEntryID)
        return MAPI_E_INVALID_PARAMETER;
    const bool wide = (flags & MAPI_UNICODE) != 0;
    std::vector<BYTE> bytes(24, 0);
    std::memcpy(bytes.data() + 4, kOneOffProvider, sizeof kOneOffProvider);
    bytes[23] = wide ? 0x80 : 0;
    for (const void* text : {static_cast<const void*>(name), static_cast<const void*>(addressType),
                             static_cast<const void*>(address)}) {
        if (wide) {
            for (const wchar_t* c = text ? static_cast<const wchar_t*>(text) : L""; *c; ++c) {
                bytes.push_back(static_cast<BYTE>(*c & 0xFF));
                bytes.push_back(static_cast<BYTE>(*c >> 8));
            }
            bytes.insert(bytes.end(), 2, 0);
        } else {
            for (const char* c = text ? static_cast<const char*>(text) : ""; *c; ++c)
                bytes.push_back(static_cast<BYTE>(*c));
            bytes.push_back(0);
        }
    }
    void* block = nullptr;
    HRESULT hr = AllocBuffer(static_cast<ULONG>(bytes.size()), &block);
    if (FAILED(hr))
        return hr;
    std::memcpy(block, bytes.data(), bytes.size());
    *lpcbEntryID = static_cast<ULONG>(bytes.size());
    *lppEntryID = static_cast<LPENTRYID>(block);
    return S_OK;
}
STDMETHODIMP CAddrBook::NewEntry(ULONG, ULONG, ULONG, LPENTRYID, ULONG, LPENTRYID, ULONG*, LPENTRYID*)
{
    return MAPI_E_NO_SUPPORT;
}
STDMETHODIMP CAddrBook::ResolveName(ULONG_PTR, ULONG, LPTSTR, LPADRLIST) { return MAPI_E_NO_SUPPORT; }
STDMETHODIMP CAddrBook::Address(ULONG*, LPADRPARM, LPADRLIST*) { return MAPI_E_NO_SUPPORT; }
STDMETHODIMP CAddrBook::Details(ULONG*, LPFNDISMISS, LPVOID, ULONG, LPENTRYID, LPFNBUTTON, LPVOID, LPTSTR, ULONG)
{
    return MAPI_E_NO_SUPPORT;
}
STDMETHODIMP CAddrBook::RecipOptions(ULONG, ULONG, LPADRENTRY) { return MAPI_E_NO_SUPPORT; }
STDMETHODIMP CAddrBook::QueryDefaultRecipOpt(LPTSTR, ULONG, ULONG*, LPSPropValue*) { return MAPI_E_NO_SUPPORT; }

STDMETHODIMP CAddrBook::GetPAB(ULONG* lpcbEntryID, LPENTRYID* lppEntryID)
{
    if (!lpcbEntryID || !lppEntryID)
        return MAPI_E_INVALID_PARAMETER;
    *lpcbEntryID = 0;
    *lppEntryID = nullptr;
    HRESULT hr = Fault("GetPAB", nullptr, 0);
    if (FAILED(hr))
        return hr;
    ULONG pab = m_store->PabSerial();
    if (!pab)
        return MAPI_E_NOT_FOUND;
    return CopyEntryIdOut(MakeEntryId(MAPI_ABCONT, pab), lpcbEntryID, lppEntryID);
}

STDMETHODIMP CAddrBook::SetPAB(ULONG, LPENTRYID) { return MAPI_E_NO_SUPPORT; }

STDMETHODIMP CAddrBook::GetDefaultDir(ULONG* lpcbEntryID, LPENTRYID* lppEntryID)
{
    return GetPAB(lpcbEntryID, lppEntryID);
}

STDMETHODIMP CAddrBook::SetDefaultDir(ULONG, LPENTRYID) { return MAPI_E_NO_SUPPORT; }
STDMETHODIMP CAddrBook::GetSearchPath(ULONG, LPSRowSet* lppSearchPath)
{
    if (lppSearchPath)
        *lppSearchPath = nullptr;
    return MAPI_E_NO_SUPPORT;
}
STDMETHODIMP CAddrBook::SetSearchPath(ULONG, LPSRowSet) { return MAPI_E_NO_SUPPORT; }
STDMETHODIMP CAddrBook::PrepareRecips(ULONG, LPSPropTagArray, LPADRLIST) { return MAPI_E_NO_SUPPORT; }

// ---- IABContainer --------------------------------------------------------------------------------

CContainer::CContainer(std::shared_ptr<CStore> store, CEntryData data, bool writable)
    : CPropObject<IABContainer>(std::move(store), data, writable && data.serial != 0,
                                data.serial ? MakeEntryId(MAPI_ABCONT, data.serial) : std::string())
{
}

STDMETHODIMP CContainer::QueryInterface(REFIID riid, LPVOID* ppv)
{
    if (!ppv)
        return E_INVALIDARG;
    *ppv = nullptr;
    if (!IsEqualIID(riid, IID_IUnknown) && !IsEqualIID(riid, IID_IMAPIProp) &&
        !IsEqualIID(riid, IID_IMAPIContainer) && !IsEqualIID(riid, IID_IABContainer))
        return E_NOINTERFACE;
    *ppv = static_cast<IABContainer*>(this);
    AddRef();
    return S_OK;
}

STDMETHODIMP CContainer::GetContentsTable(ULONG ulFlags, LPMAPITABLE* lppTable)
{
    if (!lppTable)
        return MAPI_E_INVALID_PARAMETER;
    *lppTable = nullptr;
    HRESULT hr = _Fault("GetContentsTable");
    if (FAILED(hr))
        return hr;
    hr = m_store->Refresh();
    if (FAILED(hr))
        return hr;
    bool unicode = (ulFlags & MAPI_UNICODE) != 0;
    if (!m_data.serial)
        return TableOut(m_faultId, m_store->Folders(), FolderColumns(unicode), unicode, lppTable);
    bool all = (ulFlags & WAB_PROFILE_CONTENTS) && m_data.serial == m_store->PabSerial();
    std::vector<CEntryPtr> rows = m_store->Contents(m_data.serial, all);
    // The address book answers an empty folder this way rather than with an empty table.
    if (rows.empty())
        return MAPI_E_NOT_FOUND;
    return TableOut(m_faultId, std::move(rows), ContentsColumns(unicode), unicode, lppTable);
}

STDMETHODIMP CContainer::GetHierarchyTable(ULONG ulFlags, LPMAPITABLE* lppTable)
{
    if (!lppTable)
        return MAPI_E_INVALID_PARAMETER;
    *lppTable = nullptr;
    if (m_data.serial)
        return MAPI_E_NO_SUPPORT;  // folders hold no folders
    bool unicode = (ulFlags & MAPI_UNICODE) != 0;
    return TableOut(m_faultId, m_store->Folders(), FolderColumns(unicode), unicode, lppTable);
}

STDMETHODIMP CContainer::OpenEntry(ULONG cbEntryID, LPENTRYID lpEntryID, LPCIID lpInterface, ULONG ulFlags,
                                   ULONG* lpulObjType, LPUNKNOWN* lppUnk)
{
    return OpenStoreEntry(m_store, cbEntryID, lpEntryID, lpInterface, ulFlags, lpulObjType, lppUnk);
}

STDMETHODIMP CContainer::SetSearchCriteria(LPSRestriction, LPENTRYLIST, ULONG) { return MAPI_E_NO_SUPPORT; }
STDMETHODIMP CContainer::GetSearchCriteria(ULONG, LPSRestriction*, LPENTRYLIST*, ULONG*) { return MAPI_E_NO_SUPPORT; }

STDMETHODIMP CContainer::CreateEntry(ULONG cbEntryID, LPENTRYID lpEntryID, ULONG, LPMAPIPROP* lppMAPIPropEntry)
{
    if (!lppMAPIPropEntry || (cbEntryID && !lpEntryID))
        return MAPI_E_INVALID_PARAMETER;
    *lppMAPIPropEntry = nullptr;
    HRESULT hr = _Fault("CreateEntry");
    if (FAILED(hr))
        return hr;
    if (!m_data.serial)
        return MAPI_E_NO_SUPPORT;  // contacts live in folders, not in the root
    ULONG type = 0, serial = 0;
    if (!ParseEntryId(lpEntryID, cbEntryID, &type, &serial) ||
        (type != (kTemplateFlag | MAPI_MAILUSER) && type != (kTemplateFlag | MAPI_DISTLIST)))
        return MAPI_E_INVALID_ENTRYID;
    CEntryData data;
    data.type = type & ~kTemplateFlag;
    data.folder = m_data.serial;
    auto* entry = new (std::nothrow) CEntryObject(m_store, data, true, m_faultId);
    if (!entry)
        return E_OUTOFMEMORY;
    *lppMAPIPropEntry = reinterpret_cast<LPMAPIPROP>(static_cast<IDistList*>(entry));
    return S_OK;
}

STDMETHODIMP CContainer::CopyEntries(LPENTRYLIST, ULONG, LPMAPIPROGRESS, ULONG) { return MAPI_E_NO_SUPPORT; }

STDMETHODIMP CContainer::DeleteEntries(LPENTRYLIST lpEntries, ULONG)
{
    if (!lpEntries || (lpEntries->cValues && !lpEntries->lpbin))
        return MAPI_E_INVALID_PARAMETER;
    // A fault's warning (MAPI_W_PARTIAL_COMPLETION) stands for entries the address book could
    // not delete: like a failure, it deletes nothing.
    for (ULONG i = 0; i < lpEntries->cValues; ++i) {
        HRESULT hr = Fault("DeleteEntries", lpEntries->lpbin[i].lpb, lpEntries->lpbin[i].cb);
        if (hr != S_OK)
            return hr;
    }
    if (!m_data.serial)
        return MAPI_E_NO_SUPPORT;
    HRESULT hr = m_store->Refresh();
    if (FAILED(hr))
        return hr;
    // The personal address book stands for the whole identity: entries of any folder are deleted
    // through it. Any other folder deletes only its own entries.
    bool anyFolder = m_data.serial == m_store->PabSerial();
    std::vector<ULONG> serials;
    for (ULONG i = 0; i < lpEntries->cValues; ++i) {
        ULONG type = 0, serial = 0;
        if (!ParseEntryId(lpEntries->lpbin[i].lpb, lpEntries->lpbin[i].cb, &type, &serial))
            continue;
        CEntryPtr entry = m_store->Find(serial);
        if (entry && entry->type == type && type != MAPI_ABCONT && (anyFolder || entry->folder == m_data.serial))
            serials.push_back(serial);
    }
    ULONG deleted = 0;
    hr = m_store->Delete(serials, &deleted);
    if (FAILED(hr))
        return hr;
    return deleted == lpEntries->cValues ? S_OK : MAPI_W_PARTIAL_COMPLETION;
}

STDMETHODIMP CContainer::ResolveNames(LPSPropTagArray, ULONG, LPADRLIST, LPFlagList) { return MAPI_E_NO_SUPPORT; }

// ---- IMailUser / IDistList -----------------------------------------------------------------------

CEntryObject::CEntryObject(std::shared_ptr<CStore> store, CEntryData data, bool writable, std::string faultId)
    : CPropObject<IDistList>(std::move(store), std::move(data), writable, std::move(faultId))
{
}

STDMETHODIMP CEntryObject::QueryInterface(REFIID riid, LPVOID* ppv)
{
    if (!ppv)
        return E_INVALIDARG;
    *ppv = nullptr;
    bool group = m_data.type == MAPI_DISTLIST;
    bool ok = IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IMAPIProp) ||
              (!group && IsEqualIID(riid, IID_IMailUser)) ||
              (group && (IsEqualIID(riid, IID_IMAPIContainer) || IsEqualIID(riid, IID_IDistList)));
    if (!ok)
        return E_NOINTERFACE;
    *ppv = static_cast<IDistList*>(this);
    AddRef();
    return S_OK;
}

STDMETHODIMP CEntryObject::GetContentsTable(ULONG ulFlags, LPMAPITABLE* lppTable)
{
    if (!lppTable)
        return MAPI_E_INVALID_PARAMETER;
    *lppTable = nullptr;
    if (m_data.type != MAPI_DISTLIST)
        return MAPI_E_NO_SUPPORT;
    HRESULT hr = _Fault("GetContentsTable");
    if (FAILED(hr))
        return hr;
    hr = m_store->Refresh();
    if (FAILED(hr))
        return hr;
    std::vector<CEntryPtr> rows;
    if (const CValue* members = FindProp(m_data.props, PROP_ID(kPrWabDlEntries))) {
        for (const auto& id : members->blobs) {
            ULONG type = 0, serial = 0;
            if (!ParseEntryId(id.data(), static_cast<ULONG>(id.size()), &type, &serial))
                continue;
            CEntryPtr e = m_store->Find(serial);
            if (e && e->type == type && type != MAPI_ABCONT)
                rows.push_back(e);
        }
    }
    if (rows.empty())
        return MAPI_E_NOT_FOUND;
    bool unicode = (ulFlags & MAPI_UNICODE) != 0;
    return TableOut(m_faultId, std::move(rows), ContentsColumns(unicode), unicode, lppTable);
}

STDMETHODIMP CEntryObject::GetHierarchyTable(ULONG, LPMAPITABLE* lppTable)
{
    if (lppTable)
        *lppTable = nullptr;
    return MAPI_E_NO_SUPPORT;
}

STDMETHODIMP CEntryObject::OpenEntry(ULONG cbEntryID, LPENTRYID lpEntryID, LPCIID lpInterface, ULONG ulFlags,
                                     ULONG* lpulObjType, LPUNKNOWN* lppUnk)
{
    return OpenStoreEntry(m_store, cbEntryID, lpEntryID, lpInterface, ulFlags, lpulObjType, lppUnk);
}

STDMETHODIMP CEntryObject::SetSearchCriteria(LPSRestriction, LPENTRYLIST, ULONG) { return MAPI_E_NO_SUPPORT; }
STDMETHODIMP CEntryObject::GetSearchCriteria(ULONG, LPSRestriction*, LPENTRYLIST*, ULONG*) { return MAPI_E_NO_SUPPORT; }
STDMETHODIMP CEntryObject::CreateEntry(ULONG, LPENTRYID, ULONG, LPMAPIPROP* lppMAPIPropEntry)
{
    if (lppMAPIPropEntry)
        *lppMAPIPropEntry = nullptr;
    return MAPI_E_NO_SUPPORT;
}
STDMETHODIMP CEntryObject::CopyEntries(LPENTRYLIST, ULONG, LPMAPIPROGRESS, ULONG) { return MAPI_E_NO_SUPPORT; }
STDMETHODIMP CEntryObject::DeleteEntries(LPENTRYLIST, ULONG) { return MAPI_E_NO_SUPPORT; }
STDMETHODIMP CEntryObject::ResolveNames(LPSPropTagArray, ULONG, LPADRLIST, LPFlagList) { return MAPI_E_NO_SUPPORT; }

}  // namespace wabstandin
