#include "standins/wab32/propnames.h"

#include <cstdlib>
#include <cstring>

namespace wabstandin {

const GUID kPsetidAddress = {0x00062004, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};

namespace {

struct CPropName {
    const char* name;
    ULONG tag;
};

// First name of a tag wins when a tag is printed.
const CPropName kNames[] = {
    {"PR_DISPLAY_NAME", 0x3001001F},
    {"PR_ADDRTYPE", 0x3002001F},
    {"PR_EMAIL_ADDRESS", 0x3003001F},
    {"PR_COMMENT", 0x3004001F},
    {"PR_LAST_MODIFICATION_TIME", 0x30080040},
    {"PR_GIVEN_NAME", 0x3A06001F},
    {"PR_BUSINESS_TELEPHONE_NUMBER", 0x3A08001F},
    {"PR_HOME_TELEPHONE_NUMBER", 0x3A09001F},
    {"PR_SURNAME", 0x3A11001F},
    {"PR_COMPANY_NAME", 0x3A16001F},
    {"PR_TITLE", 0x3A17001F},
    {"PR_DEPARTMENT_NAME", 0x3A18001F},
    {"PR_OFFICE_LOCATION", 0x3A19001F},
    {"PR_MOBILE_TELEPHONE_NUMBER", 0x3A1C001F},
    {"PR_PAGER_TELEPHONE_NUMBER", 0x3A21001F},
    {"PR_BUSINESS_FAX_NUMBER", 0x3A24001F},
    {"PR_HOME_FAX_NUMBER", 0x3A25001F},
    {"PR_BUSINESS_ADDRESS_COUNTRY", 0x3A26001F},
    {"PR_COUNTRY", 0x3A26001F},
    {"PR_BUSINESS_ADDRESS_CITY", 0x3A27001F},
    {"PR_LOCALITY", 0x3A27001F},
    {"PR_BUSINESS_ADDRESS_STATE_OR_PROVINCE", 0x3A28001F},
    {"PR_STATE_OR_PROVINCE", 0x3A28001F},
    {"PR_BUSINESS_ADDRESS_STREET", 0x3A29001F},
    {"PR_STREET_ADDRESS", 0x3A29001F},
    {"PR_BUSINESS_ADDRESS_POSTAL_CODE", 0x3A2A001F},
    {"PR_POSTAL_CODE", 0x3A2A001F},
    {"PR_WEDDING_ANNIVERSARY", 0x3A410040},
    {"PR_BIRTHDAY", 0x3A420040},
    {"PR_MIDDLE_NAME", 0x3A44001F},
    {"PR_DISPLAY_NAME_PREFIX", 0x3A45001F},
    {"PR_SPOUSE_NAME", 0x3A48001F},
    {"PR_GENDER", 0x3A4D0002},
    {"PR_NICKNAME", 0x3A4F001F},
    {"PR_PERSONAL_HOME_PAGE", 0x3A50001F},
    {"PR_BUSINESS_HOME_PAGE", 0x3A51001F},
    {"PR_CONTACT_ADDRTYPES", 0x3A54101F},
    {"PR_CONTACT_DEFAULT_ADDRESS_INDEX", 0x3A550003},
    {"PR_CONTACT_EMAIL_ADDRESSES", 0x3A56101F},
    {"PR_CHILDRENS_NAMES", 0x3A58101F},
    {"PR_HOME_ADDRESS_CITY", 0x3A59001F},
    {"PR_HOME_ADDRESS_COUNTRY", 0x3A5A001F},
    {"PR_HOME_ADDRESS_POSTAL_CODE", 0x3A5B001F},
    {"PR_HOME_ADDRESS_STATE_OR_PROVINCE", 0x3A5C001F},
    {"PR_HOME_ADDRESS_STREET", 0x3A5D001F},
    {"PR_WAB_DL_ENTRIES", 0x80061102},
    {"PR_WAB_DL_ONEOFFS", 0x80541102},
};

}  // namespace

ULONG TagOfName(const std::string& name, bool* isNamed)
{
    if (isNamed)
        *isNamed = false;
    if (name == "ConferencingServers") {
        if (isNamed)
            *isNamed = true;
        return 0;
    }
    if (name.size() == 10 && (name.compare(0, 2, "0x") == 0 || name.compare(0, 2, "0X") == 0)) {
        char* end = nullptr;
        unsigned long v = std::strtoul(name.c_str() + 2, &end, 16);
        return *end ? 0 : static_cast<ULONG>(v);
    }
    std::string base = name;
    if (base.size() > 2 && (base.compare(base.size() - 2, 2, "_W") == 0 || base.compare(base.size() - 2, 2, "_A") == 0))
        base.resize(base.size() - 2);
    for (const auto& n : kNames)
        if (base == n.name)
            return n.tag;
    return 0;
}

std::string NameOfTag(ULONG tag)
{
    for (const auto& n : kNames)
        if ((n.tag >> 16) == (tag >> 16))
            return n.name;
    return std::string();
}

}  // namespace wabstandin
