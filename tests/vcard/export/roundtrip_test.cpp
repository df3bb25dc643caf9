// Cards we write come back through our own reader with the values they were written from: the
// escaping, the quoted-printable soft breaks (a blank that opens a continuation line included)
// and the line breaks of values, in both formats, with and without a charset.
#include <gtest/gtest.h>

#include <string>

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

CImportCard WriteAndRead(const vcard::CardFields& fields, const Variant& v)
{
    g_charConverter.SetCurrentCodePage(v.codePage);
    vcard::CCardWriter writer(v.format, v.codePage > 0, v.charset, 2, 1, CvCardExport::Encoder());
    CardBuffer buffer;
    writer.Write(fields, &buffer);
    CvCardImport reader;
    reader.LoadText(buffer.bytes, static_cast<size_t>(buffer.length));
    CImportCard card;
    int cards = 0;
    reader.ReadCards([&] {
        card = reader.Card();
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
    vcard::CardFields f;
    f.givenName = L"Ann";
    f.surname = L"Lee";
    f.displayName = L"Ann Lee";
    f.company = L"Acme, Inc.";
    f.department = L"Sales";
    f.title = L"Head\r\nof Sales";
    // 65 letters fill the first physical line; the blank after them opens the second one.
    f.comment = std::wstring(65, L'x') + L" blank, comma\r\nback\\slash " + std::wstring(70, L'y') + L"\tend";
    f.businessStreet = L"1 Main St\r\nFloor 2";
    f.businessCity = L"Springfield";
    f.mobilePhone = L"+1 555 0199";
    const Variant variants[] = {{21, -1, ""}, {21, 65001, "UTF-8"}, {30, -1, ""}, {30, 65001, "UTF-8"}};
    for (const Variant& v : variants) {
        CImportCard card = WriteAndRead(f, v);
        SCOPED_TRACE(std::to_string(v.format) + " " + v.charset);
        EXPECT_EQ(f.givenName, card.givenName);
        EXPECT_EQ(f.surname, card.familyName);
        EXPECT_EQ(f.displayName, card.displayName);
        EXPECT_EQ(f.company, card.company);
        EXPECT_EQ(f.department, card.department);
        EXPECT_EQ(f.title, card.jobTitle);
        EXPECT_EQ(f.comment, card.note);
        EXPECT_EQ(f.businessStreet, card.business[CImportCard::kStreet]);
        EXPECT_EQ(f.businessCity, card.business[CImportCard::kLocality]);
        EXPECT_EQ(f.mobilePhone, card.mobilePhone);
    }
}
