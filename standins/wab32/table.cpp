#include "standins/wab32/table.h"

#include <algorithm>
#include <cstddef>
#include <cstring>

#include <mapiguid.h>

#include "standins/wab32/entryprops.h"
#include "standins/wab32/faults.h"
#include "standins/wab32/mapialloc.h"

namespace wabstandin {

// ---- restrictions --------------------------------------------------------------------------------

HRESULT CRestriction::Compile(const SRestriction* in, std::unique_ptr<CRestriction>& out)
{
    out.reset();
    if (!in)
        return MAPI_E_INVALID_PARAMETER;
    auto r = std::make_unique<CRestriction>();
    r->m_kind = in->rt;
    HRESULT hr = S_OK;
    switch (in->rt) {
    case RES_AND:
    case RES_OR: {
        ULONG count = in->rt == RES_AND ? in->res.resAnd.cRes : in->res.resOr.cRes;
        const SRestriction* list = in->rt == RES_AND ? in->res.resAnd.lpRes : in->res.resOr.lpRes;
        if (count && !list)
            return MAPI_E_INVALID_PARAMETER;
        for (ULONG i = 0; i < count; ++i) {
            std::unique_ptr<CRestriction> child;
            hr = Compile(&list[i], child);
            if (FAILED(hr))
                return hr;
            r->m_children.push_back(std::move(child));
        }
        break;
    }
    case RES_NOT: {
        std::unique_ptr<CRestriction> child;
        hr = Compile(in->res.resNot.lpRes, child);
        if (FAILED(hr))
            return hr;
        r->m_children.push_back(std::move(child));
        break;
    }
    case RES_EXIST:
        r->m_propId = PROP_ID(in->res.resExist.ulPropTag);
        break;
    case RES_PROPERTY: {
        const SPropertyRestriction& p = in->res.resProperty;
        if (!p.lpProp)
            return MAPI_E_INVALID_PARAMETER;
        if (p.relop > RELOP_NE)
            return MAPI_E_TOO_COMPLEX;
        r->m_relop = p.relop;
        r->m_propId = PROP_ID(p.ulPropTag);
        hr = FromPropValue(*p.lpProp, r->m_value);
        if (FAILED(hr))
            return hr == MAPI_E_INVALID_TYPE ? MAPI_E_TOO_COMPLEX : hr;
        r->m_wantedType = PROP_TYPE(r->m_value.tag);
        break;
    }
    case RES_CONTENT: {
        const SContentRestriction& c = in->res.resContent;
        if (!c.lpProp)
            return MAPI_E_INVALID_PARAMETER;
        r->m_fuzzy = c.ulFuzzyLevel;
        r->m_propId = PROP_ID(c.ulPropTag);
        hr = FromPropValue(*c.lpProp, r->m_value);
        if (FAILED(hr))
            return hr == MAPI_E_INVALID_TYPE ? MAPI_E_TOO_COMPLEX : hr;
        ULONG t = PROP_TYPE(r->m_value.tag);
        if (t != PT_UNICODE && t != PT_BINARY)
            return MAPI_E_TOO_COMPLEX;
        if (r->m_fuzzy & FL_IGNORECASE)
            CharUpperBuffW(&r->m_value.text[0], static_cast<DWORD>(r->m_value.text.size()));
        break;
    }
    case RES_BITMASK:
        r->m_relop = in->res.resBitMask.relBMR;
        r->m_propId = PROP_ID(in->res.resBitMask.ulPropTag);
        r->m_mask = in->res.resBitMask.ulMask;
        break;
    case RES_COMMENT:
        if (in->res.resComment.lpRes) {
            std::unique_ptr<CRestriction> child;
            hr = Compile(in->res.resComment.lpRes, child);
            if (FAILED(hr))
                return hr;
            r->m_children.push_back(std::move(child));
        }
        break;
    default:
        return MAPI_E_TOO_COMPLEX;
    }
    out = std::move(r);
    return S_OK;
}

namespace {

bool ContentMatches(const CValue& pattern, ULONG fuzzy, const std::wstring& text)
{
    std::wstring hay = text;
    if (fuzzy & FL_IGNORECASE)
        CharUpperBuffW(&hay[0], static_cast<DWORD>(hay.size()));
    const std::wstring& needle = pattern.text;
    switch (fuzzy & 0xFFFF) {
    case FL_SUBSTRING: return hay.find(needle) != std::wstring::npos;
    case FL_PREFIX: return hay.compare(0, needle.size(), needle) == 0;
    default: return hay == needle;
    }
}

bool BinaryContentMatches(const CValue& pattern, ULONG fuzzy, const std::string& bytes)
{
    const std::string& needle = pattern.bytes;
    switch (fuzzy & 0xFFFF) {
    case FL_SUBSTRING: return bytes.find(needle) != std::string::npos;
    case FL_PREFIX: return bytes.compare(0, needle.size(), needle) == 0;
    default: return bytes == needle;
    }
}

}  // namespace

bool CRestriction::Matches(const CStoredEntry& entry) const
{
    CValue scratch;
    switch (m_kind) {
    case RES_AND:
        for (const auto& c : m_children)
            if (!c->Matches(entry))
                return false;
        return true;
    case RES_OR:
        for (const auto& c : m_children)
            if (c->Matches(entry))
                return true;
        return false;
    case RES_NOT:
        return !m_children[0]->Matches(entry);
    case RES_COMMENT:
        return m_children.empty() || m_children[0]->Matches(entry);
    case RES_EXIST:
        return EntryValue(entry, m_propId, scratch) != nullptr;
    case RES_PROPERTY: {
        // A property the entry lacks, or holds in another type, satisfies no relation.
        const CValue* v = EntryValue(entry, m_propId, scratch);
        int cmp = 0;
        if (!v || PROP_TYPE(v->tag) != m_wantedType || !CompareValues(*v, m_value, &cmp))
            return false;
        switch (m_relop) {
        case RELOP_LT: return cmp < 0;
        case RELOP_LE: return cmp <= 0;
        case RELOP_GT: return cmp > 0;
        case RELOP_GE: return cmp >= 0;
        case RELOP_EQ: return cmp == 0;
        case RELOP_NE: return cmp != 0;
        default: return false;
        }
    }
    case RES_CONTENT: {
        const CValue* v = EntryValue(entry, m_propId, scratch);
        if (!v)
            return false;
        ULONG t = PROP_TYPE(v->tag);
        if (PROP_TYPE(m_value.tag) == PT_UNICODE) {
            if (t == PT_UNICODE)
                return ContentMatches(m_value, m_fuzzy, v->text);
            if (t == PT_MV_UNICODE) {
                for (const auto& s : v->texts)
                    if (ContentMatches(m_value, m_fuzzy, s))
                        return true;
            }
            return false;
        }
        if (t == PT_BINARY)
            return BinaryContentMatches(m_value, m_fuzzy, v->bytes);
        if (t == PT_MV_BINARY) {
            for (const auto& b : v->blobs)
                if (BinaryContentMatches(m_value, m_fuzzy, b))
                    return true;
        }
        return false;
    }
    case RES_BITMASK: {
        const CValue* v = EntryValue(entry, m_propId, scratch);
        if (!v)
            return false;
        ULONG t = PROP_TYPE(v->tag);
        if (t != PT_LONG && t != PT_I2 && t != PT_BOOLEAN)
            return false;
        bool zero = (static_cast<ULONG>(v->num) & m_mask) == 0;
        return m_relop == BMR_EQZ ? zero : !zero;
    }
    default:
        return false;
    }
}

// ---- the table -----------------------------------------------------------------------------------

CTable::CTable(std::string containerId, std::vector<CEntryPtr> rows, std::vector<ULONG> columns,
               bool unicode)
    : m_containerId(std::move(containerId)), m_rows(std::move(rows)), m_columns(std::move(columns)),
      m_unicode(unicode)
{
    m_view = m_rows;
}

STDMETHODIMP CTable::QueryInterface(REFIID riid, LPVOID* ppv)
{
    if (!ppv)
        return E_INVALIDARG;
    *ppv = nullptr;
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IMAPITable)) {
        *ppv = static_cast<IMAPITable*>(this);
        AddRef();
        return S_OK;
    }
    return E_NOINTERFACE;
}

STDMETHODIMP_(ULONG) CTable::AddRef()
{
    return InterlockedIncrement(&m_refs);
}

STDMETHODIMP_(ULONG) CTable::Release()
{
    LONG n = InterlockedDecrement(&m_refs);
    if (n == 0)
        delete this;
    return n;
}

HRESULT CTable::_Fault(const char* call) const
{
    return Fault(call, m_containerId.data(), static_cast<ULONG>(m_containerId.size()));
}

STDMETHODIMP CTable::GetLastError(HRESULT, ULONG, LPMAPIERROR* lppMAPIError)
{
    if (!lppMAPIError)
        return MAPI_E_INVALID_PARAMETER;
    *lppMAPIError = nullptr;  // no further detail than the code itself
    return S_OK;
}

STDMETHODIMP CTable::Advise(ULONG, LPMAPIADVISESINK, ULONG*) { return MAPI_E_NO_SUPPORT; }
STDMETHODIMP CTable::Unadvise(ULONG) { return MAPI_E_NO_SUPPORT; }

STDMETHODIMP CTable::GetStatus(ULONG* lpulTableStatus, ULONG* lpulTableType)
{
    if (!lpulTableStatus || !lpulTableType)
        return MAPI_E_INVALID_PARAMETER;
    *lpulTableStatus = TBLSTAT_COMPLETE;
    *lpulTableType = TBLTYPE_SNAPSHOT;
    return S_OK;
}

STDMETHODIMP CTable::SetColumns(LPSPropTagArray lpPropTagArray, ULONG)
{
    HRESULT hr = _Fault("SetColumns");
    if (FAILED(hr))
        return hr;
    if (!lpPropTagArray)
        return MAPI_E_INVALID_PARAMETER;
    m_columns.assign(lpPropTagArray->aulPropTag, lpPropTagArray->aulPropTag + lpPropTagArray->cValues);
    return S_OK;
}

STDMETHODIMP CTable::QueryColumns(ULONG, LPSPropTagArray* lpPropTagArray)
{
    if (!lpPropTagArray)
        return MAPI_E_INVALID_PARAMETER;
    *lpPropTagArray = nullptr;
    void* mem = nullptr;
    HRESULT hr = AllocBuffer(static_cast<ULONG>(sizeof(ULONG) * (m_columns.size() + 1)), &mem);
    if (FAILED(hr))
        return hr;
    auto* tags = static_cast<LPSPropTagArray>(mem);
    tags->cValues = static_cast<ULONG>(m_columns.size());
    std::copy(m_columns.begin(), m_columns.end(), tags->aulPropTag);
    *lpPropTagArray = tags;
    return S_OK;
}

STDMETHODIMP CTable::GetRowCount(ULONG, ULONG* lpulCount)
{
    if (!lpulCount)
        return MAPI_E_INVALID_PARAMETER;
    *lpulCount = 0;
    HRESULT hr = _Fault("GetRowCount");
    if (FAILED(hr))
        return hr;
    *lpulCount = static_cast<ULONG>(m_view.size());
    return S_OK;
}

STDMETHODIMP CTable::SeekRow(BOOKMARK bkOrigin, LONG lRowCount, LONG* lplRowsSought)
{
    LONGLONG base;
    if (bkOrigin == BOOKMARK_BEGINNING)
        base = 0;
    else if (bkOrigin == BOOKMARK_CURRENT)
        base = static_cast<LONGLONG>(m_cursor);
    else if (bkOrigin == BOOKMARK_END)
        base = static_cast<LONGLONG>(m_view.size());
    else
        return MAPI_E_INVALID_BOOKMARK;
    LONGLONG target = std::max<LONGLONG>(0, std::min<LONGLONG>(base + lRowCount, m_view.size()));
    if (lplRowsSought)
        *lplRowsSought = static_cast<LONG>(target - base);
    m_cursor = static_cast<size_t>(target);
    return S_OK;
}

STDMETHODIMP CTable::SeekRowApprox(ULONG ulNumerator, ULONG ulDenominator)
{
    if (!ulDenominator)
        return MAPI_E_INVALID_PARAMETER;
    m_cursor = static_cast<size_t>(static_cast<ULONGLONG>(m_view.size()) * ulNumerator / ulDenominator);
    m_cursor = std::min(m_cursor, m_view.size());
    return S_OK;
}

STDMETHODIMP CTable::QueryPosition(ULONG* lpulRow, ULONG* lpulNumerator, ULONG* lpulDenominator)
{
    if (!lpulRow || !lpulNumerator || !lpulDenominator)
        return MAPI_E_INVALID_PARAMETER;
    *lpulRow = static_cast<ULONG>(m_cursor);
    *lpulNumerator = static_cast<ULONG>(m_cursor);
    *lpulDenominator = static_cast<ULONG>(std::max<size_t>(1, m_view.size()));
    return S_OK;
}

STDMETHODIMP CTable::FindRow(LPSRestriction lpRestriction, BOOKMARK bkOrigin, ULONG ulFlags)
{
    std::unique_ptr<CRestriction> r;
    HRESULT hr = CRestriction::Compile(lpRestriction, r);
    if (FAILED(hr))
        return hr;
    size_t start = bkOrigin == BOOKMARK_BEGINNING ? 0
                   : bkOrigin == BOOKMARK_CURRENT ? m_cursor
                   : bkOrigin == BOOKMARK_END     ? m_view.size()
                                                  : SIZE_MAX;
    if (start == SIZE_MAX)
        return MAPI_E_INVALID_BOOKMARK;
    if (ulFlags & DIR_BACKWARD) {
        for (size_t i = start; i-- > 0;)
            if (r->Matches(*m_view[i])) {
                m_cursor = i;
                return S_OK;
            }
    } else {
        for (size_t i = start; i < m_view.size(); ++i)
            if (r->Matches(*m_view[i])) {
                m_cursor = i;
                return S_OK;
            }
    }
    return MAPI_E_NOT_FOUND;
}

STDMETHODIMP CTable::Restrict(LPSRestriction lpRestriction, ULONG)
{
    HRESULT hr = _Fault("Restrict");
    if (FAILED(hr))
        return hr;
    if (!lpRestriction) {
        m_restriction.reset();
    } else {
        std::unique_ptr<CRestriction> r;
        hr = CRestriction::Compile(lpRestriction, r);
        if (FAILED(hr))
            return hr;
        m_restriction = std::move(r);
    }
    _Rebuild();
    return S_OK;
}

STDMETHODIMP CTable::CreateBookmark(BOOKMARK*) { return MAPI_E_NO_SUPPORT; }
STDMETHODIMP CTable::FreeBookmark(BOOKMARK) { return MAPI_E_NO_SUPPORT; }

STDMETHODIMP CTable::SortTable(LPSSortOrderSet lpSortCriteria, ULONG)
{
    HRESULT hr = _Fault("SortTable");
    if (FAILED(hr))
        return hr;
    if (!lpSortCriteria)
        return MAPI_E_INVALID_PARAMETER;
    if (lpSortCriteria->cCategories)
        return MAPI_E_TOO_COMPLEX;
    m_sort.assign(lpSortCriteria->aSort, lpSortCriteria->aSort + lpSortCriteria->cSorts);
    _Rebuild();
    return S_OK;
}

STDMETHODIMP CTable::QuerySortOrder(LPSSortOrderSet* lppSortCriteria)
{
    if (!lppSortCriteria)
        return MAPI_E_INVALID_PARAMETER;
    *lppSortCriteria = nullptr;
    void* mem = nullptr;
    HRESULT hr = AllocBuffer(static_cast<ULONG>(offsetof(SSortOrderSet, aSort) +
                                                sizeof(SSortOrder) * (m_sort.size() + 1)),
                             &mem);
    if (FAILED(hr))
        return hr;
    auto* set = static_cast<LPSSortOrderSet>(mem);
    set->cSorts = static_cast<ULONG>(m_sort.size());
    std::copy(m_sort.begin(), m_sort.end(), set->aSort);
    *lppSortCriteria = set;
    return S_OK;
}

namespace {

// Sort order of two values of one column: strings without regard to case as a person would sort
// names, everything else by value.
int SortCompare(const CValue* a, const CValue* b)
{
    if (PROP_TYPE(a->tag) == PT_UNICODE && PROP_TYPE(b->tag) == PT_UNICODE) {
        int r = CompareStringW(LOCALE_USER_DEFAULT, NORM_IGNORECASE, a->text.c_str(),
                               static_cast<int>(a->text.size()), b->text.c_str(),
                               static_cast<int>(b->text.size()));
        if (r)
            return r - 2;
    }
    int cmp = 0;
    if (CompareValues(*a, *b, &cmp))
        return cmp;
    return 0;
}

}  // namespace

void CTable::_Rebuild()
{
    m_view.clear();
    for (const auto& e : m_rows)
        if (!m_restriction || m_restriction->Matches(*e))
            m_view.push_back(e);
    if (!m_sort.empty()) {
        std::stable_sort(m_view.begin(), m_view.end(), [this](const CEntryPtr& x, const CEntryPtr& y) {
            for (const auto& key : m_sort) {
                CValue sx, sy;
                const CValue* vx = EntryValue(*x, PROP_ID(key.ulPropTag), sx);
                const CValue* vy = EntryValue(*y, PROP_ID(key.ulPropTag), sy);
                if (!vx || !vy) {
                    if (vx || vy)
                        return vx != nullptr;  // rows without the value come last either way
                    continue;
                }
                int c = SortCompare(vx, vy);
                if (key.ulOrder == TABLE_SORT_DESCEND)
                    c = -c;
                if (c)
                    return c < 0;
            }
            return false;
        });
    }
    m_cursor = 0;
}

HRESULT CTable::_FillRow(const CStoredEntry& entry, SRow& row) const
{
    void* mem = nullptr;
    HRESULT hr = AllocBuffer(static_cast<ULONG>(sizeof(SPropValue) * std::max<size_t>(1, m_columns.size())), &mem);
    if (FAILED(hr))
        return hr;
    auto* values = static_cast<LPSPropValue>(mem);
    CValue scratch;
    for (size_t i = 0; i < m_columns.size(); ++i) {
        ULONG tag = m_columns[i];
        const CValue* v = EntryValue(entry, PROP_ID(tag), scratch);
        HRESULT vr = v ? ToPropValue(*v, tag, m_unicode, values, values[i]) : MAPI_E_NOT_FOUND;
        if (vr == E_OUTOFMEMORY) {
            FreeBuffer(values);
            return vr;
        }
        if (FAILED(vr))
            ErrorValue(tag, MAPI_E_NOT_FOUND, values[i]);
    }
    row.ulAdrEntryPad = 0;
    row.cValues = static_cast<ULONG>(m_columns.size());
    row.lpProps = values;
    return S_OK;
}

STDMETHODIMP CTable::QueryRows(LONG lRowCount, ULONG ulFlags, LPSRowSet* lppRows)
{
    if (!lppRows)
        return MAPI_E_INVALID_PARAMETER;
    *lppRows = nullptr;
    HRESULT hr = _Fault("QueryRows");
    if (FAILED(hr))
        return hr;
    size_t first, count;
    if (lRowCount >= 0) {
        first = m_cursor;
        count = std::min<size_t>(static_cast<size_t>(lRowCount), m_view.size() - m_cursor);
    } else {
        count = std::min<size_t>(static_cast<size_t>(-static_cast<LONGLONG>(lRowCount)), m_cursor);
        first = m_cursor - count;
    }
    void* mem = nullptr;
    hr = AllocBuffer(static_cast<ULONG>(offsetof(SRowSet, aRow) + sizeof(SRow) * std::max<size_t>(1, count)), &mem);
    if (FAILED(hr))
        return hr;
    auto* set = static_cast<LPSRowSet>(mem);
    set->cRows = 0;
    for (size_t i = 0; i < count; ++i) {
        hr = _FillRow(*m_view[first + i], set->aRow[i]);
        if (FAILED(hr)) {
            for (ULONG k = 0; k < set->cRows; ++k)
                FreeBuffer(set->aRow[k].lpProps);
            FreeBuffer(set);
            return hr;
        }
        set->cRows = static_cast<ULONG>(i + 1);
    }
    if (!(ulFlags & TBL_NOADVANCE))
        m_cursor = lRowCount >= 0 ? first + count : first;
    *lppRows = set;
    return S_OK;
}

STDMETHODIMP CTable::Abort() { return S_OK; }

STDMETHODIMP CTable::ExpandRow(ULONG, LPBYTE, ULONG, ULONG, LPSRowSet*, ULONG*) { return MAPI_E_NO_SUPPORT; }
STDMETHODIMP CTable::CollapseRow(ULONG, LPBYTE, ULONG, ULONG*) { return MAPI_E_NO_SUPPORT; }

STDMETHODIMP CTable::WaitForCompletion(ULONG, ULONG, ULONG* lpulTableStatus)
{
    if (lpulTableStatus)
        *lpulTableStatus = TBLSTAT_COMPLETE;
    return S_OK;
}

STDMETHODIMP CTable::GetCollapseState(ULONG, ULONG, LPBYTE, ULONG*, LPBYTE*) { return MAPI_E_NO_SUPPORT; }
STDMETHODIMP CTable::SetCollapseState(ULONG, ULONG, LPBYTE, BOOKMARK*) { return MAPI_E_NO_SUPPORT; }

}  // namespace wabstandin
