// The help file opens in a real help window under Wine: `Quillon.exe -help` and the support
// library's context help (what the dialogs' Help buttons call) each start the help viewer hh.exe,
// which shows its window ("HH Parent", titled with the help file's title) on Quillon.chm and, for
// context help, on the topic asked for. Every wait is bounded, and each viewer is closed again.
#include <gtest/gtest.h>

#include <string>

#include "support/testsupport.h"

using namespace testsupport;

namespace {

const char kTitle[] = "Quillon Help";

// ASCII lower case: Windows passes paths on in whatever case they were given.
std::string Lower(std::string s)
{
    for (char& c : s)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return s;
}

// For a failure's message: the viewer's process and whether it runs under WOW64 (32-bit).
std::string Describe(DWORD pid)
{
    common::CHandle process(::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid));
    BOOL wow64 = FALSE;
    bool known = process && ::IsWow64Process(process.get(), &wow64);
    return "hh.exe, process " + std::to_string(pid) + (known ? (wow64 ? " (32-bit)" : " (native)") : " (gone)");
}

// Closes a viewer whatever the test's outcome.
struct ViewerCloser {
    HelpViewer viewer;
    ~ViewerCloser() { CloseHelpViewer(viewer, kWait); }
};

class HelpWindow : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(FileExists(BinDir() + "\\Quillon.chm")) << "the build puts Quillon.chm beside the programs";
    }

    CScratchAppData dir;  // the logs of Quillon's start land there
};

}  // namespace

TEST_F(HelpWindow, HelpOptionOpensTheHelpFileInTheViewer)
{
    DWORD pid = 0;
    common::CHandle quillon = StartProcess("\"" + BinDir() + "\\Quillon.exe\" -help", std::string(), &pid);
    ASSERT_TRUE(quillon);
    LONG code = 12345;
    ASSERT_TRUE(WaitExit(quillon.get(), kWait, &code)) << "Quillon -help did not end";
    EXPECT_EQ(0, code);

    ViewerCloser closer{WaitHelpViewer(pid, kWait)};
    const HelpViewer& viewer = closer.viewer;
    ASSERT_NE(0u, viewer.pid) << "Quillon -help started no hh.exe";
    ASSERT_NE(nullptr, viewer.window) << "hh.exe showed no help window:\n" << DescribeTopWindows(viewer.pid);
    EXPECT_TRUE(::IsWindowVisible(viewer.window));
    // The viewer takes its title from the help file itself: this is Quillon.chm.
    EXPECT_EQ(kTitle, viewer.title);
    // The .chm association starts the system's (64-bit) viewer, whose command line a 32-bit test
    // cannot read; where it can, it names the file.
    if (!viewer.commandLine.empty() || sizeof(void*) == 8) {
        EXPECT_NE(std::string::npos, Lower(viewer.commandLine).find("quillon.chm"))
            << "command line \"" << viewer.commandLine << "\" of " << Describe(viewer.pid);
    }
    EXPECT_TRUE(CloseHelpViewer(viewer, kWait)) << "the help window did not close on WM_CLOSE";
}

// What the Export and Import dialogs' Help buttons do: the support library, given the program's
// instance, opens the .chm beside it on the dialog's topic.
TEST_F(HelpWindow, ContextHelpOpensTheViewerOnEachDialogsTopic)
{
    HMODULE library = ::LoadLibraryA((BinDir() + "\\LibBrisco.dll").c_str());
    ASSERT_NE(nullptr, library);
    typedef int(WINAPI * ShowContextHelp)(HINSTANCE, const char*);
    auto show = reinterpret_cast<ShowContextHelp>(
        reinterpret_cast<void*>(::GetProcAddress(library, "LibBriscoShowContextHelp")));
    ASSERT_NE(nullptr, show);

    for (const char* topic :
         {"Working_with_Marrow/Export_Outlook_contacts.htm", "Import_vCard,_iCard_Files_to_Contacts_Folders.htm"}) {
        SCOPED_TRACE(topic);
        // The test program lies in bin/ beside Quillon.chm, as Quillon.exe does.
        ASSERT_EQ(0, show(::GetModuleHandleA(nullptr), topic));
        ViewerCloser closer{WaitHelpViewer(::GetCurrentProcessId(), kWait)};
        const HelpViewer& viewer = closer.viewer;
        ASSERT_NE(0u, viewer.pid) << "no hh.exe was started";
        ASSERT_NE(nullptr, viewer.window) << "hh.exe showed no help window:\n" << DescribeTopWindows(viewer.pid);
        EXPECT_EQ(kTitle, viewer.title);
        // The library starts hh.exe by name, which runs in this program's architecture; the file
        // and topic are one quoted argument (an install folder holds blanks).
        EXPECT_NE(std::string::npos,
                  Lower(viewer.commandLine).find("\"" + Lower(BinDir()) + "\\quillon.chm::/" + Lower(topic) + "\""))
            << "command line \"" << viewer.commandLine << "\" of " << Describe(viewer.pid);
        EXPECT_TRUE(CloseHelpViewer(viewer, kWait)) << "the help window did not close on WM_CLOSE";
    }
    ::FreeLibrary(library);
}
