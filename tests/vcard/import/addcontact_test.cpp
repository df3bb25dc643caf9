// AddContact writes the card into the stand-in address book: every field lands in its property,
// empty fields are not written, a failing property does not stop the others, and the save's
// result is the result.
#include <gtest/gtest.h>

#include <wrl/client.h>

#include <functional>
#include <string>
#include <vector>

#include "base/Log.h"
#include "contact/Contact.h"
#include "importsupport.h"
#include "support/storefile.h"
#include "wab/WABLib.h"

using namespace importtest;
namespace t = contact_tags;

namespace {

class AddContactTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        LoadEncodings();
        ASSERT_TRUE(m_book.Open());
    }

    // Reads a card text and adds its only card to the personal address book.
    HRESULT Add(const std::string& text)
    {
        m_reader.SetTargetFolder(m_pab);
        m_reader.LoadText(text.data(), text.size());
        HRESULT hr = E_UNEXPECTED;
        m_reader.ReadCards([&] { hr = m_reader.AddContact(); return 0; });
        return hr;
    }

    // The contacts of the personal address book, opened.
    std::vector<Microsoft::WRL::ComPtr<IMAPIProp>> Contacts()
    {
        std::vector<Microsoft::WRL::ComPtr<IMAPIProp>> out;
        for (const testsupport::COpenedItem& item : testsupport::OpenItems(m_pab))
            out.push_back(item.entry);
        return out;
    }

    static std::wstring Text(CContact& c, ULONG tag)
    {
        std::wstring v;
        (void)c._GetTextPropW(tag, &v);  // absent reads as empty, as the expectations want it
        return v;
    }
    static std::vector<std::wstring> List(CContact& c, ULONG tag)
    {
        std::vector<std::wstring> v;
        (void)c._GetTextArrayPropW(tag, &v);  // absent reads as empty, as the expectations want it
        return v;
    }

    testsupport::CScratchBook m_book;
    std::string m_pab = m_book.pab();
    CvCardImport m_reader;
};

}  // namespace

// A card that fills every field the import writes.
const std::vector<std::string> kFullCard = {
    "N:Lee;Ann;May;Dr.;Jr.", "FN:Ann Lee", "NICKNAME:Annie", "ORG:Acme;Sales", "TITLE:Boss", "NOTE:n",
    "BDAY:19750314", "ADR;WORK:Box;Office;1 Main;Town;State;111;Land",
    "ADR;HOME:Box;Ext;2 Home;City;Region;222;Country", "TEL;WORK:1", "TEL;WORK;FAX:2", "TEL;HOME:3",
    "TEL;HOME;FAX:4", "TEL;CELL:5", "TEL;PAGER:6", "EMAIL;X400:x", "EMAIL;PREF;INTERNET:ann@acme.com",
    "URL;WORK:http://w", "URL;HOME:http://h", "X-OUTL-SPOUSE:Bob", "X-OUTL-ANNIVERSARY:20000101",
    "X-OUTL-NMSERVER:s1", "X-OUTL-NMSERVER:s2", "X-OUTL-GENDER:1", "X-OUTL-CHILDREN:Tom,Sue",
    "ADR;POSTAL:OBox;;3 Other;OCity;ORegion;333;OLand", "TEL;CAR:7", "TEL;PREF:8", "TEL;WORK:9", "TEL;HOME:10",
    "TEL;VOICE:11", "TEL;MAIN:12", "TEL;X-EVOLUTION-CALLBACK:13", "TEL;ISDN:14", "TEL;X-EVOLUTION-RADIO:15",
    "TEL;X-EVOLUTION-TELEX:16", "TEL;X-EVOLUTION-TTYTDD:17", "TEL;X-EVOLUTION-ASSISTANT:18", "TEL;OTHER;FAX:19",
    "X-OUTL-ASSISTANTNAME:Al", "X-OUTL-MANAGERNAME:Mo", "KEY;ENCODING=BASE64:MAMCAQU=", "CATEGORIES:Friends"};

TEST_F(AddContactTest, EveryFieldLandsInItsProperty)
{
    ASSERT_EQ(Add(Card("2.1", kFullCard)), S_OK);
    auto contacts = Contacts();
    ASSERT_EQ(contacts.size(), 1u);
    CContact c(contacts[0].Get());
    struct Expect {
        ULONG tag;
        const wchar_t* value;
    } texts[] = {
        {t::kGivenName, L"Ann"}, {t::kMiddleName, L"May"}, {t::kSurname, L"Lee"}, {t::kDisplayNamePrefix, L"Dr."},
        {t::kDisplayName, L"Ann Lee"}, {t::kNickname, L"Annie"}, {t::kCompanyName, L"Acme"},
        {t::kDepartmentName, L"Sales"}, {t::kTitle, L"Boss"}, {t::kComment, L"n"}, {t::kOfficeLocation, L"Office"},
        {t::kBusinessAddressStreet, L"1 Main"}, {t::kBusinessAddressCity, L"Town"},
        {t::kBusinessAddressStateOrProvince, L"State"}, {t::kBusinessAddressPostalCode, L"111"},
        {t::kBusinessAddressCountry, L"Land"}, {t::kHomeAddressStreet, L"Ext\r\n2 Home"}, {t::kHomeAddressCity, L"City"},
        {t::kHomeAddressStateOrProvince, L"Region"}, {t::kHomeAddressPostalCode, L"222"},
        {t::kHomeAddressCountry, L"Country"}, {t::kBusinessTelephoneNumber, L"1"}, {t::kBusinessFaxNumber, L"2"},
        {t::kHomeTelephoneNumber, L"3"}, {t::kHomeFaxNumber, L"4"}, {t::kMobileTelephoneNumber, L"5"},
        {t::kPagerTelephoneNumber, L"6"}, {t::kEmailAddress, L"ann@acme.com"}, {t::kAddrType, L"SMTP"},
        {t::kBusinessHomePage, L"http://w"}, {t::kPersonalHomePage, L"http://h"}, {t::kSpouseName, L"Bob"},
        {t::kGeneration, L"Jr."}, {t::kPostOfficeBox, L"Box"}, {t::kHomeAddressPostOfficeBox, L"Box"},
        {t::kOtherAddressPostOfficeBox, L"OBox"}, {t::kOtherAddressStreet, L"3 Other"},
        {t::kOtherAddressCity, L"OCity"}, {t::kOtherAddressStateOrProvince, L"ORegion"},
        {t::kOtherAddressPostalCode, L"333"}, {t::kOtherAddressCountry, L"OLand"},
        {t::kCarTelephoneNumber, L"7"}, {t::kPrimaryTelephoneNumber, L"8"}, {t::kBusiness2TelephoneNumber, L"9"},
        {t::kHome2TelephoneNumber, L"10"}, {t::kOtherTelephoneNumber, L"11"}, {t::kCompanyMainPhoneNumber, L"12"},
        {t::kCallbackTelephoneNumber, L"13"}, {t::kIsdnNumber, L"14"}, {t::kRadioTelephoneNumber, L"15"},
        {t::kTelexNumber, L"16"}, {t::kTtyTddPhoneNumber, L"17"}, {t::kAssistantTelephoneNumber, L"18"},
        {t::kPrimaryFaxNumber, L"19"}, {t::kAssistant, L"Al"}, {t::kManagerName, L"Mo"},
    };
    for (const Expect& e : texts)
        EXPECT_EQ(Text(c, e.tag), e.value) << std::hex << e.tag;
    EXPECT_EQ(List(c, t::kContactEmailAddresses), (std::vector<std::wstring>{L"ann@acme.com", L"x"}));
    EXPECT_EQ(List(c, t::kContactAddrTypes), (std::vector<std::wstring>{L"SMTP", L""}));
    EXPECT_EQ(List(c, t::kChildrensNames), (std::vector<std::wstring>{L"Tom", L"Sue"}));
    // The Digital ID is kept in the address book's tagged form: the certificate under tag 3.
    std::vector<std::string> certificates;
    EXPECT_EQ(c._GetBinaryArrayProp(t::kUserX509Certificate, &certificates), S_OK);
    EXPECT_EQ(certificates, (std::vector<std::string>{std::string("\x03\x00\x09\x00\x30\x03\x02\x01\x05", 9)}));
    LONG index = -1;
    EXPECT_EQ(c.GetDefaultAddressIndex(&index), S_OK);
    EXPECT_EQ(index, 0);
    SHORT gender = 0;
    EXPECT_EQ(c.GetGender(&gender), S_OK);
    EXPECT_EQ(gender, 1);
    FILETIME ft = {};
    EXPECT_EQ(c._GetDateProp(t::kBirthday, &ft), S_OK);
    FILETIME expected = Date(1975, 3, 14);
    EXPECT_EQ(ft.dwLowDateTime, expected.dwLowDateTime);
    EXPECT_EQ(c._GetDateProp(t::kWeddingAnniversary, &ft), S_OK);
    expected = Date(2000, 1, 1);
    EXPECT_EQ(ft.dwHighDateTime, expected.dwHighDateTime);
    std::vector<std::wstring> servers;
    EXPECT_EQ(c.GetConferencingServers(&servers), S_OK);
    EXPECT_EQ(servers, (std::vector<std::wstring>{L"s1", L"s2"}));
}

TEST_F(AddContactTest, EmptyFieldsAreNotWritten)
{
    ASSERT_EQ(Add(Card("3.0", {"FN:Only"})), S_OK);
    auto contacts = Contacts();
    ASSERT_EQ(contacts.size(), 1u);
    CContact c(contacts[0].Get());
    std::wstring v;
    EXPECT_EQ(c._GetTextPropW(t::kSurname, &v), MAPI_E_NOT_FOUND);
    EXPECT_EQ(c._GetTextPropW(t::kEmailAddress, &v), MAPI_E_NOT_FOUND);
    SHORT gender = 0;
    EXPECT_EQ(c.GetGender(&gender), MAPI_E_NOT_FOUND);
    FILETIME ft;
    EXPECT_EQ(c._GetDateProp(t::kBirthday, &ft), MAPI_E_NOT_FOUND);
    EXPECT_EQ(Text(c, t::kDisplayName), L"Only");
}

TEST_F(AddContactTest, FailuresOfCreateWriteAndSave)
{
    // A refused property is logged and the others are still written; the contact is saved and
    // the result says it is incomplete.
    testsupport::CTempDir logs;
    g_log.InitLog(logs.file("main.err").c_str(), logs.file("main.log").c_str(), 1);
    ASSERT_EQ(WabStandinInjectFault("SetProps", "*", E_ACCESSDENIED, 1), S_OK);
    EXPECT_EQ(Add(Card("2.1", {"N:Lee;Ann", "FN:Ann Lee"})), MAPI_W_ERRORS_RETURNED);
    g_log.DoneLog();
    std::string log = testsupport::ReadFileBytes(logs.file("main.err"));
    EXPECT_NE(std::string::npos, log.find("PR_SURNAME not saved for contact \"Ann Lee\"")) << log;
    EXPECT_NE(std::string::npos, log.find("PR_DISPLAY_NAME not saved for contact \"Ann Lee\"")) << log;
    auto contacts = Contacts();
    ASSERT_EQ(contacts.size(), 1u);
    CContact c(contacts[0].Get());
    EXPECT_EQ(Text(c, t::kGivenName), L"Ann");
    EXPECT_EQ(Text(c, t::kSurname), L"");
    EXPECT_GE(WabStandinFaultHits("SetProps"), 2u);
    WabStandinClearFaults();

    // The save's failure is the result, and nothing new is stored.
    ASSERT_EQ(WabStandinInjectFault("SaveChanges", "*", MAPI_E_NOT_ENOUGH_DISK, 0), S_OK);
    EXPECT_EQ(Add(Card("2.1", {"FN:Second"})), MAPI_E_NOT_ENOUGH_DISK);
    WabStandinClearFaults();

    ASSERT_EQ(WabStandinInjectFault("CreateEntry", "*", E_FAIL, 0), S_OK);
    EXPECT_EQ(Add(Card("2.1", {"FN:Third"})), E_FAIL);
    WabStandinClearFaults();
    EXPECT_EQ(Contacts().size(), 1u);
}

TEST_F(AddContactTest, PropertiesAreWrittenInTheirOrder)
{
    // The properties in the order they are written; 0 stands for ConferencingServers.
    const ULONG order[] = {
        t::kGivenName, t::kMiddleName, t::kSurname, t::kDisplayNamePrefix, t::kGeneration, t::kDisplayName,
        t::kNickname, t::kCompanyName, t::kDepartmentName, t::kTitle, t::kComment, t::kAssistant, t::kManagerName,
        t::kBirthday, t::kOfficeLocation, t::kBusinessAddressStreet, t::kBusinessAddressCity,
        t::kBusinessAddressStateOrProvince, t::kBusinessAddressPostalCode, t::kBusinessAddressCountry,
        t::kPostOfficeBox, t::kHomeAddressPostOfficeBox, t::kHomeAddressStreet, t::kHomeAddressCity,
        t::kHomeAddressStateOrProvince, t::kHomeAddressPostalCode, t::kHomeAddressCountry,
        t::kOtherAddressPostOfficeBox, t::kOtherAddressStreet, t::kOtherAddressCity,
        t::kOtherAddressStateOrProvince, t::kOtherAddressPostalCode, t::kOtherAddressCountry,
        t::kBusinessTelephoneNumber, t::kBusinessFaxNumber, t::kHomeTelephoneNumber, t::kHomeFaxNumber,
        t::kMobileTelephoneNumber, t::kPagerTelephoneNumber, t::kCarTelephoneNumber, t::kPrimaryTelephoneNumber,
        t::kBusiness2TelephoneNumber, t::kHome2TelephoneNumber, t::kOtherTelephoneNumber,
        t::kCompanyMainPhoneNumber, t::kCallbackTelephoneNumber, t::kIsdnNumber, t::kRadioTelephoneNumber,
        t::kTelexNumber, t::kTtyTddPhoneNumber, t::kAssistantTelephoneNumber, t::kPrimaryFaxNumber,
        t::kEmailAddress, t::kAddrType, t::kContactEmailAddresses, t::kContactAddrTypes,
        t::kContactDefaultAddressIndex, t::kBusinessHomePage, t::kPersonalHomePage, t::kSpouseName,
        t::kWeddingAnniversary, 0, t::kGender, t::kChildrensNames, t::kUserX509Certificate};
    const size_t count = sizeof(order) / sizeof(order[0]);
    // With the writes failing from the k-th on, exactly the first k properties exist.
    for (size_t k = 0; k <= count; ++k) {
        SCOPED_TRACE(k);
        WabStandinClearFaults();
        ASSERT_EQ(WabStandinInjectFault("SetProps", "*", E_ACCESSDENIED, static_cast<ULONG>(k)), S_OK);
        ASSERT_EQ(Add(Card("2.1", kFullCard)), k < count ? MAPI_W_ERRORS_RETURNED : S_OK);
        WabStandinClearFaults();
        auto contacts = Contacts();
        ASSERT_EQ(contacts.size(), 1u);
        CContact c(contacts[0].Get());
        for (size_t i = 0; i < count; ++i) {
            ULONG tag = order[i];
            if (tag == 0) {
                ASSERT_EQ(c.GetNamedTag(false, &tag), S_OK);
            }
            SPropValue* value = nullptr;
            HRESULT hr = g_wabLib.GetItemProps(contacts[0].Get(), tag, &value);
            if (value)
                (void)g_wabLib.FreeBuffer(value);  // the free is not under test
            EXPECT_EQ(hr == S_OK, i < k) << "property " << i << " 0x" << std::hex << tag;
        }
        WABItemList* list = nullptr;
        ASSERT_EQ(g_wabLib.GetItems(m_pab.c_str(), false, &list), S_OK);
        ASSERT_EQ(list->count, 1u);
        std::string id = list->items[0].id;
        CWABLib::FreeItems(list);
        contacts.clear();
        ASSERT_EQ(g_wabLib.DeleteItem(id.c_str()), S_OK);
    }
}

// After Close nothing of the session may keep the store file open: the stand-in refuses to create
// a store anew over a file this process still holds. Each case writes through one path and then
// closes; the file must be free again.
TEST_F(AddContactTest, CloseLeavesNoObjectOfTheStoreAlive)
{
    struct Case {
        const char* name;
        std::function<void()> write;
    };
    const std::vector<Case> cases = {
        {"AddContact with every field", [&] { EXPECT_EQ(Add(Card("2.1", kFullCard)), S_OK); }},
        {"AddContact whose save fails",
         [&] {
             ASSERT_EQ(WabStandinInjectFault("SaveChanges", "*", MAPI_E_NOT_ENOUGH_DISK, 0), S_OK);
             EXPECT_EQ(Add(Card("2.1", {"FN:Second"})), MAPI_E_NOT_ENOUGH_DISK);
         }},
        {"AddContact whose writes fail",
         [&] {
             ASSERT_EQ(WabStandinInjectFault("SetProps", "*", E_ACCESSDENIED, 0), S_OK);
             EXPECT_EQ(Add(Card("2.1", {"FN:Third", "X-OUTL-NMSERVER:s"})), MAPI_W_ERRORS_RETURNED);
         }},
        {"AddContact whose entry cannot be created",
         [&] {
             ASSERT_EQ(WabStandinInjectFault("CreateEntry", "*", E_FAIL, 0), S_OK);
             EXPECT_EQ(Add(Card("2.1", {"FN:Fourth"})), E_FAIL);
         }},
        {"SetItemProp and SaveChanges on an opened contact",
         [&] {
             ASSERT_EQ(Add(Card("2.1", {"FN:Fifth"})), S_OK);
             auto contacts = Contacts();
             ASSERT_EQ(contacts.size(), 1u);
             CContact c(contacts[0].Get());
             EXPECT_EQ(c._PutTextPropW(t::kNickname, L"Five"), S_OK);
             EXPECT_EQ(contacts[0]->SaveChanges(0), S_OK);
         }},
        {"DeleteItem",
         [&] {
             ASSERT_EQ(Add(Card("2.1", {"FN:Sixth"})), S_OK);
             WABItemList* list = nullptr;
             ASSERT_EQ(g_wabLib.GetItems(m_pab.c_str(), false, &list), S_OK);
             ASSERT_EQ(list->count, 1u);
             std::string id = list->items[0].id;
             CWABLib::FreeItems(list);
             EXPECT_EQ(g_wabLib.DeleteItem(id.c_str()), S_OK);
         }},
        {"FindEqualContact opening the candidates",
         [&] {
             ASSERT_EQ(Add(Card("2.1", {"FN:Seventh", "TEL;WORK:1"})), S_OK);
             // The contact the reader added is no match for it (1) unless the two agree; for a
             // later run it is an older contact that differs.
             CvCardImport later;
             later.SetTargetFolder(m_pab);
             for (CvCardImport* run : {&m_reader, &later}) {
                 std::string id;
                 bool differs = false;
                 HRESULT found = E_UNEXPECTED;
                 std::string text = Card("2.1", {"FN:Seventh", "TEL;WORK:2"});
                 run->LoadText(text.data(), text.size());
                 run->ReadCards([&] { found = run->FindEqualContact(&id, &differs); return 0; });
                 EXPECT_EQ(found, run == &later ? S_OK : 1);
                 EXPECT_EQ(differs, run == &later);
             }
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        c.write();
        ASSERT_TRUE(m_book.Renew());
        m_pab = m_book.pab();
    }
}
