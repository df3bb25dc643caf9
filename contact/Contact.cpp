#include "contact/Contact.h"

#include <objbase.h>

#include "base/Log.h"

const wchar_t CContact::kConferencingServersSet[] = L"{00062004-0000-0000-C000-000000000046}";

namespace {

// A tag of the wrong type is a caller's slip: it is reported, and the property is then read or
// written in the type the operation handles, so that a value is never taken for another kind.
ULONG CheckedTag(ULONG tag, ULONG type, const char* context)
{
    QUILLON_ASSERT(PROP_TYPE(tag) == type, context);
    return PROP_TAG(type, PROP_ID(tag));
}

}  // namespace

CContact::~CContact()
{
    _DropPreloaded();
}

CContact::CReadValue::~CReadValue()
{
    if (owned)
        (void)m_wab.FreeBuffer(owned);  // a failed free leaves nothing to do
}

void CContact::_DropPreloaded()
{
    if (m_preloaded)
        (void)m_wab.FreeBuffer(m_preloaded);  // a failed free leaves nothing to do
    m_preloaded = nullptr;
    m_preloadedTags.clear();
    m_nextPreloaded = 0;
}

HRESULT CContact::Preload(const ULONG* tags, ULONG count)
{
    _DropPreloaded();
    if (!m_entry || !tags || count == 0)
        return MAPI_E_INVALID_PARAMETER;
    HRESULT hr = m_wab.GetItemPropsList(m_entry, tags, count, &m_preloaded);
    if (FAILED(hr)) {
        m_preloaded = nullptr;
        return hr;
    }
    m_preloadedTags.assign(tags, tags + count);
    return S_OK;
}

HRESULT CContact::_Read(ULONG tag, CReadValue* value)
{
    const size_t preloaded = m_preloaded ? m_preloadedTags.size() : 0;
    for (size_t n = 0; n < preloaded; ++n) {
        const size_t i = (m_nextPreloaded + n) % preloaded;
        if (m_preloadedTags[i] != tag)
            continue;
        m_nextPreloaded = i + 1;
        // What a read of its own would have answered: the value, or the reason it could not be
        // given.
        const SPropValue& v = m_preloaded[i];
        if (PROP_TYPE(v.ulPropTag) == PT_ERROR)
            return v.Value.err;
        if (v.ulPropTag != tag)
            return MAPI_E_INVALID_TYPE;
        value->value = &v;
        return S_OK;
    }

    SPropValue* read = nullptr;
    HRESULT hr = m_wab.GetItemProps(m_entry, tag, &read);
    // The address book reports a property it could not give as a warning with the reason in the
    // value; GetItemProps already turns that into the reason, this catches any that slip by.
    if (hr == MAPI_W_ERRORS_RETURNED || (SUCCEEDED(hr) && (!read || read->ulPropTag != tag))) {
        HRESULT reason = MAPI_E_NOT_FOUND;
        if (read && PROP_TYPE(read->ulPropTag) == PT_ERROR)
            reason = read->Value.err;
        else if (read)
            reason = MAPI_E_INVALID_TYPE;
        if (read)
            (void)m_wab.FreeBuffer(read);  // the reason is what the caller needs
        return reason;
    }
    value->owned = read;
    value->value = read;
    return hr;
}

HRESULT CContact::_Write(const SPropValue& value)
{
    // What was preloaded may no longer be what the contact holds.
    _DropPreloaded();
    return m_wab.SetItemProp(m_entry, &value);
}

HRESULT CContact::_GetTextPropW(ULONG tag, std::wstring* value)
{
    value->clear();
    return _ReadWith(CheckedTag(tag, PT_UNICODE, "CContact::_GetTextPropW"), [&](const _PV& v) {
        if (v.lpszW)
            value->assign(v.lpszW);
    });
}

HRESULT CContact::_PutTextPropW(ULONG tag, const std::wstring& value)
{
    return _WriteWith(CheckedTag(tag, PT_UNICODE, "CContact::_PutTextPropW"),
                      [&](_PV& v) { v.lpszW = const_cast<wchar_t*>(value.c_str()); });
}

HRESULT CContact::_GetTextArrayPropW(ULONG tag, std::vector<std::wstring>* values)
{
    values->clear();
    return _ReadWith(CheckedTag(tag, PT_MV_UNICODE, "CContact::_GetTextArrayPropW"), [&](const _PV& v) {
        for (ULONG i = 0; i < v.MVszW.cValues && v.MVszW.lppszW; ++i) {
            const wchar_t* s = v.MVszW.lppszW[i];
            values->push_back(s ? std::wstring(s) : std::wstring());
        }
    });
}

HRESULT CContact::_PutTextArrayPropW(ULONG tag, const std::vector<std::wstring>& values)
{
    std::vector<wchar_t*> pointers;
    pointers.reserve(values.size());
    for (const std::wstring& s : values)
        pointers.push_back(const_cast<wchar_t*>(s.c_str()));
    return _WriteWith(CheckedTag(tag, PT_MV_UNICODE, "CContact::_PutTextArrayPropW"), [&](_PV& v) {
        v.MVszW.cValues = static_cast<ULONG>(pointers.size());
        v.MVszW.lppszW = pointers.empty() ? nullptr : pointers.data();
    });
}

HRESULT CContact::_GetBinaryArrayProp(ULONG tag, std::vector<std::string>* values)
{
    values->clear();
    return _ReadWith(CheckedTag(tag, PT_MV_BINARY, "CContact::_GetBinaryArrayProp"), [&](const _PV& v) {
        for (ULONG i = 0; i < v.MVbin.cValues && v.MVbin.lpbin; ++i) {
            const SBinary& b = v.MVbin.lpbin[i];
            values->push_back(b.lpb ? std::string(reinterpret_cast<const char*>(b.lpb), b.cb) : std::string());
        }
    });
}

HRESULT CContact::_PutBinaryArrayProp(ULONG tag, const std::vector<std::string>& values)
{
    std::vector<SBinary> blobs;
    blobs.reserve(values.size());
    for (const std::string& b : values)
        blobs.push_back({static_cast<ULONG>(b.size()), reinterpret_cast<BYTE*>(const_cast<char*>(b.data()))});
    return _WriteWith(CheckedTag(tag, PT_MV_BINARY, "CContact::_PutBinaryArrayProp"), [&](_PV& v) {
        v.MVbin.cValues = static_cast<ULONG>(blobs.size());
        v.MVbin.lpbin = blobs.empty() ? nullptr : blobs.data();
    });
}

HRESULT CContact::_GetDateProp(ULONG tag, FILETIME* value)
{
    *value = FILETIME();
    return _ReadWith(CheckedTag(tag, PT_SYSTIME, "CContact::_GetDateProp"), [&](const _PV& v) { *value = v.ft; });
}

HRESULT CContact::_PutDateProp(ULONG tag, const FILETIME& value)
{
    return _WriteWith(CheckedTag(tag, PT_SYSTIME, "CContact::_PutDateProp"), [&](_PV& v) { v.ft = value; });
}

HRESULT CContact::GetGender(SHORT* gender)
{
    *gender = 0;
    return _ReadWith(contact_tags::kGender, [&](const _PV& v) { *gender = v.i; });
}

HRESULT CContact::PutGender(SHORT gender)
{
    return _WriteWith(contact_tags::kGender, [&](_PV& v) { v.i = gender; });
}

HRESULT CContact::GetDefaultAddressIndex(LONG* index)
{
    *index = 0;
    return _ReadWith(contact_tags::kContactDefaultAddressIndex, [&](const _PV& v) { *index = v.l; });
}

HRESULT CContact::PutDefaultAddressIndex(LONG index)
{
    return _WriteWith(contact_tags::kContactDefaultAddressIndex, [&](_PV& v) { v.l = index; });
}

HRESULT CContact::GetNamedTag(bool create, ULONG* tag)
{
    const char* ctx = "CContact::GetNamedTag";
    *tag = 0;
    QUILLON_ASSERT(m_entry, ctx);
    if (!m_entry)
        return -1;
    GUID set;
    HRESULT hr = ::CLSIDFromString(kConferencingServersSet, &set);
    if (FAILED(hr)) {
        g_log.LogErr(ctx, hr, "CLSIDFromString");
        return hr;
    }
    MAPINAMEID name = {};
    name.lpguid = &set;
    name.ulKind = MNID_ID;
    name.Kind.lID = kConferencingServersId;
    MAPINAMEID* names[1] = {&name};
    SPropTagArray* tags = nullptr;
    hr = m_entry->GetIDsFromNames(1, names, create ? MAPI_CREATE : 0, &tags);
    common::CScopeExit freeTags([&] {
        if (tags)
            (void)m_wab.FreeBuffer(tags);  // a failed free leaves nothing to do
    });
    if (FAILED(hr))
        return hr;
    // A name the address book does not know comes back as an error tag.
    if (!tags || tags->cValues < 1 || PROP_TYPE(tags->aulPropTag[0]) == PT_ERROR || PROP_ID(tags->aulPropTag[0]) == 0)
        return MAPI_E_NOT_FOUND;
    *tag = PROP_TAG(PT_MV_UNICODE, PROP_ID(tags->aulPropTag[0]));
    return S_OK;
}

HRESULT CContact::GetConferencingServers(std::vector<std::wstring>* servers)
{
    servers->clear();
    ULONG tag = 0;
    HRESULT hr = GetNamedTag(false, &tag);
    if (FAILED(hr))
        return hr;
    return _GetTextArrayPropW(tag, servers);
}
