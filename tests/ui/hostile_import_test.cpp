// A folder of hostile files beside readable cards, imported through the real import dialog: every
// readable card arrives, the run ends with its closing message in bounded time and memory, and
// the log names each file that could not be read (or held no card) in one line. The files are
// made here, one table row per kind.
#include <gtest/gtest.h>

#include <windows.h>
#include <psapi.h>
#include <wrl/client.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <thread>
#include <string>
#include <vector>

#include "common/raii.h"
#include "common/text.h"
#include "contact/CharConverter.h"
#include "contact/Contact.h"
#include "dialogdriver.h"
#include "support/logcapture.h"
#include "support/storefile.h"
#include "vcard/import/vCardImport.h"
#include "wab/WABLib.h"

using namespace uitest;
namespace t = contact_tags;

namespace {

using testsupport::kQuillonKey;
const char* const kSettingsKey = kQuillonKey;
const char kCannotOpen[] = " file cannot be opened. ";

std::string Card(const std::string& body) { return "BEGIN:VCARD\r\nVERSION:2.1\r\n" + body + "END:VCARD\r\n"; }
std::string Person(const std::string& name, const std::string& phone)
{
    return Card("FN:" + name + "\r\nTEL;WORK:" + phone + "\r\n");
}
std::string Repeat(const std::string& piece, size_t times)
{
    std::string out;
    out.reserve(piece.size() * times);
    for (size_t i = 0; i < times; ++i)
        out += piece;
    return out;
}
// UTF-16 of ASCII text, in either byte order, with a unit put in front of the text's end.
std::string Utf16(const std::string& ascii, bool bigEndian)
{
    std::string out;
    for (char c : ascii) {
        out += bigEndian ? std::string(1, '\0') + c : std::string(1, c) + '\0';
    }
    return out;
}
std::string Unit(unsigned u, bool bigEndian)
{
    char hi = static_cast<char>(u >> 8), lo = static_cast<char>(u & 0xFF);
    return bigEndian ? std::string{hi, lo} : std::string{lo, hi};
}

size_t PrivateBytes()
{
    PROCESS_MEMORY_COUNTERS counters = {};
    counters.cb = sizeof counters;
    return ::GetProcessMemoryInfo(::GetCurrentProcess(), &counters, sizeof counters) ? counters.PagefileUsage : 0;
}

// The most private bytes seen while it lives, sampled every few milliseconds (the process's own
// peak also holds what the test used to make the files).
class CMemorySampler {
public:
    CMemorySampler()
        : m_thread([this] {
              while (!m_stop) {
                  size_t now = PrivateBytes();
                  if (now > m_peak)
                      m_peak = now;
                  ::Sleep(2);
              }
          })
    {
    }
    size_t Stop()
    {
        m_stop = true;
        if (m_thread.joinable())
            m_thread.join();
        return m_peak;
    }
    ~CMemorySampler() { Stop(); }

private:
    std::atomic<bool> m_stop{false};
    std::atomic<size_t> m_peak{0};
    std::thread m_thread;
};

struct Kind {
    const char* file;
    std::string bytes;
    const char* logged;  // what the file's one log line says; null: no line names the file
    // What its line on values with no field left says (one per card); null: none.
    const char* dropped = nullptr;
};

}  // namespace

TEST(HostileImport, EveryReadableCardArrivesAndEveryUnreadableFileIsLoggedOnce)
{
    testsupport::CTempDir dir;
    CLogCapture log;
    ASSERT_GT(g_charConverter.LoadFrom((testsupport::BinDir() + "\\supportedEncodings.txt").c_str(), nullptr), 10u);
    testsupport::CClearedValues settings(kSettingsKey, testsupport::kImportSettings);
    testsupport::CScratchBook book;
    const std::string& pab = book.pab();
    ASSERT_TRUE(book.Open());
    const std::string source = dir.file("cards");
    ASSERT_TRUE(::CreateDirectoryA(source.c_str(), nullptr));

    const std::string random = testsupport::NoiseBytes(64 * 1024, 12345);
    const std::string lone16 = Utf16("BEGIN:VCARD\r\nFN:Lone", false) + Unit(0xD800, false) +
                               Utf16("Surrogate\r\nTEL;WORK:9\r\nEND:VCARD\r\n", false);
    const std::string odd16 = Utf16("BEGIN:VCARD\r\nFN:Odd", true) + Unit(0xDC00, true) +
                              Utf16("Bytes\r\nTEL;WORK:10\r\nEND:VCARD\r\n", true) + "\x41";
    // Cards inside cards, twelve deep, each one's phone behind the cards inside it: the eight
    // outer ones arrive, the four deepest are stepped over.
    std::string deep = Repeat("BEGIN:VCARD\r\nVERSION:2.1\r\n", 12);
    for (int level = 12; level >= 1; --level)
        deep += "FN:Deep " + std::to_string(level) + "\r\nTEL;WORK:" + std::to_string(20 + level) + "\r\nEND:VCARD\r\n";
    const Kind kinds[] = {
        {"good.vcf", Person("Ann Lee", "1") + Person("Bob Ray", "2"), nullptr},
        {"good30.vcf", "BEGIN:VCARD\r\nVERSION:3.0\r\nFN:Cid Poe\r\nTEL;TYPE=WORK:3\r\nEND:VCARD\r\n", nullptr},
        {"random.vcf", random, "random.vcf holds no vCard"},
        {"empty.vcf", "", "empty.vcf holds no vCard"},
        {"unended.vcf", Person("Una Ford", "4") + "BEGIN:VCARD\r\nFN:Never Ends\r\n" + Repeat("NOTE:x\r\n", 50000),
         "unended.vcf ends inside a card: that card was not imported"},
        {"nested.vcf", Repeat("BEGIN:VCARD\r\n", 5000) + "FN:Nest\r\n", "nested.vcf ends inside a card"},
        // A picture is not stored: however long, the card loses nothing.
        {"longline.vcf", Card("FN:Long Line\r\nPHOTO;ENCODING=BASE64:" + std::string(5 * 1024 * 1024, 'A') +
                              "\r\nTEL;WORK:5\r\n"),
         nullptr},
        {"manyprops.vcf",
         Card("FN:Many Props\r\n" + Repeat("X-JUNK:0123456789\r\nTEL;CELL:0123456789\r\n", 15000) + "TEL;WORK:6\r\n"),
         nullptr, "card \"Many Props\" has 14999 values of kinds whose fields it had filled already"},
        {"bigcard.vcf", Card("FN:Big Card\r\nTEL;WORK:14\r\n" + Repeat("TEL;CELL:" + std::string(200, '0') + "\r\n", 45000)),
         "bigcard.vcf: card \"Big Card\" holds more than 8388608 bytes of values to store: 4864 more lines skipped",
         "card \"Big Card\" has 40135 values"},
        {"deep.vcf", deep, "deep.vcf: 4 cards lying more than 8 deep inside cards were not imported"},
        {"softbreaks.vcf",
         Card("FN:Soft Breaks\r\nNOTE;ENCODING=QUOTED-PRINTABLE:" + Repeat("=41=42=43=44=45=46=47=48=49=4A=\r\n", 40000) +
              "end\r\nTEL;WORK:13\r\n"),
         "softbreaks.vcf: NOTE line of 1320034 bytes cut to its first 1048576 in card \"Soft Breaks\""},
        {"folded.vcf", Card("FN:Folded\r\nTEL;WORK:7\r\nNOTE:" + Repeat("\r\n x", 100000) + "\r\n"), nullptr},
        {"badutf8.vcf", Card("FN;CHARSET=UTF-8:Bad\xC3\x28Utf\xFF\xFE\xED\xA0\x80" "8\r\nTEL;WORK:8\r\n"), nullptr},
        {"lone16.vcf", "\xFF\xFE" + lone16, nullptr},
        {"odd16.vcf", odd16, nullptr},
        {"grows.vcf", Person("Gus Grow", "11"), nullptr},
        {"gone.vcf", Person("Gil Gone", "99"), "War[0x80070002] in CvCardImport::ImportFile: CreateFile("},
        {"locked.vcf", Person("Lou Lock", "98"), "War[0x80070020] in CvCardImport::ImportFile: CreateFile("},
        {"huge.vcf", "", "huge.vcf not read: 209715200 bytes, more than the 134217728 a file may have"},
        {"x.vcf", "", "War[0x80070005] in CvCardImport::ImportFile: CreateFile("},
        // CSV and LDIF files of the same kinds, read by the same run.
        {"quote.csv", "First Name,Business Phone\r\n\"Quo,30\r\nRay,31\r\n",
         "quote.csv: a quote opened in row 2 is never closed: read as a character"},
        {"wide.csv", "First Name,Business Phone" + Repeat(",x", 1000000) + "\r\nWide,32\r\n",
         "wide.csv: the header has more than 2048 columns: those beyond were not read"},
        {"zero.csv", std::string("First Name,Business Phone\r\nN\0ul,33\r\n", 36),
         "zero.csv: 1 rows held zero bytes, which were left out"},
        {"mixed.csv", "Business Phone,First Name\r34,Mix\n35,Max\r\n36,Mux", nullptr},
        {"bigcell.csv", "Notes,Business Phone\r\n\"" + std::string(2 * 1024 * 1024, 'n') + "\",38\r\n",
         "bigcell.csv: 1 rows had a cell longer than 1048576 bytes"},
        {"noise.csv", random, "noise.csv: the first row names no column of a contacts CSV we know: nothing read"},
        {"header.csv", "First Name,Business Phone\r\n", "header.csv: no row below the header holds a contact"},
        {"people.ldif",
         "dn: cn=L\nobjectclass: person\ncn: L\ntelephoneNumber: 37\n\ndn: cn=C\nchangetype: delete\n",
         "people.ldif: 1 change records skipped"},
    };
    for (const Kind& k : kinds) {
        const std::string path = source + "\\" + k.file;
        if (std::string(k.file) == "x.vcf")
            ASSERT_TRUE(::CreateDirectoryA(path.c_str(), nullptr));
        else
            ASSERT_TRUE(testsupport::WriteFileBytes(path, k.bytes)) << k.file;
    }
    {
        // A file far beyond the reader's limit, sparse: it costs no disk and must cost no memory.
        common::CFileHandle huge(::CreateFileA((source + "\\huge.vcf").c_str(), GENERIC_WRITE, 0, nullptr,
                                               OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
        ASSERT_TRUE(huge);
        LARGE_INTEGER end;
        end.QuadPart = 200LL * 1024 * 1024;
        ASSERT_TRUE(::SetFilePointerEx(huge.get(), end, nullptr, FILE_BEGIN) && ::SetEndOfFile(huge.get()));
    }
    common::CFileHandle locked(::CreateFileA((source + "\\locked.vcf").c_str(), GENERIC_READ, 0, nullptr,
                                             OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    ASSERT_TRUE(locked) << "the test could not hold locked.vcf open";

    ASSERT_TRUE(testsupport::SetRegString(HKEY_CURRENT_USER, kSettingsKey, "Import.WABFolderID", pab));
    ASSERT_TRUE(testsupport::SetRegString(HKEY_CURRENT_USER, kSettingsKey, "Import.WinFolder", source));
    ASSERT_TRUE(testsupport::SetRegDword(HKEY_CURRENT_USER, kSettingsKey, "Import.ConflictResolution", 0));

    // Once the run has counted the cards and starts reading the files, one goes and another grows.
    CvCardImport run;
    bool changed = false;
    run.SetBeforeReadHook([&](const char*) {
        if (changed)
            return;
        changed = true;
        EXPECT_TRUE(::DeleteFileA((source + "\\gone.vcf").c_str()));
        std::string grown = testsupport::ReadFileBytes(source + "\\grows.vcf") + Person("Gwen Grow", "12");
        EXPECT_TRUE(testsupport::WriteFileBytes(source + "\\grows.vcf", grown));
    });

    std::vector<std::string> cannotOpen;
    std::string summary;
    // The files' texts above are still held: the run's cost is its peak over what is in use now.
    const size_t before = PrivateBytes();
    CMemorySampler sampler;
    const ULONGLONG start = ::GetTickCount64();
    RunDriven([&] { return static_cast<INT_PTR>(run.Execute(nullptr, nullptr)); },
              [&] {
                  HWND dialog = WaitDialog("Import");
                  ASSERT_NE(dialog, nullptr) << "the import dialog did not open";
                  testsupport::PostClick(dialog, IDOK);
                  // The run's boxes: one for each file that cannot be opened (OK: go on), then the
                  // closing message. A run that takes longer than this has hung.
                  testsupport::WaitUntil(
                      [&] {
                          for (HWND box : OwnDialogs()) {
                              const std::string title = testsupport::WindowText(box);
                              if (title == "Quillon" || title == "Quillon for Outlook Express") {
                                  std::string text = testsupport::DialogStaticText(box);
                                  if (title == "Quillon")
                                      cannotOpen.push_back(text.substr(0, text.find('\n')));
                                  else
                                      summary = text;
                                  testsupport::PostClick(box, IDOK);
                                  WaitGone(box);
                                  return title != "Quillon";
                              }
                          }
                          return false;
                      },
                      180000);
              });
    const ULONGLONG elapsed = ::GetTickCount64() - start;
    const size_t peak = std::max(sampler.Stop(), before);
    locked.reset();
    std::printf("hostile folder: run %llu ms, private bytes %zu KB before it, peak %zu KB (+%zu KB)\n",
                static_cast<unsigned long long>(elapsed), before / 1024, peak / 1024, (peak - before) / 1024);
    EXPECT_LT(peak - before, size_t(256) * 1024 * 1024) << "the hostile files cost too much memory";

    EXPECT_EQ(summary, "Import was completed. Some items were not imported.");
    std::sort(cannotOpen.begin(), cannotOpen.end());
    EXPECT_EQ(cannotOpen, (std::vector<std::string>{source + "\\gone.vcf" + kCannotOpen, source + "\\locked.vcf" + kCannotOpen,
                                                    source + "\\x.vcf" + kCannotOpen}))
        << "each file that cannot be opened is named in its box";

    // Every readable card arrived, whole where it was whole.
    std::vector<std::string> phones;
    std::wstring foldedNote;
    for (const testsupport::COpenedItem& item : testsupport::OpenItems(pab)) {
        CContact contact(item.entry.Get());
        std::wstring phone, name;
        // A property that cannot be read stays empty, which the expectations below catch.
        (void)contact._GetTextPropW(t::kBusinessTelephoneNumber, &phone);
        (void)contact._GetTextPropW(t::kDisplayName, &name);
        phones.push_back(common::ToUtf8(phone));
        if (name == L"Folded")
            (void)contact._GetTextPropW(t::kComment, &foldedNote);
    }
    std::sort(phones.begin(), phones.end());
    std::vector<std::string> expected = {"1", "10", "11", "12", "13", "14", "2", "3", "4", "5", "6", "7", "8", "9",
                                         "30", "31", "32", "33", "34", "35", "36", "37", "38"};
    for (int level = 1; level <= 8; ++level)
        expected.push_back(std::to_string(20 + level));
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(phones, expected);
    // What lost a value it would have stored: the note cut to a line's bound, the card beyond its
    // bytes, the CSV note cut to a cell's.
    EXPECT_EQ(run.Incomplete(), 3);
    EXPECT_EQ(foldedNote, std::wstring(100000, L'x')) << "the line folded 100,000 times came back whole";

    // One log line for each file that could not be read or held no card, naming it and why.
    const std::string lines = log.Lines();
    for (const Kind& k : kinds) {
        SCOPED_TRACE(k.file);
        std::vector<std::string> naming, dropped;
        for (const std::string& line : testsupport::SplitLines(lines, "\n"))
            if (line.find("\\" + std::string(k.file)) != std::string::npos)
                (line.find("fields it had filled already") != std::string::npos ? dropped : naming).push_back(line);
        ASSERT_EQ(dropped.size(), k.dropped ? 1u : 0u);
        if (k.dropped) {
            EXPECT_NE(dropped[0].find(k.dropped), std::string::npos) << dropped[0];
        }
        if (!k.logged) {
            EXPECT_TRUE(naming.empty()) << naming.front();
        } else {
            ASSERT_EQ(naming.size(), 1u) << lines;
            EXPECT_NE(naming[0].find(k.logged), std::string::npos) << naming[0];
        }
    }
}
