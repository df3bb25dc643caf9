// The CSV column table: which column of a contacts CSV holds which member of the contact record.
// The writer writes Outlook's columns in Outlook's order, then one column for each field Outlook
// has none for; the reader recognises those names and the names the other programs' exports
// write (the Address Book's and Windows Contacts', Google Contacts' two sets, Thunderbird's), so
// that a file of any of them imports without the user assigning columns. Header names are
// matched without regard to case and surrounding blanks.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "codec/ContactRecord.h"

namespace csv {

// What a column's cells go into.
enum class Target {
    kUnknown,       // a name no set we know has
    kNone,          // a known column whose values no field of the address book keeps
    kText,          // a text member
    kAddressPart,   // one part of an address
    kStreetLine,    // line `index` (0-2) of an address's street, joined with CR LF
    kDate,          // birthday or anniversary
    kCategories,    // the groups, joined with ";" (Outlook)
    kLabels,        // the groups, joined with " ::: ", system groups starting "* " left out (Google)
    kEmail,         // the address of e-mail `index` (0-based)
    kEmailType,     // its address type
    kMoreEmails,    // addresses beyond the third, joined with ";"
    kMoreEmailTypes,
    kGender,        // "Male", "Female", "Unspecified"
    kList,          // a list member, joined with ";"
    kCertificates,  // Digital IDs, base64 of each, joined with ";"
    kBirthYear,     // Thunderbird's three birthday columns
    kBirthMonth,
    kBirthDay,
    kGoogle,        // one cell of Google's numbered groups ("Phone 1 - Value")
};

// Google's numbered groups and the cells of one.
enum class GoogleKind { kEmail, kPhone, kAddress, kOrganization, kWebsite, kOther };
enum class GoogleCell { kType, kValue, kFormatted, kStreet, kCity, kPoBox, kRegion, kPostalCode, kCountry,
                        kExtended, kName, kTitle, kDepartment, kIgnored };

struct CField {
    Target target = Target::kUnknown;
    std::wstring CContactRecord::*text = nullptr;
    std::wstring (CContactRecord::*address)[CContactRecord::kAddressParts] = nullptr;
    std::vector<std::wstring> CContactRecord::*list = nullptr;
    CContactDate CContactRecord::*date = nullptr;
    int index = 0;  // address part, street line or e-mail number
    GoogleKind googleKind = GoogleKind::kOther;
    GoogleCell googleCell = GoogleCell::kIgnored;
    int googleNumber = 0;
};

struct CColumn {
    const char* name;
    CField field;
};

// The columns the writer writes, in this order: Outlook's, then ours.
const CColumn* WrittenColumns(size_t* count);

// The written columns whose cells a field keeps: where the user may send a column no set knows.
std::vector<const CColumn*> MappableColumns();

// What a header cell names (trimmed, any case): written columns first, then the other sets'.
CField FieldByHeader(const std::string& name);

}  // namespace csv
