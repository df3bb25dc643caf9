#include "vcard/import/CardToContact.h"

#include <algorithm>
#include <array>

#include "contact/Contact.h"

namespace {

FILETIME ToFileTime(uint64_t value)
{
    return {static_cast<DWORD>(value), static_cast<DWORD>(value >> 32)};
}

// One field of the card and the contact property it goes to (the e-mail fields name theirs where
// they are written), and how a contact whose names and company matched the card is compared with
// it: the names not again, a text or date as it stands, the lists each by a rule of their own.
enum class Match { kNamed, kText, kDate, kEmails, kServers, kGender, kChildren };
struct CField {
    Match match;
    ULONG tag;
    const char* property;  // named in the log when the address book refuses it
    const std::wstring* text;
    const std::vector<std::wstring>* list;
    uint64_t number;  // a date's file time, or the gender
    // Only a field the card gives is written, and compared: an empty one agrees with any contact.
    bool Given() const { return text ? !text->empty() : list ? !list->empty() : number != 0; }
};

// The card's fields in the order AddContact writes them and IsContactEqual compares them: one list,
// so that no field can be written and then left out of the comparison, or the other way round.
std::array<CField, 36> FieldsOf(const CImportCard& c)
{
    using namespace contact_tags;
    const Match N = Match::kNamed, T = Match::kText, D = Match::kDate;
    return {{
        {N, kGivenName, "PR_GIVEN_NAME", &c.givenName},
        {N, kMiddleName, "PR_MIDDLE_NAME", &c.middleName},
        {N, kSurname, "PR_SURNAME", &c.familyName},
        {N, kDisplayNamePrefix, "PR_DISPLAY_NAME_PREFIX", &c.namePrefix},
        {N, kDisplayName, "PR_DISPLAY_NAME", &c.displayName},
        {T, kNickname, "PR_NICKNAME", &c.nickname},
        {N, kCompanyName, "PR_COMPANY_NAME", &c.company},
        {T, kDepartmentName, "PR_DEPARTMENT_NAME", &c.department},
        {T, kTitle, "PR_TITLE", &c.jobTitle},
        {T, kComment, "PR_COMMENT", &c.note},
        {D, kBirthday, "PR_BIRTHDAY", nullptr, nullptr, c.birthday},
        {T, kOfficeLocation, "PR_OFFICE_LOCATION", &c.business[CImportCard::kExtended]},
        {T, kBusinessAddressStreet, "PR_BUSINESS_ADDRESS_STREET", &c.business[CImportCard::kStreet]},
        {T, kBusinessAddressCity, "PR_BUSINESS_ADDRESS_CITY", &c.business[CImportCard::kLocality]},
        {T, kBusinessAddressStateOrProvince, "PR_BUSINESS_ADDRESS_STATE_OR_PROVINCE", &c.business[CImportCard::kRegion]},
        {T, kBusinessAddressPostalCode, "PR_BUSINESS_ADDRESS_POSTAL_CODE", &c.business[CImportCard::kPostalCode]},
        {T, kBusinessAddressCountry, "PR_BUSINESS_ADDRESS_COUNTRY", &c.business[CImportCard::kCountry]},
        {T, kHomeAddressStreet, "PR_HOME_ADDRESS_STREET", &c.home[CImportCard::kStreet]},
        {T, kHomeAddressCity, "PR_HOME_ADDRESS_CITY", &c.home[CImportCard::kLocality]},
        {T, kHomeAddressStateOrProvince, "PR_HOME_ADDRESS_STATE_OR_PROVINCE", &c.home[CImportCard::kRegion]},
        {T, kHomeAddressPostalCode, "PR_HOME_ADDRESS_POSTAL_CODE", &c.home[CImportCard::kPostalCode]},
        {T, kHomeAddressCountry, "PR_HOME_ADDRESS_COUNTRY", &c.home[CImportCard::kCountry]},
        {T, kBusinessTelephoneNumber, "PR_BUSINESS_TELEPHONE_NUMBER", &c.businessPhone},
        {T, kBusinessFaxNumber, "PR_BUSINESS_FAX_NUMBER", &c.businessFax},
        {T, kHomeTelephoneNumber, "PR_HOME_TELEPHONE_NUMBER", &c.homePhone},
        {T, kHomeFaxNumber, "PR_HOME_FAX_NUMBER", &c.homeFax},
        {T, kMobileTelephoneNumber, "PR_MOBILE_TELEPHONE_NUMBER", &c.mobilePhone},
        {T, kPagerTelephoneNumber, "PR_PAGER_TELEPHONE_NUMBER", &c.pager},
        {Match::kEmails, 0, nullptr, nullptr, &c.emails},
        {T, kBusinessHomePage, "PR_BUSINESS_HOME_PAGE", &c.businessWebPage},
        {T, kPersonalHomePage, "PR_PERSONAL_HOME_PAGE", &c.personalWebPage},
        {T, kSpouseName, "PR_SPOUSE_NAME", &c.spouse},
        {D, kWeddingAnniversary, "PR_WEDDING_ANNIVERSARY", nullptr, nullptr, c.anniversary},
        {Match::kServers, 0, "ConferencingServers", nullptr, &c.conferencingServers},  // a tag of its own
        {Match::kGender, kGender, "PR_GENDER", nullptr, nullptr, c.gender},
        {Match::kChildren, kChildrensNames, "PR_CHILDRENS_NAMES", nullptr, &c.children},
    }};
}

// The card lists the default address first; the contact keeps it at its default index and the
// others around it in order.
bool EmailsEqual(CContact& contact, const CImportCard& c)
{
    std::vector<std::wstring> addresses;
    (void)contact._GetTextArrayPropW(contact_tags::kContactEmailAddresses, &addresses);
    if (addresses.size() != c.emails.size())
        return false;
    size_t count = addresses.size();
    std::vector<std::wstring> types;
    (void)contact._GetTextArrayPropW(contact_tags::kContactAddrTypes, &types);
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

// A field the card gives, against the contact's; a value that cannot be read compares as absent.
bool FieldEqual(CContact& contact, const CField& f, const CImportCard& c)
{
    std::wstring text;
    FILETIME date = {0, 0};
    std::vector<std::wstring> list;
    SHORT gender = 0;
    switch (f.match) {
    case Match::kNamed:
        return true;
    case Match::kText:
        (void)contact._GetTextPropW(f.tag, &text);
        return text == *f.text;
    case Match::kDate:
        (void)contact._GetDateProp(f.tag, &date);
        return ((static_cast<uint64_t>(date.dwHighDateTime) << 32) | date.dwLowDateTime) == f.number;
    case Match::kEmails:
        return EmailsEqual(contact, c);
    case Match::kServers:
        (void)contact.GetConferencingServers(&list);
        return list == *f.list;
    case Match::kGender:
        (void)contact.GetGender(&gender);
        return static_cast<USHORT>(gender) == f.number;
    case Match::kChildren:
        (void)contact._GetTextArrayPropW(f.tag, &list);
        for (std::wstring& child : list)
            child = vcard::TrimBlanks(child);
        return list == *f.list;
    }
    return true;
}

}  // namespace

bool vcard::CardFieldsEqual(CContact& contact, const CImportCard& c)
{
    const auto fields = FieldsOf(c);
    return std::all_of(fields.begin(), fields.end(),
                       [&](const CField& f) { return !f.Given() || FieldEqual(contact, f, c); });
}

// The contact property each field goes to, written when the card gives it.
void vcard::PutCardFields(CContact& contact, const CImportCard& c,
                          const std::function<void(HRESULT, const char*)>& check)
{
    namespace t = contact_tags;
    HRESULT hr = S_OK;
    for (const CField& f : FieldsOf(c)) {
        if (!f.Given())
            continue;
        ULONG tag = 0;
        switch (f.match) {
        case Match::kNamed:
        case Match::kText:
            check(contact._PutTextPropW(f.tag, *f.text), f.property);
            break;
        case Match::kDate:
            check(contact._PutDateProp(f.tag, ToFileTime(f.number)), f.property);
            break;
        case Match::kEmails:
            if (!c.emails[0].empty())
                check(contact._PutTextPropW(t::kEmailAddress, c.emails[0]), "PR_EMAIL_ADDRESS");
            if (!c.emailTypes.empty() && !c.emailTypes[0].empty())
                check(contact._PutTextPropW(t::kAddrType, c.emailTypes[0]), "PR_ADDRTYPE");
            check(contact._PutTextArrayPropW(t::kContactEmailAddresses, c.emails), "PR_CONTACT_EMAIL_ADDRESSES");
            check(contact._PutTextArrayPropW(t::kContactAddrTypes, c.emailTypes), "PR_CONTACT_ADDRTYPES");
            check(contact.PutDefaultAddressIndex(0), "PR_CONTACT_DEFAULT_ADDRESS_INDEX");
            break;
        case Match::kServers:
            hr = contact.GetNamedTag(true, &tag);
            check(SUCCEEDED(hr) ? contact._PutTextArrayPropW(tag, *f.list) : hr, f.property);
            break;
        case Match::kGender:
            check(contact.PutGender(static_cast<SHORT>(f.number)), f.property);
            break;
        case Match::kChildren:
            check(contact._PutTextArrayPropW(f.tag, *f.list), f.property);
            break;
        }
    }
}
