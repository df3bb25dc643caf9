// The export run against the stand-in address book: the writer reading real contacts, file
// naming and numbering, one-file and selection modes, the stop at the first failure, Cancel
// through the real progress window, and the closing message.
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <atomic>
#include <cwchar>
#include <string>
#include <vector>

#include "base/Log.h"
#include "common/text.h"
#include "contact/CharConverter.h"
#include "contact/Contact.h"
#include "exportsupport.h"
#include "standins/wab32/wabstandin.h"
#include "ui/resource.h"
#include "vcard/export/vCardExport.h"
#include "wab/WABLib.h"

using namespace exporttest;
using namespace contact_tags;
using testsupport::CTempDir;
using testsupport::ListFiles;
using testsupport::ReadFileBytes;

namespace {

const char kOk[] = "Export completed successfully.";
const char kPartial[] = "Export was completed. Some items were not exported.";
const char kFailed[] = "Export failed.";

// The names of a folder's files in UTF-8, whatever their script.
std::vector<std::string> ListFilesUtf8(const std::string& folder)
{
    std::vector<std::string> names;
    WIN32_FIND_DATAW fd;
    wchar_t pattern[MAX_PATH] = L"";
    int n = ::MultiByteToWideChar(CP_ACP, 0, folder.c_str(), -1, pattern, MAX_PATH - 2);
    if (n <= 0)
        return names;
    std::wcscat(pattern, L"\\*");
    HANDLE find = ::FindFirstFileW(pattern, &fd);
    if (find == INVALID_HANDLE_VALUE)
        return names;
    do {
        if (!(fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
            names.push_back(common::ToUtf8(fd.cFileName));
    } while (::FindNextFileW(find, &fd));
    ::FindClose(find);
    return names;
}

std::vector<std::string> Sorted(std::vector<std::string> v)
{
    std::sort(v.begin(), v.end());
    return v;
}

// The card of one contact as the writer makes it, in a format and code page.
std::string CardOf(const std::string& id, int format, int codePage = -1)
{
    ULONG type = 0;
    Microsoft::WRL::ComPtr<IMAPIProp> entry;
    EXPECT_EQ(S_OK, g_wabLib.OpenItem(id.c_str(), &type, entry.GetAddressOf()));
    g_charConverter.SetCurrentCodePage(codePage);
    CvCardExport run;
    run.PrepareCards(format);
    run.SetContact(entry.Get());
    run.WriteCard();
    g_charConverter.SetCurrentCodePage(-1);
    return std::string(run.CardText().bytes, static_cast<size_t>(run.CardText().length));
}

// Takes the name the one file of a run is to get while the run writes it: when the progress
// window's count line reads its last count, the last card lies in the ".part" file, and a folder
// of the file's name is made there and then (on the window's thread, while the run waits for it).
// Create it right before the run.
class CNameTaker {
public:
    CNameTaker(const std::string& path, const std::string& lastCount)
        : m_path(path), m_lastCount(lastCount), m_watch([](HWND dialog) {
              HWND count = ::GetDlgItem(dialog, IDC_PROGRESS_COUNT);
              if (count)
                  s_countProc = reinterpret_cast<WNDPROC>(
                      ::SetWindowLongPtrA(count, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(_CountProc)));
          })
    {
        s_self = this;
    }
    ~CNameTaker() { s_self = nullptr; }
    bool Taken() const { return m_taken; }

private:
    static LRESULT CALLBACK _CountProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp)
    {
        CNameTaker* self = s_self;
        if (self && msg == WM_SETTEXT && lp && self->m_lastCount == reinterpret_cast<const char*>(lp))
            self->m_taken = ::CreateDirectoryA(self->m_path.c_str(), nullptr) != FALSE;
        return ::CallWindowProcA(s_countProc, hwnd, msg, wp, lp);
    }

    static CNameTaker* s_self;
    static WNDPROC s_countProc;
    std::string m_path;
    std::string m_lastCount;
    std::atomic<bool> m_taken{false};
    testsupport::CProgressWatch m_watch;
};
CNameTaker* CNameTaker::s_self = nullptr;
WNDPROC CNameTaker::s_countProc = nullptr;

class ExportRun : public ::testing::Test {
protected:
    void SetUp() override
    {
        LoadEncodings();
        ASSERT_TRUE(m_book.ok());
    }

    std::string Contact(const std::wstring& displayName, const std::string& folder = std::string())
    {
        return m_book.AddContact({Prop(kDisplayName, displayName)}, folder);
    }

    int Run(const char* folderId, bool oneFile, const char* format = "2.1", const char* encoding = "",
            const CSelectionList* selection = nullptr, const std::string& target = std::string())
    {
        CBoxWatch boxes;
        CvCardExport run;
        int status = run.Execute((target.empty() ? m_out.path() : target).c_str(), folderId, selection != nullptr,
                                 selection, format, oneFile, encoding);
        m_total = run.Total();
        m_exported = run.Exported();
        m_failed = run.Failed();
        // The run waits for its message box, which the watcher reads before it presses OK.
        m_messages = boxes.Texts();
        return status;
    }

    CScratchBook m_book;
    CTempDir m_out;
    int m_total = 0, m_exported = 0, m_failed = 0;
    std::vector<std::string> m_messages;
};

}  // namespace

TEST_F(ExportRun, TheWriterReadsEveryPropertyOfAContact)
{
    ULONG servers = m_book.ConferencingTag();
    std::string full = m_book.AddContact({
        Prop(kSurname, L"Lee"), Prop(kGivenName, L"Ann"), Prop(kMiddleName, L"Marie"),
        Prop(kDisplayNamePrefix, L"Dr."), Prop(kDisplayName, L"Ann Lee"), Prop(kNickname, L"Annie"),
        Prop(kCompanyName, L"Acme, Inc."), Prop(kDepartmentName, L"Sales"), Prop(kTitle, L"Boss"),
        Prop(kComment, L"line 1\r\nline 2"), Prop(kBusinessTelephoneNumber, L"111"),
        Prop(kBusinessFaxNumber, L"222"), Prop(kHomeTelephoneNumber, L"333"), Prop(kHomeFaxNumber, L"444"),
        Prop(kMobileTelephoneNumber, L"555"), Prop(kPagerTelephoneNumber, L"666"),
        Prop(kOfficeLocation, L"Room 1"), Prop(kBusinessAddressStreet, L"1 Main St"),
        Prop(kBusinessAddressCity, L"Town"), Prop(kBusinessAddressStateOrProvince, L"ST"),
        Prop(kBusinessAddressPostalCode, L"12345"), Prop(kBusinessAddressCountry, L"Land"),
        Prop(kHomeAddressStreet, L"2 Side St"), Prop(kHomeAddressCity, L"Village"),
        Prop(kHomeAddressStateOrProvince, L"HS"), Prop(kHomeAddressPostalCode, L"54321"),
        Prop(kHomeAddressCountry, L"Home"), Prop(kPersonalHomePage, L"http://home.example"),
        Prop(kBusinessHomePage, L"http://work.example"), Prop(kBirthday, FileTime(1975, 3, 14, 22, 30)),
        Prop(kEmailAddress, L""), Prop(kContactEmailAddresses, std::vector<std::wstring>{L"a@x.org", L"b@y.org"}),
        Prop(kContactAddrTypes, std::vector<std::wstring>{L"SMTP", L"SMTP"}),
        Prop::Number(kContactDefaultAddressIndex, 1), Prop(kWeddingAnniversary, FileTime(2000, 6, 1)),
        Prop(servers, std::vector<std::wstring>{L"srv1", L"srv2"}), Prop(kSpouseName, L"Bob"),
        Prop::Number(kGender, 0), Prop(kChildrensNames, std::vector<std::wstring>{L" Tom ", L"Sue"}),
        Prop(kLastModificationTime, FileTime(2024, 12, 31, 23, 59, 58)),
    });
    EXPECT_EQ(Crlf({"BEGIN:VCARD",
                    "VERSION:2.1",
                    "N:Lee;Ann;Marie;Dr.;",
                    "FN:Ann Lee",
                    "NICKNAME:Annie",
                    "ORG:Acme, Inc.;Sales",
                    "TITLE:Boss",
                    "NOTE;ENCODING=QUOTED-PRINTABLE:line 1=0D=0Aline 2",
                    "TEL;WORK:111",
                    "TEL;WORK;FAX:222",
                    "TEL;HOME:333",
                    "TEL;HOME;FAX:444",
                    "TEL;CELL:555",
                    "TEL;PAGER:666",
                    "ADR;WORK:;Room 1;1 Main St;Town;ST;12345;Land",
                    "ADR;HOME:;;2 Side St;Village;HS;54321;Home",
                    "URL;HOME:http://home.example",
                    "URL;WORK:http://work.example",
                    "BDAY:19750314",
                    "EMAIL;PREF;INTERNET:b@y.org",
                    "EMAIL;INTERNET:a@x.org",
                    "X-OUTL-ANNIVERSARY:20000601",
                    "X-OUTL-NMSERVER:srv1",
                    "X-OUTL-NMSERVER:srv2",
                    "X-OUTL-SPOUSE:Bob",
                    "X-OUTL-GENDER:0",
                    "X-OUTL-CHILDREN:Tom,Sue",
                    "REV:20241231T235958Z",
                    "END:VCARD"}),
              CardOf(full, 21));

    // Nothing but a given name: no gender, no dates but the modification time, no e-mail.
    std::string bare = m_book.AddContact({Prop(kGivenName, L"\u0418\u0432\u0430\u043d")});
    EXPECT_EQ(Crlf({"BEGIN:VCARD", "PRODID:-//Brisco Corporation//Quillon 2.1//EN", "VERSION:3.0",
                    "N;CHARSET=windows-1251:;\xC8\xE2\xE0\xED;;;", "FN;CHARSET=windows-1251:\xC8\xE2\xE0\xED",
                    "REV;CHARSET=windows-1251:20240506T070809Z", "END:VCARD"}),
              CardOf(bare, 30, 1251));
}

TEST_F(ExportRun, FilesAreNamedAfterTheContactAndNumbered)
{
    Contact(L"Ann Lee");
    Contact(L"Ann Lee");
    std::string slash = Contact(L"a/b:c");
    Contact(L"Con");
    Contact(L"Tab\there");
    Contact(L"Ann Lee\r\nAcme");
    // Names outside the ANSI code page keep their letters.
    Contact(L"\u0418\u0432\u0430\u043d \u041f\u0435\u0442\u0440\u043e\u0432");
    Contact(L"\u5c71\u7530 \u592a\u90ce");
    Contact(L"\u5c71\u7530 \u592a\u90ce");
    m_book.AddContact({Prop(kGivenName, L"Nobody")});

    EXPECT_EQ(0, Run(m_book.pab().c_str(), false));
    EXPECT_EQ(std::vector<std::string>{kOk}, m_messages);
    EXPECT_EQ(10, m_exported);
    const std::string ivan = "\xD0\x98\xD0\xB2\xD0\xB0\xD0\xBD \xD0\x9F\xD0\xB5\xD1\x82\xD1\x80\xD0\xBE\xD0\xB2";
    const std::string yamada = "\xE5\xB1\xB1\xE7\x94\xB0 \xE5\xA4\xAA\xE9\x83\x8E";
    const std::vector<std::string> first = {"Ann Lee.vcf",        "Ann Lee(1).vcf", "a_b_c.vcf",
                                            "_Con.vcf",           "Tab_here.vcf",   "Ann Lee (Acme).vcf",
                                            ivan + ".vcf",        yamada + ".vcf",  yamada + "(1).vcf",
                                            "Noname.vcf"};
    EXPECT_EQ(Sorted(first), Sorted(ListFilesUtf8(m_out.path())));
    EXPECT_EQ(CardOf(slash, 21), ReadFileBytes(m_out.file("a_b_c.vcf")));
    EXPECT_EQ(Crlf({"BEGIN:VCARD", "VERSION:2.1", "N:;Nobody;;;", "FN:Nobody", "REV:20240506T070809Z",
                    "END:VCARD"}),
              ReadFileBytes(m_out.file("Noname.vcf")));

    // A second run into the same folder never replaces a file.
    EXPECT_EQ(0, Run(m_book.pab().c_str(), false));
    std::vector<std::string> both = first;
    for (const std::string& name : {std::string("Ann Lee(2).vcf"), std::string("Ann Lee(3).vcf"),
                                    std::string("a_b_c(1).vcf"), std::string("_Con(1).vcf"),
                                    std::string("Tab_here(1).vcf"), std::string("Ann Lee (Acme)(1).vcf"),
                                    ivan + "(1).vcf", yamada + "(2).vcf", yamada + "(3).vcf",
                                    std::string("Noname(1).vcf")})
        both.push_back(name);
    EXPECT_EQ(Sorted(both), Sorted(ListFilesUtf8(m_out.path())));
}

TEST_F(ExportRun, NamesTakenByFilesOrFoldersAreSkipped)
{
    std::string ann = Contact(L"Ann");
    ASSERT_TRUE(::CreateDirectoryA(m_out.file("Ann.vcf").c_str(), nullptr));
    ASSERT_TRUE(testsupport::WriteFileBytes(m_out.file("Ann(1).vcf"), "keep"));
    EXPECT_EQ(0, Run(m_book.pab().c_str(), false));
    EXPECT_EQ(std::vector<std::string>{kOk}, m_messages);
    EXPECT_EQ("keep", ReadFileBytes(m_out.file("Ann(1).vcf")));
    EXPECT_EQ(CardOf(ann, 21), ReadFileBytes(m_out.file("Ann(2).vcf")));
}

TEST_F(ExportRun, OneFileModeHoldsTheCardsBackToBack)
{
    std::string friends = m_book.AddFolder(L"Friends");
    std::string a = Contact(L"Ann", m_book.pab());
    std::string b = Contact(L"Bob", friends);
    std::string c = Contact(L"Cid", friends);

    EXPECT_EQ(0, Run(nullptr, true, "3.0"));
    EXPECT_EQ(std::vector<std::string>{kOk}, m_messages);
    EXPECT_EQ(std::vector<std::string>{"AddressBook.vcf"}, ListFiles(m_out.path()));
    std::string all = ReadFileBytes(m_out.file("AddressBook.vcf"));
    EXPECT_EQ(3, m_exported);
    EXPECT_EQ(CardOf(a, 30) + CardOf(b, 30) + CardOf(c, 30), all);

    // What a killed run left does not cost the next runs the plain name, and stays as it is.
    ASSERT_TRUE(testsupport::WriteFileBytes(m_out.file("Friends.vcf.part"), "killed"));
    EXPECT_EQ(0, Run(friends.c_str(), true, "3.0"));
    EXPECT_EQ(0, Run(friends.c_str(), true, "3.0"));
    EXPECT_EQ(CardOf(b, 30) + CardOf(c, 30), ReadFileBytes(m_out.file("Friends.vcf")));
    EXPECT_EQ(CardOf(b, 30) + CardOf(c, 30), ReadFileBytes(m_out.file("Friends(1).vcf")));
    EXPECT_EQ("killed", ReadFileBytes(m_out.file("Friends.vcf.part")));
    EXPECT_EQ(4u, ListFiles(m_out.path()).size());

    // A folder named in another script names its file with the same letters.
    CTempDir other;
    std::string greek = m_book.AddFolder(L"\u03a6\u03af\u03bb\u03bf\u03b9");
    std::string d = Contact(L"Dia", greek);
    EXPECT_EQ(0, Run(greek.c_str(), true, "3.0", "", nullptr, other.path()));
    EXPECT_EQ(std::vector<std::string>{"\xCE\xA6\xCE\xAF\xCE\xBB\xCE\xBF\xCE\xB9.vcf"}, ListFilesUtf8(other.path()));
}

// The one file's name taken while the run writes it: the file keeps its ".part" name, never
// replacing the other, and the closing message and the log say where the cards are.
TEST_F(ExportRun, CardsWhoseFileCannotGetItsNameAreFound)
{
    std::string friends = m_book.AddFolder(L"Friends");
    std::string a = Contact(L"Ann", friends);
    CTempDir logs;
    g_log.InitLog(logs.file("main.err").c_str(), logs.file("main.log").c_str(), 1);
    bool taken = false;
    {
        CNameTaker taker(m_out.file("Friends.vcf"), "1 of 1");
        EXPECT_EQ(-1, Run(friends.c_str(), true));
        taken = taker.Taken();
    }
    g_log.DoneLog();
    ASSERT_TRUE(taken) << "the progress window never counted the last card";
    const std::string part = m_out.file("Friends.vcf.part");
    EXPECT_EQ(std::vector<std::string>{std::string(kFailed) + "\nThe cards written are in " + part + "."}, m_messages);
    EXPECT_EQ(CardOf(a, 21), ReadFileBytes(part));
    std::string log = ReadFileBytes(logs.file("main.err"));
    EXPECT_NE(std::string::npos, log.find("the cards stay in " + part + ": MoveFile to ")) << log;
}

TEST_F(ExportRun, SelectionModeExportsTheListedContactsInListOrder)
{
    std::string a = Contact(L"Ann");
    Contact(L"Bob");
    std::string c = Contact(L"Cid");
    CSelectionList selection = {c, a};
    EXPECT_EQ(0, Run(m_book.pab().c_str(), true, "2.1", "", &selection));
    EXPECT_EQ(std::vector<std::string>{kOk}, m_messages);
    EXPECT_EQ(2, m_total);
    EXPECT_EQ(CardOf(c, 21) + CardOf(a, 21), ReadFileBytes(m_out.file("Contacts.vcf")));
}

TEST_F(ExportRun, TheEncodingChosenNamesTheCharset)
{
    std::string id = Contact(L"\u0418\u0432\u0430\u043d");
    EXPECT_EQ(0, Run(nullptr, true, "2.1", "Cyrillic (Windows)"));
    EXPECT_EQ(Crlf({"BEGIN:VCARD", "VERSION:2.1", "N;CHARSET=windows-1251:;;;;",
                    "FN;CHARSET=windows-1251:\xC8\xE2\xE0\xED", "REV;CHARSET=windows-1251:20240506T070809Z",
                    "END:VCARD"}),
              ReadFileBytes(m_out.file("AddressBook.vcf")));
    // A name the list does not hold: the system's code page, no charset parameter. The letters
    // that code page lacks are lost, and the log says whose and which.
    CTempDir logs;
    g_log.InitLog(logs.file("main.err").c_str(), logs.file("main.log").c_str(), 1);
    EXPECT_EQ(0, Run(nullptr, true, "2.1", "Klingon"));
    g_log.DoneLog();
    EXPECT_EQ(Crlf({"BEGIN:VCARD", "VERSION:2.1", "N:;;;;", "FN:????", "REV:20240506T070809Z", "END:VCARD"}),
              ReadFileBytes(m_out.file("AddressBook(1).vcf")));
    std::string log = ReadFileBytes(logs.file("main.err"));
    EXPECT_NE(std::string::npos,
              log.find("contact \"\xD0\x98\xD0\xB2\xD0\xB0\xD0\xBD\" lost characters missing from code page -1: "
                       "U+0418 U+0432 U+0430 U+043D"))
        << log;
    // A CSV file the same way: no byte-order mark outside UTF-8, the lost letters logged alike.
    CTempDir csvLogs;
    g_log.InitLog(csvLogs.file("main.err").c_str(), csvLogs.file("main.log").c_str(), 1);
    EXPECT_EQ(0, Run(nullptr, false, "CSV", "Klingon"));
    g_log.DoneLog();
    const std::string text = ReadFileBytes(m_out.file("AddressBook.csv"));
    EXPECT_EQ(csv::CCsvWriter::HeaderRow(), text.substr(0, csv::CCsvWriter::HeaderRow().size()));
    EXPECT_NE(std::string::npos, text.find(",????,")) << text;
    log = ReadFileBytes(csvLogs.file("main.err"));
    EXPECT_NE(std::string::npos, log.find("lost characters missing from code page -1: U+0418 U+0432 U+0430 U+043D"))
        << log;
}

// The format's own limits are told as lost characters are: a lone LF in 3.0 and an address
// without the Internet type, named with their contact.
TEST_F(ExportRun, TheLogNamesWhatTheFormatCannotSay)
{
    m_book.AddContact({Prop(kDisplayName, std::wstring(L"Ann")), Prop(kComment, std::wstring(L"one\ntwo")),
                       Prop(kContactEmailAddresses, std::vector<std::wstring>{L"a@x.org", L"b@y.org"}),
                       Prop(kContactAddrTypes, std::vector<std::wstring>{L"SMTP", L"X400"})});
    CTempDir logs;
    g_log.InitLog(logs.file("main.err").c_str(), logs.file("main.log").c_str(), 1);
    EXPECT_EQ(0, Run(nullptr, true, "3.0"));
    g_log.DoneLog();
    std::string log = ReadFileBytes(logs.file("main.err"));
    EXPECT_NE(std::string::npos, log.find("contact \"Ann\": a lone LF or CR in NOTE is written as a vCard 3.0 line "
                                          "break and returns as CR LF")) << log;
    EXPECT_NE(std::string::npos, log.find("contact \"Ann\": e-mail address \"b@y.org\" of address type \"X400\" is "
                                          "written without a type and returns as SMTP")) << log;
    EXPECT_EQ(std::string::npos, log.find("a@x.org")) << log;
}

// The owner Quillon gets is another program's window, which may close during the run: the closing
// message is still shown (Windows shows nothing for a closed owner).
TEST_F(ExportRun, TheClosingMessageOutlivesItsOwner)
{
    Contact(L"Ann");
    HWND gone = ::CreateWindowA("STATIC", "owner", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
    ASSERT_TRUE(gone);
    ::DestroyWindow(gone);
    CBoxWatch boxes;
    CvCardExport run;
    run.SetOwner(gone);
    EXPECT_EQ(0, run.Execute(m_out.path().c_str(), nullptr, false, nullptr, "2.1", true, ""));
    EXPECT_EQ(std::vector<std::string>{kOk}, boxes.Texts());
}

TEST_F(ExportRun, AContactThatCannotBeOpenedStopsTheRun)
{
    std::string first = Contact(L"Ann");
    std::string second = Contact(L"Bob");
    Contact(L"Cid");
    ASSERT_EQ(S_OK, WabStandinInjectFault("OpenEntry", second.c_str(), E_FAIL, 0));
    EXPECT_EQ(E_FAIL, Run(m_book.pab().c_str(), false));
    EXPECT_EQ(std::vector<std::string>{kPartial}, m_messages);
    EXPECT_EQ(1, m_exported);
    EXPECT_EQ(1, m_failed);
    // The third contact was never tried.
    EXPECT_EQ(1u, WabStandinFaultHits("OpenEntry"));
    EXPECT_EQ(std::vector<std::string>{"Ann.vcf"}, ListFiles(m_out.path()));

    // Failing on the first contact writes nothing and says so.
    WabStandinClearFaults();
    CTempDir other;
    ASSERT_EQ(S_OK, WabStandinInjectFault("OpenEntry", first.c_str(), E_FAIL, 0));
    EXPECT_EQ(E_FAIL, Run(m_book.pab().c_str(), true, "2.1", "", nullptr, other.path()));
    EXPECT_EQ(std::vector<std::string>{kFailed}, m_messages);
    EXPECT_TRUE(ListFiles(other.path()).empty());
}

TEST_F(ExportRun, AFileThatCannotBeCreatedStopsTheRun)
{
    Contact(L"Ann");
    Contact(L"Bob");
    EXPECT_EQ(-1, Run(m_book.pab().c_str(), false, "2.1", "", nullptr, m_out.file("missing")));
    EXPECT_EQ(std::vector<std::string>{kFailed}, m_messages);
    EXPECT_EQ(0, m_exported);
    EXPECT_EQ(1, m_failed);
}

TEST_F(ExportRun, NothingToExportShowsNothing)
{
    std::string empty = m_book.AddFolder(L"Empty");
    EXPECT_EQ(0, Run(empty.c_str(), false));
    EXPECT_TRUE(m_messages.empty());
    EXPECT_EQ(0, m_total);
    CSelectionList none;
    EXPECT_EQ(0, Run(nullptr, false, "2.1", "", &none));
    EXPECT_TRUE(m_messages.empty());
    EXPECT_TRUE(ListFiles(m_out.path()).empty());

    // A format other than the two, and a folder that does not exist, end before anything is shown.
    Contact(L"Ann");
    EXPECT_EQ(static_cast<int>(0x80004001), Run(nullptr, false, "4.0"));
    EXPECT_EQ(-1, Run("00000000515753310400000063000000", false));
    EXPECT_TRUE(m_messages.empty());
    EXPECT_TRUE(ListFiles(m_out.path()).empty());
}

TEST_F(ExportRun, CancelAfterTheFirstContactEndsTheRun)
{
    Contact(L"Ann");
    Contact(L"Bob");
    Contact(L"Cid");
    testsupport::CProgressCanceller cancel;
    ASSERT_TRUE(cancel.Created());

    EXPECT_EQ(0, Run(m_book.pab().c_str(), false));
    EXPECT_TRUE(cancel.Pressed()) << "the progress window's Cancel button never read Wait...";
    EXPECT_EQ(std::vector<std::string>{kPartial}, m_messages);
    EXPECT_EQ(3, m_total);
    EXPECT_EQ(1, m_exported);
    EXPECT_EQ(0, m_failed);
    EXPECT_EQ(std::vector<std::string>{"Ann.vcf"}, ListFiles(m_out.path()));
}

TEST(ExportNames, SafeBaseNames)
{
    struct Case {
        const char* name;
        const char* base;
    } cases[] = {
        {"Ann Lee", "Ann Lee"},
        {"a/b:c", "a_b_c"},
        {"\\/:*?\"<>|", "_________"},
        {"Ann Lee\r\nAcme", "Ann Lee (Acme)"},
        {"A\r\nB\r\nC", "A (B (C))"},
        {"x\ry\nz", "x_y_z"},
        {"Tab\there\x1f", "Tab_here_"},
        {"Con", "_Con"},
        {"con.txt", "_con.txt"},
        {"NUL ", "_NUL "},
        {"Aux.b.c", "_Aux.b.c"},
        {"prn", "_prn"},
        {"COM1", "_COM1"},
        {"lpt9", "_lpt9"},
        {"COM0", "COM0"},
        {"CONSOLE", "CONSOLE"},
        {"Connie", "Connie"},
        {"", ""},
        {"caf\xe9", "caf\xe9"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(common::AnsiToWide(c.base), CvCardExport::SafeBaseName(common::AnsiToWide(c.name))) << c.name;
}

TEST_F(ExportRun, AVeryLongNameIsCutToFitThePath)
{
    std::wstring longName(300, L'n');
    Contact(longName);
    Contact(longName);
    EXPECT_EQ(0, Run(m_book.pab().c_str(), false));
    EXPECT_EQ(std::vector<std::string>{kOk}, m_messages);
    std::vector<std::string> files = Sorted(ListFiles(m_out.path()));
    ASSERT_EQ(2u, files.size());
    size_t room = MAX_PATH - 1 - m_out.path().size() - 1;
    EXPECT_EQ(std::string(room - 4, 'n') + ".vcf", files[1]);
    EXPECT_EQ(std::string(room - 7, 'n') + "(1).vcf", files[0]);
}

// Into a drive root the path leaves room for more than one name may hold: the names are cut to
// 255 characters (with the ".part" ending of the one file), and the run goes through.
TEST_F(ExportRun, AVeryLongNameIsCutToFitOneName)
{
    const std::string root = "C:\\";
    const std::string mark = "QuillonTest" + std::to_string(::GetCurrentProcessId()) + "-";
    auto ours = [&] {
        std::vector<std::string> names;
        for (const std::string& name : ListFiles(root))
            if (name.compare(0, mark.size(), mark) == 0)
                names.push_back(name);
        return Sorted(names);
    };
    const std::wstring longName = common::AnsiToWide(mark) + std::wstring(300 - mark.size(), L'n');
    std::string id = Contact(longName);
    std::string folder = m_book.AddFolder(longName);
    std::string inFolder = Contact(L"Ann", folder);
    EXPECT_EQ(0, Run(m_book.pab().c_str(), false, "2.1", "", nullptr, root));
    EXPECT_EQ(std::vector<std::string>{kOk}, m_messages);
    EXPECT_EQ(0, Run(folder.c_str(), true, "2.1", "", nullptr, root));
    EXPECT_EQ(std::vector<std::string>{kOk}, m_messages);
    std::vector<std::string> files = ours();
    const std::string base = common::ToUtf8(longName);
    const std::vector<std::string> expected = {base.substr(0, 243) + ".vcf", base.substr(0, 251) + ".vcf"};
    EXPECT_EQ(expected, files);
    if (files.size() == 2) {
        EXPECT_EQ(CardOf(inFolder, 21), ReadFileBytes(root + files[0]));
        EXPECT_EQ(CardOf(id, 21), ReadFileBytes(root + files[1]));
    }
    for (const std::string& name : files)
        EXPECT_TRUE(::DeleteFileA((root + name).c_str())) << name;
}

// Every name fits both limits, is cut only as far as they demand, and never inside a surrogate pair.
TEST(ExportNames, FittedPathsKeepBothLimits)
{
    const std::wstring emoji = L"\U0001F600";
    const std::wstring bases[] = {L"Ann Lee", L"", std::wstring(250, L'n'), std::wstring(300, L'n'),
                                  std::wstring(250, L'n') + emoji + std::wstring(20, L'x'),
                                  std::wstring(243, L'n') + emoji + std::wstring(20, L'x')};
    const std::wstring folders[] = {L"Q:\\", L"C:\\Users\\Ann\\Documents\\Contacts\\",
                                    L"C:\\" + std::wstring(200, L'f') + L"\\"};
    for (const std::wstring& folder : folders) {
        for (const std::wstring& base : bases) {
            for (int n : {0, 1, 12}) {
                for (bool oneFile : {false, true}) {
                    SCOPED_TRACE(common::ToUtf8(folder) + " " + std::to_string(base.size()) + " " + std::to_string(n) +
                                 (oneFile ? " one file" : ""));
                    std::wstring suffix = n > 0 ? L"(" + std::to_wstring(n) + L")" : L"";
                    std::wstring path = CvCardExport::FittedPath(folder, base, n, oneFile);
                    ASSERT_GE(path.size(), folder.size() + suffix.size() + 4);
                    size_t kept = path.size() - folder.size() - suffix.size() - 4;
                    EXPECT_EQ(folder + base.substr(0, kept) + suffix + L".vcf", path);
                    size_t name = path.size() - folder.size() + (oneFile ? 8 : 0);  // with ".99.part"
                    EXPECT_LE(path.size(), MAX_PATH - 1u);
                    EXPECT_LE(name, 255u);
                    // Cut no further than a limit (or a pair that would straddle it) demands.
                    EXPECT_TRUE(kept == base.size() || path.size() >= MAX_PATH - 2u || name >= 254u) << kept;
                    EXPECT_FALSE(kept > 0 && kept < base.size() && base[kept - 1] >= 0xD800 && base[kept - 1] <= 0xDBFF);
                }
            }
        }
    }
    // A folder that leaves no room for a name gives none.
    EXPECT_EQ(L"", CvCardExport::FittedPath(L"C:\\" + std::wstring(260, L'f') + L"\\", L"Ann", 0, false));
}

// A card names the groups its contact is in, in the groups' order, for a selection too (whose
// contacts may lie in any folder); an empty group and the addresses a group keeps only in itself
// are in no card, and the log names them.
TEST_F(ExportRun, CardsNameTheirGroupsAndTheLogWhatNoCardCarries)
{
    std::string ann = Contact(L"Ann");
    std::string bob = Contact(L"Bob", m_book.AddFolder(L"Elsewhere"));
    m_book.AddGroup(m_book.pab(), L"Team, \"A\"", {bob, ann});
    m_book.AddGroup(m_book.pab(), L"Empty", {});
    // An address kept only in the group, as the address book makes one.
    ULONG size = 0;
    LPENTRYID made = nullptr;
    ASSERT_EQ(S_OK, g_wabLib.AddrBook()->CreateOneOff(reinterpret_cast<LPTSTR>(const_cast<wchar_t*>(L"Cy")),
                                                      reinterpret_cast<LPTSTR>(const_cast<wchar_t*>(L"SMTP")),
                                                      reinterpret_cast<LPTSTR>(const_cast<wchar_t*>(L"cy@x.org")),
                                                      MAPI_UNICODE, &size, &made));
    std::string oneOff(reinterpret_cast<const char*>(made), size);
    (void)g_wabLib.FreeBuffer(made);
    SBinary entry = {static_cast<ULONG>(oneOff.size()), reinterpret_cast<LPBYTE>(&oneOff[0])};
    SPropValue oneOffs = {};
    oneOffs.ulPropTag = kPrWabDlOneOffs;
    oneOffs.Value.MVbin = {1, &entry};
    char id[WABSTANDIN_ID_TEXT_SIZE] = "";
    const LPCSTR members[] = {ann.c_str()};
    ASSERT_EQ(S_OK, WabStandinAddGroup(m_book.path().c_str(), m_book.pab().c_str(), L"Club", 1, members, 1, &oneOffs, id,
                                       sizeof id));
    CSelectionList selection = {bob, ann};
    CTempDir logs;
    g_log.InitLog(logs.file("main.err").c_str(), logs.file("main.log").c_str(), 1);
    EXPECT_EQ(0, Run(m_book.pab().c_str(), true, "3.0", "", &selection));
    g_log.DoneLog();
    std::string cards = ReadFileBytes(m_out.file("Contacts.vcf"));
    const size_t annAt = cards.find("FN:Ann");
    EXPECT_LT(cards.find("CATEGORIES:Team\\, \"A\"\r\n"), annAt) << cards;
    EXPECT_NE(std::string::npos, cards.find("CATEGORIES:Team\\, \"A\",Club\r\n", annAt)) << cards;
    std::string log = ReadFileBytes(logs.file("main.err"));
    EXPECT_NE(std::string::npos, log.find("group \"Empty\" has no member: no card carries it")) << log;
    EXPECT_NE(std::string::npos, log.find("group \"Club\": 1 addresses kept only in the group are in no card: Cy <cy@x.org>"))
        << log;
}
