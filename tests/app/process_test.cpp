// Quillon.exe started as a process under Wine: exact exit codes, the log files it leaves, and the
// windows it shows. Each test points the per-user "AppData" folder at a scratch folder, so that the
// logs of the run land there and nothing of the user's is touched.
#include <gtest/gtest.h>

#include <string>

#include "support/testsupport.h"

using namespace testsupport;

namespace {

class QuillonProcess : public ::testing::Test {
protected:
    LONG Run(const std::string& args, const std::vector<std::pair<std::string, std::string>>& env = {},
             const std::string& program = std::string())
    {
        LONG code = 12345;
        EXPECT_TRUE(RunProcess("\"" + (program.empty() ? exe : program) + "\" " + args, &code, kWait,
                               std::string(), env))
            << "Quillon did not end within " << kWait << " ms: " << args;
        return code;
    }

    CScratchAppData dir;
    CClearedValues logLevel{kQuillonKey, {"LogLevel"}};
    std::string exe = BinDir() + "\\Quillon.exe";
};

}  // namespace

TEST_F(QuillonProcess, WithoutAModeEndsWithMinusTenAfterTheLogStartedAndConsumesTheTmpSelection)
{
    ASSERT_TRUE(SetRegDword(HKEY_CURRENT_USER, kQuillonKey, "LogLevel", 2));
    std::string selection = dir.file("sel 1.tmp");
    ASSERT_TRUE(WriteFileBytes(selection, "0011AA\r\n"));

    EXPECT_EQ(-10, Run("-selection tmp \"" + selection + "\""));
    EXPECT_FALSE(FileExists(selection)) << "a tmp selection file is read and deleted whatever the mode";
    std::string log = ReadFileBytes(dir.DataFile("main.log"));
    EXPECT_NE(std::string::npos, log.find("Inf in InitLog: Version = 2.1.0.14\r\n")) << log;
    EXPECT_NE(std::string::npos, log.find("Inf in DoneLog: \r\n\r\n\r\n")) << log;

    EXPECT_EQ(-10, Run(""));
    EXPECT_EQ(-10, Run("-exp -foreground"));
}

TEST_F(QuillonProcess, DefaultLevelWritesNothingOnANormalEnd)
{
    EXPECT_EQ(-10, Run(""));
    EXPECT_EQ("", ReadFileBytes(dir.DataFile("main.log")));
    EXPECT_EQ("", ReadFileBytes(dir.DataFile("main.err")));
    EXPECT_TRUE(FileExists(dir.DataFile("main.log"))) << "the data folder is made under AppData";
}

TEST_F(QuillonProcess, MissingSupportLibraryEndsWithMinusOne)
{
    // A program folder without LibBrisco.dll.
    std::string prog = dir.file("prog");
    ASSERT_TRUE(::CreateDirectoryA(prog.c_str(), nullptr));
    ASSERT_TRUE(CopyFileTo(exe, prog + "\\Quillon.exe"));

    // Nothing is shown to the user: a message box would hold the process until Run's time-out.
    EXPECT_EQ(-1, Run("-about", {}, prog + "\\Quillon.exe"));
    std::string err = ReadFileBytes(dir.DataFile("main.err"));
    EXPECT_NE(std::string::npos, err.find(" Err[0xffffff38] in WinMain: libbrisco.InitEx\r\n")) << err;
}

TEST_F(QuillonProcess, FailingLibraryInitialisationEndsWithMinusOne)
{
    EXPECT_EQ(-1, Run("-bugreport", {{"LIBBRISCO_STANDIN_INITEX_RESULT", "7"}}));
    std::string err = ReadFileBytes(dir.DataFile("main.err"));
    EXPECT_NE(std::string::npos, err.find(" Err[0x7] in WinMain: libbrisco.InitEx\r\n")) << err;

    // A value too long for the hook's buffer forces nothing: the library starts, the About box shows.
    CScopedEnv forced("LIBBRISCO_STANDIN_INITEX_RESULT", ("-1" + std::string(38, ' ')).c_str());
    DWORD pid = 0;
    common::CHandle quillon = StartProcess("\"" + exe + "\" -about", std::string(), &pid);
    ASSERT_TRUE(quillon);
    HWND box = WaitTopWindow(pid, "#32770", "About Quillon", kWait);
    if (box)
        PostClick(box, IDOK);
    LONG code = 12345;
    ASSERT_TRUE(WaitExit(quillon.get(), kWait, &code)) << "Quillon -about did not end";
    EXPECT_NE(nullptr, box);
    EXPECT_EQ(0, code);
}

// -bugreport: the support library writes ProblemReport.txt beside the log (the program, its version,
// the system, then the tails of main.err and main.log) and says in a box where it is, or that it
// could not be written (here the name is taken by a folder).
TEST_F(QuillonProcess, ProblemReportBesideTheLogWithBothLogs)
{
    ASSERT_TRUE(SetRegDword(HKEY_CURRENT_USER, kQuillonKey, "LogLevel", 2));
    const std::string report = dir.DataFile("ProblemReport.txt");
    for (bool writable : {true, false}) {
        if (!writable) {
            ASSERT_TRUE(::DeleteFileA(report.c_str()) && ::CreateDirectoryA(report.c_str(), nullptr));
        }
        DWORD pid = 0;
        common::CHandle process = StartProcess(Quote(exe) + " -bugreport", std::string(), &pid);
        ASSERT_TRUE(process);
        HWND box = WaitTopWindow(pid, "#32770", "Brisco Support", kWait);
        ASSERT_NE(nullptr, box) << "no box after the report";
        std::string text = DialogStaticText(box);
        PostClick(box, IDOK);
        LONG code = -1;
        ASSERT_TRUE(WaitExit(process.get(), kWait, &code));
        EXPECT_EQ(0, code);
        const std::string said = writable ? "A problem report was written to\n" : "The problem report could not be written to\n";
        EXPECT_EQ(0u, text.find(said + report)) << text;
        if (!writable)
            break;
        std::string body = ReadFileBytes(report);
        EXPECT_EQ(0u, body.find("Problem report for Quillon 2.1.0.14\r\nProgram: " + exe + "\r\nSystem: Windows "))
            << body;
        size_t err = body.find("\r\n--- " + dir.DataFile("main.err") + " ---\r\n");
        size_t log = body.find("\r\n--- " + dir.DataFile("main.log") + " ---\r\n");
        EXPECT_LT(err, log) << body;
        EXPECT_NE(std::string::npos, body.find("Inf in InitLog: Version = 2.1.0.14\r\n", log)) << body;
    }
}

// An exception that escapes the run (here out of memory, and a failing callee) ends Quillon with -1
// and one error line, never with a crash box; the support library's exports hold the same wall.
TEST_F(QuillonProcess, AnEscapedExceptionEndsTheRunWithMinusOneAndALogLine)
{
    const std::pair<const char*, const char*> cases[] = {
        {"RunQuillon", " Err[0x8007000e] in RunQuillon: exception: out of memory\r\n"},
        {"RunQuillon:error", " Err[0x80004005] in RunQuillon: exception: test hook\r\n"},
        {"LibBriscoInitEx", " Err[0xffffffff] in WinMain: libbrisco.InitEx\r\n"},
    };
    for (const auto& c : cases) {
        DeleteFileA(dir.DataFile("main.err").c_str());
        EXPECT_EQ(-1, Run("-about", {{"QUILLON_TEST_THROW", c.first}})) << c.first;
        std::string err = ReadFileBytes(dir.DataFile("main.err"));
        EXPECT_NE(std::string::npos, err.find(c.second)) << c.first << ": " << err;
    }
}

TEST_F(QuillonProcess, WithoutAppDataTheLogsLieBesideTheProgram)
{
    DeleteRegValues(kShellFoldersKey, {"AppData"});
    ASSERT_EQ("<missing>", RegText(HKEY_CURRENT_USER, kShellFoldersKey, "AppData"));
    std::string prog = dir.file("prog");
    ASSERT_TRUE(::CreateDirectoryA(prog.c_str(), nullptr));
    ASSERT_TRUE(CopyFileTo(exe, prog + "\\Quillon.exe"));

    EXPECT_EQ(-1, Run("-about", {}, prog + "\\Quillon.exe"));
    EXPECT_NE(std::string::npos, ReadFileBytes(prog + "\\main.err").find("libbrisco.InitEx"));
    EXPECT_FALSE(FileExists(dir.file("appdata")));
}

// The first instance shows its debug window; a second one is refused with a message box and -3,
// help is still served, and the debug window's commands reach the support library and the runs.
TEST_F(QuillonProcess, SingleInstanceAndTheDebugWindow)
{
    DWORD firstPid = 0;
    common::CHandle first = StartProcess("\"" + exe + "\" -debug", std::string(), &firstPid);
    ASSERT_TRUE(first);
    HWND window = WaitTopWindow(firstPid, "Brisco.Quillon", "Quillon for Outlook Express", kWait);
    ASSERT_NE(nullptr, window) << "the debug window did not appear";

    DWORD secondPid = 0;
    common::CHandle second = StartProcess("\"" + exe + "\" -EXPORT", std::string(), &secondPid);
    ASSERT_TRUE(second);
    HWND box = WaitTopWindow(secondPid, "#32770", "Quillon for Outlook Express", kWait);
    ASSERT_NE(nullptr, box) << "the second instance showed no message box";
    EXPECT_EQ("There's already an active instance of Quillon", DialogStaticText(box));
    PostClick(box, IDOK);
    LONG code = 0;
    ASSERT_TRUE(WaitExit(second.get(), kWait, &code));
    EXPECT_EQ(-3, code);

    DWORD helpPid = 0;
    common::CHandle help = StartProcess("\"" + exe + "\" -help", std::string(), &helpPid);
    ASSERT_TRUE(help);
    ASSERT_TRUE(WaitExit(help.get(), kWait, &code));
    EXPECT_EQ(0, code) << "help does not take the mutex";
    HelpViewer viewer = WaitHelpViewer(helpPid, kWait);
    EXPECT_NE(nullptr, viewer.window) << "-help opened no help window";
    CloseHelpViewer(viewer, kWait);

    // Help > About goes to the support library's About box, which names the program and version.
    ::PostMessageA(window, WM_COMMAND, 104, 0);
    HWND about = WaitTopWindow(firstPid, "#32770", "About Quillon", kWait);
    ASSERT_NE(nullptr, about) << "no About box";
    EXPECT_NE(std::string::npos, DialogStaticText(about).find("Version 2.1.0.14"));
    PostClick(about, IDOK);
    ASSERT_TRUE(WaitUntil([&] { return !::IsWindow(about); }, kWait));

    // File > Export opens the export dialog; Cancel closes it without exporting anything.
    ::PostMessageA(window, WM_COMMAND, 32772, 0);
    HWND exportDialog = WaitTopWindow(firstPid, "#32770", "Export", kWait);
    ASSERT_NE(nullptr, exportDialog) << "File > Export showed no export dialog";
    PostClick(exportDialog, IDCANCEL);
    ASSERT_TRUE(WaitUntil([&] { return !::IsWindow(exportDialog); }, kWait));

    // File > Exit ends the program normally.
    ::PostMessageA(window, WM_COMMAND, 105, 0);
    ASSERT_TRUE(WaitExit(first.get(), kWait, &code));
    EXPECT_EQ(0, code);
}
