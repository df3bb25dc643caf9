// Whole runs, as a user makes them: an address book exported through the real export dialog and
// the files imported through the real import dialog into a fresh folder, compared property by
// property; and real-world cards from other projects imported, exported and imported again.
// Each prints how many properties it compared and how many changed.
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "common/text.h"
#include "contact/CharConverter.h"
#include "contact/Contact.h"
#include "contact/ContactFields.h"
#include "exportsupport.h"
#include "standins/wab32/wabstandin.h"
#include "ui/DlgExport.h"
#include "ui/dialogdriver.h"
#include "ui/resource.h"
#include "vcard/export/vCardExport.h"
#include "vcard/import/vCardImport.h"
#include "wab/WABLib.h"

using namespace exporttest;
using namespace contact_tags;

namespace {

// Every value of a contact the card carries, as the writer reads it (the modification time
// excepted, which the import does not keep), with the names of the folder's groups it is in.
std::vector<CContactRecord> FolderFields(const std::string& folder)
{
    std::vector<CWabGroup> groups;
    EXPECT_EQ(g_wabLib.GetGroups(folder.c_str(), &groups), S_OK);
    std::vector<CContactRecord> out;
    for (const testsupport::COpenedItem& item : testsupport::OpenItems(folder)) {
        CContact contact(item.entry.Get());
        out.emplace_back();
        contact_fields::ReadContact(contact, &out.back());
        for (const CWabGroup& group : groups) {
            if (std::find(group.members.begin(), group.members.end(), item.id) != group.members.end())
                out.back().groups.push_back(group.name);
        }
        std::sort(out.back().groups.begin(), out.back().groups.end());
    }
    return out;
}

// One value of a contact, as text, for counting and for the failure message.
struct Value {
    std::string name;
    std::wstring text;
};

std::vector<Value> Values(const CContactRecord& f)
{
    std::vector<Value> v;
    auto add = [&v](const char* name, const std::wstring& text) { v.push_back({name, text}); };
    auto list = [](const std::vector<std::wstring>& l) {
        std::wstring joined;
        for (const std::wstring& s : l)
            joined += L"[" + s + L"]";
        return joined;
    };
    add("surname", f.surname);
    add("givenName", f.givenName);
    add("middleName", f.middleName);
    add("namePrefix", f.namePrefix);
    add("displayName", f.displayName);
    add("nickname", f.nickname);
    add("company", f.company);
    add("department", f.department);
    add("title", f.title);
    add("comment", f.comment);
    add("businessPhone", f.businessPhone);
    add("businessFax", f.businessFax);
    add("homePhone", f.homePhone);
    add("homeFax", f.homeFax);
    add("mobilePhone", f.mobilePhone);
    add("pager", f.pager);
    add("officeLocation", f.business[CContactRecord::kExtended]);
    add("businessStreet", f.business[CContactRecord::kStreet]);
    add("businessCity", f.business[CContactRecord::kLocality]);
    add("businessState", f.business[CContactRecord::kRegion]);
    add("businessPostalCode", f.business[CContactRecord::kPostalCode]);
    add("businessCountry", f.business[CContactRecord::kCountry]);
    add("homeStreet", f.home[CContactRecord::kStreet]);
    add("homeCity", f.home[CContactRecord::kLocality]);
    add("homeState", f.home[CContactRecord::kRegion]);
    add("homePostalCode", f.home[CContactRecord::kPostalCode]);
    add("homeCountry", f.home[CContactRecord::kCountry]);
    add("personalHomePage", f.personalHomePage);
    add("businessHomePage", f.businessHomePage);
    add("emailAddress", f.emailAddress);
    add("addrType", f.addrType);
    add("emailAddresses", list(f.emails));
    add("addrTypes", list(f.emailTypes));
    add("defaultAddressIndex", f.emails.empty() ? L"" : std::to_wstring(f.defaultAddressIndex));
    add("conferencingServers", list(f.conferencingServers));
    add("spouse", f.spouse);
    add("gender", f.hasGender ? std::to_wstring(f.gender) : L"");
    add("children", list(f.children));
    add("birthday", f.birthday.present ? std::to_wstring(f.birthday.fileTime) : L"");
    add("anniversary", f.anniversary.present ? std::to_wstring(f.anniversary.fileTime) : L"");
    add("nameSuffix", f.nameSuffix);
    add("assistant", f.assistant);
    add("manager", f.manager);
    add("businessPoBox", f.business[CContactRecord::kPoBox]);
    add("homePoBox", f.home[CContactRecord::kPoBox]);
    const char* const otherParts[] = {"otherPoBox", "", "otherStreet", "otherCity", "otherState", "otherPostalCode",
                                      "otherCountry"};
    for (int i = 0; i < CContactRecord::kAddressParts; ++i) {
        if (i != CContactRecord::kExtended)
            add(otherParts[i], f.other[i]);
    }
    const std::pair<const char*, const std::wstring*> phones[] = {
        {"carPhone", &f.carPhone},         {"primaryPhone", &f.primaryPhone},   {"business2Phone", &f.business2Phone},
        {"home2Phone", &f.home2Phone},     {"otherPhone", &f.otherPhone},       {"companyMainPhone", &f.companyMainPhone},
        {"callbackPhone", &f.callbackPhone}, {"isdnNumber", &f.isdnNumber},     {"radioPhone", &f.radioPhone},
        {"telexNumber", &f.telexNumber},   {"ttyTddPhone", &f.ttyTddPhone},     {"assistantPhone", &f.assistantPhone},
        {"otherFax", &f.otherFax}};
    for (const auto& phone : phones)
        add(phone.first, *phone.second);
    std::wstring certificates;
    for (const std::string& c : f.certificates)
        certificates += L"[" + std::wstring(c.begin(), c.end()) + L"]";
    add("certificates", certificates);
    add("groups", list(f.groups));
    return v;
}

struct Tally {
    int compared = 0;
    int changed = 0;
    std::vector<std::string> changes;
    std::vector<std::pair<std::wstring, std::wstring>> values;  // before and after, per change
};

// 3.0 writes every line break as \n, which reads back as CR LF.
std::wstring LineBreaksAs30(std::wstring text)
{
    for (size_t at = 0; (at = text.find(L'\n', at)) != std::wstring::npos; ++at) {
        if (at == 0 || text[at - 1] != L'\r')
            text.insert(at++, 1, L'\r');
    }
    return text;
}

// Contacts compared in order; a property counts when either side has it.
void Compare(const std::vector<CContactRecord>& before, const std::vector<CContactRecord>& after,
             Tally* tally)
{
    EXPECT_EQ(before.size(), after.size());
    for (size_t i = 0; i < before.size(); ++i) {
        std::vector<Value> a = Values(before[i]);
        std::vector<Value> b = i < after.size() ? Values(after[i]) : std::vector<Value>(a.size());
        for (size_t k = 0; k < a.size(); ++k) {
            if (a[k].text.empty() && b[k].text.empty())
                continue;
            ++tally->compared;
            if (a[k].text != b[k].text) {
                ++tally->changed;
                tally->values.emplace_back(a[k].text, b[k].text);
                tally->changes.push_back("contact " + std::to_string(i) + " " + a[k].name + ": \"" +
                                         common::ToUtf8(a[k].text) + "\" -> \"" + common::ToUtf8(b[k].text) + "\"");
            }
        }
    }
}

class BookRoundTrip : public ::testing::Test {
protected:
    void SetUp() override
    {
        LoadEncodings();
        ASSERT_TRUE(m_book.ok());
    }

    // The export dialog (all cards in one file, so that they come back in their order; format
    // "2.1", "3.0" or "CSV") and the
    // import dialog into a new folder, each as the user meets it: the choices stored from the
    // last time, OK, and OK on the closing message. The new folder's identifier.
    std::string ExportAndImport(const std::string& folder, const char* format, const char* encoding,
                                const std::string& newFolder)
    {
        testsupport::CTempDir files;
        const char* key = "Software\\Brisco\\Quillon";
        EXPECT_TRUE(testsupport::SetRegString(HKEY_CURRENT_USER, key, "Export.WABFolderID", folder));
        EXPECT_TRUE(testsupport::SetRegDword(HKEY_CURRENT_USER, key, "Export.WABAllFolders", 0));
        EXPECT_TRUE(testsupport::SetRegString(HKEY_CURRENT_USER, key, "Export.WinFolder", files.path()));
        const DWORD formatIndex = std::string(format) == "CSV" ? 2 : std::string(format) == "3.0" ? 1 : 0;
        EXPECT_TRUE(testsupport::SetRegDword(HKEY_CURRENT_USER, key, "Export.Format", formatIndex));
        EXPECT_TRUE(testsupport::SetRegString(HKEY_CURRENT_USER, key, "Export.Encoding", encoding));
        EXPECT_TRUE(testsupport::SetRegDword(HKEY_CURRENT_USER, key, "Export.SaveInOneFile", 1));
        EXPECT_TRUE(testsupport::SetRegDword(HKEY_CURRENT_USER, key, "Export.GroupCards", 1));
        CvCardExport run;
        uitest::RunDriven([&] { return static_cast<INT_PTR>(run.RunExport(nullptr, nullptr)); },
                          [] { Confirm("Export", "Export completed successfully."); });
        return Import(files.path(), newFolder, "Import completed successfully.");
    }

    // closing: the closing message expected, or null for any (one real-world file holds a card
    // without its BEGIN line, which is not imported).
    std::string Import(const std::string& source, const std::string& newFolder, const char* closing = nullptr)
    {
        std::string target = m_book.AddFolder(std::wstring(newFolder.begin(), newFolder.end()));
        const char* key = "Software\\Brisco\\Quillon";
        EXPECT_TRUE(testsupport::SetRegString(HKEY_CURRENT_USER, key, "Import.WABFolderID", target));
        EXPECT_TRUE(testsupport::SetRegString(HKEY_CURRENT_USER, key, "Import.WinFolder", source));
        EXPECT_TRUE(testsupport::SetRegDword(HKEY_CURRENT_USER, key, "Import.ConflictResolution", 0));
        testsupport::CBoxWatch reader(L"Quillon");  // the encodings file's warnings, if any
        CvCardImport run;
        uitest::RunDriven([&] { return static_cast<INT_PTR>(run.Execute(nullptr, nullptr)); },
                          [closing] { Confirm("Import", closing); });
        return target;
    }

    // OK on the dialog and on its closing message, which must say closing when it is given.
    static void Confirm(const char* dialogTitle, const char* closing)
    {
        HWND dialog = uitest::WaitDialog(dialogTitle);
        ASSERT_NE(nullptr, dialog) << dialogTitle;
        ASSERT_TRUE(testsupport::PressOkWhenEnabled(dialog));
        HWND box = uitest::WaitDialog("Quillon for Outlook Express", "", 60000);
        ASSERT_NE(nullptr, box) << "no closing message";
        if (closing) {
            EXPECT_EQ(closing, testsupport::DialogStaticText(box));
        }
        testsupport::PostClick(box, IDOK);
    }

    testsupport::CClearedValues m_settings{testsupport::kQuillonKey, testsupport::kDialogSettings};
    CScratchBook m_book;
};

// Values with every character that has a meaning in a card, in several scripts.
const wchar_t* const kValues[] = {
    L"Lee", L"Ann", L"O'Neil; Jr.", L"a,b", L"back\\slash", L"ends with\\", L"semi;", L";", L"=", L"a=3Db",
    L"ends=", L"co:lon", L"tab\there", L"two\r\nlines", L"lf\nonly", L"\u0418\u0432\u0430\u043d",
    L"\u5c71\u7530 \u592a\u90ce", L"\u30bd\u8868\u30dd|", L"caf\u00e9", L"x\\;y\\,z",
    L"a very long value that goes on well beyond the seventy-six bytes of a folded line, and on",
    L"Acme, Inc.; R&D", L"+1 (555) 010-0199", L"http://example.com/a,b;c=d",
};

}  // namespace

TEST_F(BookRoundTrip, AnAddressBookComesBackWhole)
{
    const size_t n = sizeof(kValues) / sizeof(kValues[0]);
    const ULONG servers = m_book.ConferencingTag();
    std::string folder = m_book.AddFolder(L"Varied");
    const ULONG texts[] = {kSurname, kGivenName, kMiddleName, kDisplayNamePrefix, kDisplayName, kCompanyName,
                           kDepartmentName, kTitle, kComment, kBusinessTelephoneNumber, kBusinessFaxNumber,
                           kHomeTelephoneNumber, kHomeFaxNumber, kMobileTelephoneNumber, kPagerTelephoneNumber,
                           kOfficeLocation, kBusinessAddressStreet, kBusinessAddressCity,
                           kBusinessAddressStateOrProvince, kBusinessAddressPostalCode, kBusinessAddressCountry,
                           kHomeAddressStreet, kHomeAddressCity, kHomeAddressStateOrProvince,
                           kHomeAddressPostalCode, kHomeAddressCountry, kPersonalHomePage, kBusinessHomePage,
                           kSpouseName, kGeneration, kAssistant, kManagerName, kPostOfficeBox,
                           kHomeAddressPostOfficeBox, kOtherAddressPostOfficeBox, kOtherAddressStreet,
                           kOtherAddressCity, kOtherAddressStateOrProvince, kOtherAddressPostalCode,
                           kOtherAddressCountry, kCarTelephoneNumber, kPrimaryTelephoneNumber,
                           kBusiness2TelephoneNumber, kHome2TelephoneNumber, kOtherTelephoneNumber,
                           kCompanyMainPhoneNumber, kCallbackTelephoneNumber, kIsdnNumber, kRadioTelephoneNumber,
                           kTelexNumber, kTtyTddPhoneNumber, kAssistantTelephoneNumber, kPrimaryFaxNumber};
    // Groups named with the characters a list of names must escape, and in other scripts (each
    // name's first character tells it from the others in every code page, so that the sorted
    // names keep their order through any of them). Contact i is in the groups g with
    // (i + g) % 3 == 0: in several, and some contacts in none.
    const wchar_t* const groupNames[] = {L"Friends", L"a,b", L"semi;colon", L"back\\slash", L"x\\;y\\,z",
                                         L"y\u0418\u0432\u0430\u043d", L"z\u5c71\u7530 \u592a\u90ce"};
    const size_t groupCount = sizeof(groupNames) / sizeof(groupNames[0]);
    std::vector<std::vector<std::string>> members(groupCount);
    const size_t contacts = 30;
    for (size_t i = 0; i < contacts; ++i) {
        std::vector<Prop> props;
        // Each contact gets its own mix: property k holds value i + k.
        for (size_t k = 0; k < sizeof(texts) / sizeof(texts[0]); ++k)
            props.emplace_back(texts[k], std::wstring(kValues[(i + k) % n]));
        props.emplace_back(kNickname, L"key" + std::to_wstring(i));  // tells the contacts apart
        std::wstring mail = L"m" + std::to_wstring(i) + L"@example.com";
        props.emplace_back(kEmailAddress, mail);
        props.emplace_back(kAddrType, std::wstring(L"SMTP"));
        props.emplace_back(kContactEmailAddresses, std::vector<std::wstring>{mail, L"second@example.com"});
        props.emplace_back(kContactAddrTypes, std::vector<std::wstring>{L"SMTP", L"SMTP"});
        props.push_back(Prop::Number(kContactDefaultAddressIndex, 0));
        props.emplace_back(servers, std::vector<std::wstring>{kValues[i % n], L"callto://b"});
        props.emplace_back(kChildrensNames, std::vector<std::wstring>{kValues[(i + 3) % n], L"Sue"});
        props.push_back(Prop::Number(kGender, 1 + static_cast<long>(i % 2)));
        props.emplace_back(kBirthday, FileTime(1970 + static_cast<int>(i), 1 + static_cast<int>(i % 12), 28));
        props.emplace_back(kWeddingAnniversary, FileTime(2000, 2, 29));
        props.push_back(Prop::Blobs(kUserX509Certificate, {std::string("\x30\x03\x02\x01", 4) + static_cast<char>(i),
                                                            "\x30" + std::string(299, static_cast<char>(0x30 + i))}));
        std::string id = m_book.AddContact(props, folder);
        for (size_t g = 0; g < groupCount; ++g) {
            if ((i + g) % 3 == 0 && i < contacts - 1)
                members[g].push_back(id);
        }
    }
    for (size_t g = 0; g < groupCount; ++g)
        m_book.AddGroup(folder, groupNames[g], members[g]);
    // What only the groups' own cards carry: an empty group, and addresses a group keeps itself.
    m_book.AddGroup(folder, L"Empty", {});
    std::string club;
    {
        const std::string id = m_book.AddGroup(folder, L"Club; \"B\"", {members[0].front()});
        club = id;
        ASSERT_EQ(S_OK, g_wabLib.AddGroupOneOffs(id.c_str(), {L"Cy \"C\"", L""}, {L"cy@x.org", L"dee@y.org"}));
    }
    auto groupsOf = [](const std::string& f) {
        std::vector<CWabGroup> groups;
        EXPECT_EQ(S_OK, g_wabLib.GetGroups(f.c_str(), &groups));
        std::vector<std::wstring> out;  // name, member count and the addresses it keeps
        for (const CWabGroup& g : groups) {
            std::wstring line = g.name + L":" + std::to_wstring(g.members.size());
            for (size_t i = 0; i < g.oneOffAddresses.size(); ++i)
                line += L"|" + g.oneOffNames[i] + L"<" + g.oneOffAddresses[i] + L">";
            out.push_back(line);
        }
        std::sort(out.begin(), out.end());
        return out;
    };
    const std::vector<std::wstring> groupsBefore = groupsOf(folder);
    std::vector<CContactRecord> before = FolderFields(folder);
    ASSERT_EQ(contacts, before.size());

    struct Run {
        const char* format;
        const char* encoding;  // display name in the encodings list
        int codePage;
    } runs[] = {
        {"2.1", "Unicode (UTF-8)", 65001},          {"3.0", "Unicode (UTF-8)", 65001},
        {"2.1", "Cyrillic (Windows)", 1251},        {"3.0", "Cyrillic (Windows)", 1251},
        {"2.1", "Japanese (Shift-JIS)", 932},       {"3.0", "Japanese (Shift-JIS)", 932},
        {"2.1", "Western European (Windows)", 1252}, {"3.0", "Western European (Windows)", 1252},
        // A CSV file names no encoding: the import reads UTF-8 by its mark, else the ANSI code page.
        {"CSV", "Unicode (UTF-8)", 65001},          {"CSV", "Western European (Windows)", 1252},
    };
    Tally all, unicode;
    for (const Run& r : runs) {
        SCOPED_TRACE(std::string(r.format) + " " + r.encoding);
        std::string imported = ExportAndImport(folder, r.format, r.encoding, std::string("Imported ") + r.format +
                                                                                   " " + std::to_string(r.codePage));
        Tally t;
        Compare(before, FolderFields(imported), &t);
        if (r.codePage == 65001 && std::string(r.format) != "CSV") {
            // The quote inside the kept address's name cannot be written in a parameter.
            std::vector<std::wstring> expected = groupsBefore;
            for (std::wstring& line : expected) {
                size_t at = line.find(L"Cy \"C\"");
                if (at != std::wstring::npos)
                    line.replace(at, 6, L"Cy C");
            }
            EXPECT_EQ(expected, groupsOf(imported));
        }
        std::printf("[ figures  ] address book -> %s%s %s -> address book: %d properties compared, %d changed\n",
                    std::string(r.format) == "CSV" ? "" : "vCard ", r.format, r.codePage == 65001 ? "UTF-8" : r.encoding, t.compared,
                    t.changed);
        all.compared += t.compared;
        all.changed += t.changed;
        // Nothing may change but the characters the code page lacks, and a lone LF of 3.0,
        // which the format can only write as a line break (read back as CR LF).
        bool is30 = std::string(r.format) == "3.0";
        for (size_t i = 0; i < t.values.size(); ++i) {
            std::wstring expected = ThroughCodePage(t.values[i].first, r.codePage);
            if (is30)
                expected = LineBreaksAs30(expected);
            EXPECT_EQ(expected, t.values[i].second) << t.changes[i];
        }
    }
    std::printf("[ figures  ] address book round trips in all: %d properties compared, %d changed\n", all.compared,
                all.changed);
}

TEST_F(BookRoundTrip, RealWorldCardsKeepWhatTheAddressBookHolds)
{
    const std::string root = QUILLON_INTEROP_VCARDS;
    // A checkout on its own has no shared folder beside it.
    if (::GetFileAttributesA(root.c_str()) == INVALID_FILE_ATTRIBUTES)
        GTEST_SKIP() << "the folder " << root << " of other programs' vCards is missing";
    WIN32_FIND_DATAA fd;
    HANDLE find = ::FindFirstFileA((root + "\\*").c_str(), &fd);
    ASSERT_NE(INVALID_HANDLE_VALUE, find) << root;
    std::vector<std::string> folders;
    do {
        if ((fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && fd.cFileName[0] != '.')
            folders.push_back(fd.cFileName);
    } while (::FindNextFileA(find, &fd));
    ::FindClose(find);
    ASSERT_FALSE(folders.empty());

    for (const char* format : {"2.1", "3.0"}) {
        Tally t;
        for (const std::string& name : folders) {
            SCOPED_TRACE(name + " " + format);
            std::string first = Import(root + "\\" + name, name + " " + format);
            std::string second = ExportAndImport(first, format, "Unicode (UTF-8)", name + " again " + format);
            Compare(FolderFields(first), FolderFields(second), &t);
        }
        // Changes the formats make on purpose: a card always has an FN, made from the name parts
        // when the contact has no display name; 3.0 has one form of line break (\n, read back as
        // CR LF); and an address whose card named no Internet type is stored with an empty type,
        // which a card can only write as no type, the Internet one.
        int designed = 0;
        for (const std::string& change : t.changes) {
            bool fn = change.find(" displayName: \"\" -> ") != std::string::npos;
            std::string was = change.substr(0, change.find("\" -> \""));
            bool lf = false;
            for (size_t at = 0; (at = was.find('\n', at)) != std::string::npos; ++at)
                lf = lf || (at > 0 && was[at - 1] != '\r');
            lf = lf && std::string(format) == "3.0";
            bool type = change.find(" addrType") != std::string::npos;
            if (fn || lf || type)
                ++designed;
            else
                ADD_FAILURE() << format << ": " << change;
        }
        std::printf("[ figures  ] real-world cards -> address book -> vCard %s UTF-8 -> address book: "
                    "%d properties compared, %d changed (%d of them by the formats' own rules)\n",
                    format, t.compared, t.changed, designed);
    }
}
