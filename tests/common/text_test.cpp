#include <gtest/gtest.h>

#include <cstring>
#include <string>

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
