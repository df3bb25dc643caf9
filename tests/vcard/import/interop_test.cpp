// vCards that other programs wrote, read from the shared folder where they lie: every file reads
// without harm, the count of complete cards agrees with the cards read, and the fields that matter
// arrive as the file means them.
#include <gtest/gtest.h>

#include <functional>
#include <map>

#include "common/text.h"
#include "importsupport.h"
#include "support/testsupport.h"

using namespace importtest;

namespace {

// The folder as Wine sees it: Unix paths live on drive Z:.
std::string InteropDir()
{
    std::string dir = QUILLON_INTEROP_VCARDS;
    if (!dir.empty() && dir[0] == '/')
        dir = "Z:" + dir;
    for (char& c : dir) {
        if (c == '/')
            c = '\\';
    }
    return dir;
}

// A checkout on its own has no shared folder beside it: the tests that read it are skipped then,
// saying which folder they missed.
#define SKIP_WITHOUT_INTEROP_DIR()                                                           \
    if (::GetFileAttributesA(InteropDir().c_str()) == INVALID_FILE_ATTRIBUTES) {             \
        GTEST_SKIP() << "the folder " << InteropDir() << " of other programs' vCards is missing"; \
    }

std::vector<std::string> AllFiles()
{
    std::vector<std::string> files;
    std::string root = InteropDir();
    WIN32_FIND_DATAA fd;
    common::CFindHandle find(::FindFirstFileA((root + "\\*").c_str(), &fd));
    if (!find)
        return files;
    do {
        std::string folder = fd.cFileName;
        if (!(fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) || folder == "." || folder == "..")
            continue;
        for (const std::string& name : testsupport::ListFiles(root + "\\" + folder, "*.vcf"))
            files.push_back(folder + "\\" + name);
    } while (::FindNextFileA(find.get(), &fd));
    return files;
}

std::string Bytes(const std::string& relative)
{
    return testsupport::ReadFileBytes(InteropDir() + "\\" + relative);
}

bool SameDate(const CContactDate& a, const FILETIME& b)
{
    return a.fileTime == ((uint64_t(b.dwHighDateTime) << 32) | b.dwLowDateTime);
}

using Check = std::function<void(const CReadResult&)>;

#define FIELD(index, member, value)                                \
    [](const CReadResult& r) {                                     \
        ASSERT_GT(r.cards.size(), size_t(index));                  \
        EXPECT_EQ(r.cards[index].member, value) << #member;        \
    }

}  // namespace

TEST(Interop, EveryFileReadsAndCountsAgree)
{
    SKIP_WITHOUT_INTEROP_DIR()
    std::vector<std::string> files = AllFiles();
    ASSERT_GE(files.size(), 70u) << InteropDir();
    CBoxWatch boxes;
    size_t total = 0;
    for (const std::string& file : files) {
        std::string bytes = Bytes(file);
        CReadResult r = ReadAll(bytes);
        EXPECT_EQ(r.result, 0) << file;
        CvCardImport counter;
        int counted = counter.CountCards(common::AnsiToWide(InteropDir() + "\\" + file));
        EXPECT_EQ(size_t(counted), r.cards.size()) << file;
        total += r.cards.size();
    }
    EXPECT_GE(total, 80u);
    EXPECT_TRUE(boxes.Texts().empty());
}

TEST(Interop, FieldsArriveAsTheFilesMeanThem)
{
    SKIP_WITHOUT_INTEROP_DIR()
    const std::map<std::string, std::vector<Check>> expectations = {
        {"android-vcard\\v21_invalid_comment_line.vcf",
         {FIELD(0, comment, W("This is an (sharp ->#<- sharp) example. This message must NOT be ignored.")),
          FIELD(0, displayName, W("Conference Call"))}},
        {"android-vcard\\v21_japanese_2.vcf",
         {FIELD(0, displayName, W("安藤 ロイド 1")), FIELD(0, comment, W("メモ")),
          FIELD(0, home[CContactRecord::kStreet], W("東京都渋谷区桜丘町26-1セルリアンタワー6階")),
          FIELD(0, home[CContactRecord::kPostalCode], W("150-8512"))}},
        {"android-vcard\\v21_multiple_entry.vcf",
         {[](const CReadResult& r) { EXPECT_EQ(r.cards.size(), 3u); },
          FIELD(0, homeFax, W("12")), FIELD(1, pager, W("14"))}},
        {"android-vcard\\v21_pref_handling.vcf",
         {FIELD(0, homePhone, W("1")), FIELD(0, businessPhone, W("2")), FIELD(0, company, W("Company")),
          FIELD(0, title, W("Engineer")),
          FIELD(0, emails, (std::vector<std::wstring>{L"test2@examination.com", L"test@example.com"})),
          FIELD(0, emailTypes, (std::vector<std::wstring>{L"", L"SMTP"}))}},
        // Each card inside the parent is a card of its own; the parent keeps its own name.
        {"android-vcard\\v21_nest.vcf",
         {[](const CReadResult& r) { EXPECT_EQ(r.cards.size(), 3u); }, FIELD(0, surname, W("nest1")),
          FIELD(1, surname, W("nest2")), FIELD(2, surname, W("parent"))}},
        {"android-vcard\\v21_invalid_multiple_line.vcf",
         {FIELD(0, emails, std::vector<std::wstring>{W("\"Omega\" <omega@example.com>")})}},
        {"android-vcard\\v30_comma_separated.vcf",
         {FIELD(0, surname, W("F")), FIELD(0, middleName, W("M")), FIELD(0, businessPhone, W(""))}},
        {"android-vcard\\v30_japanese.vcf",
         {FIELD(0, displayName, W("伊能 圭一 伊予")), FIELD(0, surname, W("伊能")), FIELD(0, givenName, W("圭一")),
          FIELD(0, middleName, W("伊予"))}},
        {"android-vcard\\v40_sort_as.vcf",
         {FIELD(0, surname, W("安藤")), FIELD(0, givenName, W("ロイド")), FIELD(0, company, W("グーグル")),
          FIELD(0, department, W("検索部門"))}},
        {"evolution-data-server\\12.vcf",
         {FIELD(0, surname, W("Brüning")), FIELD(0, givenName, W("Michael")),
          FIELD(0, displayName, W("Michael Brüning")), FIELD(0, mobilePhone, W("+491622433834")),
          FIELD(0, homePhone, W("017623384942")), FIELD(0, home[CContactRecord::kStreet], W("Münsterplatz 21")),
          FIELD(0, home[CContactRecord::kRegion], W("Baden-Württemberg")),
          FIELD(0, home[CContactRecord::kPostalCode], W("89073")),
          [](const CReadResult& r) { EXPECT_TRUE(SameDate(r.cards[0].birthday, Date(1978, 12, 29))); }}},
        {"evolution-data-server\\13.vcf",
         {FIELD(0, business[CContactRecord::kStreet], W("Evil semicolon city;")),
          FIELD(0, business[CContactRecord::kLocality], W("Semicolon;way")),
          FIELD(0, businessPhone, W("+1-919-676-9515")), FIELD(0, businessFax, W("+1-919-676-9564")),
          FIELD(0, emails, (std::vector<std::wstring>{L"Frank_Dawson@Lotus.com", L"semicolon;@points.net"})),
          FIELD(0, home[CContactRecord::kStreet], W("Evil backslash \\ way")),
          FIELD(0, home[CContactRecord::kRegion], W("Newlines\r\nCountry\r\nevil"))}},
        {"evolution-data-server\\5.vcf",
         {FIELD(0, displayName, W("十城目管理大型知座")), FIELD(0, company, W("十城目管理大型知座")),
          FIELD(0, businessPhone, W("十城目管理大型知座"))}},
        {"evolution-data-server\\7.vcf", {[](const CReadResult& r) { EXPECT_EQ(r.cards.size(), 0u); }}},
        {"evolution-data-server\\8.vcf", {[](const CReadResult& r) { EXPECT_EQ(r.cards.size(), 0u); }}},
        {"evolution-data-server\\10.vcf", {FIELD(0, business[CContactRecord::kStreet], W(""))}},
        {"kcontacts\\vcard3.vcf",
         {FIELD(0, surname, W("geiser")), FIELD(0, company, W("Source eXtreme")),
          FIELD(0, title, W("VP of Engineering")), FIELD(0, displayName, W("ian geiser")),
          FIELD(0, emails, std::vector<std::wstring>{L"geiseri@yahoo.com"})}},
        {"kcontacts\\vcard8.vcf", {FIELD(0, comment, W("line one\r\nline two\r\nline three\r\n"))}},
        {"kcontacts\\vcardwithitemasapplesupport.vcf",
         {FIELD(0, business[CContactRecord::kStreet], W("STREET")), FIELD(0, business[CContactRecord::kCountry], W("COUNTRY")),
          FIELD(0, businessPhone, W("(111) 111-1111")), FIELD(0, company, W("SOME COMPANY"))}},
        {"kcontacts\\vcard15.vcf",
         {FIELD(0, homePhone, W("+1-800-123456")), FIELD(0, businessHomePage, W("http://www.example.com"))}},
        {"khard\\altid.vcf",
         {FIELD(0, givenName, W("two")),
          FIELD(0, comment, W("RFC6350 requires N to have cardinality <=1 but allows alternative representations "
                           "to be included if they are linked by the ALTID parameter."))}},
        {"khard\\korean-c.vcf", {FIELD(0, displayName, W("최유림"))}},
        {"khard\\tel-value-uri.vcf", {FIELD(0, mobilePhone, W("67545678"))}},
        {"khard\\text-bday.vcf", {FIELD(0, birthday.fileTime >> 32, 0u)}},
        {"php-vcard\\encoding.vcf",
         {FIELD(0, comment, W("Lieblingsfarbe: Violett")), FIELD(1, comment, W("Lieblingsfarbe: Violett")),
          // The same notes in base64, as 2.1 (a bare BASE64) and 3.0 (ENCODING=b) write them.
          FIELD(2, comment, W("Lieblingsfarbe: Violett")), FIELD(3, comment, W("Lieblingsfarbe: Violett")),
          FIELD(5, comment, W("Ludwig-Götz Graßl")), FIELD(6, comment, W("Ludwig-Götz Graßl")),
          FIELD(7, comment, W("Ludwig-Götz Graßl")), FIELD(0, surname, W("Jacobsen")),
          [](const CReadResult& r) { EXPECT_TRUE(SameDate(r.cards[0].birthday, Date(1908, 10, 25))); }}},
        {"php-vcard\\invalid_encoding.vcf",
         {FIELD(0, surname, W("Desloovere")), FIELD(0, emails, std::vector<std::wstring>{L"site@example.com"}),
          FIELD(0, businessHomePage, W("http://www.jeroendesloovere.be"))}},
        {"py-vobject\\radicale-1587.vcf",
         {FIELD(0, surname, W("Family")), FIELD(0, givenName, W("Given")), FIELD(0, middleName, W("Additional")),
          FIELD(0, namePrefix, W("Prefix")), FIELD(0, nameSuffix, W("Suffix"))}},
        {"radicale\\broken-vcard.vcf",
         {FIELD(0, emails, std::vector<std::wstring>{L"test-misses-N-or-FN@example.com"})}},
        {"radicale\\contact_photo_with_data_uri.vcf", {FIELD(0, nickname, W("test")), FIELD(0, surname, W("Contact"))}},
        {"thunderbird\\export.vcf",
         {FIELD(0, emails, std::vector<std::wstring>{L"contact1@invalid"}), FIELD(1, comment, W("here's some unicode text…")),
          FIELD(1, title, W("\"worker\""))}},
        {"ez-vcard\\rfc2426-example.vcf",
         {FIELD(1, business[CContactRecord::kStreet], W("501 E. Middlefield Rd.")),
          FIELD(1, business[CContactRecord::kRegion], W("CA")), FIELD(1, business[CContactRecord::kPostalCode], W("94043")),
          FIELD(0, emails, (std::vector<std::wstring>{L"Frank_Dawson@Lotus.com", L"fdawson@earthlink.net"}))}},
        {"ez-vcard\\rfc6350-example.vcf",
         {FIELD(0, nameSuffix, W("ing. jr,M.Sc.")), FIELD(0, businessPhone, W("+1-418-656-9254;ext=102")),
          FIELD(0, mobilePhone, W("+1-418-262-6501")), FIELD(0, business[CContactRecord::kExtended], W("Suite D2-630")),
          FIELD(0, business[CContactRecord::kLocality], W("Quebec")), FIELD(0, personalHomePage, W("http://nomis80.org")),
          FIELD(0, birthday.fileTime >> 32, 0u)}},
        {"ez-vcard\\gmail-single.vcf",
         {FIELD(0, home[CContactRecord::kStreet], W("123 Home St\r\nHome City, HM 12345")),
          FIELD(0, business[CContactRecord::kStreet], W("321 Custom St")), FIELD(0, mobilePhone, W("555 555 1111")),
          FIELD(0, businessHomePage, W("http://TheProfile.com")),
          FIELD(0, comment, W("This is GMail's note field.\r\nIt should be added as a NOTE type.\r\nACustomField: CustomField")),
          [](const CReadResult& r) { EXPECT_TRUE(SameDate(r.cards[0].birthday, Date(1960, 9, 10))); }}},
        {"ez-vcard\\John_Doe_MS_OUTLOOK.vcf",
         {FIELD(0, middleName, W("Richter,James")), FIELD(0, nameSuffix, W("Sr.")), FIELD(0, department, W("Accounting")),
          FIELD(0, businessPhone, W("(905) 555-1234")), FIELD(0, homePhone, W("(905) 666-1234"))}},
        {"ez-vcard\\outlook-2003.vcf",
         // The encoded line break at the end (=0D=0A) is part of the note, as Outlook wrote it.
         {FIELD(0, comment, W("This is the note field!!\r\nSecond line\r\n\r\nThird line is empty\r\n")),
          FIELD(0, businessFax, W("BusinessFaxPhone")), FIELD(0, business[CContactRecord::kExtended], W("TheOffice"))}},
        {"ez-vcard\\John_Doe_IPHONE.vcf",
         {FIELD(0, middleName, W("Richter,James")), FIELD(0, mobilePhone, W("905-555-1234")),
          FIELD(0, homeFax, W("905-888-1234")), FIELD(0, businessFax, W("905-999-1234")), FIELD(0, pager, W("905-111-1234")),
          FIELD(0, businessPhone, W("905-777-1234")),
          FIELD(0, business[CContactRecord::kStreet], W("Street4\r\nBuilding 6\r\nFloor 8")),
          [](const CReadResult& r) { EXPECT_TRUE(SameDate(r.cards[0].birthday, Date(2012, 6, 6))); }}},
        {"ez-vcard\\John_Doe_EVOLUTION.vcf",
         {FIELD(0, middleName, W("Richter, James")), FIELD(0, department, W("Accounting;Dungeon")),
          FIELD(0, emailTypes.size(), 1u)}},
    };
    for (const auto& entry : expectations) {
        SCOPED_TRACE(entry.first);
        std::string bytes = Bytes(entry.first);
        ASSERT_FALSE(bytes.empty());
        CReadResult r = ReadAll(bytes);
        for (const Check& check : entry.second)
            check(r);
    }
}
