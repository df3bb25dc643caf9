// End to end: the stand-in address book window (WabHost.exe) invokes "Export contacts to vCard" of
// the registered Ferrule.DLL on three contacts and a group; the real Quillon.exe beside it opens
// the export dialog on their selection, writes the three cards after OK and reports success.
#include <gtest/gtest.h>
#include <windows.h>
#include <tlhelp32.h>

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

bool Regsvr32(const std::string& options)
{
    LONG code = -1;
    return RunProcess("regsvr32.exe " + options + " \"" + BinDir() + "\\Ferrule.DLL\"", &code) && code == 0;
}

std::string AddContact(const std::string& store, const std::string& folder, const wchar_t* name)
{
    SPropValue v = {};
    v.ulPropTag = PR_DISPLAY_NAME_W;
    v.Value.lpszW = const_cast<wchar_t*>(name);
    char id[WABSTANDIN_ID_TEXT_SIZE] = "";
    EXPECT_EQ(S_OK, WabStandinAddContact(store.c_str(), folder.c_str(), 1, &v, id, sizeof id));
    return id;
}

// Ends what a failed test leaves running: the host this test started and the converter it started.
class CProcessGuard {
public:
    CProcessGuard(HANDLE host, DWORD hostPid) : m_host(host), m_hostPid(hostPid) {}
    ~CProcessGuard()
    {
        if (WaitForSingleObject(m_host, 0) == WAIT_OBJECT_0)
            return;
        common::CFileHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
        PROCESSENTRY32 entry = {};
        entry.dwSize = sizeof(entry);
        for (BOOL more = snapshot && Process32First(snapshot.get(), &entry); more;
             more = Process32Next(snapshot.get(), &entry)) {
            if (entry.th32ParentProcessID == m_hostPid) {
                common::CHandle child(OpenProcess(PROCESS_TERMINATE, FALSE, entry.th32ProcessID));
                if (child)
                    TerminateProcess(child.get(), 99);
            }
        }
        TerminateProcess(m_host, 99);
    }

private:
    HANDLE m_host;
    DWORD m_hostPid;
};

TEST(FerruleEndToEnd, HostExportsThreeContactsThroughQuillon)
{
    CSavedValue appData(kShellFoldersKey, "AppData");
    CSavedValue wabFile(kWabFileNameKey, "");
    // Quillon remembers the dialog's choices: none before the test, none left behind.
    CClearedValues exportValues(kQuillonKey, {std::begin(kExportValues), std::end(kExportValues)});
    CTempDir dir;
    ASSERT_TRUE(SetRegString(HKEY_CURRENT_USER, kShellFoldersKey, "AppData", dir.file("appdata")));
    std::string store = dir.file("book.wab");
    ASSERT_EQ(S_OK, WabStandinCreateStore(store.c_str(), L"Contacts"));
    ASSERT_TRUE(SetRegString(HKEY_CURRENT_USER, kWabFileNameKey, "", store));
    char id[WABSTANDIN_ID_TEXT_SIZE] = "";
    ASSERT_EQ(S_OK, WabStandinAddFolder(store.c_str(), L"Friends", id, sizeof id));
    const std::string friends = id;
    std::string ann = AddContact(store, friends, L"Ann Lee");
    AddContact(store, friends, L"Bob Ray");
    AddContact(store, friends, L"Cid Poe");
    AddContact(store, friends, L"Dee Fox");
    LPCSTR members[] = {ann.c_str()};
    ASSERT_EQ(S_OK, WabStandinAddGroup(store.c_str(), friends.c_str(), L"Club", 1, members, 0, nullptr, id, sizeof id));
    std::string target = dir.file("cards");
    ASSERT_TRUE(CreateDirectoryA(target.c_str(), nullptr));

    ASSERT_TRUE(Regsvr32("/s"));
    struct CUnregister {
        ~CUnregister()
        {
            Regsvr32("/s /u");
            for (const char* key : {"CLSID\\{C0CEE871-6EDE-4B3F-9D49-487132A1193C}", "Ferrule.Connect",
                                    "Ferrule.Connect.1", "TypeLib\\{07DC723E-F819-4C2D-AD32-B0F5AB384E80}"})
                DeleteRegTree(HKEY_CLASSES_ROOT, key);
        }
    } unregister;
    // The host finds Ferrule through the address book's list of extensions.
    CFerruleListed listed;
    ASSERT_TRUE(listed.ok());

    DWORD hostPid = 0;
    common::CHandle host = StartProcess("\"" + BinDir() + "\\WabHost.exe\" -store \"" + store +
                                            "\" -folder Friends -command export -wait 90 \"Ann Lee\" \"Cid Poe\" Club \"Dee Fox\"",
                                        std::string(), &hostPid);
    ASSERT_TRUE(host);
    CProcessGuard guard(host.get(), hostPid);
    // Other tests' windows share the display: only the windows of the Quillon.exe the host started
    // are this test's.
    DWORD quillonPid = 0;
    HWND dialog = nullptr;
    WaitUntil([&] {
        if (!quillonPid)
            quillonPid = FindChildProcess(hostPid, "Quillon.exe");
        dialog = quillonPid ? FindTopWindow(quillonPid, "#32770", "Export") : nullptr;
        return dialog || WaitForSingleObject(host.get(), 0) == WAIT_OBJECT_0;
    },
              kWait);
    ASSERT_NE(nullptr, dialog) << "Quillon's export dialog did not open; main.err:\n"
                               << ReadFileBytes(dir.file("appdata") + "\\Brisco\\Quillon\\main.err");
    EXPECT_EQ(BST_CHECKED, SendMessageA(GetDlgItem(dialog, IDC_EXPORT_SELECTED_ONLY), BM_GETCHECK, 0, 0));
    EXPECT_EQ("Friends", WindowText(GetDlgItem(dialog, IDC_EXPORT_SOURCE)));
    SendMessageA(GetDlgItem(dialog, IDC_EXPORT_TARGET), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(target.c_str()));
    ASSERT_TRUE(WaitUntil([&] { return IsWindowEnabled(GetDlgItem(dialog, IDOK)) != FALSE; }, kWait));
    PostClick(dialog, IDOK);

    HWND box = WaitTopWindow(quillonPid, "#32770", "Quillon for Outlook Express", kWait);
    ASSERT_NE(nullptr, box) << "no closing message";
    EXPECT_EQ("Export completed successfully.", DialogStaticText(box));
    PostClick(box, IDOK);
    LONG code = -1;
    ASSERT_TRUE(WaitExit(host.get(), kWait, &code)) << "the host did not end after Quillon";
    EXPECT_EQ(0, code);

    std::vector<std::string> files = ListFiles(target, "*");
    std::sort(files.begin(), files.end());
    EXPECT_EQ((std::vector<std::string>{"Ann Lee.vcf", "Cid Poe.vcf", "Dee Fox.vcf"}), files);
}

}  // namespace
