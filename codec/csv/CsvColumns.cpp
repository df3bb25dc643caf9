#include "codec/csv/CsvColumns.h"

#include <cstdlib>
#include <cstring>

namespace csv {

namespace {

using R = CContactRecord;

CField Text(std::wstring R::*member)
{
    CField f;
    f.target = Target::kText;
    f.text = member;
    return f;
}
CField Part(std::wstring (R::*address)[R::kAddressParts], int part)
{
    CField f;
    f.target = Target::kAddressPart;
    f.address = address;
    f.index = part;
    return f;
}
CField Street(std::wstring (R::*address)[R::kAddressParts], int line)
{
    CField f;
    f.target = line == 0 ? Target::kAddressPart : Target::kStreetLine;
    f.address = address;
    f.index = line == 0 ? R::kStreet : line;
    return f;
}
CField Date(CContactDate R::*member)
{
    CField f;
    f.target = Target::kDate;
    f.date = member;
    return f;
}
CField List(std::vector<std::wstring> R::*member)
{
    CField f;
    f.target = Target::kList;
    f.list = member;
    return f;
}
CField Is(Target target, int index = 0)
{
    CField f;
    f.target = target;
    f.index = index;
    return f;
}
const CField kNone = Is(Target::kNone);

const CColumn kWritten[] = {
    // Outlook's, in its order.
    {"Title", Text(&R::namePrefix)},
    {"First Name", Text(&R::givenName)},
    {"Middle Name", Text(&R::middleName)},
    {"Last Name", Text(&R::surname)},
    {"Suffix", Text(&R::nameSuffix)},
    {"Company", Text(&R::company)},
    {"Department", Text(&R::department)},
    {"Job Title", Text(&R::title)},
    {"Business Street", Street(&R::business, 0)},
    {"Business Street 2", Street(&R::business, 1)},
    {"Business Street 3", Street(&R::business, 2)},
    {"Business City", Part(&R::business, R::kLocality)},
    {"Business State", Part(&R::business, R::kRegion)},
    {"Business Postal Code", Part(&R::business, R::kPostalCode)},
    {"Business Country/Region", Part(&R::business, R::kCountry)},
    {"Home Street", Street(&R::home, 0)},
    {"Home Street 2", Street(&R::home, 1)},
    {"Home Street 3", Street(&R::home, 2)},
    {"Home City", Part(&R::home, R::kLocality)},
    {"Home State", Part(&R::home, R::kRegion)},
    {"Home Postal Code", Part(&R::home, R::kPostalCode)},
    {"Home Country/Region", Part(&R::home, R::kCountry)},
    {"Other Street", Street(&R::other, 0)},
    {"Other Street 2", Street(&R::other, 1)},
    {"Other Street 3", Street(&R::other, 2)},
    {"Other City", Part(&R::other, R::kLocality)},
    {"Other State", Part(&R::other, R::kRegion)},
    {"Other Postal Code", Part(&R::other, R::kPostalCode)},
    {"Other Country/Region", Part(&R::other, R::kCountry)},
    {"Assistant's Phone", Text(&R::assistantPhone)},
    {"Business Fax", Text(&R::businessFax)},
    {"Business Phone", Text(&R::businessPhone)},
    {"Business Phone 2", Text(&R::business2Phone)},
    {"Callback", Text(&R::callbackPhone)},
    {"Car Phone", Text(&R::carPhone)},
    {"Company Main Phone", Text(&R::companyMainPhone)},
    {"Home Fax", Text(&R::homeFax)},
    {"Home Phone", Text(&R::homePhone)},
    {"Home Phone 2", Text(&R::home2Phone)},
    {"ISDN", Text(&R::isdnNumber)},
    {"Mobile Phone", Text(&R::mobilePhone)},
    {"Other Fax", Text(&R::otherFax)},
    {"Other Phone", Text(&R::otherPhone)},
    {"Pager", Text(&R::pager)},
    {"Primary Phone", Text(&R::primaryPhone)},
    {"Radio Phone", Text(&R::radioPhone)},
    {"TTY/TDD Phone", Text(&R::ttyTddPhone)},
    {"Telex", Text(&R::telexNumber)},
    {"Account", kNone},
    {"Anniversary", Date(&R::anniversary)},
    {"Assistant's Name", Text(&R::assistant)},
    {"Billing Information", kNone},
    {"Birthday", Date(&R::birthday)},
    {"Business Address PO Box", Part(&R::business, R::kPoBox)},
    {"Categories", Is(Target::kCategories)},
    {"Children", List(&R::children)},
    {"Directory Server", kNone},
    {"E-mail Address", Is(Target::kEmail, 0)},
    {"E-mail Type", Is(Target::kEmailType, 0)},
    {"E-mail Display Name", kNone},
    {"E-mail 2 Address", Is(Target::kEmail, 1)},
    {"E-mail 2 Type", Is(Target::kEmailType, 1)},
    {"E-mail 2 Display Name", kNone},
    {"E-mail 3 Address", Is(Target::kEmail, 2)},
    {"E-mail 3 Type", Is(Target::kEmailType, 2)},
    {"E-mail 3 Display Name", kNone},
    {"Gender", Is(Target::kGender)},
    {"Government ID Number", kNone},
    {"Hobby", kNone},
    {"Home Address PO Box", Part(&R::home, R::kPoBox)},
    {"Initials", kNone},
    {"Internet Free Busy", kNone},
    {"Keywords", kNone},
    {"Language", kNone},
    {"Location", kNone},
    {"Manager's Name", Text(&R::manager)},
    {"Mileage", kNone},
    {"Notes", Text(&R::comment)},
    {"Office Location", Part(&R::business, R::kExtended)},
    {"Organizational ID Number", kNone},
    {"Other Address PO Box", Part(&R::other, R::kPoBox)},
    {"Priority", kNone},
    {"Private", kNone},
    {"Profession", kNone},
    {"Referred By", kNone},
    {"Sensitivity", kNone},
    {"Spouse", Text(&R::spouse)},
    {"User 1", kNone},
    {"User 2", kNone},
    {"User 3", kNone},
    {"User 4", kNone},
    {"Web Page", Text(&R::businessHomePage)},
    // The fields Outlook's set has no column for, under the names the Address Book's own export
    // gives those it has.
    {"Name", Text(&R::displayName)},
    {"Nickname", Text(&R::nickname)},
    {"Personal Web Page", Text(&R::personalHomePage)},
    {"More E-mail Addresses", Is(Target::kMoreEmails)},
    {"More E-mail Types", Is(Target::kMoreEmailTypes)},
    {"Conferencing Servers", List(&R::conferencingServers)},
    {"Digital IDs", Is(Target::kCertificates)},
};

// The other programs' names for the same fields (formats the writer does not write).
const CColumn kAliases[] = {
    // The Address Book's own and Windows Contacts'.
    {"Business Web Page", Text(&R::businessHomePage)},
    // Thunderbird's.
    {"Display Name", Text(&R::displayName)},
    {"Primary Email", Is(Target::kEmail, 0)},
    {"Secondary Email", Is(Target::kEmail, 1)},
    {"Screen Name", kNone},
    {"Work Phone", Text(&R::businessPhone)},
    {"Fax Number", Text(&R::businessFax)},
    {"Pager Number", Text(&R::pager)},
    {"Mobile Number", Text(&R::mobilePhone)},
    {"Home Address", Street(&R::home, 0)},
    {"Home Address 2", Street(&R::home, 1)},
    {"Home ZipCode", Part(&R::home, R::kPostalCode)},
    {"Home Country", Part(&R::home, R::kCountry)},
    {"Work Address", Street(&R::business, 0)},
    {"Work Address 2", Street(&R::business, 1)},
    {"Work City", Part(&R::business, R::kLocality)},
    {"Work State", Part(&R::business, R::kRegion)},
    {"Work ZipCode", Part(&R::business, R::kPostalCode)},
    {"Work Country", Part(&R::business, R::kCountry)},
    {"Organization", Text(&R::company)},
    {"Web Page 1", Text(&R::businessHomePage)},
    {"Web Page 2", Text(&R::personalHomePage)},
    {"Birth Year", Is(Target::kBirthYear)},
    {"Birth Month", Is(Target::kBirthMonth)},
    {"Birth Day", Is(Target::kBirthDay)},
    {"Custom 1", kNone},
    {"Custom 2", kNone},
    {"Custom 3", kNone},
    {"Custom 4", kNone},
    // Google's, the older set.
    {"Given Name", Text(&R::givenName)},
    {"Additional Name", Text(&R::middleName)},
    {"Family Name", Text(&R::surname)},
    {"Yomi Name", kNone},
    {"Given Name Yomi", kNone},
    {"Additional Name Yomi", kNone},
    {"Family Name Yomi", kNone},
    {"Name Prefix", Text(&R::namePrefix)},
    {"Name Suffix", Text(&R::nameSuffix)},
    {"Short Name", kNone},
    {"Maiden Name", kNone},
    {"Occupation", kNone},
    {"Subject", kNone},
    {"Group Membership", Is(Target::kLabels)},
    // Google's, the newer set.
    {"Phonetic First Name", kNone},
    {"Phonetic Middle Name", kNone},
    {"Phonetic Last Name", kNone},
    {"File As", kNone},
    {"Organization Name", Text(&R::company)},
    {"Organization Title", Text(&R::title)},
    {"Organization Department", Text(&R::department)},
    {"Photo", kNone},
    {"Labels", Is(Target::kLabels)},
};

bool SameName(const std::string& a, const char* b)
{
    size_t n = std::strlen(b);
    if (a.size() != n)
        return false;
    for (size_t i = 0; i < n; ++i) {
        char x = a[i] >= 'A' && a[i] <= 'Z' ? static_cast<char>(a[i] + 32) : a[i];
        char y = b[i] >= 'A' && b[i] <= 'Z' ? static_cast<char>(b[i] + 32) : b[i];
        if (x != y)
            return false;
    }
    return true;
}

// "<Kind> <n> - <Cell>", Google's numbered groups.
bool GoogleField(const std::string& name, CField* field)
{
    static const struct {
        const char* prefix;
        GoogleKind kind;
    } kinds[] = {{"E-mail ", GoogleKind::kEmail},         {"Phone ", GoogleKind::kPhone},
                 {"Address ", GoogleKind::kAddress},       {"Organization ", GoogleKind::kOrganization},
                 {"Website ", GoogleKind::kWebsite},       {"IM ", GoogleKind::kOther},
                 {"Relation ", GoogleKind::kOther},        {"Event ", GoogleKind::kOther},
                 {"Custom Field ", GoogleKind::kOther},    {"External ID ", GoogleKind::kOther},
                 {"Jot ", GoogleKind::kOther}};
    static const struct {
        const char* name;
        GoogleCell cell;
    } cells[] = {{"Type", GoogleCell::kType},
                 {"Label", GoogleCell::kType},
                 {"Value", GoogleCell::kValue},
                 {"Formatted", GoogleCell::kFormatted},
                 {"Street", GoogleCell::kStreet},
                 {"City", GoogleCell::kCity},
                 {"PO Box", GoogleCell::kPoBox},
                 {"Region", GoogleCell::kRegion},
                 {"Postal Code", GoogleCell::kPostalCode},
                 {"Country", GoogleCell::kCountry},
                 {"Extended Address", GoogleCell::kExtended},
                 {"Name", GoogleCell::kName},
                 {"Title", GoogleCell::kTitle},
                 {"Department", GoogleCell::kDepartment}};
    for (const auto& k : kinds) {
        size_t n = std::strlen(k.prefix);
        if (name.size() <= n || !SameName(name.substr(0, n), k.prefix))
            continue;
        size_t at = n;
        int number = 0;
        while (at < name.size() && name[at] >= '0' && name[at] <= '9' && number < 100000)
            number = number * 10 + (name[at++] - '0');
        if (at == n || name.compare(at, 3, " - ") != 0)
            return false;
        std::string rest = name.substr(at + 3);
        field->target = Target::kGoogle;
        field->googleKind = k.kind;
        field->googleNumber = number;
        field->googleCell = GoogleCell::kIgnored;
        for (const auto& c : cells) {
            if (SameName(rest, c.name))
                field->googleCell = c.cell;
        }
        if (k.kind == GoogleKind::kOther || field->googleCell == GoogleCell::kIgnored)
            field->target = Target::kNone;
        return true;
    }
    return false;
}

}  // namespace

const CColumn* WrittenColumns(size_t* count)
{
    *count = sizeof(kWritten) / sizeof(kWritten[0]);
    return kWritten;
}

std::vector<const CColumn*> MappableColumns()
{
    std::vector<const CColumn*> columns;
    for (const CColumn& c : kWritten) {
        if (c.field.target != Target::kNone)
            columns.push_back(&c);
    }
    return columns;
}

CField FieldByHeader(const std::string& header)
{
    size_t begin = 0, end = header.size();
    while (begin < end && (header[begin] == ' ' || header[begin] == '\t'))
        ++begin;
    while (end > begin && (header[end - 1] == ' ' || header[end - 1] == '\t'))
        --end;
    const std::string name = header.substr(begin, end - begin);
    for (const CColumn& c : kWritten) {
        if (SameName(name, c.name))
            return c.field;
    }
    for (const CColumn& c : kAliases) {
        if (SameName(name, c.name))
            return c.field;
    }
    CField google;
    if (GoogleField(name, &google))
        return google;
    return CField();
}

}  // namespace csv
