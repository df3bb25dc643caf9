// Where the address book comes from and what happens when it cannot be opened: the library path
// under HKLM "Software\Microsoft\WAB\DLLPath" with its environment references, and Quillon.exe
// itself started with a failing or missing address book, or without its encodings file.
//
// These tests change the machine-wide library path for a few milliseconds at a time and run the
// program (its mutex, its data folder), so they hold the program's state lock.
#include <gtest/gtest.h>

#include <algorithm>

#include <string>

#include "support/logcapture.h"
#include "support/storefile.h"
#include "wab/WABLib.h"

using namespace testsupport;

namespace {

const char kDllPathKey[] = "Software\\Microsoft\\WAB\\DLLPath";

void ClearDllPath()
{
    ::RegDeleteKeyA(HKEY_LOCAL_MACHINE, kDllPathKey);
}

// Opens a session with the library path set to value (REG_SZ, or REG_EXPAND_SZ), and removes
// the path again at once, so that other programs opening the address book meanwhile are not
// misled for longer than this call.
bool InitWithDllPath(CWABLib& wab, const std::string& value, const std::string& store, DWORD type = REG_SZ)
{
    EXPECT_TRUE(SetRegString(HKEY_LOCAL_MACHINE, kDllPathKey, "", value, type));
    bool ok = wab.Init(false, store.c_str(), false);
    ClearDllPath();
    return ok;
}

class DllPath : public ::testing::Test {
protected:
    void SetUp() override { ClearDllPath(); }
    void TearDown() override { ClearDllPath(); }
    CStoreFile book;
    CTempDir& dir = book.dir;
    std::string store = book.path();
    CLogCapture log;
    CWABLib wab;
};

}  // namespace

TEST_F(DllPath, WithoutTheKeyTheLibraryIsLoadedByName)
{
    ASSERT_TRUE(wab.Init(true, store.c_str(), true));
    EXPECT_TRUE(wab.IsOpen());
    EXPECT_EQ("", log.Lines());
}

TEST_F(DllPath, EnvironmentReferencesAreExpanded)
{
    CScopedEnv wabDir("QUILLON_TEST_WABDIR", BinDir().c_str());
    EXPECT_TRUE(InitWithDllPath(wab, "%QUILLON_TEST_WABDIR%\\wab32.dll", store, REG_EXPAND_SZ));
    EXPECT_TRUE(wab.IsOpen());
    EXPECT_TRUE(InitWithDllPath(wab, "%QUILLON_TEST_WABDIR%\\wab32.dll", store, REG_SZ))
        << "a percent sign is expanded whatever the value's type";
    EXPECT_EQ("", log.Lines());
}

TEST_F(DllPath, FailureLines)
{
    // Long enough that the expanded path does not fit the 260-byte buffer.
    std::string longDir = BinDir() + "\\" + std::string(280, 'x');
    CScopedEnv wabDir("QUILLON_TEST_WABDIR", longDir.c_str());
    std::string need = std::to_string(longDir.size() + std::string("\\wab32.dll").size() + 1);
    struct Case {
        std::string value;
        std::string lines;
    } cases[] = {
        {dir.file("missing.dll"), "Err[0x7e] in CWAB::Init: Cant load wab32.dll\n"},
        {BinDir() + "\\common_tests.exe", "Err[0x7f] in CWAB::Init: Cant find WABOpen function in wab32.dll\n"},
        {"%QUILLON_TEST_WABDIR%\\wab32.dll", "Err in CWAB::Init: ExpandEnvironmentStrings - need " + need +
                                                 " bytes\nErr[0x7e] in CWAB::Init: Cant load wab32.dll\n"},
    };
    for (const Case& c : cases) {
        log.Clear();
        EXPECT_FALSE(InitWithDllPath(wab, c.value, store)) << c.value;
        EXPECT_FALSE(wab.IsOpen());
        EXPECT_EQ(nullptr, wab.AddrBook());
        EXPECT_EQ(c.lines, log.Lines()) << c.value;
    }
}

TEST_F(DllPath, FailedOpenLeavesNothingHeld)
{
    ASSERT_EQ(S_OK, WabStandinInjectFault("WABOpen", "*", MAPI_E_NOT_FOUND, 0));
    EXPECT_FALSE(wab.Init(true, store.c_str(), true));
    WabStandinClearFaults();
    EXPECT_FALSE(wab.IsOpen());
    EXPECT_EQ(nullptr, wab.AddrBook());
    EXPECT_EQ(nullptr, wab.WABObject());
    EXPECT_EQ("Err[0x8004010f] in CWAB::Init: Cant init wab\n", log.Lines());
    EXPECT_FALSE(wab.ReInit()) << "a failed Init leaves no session to open again";
}

namespace {

// Quillon.exe as a process, its logs under a scratch AppData.
class QuillonStartup : public ::testing::Test {
protected:
    void SetUp() override { ClearDllPath(); }
    void TearDown() override { ClearDllPath(); }

    std::string ErrLog() const { return ReadFileBytes(dir.DataFile("main.err")); }

    // Starts the program, answers the one message box expected (caption and text checked), and
    // returns the exit code. closeDebugWindow: the run then shows its debug window; close it.
    LONG RunAnsweringBox(const std::string& program, const std::string& args, const std::string& caption,
                         const std::string& text, bool closeDebugWindow,
                         const std::vector<std::pair<std::string, std::string>>& env = {},
                         void (*onBox)() = nullptr)
    {
        DWORD pid = 0;
        common::CHandle process = StartProcess("\"" + program + "\" " + args, std::string(), &pid, env);
        EXPECT_TRUE(process.valid());
        if (!process)
            return 12345;
        HWND box = WaitTopWindow(pid, "#32770", caption, kWait);
        if (onBox)
            onBox();
        EXPECT_NE(nullptr, box) << "no message box \"" << caption << "\" appeared";
        if (box) {
            EXPECT_EQ(caption, WindowText(box));
            EXPECT_EQ(text, DialogStaticText(box));
            PostClick(box, IDOK);
        }
        if (closeDebugWindow) {
            HWND window = WaitTopWindow(pid, "Brisco.Quillon", "", kWait);
            EXPECT_NE(nullptr, window) << "the debug window did not appear";
            if (window)
                ::PostMessageA(window, WM_CLOSE, 0, 0);
        }
        LONG code = 12345;
        EXPECT_TRUE(WaitExit(process.get(), kWait, &code)) << "Quillon did not end";
        return code;
    }

    CScratchAppData dir;
    std::string exe = BinDir() + "\\Quillon.exe";
};

}  // namespace

TEST_F(QuillonStartup, FailingAddressBookShowsWabInitFailedAndEndsWithMinusOne)
{
    EXPECT_EQ(-1, RunAnsweringBox(exe, "-export", "Error", "WAB INIT FAILED", false,
                                  {{"WAB_STANDIN_FAULTS", "WABOpen:*:0x80004005"}}));
    std::string err = ErrLog();
    EXPECT_NE(std::string::npos, err.find(" Err[0x80004005] in CWAB::Init: Cant init wab\r\n")) << err;
}

// A library path that leads nowhere. The path is machine-wide: it is removed again as soon as
// the program has tried it (its box is up), so that other programs are misled only briefly.
TEST_F(QuillonStartup, MissingAddressBookShowsWabInitFailedAndEndsWithMinusOne)
{
    ASSERT_TRUE(SetRegString(HKEY_LOCAL_MACHINE, kDllPathKey, "", dir.file("nowhere\\wab32.dll")));
    EXPECT_EQ(-1, RunAnsweringBox(exe, "-import", "Error", "WAB INIT FAILED", false, {}, ClearDllPath));
    std::string err = ErrLog();
    EXPECT_NE(std::string::npos, err.find(" Err[0x7e] in CWAB::Init: Cant load wab32.dll\r\n")) << err;
}

// A program folder without supportedEncodings.txt: the run goes on with UTF-8 after a warning, and
// the log says which file was missing.
TEST_F(QuillonStartup, MissingEncodingsFileWarnsAndTheRunGoesOn)
{
    std::string prog = dir.file("prog");
    ASSERT_TRUE(::CreateDirectoryA(prog.c_str(), nullptr));
    for (const char* file : {"Quillon.exe", "LibBrisco.dll", "wab32.dll"})
        ASSERT_TRUE(CopyFileTo(BinDir() + "\\" + file, prog + "\\" + file)) << file;
    EXPECT_EQ(0, RunAnsweringBox(prog + "\\Quillon.exe", "-debug", "Quillon",
                                 "Supported encodings file was not found.\nOnly UTF-8 encoding will be available",
                                 true));
    std::string err = ErrLog();
    EXPECT_NE(std::string::npos, err.find(" War[0x80070002] in CCharConverter::Load: " + prog +
                                          "\\supportedEncodings.txt: cant open file\r\n"))
        << err;
    EXPECT_EQ(1, std::count(err.begin(), err.end(), '\n')) << err;
}

// With the file beside the program no box comes: the debug window is the first window.
TEST_F(QuillonStartup, EncodingsFileBesideTheProgramNeedsNoWarning)
{
    DWORD pid = 0;
    common::CHandle process = StartProcess("\"" + exe + "\" -debug", std::string(), &pid);
    ASSERT_TRUE(process.valid());
    HWND window = WaitTopWindow(pid, "Brisco.Quillon", "", kWait);
    ASSERT_NE(nullptr, window);
    EXPECT_EQ(nullptr, FindTopWindow(pid, "#32770", ""));
    ::PostMessageA(window, WM_CLOSE, 0, 0);
    LONG code = 12345;
    EXPECT_TRUE(WaitExit(process.get(), kWait, &code));
    EXPECT_EQ(0, code);
}
