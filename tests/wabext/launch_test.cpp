// The extension's launch helpers where a host cannot reach them: module paths of any form, a
// missing temporary folder, a converter that cannot start and the resource-text fallback. The
// command lines and selection files themselves are checked through Ferrule.DLL (connect_test).
#include <gtest/gtest.h>

#include <shlobj.h>

#include <utility>

#include "common/raii.h"
#include "common/ansipath.h"
#include "common/text.h"
#include "support/testsupport.h"
#include "wabext/launch.h"

namespace {

TEST(FerruleLaunch, ConverterPathCutsAtTheLaterSeparator)
{
    struct Case {
        const char* module;
        const char* path;
    } cases[] = {
        {"C:\\Program Files\\Quillon\\Ferrule.DLL", "\"C:\\Program Files\\Quillon\\Quillon.exe\""},
        {"C:/x/Ferrule.dll", "\"C:/x\\Quillon.exe\""},
        {"C:\\a/b\\Ferrule.dll", "\"C:\\a/b\\Quillon.exe\""},
        {"C:\\a\\b/Ferrule.dll", "\"C:\\a\\b\\Quillon.exe\""},
        {"\\\\server\\share\\Ferrule.dll", "\"\\\\server\\share\\Quillon.exe\""},
        {"Ferrule.dll", "\"\\Quillon.exe\""},
        {"", "\"\\Quillon.exe\""},
    };
    for (const Case& c : cases)
        EXPECT_EQ(c.path, ferrule::ConverterPath(c.module)) << c.module;
}

TEST(FerruleLaunch, SelectionFileFailsWithoutTemporaryFolder)
{
    // A temporary folder that does not exist: no name can be made, nothing is written.
    testsupport::CScopedEnv tmp("TMP", "C:\\no\\such\\folder\\here");
    testsupport::CScopedEnv temp("TEMP", "C:\\no\\such\\folder\\here");
    std::string path;
    EXPECT_FALSE(ferrule::WriteSelectionFile({"00"}, &path));
    EXPECT_EQ("", path);
}

// Quillon takes the selection file's name from its 8-bit command line: a folder the ANSI code page
// cannot name is taken in its short form, or else the next folder is.
TEST(FerruleLaunch, SelectionFileLiesWhereTheAnsiCodePageCanNameIt)
{
    testsupport::CTempDir dir;
    const std::wstring plain = common::AnsiToWide(dir.path());
    const std::wstring foreign = plain + L"\\\u041f\u0440\u0438\u043c\u0435\u0440";  // Cyrillic, not in 1252
    const std::wstring missing = plain + L"\\\u041d\u0435\u0442";
    ASSERT_TRUE(CreateDirectoryW(foreign.c_str(), nullptr));
    common::CScopeExit removeForeign([&] { RemoveDirectoryW(foreign.c_str()); });
    wchar_t shortName[MAX_PATH] = {};
    ASSERT_GT(GetShortPathNameW(foreign.c_str(), shortName, MAX_PATH), 0u);
    std::string shortForeign;
    ASSERT_TRUE(common::WideToAnsiExact(shortName, &shortForeign)) << "no short name the code page can write";

    const struct {
        std::vector<std::wstring> candidates;
        std::string folder;
    } cases[] = {
        {{plain, foreign}, dir.path()},
        {{foreign, plain}, shortForeign},
        {{missing, plain}, dir.path()},  // no short name for what does not exist
        {{L"", missing}, ""},
        {{}, ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.folder, ferrule::SelectionFolder(c.candidates)) << c.candidates.size();

    // The temporary folder outside the code page: the file goes into its short form, or, when it
    // has none, into the user's data folder.
    char appData[MAX_PATH] = "";
    ASSERT_TRUE(SUCCEEDED(SHGetFolderPathA(nullptr, CSIDL_APPDATA, nullptr, 0, appData)));
    const std::pair<std::wstring, std::string> temporaries[] = {
        {foreign, shortForeign + (shortForeign.back() == '\\' ? "" : "\\")},
        {missing, std::string(appData) + "\\Brisco\\Quillon\\"}};
    for (const auto& t : temporaries) {
        std::string path;
        {
            testsupport::CScopedEnv tmp("TMP", nullptr), temp("TEMP", nullptr);  // each put back after
            SetEnvironmentVariableW(L"TMP", t.first.c_str());
            SetEnvironmentVariableW(L"TEMP", t.first.c_str());
            ASSERT_TRUE(ferrule::WriteSelectionFile({"0A", "FF00"}, &path)) << t.second;
        }
        common::CScopeExit removeFile([&] { DeleteFileA(path.c_str()); });
        EXPECT_EQ(t.second, path.substr(0, t.second.size())) << path;
        EXPECT_EQ("0A\r\nFF00\r\n", testsupport::ReadFileBytes(path));
    }
}

TEST(FerruleLaunch, ResourceTextFallsBackToItsId)
{
    // The test program has no string table.
    char buffer[256];
    EXPECT_STREQ("<res102>", ferrule::LoadResourceText(GetModuleHandleW(nullptr), 102, buffer, sizeof(buffer)));
    char small[5];
    EXPECT_STREQ("<res", ferrule::LoadResourceText(GetModuleHandleW(nullptr), 65535, small, sizeof(small)));
}

TEST(FerruleLaunch, StartFailureIsReported)
{
    EXPECT_FALSE(ferrule::StartConverter("\"C:\\no\\such\\folder\\Quillon.exe\" -export -foreground"));
}

}  // namespace
