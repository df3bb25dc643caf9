// The export dialog as a real window over a scratch store: first start, restored and mistyped
// settings, the selection cases with the picker, OK following the typed target folder, the shell's
// folder browser, Help, and the export command handing the choices to the run.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>


#include "base/Settings.h"
#include "contact/CharConverter.h"
#include "dialogdriver.h"
#include "support/logcapture.h"
#include "support/storefile.h"
#include "ui/DlgExport.h"
#include "ui/resource.h"
#include "vcard/export/vCardExport.h"
#include "wab/WABLib.h"

using namespace uitest;
using testsupport::PostClick;
using Strings = std::vector<std::string>;

namespace {

using testsupport::kQuillonKey;
const char* const kSettingsKey = kQuillonKey;
const char kEncodings[] =
    "Unicode (UTF-8)|UTF-8|65001\r\n"
    "Western European (Windows)|windows-1252|1252\r\n"
    "Cyrillic (Windows)|windows-1251|1251\r\n";

bool SetRaw(const char* name, DWORD type, const void* data, DWORD size)
{
    common::CRegKey key;
    return ::RegCreateKeyExA(HKEY_CURRENT_USER, kSettingsKey, 0, nullptr, 0, KEY_WRITE, nullptr, key.put(),
                             nullptr) == ERROR_SUCCESS &&
           ::RegSetValueExA(key.get(), name, 0, type, static_cast<const BYTE*>(data), size) == ERROR_SUCCESS;
}

// A value as "type:text" (REG_SZ as "sz:...", REG_DWORD as "dword:N"), or "" when absent.
std::string Stored(const char* name)
{
    return testsupport::DescribeRegValue(kSettingsKey, name);
}

Strings ComboItems(HWND dialog, int id)
{
    Strings out;
    HWND combo = ::GetDlgItem(dialog, id);
    int count = static_cast<int>(::SendMessageA(combo, CB_GETCOUNT, 0, 0));
    for (int i = 0; i < count; ++i) {
        char text[256] = "";
        ::SendMessageA(combo, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(text));
        out.push_back(text);
    }
    return out;
}

std::string ComboSelection(HWND dialog, int id)
{
    HWND combo = ::GetDlgItem(dialog, id);
    int sel = static_cast<int>(::SendMessageA(combo, CB_GETCURSEL, 0, 0));
    if (sel < 0)
        return "<none>";
    char text[256] = "";
    ::SendMessageA(combo, CB_GETLBTEXT, sel, reinterpret_cast<LPARAM>(text));
    return text;
}

// What the dialog shows, in one comparable line per control.
struct Shown {
    std::string source, target, format, encoding;
    bool oneFile, selectedOnly, selectedOnlyEnabled, okEnabled;
};

Shown Read(HWND dialog)
{
    return {ItemText(dialog, IDC_EXPORT_SOURCE), ItemText(dialog, IDC_EXPORT_TARGET),
            ComboSelection(dialog, IDC_EXPORT_FORMAT), ComboSelection(dialog, IDC_EXPORT_ENCODING),
            IsChecked(dialog, IDC_EXPORT_ONE_FILE), IsChecked(dialog, IDC_EXPORT_SELECTED_ONLY),
            IsEnabled(dialog, IDC_EXPORT_SELECTED_ONLY), IsEnabled(dialog, IDOK)};
}

std::string Describe(const Shown& s)
{
    return "source=" + s.source + " target=" + s.target + " format=" + s.format + " encoding=" + s.encoding +
           " oneFile=" + std::to_string(s.oneFile) + " selectedOnly=" + std::to_string(s.selectedOnly) +
           (s.selectedOnlyEnabled ? "(enabled)" : "(disabled)") + " ok=" + std::to_string(s.okEnabled);
}

class ExportDialogTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        friends = book.AddFolder(L"Friends");
        book.AddNamed(contacts, L"Ann Lee");
        book.AddNamed(contacts, L"Ben Roe");
        cid = book.AddNamed(friends, L"Cid Poe");
        dee = book.AddNamed(friends, L"Dee Fox");
        ASSERT_TRUE(book.Open());

        target = browsable.file("out");
        ASSERT_TRUE(::CreateDirectoryA(target.c_str(), nullptr));
        other = browsable.file("other");
        ASSERT_TRUE(::CreateDirectoryA(other.c_str(), nullptr));
        ASSERT_TRUE(testsupport::WriteFileBytes(dir.file("enc.txt"), kEncodings));
        ASSERT_EQ(3u, g_charConverter.LoadFrom(dir.file("enc.txt").c_str(), nullptr));
        log.Clear();
    }
    // Opens the dialog, lets check() look at it and drive it, and returns the dialog's result.
    INT_PTR Run(CDlgExport& dialog, const std::function<void(HWND)>& check)
    {
        return RunDialog(dialog, "Export", check);
    }

    // Runs the picker from the source "..." button and picks a folder there (or all folders).
    void PickSource(HWND dialog, const std::string& folder, bool allFolders = false)
    {
        PostClick(dialog, IDC_EXPORT_PICK);
        HWND picker = WaitDialog("Select Folder");
        ASSERT_NE(picker, nullptr) << "the picker did not open";
        HWND tree = ::GetDlgItem(picker, IDC_PICK_TREE);
        if (!folder.empty()) {
            HTREEITEM item = FindTreeChild(tree, TreeView_GetRoot(tree), folder);
            ASSERT_NE(item, nullptr) << folder;
            TreeView_SelectItem(tree, item);
        }
        if (allFolders != IsChecked(picker, IDC_PICK_ALL_FOLDERS))
            ::SendMessageA(::GetDlgItem(picker, IDC_PICK_ALL_FOLDERS), BM_CLICK, 0, 0);
        PostClick(picker, IDOK);
        ASSERT_TRUE(Settle(dialog, picker)) << "the picker did not close";
    }

    testsupport::CTempDir dir;
    testsupport::CTempDir browsable{BrowsableParent()};  // the folders the browser shows
    CLogCapture log;
    testsupport::CClearedValues settings{kQuillonKey, testsupport::kExportSettings};
    testsupport::CScratchBook book;
    std::string contacts = book.pab(), friends, cid, dee, target, other;
};

}  // namespace

TEST_F(ExportDialogTest, FirstStartShowsDefaultsAndCancelStoresNothing)
{
    CDlgExport dialog(nullptr, 0);
    INT_PTR result = Run(dialog, [&](HWND hwnd) {
        EXPECT_EQ(ComboItems(hwnd, IDC_EXPORT_FORMAT),
                  (Strings{"vCard 2.1", "vCard 3.0", "CSV (comma separated values)"}));
        EXPECT_EQ(ComboItems(hwnd, IDC_EXPORT_ENCODING),
                  (Strings{"Unicode (UTF-8)", "Western European (Windows)", "Cyrillic (Windows)"}));
        EXPECT_EQ(Describe(Read(hwnd)),
                  "source= target= format=vCard 2.1 encoding=Unicode (UTF-8) oneFile=0 selectedOnly=0(disabled) ok=0");
        // A target alone is no source: OK stays off.
        SetItemText(hwnd, IDC_EXPORT_TARGET, target);
        EXPECT_FALSE(IsEnabled(hwnd, IDOK));
        PostClick(hwnd, IDCANCEL);
    });
    EXPECT_EQ(result, IDCANCEL);
    for (const std::string& name : testsupport::kExportSettings)
        EXPECT_EQ(Stored(name.c_str()), "") << name;
}

TEST_F(ExportDialogTest, StoredSettingsAreShownAndOkWritesThemBackTyped)
{
    ASSERT_TRUE(testsupport::SetRegString(HKEY_CURRENT_USER, kSettingsKey, "Export.WABFolderID", friends));
    ASSERT_TRUE(testsupport::SetRegDword(HKEY_CURRENT_USER, kSettingsKey, "Export.WABAllFolders", 0));
    ASSERT_TRUE(testsupport::SetRegString(HKEY_CURRENT_USER, kSettingsKey, "Export.WinFolder", target));
    ASSERT_TRUE(testsupport::SetRegDword(HKEY_CURRENT_USER, kSettingsKey, "Export.Format", 1));
    ASSERT_TRUE(testsupport::SetRegString(HKEY_CURRENT_USER, kSettingsKey, "Export.Encoding", "Cyrillic (Windows)"));
    ASSERT_TRUE(testsupport::SetRegDword(HKEY_CURRENT_USER, kSettingsKey, "Export.SaveInOneFile", 5));

    CDlgExport dialog(nullptr, 0);
    INT_PTR result = Run(dialog, [&](HWND hwnd) {
        EXPECT_EQ(Describe(Read(hwnd)), "source=Friends target=" + target +
                                            " format=vCard 3.0 encoding=Cyrillic (Windows) oneFile=1 "
                                            "selectedOnly=0(disabled) ok=1");
        // Change some choices, then confirm.
        SetItemText(hwnd, IDC_EXPORT_TARGET, other);
        ::SendMessageA(::GetDlgItem(hwnd, IDC_EXPORT_FORMAT), CB_SETCURSEL, 0, 0);
        ::SendMessageA(::GetDlgItem(hwnd, IDC_EXPORT_ENCODING), CB_SETCURSEL, 1, 0);
        ::SendMessageA(::GetDlgItem(hwnd, IDC_EXPORT_ONE_FILE), BM_CLICK, 0, 0);
        PostClick(hwnd, IDOK);
    });
    ASSERT_EQ(result, IDOK);
    EXPECT_EQ(dialog.FolderId(), friends);
    EXPECT_FALSE(dialog.AllFolders());
    EXPECT_EQ(dialog.TargetFolder(), other);
    EXPECT_EQ(dialog.FormatIndex(), 0);
    EXPECT_EQ(dialog.EncodingName(), "Western European (Windows)");
    EXPECT_FALSE(dialog.OneFile());
    EXPECT_FALSE(dialog.SelectedOnly());
    // Strings with their terminating zero, flags as 0 or 1.
    EXPECT_EQ(Stored("Export.WABFolderID"), "sz:" + friends + std::string(1, '\0'));
    EXPECT_EQ(Stored("Export.WABAllFolders"), "dword:0");
    EXPECT_EQ(Stored("Export.WinFolder"), "sz:" + other + std::string(1, '\0'));
    EXPECT_EQ(Stored("Export.Format"), "dword:0");
    EXPECT_EQ(Stored("Export.Encoding"), "sz:Western European (Windows)" + std::string(1, '\0'));
    EXPECT_EQ(Stored("Export.SaveInOneFile"), "dword:0");
}

// Every value stored with a type the dialog does not take counts as missing.
TEST_F(ExportDialogTest, MistypedValuesGiveTheDefaults)
{
    DWORD one = 1;
    ULONGLONG wide = 1;
    ASSERT_TRUE(SetRaw("Export.WABFolderID", REG_DWORD, &one, 4));
    ASSERT_TRUE(SetRaw("Export.WABAllFolders", REG_SZ, "1", 2));
    ASSERT_TRUE(SetRaw("Export.WinFolder", REG_BINARY, target.c_str(), static_cast<DWORD>(target.size() + 1)));
    ASSERT_TRUE(SetRaw("Export.Format", REG_BINARY, &one, 4));
    ASSERT_TRUE(SetRaw("Export.Encoding", REG_MULTI_SZ, "Cyrillic (Windows)\0", 20));
    ASSERT_TRUE(SetRaw("Export.SaveInOneFile", REG_QWORD, &wide, 8));

    CDlgExport dialog(nullptr, 0);
    Run(dialog, [&](HWND hwnd) {
        EXPECT_EQ(Describe(Read(hwnd)),
                  "source= target= format=vCard 2.1 encoding=Unicode (UTF-8) oneFile=0 selectedOnly=0(disabled) ok=0");
        PostClick(hwnd, IDCANCEL);
    });
}

// An expandable string is taken as stored; all folders shows "<All Folders>"; a format or an
// encoding the lists do not have shows their first entry.
TEST_F(ExportDialogTest, ExpandableStringAllFoldersAndUnknownChoices)
{
    ASSERT_TRUE(testsupport::SetRegString(HKEY_CURRENT_USER, kSettingsKey, "Export.WinFolder", "%TEMP%\\out",
                                          REG_EXPAND_SZ));
    ASSERT_TRUE(testsupport::SetRegString(HKEY_CURRENT_USER, kSettingsKey, "Export.WABFolderID", friends));
    ASSERT_TRUE(testsupport::SetRegDword(HKEY_CURRENT_USER, kSettingsKey, "Export.WABAllFolders", 1));
    ASSERT_TRUE(testsupport::SetRegDword(HKEY_CURRENT_USER, kSettingsKey, "Export.Format", 7));
    ASSERT_TRUE(testsupport::SetRegString(HKEY_CURRENT_USER, kSettingsKey, "Export.Encoding", "cyrillic (windows)"));

    CDlgExport dialog(nullptr, 0);
    INT_PTR result = Run(dialog, [&](HWND hwnd) {
        EXPECT_EQ(Describe(Read(hwnd)), "source=<All Folders> target=%TEMP%\\out format=vCard 2.1 "
                                        "encoding=Unicode (UTF-8) oneFile=0 selectedOnly=0(disabled) ok=0");
        SetItemText(hwnd, IDC_EXPORT_TARGET, target);
        EXPECT_TRUE(IsEnabled(hwnd, IDOK));
        PostClick(hwnd, IDOK);
    });
    ASSERT_EQ(result, IDOK);
    EXPECT_TRUE(dialog.AllFolders());
    EXPECT_EQ(dialog.FolderId(), friends);  // kept, though the run gets none
    EXPECT_EQ(Stored("Export.Format"), "dword:0");
    EXPECT_EQ(Stored("Export.WABAllFolders"), "dword:1");
}

TEST_F(ExportDialogTest, StoredFolderThatNoLongerExistsIsDropped)
{
    ASSERT_TRUE(testsupport::SetRegString(HKEY_CURRENT_USER, kSettingsKey, "Export.WABFolderID",
                                          "00000000515753310400000099000000"));
    ASSERT_TRUE(testsupport::SetRegString(HKEY_CURRENT_USER, kSettingsKey, "Export.WinFolder", target));
    CDlgExport dialog(nullptr, 0);
    Run(dialog, [&](HWND hwnd) {
        EXPECT_EQ(ItemText(hwnd, IDC_EXPORT_SOURCE), "");
        EXPECT_FALSE(IsEnabled(hwnd, IDOK));
        PickSource(hwnd, "Contacts");
        EXPECT_EQ(ItemText(hwnd, IDC_EXPORT_SOURCE), "Contacts");
        EXPECT_TRUE(IsEnabled(hwnd, IDOK));
        PostClick(hwnd, IDOK);
    });
    EXPECT_EQ(dialog.FolderId(), contacts);
}

TEST_F(ExportDialogTest, SelectionOfSeveralContactsFollowsTheChosenFolder)
{
    CDlgExport dialog(friends.c_str(), 2);
    INT_PTR result = Run(dialog, [&](HWND hwnd) {
        Shown s = Read(hwnd);
        EXPECT_EQ(s.source, "Friends");
        EXPECT_TRUE(s.selectedOnly);
        EXPECT_TRUE(s.selectedOnlyEnabled);
        PickSource(hwnd, "Contacts");
        s = Read(hwnd);
        EXPECT_EQ(s.source, "Contacts");
        EXPECT_FALSE(s.selectedOnly);
        EXPECT_FALSE(s.selectedOnlyEnabled);
        PickSource(hwnd, "Friends");
        s = Read(hwnd);
        EXPECT_FALSE(s.selectedOnly);
        EXPECT_TRUE(s.selectedOnlyEnabled);
        ::SendMessageA(::GetDlgItem(hwnd, IDC_EXPORT_SELECTED_ONLY), BM_CLICK, 0, 0);
        // All folders is no selection's folder either.
        PickSource(hwnd, "", true);
        s = Read(hwnd);
        EXPECT_EQ(s.source, "<All Folders>");
        EXPECT_FALSE(s.selectedOnly);
        EXPECT_FALSE(s.selectedOnlyEnabled);
        PickSource(hwnd, "Friends", false);
        EXPECT_TRUE(IsEnabled(hwnd, IDC_EXPORT_SELECTED_ONLY));
        ::SendMessageA(::GetDlgItem(hwnd, IDC_EXPORT_SELECTED_ONLY), BM_CLICK, 0, 0);
        SetItemText(hwnd, IDC_EXPORT_TARGET, target);
        PostClick(hwnd, IDOK);
    });
    ASSERT_EQ(result, IDOK);
    EXPECT_TRUE(dialog.SelectedOnly());
    EXPECT_FALSE(dialog.AllFolders());
    EXPECT_EQ(dialog.FolderId(), friends);
}

TEST_F(ExportDialogTest, SingleSelectedContactOpensWithItsFolderUnchecked)
{
    ASSERT_TRUE(testsupport::SetRegDword(HKEY_CURRENT_USER, kSettingsKey, "Export.WABAllFolders", 1));
    CDlgExport dialog(friends.c_str(), 1);
    Run(dialog, [&](HWND hwnd) {
        Shown s = Read(hwnd);
        EXPECT_EQ(s.source, "Friends");  // the selection overrides the stored all folders
        EXPECT_FALSE(s.selectedOnly);
        EXPECT_TRUE(s.selectedOnlyEnabled);
        PostClick(hwnd, IDCANCEL);
    });
}

// A selection whose folder is unknown exports the selected contacts themselves: OK only needs a
// target folder, and follows the text as it is typed.
TEST_F(ExportDialogTest, SelectionWithUnknownFolderAndTypedTarget)
{
    ASSERT_TRUE(testsupport::SetRegString(HKEY_CURRENT_USER, kSettingsKey, "Export.WABFolderID", friends));
    CDlgExport dialog(nullptr, 3);
    INT_PTR result = Run(dialog, [&](HWND hwnd) {
        Shown s = Read(hwnd);
        EXPECT_EQ(s.source, "");
        EXPECT_TRUE(s.selectedOnly);
        EXPECT_TRUE(s.selectedOnlyEnabled);
        EXPECT_FALSE(s.okEnabled);
        const struct {
            std::string text;
            bool ok;
        } typed[] = {{target.substr(0, target.size() - 1), false}, {target, true}, {target + "\\nothing", false},
                     {"", false}, {target + "\\", true}, {dir.file("enc.txt"), false}, {other, true}};
        for (const auto& t : typed) {
            SetItemText(hwnd, IDC_EXPORT_TARGET, t.text);
            EXPECT_EQ(IsEnabled(hwnd, IDOK), t.ok) << "typed: " << t.text;
        }
        // Unchecking the box leaves no source.
        ::SendMessageA(::GetDlgItem(hwnd, IDC_EXPORT_SELECTED_ONLY), BM_CLICK, 0, 0);
        EXPECT_FALSE(IsEnabled(hwnd, IDOK));
        ::SendMessageA(::GetDlgItem(hwnd, IDC_EXPORT_SELECTED_ONLY), BM_CLICK, 0, 0);
        EXPECT_TRUE(IsEnabled(hwnd, IDOK));
        PostClick(hwnd, IDOK);
    });
    ASSERT_EQ(result, IDOK);
    EXPECT_TRUE(dialog.SelectedOnly());
    EXPECT_EQ(dialog.FolderId(), "");
    EXPECT_EQ(dialog.TargetFolder(), other);
}

TEST_F(ExportDialogTest, TargetBrowserStartsOnTheTypedFolderAndFillsThePickedOne)
{
    ASSERT_TRUE(testsupport::SetRegString(HKEY_CURRENT_USER, kSettingsKey, "Export.WABFolderID", friends));
    CDlgExport dialog(nullptr, 0);
    Run(dialog, [&](HWND hwnd) {
        SetItemText(hwnd, IDC_EXPORT_TARGET, target);
        CBrowserSelections asked(::GetWindowThreadProcessId(hwnd, nullptr));
        ASSERT_TRUE(asked.Hooked());
        PostClick(hwnd, IDC_EXPORT_BROWSE);
        HWND browser = WaitFolderBrowser(hwnd, "Choose a folder for Export");
        ASSERT_NE(browser, nullptr) << "no folder browser titled \"Choose a folder for Export\" opened";
        EXPECT_EQ(asked.Paths(), Strings{target}) << "the browser was not asked to open on the typed folder";
        EXPECT_EQ(::GetWindow(browser, GW_OWNER), hwnd);
        ASSERT_TRUE(ChooseInFolderBrowser(browser, other)) << "the browser did not select " << other;
        PostClick(browser, IDOK);
        ASSERT_TRUE(Settle(hwnd, browser)) << "the folder browser did not close";
        EXPECT_EQ(ItemText(hwnd, IDC_EXPORT_TARGET), other);
        EXPECT_TRUE(IsEnabled(hwnd, IDOK));
        PostClick(hwnd, IDCANCEL);
    });
}

TEST_F(ExportDialogTest, HelpAsksTheSupportLibraryForTheExportTopic)
{
    CDlgExport dialog(nullptr, 0);
    INT_PTR result = Run(dialog, [&](HWND hwnd) {
        ExpectHelpTopic(hwnd, IDC_HELP_BUTTON, "Working_with_Marrow/Export_Outlook_contacts.htm", dir.file("help.txt"));
        PostClick(hwnd, IDCANCEL);
    });
    EXPECT_EQ(result, IDCANCEL);
}

// The export command: the first selected contact's folder opens the dialog, and OK hands the
// choices to the run, which writes the files and reports the outcome.
TEST_F(ExportDialogTest, ExportCommandRunsTheSelectedContactsOnOk)
{
    CSelectionList selection = {dee, cid};
    CvCardExport run;
    int result = 0;
    RunDriven(
        [&] {
            result = run.RunExport(nullptr, &selection);
            return 0;
        },
        [&] {
            HWND hwnd = WaitDialog("Export");
            ASSERT_NE(hwnd, nullptr);
            EXPECT_EQ(ItemText(hwnd, IDC_EXPORT_SOURCE), "Friends");
            EXPECT_TRUE(IsChecked(hwnd, IDC_EXPORT_SELECTED_ONLY));
            SetItemText(hwnd, IDC_EXPORT_TARGET, target);
            PostClick(hwnd, IDOK);
            HWND box = WaitDialog("Quillon for Outlook Express", "Export completed successfully.");
            ASSERT_NE(box, nullptr) << "no closing message";
            PostClick(box, IDOK);
        });
    EXPECT_EQ(result, 0);
    Strings files = testsupport::ListFiles(target, "*.vcf");
    std::sort(files.begin(), files.end());
    EXPECT_EQ(files, (Strings{"Cid Poe.vcf", "Dee Fox.vcf"}));
}

// With all folders chosen, the run gets no folder even though the stored folder is kept.
TEST_F(ExportDialogTest, ExportCommandWithAllFoldersExportsEveryContact)
{
    ASSERT_TRUE(testsupport::SetRegString(HKEY_CURRENT_USER, kSettingsKey, "Export.WABFolderID", friends));
    ASSERT_TRUE(testsupport::SetRegDword(HKEY_CURRENT_USER, kSettingsKey, "Export.WABAllFolders", 1));
    ASSERT_TRUE(testsupport::SetRegString(HKEY_CURRENT_USER, kSettingsKey, "Export.WinFolder", target));
    CvCardExport run;
    int result = 0;
    RunDriven(
        [&] {
            result = run.RunExport(nullptr, nullptr);
            return 0;
        },
        [&] {
            HWND hwnd = WaitDialog("Export");
            ASSERT_NE(hwnd, nullptr);
            EXPECT_EQ(ItemText(hwnd, IDC_EXPORT_SOURCE), "<All Folders>");
            PostClick(hwnd, IDOK);
            HWND box = WaitDialog("Quillon for Outlook Express", "Export completed successfully.");
            ASSERT_NE(box, nullptr) << "no closing message";
            PostClick(box, IDOK);
        });
    EXPECT_EQ(result, 0);
    EXPECT_EQ(testsupport::ListFiles(target, "*.vcf").size(), 4u);
    EXPECT_EQ(Stored("Export.WABFolderID"), "sz:" + friends + std::string(1, '\0'));
}

// CSV is one file per run: the box shows it checked and disabled while CSV is chosen, the vCard
// choice comes back with a vCard format and stays stored; the file is named as the one vCard
// file is, UTF-8 with a byte-order mark, a header and a row per contact.
TEST_F(ExportDialogTest, CsvIsOneFileNamedAfterTheFolder)
{
    const struct {
        bool allFolders;
        const char* file;
        size_t rows;
    } cases[] = {{true, "AddressBook.csv", 4}, {false, "Friends.csv", 2}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file);
        testsupport::CTempDir out;
        ASSERT_TRUE(testsupport::SetRegString(HKEY_CURRENT_USER, kSettingsKey, "Export.WABFolderID", friends));
        ASSERT_TRUE(testsupport::SetRegDword(HKEY_CURRENT_USER, kSettingsKey, "Export.WABAllFolders", c.allFolders));
        ASSERT_TRUE(testsupport::SetRegString(HKEY_CURRENT_USER, kSettingsKey, "Export.WinFolder", out.path()));
        ASSERT_TRUE(testsupport::SetRegDword(HKEY_CURRENT_USER, kSettingsKey, "Export.Format", 2));
        ASSERT_TRUE(testsupport::SetRegDword(HKEY_CURRENT_USER, kSettingsKey, "Export.SaveInOneFile", 0));
        CvCardExport run;
        RunDriven(
            [&] { return static_cast<INT_PTR>(run.RunExport(nullptr, nullptr)); },
            [&] {
                HWND hwnd = WaitDialog("Export");
                ASSERT_NE(hwnd, nullptr);
                HWND formats = ::GetDlgItem(hwnd, IDC_EXPORT_FORMAT);
                auto choose = [&](int index) {
                    ::SendMessageA(formats, CB_SETCURSEL, index, 0);
                    ::SendMessageA(hwnd, WM_COMMAND, MAKEWPARAM(IDC_EXPORT_FORMAT, CBN_SELCHANGE),
                                   reinterpret_cast<LPARAM>(formats));
                };
                // -1: as the dialog opens.
                const struct {
                    int format;
                    bool checked, enabled;
                } steps[] = {{-1, true, false}, {0, false, true}, {2, true, false}};
                for (const auto& step : steps) {
                    if (step.format >= 0)
                        choose(step.format);
                    EXPECT_EQ(step.checked, IsChecked(hwnd, IDC_EXPORT_ONE_FILE)) << step.format;
                    EXPECT_EQ(step.enabled, IsEnabled(hwnd, IDC_EXPORT_ONE_FILE)) << step.format;
                }
                PostClick(hwnd, IDOK);
                HWND box = WaitDialog("Quillon for Outlook Express", "Export completed successfully.");
                ASSERT_NE(box, nullptr) << "no closing message";
                PostClick(box, IDOK);
            });
        EXPECT_EQ(Strings{c.file}, testsupport::ListFiles(out.path(), "*"));
        std::string text = testsupport::ReadFileBytes(out.file(c.file));
        ASSERT_EQ("\xEF\xBB\xBF" + csv::CCsvWriter::HeaderRow(), text.substr(0, 3 + csv::CCsvWriter::HeaderRow().size()));
        EXPECT_EQ(c.rows + 1, testsupport::SplitLines(text.substr(3)).size());
        EXPECT_EQ(Stored("Export.Format"), "dword:2");
        EXPECT_EQ(Stored("Export.SaveInOneFile"), "dword:0");
    }
}

TEST_F(ExportDialogTest, ExportCommandCancelledRunsNothing)
{
    ASSERT_TRUE(testsupport::SetRegString(HKEY_CURRENT_USER, kSettingsKey, "Export.WinFolder", target));
    CvCardExport run;
    int result = 0;
    RunDriven(
        [&] {
            result = run.RunExport(nullptr, nullptr);
            return 0;
        },
        [&] {
            HWND hwnd = WaitDialog("Export");
            ASSERT_NE(hwnd, nullptr);
            PickSource(hwnd, "Contacts");
            PostClick(hwnd, IDCANCEL);
        });
    EXPECT_EQ(result, -1);
    EXPECT_TRUE(testsupport::ListFiles(target, "*").empty());
    EXPECT_EQ(Stored("Export.WABFolderID"), "");
}
