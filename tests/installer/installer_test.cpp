// The setup (QUILLON_SETUP) in a Wine prefix of its own, one step after another on one machine:
// refusals that change nothing, a silent install checked file by file and key by key, the
// installed programs at work in the stand-in hosts, upgrades, and uninstalls that leave only the
// user's settings and logs. The steps build on each other and run in the order written.
#include <gtest/gtest.h>
#include <windows.h>
#include <commctrl.h>
#include <shlobj.h>
#include <shobjidl.h>
#include <tlhelp32.h>
#include <wrl/client.h>

#include <algorithm>
#include <memory>
#include <cstdlib>
#include <string>
#include <vector>

#include "common/text.h"
#include "mailclient_ids.h"
#include "support/storefile.h"
#include "ui/resource.h"

using namespace testsupport;
using Microsoft::WRL::ComPtr;

namespace {

const char kUninstallKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall";
const char kEntryKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Quillon";
const char kFerruleClass[] = "CLSID\\{C0CEE871-6EDE-4B3F-9D49-487132A1193C}";
const char kGimletClass[] = "CLSID\\{23AF1216-93FC-4048-8251-3464520A29D2}";
// Every key of ours under HKEY_CLASSES_ROOT, as the servers register themselves.
const char* const kClassKeys[] = {kFerruleClass,
                                  kGimletClass,
                                  "Ferrule.Connect",
                                  "Ferrule.Connect.1",
                                  "Gimlet.Addin",
                                  "TypeLib\\{07DC723E-F819-4C2D-AD32-B0F5AB384E80}",
                                  "TypeLib\\{27B55042-3F91-4D5B-8D3E-F8494D6F5EC4}",
                                  "Interface\\{A1CFFD6D-89A1-4D5A-91DA-87C9053521D5}",
                                  "Interface\\{FCEC23B8-EC5E-4655-8B0A-0098ED7D795F}"};
const char* const kShipped[] = {"Ferrule.DLL", "Gimlet.dll",      "launcher.exe",          "LibBrisco.dll",
                                "Quillon.chm", "Quillon.exe",     "supportedEncodings.txt", "Uninstall.exe"};
const char* const kBinaries[] = {"Quillon.exe", "LibBrisco.dll", "Ferrule.DLL", "Gimlet.dll", "launcher.exe"};

std::string SetupPath()
{
    const char* setup = std::getenv("QUILLON_SETUP");
    return setup ? setup : "";
}

std::string Folder(int csidl)
{
    char path[MAX_PATH] = "";
    return SUCCEEDED(SHGetFolderPathA(nullptr, csidl, nullptr, 0, path)) ? path : "";
}

// The 32-bit Program Files: where a 32-bit setup goes on 64-bit Windows.
std::string DefaultFolder()
{
    char path[MAX_PATH] = "";
    DWORD n = GetEnvironmentVariableA("ProgramFiles(x86)", path, sizeof path);
    return std::string(n && n < sizeof path ? path : "") + "\\Brisco\\Quillon";
}

std::string Shortcuts() { return Folder(CSIDL_COMMON_PROGRAMS) + "\\Quillon"; }
std::string DataFolder() { return Folder(CSIDL_APPDATA) + "\\Brisco\\Quillon"; }

DWORD RegNumber(HKEY root, const std::string& key, const char* name)
{
    DWORD value = 0, size = sizeof value;
    return RegGetValueA(root, key.c_str(), name, RRF_RT_REG_DWORD, nullptr, &value, &size) == ERROR_SUCCESS ? value : 0;
}

// The Add/Remove entries named Quillon, whatever their key.
int QuillonEntries()
{
    common::CRegKey k;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kUninstallKey, 0, KEY_READ, k.put()) != ERROR_SUCCESS)
        return 0;
    int count = 0;
    char name[256];
    for (DWORD i = 0;; ++i) {
        DWORD size = sizeof name;
        if (RegEnumKeyExA(k.get(), i, name, &size, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
            break;
        count += RegText(HKEY_LOCAL_MACHINE, std::string(kUninstallKey) + "\\" + name, "DisplayName") == "Quillon";
    }
    return count;
}

bool FerruleListed() { return RegText(HKEY_LOCAL_MACHINE, kWabExtContextKey, kFerruleClsid) != "<missing>"; }

// A stripped image has no COFF symbols (the header's count of them is 0).
bool Stripped(const std::string& file)
{
    std::string bytes = ReadFileBytes(file);
    if (bytes.size() < 0x40)
        return false;
    DWORD pe = *reinterpret_cast<const DWORD*>(&bytes[0x3C]);
    if (pe + 24 > bytes.size() || bytes.compare(pe, 4, std::string("PE\0\0", 4)) != 0)
        return false;
    return *reinterpret_cast<const DWORD*>(&bytes[pe + 16]) == 0;
}

// A shortcut's target and arguments as "target|arguments".
std::string ShortcutTarget(const std::string& link)
{
    ComPtr<IShellLinkA> shell;
    ComPtr<IPersistFile> file;
    if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&shell))) ||
        FAILED(shell.As(&file)))
        return "<no shell link>";
    std::wstring wide(link.begin(), link.end());
    char target[MAX_PATH] = "", arguments[MAX_PATH] = "";
    if (FAILED(file->Load(wide.c_str(), STGM_READ)) || FAILED(shell->GetPath(target, MAX_PATH, nullptr, 0)) ||
        FAILED(shell->GetArguments(arguments, MAX_PATH)))
        return "<unreadable>";
    return std::string(target) + "|" + arguments;
}

// UTF-16 arguments: a folder may be named in any script.
LONG RunSetup(const std::wstring& arguments)
{
    std::wstring line = L"\"" + common::AnsiToWide(SetupPath()) + L"\" " + arguments;
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION started = {};
    if (!CreateProcessW(nullptr, &line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &started)) {
        ADD_FAILURE() << "the setup did not start: " << common::ToUtf8(arguments);
        return -1;
    }
    common::CHandle thread(started.hThread), process(started.hProcess);
    LONG code = -1;
    EXPECT_TRUE(WaitExit(process.get(), kWait, &code)) << "the setup did not end: " << common::ToUtf8(arguments);
    return code;
}
LONG RunSetup(const std::string& arguments) { return RunSetup(common::AnsiToWide(arguments)); }

// Folders whose names the ANSI code page (1252 here) cannot write: Cyrillic, and a letter that
// "best fit" would turn into a plain A.
const wchar_t* const kForeignFolders[] = {L"C:\\Apps\\\u041f\u0440\u0438\u043c\u0435\u0440\\Quillon",
                                          L"C:\\Apps\\\u0100dam\\Quillon"};

// The uninstaller copies itself away and runs the copy, so that it can delete itself: the copy
// is the one that works. Gives the copy (0 when there is none) or the first one's exit code.
DWORD StartUninstaller(const std::string& folder, const std::string& arguments, LONG* firstCode)
{
    DWORD pid = 0;
    common::CHandle first = StartProcess("\"" + folder + "\\Uninstall.exe\" " + arguments, "", &pid);
    *firstCode = -1;
    if (!first || !WaitExit(first.get(), kWait, firstCode) || *firstCode != 0)
        return 0;
    common::CFileHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    PROCESSENTRY32 entry = {};
    entry.dwSize = sizeof entry;
    for (BOOL more = Process32First(snapshot.get(), &entry); more; more = Process32Next(snapshot.get(), &entry)) {
        if (entry.th32ParentProcessID == pid)
            return entry.th32ProcessID;
    }
    return 0;
}

LONG WaitProcess(DWORD pid)
{
    LONG code = -1;
    common::CHandle process(OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION | PROCESS_TERMINATE, FALSE, pid));
    EXPECT_TRUE(process && WaitExit(process.get(), kWait, &code)) << "process " << pid << " did not end";
    return code;
}

LONG RunUninstaller(const std::string& folder, const std::string& arguments)
{
    LONG code = -1;
    DWORD copy = StartUninstaller(folder, arguments, &code);
    if (code != 0)
        return code;
    EXPECT_NE(0u, copy) << "the uninstaller started no copy of itself";
    return copy ? WaitProcess(copy) : -1;
}

// The user's settings and logs, as Quillon leaves them.
void MakeUserData()
{
    ASSERT_TRUE(SetRegDword(HKEY_CURRENT_USER, kQuillonKey, "LogLevel", 2));
    SHCreateDirectoryExA(nullptr, DataFolder().c_str(), nullptr);
    ASSERT_TRUE(WriteFileBytes(DataFolder() + "\\main.log", "log"));
}

// Everything the setup puts in place, for the install in `folder`.
void ExpectInstalled(const std::string& folder)
{
    std::vector<std::string> files = ListFiles(folder);
    std::sort(files.begin(), files.end(), [](const std::string& a, const std::string& b) {
        return lstrcmpiA(a.c_str(), b.c_str()) < 0;
    });
    EXPECT_EQ(std::vector<std::string>(std::begin(kShipped), std::end(kShipped)), files) << folder;
    for (const char* binary : kBinaries)
        EXPECT_TRUE(Stripped(folder + "\\" + binary)) << binary;
    EXPECT_EQ(ReadFileBytes(BinDir() + "\\supportedEncodings.txt"), ReadFileBytes(folder + "\\supportedEncodings.txt"));

    EXPECT_EQ(1, QuillonEntries());
    const std::string version = VersionValue(BinDir() + "\\Quillon.exe", "file");
    const struct {
        const char* name;
        std::string value;
    } entry[] = {{"DisplayName", "Quillon"},
                 {"DisplayVersion", version},
                 {"Publisher", "Brisco"},
                 {"InstallLocation", folder},
                 {"UninstallString", "\"" + folder + "\\Uninstall.exe\""},
                 {"DisplayIcon", folder + "\\Quillon.exe,0"}};
    for (const auto& v : entry)
        EXPECT_EQ(v.value, RegText(HKEY_LOCAL_MACHINE, kEntryKey, v.name)) << v.name;
    // In KB, of what was installed (the stripped programs are about 1.7 MB together).
    DWORD size = RegNumber(HKEY_LOCAL_MACHINE, kEntryKey, "EstimatedSize");
    EXPECT_TRUE(size > 500 && size < 20000) << size;

    EXPECT_EQ(folder + "\\Ferrule.DLL", RegText(HKEY_CLASSES_ROOT, std::string(kFerruleClass) + "\\InprocServer32", nullptr));
    EXPECT_EQ(folder + "\\Gimlet.dll", RegText(HKEY_CLASSES_ROOT, std::string(kGimletClass) + "\\InprocServer32", nullptr));
    for (const char* key : kClassKeys)
        EXPECT_TRUE(RegKeyExists(HKEY_CLASSES_ROOT, key)) << key;
    EXPECT_TRUE(FerruleListed());

    const std::string quillon = folder + "\\Quillon.exe";
    EXPECT_EQ(quillon + "|-export", ShortcutTarget(Shortcuts() + "\\Export contacts to vCard.lnk"));
    EXPECT_EQ(quillon + "|-import", ShortcutTarget(Shortcuts() + "\\Import contacts from vCard.lnk"));
    EXPECT_EQ(quillon + "|-help", ShortcutTarget(Shortcuts() + "\\Quillon Help.lnk"));
    EXPECT_EQ(folder + "\\Uninstall.exe|", ShortcutTarget(Shortcuts() + "\\Uninstall Quillon.lnk"));
}

// Nothing of ours: no files, folders, keys, values, shortcuts or entries.
void ExpectNothingInstalled(const std::string& folder)
{
    EXPECT_FALSE(FileExists(folder)) << folder;
    EXPECT_FALSE(FileExists(DefaultFolder())) << DefaultFolder();
    EXPECT_FALSE(FileExists(DefaultFolder() + "\\..")) << "the maker's folder";
    EXPECT_FALSE(FileExists(Shortcuts()));
    EXPECT_EQ(0, QuillonEntries());
    EXPECT_FALSE(RegKeyExists(HKEY_LOCAL_MACHINE, kEntryKey));
    for (const char* key : kClassKeys)
        EXPECT_FALSE(RegKeyExists(HKEY_CLASSES_ROOT, key)) << key;
    EXPECT_FALSE(FerruleListed());
    // The address book's keys were made for our entry alone in this prefix.
    EXPECT_FALSE(RegKeyExists(HKEY_LOCAL_MACHINE, kWabExtContextKey));
}

// The installed Quillon with its About box open (it then holds its mutex); closes it on request.
class CRunningQuillon {
public:
    explicit CRunningQuillon(const std::string& folder)
    {
        m_process = StartProcess("\"" + folder + "\\Quillon.exe\" -about", "", &m_pid);
        m_box = m_process ? WaitTopWindow(m_pid, "#32770", "About Quillon", kWait) : nullptr;
    }
    ~CRunningQuillon()
    {
        if (m_process)
            TerminateProcess(m_process.get(), 99);
    }
    HWND box() const { return m_box; }
    // Presses OK in the About box; the exit code, or -1 when it did not end.
    LONG Close()
    {
        LONG code = -1;
        PostClick(m_box, IDOK);
        if (!WaitExit(m_process.get(), kWait, &code))
            return -1;
        m_process.reset();
        return code;
    }

private:
    common::CHandle m_process;
    DWORD m_pid = 0;
    HWND m_box = nullptr;
};

BOOL CALLBACK AddText(HWND child, LPARAM texts)
{
    *reinterpret_cast<std::string*>(texts) += WindowText(child) + "\n";
    return TRUE;
}

// The texts of a window and of all its descendants, one line each.
std::string AllTexts(HWND top)
{
    std::string texts = WindowText(top) + "\n";
    EnumChildWindows(top, AddText, reinterpret_cast<LPARAM>(&texts));
    return texts;
}

struct CControlSearch {
    int id;
    HWND found;
};

BOOL CALLBACK MatchControl(HWND child, LPARAM data)
{
    auto* search = reinterpret_cast<CControlSearch*>(data);
    if (GetDlgCtrlID(child) != search->id)
        return TRUE;
    search->found = child;
    return FALSE;
}

// A descendant control by its id (the setup's pages are dialogs inside its window).
HWND FindControl(HWND top, int id)
{
    CControlSearch search = {id, nullptr};
    EnumChildWindows(top, MatchControl, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

const int kNext = 1;  // Next, Install and Finish are one button of the setup's window

struct COtherDialogSearch {
    DWORD pid;
    HWND main;
    HWND found;
};

BOOL CALLBACK MatchOtherDialog(HWND window, LPARAM data)
{
    auto* search = reinterpret_cast<COtherDialogSearch*>(data);
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    char name[16] = "";
    GetClassNameA(window, name, sizeof name);
    if (pid != search->pid || window == search->main || !IsWindowVisible(window) || lstrcmpA(name, "#32770") != 0)
        return TRUE;
    search->found = window;
    return FALSE;
}

// A dialog of the process besides its main window: a message box.
HWND OtherDialog(DWORD pid, HWND main)
{
    COtherDialogSearch search = {pid, main, nullptr};
    EnumWindows(MatchOtherDialog, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

// Waits through the progress page to the page whose text holds `finish`, pressing Next whenever
// the page offers it again.
bool WaitFinishPage(HWND window, const char* finish)
{
    DWORD posted = 0;
    return WaitUntil([&] {
        if (AllTexts(window).find(finish) != std::string::npos)
            return true;
        HWND next = GetDlgItem(window, kNext);
        if (IsWindowEnabled(next) && WindowText(next) == "&Next >" && GetTickCount() - posted > 1000) {
            PostClick(window, kNext);
            posted = GetTickCount();
        }
        return false;
    }, kWait);
}

// Where the current install is; each step leaves it for the next.
std::string g_folder;

class Setup : public ::testing::Test {
protected:
    static void SetUpTestSuite() { CoInitialize(nullptr); }
    static void TearDownTestSuite() { CoUninitialize(); }
    void SetUp() override { ASSERT_TRUE(FileExists(SetupPath())) << "QUILLON_SETUP names no setup: " << SetupPath(); }
};

TEST_F(Setup, DamagedSetupInstallsNothing)
{
    CTempDir dir;
    const std::string bytes = ReadFileBytes(SetupPath());
    ASSERT_GT(bytes.size(), 200000u);
    std::string flipped = bytes;
    for (size_t i = bytes.size() / 2; i < bytes.size() / 2 + 16; ++i)
        flipped[i] = static_cast<char>(~flipped[i]);
    const struct {
        const char* name;
        std::string bytes;
    } damaged[] = {{"truncated.exe", bytes.substr(0, bytes.size() * 2 / 3)}, {"flipped.exe", flipped}};
    for (const auto& d : damaged) {
        ASSERT_TRUE(WriteFileBytes(dir.file(d.name), d.bytes));
        LONG code = -1;
        // /NCRC would skip the check of an ordinary NSIS setup; this one checks regardless.
        ASSERT_TRUE(RunProcess("\"" + dir.file(d.name) + "\" /S /NCRC", &code, kWait)) << d.name;
        EXPECT_EQ(2, code) << d.name;
    }
    ExpectNothingInstalled(DefaultFolder());
}

TEST_F(Setup, ImpossibleFolderIsRefused)
{
    // A file on the way, and a drive that does not exist: NSIS alone would fall back to the default.
    for (const char* folder : {"C:\\windows\\win.ini\\Quillon", "Q:\\Nowhere\\Quillon"})
        EXPECT_EQ(4, RunSetup(std::string("/S /D=") + folder)) << folder;
    // A name outside the ANSI code page: everything would register, and nothing would open.
    for (const wchar_t* folder : kForeignFolders)
        EXPECT_EQ(4, RunSetup(std::wstring(L"/S /D=") + folder)) << common::ToUtf8(folder);
    EXPECT_FALSE(FileExists("C:\\Apps"));
    ExpectNothingInstalled(DefaultFolder());
}

TEST_F(Setup, SilentInstallPutsEverythingInPlace)
{
    ASSERT_EQ(0, RunSetup("/S"));
    g_folder = DefaultFolder();
    ExpectInstalled(g_folder);
    EXPECT_FALSE(Stripped(BinDir() + "\\Quillon.exe")) << "the build's own copy has its symbols";
}

TEST_F(Setup, InstalledQuillonShowsItsAboutBox)
{
    CRunningQuillon quillon(g_folder);
    ASSERT_NE(nullptr, quillon.box()) << "no About box";
    EXPECT_NE(std::string::npos,
              DialogStaticText(quillon.box()).find("Version " + VersionValue(BinDir() + "\\Quillon.exe", "file")));
    EXPECT_EQ(0, quillon.Close());
}

// The stand-in address book window, from the build, finds the installed Ferrule through the
// installed registration; its export runs the installed Quillon over the stand-in address book.
TEST_F(Setup, HostExportsThroughTheInstalledFerrule)
{
    CTempDir dir;
    ASSERT_TRUE(SetRegString(HKEY_LOCAL_MACHINE, "Software\\Microsoft\\WAB\\DLLPath", "", BinDir() + "\\wab32.dll"));
    CStoreFile store;
    store.AddNamed("", L"Ann Lee");
    ASSERT_TRUE(SetRegString(HKEY_CURRENT_USER, kWabFileNameKey, "", store.path()));
    const std::string cards = dir.file("cards");
    ASSERT_TRUE(CreateDirectoryA(cards.c_str(), nullptr));

    DWORD hostPid = 0;
    common::CHandle host =
        StartProcess("\"" + BinDir() + "\\WabHost.exe\" -store \"" + store.path() + "\" -command export -wait 90", "", &hostPid);
    ASSERT_TRUE(host);
    DWORD quillonPid = 0;
    HWND dialog = WaitChildWindow(host.get(), hostPid, "Quillon.exe", "#32770", "Export", &quillonPid);
    ASSERT_NE(nullptr, dialog) << "the installed Quillon showed no export dialog";
    common::CHandle quillon(OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, quillonPid));
    char image[MAX_PATH] = "";
    DWORD size = sizeof image;
    ASSERT_TRUE(quillon && QueryFullProcessImageNameA(quillon.get(), 0, image, &size));
    EXPECT_EQ(0, lstrcmpiA((g_folder + "\\Quillon.exe").c_str(), image)) << image;

    SetItemText(dialog, IDC_EXPORT_TARGET, cards);
    ASSERT_TRUE(PressOkWhenEnabled(dialog));
    ASSERT_EQ("Export completed successfully.", TakeClosingMessage(quillonPid));
    LONG code = -1;
    ASSERT_TRUE(WaitExit(host.get(), kWait, &code)) << "the host did not end after Quillon";
    EXPECT_EQ(0, code);
    EXPECT_EQ(std::vector<std::string>{"Ann Lee.vcf"}, ListFiles(cards));
}

// The stand-in mail client, from the build, loads the installed Gimlet by its registration; its
// About item starts the installed Quillon.
TEST_F(Setup, MailClientLoadsTheInstalledGimlet)
{
    ASSERT_TRUE(Regsvr32("/s", BinDir() + "\\Tanager.dll"));
    common::CScopeExit unregister([] { Regsvr32("/s /u", BinDir() + "\\Tanager.dll"); });
    DWORD pid = 0;
    common::CHandle client = StartProcess("\"" + BinDir() + "\\mailclient.exe\"", "", &pid);
    ASSERT_TRUE(client);
    HWND main = nullptr;
    ASSERT_TRUE(WaitUntil([&] { return (main = FindTopWindow(pid, mailclient::kWindowClass, "")) != nullptr; }, kWait))
        << "the mail client's window did not show";
    HWND list = GetDlgItem(main, mailclient::kFolderListId);
    SendMessageA(list, LB_SETCURSEL, 0, 0);
    PostMessageA(main, WM_COMMAND, MAKEWPARAM(mailclient::kFolderListId, LBN_SELCHANGE), reinterpret_cast<LPARAM>(list));
    HWND toolbar = nullptr;
    EXPECT_TRUE(WaitUntil([&] {
        toolbar = GetDlgItem(main, mailclient::kToolbarIdBase);
        return toolbar && SendMessageA(toolbar, TB_BUTTONCOUNT, 0, 0) == 3;
    }, kWait)) << "Gimlet's toolbar did not appear";

    PostMessageA(main, WM_COMMAND, MAKEWPARAM(mailclient::ItemCommand(0, 2, 1), 0), 0);
    DWORD quillonPid = 0;
    WaitUntil([&] { return (quillonPid = FindChildProcess(pid, "Quillon.exe")) != 0; }, kWait);
    HWND about = quillonPid ? WaitTopWindow(quillonPid, "#32770", "About Quillon", kWait) : nullptr;
    EXPECT_NE(nullptr, about) << "About Quillon did not start the installed Quillon";
    if (about) {
        PostClick(about, IDOK);
        WaitUntil([&] { return !IsWindow(about); }, kWait);
    }
    PostMessageA(main, WM_CLOSE, 0, 0);
    LONG code = -1;
    EXPECT_TRUE(WaitExit(client.get(), kWait, &code)) << "the mail client did not end";
}

// While Quillon runs (its mutex), or while a host holds one of our files (a loaded server; here a
// handle that shares nothing), setup and uninstall refuse and change nothing.
TEST_F(Setup, RefusedWhileQuillonRunsOrAFileIsInUse)
{
    // A file we can tell apart: the refused runs must not replace it.
    const std::string encodings = g_folder + "\\supportedEncodings.txt";
    ASSERT_TRUE(WriteFileBytes(encodings, "marker"));
    for (LONG expected : {3, 6}) {
        std::unique_ptr<CRunningQuillon> quillon;
        common::CFileHandle held;
        if (expected == 3) {
            quillon.reset(new CRunningQuillon(g_folder));
            ASSERT_NE(nullptr, quillon->box());
        } else {
            held.reset(CreateFileA((g_folder + "\\Gimlet.dll").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0,
                                   nullptr));
            ASSERT_TRUE(held);
        }
        EXPECT_EQ(expected, RunSetup("/S"));
        EXPECT_EQ(expected, RunUninstaller(g_folder, "/S"));
        if (quillon) {
            EXPECT_EQ(0, quillon->Close());
        }
        held.reset();
        EXPECT_EQ("marker", ReadFileBytes(encodings)) << expected;
        EXPECT_TRUE(FileExists(g_folder + "\\Uninstall.exe")) << expected;
        EXPECT_EQ(1, QuillonEntries()) << expected;
        EXPECT_TRUE(FerruleListed()) << expected;
        EXPECT_EQ(g_folder + "\\Gimlet.dll",
                  RegText(HKEY_CLASSES_ROOT, std::string(kGimletClass) + "\\InprocServer32", nullptr))
            << expected;
    }
}

// Over an earlier version in place: its files replaced, its registration redone, one entry.
TEST_F(Setup, UpgradeInPlaceReplacesFilesAndRegistration)
{
    ASSERT_TRUE(SetRegString(HKEY_LOCAL_MACHINE, kEntryKey, "DisplayVersion", "2.0.0.1"));
    ASSERT_TRUE(WriteFileBytes(g_folder + "\\supportedEncodings.txt", "earlier"));
    DeleteRegTree(HKEY_CLASSES_ROOT, std::string(kFerruleClass) + "\\InprocServer32");
    ASSERT_EQ(ERROR_SUCCESS, RegDeleteKeyValueA(HKEY_LOCAL_MACHINE, kWabExtContextKey, kFerruleClsid));
    ASSERT_EQ(0, RunSetup("/S"));
    ExpectInstalled(g_folder);
}

// The pages a user sees, over the install there: welcome, the folder (the earlier install's),
// progress, finish.
TEST_F(Setup, InteractiveSetupWalksItsPages)
{
    DWORD pid = 0;
    common::CHandle setup = StartProcess("\"" + SetupPath() + "\"", "", &pid);
    ASSERT_TRUE(setup);
    HWND window = WaitTopWindow(pid, "#32770", "Quillon", kWait);
    ASSERT_NE(nullptr, window) << "the setup showed no window";
    ASSERT_TRUE(WaitUntil([&] { return AllTexts(window).find("Welcome to Quillon Setup") != std::string::npos; }, kWait))
        << AllTexts(window);
    PostClick(window, kNext);
    HWND folder = nullptr;
    ASSERT_TRUE(WaitUntil([&] { return (folder = FindControl(window, 1019)) != nullptr; }, kWait)) << "no folder page";
    std::string shown = WindowText(folder);
    if (!shown.empty() && shown.back() == '\\')  // the page may show it with a separator at the end
        shown.pop_back();
    EXPECT_EQ(g_folder, shown);
    // A folder the ANSI code page cannot name is refused on the page, which stays.
    SendMessageW(folder, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(kForeignFolders[0]));
    PostClick(window, kNext);
    HWND refusal = nullptr;
    ASSERT_TRUE(WaitUntil([&] { return (refusal = OtherDialog(pid, window)) != nullptr; }, kWait))
        << "the folder was not refused: " << AllTexts(window);
    EXPECT_NE(std::string::npos, DialogStaticText(refusal).find("outside this system's code page"))
        << DialogStaticText(refusal);
    PostClick(refusal, IDOK);
    ASSERT_TRUE(WaitUntil([&] { return !IsWindow(refusal); }, kWait));
    EXPECT_EQ(folder, FindControl(window, 1019)) << "the folder page did not stay";
    SetWindowTextA(folder, g_folder.c_str());
    PostClick(window, kNext);
    // The progress page stays when done; its Next leads to the finish page.
    ASSERT_TRUE(WaitFinishPage(window, "Completing Quillon Setup")) << AllTexts(window);
    PostClick(window, kNext);
    LONG code = -1;
    ASSERT_TRUE(WaitExit(setup.get(), kWait, &code));
    EXPECT_EQ(0, code);
    ExpectInstalled(g_folder);
}

// /D= a folder that does not exist yet, named with letters beyond ASCII: it is made, and the
// earlier install elsewhere goes.
TEST_F(Setup, UpgradeIntoANewFolderMovesTheInstall)
{
    const std::string previous = g_folder;
    // Not ASCII, but in the ANSI code page (1252): taken.
    const std::string folder = "C:\\Apps\\Brisco T\xf6\xf6ls\\Quillon";
    ASSERT_FALSE(FileExists("C:\\Apps"));
    ASSERT_EQ(0, RunSetup("/S /D=" + folder));
    g_folder = folder;
    ExpectInstalled(g_folder);
    EXPECT_FALSE(FileExists(previous));
    EXPECT_FALSE(FileExists(DefaultFolder() + "\\.."));
}

// Files deleted by hand: the uninstaller still removes the rest, registration included, and
// keeps the user's settings and logs.
TEST_F(Setup, UninstallOfAHalfRemovedInstallKeepsUserData)
{
    ASSERT_TRUE(FileExists(DataFolder() + "\\main.log")) << "Quillon ran; where is its log?";
    ASSERT_TRUE(SetRegDword(HKEY_CURRENT_USER, kQuillonKey, "LogLevel", 2));
    for (const char* gone : {"Quillon.exe", "Ferrule.DLL", "Gimlet.dll"})
        ASSERT_TRUE(DeleteFileA((g_folder + "\\" + gone).c_str())) << gone;
    EXPECT_EQ(0, RunUninstaller(g_folder, "/S"));
    ExpectNothingInstalled(g_folder);
    EXPECT_TRUE(RegKeyExists(HKEY_CURRENT_USER, kQuillonKey));
    EXPECT_TRUE(FileExists(DataFolder() + "\\main.log"));
}

// The uninstaller's pages: confirm, the components with the user's data unchosen (chosen here),
// progress, finish.
TEST_F(Setup, InteractiveUninstallRemovesUserDataWhenChosen)
{
    ASSERT_EQ(0, RunSetup("/S"));
    g_folder = DefaultFolder();
    MakeUserData();
    LONG code = -1;
    DWORD copy = StartUninstaller(g_folder, "", &code);
    ASSERT_NE(0u, copy) << "the uninstaller started no copy of itself: " << code;
    HWND window = WaitTopWindow(copy, "#32770", "Quillon", kWait);
    ASSERT_NE(nullptr, window) << "the uninstaller showed no window";
    PostClick(window, kNext);
    HWND tree = nullptr;
    ASSERT_TRUE(WaitUntil([&] { return (tree = FindControl(window, 1032)) != nullptr; }, kWait)) << "no components page";
    // The second item is the user's data; space toggles the selected item's box.
    HTREEITEM data = TreeView_GetNextSibling(tree, TreeView_GetRoot(tree));
    ASSERT_NE(nullptr, data);
    const UINT unchosen = TreeView_GetItemState(tree, data, TVIS_STATEIMAGEMASK);
    TreeView_SelectItem(tree, data);
    PostMessageA(tree, WM_KEYDOWN, VK_SPACE, 0);
    ASSERT_TRUE(WaitUntil([&] { return TreeView_GetItemState(tree, data, TVIS_STATEIMAGEMASK) != unchosen; }, kWait));
    PostClick(window, kNext);
    ASSERT_TRUE(WaitFinishPage(window, "Completing Quillon Uninstall")) << AllTexts(window);
    PostClick(window, kNext);
    EXPECT_EQ(0, WaitProcess(copy));
    ExpectNothingInstalled(g_folder);
    EXPECT_FALSE(RegKeyExists(HKEY_CURRENT_USER, kQuillonKey));
    EXPECT_FALSE(FileExists(DataFolder()));
}

TEST_F(Setup, UninstallRemovesUserDataWhenAsked)
{
    ASSERT_EQ(0, RunSetup("/S"));
    g_folder = DefaultFolder();
    ExpectInstalled(g_folder);
    MakeUserData();
    EXPECT_EQ(0, RunUninstaller(g_folder, "/S /REMOVEUSERDATA"));
    ExpectNothingInstalled(g_folder);
    EXPECT_FALSE(RegKeyExists(HKEY_CURRENT_USER, kQuillonKey));
    EXPECT_FALSE(FileExists(DataFolder()));
}

}  // namespace
