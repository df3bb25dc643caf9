#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "common/ansipath.h"
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
