// The import's reader over files: counting the cards of a file, loading an open file, and the
// messages of the run about files. The property mapping it runs is the codec's (tests/codec).
#include <gtest/gtest.h>

#include "common/text.h"
#include "importsupport.h"
#include "support/testsupport.h"

using namespace importtest;

TEST(Cards, CountingAFile)
{
    testsupport::CTempDir dir;
    std::string path = dir.file("cards.vcf");
    ASSERT_TRUE(testsupport::WriteFileBytes(path, "\xEF\xBB\xBF" + Card("2.1", {"FN:a"}) + Card("3.0", {}) +
                                                      Crlf({"BEGIN:VCARD", "FN:no end"})));
    CvCardImport reader;
    EXPECT_EQ(reader.CountCards(common::AnsiToWide(path)), 2);
    EXPECT_EQ(reader.CountCards(common::AnsiToWide(dir.file("missing.vcf"))), 0);
}

TEST(Cards, LoadingAnOpenFile)
{
    LoadEncodings();
    testsupport::CTempDir dir;
    std::string path = dir.file("one.vcf");
    ASSERT_TRUE(testsupport::WriteFileBytes(path, Card("2.1", {"FN:from file"})));
    HANDLE file = ::CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    CvCardImport reader;
    reader.LoadFileText(file);  // takes the handle
    std::wstring name;
    EXPECT_EQ(reader.ReadCards([&] { name = reader.Reader().Card().displayName; return 0; }), 0);
    EXPECT_EQ(name, L"from file");
    // The handle was closed: the file can be deleted.
    EXPECT_TRUE(::DeleteFileA(path.c_str()));
}

// --- Messages -------------------------------------------------------------------------------------

TEST(Messages, FileMessagesOfTheRun)
{
    CvCardImport reader;
    {
        CBoxWatch boxes;
        reader.ShowNoFilesMessage();
        EXPECT_TRUE(reader.ShowCannotOpenMessage("C:\\in\\a.vcf"));
        std::vector<std::string> texts = boxes.Texts();
        ASSERT_EQ(texts.size(), 2u);
        EXPECT_NE(texts[0].find("No vCard files were found. Please select other directory containing vCard files."),
                  std::string::npos)
            << texts[0];
        EXPECT_NE(texts[1].find("C:\\in\\a.vcf file cannot be opened. "), std::string::npos);
        EXPECT_NE(texts[1].find("Please, try renaming the file"), std::string::npos);
    }
    CBoxWatch cancel(IDCANCEL);
    EXPECT_FALSE(reader.ShowCannotOpenMessage("b.vcf"));
    ASSERT_EQ(cancel.Texts().size(), 1u);
    EXPECT_EQ(cancel.Texts()[0].find("b.vcf file cannot be opened. "), 0u);
}
