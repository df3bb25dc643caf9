// The run's side of the address book: which contact of the target folder a card matches, whether
// it differs, the card written as a new contact, and "Replace existing contacts".
#include "vcard/import/vCardImport.h"

#include <wrl/client.h>

#include <algorithm>
#include <new>

#include "base/Log.h"
#include "common/entryid.h"
#include "common/text.h"
#include "contact/Contact.h"
#include "contact/ContactFields.h"
#include "wab/WABLib.h"

// In "Replace existing contacts" the card is added and saved before the old contact is deleted:
// a card that cannot be stored must never cost the user the contact it was to replace.
HRESULT CvCardImport::putContactItem()
{
    const char* ctx = "CvCardImport::putContactItem";
    std::string match;
    bool differs = m_conflictMode == kLeaveOld;
    HRESULT found = FindEqualContact(&match, &differs);
    if (found != 0 && found != 1) {
        g_log.LogErr(ctx, found, "FindEqualContact");
        return -1;
    }
    if (found == 0 && (!differs || m_conflictMode == kLeaveOld)) {
        _JoinGroups(match);
        return 0;
    }
    HRESULT stored = AddContact();
    if (FAILED(stored)) {
        g_log.LogErr(ctx, stored, "AddContact");
        return stored;
    }
    if (found == 0 && m_conflictMode == kReplace)
        _ReplaceContact(match, stored);
    _JoinGroups(m_lastAdded);
    return stored;
}

bool CvCardImport::_LoadGroups()
{
    if (m_groupsRead == S_FALSE) {
        m_groupsRead = g_wabLib.GetGroups(m_targetFolder.c_str(), &m_groups);
        if (FAILED(m_groupsRead))
            g_log.LogWar("CvCardImport::putContactItem", m_groupsRead,
                         "the groups of the folder could not be read: a contact replaced in this run leaves the "
                         "groups that held it, and no contact joins the groups its card names");
    }
    return SUCCEEDED(m_groupsRead);
}

namespace {

// Labels some programs give every contact they hold (Google's "in my contacts"): they name no
// group of the user's, and would put the whole book into one.
bool IsEveryContactsLabel(const std::wstring& name)
{
    return name == L"myContacts" || name == L"* myContacts";
}

}  // namespace

void CvCardImport::_JoinGroups(const std::string& id)
{
    const std::vector<std::wstring>& names = m_source->Record().groups;
    if (!m_joinGroups || names.empty() || id.empty() || !_LoadGroups())
        return;
    for (const std::wstring& name : names) {
        if (IsEveryContactsLabel(name))
            continue;
        const size_t g = _GroupNamed(name);
        if (g == m_groups.size())
            continue;
        auto pending = m_pending.try_emplace(g);
        if (pending.second)
            pending.first->second.known.insert(m_groups[g].members.begin(), m_groups[g].members.end());
        if (pending.first->second.known.insert(id).second) {
            pending.first->second.ids.push_back(id);
            m_pendingIds.insert(id);
        }
    }
    if (m_pendingIds.size() >= kMaxPendingMembers)
        _FlushGroups();
}

size_t CvCardImport::_GroupNamed(const std::wstring& name)
{
    if (m_groupsRefused.count(name))
        return m_groups.size();
    // The group of that name; one that differs only in case when there is none.
    size_t g = m_groups.size();
    for (size_t i = 0; i < m_groups.size() && g == m_groups.size(); ++i) {
        if (m_groups[i].name == name)
            g = i;
    }
    for (size_t i = 0; i < m_groups.size() && g == m_groups.size(); ++i) {
        if (_wcsicmp(m_groups[i].name.c_str(), name.c_str()) == 0)
            g = i;
    }
    if (g < m_groups.size())
        return g;
    CWabGroup group;
    group.name = name;
    HRESULT hr = g_wabLib.CreateGroup(m_targetFolder.c_str(), name, &group.id);
    if (FAILED(hr)) {
        g_log.LogWar("CvCardImport::putContactItem", hr,
                     "group \"%s\" could not be made: its cards' contacts are in no group of that name",
                     common::ToUtf8(name).c_str());
        m_groupsRefused.insert(name);
        return m_groups.size();
    }
    m_groups.push_back(std::move(group));
    return m_groups.size() - 1;
}

HRESULT CvCardImport::putGroupCard()
{
    const CContactRecord& card = m_source->Record();
    if (!m_joinGroups || card.displayName.empty() || !_LoadGroups())
        return S_OK;
    const size_t g = _GroupNamed(card.displayName);
    if (g == m_groups.size())
        return MAPI_W_ERRORS_RETURNED;  // logged
    if (card.oneOffAddresses.empty())
        return S_OK;
    HRESULT hr = g_wabLib.AddGroupOneOffs(m_groups[g].id.c_str(), card.oneOffNames, card.oneOffAddresses);
    if (FAILED(hr)) {
        g_log.LogWar("CvCardImport::putContactItem", hr, "group \"%s\" did not take the addresses its card keeps",
                     common::ToUtf8(card.displayName).c_str());
        return MAPI_W_ERRORS_RETURNED;
    }
    return S_OK;
}

void CvCardImport::_FlushGroups()
{
    for (auto& pending : m_pending) {
        if (pending.second.ids.empty())
            continue;
        CWabGroup& group = m_groups[pending.first];
        std::vector<std::string> members;
        HRESULT hr = g_wabLib.AddGroupMembers(group.id.c_str(), pending.second.ids, &members);
        if (SUCCEEDED(hr))
            group.members.swap(members);
        else
            g_log.LogWar("CvCardImport::putContactItem", hr, "group \"%s\" did not take %zu contacts its cards name",
                         common::ToUtf8(group.name).c_str(), pending.second.ids.size());
        pending.second.ids.clear();
    }
    m_pendingIds.clear();
}

void CvCardImport::_ReplaceContact(const std::string& former, HRESULT stored)
{
    const char* ctx = "CvCardImport::putContactItem";
    const std::string name = common::ToUtf8(m_source->RecordName());
    // What only the older contact holds would go with it: the new one lacks what the address book
    // refused, or what the reader could not take of the card (a value past its bounds).
    if (stored != S_OK) {
        g_log.LogWar(ctx, stored, "\"%s\" was saved without some of its properties: the contact it was to replace is "
                     "kept beside it", name.c_str());
        return;
    }
    if (m_source->RecordCut()) {
        g_log.LogWar(ctx, 0, "\"%s\" was read without some of its values: the contact it was to replace is kept "
                     "beside it", name.c_str());
        return;
    }
    // The new contact takes the older one's place in the folder's groups before the older one
    // goes: a run stopped between the two leaves both contacts, and the groups whole.
    std::vector<std::pair<size_t, size_t>> places;
    _GroupsHolding(former, &places);
    std::vector<std::pair<size_t, size_t>> moved;
    for (const auto& place : places) {
        HRESULT hr = _MoveGroupMember(place, former, m_lastAdded);
        if (SUCCEEDED(hr))
            moved.push_back(place);
        else
            g_log.LogWar(ctx, hr, "group %s loses the contact that \"%s\" replaces and does not take the new one",
                         m_groups[place.first].id.c_str(), name.c_str());
    }
    HRESULT hr = g_wabLib.DeleteItem(former.c_str());
    if (hr != S_OK) {
        g_log.LogWar(ctx, hr, "DeleteItem");
        // Done in part: whether the contact went, only opening it tells.
        ULONG type = 0;
        Microsoft::WRL::ComPtr<IMAPIProp> item;
        if (FAILED(hr) || g_wabLib.OpenItem(former.c_str(), &type, item.GetAddressOf()) != MAPI_E_NOT_FOUND) {
            // The older contact stays, and so do its places in the groups.
            for (const auto& place : moved) {
                HRESULT back = _MoveGroupMember(place, m_lastAdded, former);
                if (FAILED(back))
                    g_log.LogWar(ctx, back, "group %s holds the new \"%s\" instead of the older contact beside it",
                                 m_groups[place.first].id.c_str(), name.c_str());
            }
            return;
        }
    }
    m_index.Remove(former);
}

HRESULT CvCardImport::_MoveGroupMember(const std::pair<size_t, size_t>& place, const std::string& from,
                                       const std::string& to)
{
    if (to.empty())
        return E_UNEXPECTED;  // the new contact's identifier could not be read (logged)
    CWabGroup& group = m_groups[place.first];
    std::vector<std::string> members;
    HRESULT hr = g_wabLib.ReplaceGroupMember(group.id.c_str(), from.c_str(), to.c_str(), place.second, &members);
    if (SUCCEEDED(hr))
        group.members.swap(members);
    return hr;
}

void CvCardImport::_GroupsHolding(const std::string& id, std::vector<std::pair<size_t, size_t>>* places)
{
    places->clear();
    if (!_LoadGroups())
        return;
    // A contact that is to join groups is in them before it can be replaced there.
    if (m_pendingIds.count(id))
        _FlushGroups();
    for (size_t g = 0; g < m_groups.size(); ++g) {
        const std::vector<std::string>& members = m_groups[g].members;
        auto at = std::find(members.begin(), members.end(), id);
        if (at != members.end())
            places->emplace_back(g, static_cast<size_t>(at - members.begin()));
    }
}

namespace {

// Owns one SRestriction tree's values for the search of equal contacts.
struct CEqualRestriction {
    SPropValue values[7];
    SRestriction exists[6];
    SRestriction notExists[6];
    SRestriction emptyText[6];
    SRestriction either[6][2];
    SRestriction terms[7];
    SRestriction all;
    wchar_t empty[1] = {0};

    void Build(const std::wstring* const texts[6], const ULONG* tags)
    {
        values[0] = {};
        values[0].ulPropTag = PR_OBJECT_TYPE;
        values[0].Value.l = MAPI_MAILUSER;
        terms[0] = {};
        terms[0].rt = RES_PROPERTY;
        terms[0].res.resProperty.relop = RELOP_EQ;
        terms[0].res.resProperty.ulPropTag = PR_OBJECT_TYPE;
        terms[0].res.resProperty.lpProp = &values[0];
        for (int i = 0; i < 6; ++i) {
            SPropValue& v = values[i + 1];
            v = {};
            v.ulPropTag = tags[i];
            v.Value.lpszW = texts[i]->empty() ? empty : const_cast<wchar_t*>(texts[i]->c_str());
            SRestriction equal = {};
            equal.rt = RES_PROPERTY;
            equal.res.resProperty.relop = RELOP_EQ;
            equal.res.resProperty.ulPropTag = tags[i];
            equal.res.resProperty.lpProp = &v;
            if (!texts[i]->empty()) {
                terms[i + 1] = equal;
                continue;
            }
            exists[i] = {};
            exists[i].rt = RES_EXIST;
            exists[i].res.resExist.ulPropTag = tags[i];
            notExists[i] = {};
            notExists[i].rt = RES_NOT;
            notExists[i].res.resNot.lpRes = &exists[i];
            emptyText[i] = equal;
            either[i][0] = notExists[i];
            either[i][1] = emptyText[i];
            terms[i + 1] = {};
            terms[i + 1].rt = RES_OR;
            terms[i + 1].res.resOr.cRes = 2;
            terms[i + 1].res.resOr.lpRes = either[i];
        }
        all = {};
        all.rt = RES_AND;
        all.res.resAnd.cRes = 7;
        all.res.resAnd.lpRes = terms;
    }
};

}  // namespace

HRESULT CvCardImport::_QueryEqualContacts(const std::wstring* const texts[6], std::vector<std::string>* ids)
{
    namespace t = contact_tags;
    ids->clear();
    CEqualRestriction restriction;
    restriction.Build(texts, CEqualContactIndex::kTags);

    SizedSPropTagArray(3, columns) = {3, {PR_ENTRYID, PR_OBJECT_TYPE, t::kDisplayName}};
    CItemList rows;
    HRESULT hr = g_wabLib.GetItemsEx(m_targetFolder.c_str(), MAPI_UNICODE,
                                     reinterpret_cast<const SPropTagArray*>(&columns), &restriction.all,
                                     nullptr, rows.put());
    if (FAILED(hr))
        return hr;
    for (ULONG i = 0; rows && i < rows->count; ++i)
        ids->push_back(rows->items[i].id ? rows->items[i].id : "");
    return S_OK;
}

HRESULT CvCardImport::IndexTargetFolder()
{
    // A failure has logged its line where it happened; the searches then go to the address book
    // one by one, as slow as before but with the same answers.
    return m_index.Load(m_targetFolder.c_str());
}

HRESULT CvCardImport::EqualCandidates(bool fromIndex, std::vector<std::string>* ids)
{
    const CContactRecord& c = m_source->Record();
    const std::wstring* texts[6] = {&c.displayName, &c.givenName, &c.middleName,
                                    &c.surname, &c.namePrefix, &c.company};
    if (fromIndex && m_index.Find(texts, ids))
        return S_OK;
    return _QueryEqualContacts(texts, ids);
}

HRESULT CvCardImport::FindEqualContact(std::string* entryId, bool* differs)
{
    entryId->clear();
    std::vector<std::string> rows;
    HRESULT hr = E_OUTOFMEMORY;
    try {
        hr = EqualCandidates(true, &rows);
    } catch (const std::bad_alloc&) {
        g_log.LogErr("CvCardImport::FindEqualContact", hr, "candidates");
    }
    if (FAILED(hr))
        return hr;
    if (rows.empty())
        return 1;
    // The contact a card that differs from it meets: the first that was in the folder before the
    // run. Two cards of one run never displace each other (two people of one name), and a card
    // without names and company says nothing about who it is: it would take any other nameless
    // contact for itself.
    const CContactRecord& c = m_source->Record();
    const bool nameless = c.displayName.empty() && c.givenName.empty() && c.middleName.empty() &&
                          c.surname.empty() && c.namePrefix.empty() && c.company.empty();
    const std::string* earlier = nullptr;
    for (size_t i = 0; !nameless && !earlier && i < rows.size(); ++i) {
        if (m_added.count(rows[i]) == 0)
            earlier = &rows[i];
    }
    if (*differs && earlier) {
        entryId->assign(*earlier);
        return 0;
    }
    for (const std::string& id : rows) {
        ULONG type = 0;
        Microsoft::WRL::ComPtr<IMAPIProp> item;
        hr = g_wabLib.OpenItem(id.c_str(), &type, item.GetAddressOf());
        if (FAILED(hr))
            return hr;
        if (IsContactEqual(item.Get())) {
            entryId->assign(id);
            *differs = false;
            return 0;
        }
    }
    if (!earlier)
        return 1;
    entryId->assign(*earlier);
    *differs = true;
    return 0;
}

bool CvCardImport::IsContactEqual(IMAPIProp* item)
{
    CContact contact(item);
    return contact_fields::ContactEquals(contact, m_source->Record());
}

HRESULT CvCardImport::AddContact()
{
    // The new entry goes straight into the ComPtr: mingw-w64's ComPtr::Attach adds a reference of
    // its own, so attaching a pointer we already own would keep the entry (and with it the whole
    // address book) alive after the session closes.
    Microsoft::WRL::ComPtr<IMAPIProp> entry;
    HRESULT hr = g_wabLib.CreateItem(m_targetFolder.c_str(), entry.GetAddressOf());
    if (FAILED(hr))
        return hr;
    if (!entry) {
        g_log.LogErr("CvCardImport::AddContact", E_POINTER, "CreateItem gave no entry");
        return E_POINTER;
    }
    CContact contact(entry.Get());
    const CContactRecord& c = m_source->Record();

    // Each write logs its own failure and does not stop the others; a property the address book
    // refused is named with the contact here, and the saved contact then counts as incomplete.
    int refused = 0;
    auto check = [&](HRESULT put, const char* property) {
        if (SUCCEEDED(put))
            return;
        ++refused;
        g_log.LogWar("CvCardImport::AddContact", put, "%s not saved for contact \"%s\"", property,
                     common::ToUtf8(m_source->RecordName()).c_str());
    };
    contact_fields::WriteContact(contact, c, check);

    hr = entry->SaveChanges(0);
    if (FAILED(hr)) {
        g_log.LogErr("CWABLib::SaveItem", hr, "SaveChanges");
        return hr;
    }
    _NoteSavedContact(entry.Get());
    return refused > 0 ? MAPI_W_ERRORS_RETURNED : S_OK;
}

void CvCardImport::_NoteSavedContact(IMAPIProp* entry)
{
    // Read back rather than taken from the card: the names the search will compare are those
    // the address book kept. Without the index, only the identifier is needed.
    m_lastAdded.clear();
    ULONG tags[1 + CEqualContactIndex::kNameFields] = {PR_ENTRYID};
    std::copy(CEqualContactIndex::kTags, CEqualContactIndex::kTags + CEqualContactIndex::kNameFields, tags + 1);
    const ULONG count = m_index.IsLoaded() ? 1 + CEqualContactIndex::kNameFields : 1;
    SPropValue* values = nullptr;
    HRESULT hr = g_wabLib.GetItemPropsList(entry, tags, count, &values);
    CWabBuffer<SPropValue> owned(values);
    if (SUCCEEDED(hr) && (values[0].ulPropTag != PR_ENTRYID || values[0].Value.bin.cb == 0))
        hr = MAPI_E_NOT_FOUND;
    if (FAILED(hr)) {
        // Without the new contact the index would miss a duplicate: the rest of the run asks the
        // address book instead. Not knowing it for the run's own, a later card of the same
        // names may take it for an older contact.
        g_log.LogWar("CvCardImport::AddContact", hr,
                     "saved contact \"%s\" not read back: a later card of its names may take it for an older "
                     "contact; equal contacts are searched by query",
                     common::ToUtf8(m_source->RecordName()).c_str());
        m_index.Clear();
        return;
    }
    try {
        m_lastAdded = common::EntryIdToText(values[0].Value.bin.lpb, values[0].Value.bin.cb);
        m_added.insert(m_lastAdded);
        if (m_index.IsLoaded()) {
            const wchar_t* present[CEqualContactIndex::kNameFields] = {};
            for (int i = 0; i < CEqualContactIndex::kNameFields; ++i) {
                const SPropValue& v = values[1 + i];
                if (v.ulPropTag == CEqualContactIndex::kTags[i])
                    present[i] = v.Value.lpszW;
            }
            m_index.Add(m_lastAdded, present);
        }
    } catch (const std::bad_alloc&) {
        g_log.LogWar("CvCardImport::AddContact", E_OUTOFMEMORY,
                     "saved contact \"%s\" not noted: a later card of its names may take it for an older "
                     "contact; equal contacts are searched by query",
                     common::ToUtf8(m_source->RecordName()).c_str());
        m_index.Clear();
    }
}
