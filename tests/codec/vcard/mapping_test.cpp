// The reader and the property mapping on whole cards: what each card text leaves in the fields
// of the card that the import run stores.
#include <gtest/gtest.h>

#include "codecsupport.h"
#include "common/text.h"
#include "support/testsupport.h"

using namespace codectest;

namespace {

std::string Utf16(const std::string& utf8, bool bigEndian)
{
    std::wstring w = W(utf8);
    std::string out = bigEndian ? std::string("\xFE\xFF") : std::string("\xFF\xFE");
    for (wchar_t c : w) {
        char lo = static_cast<char>(c & 0xFF), hi = static_cast<char>((c >> 8) & 0xFF);
        out += bigEndian ? std::string{hi, lo} : std::string{lo, hi};
    }
    return out;
}

bool SameDate(const CContactDate& a, const FILETIME& b)
{
    return a.fileTime == ((uint64_t(b.dwHighDateTime) << 32) | b.dwLowDateTime);
}

const std::vector<std::wstring> kNone;

// Every field of a card as text, in order: the record's texts (which bind every member by name)
// without the lists, the lists joined, and what is not text.
std::vector<std::wstring> Dump(const CContactRecord& c)
{
    CContactRecord scalars = c;
    std::vector<std::wstring> out;
    for (std::vector<std::wstring>* list :
         {&scalars.emails, &scalars.emailTypes, &scalars.conferencingServers, &scalars.children, &scalars.groups}) {
        std::wstring joined = std::to_wstring(list->size());
        for (const std::wstring& item : *list)
            joined += L'|' + item;
        out.push_back(joined);
        list->clear();
    }
    for (const std::wstring* text : scalars.Texts())
        out.push_back(*text);
    std::wstring certificates = std::to_wstring(c.certificates.size());
    for (const std::string& certificate : c.certificates)
        certificates += L'|' + std::wstring(certificate.begin(), certificate.end());
    out.push_back(certificates);
    out.push_back(std::to_wstring(c.defaultAddressIndex) + L':' + std::to_wstring(c.hasGender) + L':' +
                  std::to_wstring(c.gender));
    for (const CContactDate* date : {&c.birthday, &c.anniversary})  // the modification time is the address book's
        out.push_back(std::to_wstring(date->present) + L':' + std::to_wstring(date->fileTime));
    return out;
}

}  // namespace

// --- Encodings and byte-order marks -------------------------------------------------------------

TEST(Encodings, Utf16FilesReadLikeUtf8WhateverTheirCharset)
{
    std::string card = Card("2.1", {"N;CHARSET=windows-1252:M\xC3\xBCller;J\xC3\xB6rg", "TEL;WORK:1"});
    for (bool bigEndian : {false, true}) {
        CContactRecord c = ReadOne(Utf16(card, bigEndian));
        EXPECT_EQ(c.surname, W("M\xC3\xBCller")) << bigEndian;
        EXPECT_EQ(c.givenName, W("J\xC3\xB6rg")) << bigEndian;
        EXPECT_EQ(c.businessPhone, L"1") << bigEndian;
    }
}

TEST(Encodings, Utf8MarkKeepsTheFirstCardAndMeansUtf8)
{
    CReadResult r = ReadAll("\xEF\xBB\xBF" + Card("3.0", {"FN;CHARSET=ISO-8859-1:\xD0\x90\xD0\xBD\xD1\x8F"}) +
                            Card("3.0", {"FN:second"}));
    ASSERT_EQ(r.cards.size(), 2u);
    EXPECT_EQ(r.cards[0].displayName, W("\xD0\x90\xD0\xBD\xD1\x8F"));
    EXPECT_EQ(r.cards[1].displayName, L"second");
}

TEST(Encodings, CodePageOfEachLine)
{
    struct Case {
        const char* what;
        std::string line;
        std::wstring expected;
    } cases[] = {
        {"no charset, UTF-8 bytes", "FN:J\xC3\xB6rg", W("J\xC3\xB6rg")},
        {"no charset, ANSI bytes (our own export)", "FN:J\xF6rg", W("J\xC3\xB6rg")},
        {"charset in lower case", "FN;CHARSET=utf-8:J\xC3\xB6rg", W("J\xC3\xB6rg")},
        {"charset names a code page", "FN;CHARSET=windows-1251:\xC0\xED\xFF", W("\xD0\x90\xD0\xBD\xD1\x8F")},
        {"unknown charset: ANSI", "FN;CHARSET=invalid-encoding:J\xF6rg", W("J\xC3\xB6rg")},
        {"charset behind other parameters", "FN;X-A=1;CHARSET=KOI8-R:\xE1", W("\xD0\x90")},
        {"quoted-printable UTF-8 without charset", "FN;ENCODING=QUOTED-PRINTABLE:J=C3=B6rg", W("J\xC3\xB6rg")},
        {"Shift_JIS", "FN;CHARSET=SHIFT_JIS:\x88\xC0\x93\xA1", W("\xE5\xAE\x89\xE8\x97\xA4")},
    };
    for (const Case& c : cases)
        EXPECT_EQ(ReadOne(Card("2.1", {c.line})).displayName, c.expected) << c.what;
}

TEST(Encodings, LoneCarriageReturnsEndLines)
{
    std::string lf = Card("2.1", {"FN:Ann", "TEL;HOME:2"});
    std::string cr = lf;
    for (size_t i = 0; (i = cr.find("\r\n", i)) != std::string::npos;)
        cr.erase(i + 1, 1);
    CContactRecord a = ReadOne(lf), b = ReadOne(cr);
    EXPECT_EQ(b.displayName, a.displayName);
    EXPECT_EQ(b.homePhone, L"2");
}

// --- Quoted-printable ---------------------------------------------------------------------------

TEST(QuotedPrintableValues, DecodedWhereverTheParameterStands)
{
    struct Case {
        const char* what;
        std::vector<std::string> lines;
        std::wstring note;
    } cases[] = {
        {"=41=42", {"NOTE;ENCODING=QUOTED-PRINTABLE:=41=42"}, L"AB"},
        {"encoding before charset", {"NOTE;ENCODING=QUOTED-PRINTABLE;CHARSET=UTF-8:J=C3=B6rg"}, W("J\xC3\xB6rg")},
        {"charset before encoding", {"NOTE;CHARSET=UTF-8;ENCODING=QUOTED-PRINTABLE:J=C3=B6rg"}, W("J\xC3\xB6rg")},
        {"soft line break", {"NOTE;QUOTED-PRINTABLE:first=", "second"}, L"firstsecond"},
        {"soft break wins over folding", {"NOTE;QUOTED-PRINTABLE:abc=", " def"}, L"abcdef"},
        {"line breaks inside", {"NOTE;ENCODING=QUOTED-PRINTABLE:a=0D=0Ab"}, L"a\r\nb"},
        {"a stray equals sign", {"NOTE;ENCODING=QUOTED-PRINTABLE:a= b"}, L"a= b"},
        {"a short escape at the end", {"NOTE;ENCODING=QUOTED-PRINTABLE:x=4"}, L"x=4"},
        {"a zero byte ends the value", {"NOTE;ENCODING=QUOTED-PRINTABLE:ab=00cd"}, L"ab"},
        {"no parameter, no decoding", {"NOTE:=41"}, L"=41"},
    };
    CReportWatch reports;
    for (const Case& c : cases)
        EXPECT_EQ(ReadOne(Card("2.1", c.lines)).comment, c.note) << c.what;
    EXPECT_TRUE(reports.Texts().empty());
}

TEST(QuotedPrintableValues, OurOwnExportComesBack)
{
    // The writer ends a value of 65 bytes with a soft break; the empty line behind it is the
    // value's, and the next property still reads.
    std::string x65(65, 'x');
    CContactRecord c = ReadOne(Card("2.1", {"NOTE;ENCODING=QUOTED-PRINTABLE:" + x65 + "=", "",
                                         "ADR;WORK;ENCODING=QUOTED-PRINTABLE:;;Main St=0D=0AFloor 2;Town;;;",
                                         "TEL;WORK:5"}));
    EXPECT_EQ(c.comment, std::wstring(65, L'x'));
    EXPECT_EQ(c.business[CContactRecord::kStreet], L"Main St\r\nFloor 2");
    EXPECT_EQ(c.business[CContactRecord::kLocality], L"Town");
    EXPECT_EQ(c.businessPhone, L"5");
}

TEST(QuotedPrintableValues, ContinuationsOfSkippedPropertiesAreNotProperties)
{
    CContactRecord c = ReadOne(Card("2.1", {"LABEL;QUOTED-PRINTABLE:Street=", "TEL:12", "FN;QUOTED-PRINTABLE:A=", "B",
                                         "FN;QUOTED-PRINTABLE:x=", "TEL;HOME:34"}));
    EXPECT_EQ(c.displayName, L"AB");
    EXPECT_EQ(c.homePhone, L"");
}

TEST(QuotedPrintableValues, AddressesOf21AreAlwaysDecoded)
{
    EXPECT_EQ(ReadOne(Card("2.1", {"ADR:;;M=C3=BCnster"})).business[CContactRecord::kStreet], W("M\xC3\xBCnster"));
    // vCard 3.0 has no quoted-printable: an unmarked address keeps its '='.
    EXPECT_EQ(ReadOne(Card("3.0", {"ADR:;;Flat=AB"})).business[CContactRecord::kStreet], L"Flat=AB");
}

// --- Base64 ---------------------------------------------------------------------------------------

TEST(Base64Values, DecodedWithTheirCharsetForEveryStoredProperty)
{
    struct Case {
        const char* what;
        std::string version;
        std::vector<std::string> lines;
        std::wstring CContactRecord::*field;
        std::wstring expected;
    } cases[] = {
        {"3.0 ENCODING=b", "3.0", {"NOTE;ENCODING=b:TGllYmxpbmdzZmFyYmU6IFZpb2xldHQ="}, &CContactRecord::comment,
         L"Lieblingsfarbe: Violett"},
        {"2.1 bare BASE64", "2.1", {"NOTE;BASE64:TGllYmxpbmdzZmFyYmU6IFZpb2xldHQ="}, &CContactRecord::comment,
         L"Lieblingsfarbe: Violett"},
        {"2.1 over lines up to a blank line, in its charset", "2.1",
         {"NOTE;ENCODING=BASE64;CHARSET=windows-1251:", "wO", "3/", "", "TEL;WORK:1"}, &CContactRecord::comment,
         W("\xD0\x90\xD0\xBD\xD1\x8F")},
        {"UTF-8 bytes without a charset", "2.1", {"FN;ENCODING=BASE64:SsO2cmc="}, &CContactRecord::displayName,
         W("J\xC3\xB6rg")},
        {"components of a structured value", "3.0", {"N;ENCODING=b:TGVlO0Fubg=="}, &CContactRecord::givenName, L"Ann"},
        {"no escapes in a 3.0 value", "3.0", {"TITLE;ENCODING=b:QzpcbmV3"}, &CContactRecord::title, L"C:\\new"},
        {"blanks at the ends trimmed", "3.0", {"NICKNAME;ENCODING=b:IHBhZGRlZCAg"}, &CContactRecord::nickname, L"padded"},
        {"a telephone", "2.1", {"TEL;WORK;ENCODING=BASE64:KzEgNTU1"}, &CContactRecord::businessPhone, L"+1 555"},
        {"a picture's lines are its own", "2.1",
         {"PHOTO;ENCODING=BASE64;TYPE=JPEG:", "/9j/4AAQ", "SkZJRg==", "", "X-OUTL-SPOUSE;BASE64:TcO8bGxlcg=="},
         &CContactRecord::spouse, W("M\xC3\xBCller")},
    };
    CReportWatch reports;
    for (const Case& c : cases) {
        CContactRecord card = ReadOne(Card(c.version, c.lines));
        EXPECT_EQ(card.*c.field, c.expected) << c.what;
        if (c.lines.back() == "TEL;WORK:1") {
            EXPECT_EQ(card.businessPhone, L"1") << c.what;
        }
    }
    CContactRecord dated = ReadOne(Card("3.0", {"BDAY;ENCODING=b:MTk3NS0wMy0xNA==", "ADR;HOME;ENCODING=b:OztNYWluIFN0"}));
    EXPECT_TRUE(SameDate(dated.birthday, Date(1975, 3, 14)));
    EXPECT_EQ(dated.home[CContactRecord::kStreet], L"Main St");
    EXPECT_TRUE(reports.Texts().empty());

    // A value that is no base64 is taken as written, and said so as a quoted-printable one is.
    EXPECT_EQ(ReadOne(Card("3.0", {"NOTE;ENCODING=b:not base64!"})).comment, L"not base64!");
    ASSERT_EQ(reports.Texts().size(), 1u);
    EXPECT_EQ(reports.Texts()[0], "invalid element NOTE");
}

// --- Folding ------------------------------------------------------------------------------------

TEST(Folding, LongValuesArriveWhole)
{
    CContactRecord c = ReadOne(Card("3.0", {"NOTE:This is a long no", " te that goes on", "\t and on", "ADR;TYPE=WORK:;;6544 Battleford Drive",
                                         " ;Raleigh;NC;27613-3502;U.S.A.", "EMAIL;TYPE=INTERNET", " ,PREF:a@b.c"}));
    EXPECT_EQ(c.comment, L"This is a long note that goes on and on");
    EXPECT_EQ(c.business[CContactRecord::kStreet], L"6544 Battleford Drive");
    EXPECT_EQ(c.business[CContactRecord::kLocality], L"Raleigh");
    EXPECT_EQ(c.business[CContactRecord::kCountry], L"U.S.A.");
    EXPECT_EQ(c.emails, std::vector<std::wstring>{L"a@b.c"});
}

TEST(Folding, MultibyteCharactersSplitAcrossLines)
{
    CContactRecord c = ReadOne(Card("3.0", {"FN:J\xC3", " \xB6rg"}));
    EXPECT_EQ(c.displayName, W("J\xC3\xB6rg"));
}

// --- Parameters ---------------------------------------------------------------------------------

TEST(Parameters, EveryParameterCounts)
{
    struct Case {
        const char* line;
        std::wstring CContactRecord::*field;
        std::wstring expected;
    } cases[] = {
        {"TEL;WORK;CHARSET=UTF-8:1", &CContactRecord::businessPhone, L"1"},
        {"TEL;TYPE=WORK,VOICE:2", &CContactRecord::businessPhone, L"2"},
        {"TEL;TYPE=\"work,voice\";PREF=1:3", &CContactRecord::businessPhone, L"3"},
        {"tel;type=cell:4", &CContactRecord::mobilePhone, L"4"},
        {"TEL;TYPE=VOICE;MSG,WORK:5", &CContactRecord::businessPhone, L"5"},
        {"TEL;VALUE=uri;TYPE=home:tel:+1-555", &CContactRecord::homePhone, L"+1-555"},
        {"TEL;HOME:tel:6", &CContactRecord::homePhone, L"tel:6"},
        {"URL;TYPE=home:http://h", &CContactRecord::personalHomePage, L"http://h"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(ReadOne(Card("3.0", {c.line})).*c.field, c.expected) << c.line;
}

TEST(Parameters, EmailTypes)
{
    struct Case {
        std::vector<std::string> lines;
        std::vector<std::wstring> emails;
        std::vector<std::wstring> types;
    } cases[] = {
        {{"item1.email;type=INTERNET:a@b"}, {L"a@b"}, {L"SMTP"}},
        {{"EMAIL:a", "EMAIL:b", "EMAIL;PREF:c"}, {L"c", L"a", L"b"}, {L"SMTP", L"SMTP", L"SMTP"}},
        {{"EMAIL;X400:x"}, {L"x"}, {L""}},
        {{"EMAIL;INTERNET;X400:x"}, {L"x"}, {L"SMTP"}},
        {{"EMAIL;TYPE=work;X-COUCHDB-UUID=\"u\":x"}, {L"x"}, {L"SMTP"}},
        {{"EMAIL:a", "EMAIL;PREF=1:b"}, {L"b", L"a"}, {L"SMTP", L"SMTP"}},
        {{"EMAIL;CHARSET=UTF-8:x"}, {L"x"}, {L"SMTP"}},
        {{"EMAIL:"}, {}, {}},
    };
    for (const Case& c : cases) {
        CContactRecord card = ReadOne(Card("3.0", c.lines));
        EXPECT_EQ(card.emails, c.emails) << c.lines[0];
        EXPECT_EQ(card.emailTypes, c.types) << c.lines[0];
    }
}

// --- Handlers: which value wins -----------------------------------------------------------------

TEST(Handlers, FirstOrLastWins)
{
    struct Case {
        const char* what;
        std::vector<std::string> lines;
        std::wstring CContactRecord::*field;
        std::wstring expected;
    } cases[] = {
        {"FN first", {"FN:one", "FN:two"}, &CContactRecord::displayName, L"one"},
        {"NICKNAME first", {"NICKNAME:one", "NICKNAME:two"}, &CContactRecord::nickname, L"one"},
        {"TITLE first", {"TITLE:one", "TITLE:two"}, &CContactRecord::title, L"one"},
        {"NOTE first", {"NOTE:one", "NOTE:two"}, &CContactRecord::comment, L"one"},
        {"ORG first", {"ORG:A;B", "ORG:C;D"}, &CContactRecord::department, L"B"},
        {"ORG department only blocks later ORG", {"ORG:;Sales", "ORG:Acme"}, &CContactRecord::company, L""},
        {"ORG remainder keeps ';'", {"ORG:A;B;C"}, &CContactRecord::department, L"B;C"},
        {"URL last", {"URL:one", "URL:two"}, &CContactRecord::businessHomePage, L"two"},
        {"URL;WORK;HOME fills both", {"URL;WORK;HOME:u"}, &CContactRecord::personalHomePage, L"u"},
        {"X-OUTL-SPOUSE first", {"X-OUTL-SPOUSE:one", "X-OUTL-SPOUSE:two"}, &CContactRecord::spouse, L"one"},
        {"X-OUTL-SPOUSE with charset", {"X-OUTL-SPOUSE;CHARSET=UTF-8:Ann"}, &CContactRecord::spouse, L"Ann"},
        {"ROLE is not stored", {"ROLE:boss"}, &CContactRecord::title, L""},
        {"empty value keeps the field open", {"FN:", "FN:two"}, &CContactRecord::displayName, L"two"},
        {"line without ':' after parameters is ignored", {"FN;X", "FN:ok"}, &CContactRecord::displayName, L"ok"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(ReadOne(Card("2.1", c.lines)).*c.field, c.expected) << c.what;
}

TEST(Handlers, NameComponentsOverrideOneByOne)
{
    CContactRecord c = ReadOne(Card("2.1", {"N:Lee;Ann;M;Dr.;Jr.", "N:;Eve;;;"}));
    EXPECT_EQ(c.surname, L"Lee");
    EXPECT_EQ(c.givenName, L"Eve");
    EXPECT_EQ(c.middleName, L"M");
    EXPECT_EQ(c.namePrefix, L"Dr.");
    EXPECT_EQ(c.nameSuffix, L"Jr.");
}

TEST(Handlers, Addresses)
{
    const std::wstring street = L"1 Main St";
    struct Case {
        std::vector<std::string> lines;
        std::wstring business, home, other;  // the last line's street in each block
    } cases[] = {
        {{"ADR;POSTAL:;;1 Main St"}, L"", L"", street},
        {{"ADR;TYPE=OTHER:;;1 Main St"}, L"", L"", street},
        {{"ADR:;;1 Main St"}, street, L"", L""},
        {{"ADR;WORK:;;0 Elm St", "ADR:;;1 Main St"}, L"0 Elm St", L"", street},
        {{"ADR;HOME;WORK:;;1 Main St"}, street, street, L""},
        {{"ADR;TYPE=HOME,POSTAL:;;1 Main St"}, L"", street, L""},
        {{"ADR;WORK;POSTAL:;;1 Main St"}, street, L"", L""},
    };
    for (const Case& c : cases) {
        CContactRecord card = ReadOne(Card("2.1", c.lines));
        EXPECT_EQ(card.business[CContactRecord::kStreet], c.business) << c.lines.back();
        EXPECT_EQ(card.home[CContactRecord::kStreet], c.home) << c.lines.back();
        EXPECT_EQ(card.other[CContactRecord::kStreet], c.other) << c.lines.back();
    }
    // First per block: a block with any text (the post office box too) stays. The address book
    // has no extended part but the business address's: elsewhere it opens the street.
    CContactRecord c = ReadOne(Card("2.1", {"ADR;WORK:Box 1;;;;;;", "ADR;WORK:;Ext;Street;City;Region;12;Land",
                                         "ADR;HOME:;Ext;Street;City;Region;12;Land;more",
                                         "ADR;POSTAL:Box 9;Floor 2;;Town"}));
    EXPECT_EQ(c.business[CContactRecord::kPoBox], L"Box 1");
    EXPECT_EQ(c.business[CContactRecord::kStreet], L"");
    EXPECT_EQ(c.home[CContactRecord::kExtended], L"");
    EXPECT_EQ(c.home[CContactRecord::kStreet], L"Ext\r\nStreet");
    EXPECT_EQ(c.home[CContactRecord::kRegion], L"Region");
    EXPECT_EQ(c.home[CContactRecord::kPostalCode], L"12");
    EXPECT_EQ(c.home[CContactRecord::kCountry], L"Land;more");
    EXPECT_EQ(c.other[CContactRecord::kPoBox], L"Box 9");
    EXPECT_EQ(c.other[CContactRecord::kStreet], L"Floor 2");
    EXPECT_EQ(c.other[CContactRecord::kLocality], L"Town");
}

TEST(Handlers, Telephones)
{
    struct Case {
        const char* what;
        std::vector<std::string> lines;
        std::vector<std::wstring> fields;  // business phone, business fax, home phone, home fax, mobile, pager
    } cases[] = {
        {"bare FAX is the business fax", {"TEL;FAX:1"}, {L"", L"1", L"", L"", L"", L""}},
        {"a second bare FAX is dropped", {"TEL;FAX:1", "TEL;FAX:2"}, {L"", L"1", L"", L"", L"", L""}},
        {"WORK;FAX with the fax filled", {"TEL;FAX:1", "TEL;WORK;FAX:2"}, {L"2", L"1", L"", L"", L"", L""}},
        {"HOME;FAX twice", {"TEL;HOME;FAX:1", "TEL;HOME;FAX:2"}, {L"", L"", L"2", L"1", L"", L""}},
        {"VOICE alone and no type", {"TEL;VOICE:1", "TEL:2", "TEL;PREF:3"}, {L"", L"", L"", L"", L"", L""}},
        {"WORK;CELL fills two", {"TEL;WORK;CELL:1"}, {L"1", L"", L"", L"", L"1", L""}},
        {"first per field", {"TEL;CELL:1", "TEL;CELL:2", "TEL;PAGER:3", "TEL;WORK;HOME:4"}, {L"4", L"", L"4", L"", L"1", L"3"}},
        {"FAX with another type is not bare", {"TEL;FAX;VOICE:1"}, {L"", L"", L"", L"", L"", L""}},
    };
    for (const Case& c : cases) {
        CContactRecord card = ReadOne(Card("2.1", c.lines));
        std::vector<std::wstring> got = {card.businessPhone, card.businessFax, card.homePhone,
                                         card.homeFax, card.mobilePhone, card.pager};
        EXPECT_EQ(got, c.fields) << c.what;
    }
}

TEST(Handlers, Dates)
{
    const FILETIME mar14 = Date(1975, 3, 14);
    const FILETIME zero = {0, 0};
    struct Case {
        const char* what;
        std::vector<std::string> lines;
        FILETIME expected;
    } cases[] = {
        {"eight digits", {"BDAY:19750314"}, mar14},
        {"hyphens", {"BDAY:1975-03-14"}, mar14},
        {"time part ignored", {"BDAY:19750314T231000Z"}, mar14},
        {"year only", {"BDAY:1975"}, zero},
        {"no year (vCard 4.0)", {"BDAY:--0314"}, zero},
        {"text", {"BDAY;VALUE=text:circa 1800"}, zero},
        {"last valid wins", {"BDAY:19700101", "BDAY:1975-03-14", "BDAY:1980"}, mar14},
        {"month 13 leaves the field", {"BDAY:19750314", "BDAY:19751314"}, mar14},
        {"value parameter", {"BDAY;VALUE=date:1975-03-14"}, mar14},
        {"charset parameter of our exports", {"BDAY;CHARSET=UTF-8:19750314"}, mar14},
    };
    for (const Case& c : cases)
        EXPECT_TRUE(SameDate(ReadOne(Card("2.1", c.lines)).birthday, c.expected)) << c.what;
    EXPECT_TRUE(SameDate(ReadOne(Card("2.1", {"X-OUTL-ANNIVERSARY:19750314"})).anniversary, mar14));

    // The reader's own calendar takes and refuses the dates the system's does, to the same times:
    // month and leap-year lengths, the ends of the file-time calendar. February 29 of a common
    // year is refused as Windows refuses it (Wine's conversion takes it as March 1).
    uint64_t ignored = 0;
    EXPECT_FALSE(vcard::FileTimeFromDate(1900, 2, 29, &ignored));
    EXPECT_FALSE(vcard::FileTimeFromDate(2023, 2, 29, &ignored));
    const int dates[][3] = {{1601, 1, 1},  {1600, 12, 31}, {1970, 1, 1},   {2000, 2, 29}, {2024, 2, 29},
                            {2023, 2, 28}, {2023, 4, 31},  {2023, 12, 31}, {2023, 0, 1},  {2023, 13, 1},
                            {2023, 1, 0},  {2023, 1, 32},  {9999, 12, 31}, {30827, 12, 31}, {0, 0, 0}};
    for (const auto& d : dates) {
        SYSTEMTIME st = {};
        st.wYear = static_cast<WORD>(d[0]);
        st.wMonth = static_cast<WORD>(d[1]);
        st.wDay = static_cast<WORD>(d[2]);
        FILETIME system = {0, 0};
        uint64_t ours = 0;
        bool systemTakes = ::SystemTimeToFileTime(&st, &system) != FALSE;
        EXPECT_EQ(systemTakes, vcard::FileTimeFromDate(d[0], d[1], d[2], &ours)) << d[0] << "-" << d[1] << "-" << d[2];
        if (systemTakes) {
            EXPECT_TRUE(SameDate({true, ours}, system)) << d[0] << "-" << d[1] << "-" << d[2];
        }
    }
}

TEST(Handlers, OutlookExtensions)
{
    CContactRecord c = ReadOne(Card("2.1", {"X-OUTL-GENDER:0", "X-OUTL-GENDER:2", "X-OUTL-GENDER:1",
                                         "X-OUTL-CHILDREN:Tom, Sue,,Ann", "X-OUTL-CHILDREN:Bob",
                                         "X-OUTL-NMSERVER:a", "X-OUTL-NMSERVER:", "X-OUTL-NMSERVER;CHARSET=UTF-8:b"}));
    EXPECT_EQ(c.gender, 2);
    EXPECT_EQ(c.children, (std::vector<std::wstring>{L"Tom", L"Sue", L"Ann"}));
    EXPECT_EQ(c.conferencingServers, (std::vector<std::wstring>{L"a", L"", L"b"}));
    // 3.0 escapes the commas between children; a comma inside a name is escaped once more.
    EXPECT_EQ(ReadOne(Card("3.0", {"X-OUTL-CHILDREN:Tom\\,Sue"})).children,
              (std::vector<std::wstring>{L"Tom", L"Sue"}));
    EXPECT_EQ(ReadOne(Card("3.0", {"X-OUTL-CHILDREN:Lee\\\\\\, Jr.\\,Sue"})).children,
              (std::vector<std::wstring>{L"Lee, Jr.", L"Sue"}));
    EXPECT_EQ(ReadOne(Card("2.1", {"X-OUTL-CHILDREN:Lee\\, Jr.,Sue,a\\b"})).children,
              (std::vector<std::wstring>{L"Lee, Jr.", L"Sue", L"a\\b"}));

    // Values with line breaks arrive quoted-printable over several lines, decoded.
    CContactRecord qp = ReadOne(Card("2.1", {"X-OUTL-SPOUSE;ENCODING=QUOTED-PRINTABLE:Eva=0D=0A=", "Maria",
                                          "X-OUTL-NMSERVER;CHARSET=UTF-8;ENCODING=QUOTED-PRINTABLE:a=3Db=0D=0A=",
                                          "c", "X-OUTL-CHILDREN;ENCODING=QUOTED-PRINTABLE:Tom=0D=0AT.,Sue",
                                          "TEL;HOME:1"}));
    EXPECT_EQ(qp.spouse, L"Eva\r\nMaria");
    EXPECT_EQ(qp.conferencingServers, std::vector<std::wstring>{L"a=b\r\nc"});
    EXPECT_EQ(qp.children, (std::vector<std::wstring>{L"Tom\r\nT.", L"Sue"}));
    EXPECT_EQ(qp.homePhone, L"1");
}

TEST(QuotedPrintableValues, ASoftBreakBeforeTheCardsEndKeepsTheCard)
{
    CReadResult r = ReadAll(Crlf({"BEGIN:VCARD", "VERSION:2.1", "FN:Ann", "NOTE;ENCODING=QUOTED-PRINTABLE:one=0D=0Atwo=",
                                  "END:VCARD"}) +
                            Card("2.1", {"FN:Bob"}));
    ASSERT_EQ(r.cards.size(), 2u);
    EXPECT_EQ(r.cards[0].displayName, L"Ann");
    EXPECT_EQ(r.cards[0].comment, L"one\r\ntwo");
    EXPECT_EQ(r.cards[1].displayName, L"Bob");
}

// --- vCard 3.0 and 4.0 ----------------------------------------------------------------------------

TEST(Version30, EscapesAndComponents)
{
    CContactRecord c30 = ReadOne(Card("3.0", {"NOTE:x\\ny", "N:Smith\\; Jr.;Ann", "ORG:Acme\\, Inc.",
                                           "TITLE:C:\\\\new", "EMAIL;TYPE=INTERNET:semicolon\\;@points.net"}));
    EXPECT_EQ(c30.comment, L"x\r\ny");
    EXPECT_EQ(c30.surname, L"Smith; Jr.");
    EXPECT_EQ(c30.givenName, L"Ann");
    EXPECT_EQ(c30.company, L"Acme, Inc.");
    EXPECT_EQ(c30.title, L"C:\\new");
    EXPECT_EQ(c30.emails, std::vector<std::wstring>{L"semicolon;@points.net"});

    CContactRecord c21 = ReadOne(Card("2.1", {"NOTE:x\\ny"}));
    EXPECT_EQ(c21.comment, L"x\\ny");
    EXPECT_EQ(ReadOne(Card("4.0", {"NOTE:x\\ny"})).comment, L"x\r\ny");
    // VERSION written last still governs the lines before it.
    EXPECT_EQ(ReadOne(Card("", {"NOTE:a\\Nb", "VERSION:3.0"})).comment, L"a\r\nb");
}

TEST(Version30, OurOwnExampleCardComesBack)
{
    CContactRecord c = ReadOne(Crlf({"BEGIN:VCARD", "PRODID:-//Brisco Corporation//Quillon 1.11//EN", "VERSION:3.0",
                                  "N;CHARSET=UTF-8:Lee;Ann;;;", "FN;CHARSET=UTF-8:Ann Lee",
                                  "ORG;CHARSET=UTF-8:Acme\\, Inc.", "TEL;CHARSET=UTF-8;TYPE=WORK:12345",
                                  "EMAIL;CHARSET=UTF-8;TYPE=PREF;TYPE=INTERNET:ann@acme.com",
                                  "X-OUTL-GENDER;CHARSET=UTF-8:1", "REV;CHARSET=UTF-8:20240101T000000Z", "END:VCARD"}));
    EXPECT_EQ(c.surname, L"Lee");
    EXPECT_EQ(c.givenName, L"Ann");
    EXPECT_EQ(c.displayName, L"Ann Lee");
    EXPECT_EQ(c.company, L"Acme, Inc.");
    EXPECT_EQ(c.businessPhone, L"12345");
    EXPECT_EQ(c.emails, std::vector<std::wstring>{L"ann@acme.com"});
    EXPECT_EQ(c.emailTypes, std::vector<std::wstring>{L"SMTP"});
    EXPECT_EQ(c.gender, 1);
}

// --- Cards ----------------------------------------------------------------------------------------

TEST(Cards, StructureOfAFile)
{
    // A card inside a card (here an AGENT's, as vCard 2.1 writes it) is handed over at its own
    // end; the card around it keeps its lines on both sides of it.
    CReadResult r = ReadAll("junk line\r\nN:outside\r\n" +
                            Card("2.1", {"FN:a", "EMAIL;PREF:o@x", "X-SKYPE-ID:a", "AGENT:", "BEGIN:VCARD", "VERSION:3.0",
                                         "FN:agent", "NOTE:x\\ny", "EMAIL;PREF:i@x", "END:VCALENDAR", "END:VCARD",
                                         "TEL;HOME:1", "NOTE:a\\nb", "EMAIL:p@x"}) +
                            "between\r\n" + Crlf({"begin:vcard", "fn:b", "end:vcard"}) +
                            Crlf({"BEGIN:VCARD", "FN:lost", "BEGIN:VCARD", "FN:inner of lost", "END:VCARD"}));
    ASSERT_EQ(r.cards.size(), 4u);
    EXPECT_EQ(r.result, 0);
    const std::vector<std::vector<std::wstring>> expected = {
        {L"agent", L"", L"x\r\ny"}, {L"a", L"1", L"a\\nb"}, {L"b", L"", L""}, {L"inner of lost", L"", L""}};
    for (size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ((std::vector<std::wstring>{r.cards[i].displayName, r.cards[i].homePhone, r.cards[i].comment}), expected[i])
            << i;
    }
    EXPECT_EQ(r.formats, (std::vector<int>{30, 0, 0, 0}));
    EXPECT_EQ(r.cards[0].emails, std::vector<std::wstring>{L"i@x"});
    EXPECT_EQ(r.cards[1].emails, (std::vector<std::wstring>{L"o@x", L"p@x"}));
}

TEST(Cards, NothingLeaksFromOneCardIntoTheNext)
{
    CReadResult r = ReadAll(Card("3.0", {"FN:a", "X-SKYPE-X:1", "EMAIL:e", "BDAY:19750314"}) + Card("2.1", {"NOTE:n\\nx"}));
    ASSERT_EQ(r.cards.size(), 2u);
    EXPECT_EQ(r.formats, (std::vector<int>{30, 0}));
    EXPECT_EQ(r.cards[1].displayName, L"");
    EXPECT_EQ(r.cards[1].emails, kNone);
    EXPECT_EQ(r.cards[1].birthday.fileTime >> 32, 0u);
    EXPECT_EQ(r.cards[1].comment, L"n\\nx");
}

TEST(Cards, EveryFieldOfTheLastCardIsGoneAtTheNext)
{
    CReadResult r = ReadAll(
        Card("2.1", {"N:f;g;m;p;s", "FN:d", "NICKNAME:n", "ORG:o;dep", "TITLE:t", "NOTE:x", "BDAY:19750314",
                     "ADR;WORK:b1;b2;b3;b4;b5;b6;b7", "ADR;HOME:h1;h2;h3;h4;h5;h6;h7", "TEL;WORK;VOICE:1",
                     "TEL;WORK;FAX:2", "TEL;HOME;VOICE:3", "TEL;HOME;FAX:4", "TEL;CELL:5", "TEL;PAGER:6",
                     "EMAIL;INTERNET:e", "URL;WORK:u1", "URL;HOME:u2", "X-OUTL-SPOUSE:s", "X-OUTL-ANNIVERSARY:19800101",
                     "X-OUTL-NMSERVER:srv", "X-OUTL-GENDER:1", "X-OUTL-CHILDREN:c", "ADR;POSTAL:o1;o2;o3;o4;o5;o6;o7",
                     "TEL;WORK:7", "TEL;HOME:8", "TEL;CAR:9", "TEL;PREF:10", "TEL;VOICE:11", "TEL;MAIN:12",
                     "TEL;X-EVOLUTION-CALLBACK:13", "TEL;ISDN:14", "TEL;RADIO:15", "TEL;TELEX:16", "TEL;TEXTPHONE:17",
                     "TEL;ASSISTANT:18", "TEL;OTHER;FAX:19", "X-OUTL-ASSISTANTNAME:a", "X-OUTL-MANAGERNAME:m",
                     "KEY;ENCODING=BASE64:MA==", "CATEGORIES:g"}) +
        Card("2.1", {}));
    ASSERT_EQ(r.cards.size(), 2u);
    // The address book has no extended part but the business address's: no card fills the others.
    CContactRecord first = r.cards[0];
    first.home[CContactRecord::kExtended] = first.other[CContactRecord::kExtended] = L"(none)";
    const std::vector<std::wstring> full = Dump(first), fresh = Dump(CContactRecord());
    ASSERT_EQ(full.size(), fresh.size());
    for (size_t i = 0; i < full.size(); ++i)
        EXPECT_NE(full[i], fresh[i]) << "field " << i << " is not filled by the first card";
    EXPECT_EQ(Dump(r.cards[1]), fresh);
}

TEST(Cards, ManyShortPropertiesAllArrive)
{
    // Far more lines than any real card has; each costs its own bytes, the last arrives, and the
    // preferred addresses come first, the last of them in front.
    std::vector<std::string> lines;
    const int kPairs = 12000;
    for (int i = 0; i < kPairs; ++i) {
        lines.push_back("EMAIL;PREF:p" + std::to_string(i));
        lines.push_back("EMAIL:a" + std::to_string(i));
    }
    lines.push_back("FN:last");
    CContactRecord c = ReadOne(Card("2.1", lines));
    EXPECT_EQ(c.displayName, L"last");
    ASSERT_EQ(c.emails.size(), size_t(2 * kPairs));
    EXPECT_EQ(c.emailTypes.size(), c.emails.size());
    EXPECT_EQ(c.emails[0], L"p11999");
    EXPECT_EQ(c.emails[kPairs - 1], L"p0");
    EXPECT_EQ(c.emails[kPairs], L"a0");
    EXPECT_EQ(c.emails.back(), L"a11999");
}

TEST(Cards, OnlyValuesTheImportStoresCountAgainstItsBounds)
{
    const std::string longLine(vcard::CvCardText::kMaxLineBytes + 100, 'A');
    std::vector<std::string> manyBytes;
    const std::string number(200, '9');
    for (size_t bytes = 0; bytes <= vcard::CCardReader::kMaxCardBytes; bytes += number.size() + 9)
        manyBytes.push_back("TEL;CELL:" + number);
    manyBytes.push_back("FN:beyond the bound");
    struct Case {
        const char* what;
        std::vector<std::string> lines;
        bool cut;
        std::wstring name;  // the last line's FN, when it arrives
    } cases[] = {
        {"a picture longer than a line may be", {"PHOTO;ENCODING=BASE64:" + longLine, "LOGO:" + longLine, "FN:whole"},
         false, L"whole"},
        {"a sound over lines", {"SOUND;ENCODING=BASE64:", longLine, longLine, "", "FN:whole"}, false, L"whole"},
        {"a note longer than a line may be", {"NOTE:" + longLine, "FN:cut"}, true, L"cut"},
        {"more bytes to store than a card may hold", manyBytes, true, L""},
    };
    for (const Case& c : cases) {
        CLoadedReader loaded(Card("2.1", c.lines));
        vcard::CCardReader& reader = loaded.Reader();
        std::vector<bool> cut;
        std::wstring name;
        reader.ReadAllCards([&] {
            cut.push_back(reader.CardCut());
            name = reader.Card().displayName;
            return 0;
        });
        EXPECT_EQ(cut, std::vector<bool>{c.cut}) << c.what;
        EXPECT_EQ(name, c.name) << c.what;
    }
}

TEST(Cards, SinkCanStopTheFile)
{
    CLoadedReader loaded(Card("2.1", {"FN:a"}) + Card("2.1", {"FN:b"}));
    vcard::CCardReader& reader = loaded.Reader();
    int calls = 0;
    EXPECT_EQ(reader.ReadAllCards([&] { ++calls; return -1; }), -1);
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(reader.Card().displayName, L"");
}

// --- Skype ----------------------------------------------------------------------------------------

TEST(Skype, FixesApplyOnlyToSkypeCards)
{
    std::vector<std::string> lines = {"N:Ann Lee", "FN:Ann Lee", "EMAIL;X400:a@b  c@d"};
    CContactRecord plain = ReadOne(Card("2.1", lines));
    EXPECT_EQ(plain.surname, L"Ann Lee");
    EXPECT_EQ(plain.emails, std::vector<std::wstring>{L"a@b  c@d"});

    lines.push_back("X-SKYPE-USERNAME:ann");
    CContactRecord skype = ReadOne(Card("2.1", lines));
    EXPECT_EQ(skype.surname, L"");
    EXPECT_EQ(skype.displayName, L"Ann Lee");
    EXPECT_EQ(skype.emails, (std::vector<std::wstring>{L"a@b", L"c@d"}));
    EXPECT_EQ(skype.emailTypes, (std::vector<std::wstring>{L"", L""}));

    CContactRecord full = ReadOne(Card("2.1", {"N:Lee;Ann", "FN:Ann Lee", "EMAIL:a@b", "EMAIL:c@d", "X-SKYPE-ID:1"}));
    EXPECT_EQ(full.surname, L"Lee");
    EXPECT_EQ(full.emails, (std::vector<std::wstring>{L"a@b", L"c@d"}));
}

// Digital IDs: a KEY's certificate in base64 however the formats lay it out, or as a data URI;
// a key that is not a certificate (PGP, or bytes that are no encoded sequence) is none.
TEST(Handlers, Keys)
{
    const std::string der = "\x30\x82\x01\x2c" + std::string(296, '0');
    const std::string b64 =
                            "MIIBLDAwMDAwMDAwMDAwMDAwMDAwMDAwMDAwMDAwMDAwMDAwMDAwMDAwMDAwMDAwMDAwMDAwMDAwMDAwMDAw"
                            "MDAwMDAwMDAwMDAwMDAwMDAwMDAwMDAwMDAwMDAwMDAwMDAwMDAwMDAwMDAwMDAwMDAwMDAwMDAwMDAwMDAw"
                            "MDAwMDAwMDAwMDAwMDAwMDAwMDAwMDAwMDAwMDAwMDAwMDAwMDAwMDAwMDAwMDAwMDAwMDAwMDAwMDAwMDAw"
                            "MDAwMDAwMDAwMDAwMDAwMDAwMDAwMDAwMDAwMDAwMDAwMDAwMDAwMDAwMDAwMDAwMDAwMDAwMDAwMDAwMDAw"
                            "MDAwMDAwMDAwMDAwMDAwMDAwMDAwMDAwMDAwMDAwMDAwMDAwMDAwMDAwMDAwMDAw";
    auto lines = [&b64](const char* indent) {
        std::vector<std::string> out;
        for (size_t at = 0; at < b64.size(); at += 76)
            out.push_back(indent + b64.substr(at, 76));
        return out;
    };
    std::vector<std::string> v21 = {"KEY;X509;ENCODING=BASE64:"};
    for (const std::string& l : lines("    "))
        v21.push_back(l);
    v21.insert(v21.end(), {"", "KEY;X509;ENCODING=BASE64:MAMCAQU=", "", "FN:after"});
    std::vector<std::string> v30 = {"KEY;TYPE=X509;ENCODING=b:" + lines("")[0]};
    for (size_t i = 1; i < lines("").size(); ++i)
        v30.push_back(" " + lines("")[i]);
    v30.insert(v30.end(), {"KEY:data:application/pkix-cert;base64,MAMCAQU=", "KEY;TYPE=PGP;ENCODING=b:MAMCAQU=",
                           "KEY;ENCODING=b:QUJD", "FN:after"});
    for (const auto& card : {Card("2.1", v21), Card("3.0", v30)}) {
        CContactRecord c = ReadOne(card);
        EXPECT_EQ(c.certificates, (std::vector<std::string>{der, std::string("\x30\x03\x02\x01\x05", 5)})) << card;
        EXPECT_EQ(c.displayName, L"after");
    }
}

// A group's own card, as this program and Apple's write it: its kind, and the addresses it keeps
// (a member named by a card's identifier is a contact, which its own card puts in the group).
TEST(Handlers, GroupCards)
{
    for (const char* kind : {"KIND:group", "X-ADDRESSBOOKSERVER-KIND:Group"}) {
        CContactRecord c = ReadOne(Card("3.0", {"FN:Club", kind, "MEMBER;X-CN=\"Cy; C\":mailto:cy@x.org",
                                                "X-ADDRESSBOOKSERVER-MEMBER:urn:uuid:1234", "MEMBER:mailto:dee@y.org"}));
        EXPECT_TRUE(c.isGroup) << kind;
        EXPECT_EQ(c.displayName, L"Club");
        EXPECT_EQ(c.oneOffNames, (std::vector<std::wstring>{L"Cy; C", L""}));
        EXPECT_EQ(c.oneOffAddresses, (std::vector<std::wstring>{L"cy@x.org", L"dee@y.org"}));
    }
    EXPECT_FALSE(ReadOne(Card("3.0", {"FN:Ann", "KIND:individual"})).isGroup);
}
