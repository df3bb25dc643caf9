// Cards we write come back through our own reader with the values they were written from: the
// escaping, the quoted-printable soft breaks (a blank that opens a continuation line included)
// and the line breaks of values, in both formats, with and without a charset.
#include <gtest/gtest.h>

#include <string>

#include "common/text.h"
#include "contact/CharConverter.h"
#include "exportsupport.h"
#include "vcard/export/vCardExport.h"
#include "vcard/import/vCardImport.h"

namespace {

struct Variant {
    int format;
    int codePage;
    const char* charset;
};

CContactRecord WriteAndRead(const CContactRecord& fields, const Variant& v)
{
    g_charConverter.SetCurrentCodePage(v.codePage);
    vcard::CCardWriter writer(v.format, v.codePage > 0, v.charset, 2, 1, CvCardExport::Encoder());
    CardBuffer buffer;
    writer.Write(fields, &buffer);
    CvCardImport reader;
    reader.LoadText(buffer.bytes, static_cast<size_t>(buffer.length));
    CContactRecord card;
    int cards = 0;
    reader.ReadCards([&] {
        card = reader.Reader().Card();
        ++cards;
        return 0;
    });
    g_charConverter.SetCurrentCodePage(-1);
    EXPECT_EQ(1, cards) << std::string(buffer.bytes, static_cast<size_t>(buffer.length));
    return card;
}

}  // namespace

TEST(CardRoundTrip, ValuesComeBackThroughOurReader)
{
    exporttest::LoadEncodings();
    CContactRecord f;
    f.givenName = L"Ann";
    f.surname = L"Lee";
    f.displayName = L"Ann Lee";
    f.company = L"Acme, Inc.";
    f.department = L"Sales";
    f.title = L"Head\r\nof Sales";
    // 65 letters fill the first physical line; the blank after them opens the second one.
    f.comment = std::wstring(65, L'x') + L" blank, comma\r\nback\\slash " + std::wstring(70, L'y') + L"\tend";
    f.business[CContactRecord::kStreet] = L"1 Main St\r\nFloor 2";
    f.business[CContactRecord::kLocality] = L"Springfield";
    f.mobilePhone = L"+1 555 0199";
    const Variant variants[] = {{21, -1, ""}, {21, 65001, "UTF-8"}, {30, -1, ""}, {30, 65001, "UTF-8"}};
    for (const Variant& v : variants) {
        CContactRecord card = WriteAndRead(f, v);
        SCOPED_TRACE(std::to_string(v.format) + " " + v.charset);
        EXPECT_EQ(f.givenName, card.givenName);
        EXPECT_EQ(f.surname, card.surname);
        EXPECT_EQ(f.displayName, card.displayName);
        EXPECT_EQ(f.company, card.company);
        EXPECT_EQ(f.department, card.department);
        EXPECT_EQ(f.title, card.title);
        EXPECT_EQ(f.comment, card.comment);
        EXPECT_EQ(f.business[CContactRecord::kStreet], card.business[CContactRecord::kStreet]);
        EXPECT_EQ(f.business[CContactRecord::kLocality], card.business[CContactRecord::kLocality]);
        EXPECT_EQ(f.mobilePhone, card.mobilePhone);
    }
}

namespace {

// Every text a contact can hold that the card carries, read from the writer's fields and from
// the reader's card. Lists are checked through an entry of their own beside a plain one, so that
// a value that splits or merges entries shows.
struct Property {
    const char* name;
    std::wstring& (*written)(CContactRecord&);
    std::wstring (*read)(const CContactRecord&);
};

#define FIELD(member, expr) \
    { #member, [](CContactRecord& c) -> std::wstring& { return c.member; }, \
      [](const CContactRecord& c) { return std::wstring(expr); } }
const Property kProperties[] = {
    FIELD(surname, c.surname),
    FIELD(givenName, c.givenName),
    FIELD(middleName, c.middleName),
    FIELD(namePrefix, c.namePrefix),
    FIELD(displayName, c.displayName),
    FIELD(nickname, c.nickname),
    FIELD(company, c.company),
    FIELD(department, c.department),
    FIELD(title, c.title),
    FIELD(comment, c.comment),
    FIELD(businessPhone, c.businessPhone),
    FIELD(businessFax, c.businessFax),
    FIELD(homePhone, c.homePhone),
    FIELD(homeFax, c.homeFax),
    FIELD(mobilePhone, c.mobilePhone),
    FIELD(pager, c.pager),
    FIELD(business[CContactRecord::kExtended], c.business[CContactRecord::kExtended]),
    FIELD(business[CContactRecord::kStreet], c.business[CContactRecord::kStreet]),
    FIELD(business[CContactRecord::kLocality], c.business[CContactRecord::kLocality]),
    FIELD(business[CContactRecord::kRegion], c.business[CContactRecord::kRegion]),
    FIELD(business[CContactRecord::kPostalCode], c.business[CContactRecord::kPostalCode]),
    FIELD(business[CContactRecord::kCountry], c.business[CContactRecord::kCountry]),
    FIELD(home[CContactRecord::kStreet], c.home[CContactRecord::kStreet]),
    FIELD(home[CContactRecord::kLocality], c.home[CContactRecord::kLocality]),
    FIELD(home[CContactRecord::kRegion], c.home[CContactRecord::kRegion]),
    FIELD(home[CContactRecord::kPostalCode], c.home[CContactRecord::kPostalCode]),
    FIELD(home[CContactRecord::kCountry], c.home[CContactRecord::kCountry]),
    FIELD(personalHomePage, c.personalHomePage),
    FIELD(businessHomePage, c.businessHomePage),
    // The preferred address comes first, beside the plain one (alone when the value was empty).
    FIELD(emailAddress, c.emails.size() == 2 ? c.emails[0] : L""),
    FIELD(spouse, c.spouse),
};
#undef FIELD

}  // namespace

// Every value that gives separators, escapes, encodings or code pages a chance to go wrong, in
// every property, both formats and several code pages, comes back as it was written. The only
// change allowed: characters the code page lacks (and children's names, trimmed by design).
TEST(CardRoundTrip, EveryValueInEveryPropertyFormatAndCodePage)
{
    exporttest::LoadEncodings();
    const std::wstring values[] = {
        L"",
        L" ",
        L"  blanks around  ",
        L"\tN;\t ; tabs and blanks beside separators ;",
        L"semi;colon;",
        L";leading semicolon",
        L"com,ma, list",
        L"back\\slash\\",
        L"\\;\\,\\n\\\\",
        L"co:lon",
        L"equals=3D=41=",
        L"ends with =",
        L"=",
        L"tab\there",
        L"\vvertical tab, form feed\f",
        // Characters a code page writes as ASCII separators or backslashes (the yen sign in
        // Shift_JIS, fullwidth forms in windows-125x), last in their component.
        L"\uff1b\uff0c\uff3c\u00a5",
        // Quoted-printable: the soft break after 65 characters puts END:VCARD on a line of its own.
        L"\r\n" + std::wstring(59, L'x') + L"END:VCARD",
        L"two\nlines (LF)",
        L"two\r\nlines; CRLF, too\r\nthird",
        L"\r\nline breaks around\r\n",
        std::wstring(90, L'x') + L" " + std::wstring(30, L'y'),
        L"\u0418\u0432\u0430\u043d \u041f\u0435\u0442\u0440\u043e\u0432",  // Cyrillic
        L"\u5c71\u7530 \u592a\u90ce",                                        // Japanese
        // Shift_JIS characters whose second byte is 0x5C ('\') or 0x7C ('|'), beside separators.
        L"\u30bd\u8868;\u5341,\u30dd\\\u80fd",
        L"caf\u00e9 \u00fc\u00df \u20ac",
    };
    struct Variant {
        int format;
        int codePage;
    } variants[] = {{21, -1}, {30, -1}, {21, 65001}, {30, 65001}, {21, 1251}, {30, 1251}, {21, 932}, {30, 932}};

    int compared = 0;
    for (const Variant& v : variants) {
        for (const std::wstring& value : values) {
            CContactRecord f;
            for (const Property& p : kProperties)
                p.written(f) = value;
            f.emails = {value, L"second@example"};
            f.emailTypes = {L"SMTP", L"SMTP"};
            f.defaultAddressIndex = 0;
            f.conferencingServers = {value, L"callto://b"};
            f.children = {value, L"Sue"};
            std::string charset = v.codePage > 0 ? g_charConverter.CharsetName(v.codePage) : "";
            CContactRecord card = WriteAndRead(f, {v.format, v.codePage, charset.c_str()});

            std::wstring expected = exporttest::ThroughCodePage(value, v.codePage);
            // A line break inside a 3.0 value travels as \n, which reads back as CR LF.
            if (v.format == 30) {
                for (size_t at = 0; (at = expected.find(L'\n', at)) != std::wstring::npos; ++at) {
                    if (at == 0 || expected[at - 1] != L'\r')
                        expected.insert(at++, 1, L'\r');
                }
            }
            SCOPED_TRACE(::testing::Message() << "format " << v.format << ", code page " << v.codePage
                                              << ", value \"" << common::ToUtf8(value) << "\"");
            for (const Property& p : kProperties) {
                EXPECT_EQ(expected, p.read(card)) << p.name;
                ++compared;
            }
            std::vector<std::wstring> servers = {expected, L"callto://b"};
            EXPECT_EQ(servers, card.conferencingServers);
            // Children's names are trimmed of line breaks (and vertical tabs, form feeds) too, by
            // the writer as by the reader.
            std::vector<std::wstring> children = {L"Sue"};
            size_t b = expected.find_first_not_of(L" \t\r\n\v\f");
            if (b != std::wstring::npos)
                children.insert(children.begin(),
                                expected.substr(b, expected.find_last_not_of(L" \t\r\n\v\f") - b + 1));
            EXPECT_EQ(children, card.children);
            compared += 2;
        }
    }
    EXPECT_EQ(compared, 8 * 25 * 33);
}
