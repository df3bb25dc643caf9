// End to end: Quillon.exe started the way the Address Book extension starts it, with two selected
// contacts in a temporary selection file. The export dialog opens on their folder with "Selected
// contacts only" checked; after OK the two cards are written, the closing message is shown, and
// the program ends with 0 having deleted the selection file.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "support/storefile.h"
#include "ui/resource.h"

using namespace testsupport;

TEST(QuillonExport, SelectedContactsFromTheCommandLineAreExported)
{
    // A first start: no export values before, none left behind. The log tells each step, for the
    // message of a failure.
    std::vector<std::string> cleared = kExportSettings;
    cleared.push_back("LogLevel");
    CQuillonWorld world(cleared);
    ASSERT_TRUE(SetRegDword(HKEY_CURRENT_USER, kQuillonKey, "LogLevel", 2));
    std::string friends = world.store.AddFolder(L"Friends");
    world.store.AddNamed(world.store.pab(), L"Ann Lee");
    std::string cid = world.store.AddNamed(friends, L"Cid Poe");
    world.store.AddNamed(friends, L"Eve Day");
    std::string dee = world.store.AddNamed(friends, L"Dee Fox");

    std::string target = world.file("cards");
    ASSERT_TRUE(::CreateDirectoryA(target.c_str(), nullptr));
    std::string selection = world.file("sel 1.tmp");
    ASSERT_TRUE(WriteFileBytes(selection, dee + "\r\n" + cid + "\r\n"));

    DWORD pid = 0;
    common::CHandle process = StartProcess("\"" + BinDir() + "\\Quillon.exe\" -export -selection tmp \"" + selection +
                                               "\" -foreground",
                                           std::string(), &pid);
    ASSERT_TRUE(process);
    HWND dialog = nullptr;
    WaitUntil([&] {
        dialog = FindTopWindow(pid, "#32770", "Export");
        return dialog || ::WaitForSingleObject(process.get(), 0) == WAIT_OBJECT_0;
    },
              kWait);
    if (!dialog) {
        LONG code = 0;
        WaitExit(process.get(), 1000, &code);
        FAIL() << "the export dialog did not open; " << world.ErrLog();
    }
    EXPECT_FALSE(FileExists(selection)) << "the tmp selection file is deleted once read";
    EXPECT_EQ(ItemText(dialog, IDC_EXPORT_SOURCE), "Friends");
    EXPECT_TRUE(IsChecked(dialog, IDC_EXPORT_SELECTED_ONLY));
    EXPECT_FALSE(IsEnabled(dialog, IDOK));

    SetItemText(dialog, IDC_EXPORT_TARGET, target);
    ::SendMessageA(::GetDlgItem(dialog, IDC_EXPORT_FORMAT), CB_SETCURSEL, 1, 0);
    ASSERT_TRUE(PressOkWhenEnabled(dialog)) << "OK did not follow the typed target folder";

    std::string closing = TakeClosingMessage(pid);
    if (closing == "<none>") {
        LONG code = 0;
        bool ended = WaitExit(process.get(), 0, &code);
        FAIL() << "no closing message; Quillon " << (ended ? "ended with " + std::to_string(code) : "still runs")
               << "; its windows:\n"
               << DescribeTopWindows(pid) << "main.log:\n"
               << ReadFileBytes(world.DataFile("main.log")) << world.ErrLog();
    }
    EXPECT_EQ(closing, "Export completed successfully.");
    LONG code = 12345;
    ASSERT_TRUE(WaitExit(process.get(), kWait, &code)) << "Quillon did not end";
    EXPECT_EQ(code, 0);

    std::vector<std::string> files = ListFiles(target, "*");
    std::sort(files.begin(), files.end());
    ASSERT_EQ(files, (std::vector<std::string>{"Cid Poe.vcf", "Dee Fox.vcf"}));
    for (const std::string& file : files) {
        std::string card = ReadFileBytes(target + "\\" + file);
        // Format 3.0 and the first encoding of the list, as chosen in the dialog.
        EXPECT_EQ(card.rfind("BEGIN:VCARD\r\n", 0), 0u) << card;
        EXPECT_NE(card.find("\r\nVERSION:3.0\r\n"), std::string::npos) << card;
        EXPECT_NE(card.find("\r\nFN;CHARSET=UTF-8:" + file.substr(0, file.size() - 4) + "\r\n"), std::string::npos)
            << card;
    }
    // The choices were remembered; "Selected contacts only" is not among them.
    EXPECT_EQ("dword:1", DescribeRegValue(kQuillonKey, "Export.Format"));
    EXPECT_EQ(friends, RegText(HKEY_CURRENT_USER, kQuillonKey, "Export.WABFolderID"));
}
