// The folder picker as a real window over a scratch store of the stand-in address book: the
// order of the tree, the preset selection, OK's two refusals, "All Folders", Refresh, the hint
// button's two versions and a folder list that cannot be read.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "dialogdriver.h"
#include "support/logcapture.h"
#include "support/storefile.h"
#include "ui/DlgPickFolder.h"
#include "ui/resource.h"
#include "wab/WABLib.h"

using namespace uitest;
using Strings = std::vector<std::string>;

namespace {

int Version5() { return 5; }
int Version6() { return 6; }
int Version10() { return 10; }

class PickerTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        mike = book.AddFolder(L"Mike");
        alpha = book.AddFolder(L"Alpha");
        kilo = book.AddFolder(L"Kilo");
        ASSERT_TRUE(book.Open());
        log.Clear();
    }

    static HWND Tree(HWND dialog) { return ::GetDlgItem(dialog, IDC_PICK_TREE); }
    static HTREEITEM Root(HWND dialog) { return TreeView_GetRoot(Tree(dialog)); }
    static Strings Folders(HWND dialog) { return TreeChildren(Tree(dialog), Root(dialog)); }
    static std::string Selected(HWND dialog)
    {
        return TreeItemText(Tree(dialog), TreeView_GetSelection(Tree(dialog)));
    }
    static void Select(HWND dialog, const std::string& name)
    {
        if (name.empty()) {
            TreeView_SelectItem(Tree(dialog), nullptr);
            return;
        }
        HTREEITEM item = name == "Address Book" ? Root(dialog) : FindTreeChild(Tree(dialog), Root(dialog), name);
        ASSERT_NE(item, nullptr) << name;
        TreeView_SelectItem(Tree(dialog), item);
    }

    CLogCapture log;
    // The address book lists its first folder first and the others in the order they were made.
    testsupport::CScratchBook book{g_wabLib, L"Zeta"};
    std::string zeta = book.pab(), mike, alpha, kilo;
};

}  // namespace

TEST_F(PickerTest, FirstFolderOnTopOthersSortedPresetSelectedAndOkGivesIt)
{
    CDlgPickFolder picker(kilo.c_str(), false, false);
    INT_PTR result = RunDialog(picker, "Select Folder", [&](HWND dialog) {
        EXPECT_EQ(TreeItemText(Tree(dialog), Root(dialog)), "Address Book");
        EXPECT_EQ(Folders(dialog), (Strings{"Zeta", "Alpha", "Kilo", "Mike"}));
        EXPECT_EQ(Selected(dialog), "Kilo");
        EXPECT_FALSE(IsShown(dialog, IDC_PICK_ALL_FOLDERS));
        EXPECT_TRUE(IsEnabled(dialog, IDC_PICK_TREE));
        Select(dialog, "Alpha");
        testsupport::PostClick(dialog, IDOK);
    });
    EXPECT_EQ(result, IDOK);
    EXPECT_EQ(picker.SelectedId(), alpha);
    EXPECT_EQ(picker.SelectedName(), "Alpha");
    EXPECT_FALSE(picker.AllFoldersChosen());
}

// A preset that names no folder selects no folder (the tree itself puts its selection on the root
// when it gets the focus).
TEST_F(PickerTest, UnknownOrEmptyPresetSelectsNoFolder)
{
    for (const std::string& preset : {std::string("00112233"), std::string(zeta, 0, zeta.size() - 2), std::string()}) {
        CDlgPickFolder picker(preset.c_str(), false, false);
        INT_PTR result = RunDialog(picker, "Select Folder", [&](HWND dialog) {
            std::string selected = Selected(dialog);
            EXPECT_TRUE(selected == "" || selected == "Address Book") << preset;
            testsupport::PostClick(dialog, IDCANCEL);
        });
        EXPECT_EQ(result, IDCANCEL);
    }
}

TEST_F(PickerTest, OkRefusesNoSelectionAndTheRootThenAcceptsAFolder)
{
    CDlgPickFolder picker(nullptr, false, false);
    INT_PTR result = RunDialog(picker, "Select Folder", [&](HWND dialog) {
        const struct {
            const char* select;
            const char* message;
        } refusals[] = {{"", "Please select a folder"}, {"Address Book", "Please select a different folder"}};
        // The tree control selects its top item whenever it gains the focus without a
        // selection (as when the picker becomes active again after another program's window
        // was): the focus goes to a button first, so that no selection comes back by itself.
        ::SendMessageA(dialog, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(::GetDlgItem(dialog, IDC_PICK_REFRESH)),
                       TRUE);
        for (const auto& r : refusals) {
            Select(dialog, r.select);
            testsupport::PostClick(dialog, IDOK);
            ASSERT_TRUE(AnswerBox("Quillon", r.message)) << "no message box: " << r.message;
            EXPECT_TRUE(::IsWindowVisible(dialog)) << "the picker closed after: " << r.message;
        }
        Select(dialog, "Zeta");
        testsupport::PostClick(dialog, IDOK);
    });
    EXPECT_EQ(result, IDOK);
    EXPECT_EQ(picker.SelectedId(), zeta);
    EXPECT_EQ(picker.SelectedName(), "Zeta");
}

TEST_F(PickerTest, AllFoldersCheckedDisablesTheTreeAndOkNeedsNoSelection)
{
    CDlgPickFolder picker(nullptr, true, true);
    INT_PTR result = RunDialog(picker, "Select Folder", [&](HWND dialog) {
        EXPECT_TRUE(IsShown(dialog, IDC_PICK_ALL_FOLDERS));
        EXPECT_TRUE(IsChecked(dialog, IDC_PICK_ALL_FOLDERS));
        EXPECT_FALSE(IsEnabled(dialog, IDC_PICK_TREE));
        // The box toggles the tree both ways.
        ::SendMessageA(::GetDlgItem(dialog, IDC_PICK_ALL_FOLDERS), BM_CLICK, 0, 0);
        EXPECT_FALSE(IsChecked(dialog, IDC_PICK_ALL_FOLDERS));
        EXPECT_TRUE(IsEnabled(dialog, IDC_PICK_TREE));
        ::SendMessageA(::GetDlgItem(dialog, IDC_PICK_ALL_FOLDERS), BM_CLICK, 0, 0);
        EXPECT_FALSE(IsEnabled(dialog, IDC_PICK_TREE));
        testsupport::PostClick(dialog, IDOK);
    });
    EXPECT_EQ(result, IDOK);
    EXPECT_TRUE(picker.AllFoldersChosen());
    EXPECT_EQ(picker.SelectedId(), "");
    EXPECT_EQ(picker.SelectedName(), "");
}

// With all folders allowed but the box left unchecked, the picked folder is the answer; with the
// box checked and a folder selected, the folder comes back too.
TEST_F(PickerTest, AllFoldersAllowedButUncheckedPicksAFolder)
{
    const struct {
        bool check;
    } cases[] = {{false}, {true}};
    for (const auto& c : cases) {
        CDlgPickFolder picker(mike.c_str(), true, false);
        INT_PTR result = RunDialog(picker, "Select Folder", [&](HWND dialog) {
            EXPECT_FALSE(IsChecked(dialog, IDC_PICK_ALL_FOLDERS));
            EXPECT_TRUE(IsEnabled(dialog, IDC_PICK_TREE));
            if (c.check)
                ::SendMessageA(::GetDlgItem(dialog, IDC_PICK_ALL_FOLDERS), BM_CLICK, 0, 0);
            testsupport::PostClick(dialog, IDOK);
        });
        EXPECT_EQ(result, IDOK);
        EXPECT_EQ(picker.AllFoldersChosen(), c.check);
        EXPECT_EQ(picker.SelectedId(), mike);
        EXPECT_EQ(picker.SelectedName(), "Mike");
    }
}

TEST_F(PickerTest, RefreshShowsNewFoldersAndKeepsTheSelection)
{
    CDlgPickFolder picker(nullptr, false, false);
    std::string bravo;
    INT_PTR result = RunDialog(picker, "Select Folder", [&](HWND dialog) {
        Select(dialog, "Mike");
        bravo = book.AddFolder(L"Bravo");
        EXPECT_EQ(Folders(dialog), (Strings{"Zeta", "Alpha", "Kilo", "Mike"}));
        Click(dialog, IDC_PICK_REFRESH);
        EXPECT_EQ(Folders(dialog), (Strings{"Zeta", "Alpha", "Bravo", "Kilo", "Mike"}));
        EXPECT_EQ(Selected(dialog), "Mike");
        // The root selected: no folder to keep. The tree control itself
        // selects its top item when it gains the focus without a
        // selection, so the root may come back selected; no folder may.
        Select(dialog, "Address Book");
        Click(dialog, IDC_PICK_REFRESH);
        const std::string afterRoot = Selected(dialog);
        EXPECT_TRUE(afterRoot.empty() || afterRoot == "Address Book") << afterRoot;
        Select(dialog, "Bravo");
        testsupport::PostClick(dialog, IDOK);
    });
    EXPECT_EQ(result, IDOK);
    EXPECT_EQ(picker.SelectedId(), bravo);
    EXPECT_TRUE(g_wabLib.IsOpen());
}

TEST_F(PickerTest, HintButtonDependsOnTheSystemVersion)
{
    const struct {
        CDlgPickFolder::MajorVersionFn version;
        bool shown;
        const char* text;
    } cases[] = {
        {Version5, true, "To create a new Contacts folder go to Address Book and select 'New'>'New Folder'."},
        {Version6, false, "To create a new Contacts folder right-click the 'Contacts' button and select 'New'>'New Folder'"},
        {Version10, false, "To create a new Contacts folder right-click the 'Contacts' button and select 'New'>'New Folder'"},
    };
    for (const auto& c : cases) {
        CDlgPickFolder picker(nullptr, false, false);
        picker.SetMajorVersionSource(c.version);
        RunDialog(picker, "Select Folder", [&](HWND dialog) {
            EXPECT_EQ(IsShown(dialog, IDC_PICK_HINT), c.shown) << c.version();
            EXPECT_EQ(ItemText(dialog, IDC_PICK_HINT), "How to create a new folder...");
            testsupport::PostClick(dialog, IDC_PICK_HINT);
            ASSERT_TRUE(AnswerBox("Quillon", c.text)) << "no message box: " << c.text;
            testsupport::PostClick(dialog, IDCANCEL);
        });
    }
}

TEST_F(PickerTest, UnreadableFolderListLeavesTheTreeEmpty)
{
    ASSERT_EQ(S_OK, WabStandinInjectFault("GetContentsTable", "ROOT", E_FAIL, 0));
    CDlgPickFolder picker(zeta.c_str(), false, false);
    INT_PTR result = RunDialog(picker, "Select Folder", [&](HWND dialog) {
        EXPECT_EQ(Root(dialog), nullptr);
        testsupport::PostClick(dialog, IDOK);
        ASSERT_TRUE(AnswerBox("Quillon", "Please select a folder"));
        testsupport::PostClick(dialog, IDCANCEL);
    });
    EXPECT_EQ(result, IDCANCEL);
    EXPECT_NE(log.Lines().find("Err[0x80004005] in CWABLib::_GetFolders: Open Root Container"), std::string::npos)
        << log.Lines();
}
