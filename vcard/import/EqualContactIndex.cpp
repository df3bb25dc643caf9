#include "vcard/import/EqualContactIndex.h"

#include <algorithm>
#include <memory>
#include <new>
#include <unordered_set>

#include "base/Log.h"
#include "common/entryid.h"
#include "contact/Contact.h"
#include "wab/WABLib.h"

namespace t = contact_tags;

const ULONG CEqualContactIndex::kTags[kNameFields] = {t::kDisplayName, t::kGivenName, t::kMiddleName,
                                                      t::kSurname, t::kDisplayNamePrefix, t::kCompanyName};

namespace {

std::string RowEntryId(const SRow& row)
{
    for (ULONG c = 0; c < row.cValues && row.lpProps; ++c) {
        const SPropValue& v = row.lpProps[c];
        if (v.ulPropTag == PR_ENTRYID && v.Value.bin.cb > 0 && v.Value.bin.lpb)
            return common::EntryIdToText(v.Value.bin.lpb, v.Value.bin.cb);
    }
    return std::string();
}

}  // namespace

CEqualContactIndex::CEqualContactIndex() : m_maps(new CMaps(&m_pool)) {}

CEqualContactIndex::~CEqualContactIndex()
{
    m_maps.reset();
}

void CEqualContactIndex::Clear()
{
    m_loaded = false;
    // The maps go first: what they hold lives in the pool.
    m_maps.reset();
    m_pool.release();
    m_maps.reset(new CMaps(&m_pool));
}

void CEqualContactIndex::_MakeKey(const std::wstring_view texts[kNameFields]) const
{
    // Each text behind its length, so that no text can run into the next; missing and empty
    // are one key, as the restriction's "missing or equal to the empty text" makes them.
    std::pmr::wstring& key = m_maps->key;
    key.clear();
    for (int i = 0; i < kNameFields; ++i) {
        size_t n = texts[i].size();
        key.push_back(static_cast<wchar_t>(n & 0xFFFF));
        key.push_back(static_cast<wchar_t>((n >> 16) & 0xFFFF));
        key.append(texts[i]);
    }
}

HRESULT CEqualContactIndex::Load(const char* folderId)
{
    const char* ctx = "CEqualContactIndex::Load";
    Clear();
    CContactsOnly onlyContacts;
    const SRestriction& contacts = onlyContacts.restriction;

    // Contacts holding one of the texts in another type: the restriction finds such a property
    // present but never equal, while a text column would only say "missing". Every text is at
    // least the empty text, so "present and not >= empty text" finds exactly them.
    wchar_t empty[1] = {0};
    SPropValue emptyValues[kNameFields];
    SRestriction exists[kNameFields], notText[kNameFields], textAtLeast[kNameFields];
    SRestriction both[kNameFields][2], eitherField[kNameFields], anyOther = {}, otherTyped[2], otherQuery = {};
    for (int i = 0; i < kNameFields; ++i) {
        emptyValues[i] = {};
        emptyValues[i].ulPropTag = kTags[i];
        emptyValues[i].Value.lpszW = empty;
        exists[i] = {};
        exists[i].rt = RES_EXIST;
        exists[i].res.resExist.ulPropTag = kTags[i];
        textAtLeast[i] = {};
        textAtLeast[i].rt = RES_PROPERTY;
        textAtLeast[i].res.resProperty.relop = RELOP_GE;
        textAtLeast[i].res.resProperty.ulPropTag = kTags[i];
        textAtLeast[i].res.resProperty.lpProp = &emptyValues[i];
        notText[i] = {};
        notText[i].rt = RES_NOT;
        notText[i].res.resNot.lpRes = &textAtLeast[i];
        both[i][0] = exists[i];
        both[i][1] = notText[i];
        eitherField[i] = {};
        eitherField[i].rt = RES_AND;
        eitherField[i].res.resAnd.cRes = 2;
        eitherField[i].res.resAnd.lpRes = both[i];
    }
    anyOther.rt = RES_OR;
    anyOther.res.resOr.cRes = kNameFields;
    anyOther.res.resOr.lpRes = eitherField;
    otherTyped[0] = contacts;
    otherTyped[1] = anyOther;
    otherQuery.rt = RES_AND;
    otherQuery.res.resAnd.cRes = 2;
    otherQuery.res.resAnd.lpRes = otherTyped;

    SizedSPropTagArray(1, idColumn) = {1, {PR_ENTRYID}};
    CRowSet others;
    HRESULT hr = g_wabLib.GetItemRows(folderId, MAPI_UNICODE, reinterpret_cast<const SPropTagArray*>(&idColumn),
                                      &otherQuery, others.put());
    if (FAILED(hr))
        return hr;  // GetItemRows logged it
    std::unordered_set<std::string> matchNothing;
    for (ULONG r = 0; others && r < others->cRows; ++r)
        matchNothing.insert(RowEntryId(others->aRow[r]));
    others.reset();

    SizedSPropTagArray(2 + kNameFields, columns) = {
        2 + kNameFields, {PR_ENTRYID, PR_OBJECT_TYPE, kTags[0], kTags[1], kTags[2], kTags[3], kTags[4], kTags[5]}};
    CRowSet rows;
    hr = g_wabLib.GetItemRows(folderId, MAPI_UNICODE, reinterpret_cast<const SPropTagArray*>(&columns), &contacts,
                              rows.put());
    if (FAILED(hr))
        return hr;
    try {
        if (rows) {
            m_maps->keyOf.reserve(rows->cRows);
            m_maps->byNames.reserve(rows->cRows);
        }
        for (ULONG r = 0; rows && r < rows->cRows; ++r) {
            const SRow& row = rows->aRow[r];
            std::string id = RowEntryId(row);
            if (id.empty() || matchNothing.count(id))
                continue;  // the query could never list it
            const wchar_t* values[kNameFields] = {};
            for (ULONG c = 0; c < row.cValues && row.lpProps; ++c) {
                const SPropValue& v = row.lpProps[c];
                for (int i = 0; i < kNameFields; ++i) {
                    if (v.ulPropTag == kTags[i])
                        values[i] = v.Value.lpszW;
                }
            }
            Add(id, values);
        }
    } catch (const std::bad_alloc&) {
        Clear();
        g_log.LogErr(ctx, E_OUTOFMEMORY, "index of %lu contacts", rows ? rows->cRows : 0UL);
        return E_OUTOFMEMORY;
    }
    m_loaded = true;
    return S_OK;
}

bool CEqualContactIndex::Find(const std::wstring* const texts[kNameFields], std::vector<std::string>* ids) const
{
    ids->clear();
    if (!m_loaded)
        return false;
    std::wstring_view views[kNameFields];
    for (int i = 0; i < kNameFields; ++i) {
        if (texts[i]->find(L'\0') != std::wstring::npos)
            return false;
        views[i] = *texts[i];
    }
    _MakeKey(views);
    auto found = m_maps->byNames.find(m_maps->key);
    if (found != m_maps->byNames.end()) {
        for (const std::pmr::string& id : found->second)
            ids->emplace_back(id.data(), id.size());
    }
    return true;
}

void CEqualContactIndex::Add(const std::string& id, const wchar_t* const values[kNameFields])
{
    std::wstring_view views[kNameFields];
    for (int i = 0; i < kNameFields; ++i) {
        if (values[i])
            views[i] = values[i];
    }
    _MakeKey(views);
    auto& ids = m_maps->byNames[m_maps->key];
    ids.emplace_back(id.data(), id.size());
    m_maps->keyOf.emplace(ids.back(), m_maps->key).first->second = m_maps->key;
}

void CEqualContactIndex::Remove(const std::string& id)
{
    const std::pmr::string wanted(id.data(), id.size(), &m_pool);
    auto at = m_maps->keyOf.find(wanted);
    if (at == m_maps->keyOf.end())
        return;
    auto bucket = m_maps->byNames.find(at->second);
    if (bucket != m_maps->byNames.end()) {
        auto& list = bucket->second;
        list.erase(std::remove(list.begin(), list.end(), wanted), list.end());
        if (list.empty())
            m_maps->byNames.erase(bucket);
    }
    m_maps->keyOf.erase(at);
}
