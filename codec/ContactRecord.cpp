#include "codec/ContactRecord.h"

// Both bind every member by name: a member added to the record and not here does not compile.

std::vector<const std::wstring*> CContactRecord::Texts() const
{
    [[maybe_unused]] const auto& [given, middle, sur, prefix, display, nick, suffix, org, dept, job, note, work, home,
                                  workPhone, workFax, homePhone, homeFax, mobile, pagerNumber, homePage, workPage,
                                  addresses, types, index, address, type, spouseName, servers, childNames, hasSex,
                                  sex, birth, wedding, changed] = *this;
    std::vector<const std::wstring*> texts = {&given, &middle, &sur, &prefix, &display, &nick, &suffix, &org,
                                              &dept, &job, &note, &workPhone, &workFax, &homePhone, &homeFax,
                                              &mobile, &pagerNumber, &homePage, &workPage, &address, &type,
                                              &spouseName};
    for (const std::wstring* parts : {work, home}) {
        for (int i = 0; i < kAddressParts; ++i)
            texts.push_back(&parts[i]);
    }
    for (const std::vector<std::wstring>* list : {&addresses, &types, &servers, &childNames}) {
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

void CContactRecord::Clear()
{
    auto& [given, middle, sur, prefix, display, nick, suffix, org, dept, job, note, work, home, workPhone, workFax,
           homePhone, homeFax, mobile, pagerNumber, homePage, workPage, addresses, types, index, address, type,
           spouseName, servers, childNames, hasSex, sex, birth, wedding, changed] = *this;
    for (std::wstring* text : {&given, &middle, &sur, &prefix, &display, &nick, &suffix, &org, &dept, &job, &note,
                               &workPhone, &workFax, &homePhone, &homeFax, &mobile, &pagerNumber, &homePage,
                               &workPage, &address, &type, &spouseName})
        text->clear();
    for (std::wstring* parts : {work, home}) {
        for (int i = 0; i < kAddressParts; ++i)
            parts[i].clear();
    }
    for (std::vector<std::wstring>* list : {&addresses, &types, &servers, &childNames})
        list->clear();
    index = -1;
    hasSex = false;
    sex = 0;
    birth = wedding = changed = CContactDate();
}
