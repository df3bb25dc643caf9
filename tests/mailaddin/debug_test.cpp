// CDebug: the exact lines each operation writes, the formatter's cases, level and target gating,
// timers, indentation and the size rule at creation. The clock is fixed so that whole lines can be
// compared, time stamp included.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "mailaddin/Debug.h"
#include "support/testsupport.h"

using namespace gimlet;
using testsupport::CTempDir;

namespace {

SYSTEMTIME g_now;
SYSTEMTIME FixedClock() { return g_now; }

void SetNow(WORD hour, WORD minute, WORD second, WORD ms)
{
    g_now = SYSTEMTIME{2026, 12, 1, 7, hour, minute, second, ms};
}

// The time stamp as the system formats a short date and a long time, taken through other calls
// than the log's own.
std::string Stamp()
{
    char date[64], time[64];
    ::GetDateFormatA(LOCALE_USER_DEFAULT, DATE_SHORTDATE, &g_now, nullptr, date, sizeof date);
    ::GetTimeFormatA(LOCALE_USER_DEFAULT, 0, &g_now, nullptr, time, sizeof time);
    return std::string(date) + " " + time + " ";
}

class DebugLog : public ::testing::Test {
protected:
    void SetUp() override
    {
        SetNow(11, 23, 19, 0);
        CDebug::SetClock(&FixedClock);
        Err().Clear();
    }
    void TearDown() override { CDebug::SetClock(nullptr); }

    // The lines of the log without their time stamp, which every line must carry.
    // With anyTime, each line may carry another time of the same day (the timers' test moves
    // the clock); the times it uses all have the same length.
    std::vector<std::string> Lines(const CTempDir* folder = nullptr, bool anyTime = false)
    {
        std::string text = testsupport::ReadFileBytes((folder ? *folder : dir).file("Gimlet.log"));
        std::vector<std::string> lines;
        const std::string stamp = Stamp();
        size_t pos = 0;
        while (pos < text.size()) {
            size_t end = text.find("\r\n", pos);
            if (end == std::string::npos) {
                ADD_FAILURE() << "line without CR LF: " << text.substr(pos);
                break;
            }
            std::string line = text.substr(pos, end - pos);
            const size_t fixed = anyTime ? stamp.find(' ') + 1 : stamp.size();
            if (line.size() < stamp.size() || line.compare(0, fixed, stamp, 0, fixed) != 0)
                ADD_FAILURE() << "line without the time stamp '" << stamp << "': " << line;
            else
                lines.push_back(line.substr(stamp.size()));
            pos = end + 2;
        }
        return lines;
    }

    CTempDir dir;
};

using LineList = std::vector<std::string>;

TEST_F(DebugLog, PlainLinesJoinTheirValuesWithSpaces)
{
    CDebug log(dir.path());
    log.Out("Add.Init 1.0.97");
    log.Out("a", 3, 2.5, true, std::string("b"));
    log.Out();
    // A list handed on as the first argument stands for its values, however deep.
    log.Out(CParams{CVar(CParams{CVar("x"), CVar(1)})});
    EXPECT_EQ((LineList{"Add.Init 1.0.97", "a 3 2.5 True b", "", "x 1"}), Lines());
}

TEST_F(DebugLog, LevelsGateOut1AndOut2)
{
    CDebug log(dir.path());
    EXPECT_EQ(2, log.DebugLevel());
    log.Out1("one");
    log.Out2("two");
    log.printf1("p%d", 1);
    log.printf2("p%d", 2);
    log.SetDebugLevel(1);
    log.Out1("one again");
    log.Out2("two again");
    log.SetDebugLevel(3);
    log.Out1("never");
    log.Out2("never");
    log.Out("always");
    EXPECT_EQ((LineList{"two", "p2", "one again", "always"}), Lines());
}

TEST_F(DebugLog, OnlyTargetBitTwoWritesTheFile)
{
    CDebug log(dir.path());
    EXPECT_EQ(3, log.DebugTarget());
    log.SetDebugTarget(1);
    log.Out("lost");
    log.OutWarning("w", "lost");
    EXPECT_FALSE(testsupport::FileExists(dir.file("Gimlet.log")));
    log.SetDebugTarget(2);
    log.Out("kept");
    EXPECT_EQ((LineList{"kept"}), Lines());
}

struct FormatCase {
    const char* format;
    CParams args;
    LineList lines;
};

TEST_F(DebugLog, PrintfFormatsAndWarns)
{
    const FormatCase cases[] = {
        {"%d of %s", {3, "x"}, {"3 of x"}},
        {"100%%", {}, {"100%"}},
        {"plain", {}, {"plain"}},
        {"%x", {}, {"Warning : CDebug.out\tInvalid format specificator(x)", ""}},
        {"end %", {}, {"Warning : CDebug.out\tInvalid format specificator()", "end "}},
        {"%s %s", {"a"}, {"Error(9) : CDebug.sprintf('%s %s'),line=0\tSubscript out of range", ""}},
        {"%s", {5}, {"Warning : CDebug.out\tVarType(3) <> vbString, Typename = Long", "5"}},
        {"%s", {true}, {"Warning : CDebug.out\tVarType(11) <> vbString, Typename = Boolean", "True"}},
        {"%d", {"42"}, {"42"}},
        {"%d", {3.7}, {"4"}},
        {"%d", {"abc"},
         {"Warning : CDebug.out\tNot IsNumeric(8), Typename = String",
          "Error(13) : CDebug.sprintf('%d'),line=0\tType mismatch", ""}},
        {"%d", {1e12}, {"Error(6) : CDebug.sprintf('%d'),line=0\tOverflow", ""}},
        {"[%d|%s]", {CParams{CVar(7), CVar("seven")}}, {"[7|seven]"}},
    };
    for (const FormatCase& c : cases) {
        CTempDir own;
        CDebug log(own.path());
        log.printf(c.format, CVar(c.args));
        EXPECT_EQ(c.lines, Lines(&own)) << "format " << c.format;
    }
}

TEST_F(DebugLog, ErrorWarningAndCallLines)
{
    CDebug log(dir.path());
    log.Assert(true, "Where", "x > 0");
    log.Assert(false, "Where", "x > 0");
    Err().Raise(91, "Object variable or With block variable not set");
    log.OutError("AddGUI0");
    log.OutError("again");  // the error was cleared by the first line
    Err().Raise(5, "Invalid procedure call or argument");
    Err().LastDllError = 2;
    log.OutLastDllError("LoadLibrary");
    log.OutLastDllError("cleared");
    log.OutCustomError("Place", "what went wrong");
    log.OutWarning("Place", "something odd");
    log.OutCall(CParams{CVar("Open"), CVar(3), CVar("a.txt")});
    log.OutCall(CParams{CVar("Close")});
    log.OutCall(CParams{CVar(CParams{CVar("Seek"), CVar("12"), CVar(1.5)})});
    EXPECT_EQ((LineList{
                  "ERROR - ASSERT FAILED: Where\tx > 0 = FALSE",
                  "Error(91) : AddGUI0,line=0\tObject variable or With block variable not set",
                  "Error(0) : again,line=0\t",
                  "DllError(2) : LoadLibrary",
                  "DllError(0) : cleared",
                  "Error(custom) : Place\twhat went wrong",
                  "Warning : Place\tsomething odd",
                  "Call Open(3, 'a.txt')",
                  "Call Close()",
                  "Call Seek(12, 1.5)",
              }),
              Lines());
}

TEST_F(DebugLog, ErrorsOfComCallsCarryTheirDescription)
{
    CDebug log(dir.path());
    ::SetErrorInfo(0, nullptr);
    Err().FromHResult(E_INVALIDARG);
    log.OutError("X");
    LineList lines = Lines();
    ASSERT_EQ(1u, lines.size());
    EXPECT_EQ(0u, lines[0].find("Error(-2147024809) : X,line=0\t")) << lines[0];
    EXPECT_GT(lines[0].size(), std::string("Error(-2147024809) : X,line=0\t").size()) << "no description";
}

TEST_F(DebugLog, IndentPrefixesEveryLine)
{
    CDebug log(dir.path());
    log.PushTab();
    log.Out("one");
    log.PushTab();
    log.OutWarning("w", "two");
    log.PopTab();
    log.PopTab();
    log.PopTab();  // never below nothing
    log.Out("three");
    EXPECT_EQ((LineList{"    one", "        Warning : w\ttwo", "three"}), Lines());
}

TEST_F(DebugLog, TimersNestAndReport)
{
    {
        CDebug log(dir.path());
        log.EndTimer("none");
        SetNow(11, 23, 19, 0);
        log.StartTimer();
        SetNow(11, 23, 20, 0);
        log.StartTimer();
        SetNow(11, 23, 20, 250);
        log.EndTimer("inner");
        SetNow(11, 23, 21, 500);
        log.EndTimer("outer");
        EXPECT_EQ(0, log.TimerCount());

        for (int i = 0; i < 10; ++i)
            log.StartTimer();
        SetNow(11, 23, 23, 0);
        log.StartTimer();  // the eleventh
        EXPECT_EQ(10, log.TimerCount());
        SetNow(11, 23, 22, 0);
        log.EndTimer("tenth");  // the tenth start is still the most recent one
        EXPECT_EQ(9, log.TimerCount());
        log.SetDebugLevel(1);
        log.EndTimer("quiet");  // written through Out2 only
        EXPECT_EQ(8, log.TimerCount());
    }
    std::string s = SingleText(0.5f);  // the decimal separator of this system
    EXPECT_EQ((LineList{"Warning: CDebug::EndTimer can't run",
                     "  inner timing : " + SingleText(0.25f),
                     "  outer timing : " + SingleText(2.5f),
                     "Warning CDebug.StartTimer can't run",
                     "  tenth timing : " + SingleText(0.5f),
                     "Warning - CDebug.m_TimerCount <> 0!"}),
              Lines(nullptr, true));
    EXPECT_EQ(std::string("0") + s[1] + "5", s);
}

TEST_F(DebugLog, LogLongerThanTheLimitIsDeletedAtCreation)
{
    struct {
        size_t size;
        bool kept;
    } const cases[] = {{1024000, true}, {1024001, false}, {10, true}};
    for (const auto& c : cases) {
        ASSERT_TRUE(testsupport::WriteFileBytes(dir.file("Gimlet.log"), std::string(c.size, 'x')));
        {
            CDebug log(dir.path());
            EXPECT_EQ(c.kept, testsupport::FileExists(dir.file("Gimlet.log"))) << c.size;
            log.Out("next");
        }
        std::string text = testsupport::ReadFileBytes(dir.file("Gimlet.log"));
        EXPECT_EQ(c.kept ? c.size + Stamp().size() + 6 : Stamp().size() + 6, text.size()) << c.size;
        ::DeleteFileA(dir.file("Gimlet.log").c_str());
    }
}

TEST(DebugVariants, TypeNamesAndNumbersAreThoseOfTheVariant)
{
    struct {
        CVar value;
        VARTYPE vt;
        const char* name;
        bool numeric;
    } const cases[] = {
        {CVar("x"), VT_BSTR, "String", false},     {CVar(3), VT_I4, "Long", true},
        {CVar(short(3)), VT_I2, "Integer", true},  {CVar(2.5), VT_R8, "Double", true},
        {CVar(2.5f), VT_R4, "Single", true},       {CVar(true), VT_BOOL, "Boolean", true},
        {CVar(), VT_EMPTY, "Empty", true},         {CVar::Null(), VT_NULL, "Null", false},
        {CVar("12"), VT_BSTR, "String", true},     {CVar(CParams{CVar(1)}), VT_ARRAY | VT_VARIANT, "Variant()", false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.vt, c.value.Type()) << c.name;
        EXPECT_EQ(c.name, VarTypeName(c.value.get()));
        EXPECT_EQ(c.numeric, VarIsNumeric(c.value.get())) << c.name;
    }
}

}  // namespace
