// The store file behind the stand-in: durable, crash-safe, appended to entry by entry, shared
// between processes, and identifiers that never change.
#include <cstdio>

#include "wabtest.h"

using namespace wabtest;
using testsupport::BinDir;

namespace {

std::vector<std::string> Names(CSession& session, const std::string& folder)
{
    HRESULT hr = S_OK;
    ComPtr<IMAPITable> t = session.Table(folder, MAPI_UNICODE, &hr);
    if (hr == MAPI_E_NOT_FOUND)
        return {};
    return session.Column(t.Get(), PR_DISPLAY_NAME_W);
}

TEST(Store, IdentifiersStayTheSameAcrossSessionsAndAreNeverReused)
{
    CStoreFile store;
    std::string a = store.AddNamed(store.pab(), L"A");
    std::string b = store.AddNamed(store.pab(), L"B");
    CSession s;
    ASSERT_EQ(S_OK, s.Open(store.path()));
    std::string bytes = Bytes(b);
    SBinary bin = {static_cast<ULONG>(bytes.size()), reinterpret_cast<LPBYTE>(&bytes[0])};
    ENTRYLIST list = {1, &bin};
    ASSERT_EQ(S_OK, s.Container(store.pab())->DeleteEntries(&list, 0));
    s.Close();

    std::string c = store.AddNamed(store.pab(), L"C");
    EXPECT_NE(b, c);
    ASSERT_EQ(S_OK, s.Open(store.path()));
    ComPtr<IMAPITable> t = s.Table(store.pab(), MAPI_UNICODE);
    EXPECT_EQ((std::vector<std::string>{a, c}), s.Column(t.Get(), PR_ENTRYID));
    EXPECT_EQ((std::vector<std::string>{"A", "C"}), s.Column(t.Get(), PR_DISPLAY_NAME_W));
}

TEST(Store, ATornLastRecordIsIgnoredAndCutOffByTheNextSave)
{
    CStoreFile store;
    store.AddNamed(store.pab(), L"Whole");
    std::string before = testsupport::ReadFileBytes(store.path());
    // A crash in the middle of a write leaves a record without its end line.
    ASSERT_TRUE(testsupport::WriteFileBytes(store.path(), before + "+CONTACT 90 1\n3001001F Half writ"));
    CSession s;
    ASSERT_EQ(S_OK, s.Open(store.path()));
    EXPECT_EQ((std::vector<std::string>{"Whole"}), Names(s, store.pab()));
    s.Close();
    store.AddNamed(store.pab(), L"After");
    std::string after = testsupport::ReadFileBytes(store.path());
    EXPECT_EQ(std::string::npos, after.find("Half"));
    EXPECT_EQ(0u, after.find(before));
    ASSERT_EQ(S_OK, s.Open(store.path()));
    EXPECT_EQ((std::vector<std::string>{"Whole", "After"}), Names(s, store.pab()));
}

TEST(Store, ARecordWithAWrongChecksumIsSkipped)
{
    CStoreFile store;
    store.AddNamed(store.pab(), L"First");
    store.AddNamed(store.pab(), L"Second");
    store.AddNamed(store.pab(), L"Third");
    std::string text = testsupport::ReadFileBytes(store.path());
    size_t at = text.find("Second");
    ASSERT_NE(std::string::npos, at);
    text[at] = 'Z';  // damaged on disk: the checksum no longer fits
    ASSERT_TRUE(testsupport::WriteFileBytes(store.path(), text));
    CSession s;
    ASSERT_EQ(S_OK, s.Open(store.path()));
    EXPECT_EQ((std::vector<std::string>{"First", "Third"}), Names(s, store.pab()));
}

TEST(Store, SavingOneContactAppendsOneSmallRecord)
{
    CStoreFile store;
    for (int i = 0; i < 300; ++i)
        store.AddContact(store.pab(), {Text(PR_DISPLAY_NAME_W, (L"Person " + std::to_wstring(i)).c_str()),
                                       Text(PR_EMAIL_ADDRESS_W, L"person@example.org"),
                                       Text(PR_COMMENT_W, L"A note\nof two lines")});
    std::string before = testsupport::ReadFileBytes(store.path());
    CSession s;
    ASSERT_EQ(S_OK, s.Open(store.path()));
    ComPtr<IMAPIProp> e = s.Entry(s.Column(s.Table(store.pab(), 0).Get(), PR_ENTRYID)[150]);
    SPropValue v = Text(PR_BUSINESS_TELEPHONE_NUMBER_W, L"+1 555 0100");
    ASSERT_EQ(S_OK, e->SetProps(1, &v, nullptr));
    ASSERT_EQ(S_OK, e->SaveChanges(0));
    std::string after = testsupport::ReadFileBytes(store.path());
    EXPECT_EQ(0u, after.find(before));
    EXPECT_GT(after.size(), before.size());
    EXPECT_LT(after.size() - before.size(), 1024u);
}

TEST(Store, AFileThatIsNoStoreIsRefusedAndLeftAlone)
{
    testsupport::CTempDir dir;
    std::string path = dir.file("other.wab");
    ASSERT_TRUE(testsupport::WriteFileBytes(path, "\x9C\xCB\xCB\x8D binary address book of another program"));
    CSession s;
    EXPECT_EQ(MAPI_E_CORRUPT_DATA, s.Open(path));
    EXPECT_EQ("\x9C\xCB\xCB\x8D binary address book of another program", testsupport::ReadFileBytes(path));
}

TEST(Store, AnotherProcessSeesWhatWasSavedBeforeItOpened)
{
    CStoreFile store;
    CSession s;
    ASSERT_EQ(S_OK, s.Open(store.path()));
    ComPtr<IABContainer> pab = s.Container(store.pab());
    ULONG count = 0;
    LPSPropValue tpl = nullptr;
    SPropTagArray tags = {1, {PR_DEF_CREATE_MAILUSER}};
    ASSERT_EQ(S_OK, pab->GetProps(&tags, 0, &count, &tpl));
    ComPtr<IMAPIProp> e;
    ASSERT_EQ(S_OK, pab->CreateEntry(tpl[0].Value.bin.cb, reinterpret_cast<LPENTRYID>(tpl[0].Value.bin.lpb), 0,
                                     e.GetAddressOf()));
    s.wab->FreeBuffer(tpl);
    SPropValue v = Text(PR_DISPLAY_NAME_W, L"Seen Elsewhere");
    ASSERT_EQ(S_OK, e->SetProps(1, &v, nullptr));
    ASSERT_EQ(S_OK, e->SaveChanges(0));

    // This session stays open while the other process reads the file.
    std::string out = store.dir.file("list.txt");
    EXPECT_EQ(0, WabStore({"list", store.path(), out}));
    EXPECT_NE(std::string::npos, testsupport::ReadFileBytes(out).find("Seen Elsewhere"));

    // And what the other process adds reaches this session's next table; serials stay unique.
    std::string desc = store.dir.file("more.txt");
    ASSERT_TRUE(testsupport::WriteFileBytes(desc, "contact\nPR_DISPLAY_NAME = From Outside\n"));
    EXPECT_EQ(0, WabStore({"load", store.path(), desc}));
    // Seen at once, before this process writes anything itself.
    EXPECT_EQ((std::vector<std::string>{"Seen Elsewhere", "From Outside"}), Names(s, store.pab()));
    store.AddNamed(store.pab(), L"From Inside");
    EXPECT_EQ((std::vector<std::string>{"Seen Elsewhere", "From Outside", "From Inside"}), Names(s, store.pab()));
    ComPtr<IMAPITable> t = s.Table(store.pab(), 0);
    std::vector<std::string> ids = s.Column(t.Get(), PR_ENTRYID);
    EXPECT_TRUE(ids[0] != ids[1] && ids[1] != ids[2] && ids[0] != ids[2]);
}

TEST(Store, AStoreCreatedAnewByAnotherProcessIsReadAgain)
{
    CStoreFile store;
    store.AddNamed(store.pab(), L"Old One");
    store.AddNamed(store.pab(), L"Old Two");
    CSession s;
    ASSERT_EQ(S_OK, s.Open(store.path()));
    ASSERT_EQ(2u, Names(s, store.pab()).size());
    ASSERT_EQ(0, WabStore({"create", store.path(), "Fresh"}));
    EXPECT_EQ((std::vector<std::string>{}), Names(s, store.pab()));
    store.AddNamed(store.pab(), L"New");
    s.Close();
    ASSERT_EQ(S_OK, s.Open(store.path()));
    EXPECT_EQ((std::vector<std::string>{"New"}), Names(s, store.pab()));
    EXPECT_EQ((std::vector<std::string>{"Fresh"}), s.Column(s.Table("", 0).Get(), PR_DISPLAY_NAME_W));
}

TEST(Store, ContactsSavedByAKilledProcessSurvive)
{
    CStoreFile store;
    std::string ready = store.dir.file("ready");
    DWORD pid = 0;
    common::CHandle writer = testsupport::StartProcess(Quote(BinDir() + "\\wab32_writer.exe") + " " + Quote(store.path()) +
                                                           " 3 " + Quote(ready),
                                                       std::string(), &pid);
    ASSERT_TRUE(writer);
    ASSERT_TRUE(testsupport::WaitUntil([&] { return testsupport::FileExists(ready); }, 30000))
        << "the writer did not report its saves";
    ASSERT_TRUE(TerminateProcess(writer.get(), 9));
    WaitForSingleObject(writer.get(), 10000);
    CSession s;
    ASSERT_EQ(S_OK, s.Open(store.path()));
    EXPECT_EQ((std::vector<std::string>{"Saved 1", "Saved 2", "Saved 3"}), Names(s, store.pab()));
}

TEST(Store, TheDefaultStoreIsTheFileTheRegistryNames)
{
    testsupport::CTempDir dir;
    std::string path = dir.file("default.wab");
    const std::string key = "Software\\Microsoft\\WAB\\WAB4\\Wab File Name";
    ASSERT_TRUE(testsupport::SetRegString(HKEY_CURRENT_USER, key, "", path));
    char named[MAX_PATH] = {};
    EXPECT_EQ(S_OK, WabStandinDefaultStorePath(named, sizeof named));
    EXPECT_EQ(path, named);
    ComPtr<IAddrBook> book;
    ComPtr<IWABObject> wab;
    EXPECT_EQ(S_OK, WABOpen(book.GetAddressOf(), wab.GetAddressOf(), nullptr, 0));
    book.Reset();
    wab.Reset();
    testsupport::DeleteRegTree(HKEY_CURRENT_USER, key);
    EXPECT_EQ(0u, testsupport::ReadFileBytes(path).find("QWAB-STORE 1\n"));
}

}  // namespace
