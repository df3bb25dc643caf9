#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "app/CommandLine.h"
#include "app/Unattended.h"
#include "app/UnattendedOptions.h"
#include "base/Log.h"
#include "common/raii.h"
#include "common/text.h"
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
        // words of the unattended command line mean nothing here unless the line begins with
        // /unattended: a "/" starts no option, a "-" inside a value still does, as it always did
        {"-export /unattended", RunMode::Export, "", false, false, false},
        {"x /unattended -debug", RunMode::Debug, "", false, false, false},
        {"-import /folder:Family-Export /onefile", RunMode::Export, "", false, false, false},
        {"/target:C:\\out -help", RunMode::Help, "", false, false, false},
        {"/unattendedly -about", RunMode::About, "", false, false, false},
    };
    for (const ParseCase& c : cases) {
        SCOPED_TRACE(c.line);
        EXPECT_FALSE(IsUnattendedCommandLine(c.line)) << "the line goes to the dialogs' parser";
        CCommandLine cmd;
        ParseCommandLine(c.line, &cmd);
        EXPECT_STREQ(ModeName(c.mode), ModeName(cmd.mode));
        EXPECT_EQ(c.selectionFile, cmd.selectionFile);
        EXPECT_EQ(c.temporary, cmd.temporary);
        EXPECT_EQ(c.bad, cmd.bad);
        EXPECT_EQ(c.foreground, cmd.foreground);
    }
}

// An unattended line is told by its first word alone, and each option by its full name: every
// field each option sets, its defaults, and the first fault of a line that cannot be used.
TEST(UnattendedCommandLine, ParsesTheTable)
{
    EXPECT_TRUE(IsUnattendedCommandLine("/unattended"));
    EXPECT_TRUE(IsUnattendedCommandLine(" \t/UnAttended /export"));
    EXPECT_FALSE(IsUnattendedCommandLine("/unattended:x"));
    EXPECT_FALSE(IsUnattendedCommandLine("\"/unattended\""));
    EXPECT_FALSE(IsUnattendedCommandLine(nullptr));

    struct Case {
        const wchar_t* line;
        const char* fields;  // job|folder|all|target|format|encoding|onefile|source|into|conflict|report|groupcards|nogroups, or the error
    } cases[] = {
        {L"/unattended /export /folder:Friends /target:C:\\out",
         "export|Friends|0|C:\\out|3.0||0|||0||0|0"},
        {L"/UNATTENDED /EXPORT /ALLFOLDERS /TARGET:\"C:\\My Cards\" /FORMAT:2.1 /ENCODING:\"Cyrillic (Windows)\" "
         L"/ONEFILE /REPORT:\"C:\\r e.txt\"",
         "export||1|C:\\My Cards|2.1|Cyrillic (Windows)|1|||0|C:\\r e.txt|0|0"},
        {L"/unattended /export /folder:\"Family-Import\" /target:C:\\x-export",
         "export|Family-Import|0|C:\\x-export|3.0||0|||0||0|0"},
        {L"/unattended /export /folder:\u0414\u0440\u0443\u0437\u044c\u044f /target:t /format:3.0",
         "export|\xD0\x94\xD1\x80\xD1\x83\xD0\xB7\xD1\x8C\xD1\x8F|0|t|3.0||0|||0||0|0"},
        {L"/unattended /import /source:\"C:\\in box\" /into:Imported", "import||0||3.0||0|C:\\in box|Imported|0||0|0"},
        {L"/unattended /import /source:s /into:i /conflict:Replace", "import||0||3.0||0|s|i|1||0|0"},
        {L"/unattended\t/import\t/source:s /into:i /conflict:leaveold /report:r", "import||0||3.0||0|s|i|2|r|0|0"},
        {L"/unattended /import /source:s /into:i /conflict:duplicate", "import||0||3.0||0|s|i|0||0|0"},
        {L"/unattended /export /allfolders /target:t /GroupCards", "export||1|t|3.0||0|||0||1|0"},
        {L"/unattended /export /allfolders /target:t /format:CSV", "export||1|t|CSV||0|||0||0|0"},
        {L"/unattended /import /source:s /into:i /nogroups", "import||0||3.0||0|s|i|0||0|1"},
        // faults
        {L"/unattended", "no job: give /export or /import"},
        {L"/unattended /report:r.txt", "no job: give /export or /import"},
        {L"/unattended /export /import", "give either /export or /import, not both"},
        {L"/unattended /export /export", "/export is given twice"},
        {L"/unattended /export /allfolders /target:t /target:u", "/target is given twice"},
        {L"/unattended /export /target:t", "an export needs either /folder:<name> or /allfolders"},
        {L"/unattended /export /allfolders /folder:f /target:t", "an export needs either /folder:<name> or /allfolders"},
        {L"/unattended /export /allfolders", "an export needs /target:<folder>"},
        {L"/unattended /export /allfolders /target:", "/target needs a value: /target:<value>"},
        {L"/unattended /export /allfolders:yes /target:t", "/allfolders takes no value"},
        {L"/unattended /export /allfolders /target:t /format:4.0", "unknown format \"4.0\" (the formats are 2.1, 3.0, csv)"},
        {L"/unattended /export /allfolders /target:t /source:s", "/source belongs to /import"},
        {L"/unattended /import /source:s /into:i /onefile", "/onefile belongs to /export"},
        {L"/unattended /import /source:s /into:i /groupcards", "/groupcards belongs to /export"},
        {L"/unattended /export /allfolders /target:t /nogroups", "/nogroups belongs to /import"},
        {L"/unattended /import /into:i", "an import needs /source:<folder>"},
        {L"/unattended /import /source:s", "an import needs /into:<address-book folder>"},
        {L"/unattended /import /source:s /into:i /conflict:merge",
         "unknown conflict mode \"merge\" (the modes are duplicate, replace, leaveold)"},
        {L"/unattended /export /allfolders /target:t stray", "\"stray\" is not an option: options are written /name or /name:value"},
        {L"/unattended -export /allfolders /target:t", "\"-export\" is not an option: options are written /name or /name:value"},
        {L"/unattended /export /fold:f /target:t", "unknown option \"/fold:f\""},
        {L"/unattended /export /folders:f /target:t", "unknown option \"/folders:f\""},
        {L"/unattended /exp /allfolders /target:t", "unknown option \"/exp\""},
        {L"/unattended /exportall /allfolders /target:t", "unknown option \"/exportall\""},
        {L"/unattended /import /source:s /into:i /conflict:rep", "unknown conflict mode \"rep\" (the modes are duplicate, replace, leaveold)"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(common::ToUtf8(c.line));
        CUnattendedOptions o;
        ParseUnattendedOptions(c.line, &o);
        std::string fields = o.error;
        if (fields.empty()) {
            const char* job = o.job == UnattendedJob::Export ? "export" : o.job == UnattendedJob::Import ? "import" : "none";
            fields = common::Format("%s|%s|%d|%s|%s|%s|%d|%s|%s|%d|%s|%d|%d", job, common::ToUtf8(o.folder).c_str(),
                                    o.allFolders, common::ToUtf8(o.target).c_str(), o.format.c_str(),
                                    common::ToUtf8(o.encoding).c_str(), o.oneFile, common::ToUtf8(o.source).c_str(),
                                    common::ToUtf8(o.into).c_str(), o.conflict, common::ToUtf8(o.report).c_str(),
                                    o.groupCards, o.noGroups);
        }
        EXPECT_EQ(c.fields, fields);
    }
    // The report is named even by a line that fails: it is where the caller looks.
    CUnattendedOptions o;
    ParseUnattendedOptions(L"/unattended /export /bogus /report:r.txt", &o);
    EXPECT_EQ("unknown option \"/bogus\"", o.error);
    EXPECT_EQ(L"r.txt", o.report);
}

// No option of the dialogs' command line swallows an option of the unattended one, nor the other
// way round: written with "-" on a line of the dialogs (where options match by prefix) a new name
// selects nothing, and the dialogs' words written with "/" on an unattended line are unknown there
// (but /export and /import, the same jobs).
TEST(UnattendedCommandLine, NoPrefixSwallowsAnOptionEitherWay)
{
    const char* const kNew[] = {"unattended", "folder",   "allfolders", "target", "format", "encoding",
                                "onefile",    "source",   "into",       "conflict", "report", "groupcards", "nogroups"};
    const char* const kOld[] = {"export", "import", "about", "bugreport", "debug", "selection", "foreground", "help"};
    for (const char* name : kNew) {
        for (const std::string& line : {std::string("-") + name, std::string("-") + name + ":value", std::string("/") + name}) {
            SCOPED_TRACE(line);
            for (const char* old : kOld)
                EXPECT_FALSE(StartsWithNoCaseAscii(line.c_str() + 1, old)) << old;
            CCommandLine cmd;
            ParseCommandLine(line.c_str(), &cmd);
            EXPECT_STREQ("none", ModeName(cmd.mode));
            EXPECT_FALSE(cmd.foreground || cmd.bad || !cmd.selectionFile.empty());
        }
    }
    for (const char* old : kOld) {
        SCOPED_TRACE(old);
        std::wstring word = common::AnsiToWide(old);
        CUnattendedOptions o;
        ParseUnattendedOptions(L"/unattended /" + word, &o);
        bool job = word == L"export" || word == L"import";
        EXPECT_EQ(job ? std::string::npos : 0u, o.error.find("unknown option")) << o.error;
        ParseUnattendedOptions(L"/unattended /export /allfolders /target:t /" + word + L"x", &o);
        EXPECT_EQ(0u, o.error.find("unknown option")) << o.error;
    }
}

// Unattended, each box is answered by its default button (the OK/Cancel box of a file that cannot
// be opened: OK, go on), and while an unattended run lives no window may show.
TEST(UnattendedCommandLine, EachBoxIsAnsweredByItsDefaultButton)
{
    const struct {
        UINT type;
        int answer;
    } cases[] = {
        {MB_OK, IDOK},
        {MB_OK | MB_ICONWARNING, IDOK},
        {MB_OKCANCEL | MB_ICONEXCLAMATION, IDOK},
        {MB_OKCANCEL | MB_DEFBUTTON2, IDCANCEL},
        {MB_YESNO, IDYES},
        {MB_YESNO | MB_DEFBUTTON2, IDNO},
        {MB_YESNOCANCEL | MB_DEFBUTTON3, IDCANCEL},
        {MB_RETRYCANCEL, IDRETRY},
        {MB_ABORTRETRYIGNORE | MB_DEFBUTTON3, IDIGNORE},
    };
    EXPECT_TRUE(Prompts().ShowsWindows());
    {
        CUnattendedRun run("/unattended /export /allfolders /target:t");
        EXPECT_FALSE(Prompts().ShowsWindows());
        for (const auto& c : cases)
            EXPECT_EQ(c.answer, PromptBox(nullptr, "text", "caption", c.type)) << std::hex << c.type;
    }
    EXPECT_TRUE(Prompts().ShowsWindows()) << "the message boxes are back once the run goes";
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
