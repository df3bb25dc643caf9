// End to end: Quillon.exe started the way the Address Book extension starts it, with two selected
// contacts in a temporary selection file. The export dialog opens on their folder with "Selected
// contacts only" checked; after OK the two cards are written, the closing message is shown, and
// the program ends with 0 having deleted the selection file.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
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

// Unattended runs of Quillon.exe against the stand-in address book: what each run writes, its exit
// code, its report, and that no window is ever made (a hook on window creation in the process
// from its first instruction on). The interactive export, watched the same way, shows that the
// hook sees the windows a run makes.
class QuillonUnattended : public ::testing::Test {
protected:
    void SetUp() override
    {
        friends = world.store.AddFolder(L"Friends");
        world.store.AddNamed(world.store.pab(), L"Eve Day");
        ann = world.store.AddNamed(friends, L"Ann Lee");
        cid = world.store.AddNamed(friends, L"Cid Poe");
        ASSERT_TRUE(::CreateDirectoryA(target.c_str(), nullptr));
    }

    // Runs Quillon.exe with these arguments; its exit code, and the windows it made (none
    // expected unless asked for).
    LONG Run(const std::string& arguments, std::vector<std::string>* windows = nullptr,
             const std::function<void(DWORD)>& meanwhile = nullptr, const std::string& program = std::string())
    {
        std::vector<std::string> made;
        LONG code = 12345;
        EXPECT_TRUE(RunWatchingWindows(Quote(program.empty() ? BinDir() + "\\Quillon.exe" : program) + " " + arguments,
                                       &code, &made, meanwhile))
            << "Quillon did not end: " << arguments << "; " << world.ErrLog();
        if (windows)
            *windows = made;
        else
            EXPECT_EQ(made, std::vector<std::string>()) << "windows of: " << arguments;
        return code;
    }
    std::string Report() const { return ReadFileBytes(report); }

    CQuillonWorld world{kExportSettings};
    std::string friends, ann, cid;
    std::string target = world.file("cards");
    std::string report = world.file("report.txt");
};

TEST_F(QuillonUnattended, TheHookSeesTheWindowsOfAnInteractiveRun)
{
    std::vector<std::string> windows;
    EXPECT_EQ(0, Run("-export", &windows, [](DWORD pid) {
                  if (HWND dialog = FindTopWindow(pid, "#32770", "Export"))
                      PostClick(dialog, IDCANCEL);
              }));
    EXPECT_NE(std::find(windows.begin(), windows.end(), "#32770|Export|top-level"), windows.end())
        << ::testing::PrintToString(windows);
}

TEST_F(QuillonUnattended, ExportsAFolderAndAllFoldersAndReports)
{
    EXPECT_EQ(0, Run("/unattended /export /folder:friends /target:" + Quote(target) +
                     " /format:2.1 /encoding:windows-1252 /report:" + Quote(report)));
    std::vector<std::string> files = ListFiles(target, "*");
    std::sort(files.begin(), files.end());
    ASSERT_EQ(files, (std::vector<std::string>{"Ann Lee.vcf", "Cid Poe.vcf"})) << Report() << world.ErrLog();
    std::string card = ReadFileBytes(target + "\\Ann Lee.vcf");
    EXPECT_NE(card.find("\r\nVERSION:2.1\r\n"), std::string::npos) << card;
    EXPECT_NE(card.find("\r\nFN;CHARSET=windows-1252:Ann Lee\r\n"), std::string::npos) << card;
    std::string text = Report();
    for (const char* line : {"Export of the address-book folder \"friends\" to ", ": vCard 2.1, Western European (Windows), "
                             "one file per contact\r\n", "\r\nContacts: 2 to export, 2 exported, 0 not exported\r\n",
                             "\r\nNot taken: none\r\n",
                             "\r\n  Quillon for Outlook Express: Export completed successfully. [answered OK]\r\n",
                             "\r\nResult: success (exit code 0)\r\n"})
        EXPECT_NE(text.find(line), std::string::npos) << line << "\n" << text;
    // The dialogs' remembered choices are theirs: an unattended run leaves them alone.
    for (const std::string& name : kExportSettings)
        EXPECT_EQ("", DescribeRegValue(kQuillonKey, name.c_str())) << name;

    // All folders into one file, with the defaults: vCard 3.0 in UTF-8.
    EXPECT_EQ(0, Run("/UNATTENDED /Export /AllFolders /OneFile /Target:" + Quote(target) + " /Report:" + Quote(report)));
    std::string all = ReadFileBytes(target + "\\AddressBook.vcf");
    size_t cards = 0;
    for (size_t at = all.find("BEGIN:VCARD"); at != std::string::npos; at = all.find("BEGIN:VCARD", at + 1))
        ++cards;
    EXPECT_EQ(3u, cards) << all;
    EXPECT_NE(all.find("\r\nVERSION:3.0\r\n"), std::string::npos) << all;
    // CSV: one file whatever /onefile says, UTF-8 with its byte-order mark, a row a contact.
    EXPECT_EQ(0, Run("/unattended /export /allfolders /format:csv /target:" + Quote(target) + " /report:" + Quote(report)));
    std::string rows = ReadFileBytes(target + "\\AddressBook.csv");
    EXPECT_EQ(0u, rows.find("\xEF\xBB\xBFTitle,First Name,")) << rows.substr(0, 80);
    EXPECT_NE(rows.find("Eve"), std::string::npos) << rows;
    EXPECT_NE(Report().find(": CSV, Unicode (UTF-8), all contacts in one file\r\n"), std::string::npos) << Report();
    EXPECT_NE(all.find("\r\nFN;CHARSET=UTF-8:Eve Day\r\n"), std::string::npos) << all;
    EXPECT_NE(Report().find("\r\nContacts: 3 to export, 3 exported, 0 not exported\r\n"), std::string::npos) << Report();

    // A folder named in another script than the system's code page: the run reads its name from
    // the program's UTF-16 command line.
    world.store.AddNamed(world.store.AddFolder(L"\u0414\u0440\u0443\u0437\u044c\u044f"), L"Ivan");
    EXPECT_EQ(0, Run("/unattended /export /folder:\xD0\x94\xD1\x80\xD1\x83\xD0\xB7\xD1\x8C\xD1\x8F /onefile "
                     "/target:" + Quote(target) + " /report:" + Quote(report)));
    EXPECT_NE(Report().find("\r\nContacts: 1 to export, 1 exported, 0 not exported\r\n"), std::string::npos) << Report();
    EXPECT_EQ(1u, ListFiles(target, "*.vcf").size() - 3) << "the folder's file beside Ann's, Cid's and AddressBook.vcf";

    // Beside a program without its encodings file only UTF-8 is offered, and the warning box that
    // says so is in the report.
    CTempDir program(world.path()), out(world.path());
    for (const char* file : {"Quillon.exe", "LibBrisco.dll", "wab32.dll"})
        ASSERT_TRUE(CopyFileTo(BinDir() + "\\" + file, program.file(file)));
    EXPECT_EQ(-2, Run("/unattended /export /allfolders /encoding:windows-1252 /target:" + Quote(out.path()) +
                      " /report:" + Quote(report), nullptr, nullptr, program.file("Quillon.exe")));
    EXPECT_NE(Report().find("\r\n  Quillon: Supported encodings file was not found. Only UTF-8 encoding will be "
                            "available [answered OK]\r\n"),
              std::string::npos)
        << Report();
    EXPECT_NE(Report().find("Bad arguments: unknown encoding \"windows-1252\" (the encodings are UTF-8, or their "
                            "charset names)"),
              std::string::npos)
        << Report();
    EXPECT_EQ(0, Run("/unattended /export /allfolders /encoding:utf-8 /target:" + Quote(out.path()), nullptr, nullptr,
                     program.file("Quillon.exe")));
    EXPECT_EQ(4u, ListFiles(out.path(), "*.vcf").size());
}

// A contact that cannot be opened stops the export: what was written before it is a partial
// success, nothing written a failure; the report names the contact and the closing message.
TEST_F(QuillonUnattended, AContactThatCannotBeOpenedIsAPartialSuccessOrAFailure)
{
    struct Case {
        const std::string* contact;
        LONG code;
        const char* counts;
        const char* message;
        const char* result;
    } cases[] = {
        {&cid, 1, "Contacts: 2 to export, 1 exported, 1 not exported",
         "Export was completed. Some items were not exported.", "partial success: some contacts or cards were not taken (exit code 1)"},
        {&ann, -1, "Contacts: 2 to export, 0 exported, 2 not exported", "Export failed.", "failure (exit code -1)"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.result);
        CTempDir out(world.path());
        CScopedEnv fault("WAB_STANDIN_FAULTS", ("OpenEntry:" + *c.contact + ":0x80004005").c_str());
        EXPECT_EQ(c.code, Run("/unattended /export /folder:Friends /target:" + Quote(out.path()) + " /report:" + Quote(report)));
        std::string text = Report();
        for (const std::string& line : {std::string(c.counts), "  contact " + *c.contact +
                                            ": not exported: it could not be opened [0x80004005]",
                                        "  Quillon for Outlook Express: " + std::string(c.message) + " [answered OK]",
                                        "Result: " + std::string(c.result)})
            EXPECT_NE(text.find("\r\n" + line + "\r\n"), std::string::npos) << line << "\n" << text;
    }
}

// Each exit code but success and partial success (above), with the report's words; none of these
// runs does anything, and none makes a window.
TEST_F(QuillonUnattended, ExitCodesOfRunsThatCannotGo)
{
    std::string cards = world.file("in");
    ASSERT_TRUE(::CreateDirectoryA(cards.c_str(), nullptr));
    const std::string to = " /target:" + Quote(target), from = " /source:" + Quote(cards);
    struct Case {
        std::string arguments;
        LONG code;
        std::string said;
    } cases[] = {
        {"/export /folder:Nobody" + to, -2, "Bad arguments: no address-book folder is named \"Nobody\""},
        {"/export /allfolders", -2, "Bad arguments: an export needs /target:<folder>"},
        {"/export /allfolders /target:" + Quote(target + "\\missing"), -2, "\\missing does not exist"},
        {"/export /allfolders /encoding:Klingon" + to, -2, "Bad arguments: unknown encoding \"Klingon\""},
        {"/export /allfolders /format:4.0" + to, -2, "Bad arguments: unknown format \"4.0\" (the formats are 2.1, 3.0, csv)"},
        {"/export /fold:Friends" + to, -2, "Bad arguments: unknown option \"/fold:Friends\""},
        {"-export /allfolders" + to, -2, "Bad arguments: \"-export\" is not an option"},
        {"/import /into:Friends /conflict:merge" + from, -2, "Bad arguments: unknown conflict mode \"merge\""},
        {"/import /into:Nobody" + from, -2,
         "Bad arguments: no address-book folder is named \"Nobody\". To create a new Contacts folder "},
        {"/import /into:Friends", -2, "Bad arguments: an import needs /source:<folder>"},
        {"/import /into:Friends" + from, -1,
         "  Quillon: No vCard files were found. Please select other directory containing vCard files. [answered OK]"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.arguments);
        EXPECT_EQ(c.code, Run("/unattended " + c.arguments + " /report:" + Quote(report)));
        EXPECT_NE(Report().find(c.said), std::string::npos) << Report();
        EXPECT_EQ(ListFiles(target, "*"), std::vector<std::string>());
    }

    // The address book cannot be opened.
    {
        CScopedEnv fault("WAB_STANDIN_FAULTS", "WABOpen:*:0x80004005");
        EXPECT_EQ(-1, Run("/unattended /export /allfolders" + to + " /report:" + Quote(report)));
        EXPECT_NE(Report().find("\r\n  Error: WAB INIT FAILED [answered OK]\r\n"), std::string::npos) << Report();
    }
    // Another instance runs: it holds the program's mutex.
    {
        common::CHandle mutex(::CreateMutexA(nullptr, TRUE, "Brisco.Quillon.Mutex"));
        ASSERT_TRUE(mutex);
        EXPECT_EQ(-3, Run("/unattended /export /allfolders" + to + " /report:" + Quote(report)));
        EXPECT_NE(Report().find("\r\n  Quillon for Outlook Express: There's already an active instance of Quillon "
                                "[answered OK]\r\nResult: another instance of Quillon is running: nothing was done "
                                "(exit code -3)\r\n"),
                  std::string::npos)
            << Report();
        ::ReleaseMutex(mutex.get());
    }
    // A report that cannot be written makes the line unusable too (the log says so).
    EXPECT_EQ(-2, Run("/unattended /export /allfolders" + to + " /report:" + Quote(world.file("no\\such\\report.txt"))));
    EXPECT_NE(ReadFileBytes(world.DataFile("main.err")).find("cannot be written"), std::string::npos) << world.ErrLog();
}
