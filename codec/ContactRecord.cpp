#include "codec/ContactRecord.h"

// Both bind every member by name: a member added to the record and not here does not compile.

std::vector<const std::wstring*> CContactRecord::Texts() const
{
    [[maybe_unused]] const auto& [given, middle, sur, prefix, display, nick, suffix, org, dept, job, note, assist,
                                  boss, work, home, otherAddress, workPhone, workFax, homePhone, homeFax, mobile,
                                  pagerNumber, car, primary, work2, home2, otherTel, main, callback, isdn, radio,
                                  telex, tty, assistTel, otherFaxNumber, homePage, workPage, addresses, types, index,
                                  address, type, spouseName, servers, childNames, groupNames, certs, group,
                                  oneOffNames, oneOffAddresses, hasSex, sex, birth, wedding, changed] = *this;
    std::vector<const std::wstring*> texts = {
        &given,     &middle, &sur,   &prefix,    &display,        &nick,     &suffix,  &org,    &dept,
        &job,       &note,   &assist, &boss,     &workPhone,      &workFax,  &homePhone, &homeFax, &mobile,
        &pagerNumber, &car,  &primary, &work2,   &home2,          &otherTel, &main,    &callback, &isdn,
        &radio,     &telex,  &tty,   &assistTel, &otherFaxNumber, &homePage, &workPage, &address, &type,
        &spouseName};
    for (const std::wstring* parts : {work, home, otherAddress}) {
        for (int i = 0; i < kAddressParts; ++i)
            texts.push_back(&parts[i]);
    }
    for (const std::vector<std::wstring>* list :
         {&addresses, &types, &servers, &childNames, &groupNames, &oneOffNames, &oneOffAddresses}) {
        for (const std::wstring& s : *list)
            texts.push_back(&s);
    }
    return texts;
}

std::vector<std::wstring*> CContactRecord::Texts()
{
    std::vector<std::wstring*> texts;
    for (const std::wstring* s : static_cast<const CContactRecord*>(this)->Texts())
        texts.push_back(const_cast<std::wstring*>(s));
    return texts;
}

void CContactRecord::DefaultToFirstEmail()
{
    if (emails.empty())
        return;
    defaultAddressIndex = 0;
    emailAddress = emails[0];
    if (!emailTypes.empty())
        addrType = emailTypes[0];
}

std::wstring CContactRecord::Name() const
{
    if (!displayName.empty())
        return displayName;
    std::wstring name;
    for (const std::wstring* part : {&givenName, &middleName, &surname, &company}) {
        if (!part->empty())
            name += (name.empty() ? L"" : L" ") + *part;
    }
    return name;
}

void CContactRecord::Clear()
{
    for (std::wstring* text : Texts())
        text->clear();
    for (std::vector<std::wstring>* list :
         {&emails, &emailTypes, &conferencingServers, &children, &groups, &oneOffNames, &oneOffAddresses})
        list->clear();
    certificates.clear();
    isGroup = false;
    defaultAddressIndex = -1;
    hasGender = false;
    gender = 0;
    birthday = anniversary = modified = CContactDate();
}
