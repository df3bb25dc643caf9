// End to end: Quillon.exe -import started as a process the way the Address Book extension starts
// it, with a selected contact in a temporary selection file. The import dialog opens on that
// contact's folder; after OK the cards of the chosen folder arrive there (a duplicate of the
// selected contact is not added twice), the summary is shown, and the program ends with 0.
#include <gtest/gtest.h>

#include <string>

#include "support/storefile.h"
#include "ui/resource.h"

using namespace testsupport;

TEST(QuillonImport, CardsOfAFolderArriveInTheSelectedContactsFolder)
{
    CQuillonWorld world(kImportSettings);
    std::string friends = world.store.AddFolder(L"Friends");
    std::string ann = world.store.AddContact(friends, {Text(PR_DISPLAY_NAME_W, L"Ann Lee"), Text(PR_GIVEN_NAME_W, L"Ann"),
                                                     Text(PR_SURNAME_W, L"Lee")});

    // Two files: Ann again (identical, so not added twice) and a new contact with a non-Latin name.
    std::string cards = world.file("cards");
    ASSERT_TRUE(::CreateDirectoryA(cards.c_str(), nullptr));
    ASSERT_TRUE(WriteFileBytes(cards + "\\ann.vcf", "BEGIN:VCARD\r\nVERSION:3.0\r\nN:Lee;Ann;;;\r\nFN:Ann Lee\r\nEND:VCARD\r\n"));
    ASSERT_TRUE(WriteFileBytes(cards + "\\ivan.vcf", "\xEF\xBB\xBF" "BEGIN:VCARD\r\nVERSION:3.0\r\n"
                                                     "N:\xD0\x9F\xD0\xB5\xD1\x82\xD1\x80\xD0\xBE\xD0\xB2;"
                                                     "\xD0\x98\xD0\xB2\xD0\xB0\xD0\xBD;;;\r\n"
                                                     "FN:\xD0\x98\xD0\xB2\xD0\xB0\xD0\xBD "
                                                     "\xD0\x9F\xD0\xB5\xD1\x82\xD1\x80\xD0\xBE\xD0\xB2\r\n"
                                                     "EMAIL;TYPE=INTERNET:ivan@example.ru\r\nEND:VCARD\r\n"));
    std::string selection = world.file("sel 1.tmp");
    ASSERT_TRUE(WriteFileBytes(selection, ann + "\r\n"));

    DWORD pid = 0;
    common::CHandle process = StartProcess("\"" + BinDir() + "\\Quillon.exe\" -import -selection tmp \"" + selection +
                                               "\" -foreground",
                                           std::string(), &pid);
    ASSERT_TRUE(process);
    HWND dialog = WaitTopWindow(pid, "#32770", "Import", kWait);
    ASSERT_NE(nullptr, dialog) << "the import dialog did not open; " << world.ErrLog();
    EXPECT_FALSE(FileExists(selection)) << "the tmp selection file is deleted once read";
    EXPECT_EQ("Friends", ItemText(dialog, IDC_IMPORT_TARGET));
    SetItemText(dialog, IDC_IMPORT_SOURCE, cards);
    ASSERT_TRUE(PressOkWhenEnabled(dialog)) << "OK did not follow the typed source folder";
    ASSERT_EQ("Import completed successfully.", TakeClosingMessage(pid));
    LONG code = 12345;
    ASSERT_TRUE(WaitExit(process.get(), kWait, &code)) << "Quillon did not end";
    EXPECT_EQ(0, code);

    // What the folder holds now, as the store tool lists it (UTF-8).
    std::string listing = world.file("list.txt");
    ASSERT_EQ(0, WabStore({"list", world.store.path(), listing}));
    std::string text = ReadFileBytes(listing);
    size_t folder = text.find(" Friends (2)");
    ASSERT_NE(std::string::npos, folder) << text;
    EXPECT_NE(std::string::npos, text.find(" Ann Lee", folder)) << text;
    EXPECT_NE(std::string::npos,
              text.find(" \xD0\x98\xD0\xB2\xD0\xB0\xD0\xBD \xD0\x9F\xD0\xB5\xD1\x82\xD1\x80\xD0\xBE\xD0\xB2 <ivan@example.ru>",
                        folder))
        << text;
}

// Unattended imports: each conflict mode reaches the run; the boxes of a file that cannot be opened
// and of a value that does not decode are told in the report and answered by their default
// buttons (go on); and no window is ever made (see RunWatchingWindows).
TEST(QuillonImport, UnattendedImportInEachConflictModeWithoutAWindow)
{
    CQuillonWorld world(kImportSettings);
    std::string cards = world.file("cards");
    ASSERT_TRUE(::CreateDirectoryA(cards.c_str(), nullptr));
    // Ann's card differs from the contact the store holds in her phone number; Bob is new, and his
    // note is no base64.
    ASSERT_TRUE(WriteFileBytes(cards + "\\ann.vcf", "BEGIN:VCARD\r\nVERSION:3.0\r\nN:Lee;Ann;;;\r\nFN:Ann Lee\r\n"
                                                    "TEL;TYPE=HOME:222\r\nEND:VCARD\r\n"));
    ASSERT_TRUE(WriteFileBytes(cards + "\\bob.vcf", "BEGIN:VCARD\r\nVERSION:3.0\r\nN:Ray;Bob;;;\r\nFN:Bob Ray\r\n"
                                                    "NOTE;ENCODING=b:not base64!\r\nEND:VCARD\r\n"));
    const std::string held = cards + "\\held.vcf";
    ASSERT_TRUE(WriteFileBytes(held, "BEGIN:VCARD\r\nVERSION:3.0\r\nFN:Held\r\nEND:VCARD\r\n"));
    const std::string report = world.file("report.txt");

    struct Case {
        const char* mode;
        int contacts;     // in Friends afterwards: Ann (old and/or new) and Bob
        const char* ann;  // Ann's phone numbers in the listing
    } cases[] = {
        {"duplicate", 3, "111 222"},
        {"replace", 2, "222"},
        {"leaveold", 2, "111"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.mode);
        ASSERT_TRUE(world.store.Recreate());
        std::string friends = world.store.AddFolder(L"Friends");
        world.store.AddContact(friends, {Text(PR_DISPLAY_NAME_W, L"Ann Lee"), Text(PR_GIVEN_NAME_W, L"Ann"),
                                         Text(PR_SURNAME_W, L"Lee"), Text(PR_HOME_TELEPHONE_NUMBER_W, L"111")});
        // Held open by the test, the third file cannot be opened.
        common::CFileHandle lock(::CreateFileA(held.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
        ASSERT_TRUE(lock);
        std::vector<std::string> windows;
        LONG code = 12345;
        ASSERT_TRUE(RunWatchingWindows(Quote(BinDir() + "\\Quillon.exe") + " /unattended /import /source:" + Quote(cards) +
                                           " /into:Friends /conflict:" + c.mode + " /report:" + Quote(report),
                                       &code, &windows))
            << world.ErrLog();
        EXPECT_EQ(windows, std::vector<std::string>());
        EXPECT_EQ(1, code) << "a file not read is a partial success; " << world.ErrLog();
        std::string text = ReadFileBytes(report);
        for (const std::string& line :
             {std::string("Import of the vCard files in ") + cards + " into the address-book folder \"Friends\": ",
              std::string("Cards: 2 found, 2 imported (0 of them without some of their values), 1 not imported, 0 not tried"),
              "  file " + held + ": not read: it cannot be opened: ",
              "  Quillon: Element NOTE format in " + cards + "\\bob.vcf file is invalid. It will be written into "
              "contact without any modifications. [answered OK]",
              "  Quillon: " + held + " file cannot be opened. To skip file processing and continue, press OK. Note: "
              "the problem might be related with non-latin symbols in the file name. Please, try renaming the file "
              "[answered OK]",
              std::string("  Quillon for Outlook Express: Import was completed. Some items were not imported. [answered OK]"),
              std::string("Result: partial success: some contacts or cards were not taken (exit code 1)")})
            EXPECT_NE(text.find(line), std::string::npos) << line << "\n" << text;

        std::string listing = world.file("list.txt");
        ASSERT_EQ(0, WabStore({"list", world.store.path(), listing}));
        std::string stored = ReadFileBytes(listing);
        EXPECT_NE(stored.find(" Friends (" + std::to_string(c.contacts) + ")"), std::string::npos) << stored;
        EXPECT_NE(stored.find(" Bob Ray"), std::string::npos) << stored;
        std::string dump = world.file("dump.txt");
        ASSERT_EQ(0, WabStore({"dump", world.store.path(), dump}));
        std::string values = ReadFileBytes(dump);
        std::string phones;
        for (const char* phone : {"111", "222"}) {
            if (values.find("TELEPHONE_NUMBER = " + std::string(phone) + "\n") != std::string::npos)
                phones += (phones.empty() ? "" : " ") + std::string(phone);
        }
        EXPECT_EQ(c.ann, phones) << values;
    }

    // The same files once more, none held: every card meets its contact, which is success.
    std::vector<std::string> windows;
    LONG code = 12345;
    ASSERT_TRUE(RunWatchingWindows(Quote(BinDir() + "\\Quillon.exe") + " /unattended /import /source:" + Quote(cards) +
                                       " /into:friends /conflict:leaveold /report:" + Quote(report),
                                   &code, &windows));
    EXPECT_EQ(windows, std::vector<std::string>());
    EXPECT_EQ(0, code) << ReadFileBytes(report) << world.ErrLog();
    EXPECT_NE(ReadFileBytes(report).find("\r\nNot taken: none\r\n"), std::string::npos) << ReadFileBytes(report);
}
