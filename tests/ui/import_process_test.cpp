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
