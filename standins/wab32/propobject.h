// IUnknown and IMAPIProp, written once for every object of the stand-in (address book, folders,
// contacts, groups). An object works on its own copy of the entry's properties; SaveChanges hands
// the copy to the store, which writes it as one record.
#pragma once

#include <windows.h>
#include "standins/wab32/wabheaders.h"

#include <algorithm>
#include <cstddef>
#include <memory>
#include <string>
#include <vector>

#include "standins/wab32/entryprops.h"
#include "standins/wab32/faults.h"
#include "standins/wab32/livecount.h"
#include "standins/wab32/mapialloc.h"
#include "standins/wab32/store.h"

namespace wabstandin {

template <class Iface>
class CPropObject : public Iface {
public:
    STDMETHODIMP_(ULONG) AddRef() override { return InterlockedIncrement(&m_refs); }
    STDMETHODIMP_(ULONG) Release() override
    {
        LONG n = InterlockedDecrement(&m_refs);
        if (n == 0)
            delete this;
        return n;
    }

    STDMETHODIMP GetLastError(HRESULT, ULONG, LPMAPIERROR* lppMAPIError) override
    {
        if (!lppMAPIError)
            return MAPI_E_INVALID_PARAMETER;
        *lppMAPIError = nullptr;  // no detail beyond the code itself
        return S_OK;
    }

    STDMETHODIMP SaveChanges(ULONG) override
    {
        HRESULT hr = _Fault("SaveChanges");
        if (FAILED(hr))
            return hr;
        if (!m_writable || !m_store)
            return MAPI_E_NO_ACCESS;
        hr = m_store->Save(m_data);
        if (FAILED(hr))
            return hr;
        m_faultId = MakeEntryId(m_data.type, m_data.serial);
        return S_OK;
    }

    STDMETHODIMP GetProps(LPSPropTagArray lpPropTagArray, ULONG ulFlags, ULONG* lpcValues,
                          LPSPropValue* lppPropArray) override
    {
        if (!lpcValues || !lppPropArray)
            return MAPI_E_INVALID_PARAMETER;
        *lpcValues = 0;
        *lppPropArray = nullptr;
        HRESULT hr = _Fault("GetProps");
        if (FAILED(hr))
            return hr;
        bool unicode = (ulFlags & MAPI_UNICODE) != 0;
        std::vector<ULONG> tags;
        if (lpPropTagArray) {
            tags.assign(lpPropTagArray->aulPropTag, lpPropTagArray->aulPropTag + lpPropTagArray->cValues);
        } else {
            for (ULONG id : EntryPropIds(m_data))
                tags.push_back(PROP_TAG(PT_UNSPECIFIED, id));
        }
        void* mem = nullptr;
        hr = AllocBuffer(static_cast<ULONG>(sizeof(SPropValue) * std::max<size_t>(1, tags.size())), &mem);
        if (FAILED(hr))
            return hr;
        auto* values = static_cast<LPSPropValue>(mem);
        bool errors = false;
        CValue scratch;
        for (size_t i = 0; i < tags.size(); ++i) {
            const CValue* v = EntryValue(m_data, PROP_ID(tags[i]), scratch);
            HRESULT vr = v ? ToPropValue(*v, tags[i], unicode, values, values[i]) : MAPI_E_NOT_FOUND;
            if (vr == E_OUTOFMEMORY) {
                FreeBuffer(values);
                return vr;
            }
            if (FAILED(vr)) {
                ErrorValue(tags[i], MAPI_E_NOT_FOUND, values[i]);
                errors = true;
            }
        }
        *lpcValues = static_cast<ULONG>(tags.size());
        *lppPropArray = values;
        return errors ? MAPI_W_ERRORS_RETURNED : S_OK;
    }

    STDMETHODIMP GetPropList(ULONG ulFlags, LPSPropTagArray* lppPropTagArray) override
    {
        if (!lppPropTagArray)
            return MAPI_E_INVALID_PARAMETER;
        *lppPropTagArray = nullptr;
        std::vector<ULONG> ids = EntryPropIds(m_data);
        void* mem = nullptr;
        HRESULT hr = AllocBuffer(static_cast<ULONG>(sizeof(ULONG) * (ids.size() + 1)), &mem);
        if (FAILED(hr))
            return hr;
        auto* list = static_cast<LPSPropTagArray>(mem);
        list->cValues = static_cast<ULONG>(ids.size());
        CValue scratch;
        for (size_t i = 0; i < ids.size(); ++i) {
            const CValue* v = EntryValue(m_data, ids[i], scratch);
            ULONG type = v ? PROP_TYPE(v->tag) : PT_UNSPECIFIED;
            if (!(ulFlags & MAPI_UNICODE) && type == PT_UNICODE)
                type = PT_STRING8;
            if (!(ulFlags & MAPI_UNICODE) && type == PT_MV_UNICODE)
                type = PT_MV_STRING8;
            list->aulPropTag[i] = PROP_TAG(type, ids[i]);
        }
        *lppPropTagArray = list;
        return S_OK;
    }

    STDMETHODIMP OpenProperty(ULONG, LPCIID, ULONG, ULONG, LPUNKNOWN* lppUnk) override
    {
        if (lppUnk)
            *lppUnk = nullptr;
        return MAPI_E_NO_SUPPORT;
    }

    STDMETHODIMP SetProps(ULONG cValues, LPSPropValue lpPropArray, LPSPropProblemArray* lppProblems) override
    {
        if (lppProblems)
            *lppProblems = nullptr;
        if (cValues && !lpPropArray)
            return MAPI_E_INVALID_PARAMETER;
        HRESULT hr = _Fault("SetProps");
        if (FAILED(hr))
            return hr;
        if (!m_writable)
            return MAPI_E_NO_ACCESS;
        std::vector<SPropProblem> problems;
        for (ULONG i = 0; i < cValues; ++i) {
            const SPropValue& in = lpPropArray[i];
            if (PROP_TYPE(in.ulPropTag) == PT_ERROR)
                continue;
            HRESULT code = S_OK;
            CValue v;
            if (IsComputed(PROP_ID(in.ulPropTag)))
                code = MAPI_E_COMPUTED;
            else
                code = FromPropValue(in, v);
            if (FAILED(code)) {
                problems.push_back(SPropProblem{i, in.ulPropTag, code});
                continue;
            }
            PutProp(m_data.props, std::move(v));
        }
        return _Problems(problems, lppProblems);
    }

    STDMETHODIMP DeleteProps(LPSPropTagArray lpPropTagArray, LPSPropProblemArray* lppProblems) override
    {
        if (lppProblems)
            *lppProblems = nullptr;
        if (!lpPropTagArray)
            return MAPI_E_INVALID_PARAMETER;
        HRESULT hr = _Fault("DeleteProps");
        if (FAILED(hr))
            return hr;
        if (!m_writable)
            return MAPI_E_NO_ACCESS;
        std::vector<SPropProblem> problems;
        for (ULONG i = 0; i < lpPropTagArray->cValues; ++i) {
            ULONG tag = lpPropTagArray->aulPropTag[i];
            if (IsComputed(PROP_ID(tag)))
                problems.push_back(SPropProblem{i, tag, MAPI_E_COMPUTED});
            else
                RemoveProp(m_data.props, PROP_ID(tag));
        }
        return _Problems(problems, lppProblems);
    }

    STDMETHODIMP CopyTo(ULONG, LPCIID, LPSPropTagArray, ULONG, LPMAPIPROGRESS, LPCIID, LPVOID, ULONG,
                        LPSPropProblemArray* lppProblems) override
    {
        if (lppProblems)
            *lppProblems = nullptr;
        return MAPI_E_NO_SUPPORT;
    }

    STDMETHODIMP CopyProps(LPSPropTagArray, ULONG, LPMAPIPROGRESS, LPCIID, LPVOID, ULONG,
                           LPSPropProblemArray* lppProblems) override
    {
        if (lppProblems)
            *lppProblems = nullptr;
        return MAPI_E_NO_SUPPORT;
    }

    STDMETHODIMP GetNamesFromIDs(LPSPropTagArray* lppPropTags, LPGUID, ULONG, ULONG* lpcPropNames,
                                 LPMAPINAMEID** lpppPropNames) override
    {
        if (!lppPropTags || !*lppPropTags || !lpcPropNames || !lpppPropNames || !m_store)
            return MAPI_E_INVALID_PARAMETER;
        *lpcPropNames = 0;
        *lpppPropNames = nullptr;
        LPSPropTagArray tags = *lppPropTags;
        void* mem = nullptr;
        HRESULT hr = AllocBuffer(static_cast<ULONG>(sizeof(LPMAPINAMEID) * (tags->cValues + 1)), &mem);
        if (FAILED(hr))
            return hr;
        auto* names = static_cast<LPMAPINAMEID*>(mem);
        bool errors = false;
        for (ULONG i = 0; i < tags->cValues; ++i) {
            CNamedProp name;
            names[i] = nullptr;
            if (!m_store->NameOf(PROP_ID(tags->aulPropTag[i]), name)) {
                errors = true;
                continue;
            }
            void* block = nullptr;
            void* guid = nullptr;
            if (FAILED(AllocMore(sizeof(MAPINAMEID), names, &block)) ||
                FAILED(AllocMore(sizeof(GUID), names, &guid))) {
                FreeBuffer(names);
                return E_OUTOFMEMORY;
            }
            auto* id = static_cast<LPMAPINAMEID>(block);
            names[i] = id;
            *static_cast<GUID*>(guid) = name.guid;
            id->lpguid = static_cast<LPGUID>(guid);
            id->ulKind = name.kind;
            if (name.kind == MNID_ID) {
                id->Kind.lID = name.lid;
            } else {
                void* text = nullptr;
                if (FAILED(AllocMore(static_cast<ULONG>((name.name.size() + 1) * sizeof(WCHAR)), names, &text))) {
                    FreeBuffer(names);
                    return E_OUTOFMEMORY;
                }
                std::copy(name.name.c_str(), name.name.c_str() + name.name.size() + 1, static_cast<WCHAR*>(text));
                id->Kind.lpwstrName = static_cast<LPWSTR>(text);
            }
        }
        *lpcPropNames = tags->cValues;
        *lpppPropNames = names;
        return errors ? MAPI_W_ERRORS_RETURNED : S_OK;
    }

    STDMETHODIMP GetIDsFromNames(ULONG cPropNames, LPMAPINAMEID* lppPropNames, ULONG ulFlags,
                                 LPSPropTagArray* lppPropTags) override
    {
        if (!lppPropTags)
            return MAPI_E_INVALID_PARAMETER;
        *lppPropTags = nullptr;
        if (!cPropNames || !lppPropNames || !m_store)
            return MAPI_E_INVALID_PARAMETER;
        HRESULT hr = _Fault("GetIDsFromNames");
        if (FAILED(hr))
            return hr;
        void* mem = nullptr;
        hr = AllocBuffer(static_cast<ULONG>(sizeof(ULONG) * (cPropNames + 1)), &mem);
        if (FAILED(hr))
            return hr;
        auto* tags = static_cast<LPSPropTagArray>(mem);
        tags->cValues = cPropNames;
        bool errors = false;
        for (ULONG i = 0; i < cPropNames; ++i) {
            const MAPINAMEID* name = lppPropNames[i];
            ULONG id = 0;
            HRESULT nr = MAPI_E_INVALID_PARAMETER;
            if (name && name->lpguid && (name->ulKind == MNID_ID || name->Kind.lpwstrName))
                nr = m_store->NamedId(*name->lpguid, name->ulKind, name->ulKind == MNID_ID ? name->Kind.lID : 0,
                                      name->ulKind == MNID_STRING ? std::wstring(name->Kind.lpwstrName)
                                                                  : std::wstring(),
                                      (ulFlags & MAPI_CREATE) != 0, &id);
            if (nr == MAPI_E_NOT_FOUND || nr == MAPI_E_INVALID_PARAMETER) {
                tags->aulPropTag[i] = PROP_TAG(PT_ERROR, 0);
                errors = true;
            } else if (FAILED(nr)) {
                FreeBuffer(tags);
                return nr;
            } else {
                tags->aulPropTag[i] = PROP_TAG(PT_UNSPECIFIED, id);
            }
        }
        *lppPropTags = tags;
        return errors ? MAPI_W_ERRORS_RETURNED : S_OK;
    }

    const CEntryData& Data() const { return m_data; }

protected:
    CPropObject(std::shared_ptr<CStore> store, CEntryData data, bool writable, std::string faultId)
        : m_store(std::move(store)), m_data(std::move(data)), m_writable(writable),
          m_faultId(std::move(faultId))
    {
    }
    virtual ~CPropObject() = default;

    HRESULT _Fault(const char* call) const
    {
        return Fault(call, m_faultId.data(), static_cast<ULONG>(m_faultId.size()));
    }

    static HRESULT _Problems(const std::vector<SPropProblem>& problems, LPSPropProblemArray* out)
    {
        if (problems.empty() || !out)
            return S_OK;
        void* mem = nullptr;
        HRESULT hr = AllocBuffer(static_cast<ULONG>(offsetof(SPropProblemArray, aProblem) +
                                                    sizeof(SPropProblem) * problems.size()),
                                 &mem);
        if (FAILED(hr))
            return hr;
        auto* array = static_cast<LPSPropProblemArray>(mem);
        array->cProblem = static_cast<ULONG>(problems.size());
        std::copy(problems.begin(), problems.end(), array->aProblem);
        *out = array;
        return S_OK;
    }

    LONG m_refs = 1;
    CLiveObject m_live;
    std::shared_ptr<CStore> m_store;
    CEntryData m_data;
    bool m_writable;
    std::string m_faultId;  // the identifier faults are matched against
};

}  // namespace wabstandin
