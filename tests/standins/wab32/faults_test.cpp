// Injected faults: each named call fails with the given code for the named entry only, counts its
// hits, honours a skip count, and reaches another process through WAB_STANDIN_FAULTS.
#include <functional>

#include "wabtest.h"

#include <mapiguid.h>

using namespace wabtest;

namespace {

const HRESULT kCode = static_cast<HRESULT>(0x80040123);

class Faults : public ::testing::Test {
protected:
    void SetUp() override
    {
        WabStandinClearFaults();
        folder = store.AddFolder(L"Work");
        alice = store.AddNamed(folder, L"Alice");
        bob = store.AddNamed(folder, L"Bob");
        ASSERT_EQ(S_OK, session.Open(store.path()));
    }
    void TearDown() override { WabStandinClearFaults(); }

    HRESULT NewEntry(ComPtr<IMAPIProp>& entry)
    {
        ComPtr<IABContainer> c = session.Container(folder);
        ULONG count = 0;
        LPSPropValue tpl = nullptr;
        SPropTagArray tags = {1, {PR_DEF_CREATE_MAILUSER}};
        HRESULT hr = c->GetProps(&tags, 0, &count, &tpl);
        if (FAILED(hr))
            return hr;
        hr = c->CreateEntry(tpl[0].Value.bin.cb, reinterpret_cast<LPENTRYID>(tpl[0].Value.bin.lpb), 0,
                            entry.GetAddressOf());
        session.wab->FreeBuffer(tpl);
        return hr;
    }

    HRESULT TableCall(const std::function<HRESULT(IMAPITable*)>& call)
    {
        HRESULT hr = S_OK;
        ComPtr<IMAPITable> t = session.Table(folder, 0, &hr);
        return t ? call(t.Get()) : hr;
    }

    CStoreFile store;
    CSession session;
    std::string folder, alice, bob;
};

TEST_F(Faults, EachCallFailsForItsEntryOnly)
{
    SPropTagArray cols = {1, {PR_ENTRYID}};
    SRestriction exist = {};
    exist.rt = RES_EXIST;
    exist.res.resExist.ulPropTag = PR_ENTRYID;
    struct {
        ULONG cSorts, cCategories, cExpanded;
        SSortOrder aSort[1];
    } order = {1, 0, 0, {{PR_DISPLAY_NAME_W, TABLE_SORT_ASCEND}}};
    SPropValue name = Text(PR_DISPLAY_NAME_W, L"Changed");
    SPropTagArray nameTag = {1, {PR_DISPLAY_NAME_W}};
    GUID set = {0x00062004, 0, 0, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
    MAPINAMEID named = {&set, MNID_ID, {0x8056}};
    LPMAPINAMEID names[] = {&named};

    struct {
        const char* call;
        std::string entry;
        // The call on the faulted entry (expected to fail) and on another one (expected to work).
        std::function<HRESULT(const std::string&)> run;
        std::string other;
    } cases[] = {
        {"OpenEntry", alice, [&](const std::string& id) { HRESULT hr; session.Entry(id, MAPI_BEST_ACCESS, &hr); return hr; }, bob},
        {"GetContentsTable", folder, [&](const std::string& id) { HRESULT hr; session.Table(id, 0, &hr); return hr; }, folder},
        {"SetColumns", folder, [&](const std::string&) { return TableCall([&](IMAPITable* t) { return t->SetColumns(&cols, 0); }); }, ""},
        {"Restrict", folder, [&](const std::string&) { return TableCall([&](IMAPITable* t) { return t->Restrict(&exist, 0); }); }, ""},
        {"SortTable", folder, [&](const std::string&) { return TableCall([&](IMAPITable* t) { return t->SortTable(reinterpret_cast<LPSSortOrderSet>(&order), 0); }); }, ""},
        {"GetRowCount", folder, [&](const std::string&) { return TableCall([&](IMAPITable* t) { ULONG n; return t->GetRowCount(0, &n); }); }, ""},
        {"QueryRows", folder, [&](const std::string&) { return TableCall([&](IMAPITable* t) {
             LPSRowSet rows = nullptr;
             HRESULT hr = t->QueryRows(10, 0, &rows);
             if (rows) {
                 for (ULONG i = 0; i < rows->cRows; ++i)
                     session.wab->FreeBuffer(rows->aRow[i].lpProps);
                 session.wab->FreeBuffer(rows);
             }
             return hr; }); }, ""},
        {"CreateEntry", folder, [&](const std::string&) { ComPtr<IMAPIProp> e; return NewEntry(e); }, ""},
        {"SaveChanges", folder, [&](const std::string&) {
             ComPtr<IMAPIProp> e;
             HRESULT hr = NewEntry(e);
             return FAILED(hr) ? hr : e->SaveChanges(0); }, ""},
        {"SaveChanges", alice, [&](const std::string& id) { return session.Entry(id)->SaveChanges(0); }, bob},
        {"GetProps", alice, [&](const std::string& id) {
             ULONG n = 0;
             LPSPropValue v = nullptr;
             HRESULT hr = session.Entry(id)->GetProps(&nameTag, 0, &n, &v);
             session.wab->FreeBuffer(v);
             return hr; }, bob},
        {"SetProps", alice, [&](const std::string& id) { return session.Entry(id)->SetProps(1, &name, nullptr); }, bob},
        {"DeleteProps", alice, [&](const std::string& id) { return session.Entry(id)->DeleteProps(&nameTag, nullptr); }, bob},
        {"GetIDsFromNames", alice, [&](const std::string& id) {
             LPSPropTagArray tags = nullptr;
             HRESULT hr = session.Entry(id)->GetIDsFromNames(1, names, MAPI_CREATE, &tags);
             session.wab->FreeBuffer(tags);
             return hr; }, bob},
        {"GetPAB", "*", [&](const std::string&) {
             ULONG cb = 0;
             LPENTRYID id = nullptr;
             HRESULT hr = session.book->GetPAB(&cb, &id);
             session.wab->FreeBuffer(id);
             return hr; }, ""},
        {"WABOpen", "*", [&](const std::string&) { CSession other; return other.Open(store.path()); }, ""},
        // Last: the calls on the other entry really delete it.
        {"DeleteEntries", alice, [&](const std::string& id) {
             std::string bytes = Bytes(id);
             SBinary bin = {static_cast<ULONG>(bytes.size()), reinterpret_cast<LPBYTE>(&bytes[0])};
             ENTRYLIST list = {1, &bin};
             return session.Container(store.pab())->DeleteEntries(&list, 0); }, bob},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.call);
        ASSERT_EQ(S_OK, WabStandinInjectFault(c.call, c.entry.c_str(), kCode, 0));
        EXPECT_EQ(kCode, c.run(c.entry));
        EXPECT_EQ(1u, WabStandinFaultHits(c.call));
        if (!c.other.empty() && c.other != c.entry) {
            EXPECT_EQ(S_OK, c.run(c.other));
        }
        WabStandinClearFaults();
        EXPECT_EQ(S_OK, c.run(c.entry));
    }
    // The faulted deletion deleted nothing; the real one did.
    HRESULT hr = S_OK;
    session.Entry(alice, MAPI_BEST_ACCESS, &hr);
    EXPECT_EQ(MAPI_E_NOT_FOUND, hr);
}

TEST_F(Faults, SkipLetsTheFirstCallsThrough)
{
    ASSERT_EQ(S_OK, WabStandinAddFaults("SaveChanges:*:0x8004010F:2"));
    ComPtr<IMAPIProp> e = session.Entry(alice);
    EXPECT_EQ(S_OK, e->SaveChanges(0));
    EXPECT_EQ(S_OK, e->SaveChanges(0));
    EXPECT_EQ(MAPI_E_NOT_FOUND, e->SaveChanges(0));
    EXPECT_EQ(MAPI_E_NOT_FOUND, e->SaveChanges(0));
    EXPECT_EQ(2u, WabStandinFaultHits("SaveChanges"));
}

TEST_F(Faults, MalformedItemsAreRefused)
{
    const char* bad[] = {"Bogus:*:0x80004005", "OpenEntry:*", "OpenEntry:XYZ:0x80004005", "OpenEntry:*:zero",
                         "OpenEntry:*:1:2:3"};
    for (const char* text : bad)
        EXPECT_EQ(E_INVALIDARG, WabStandinAddFaults(text)) << text;
    EXPECT_EQ(E_INVALIDARG, WabStandinInjectFault("Nothing", "*", kCode, 0));
    EXPECT_EQ(E_INVALIDARG, WabStandinAddFaults("OpenEntry:*:0x80004005;Bogus"));
    HRESULT hr = S_OK;
    session.Entry(bob, MAPI_BEST_ACCESS, &hr);
    EXPECT_EQ(E_FAIL, hr);  // the well-formed item of the text was still added
}

TEST_F(Faults, AnotherProcessReadsThemFromItsEnvironment)
{
    struct {
        std::string faults;
        LONG exitCode;
    } cases[] = {
        {"", 0},
        {"WABOpen:*:0x80040111", 2},
        {"GetContentsTable:" + folder + ":0x80004005", 2},
        {"OpenEntry:ROOT:0x80004005", 2},
        {"Bogus:*:1", 0},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.exitCode, WabStore({"list", store.path(), store.dir.file("out.txt")}, {{"WAB_STANDIN_FAULTS", c.faults}}))
            << c.faults;
    }
}

}  // namespace
