// The extension's launch helpers where a host cannot reach them: module paths of any form, a
// missing temporary folder, a converter that cannot start and the resource-text fallback. The
// command lines and selection files themselves are checked through Ferrule.DLL (connect_test).
#include <gtest/gtest.h>

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
