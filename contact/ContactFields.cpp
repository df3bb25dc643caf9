#include "contact/ContactFields.h"

#include "codec/vcard/CardReader.h"
#include "contact/Contact.h"

namespace {

// How a field is read from and written to the contact.
enum class Kind {
    kText,
    kList,
    kDate,
    kGender,        // a 16-bit number, absent when it cannot be read
    kDefaultIndex,  // the default address's index, -1 when it cannot be read
    kServers,       // a list under the named property, whose tag is resolved first
    kCertificates,  // the Digital IDs, binary
};
// How an existing contact is compared with the record: not at all (the names and company, by
// which it was found, and what the e-mail list's comparison covers), the value as it stands, the
// e-mail list around the contact's default address, the list with each entry trimmed as the card
// writes it.
enum class Compare { kNot, kEqual, kEmails, kTrimmed };

struct CField {
    Kind kind;
    ULONG tag;             // 0 for the named property
    const char* property;  // named in the log when the address book refuses it
    Compare compare;
    bool written;          // false: the export reads it, the import leaves it to the address book
    std::wstring* text;
    std::vector<std::wstring>* list;
    CContactDate* date;
    std::vector<std::string>* blobs = nullptr;

    // Only a field the record gives is written and compared: an empty one agrees with any contact.
    bool Given(const CContactRecord& r) const
    {
        return text ? !text->empty() : list ? !list->empty() : date ? date->present : blobs ? !blobs->empty()
               : kind == Kind::kGender ? r.hasGender : r.defaultAddressIndex >= 0;
    }
};

CField Text(ULONG tag, const char* property, std::wstring& value, Compare compare = Compare::kEqual)
{
    return {Kind::kText, tag, property, compare, true, &value, nullptr, nullptr};
}
CField List(ULONG tag, const char* property, std::vector<std::wstring>& value, Compare compare = Compare::kEqual,
            Kind kind = Kind::kList)
{
    return {kind, tag, property, compare, true, nullptr, &value, nullptr};
}
CField Date(ULONG tag, const char* property, CContactDate& value, bool written = true)
{
    return {Kind::kDate, tag, property, written ? Compare::kEqual : Compare::kNot, written, nullptr, nullptr, &value};
}
CField Certificates(std::vector<std::string>& value)
{
    return {Kind::kCertificates, contact_tags::kUserX509Certificate, "PR_USER_X509_CERTIFICATE", Compare::kEqual,
            true, nullptr, nullptr, nullptr, &value};
}
CField Number(Kind kind, ULONG tag, const char* property, Compare compare)
{
    return {kind, tag, property, compare, true, nullptr, nullptr, nullptr};
}

// The table: one row per field, in the order the import writes them. Calls each(row) with the rows
// bound to the record's members.
template <class Each>
void ForEachField(CContactRecord& r, Each each)
{
    using namespace contact_tags;
    using R = CContactRecord;
    const Compare kNamed = Compare::kNot;
    const CField fields[] = {
        Text(kGivenName, "PR_GIVEN_NAME", r.givenName, kNamed),
        Text(kMiddleName, "PR_MIDDLE_NAME", r.middleName, kNamed),
        Text(kSurname, "PR_SURNAME", r.surname, kNamed),
        Text(kDisplayNamePrefix, "PR_DISPLAY_NAME_PREFIX", r.namePrefix, kNamed),
        Text(kGeneration, "PR_GENERATION", r.nameSuffix),
        Text(kDisplayName, "PR_DISPLAY_NAME", r.displayName, kNamed),
        Text(kNickname, "PR_NICKNAME", r.nickname),
        Text(kCompanyName, "PR_COMPANY_NAME", r.company, kNamed),
        Text(kDepartmentName, "PR_DEPARTMENT_NAME", r.department),
        Text(kTitle, "PR_TITLE", r.title),
        Text(kComment, "PR_COMMENT", r.comment),
        Text(kAssistant, "PR_ASSISTANT", r.assistant),
        Text(kManagerName, "PR_MANAGER_NAME", r.manager),
        Date(kBirthday, "PR_BIRTHDAY", r.birthday),
        Text(kOfficeLocation, "PR_OFFICE_LOCATION", r.business[R::kExtended]),
        Text(kBusinessAddressStreet, "PR_BUSINESS_ADDRESS_STREET", r.business[R::kStreet]),
        Text(kBusinessAddressCity, "PR_BUSINESS_ADDRESS_CITY", r.business[R::kLocality]),
        Text(kBusinessAddressStateOrProvince, "PR_BUSINESS_ADDRESS_STATE_OR_PROVINCE", r.business[R::kRegion]),
        Text(kBusinessAddressPostalCode, "PR_BUSINESS_ADDRESS_POSTAL_CODE", r.business[R::kPostalCode]),
        Text(kBusinessAddressCountry, "PR_BUSINESS_ADDRESS_COUNTRY", r.business[R::kCountry]),
        Text(kPostOfficeBox, "PR_POST_OFFICE_BOX", r.business[R::kPoBox]),
        Text(kHomeAddressPostOfficeBox, "PR_HOME_ADDRESS_POST_OFFICE_BOX", r.home[R::kPoBox]),
        Text(kHomeAddressStreet, "PR_HOME_ADDRESS_STREET", r.home[R::kStreet]),
        Text(kHomeAddressCity, "PR_HOME_ADDRESS_CITY", r.home[R::kLocality]),
        Text(kHomeAddressStateOrProvince, "PR_HOME_ADDRESS_STATE_OR_PROVINCE", r.home[R::kRegion]),
        Text(kHomeAddressPostalCode, "PR_HOME_ADDRESS_POSTAL_CODE", r.home[R::kPostalCode]),
        Text(kHomeAddressCountry, "PR_HOME_ADDRESS_COUNTRY", r.home[R::kCountry]),
        Text(kOtherAddressPostOfficeBox, "PR_OTHER_ADDRESS_POST_OFFICE_BOX", r.other[R::kPoBox]),
        Text(kOtherAddressStreet, "PR_OTHER_ADDRESS_STREET", r.other[R::kStreet]),
        Text(kOtherAddressCity, "PR_OTHER_ADDRESS_CITY", r.other[R::kLocality]),
        Text(kOtherAddressStateOrProvince, "PR_OTHER_ADDRESS_STATE_OR_PROVINCE", r.other[R::kRegion]),
        Text(kOtherAddressPostalCode, "PR_OTHER_ADDRESS_POSTAL_CODE", r.other[R::kPostalCode]),
        Text(kOtherAddressCountry, "PR_OTHER_ADDRESS_COUNTRY", r.other[R::kCountry]),
        Text(kBusinessTelephoneNumber, "PR_BUSINESS_TELEPHONE_NUMBER", r.businessPhone),
        Text(kBusinessFaxNumber, "PR_BUSINESS_FAX_NUMBER", r.businessFax),
        Text(kHomeTelephoneNumber, "PR_HOME_TELEPHONE_NUMBER", r.homePhone),
        Text(kHomeFaxNumber, "PR_HOME_FAX_NUMBER", r.homeFax),
        Text(kMobileTelephoneNumber, "PR_MOBILE_TELEPHONE_NUMBER", r.mobilePhone),
        Text(kPagerTelephoneNumber, "PR_PAGER_TELEPHONE_NUMBER", r.pager),
        Text(kCarTelephoneNumber, "PR_CAR_TELEPHONE_NUMBER", r.carPhone),
        Text(kPrimaryTelephoneNumber, "PR_PRIMARY_TELEPHONE_NUMBER", r.primaryPhone),
        Text(kBusiness2TelephoneNumber, "PR_BUSINESS2_TELEPHONE_NUMBER", r.business2Phone),
        Text(kHome2TelephoneNumber, "PR_HOME2_TELEPHONE_NUMBER", r.home2Phone),
        Text(kOtherTelephoneNumber, "PR_OTHER_TELEPHONE_NUMBER", r.otherPhone),
        Text(kCompanyMainPhoneNumber, "PR_COMPANY_MAIN_PHONE_NUMBER", r.companyMainPhone),
        Text(kCallbackTelephoneNumber, "PR_CALLBACK_TELEPHONE_NUMBER", r.callbackPhone),
        Text(kIsdnNumber, "PR_ISDN_NUMBER", r.isdnNumber),
        Text(kRadioTelephoneNumber, "PR_RADIO_TELEPHONE_NUMBER", r.radioPhone),
        Text(kTelexNumber, "PR_TELEX_NUMBER", r.telexNumber),
        Text(kTtyTddPhoneNumber, "PR_TTYTDD_PHONE_NUMBER", r.ttyTddPhone),
        Text(kAssistantTelephoneNumber, "PR_ASSISTANT_TELEPHONE_NUMBER", r.assistantPhone),
        Text(kPrimaryFaxNumber, "PR_PRIMARY_FAX_NUMBER", r.otherFax),
        Text(kEmailAddress, "PR_EMAIL_ADDRESS", r.emailAddress, Compare::kNot),
        Text(kAddrType, "PR_ADDRTYPE", r.addrType, Compare::kNot),
        List(kContactEmailAddresses, "PR_CONTACT_EMAIL_ADDRESSES", r.emails, Compare::kEmails),
        List(kContactAddrTypes, "PR_CONTACT_ADDRTYPES", r.emailTypes, Compare::kNot),
        Number(Kind::kDefaultIndex, kContactDefaultAddressIndex, "PR_CONTACT_DEFAULT_ADDRESS_INDEX", Compare::kNot),
        Text(kBusinessHomePage, "PR_BUSINESS_HOME_PAGE", r.businessHomePage),
        Text(kPersonalHomePage, "PR_PERSONAL_HOME_PAGE", r.personalHomePage),
        Text(kSpouseName, "PR_SPOUSE_NAME", r.spouse),
        Date(kWeddingAnniversary, "PR_WEDDING_ANNIVERSARY", r.anniversary),
        List(0, "ConferencingServers", r.conferencingServers, Compare::kEqual, Kind::kServers),
        Number(Kind::kGender, kGender, "PR_GENDER", Compare::kEqual),
        List(kChildrensNames, "PR_CHILDRENS_NAMES", r.children, Compare::kTrimmed),
        Certificates(r.certificates),
        Date(kLastModificationTime, "PR_LAST_MODIFICATION_TIME", r.modified, false),
    };
    for (const CField& f : fields)
        each(f);
}

// The address book keeps each Digital ID as a list of tagged values (a 16-bit tag, then a 16-bit
// length that counts its own four bytes), the certificate's encoded bytes under the binary tag; a
// card carries the encoded certificate alone. A value not in that form is taken as the
// certificate itself, and one too long for a tagged value is kept as it is.
const uint16_t kCertTagBinary = 3;

std::string CertificateFromStored(const std::string& stored)
{
    const auto word = [&stored](size_t at) {
        return static_cast<size_t>(static_cast<unsigned char>(stored[at]) |
                                   (static_cast<unsigned char>(stored[at + 1]) << 8));
    };
    std::string certificate;
    size_t at = 0;
    while (at + 4 <= stored.size()) {
        size_t length = word(at + 2);
        if (length < 4 || at + length > stored.size())
            return stored;
        if (word(at) == kCertTagBinary)
            certificate = stored.substr(at + 4, length - 4);
        at += length;
    }
    return at == stored.size() && !certificate.empty() ? certificate : stored;
}

std::string StoredFromCertificate(const std::string& certificate)
{
    if (certificate.size() + 4 > 0xFFFF)
        return certificate;
    const size_t length = certificate.size() + 4;
    std::string stored = {static_cast<char>(kCertTagBinary), 0, static_cast<char>(length & 0xFF),
                          static_cast<char>(length >> 8)};
    return stored + certificate;
}

HRESULT GetCertificates(CContact& contact, std::vector<std::string>* certificates)
{
    HRESULT hr = contact._GetBinaryArrayProp(contact_tags::kUserX509Certificate, certificates);
    for (std::string& c : *certificates)
        c = CertificateFromStored(c);
    return hr;
}

// The record lists the default address first; the contact keeps it at its default index and the
// others around it in order.
bool EmailsEqual(CContact& contact, const CContactRecord& r)
{
    std::vector<std::wstring> addresses;
    (void)contact._GetTextArrayPropW(contact_tags::kContactEmailAddresses, &addresses);
    if (addresses.size() != r.emails.size())
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
        if (addresses[j] != r.emails[i])
            return false;
        if (i < r.emailTypes.size() && !r.emailTypes[i].empty() && types[j] != r.emailTypes[i])
            return false;
    }
    return true;
}

// A field the record gives, against the contact's; a value that cannot be read compares as absent.
bool FieldEqual(CContact& contact, const CField& f, const CContactRecord& r)
{
    std::wstring text;
    FILETIME date = {0, 0};
    std::vector<std::wstring> list;
    SHORT gender = 0;
    if (f.compare == Compare::kNot)
        return true;
    if (f.compare == Compare::kEmails)
        return EmailsEqual(contact, r);
    switch (f.kind) {
    case Kind::kText:
        (void)contact._GetTextPropW(f.tag, &text);
        return text == *f.text;
    case Kind::kDate:
        (void)contact._GetDateProp(f.tag, &date);
        return ((static_cast<uint64_t>(date.dwHighDateTime) << 32) | date.dwLowDateTime) == f.date->fileTime;
    case Kind::kServers:
        (void)contact.GetConferencingServers(&list);
        return list == *f.list;
    case Kind::kGender:
        (void)contact.GetGender(&gender);
        return gender == r.gender;
    case Kind::kList:
        (void)contact._GetTextArrayPropW(f.tag, &list);
        if (f.compare == Compare::kTrimmed) {
            for (std::wstring& entry : list)
                entry = vcard::TrimBlanks(entry);
        }
        return list == *f.list;
    case Kind::kCertificates: {
        std::vector<std::string> certificates;
        (void)GetCertificates(contact, &certificates);
        return certificates == *f.blobs;
    }
    case Kind::kDefaultIndex:
        return true;
    }
    return true;
}

}  // namespace

void contact_fields::ReadContact(CContact& contact, CContactRecord* r, ULONG* serversTag)
{
    r->Clear();
    // The named property has one tag in the whole address book: it is resolved once per run.
    ULONG servers = serversTag ? *serversTag : 0;
    if (!servers && SUCCEEDED(contact.GetNamedTag(false, &servers)) && servers && serversTag)
        *serversTag = servers;

    // Everything the record needs, asked for in one request; the reads below are answered from it.
    ULONG tags[96];
    ULONG count = 0;
    ForEachField(*r, [&](const CField& f) {
        ULONG tag = f.kind == Kind::kServers ? servers : f.tag;
        if (tag && count < sizeof(tags) / sizeof(tags[0]))
            tags[count++] = tag;
    });
    (void)contact.Preload(tags, count);

    // A property that cannot be read leaves its output empty or absent.
    ForEachField(*r, [&](const CField& f) {
        LONG index = -1;
        SHORT gender = 0;
        FILETIME ft = {};
        switch (f.kind) {
        case Kind::kText:
            (void)contact._GetTextPropW(f.tag, f.text);
            break;
        case Kind::kList:
            (void)contact._GetTextArrayPropW(f.tag, f.list);
            break;
        case Kind::kServers:
            if (servers)
                (void)contact._GetTextArrayPropW(servers, f.list);
            break;
        case Kind::kDate:
            f.date->present = SUCCEEDED(contact._GetDateProp(f.tag, &ft));
            f.date->fileTime = (static_cast<uint64_t>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime;
            break;
        case Kind::kGender:
            r->hasGender = SUCCEEDED(contact.GetGender(&gender));
            r->gender = r->hasGender ? gender : 0;
            break;
        case Kind::kDefaultIndex:
            if (FAILED(contact.GetDefaultAddressIndex(&index)))
                index = -1;
            r->defaultAddressIndex = index;
            break;
        case Kind::kCertificates:
            (void)GetCertificates(contact, f.blobs);
            break;
        }
    });
}

void contact_fields::WriteContact(CContact& contact, const CContactRecord& record,
                                  const std::function<void(HRESULT, const char*)>& check)
{
    // The rows bind the record's members for reading too; nothing here changes them.
    CContactRecord& r = const_cast<CContactRecord&>(record);
    ForEachField(r, [&](const CField& f) {
        if (!f.written || !f.Given(r))
            return;
        HRESULT hr = S_OK;
        ULONG tag = 0;
        switch (f.kind) {
        case Kind::kText:
            hr = contact._PutTextPropW(f.tag, *f.text);
            break;
        case Kind::kList:
            hr = contact._PutTextArrayPropW(f.tag, *f.list);
            break;
        case Kind::kServers:
            hr = contact.GetNamedTag(true, &tag);
            if (SUCCEEDED(hr))
                hr = contact._PutTextArrayPropW(tag, *f.list);
            break;
        case Kind::kDate:
            hr = contact._PutDateProp(f.tag, {static_cast<DWORD>(f.date->fileTime),
                                              static_cast<DWORD>(f.date->fileTime >> 32)});
            break;
        case Kind::kGender:
            hr = contact.PutGender(r.gender);
            break;
        case Kind::kDefaultIndex:
            hr = contact.PutDefaultAddressIndex(r.defaultAddressIndex);
            break;
        case Kind::kCertificates: {
            std::vector<std::string> stored;
            for (const std::string& c : *f.blobs)
                stored.push_back(StoredFromCertificate(c));
            hr = contact._PutBinaryArrayProp(f.tag, stored);
            break;
        }
        }
        check(hr, f.property);
    });
}

bool contact_fields::ContactEquals(CContact& contact, const CContactRecord& record)
{
    CContactRecord& r = const_cast<CContactRecord&>(record);
    bool equal = true;
    ForEachField(r, [&](const CField& f) {
        if (equal && f.written && f.Given(r))
            equal = FieldEqual(contact, f, r);
    });
    return equal;
}
