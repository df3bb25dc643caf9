// The CSV codec: the header the writer gives, its quoting, every field written and read back, the
// files other programs write (tests/data/csv, made to their published column sets), and files no
// program should write, each of which must still give every readable row.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <vector>

#include "codec/csv/CsvText.h"
#include "codecsupport.h"
#include "common/text.h"
#include "support/testsupport.h"

namespace {

using codectest::CWinConverter;

struct CRead {
    std::vector<CContactRecord> records;
    std::vector<std::string> notes;
    size_t counted = 0;
    csv::Encoding encoding = csv::Encoding::kAnsi;
    char delimiter = 0;

    std::string Notes() const
    {
        std::string all;
        for (const std::string& n : notes)
            all += n + "\n";
        return all;
    }
};

CRead Read(const std::string& bytes)
{
    CWinConverter decoder;
    CRead out;
    csv::CCsvReader reader(decoder, [&out](const std::string& note) { out.notes.push_back(note); });
    reader.Load(bytes.data(), bytes.size());
    out.encoding = reader.TextEncoding();
    out.delimiter = reader.Delimiter();
    out.counted = reader.CountRecords();
    EXPECT_EQ(0, reader.ReadAll([&] {
        out.records.push_back(reader.Record());
        return 0;
    }));
    EXPECT_EQ(out.counted, out.records.size()) << "the counting pass and the reading disagree";
    return out;
}

std::string DataFile(const char* name)
{
    return testsupport::ReadFileBytes(std::string(QUILLON_CSV_DATA) + "/" + name);
}

uint64_t Day(int y, int m, int d)
{
    uint64_t t = 0;
    EXPECT_TRUE(vcard::FileTimeFromDate(y, m, d, &t));
    return t;
}

// Every value of a record, for comparing two.
std::vector<std::wstring> Values(const CContactRecord& r)
{
    std::vector<std::wstring> v;
    for (const std::wstring* s : r.Texts())
        v.push_back(*s);
    for (const std::string& c : r.certificates)
        v.push_back(std::wstring(c.begin(), c.end()));
    for (const CContactDate* d : {&r.birthday, &r.anniversary})
        v.push_back(d->present ? std::to_wstring(d->fileTime) : L"-");
    v.push_back(r.hasGender ? std::to_wstring(r.gender) : L"-");
    v.push_back(std::to_wstring(r.defaultAddressIndex));
    v.push_back(std::to_wstring(r.emails.size()) + L" " + std::to_wstring(r.groups.size()) + L" " +
                std::to_wstring(r.children.size()) + L" " + std::to_wstring(r.conferencingServers.size()));
    return v;
}

}  // namespace

TEST(CsvText, TheHeaderIsOutlooksColumnsInItsOrderThenTheFieldsOutlookLacks)
{
    std::vector<std::string> outlook = testsupport::SplitLines(DataFile("outlook-columns.txt"), "\n");
    while (!outlook.empty() && outlook.back().empty())
        outlook.pop_back();
    ASSERT_EQ(92u, outlook.size());
    std::vector<std::string> header = testsupport::SplitLines(csv::CCsvWriter::HeaderRow());
    ASSERT_EQ(1u, header.size());
    std::vector<std::string> names;
    for (size_t at = 0, next; at <= header[0].size(); at = next + 1) {
        next = header[0].find(',', at);
        if (next == std::string::npos)
            next = header[0].size();
        names.push_back(header[0].substr(at, next - at));
    }
    ASSERT_GT(names.size(), outlook.size());
    for (size_t i = 0; i < outlook.size(); ++i)
        EXPECT_EQ(outlook[i], names[i]) << "column " << i;
    for (size_t i = outlook.size(); i < names.size(); ++i) {
        csv::Target t = csv::FieldByHeader(names[i]).target;
        EXPECT_TRUE(t != csv::Target::kNone && t != csv::Target::kUnknown) << names[i];
    }
}

TEST(CsvText, AFieldIsQuotedWhenItHoldsACommaAQuoteALineBreakOrEdgeBlanks)
{
    const struct {
        const wchar_t* value;
        const char* cell;
    } cases[] = {
        {L"Ann", "Ann"},
        {L"a,b", "\"a,b\""},
        {L"say \"hi\"", "\"say \"\"hi\"\"\""},
        {L"two\r\nlines", "\"two\r\nlines\""},
        {L"lf\nonly", "\"lf\nonly\""},
        {L" lead", "\" lead\""},
        {L"semi;colon", "semi;colon"},
        {L"", ""},
    };
    CWinConverter encoder;
    csv::CCsvWriter writer(encoder);
    for (const auto& c : cases) {
        CContactRecord r;
        r.givenName = c.value;
        std::string row;
        writer.Write(r, &row);
        EXPECT_EQ(std::string(",") + c.cell + ",", row.substr(0, std::string(c.cell).size() + 2)) << row;
        EXPECT_EQ("\r\n", row.substr(row.size() - 2));
    }
}

TEST(CsvText, EveryFieldComesBackInUtf8AndInTheAnsiCodePage)
{
    const wchar_t* const values[] = {L"Lee",        L"a,b",          L"say \"hi\"",       L"two\r\nlines",
                                     L"tab\there",  L"caf\u00e9",    L"\u20ac 5",         L"x=y:z",
                                     L" edges ",    L"semi;colon",   L"\u00fc\u00df\u00a9", L"http://example.com/?a,b"};
    const size_t n = sizeof(values) / sizeof(values[0]);
    std::vector<CContactRecord> before(6);
    for (size_t i = 0; i < before.size(); ++i) {
        CContactRecord& r = before[i];
        size_t k = i;
        for (std::wstring* text : r.Texts())
            *text = values[k++ % n];
        r.nickname = L"key" + std::to_wstring(i);
        // Only the business address has an extended part (its office location).
        r.home[CContactRecord::kExtended].clear();
        r.other[CContactRecord::kExtended].clear();
        r.children = {L"Sue; Jr.", L"back\\slash\\", values[i % 5]};
        r.conferencingServers = {L"callto://a", L"callto://b"};
        r.groups = {L"Friends", L"Work " + std::to_wstring(i)};
        r.emails = {L"a" + std::to_wstring(i) + L"@example.com", L"b@example.com", L"c@example.com",
                    L"d@example.com", L"e@example.com"};
        r.emailTypes = {L"SMTP", L"SMTP", L"EX", L"SMTP", L"X400"};
        r.defaultAddressIndex = 0;
        r.emailAddress = r.emails[0];
        r.addrType = r.emailTypes[0];
        r.certificates = {std::string("\x30\x82\x01\x00", 4) + std::string(i + 1, '\xff'), "\x30\x03\x02\x01\x05"};
        r.hasGender = true;
        r.gender = static_cast<short>(i % 3);
        r.birthday = {true, Day(1950 + static_cast<int>(i), 1 + static_cast<int>(i), 28)};
        r.anniversary = {true, Day(2000, 2, 29)};
    }
    for (UINT codePage : {static_cast<UINT>(CP_UTF8), static_cast<UINT>(::GetACP())}) {
        SCOPED_TRACE(codePage);
        CWinConverter encoder;
        encoder.m_codePage = codePage;
        csv::CCsvWriter writer(encoder);
        std::string text = codePage == CP_UTF8 ? "\xEF\xBB\xBF" + csv::CCsvWriter::HeaderRow()
                                               : csv::CCsvWriter::HeaderRow();
        for (const CContactRecord& r : before) {
            std::string row;
            writer.Write(r, &row);
            text += row;
        }
        CRead after = Read(text);
        EXPECT_EQ(codePage == CP_UTF8 ? csv::Encoding::kUtf8Mark : csv::Encoding::kAnsi, after.encoding);
        ASSERT_EQ(before.size(), after.records.size()) << after.Notes();
        for (size_t i = 0; i < before.size(); ++i) {
            std::vector<std::wstring> a = Values(before[i]), b = Values(after.records[i]);
            ASSERT_EQ(a.size(), b.size()) << "contact " << i;
            for (size_t k = 0; k < a.size(); ++k)
                EXPECT_EQ(a[k], b[k]) << "contact " << i << " value " << k;
        }
        EXPECT_EQ("", after.Notes());
    }
}

TEST(CsvText, EachProgramsFileIsReadAsItWritesIt)
{
    using R = CContactRecord;
    const struct {
        const char* file;
        csv::Encoding encoding;
        char delimiter;
        std::vector<std::pair<std::wstring R::*, std::wstring>> first;
        std::vector<std::wstring> emails, groups;
        bool birthday;
        const char* unread;  // a note about a column with values not read, or ""
    } cases[] = {
        {"outlook.csv", csv::Encoding::kAnsi, ',',
         {{&R::company, L"Acme, Inc."}, {&R::businessPhone, L"+1 555 0100"}, {&R::manager, L"Ann Boss"},
          {&R::comment, L"Said \"hi\"\r\nTwice"}},
         {L"jose@example.com", L"jm@example.org"}, {L"Friends", L"Work"}, true, "column \"E-mail Display Name\""},
        {"addressbook.csv", csv::Encoding::kAnsi, ',',
         {{&R::displayName, L"Jos\u00e9 M\u00fcller"}, {&R::nickname, L"Pepe"}, {&R::company, L"Acme, Inc."},
          {&R::businessHomePage, L"http://work.example.com"}, {&R::personalHomePage, L"http://home.example.com"}},
         {L"jose@example.com"}, {}, false, ""},
        {"windows-contacts.csv", csv::Encoding::kUtf8, ';',
         {{&R::displayName, L"Jos\u00e9 M\u00fcller"}, {&R::company, L"Acme, Inc."}, {&R::department, L"R&D"}},
         {L"jose@example.com"}, {}, false, ""},
        {"google-old.csv", csv::Encoding::kUtf16Le, ',',
         {{&R::displayName, L"Jos\u00e9 M\u00fcller"}, {&R::company, L"Acme, Inc."}, {&R::title, L"Engineer"},
          {&R::businessPhone, L"+1 555 0100"}, {&R::business2Phone, L"+1 555 0109"},
          {&R::personalHomePage, L"http://home.example.com"}},
         {L"jose@example.com", L"jm@example.org", L"j@example.net"}, {L"Friends", L"Work"}, true, ""},
        {"google-new.csv", csv::Encoding::kUtf8, ',',
         {{&R::company, L"Acme, Inc."}, {&R::title, L"Engineer"}, {&R::businessPhone, L"+1 555 0100"},
          {&R::business2Phone, L"+1 555 0109"}, {&R::personalHomePage, L"http://home.example.com"}},
         {L"jose@example.com", L"jm@example.org", L"j@example.net"}, {L"Friends", L"Work"}, true, ""},
        {"thunderbird.csv", csv::Encoding::kUtf8, ',',
         {{&R::displayName, L"Jos\u00e9 M\u00fcller"}, {&R::company, L"Acme, Inc."}, {&R::businessPhone, L"+1 555 0100"},
          {&R::personalHomePage, L"http://home.example.com"}},
         {L"jose@example.com", L"jm@example.org"}, {}, true, "column \"Custom 1\""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file);
        CRead read = Read(DataFile(c.file));
        EXPECT_EQ(c.encoding, read.encoding);
        EXPECT_EQ(c.delimiter, read.delimiter);
        ASSERT_EQ(2u, read.records.size()) << read.Notes();
        const R& r = read.records[0];
        EXPECT_EQ(L"Jos\u00e9", r.givenName);
        EXPECT_EQ(L"M\u00fcller", r.surname);
        EXPECT_EQ(L"+1 555 0101", r.mobilePhone);
        for (const auto& field : c.first)
            EXPECT_EQ(field.second, r.*field.first);
        EXPECT_EQ(c.emails, r.emails);
        EXPECT_EQ(c.emails.empty() ? L"" : c.emails[0], r.emailAddress);
        EXPECT_EQ(c.groups, r.groups);
        EXPECT_EQ(c.birthday, r.birthday.present);
        if (c.birthday) {
            EXPECT_EQ(Day(1970, 5, 17), r.birthday.fileTime);
        }
        EXPECT_EQ(L"Lee", read.records[1].givenName);
        EXPECT_EQ(L"555 0200", read.records[1].homePhone);
        if (*c.unread) {
            EXPECT_NE(std::string::npos, read.Notes().find(c.unread)) << read.Notes();
        }
    }
}

// The same table in every encoding a file may come in, with each separator: the reader finds both.
TEST(CsvText, EncodingAndSeparatorAreFoundFromTheFile)
{
    auto utf16 = [](const std::wstring& text, bool bigEndian) {
        std::string out;
        for (wchar_t c : text) {
            char hi = static_cast<char>(c >> 8), lo = static_cast<char>(c & 0xFF);
            out += bigEndian ? std::string{hi, lo} : std::string{lo, hi};
        }
        return out;
    };
    for (const wchar_t* separator : {L",", L";", L"\t"}) {
        const std::wstring text = std::wstring(L"First Name") + separator + L"Last Name\r\nZo\u00eb" + separator +
                                  L"\"Lee" + separator + L" Jr.\"\r\n";
        const struct {
            std::string bytes;
            csv::Encoding encoding;
        } cases[] = {
            {"\xEF\xBB\xBF" + common::ToUtf8(text), csv::Encoding::kUtf8Mark},
            {common::ToUtf8(text), csv::Encoding::kUtf8},
            {"\xFF\xFE" + utf16(text, false), csv::Encoding::kUtf16Le},
            {"\xFE\xFF" + utf16(text, true), csv::Encoding::kUtf16Be},
            {utf16(text, false), csv::Encoding::kUtf16LeUnmarked},
            {utf16(text, true), csv::Encoding::kUtf16BeUnmarked},
            {common::WideToAnsi(text), csv::Encoding::kAnsi},
        };
        for (const auto& c : cases) {
            SCOPED_TRACE(static_cast<int>(c.encoding));
            CRead read = Read(c.bytes);
            EXPECT_EQ(c.encoding, read.encoding);
            EXPECT_EQ(static_cast<char>(separator[0]), read.delimiter);
            ASSERT_EQ(1u, read.records.size());
            EXPECT_EQ(L"Zo\u00eb", read.records[0].givenName);
            EXPECT_EQ(std::wstring(L"Lee") + separator + L" Jr.", read.records[0].surname);
        }
    }
}

TEST(CsvText, DatesInTheFormsImportersWrite)
{
    const struct {
        const wchar_t* text;
        int y, m, d;  // 0: no date
    } cases[] = {
        {L"1970-05-17", 1970, 5, 17}, {L"19700517", 1970, 5, 17},     {L"5/17/1970", 1970, 5, 17},
        {L"17/5/1970", 1970, 5, 17},  {L"17.05.1970", 1970, 5, 17},   {L"5/17/70", 1970, 5, 17},
        {L"1/2/05", 2005, 1, 2},      {L"1970-05-17T00:00:00Z", 1970, 5, 17}, {L"0/0/00", 0, 0, 0},
        {L"--05-17", 0, 0, 0},        {L"1970-02-30", 0, 0, 0},       {L"soon", 0, 0, 0},
    };
    for (const auto& c : cases) {
        CContactDate date;
        EXPECT_EQ(c.y != 0, csv::ParseDate(c.text, &date)) << std::string(c.text, c.text + wcslen(c.text));
        if (c.y) {
            EXPECT_EQ(Day(c.y, c.m, c.d), date.fileTime);
        }
    }
}

TEST(CsvText, BadInputGivesEveryReadableRowAndSaysWhatWasNotRead)
{
    const std::string nul("First Name\r\nA\0nn\r\n", 19);
    std::string wide = "First Name";
    for (int i = 0; i < 1000000; ++i)
        wide += ",x";
    wide += "\r\nAnn,1\r\n";
    const std::string huge = "Notes\r\n\"" + std::string(3 * 1024 * 1024, 'a') + "\"\r\nshort\r\n";
    // Nine cells of 1.1 MB: within the cell's bound each, beyond the row's together.
    std::string heavy = "First Name,Last Name,Notes,Spouse,Company,Department,Job Title,Nickname,Suffix\r\n";
    for (int i = 0; i < 9; ++i)
        heavy += std::string(1100 * 1024, 'a') + (i < 8 ? "," : "\r\n");
    const struct {
        const char* name;
        std::string bytes;
        size_t records;
        const char* note;
    } cases[] = {
        {"unbalanced quote", "First Name,Last Name\r\n\"Ann,Lee\r\nBob,Ray\r\nCy,\"Dee\r\n", 3, "never closed"},
        {"header alone", "First Name,Last Name\r\n", 0, "no row below the header"},
        {"NUL bytes", nul, 1, "zero bytes"},
        {"mixed line ends", "First Name\rAnn\nBob\r\n\r\nCy", 3, ""},
        {"rows shorter and longer", "First Name,Last Name\r\nAnn\r\nBob,Ray,extra\r\n", 2, "more cells than the header"},
        {"binary", std::string("\x89PNG\r\n\x1a\n\0\0\0\rIHDR\xff\xfe", 19), 0, "names no column"},
        {"a million columns", wide, 1, "more than 2048 columns"},
        {"a huge field", huge, 2, "cut to their start"},
        {"a heavy row", heavy, 1, "more than 8388608 bytes in all"},
        {"an unknown column", "First Name,Favourite Colour\r\nAnn,blue\r\n", 1, "column \"Favourite Colour\""},
        {"Excel's separator line", "sep=|\r\nFirst Name|Last Name\r\nAnn|Lee, Jr.\r\n", 1, ""},
        {"empty", "", 0, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        CRead read = Read(c.bytes);
        EXPECT_EQ(c.records, read.records.size()) << read.Notes();
        if (*c.note) {
            EXPECT_NE(std::string::npos, read.Notes().find(c.note)) << read.Notes();
        }
    }
    CRead nulRead = Read(nul);
    ASSERT_EQ(1u, nulRead.records.size());
    EXPECT_EQ(L"Ann", nulRead.records[0].givenName);
    CRead hugeRead = Read(huge);
    ASSERT_EQ(2u, hugeRead.records.size());
    EXPECT_EQ(csv::CCsvReader::kMaxCellBytes, hugeRead.records[0].comment.size());
    CRead excel = Read("sep=|\r\nFirst Name|Last Name\r\nAnn|Lee, Jr.\r\n");
    EXPECT_EQ('|', excel.delimiter);
    ASSERT_EQ(1u, excel.records.size());
    EXPECT_EQ(L"Lee, Jr.", excel.records[0].surname);
    CRead quoted = Read(cases[0].bytes);
    ASSERT_EQ(3u, quoted.records.size());
    EXPECT_EQ(L"\"Ann", quoted.records[0].givenName);
    EXPECT_EQ(L"Bob", quoted.records[1].givenName);
    EXPECT_EQ(L"\"Dee", quoted.records[2].surname);
}
