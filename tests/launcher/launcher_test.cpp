// launcher.exe as a user sees it: its exit codes, that it really keeps Grapnel.dll loaded until
// a quit message reaches its thread, and its version and icon resources.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <vector>

#include "support/testsupport.h"

using namespace testsupport;

namespace {

struct CStarted {
    common::CHandle process;
    DWORD threadId = 0;
};

// The quit message goes to the launcher's main thread.
CStarted Start(const std::string& exe, const std::string& grapnelLog)
{
    CStarted s;
    s.process = StartProcess("\"" + exe + "\"", std::string(), nullptr, {{"GRAPNEL_LOG", grapnelLog}}, &s.threadId);
    return s;
}

class LauncherTest : public ::testing::Test {
protected:
    CTempDir dir;
    std::string log = dir.file("grapnel.log");
};

TEST_F(LauncherTest, EndsWithOneWhenGrapnelIsMissingOrDamaged)
{
    // A folder of its own, so that the standard search cannot find the library beside it.
    ASSERT_TRUE(CopyFileTo(BinDir() + "\\launcher.exe", dir.file("launcher.exe")));
    // Missing, then damaged: either way it ends at once, with no box holding it.
    for (const char* damage : {static_cast<const char*>(nullptr), "MZ this is not a library"}) {
        if (damage) {
            ASSERT_TRUE(WriteFileBytes(dir.file("Grapnel.dll"), damage));
        }
        CStarted s = Start(dir.file("launcher.exe"), log);
        ASSERT_TRUE(s.process);
        LONG code = -1;
        ASSERT_TRUE(WaitExit(s.process.get(), 20000, &code))
            << "launcher did not end " << (damage ? "with a damaged" : "without") << " Grapnel.dll";
        EXPECT_EQ(1, code);
        EXPECT_FALSE(FileExists(log));
    }
}

TEST_F(LauncherTest, KeepsGrapnelLoadedUntilQuitThenEndsWithZero)
{
    CStarted s = Start(BinDir() + "\\launcher.exe", log);
    ASSERT_TRUE(s.process);
    ASSERT_TRUE(WaitUntil([&] { return ReadFileBytes(log).find("Grapnel loaded") != std::string::npos; }, 20000))
        << "Grapnel.dll never reported being loaded";

    // Still running: only the quit message ends it.
    EXPECT_EQ(WAIT_TIMEOUT, ::WaitForSingleObject(s.process.get(), 300));
    EXPECT_EQ(std::string::npos, ReadFileBytes(log).find("unloaded"));

    // The thread may not have its message queue yet; posting fails until it has.
    ASSERT_TRUE(WaitUntil([&] { return ::PostThreadMessageA(s.threadId, WM_QUIT, 0, 0) != FALSE; }, 20000))
        << "could not post the quit message to the launcher's thread";
    LONG code = -1;
    ASSERT_TRUE(WaitExit(s.process.get(), 20000, &code)) << "launcher did not end after the quit message";
    EXPECT_EQ(0, code);

    DWORD pid = ::GetProcessId(s.process.get());
    std::string text = ReadFileBytes(log);
    std::string tail = " process " + std::to_string(pid) + " (";
    EXPECT_NE(std::string::npos, text.find("Grapnel loaded:" + tail)) << text;
    EXPECT_NE(std::string::npos, text.find("Grapnel unloaded:" + tail)) << text;
    EXPECT_NE(std::string::npos, text.find("launcher.exe)")) << text;
}

TEST(LauncherResources, VersionDescribesTheSdkLauncher)
{
    const struct {
        const char* name;
        const char* value;
    } rows[] = {
        {"file", "3.1.1.0"},         {"product", "3.1.1.0"},       {"FileDescription", "Tanager Launcher"},
        {"InternalName", "launcher"}, {"OriginalFilename", "launcher.exe"}, {"FileVersion", "3.1.1.0"},
        {"ProductVersion", "3.1.1.0"},
    };
    for (const auto& r : rows)
        EXPECT_EQ(r.value, VersionValue(BinDir() + "\\launcher.exe", r.name)) << r.name;
}

TEST(LauncherResources, IconGroup101HoldsFourSizes)
{
    std::string exe = BinDir() + "\\launcher.exe";
    common::CModule module(::LoadLibraryExA(exe.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE));
    ASSERT_TRUE(module);
    HRSRC res = ::FindResourceA(module.get(), MAKEINTRESOURCEA(101), RT_GROUP_ICON);
    ASSERT_NE(nullptr, res);
    const BYTE* data = static_cast<const BYTE*>(::LockResource(::LoadResource(module.get(), res)));
    ASSERT_NE(nullptr, data);
    // GRPICONDIR: reserved, type 1, count; then 14-byte entries starting with width and height.
    WORD count = *reinterpret_cast<const WORD*>(data + 4);
    ASSERT_EQ(4, count);
    std::vector<int> widths;
    for (int i = 0; i < count; ++i)
        widths.push_back(data[6 + 14 * i]);
    EXPECT_EQ((std::vector<int>{48, 32, 24, 16}), widths);
}

}  // namespace
