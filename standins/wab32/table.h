// IMAPITable over a snapshot of entries taken when the table was opened: columns, restriction,
// sort order and a cursor, evaluated in memory. Restrictions are copied when set, so the caller
// may free its own at once.
#pragma once

#include <windows.h>
#include "standins/wab32/wabheaders.h"

#include <memory>
#include <string>
#include <vector>

#include "standins/wab32/livecount.h"
#include "standins/wab32/store.h"

namespace wabstandin {

// A restriction copied into our own form: values converted to the kept types, ready to be
// evaluated against many entries.
class CRestriction {
public:
    // MAPI_E_TOO_COMPLEX for kinds and relations not supported, MAPI_E_INVALID_PARAMETER for a
    // malformed one.
    static HRESULT Compile(const SRestriction* in, std::unique_ptr<CRestriction>& out);
    bool Matches(const CStoredEntry& entry) const;

private:
    ULONG m_kind = RES_AND;
    ULONG m_relop = 0;  // RES_PROPERTY, RES_BITMASK (BMR_*)
    ULONG m_propId = 0;
    ULONG m_wantedType = 0;
    ULONG m_fuzzy = 0;  // RES_CONTENT
    ULONG m_mask = 0;   // RES_BITMASK
    bool m_hasValue = false;
    CValue m_value;
    std::vector<std::unique_ptr<CRestriction>> m_children;
};

class CTable final : public IMAPITable {
public:
    // containerId names the table's container for fault injection.
    CTable(std::string containerId, std::vector<CEntryPtr> rows, std::vector<ULONG> columns,
           bool unicode);

    STDMETHODIMP QueryInterface(REFIID riid, LPVOID* ppv) override;
    STDMETHODIMP_(ULONG) AddRef() override;
    STDMETHODIMP_(ULONG) Release() override;

    STDMETHODIMP GetLastError(HRESULT hResult, ULONG ulFlags, LPMAPIERROR* lppMAPIError) override;
    STDMETHODIMP Advise(ULONG ulEventMask, LPMAPIADVISESINK lpAdviseSink, ULONG* lpulConnection) override;
    STDMETHODIMP Unadvise(ULONG ulConnection) override;
    STDMETHODIMP GetStatus(ULONG* lpulTableStatus, ULONG* lpulTableType) override;
    STDMETHODIMP SetColumns(LPSPropTagArray lpPropTagArray, ULONG ulFlags) override;
    STDMETHODIMP QueryColumns(ULONG ulFlags, LPSPropTagArray* lpPropTagArray) override;
    STDMETHODIMP GetRowCount(ULONG ulFlags, ULONG* lpulCount) override;
    STDMETHODIMP SeekRow(BOOKMARK bkOrigin, LONG lRowCount, LONG* lplRowsSought) override;
    STDMETHODIMP SeekRowApprox(ULONG ulNumerator, ULONG ulDenominator) override;
    STDMETHODIMP QueryPosition(ULONG* lpulRow, ULONG* lpulNumerator, ULONG* lpulDenominator) override;
    STDMETHODIMP FindRow(LPSRestriction lpRestriction, BOOKMARK bkOrigin, ULONG ulFlags) override;
    STDMETHODIMP Restrict(LPSRestriction lpRestriction, ULONG ulFlags) override;
    STDMETHODIMP CreateBookmark(BOOKMARK* lpbkPosition) override;
    STDMETHODIMP FreeBookmark(BOOKMARK bkPosition) override;
    STDMETHODIMP SortTable(LPSSortOrderSet lpSortCriteria, ULONG ulFlags) override;
    STDMETHODIMP QuerySortOrder(LPSSortOrderSet* lppSortCriteria) override;
    STDMETHODIMP QueryRows(LONG lRowCount, ULONG ulFlags, LPSRowSet* lppRows) override;
    STDMETHODIMP Abort() override;
    STDMETHODIMP ExpandRow(ULONG cbInstanceKey, LPBYTE pbInstanceKey, ULONG ulRowCount, ULONG ulFlags,
                           LPSRowSet* lppRows, ULONG* lpulMoreRows) override;
    STDMETHODIMP CollapseRow(ULONG cbInstanceKey, LPBYTE pbInstanceKey, ULONG ulFlags,
                             ULONG* lpulRowCount) override;
    STDMETHODIMP WaitForCompletion(ULONG ulFlags, ULONG ulTimeout, ULONG* lpulTableStatus) override;
    STDMETHODIMP GetCollapseState(ULONG ulFlags, ULONG cbInstanceKey, LPBYTE lpbInstanceKey,
                                  ULONG* lpcbCollapseState, LPBYTE* lppbCollapseState) override;
    STDMETHODIMP SetCollapseState(ULONG ulFlags, ULONG cbCollapseState, LPBYTE pbCollapseState,
                                  BOOKMARK* lpbkLocation) override;

private:
    ~CTable() = default;
    void _Rebuild();
    HRESULT _Fault(const char* call) const;
    HRESULT _FillRow(const CStoredEntry& entry, SRow& row) const;

    LONG m_refs = 1;
    CLiveObject m_live;
    std::string m_containerId;
    std::vector<CEntryPtr> m_rows;  // the snapshot, in store order
    std::vector<CEntryPtr> m_view;  // after restriction and sort
    std::vector<ULONG> m_columns;
    bool m_unicode;
    std::unique_ptr<CRestriction> m_restriction;
    std::vector<SSortOrder> m_sort;
    size_t m_cursor = 0;
};

}  // namespace wabstandin
