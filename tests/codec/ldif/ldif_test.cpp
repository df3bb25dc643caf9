// The LDIF reader: Thunderbird's address book as it writes it (tests/data/ldif), its groups
// turned into the members' group names, and files no program should write, each of which must
// still give every person entry it holds.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "codec/ldif/LdifReader.h"
#include "codecsupport.h"
#include "support/testsupport.h"

namespace {

struct CRead {
    std::vector<CContactRecord> records;
    std::string notes;
};

CRead Read(const std::string& bytes)
{
    codectest::CWinConverter decoder;
    CRead out;
    ldif::CLdifReader reader(decoder, [&out](const std::string& note) { out.notes += note + "\n"; });
    reader.Load(bytes.data(), bytes.size());
    size_t counted = reader.CountRecords();
    EXPECT_EQ(0, reader.ReadAll([&] {
        out.records.push_back(reader.Record());
        return 0;
    }));
    EXPECT_EQ(counted, out.records.size()) << "the counting pass and the reading disagree";
    return out;
}

}  // namespace

TEST(LdifText, ThunderbirdsAddressBookIsReadWithItsGroups)
{
    CRead read = Read(testsupport::ReadFileBytes(std::string(QUILLON_LDIF_DATA) + "/thunderbird.ldif"));
    ASSERT_EQ(3u, read.records.size()) << read.notes;
    const CContactRecord& r = read.records[0];
    using R = CContactRecord;
    const std::pair<const std::wstring*, const wchar_t*> texts[] = {
        {&r.givenName, L"Jos\u00e9"},
        {&r.surname, L"M\u00fcller"},
        {&r.displayName, L"Jos\u00e9 M\u00fcller"},
        {&r.nickname, L"Pepe"},
        {&r.businessPhone, L"+1 555 0100"},
        {&r.homePhone, L"555 0200"},
        {&r.businessFax, L"+1 555 0102"},
        {&r.pager, L"555 0103"},
        {&r.mobilePhone, L"+1 555 0101"},
        {&r.home[R::kStreet], L"2 Elm St"},
        {&r.home[R::kLocality], L"Shelbyville"},
        {&r.home[R::kRegion], L"IL"},
        {&r.home[R::kPostalCode], L"62565"},
        {&r.home[R::kCountry], L"USA"},
        {&r.business[R::kStreet], L"1 Main St\r\nSuite 5"},
        {&r.business[R::kLocality], L"Springfield"},
        {&r.business[R::kPostalCode], L"62701"},
        {&r.title, L"Engineer"},
        {&r.department, L"R&D"},
        {&r.company, L"Acme, Inc."},
        {&r.businessHomePage, L"http://work.example.com"},
        {&r.personalHomePage, L"http://home.example.com"},
        {&r.comment, L"Said hi\r\nTwice"},
        {&r.emailAddress, L"jose@example.com"},
    };
    for (const auto& t : texts)
        EXPECT_EQ(t.second, *t.first);
    EXPECT_EQ((std::vector<std::wstring>{L"jose@example.com", L"jm@example.org"}), r.emails);
    uint64_t birthday = 0;
    ASSERT_TRUE(vcard::FileTimeFromDate(1970, 5, 17, &birthday));
    EXPECT_TRUE(r.birthday.present);
    EXPECT_EQ(birthday, r.birthday.fileTime);
    EXPECT_EQ(std::vector<std::wstring>{L"Friends"}, r.groups);
    EXPECT_EQ((std::vector<std::wstring>{L"Friends", L"Work"}), read.records[1].groups);
    EXPECT_EQ(L"a long note that Thunderbird folds at seventy-six characters, so that the rest of it goes on the "
              L"next line behind one blank",
              read.records[1].comment);
    EXPECT_EQ(L"Pic", read.records[2].displayName);
    for (const char* note : {"1 change records skipped", "1 entries neither persons nor groups",
                             "1 values given by reference", "attribute \"nsaimid\"", "attribute \"mozillacustom1\"",
                             "1 group members name no person entry"})
        EXPECT_NE(std::string::npos, read.notes.find(note)) << note << "\n" << read.notes;
}

TEST(LdifText, BadInputGivesEveryPersonEntryAndSaysWhatWasNotRead)
{
    const std::string nul("dn: cn=A\nobjectclass: person\ncn: A\0nn\n", 38);
    std::string many = "dn: cn=Many\ncn: Many\n";
    for (int i = 0; i < 20000; ++i)
        many += "mail: m" + std::to_string(i) + "@example.com\n";
    const std::string huge = "dn: cn=Huge\ncn: Huge\ndescription: " + std::string(3 * 1024 * 1024, 'a') + "\n";
    const struct {
        const char* name;
        std::string bytes;
        size_t records;
        const char* note;
    } cases[] = {
        {"empty", "", 0, "holds no person entry"},
        {"binary", std::string("\x89PNG\r\n\x1a\n\0\0\0\rIHDR", 16), 0, "holds no person entry"},
        {"mixed line ends and no blank line at the end", "dn: cn=A\rcn: A\n\ndn: cn=B\r\ncn: B", 2, ""},
        {"NUL bytes", nul, 1, ""},
        {"bad base64", "dn: cn=A\ncn:: ###\nmail: a@example.com\n", 1, "base64 values that do not decode"},
        {"a line without a colon", "dn: cn=A\ncn: A\nnonsense\n", 1, "attribute \"(no attribute)\""},
        {"many values", many, 1, "entries with more than 10000 values"},
        {"a huge value", huge, 1, "cut to their start"},
        {"a folded comment", "# one\n two\ndn: cn=A\ncn: A\n", 1, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        CRead read = Read(c.bytes);
        EXPECT_EQ(c.records, read.records.size()) << read.notes;
        if (*c.note) {
            EXPECT_NE(std::string::npos, read.notes.find(c.note)) << read.notes;
        }
    }
    EXPECT_EQ(L"Ann", Read(nul).records.at(0).displayName);
    EXPECT_EQ(ldif::CLdifReader::kMaxValueBytes, Read(huge).records.at(0).comment.size());
}
