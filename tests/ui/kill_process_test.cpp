// Quillon.exe killed (TerminateProcess, what a crash, a logoff or the task manager does) at random
// moments of its runs. An import of a few thousand cards is killed several times in each conflict
// mode, each run going on from what the last one left: afterwards the store always opens, every
// contact in it is whole (exactly the old contact or exactly the card), "Replace existing
// contacts" never loses a contact, and an import with "Leave old contacts" completes the set
// without duplicates. An export killed in one-file mode leaves its file under a ".part" name; one
// killed writing a file per contact leaves at most that file cut, without its END:VCARD; and the
// next export into the same folder writes every contact, in one-file mode under the first free
// name, which the killed runs' ".part" files do not take.
//
// Kill points are random but reproducible: QUILLON_KILL_POINTS=<n> repeats a run (the number it
// drew them from is printed). A kill waits for a state of the run (the store or the export's count growing to the
// chosen point), never for a time.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "standins/wab32/wabtest.h"
#include "support/storefile.h"
#include "ui/resource.h"

using namespace testsupport;

namespace {

const int kCards = 2000;         // half of them are in the store beforehand, as older contacts
const int kCardsPerFile = 100;
const int kKillsPerRun = 3;
const DWORD kRunWait = 240000;   // a whole run under qemu, with the machine busy

enum Mode { kDuplicate = 0, kReplace = 1, kLeaveOld = 2 };
const char* const kModeNames[] = {"Duplicate contacts", "Replace existing contacts", "Leave old contacts"};

// The number the kill points are drawn from: the one given, else the clock's.
unsigned KillPoints()
{
    static unsigned start = [] {
        const char* given = std::getenv("QUILLON_KILL_POINTS");
        unsigned n = given && *given ? static_cast<unsigned>(std::strtoul(given, nullptr, 10)) : ::GetTickCount();
        std::printf("kill points: QUILLON_KILL_POINTS=%u\n", n);
        return n;
    }();
    return start;
}

// Card i in its two versions: the older contact the store holds (even i only) and the card.
std::string Name(int i)
{
    char buf[32];
    std::snprintf(buf, sizeof buf, "%04d", i);
    return buf;
}
std::string Phone(int i, bool card) { return "+1 555 " + Name(i) + (card ? " new" : " old"); }
std::string Note(int i, bool card) { return (card ? "card " : "older ") + Name(i); }

std::string CardText(int i)
{
    std::string n = Name(i);
    return "BEGIN:VCARD\r\nVERSION:3.0\r\nN:Family" + n + ";Given" + n + ";;;\r\nFN:Given" + n + " Family" + n +
           "\r\nTEL;TYPE=WORK:" + Phone(i, true) + "\r\nEMAIL;TYPE=INTERNET:g" + n + "@example.org\r\nNOTE:" +
           Note(i, true) + "\r\nEND:VCARD\r\n";
}

// The row a whole contact gives in the columns ReadFolder reads.
std::string Row(int i, bool card)
{
    std::string n = Name(i);
    return "3001001F=Given" + n + " Family" + n + " | 3A06001F=Given" + n + " | 3A11001F=Family" + n +
           " | 3A08001F=" + Phone(i, card) + " | 3003001F=g" + n + "@example.org | 3004001F=" + Note(i, card);
}

// What a folder holds: for each card, how many contacts are its older version and how many the
// card; rows that are neither (a contact not whole) are kept as they are.
struct CContents {
    std::vector<int> older, card;
    std::vector<std::string> broken;
    int Cards() const
    {
        int n = 0;
        for (int c : card)
            n += c;
        return n;
    }
};

// Opens the store as a fresh session (the file read from its start) and reads the folder.
bool ReadFolder(const std::string& store, const std::string& folder, CContents* out)
{
    static std::map<std::string, std::pair<int, bool>> rows = [] {
        std::map<std::string, std::pair<int, bool>> m;
        for (int i = 0; i < kCards; ++i) {
            m[Row(i, false)] = {i, false};
            m[Row(i, true)] = {i, true};
        }
        return m;
    }();
    *out = CContents();
    out->older.assign(kCards, 0);
    out->card.assign(kCards, 0);
    wabtest::CSession session;
    HRESULT hr = session.Open(store);
    EXPECT_EQ(S_OK, hr) << "the store does not open after the kill";
    if (FAILED(hr))
        return false;
    {
        Microsoft::WRL::ComPtr<IMAPITable> table = session.Table(folder, MAPI_UNICODE);
        if (!table)
            return false;
        SizedSPropTagArray(6, columns) = {6, {PR_DISPLAY_NAME_W, PR_GIVEN_NAME_W, PR_SURNAME_W,
                                              PR_BUSINESS_TELEPHONE_NUMBER_W, PR_EMAIL_ADDRESS_W, PR_COMMENT_W}};
        hr = table->SetColumns(reinterpret_cast<LPSPropTagArray>(&columns), 0);
        EXPECT_EQ(S_OK, hr);
        for (const std::string& row : session.Rows(table.Get())) {
            auto it = rows.find(row);
            if (it == rows.end())
                out->broken.push_back(row);
            else
                ++(it->second.second ? out->card : out->older)[it->second.first];
        }
    }
    session.Close();
    EXPECT_EQ(0u, WabStandinLiveObjects());
    return true;
}

// Quillon's world for one test, with a store whose first folder holds the older version of every
// even card.
class CKillWorld : public CQuillonWorld {
public:
    CKillWorld() : CQuillonWorld(kDialogSettings)
    {
        std::string description;
        for (int i = 0; i < kCards; i += 2) {
            std::string n = Name(i);
            description += "contact\nPR_DISPLAY_NAME = Given" + n + " Family" + n + "\nPR_GIVEN_NAME = Given" + n +
                           "\nPR_SURNAME = Family" + n + "\nPR_BUSINESS_TELEPHONE_NUMBER = " + Phone(i, false) +
                           "\nPR_EMAIL_ADDRESS = g" + n + "@example.org\nPR_COMMENT = " + Note(i, false) + "\n";
        }
        store.Load(description);
    }

    ULONGLONG StoreSize() const
    {
        WIN32_FILE_ATTRIBUTE_DATA data = {};
        if (!::GetFileAttributesExA(store.path().c_str(), GetFileExInfoStandard, &data))
            return 0;
        return (static_cast<ULONGLONG>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
    }
};

// One run of Quillon.exe -import or -export on the settings in the registry: started, OK pressed.
struct CRun {
    common::CHandle process;
    DWORD pid = 0;
};

void StartRun(const CKillWorld& world, const char* mode, const char* dialogTitle, CRun* run)
{
    run->process = StartProcess("\"" + BinDir() + "\\Quillon.exe\" " + mode, std::string(), &run->pid);
    ASSERT_TRUE(run->process);
    HWND dialog = WaitTopWindow(run->pid, "#32770", dialogTitle, kWait);
    ASSERT_NE(nullptr, dialog) << "no " << dialogTitle << " dialog; " << world.ErrLog();
    ASSERT_TRUE(PressOkWhenEnabled(dialog)) << "OK stays disabled on the preset choices";
}

// Kills the run once reached() holds; false when the run came to its closing message first (the
// message is answered and the program ends).
bool KillWhen(CRun& run, const std::function<bool()>& reached, std::string* closing = nullptr)
{
    DWORD start = ::GetTickCount();
    for (unsigned round = 0;; ++round) {
        if (reached()) {
            EXPECT_TRUE(::TerminateProcess(run.process.get(), 9));
            EXPECT_EQ(WAIT_OBJECT_0, ::WaitForSingleObject(run.process.get(), kWait));
            return true;
        }
        if (round % 16 == 0) {
            HWND box = FindTopWindow(run.pid, "#32770", "Quillon for Outlook Express");
            if (box) {
                if (closing)
                    *closing = DialogStaticText(box);
                PostClick(box, IDOK);
                LONG code = 0;
                EXPECT_TRUE(WaitExit(run.process.get(), kWait, &code));
                return false;
            }
            if (::WaitForSingleObject(run.process.get(), 0) == WAIT_OBJECT_0) {
                ADD_FAILURE() << "Quillon ended without its closing message";
                return false;
            }
            if (::GetTickCount() - start > kRunWait) {
                ADD_FAILURE() << "the run neither reached the kill point nor ended; its windows:\n"
                              << DescribeTopWindows(run.pid);
                ::TerminateProcess(run.process.get(), 9);
                return false;
            }
        }
        ::Sleep(1);
    }
}

// Runs to the end and gives the closing message.
std::string RunToEnd(CRun& run)
{
    std::string closing;
    EXPECT_FALSE(KillWhen(run, [] { return false; }, &closing));
    return closing;
}

class QuillonKilled : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        s_cards = new CTempDir;
        for (int f = 0; f < kCards / kCardsPerFile; ++f) {
            std::string text;
            for (int i = f * kCardsPerFile; i < (f + 1) * kCardsPerFile; ++i)
                text += CardText(i);
            ASSERT_TRUE(WriteFileBytes(s_cards->file("cards" + Name(f) + ".vcf"), text));
        }
    }
    static void TearDownTestSuite()
    {
        delete s_cards;
        s_cards = nullptr;
    }

    void ImportKilled(Mode mode);

    static CTempDir* s_cards;
};

CTempDir* QuillonKilled::s_cards = nullptr;

void QuillonKilled::ImportKilled(Mode mode)
{
    CKillWorld world;
    ULONGLONG bytesPerContact = world.StoreSize() / (kCards / 2);
    ASSERT_TRUE(SetRegString(HKEY_CURRENT_USER, kQuillonKey, "Import.WABFolderID", world.store.pab()));
    ASSERT_TRUE(SetRegString(HKEY_CURRENT_USER, kQuillonKey, "Import.WinFolder", s_cards->path()));
    std::mt19937 random(KillPoints() + static_cast<unsigned>(mode));

    CContents now;
    ASSERT_TRUE(ReadFolder(world.store.path(), world.store.pab(), &now));
    int kills = 0;
    std::string figures;
    for (int k = 0; k < kKillsPerRun; ++k) {
        ASSERT_TRUE(SetRegDword(HKEY_CURRENT_USER, kQuillonKey, "Import.ConflictResolution", mode));
        int left = 0;
        for (int i = 0; i < kCards; ++i)
            left += now.card[i] == 0 && !(mode == kLeaveOld && now.older[i] > 0);
        if (left == 0)
            break;
        ULONGLONG from = world.StoreSize();
        ULONGLONG target = from + 1 + random() % (left * bytesPerContact * 3 / 4 + 1);
        int before = now.Cards();
        CRun run;
        ASSERT_NO_FATAL_FAILURE(StartRun(world, "-import", "Import", &run));
        bool killed = KillWhen(run, [&] { return world.StoreSize() >= target; });

        CContents was = now;
        ASSERT_TRUE(ReadFolder(world.store.path(), world.store.pab(), &now));
        ASSERT_EQ(std::vector<std::string>(), now.broken) << "contacts not whole after a kill";
        kills += killed;
        figures += " " + std::to_string(now.Cards() - before) + (killed ? "" : " (ran to its end)");
        int pairs = 0;
        for (int i = 0; i < kCards; ++i) {
            bool older = i % 2 == 0;
            EXPECT_LE(now.card[i], 1) << "card " << i << " stored twice";
            EXPECT_LE(now.older[i], older ? 1 : 0) << "card " << i;
            if (older && mode != kReplace) {
                EXPECT_EQ(1, now.older[i]) << "older contact " << i << " gone";
            }
            if (mode == kLeaveOld && older) {
                EXPECT_EQ(0, now.card[i]) << "card " << i << " stored beside its older contact";
            }
            if (mode == kReplace && older) {
                EXPECT_GE(now.older[i] + now.card[i], 1) << "contact " << i << " lost while being replaced";
                pairs += now.older[i] + now.card[i] == 2;
                // A contact replaced before stays replaced.
                if (was.card[i] == 1) {
                    EXPECT_EQ(was.older[i], now.older[i]) << "contact " << i;
                }
            }
        }
        // The card is saved before its older contact is deleted: a kill between the two leaves
        // both, at most one pair a kill.
        EXPECT_LE(pairs, kills) << "older contacts left beside their replacements";
        if (::testing::Test::HasFailure())
            return;
    }

    // The set completed by a run with "Leave old contacts".
    ASSERT_TRUE(SetRegDword(HKEY_CURRENT_USER, kQuillonKey, "Import.ConflictResolution", kLeaveOld));
    CRun run;
    ASSERT_NO_FATAL_FAILURE(StartRun(world, "-import", "Import", &run));
    EXPECT_EQ("Import completed successfully.", RunToEnd(run)) << world.ErrLog();
    ASSERT_TRUE(ReadFolder(world.store.path(), world.store.pab(), &now));
    ASSERT_EQ(std::vector<std::string>(), now.broken);
    int pairs = 0;
    for (int i = 0; i < kCards; ++i) {
        if (i % 2 == 1) {
            EXPECT_EQ(0, now.older[i]) << "card " << i;
            EXPECT_EQ(1, now.card[i]) << "card " << i;
        } else if (mode == kReplace) {
            EXPECT_LE(now.older[i], 1) << "older contact " << i;
            EXPECT_LE(now.card[i], 1) << "card " << i;
            EXPECT_GE(now.older[i] + now.card[i], 1) << "contact " << i << " lost";
            pairs += now.older[i] + now.card[i] == 2;
        } else {
            // "Duplicate contacts" adds the card beside the older contact; the cards it did not
            // reach before its last kill are not added by "Leave old contacts".
            EXPECT_EQ(1, now.older[i]) << "older contact " << i;
            EXPECT_LE(now.card[i], mode == kLeaveOld ? 0 : 1) << "card " << i;
        }
    }
    EXPECT_LE(pairs, kills);
    if (mode == kReplace)
        figures += "; older contacts kept beside their card by a kill between the two: " + std::to_string(pairs);
    std::printf("%s: %d kills of %d cards; cards saved before each kill:%s\n", kModeNames[mode], kills, kCards,
                figures.c_str());
    EXPECT_GE(kills, 1) << "no run was killed";
}

TEST_F(QuillonKilled, ImportDuplicateContacts) { ImportKilled(kDuplicate); }
TEST_F(QuillonKilled, ImportReplaceExistingContacts) { ImportKilled(kReplace); }
TEST_F(QuillonKilled, ImportLeaveOldContacts) { ImportKilled(kLeaveOld); }

// The count of a running export as its progress window shows it ("n of N"); -1 before it shows.
struct CCountSearch {
    DWORD pid;
    int count;
};

BOOL CALLBACK FindCount(HWND hwnd, LPARAM lp)
{
    CCountSearch* search = reinterpret_cast<CCountSearch*>(lp);
    DWORD owner = 0;
    ::GetWindowThreadProcessId(hwnd, &owner);
    HWND count = owner == search->pid ? ::GetDlgItem(hwnd, IDC_PROGRESS_COUNT) : nullptr;
    if (!count)
        return TRUE;
    search->count = std::atoi(WindowText(count).c_str());
    return FALSE;
}

int ExportCount(DWORD pid)
{
    CCountSearch search = {pid, -1};
    ::EnumWindows(FindCount, reinterpret_cast<LPARAM>(&search));
    return search.count;
}

// The cards of a file: whole when it holds them back to back, each from BEGIN:VCARD to its
// END:VCARD, and nothing after the last; -1 when it is cut.
int WholeCards(const std::string& bytes)
{
    const std::string begin = "BEGIN:VCARD\r\n", end = "\r\nEND:VCARD\r\n";
    int cards = 0;
    size_t at = 0;
    while (at < bytes.size()) {
        if (bytes.compare(at, begin.size(), begin) != 0)
            return -1;
        size_t e = bytes.find(end, at);
        if (e == std::string::npos || bytes.find(begin, at + begin.size()) < e)
            return -1;
        at = e + end.size();
        ++cards;
    }
    return cards;
}

TEST_F(QuillonKilled, Export)
{
    CKillWorld world;
    // One file per contact from a smaller folder (under Wine a file costs milliseconds), all into
    // one file from the whole first folder (a run short enough as it is).
    const int perContact = 150;
    const std::string few = world.store.AddFolder(L"Few");
    std::string description = "folder Few\n";
    for (int i = 0; i < perContact; ++i)
        description += "contact\nPR_DISPLAY_NAME = Few " + Name(i) + "\nPR_COMMENT = " + Note(i, false) + "\n";
    ASSERT_TRUE(world.store.Load(description));
    ASSERT_TRUE(SetRegDword(HKEY_CURRENT_USER, kQuillonKey, "Export.WABAllFolders", 0));
    std::mt19937 random(KillPoints() + 3);
    const ULONGLONG bytesPerCard = 200;  // at least, for a card of the first folder
    for (int oneFile = 0; oneFile < 2; ++oneFile) {
        std::string folder = world.file(oneFile ? "one file" : "per contact");
        ASSERT_TRUE(::CreateDirectoryA(folder.c_str(), nullptr));
        ASSERT_TRUE(SetRegString(HKEY_CURRENT_USER, kQuillonKey, "Export.WinFolder", folder));
        ASSERT_TRUE(SetRegDword(HKEY_CURRENT_USER, kQuillonKey, "Export.SaveInOneFile", oneFile));
        ASSERT_TRUE(SetRegString(HKEY_CURRENT_USER, kQuillonKey, "Export.WABFolderID", oneFile ? world.store.pab() : few));
        const int contacts = oneFile ? kCards / 2 : perContact;
        // The whole cards of the files under a vCard name, the files cut (one file per contact
        // only: the one in hand at a kill) and the one-file runs' files not complete.
        int cut = 0;
        auto check = [&](int* cards, int* parts) {
            *cards = *parts = 0;
            cut = 0;
            for (const std::string& name : ListFiles(folder)) {
                bool part = name.size() > 5 && name.compare(name.size() - 5, 5, ".part") == 0;
                *parts += part;
                if (part)
                    continue;
                int n = WholeCards(ReadFileBytes(folder + "\\" + name));
                if (oneFile) {
                    EXPECT_GE(n, 1) << name << " is cut";
                }
                if (n < 1)
                    ++cut;
                else
                    *cards += n;
            }
            // The import's search does not take a .part file for a vCard file.
            EXPECT_EQ(ListFiles(folder).size() - *parts, ListFiles(folder, "*.vcf").size());
        };
        int cards = 0, parts = 0, kills = 0;
        std::string figures;
        // The size of the file being written in one-file mode: the .part file not among those
        // left before.
        auto partSize = [&](const std::vector<std::string>& left) {
            WIN32_FIND_DATAA found;
            common::CFindHandle search(::FindFirstFileA((folder + "\\*.part").c_str(), &found));
            if (search.valid()) {
                do {
                    if (std::find(left.begin(), left.end(), found.cFileName) == left.end())
                        return (static_cast<ULONGLONG>(found.nFileSizeHigh) << 32) | found.nFileSizeLow;
                } while (::FindNextFileA(search.get(), &found));
            }
            return 0ULL;
        };
        // A one-file run may end before its kill point is seen: it is tried again.
        for (int tries = 0; kills < 2 && tries < 5; ++tries) {
            // Per contact, a count the progress window shows; in one file, which is written
            // faster than the window shows its count, a size of the file.
            ULONGLONG target = 1 + random() % (contacts * 3 / 4);
            if (oneFile)
                target *= bytesPerCard;
            CRun run;
            ASSERT_NO_FATAL_FAILURE(StartRun(world, "-export", "Export", &run));
            int before = cards;
            std::vector<std::string> left = ListFiles(folder, "*.part");
            bool killed = KillWhen(run, [&] {
                return oneFile ? partSize(left) >= target : ExportCount(run.pid) >= static_cast<int>(target);
            });
            kills += killed;
            int partsBefore = parts, cutBefore = cut;
            check(&cards, &parts);
            // Cards written: into .vcf files, or (one file) into the cut file.
            int written = cards - before;
            if (killed && oneFile) {
                written = 0;
                for (const std::string& name : ListFiles(folder, "*.part")) {
                    if (std::find(left.begin(), left.end(), name) != left.end())
                        continue;
                    std::string text = ReadFileBytes(folder + "\\" + name);
                    for (size_t at = text.find("END:VCARD\r\n"); at != std::string::npos; at = text.find("END:VCARD\r\n", at + 1))
                        ++written;
                }
            }
            figures += " " + std::to_string(written) + (killed ? "" : " (ran to its end)") +
                       (parts > partsBefore ? " +.part" : "") + (cut > cutBefore ? " +cut" : "");
            if (killed && oneFile) {
                EXPECT_EQ(before, cards) << "a killed one-file export left a file under a vCard name";
                EXPECT_EQ(partsBefore + 1, parts) << "the cut one-file export is not under a .part name";
            }
            if (killed && !oneFile) {
                EXPECT_EQ(partsBefore, parts);
                EXPECT_LE(cut, cutBefore + 1) << "more than the file in hand is cut";
            }
        }
        CRun run;
        ASSERT_NO_FATAL_FAILURE(StartRun(world, "-export", "Export", &run));
        EXPECT_EQ("Export completed successfully.", RunToEnd(run)) << world.ErrLog();
        int before = cards, partsBefore = parts, cutBefore = cut;
        check(&cards, &parts);
        EXPECT_EQ(before + contacts, cards) << "the export after the kills";
        EXPECT_EQ(partsBefore, parts);
        EXPECT_EQ(cutBefore, cut);
        if (oneFile) {
            // The runs that went through took the first names, whatever the killed ones left:
            // <name>.vcf, <name>(1).vcf, ...
            std::vector<std::string> named = ListFiles(folder, "*.vcf");
            std::sort(named.begin(), named.end(), [](const std::string& a, const std::string& b) {
                return a.size() != b.size() ? a.size() < b.size() : a < b;
            });
            const std::string base = named.empty() ? "" : named[0].substr(0, named[0].size() - 4);
            std::vector<std::string> first;
            for (size_t i = 0; i < named.size(); ++i)
                first.push_back(base + (i ? "(" + std::to_string(i) + ")" : "") + ".vcf");
            EXPECT_EQ(first, named);
        }
        std::printf("export %s: %d kills of %d contacts; cards written before each kill (+.part, +cut: a cut file left):%s\n",
                    oneFile ? "into one file" : "one file per contact", kills, contacts, figures.c_str());
        EXPECT_GE(kills, 1) << "no run was killed";
    }
}

}  // namespace
