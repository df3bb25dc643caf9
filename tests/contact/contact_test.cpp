// CContact over a contact of the stand-in address book: every kind of property written, saved,
// opened again and read back; missing properties; the named property ConferencingServers; and
// the consistency line for a tag of the wrong type.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "common/entryid.h"
#include "contact/Contact.h"
#include "support/logcapture.h"
#include "support/storefile.h"

using Microsoft::WRL::ComPtr;
namespace t = contact_tags;

namespace {

class ContactTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(book.Open());
        log.Clear();
    }

    // A new contact in the personal address book.
    ComPtr<IMAPIProp> Create()
    {
        ComPtr<IMAPIProp> entry;
        EXPECT_EQ(S_OK, g_wabLib.CreateItem(pab.c_str(), entry.GetAddressOf()));
        return entry;
    }

    // Saves the entry and opens it again by its identifier, as the export would.
    ComPtr<IMAPIProp> SaveAndReopen(ComPtr<IMAPIProp> entry)
    {
        EXPECT_EQ(S_OK, entry->SaveChanges(0));
        SPropValue* id = nullptr;
        EXPECT_EQ(S_OK, g_wabLib.GetItemProps(entry.Get(), PR_ENTRYID, &id));
        std::string text = common::EntryIdToText(id->Value.bin.lpb, id->Value.bin.cb);
        (void)g_wabLib.FreeBuffer(id);  // the free is not under test
        ComPtr<IMAPIProp> opened;
        ULONG type = 0;
        EXPECT_EQ(S_OK, g_wabLib.OpenItem(text.c_str(), &type, opened.GetAddressOf()));
        EXPECT_EQ(static_cast<ULONG>(MAPI_MAILUSER), type);
        return opened;
    }

    CLogCapture log;
    testsupport::CScratchBook book;
    std::string pab = book.pab();
};

FILETIME Time(ULONGLONG value)
{
    FILETIME ft;
    ft.dwLowDateTime = static_cast<DWORD>(value);
    ft.dwHighDateTime = static_cast<DWORD>(value >> 32);
    return ft;
}

ULONGLONG Value(const FILETIME& ft)
{
    return (static_cast<ULONGLONG>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime;
}

}  // namespace

TEST_F(ContactTest, EveryKindRoundTrips)
{
    const ULONG textTags[] = {t::kDisplayName, t::kGivenName, t::kSurname, t::kComment, t::kHomeAddressStreet,
                              t::kBusinessAddressCity, t::kPersonalHomePage};
    const std::wstring texts[] = {L"Zo\u00eb \u0416ukova", L"Zo\u00eb", L"\u0416ukova", L"line one\r\nline two",
                                  L"1 Main St", L"\u6771\u4eac", L"http://example.com/~zoe"};
    const std::vector<std::wstring> emails = {L"zoe@example.com", L"z@work.example", L"\u0436@example.ru"};
    const FILETIME birthday = Time(0x01C8A1B2C3D4E5F6ULL);

    ComPtr<IMAPIProp> entry = Create();
    {
        CContact c(entry.Get());
        for (size_t i = 0; i < 7; ++i)
            EXPECT_EQ(S_OK, c._PutTextPropW(textTags[i], texts[i]));
        EXPECT_EQ(S_OK, c._PutTextArrayPropW(t::kContactEmailAddresses, emails));
        EXPECT_EQ(S_OK, c._PutTextArrayPropW(t::kChildrensNames, {}));
        EXPECT_EQ(S_OK, c._PutDateProp(t::kBirthday, birthday));
        EXPECT_EQ(S_OK, c.PutGender(2));
        EXPECT_EQ(S_OK, c.PutDefaultAddressIndex(1));
    }
    ComPtr<IMAPIProp> opened = SaveAndReopen(entry);
    CContact c(opened.Get());
    for (size_t i = 0; i < 7; ++i) {
        std::wstring value = L"stale";
        EXPECT_EQ(S_OK, c._GetTextPropW(textTags[i], &value)) << i;
        EXPECT_EQ(texts[i], value) << i;
    }
    std::vector<std::wstring> list = {L"stale"};
    EXPECT_EQ(S_OK, c._GetTextArrayPropW(t::kContactEmailAddresses, &list));
    EXPECT_EQ(emails, list) << "in stored order";
    FILETIME date = {};
    EXPECT_EQ(S_OK, c._GetDateProp(t::kBirthday, &date));
    EXPECT_EQ(Value(birthday), Value(date));
    SHORT gender = 0;
    EXPECT_EQ(S_OK, c.GetGender(&gender));
    EXPECT_EQ(2, gender);
    LONG index = 0;
    EXPECT_EQ(S_OK, c.GetDefaultAddressIndex(&index));
    EXPECT_EQ(1, index);
    EXPECT_EQ("", log.Lines());
}

TEST_F(ContactTest, MissingPropertiesReadAsNotFoundAndEmpty)
{
    ComPtr<IMAPIProp> opened = SaveAndReopen(Create());
    CContact c(opened.Get());
    std::wstring text = L"stale";
    EXPECT_EQ(MAPI_E_NOT_FOUND, c._GetTextPropW(t::kNickname, &text));
    EXPECT_EQ(L"", text);
    std::vector<std::wstring> list = {L"stale"};
    EXPECT_EQ(MAPI_E_NOT_FOUND, c._GetTextArrayPropW(t::kContactAddrTypes, &list));
    EXPECT_TRUE(list.empty());
    FILETIME date = Time(12345);
    EXPECT_EQ(MAPI_E_NOT_FOUND, c._GetDateProp(t::kBirthday, &date));
    EXPECT_EQ(0u, Value(date));
    SHORT gender = 7;
    EXPECT_EQ(MAPI_E_NOT_FOUND, c.GetGender(&gender));
    EXPECT_EQ(0, gender);
    LONG index = 7;
    EXPECT_EQ(MAPI_E_NOT_FOUND, c.GetDefaultAddressIndex(&index));
    EXPECT_EQ(0, index);
    EXPECT_EQ("", log.Lines()) << "a missing property is no failure worth a line";
}

// On export the named property is only looked up; on import it is created.
TEST_F(ContactTest, ConferencingServersNamedProperty)
{
    ComPtr<IMAPIProp> first = Create();
    CContact c(first.Get());
    std::vector<std::wstring> servers = {L"stale"};
    ULONG tag = 1;
    EXPECT_EQ(MAPI_E_NOT_FOUND, c.GetNamedTag(false, &tag)) << "a store that never used the name";
    EXPECT_EQ(0u, tag);
    EXPECT_EQ(MAPI_E_NOT_FOUND, c.GetConferencingServers(&servers));
    EXPECT_TRUE(servers.empty());

    ASSERT_EQ(S_OK, c.GetNamedTag(true, &tag));
    EXPECT_EQ(static_cast<ULONG>(PT_MV_UNICODE), PROP_TYPE(tag));
    EXPECT_GE(PROP_ID(tag), 0x8000u);
    const std::vector<std::wstring> written = {L"callto://one.example.com/zoe", L"callto://two.example.com",
                                               L"callto://three.example.com"};
    EXPECT_EQ(S_OK, c._PutTextArrayPropW(tag, written));
    ComPtr<IMAPIProp> opened = SaveAndReopen(first);
    CContact again(opened.Get());
    EXPECT_EQ(S_OK, again.GetConferencingServers(&servers));
    EXPECT_EQ(written, servers);

    // A contact without the property, once the name is known: an empty list and a failure code.
    ComPtr<IMAPIProp> other = SaveAndReopen(Create());
    CContact plain(other.Get());
    servers = {L"stale"};
    EXPECT_EQ(MAPI_E_NOT_FOUND, plain.GetConferencingServers(&servers));
    EXPECT_TRUE(servers.empty());

    ASSERT_EQ(S_OK, WabStandinInjectFault("GetIDsFromNames", "*", E_ACCESSDENIED, 0));
    EXPECT_EQ(E_ACCESSDENIED, again.GetConferencingServers(&servers));
    EXPECT_TRUE(servers.empty());
    EXPECT_EQ("", log.Lines());
}

// A tag of the wrong type is a slip that is logged; the operation still reads or writes the
// property, in its own type.
TEST_F(ContactTest, WrongTagTypeWritesTheConsistencyLine)
{
    ComPtr<IMAPIProp> entry = Create();
    CContact c(entry.Get());
    const FILETIME anniversary = Time(0x01D0000000000000ULL);
    EXPECT_EQ(S_OK, c._PutDateProp(PROP_TAG(PT_UNICODE, PROP_ID(t::kWeddingAnniversary)), anniversary));
    EXPECT_EQ(S_OK, c._PutTextPropW(PROP_TAG(PT_STRING8, PROP_ID(t::kNickname)), L"Zed"));
    ComPtr<IMAPIProp> opened = SaveAndReopen(entry);
    CContact again(opened.Get());
    FILETIME date = {};
    EXPECT_EQ(S_OK, again._GetDateProp(PROP_TAG(PT_UNICODE, PROP_ID(t::kWeddingAnniversary)), &date));
    EXPECT_EQ(Value(anniversary), Value(date));
    std::wstring nick;
    EXPECT_EQ(S_OK, again._GetTextPropW(PROP_TAG(PT_MV_UNICODE, PROP_ID(t::kNickname)), &nick));
    EXPECT_EQ(L"Zed", nick);
    std::vector<std::wstring> list;
    EXPECT_EQ(MAPI_E_NOT_FOUND, again._GetTextArrayPropW(t::kNickname, &list));
    EXPECT_EQ(S_OK, again._PutTextArrayPropW(t::kNickname, {L"a"}));

    std::string lines = log.Lines();
    const char* contexts[] = {"CContact::_PutDateProp", "CContact::_PutTextPropW", "CContact::_GetDateProp",
                              "CContact::_GetTextPropW", "CContact::_GetTextArrayPropW",
                              "CContact::_PutTextArrayPropW"};
    size_t pos = 0;
    for (const char* context : contexts) {
        std::string head = std::string("Err in ") + context + ": ASSERT failed in line ";
        size_t found = lines.find(head, pos);
        EXPECT_NE(std::string::npos, found) << context << "\n" << lines;
        if (found != std::string::npos)
            pos = found + head.size();
    }
    EXPECT_EQ(6, std::count(lines.begin(), lines.end(), '\n')) << lines;
}

// A write the address book refuses reports the reason, and a failed read hands it on.
TEST_F(ContactTest, FailuresComeBackAsResultCodes)
{
    ComPtr<IMAPIProp> entry = SaveAndReopen(Create());
    CContact c(entry.Get());
    ASSERT_EQ(S_OK, WabStandinInjectFault("SetProps", "*", MAPI_E_NO_ACCESS, 0));
    EXPECT_EQ(MAPI_E_NO_ACCESS, c._PutTextPropW(t::kNickname, L"x"));
    EXPECT_EQ(MAPI_E_NO_ACCESS, c.PutGender(1));
    WabStandinClearFaults();
    ASSERT_EQ(S_OK, WabStandinInjectFault("GetProps", "*", E_FAIL, 0));
    std::wstring text = L"stale";
    EXPECT_EQ(E_FAIL, c._GetTextPropW(t::kDisplayName, &text));
    EXPECT_EQ(L"", text);
    WabStandinClearFaults();

    SPropValue computed = {};
    computed.ulPropTag = PR_ENTRYID;
    BYTE bytes[2] = {1, 2};
    computed.Value.bin.cb = 2;
    computed.Value.bin.lpb = bytes;
    log.Clear();
    EXPECT_EQ(MAPI_E_COMPUTED, g_wabLib.SetItemProp(entry.Get(), &computed))
        << "a refused value is a failed write, even though SetProps itself succeeded";
    EXPECT_EQ("Inf in CWABLib::SetItemProps: Problems dumb:\ntag=0xfff0102 err=0x8004011a\n", log.Lines());
}

// Reads answered from one preloaded request give what reads of their own give - values, missing
// properties, a property asked for in the wrong type - without asking the address book again; a
// write forgets them; a refused request leaves every read to the address book.
TEST_F(ContactTest, PreloadedReadsAnswerAsTheirOwnWould)
{
    ComPtr<IMAPIProp> entry = Create();
    {
        CContact c(entry.Get());
        EXPECT_EQ(S_OK, c._PutTextPropW(t::kDisplayName, L"Zo\u00eb Lane"));
        EXPECT_EQ(S_OK, c._PutTextArrayPropW(t::kContactEmailAddresses, {L"a@example.com", L"b@example.com"}));
        EXPECT_EQ(S_OK, c._PutDateProp(t::kBirthday, Time(0x01C0000000000000ULL)));
        EXPECT_EQ(S_OK, c.PutGender(1));
    }
    ComPtr<IMAPIProp> opened = SaveAndReopen(entry);

    struct Reads {
        HRESULT name, nick, mails, wrongType, birthday, gender, index;
        std::wstring nameValue;
        std::vector<std::wstring> mailValues;
        ULONGLONG birthdayValue;
        SHORT genderValue;
    };
    auto readAll = [](CContact& c) {
        Reads r = {};
        std::wstring nick;
        std::vector<std::wstring> wrong;
        FILETIME date = {};
        LONG index = 0;
        r.name = c._GetTextPropW(t::kDisplayName, &r.nameValue);
        r.nick = c._GetTextPropW(t::kNickname, &nick);
        r.mails = c._GetTextArrayPropW(t::kContactEmailAddresses, &r.mailValues);
        r.wrongType = c._GetTextArrayPropW(PROP_TAG(PT_MV_UNICODE, PROP_ID(t::kDisplayName)), &wrong);
        r.birthday = c._GetDateProp(t::kBirthday, &date);
        r.birthdayValue = Value(date);
        r.gender = c.GetGender(&r.genderValue);
        r.index = c.GetDefaultAddressIndex(&index);
        return r;
    };
    CContact single(opened.Get());
    const Reads own = readAll(single);
    ASSERT_EQ(S_OK, own.name);

    const ULONG tags[] = {t::kDisplayName, t::kNickname, t::kContactEmailAddresses,
                          PROP_TAG(PT_MV_UNICODE, PROP_ID(t::kDisplayName)), t::kBirthday, t::kGender,
                          t::kContactDefaultAddressIndex};
    CContact preloaded(opened.Get());
    ASSERT_EQ(S_OK, preloaded.Preload(tags, 7));
    // From here on the address book refuses every read: only the preloaded answers can come.
    ASSERT_EQ(S_OK, WabStandinInjectFault("GetProps", "*", E_ACCESSDENIED, 0));
    const Reads fromPreload = readAll(preloaded);
    EXPECT_EQ(own.name, fromPreload.name);
    EXPECT_EQ(own.nameValue, fromPreload.nameValue);
    EXPECT_EQ(MAPI_E_NOT_FOUND, fromPreload.nick);
    EXPECT_EQ(own.nick, fromPreload.nick);
    EXPECT_EQ(own.mails, fromPreload.mails);
    EXPECT_EQ(own.mailValues, fromPreload.mailValues);
    EXPECT_EQ(own.wrongType, fromPreload.wrongType);
    EXPECT_EQ(own.birthday, fromPreload.birthday);
    EXPECT_EQ(own.birthdayValue, fromPreload.birthdayValue);
    EXPECT_EQ(own.gender, fromPreload.gender);
    EXPECT_EQ(own.genderValue, fromPreload.genderValue);
    EXPECT_EQ(own.index, fromPreload.index);
    std::wstring company = L"stale";
    EXPECT_EQ(E_ACCESSDENIED, preloaded._GetTextPropW(t::kCompanyName, &company)) << "not preloaded: asked for";
    WabStandinClearFaults();

    // A write forgets what was preloaded.
    EXPECT_EQ(S_OK, preloaded._PutTextPropW(t::kDisplayName, L"Zoe Lane-Smith"));
    std::wstring name;
    EXPECT_EQ(S_OK, preloaded._GetTextPropW(t::kDisplayName, &name));
    EXPECT_EQ(L"Zoe Lane-Smith", name);

    // A refused request: logged once, and the reads still get their answers one by one.
    log.Clear();
    ASSERT_EQ(S_OK, WabStandinInjectFault("GetProps", "*", E_ACCESSDENIED, 0));
    CContact refused(opened.Get());
    EXPECT_EQ(E_ACCESSDENIED, refused.Preload(tags, 7));
    EXPECT_EQ("Err[0x80070005] in CWABLib::GetItemPropsList: Item->GetProps\n", log.Lines());
    WabStandinClearFaults();
    EXPECT_EQ(S_OK, refused._GetTextPropW(t::kDisplayName, &name));
    EXPECT_EQ(L"Zoe Lane-Smith", name);
}
