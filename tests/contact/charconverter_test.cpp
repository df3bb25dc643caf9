#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "common/raii.h"
#include "contact/CharConverter.h"
#include "support/logcapture.h"
#include "support/testsupport.h"

using testsupport::CTempDir;

namespace {

std::string Describe(const std::vector<EncodingEntry>& entries)
{
    std::string out;
    for (const EncodingEntry& e : entries)
        out += "[" + e.displayName + "][" + e.charsetName + "][" + std::to_string(e.codePage) + "]\n";
    return out;
}

std::string Hex(const std::string& bytes)
{
    static const char d[] = "0123456789ABCDEF";
    std::string out;
    for (unsigned char c : bytes) {
        if (!out.empty())
            out += ' ';
        out += d[c >> 4];
        out += d[c & 15];
    }
    return out;
}

// Answers the warning box of Load from another thread: records its caption and text, presses OK.
class CBoxAnswerer {
public:
    CBoxAnswerer()
        : m_thread([this] {
              HWND box = testsupport::WaitTopWindow(::GetCurrentProcessId(), "#32770", "Quillon", 10000);
              if (!box)
                  return;
              caption = testsupport::WindowText(box);
              text = testsupport::DialogStaticText(box);
              seen = true;
              testsupport::PostClick(box, IDOK);
          })
    {
    }
    ~CBoxAnswerer() { Join(); }
    void Join()
    {
        if (m_thread.joinable())
            m_thread.join();
    }
    std::atomic<bool> seen{false};
    std::string caption, text;

private:
    std::thread m_thread;
};

}  // namespace

// The encodings file is a table of lines; each row gives a file text and what it must yield.
TEST(EncodingsFile, LinesThatCountAndLinesThatAreSkipped)
{
    struct Case {
        const char* name;
        std::string text;
        const char* expected;
    } cases[] = {
        {"plain line", "Cyrillic (Windows)|WINDOWS-1251|1251\n", "[Cyrillic (Windows)][WINDOWS-1251][1251]\n"},
        {"last line without line end", "A|a|1250\nB|b|1251",
         "[A][a][1250]\n[B][b][1251]\n"},
        {"only line without line end", "Unicode|UTF-8|65001", "[Unicode][UTF-8][65001]\n"},
        {"blanks and tabs around fields", "  West  Euro |\tISO-8859-1 \t| 28591 \r\n",
         "[West  Euro][ISO-8859-1][28591]\n"},
        {"CR, LF, CRLF and empty lines", "\r\n\nA|a|1\r\rB|b|2\n\r\nC|c|3\r\n",
         "[A][a][1]\n[B][b][2]\n[C][c][3]\n"},
        {"code page 0 skipped", "Z|z|0\nA|a|1252\n", "[A][a][1252]\n"},
        {"empty charset skipped", "Z| |1252\nA|a|1252\n", "[A][a][1252]\n"},
        {"empty display name skipped", " |z|1252\n", ""},
        {"empty code page skipped", "Z|z|\n", ""},
        {"one bar missing", "Z|z 1252\n", ""},
        {"no bars", "just a comment\n", ""},
        {"digits then letters read as the digits", "A|a|1251abc\n", "[A][a][1251]\n"},
        {"no leading digits reads as 0", "A|a|cp1251\nB|b|-5\n", ""},
        {"a code page too large for a number", "A|a|99999999999999999999\n", ""},
        {"a third bar ends the code page", "A|a|932|anything|else\n", "[A][a][932]\n"},
        {"file order kept, duplicates kept", "B|x|2\nA|x|1\nB|y|3\n", "[B][x][2]\n[A][x][1]\n[B][y][3]\n"},
        {"a zero byte ends the text", std::string("A|a|1\n\0B|b|2\n", 13), "[A][a][1]\n"},
        {"empty file", "", ""},
    };
    for (const Case& c : cases)
        EXPECT_EQ(c.expected, Describe(CCharConverter::ParseEncodings(c.text))) << c.name;
}

// The file shipped beside the program lists what users of this program need, under the names
// IANA gives, and every code page it names works on this system.
TEST(EncodingsFile, ShippedListCoversTheNeededEncodings)
{
    std::string text = testsupport::ReadFileBytes(testsupport::BinDir() + "\\supportedEncodings.txt");
    std::vector<EncodingEntry> entries = CCharConverter::ParseEncodings(text);
    ASSERT_FALSE(entries.empty());
    EXPECT_EQ("UTF-8", entries[0].charsetName) << "the first entry is what a first export offers";

    struct Need {
        const char* charset;
        int codePage;
    } needs[] = {
        {"UTF-8", 65001},        {"windows-1250", 1250}, {"windows-1251", 1251}, {"windows-1252", 1252},
        {"windows-1253", 1253},  {"windows-1254", 1254}, {"windows-1255", 1255}, {"windows-1256", 1256},
        {"windows-1257", 1257},  {"windows-1258", 1258}, {"ISO-8859-1", 28591},  {"ISO-8859-2", 28592},
        {"ISO-8859-5", 28595},   {"ISO-8859-7", 28597},  {"ISO-8859-9", 28599},  {"ISO-8859-15", 28605},
        {"KOI8-R", 20866},       {"Shift_JIS", 932},     {"GB2312", 936},        {"Big5", 950},
        {"EUC-KR", 949},         {"EUC-JP", 20932},
    };
    for (const Need& n : needs) {
        bool found = false;
        for (const EncodingEntry& e : entries)
            found = found || (e.charsetName == n.charset && e.codePage == n.codePage);
        EXPECT_TRUE(found) << n.charset;
    }
    for (const EncodingEntry& e : entries) {
        EXPECT_TRUE(::IsValidCodePage(static_cast<UINT>(e.codePage))) << e.displayName;
        for (const EncodingEntry& other : entries) {
            if (&other != &e) {
                EXPECT_NE(e.displayName, other.displayName) << "display names pick the encoding";
            }
        }
    }
}

TEST(EncodingsFile, LoadFromAFileGivesItsEntriesAndNoBox)
{
    CTempDir dir;
    std::string path = dir.file("supportedEncodings.txt");
    ASSERT_TRUE(testsupport::WriteFileBytes(path, "Cyrillic (Windows)|windows-1251|1251\r\nJapanese|Shift_JIS|932"));
    CCharConverter conv;
    EXPECT_EQ(2u, conv.LoadFrom(path.c_str(), nullptr));
    EXPECT_EQ("[Cyrillic (Windows)][windows-1251][1251]\n[Japanese][Shift_JIS][932]\n", Describe(conv.Encodings()));
    EXPECT_EQ(nullptr, testsupport::FindTopWindow(::GetCurrentProcessId(), "#32770", "Quillon"));
}

// Without a usable file only UTF-8 is offered, and the user is told so in a warning box.
TEST(EncodingsFile, MissingOrUselessFileOffersUtf8AndWarns)
{
    CTempDir dir;
    std::string useless = dir.file("useless.txt");
    ASSERT_TRUE(testsupport::WriteFileBytes(useless, "no bars here\r\n"));
    for (std::string path : {dir.file("missing.txt"), useless}) {
        CCharConverter conv;
        CBoxAnswerer answer;
        EXPECT_EQ(0u, conv.LoadFrom(path.c_str(), nullptr));
        answer.Join();
        EXPECT_TRUE(answer.seen) << path;
        EXPECT_EQ("Quillon", answer.caption);
        EXPECT_EQ("Supported encodings file was not found.\nOnly UTF-8 encoding will be available", answer.text);
        EXPECT_EQ("[UTF-8][UTF-8][65001]\n", Describe(conv.Encodings()));
    }
}

class Lookups : public ::testing::Test {
protected:
    void SetUp() override
    {
        CTempDir dir;
        std::string path = dir.file("enc.txt");
        ASSERT_TRUE(testsupport::WriteFileBytes(path,
                                                "Unicode (UTF-8)|UTF-8|65001\n"
                                                "Cyrillic (Windows)|windows-1251|1251\n"
                                                "Cyrillic (other name)|cp1251|1251\n"
                                                "Western|ISO-8859-1|28591\n"));
        ASSERT_EQ(4u, conv.LoadFrom(path.c_str(), nullptr));
    }
    CCharConverter conv;
};

TEST_F(Lookups, CharsetNameOfACodePage)
{
    EXPECT_EQ("UTF-8", conv.CharsetName(65001));
    EXPECT_EQ("windows-1251", conv.CharsetName(1251)) << "the first entry with the code page";
    EXPECT_EQ("", conv.CharsetName(-1));
    EXPECT_EQ("", conv.CharsetName(-2));
    EXPECT_EQ("", conv.CharsetName(1252));
}

TEST_F(Lookups, CodePageByCharsetIgnoresAsciiCase)
{
    EXPECT_EQ(65001, conv.CodePageByCharset("UTF-8"));
    EXPECT_EQ(65001, conv.CodePageByCharset("utf-8"));
    EXPECT_EQ(1251, conv.CodePageByCharset("WINDOWS-1251"));
    EXPECT_EQ(1251, conv.CodePageByCharset("CP1251"));
    EXPECT_EQ(28591, conv.CodePageByCharset("iso-8859-1"));
    EXPECT_EQ(-2, conv.CodePageByCharset("UTF-"));
    EXPECT_EQ(-2, conv.CodePageByCharset("UTF-8 "));
    EXPECT_EQ(-2, conv.CodePageByCharset("KOI8-R"));
    EXPECT_EQ(-1, conv.CodePageByCharset(""));
    EXPECT_EQ(-1, conv.CodePageByCharset(nullptr));
}

TEST_F(Lookups, CodePageByNameIsExact)
{
    EXPECT_EQ(1251, conv.CodePageByName("Cyrillic (Windows)"));
    EXPECT_EQ(1251, conv.CodePageByName("Cyrillic (other name)"));
    EXPECT_EQ(-2, conv.CodePageByName("cyrillic (windows)"));
    EXPECT_EQ(-2, conv.CodePageByName("UTF-8"));
    EXPECT_EQ(-1, conv.CodePageByName(""));
}

// Conversions in several code pages; characters a code page lacks become its default character.
TEST(Conversion, BytesInSeveralCodePages)
{
    struct Case {
        int codePage;
        std::wstring text;
        const char* bytes;
    } cases[] = {
        {65001, L"A\u00e9\u0416\u20ac", "41 C3 A9 D0 96 E2 82 AC"},
        {1251, L"\u0416\u0436 \u20ac", "C6 E6 20 88"},
        {1251, L"\u65e5\u4e2d", "3F 3F"},
        {1252, L"\u00e9\u20ac\u0416", "E9 80 3F"},
        {1250, L"\u0159\u0160", "F8 8A"},
        {1253, L"\u03b1\u03a9", "E1 D9"},
        {28605, L"\u20ac\u0160", "A4 A6"},
        {28591, L"\u00ff\u20ac", "FF 3F"},
        {28595, L"\u0416", "B6"},
        {20866, L"\u0416\u0436", "F6 D6"},
        {932, L"\u65e5\u672c", "93 FA 96 7B"},
        {936, L"\u4e2d", "D6 D0"},
        {950, L"\u4e2d", "A4 A4"},
        {949, L"\ud55c", "C7 D1"},
        {-1, L"\u00e9", "E9"},
    };
    for (const Case& c : cases) {
        CCharConverter conv;
        conv.SetCurrentCodePage(c.codePage);
        std::string bytes;
        int n = conv.ToBytes(c.text, &bytes);
        EXPECT_EQ(c.bytes, Hex(bytes)) << c.codePage;
        EXPECT_EQ(static_cast<int>(bytes.size()), n) << c.codePage;
        bool lossy = std::string(c.bytes).find("3F") != std::string::npos;
        if (!lossy) {
            std::wstring back;
            EXPECT_EQ(static_cast<int>(c.text.size()), conv.ToWide(bytes, &back)) << c.codePage;
            EXPECT_EQ(c.text, back) << c.codePage;
        }
    }
}

TEST(Conversion, NoCodePageOrEmptyInputFails)
{
    CCharConverter conv;
    EXPECT_EQ(-1, conv.GetCurrentCodePage()) << "starts with the ANSI code page";
    std::string bytes = "left over";
    std::wstring text = L"left over";
    EXPECT_EQ(-1, conv.ToBytes(std::wstring(), &bytes));
    EXPECT_EQ("", bytes);
    EXPECT_EQ(-1, conv.ToWide(std::string(), &text));
    EXPECT_EQ(L"", text);
    conv.SetCurrentCodePage(CCharConverter::kNoCodePage);
    EXPECT_EQ(-1, conv.ToBytes(L"abc", &bytes));
    EXPECT_EQ(-1, conv.ToWide("abc", &text));
    conv.SetCurrentCodePage(12345);
    EXPECT_EQ(-1, conv.ToBytes(L"abc", &bytes)) << "a code page the system lacks";
}

TEST(Conversion, ToWideOfPartialBuffers)
{
    CCharConverter conv;
    conv.SetCurrentCodePage(CP_UTF8);
    const char text[] = "\xD0\x96\xD0\xB6tail";
    std::wstring out;
    EXPECT_EQ(2, conv.ToWide(text, 4, &out));
    EXPECT_EQ(L"\u0416\u0436", out);
}

// Bad encodings files: each gives a clear outcome (its usable entries, or UTF-8 alone with the
// warning box), one log line naming the file, and no crash or hang.
TEST(EncodingsFile, BadFilesGiveAClearOutcomeAndALogLine)
{
    CTempDir dir;
    CLogCapture log;
    const std::string random = testsupport::NoiseBytes(4096, 7);
    const std::string utf8Only = "[UTF-8][UTF-8][65001]\n";
    struct Case {
        const char* name;
        const char* kind;  // "file", "directory", "locked" or "huge"
        std::string bytes;
        std::string entries;
        const char* logged;
    } cases[] = {
        {"binary", "file", random, utf8Only, "lines are not \"name|charset|code page\": skipped"},
        {"empty", "file", "", utf8Only, "empty file"},
        {"saved as UTF-16", "file", std::string("\xFF\xFEU\0|\0U\0|\0001\0\r\0\n\0", 16), utf8Only,
         "1 lines are not"},
        {"a code page this system lacks", "file", "A|a|12345\r\nCyrillic|windows-1251|1251\r\n",
         "[Cyrillic][windows-1251][1251]\n", "code page 12345 of \"A\" is not on this system: skipped"},
        {"a name far too long", "file", std::string(200, 'N') + "|x|1252\nB|b|1252\n", "[B][b][1252]\n",
         "1 lines are not \"name|charset|code page\": skipped (the first is line 1)"},
        {"a UTF-8 mark in front", "file", "\xEF\xBB\xBFUnicode|UTF-8|65001\nB|b|1252\nbad line\n",
         "[Unicode][UTF-8][65001]\n[B][b][1252]\n", "(the first is line 3)"},
        {"huge", "huge", "", utf8Only, "bytes, more than 16777216"},
        {"a directory", "directory", "", utf8Only, "cant open file"},
        {"held open by another", "locked", "A|a|1252\n", utf8Only, "cant open file"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        log.Clear();
        const std::string path = dir.file(std::string(c.name) + ".txt");
        const std::string kind = c.kind;
        if (kind == "directory")
            ASSERT_TRUE(::CreateDirectoryA(path.c_str(), nullptr));
        else
            ASSERT_TRUE(testsupport::WriteFileBytes(path, c.bytes));
        common::CFileHandle held;
        if (kind == "locked" || kind == "huge")
            held.reset(::CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr));
        if (kind == "huge") {
            LARGE_INTEGER end;
            end.QuadPart = 16 * 1024 * 1024 + 1;
            ASSERT_TRUE(::SetFilePointerEx(held.get(), end, nullptr, FILE_BEGIN) && ::SetEndOfFile(held.get()));
            held.reset();
        }
        CCharConverter conv;
        {
            std::unique_ptr<CBoxAnswerer> answer(c.entries == utf8Only ? new CBoxAnswerer : nullptr);
            conv.LoadFrom(path.c_str(), nullptr);
            if (answer) {
                answer->Join();
                EXPECT_TRUE(answer->seen) << "no warning box";
            }
        }
        EXPECT_EQ(c.entries, Describe(conv.Encodings()));
        const std::string lines = log.Lines();
        EXPECT_EQ(1u, std::count(lines.begin(), lines.end(), '\n')) << lines;
        EXPECT_NE(std::string::npos, lines.find(c.logged)) << lines;
        EXPECT_NE(std::string::npos, lines.find(path)) << "the line names the file: " << lines;
    }
}
