// wabstore.exe and the store description: the sample address book, the list and dump outputs,
// and the messages for a description that cannot be read.
#include "wabtest.h"

using namespace wabtest;
using testsupport::BinDir;

namespace {

size_t CountLines(const std::string& text, const std::string& prefix)
{
    size_t n = 0;
    for (const std::string& line : SplitLines(text, "\n"))
        n += line.compare(0, prefix.size(), prefix) == 0;
    return n;
}

TEST(WabStore, ListsASmallBookExactly)
{
    testsupport::CTempDir dir;
    std::string desc = dir.file("book.txt");
    ASSERT_TRUE(testsupport::WriteFileBytes(desc,
                                            "\xEF\xBB\xBF# a comment\n"
                                            "pab Mine\n"
                                            "contact\n"
                                            "PR_DISPLAY_NAME = Ann\n"
                                            "PR_EMAIL_ADDRESS_W = ann@example.org\n"
                                            "folder Empty\n"
                                            "folder Greek\n"
                                            "contact\n"
                                            "PR_DISPLAY_NAME = \xCE\x91\xCE\xBB\xCF\x86\xCE\xB1\n"
                                            "group\n"
                                            "PR_DISPLAY_NAME = Both\n"
                                            "member = Ann\n"
                                            "member = \xCE\x91\xCE\xBB\xCF\x86\xCE\xB1\n"));
    std::string store = dir.file("s.wab");
    ASSERT_EQ(0, WabStore({"load", store, desc}));
    ASSERT_EQ(0, WabStore({"list", store, dir.file("list.txt")}));
    EXPECT_EQ("folder 00000000515753310400000001000000 Mine (1)\n"
              "  contact 00000000515753310600000002000000 Ann <ann@example.org>\n"
              "folder 00000000515753310400000003000000 Empty (0)\n"
              "folder 00000000515753310400000004000000 Greek (2)\n"
              "  contact 00000000515753310600000005000000 \xCE\x91\xCE\xBB\xCF\x86\xCE\xB1\n"
              "  group   00000000515753310800000006000000 Both\n",
              testsupport::ReadFileBytes(dir.file("list.txt")));
}

TEST(WabStore, TheSampleBookLoadsAndSurvivesADumpAndReload)
{
    testsupport::CTempDir dir;
    std::string store = dir.file("sample.wab");
    ASSERT_EQ(0, WabStore({"load", store, BinDir() + "\\sample-book.txt"}));
    ASSERT_EQ(0, WabStore({"list", store, dir.file("list.txt")}));
    std::string list = testsupport::ReadFileBytes(dir.file("list.txt"));
    EXPECT_EQ(3u, CountLines(list, "folder "));
    EXPECT_EQ(31u, CountLines(list, "  contact "));
    EXPECT_EQ(1u, CountLines(list, "  group "));
    for (const char* name : {u8"\u0418\u0432\u0430\u043D \u041F\u0435\u0442\u0440\u043E\u0432",
                             u8"\u0393\u03B9\u03CE\u03C1\u03B3\u03BF\u03C2", u8"\u5C71\u7530 \u592A\u90CE"})
        EXPECT_NE(std::string::npos, list.find(name)) << name;

    ASSERT_EQ(0, WabStore({"dump", store, dir.file("dump1.txt")}));
    std::string dump = testsupport::ReadFileBytes(dir.file("dump1.txt"));
    EXPECT_NE(std::string::npos, dump.find("ConferencingServers = callto://conf.example.de/mueller\n"));
    EXPECT_NE(std::string::npos, dump.find("PR_COMMENT = Met at the 2019 conference.\\nLikes hiking and chess.\\n"));
    EXPECT_EQ(4u, CountLines(dump, "member = "));

    std::string copy = dir.file("copy.wab");
    ASSERT_EQ(0, WabStore({"load", copy, dir.file("dump1.txt")}));
    ASSERT_EQ(0, WabStore({"dump", copy, dir.file("dump2.txt")}));
    std::string again = testsupport::ReadFileBytes(dir.file("dump2.txt"));
    // Equal but for the first line, which names the file dumped.
    EXPECT_EQ(dump.substr(dump.find('\n')), again.substr(again.find('\n')));
}

TEST(WabStore, DescriptionErrorsNameTheLine)
{
    testsupport::CTempDir dir;
    struct {
        const char* text;
        const char* error;
    } cases[] = {
        {"contact\nPR_FOO = 1\n", "line 2: unknown property \"PR_FOO\""},
        {"PR_DISPLAY_NAME = x\n", "line 1: property outside a contact or group"},
        {"contact\nPR_BIRTHDAY = 31.12.1999\n", "line 2: PR_BIRTHDAY: date is not YYYY-MM-DD or YYYY-MM-DDThh:mm:ss"},
        {"contact\nPR_GENDER = two\n", "line 2: PR_GENDER: not a number"},
        {"group\nPR_DISPLAY_NAME = G\nmember = Nobody\n", "line 1: no contact named \"Nobody\" for the group"},
        {"contact\nmember = x\n", "line 2: member outside a group"},
        {"folder\n", "line 1: folder needs a name"},
        {"contact x\n", "line 1: contact takes nothing after it"},
        {"remove all\n", "line 1: unknown statement \"remove\""},
    };
    for (const auto& c : cases) {
        std::string desc = dir.file("bad.txt");
        ASSERT_TRUE(testsupport::WriteFileBytes(desc, c.text));
        char error[256] = {};
        EXPECT_TRUE(FAILED(WabStandinLoadDescription(dir.file("bad.wab").c_str(), desc.c_str(), error, sizeof error)));
        EXPECT_STREQ(c.error, error) << c.text;
    }
    // What came before the failing line is stored.
    std::string desc = dir.file("half.txt");
    ASSERT_TRUE(testsupport::WriteFileBytes(desc, "contact\nPR_DISPLAY_NAME = Kept\ncontact\nPR_FOO = 1\n"));
    std::string half = dir.file("half.wab");
    EXPECT_EQ(2, WabStore({"load", half, desc}));
    ASSERT_EQ(0, WabStore({"list", half, dir.file("half-list.txt")}));
    EXPECT_EQ("folder 00000000515753310400000001000000 Contacts (1)\n"
              "  contact 00000000515753310600000002000000 Kept\n",
              testsupport::ReadFileBytes(dir.file("half-list.txt")));
    EXPECT_EQ(1, WabStore({"list"}));
    EXPECT_EQ(2, WabStore({"load", dir.file("x.wab"), dir.file("missing.txt")}));
}

}  // namespace
