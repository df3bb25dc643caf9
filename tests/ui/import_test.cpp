// The import dialog as a real window over a scratch store: first use, remembered and preset
// target folders, a forgotten folder, OK following the typed source folder, the picker, the shell's
// folder browser, Help, an unknown stored mode, Cancel storing nothing, and Execute handing the
// choices to the run.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "common/text.h"
#include "contact/Contact.h"
#include "contact/ContactFields.h"
#include "dialogdriver.h"
#include "support/logcapture.h"
#include "support/storefile.h"
#include "ui/DlgImport.h"
#include "ui/DlgMapFields.h"
#include "ui/resource.h"
#include "vcard/import/vCardImport.h"
#include "wab/WABLib.h"

using namespace uitest;
using testsupport::PostClick;

namespace {

using testsupport::kQuillonKey;
const char* const kSettingsKey = kQuillonKey;

// A value as "sz:text" (with its stored terminator), "dword:N", or "" when absent.
std::string Stored(const char* name)
{
    return testsupport::DescribeRegValue(kSettingsKey, name);
}

std::string Z(const std::string& s) { return "sz:" + s + std::string(1, '\0'); }

// What the dialog shows, in one comparable line.
std::string Describe(HWND dialog)
{
    const int buttons[] = {IDC_IMPORT_DUPLICATE, IDC_IMPORT_REPLACE, IDC_IMPORT_LEAVE_OLD};
    std::string checked;
    for (int i = 0; i < 3; ++i)
        if (IsChecked(dialog, buttons[i]))
            checked += std::to_string(i);
    return "target=" + ItemText(dialog, IDC_IMPORT_TARGET) + " source=" + ItemText(dialog, IDC_IMPORT_SOURCE) +
           " mode=" + checked + " ok=" + std::to_string(IsEnabled(dialog, IDOK));
}

class ImportDialogTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        friends = book.AddFolder(L"Friends");
        cid = book.AddNamed(friends, L"Cid Poe");
        ASSERT_TRUE(book.Open());
        source = browsable.file("cards");
        ASSERT_TRUE(::CreateDirectoryA(source.c_str(), nullptr));
        other = browsable.file("other");
        ASSERT_TRUE(::CreateDirectoryA(other.c_str(), nullptr));
        log.Clear();
    }

    INT_PTR Run(CDlgImport& dialog, const std::function<void(HWND)>& check)
    {
        return RunDialog(dialog, "Import", check);
    }

    // Presses the source "..." button and waits for the browser; the browser must have been asked
    // to open on the folder the source field names.
    HWND OpenBrowser(HWND dialog)
    {
        const std::string typed = ItemText(dialog, IDC_IMPORT_SOURCE);
        CBrowserSelections asked(::GetWindowThreadProcessId(dialog, nullptr));
        EXPECT_TRUE(asked.Hooked());
        PostClick(dialog, IDC_IMPORT_BROWSE);
        HWND browser = WaitFolderBrowser(dialog, "Choose a folder for Import");
        EXPECT_NE(browser, nullptr) << "no folder browser titled \"Choose a folder for Import\" opened";
        EXPECT_EQ(asked.Paths(), std::vector<std::string>{typed}) << "the browser was not asked to open on the typed folder";
        return browser;
    }

    // Chooses a folder in the open browser and ends the browser with a button.
    void BrowseTo(HWND dialog, HWND browser, const std::string& folder, int button)
    {
        ASSERT_TRUE(ChooseInFolderBrowser(browser, folder)) << "the browser did not select " << folder;
        PostClick(browser, button);
        ASSERT_TRUE(Settle(dialog, browser)) << "the folder browser did not close";
    }

    testsupport::CTempDir dir;
    testsupport::CTempDir browsable{BrowsableParent()};  // the folders the browser shows
    CLogCapture log;
    testsupport::CClearedValues settings{kQuillonKey, testsupport::kImportSettings};
    testsupport::CScratchBook book;
    std::string contacts = book.pab(), friends, cid, source, other;
};

}  // namespace

TEST_F(ImportDialogTest, FirstUseShowsDefaultsAndOkFollowsTheTypedFolder)
{
    CDlgImport dialog("");
    INT_PTR result = Run(dialog, [&](HWND hwnd) {
        EXPECT_EQ(Describe(hwnd), "target= source= mode=0 ok=0");
        // A source folder alone is not enough: a target must be picked.
        SetItemText(hwnd, IDC_IMPORT_SOURCE, source);
        EXPECT_FALSE(IsEnabled(hwnd, IDOK));
        PostClick(hwnd, IDC_IMPORT_PICK);
        HWND picker = WaitDialog("Select Folder");
        ASSERT_NE(picker, nullptr) << "the picker did not open";
        EXPECT_FALSE(IsShown(picker, IDC_PICK_ALL_FOLDERS));
        HWND tree = ::GetDlgItem(picker, IDC_PICK_TREE);
        HTREEITEM item = FindTreeChild(tree, TreeView_GetRoot(tree), "Friends");
        ASSERT_NE(item, nullptr);
        TreeView_SelectItem(tree, item);
        PostClick(picker, IDOK);
        ASSERT_TRUE(Settle(hwnd, picker));
        EXPECT_EQ(Describe(hwnd), "target=Friends source=" + source + " mode=0 ok=1");
        SetItemText(hwnd, IDC_IMPORT_SOURCE, source + "\\missing");
        EXPECT_FALSE(IsEnabled(hwnd, IDOK));
        SetItemText(hwnd, IDC_IMPORT_SOURCE, source);
        EXPECT_TRUE(IsEnabled(hwnd, IDOK));
        ::SendMessageA(::GetDlgItem(hwnd, IDC_IMPORT_LEAVE_OLD), BM_CLICK, 0, 0);
        PostClick(hwnd, IDOK);
    });
    ASSERT_EQ(result, IDOK);
    EXPECT_EQ(dialog.TargetFolder(), friends);
    EXPECT_EQ(dialog.SourceFolder(), source);
    EXPECT_EQ(dialog.ConflictMode(), 2);
    EXPECT_EQ(Stored("Import.WABFolderID"), Z(friends));
    EXPECT_EQ(Stored("Import.WinFolder"), Z(source));
    EXPECT_EQ(Stored("Import.ConflictResolution"), "dword:2");
}

TEST_F(ImportDialogTest, APresetFolderWinsOverTheStoredOneAndIsStoredOnOk)
{
    ASSERT_TRUE(testsupport::SetRegString(HKEY_CURRENT_USER, kSettingsKey, "Import.WABFolderID", contacts));
    ASSERT_TRUE(testsupport::SetRegString(HKEY_CURRENT_USER, kSettingsKey, "Import.WinFolder", source));
    ASSERT_TRUE(testsupport::SetRegDword(HKEY_CURRENT_USER, kSettingsKey, "Import.ConflictResolution", 1));
    CDlgImport dialog(friends);
    INT_PTR result = Run(dialog, [&](HWND hwnd) {
        EXPECT_EQ(Describe(hwnd), "target=Friends source=" + source + " mode=1 ok=1");
        PostClick(hwnd, IDOK);
    });
    ASSERT_EQ(result, IDOK);
    EXPECT_EQ(Stored("Import.WABFolderID"), Z(friends));
    EXPECT_EQ(Stored("Import.ConflictResolution"), "dword:1");
}

TEST_F(ImportDialogTest, CancelAfterChangingEverythingStoresNothing)
{
    ASSERT_TRUE(testsupport::SetRegString(HKEY_CURRENT_USER, kSettingsKey, "Import.WABFolderID", contacts));
    ASSERT_TRUE(testsupport::SetRegString(HKEY_CURRENT_USER, kSettingsKey, "Import.WinFolder", source));
    CDlgImport dialog(friends);
    INT_PTR result = Run(dialog, [&](HWND hwnd) {
        SetItemText(hwnd, IDC_IMPORT_SOURCE, dir.path());
        ::SendMessageA(::GetDlgItem(hwnd, IDC_IMPORT_REPLACE), BM_CLICK, 0, 0);
        PostClick(hwnd, IDCANCEL);
    });
    EXPECT_EQ(result, IDCANCEL);
    EXPECT_EQ(Stored("Import.WABFolderID"), Z(contacts));
    EXPECT_EQ(Stored("Import.WinFolder"), Z(source));
    EXPECT_EQ(Stored("Import.ConflictResolution"), "");
}

TEST_F(ImportDialogTest, AForgottenFolderAndAnUnknownModeFallBack)
{
    ASSERT_TRUE(testsupport::SetRegString(HKEY_CURRENT_USER, kSettingsKey, "Import.WABFolderID",
                                          "00000000515753310300000063000000"));
    ASSERT_TRUE(testsupport::SetRegString(HKEY_CURRENT_USER, kSettingsKey, "Import.WinFolder", source));
    ASSERT_TRUE(testsupport::SetRegDword(HKEY_CURRENT_USER, kSettingsKey, "Import.ConflictResolution", 7));
    CDlgImport dialog("");
    Run(dialog, [&](HWND hwnd) {
        EXPECT_EQ(Describe(hwnd), "target= source=" + source + " mode=0 ok=0");
        PostClick(hwnd, IDCANCEL);
    });
    EXPECT_EQ(dialog.TargetFolder(), "");
    EXPECT_NE(std::string::npos, log.Lines().find("Err in CDlgImport::OnInitDialog: ASSERT failed in line "));
}

// The source "..." button: the browser is the dialog's own, is asked to open on the folder typed
// in the source field, and the folder chosen there lands in the field.
TEST_F(ImportDialogTest, SourceBrowserStartsOnTheTypedFolderAndFillsThePickedOne)
{
    CDlgImport dialog(friends);
    INT_PTR result = Run(dialog, [&](HWND hwnd) {
        SetItemText(hwnd, IDC_IMPORT_SOURCE, source);
        HWND browser = OpenBrowser(hwnd);
        ASSERT_NE(browser, nullptr);
        EXPECT_EQ(::GetWindow(browser, GW_OWNER), hwnd);
        EXPECT_FALSE(::IsWindowEnabled(hwnd)) << "the dialog stays usable while the browser is up";
        BrowseTo(hwnd, browser, other, IDOK);
        EXPECT_EQ(Describe(hwnd), "target=Friends source=" + other + " mode=0 ok=1");
        PostClick(hwnd, IDOK);
    });
    ASSERT_EQ(result, IDOK);
    EXPECT_EQ(dialog.SourceFolder(), other);
    EXPECT_EQ(Stored("Import.WinFolder"), Z(other));
}

TEST_F(ImportDialogTest, SourceBrowserCancelledLeavesTheFieldAsItWas)
{
    ASSERT_TRUE(testsupport::SetRegString(HKEY_CURRENT_USER, kSettingsKey, "Import.WinFolder", source));
    CDlgImport dialog(friends);
    INT_PTR result = Run(dialog, [&](HWND hwnd) {
        EXPECT_EQ(Describe(hwnd), "target=Friends source=" + source + " mode=0 ok=1");
        HWND browser = OpenBrowser(hwnd);
        ASSERT_NE(browser, nullptr);
        // Another folder chosen in the browser, then Cancel: nothing of it stays.
        BrowseTo(hwnd, browser, other, IDCANCEL);
        EXPECT_EQ(Describe(hwnd), "target=Friends source=" + source + " mode=0 ok=1");
        PostClick(hwnd, IDOK);
    });
    ASSERT_EQ(result, IDOK);
    EXPECT_EQ(dialog.SourceFolder(), source);
}

// OK follows the folder the browser gives as it follows a typed one: a folder that is gone by the
// time the browser closes disables it, an existing one enables it again.
TEST_F(ImportDialogTest, OkFollowsTheBrowsedFolder)
{
    const std::string gone = browsable.file("gone");
    ASSERT_TRUE(::CreateDirectoryA(gone.c_str(), nullptr));
    CDlgImport dialog(friends);
    INT_PTR result = Run(dialog, [&](HWND hwnd) {
        SetItemText(hwnd, IDC_IMPORT_SOURCE, source);
        EXPECT_TRUE(IsEnabled(hwnd, IDOK));
        HWND browser = OpenBrowser(hwnd);
        ASSERT_NE(browser, nullptr);
        ASSERT_TRUE(ChooseInFolderBrowser(browser, gone));
        ASSERT_TRUE(::RemoveDirectoryA(gone.c_str()));
        PostClick(browser, IDOK);
        ASSERT_TRUE(Settle(hwnd, browser)) << "the folder browser did not close";
        EXPECT_EQ(Describe(hwnd), "target=Friends source=" + gone + " mode=0 ok=0");

        // The folder is back, but OK waits for the next choice.
        ASSERT_TRUE(::CreateDirectoryA(gone.c_str(), nullptr));
        EXPECT_FALSE(IsEnabled(hwnd, IDOK));
        browser = OpenBrowser(hwnd);
        ASSERT_NE(browser, nullptr);
        BrowseTo(hwnd, browser, other, IDOK);
        EXPECT_EQ(Describe(hwnd), "target=Friends source=" + other + " mode=0 ok=1");
        PostClick(hwnd, IDCANCEL);
    });
    EXPECT_EQ(result, IDCANCEL);
    EXPECT_EQ(Stored("Import.WinFolder"), "");
}

// A longer text than a path can be is handed to the browser cut to 260 characters; Cancel
// leaves the field with all of it.
TEST_F(ImportDialogTest, SourceBrowserIsAskedForAtMost260CharactersOfTheField)
{
    const std::string typed = source + "\\" + std::string(300 - source.size() - 1, 'x');
    CDlgImport dialog(friends);
    INT_PTR result = Run(dialog, [&](HWND hwnd) {
        SetItemText(hwnd, IDC_IMPORT_SOURCE, typed);
        ASSERT_EQ(ItemText(hwnd, IDC_IMPORT_SOURCE).size(), 300u);
        CBrowserSelections asked(::GetWindowThreadProcessId(hwnd, nullptr));
        ASSERT_TRUE(asked.Hooked());
        PostClick(hwnd, IDC_IMPORT_BROWSE);
        HWND browser = WaitFolderBrowser(hwnd, "Choose a folder for Import");
        ASSERT_NE(browser, nullptr) << "the folder browser did not open";
        EXPECT_EQ(asked.Paths(), std::vector<std::string>{typed.substr(0, 260)});
        PostClick(browser, IDCANCEL);
        ASSERT_TRUE(Settle(hwnd, browser)) << "the folder browser did not close";
        EXPECT_EQ(ItemText(hwnd, IDC_IMPORT_SOURCE), typed);
        EXPECT_FALSE(IsEnabled(hwnd, IDOK));
        PostClick(hwnd, IDCANCEL);
    });
    EXPECT_EQ(result, IDCANCEL);
}

TEST_F(ImportDialogTest, HelpAsksTheSupportLibraryForTheImportTopic)
{
    CDlgImport dialog(friends);
    INT_PTR result = Run(dialog, [&](HWND hwnd) {
        ExpectHelpTopic(hwnd, IDC_HELP_BUTTON, "Import_vCard,_iCard_Files_to_Contacts_Folders.htm", dir.file("help.txt"));
        PostClick(hwnd, IDCANCEL);
    });
    EXPECT_EQ(result, IDCANCEL);
    for (const std::string& name : testsupport::kImportSettings)
        EXPECT_EQ(Stored(name.c_str()), "") << name;
}

TEST_F(ImportDialogTest, ExecuteRunsTheImportWithTheFolderOfTheSelection)
{
    ASSERT_TRUE(testsupport::WriteFileBytes(source + "\\new.vcf", "BEGIN:VCARD\r\nVERSION:2.1\r\nFN:Dee Fox\r\nEND:VCARD\r\n"));
    ASSERT_TRUE(testsupport::SetRegString(HKEY_CURRENT_USER, kSettingsKey, "Import.WinFolder", source));
    CSelectionList selection{cid};
    CvCardImport run;
    std::string summary;
    RunDriven([&] { return static_cast<INT_PTR>(run.Execute(nullptr, &selection)); },
              [&] {
                  HWND hwnd = WaitDialog("Import");
                  ASSERT_NE(hwnd, nullptr) << "the import dialog did not open";
                  EXPECT_EQ(Describe(hwnd), "target=Friends source=" + source + " mode=0 ok=1");
                  PostClick(hwnd, IDOK);
                  HWND box = WaitDialog("Quillon for Outlook Express");
                  ASSERT_NE(box, nullptr) << "no summary";
                  summary = testsupport::DialogStaticText(box);
                  PostClick(box, IDOK);
              });
    EXPECT_EQ(summary, "Import completed successfully.");
    WABItemList* list = nullptr;
    ASSERT_EQ(g_wabLib.GetItems(friends.c_str(), false, &list), S_OK);
    std::vector<std::string> names;
    for (ULONG i = 0; i < list->count; ++i)
        names.push_back(list->items[i].name ? list->items[i].name : "");
    CWABLib::FreeItems(list);
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"Cid Poe", "Dee Fox"}));
}

// A CSV file whose columns no program's set names (a German Outlook's): the run asks where they go
// in the Map Fields dialog, once, before it counts; the columns left out (or all of them, on
// Cancel) are not read, and the log says so.
TEST_F(ImportDialogTest, ExecuteAsksWhereUnknownCsvColumnsGo)
{
    const std::string german = "Vorname,Nachname,Firma,E-Mail-Adresse\r\nDee,Fox,Acme,dee@example.com\r\n"
                               "Eve,Ng,,eve@example.com\r\n";
    const struct {
        int button;
        std::vector<std::pair<std::string, std::string>> chosen;  // column, field
        const char* summary;
        std::vector<std::string> people;  // given name, surname, e-mail of each new contact
    } cases[] = {
        {IDOK,
         {{"Vorname", "First Name"}, {"Nachname", "Last Name"}, {"E-Mail-Adresse", "E-mail Address"}},
         "Import completed successfully.",
         {"Dee Fox dee@example.com", "Eve Ng eve@example.com"}},
        {IDCANCEL, {}, "Import failed.", {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.button);
        testsupport::DeleteTree(source);
        ASSERT_TRUE(::CreateDirectoryA(source.c_str(), nullptr));
        ASSERT_TRUE(testsupport::WriteFileBytes(source + "\\kontakte.csv", german));
        std::string target = book.AddFolder(c.button == IDOK ? L"Chosen" : L"Cancelled");
        ASSERT_TRUE(testsupport::SetRegString(HKEY_CURRENT_USER, kSettingsKey, "Import.WinFolder", source));
        ASSERT_TRUE(testsupport::SetRegString(HKEY_CURRENT_USER, kSettingsKey, "Import.WABFolderID", target));
        log.Clear();
        CvCardImport run;
        std::string summary;
        RunDriven([&] { return static_cast<INT_PTR>(run.Execute(nullptr, nullptr)); },
                  [&] {
                      HWND hwnd = WaitDialog("Import");
                      ASSERT_NE(hwnd, nullptr) << "the import dialog did not open";
                      PostClick(hwnd, IDOK);
                      HWND map = WaitDialog("Map Fields");
                      ASSERT_NE(map, nullptr) << "the Map Fields dialog did not open";
                      HWND list = ::GetDlgItem(map, IDC_MAP_COLUMNS);
                      HWND fields = ::GetDlgItem(map, IDC_MAP_FIELD);
                      ASSERT_EQ(4, ::SendMessageA(list, LB_GETCOUNT, 0, 0));
                      EXPECT_EQ("Dee", ItemText(map, IDC_MAP_SAMPLE));
                      for (const auto& choice : c.chosen) {
                          LRESULT column = ::SendMessageA(list, LB_FINDSTRINGEXACT, static_cast<WPARAM>(-1),
                                                          reinterpret_cast<LPARAM>(choice.first.c_str()));
                          LRESULT field = ::SendMessageA(fields, CB_FINDSTRINGEXACT, static_cast<WPARAM>(-1),
                                                         reinterpret_cast<LPARAM>(choice.second.c_str()));
                          ASSERT_GE(column, 0) << choice.first;
                          ASSERT_GT(field, 0) << choice.second;
                          ::SendMessageA(list, LB_SETCURSEL, static_cast<WPARAM>(column), 0);
                          ::SendMessageA(map, WM_COMMAND, MAKEWPARAM(IDC_MAP_COLUMNS, LBN_SELCHANGE),
                                         reinterpret_cast<LPARAM>(list));
                          EXPECT_EQ(0, ::SendMessageA(fields, CB_GETCURSEL, 0, 0)) << "a column starts left out";
                          ::SendMessageA(fields, CB_SETCURSEL, static_cast<WPARAM>(field), 0);
                          ::SendMessageA(map, WM_COMMAND, MAKEWPARAM(IDC_MAP_FIELD, CBN_SELCHANGE),
                                         reinterpret_cast<LPARAM>(fields));
                      }
                      PostClick(map, c.button);
                      HWND box = WaitDialog("Quillon for Outlook Express");
                      ASSERT_NE(box, nullptr) << "no summary";
                      summary = testsupport::DialogStaticText(box);
                      PostClick(box, IDOK);
                  });
        EXPECT_EQ(c.summary, summary);
        std::vector<std::string> people;
        for (const testsupport::COpenedItem& item : testsupport::OpenItems(target)) {
            CContact contact(item.entry.Get());
            CContactRecord r;
            contact_fields::ReadContact(contact, &r);
            people.push_back(common::ToUtf8(r.givenName + L" " + r.surname + L" " + r.emailAddress));
        }
        std::sort(people.begin(), people.end());
        EXPECT_EQ(c.people, people);
        const std::string lines = log.Lines();
        const char* expected = c.button == IDOK ? "column \"Firma\": 1 values of a column we do not know, not read"
                                                : "names no column of a contacts CSV we know";
        EXPECT_NE(std::string::npos, lines.find(expected)) << lines;
    }
}
