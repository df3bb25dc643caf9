// End to end: the stand-in address book window (WabHost.exe) invokes "Export contacts to vCard" of
// the registered Ferrule.DLL on three contacts and a group; the real Quillon.exe beside it opens
// the export dialog on their selection, writes the three cards after OK and reports success.
#include <gtest/gtest.h>
#include <windows.h>
#include <tlhelp32.h>

#include <algorithm>
#include <string>
#include <vector>

#include "support/storefile.h"
#include "ui/resource.h"

using namespace testsupport;

namespace {

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
    // Quillon remembers the dialog's choices: none before the test, none left behind.
    CQuillonWorld world(kExportSettings);
    const std::string friends = world.store.AddFolder(L"Friends");
    std::string ann = world.store.AddNamed(friends, L"Ann Lee");
    world.store.AddNamed(friends, L"Bob Ray");
    world.store.AddNamed(friends, L"Cid Poe");
    world.store.AddNamed(friends, L"Dee Fox");
    world.store.AddGroup(friends, L"Club", {ann});
    std::string target = world.file("cards");
    ASSERT_TRUE(CreateDirectoryA(target.c_str(), nullptr));

    CFerruleRegistered registered(BinDir() + "\\Ferrule.DLL");
    ASSERT_TRUE(registered.ok());
    // The host finds Ferrule through the address book's list of extensions.
    CFerruleListed listed;
    ASSERT_TRUE(listed.ok());

    DWORD hostPid = 0;
    common::CHandle host = StartProcess("\"" + BinDir() + "\\WabHost.exe\" -store \"" + world.store.path() +
                                            "\" -folder Friends -command export -wait 90 \"Ann Lee\" \"Cid Poe\" Club \"Dee Fox\"",
                                        std::string(), &hostPid);
    ASSERT_TRUE(host);
    CProcessGuard guard(host.get(), hostPid);
    // Other tests' windows share the display: only the windows of the Quillon.exe the host started
    // are this test's.
    DWORD quillonPid = 0;
    HWND dialog = WaitChildWindow(host.get(), hostPid, "Quillon.exe", "#32770", "Export", &quillonPid);
    ASSERT_NE(nullptr, dialog) << "Quillon's export dialog did not open; " << world.ErrLog();
    EXPECT_TRUE(IsChecked(dialog, IDC_EXPORT_SELECTED_ONLY));
    EXPECT_EQ("Friends", ItemText(dialog, IDC_EXPORT_SOURCE));
    SetItemText(dialog, IDC_EXPORT_TARGET, target);
    ASSERT_TRUE(PressOkWhenEnabled(dialog));
    ASSERT_EQ("Export completed successfully.", TakeClosingMessage(quillonPid));
    LONG code = -1;
    ASSERT_TRUE(WaitExit(host.get(), kWait, &code)) << "the host did not end after Quillon";
    EXPECT_EQ(0, code);

    std::vector<std::string> files = ListFiles(target, "*");
    std::sort(files.begin(), files.end());
    EXPECT_EQ((std::vector<std::string>{"Ann Lee.vcf", "Cid Poe.vcf", "Dee Fox.vcf"}), files);
}

}  // namespace
