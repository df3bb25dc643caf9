#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "app/CommandLine.h"
#include "base/Log.h"
#include "common/raii.h"
#include "support/logcapture.h"
#include "support/testsupport.h"

using testsupport::CTempDir;

namespace {

struct ParseCase {
    const char* line;
    RunMode mode;
    const char* selectionFile;
    bool temporary;
    bool bad;
    bool foreground;
};

const char* ModeName(RunMode m)
{
    switch (m) {
    case RunMode::None: return "none";
    case RunMode::Import: return "import";
    case RunMode::Export: return "export";
    case RunMode::About: return "about";
    case RunMode::BugReport: return "bugreport";
    case RunMode::Debug: return "debug";
    case RunMode::Help: return "help";
    }
    return "?";
}

}  // namespace

TEST(CommandLine, ParsesTheTable)
{
    const ParseCase cases[] = {
        // modes, case-insensitive, by prefix, last one wins
        {"", RunMode::None, "", false, false, false},
        {"nothing here", RunMode::None, "", false, false, false},
        {"-export", RunMode::Export, "", false, false, false},
        {"-EXPORT", RunMode::Export, "", false, false, false},
        {"-ExPoRt", RunMode::Export, "", false, false, false},
        {"-exportall", RunMode::Export, "", false, false, false},
        {"-import -export", RunMode::Export, "", false, false, false},
        {"-export -import", RunMode::Import, "", false, false, false},
        {"-about", RunMode::About, "", false, false, false},
        {"-bugreport", RunMode::BugReport, "", false, false, false},
        {"-debug", RunMode::Debug, "", false, false, false},
        {"-help", RunMode::Help, "", false, false, false},
        {"-helpme", RunMode::Help, "", false, false, false},
        {"-exp", RunMode::None, "", false, false, false},
        {"-unknown -debug", RunMode::Debug, "", false, false, false},
        // options glued to other text, and any separator
        {"xx-importyy-aboutzz", RunMode::About, "", false, false, false},
        {"-import,-foreground", RunMode::Import, "", false, false, true},
        {"--export", RunMode::Export, "", false, false, false},
        // the selection forms the extension writes
        {"-export -selection tmp \"C:\\Temp\\qzt1.tmp\" -foreground", RunMode::Export, "C:\\Temp\\qzt1.tmp", true,
         false, true},
        {"-import -selection TMP \"C:\\My Files\\sel-1.txt\"", RunMode::Import, "C:\\My Files\\sel-1.txt", true,
         false, false},
        {"-import -selection \"  spaced name.txt  \" -foreground", RunMode::Import, "spaced name.txt", false,
         false, true},
        {"-selection \"a.txt\" -debug", RunMode::Debug, "a.txt", false, false, false},
        {"-selection \"a.txt\" tmp -debug", RunMode::Debug, "a.txt", true, false, false},
        // malformed selections: logged, parsing stops, the mode found so far still runs
        {"-import -selection tmp -foreground", RunMode::Import, "", true, true, false},
        {"-import -selection \"C:\\no end", RunMode::Import, "", false, true, false},
        {"-import -selection \"\" -export", RunMode::Import, "", false, true, false},
        {"-import -selection", RunMode::Import, "", false, true, false},
        {"-import -selection ", RunMode::Import, "", false, true, false},
        {"-import -selection tmp", RunMode::Import, "", true, true, false},
        {"-import -selection tm", RunMode::Import, "", false, true, false},
        {"-import -selection word \"a.txt\"", RunMode::Import, "a.txt", false, true, false},
        {"-export -selectionX", RunMode::Export, "", false, true, false},
    };
    for (const ParseCase& c : cases) {
        SCOPED_TRACE(c.line);
        CCommandLine cmd;
        ParseCommandLine(c.line, &cmd);
        EXPECT_STREQ(ModeName(c.mode), ModeName(cmd.mode));
        EXPECT_EQ(c.selectionFile, cmd.selectionFile);
        EXPECT_EQ(c.temporary, cmd.temporary);
        EXPECT_EQ(c.bad, cmd.bad);
        EXPECT_EQ(c.foreground, cmd.foreground);
    }
}

// The parser must stop exactly at the end of the text it was given, whatever sits behind it.
TEST(CommandLine, NeverReadsPastTheEnd)
{
    const char* tails[] = {"-selection", "-selection ", "-selection tmp", "-selection t", "-selection \"",
                           "-selection tmp\"", "-"};
    for (const char* tail : tails) {
        SCOPED_TRACE(tail);
        std::string text = tail;
        // A guard page right after the text would catch any read beyond the terminating zero.
        SYSTEM_INFO si;
        ::GetSystemInfo(&si);
        char* pages = static_cast<char*>(
            ::VirtualAlloc(nullptr, si.dwPageSize * 2, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE));
        ASSERT_NE(nullptr, pages);
        DWORD old;
        ::VirtualProtect(pages + si.dwPageSize, si.dwPageSize, PAGE_NOACCESS, &old);
        char* line = pages + si.dwPageSize - (text.size() + 1);
        memcpy(line, text.c_str(), text.size() + 1);
        CCommandLine cmd;
        ParseCommandLine(line, &cmd);
        EXPECT_TRUE(cmd.bad || text == "-");
        ::VirtualFree(pages, 0, MEM_RELEASE);
    }
}

class SelectionFile : public ::testing::Test {
protected:
    CTempDir dir;
};

TEST_F(SelectionFile, TokensInFileOrderAndTemporaryFileDeleted)
{
    std::string path = dir.file("sel.tmp");
    ASSERT_TRUE(testsupport::WriteFileBytes(path, "00AA11\r\n\r\n  BB22 cc33\tDD44\n\nEE55"));
    CSelectionList list;
    EXPECT_TRUE(ReadSelectionFile(path, true, &list));
    EXPECT_EQ((CSelectionList{"00AA11", "BB22", "cc33", "DD44", "EE55"}), list);
    EXPECT_FALSE(testsupport::FileExists(path));
}

TEST_F(SelectionFile, KeptWithoutTmpAndEmptyWhenOnlyLineEnds)
{
    std::string path = dir.file("sel.txt");
    ASSERT_TRUE(testsupport::WriteFileBytes(path, "\r\n\r\n\n"));
    CSelectionList list{"stale"};
    EXPECT_TRUE(ReadSelectionFile(path, false, &list));
    EXPECT_TRUE(list.empty());
    EXPECT_TRUE(testsupport::FileExists(path));
}

TEST_F(SelectionFile, MissingFileIsLoggedAndGivesNoList)
{
    std::string errPath = dir.file("main.err"), fullPath = dir.file("main.log");
    g_log.InitLog(errPath.c_str(), fullPath.c_str(), 1);
    CSelectionList list;
    std::string missing = dir.file("nope.tmp");
    EXPECT_FALSE(ReadSelectionFile(missing, true, &list));
    EXPECT_TRUE(list.empty());
    std::string log = testsupport::ReadFileBytes(fullPath);
    EXPECT_NE(std::string::npos, log.find(" War in WinMain: cant open file(" + missing + ")\r\n")) << log;

    // A malformed command line is logged whole, as a warning.
    CCommandLine cmd;
    ParseCommandLine("-import -selection tmp -foreground", &cmd);
    log = testsupport::ReadFileBytes(fullPath);
    EXPECT_NE(std::string::npos, log.find(" War in WinMain: bad cmdline(-import -selection tmp -foreground)\r\n"))
        << log;
    g_log.DoneLog();
}

// Bad selection files, each with a clear outcome and one log line; none crashes or hangs.
TEST_F(SelectionFile, BadFilesGiveAClearOutcomeAndALogLine)
{
    CLogCapture log;
    const std::string huge(static_cast<size_t>(kMaxSelectionFileBytes) + 2, '0');
    struct Case {
        const char* name;
        const char* kind;  // "file", "missing", "directory" or "locked"
        std::string bytes;
        bool read;
        CSelectionList list;
        const char* logged;  // null: nothing logged
    } cases[] = {
        {"whole", "file", "00AA11\r\nbb22\r\n", true, {"00AA11", "bb22"}, nullptr},
        {"cut in its last line", "file", "00AA11\r\nBB2", true, {"00AA11"},
         "1 words that are no entry identifier skipped, 1 taken"},
        {"binary", "file", std::string("\x01\x02ga\xFFrbage 0A0B\r\n\x80\x81\0 00FF", 25), true, {"0A0B"},
         "2 words that are no entry identifier skipped, 1 taken"},
        {"one word too long", "file", std::string(kMaxEntryIdText + 2, 'A') + " 0B", true, {"0B"},
         "1 words that are no entry identifier skipped"},
        {"huge", "file", huge, false, {}, "bytes is larger than 4194304: not read"},
        {"missing", "missing", "", false, {}, "cant open file("},
        {"a directory", "directory", "", false, {}, "cant open file("},
        {"held open by another", "locked", "00AA\r\n", false, {}, "cant open file("},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        log.Clear();
        const std::string path = dir.file(std::string(c.name) + ".tmp");
        const std::string kind = c.kind;
        if (kind == "directory") {
            ASSERT_TRUE(::CreateDirectoryA(path.c_str(), nullptr));
        } else if (kind != "missing") {
            ASSERT_TRUE(testsupport::WriteFileBytes(path, c.bytes));
        }
        common::CFileHandle held;
        if (kind == "locked")
            held.reset(::CreateFileA(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
        CSelectionList list{"stale"};
        EXPECT_EQ(c.read, ReadSelectionFile(path, true, &list));
        EXPECT_EQ(c.list, list);
        const std::string lines = log.Lines();
        if (c.logged) {
            EXPECT_EQ(1u, std::count(lines.begin(), lines.end(), '\n')) << lines;
            EXPECT_NE(std::string::npos, lines.find(c.logged)) << lines;
            EXPECT_NE(std::string::npos, lines.find(path)) << "the line names the file: " << lines;
        } else {
            EXPECT_EQ("", lines);
        }
        // A temporary file that was opened is deleted, read or not; one that was not is left alone.
        bool opened = kind == "file";
        EXPECT_EQ(!opened && kind != "missing", testsupport::FileExists(path));
    }
}
