// The card text: whole cards compared byte for byte for contacts that exercise each rule, in both
// formats, with and without a charset; the quoted-printable line breaking; the card buffer's
// growth; dates against the system's own calendar conversion.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <vector>

#include "codec/vcard/CardText.h"
#include "codecsupport.h"
#include "common/text.h"
#include "support/testsupport.h"

using testsupport::Crlf;
using testsupport::FileTime;

namespace {

// The system's conversion into the run's code page (the ANSI code page unless a test names one).
class CConverter : public codectest::CWinConverter {
public:
    CConverter() { SetCodePage(vcard::kAnsiCodePage); }
};

// The card of fields in a format, converted through codePage, with the charset parameter when
// the code page is a real one. The product version is 2.1, as the program's resource says.
std::string Card(int format, const CContactRecord& fields, int codePage = vcard::kAnsiCodePage,
                 const std::string& charset = "")
{
    CConverter converter;
    converter.SetCodePage(codePage);
    vcard::CCardWriter writer(format, codePage > 0, charset, 2, 1, converter);
    CardBuffer buffer;
    writer.Write(fields, &buffer);
    return std::string(buffer.bytes, static_cast<size_t>(buffer.length));
}

std::string Note21(const std::wstring& note)
{
    CContactRecord f;
    f.comment = note;
    return Card(21, f);
}

// The full contact, every property the card is made of.
CContactRecord Everything()
{
    CContactRecord f;
    f.surname = L"Lee";
    f.givenName = L"Ann";
    f.middleName = L"Marie";
    f.namePrefix = L"Dr.";
    f.displayName = L"Ann Lee";
    f.nickname = L"Annie";
    f.company = L"Acme";
    f.department = L"Sales";
    f.title = L"Boss";
    f.comment = L"a=b";
    f.businessPhone = L"111";
    f.businessFax = L"222";
    f.homePhone = L"333";
    f.homeFax = L"444";
    f.mobilePhone = L"555";
    f.pager = L"666";
    f.business[CContactRecord::kExtended] = L"Room 1";
    f.business[CContactRecord::kStreet] = L"1 Main St";
    f.business[CContactRecord::kLocality] = L"Town";
    f.business[CContactRecord::kRegion] = L"ST";
    f.business[CContactRecord::kPostalCode] = L"12345";
    f.business[CContactRecord::kCountry] = L"Land";
    f.home[CContactRecord::kStreet] = L"2 Side St";
    f.home[CContactRecord::kLocality] = L"Village";
    f.home[CContactRecord::kRegion] = L"HS";
    f.home[CContactRecord::kPostalCode] = L"54321";
    f.home[CContactRecord::kCountry] = L"Home";
    f.personalHomePage = L"http://home.example";
    f.businessHomePage = L"http://work.example";
    f.birthday = {true, FileTime(1975, 3, 14, 23, 59, 59)};
    f.emailAddress = L"ann@x.org";
    f.addrType = L"SMTP";
    f.emails = {L"ann@x.org", L"a2@y.org"};
    f.emailTypes = {L"SMTP", L"X400"};
    f.defaultAddressIndex = 0;
    f.anniversary = {true, FileTime(2000, 6, 1)};
    f.conferencingServers = {L"srv1", L""};
    f.spouse = L"Bob";
    f.hasGender = true;
    f.gender = 2;
    f.children = {L" Tom ", L"Sue"};
    f.modified = {true, FileTime(2024, 5, 6, 7, 8, 9)};
    f.nameSuffix = L"Jr.";
    f.business[CContactRecord::kPoBox] = L"PO 1";
    f.home[CContactRecord::kPoBox] = L"PO 2";
    f.other[CContactRecord::kStreet] = L"3 Far Rd";
    f.other[CContactRecord::kCountry] = L"Away";
    const std::pair<std::wstring*, const wchar_t*> phones[] = {
        {&f.business2Phone, L"b2"}, {&f.home2Phone, L"h2"},  {&f.carPhone, L"car"},     {&f.primaryPhone, L"1st"},
        {&f.isdnNumber, L"isdn"},   {&f.companyMainPhone, L"main"}, {&f.otherPhone, L"other"}, {&f.otherFax, L"ofax"},
        {&f.callbackPhone, L"cb"},  {&f.radioPhone, L"radio"}, {&f.telexNumber, L"telex"}, {&f.ttyTddPhone, L"tty"},
        {&f.assistantPhone, L"asst"}};
    for (const auto& phone : phones)
        *phone.first = phone.second;
    f.assistant = L"Al";
    f.manager = L"Mo";
    f.groups = {L"Friends", L"A, B; C\\D"};
    f.certificates = {std::string("\x30\x03\x02\x01\x05", 5)};
    // What a card read may give but no contact property holds: never written.
    f.home[CContactRecord::kExtended] = L"Flat 3";
    f.other[CContactRecord::kExtended] = L"Flat 4";
    return f;
}

}  // namespace

TEST(CardText, EmptyContactGivesTheFiveLinesOfVCard21)
{
    EXPECT_EQ(Crlf({"BEGIN:VCARD", "VERSION:2.1", "N:;;;;", "FN:", "END:VCARD"}), Card(21, CContactRecord()));
    EXPECT_EQ(Crlf({"BEGIN:VCARD", "PRODID:-//Brisco Corporation//Quillon 2.1//EN", "VERSION:3.0", "N:;;;;", "FN:",
                    "END:VCARD"}),
              Card(30, CContactRecord()));
}

TEST(CardText, TheWholeExampleInVCard30WithUtf8)
{
    CContactRecord f;
    f.givenName = L"Ann";
    f.surname = L"Lee";
    f.company = L"Acme, Inc.";
    f.businessPhone = L"12345";
    EXPECT_EQ(Crlf({"BEGIN:VCARD", "PRODID:-//Brisco Corporation//Quillon 2.1//EN", "VERSION:3.0",
                    "N;CHARSET=UTF-8:Lee;Ann;;;", "FN;CHARSET=UTF-8:Ann Lee", "ORG;CHARSET=UTF-8:Acme\\, Inc.",
                    "TEL;CHARSET=UTF-8;TYPE=WORK:12345", "END:VCARD"}),
              Card(30, f, 65001, "UTF-8"));
}

TEST(CardText, EveryPropertyInVCard21WithoutCharset)
{
    EXPECT_EQ(Crlf({"BEGIN:VCARD",
                    "VERSION:2.1",
                    "N:Lee;Ann;Marie;Dr.;Jr.",
                    "FN:Ann Lee",
                    "NICKNAME:Annie",
                    "ORG:Acme;Sales",
                    "TITLE:Boss",
                    "NOTE;ENCODING=QUOTED-PRINTABLE:a=3Db",
                    "TEL;WORK:111",
                    "TEL;WORK;FAX:222",
                    "TEL;HOME:333",
                    "TEL;HOME;FAX:444",
                    "TEL;CELL:555",
                    "TEL;PAGER:666",
                    "TEL;WORK:b2",
                    "TEL;HOME:h2",
                    "TEL;CAR:car",
                    "TEL;PREF:1st",
                    "TEL;ISDN:isdn",
                    "TEL;MAIN:main",
                    "TEL;VOICE:other",
                    "TEL;OTHER;FAX:ofax",
                    "TEL;X-EVOLUTION-CALLBACK:cb",
                    "TEL;X-EVOLUTION-RADIO:radio",
                    "TEL;X-EVOLUTION-TELEX:telex",
                    "TEL;X-EVOLUTION-TTYTDD:tty",
                    "TEL;X-EVOLUTION-ASSISTANT:asst",
                    "ADR;WORK:PO 1;Room 1;1 Main St;Town;ST;12345;Land",
                    "ADR;HOME:PO 2;;2 Side St;Village;HS;54321;Home",
                    "ADR;POSTAL:;;3 Far Rd;;;;Away",
                    "URL;HOME:http://home.example",
                    "URL;WORK:http://work.example",
                    "BDAY:19750314",
                    "EMAIL;PREF;INTERNET:ann@x.org",
                    "EMAIL:a2@y.org",
                    "X-OUTL-ANNIVERSARY:20000601",
                    "X-OUTL-NMSERVER:srv1",
                    "X-OUTL-NMSERVER:",
                    "X-OUTL-SPOUSE:Bob",
                    "X-OUTL-GENDER:2",
                    "X-OUTL-CHILDREN:Tom,Sue",
                    "X-OUTL-ASSISTANTNAME:Al",
                    "X-OUTL-MANAGERNAME:Mo",
                    "CATEGORIES:Friends,A\\, B; C\\\\D",
                    "KEY;X509;ENCODING=BASE64:",
                    "    MAMCAQU=",
                    "",
                    "REV:20240506T070809Z",
                    "END:VCARD"}),
              Card(21, Everything()));
}

TEST(CardText, EveryPropertyInVCard30WithCharset)
{
    EXPECT_EQ(Crlf({"BEGIN:VCARD",
                    "PRODID:-//Brisco Corporation//Quillon 2.1//EN",
                    "VERSION:3.0",
                    "N;CHARSET=UTF-8:Lee;Ann;Marie;Dr.;Jr.",
                    "FN;CHARSET=UTF-8:Ann Lee",
                    "NICKNAME;CHARSET=UTF-8:Annie",
                    "ORG;CHARSET=UTF-8:Acme;Sales",
                    "TITLE;CHARSET=UTF-8:Boss",
                    "NOTE;CHARSET=UTF-8:a=b",
                    "TEL;CHARSET=UTF-8;TYPE=WORK:111",
                    "TEL;CHARSET=UTF-8;TYPE=WORK;TYPE=FAX:222",
                    "TEL;CHARSET=UTF-8;TYPE=HOME:333",
                    "TEL;CHARSET=UTF-8;TYPE=HOME;TYPE=FAX:444",
                    "TEL;CHARSET=UTF-8;TYPE=CELL:555",
                    "TEL;CHARSET=UTF-8;TYPE=PAGER:666",
                    "TEL;CHARSET=UTF-8;TYPE=WORK:b2",
                    "TEL;CHARSET=UTF-8;TYPE=HOME:h2",
                    "TEL;CHARSET=UTF-8;TYPE=CAR:car",
                    "TEL;CHARSET=UTF-8;TYPE=PREF:1st",
                    "TEL;CHARSET=UTF-8;TYPE=ISDN:isdn",
                    "TEL;CHARSET=UTF-8;TYPE=MAIN:main",
                    "TEL;CHARSET=UTF-8;TYPE=VOICE:other",
                    "TEL;CHARSET=UTF-8;TYPE=OTHER;TYPE=FAX:ofax",
                    "TEL;CHARSET=UTF-8;TYPE=X-EVOLUTION-CALLBACK:cb",
                    "TEL;CHARSET=UTF-8;TYPE=X-EVOLUTION-RADIO:radio",
                    "TEL;CHARSET=UTF-8;TYPE=X-EVOLUTION-TELEX:telex",
                    "TEL;CHARSET=UTF-8;TYPE=X-EVOLUTION-TTYTDD:tty",
                    "TEL;CHARSET=UTF-8;TYPE=X-EVOLUTION-ASSISTANT:asst",
                    "ADR;CHARSET=UTF-8;TYPE=WORK:PO 1;Room 1;1 Main St;Town;ST;12345;Land",
                    "ADR;CHARSET=UTF-8;TYPE=HOME:PO 2;;2 Side St;Village;HS;54321;Home",
                    "ADR;CHARSET=UTF-8;TYPE=POSTAL:;;3 Far Rd;;;;Away",
                    "URL;CHARSET=UTF-8;TYPE=HOME:http://home.example",
                    "URL;CHARSET=UTF-8;TYPE=WORK:http://work.example",
                    "BDAY;CHARSET=UTF-8:19750314",
                    "EMAIL;CHARSET=UTF-8;TYPE=PREF;TYPE=INTERNET:ann@x.org",
                    "EMAIL;CHARSET=UTF-8:a2@y.org",
                    "X-OUTL-ANNIVERSARY;CHARSET=UTF-8:20000601",
                    "X-OUTL-NMSERVER;CHARSET=UTF-8:srv1",
                    "X-OUTL-NMSERVER;CHARSET=UTF-8:",
                    "X-OUTL-SPOUSE;CHARSET=UTF-8:Bob",
                    "X-OUTL-GENDER;CHARSET=UTF-8:2",
                    "X-OUTL-CHILDREN;CHARSET=UTF-8:Tom\\,Sue",
                    "X-OUTL-ASSISTANTNAME;CHARSET=UTF-8:Al",
                    "X-OUTL-MANAGERNAME;CHARSET=UTF-8:Mo",
                    "CATEGORIES;CHARSET=UTF-8:Friends,A\\, B\\; C\\\\D",
                    "KEY;TYPE=X509;ENCODING=b:MAMCAQU=",
                    "REV;CHARSET=UTF-8:20240506T070809Z",
                    "END:VCARD"}),
              Card(30, Everything(), 65001, "UTF-8"));
}

// The lines between N and END of a card, for cases that only touch a few lines.
std::string Body(int format, const CContactRecord& f, int codePage = vcard::kAnsiCodePage,
                 const std::string& charset = "")
{
    std::string card = Card(format, f, codePage, charset);
    size_t from = card.find("\r\nFN") + 2;
    size_t to = card.rfind("END:VCARD");
    return card.substr(from, to - from);
}

TEST(CardText, FormattedNameFallsBackToTheNameParts)
{
    struct Case {
        const wchar_t *given, *middle, *family, *display;
        const char* fn;
    } cases[] = {
        {L"Ann", L"", L"Lee", L"", "FN:Ann Lee\r\n"},
        {L"", L"M", L"Lee", L"", "FN:M Lee\r\n"},
        {L"", L"", L"Lee", L"", "FN:Lee\r\n"},
        {L"Ann", L"M", L"", L"", "FN:Ann M\r\n"},
        {L"Ann", L"M", L"Lee", L"Dr Who", "FN:Dr Who\r\n"},
    };
    for (const Case& c : cases) {
        CContactRecord f;
        f.givenName = c.given;
        f.middleName = c.middle;
        f.surname = c.family;
        f.displayName = c.display;
        EXPECT_EQ(c.fn, Body(21, f));
    }
}

TEST(CardText, QuotedPrintableBreaksLinesAt65)
{
    const std::string head = "NOTE;ENCODING=QUOTED-PRINTABLE:";
    struct Case {
        std::wstring note;
        std::string encoded;
    } cases[] = {
        {std::wstring(100, L'x'), std::string(65, 'x') + "=\r\n" + std::string(35, 'x')},
        {std::wstring(65, L'x'), std::string(65, 'x') + "=\r\n"},
        {std::wstring(64, L'x'), std::string(64, 'x')},
        {L"a\r\nb", "a=0D=0Ab"},
        // A blank is copied below 64 and encoded from there on.
        {std::wstring(63, L'x') + L" y", std::string(63, 'x') + " y=\r\n"},
        {std::wstring(64, L'x') + L" y", std::string(64, 'x') + "=20=\r\ny"},
        {std::wstring(64, L'x') + L"\ty", std::string(64, 'x') + "=09=\r\ny"},
        {std::wstring(63, L'x') + L"=", std::string(63, 'x') + "=3D=\r\n"},
        {std::wstring(62, L'x') + L"==", std::string(62, 'x') + "=3D=\r\n=3D"},
        // A blank that would open the next physical line is encoded: readers drop it.
        {std::wstring(65, L'x') + L" a", std::string(65, 'x') + "=\r\n=20a"},
        {std::wstring(65, L'x') + L"\t a", std::string(65, 'x') + "=\r\n=09 a"},
        {std::wstring(65, L'x') + L"a b", std::string(65, 'x') + "=\r\na b"},
        // Blanks at the value's ends are encoded: readers trim the plain ones.
        {L" lead", "=20lead"},
        {L"trail \t", "trail=20=09"},
        {L"\u00e9\u20ac", "=E9=80"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(Crlf({"BEGIN:VCARD", "VERSION:2.1", "N:;;;;", "FN:", head + c.encoded, "END:VCARD"}),
                  Note21(c.note))
            << c.encoded;
}

TEST(CardText, QuotedPrintableOfUtf8AndOfACyrillicCodePage)
{
    CContactRecord f;
    f.comment = L"\u0418\u0432\u0430\u043d \u4e2d";
    f.displayName = L"\u0418\u0432\u0430\u043d";
    EXPECT_EQ("FN;CHARSET=UTF-8:\xD0\x98\xD0\xB2\xD0\xB0\xD0\xBD\r\n"
              "NOTE;CHARSET=UTF-8;ENCODING=QUOTED-PRINTABLE:=D0=98=D0=B2=D0=B0=D0=BD =E4=B8=AD\r\n",
              Body(21, f, 65001, "UTF-8"));
    // Windows-1251 has no Chinese: it becomes the code page's default character.
    EXPECT_EQ("FN;CHARSET=windows-1251:\xC8\xE2\xE0\xED\r\n"
              "NOTE;CHARSET=windows-1251;ENCODING=QUOTED-PRINTABLE:=C8=E2=E0=ED ?\r\n",
              Body(21, f, 1251, "windows-1251"));
}

TEST(CardText, EscapingInVCard30)
{
    CContactRecord f;
    f.comment = L"a, b\r\nc\\; d";
    f.title = L"x;y";
    f.businessPhone = L"1,2";
    f.department = L"Sales";
    // A ';' of a text value too: readers that split every value at it would cut the text there.
    EXPECT_EQ(Crlf({"FN:", "ORG:;Sales", "TITLE:x\\;y", "NOTE:a\\, b\\nc\\\\\\; d", "TEL;TYPE=WORK:1,2"}),
              Body(30, f));
    // vCard 2.1 writes the same values as they are (the note quoted-printable).
    EXPECT_EQ(Crlf({"FN:", "ORG:;Sales", "TITLE:x;y", "NOTE;ENCODING=QUOTED-PRINTABLE:a, b=0D=0Ac\\; d",
                    "TEL;WORK:1,2"}),
              Body(21, f));
}

TEST(CardText, EscapingWorksOnCharactersNotOnBytes)
{
    // In Shift_JIS the katakana so is 0x83 0x5C: its second byte is a backslash that must stay
    // single, while the real backslash and the comma are escaped.
    CContactRecord f;
    f.title = L"\u30bd\\,";
    EXPECT_EQ(std::string("FN;CHARSET=Shift_JIS:\r\nTITLE;CHARSET=Shift_JIS:\x83\x5C\\\\\\,\r\n"),
              Body(30, f, 932, "Shift_JIS"));
}

TEST(CardText, AddressesAndLineBreaks)
{
    CContactRecord f;
    f.business[CContactRecord::kStreet] = L"1 Main\r\nFloor 2";
    f.home[CContactRecord::kLocality] = L"Town";
    EXPECT_EQ(Crlf({"FN:", "ADR;WORK;ENCODING=QUOTED-PRINTABLE:;;1 Main=0D=0AFloor 2;;;;", "ADR;HOME:;;;Town;;;"}),
              Body(21, f));
    EXPECT_EQ(Crlf({"FN:", "ADR;TYPE=WORK:;;1 Main\\nFloor 2;;;;", "ADR;TYPE=HOME:;;;Town;;;"}), Body(30, f));
    // The office alone makes a work address; nothing of the home address, none.
    CContactRecord office;
    office.business[CContactRecord::kExtended] = L"Room 1";
    EXPECT_EQ(Crlf({"FN:", "ADR;WORK:;Room 1;;;;;"}), Body(21, office));
}

// Separators inside a component are escaped in both formats (2.1 takes backslash escapes in
// structured values); a 2.1 address holding "=" is written quoted-printable, since readers decode
// every 2.1 address; a 3.0 number, address or page keeps its backslash doubled.
TEST(CardText, SeparatorsInsideValuesAreEscaped)
{
    CContactRecord f;
    f.surname = L"Lee; Jr.";
    f.givenName = L"A\\";
    f.displayName = L"X";
    f.company = L"R;D, Inc.";
    f.department = L"x;y";
    f.business[CContactRecord::kStreet] = L"Hof 3;4";
    f.home[CContactRecord::kStreet] = L"a=3Db=";
    f.businessPhone = L"1\\2,3";
    EXPECT_EQ(Crlf({"BEGIN:VCARD", "VERSION:2.1", "N:Lee\\; Jr.;A\\\\;;;", "FN:X", "ORG:R\\;D, Inc.;x\\;y",
                    "TEL;WORK:1\\2,3", "ADR;WORK:;;Hof 3\\;4;;;;",
                    "ADR;HOME;ENCODING=QUOTED-PRINTABLE:;;a=3D3Db=3D;;;;", "END:VCARD"}),
              Card(21, f));
    // A blank at a component's end is encoded, and so the whole value.
    CContactRecord blank;
    blank.surname = L"Lee ";
    blank.displayName = L"X";
    EXPECT_EQ(Crlf({"BEGIN:VCARD", "VERSION:2.1", "N;ENCODING=QUOTED-PRINTABLE:Lee=20;;;;", "FN:X", "END:VCARD"}),
              Card(21, blank));
    EXPECT_EQ(Crlf({"BEGIN:VCARD", "PRODID:-//Brisco Corporation//Quillon 2.1//EN", "VERSION:3.0",
                    "N:Lee\\; Jr.;A\\\\;;;", "FN:X", "ORG:R\\;D\\, Inc.;x\\;y", "TEL;TYPE=WORK:1\\\\2,3",
                    "ADR;TYPE=WORK:;;Hof 3\\;4;;;;", "ADR;TYPE=HOME:;;a=3Db=;;;;", "END:VCARD"}),
              Card(30, f));
}

TEST(CardText, NoValueEndsACardLineEarly)
{
    // A line break in any value would cut the card line: vCard 2.1 writes such a value
    // quoted-printable, vCard 3.0 writes each break (CRLF, CR or LF alone) as \n.
    CContactRecord f;
    f.displayName = L"Ann Lee\r\nAcme";
    f.title = L"a\nb\rc";
    f.mobilePhone = L"1\r\n2";
    EXPECT_EQ(Crlf({"FN;ENCODING=QUOTED-PRINTABLE:Ann Lee=0D=0AAcme", "TITLE;ENCODING=QUOTED-PRINTABLE:a=0Ab=0Dc",
                    "TEL;CELL;ENCODING=QUOTED-PRINTABLE:1=0D=0A2"}),
              Body(21, f));
    EXPECT_EQ(Crlf({"FN:Ann Lee\\nAcme", "TITLE:a\\nb\\nc", "TEL;TYPE=CELL:1\\n2"}), Body(30, f));
}

TEST(CardText, EmailAddressesAndThePreferredIndex)
{
    struct Case {
        const char* what;
        std::wstring address, type;
        std::vector<std::wstring> addresses, types;
        long index;
        int format;
        std::string lines;
    } cases[] = {
        {"address and type taken from the index", L"", L"", {L"a@x", L"b@x"}, {L"SMTP", L"SMTP"}, 1, 21,
         Crlf({"EMAIL;PREF;INTERNET:b@x", "EMAIL;INTERNET:a@x"})},
        {"no index: every entry follows, even the same address", L"p@x", L"SMTP", {L"p@x", L"q@x"}, {L"SMTP"}, -1, 21,
         Crlf({"EMAIL;PREF;INTERNET:p@x", "EMAIL;INTERNET:p@x", "EMAIL:q@x"})},
        {"an indexed entry other than the address is kept, type compared exactly", L"p@x", L"smtp", {L"z@x"},
         {L"SMTP"}, 0, 21, Crlf({"EMAIL;PREF:p@x", "EMAIL;INTERNET:z@x"})},
        {"the address at another place than the index is written once", L"t@x", L"SMTP", {L"t@x", L"y@x"},
         {L"SMTP", L"SMTP"}, 1, 21, Crlf({"EMAIL;PREF;INTERNET:t@x", "EMAIL;INTERNET:y@x"})},
        {"index out of range, empty entries skipped", L"", L"", {L"a@x", L""}, {}, 5, 21, Crlf({"EMAIL:a@x"})},
        {"vCard 3.0 type words", L"p@x", L"SMTP", {L"p@x", L"r@x"}, {L"X", L"SMTP"}, 0, 30,
         Crlf({"EMAIL;TYPE=PREF;TYPE=INTERNET:p@x", "EMAIL;TYPE=INTERNET:r@x"})},
        {"no address at all", L"", L"SMTP", {}, {}, -1, 21, ""},
    };
    for (const Case& c : cases) {
        CContactRecord f;
        f.emailAddress = c.address;
        f.addrType = c.type;
        f.emails = c.addresses;
        f.emailTypes = c.types;
        f.defaultAddressIndex = c.index;
        EXPECT_EQ("FN:\r\n" + c.lines, Body(c.format, f)) << c.what;
    }
}

TEST(CardText, GenderChildrenAndDates)
{
    CContactRecord f;
    f.hasGender = true;
    f.gender = 0;
    f.children = {L"\tTom ", L"Sue, Jr."};
    f.birthday = {true, 0x8000000000000000ull};  // no calendar date: no line
    f.anniversary = {true, 0};                    // the first day of the file-time calendar
    f.modified = {true, FileTime(30827, 12, 31, 23, 59, 59)};
    // A comma inside a name is escaped: only the joining commas separate children.
    EXPECT_EQ(Crlf({"FN:", "X-OUTL-ANNIVERSARY:16010101", "X-OUTL-GENDER:0", "X-OUTL-CHILDREN:Tom,Sue\\, Jr.",
                    "REV:308271231T235959Z"}),
              Body(21, f));
    f.hasGender = false;
    f.gender = 3;
    f.anniversary.present = false;
    f.modified = {true, FileTime(2023, 2, 28, 0, 0, 0)};
    EXPECT_EQ(Crlf({"FN:", "X-OUTL-CHILDREN:Tom\\,Sue\\\\\\, Jr.", "REV:20230228T000000Z"}), Body(30, f));
    f.children.clear();
    f.hasGender = true;
    f.gender = -1;
    EXPECT_EQ(Crlf({"FN:", "X-OUTL-GENDER:-1", "REV:20230228T000000Z"}), Body(30, f));
    // A date holds four digits of year: 16011-01-01 would read back as 1601-10-10.
    f.birthday = {true, FileTime(16011, 1, 1)};
    f.anniversary = {true, FileTime(9999, 12, 31)};
    EXPECT_EQ(Crlf({"FN:", "X-OUTL-ANNIVERSARY:99991231", "X-OUTL-GENDER:-1", "REV:20230228T000000Z"}), Body(30, f));
}

TEST(CardText, CalendarDatesMatchTheSystemConversion)
{
    // A spread of file times from 1601 to the last one the system converts, plus the day and
    // leap-year edges, each against FileTimeToSystemTime.
    std::vector<uint64_t> times = {0, 1, 864000000000ull - 1, 864000000000ull, 0x7FFFFFFFFFFFFFFFull};
    uint64_t x = 88172645463325252ull;
    for (int i = 0; i < 20000; ++i) {
        x ^= x << 13;
        x ^= x >> 7;
        x ^= x << 17;
        times.push_back(x & 0x7FFFFFFFFFFFFFFFull);
        times.push_back(x % 0x0400000000000000ull);  // years before 2500
    }
    for (WORD y : {1700, 1900, 2000, 2024, 2100})
        for (WORD d : {28, 29})
            if (!(d == 29 && (y % 4 || (y % 100 == 0 && y % 400))))
                times.push_back(FileTime(y, 2, d, 23, 59, 59));
    for (uint64_t t : times) {
        FILETIME ft = {static_cast<DWORD>(t), static_cast<DWORD>(t >> 32)};
        SYSTEMTIME st;
        ASSERT_TRUE(::FileTimeToSystemTime(&ft, &st)) << t;
        vcard::CivilTime c;
        ASSERT_TRUE(vcard::CivilFromFileTime(t, &c));
        ASSERT_EQ(st.wYear, c.year) << t;
        ASSERT_EQ(st.wMonth, c.month) << t;
        ASSERT_EQ(st.wDay, c.day) << t;
        ASSERT_EQ(st.wHour, c.hour) << t;
        ASSERT_EQ(st.wMinute, c.minute) << t;
        ASSERT_EQ(st.wSecond, c.second) << t;
    }
    vcard::CivilTime c;
    EXPECT_FALSE(vcard::CivilFromFileTime(0x8000000000000000ull, &c));
    EXPECT_FALSE(vcard::CivilFromFileTime(~0ull, &c));
}

TEST(CardText, CardBufferGrowsByASixteenthAtLeast128)
{
    CardBuffer b;
    ASSERT_TRUE(b.Append(std::string(10, 'a')));
    EXPECT_EQ(11 + 128, b.capacity);
    ASSERT_TRUE(b.Append(std::string(128, 'b')));  // 139 bytes with the zero: still fits
    EXPECT_EQ(139, b.capacity);
    ASSERT_TRUE(b.Append("c"));
    EXPECT_EQ(140 + 128, b.capacity);
    ASSERT_TRUE(b.Append(std::string(5000, 'd')));
    EXPECT_EQ(5140 + 5140 / 16, b.capacity);
    EXPECT_EQ(5139, b.length);
    EXPECT_EQ('\0', b.bytes[b.length]);
    EXPECT_EQ(std::string(10, 'a') + std::string(128, 'b') + "c" + std::string(5000, 'd'),
              std::string(b.bytes, static_cast<size_t>(b.length)));
    char* block = b.bytes;
    b.Empty();
    EXPECT_EQ(0, b.length);
    EXPECT_EQ(block, b.bytes);
    EXPECT_EQ(5140 + 5140 / 16, b.capacity);
    EXPECT_FALSE(b.Append(nullptr, 3));
    EXPECT_TRUE(b.Append(""));
    EXPECT_EQ(0, b.length);
}

// What the format cannot say is recorded for the log: a lone LF or CR in 3.0 (also inside a name
// component, where it is escaped before the line is laid out), and an address written without
// the Internet type. CR LF, 2.1 (quoted-printable keeps every byte) and SMTP addresses are not.
TEST(CardWriterChanges, NamesWhatAReadBackWouldChange)
{
#define FIELD(member) [](CContactRecord& r) -> std::wstring& { return r.member; }
    struct Case {
        int format;
        std::wstring& (*field)(CContactRecord&);
        std::wstring value;
        std::vector<std::string> lines;
    } cases[] = {
        {30, FIELD(comment), L"a\nb", {"NOTE"}},
        {30, FIELD(comment), L"a\rb", {"NOTE"}},
        {30, FIELD(comment), L"a\r\nb\r\n", {}},
        {30, FIELD(home[CContactRecord::kStreet]), L"end\r", {"ADR"}},
        {30, FIELD(surname), L"x\ny", {"N", "FN"}},  // FN is made from the name
        {30, FIELD(department), L"x\ny", {"ORG"}},
        {30, FIELD(title), L"x\n", {"TITLE"}},
        {21, FIELD(comment), L"a\nb", {}},
        {21, FIELD(surname), L"x\ny", {}},
    };
#undef FIELD
    for (const Case& c : cases) {
        CContactRecord f;
        f.company = L"Acme";
        c.field(f) = c.value;
        CConverter converter;
        vcard::CCardWriter writer(c.format, false, "", 2, 1, converter);
        CardBuffer buffer;
        writer.Write(f, &buffer);
        std::vector<std::string> lines(writer.Changes().loneLineBreaks.begin(), writer.Changes().loneLineBreaks.end());
        EXPECT_EQ(c.lines, lines) << c.format << " " << common::ToUtf8(c.value);
        EXPECT_TRUE(writer.Changes().untypedEmails.empty());
    }

    CContactRecord f = Everything();
    f.emailAddress.clear();
    f.addrType.clear();
    f.emails = {L"a@x", L"b@x", L"c@x", L"d@x"};
    f.emailTypes = {L"SMTP", L"", L"X400"};
    f.defaultAddressIndex = 1;
    CConverter converter;
    vcard::CCardWriter writer(30, false, "", 2, 1, converter);
    CardBuffer buffer;
    writer.Write(f, &buffer);
    using Email = std::pair<std::wstring, std::wstring>;
    EXPECT_EQ((std::vector<Email>{{L"b@x", L""}, {L"c@x", L"X400"}, {L"d@x", L""}}), writer.Changes().untypedEmails);
    // A second card starts afresh.
    writer.Write(CContactRecord(), &buffer);
    EXPECT_TRUE(writer.Changes().untypedEmails.empty());
}
