// CWABLib against the stand-in address book: a scratch store with three folders (the personal
// address book with two contacts and a group, "Work" with one contact, "Empty"), every operation's
// results, and every failure line, each caused by a fault injected into the named call.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "common/entryid.h"
#include "support/logcapture.h"
#include "support/storefile.h"
#include "wab/WABLib.h"

using Microsoft::WRL::ComPtr;

namespace {

using testsupport::Text;

class WABLibTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        work = book.AddFolder(L"Work");
        empty = book.AddFolder(L"Empty");
        aliceId = book.AddContact(pab, {Text(PR_DISPLAY_NAME_W, L"Alice Archer"), Text(PR_EMAIL_ADDRESS_W, L"alice@example.com"),
                                        Text(PR_BUSINESS_TELEPHONE_NUMBER_W, L"+1 555 0100"),
                                        Text(PR_HOME_TELEPHONE_NUMBER_W, L"+1 555 0101")});
        carolId = book.AddNamed(pab, L"Carol Cooper");
        groupId = book.AddGroup(pab, L"Friends", {aliceId});
        bobId = book.AddContact(work, {Text(PR_DISPLAY_NAME_W, L"Bob Baker"), Text(PR_EMAIL_ADDRESS_W, L"bob@example.com")});
        ASSERT_TRUE(book.Open());
        log.Clear();
    }

    // The ids of a folder's list, in order.
    std::vector<std::string> Ids(WABItemList* list)
    {
        std::vector<std::string> ids;
        for (ULONG i = 0; list && i < list->count; ++i)
            ids.push_back(list->items[i].id);
        return ids;
    }

    std::vector<std::string> ContactsOf(const std::string& folder)
    {
        WABItemList* list = nullptr;
        EXPECT_EQ(S_OK, wab.GetItems(folder.c_str(), false, &list));
        std::vector<std::string> ids = Ids(list);
        CWABLib::FreeItems(list);
        return ids;
    }

    CLogCapture log;
    CWABLib wab;
    testsupport::CScratchBook book{wab};
    std::string store = book.path(), pab = book.pab(), work, empty, aliceId, carolId, groupId, bobId;
};

}  // namespace

TEST_F(WABLibTest, FoldersInStoreOrderWithNamesAndCounts)
{
    WABFolderList* list = nullptr;
    ASSERT_EQ(S_OK, wab._GetFolders(&list));
    ASSERT_NE(nullptr, list);
    ASSERT_EQ(3u, list->count);
    const char* names[] = {"Contacts", "Work", "Empty"};
    std::string ids[] = {pab, work, empty};
    LONG counts[] = {3, 1, 0};
    for (ULONG i = 0; i < 3; ++i) {
        const WABFolder& f = list->folders[i];
        EXPECT_EQ(sizeof(WABFolder), f.size);
        EXPECT_EQ(ids[i], f.id);
        ASSERT_NE(nullptr, f.name);
        EXPECT_STREQ(names[i], f.name);
        EXPECT_EQ(counts[i], f.count) << names[i];
    }
    CWABLib::FreeFolders(list);
    EXPECT_EQ("", log.Lines());
}

TEST_F(WABLibTest, GetFolderByIdInEitherCase)
{
    // Folders are added until one's identifier holds hexadecimal letters.
    std::string lettered, letteredName;
    for (int i = 0; i < 20 && lettered.empty(); ++i) {
        char id[WABSTANDIN_ID_TEXT_SIZE] = "";
        std::string name = "Folder " + std::to_string(i);
        std::wstring wname(name.begin(), name.end());
        ASSERT_EQ(S_OK, WabStandinAddFolder(store.c_str(), wname.c_str(), id, sizeof id));
        if (std::strpbrk(id, "ABCDEF")) {
            lettered = id;
            letteredName = name;
        }
    }
    ASSERT_FALSE(lettered.empty());
    std::string lower = lettered;
    for (char& c : lower)
        c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
    struct Case {
        std::string id, expectedId, name;
        LONG count;
    } cases[] = {{work, work, "Work", 1}, {lettered, lettered, letteredName, 0}, {lower, lettered, letteredName, 0}};
    for (const Case& c : cases) {
        WABFolder* folder = nullptr;
        ASSERT_EQ(S_OK, wab.GetFolder(c.id.c_str(), &folder)) << c.id;
        ASSERT_NE(nullptr, folder);
        EXPECT_EQ(c.expectedId, folder->id) << "ids are always handed out in upper case";
        EXPECT_EQ(c.name, folder->name);
        EXPECT_EQ(c.count, folder->count);
        CWABLib::FreeFolder(folder);
    }

    WABFolder* folder = nullptr;
    folder = reinterpret_cast<WABFolder*>(1);
    EXPECT_EQ(-1, wab.GetFolder("00000000515753310400000099000000", &folder));
    EXPECT_EQ(nullptr, folder);
    EXPECT_EQ(-1, wab.GetFolder(aliceId.c_str(), &folder)) << "a contact is no folder";
    EXPECT_EQ("", log.Lines());
}

TEST_F(WABLibTest, ItemsOfAFolderWithTheirColumns)
{
    WABItemList* list = nullptr;
    ASSERT_EQ(S_OK, wab.GetItems(pab.c_str(), false, &list));
    ASSERT_EQ(2u, list->count) << "contacts only, not the group";
    const WABItem& a = list->items[0];
    EXPECT_EQ(sizeof(WABItem), a.size);
    EXPECT_EQ(aliceId, a.id);
    EXPECT_EQ(static_cast<ULONG>(MAPI_MAILUSER), a.type);
    EXPECT_STREQ("Alice Archer", a.name);
    EXPECT_STREQ("alice@example.com", a.email);
    EXPECT_STREQ("+1 555 0100", a.businessPhone);
    EXPECT_STREQ("+1 555 0101", a.homePhone);
    EXPECT_NE(0u, a.modified.dwHighDateTime);
    const WABItem& c = list->items[1];
    EXPECT_EQ(carolId, c.id);
    EXPECT_STREQ("Carol Cooper", c.name);
    EXPECT_EQ(nullptr, c.email);
    EXPECT_EQ(nullptr, c.homePhone);
    CWABLib::FreeItems(list);

    EXPECT_EQ(std::vector<std::string>{bobId}, ContactsOf(work));
    EXPECT_EQ(std::vector<std::string>{}, ContactsOf(empty));
    EXPECT_EQ((std::vector<std::string>{aliceId, carolId}), ContactsOf(""))
        << "no folder means the personal address book";

    ASSERT_EQ(S_OK, wab.GetItems(empty.c_str(), true, &list));
    EXPECT_EQ((std::vector<std::string>{aliceId, carolId, bobId}), Ids(list))
        << "all folders ignores the folder id";
    CWABLib::FreeItems(list);
    EXPECT_EQ("", log.Lines());
}

TEST_F(WABLibTest, ItemsExWithGroupsRestrictionAndSortOrder)
{
    struct {
        ULONG cValues;
        ULONG tags[3];
    } columns = {3, {PR_ENTRYID, PR_OBJECT_TYPE, PR_DISPLAY_NAME_A}};
    auto* cols = reinterpret_cast<SPropTagArray*>(&columns);
    WABItemList* list = nullptr;
    ASSERT_EQ(S_OK, wab.GetItemsEx(pab.c_str(), 0, cols, nullptr, nullptr, &list));
    EXPECT_EQ((std::vector<std::string>{aliceId, carolId, groupId}), Ids(list));
    EXPECT_EQ(static_cast<ULONG>(MAPI_DISTLIST), list->items[2].type);
    EXPECT_STREQ("Friends", list->items[2].name);
    EXPECT_EQ(nullptr, list->items[0].email) << "a column not asked for stays empty";
    CWABLib::FreeItems(list);

    SSortOrderSet sort = {1, 0, 0, {{PR_DISPLAY_NAME_A, TABLE_SORT_DESCEND}}};
    ASSERT_EQ(S_OK, wab.GetItemsEx(pab.c_str(), 0, cols, nullptr, &sort, &list));
    EXPECT_EQ((std::vector<std::string>{groupId, carolId, aliceId}), Ids(list));
    CWABLib::FreeItems(list);

    // The kind of restriction the import builds to find an equal contact, in Unicode.
    SPropValue name = Text(PR_DISPLAY_NAME_W, L"Carol Cooper");
    SRestriction restriction = {};
    restriction.rt = RES_PROPERTY;
    restriction.res.resProperty.relop = RELOP_EQ;
    restriction.res.resProperty.ulPropTag = PR_DISPLAY_NAME_W;
    restriction.res.resProperty.lpProp = &name;
    columns.tags[2] = PR_DISPLAY_NAME_W;
    ASSERT_EQ(S_OK, wab.GetItemsEx(pab.c_str(), MAPI_UNICODE, cols, &restriction, nullptr, &list));
    EXPECT_EQ(std::vector<std::string>{carolId}, Ids(list));
    EXPECT_STREQ("Carol Cooper", list->items[0].name);
    CWABLib::FreeItems(list);
    EXPECT_EQ("", log.Lines());
}

// Every failure of the listing writes one line naming the failing call; once the list exists it
// is handed out with the failure.
TEST_F(WABLibTest, ItemsExFailureLines)
{
    struct Case {
        const char* call;
        std::string entry;
        std::string folder;
        HRESULT code;
        bool listHandedOut;
        std::string line;
    } cases[] = {
        {"GetPAB", "*", "", E_FAIL, false, "Err[0x80004005] in CWABLib::GetItemsEx: AddrBook->GetPAB\n"},
        {"OpenEntry", work, work, E_ACCESSDENIED, false,
         "Err[0x80070005] in CWABLib::GetItemsEx: AddrBook->OpenEntry\n"},
        {"GetContentsTable", work, work, E_FAIL, false,
         "Err[0x80004005] in CWABLib::GetItemsEx: Container->GetContentsTable\n"},
        {"GetContentsTable", work, work, MAPI_E_NOT_FOUND, true, ""},
        {"SetColumns", work, work, E_FAIL, true, "Err[0x80004005] in CWABLib::GetItemsEx: Table->SetColumns\n"},
        {"Restrict", work, work, E_FAIL, true, "Err[0x80004005] in CWABLib::GetItemsEx: lpTable->Restrict\n"},
        {"GetRowCount", work, work, E_FAIL, true, "Err[0x80004005] in CWABLib::GetItemsEx: Table->GetRowCount\n"},
        {"QueryRows", work, work, MAPI_E_NOT_ENOUGH_MEMORY, true,
         "Err[0x8007000e] in CWABLib::GetItemsEx: Table->QueryRows\n"},
    };
    for (const Case& c : cases) {
        log.Clear();
        WabStandinClearFaults();
        ASSERT_EQ(S_OK, WabStandinInjectFault(c.call, c.entry.c_str(), c.code, 0)) << c.call;
        WABItemList* list = nullptr;
        HRESULT hr = wab.GetItems(c.folder.c_str(), false, &list);
        EXPECT_EQ(c.line.empty() ? S_OK : c.code, hr) << c.call;
        EXPECT_EQ(c.listHandedOut, list != nullptr) << c.call;
        if (list) {
            EXPECT_EQ(0u, list->count) << c.call;
        }
        CWABLib::FreeItems(list);
        EXPECT_EQ(c.line, log.Lines()) << c.call;
    }

    WabStandinClearFaults();
    log.Clear();
    ASSERT_EQ(S_OK, WabStandinInjectFault("SortTable", work.c_str(), E_FAIL, 0));
    SSortOrderSet sort = {1, 0, 0, {{PR_DISPLAY_NAME_A, TABLE_SORT_ASCEND}}};
    struct {
        ULONG cValues;
        ULONG tags[2];
    } columns = {2, {PR_ENTRYID, PR_OBJECT_TYPE}};
    WABItemList* list = nullptr;
    EXPECT_EQ(E_FAIL, wab.GetItemsEx(work.c_str(), 0, reinterpret_cast<SPropTagArray*>(&columns), nullptr, &sort,
                                     &list));
    EXPECT_NE(nullptr, list);
    CWABLib::FreeItems(list);
    EXPECT_EQ("Err[0x80004005] in CWABLib::GetItemsEx: lpTable->SortTable\n", log.Lines());

    log.Clear();
    list = nullptr;
    EXPECT_EQ(-1, wab.GetItems(aliceId.c_str(), false, &list));
    EXPECT_EQ(nullptr, list);
    EXPECT_EQ("Err[0x6] in CWABLib::GetItemsEx: Object is not ABContainer\n", log.Lines());
}

TEST_F(WABLibTest, FolderListingFailureLines)
{
    struct Case {
        const char* call;
        const char* entry;
        bool restricted;
        std::string line;
    } cases[] = {
        {"OpenEntry", "ROOT", false, "Err[0x80004005] in CWABLib::_GetFolders: Open Root Container\n"},
        {"GetContentsTable", "ROOT", false, "Err[0x80004005] in CWABLib::_GetFolders: Open Root Container\n"},
        {"Restrict", "ROOT", true, "Err[0x80004005] in CWABLib::_GetFolders: RootTable->Restrict\n"},
        {"GetRowCount", "ROOT", false, "Err[0x80004005] in CWABLib::_GetFolders: RootTable->GetRowCount\n"},
    };
    for (const Case& c : cases) {
        log.Clear();
        WabStandinClearFaults();
        ASSERT_EQ(S_OK, WabStandinInjectFault(c.call, c.entry, E_FAIL, 0));
        HRESULT hr;
        if (c.restricted) {
            WABFolder* folder = nullptr;
            hr = wab.GetFolder(work.c_str(), &folder);
            EXPECT_EQ(nullptr, folder);
        } else {
            WABFolderList* list = reinterpret_cast<WABFolderList*>(1);
            hr = wab._GetFolders(&list);
            EXPECT_EQ(nullptr, list) << c.call;
        }
        EXPECT_EQ(E_FAIL, hr) << c.call;
        EXPECT_EQ(c.line, log.Lines()) << c.call;
    }
}

// A folder that cannot be counted is still listed, with the count -1.
TEST_F(WABLibTest, CountFailureLines)
{
    struct Case {
        const char* call;
        HRESULT code;
        LONG count;
        std::string line;
    } cases[] = {
        {"OpenEntry", E_FAIL, -1, "Err[0x80004005] in CWABLib::_GetItemsCount: AddrBook->OpenEntry\n"},
        {"GetContentsTable", E_FAIL, -1,
         "Err[0x80004005] in CWABLib::_GetItemsCount: Container->GetContentsTable\n"},
        {"GetContentsTable", MAPI_E_NOT_FOUND, 0, ""},
        {"GetRowCount", E_FAIL, -1, "Err[0x80004005] in CWABLib::_GetItemsCount: Table->GetRowCount\n"},
    };
    for (const Case& c : cases) {
        log.Clear();
        WabStandinClearFaults();
        ASSERT_EQ(S_OK, WabStandinInjectFault(c.call, work.c_str(), c.code, 0));
        WABFolderList* list = nullptr;
        ASSERT_EQ(S_OK, wab._GetFolders(&list)) << c.call;
        ASSERT_EQ(3u, list->count);
        EXPECT_EQ(3, list->folders[0].count);
        EXPECT_EQ(c.count, list->folders[1].count) << c.call;
        EXPECT_EQ(0, list->folders[2].count);
        CWABLib::FreeFolders(list);
        EXPECT_EQ(c.line, log.Lines()) << c.call;
    }
    WabStandinClearFaults();
    log.Clear();
    std::vector<BYTE> contact = common::EntryIdFromText(aliceId.c_str());
    EXPECT_EQ(-1, wab._GetItemsCount(static_cast<ULONG>(contact.size()), reinterpret_cast<ENTRYID*>(contact.data())));
    EXPECT_EQ("Err[0x6] in CWABLib::_GetItemsCount: Object is not ABContainer\n", log.Lines());
}

TEST_F(WABLibTest, OpenEntriesAndItems)
{
    ULONG type = 0;
    IUnknown* object = nullptr;
    ASSERT_EQ(S_OK, wab._OpenEntry(work.c_str(), &type, &object));
    EXPECT_EQ(static_cast<ULONG>(MAPI_ABCONT), type);
    object->Release();

    ComPtr<IMAPIProp> item;
    ASSERT_EQ(S_OK, wab.OpenItem(aliceId.c_str(), &type, item.GetAddressOf()));
    EXPECT_EQ(static_cast<ULONG>(MAPI_MAILUSER), type);
    SPropValue* value = nullptr;
    ASSERT_EQ(S_OK, wab.GetItemProps(item.Get(), PR_DISPLAY_NAME_W, &value));
    EXPECT_STREQ(L"Alice Archer", value->Value.lpszW);
    EXPECT_EQ(S_OK, wab.FreeBuffer(value));
    item.Reset();

    ASSERT_EQ(S_OK, wab.OpenItem(groupId.c_str(), &type, item.GetAddressOf()));
    EXPECT_EQ(static_cast<ULONG>(MAPI_DISTLIST), type);
    item.Reset();
    EXPECT_EQ("", log.Lines());

    EXPECT_EQ(-1, wab.OpenItem(work.c_str(), &type, item.GetAddressOf()));
    EXPECT_EQ(nullptr, item.Get());
    EXPECT_EQ("Err[0x4] in CWABLib::OpenItem: This function opens only MailUser or DistList objects\n", log.Lines());

    log.Clear();
    ASSERT_EQ(S_OK, WabStandinInjectFault("OpenEntry", bobId.c_str(), MAPI_E_NOT_FOUND, 0));
    EXPECT_EQ(MAPI_E_NOT_FOUND, wab.OpenItem(bobId.c_str(), &type, item.GetAddressOf()));
    EXPECT_EQ(nullptr, item.Get());
}

TEST_F(WABLibTest, FindItemFolder)
{
    struct Case {
        std::string entry;
        HRESULT result;
        std::string folder;
    } cases[] = {
        {aliceId, S_OK, pab},
        {groupId, S_OK, pab},
        {bobId, S_OK, work},
        {"00000000515753310600000099000000", 1, ""},
    };
    for (const Case& c : cases) {
        char* folder = reinterpret_cast<char*>(1);
        EXPECT_EQ(c.result, wab.FindItemFolder(c.entry.c_str(), &folder)) << c.entry;
        if (c.folder.empty()) {
            EXPECT_EQ(nullptr, folder);
        } else {
            ASSERT_NE(nullptr, folder);
            EXPECT_EQ(c.folder, folder);
            EXPECT_EQ(S_OK, wab.FreeBuffer(folder));
        }
    }
    EXPECT_EQ("", log.Lines());

    char* folder = nullptr;
    EXPECT_EQ(-1, wab.FindItemFolder("", &folder));
    EXPECT_EQ(nullptr, folder);
    EXPECT_NE(std::string::npos, log.Lines().find("Err in CWABLib::FindItemFolder: ASSERT failed in line "));

    // A failing folder ends the search with its code.
    log.Clear();
    ASSERT_EQ(S_OK, WabStandinInjectFault("GetRowCount", pab.c_str(), E_FAIL, 1));
    EXPECT_EQ(E_FAIL, wab.FindItemFolder(bobId.c_str(), &folder));
    EXPECT_EQ(nullptr, folder);
    EXPECT_EQ("Err[0x80004005] in CWABLib::GetItemsEx: Table->GetRowCount\n", log.Lines());
}

TEST_F(WABLibTest, CreateItemSavesIntoItsFolder)
{
    ComPtr<IMAPIProp> item;
    ASSERT_EQ(S_OK, wab.CreateItem(work.c_str(), item.GetAddressOf()));
    SPropValue name = Text(PR_DISPLAY_NAME_W, L"Dora Dunn");
    EXPECT_EQ(S_OK, wab.SetItemProp(item.Get(), &name));
    ASSERT_EQ(S_OK, item->SaveChanges(0));
    item.Reset();

    std::vector<std::string> ids = ContactsOf(work);
    ASSERT_EQ(2u, ids.size());
    char* folder = nullptr;
    ASSERT_EQ(S_OK, wab.FindItemFolder(ids[1].c_str(), &folder));
    EXPECT_EQ(work, folder);
    (void)wab.FreeBuffer(folder);  // the free is not under test
    EXPECT_EQ("", log.Lines());
}

TEST_F(WABLibTest, CreateItemFailureLines)
{
    struct Case {
        const char* call;
        std::string line;
    } cases[] = {
        {"OpenEntry", "Err[0x80004005] in CWABLib::CreateItem: open container\n"},
        {"GetProps", "Err[0x80004005] in CWABLib::CreateItem: get templateID\n"},
        {"CreateEntry", "Err[0x80004005] in CWABLib::CreateItem: CreateEntry\n"},
    };
    for (const Case& c : cases) {
        log.Clear();
        WabStandinClearFaults();
        ASSERT_EQ(S_OK, WabStandinInjectFault(c.call, work.c_str(), E_FAIL, 0));
        ComPtr<IMAPIProp> item;
        EXPECT_EQ(E_FAIL, wab.CreateItem(work.c_str(), item.GetAddressOf())) << c.call;
        EXPECT_EQ(nullptr, item.Get());
        EXPECT_EQ(c.line, log.Lines()) << c.call;
    }
    WabStandinClearFaults();
    log.Clear();
    ComPtr<IMAPIProp> item;
    EXPECT_EQ(-1, wab.CreateItem(aliceId.c_str(), item.GetAddressOf()));
    EXPECT_EQ("Err[0x6] in CWABLib::CreateItem: opened item is not container\n", log.Lines());
}

// Entries are deleted through the personal address book, whichever folder lists them.
TEST_F(WABLibTest, DeleteItemThroughThePersonalAddressBook)
{
    EXPECT_EQ(S_OK, wab.DeleteItem(bobId.c_str()));
    EXPECT_EQ(std::vector<std::string>{}, ContactsOf(work));
    char* folder = nullptr;
    EXPECT_EQ(1, wab.FindItemFolder(bobId.c_str(), &folder));
    EXPECT_EQ(S_OK, wab.DeleteItem(carolId.c_str()));
    EXPECT_EQ(std::vector<std::string>{aliceId}, ContactsOf(pab));
    EXPECT_EQ("", log.Lines());

    struct Case {
        const char* call;
        std::string entry;
        std::string line;
    } cases[] = {
        {"GetPAB", "*", "Err[0x80004005] in CWABLib::DeleteItem: AddrBook->GetPAB\n"},
        {"OpenEntry", pab, "Err[0x80004005] in CWABLib::DeleteItem: AddrBook->OpenEntry(PAB)\n"},
        {"DeleteEntries", aliceId, "Err[0x80004005] in CWABLib::DeleteItem: PAB->DeleteEntries\n"},
    };
    for (const Case& c : cases) {
        log.Clear();
        WabStandinClearFaults();
        ASSERT_EQ(S_OK, WabStandinInjectFault(c.call, c.entry.c_str(), E_FAIL, 0));
        EXPECT_EQ(E_FAIL, wab.DeleteItem(aliceId.c_str())) << c.call;
        EXPECT_EQ(c.line, log.Lines()) << c.call;
    }
    WabStandinClearFaults();
    EXPECT_EQ(std::vector<std::string>{aliceId}, ContactsOf(pab)) << "nothing was deleted by the failures";
}

// A group keeps its members by entry identifier in its own order: listed with its folder's groups,
// read and written whole, and a member replaced by another in its place.
TEST_F(WABLibTest, GroupsAndTheirMembers)
{
    std::vector<CWabGroup> groups;
    ASSERT_EQ(S_OK, wab.GetGroups(pab.c_str(), &groups));
    ASSERT_EQ(1u, groups.size());
    EXPECT_EQ(groupId, groups[0].id);
    EXPECT_EQ(std::vector<std::string>{aliceId}, groups[0].members);
    for (const std::string& folder : {work, empty}) {
        EXPECT_EQ(S_OK, wab.GetGroups(folder.c_str(), &groups));
        EXPECT_TRUE(groups.empty());
    }

    const std::string& a = aliceId;
    const std::string& b = bobId;
    const std::string& c = carolId;
    struct Case {
        std::vector<std::string> before;
        size_t position;
        std::vector<std::string> after;  // Alice replaced by Bob
    } cases[] = {
        {{a, c}, 1, {b, c}},     // in her place, whatever the position says
        {{c, a}, 0, {c, b}},
        {{c}, 0, {b, c}},        // dropped already: at her former position
        {{c}, 5, {c, b}},        // at most the end
        {{b, a}, 0, {b, a}},     // the new member is there already
    };
    for (const Case& k : cases) {
        ASSERT_EQ(S_OK, wab.SetGroupMembers(groupId.c_str(), k.before));
        std::vector<std::string> members;
        ASSERT_EQ(S_OK, wab.GetGroupMembers(groupId.c_str(), &members));
        EXPECT_EQ(k.before, members);
        EXPECT_EQ(S_OK, wab.ReplaceGroupMember(groupId.c_str(), a.c_str(), b.c_str(), k.position, &members));
        EXPECT_EQ(k.after, members);
        ASSERT_EQ(S_OK, wab.GetGroupMembers(groupId.c_str(), &members));
        EXPECT_EQ(k.after, members);
    }
    EXPECT_EQ("", log.Lines());

    ASSERT_EQ(S_OK, wab.SetGroupMembers(groupId.c_str(), {a, c}));
    struct Failure {
        const char* call;
        std::string line;
    } failures[] = {
        {"OpenEntry", "Err[0x80004005] in CWABLib::ReplaceGroupMember: AddrBook->OpenEntry\n"},
        {"GetProps", "Err[0x80004005] in CWABLib::GetItemProps: Item->GetProps\n"},
        {"SetProps", "Err[0x80004005] in CWABLib::SetItemProps: Item->SetProps\n"},
        {"SaveChanges", "Err[0x80004005] in CWABLib::SaveItem: SaveChanges\n"},
    };
    for (const Failure& f : failures) {
        log.Clear();
        WabStandinClearFaults();
        ASSERT_EQ(S_OK, WabStandinInjectFault(f.call, groupId.c_str(), E_FAIL, 0));
        EXPECT_EQ(E_FAIL, wab.ReplaceGroupMember(groupId.c_str(), a.c_str(), b.c_str(), 0, nullptr)) << f.call;
        EXPECT_EQ(f.line, log.Lines()) << f.call;
    }
    WabStandinClearFaults();
    std::vector<std::string> members;
    ASSERT_EQ(S_OK, wab.GetGroupMembers(groupId.c_str(), &members));
    EXPECT_EQ((std::vector<std::string>{a, c}), members) << "the failures changed nothing";

    log.Clear();
    EXPECT_EQ(-1, wab.GetGroupMembers(aliceId.c_str(), &members));
    EXPECT_EQ(-1, wab.ReplaceGroupMember(work.c_str(), a.c_str(), b.c_str(), 0, nullptr));
    EXPECT_EQ("Err[0x6] in CWABLib::GetGroupMembers: Object is not DistList\n"
              "Err[0x4] in CWABLib::ReplaceGroupMember: Object is not DistList\n",
              log.Lines());
}

TEST_F(WABLibTest, PropertyReadsAndWrites)
{
    ComPtr<IMAPIProp> item;
    ULONG type = 0;
    ASSERT_EQ(S_OK, wab.OpenItem(carolId.c_str(), &type, item.GetAddressOf()));

    SPropValue* value = reinterpret_cast<SPropValue*>(1);
    EXPECT_EQ(MAPI_E_NOT_FOUND, wab.GetItemProps(item.Get(), PR_EMAIL_ADDRESS_W, &value));
    EXPECT_EQ(nullptr, value);

    SPropValue email = Text(PR_EMAIL_ADDRESS_W, L"carol@example.com");
    EXPECT_EQ(S_OK, wab.SetItemProp(item.Get(), &email));
    ASSERT_EQ(S_OK, wab.GetItemProps(item.Get(), PR_EMAIL_ADDRESS_W, &value));
    EXPECT_STREQ(L"carol@example.com", value->Value.lpszW);
    (void)wab.FreeBuffer(value);  // the free is not under test
    EXPECT_EQ("", log.Lines());

    // A value the address book refuses is listed as a problem: logged, and the write failed.
    SPropValue computed = {};
    computed.ulPropTag = PR_ENTRYID;
    BYTE bytes[4] = {1, 2, 3, 4};
    computed.Value.bin.cb = 4;
    computed.Value.bin.lpb = bytes;
    SPropProblemArray* problems = nullptr;
    EXPECT_EQ(S_OK, wab.SetItemProps(item.Get(), &computed, &problems));
    ASSERT_NE(nullptr, problems);
    EXPECT_EQ(1u, problems->cProblem);
    (void)wab.FreeBuffer(problems);  // the free is not under test
    EXPECT_EQ("Inf in CWABLib::SetItemProps: Problems dumb:\ntag=0xfff0102 err=0x8004011a\n", log.Lines());
    log.Clear();
    EXPECT_EQ(MAPI_E_COMPUTED, wab.SetItemProp(item.Get(), &computed));
    EXPECT_EQ("Inf in CWABLib::SetItemProps: Problems dumb:\ntag=0xfff0102 err=0x8004011a\n", log.Lines());

    log.Clear();
    ASSERT_EQ(S_OK, WabStandinInjectFault("SetProps", carolId.c_str(), E_ACCESSDENIED, 0));
    EXPECT_EQ(E_ACCESSDENIED, wab.SetItemProp(item.Get(), &email));
    EXPECT_EQ("Err[0x80070005] in CWABLib::SetItemProps: Item->SetProps\n", log.Lines());

    log.Clear();
    EXPECT_EQ(-1, wab.GetItemProps(nullptr, PR_DISPLAY_NAME_W, &value));
    EXPECT_NE(std::string::npos, log.Lines().find("Err in CWABLib::GetItemProps: ASSERT failed in line "));
}

TEST_F(WABLibTest, BuffersNeedASessionAndAPointer)
{
    void* buffer = nullptr;
    ASSERT_EQ(S_OK, wab.AllocateBuffer(16, &buffer));
    ASSERT_NE(nullptr, buffer);
    EXPECT_EQ(S_OK, wab.FreeBuffer(buffer));
    EXPECT_EQ("", log.Lines());

    EXPECT_EQ(-1, wab.FreeBuffer(nullptr));
    EXPECT_EQ(-1, wab.AllocateBuffer(16, nullptr));
    std::string lines = log.Lines();
    EXPECT_NE(std::string::npos, lines.find("Err in CWABLib::FreeBuffer: ASSERT failed in line "));
    EXPECT_NE(std::string::npos, lines.find("Err in CWABLib::AllocateBuffer: ASSERT failed in line "));

    wab.Close();
    EXPECT_EQ(-2, wab.AllocateBuffer(16, &buffer));
    EXPECT_EQ(nullptr, buffer);
    int dummy = 0;
    EXPECT_EQ(-2, wab.FreeBuffer(&dummy));
}

// Operations after the session closed fail with a line instead of touching a released object.
TEST_F(WABLibTest, OperationsWithoutASessionFail)
{
    wab.Close();
    EXPECT_FALSE(wab.IsOpen());
    WABItemList* items = nullptr;
    EXPECT_EQ(MAPI_E_NOT_INITIALIZED, wab.GetItems(pab.c_str(), false, &items));
    EXPECT_EQ(nullptr, items);
    WABFolderList* folders = nullptr;
    EXPECT_EQ(MAPI_E_NOT_INITIALIZED, wab._GetFolders(&folders));
    ComPtr<IMAPIProp> item;
    EXPECT_EQ(MAPI_E_NOT_INITIALIZED, wab.CreateItem(pab.c_str(), item.GetAddressOf()));
    EXPECT_EQ(MAPI_E_NOT_INITIALIZED, wab.DeleteItem(aliceId.c_str()));
    EXPECT_EQ("Err[0x80040605] in CWABLib::GetItemsEx: address book not open\n"
              "Err[0x80040605] in CWABLib::_GetFolders: address book not open\n"
              "Err[0x80040605] in CWABLib::CreateItem: address book not open\n"
              "Err[0x80040605] in CWABLib::DeleteItem: address book not open\n",
              log.Lines());
}

TEST_F(WABLibTest, ReInitOpensTheSameStoreAgain)
{
    ASSERT_TRUE(wab.ReInit());
    EXPECT_TRUE(wab.IsOpen());
    EXPECT_EQ((std::vector<std::string>{aliceId, carolId}), ContactsOf(pab));

    ASSERT_EQ(S_OK, WabStandinInjectFault("WABOpen", "*", E_FAIL, 0));
    EXPECT_FALSE(wab.ReInit());
    EXPECT_FALSE(wab.IsOpen());
    EXPECT_EQ(nullptr, wab.AddrBook());
    EXPECT_EQ(nullptr, wab.WABObject());
    EXPECT_EQ("Err[0x80004005] in CWAB::Init: Cant init wab\n"
              "Err in CWABLib::ReInit: Fatal error - logon failed\n",
              log.Lines());

    log.Clear();
    EXPECT_FALSE(wab.ReInit());
    EXPECT_EQ("Err in CWABLib::ReInit: cant relogon coz not logged now\n", log.Lines());
}

TEST(WABLibSession, ReInitBeforeAnyInit)
{
    CLogCapture log;
    CWABLib wab;
    EXPECT_FALSE(wab.IsOpen());
    EXPECT_FALSE(wab.ReInit());
    EXPECT_EQ("Err in CWABLib::ReInit: cant relogon coz not logged now\n", log.Lines());
}

// Whatever an operation opens on the way (root, folders, tables, entries) is released by the time
// it returns, on success and at every failure: after Close no object of the address book is
// alive, and the store file is free again.
TEST_F(WABLibTest, OperationsLeaveNothingOpenAfterClose)
{
    struct OneColumn {
        ULONG cValues;
        ULONG tags[1];
    };
    static const OneColumn kIdColumn = {1, {PR_ENTRYID}};
    const SPropTagArray* idColumn = reinterpret_cast<const SPropTagArray*>(&kIdColumn);
    struct Case {
        const char* name;
        const char* faultCall;  // null: no fault
        std::string faultEntry;
        std::function<void()> run;
    };
    auto folders = [this] {
        WABFolderList* list = nullptr;
        (void)wab._GetFolders(&list);
        CWABLib::FreeFolders(list);
    };
    auto folder = [this] {
        WABFolder* f = nullptr;
        (void)wab.GetFolder(work.c_str(), &f);
        CWABLib::FreeFolder(f);
    };
    auto items = [this](const std::string& id, bool all) {
        return [this, id, all] {
            WABItemList* list = nullptr;
            (void)wab.GetItems(id.c_str(), all, &list);
            CWABLib::FreeItems(list);
        };
    };
    auto sortedItems = [this, idColumn] {
        SSortOrderSet sort = {1, 0, 0, {{PR_DISPLAY_NAME_A, TABLE_SORT_ASCEND}}};
        WABItemList* list = nullptr;
        (void)wab.GetItemsEx(pab.c_str(), 0, idColumn, nullptr, &sort, &list);
        CWABLib::FreeItems(list);
    };
    auto findFolder = [this](const std::string& id) {
        return [this, id] {
            char* f = nullptr;
            if (wab.FindItemFolder(id.c_str(), &f) == S_OK)
                (void)wab.FreeBuffer(f);  // only what stays open counts here
        };
    };
    auto open = [this](const std::string& id) {
        return [this, id] {
            ULONG type = 0;
            ComPtr<IMAPIProp> item;
            (void)wab.OpenItem(id.c_str(), &type, item.GetAddressOf());
        };
    };
    auto create = [this] {
        ComPtr<IMAPIProp> item;
        if (FAILED(wab.CreateItem(work.c_str(), item.GetAddressOf())))
            return;
        SPropValue name = Text(PR_DISPLAY_NAME_W, L"Eve Evans");
        (void)wab.SetItemProp(item.Get(), &name);
        (void)item->SaveChanges(0);
    };
    auto readWrite = [this] {
        ULONG type = 0;
        ComPtr<IMAPIProp> item;
        ASSERT_EQ(S_OK, wab.OpenItem(carolId.c_str(), &type, item.GetAddressOf()));
        SPropValue* value = nullptr;
        if (wab.GetItemProps(item.Get(), PR_DISPLAY_NAME_W, &value) == S_OK)
            (void)wab.FreeBuffer(value);  // only what stays open counts here
        SPropValue phone = Text(PR_HOME_TELEPHONE_NUMBER_W, L"+1 555 0199");
        (void)wab.SetItemProp(item.Get(), &phone);
        (void)item->SaveChanges(0);
    };
    auto remove = [this](const std::string& id) { return [this, id] { (void)wab.DeleteItem(id.c_str()); }; };
    auto groups = [this] {
        std::vector<CWabGroup> list;
        (void)wab.GetGroups(pab.c_str(), &list);
    };
    auto replaceMember = [this] {
        (void)wab.ReplaceGroupMember(groupId.c_str(), aliceId.c_str(), bobId.c_str(), 0, nullptr);
    };

    const Case cases[] = {
        {"folders", nullptr, "", folders},
        {"folders, a folder not counted", "GetRowCount", work, folders},
        {"folders, no root table", "GetContentsTable", "ROOT", folders},
        {"folders, no rows", "QueryRows", "ROOT", folders},
        {"one folder", nullptr, "", folder},
        {"one folder, restriction refused", "Restrict", "ROOT", folder},
        {"contacts of a folder", nullptr, "", items(pab, false)},
        {"contacts of every folder", nullptr, "", items(pab, true)},
        {"contacts of an empty folder", nullptr, "", items(empty, false)},
        {"contacts of a contact", nullptr, "", items(aliceId, false)},
        {"contacts, columns refused", "SetColumns", work, items(work, false)},
        {"contacts, restriction refused", "Restrict", work, items(work, false)},
        {"contacts, no count", "GetRowCount", work, items(work, false)},
        {"contacts, no rows", "QueryRows", work, items(work, false)},
        {"rows sorted", nullptr, "", sortedItems},
        {"rows, sort refused", "SortTable", pab, sortedItems},
        {"folder of a contact", nullptr, "", findFolder(bobId)},
        {"folder of a contact, search fails", "QueryRows", work, findFolder(bobId)},
        {"a contact opened", nullptr, "", open(aliceId)},
        {"a group opened", nullptr, "", open(groupId)},
        {"a folder refused as an item", nullptr, "", open(work)},
        {"a contact created and saved", nullptr, "", create},
        {"a contact created, save fails", "SaveChanges", work, create},
        {"a contact created, write fails", "SetProps", "*", create},
        {"no template", "GetProps", work, create},
        {"no new entry", "CreateEntry", work, create},
        {"properties read and written", nullptr, "", readWrite},
        {"properties, read fails", "GetProps", carolId, readWrite},
        {"a contact deleted", nullptr, "", remove(carolId)},
        {"a contact not deleted", "DeleteEntries", aliceId, remove(aliceId)},
        {"groups listed", nullptr, "", groups},
        {"a group member replaced", nullptr, "", replaceMember},
        {"a group not saved", "SaveChanges", groupId, replaceMember},
        {"a group not read", "GetProps", groupId, groups},
        {"no personal address book opened", "OpenEntry", pab, remove(aliceId)},
    };
    wab.Close();
    ASSERT_EQ(0u, WabStandinLiveObjects());
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(wab.Init(false, store.c_str(), false));
        if (c.faultCall) {
            ASSERT_EQ(S_OK, WabStandinInjectFault(c.faultCall, c.faultEntry.c_str(), E_FAIL, 0));
        }
        c.run();
        WabStandinClearFaults();
        wab.Close();
        EXPECT_EQ(0u, WabStandinLiveObjects());
    }
    // Opening again closes the session it replaces.
    ASSERT_TRUE(wab.Init(false, store.c_str(), false));
    ASSERT_TRUE(wab.ReInit());
    EXPECT_EQ(2u, WabStandinLiveObjects());
    wab.Close();
    EXPECT_EQ(0u, WabStandinLiveObjects());
    EXPECT_EQ(S_OK, WabStandinCreateStore(store.c_str(), L"Contacts"));
}
