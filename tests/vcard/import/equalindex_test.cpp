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
#include "standins/wab32/wabstandin.h"
#include "support/testsupport.h"
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
        m_store = m_dir.file("index.wab");
        char pab[WABSTANDIN_ID_TEXT_SIZE] = "", other[WABSTANDIN_ID_TEXT_SIZE] = "";
        ASSERT_EQ(WabStandinCreateStore(m_store.c_str(), L"Contacts"), S_OK);
        ASSERT_EQ(WabStandinGetPab(m_store.c_str(), pab, sizeof pab), S_OK);
        ASSERT_EQ(WabStandinAddFolder(m_store.c_str(), L"Other", other, sizeof other), S_OK);
        m_pab = pab;
        for (const char* folder : {other, pab}) {
            for (const CNames& names : kFolder) {
                std::wstring texts[6];
                std::vector<SPropValue> values;
                for (int i = 0; i < 6; ++i) {
                    if (std::string(names.texts[i]) == "-")
                        continue;
                    texts[i] = W(names.texts[i]);
                    SPropValue v = {};
                    v.ulPropTag = kNameTags[i];
                    v.Value.lpszW = const_cast<wchar_t*>(texts[i].c_str());
                    values.push_back(v);
                }
                ASSERT_EQ(WabStandinAddContact(m_store.c_str(), folder, static_cast<ULONG>(values.size()),
                                               values.data(), nullptr, 0),
                          S_OK);
            }
        }
        // A group named like a contact, and a contact whose display name is held as a number.
        ASSERT_EQ(WabStandinAddGroup(m_store.c_str(), pab, L"Ann Lee", 0, nullptr, 0, nullptr, nullptr, 0), S_OK);
        SPropValue typed[2] = {};
        typed[0].ulPropTag = PROP_TAG(PT_LONG, PROP_ID(t::kDisplayName));
        typed[0].Value.l = 7;
        typed[1].ulPropTag = t::kCompanyName;
        typed[1].Value.lpszW = const_cast<wchar_t*>(L"Acme");
        ASSERT_EQ(WabStandinAddContact(m_store.c_str(), pab, 2, typed, nullptr, 0), S_OK);
        ASSERT_TRUE(g_wabLib.Init(false, m_store.c_str(), false));
    }
    void TearDown() override
    {
        g_wabLib.Close();
        EXPECT_EQ(WabStandinLiveObjects(), 0u);
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

    testsupport::CTempDir m_dir;
    std::string m_store;
    std::string m_pab;
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
