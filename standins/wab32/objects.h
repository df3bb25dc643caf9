// The objects WABOpen hands out: the address book (IAddrBook), the buffer allocator (IWABObject),
// folders and the root container (IABContainer), contacts (IMailUser) and groups (IDistList).
#pragma once

#include <windows.h>
#include "standins/wab32/wabheaders.h"

#include <memory>

#include "standins/wab32/livecount.h"
#include "standins/wab32/propobject.h"

namespace wabstandin {

// Opens what an entry identifier names (an empty one: the root container). MAPI_E_UNKNOWN_ENTRYID
// for an identifier that is not ours, MAPI_E_NOT_FOUND for one whose entry does not exist.
HRESULT OpenStoreEntry(const std::shared_ptr<CStore>& store, ULONG cbEntryID, LPENTRYID lpEntryID,
                       LPCIID lpInterface, ULONG ulFlags, ULONG* lpulObjType, LPUNKNOWN* lppUnk);

class CWabObject final : public IWABObject {
public:
    CWabObject() = default;
    STDMETHODIMP QueryInterface(REFIID riid, LPVOID* ppv) override;
    STDMETHODIMP_(ULONG) AddRef() override;
    STDMETHODIMP_(ULONG) Release() override;
    STDMETHODIMP GetLastError(HRESULT hResult, ULONG ulFlags, LPMAPIERROR* lppMAPIError) override;
    STDMETHODIMP AllocateBuffer(ULONG cbSize, LPVOID* lppBuffer) override;
    STDMETHODIMP AllocateMore(ULONG cbSize, LPVOID lpObject, LPVOID* lppBuffer) override;
    STDMETHODIMP FreeBuffer(LPVOID lpBuffer) override;
    STDMETHODIMP Backup(LPSTR lpFileName) override;
    STDMETHODIMP Import(LPSTR lpImportParam) override;
    STDMETHODIMP Find(LPADRBOOK lpIAB, HWND hWnd) override;
    STDMETHODIMP VCardDisplay(LPADRBOOK lpIAB, HWND hWnd, LPSTR lpszFileName) override;
    STDMETHODIMP LDAPUrl(LPADRBOOK lpIAB, HWND hWnd, ULONG ulFlags, LPSTR lpszURL,
                         LPMAILUSER* lppMailUser) override;
    STDMETHODIMP VCardCreate(LPADRBOOK lpIAB, ULONG ulFlags, LPSTR lpszVCard, LPMAILUSER lpMailUser) override;
    STDMETHODIMP VCardRetrieve(LPADRBOOK lpIAB, ULONG ulFlags, LPSTR lpszVCard,
                               LPMAILUSER* lppMailUser) override;
    STDMETHODIMP GetMe(LPADRBOOK lpIAB, ULONG ulFlags, DWORD* lpdwAction, SBinary* lpsbEID,
                       ULONG ulParam) override;
    STDMETHODIMP SetMe(LPADRBOOK lpIAB, ULONG ulFlags, SBinary sbEID, ULONG ulParam) override;

private:
    ~CWabObject() = default;
    LONG m_refs = 1;
    CLiveObject m_live;
};

class CAddrBook final : public CPropObject<IAddrBook> {
public:
    explicit CAddrBook(std::shared_ptr<CStore> store);
    STDMETHODIMP QueryInterface(REFIID riid, LPVOID* ppv) override;
    STDMETHODIMP OpenEntry(ULONG cbEntryID, LPENTRYID lpEntryID, LPCIID lpInterface, ULONG ulFlags,
                           ULONG* lpulObjType, LPUNKNOWN* lppUnk) override;
    STDMETHODIMP CompareEntryIDs(ULONG cbEntryID1, LPENTRYID lpEntryID1, ULONG cbEntryID2,
                                 LPENTRYID lpEntryID2, ULONG ulFlags, ULONG* lpulResult) override;
    STDMETHODIMP Advise(ULONG, LPENTRYID, ULONG, LPMAPIADVISESINK, ULONG*) override;
    STDMETHODIMP Unadvise(ULONG) override;
    STDMETHODIMP CreateOneOff(LPTSTR, LPTSTR, LPTSTR, ULONG, ULONG*, LPENTRYID*) override;
    STDMETHODIMP NewEntry(ULONG, ULONG, ULONG, LPENTRYID, ULONG, LPENTRYID, ULONG*, LPENTRYID*) override;
    STDMETHODIMP ResolveName(ULONG_PTR, ULONG, LPTSTR, LPADRLIST) override;
    STDMETHODIMP Address(ULONG*, LPADRPARM, LPADRLIST*) override;
    STDMETHODIMP Details(ULONG*, LPFNDISMISS, LPVOID, ULONG, LPENTRYID, LPFNBUTTON, LPVOID, LPTSTR, ULONG) override;
    STDMETHODIMP RecipOptions(ULONG, ULONG, LPADRENTRY) override;
    STDMETHODIMP QueryDefaultRecipOpt(LPTSTR, ULONG, ULONG*, LPSPropValue*) override;
    STDMETHODIMP GetPAB(ULONG* lpcbEntryID, LPENTRYID* lppEntryID) override;
    STDMETHODIMP SetPAB(ULONG, LPENTRYID) override;
    STDMETHODIMP GetDefaultDir(ULONG* lpcbEntryID, LPENTRYID* lppEntryID) override;
    STDMETHODIMP SetDefaultDir(ULONG, LPENTRYID) override;
    STDMETHODIMP GetSearchPath(ULONG, LPSRowSet*) override;
    STDMETHODIMP SetSearchPath(ULONG, LPSRowSet) override;
    STDMETHODIMP PrepareRecips(ULONG, LPSPropTagArray, LPADRLIST) override;
};

// A folder (serial != 0) or the root container (serial 0).
class CContainer final : public CPropObject<IABContainer> {
public:
    CContainer(std::shared_ptr<CStore> store, CEntryData data, bool writable);
    STDMETHODIMP QueryInterface(REFIID riid, LPVOID* ppv) override;
    STDMETHODIMP GetContentsTable(ULONG ulFlags, LPMAPITABLE* lppTable) override;
    STDMETHODIMP GetHierarchyTable(ULONG ulFlags, LPMAPITABLE* lppTable) override;
    STDMETHODIMP OpenEntry(ULONG cbEntryID, LPENTRYID lpEntryID, LPCIID lpInterface, ULONG ulFlags,
                           ULONG* lpulObjType, LPUNKNOWN* lppUnk) override;
    STDMETHODIMP SetSearchCriteria(LPSRestriction, LPENTRYLIST, ULONG) override;
    STDMETHODIMP GetSearchCriteria(ULONG, LPSRestriction*, LPENTRYLIST*, ULONG*) override;
    STDMETHODIMP CreateEntry(ULONG cbEntryID, LPENTRYID lpEntryID, ULONG ulCreateFlags,
                             LPMAPIPROP* lppMAPIPropEntry) override;
    STDMETHODIMP CopyEntries(LPENTRYLIST, ULONG, LPMAPIPROGRESS, ULONG) override;
    STDMETHODIMP DeleteEntries(LPENTRYLIST lpEntries, ULONG ulFlags) override;
    STDMETHODIMP ResolveNames(LPSPropTagArray, ULONG, LPADRLIST, LPFlagList) override;
};

// A contact (MAPI_MAILUSER, answers IMailUser) or a group (MAPI_DISTLIST, answers IDistList).
class CEntryObject final : public CPropObject<IDistList> {
public:
    CEntryObject(std::shared_ptr<CStore> store, CEntryData data, bool writable, std::string faultId);
    STDMETHODIMP QueryInterface(REFIID riid, LPVOID* ppv) override;
    STDMETHODIMP GetContentsTable(ULONG ulFlags, LPMAPITABLE* lppTable) override;
    STDMETHODIMP GetHierarchyTable(ULONG ulFlags, LPMAPITABLE* lppTable) override;
    STDMETHODIMP OpenEntry(ULONG cbEntryID, LPENTRYID lpEntryID, LPCIID lpInterface, ULONG ulFlags,
                           ULONG* lpulObjType, LPUNKNOWN* lppUnk) override;
    STDMETHODIMP SetSearchCriteria(LPSRestriction, LPENTRYLIST, ULONG) override;
    STDMETHODIMP GetSearchCriteria(ULONG, LPSRestriction*, LPENTRYLIST*, ULONG*) override;
    STDMETHODIMP CreateEntry(ULONG, LPENTRYID, ULONG, LPMAPIPROP* lppMAPIPropEntry) override;
    STDMETHODIMP CopyEntries(LPENTRYLIST, ULONG, LPMAPIPROGRESS, ULONG) override;
    STDMETHODIMP DeleteEntries(LPENTRYLIST, ULONG) override;
    STDMETHODIMP ResolveNames(LPSPropTagArray, ULONG, LPADRLIST, LPFlagList) override;
};

}  // namespace wabstandin
