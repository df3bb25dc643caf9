// Our own exports come back: a contact written by the vCard writer in both formats, with and
// without a charset, reads back into the same fields.
#include <gtest/gtest.h>

#include "contact/CharConverter.h"
#include "importsupport.h"
#include "codec/vcard/CardText.h"

using namespace importtest;

namespace {

class CConverterEncoder : public vcard::ITextEncoder {
public:
    int ToBytes(const wchar_t* text, size_t n, std::string* bytes) const override
    {
        return g_charConverter.ToBytes(text, n, bytes);
    }
};

uint64_t FileTimeOf(WORD year, WORD month, WORD day)
{
    FILETIME ft = Date(year, month, day);
    return (uint64_t(ft.dwHighDateTime) << 32) | ft.dwLowDateTime;
}


CContactRecord Contact(bool wide)
{
    CContactRecord f;
    f.surname = W("M\xC3\xBCller");
    f.givenName = W("J\xC3\xB6rg");
    f.middleName = L"Peter";
    f.namePrefix = L"Dr.";
    f.displayName = wide ? W("J\xC3\xB6rg \xD0\x9C\xD1\x8E\xD0\xBB\xD0\xBB\xD0\xB5\xD1\x80 \xE5\xAE\x89") : W("J\xC3\xB6rg M\xC3\xBCller");
    f.nickname = L"JJ";
    f.company = L"Acme, Inc.";
    f.department = W("R\xC3\xA9search");
    f.title = L"Chief = Boss";
    f.comment = L"First line, with comma\r\nC:\\new\\table = 100%\r\nlast";
    f.businessPhone = L"+49 (0)30 1234,5";
    f.businessFax = L"2";
    f.homePhone = L"3";
    f.homeFax = L"4";
    f.mobilePhone = L"5";
    f.pager = L"6";
    f.business[CContactRecord::kExtended] = L"Room 4";
    f.business[CContactRecord::kStreet] = L"Main St 1\r\nFloor 2";
    f.business[CContactRecord::kLocality] = W("K\xC3\xB6ln");
    f.business[CContactRecord::kRegion] = L"NRW";
    f.business[CContactRecord::kPostalCode] = L"50667";
    f.business[CContactRecord::kCountry] = L"Germany";
    f.home[CContactRecord::kStreet] = L"Home Road 2";
    f.home[CContactRecord::kLocality] = L"Town";
    f.home[CContactRecord::kRegion] = L"State";
    f.home[CContactRecord::kPostalCode] = L"12345";
    f.home[CContactRecord::kCountry] = L"Land";
    f.personalHomePage = L"http://home.example/a,b";
    f.businessHomePage = L"http://work.example";
    f.emailAddress = L"joerg@acme.example";
    f.addrType = L"SMTP";
    f.emails = {L"joerg@acme.example", L"jj@home.example"};
    f.emailTypes = {L"SMTP", L"SMTP"};
    f.defaultAddressIndex = 0;
    f.conferencingServers = {L"callto://a", L"callto://b"};
    f.spouse = L"Eva";
    f.hasGender = true;
    f.gender = 2;
    f.children = {L"Tom", L"Sue"};
    f.birthday = {true, FileTimeOf(1975, 3, 14)};
    f.anniversary = {true, FileTimeOf(2001, 6, 30)};
    f.modified = {true, FileTimeOf(2024, 1, 2)};
    return f;
}

}  // namespace

TEST(RoundTrip, OurExportsReadBackIntoTheSameFields)
{
    LoadEncodings();
    struct Run {
        const char* what;
        int format;
        int codePage;
    } runs[] = {
        {"2.1 ANSI", vcard::kVCard21, CCharConverter::kAnsiCodePage},
        {"3.0 ANSI", vcard::kVCard30, CCharConverter::kAnsiCodePage},
        {"2.1 UTF-8", vcard::kVCard21, 65001},
        {"3.0 UTF-8", vcard::kVCard30, 65001},
        {"2.1 windows-1252", vcard::kVCard21, 1252},
    };
    CConverterEncoder encoder;
    for (const Run& run : runs) {
        SCOPED_TRACE(run.what);
        CContactRecord f = Contact(run.codePage == 65001);
        g_charConverter.SetCurrentCodePage(run.codePage);
        std::string charset = g_charConverter.CharsetName(run.codePage);
        vcard::CCardWriter writer(run.format, run.codePage > 0, charset, 1, 0, encoder);
        CardBuffer buffer;
        writer.Write(f, &buffer);
        std::string text(buffer.bytes, buffer.length);
        SCOPED_TRACE(text);

        CContactRecord c = ReadOne(text);
        EXPECT_EQ(c.surname, f.surname);
        EXPECT_EQ(c.givenName, f.givenName);
        EXPECT_EQ(c.middleName, f.middleName);
        EXPECT_EQ(c.namePrefix, f.namePrefix);
        EXPECT_EQ(c.displayName, f.displayName);
        EXPECT_EQ(c.nickname, f.nickname);
        EXPECT_EQ(c.company, f.company);
        EXPECT_EQ(c.department, f.department);
        EXPECT_EQ(c.title, f.title);
        EXPECT_EQ(c.comment, f.comment);
        EXPECT_EQ(c.businessPhone, f.businessPhone);
        EXPECT_EQ(c.businessFax, f.businessFax);
        EXPECT_EQ(c.homePhone, f.homePhone);
        EXPECT_EQ(c.homeFax, f.homeFax);
        EXPECT_EQ(c.mobilePhone, f.mobilePhone);
        EXPECT_EQ(c.pager, f.pager);
        EXPECT_EQ(c.business[CContactRecord::kExtended], f.business[CContactRecord::kExtended]);
        EXPECT_EQ(c.business[CContactRecord::kStreet], f.business[CContactRecord::kStreet]);
        EXPECT_EQ(c.business[CContactRecord::kLocality], f.business[CContactRecord::kLocality]);
        EXPECT_EQ(c.business[CContactRecord::kRegion], f.business[CContactRecord::kRegion]);
        EXPECT_EQ(c.business[CContactRecord::kPostalCode], f.business[CContactRecord::kPostalCode]);
        EXPECT_EQ(c.business[CContactRecord::kCountry], f.business[CContactRecord::kCountry]);
        EXPECT_EQ(c.home[CContactRecord::kStreet], f.home[CContactRecord::kStreet]);
        EXPECT_EQ(c.home[CContactRecord::kLocality], f.home[CContactRecord::kLocality]);
        EXPECT_EQ(c.home[CContactRecord::kRegion], f.home[CContactRecord::kRegion]);
        EXPECT_EQ(c.home[CContactRecord::kPostalCode], f.home[CContactRecord::kPostalCode]);
        EXPECT_EQ(c.home[CContactRecord::kCountry], f.home[CContactRecord::kCountry]);
        EXPECT_EQ(c.personalHomePage, f.personalHomePage);
        EXPECT_EQ(c.businessHomePage, f.businessHomePage);
        EXPECT_EQ(c.emails, f.emails);
        EXPECT_EQ(c.emailTypes, f.emailTypes);
        EXPECT_EQ(c.conferencingServers, f.conferencingServers);
        EXPECT_EQ(c.spouse, f.spouse);
        EXPECT_EQ(c.gender, f.gender);
        EXPECT_EQ(c.children, f.children);
        EXPECT_EQ(c.birthday.fileTime, f.birthday.fileTime);
        EXPECT_EQ(c.anniversary.fileTime, f.anniversary.fileTime);
    }
    g_charConverter.SetCurrentCodePage(CCharConverter::kAnsiCodePage);
}
