// End to end: Quillon.exe started the way the Address Book extension starts it, with two selected
// contacts in a temporary selection file. The export dialog opens on their folder with "Selected
// contacts only" checked; after OK the two cards are written, the closing message is shown, and
// the program ends with 0 having deleted the selection file.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "standins/wab32/wabstandin.h"
#include "support/testsupport.h"
#include "ui/resource.h"

using namespace testsupport;

namespace {

const char* const kExportValues[] = {"Export.WABFolderID", "Export.WABAllFolders", "Export.WinFolder",
                                     "Export.Format",      "Export.Encoding",      "Export.SaveInOneFile"};
const DWORD kWait = 60000;  // a cap for waits on a state: a loaded machine under qemu can take long

std::string AddContact(const std::string& store, const std::string& folder, const wchar_t* name)
{
    SPropValue v = {};
    v.ulPropTag = PR_DISPLAY_NAME_W;
    v.Value.lpszW = const_cast<wchar_t*>(name);
    char id[WABSTANDIN_ID_TEXT_SIZE] = "";
    EXPECT_EQ(S_OK, WabStandinAddContact(store.c_str(), folder.c_str(), 1, &v, id, sizeof id));
    return id;
}

std::string ControlText(HWND dialog, int id)
{
    return WindowText(::GetDlgItem(dialog, id));
}

}  // namespace

TEST(QuillonExport, SelectedContactsFromTheCommandLineAreExported)
{
    CSavedValue appData(kShellFoldersKey, "AppData");
    CSavedValue wabFile(kWabFileNameKey, "");
    CTempDir dir;
    // A first start: no export values before, none left behind. The log tells each step, for the
    // message of a failure.
    std::vector<std::string> cleared(std::begin(kExportValues), std::end(kExportValues));
    cleared.push_back("LogLevel");
    CClearedValues settings(kQuillonKey, cleared);
    ASSERT_TRUE(SetRegDword(HKEY_CURRENT_USER, kQuillonKey, "LogLevel", 2));

    ASSERT_TRUE(SetRegString(HKEY_CURRENT_USER, kShellFoldersKey, "AppData", dir.file("appdata")));
    std::string store = dir.file("book.wab");
    ASSERT_EQ(S_OK, WabStandinCreateStore(store.c_str(), L"Contacts"));
    ASSERT_TRUE(SetRegString(HKEY_CURRENT_USER, kWabFileNameKey, "", store));
    char id[WABSTANDIN_ID_TEXT_SIZE] = "";
    ASSERT_EQ(S_OK, WabStandinGetPab(store.c_str(), id, sizeof id));
    std::string contacts = id;
    ASSERT_EQ(S_OK, WabStandinAddFolder(store.c_str(), L"Friends", id, sizeof id));
    std::string friends = id;
    AddContact(store, contacts, L"Ann Lee");
    std::string cid = AddContact(store, friends, L"Cid Poe");
    AddContact(store, friends, L"Eve Day");
    std::string dee = AddContact(store, friends, L"Dee Fox");

    std::string target = dir.file("cards");
    ASSERT_TRUE(::CreateDirectoryA(target.c_str(), nullptr));
    std::string selection = dir.file("sel 1.tmp");
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
        FAIL() << "the export dialog did not open; main.err:\n"
               << ReadFileBytes(dir.file("appdata") + "\\Brisco\\Quillon\\main.err");
    }
    EXPECT_FALSE(FileExists(selection)) << "the tmp selection file is deleted once read";
    EXPECT_EQ(ControlText(dialog, IDC_EXPORT_SOURCE), "Friends");
    EXPECT_EQ(::SendMessageA(::GetDlgItem(dialog, IDC_EXPORT_SELECTED_ONLY), BM_GETCHECK, 0, 0), BST_CHECKED);
    EXPECT_FALSE(::IsWindowEnabled(::GetDlgItem(dialog, IDOK)));

    ::SendMessageA(::GetDlgItem(dialog, IDC_EXPORT_TARGET), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(target.c_str()));
    ASSERT_TRUE(WaitUntil([&] { return ::IsWindowEnabled(::GetDlgItem(dialog, IDOK)) != FALSE; }, kWait))
        << "OK did not follow the typed target folder";
    ::SendMessageA(::GetDlgItem(dialog, IDC_EXPORT_FORMAT), CB_SETCURSEL, 1, 0);
    PostClick(dialog, IDOK);

    HWND box = WaitTopWindow(pid, "#32770", "Quillon for Outlook Express", kWait);
    if (!box) {
        LONG code = 0;
        bool ended = WaitExit(process.get(), 0, &code);
        FAIL() << "no closing message; Quillon " << (ended ? "ended with " + std::to_string(code) : "still runs")
               << "; its windows:\n"
               << DescribeTopWindows(pid) << "main.log:\n"
               << ReadFileBytes(dir.file("appdata") + "\\Brisco\\Quillon\\main.log") << "main.err:\n"
               << ReadFileBytes(dir.file("appdata") + "\\Brisco\\Quillon\\main.err");
    }
    EXPECT_EQ(DialogStaticText(box), "Export completed successfully.");
    PostClick(box, IDOK);
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
    common::CRegKey k;
    ASSERT_EQ(ERROR_SUCCESS, ::RegOpenKeyExA(HKEY_CURRENT_USER, kQuillonKey, 0, KEY_READ, k.put()));
    DWORD format = 99, size = sizeof format;
    EXPECT_EQ(ERROR_SUCCESS, ::RegQueryValueExA(k.get(), "Export.Format", nullptr, nullptr,
                                                reinterpret_cast<BYTE*>(&format), &size));
    EXPECT_EQ(format, 1u);
    char folder[256] = "";
    size = sizeof folder;
    EXPECT_EQ(ERROR_SUCCESS, ::RegQueryValueExA(k.get(), "Export.WABFolderID", nullptr, nullptr,
                                                reinterpret_cast<BYTE*>(folder), &size));
    EXPECT_EQ(std::string(folder), friends);
}
