#include <gtest/gtest.h>

#include <regex>
#include <string>

#include "base/Log.h"
#include "base/Settings.h"
#include "support/testsupport.h"

using testsupport::CTempDir;
using testsupport::ReadFileBytes;

namespace {

const char kHead[] = R"(\d\d/\d\d/\d{4} \d\d:\d\d:\d\d )";

class LogFiles : public ::testing::Test {
protected:
    CTempDir dir;
    std::string err = dir.file("main.err");
    std::string full = dir.file("main.log");
};

}  // namespace

TEST_F(LogFiles, LineFormatsAndWhereEachKindGoes)
{
    {
        CLog log;
        log.InitLog(err.c_str(), full.c_str(), 1);
        log.LogErr("CWABLib::GetItemsEx", static_cast<long>(0x80004005), "AddrBook->GetPAB");
        log.LogWar("WinMain", 0, "bad cmdline(%s)", "-x");
        log.LogInf(0, "CWABLib::SetItemProps", "Problems dumb %d", 3);
        log.LogInf(1, "Ctx", "level one");
        log.LogInf(2, "Ctx", "level two is above the threshold");
        log.LogErr("CvCardExport::Execute", -200, "code %s", "negative");
    }
    std::string fullText = ReadFileBytes(full);
    std::string errText = ReadFileBytes(err);
    std::string h = kHead;
    EXPECT_TRUE(std::regex_match(fullText,
                                 std::regex(h + R"(Err\[0x80004005\] in CWABLib::GetItemsEx: AddrBook->GetPAB\r\n)" +
                                            h + R"(War in WinMain: bad cmdline\(-x\)\r\n)" +
                                            h + R"(Inf in CWABLib::SetItemProps: Problems dumb 3\r\n)" +
                                            h + R"(Inf in Ctx: level one\r\n)" +
                                            h + R"(Err\[0xffffff38\] in CvCardExport::Execute: code negative\r\n)")))
        << fullText;
    // The error log gets warnings and errors only, each line opened by the (empty) name and a blank.
    EXPECT_TRUE(std::regex_match(errText,
                                 std::regex(" " + h + R"(Err\[0x80004005\] in CWABLib::GetItemsEx: AddrBook->GetPAB\r\n)" +
                                            " " + h + R"(War in WinMain: bad cmdline\(-x\)\r\n)" +
                                            " " + h + R"(Err\[0xffffff38\] in CvCardExport::Execute: code negative\r\n)")))
        << errText;
}

TEST_F(LogFiles, ClosingLineAtLevelTwoAndNothingBeforeInit)
{
    {
        CLog log;
        log.LogErr("Early", 1, "goes nowhere");
        log.InitLog(err.c_str(), full.c_str(), 2);
        log.LogInf(2, "Ctx", "now written");
    }
    std::string fullText = ReadFileBytes(full);
    EXPECT_EQ(std::string::npos, fullText.find("goes nowhere"));
    // Level 2 also lets the version line through: the test program carries Quillon's version resource.
    EXPECT_TRUE(std::regex_match(fullText, std::regex(std::string(kHead) + R"(Inf in InitLog: Version = 2\.1\.0\.14\r\n)" +
                                                      kHead + R"(Inf in Ctx: now written\r\n)" +
                                                      kHead + R"(Inf in DoneLog: \r\n\r\n\r\n)")))
        << fullText;
    EXPECT_EQ("", ReadFileBytes(err));
}

TEST_F(LogFiles, HeadAndMessageAreCutAt511Characters)
{
    std::string longText(2000, 'm');
    std::string longContext(2000, 'c');
    {
        CLog log;
        log.InitLog(nullptr, full.c_str(), 1);
        log.LogErr(longContext.c_str(), 0, "%s", longText.c_str());
    }
    std::string line = ReadFileBytes(full);
    ASSERT_EQ(511u + 511u + 2u, line.size());
    EXPECT_EQ(std::string(511, 'm') + "\r\n", line.substr(511));
}

TEST_F(LogFiles, OversizedLogIsCutAtALineStart)
{
    // 1,000,000 bytes of numbered lines: the kept text starts after the first line end that follows
    // byte 1,000,000 - 458,752.
    std::string big;
    for (int i = 0; big.size() < 1000000; ++i)
        big += "line " + std::to_string(i) + " of the full log\r\n";
    big.resize(1000000);
    ASSERT_TRUE(testsupport::WriteFileBytes(full, big));
    std::string smallErr(CLog::kErrLogLimit, 'e');
    ASSERT_TRUE(testsupport::WriteFileBytes(err, smallErr));

    CLog::TrimFile(full.c_str(), CLog::kFullLogLimit);
    CLog::TrimFile(err.c_str(), CLog::kErrLogLimit);

    size_t from = big.find("\r\n", 1000000 - CLog::kFullLogLimit / 2) + 2;
    EXPECT_EQ(big.substr(from), ReadFileBytes(full));
    EXPECT_EQ(smallErr, ReadFileBytes(err)) << "a file of exactly the limit is left alone";
    EXPECT_FALSE(testsupport::FileExists(full + "1"));

    // A file without any line end in the examined block keeps what follows that block.
    std::string noEnds(CLog::kErrLogLimit + 10000, 'x');
    ASSERT_TRUE(testsupport::WriteFileBytes(err, noEnds));
    CLog::TrimFile(err.c_str(), CLog::kErrLogLimit);
    EXPECT_EQ(noEnds.size() - (noEnds.size() - CLog::kErrLogLimit / 2) - 4095, ReadFileBytes(err).size());

    // A lone line feed counts when there is no CR LF.
    std::string lf = std::string(CLog::kErrLogLimit, 'a') + "tail";
    lf[lf.size() - CLog::kErrLogLimit / 2 + 10] = '\n';
    ASSERT_TRUE(testsupport::WriteFileBytes(err, lf));
    CLog::TrimFile(err.c_str(), CLog::kErrLogLimit);
    EXPECT_EQ(lf.substr(lf.size() - CLog::kErrLogLimit / 2 + 11), ReadFileBytes(err));
}

TEST(LogPath, CallbackBufferIsBounded)
{
    CTempDir dir;
    std::string longPath = dir.path() + "\\" + std::string(200, 'p') + ".log";
    CLog log;
    log.InitLog(nullptr, longPath.c_str(), 1);
    char small[16];
    memset(small, 'z', sizeof small);
    log.GetFullLogPath(small, sizeof small);
    EXPECT_EQ(longPath.substr(0, 15), std::string(small));
}

TEST(Settings, LogLevelFromCurrentUserOverLocalMachine)
{
    const std::string key = GetSettingsKeyPath();
    ASSERT_EQ("Software\\Brisco\\Quillon", key);
    testsupport::CClearedValues user(key.c_str(), {"LogLevel"});
    testsupport::CClearedValues machine(key.c_str(), {"LogLevel"}, HKEY_LOCAL_MACHINE);
    EXPECT_EQ(1, GetLogLevel());
    ASSERT_TRUE(testsupport::SetRegDword(HKEY_LOCAL_MACHINE, key, "LogLevel", 3));
    EXPECT_EQ(3, GetLogLevel());
    ASSERT_TRUE(testsupport::SetRegDword(HKEY_CURRENT_USER, key, "LogLevel", 0));
    EXPECT_EQ(0, GetLogLevel());
}

TEST(Settings, DialogValuesRejectTheWrongType)
{
    const std::string key = GetSettingsKeyPath();
    testsupport::CClearedValues values(key.c_str(), {"Test.Expand", "Test.DwordAsString", "Test.StringAsDword", "Test.Flag"});
    ASSERT_TRUE(testsupport::SetRegString(HKEY_CURRENT_USER, key, "Test.Expand", "%TEMP%\\x", REG_EXPAND_SZ));
    ASSERT_TRUE(testsupport::SetRegString(HKEY_CURRENT_USER, key, "Test.DwordAsString", "1"));
    ASSERT_TRUE(testsupport::SetRegDword(HKEY_CURRENT_USER, key, "Test.StringAsDword", 7));
    CSettingsKey settings;
    ASSERT_TRUE(settings.IsOpen());
    std::string s = "default";
    EXPECT_TRUE(settings.ReadString("Test.Expand", &s));
    EXPECT_EQ("%TEMP%\\x", s) << "expandable strings are taken as stored";
    DWORD d = 42;
    EXPECT_FALSE(settings.ReadDword("Test.DwordAsString", &d));
    EXPECT_EQ(42u, d);
    s = "default";
    EXPECT_FALSE(settings.ReadString("Test.StringAsDword", &s));
    EXPECT_EQ("default", s);
    EXPECT_TRUE(settings.WriteDword("Test.Flag", 1));
    EXPECT_TRUE(settings.ReadDword("Test.Flag", &d));
    EXPECT_EQ(1u, d);
    EXPECT_EQ(S_OK, settings.LastWriteError());
    // A failed write keeps the registry's own code for the log (the thread's last error is not set).
    ::SetLastError(0);
    EXPECT_FALSE(settings.WriteString("Test.Null", nullptr));
    EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_INVALID_PARAMETER), settings.LastWriteError());
}
