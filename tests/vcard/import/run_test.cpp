// The import run against the stand-in address book: the two passes over a folder's .vcf files,
// the three ways of meeting a contact that already stands for the same person, the counters and
// the closing message, and the failures of the address book on the way (search, add, delete).
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "common/raii.h"
#include "common/text.h"
#include "contact/Contact.h"
#include "importsupport.h"
#include "support/logcapture.h"
#include "support/storefile.h"
#include "wab/WABLib.h"

using namespace importtest;
namespace t = contact_tags;

namespace {

const char kApp[] = "Quillon for Outlook Express";
const std::string kOk = std::string(kApp) + "|Import completed successfully.";
const std::string kPartial = std::string(kApp) + "|Import was completed. Some items were not imported.";
const std::string kFailed = std::string(kApp) + "|Import failed.";
const std::string kNoFiles =
    "Quillon|No vCard files were found. Please select other directory containing vCard files.";

// Answers every message box of the run: boxes captioned "Quillon" get `button`, the summary OK.
class CRunBoxes : public testsupport::CBoxWatch {
public:
    explicit CRunBoxes(int button = IDOK) : CBoxWatch({{L"Quillon", button}, {L"Quillon for Outlook Express", IDOK}}) {}
};

struct CStored {
    std::string id;
    std::wstring name;
    std::wstring phone;
};

class ImportRun : public ::testing::Test {
protected:
    void SetUp() override
    {
        LoadEncodings();
        m_source = m_dir.file("cards");
        ASSERT_TRUE(::CreateDirectoryA(m_source.c_str(), nullptr));
        ASSERT_TRUE(m_book.Open());
    }

    // An empty store as the session's store (cases of one test start anew).
    bool NewStore()
    {
        bool ok = m_book.Renew();
        m_pab = m_book.pab();
        return ok;
    }

    void WriteCards(const std::string& name, const std::vector<std::string>& cards)
    {
        std::string text;
        for (const std::string& card : cards)
            text += card;
        ASSERT_TRUE(testsupport::WriteFileBytes(m_source + "\\" + name, text));
    }

    // One run in a mode; the messages it showed.
    std::vector<std::string> Run(int mode, int button = IDOK)
    {
        CRunBoxes boxes(button);
        CvCardImport run;
        run.RunImport(m_source.c_str(), m_pab.c_str(), mode);
        m_total = run.Total();
        m_imported = run.Imported();
        m_failed = run.Failed();
        return boxes.Boxes();
    }

    // A saved contact of the personal address book with a display name and business phone.
    std::string Existing(const std::wstring& name, const std::wstring& phone)
    {
        std::vector<SPropValue> values;
        if (!name.empty())
            values.push_back(testsupport::Text(t::kDisplayName, name.c_str()));
        values.push_back(testsupport::Text(t::kBusinessTelephoneNumber, phone.c_str()));
        return m_book.AddContact(m_pab, values);
    }

    // The contacts of the personal address book, sorted by name, then phone.
    std::vector<CStored> Stored()
    {
        std::vector<CStored> out;
        for (const testsupport::COpenedItem& item : testsupport::OpenItems(m_pab)) {
            CContact contact(item.entry.Get());
            CStored s;
            s.id = item.id;
            // Absent reads as empty, which the summaries compare.
            (void)contact._GetTextPropW(t::kDisplayName, &s.name);
            (void)contact._GetTextPropW(t::kBusinessTelephoneNumber, &s.phone);
            out.push_back(s);
        }
        std::sort(out.begin(), out.end(), [](const CStored& a, const CStored& b) {
            return a.name != b.name ? a.name < b.name : a.phone < b.phone;
        });
        return out;
    }
    // "name:phone" of each stored contact.
    std::vector<std::wstring> Summary()
    {
        std::vector<std::wstring> out;
        for (const CStored& s : Stored())
            out.push_back(s.name + L":" + s.phone);
        return out;
    }

    testsupport::CTempDir m_dir;
    testsupport::CScratchBook m_book;
    const std::string m_store = m_book.path();
    std::string m_pab = m_book.pab();
    std::string m_source;
    int m_total = 0, m_imported = 0, m_failed = 0;
};

std::string Person(const std::string& name, const std::string& phone)
{
    return Card("2.1", {"N:" + name + ";;;;", "FN:" + name, "TEL;WORK:" + phone});
}

const int kModes[] = {CvCardImport::kDuplicate, CvCardImport::kReplace, CvCardImport::kLeaveOld};

}  // namespace

TEST_F(ImportRun, AFolderWithoutVcfFilesShowsOnlyTheNoFilesMessage)
{
    ASSERT_TRUE(testsupport::WriteFileBytes(m_source + "\\notes.txt", Person("Ann", "1")));
    EXPECT_EQ(Run(CvCardImport::kDuplicate), std::vector<std::string>{kNoFiles});
    EXPECT_TRUE(Stored().empty());
}

const std::string kCannotOpen = " file cannot be opened. \nTo skip file processing and continue, press OK.\nNote: the "
                                "problem might be related with non-latin symbols in the file name.\nPlease, try "
                                "renaming the file";

// Files, but not one card that can be read from them: each says why in the log (and to the user
// when it cannot be opened), and the run says that nothing was imported.
TEST_F(ImportRun, AFolderWithNothingReadableSaysNothingWasImported)
{
    struct Case {
        const char* name;
        std::vector<std::pair<std::string, std::string>> files;  // an empty text: a folder named so
        int button;                                               // for the file that cannot be opened
        std::vector<std::string> boxes;                           // after the folder's path
        std::vector<std::string> logged;
        int failed;
    } cases[] = {
        {"no complete card",
         {{"cut.vcf", "BEGIN:VCARD\r\nFN:Ann\r\nTEL:1\r\n"}, {"notes.vcf", "FN:Ann\r\n"}},
         IDOK,
         {kFailed},
         {"cut.vcf ends inside a card: that card was not imported", "notes.vcf holds no vCard"},
         1},
        {"cannot be opened", {{"folder.vcf", ""}}, IDOK, {"\\folder.vcf" + kCannotOpen, kFailed},
         {"War[0x80070005] in CvCardImport::ImportFile: CreateFile("}, 1},
        {"cannot be opened, cancelled", {{"folder.vcf", ""}}, IDCANCEL, {"\\folder.vcf" + kCannotOpen, kFailed},
         {"CreateFile("}, 1},
        {"too large", {{"huge.vcf", "sparse"}}, IDOK, {kFailed},
         {"huge.vcf not read: 209715200 bytes, more than the 134217728 a file may have"}, 1},
        {"a CSV header alone, a picture named .csv",
         {{"header.csv", "First Name,Last Name\r\n"}, {"picture.csv", std::string("\x89PNG\r\n\x1a\n\0\0\0\rIHDR", 16)}},
         IDOK,
         {kFailed},
         {"header.csv: no row below the header holds a contact",
          "picture.csv: the first row names no column of a contacts CSV we know: nothing read"},
         0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        testsupport::DeleteTree(m_source);
        ASSERT_TRUE(::CreateDirectoryA(m_source.c_str(), nullptr));
        for (const auto& f : c.files) {
            const std::string path = m_source + "\\" + f.first;
            if (f.second.empty()) {
                ASSERT_TRUE(::CreateDirectoryA(path.c_str(), nullptr));
            } else if (f.second == "sparse") {
                // Far beyond the reader's limit, and sparse: it costs no disk.
                common::CFileHandle huge(
                    ::CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr));
                LARGE_INTEGER end;
                end.QuadPart = 200LL * 1024 * 1024;
                ASSERT_TRUE(huge && ::SetFilePointerEx(huge.get(), end, nullptr, FILE_BEGIN) &&
                            ::SetEndOfFile(huge.get()));
            } else {
                ASSERT_TRUE(testsupport::WriteFileBytes(path, f.second));
            }
        }
        CLogCapture log;
        std::vector<std::string> boxes = Run(CvCardImport::kDuplicate, c.button);
        for (std::string& box : boxes) {
            if (box.compare(0, 8 + m_source.size(), "Quillon|" + m_source) == 0)
                box = box.substr(8 + m_source.size());
        }
        EXPECT_EQ(boxes, c.boxes);
        EXPECT_EQ(m_total, 0);
        EXPECT_EQ(m_failed, c.failed);
        const std::string lines = log.Lines();
        for (const std::string& line : c.logged)
            EXPECT_NE(lines.find(line), std::string::npos) << line << "\n" << lines;
        EXPECT_TRUE(Stored().empty());
    }
}

// CSV files of every program we know, and LDIF, are read beside the vCard files, through the same
// passes; a name that only looks like one (an 8.3 match) is not.
TEST_F(ImportRun, CsvAndLdifFilesOfEveryProgramAreReadBesideVcfFiles)
{
    const char* const files[] = {"outlook.csv", "addressbook.csv", "windows-contacts.csv",
                                 "google-old.csv", "google-new.csv", "thunderbird.csv"};
    for (const char* file : files)
        ASSERT_TRUE(testsupport::CopyFileTo(std::string(QUILLON_CSV_DATA) + "/" + file, m_source + "\\" + file));
    ASSERT_TRUE(testsupport::CopyFileTo(std::string(QUILLON_LDIF_DATA) + "/thunderbird.ldif",
                                        m_source + "\\thunderbird.ldif"));
    WriteCards("card.vcf", {Person("Ann", "1")});
    ASSERT_TRUE(testsupport::WriteFileBytes(m_source + "\\notes.csvx", "First Name\r\nNot Read\r\n"));
    CLogCapture log;
    EXPECT_EQ(Run(CvCardImport::kDuplicate), std::vector<std::string>{kOk});
    EXPECT_EQ(16, m_total);
    EXPECT_EQ(16, m_imported);
    EXPECT_EQ(0, m_failed);
    std::vector<std::wstring> summary = Summary();
    EXPECT_NE(summary.end(), std::find(summary.begin(), summary.end(), L"Jos\u00e9 M\u00fcller:+1 555 0100"));
    EXPECT_NE(summary.end(), std::find(summary.begin(), summary.end(), L"Ann:1"));
    EXPECT_NE(summary.end(), std::find(summary.begin(), summary.end(), L"Pic:"));
    for (const CStored& s : Stored())
        EXPECT_NE(L"Not Read", s.name);
    EXPECT_NE(std::string::npos, log.Lines().find("outlook.csv: column \"E-mail Display Name\": 1 values of a kind "
                                                  "the address book keeps no field for, not read"))
        << log.Lines();
    EXPECT_NE(std::string::npos, log.Lines().find("thunderbird.ldif: 1 change records skipped")) << log.Lines();
    // The LDIF's lists, and the CSV files' categories, are groups of the folder.
    std::map<std::string, std::wstring> names;
    for (const CStored& s : Stored())
        names[s.id] = s.name;
    std::vector<CWabGroup> groups;
    ASSERT_EQ(S_OK, g_wabLib.GetGroups(m_pab.c_str(), &groups));
    std::map<std::wstring, std::vector<std::wstring>> members;
    for (const CWabGroup& g : groups) {
        for (const std::string& id : g.members)
            members[g.name].push_back(names[id]);
    }
    for (const auto& [group, who] : std::vector<std::pair<std::wstring, std::wstring>>{
             {L"Friends", L"Jos\u00e9 M\u00fcller"}, {L"Friends", L"Lee Ng"}, {L"Work", L"Lee Ng"}})
        EXPECT_NE(members[group].end(), std::find(members[group].begin(), members[group].end(), who))
            << common::ToUtf8(group) << " lacks " << common::ToUtf8(who);
}

// Files named in any script, as the export names them after their contacts: the ANSI code page
// cannot name them, so they are found and read by their UTF-16 names.
TEST_F(ImportRun, FilesNamedInAnyScriptAreRead)
{
    const wchar_t* const names[] = {L"\u0418\u0432\u0430\u043d.vcf", L"\u5c71\u7530.vcf", L"\u0391\u03bd\u03bd\u03b1.vcf"};
    for (size_t i = 0; i < 3; ++i) {
        std::wstring path = common::AnsiToWide(m_source) + L"\\" + names[i];
        common::CFileHandle file(::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr));
        ASSERT_TRUE(file.valid());
        std::string card = Person(std::string(1, static_cast<char>('A' + i)), "1");
        DWORD written = 0;
        ASSERT_TRUE(::WriteFile(file.get(), card.data(), static_cast<DWORD>(card.size()), &written, nullptr));
    }
    EXPECT_EQ(Run(CvCardImport::kDuplicate), std::vector<std::string>{kOk});
    EXPECT_EQ(m_imported, 3);
    EXPECT_EQ(Stored().size(), 3u);
}

TEST_F(ImportRun, TheSameFileTwiceAddsNothingTheSecondTimeInEveryMode)
{
    for (int mode : kModes) {
        SCOPED_TRACE(mode);
        ASSERT_TRUE(NewStore());

        WriteCards("people.vcf", {Person("Ann", "111"), Person("Bob", "222")});
        EXPECT_EQ(Run(mode), std::vector<std::string>{kOk});
        std::vector<CStored> first = Stored();
        ASSERT_EQ(first.size(), 2u);
        EXPECT_EQ(Run(mode), std::vector<std::string>{kOk});
        EXPECT_EQ(m_total, 2);
        EXPECT_EQ(m_imported, 2);
        std::vector<CStored> second = Stored();
        ASSERT_EQ(second.size(), 2u);
        EXPECT_EQ(second[0].id, first[0].id);
        EXPECT_EQ(second[1].id, first[1].id);
    }
}

TEST_F(ImportRun, AChangedPhoneIsResolvedByTheMode)
{
    struct Case {
        int mode;
        std::vector<std::wstring> after;
        bool annKeepsId;
    } cases[] = {
        {CvCardImport::kDuplicate, {L"Ann:111", L"Ann:999", L"Bob:222"}, true},
        {CvCardImport::kReplace, {L"Ann:999", L"Bob:222"}, false},
        {CvCardImport::kLeaveOld, {L"Ann:111", L"Bob:222"}, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.mode);
        ASSERT_TRUE(NewStore());
        std::string ann = Existing(L"Ann", L"111");
        std::string bob = Existing(L"Bob", L"222");
        WriteCards("people.vcf", {Card("2.1", {"FN:Ann", "TEL;WORK:999"}), Card("2.1", {"FN:Bob", "TEL;WORK:222"})});
        EXPECT_EQ(Run(c.mode), std::vector<std::string>{kOk});
        EXPECT_EQ(Summary(), c.after);
        std::vector<CStored> now = Stored();
        bool annThere = std::any_of(now.begin(), now.end(), [&](const CStored& s) { return s.id == ann; });
        EXPECT_EQ(annThere, c.annKeepsId);
        EXPECT_TRUE(std::any_of(now.begin(), now.end(), [&](const CStored& s) { return s.id == bob; }));
    }
    // A card that lost a value it would have stored (a note longer than a line may hold) replaces
    // nothing: the older Ann may hold what the new one lacks.
    ASSERT_TRUE(NewStore());
    Existing(L"Ann", L"111");
    std::string note = "NOTE:" + std::string(vcard::CvCardText::kMaxLineBytes + 10, 'n');
    WriteCards("people.vcf", {Card("2.1", {"FN:Ann", "TEL;WORK:999", note})});
    CLogCapture log;
    EXPECT_EQ(Run(CvCardImport::kReplace), std::vector<std::string>{kPartial});
    EXPECT_EQ(Summary(), (std::vector<std::wstring>{L"Ann:111", L"Ann:999"}));
    EXPECT_NE(log.Lines().find("\"Ann\" was read without some of its values: the contact it was to replace is kept"),
              std::string::npos);
}

// Two people of one name in one run, in one file or in two: a card never displaces a contact the
// same run stored (it is added beside it, or skipped when the two are the same); a contact that
// was there before is replaced or kept as the mode says. The file order does not matter.
TEST_F(ImportRun, CardsOfOneRunNeverDisplaceEachOther)
{
    struct Case {
        int mode;
        std::vector<std::wstring> after;
    } cases[] = {
        {CvCardImport::kDuplicate, {L"Ann:111", L"Ann:222", L"Ann:333", L"Bob:1", L"Bob:2"}},
        {CvCardImport::kReplace, {L"Ann:222", L"Ann:333", L"Bob:1", L"Bob:2"}},
        {CvCardImport::kLeaveOld, {L"Ann:111", L"Bob:1", L"Bob:2"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.mode);
        ASSERT_TRUE(NewStore());
        Existing(L"Ann", L"111");
        testsupport::DeleteTree(m_source);
        ASSERT_TRUE(::CreateDirectoryA(m_source.c_str(), nullptr));
        // Display names only, as Existing stores Ann.
        auto fn = [](const char* name, const char* phone) {
            return Card("2.1", {std::string("FN:") + name, std::string("TEL;WORK:") + phone});
        };
        WriteCards("a.vcf", {fn("Ann", "222"), fn("Bob", "1"), fn("Bob", "2")});
        WriteCards("b.vcf", {fn("Bob", "1"), fn("Ann", "333")});
        EXPECT_EQ(Run(c.mode), std::vector<std::string>{kOk});
        EXPECT_EQ(m_imported, 5);
        EXPECT_EQ(Summary(), c.after);
    }
}

TEST_F(ImportRun, ReplaceTakesTheFirstNameMatchAndLeavesOtherFoldersAlone)
{
    char other[WABSTANDIN_ID_TEXT_SIZE] = "";
    ASSERT_EQ(WabStandinAddFolder(m_store.c_str(), L"Other", other, sizeof(other)), S_OK);
    SPropValue v[2] = {};
    v[0].ulPropTag = t::kDisplayName;
    v[0].Value.lpszW = const_cast<wchar_t*>(L"Ann");
    v[1].ulPropTag = t::kBusinessTelephoneNumber;
    v[1].Value.lpszW = const_cast<wchar_t*>(L"555");
    char elsewhere[WABSTANDIN_ID_TEXT_SIZE] = "";
    ASSERT_EQ(WabStandinAddContact(m_store.c_str(), other, 2, v, elsewhere, sizeof(elsewhere)), S_OK);
    Existing(L"Ann", L"111");
    Existing(L"Ann", L"222");
    WriteCards("ann.vcf", {Card("2.1", {"FN:Ann", "TEL;WORK:999"})});
    EXPECT_EQ(Run(CvCardImport::kReplace), std::vector<std::string>{kOk});
    std::vector<std::wstring> after = Summary();
    EXPECT_EQ(after.size(), 2u);
    EXPECT_TRUE(std::find(after.begin(), after.end(), L"Ann:999") != after.end());
    ULONG type = 0;
    Microsoft::WRL::ComPtr<IMAPIProp> kept;
    EXPECT_EQ(g_wabLib.OpenItem(elsewhere, &type, kept.GetAddressOf()), S_OK);
}

// The new contact takes the replaced one's place in every group of the folder that held it; a
// group of another folder keeps what it held, a group that cannot be written says so, and an
// older contact that cannot be deleted keeps its places.
TEST_F(ImportRun, AReplacedContactsGroupsTakeTheNewOne)
{
    struct Case {
        const char* name;
        const char* call;  // a fault of this call, on the entry below
        bool onFamily;     // the group Family, else the older Ann
        bool replaced;     // the groups of this folder hold the new Ann
        std::string logged;
    } cases[] = {
        {"groups written", nullptr, false, true, ""},
        {"a group cannot be saved", "SaveChanges", true, true,
         "War[0x80004005] in CvCardImport::putContactItem: group %s loses the contact that \"Ann\" replaces and does "
         "not take the new one\n"},
        {"the older contact stays", "DeleteEntries", false, false,
         "War[0x80004005] in CvCardImport::putContactItem: DeleteItem\n"},
        // Family cannot be read, and with it no group: the older Ann goes, and her places with her.
        {"the groups cannot be read", "GetProps", true, false,
         "War[0x80004005] in CvCardImport::putContactItem: the groups of the folder could not be read: a contact "
         "replaced in this run leaves the groups that held it, and no contact joins the groups its card names\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(NewStore());
        const std::string ann = Existing(L"Ann", L"111");
        const std::string bob = Existing(L"Bob", L"222");
        const std::string cid = Existing(L"Cid", L"333");
        const std::string friends = m_book.AddGroup(m_pab, L"Friends", {bob, ann, cid});
        const std::string family = m_book.AddGroup(m_pab, L"Family", {ann});
        const std::string team = m_book.AddGroup(m_pab, L"Team", {bob});
        const std::string elsewhere = m_book.AddGroup(m_book.AddFolder(L"Other"), L"Elsewhere", {ann});
        WriteCards("people.vcf", {Card("2.1", {"FN:Ann", "TEL;WORK:999"}), Card("2.1", {"FN:Bob", "TEL;WORK:222"})});
        if (c.call) {
            ASSERT_EQ(WabStandinInjectFault(c.call, (c.onFamily ? family : ann).c_str(), E_FAIL, 0), S_OK);
        }
        CLogCapture log;
        EXPECT_EQ(Run(CvCardImport::kReplace), std::vector<std::string>{kOk});
        WabStandinClearFaults();
        std::string newAnn;
        for (const CStored& s : Stored()) {
            if (s.name == L"Ann" && s.phone == L"999")
                newAnn = s.id;
        }
        ASSERT_FALSE(newAnn.empty());
        auto members = [](const std::string& group) {
            std::vector<std::string> ids;
            EXPECT_EQ(g_wabLib.GetGroupMembers(group.c_str(), &ids), S_OK);
            return ids;
        };
        const std::string& now = c.replaced ? newAnn : ann;
        EXPECT_EQ(members(friends), (std::vector<std::string>{bob, now, cid}));
        EXPECT_EQ(members(family), std::vector<std::string>{c.onFamily ? ann : now});
        EXPECT_EQ(members(team), std::vector<std::string>{bob});
        EXPECT_EQ(members(elsewhere), std::vector<std::string>{ann});
        char line[512] = "";
        std::snprintf(line, sizeof line, c.logged.c_str(), family.c_str());
        EXPECT_NE(log.Lines().find(line), std::string::npos) << log.Lines();
    }
}

TEST_F(ImportRun, CardsWithoutNamesMatchContactsWithoutNames)
{
    Existing(L"", L"555");
    Existing(L"Ann", L"777");
    WriteCards("nameless.vcf", {Card("2.1", {"TEL;WORK:555"}), Card("2.1", {"TEL;WORK:777"})});
    EXPECT_EQ(Run(CvCardImport::kDuplicate), std::vector<std::string>{kOk});
    // The first card is the nameless contact; the second matches no nameless contact and is new.
    EXPECT_EQ(Summary(), (std::vector<std::wstring>{L":555", L":777", L"Ann:777"}));
}

// A card without names and company is nobody in particular: it meets a contact only when the two
// are the same (then it is skipped, in every mode), never replaces nor is kept out by another
// nameless contact, and a second import of the file stores nothing again.
TEST_F(ImportRun, NamelessCardsAreNeverTakenForEachOther)
{
    for (int mode : kModes) {
        SCOPED_TRACE(mode);
        ASSERT_TRUE(NewStore());
        Existing(L"", L"555");
        Existing(L"", L"999");
        WriteCards("nameless.vcf", {Card("2.1", {"TEL;WORK:555"}), Card("2.1", {"TEL;WORK:777"}),
                                    Card("2.1", {"TEL;WORK:777"}),
                                    Card("3.0", {"ADR:;;Street 1;;;;", "TEL;TYPE=WORK:888"})});
        for (int run = 0; run < 2; ++run) {
            SCOPED_TRACE(run);
            EXPECT_EQ(Run(mode), std::vector<std::string>{kOk});
            EXPECT_EQ(m_imported, 4);
            EXPECT_EQ(Summary(), (std::vector<std::wstring>{L":555", L":777", L":888", L":999"}));
        }
    }
}

TEST_F(ImportRun, AFileThatCannotBeOpened)
{
    WriteCards("a.vcf", {Person("Ann", "1")});
    ASSERT_TRUE(::CreateDirectoryA((m_source + "\\folder.vcf").c_str(), nullptr));
    std::vector<std::string> boxes = Run(CvCardImport::kDuplicate);
    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_EQ(boxes[0], "Quillon|" + m_source + "\\folder.vcf" + kCannotOpen);
    EXPECT_EQ(boxes[1], kPartial);
    EXPECT_EQ(m_failed, 1);
    EXPECT_EQ(Summary(), std::vector<std::wstring>{L"Ann:1"});
}

TEST_F(ImportRun, EachFileIsReadOnceUnlessItChangedBetweenThePasses)
{
    // Both files are rewritten, same size, before the import pass reads them: a.vcf keeps the
    // time of its last write, so the run takes the text it counted; b.vcf gets a new time and is
    // read anew.
    WriteCards("a.vcf", {Person("Ann", "1")});
    WriteCards("b.vcf", {Person("Bob", "2")});
    auto rewrite = [this](const char* name, const std::string& card, bool keepTime) {
        const std::string path = m_source + "\\" + name;
        FILETIME before = {};
        {
            common::CFileHandle file(::CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                                   OPEN_EXISTING, 0, nullptr));
            ASSERT_TRUE(file && ::GetFileTime(file.get(), nullptr, nullptr, &before));
        }
        ASSERT_TRUE(testsupport::WriteFileBytes(path, card));
        ULARGE_INTEGER t = {{before.dwLowDateTime, before.dwHighDateTime}};
        if (!keepTime)
            t.QuadPart += 36000000000ULL;  // an hour on
        const FILETIME written = {t.LowPart, t.HighPart};
        common::CFileHandle file(::CreateFileA(path.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ, nullptr,
                                               OPEN_EXISTING, 0, nullptr));
        ASSERT_TRUE(file && ::SetFileTime(file.get(), nullptr, nullptr, &written));
    };
    CRunBoxes boxes;
    CvCardImport run;
    bool rewritten = false;
    run.SetBeforeReadHook([&](const char*) {
        if (std::exchange(rewritten, true))
            return;
        rewrite("a.vcf", Person("Ann", "8"), true);
        rewrite("b.vcf", Person("Bob", "9"), false);
    });
    run.RunImport(m_source.c_str(), m_pab.c_str(), CvCardImport::kDuplicate);
    EXPECT_EQ(run.Total(), 2);
    EXPECT_EQ(run.Imported(), 2);
    EXPECT_EQ(Summary(), (std::vector<std::wstring>{L"Ann:1", L"Bob:9"}));
}

TEST_F(ImportRun, FailuresOfTheAddressBookStopTheRun)
{
    struct Case {
        const char* name;
        const char* call;
        ULONG skip;
        bool onBob;  // the fault hits only a stored Bob (who then exists), else any entry
        int mode;
        std::string message;
        int imported, failed;
        std::vector<std::wstring> after;
        const char* logged = nullptr;  // a line the run must write
        HRESULT code = E_FAIL;
    } cases[] = {
        // The search for Ann fails: nothing is stored.
        // (The folder cannot be read into the run's index, nor searched by query.)
        {"find fails", "Restrict", 0, false, CvCardImport::kDuplicate, kFailed, 0, 1, {L"Ann:111"}},
        // The folder is read into the index, but opening Bob, to compare him with his card, fails
        // after Ann was added: Ann stays stored, Cid is never read.
        {"find fails later", "OpenEntry", 0, true, CvCardImport::kDuplicate, kPartial, 1, 1,
         {L"Ann:111", L"Ann:999", L"Bob:2"}},
        // The new Ann cannot be saved: the old one must still be there.
        {"add fails", "SaveChanges", 0, false, CvCardImport::kReplace, kFailed, 0, 1, {L"Ann:111"}},
        {"create fails", "CreateEntry", 0, false, CvCardImport::kReplace, kFailed, 0, 1, {L"Ann:111"}},
        // The old Ann cannot be deleted: the new one is stored all the same.
        {"delete fails", "DeleteEntries", 0, false, CvCardImport::kReplace, kOk, 3, 0,
         {L"Ann:111", L"Ann:999", L"Bob:2", L"Cid:3"}, "War[0x80004005] in CvCardImport::putContactItem: DeleteItem\n"},
        // A delete the address book did only in part is no success either.
        {"delete done in part", "DeleteEntries", 0, false, CvCardImport::kReplace, kOk, 3, 0,
         {L"Ann:111", L"Ann:999", L"Bob:2", L"Cid:3"}, "War[0x40680] in CvCardImport::putContactItem: DeleteItem\n",
         MAPI_W_PARTIAL_COMPLETION},
        // The new Ann was saved without her phone: the old one, which holds it, stays beside her.
        {"replacement incomplete", "SetProps", 1, false, CvCardImport::kReplace, kPartial, 3, 0,
         {L":", L":", L"Ann:", L"Ann:111"},
         "War[0x40380] in CvCardImport::putContactItem: \"Ann\" was saved without some of its properties: the "
         "contact it was to replace is kept beside it\n"},
        // The address book refuses properties from the second write on: every contact is saved
        // with what it took, and the run says that not everything arrived.
        {"properties refused", "SetProps", 1, false, CvCardImport::kDuplicate, kPartial, 3, 0,
         {L":", L":", L"Ann:", L"Ann:111"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(NewStore());
        Existing(L"Ann", L"111");
        std::string bob = "*";
        if (c.onBob) {
            // Bob as his card stores him (display and family name), so that the card meets him.
            SPropValue values[3] = {};
            values[0].ulPropTag = t::kDisplayName;
            values[1].ulPropTag = t::kSurname;
            values[0].Value.lpszW = values[1].Value.lpszW = const_cast<wchar_t*>(L"Bob");
            values[2].ulPropTag = t::kBusinessTelephoneNumber;
            values[2].Value.lpszW = const_cast<wchar_t*>(L"2");
            char id[WABSTANDIN_ID_TEXT_SIZE] = "";
            ASSERT_EQ(WabStandinAddContact(m_store.c_str(), m_pab.c_str(), 3, values, id, sizeof(id)), S_OK);
            bob = id;
        }
        WriteCards("people.vcf", {Card("2.1", {"FN:Ann", "TEL;WORK:999"}), Person("Bob", "2"), Person("Cid", "3")});
        ASSERT_EQ(WabStandinInjectFault(c.call, bob.c_str(), c.code, c.skip), S_OK);
        CLogCapture log;
        EXPECT_EQ(Run(c.mode), std::vector<std::string>{c.message});
        WabStandinClearFaults();
        if (c.logged) {
            EXPECT_NE(log.Lines().find(c.logged), std::string::npos) << log.Lines();
        }
        EXPECT_EQ(m_imported, c.imported);
        EXPECT_EQ(m_failed, c.failed);
        EXPECT_EQ(Summary(), c.after);
    }
}


TEST_F(ImportRun, CancelAfterTheFirstOfThreeCardsEndsTheRun)
{
    WriteCards("people.vcf", {Person("Ann", "1"), Person("Bob", "2"), Person("Cid", "3")});
    testsupport::CProgressCanceller cancel;
    ASSERT_TRUE(cancel.Created());

    EXPECT_EQ(Run(CvCardImport::kDuplicate), std::vector<std::string>{kPartial});
    EXPECT_TRUE(cancel.Pressed()) << "the progress window's Cancel button never read Wait...";
    EXPECT_EQ(m_total, 3);
    EXPECT_EQ(m_imported, 1);
    EXPECT_EQ(m_failed, 0);
    EXPECT_EQ(Summary(), std::vector<std::wstring>{L"Ann:1"});
}

// The comparison of a stored contact with a card, field by field: every card with the same
// names differs from the stored contact in exactly one way, or agrees with it.
TEST_F(ImportRun, AContactEqualsACardWhenEveryFieldTheCardCarriesAgrees)
{
    const std::vector<std::string> base = {"FN:Ann", "TEL;WORK:1", "EMAIL;INTERNET:b@x", "EMAIL;PREF;INTERNET:a@x",
                                           "X-OUTL-CHILDREN:Tom,Sue", "BDAY:19750314", "X-OUTL-GENDER:1"};
    struct Case {
        const char* name;
        std::vector<std::string> lines;
        bool equal;
    } cases[] = {
        {"the same card", base, true},
        {"fewer fields", {"FN:Ann", "TEL;WORK:1"}, true},
        {"phone case of a letter", {"FN:Ann", "TEL;WORK:1a"}, false},
        {"other phone", {"FN:Ann", "TEL;WORK:2"}, false},
        {"home phone the contact lacks", {"FN:Ann", "TEL;HOME:1"}, false},
        {"the preferred address first", {"FN:Ann", "EMAIL;INTERNET:a@x", "EMAIL;INTERNET:b@x"}, true},
        {"another preferred address", {"FN:Ann", "EMAIL;INTERNET:a@x", "EMAIL;PREF;INTERNET:b@x"}, false},
        {"one address fewer", {"FN:Ann", "EMAIL;PREF;INTERNET:a@x"}, false},
        {"address in other case", {"FN:Ann", "EMAIL;PREF;INTERNET:A@x", "EMAIL;INTERNET:b@x"}, false},
        {"children in another order", {"FN:Ann", "X-OUTL-CHILDREN:Sue,Tom"}, false},
        {"other birthday", {"FN:Ann", "BDAY:19750315"}, false},
        {"other gender", {"FN:Ann", "X-OUTL-GENDER:2"}, false},
    };
    WriteCards("ann.vcf", {Card("2.1", base)});
    Run(CvCardImport::kDuplicate);
    ASSERT_EQ(Stored().size(), 1u);
    std::string id = Stored()[0].id;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ULONG type = 0;
        Microsoft::WRL::ComPtr<IMAPIProp> item;
        ASSERT_EQ(g_wabLib.OpenItem(id.c_str(), &type, item.GetAddressOf()), S_OK);
        CvCardImport reader;
        std::string text = Card("2.1", c.lines);
        reader.LoadText(text.data(), text.size());
        int cards = 0;
        reader.ReadCards([&] {
            ++cards;
            EXPECT_EQ(reader.IsContactEqual(item.Get()), c.equal);
            return 0;
        });
        EXPECT_EQ(cards, 1);
    }
}

// A contact whose default address is not its first: the card's first address is compared with
// the default one, the others with the rest in their order.
TEST_F(ImportRun, TheCardsFirstAddressIsComparedWithTheDefaultOne)
{
    std::vector<std::wstring> addresses = {L"b@x", L"a@x", L"c@x"};
    std::vector<std::wstring> types = {L"SMTP", L"SMTP"};
    std::vector<wchar_t*> a, t;
    for (std::wstring& s : addresses)
        a.push_back(&s[0]);
    for (std::wstring& s : types)
        t.push_back(&s[0]);
    SPropValue v[4] = {};
    v[0].ulPropTag = t::kDisplayName;
    v[0].Value.lpszW = const_cast<wchar_t*>(L"Ann");
    v[1].ulPropTag = t::kContactEmailAddresses;
    v[1].Value.MVszW.cValues = static_cast<ULONG>(a.size());
    v[1].Value.MVszW.lppszW = a.data();
    v[2].ulPropTag = t::kContactAddrTypes;
    v[2].Value.MVszW.cValues = static_cast<ULONG>(t.size());
    v[2].Value.MVszW.lppszW = t.data();
    v[3].ulPropTag = t::kContactDefaultAddressIndex;
    v[3].Value.l = 1;
    char id[WABSTANDIN_ID_TEXT_SIZE] = "";
    ASSERT_EQ(WabStandinAddContact(m_store.c_str(), m_pab.c_str(), 4, v, id, sizeof(id)), S_OK);
    struct Case {
        std::vector<std::string> lines;
        bool equal;
    } cases[] = {
        // An X400 address carries no type: only the two stored types are compared.
        {{"FN:Ann", "EMAIL;PREF:a@x", "EMAIL:b@x", "EMAIL;X400:c@x"}, true},
        {{"FN:Ann", "EMAIL;PREF;INTERNET:a@x", "EMAIL;X400:b@x", "EMAIL;X400:c@x"}, true},
        // The stored types run out after two: a third type is compared with an empty one.
        {{"FN:Ann", "EMAIL;PREF:a@x", "EMAIL:b@x", "EMAIL:c@x"}, false},
        {{"FN:Ann", "EMAIL;PREF:b@x", "EMAIL:a@x", "EMAIL;X400:c@x"}, false},
        {{"FN:Ann", "EMAIL;PREF:a@x", "EMAIL:b@x"}, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(Crlf(c.lines));
        ULONG type = 0;
        Microsoft::WRL::ComPtr<IMAPIProp> item;
        ASSERT_EQ(g_wabLib.OpenItem(id, &type, item.GetAddressOf()), S_OK);
        CvCardImport reader;
        std::string text = Card("2.1", c.lines);
        reader.LoadText(text.data(), text.size());
        reader.ReadCards([&] {
            EXPECT_EQ(reader.IsContactEqual(item.Get()), c.equal);
            return 0;
        });
    }
}

// A card's CATEGORIES put the contact it ends up as into the target folder's groups of those names,
// made when missing: in every mode the member is the added, replacing or kept contact, and running
// the same files again leaves every group as it was. Labels that name every contact of their
// program, and the option turned off, put nobody anywhere.
TEST_F(ImportRun, CardsPutTheirContactsIntoTheGroupsTheyName)
{
    // Groups of the personal address book: name -> the members' "name:phone", sorted.
    auto groups = [this] {
        std::vector<CWabGroup> list;
        EXPECT_EQ(g_wabLib.GetGroups(m_pab.c_str(), &list), S_OK);
        std::map<std::string, std::string> byId;
        for (const CStored& s : Stored())
            byId[s.id] = common::ToUtf8(s.name + L":" + s.phone);
        std::map<std::wstring, std::vector<std::string>> out;
        for (const CWabGroup& g : list) {
            std::vector<std::string>& members = out[g.name];
            EXPECT_TRUE(members.empty()) << "two groups named " << common::ToUtf8(g.name);
            for (const std::string& id : g.members)
                members.push_back(byId.count(id) ? byId[id] : "gone " + id);
            std::sort(members.begin(), members.end());
        }
        return out;
    };
    using Groups = std::map<std::wstring, std::vector<std::string>>;
    struct Case {
        int mode;
        bool join;
        Groups expected;  // after the first run; the second (whose cards all meet their equals) leaves them so
    } cases[] = {
        {CvCardImport::kDuplicate, true,
         {{L"Friends", {"Ann:111", "Ann:999", "Bob:222"}}, {L"a,b;c\\d", {"Ann:999"}}, {L"Team", {"Bob:222"}}}},
        {CvCardImport::kReplace, true,
         {{L"Friends", {"Ann:999", "Bob:222"}}, {L"a,b;c\\d", {"Ann:999"}}, {L"Team", {"Bob:222"}}}},
        {CvCardImport::kLeaveOld, true,
         {{L"Friends", {"Ann:111", "Bob:222"}}, {L"a,b;c\\d", {"Ann:111"}}, {L"Team", {"Bob:222"}}}},
        {CvCardImport::kDuplicate, false, {{L"Friends", {"Ann:111"}}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.mode) + (c.join ? " joining" : " not joining"));
        ASSERT_TRUE(NewStore());
        const std::string ann = Existing(L"Ann", L"111");
        Existing(L"Bob", L"222");
        m_book.AddGroup(m_pab, L"Friends", {ann});
        WriteCards("people.vcf", {Card("3.0", {"FN:Ann", "TEL;TYPE=WORK:999", "CATEGORIES:friends,a\\,b\\;c\\\\d,myContacts"}),
                                  Card("2.1", {"FN:Bob", "TEL;WORK:222", "CATEGORIES:Friends,Team,Team"})});
        for (int run = 0; run < 2; ++run) {
            CvCardImport import;
            import.SetJoinGroups(c.join);
            CRunBoxes boxes;
            import.RunImport(m_source.c_str(), m_pab.c_str(), c.mode);
            EXPECT_EQ(groups(), c.expected) << "run " << run;
        }
    }
}

// A contact a card put into a group, replaced by a later card of the run: the group holds the new
// contact, not the deleted one.
TEST_F(ImportRun, AContactWaitingToJoinAGroupCanStillBeReplaced)
{
    ASSERT_TRUE(NewStore());
    Existing(L"Bob", L"222");
    WriteCards("people.vcf", {Card("2.1", {"FN:Bob", "TEL;WORK:222", "CATEGORIES:Team"}),
                              Card("2.1", {"FN:Bob", "TEL;WORK:333"})});
    EXPECT_EQ(Run(CvCardImport::kReplace), std::vector<std::string>{kOk});
    std::vector<CWabGroup> groups;
    ASSERT_EQ(S_OK, g_wabLib.GetGroups(m_pab.c_str(), &groups));
    ASSERT_EQ(1u, groups.size());
    const std::vector<CStored> stored = Stored();
    ASSERT_EQ(1u, stored.size());
    EXPECT_EQ(L"333", stored[0].phone);
    EXPECT_EQ(std::vector<std::string>{stored[0].id}, groups[0].members);
}
