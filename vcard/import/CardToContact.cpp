// From card to contact: which contact of the target folder a card matches, whether it differs,
// and the card written as a new contact.
#include "vcard/import/vCardImport.h"

#include <wrl/client.h>

#include <algorithm>
#include <new>

#include "base/Log.h"
#include "common/text.h"
#include "contact/Contact.h"
#include "wab/EntryId.h"
#include "wab/WABLib.h"

namespace {

FILETIME ToFileTime(uint64_t value)
{
    FILETIME ft;
    ft.dwLowDateTime = static_cast<DWORD>(value);
    ft.dwHighDateTime = static_cast<DWORD>(value >> 32);
    return ft;
}

}  // namespace

// In "Replace existing contacts" the card is added and saved before the old contact is deleted:
// a card that cannot be stored must never cost the user the contact it was to replace.
HRESULT CvCardImport::putContactItem()
{
    const char* ctx = "CvCardImport::putContactItem";
    std::string match;
    // A card without names and company says nothing about who it is: matching it by its (empty)
    // names would take any other nameless contact for it, to be replaced or to keep it out. It
    // is added, unless (in "Duplicate contacts") an identical contact exists.
    const CImportCard& c = m_card;
    bool nameless = c.displayName.empty() && c.givenName.empty() && c.middleName.empty() &&
                    c.familyName.empty() && c.namePrefix.empty() && c.company.empty();
    bool differs = m_conflictMode == kLeaveOld;
    HRESULT found = 1;
    if (!nameless || m_conflictMode == kDuplicate)
        found = FindEqualContact(&match, &differs);
    bool add = false;
    bool replace = false;
    if (found == 1) {
        add = true;
    } else if (found == 0) {
        if (!differs || m_conflictMode == kLeaveOld)
            return 0;
        add = true;
        replace = m_conflictMode == kReplace;
    } else {
        g_log.LogErr(ctx, found, "FindEqualContact");
        return -1;
    }
    HRESULT stored = S_OK;
    if (add) {
        stored = AddContact();
        if (FAILED(stored)) {
            g_log.LogErr(ctx, stored, "AddContact");
            return stored;
        }
    }
    if (replace) {
        HRESULT hr = g_wabLib.DeleteItem(match.c_str());
        if (FAILED(hr))
            g_log.LogWar(ctx, hr, "DeleteItem");
        else
            m_index.Remove(match);
    }
    return stored;
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

HRESULT CvCardImport::_QueryEqualContacts(std::vector<std::string>* ids)
{
    namespace t = contact_tags;
    ids->clear();
    const std::wstring* texts[6] = {&m_card.displayName, &m_card.givenName, &m_card.middleName,
                                    &m_card.familyName, &m_card.namePrefix, &m_card.company};
    CEqualRestriction restriction;
    restriction.Build(texts, CEqualContactIndex::kTags);

    SizedSPropTagArray(3, columns) = {3, {PR_ENTRYID, PR_OBJECT_TYPE, t::kDisplayName}};
    WABItemList* raw = nullptr;
    HRESULT hr = g_wabLib.GetItemsEx(m_targetFolder.c_str(), MAPI_UNICODE,
                                     reinterpret_cast<const SPropTagArray*>(&columns), &restriction.all,
                                     nullptr, &raw);
    CItemList rows(raw);
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
    const std::wstring* texts[6] = {&m_card.displayName, &m_card.givenName, &m_card.middleName,
                                    &m_card.familyName, &m_card.namePrefix, &m_card.company};
    if (fromIndex && m_index.Find(texts, ids))
        return S_OK;
    return _QueryEqualContacts(ids);
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
    const std::string& first = rows[0];
    if (*differs) {
        entryId->assign(first);
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
    entryId->assign(first);
    *differs = true;
    return 0;
}

bool CvCardImport::IsContactEqual(IMAPIProp* item)
{
    namespace t = contact_tags;
    CContact contact(item);
    const CImportCard& c = m_card;
    auto text = [&contact](ULONG tag, const std::wstring& value) {
        if (value.empty())
            return true;
        std::wstring stored;
        (void)contact._GetTextPropW(tag, &stored);
        return stored == value;
    };
    auto date = [&contact](ULONG tag, uint64_t value) {
        if (value == 0)
            return true;
        FILETIME stored = {0, 0};
        (void)contact._GetDateProp(tag, &stored);
        FILETIME wanted = ToFileTime(value);
        return stored.dwLowDateTime == wanted.dwLowDateTime && stored.dwHighDateTime == wanted.dwHighDateTime;
    };

    if (!text(t::kNickname, c.nickname) || !text(t::kDepartmentName, c.department) ||
        !text(t::kTitle, c.jobTitle) || !text(t::kComment, c.note) || !date(t::kBirthday, c.birthday) ||
        !text(t::kOfficeLocation, c.business[CImportCard::kExtended]) ||
        !text(t::kBusinessAddressStreet, c.business[CImportCard::kStreet]) ||
        !text(t::kBusinessAddressCity, c.business[CImportCard::kLocality]) ||
        !text(t::kBusinessAddressStateOrProvince, c.business[CImportCard::kRegion]) ||
        !text(t::kBusinessAddressPostalCode, c.business[CImportCard::kPostalCode]) ||
        !text(t::kBusinessAddressCountry, c.business[CImportCard::kCountry]) ||
        !text(t::kHomeAddressStreet, c.home[CImportCard::kStreet]) ||
        !text(t::kHomeAddressCity, c.home[CImportCard::kLocality]) ||
        !text(t::kHomeAddressStateOrProvince, c.home[CImportCard::kRegion]) ||
        !text(t::kHomeAddressPostalCode, c.home[CImportCard::kPostalCode]) ||
        !text(t::kHomeAddressCountry, c.home[CImportCard::kCountry]) ||
        !text(t::kBusinessTelephoneNumber, c.businessPhone) || !text(t::kBusinessFaxNumber, c.businessFax) ||
        !text(t::kHomeTelephoneNumber, c.homePhone) || !text(t::kHomeFaxNumber, c.homeFax) ||
        !text(t::kMobileTelephoneNumber, c.mobilePhone) || !text(t::kPagerTelephoneNumber, c.pager))
        return false;
    if (!c.emails.empty() && !_EmailsEqual(contact))
        return false;
    if (!text(t::kBusinessHomePage, c.businessWebPage) || !text(t::kPersonalHomePage, c.personalWebPage) ||
        !text(t::kSpouseName, c.spouse) || !date(t::kWeddingAnniversary, c.anniversary))
        return false;
    if (!c.conferencingServers.empty()) {
        std::vector<std::wstring> servers;
        (void)contact.GetConferencingServers(&servers);
        if (servers != c.conferencingServers)
            return false;
    }
    if (c.gender != 0) {
        SHORT gender = 0;
        (void)contact.GetGender(&gender);
        if (static_cast<USHORT>(gender) != c.gender)
            return false;
    }
    if (!c.children.empty()) {
        std::vector<std::wstring> children;
        (void)contact._GetTextArrayPropW(t::kChildrensNames, &children);
        if (children.size() != c.children.size())
            return false;
        for (size_t i = 0; i < children.size(); ++i) {
            if (vcard::TrimBlanks(children[i]) != c.children[i])
                return false;
        }
    }
    return true;
}

// The card lists the default address first; the contact keeps it at its default index and the
// others around it in order.
bool CvCardImport::_EmailsEqual(CContact& contact)
{
    namespace t = contact_tags;
    const CImportCard& c = m_card;
    std::vector<std::wstring> addresses;
    (void)contact._GetTextArrayPropW(t::kContactEmailAddresses, &addresses);
    if (addresses.size() != c.emails.size())
        return false;
    size_t count = addresses.size();
    std::vector<std::wstring> types;
    (void)contact._GetTextArrayPropW(t::kContactAddrTypes, &types);
    types.resize(count);
    LONG index = 0;
    (void)contact.GetDefaultAddressIndex(&index);
    size_t def = index < 0 || static_cast<size_t>(index) >= count ? 0 : static_cast<size_t>(index);
    for (size_t i = 0; i < count; ++i) {
        size_t j = i == 0 ? def : (i <= def ? i - 1 : i);
        if (addresses[j] != c.emails[i])
            return false;
        if (i < c.emailTypes.size() && !c.emailTypes[i].empty() && types[j] != c.emailTypes[i])
            return false;
    }
    return true;
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
    const CImportCard& c = m_card;
    namespace t = contact_tags;

    // Each write logs its own failure and does not stop the others; a property the address book
    // refused is named with the contact here, and the saved contact then counts as incomplete.
    int refused = 0;
    auto check = [&](HRESULT put, const char* property) {
        if (SUCCEEDED(put))
            return;
        ++refused;
        g_log.LogWar("CvCardImport::AddContact", put, "%s not saved for contact \"%s\"", property,
                     common::ToUtf8(CardName()).c_str());
    };
    auto text = [&](ULONG tag, const std::wstring& value, const char* property) {
        if (!value.empty())
            check(contact._PutTextPropW(tag, value), property);
    };
    auto date = [&](ULONG tag, uint64_t value, const char* property) {
        if (value != 0)
            check(contact._PutDateProp(tag, ToFileTime(value)), property);
    };

    text(t::kGivenName, c.givenName, "PR_GIVEN_NAME");
    text(t::kMiddleName, c.middleName, "PR_MIDDLE_NAME");
    text(t::kSurname, c.familyName, "PR_SURNAME");
    text(t::kDisplayNamePrefix, c.namePrefix, "PR_DISPLAY_NAME_PREFIX");
    text(t::kDisplayName, c.displayName, "PR_DISPLAY_NAME");
    text(t::kNickname, c.nickname, "PR_NICKNAME");
    text(t::kCompanyName, c.company, "PR_COMPANY_NAME");
    text(t::kDepartmentName, c.department, "PR_DEPARTMENT_NAME");
    text(t::kTitle, c.jobTitle, "PR_TITLE");
    text(t::kComment, c.note, "PR_COMMENT");
    date(t::kBirthday, c.birthday, "PR_BIRTHDAY");
    text(t::kOfficeLocation, c.business[CImportCard::kExtended], "PR_OFFICE_LOCATION");
    text(t::kBusinessAddressStreet, c.business[CImportCard::kStreet], "PR_BUSINESS_ADDRESS_STREET");
    text(t::kBusinessAddressCity, c.business[CImportCard::kLocality], "PR_BUSINESS_ADDRESS_CITY");
    text(t::kBusinessAddressStateOrProvince, c.business[CImportCard::kRegion],
         "PR_BUSINESS_ADDRESS_STATE_OR_PROVINCE");
    text(t::kBusinessAddressPostalCode, c.business[CImportCard::kPostalCode], "PR_BUSINESS_ADDRESS_POSTAL_CODE");
    text(t::kBusinessAddressCountry, c.business[CImportCard::kCountry], "PR_BUSINESS_ADDRESS_COUNTRY");
    text(t::kHomeAddressStreet, c.home[CImportCard::kStreet], "PR_HOME_ADDRESS_STREET");
    text(t::kHomeAddressCity, c.home[CImportCard::kLocality], "PR_HOME_ADDRESS_CITY");
    text(t::kHomeAddressStateOrProvince, c.home[CImportCard::kRegion], "PR_HOME_ADDRESS_STATE_OR_PROVINCE");
    text(t::kHomeAddressPostalCode, c.home[CImportCard::kPostalCode], "PR_HOME_ADDRESS_POSTAL_CODE");
    text(t::kHomeAddressCountry, c.home[CImportCard::kCountry], "PR_HOME_ADDRESS_COUNTRY");
    text(t::kBusinessTelephoneNumber, c.businessPhone, "PR_BUSINESS_TELEPHONE_NUMBER");
    text(t::kBusinessFaxNumber, c.businessFax, "PR_BUSINESS_FAX_NUMBER");
    text(t::kHomeTelephoneNumber, c.homePhone, "PR_HOME_TELEPHONE_NUMBER");
    text(t::kHomeFaxNumber, c.homeFax, "PR_HOME_FAX_NUMBER");
    text(t::kMobileTelephoneNumber, c.mobilePhone, "PR_MOBILE_TELEPHONE_NUMBER");
    text(t::kPagerTelephoneNumber, c.pager, "PR_PAGER_TELEPHONE_NUMBER");
    if (!c.emails.empty()) {
        text(t::kEmailAddress, c.emails[0], "PR_EMAIL_ADDRESS");
        text(t::kAddrType, c.emailTypes.empty() ? std::wstring() : c.emailTypes[0], "PR_ADDRTYPE");
        check(contact._PutTextArrayPropW(t::kContactEmailAddresses, c.emails), "PR_CONTACT_EMAIL_ADDRESSES");
        check(contact._PutTextArrayPropW(t::kContactAddrTypes, c.emailTypes), "PR_CONTACT_ADDRTYPES");
        check(contact.PutDefaultAddressIndex(0), "PR_CONTACT_DEFAULT_ADDRESS_INDEX");
    }
    text(t::kBusinessHomePage, c.businessWebPage, "PR_BUSINESS_HOME_PAGE");
    text(t::kPersonalHomePage, c.personalWebPage, "PR_PERSONAL_HOME_PAGE");
    text(t::kSpouseName, c.spouse, "PR_SPOUSE_NAME");
    date(t::kWeddingAnniversary, c.anniversary, "PR_WEDDING_ANNIVERSARY");
    if (!c.conferencingServers.empty()) {
        ULONG tag = 0;
        HRESULT named = contact.GetNamedTag(true, &tag);
        check(SUCCEEDED(named) ? contact._PutTextArrayPropW(tag, c.conferencingServers) : named,
              "ConferencingServers");
    }
    if (c.gender != 0)
        check(contact.PutGender(static_cast<SHORT>(c.gender)), "PR_GENDER");
    if (!c.children.empty())
        check(contact._PutTextArrayPropW(t::kChildrensNames, c.children), "PR_CHILDRENS_NAMES");

    hr = entry->SaveChanges(0);
    if (FAILED(hr)) {
        g_log.LogErr("CWABLib::SaveItem", hr, "SaveChanges");
        return hr;
    }
    if (m_index.IsLoaded())
        _IndexSavedContact(entry.Get());
    return refused > 0 ? MAPI_W_ERRORS_RETURNED : S_OK;
}

void CvCardImport::_IndexSavedContact(IMAPIProp* entry)
{
    // Read back rather than taken from the card: the names the search will compare are those
    // the address book kept.
    ULONG tags[1 + CEqualContactIndex::kNameFields] = {PR_ENTRYID};
    std::copy(CEqualContactIndex::kTags, CEqualContactIndex::kTags + CEqualContactIndex::kNameFields, tags + 1);
    SPropValue* values = nullptr;
    HRESULT hr = g_wabLib.GetItemPropsList(entry, tags, 1 + CEqualContactIndex::kNameFields, &values);
    CWabBuffer<SPropValue> owned(values);
    if (SUCCEEDED(hr) && (values[0].ulPropTag != PR_ENTRYID || values[0].Value.bin.cb == 0))
        hr = MAPI_E_NOT_FOUND;
    if (FAILED(hr)) {
        // Without the new contact the index would miss a duplicate: the rest of the run asks
        // the address book instead.
        g_log.LogWar("CvCardImport::AddContact", hr, "saved contact not indexed; equal contacts are searched by query");
        m_index.Clear();
        return;
    }
    std::wstring texts[CEqualContactIndex::kNameFields];
    const std::wstring* present[CEqualContactIndex::kNameFields] = {};
    for (int i = 0; i < CEqualContactIndex::kNameFields; ++i) {
        const SPropValue& v = values[1 + i];
        if (v.ulPropTag == CEqualContactIndex::kTags[i] && v.Value.lpszW) {
            texts[i] = v.Value.lpszW;
            present[i] = &texts[i];
        }
    }
    try {
        m_index.Add(EntryIdToText(values[0].Value.bin.lpb, values[0].Value.bin.cb), present);
    } catch (const std::bad_alloc&) {
        g_log.LogWar("CvCardImport::AddContact", E_OUTOFMEMORY, "saved contact not indexed; equal contacts are searched by query");
        m_index.Clear();
    }
}
