// The run's index of the target folder must give exactly the contacts the address book's own
// restriction query gives, in the same order, for every card: over a folder of names that differ
// only in case, empty versus missing texts, non-Latin names, a name held in another type, groups
// and another folder's contacts, and while the run adds, replaces and deletes contacts.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <vector>

#include "contact/Contact.h"
#include "importsupport.h"
#include "support/storefile.h"
#include "wab/WABLib.h"

using namespace importtest;
namespace t = contact_tags;

namespace {

// A stored contact: display, given, middle, family, prefix, company; "-" leaves a property out.
struct CNames {
    const char* texts[6];
};

const ULONG kNameTags[6] = {t::kDisplayName, t::kGivenName, t::kMiddleName, t::kSurname, t::kDisplayNamePrefix,
                            t::kCompanyName};

const CNames kFolder[] = {
    {{"Ann Lee", "Ann", "-", "Lee", "-", "-"}},
    {{"ann lee", "ann", "-", "lee", "-", "-"}},     // case alone differs
    {{"Ann Lee", "Ann", "", "Lee", "", ""}},        // empty texts where the first has none
    {{"Ann Lee", "Ann", "-", "Lee", "-", "-"}},     // the same names twice
    {{"-", "-", "-", "-", "-", "-"}},               // no names at all
    {{"", "", "", "", "", ""}},                     // all empty
    {{"-", "-", "-", "-", "-", "Acme"}},
    {{"Пётр Иванов", "Пётр", "-", "Иванов", "-", "ООО Ромашка"}},
    {{"李小龍", "小龍", "-", "李", "-", "-"}},
    {{"😀 Emoji", "😀", "-", "Emoji", "Dr.", "-"}},
    {{"Zoë", "-", "-", "-", "-", "-"}},
    {{"Zoe\xCC\x88", "-", "-", "-", "-", "-"}},       // the same letter decomposed
};

// Cards whose names meet the folder's in every way above, some twice within the run.
const std::vector<std::vector<std::string>> kCards = {
    {"N:Lee;Ann;;;", "FN:Ann Lee", "TEL;WORK:1"},
    {"N:lee;ann;;;", "FN:ann lee"},
    {"N:LEE;ANN;;;", "FN:ANN LEE"},
    {"N:Lee;Ann;;;", "FN:Ann Lee", "TEL;WORK:2"},
    {"TEL;WORK:3"},
    {"ORG:Acme"},
    {"ORG:ACME"},
    {"N;CHARSET=UTF-8:Иванов;Пётр;;;", "FN;CHARSET=UTF-8:Пётр Иванов", "ORG;CHARSET=UTF-8:ООО Ромашка"},
    {"N;CHARSET=UTF-8:李;小龍;;;", "FN;CHARSET=UTF-8:李小龍"},
    {"N;CHARSET=UTF-8:Emoji;😀;;Dr.;", "FN;CHARSET=UTF-8:😀 Emoji"},
    {"FN;CHARSET=UTF-8:Zoë"},
    {"FN;CHARSET=UTF-8:Zoe\xCC\x88"},
    {"FN:Given Only", "N:;Given;;;"},
    {"N:;Given;;;"},
    {"FN:Typed"},
    {"N:Lee;Ann;;;", "FN:Ann Lee", "TEL;WORK:1"},
};

class EqualIndex : public ::testing::Test {
protected:
    void SetUp() override
    {
        LoadEncodings();
        const std::string other = m_book.AddFolder(L"Other");
        for (const std::string& folder : {other, m_pab}) {
            for (const CNames& names : kFolder) {
                std::wstring texts[6];
                std::vector<SPropValue> values;
                for (int i = 0; i < 6; ++i) {
                    if (std::string(names.texts[i]) == "-")
                        continue;
                    texts[i] = W(names.texts[i]);
                    values.push_back(testsupport::Text(kNameTags[i], texts[i].c_str()));
                }
                m_book.AddContact(folder, values);
            }
        }
        // A group named like a contact, and a contact whose display name is held as a number.
        m_book.AddGroup(m_pab, L"Ann Lee", {});
        m_book.AddContact(m_pab, {testsupport::Long(PROP_TAG(PT_LONG, PROP_ID(t::kDisplayName)), 7),
                                  testsupport::Text(t::kCompanyName, L"Acme")});
        ASSERT_TRUE(m_book.Open());
    }

    // Every card of the list, index against query; returns how many candidates were compared.
    size_t CompareAll(CvCardImport& run, const char* when)
    {
        size_t compared = 0;
        for (size_t c = 0; c < kCards.size(); ++c) {
            std::string text = Card(c % 2 ? "2.1" : "3.0", kCards[c]);
            run.LoadText(text.data(), text.size());
            run.ReadCards([&] {
                std::vector<std::string> byQuery, byIndex;
                EXPECT_EQ(run.EqualCandidates(false, &byQuery), S_OK);
                EXPECT_EQ(run.EqualCandidates(true, &byIndex), S_OK);
                EXPECT_EQ(byIndex, byQuery) << when << ", card " << c;
                compared += byQuery.size();
                return 0;
            });
            run.FreeFileText();
        }
        return compared;
    }

    testsupport::CScratchBook m_book;
    std::string m_pab = m_book.pab();
};

}  // namespace

// The folder read once, then kept current through a run of every mode: adds, replacements
// (a delete and an add) and cards that meet contacts the same run stored.
TEST_F(EqualIndex, AnswersExactlyAsTheRestrictionQuery)
{
    for (int mode : {CvCardImport::kReplace, CvCardImport::kDuplicate, CvCardImport::kLeaveOld}) {
        SCOPED_TRACE(mode);
        CvCardImport run;
        run.SetTargetFolder(m_pab);
        run.SetConflictMode(mode);
        ASSERT_EQ(run.IndexTargetFolder(), S_OK);
        EXPECT_GT(CompareAll(run, "before the run"), kCards.size()) << "the folder meets too few cards";
        for (size_t c = 0; c < kCards.size(); ++c) {
            std::string text = Card("2.1", kCards[c]);
            run.LoadText(text.data(), text.size());
            run.ReadCards([&] {
                EXPECT_GE(run.putContactItem(), 0) << "card " << c;
                return 0;
            });
            run.FreeFileText();
            ASSERT_TRUE(run.HasIndex());
            CompareAll(run, "during the run");
        }
    }
}
