#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "common/ansipath.h"
#include "common/entryid.h"
#include "common/text.h"

// Fixed buffers are filled through these helpers everywhere; a long input must be cut, never
// written past the end, and the result always terminated.
TEST(BoundedText, CopyAndFormatCutAtTheBufferEnd)
{
    char buf[8];
    std::memset(buf, 'x', sizeof buf);
    EXPECT_EQ(7u, common::CopyBounded(buf, sizeof buf, "0123456789"));
    EXPECT_STREQ("0123456", buf);
    EXPECT_EQ(2u, common::CopyBounded(buf, sizeof buf, "ab"));
    EXPECT_STREQ("ab", buf);
    EXPECT_EQ(0u, common::CopyBounded(buf, sizeof buf, nullptr));
    EXPECT_STREQ("", buf);

    char small[5];
    EXPECT_EQ(4u, common::FormatBounded(small, sizeof small, "%s-%d", "abc", 12345));
    EXPECT_STREQ("abc-", small);
    EXPECT_EQ(std::string(10000, 'y'), common::Format("%s", std::string(10000, 'y').c_str()));
}

TEST(BoundedText, FolderOfTakesEitherSeparator)
{
    EXPECT_EQ("C:\\a\\b", common::FolderOf(std::string("C:\\a\\b\\Quillon.exe")));
    EXPECT_EQ("C:/a/b", common::FolderOf(std::string("C:/a/b/Ferrule.dll")));
    EXPECT_EQ("", common::FolderOf(std::string("Quillon.exe")));
}

// The Address Book's extension writes the selection file with it, Quillon reads it back.
TEST(EntryIdText, EncodesUpperCaseHexFirstByteFirst)
{
    const struct {
        std::vector<BYTE> bytes;
        const char* text;
    } cases[] = {
        {{}, ""},
        {{0x00}, "00"},
        {{0x00, 0x01, 0x7F, 0x80, 0xAB, 0xFF}, "00017F80ABFF"},
        {{0x00, 0x00, 0x00, 0x00, 0x0A, 0xFF}, "000000000AFF"},
        {{0x01, 0x23, 0x45, 0x67, 0x89, 0xAB, 0xCD, 0xEF}, "0123456789ABCDEF"},
        {{0x10, 0xF0, 0x0F}, "10F00F"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.text, common::EntryIdToText(c.bytes.data(), c.bytes.size()));
    EXPECT_EQ("", common::EntryIdToText(nullptr, 0));
    std::vector<BYTE> all(256);
    for (int i = 0; i < 256; ++i)
        all[i] = static_cast<BYTE>(i);
    std::string text = common::EntryIdToText(all.data(), all.size());
    EXPECT_EQ(512u, text.size());
    EXPECT_EQ(all, common::EntryIdFromText(text.c_str()));
}

namespace {

// Collects what this thread sends to the debugger output: OutputDebugString raises an exception
// that a vectored handler sees before the function's own handler swallows it.
class CDebugOutput {
public:
    CDebugOutput() : m_handler(::AddVectoredExceptionHandler(1, &CDebugOutput::_Handler)) { s_text.clear(); }
    ~CDebugOutput() { ::RemoveVectoredExceptionHandler(m_handler); }
    std::string Text() const { return s_text; }

private:
    static LONG CALLBACK _Handler(EXCEPTION_POINTERS* info)
    {
        const EXCEPTION_RECORD* r = info->ExceptionRecord;
        if (r->ExceptionCode == DBG_PRINTEXCEPTION_C && r->NumberParameters >= 2 && r->ExceptionInformation[1])
            s_text.append(reinterpret_cast<const char*>(r->ExceptionInformation[1]),
                          static_cast<size_t>(r->ExceptionInformation[0]) - 1);
        return EXCEPTION_CONTINUE_SEARCH;
    }
    static std::string s_text;
    void* m_handler;
};
std::string CDebugOutput::s_text;

}  // namespace

// Texts come from settings and files a user may have edited: decoding is lenient, and each bad
// character is reported to the debugger.
TEST(EntryIdText, DecodesLeniently)
{
    struct Case {
        const char* text;
        std::vector<BYTE> bytes;
    } cases[] = {
        {"00017F80ABFF", {0x00, 0x01, 0x7F, 0x80, 0xAB, 0xFF}},
        {"abcdef", {0xAB, 0xCD, 0xEF}},
        {"aBcD", {0xAB, 0xCD}},
        {"ABC", {0xAB}},
        {"A", {}},
        {"", {}},
        {"G0", {0xF0}},
        {"0G", {0xFF}},
        {"GG", {0xFF}},
        {"1G2", {0xFF}},
        {"-1", {0xF1}},
        {" 7", {0xF7}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(c.bytes, common::EntryIdFromText(c.text)) << c.text;
    EXPECT_TRUE(common::EntryIdFromText(nullptr).empty());

    CDebugOutput output;
    common::EntryIdFromText("0011");
    EXPECT_EQ("", output.Text());
    common::EntryIdFromText("G0zz12");
    EXPECT_EQ("Hex2DecError\nHex2DecError\nHex2DecError\n", output.Text());
}

// A path goes on an 8-bit command line only when it comes back unchanged from the ANSI code page
// (1252 here): no look-alike ("best fit") and no replacement character may stand in for a letter.
TEST(BoundedText, WideToAnsiExactTakesOnlyWhatComesBackUnchanged)
{
    const struct {
        const wchar_t* text;
        bool exact;
        const char* ansi;
    } cases[] = {
        {L"", true, ""},
        {L"C:\\Program Files\\Brisco\\Quillon", true, "C:\\Program Files\\Brisco\\Quillon"},
        {L"C:\\Caf\u00e9", true, "C:\\Caf\xe9"},
        {L"C:\\\u041f\u0440\u0438\u043c\u0435\u0440", false, ""},  // Cyrillic
        {L"C:\\\u0100dam", false, ""},                                 // A with macron: best fit would make it "A"
        {L"C:\\\u221e", false, ""},                                    // infinity: best fit would make it "8"
        {L"C:\\\u5c71\u7530", false, ""},
        {L"C:\\x\xD800", false, ""},                                   // a lone surrogate
    };
    for (const auto& c : cases) {
        std::string ansi = "left over";
        EXPECT_EQ(c.exact, common::WideToAnsiExact(c.text, &ansi)) << common::ToUtf8(c.text);
        EXPECT_EQ(c.ansi, ansi) << common::ToUtf8(c.text);
    }
}
