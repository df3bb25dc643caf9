// Entries of the stand-in address book: reading and writing properties, creating, saving and
// deleting contacts, named properties, access and MAPI's linked buffers.
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <cwchar>
#include <string>
#include <vector>

#include "wabtest.h"

#include <mapiguid.h>

using namespace wabtest;

namespace {

const GUID kPsetidAddress = {0x00062004, 0, 0, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};

class Entries : public ::testing::Test {
protected:
    void SetUp() override
    {
        folder = store.AddFolder(L"Work");
        alice = store.AddContact(folder, {Text(PR_DISPLAY_NAME_W, L"Alice"), Text(PR_SURNAME_W, L"Johnson")});
        ASSERT_EQ(S_OK, session.Open(store.path()));
    }

    std::vector<std::string> Props(IMAPIProp* entry, std::vector<ULONG> tags, HRESULT* hr)
    {
        std::vector<ULONG> buf(tags.size() + 1);
        buf[0] = static_cast<ULONG>(tags.size());
        std::copy(tags.begin(), tags.end(), buf.begin() + 1);
        ULONG count = 0;
        LPSPropValue values = nullptr;
        *hr = entry->GetProps(reinterpret_cast<LPSPropTagArray>(buf.data()), 0, &count, &values);
        std::vector<std::string> out;
        for (ULONG i = 0; i < count; ++i)
            out.push_back(ShowValue(values[i]));
        session.wab->FreeBuffer(values);
        return out;
    }

    CStoreFile store;
    CSession session;
    std::string folder, alice;
};

TEST_F(Entries, GetPropsReportsMissingValuesOneByOne)
{
    ComPtr<IMAPIProp> e = session.Entry(alice);
    HRESULT hr = S_OK;
    EXPECT_EQ((std::vector<std::string>{"3001001F=Alice", "3A42000A=ERROR:8004010F", "3A11001E=Johnson", "0FFE0003=6"}),
              Props(e.Get(), {PR_DISPLAY_NAME_W, PR_BIRTHDAY, PR_SURNAME_A, PR_OBJECT_TYPE}, &hr));
    EXPECT_EQ(MAPI_W_ERRORS_RETURNED, hr);
    EXPECT_EQ((std::vector<std::string>{"3001001F=Alice"}), Props(e.Get(), {PR_DISPLAY_NAME_W}, &hr));
    EXPECT_EQ(S_OK, hr);
}

TEST_F(Entries, SetPropsListsProblemsAndKeepsTheRest)
{
    ComPtr<IMAPIProp> e = session.Entry(alice);
    std::vector<LPWSTR> mails = {const_cast<LPWSTR>(L"a@example.org"), const_cast<LPWSTR>(L"b@example.org"),
                                 const_cast<LPWSTR>(L"c@example.org")};
    std::string fake = Bytes("00");
    SPropValue object = {};
    object.ulPropTag = PROP_TAG(PT_OBJECT, 0x6000);
    SPropValue values[] = {Binary(PR_ENTRYID, fake), object, TextList(PR_CONTACT_EMAIL_ADDRESSES_W, mails),
                           Ansi(PR_COMMENT_A, "line one\r\nline two"), Short(PR_GENDER, 2)};
    LPSPropProblemArray problems = nullptr;
    ASSERT_EQ(S_OK, e->SetProps(5, values, &problems));
    ASSERT_NE(nullptr, problems);
    ASSERT_EQ(2u, problems->cProblem);
    EXPECT_EQ(0u, problems->aProblem[0].ulIndex);
    EXPECT_EQ(MAPI_E_COMPUTED, problems->aProblem[0].scode);
    EXPECT_EQ(1u, problems->aProblem[1].ulIndex);
    EXPECT_EQ(MAPI_E_INVALID_TYPE, problems->aProblem[1].scode);
    session.wab->FreeBuffer(problems);

    SPropTagArray del = {1, {PR_SURNAME_W}};
    ASSERT_EQ(S_OK, e->DeleteProps(&del, nullptr));
    ASSERT_EQ(S_OK, e->SaveChanges(KEEP_OPEN_READWRITE));

    // A new session reads what was saved, lists in order, 8-bit text stored as Unicode.
    ASSERT_EQ(S_OK, session.Open(store.path()));
    ComPtr<IMAPIProp> again = session.Entry(alice);
    HRESULT hr = S_OK;
    EXPECT_EQ((std::vector<std::string>{"3A56101F=[a@example.org,b@example.org,c@example.org]",
                                        "3004001F=line one\r\nline two", "3A4D0002=2", "3A11000A=ERROR:8004010F"}),
              Props(again.Get(), {PR_CONTACT_EMAIL_ADDRESSES_W, PR_COMMENT_W, PR_GENDER, PR_SURNAME_W}, &hr));
}

TEST_F(Entries, CreateSaveFindAndDelete)
{
    ComPtr<IABContainer> c = session.Container(folder);
    HRESULT hr = S_OK;
    std::vector<std::string> tpl = Props(c.Get(), {PR_DEF_CREATE_MAILUSER}, &hr);
    ASSERT_EQ(S_OK, hr);
    std::string templateId = Bytes(tpl[0].substr(9));
    ComPtr<IMAPIProp> created;
    ASSERT_EQ(S_OK, c->CreateEntry(static_cast<ULONG>(templateId.size()), reinterpret_cast<LPENTRYID>(&templateId[0]),
                                   0, created.GetAddressOf()));
    // Unsaved: no identifier yet.
    EXPECT_EQ((std::vector<std::string>{"0FFF000A=ERROR:8004010F"}), Props(created.Get(), {PR_ENTRYID}, &hr));
    SPropValue name = Text(PR_DISPLAY_NAME_W, L"New Person");
    ASSERT_EQ(S_OK, created->SetProps(1, &name, nullptr));
    FILETIME before;
    GetSystemTimeAsFileTime(&before);
    ASSERT_EQ(S_OK, created->SaveChanges(0));
    ULONG count = 0;
    LPSPropValue v = nullptr;
    SPropTagArray tags = {1, {PR_ENTRYID}};
    ASSERT_EQ(S_OK, created->GetProps(&tags, 0, &count, &v));
    std::string newId = Hex(v[0].Value.bin.lpb, v[0].Value.bin.cb);
    session.wab->FreeBuffer(v);
    EXPECT_EQ(32u, newId.size());

    ComPtr<IMAPIProp> opened = session.Entry(newId);
    SPropTagArray timeTag = {1, {PR_LAST_MODIFICATION_TIME}};
    ASSERT_EQ(S_OK, opened->GetProps(&timeTag, 0, &count, &v));
    EXPECT_GE(Ticks(v[0].Value.ft), Ticks(before));
    session.wab->FreeBuffer(v);
    // The store keeps that time: callers cannot set it.
    SPropValue stamp = Time(PR_LAST_MODIFICATION_TIME, 2000, 1, 1);
    LPSPropProblemArray problems = nullptr;
    ASSERT_EQ(S_OK, opened->SetProps(1, &stamp, &problems));
    ASSERT_NE(nullptr, problems);
    EXPECT_EQ(MAPI_E_COMPUTED, problems->aProblem[0].scode);
    session.wab->FreeBuffer(problems);

    // Deleted through the personal address book although it lives in another folder.
    std::string bytes = Bytes(newId);
    SBinary bin = {static_cast<ULONG>(bytes.size()), reinterpret_cast<LPBYTE>(&bytes[0])};
    ENTRYLIST list = {1, &bin};
    ComPtr<IABContainer> pab = session.Container(store.pab());
    ASSERT_EQ(S_OK, pab->DeleteEntries(&list, 0));
    session.Entry(newId, MAPI_BEST_ACCESS, &hr);
    EXPECT_EQ(MAPI_E_NOT_FOUND, hr);
    EXPECT_EQ(MAPI_W_PARTIAL_COMPLETION, pab->DeleteEntries(&list, 0));
    // Saving an entry that was deleted meanwhile does not bring it back.
    EXPECT_EQ(MAPI_E_OBJECT_DELETED, opened->SaveChanges(0));
}

TEST_F(Entries, AccessTypesAndForeignIdentifiers)
{
    HRESULT hr = S_OK;
    ComPtr<IMAPIProp> readOnly = session.Entry(alice, 0);
    SPropValue name = Text(PR_DISPLAY_NAME_W, L"X");
    EXPECT_EQ(MAPI_E_NO_ACCESS, readOnly->SetProps(1, &name, nullptr));
    session.Entry("0000000000000000000000000000000A", MAPI_BEST_ACCESS, &hr);
    EXPECT_EQ(MAPI_E_UNKNOWN_ENTRYID, hr);

    ComPtr<IMAPIProp> e = session.Entry(alice);
    ComPtr<IUnknown> asked;
    EXPECT_EQ(S_OK, e->QueryInterface(IID_IMailUser, reinterpret_cast<void**>(asked.GetAddressOf())));
    EXPECT_EQ(E_NOINTERFACE, e->QueryInterface(IID_IDistList, reinterpret_cast<void**>(asked.ReleaseAndGetAddressOf())));
}

TEST_F(Entries, AGroupListsItsMembers)
{
    std::string bob = store.AddNamed(folder, L"Bob");
    char id[WABSTANDIN_ID_TEXT_SIZE];
    LPCSTR members[] = {bob.c_str(), alice.c_str()};
    ASSERT_EQ(S_OK, WabStandinAddGroup(store.path().c_str(), folder.c_str(), L"Pair", 2, members, 0, nullptr, id,
                                       sizeof id));
    ASSERT_EQ(S_OK, session.Open(store.path()));
    ComPtr<IMAPIProp> e = session.Entry(id);
    ComPtr<IDistList> group;
    ASSERT_EQ(S_OK, e->QueryInterface(IID_IDistList, reinterpret_cast<void**>(group.GetAddressOf())));
    ComPtr<IMAPITable> t;
    ASSERT_EQ(S_OK, group->GetContentsTable(MAPI_UNICODE, t.GetAddressOf()));
    EXPECT_EQ((std::vector<std::string>{"Bob", "Alice"}), session.Column(t.Get(), PR_DISPLAY_NAME_W));
    HRESULT hr = S_OK;
    EXPECT_EQ((std::vector<std::string>{"0FFE0003=8", "39000003=1", "3001001F=Pair"}),
              Props(e.Get(), {PR_OBJECT_TYPE, PR_DISPLAY_TYPE, PR_DISPLAY_NAME_W}, &hr));
}

TEST_F(Entries, NamedPropertiesPersistAcrossSessions)
{
    ComPtr<IMAPIProp> e = session.Entry(alice);
    MAPINAMEID name = {const_cast<LPGUID>(&kPsetidAddress), MNID_ID, {0x8056}};
    LPMAPINAMEID names[] = {&name};
    LPSPropTagArray tags = nullptr;
    ASSERT_EQ(MAPI_W_ERRORS_RETURNED, e->GetIDsFromNames(1, names, 0, &tags));
    EXPECT_EQ(static_cast<ULONG>(PROP_TAG(PT_ERROR, 0)), tags->aulPropTag[0]);
    session.wab->FreeBuffer(tags);

    ASSERT_EQ(S_OK, e->GetIDsFromNames(1, names, MAPI_CREATE, &tags));
    ULONG id = PROP_ID(tags->aulPropTag[0]);
    session.wab->FreeBuffer(tags);
    EXPECT_GE(id, 0x8000u);
    std::vector<LPWSTR> servers = {const_cast<LPWSTR>(L"callto://one"), const_cast<LPWSTR>(L"callto://two"),
                                   const_cast<LPWSTR>(L"callto://three")};
    SPropValue v = TextList(PROP_TAG(PT_MV_UNICODE, id), servers);
    ASSERT_EQ(S_OK, e->SetProps(1, &v, nullptr));
    ASSERT_EQ(S_OK, e->SaveChanges(0));
    e.Reset();
    session.Close();

    ASSERT_EQ(S_OK, session.Open(store.path()));
    ComPtr<IMAPIProp> again = session.Entry(alice);
    ASSERT_EQ(S_OK, again->GetIDsFromNames(1, names, 0, &tags));
    EXPECT_EQ(id, PROP_ID(tags->aulPropTag[0]));
    session.wab->FreeBuffer(tags);
    HRESULT hr = S_OK;
    char expected[128];
    std::snprintf(expected, sizeof expected, "%04lX101F=[callto://one,callto://two,callto://three]",
                  static_cast<unsigned long>(id));
    EXPECT_EQ((std::vector<std::string>{expected}), Props(again.Get(), {PROP_TAG(PT_MV_UNICODE, id)}, &hr));
    // And back from the id to the name.
    SPropTagArray one = {1, {PROP_TAG(PT_MV_UNICODE, id)}};
    LPSPropTagArray list = &one;
    ULONG count = 0;
    LPMAPINAMEID* found = nullptr;
    ASSERT_EQ(S_OK, again->GetNamesFromIDs(&list, nullptr, 0, &count, &found));
    ASSERT_EQ(1u, count);
    EXPECT_TRUE(IsEqualGUID(kPsetidAddress, *found[0]->lpguid));
    EXPECT_EQ(0x8056, found[0]->Kind.lID);
    session.wab->FreeBuffer(found);
}

// Every value exactly: numbers by their bits, texts and binaries by their code units and bytes.
std::string Exact(const SPropValue& v)
{
    char tag[16];
    std::snprintf(tag, sizeof tag, "%08lX=", static_cast<unsigned long>(v.ulPropTag));
    auto units = [](const wchar_t* s) { return Hex(s, std::wcslen(s) * sizeof(wchar_t)); };
    std::string out = tag;
    switch (PROP_TYPE(v.ulPropTag)) {
    case PT_I2: return out + std::to_string(v.Value.i);
    case PT_LONG: return out + std::to_string(v.Value.l);
    case PT_BOOLEAN: return out + std::to_string(v.Value.b);
    case PT_I8: return out + std::to_string(v.Value.li.QuadPart);
    case PT_DOUBLE: return out + Hex(&v.Value.dbl, sizeof v.Value.dbl);
    case PT_SYSTIME: return out + Hex(&v.Value.ft, sizeof v.Value.ft);
    case PT_UNICODE: return out + units(v.Value.lpszW);
    case PT_BINARY: return out + Hex(v.Value.bin.lpb, v.Value.bin.cb);
    case PT_CLSID: return out + Hex(v.Value.lpguid, sizeof(GUID));
    case PT_MV_UNICODE:
        for (ULONG i = 0; i < v.Value.MVszW.cValues; ++i)
            out += "|" + units(v.Value.MVszW.lppszW[i]);
        return out;
    case PT_MV_BINARY:
        for (ULONG i = 0; i < v.Value.MVbin.cValues; ++i)
            out += "|" + Hex(v.Value.MVbin.lpbin[i].lpb, v.Value.MVbin.lpbin[i].cb);
        return out;
    case PT_MV_LONG:
        for (ULONG i = 0; i < v.Value.MVl.cValues; ++i)
            out += "|" + std::to_string(v.Value.MVl.lpl[i]);
        return out;
    default:
        return out + ShowValue(v);
    }
}

std::vector<std::string> ExactProps(IMAPIProp* entry, IWABObject* wab)
{
    ULONG count = 0;
    LPSPropValue values = nullptr;
    EXPECT_EQ(S_OK, entry->GetProps(nullptr, MAPI_UNICODE, &count, &values));
    std::vector<std::string> out;
    for (ULONG i = 0; i < count; ++i)
        out.push_back(Exact(values[i]));
    wab->FreeBuffer(values);
    return out;
}

// The store holds saved entries in a packed form of its own and reads them from the file's text:
// a value of every kept type comes back from both exactly as it was saved, including texts with
// code units above 0xFF, lone surrogates and empty ones, and binaries with zero bytes.
TEST_F(Entries, EveryKeptTypeComesBackExactlyFromMemoryAndFromTheFile)
{
    const GUID clsid = {0x12345678, 0x9ABC, 0xDEF0, {1, 2, 3, 4, 5, 6, 7, 8}};
    std::string bytes("\0\x01\xFF", 3), empty;
    wchar_t latin[] = L"Zo\u00EB", wide[] = {0x0416, 0xD800, L'x', 0}, none[] = L"";
    std::vector<LPWSTR> texts = {latin, none, wide};
    SBinary blobs[] = {{3, reinterpret_cast<LPBYTE>(&bytes[0])}, {0, nullptr}};
    LONG longs[] = {1, -2, 0x7FFFFFFF};
    std::vector<SPropValue> values = {Short(PROP_TAG(PT_I2, 0x6001), -7), Long(PROP_TAG(PT_LONG, 0x6002), -123456),
                                      Text(PROP_TAG(PT_UNICODE, 0x6007), latin), Text(PROP_TAG(PT_UNICODE, 0x6008), wide),
                                      Text(PROP_TAG(PT_UNICODE, 0x6009), none), Binary(PROP_TAG(PT_BINARY, 0x600A), bytes),
                                      Binary(PROP_TAG(PT_BINARY, 0x600B), empty), Time(PROP_TAG(PT_SYSTIME, 0x6006), 1601, 1, 2),
                                      TextList(PROP_TAG(PT_MV_UNICODE, 0x600D), texts)};
    SPropValue more[6] = {};
    more[0].ulPropTag = PROP_TAG(PT_BOOLEAN, 0x6003);
    more[0].Value.b = 1;
    more[1].ulPropTag = PROP_TAG(PT_I8, 0x6004);
    more[1].Value.li.QuadPart = -(1LL << 40);
    more[2].ulPropTag = PROP_TAG(PT_DOUBLE, 0x6005);
    more[2].Value.dbl = -0.1;
    more[3].ulPropTag = PROP_TAG(PT_CLSID, 0x600C);
    more[3].Value.lpguid = const_cast<GUID*>(&clsid);
    more[4].ulPropTag = PROP_TAG(PT_MV_BINARY, 0x600E);
    more[4].Value.MVbin = {2, blobs};
    more[5].ulPropTag = PROP_TAG(PT_MV_LONG, 0x600F);
    more[5].Value.MVl = {3, longs};
    values.insert(values.end(), more, more + 6);

    ComPtr<IMAPIProp> entry = session.Entry(alice);
    ASSERT_EQ(S_OK, entry->SetProps(static_cast<ULONG>(values.size()), values.data(), nullptr));
    ASSERT_EQ(S_OK, entry->SaveChanges(0));
    const std::vector<std::string> saved = ExactProps(entry.Get(), session.wab.Get());
    ASSERT_GT(saved.size(), values.size()) << "the values beside Alice's names and the computed ones";
    entry.Reset();
    EXPECT_EQ(ExactProps(session.Entry(alice).Get(), session.wab.Get()), saved) << "from memory";
    ASSERT_EQ(S_OK, session.Open(store.path()));  // the last session's store is gone: read from the file
    EXPECT_EQ(ExactProps(session.Entry(alice).Get(), session.wab.Get()), saved) << "from the file";
}

TEST_F(Entries, LinkedBuffersAreFreedThroughTheirRoot)
{
    void* root = nullptr;
    void* more = nullptr;
    void* more2 = nullptr;
    ASSERT_EQ(S_OK, session.wab->AllocateBuffer(16, &root));
    ASSERT_EQ(S_OK, session.wab->AllocateMore(32, root, &more));
    ASSERT_EQ(S_OK, session.wab->AllocateMore(8, more, &more2));  // a linked block joins the root's chain
    static_cast<char*>(more2)[7] = 1;
    EXPECT_EQ(E_INVALIDARG, session.wab->FreeBuffer(more));  // not a root: left alone
    EXPECT_EQ(S_OK, session.wab->FreeBuffer(root));
    EXPECT_EQ(S_OK, session.wab->FreeBuffer(nullptr));
    EXPECT_EQ(E_INVALIDARG, session.wab->AllocateMore(8, nullptr, &more));
}

// Many linked pieces of every size, each parented by the piece before it (as a row's strings hang
// off its array): every one zeroed, aligned, whole and apart from the others, and none of them a
// root.
TEST_F(Entries, LinkedPiecesNeverOverlap)
{
    void* root = nullptr;
    ASSERT_EQ(S_OK, session.wab->AllocateBuffer(24, &root));
    std::memset(root, 0xEE, 24);
    struct Piece {
        unsigned char* bytes;
        ULONG size;
    };
    std::vector<Piece> pieces;
    void* parent = root;
    for (ULONG i = 0; i < 400; ++i) {
        const ULONG size = i % 7 == 0 ? 0 : i % 11 == 0 ? 600 + i : (i * 37) % 300;
        void* more = nullptr;
        ASSERT_EQ(S_OK, session.wab->AllocateMore(size, parent, &more)) << i;
        ASSERT_NE(nullptr, more);
        EXPECT_EQ(0u, reinterpret_cast<uintptr_t>(more) % 8) << i;
        auto* bytes = static_cast<unsigned char*>(more);
        EXPECT_EQ(std::string(size, '\0'), std::string(reinterpret_cast<char*>(bytes), size)) << i;
        std::memset(bytes, static_cast<int>(i % 251), size);
        pieces.push_back({bytes, size});
        parent = more;
    }
    for (size_t i = 0; i < pieces.size(); ++i)
        EXPECT_EQ(std::string(pieces[i].size, static_cast<char>(i % 251)),
                  std::string(reinterpret_cast<char*>(pieces[i].bytes), pieces[i].size))
            << "piece " << i << " was overwritten";
    EXPECT_EQ(std::string(24, '\xEE'), std::string(static_cast<char*>(root), 24));
    EXPECT_EQ(E_INVALIDARG, session.wab->FreeBuffer(pieces[150].bytes));
    EXPECT_EQ(S_OK, session.wab->FreeBuffer(root));
}

}  // namespace

// Every object handed out is counted from its creation to its last release; one still held after
// the session closed keeps the store file open, and the count sees it.
TEST_F(Entries, ObjectsAreCountedUntilTheirLastRelease)
{
    session.Close();
    ASSERT_EQ(0u, WabStandinLiveObjects());
    ASSERT_EQ(S_OK, session.Open(store.path()));
    EXPECT_EQ(2u, WabStandinLiveObjects()) << "the address book and the address-book object";

    ComPtr<IABContainer> root = session.Container("");
    ComPtr<IABContainer> work = session.Container(folder);
    EXPECT_EQ(4u, WabStandinLiveObjects());
    ComPtr<IMAPITable> folders;
    ASSERT_EQ(S_OK, root->GetContentsTable(0, folders.GetAddressOf()));
    ComPtr<IMAPITable> contents;
    ASSERT_EQ(S_OK, work->GetContentsTable(0, contents.GetAddressOf()));
    EXPECT_EQ(6u, WabStandinLiveObjects());
    ComPtr<IUnknown> sameTable;
    ASSERT_EQ(S_OK, contents->QueryInterface(IID_IMAPITable, reinterpret_cast<void**>(sameTable.GetAddressOf())));
    EXPECT_EQ(6u, WabStandinLiveObjects()) << "another reference is not another object";

    HRESULT hr = S_OK;
    std::vector<std::string> tpl = Props(work.Get(), {PR_DEF_CREATE_MAILUSER}, &hr);
    ASSERT_EQ(S_OK, hr);
    std::string templateId = Bytes(tpl[0].substr(9));
    ComPtr<IMAPIProp> created;
    ASSERT_EQ(S_OK, work->CreateEntry(static_cast<ULONG>(templateId.size()),
                                      reinterpret_cast<LPENTRYID>(&templateId[0]), 0, created.GetAddressOf()));
    ComPtr<IMAPIProp> opened = session.Entry(alice);
    EXPECT_EQ(8u, WabStandinLiveObjects());
    // Asking OpenEntry for an interface hands out the one object, not a second one.
    std::string id = Bytes(alice);
    ULONG type = 0;
    ComPtr<IUnknown> asMailUser;
    ASSERT_EQ(S_OK, session.book->OpenEntry(static_cast<ULONG>(id.size()), reinterpret_cast<LPENTRYID>(&id[0]),
                                            &IID_IMailUser, MAPI_BEST_ACCESS, &type, asMailUser.GetAddressOf()));
    EXPECT_EQ(9u, WabStandinLiveObjects());

    root.Reset();
    folders.Reset();
    EXPECT_EQ(7u, WabStandinLiveObjects());
    contents.Reset();
    EXPECT_EQ(7u, WabStandinLiveObjects()) << "the table is still referenced";
    sameTable.Reset();
    work.Reset();
    asMailUser.Reset();
    opened.Reset();
    EXPECT_EQ(3u, WabStandinLiveObjects());

    // The new entry outlives its session and keeps the store open until released.
    session.Close();
    EXPECT_EQ(1u, WabStandinLiveObjects());
    EXPECT_EQ(MAPI_E_BUSY, WabStandinCreateStore(store.path().c_str(), nullptr));
    created.Reset();
    EXPECT_EQ(0u, WabStandinLiveObjects());
    EXPECT_EQ(S_OK, WabStandinCreateStore(store.path().c_str(), nullptr));
}
