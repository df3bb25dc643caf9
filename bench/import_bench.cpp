// Cost of the import: 10,000 varied cards into an empty folder of the stand-in address book, then
// the same files again (every card a duplicate) in each conflict mode, each against the first.
//   import_bench.exe [CARDS]
// Runs under Wine with a display (the run shows its progress window and summary, which a watcher
// thread answers). Prints one line per figure.
#include <windows.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "bench/benchsupport.h"
#include "common/text.h"
#include "contact/CharConverter.h"
#include "standins/wab32/wabstandin.h"
#include "vcard/import/vCardImport.h"
#include "wab/WABLib.h"

namespace {

using Clock = std::chrono::steady_clock;

double Seconds(Clock::time_point from)
{
    return std::chrono::duration<double>(Clock::now() - from).count();
}

// A varied card: 2.1 or 3.0, names, company, phones, e-mail addresses, an address, a note.
std::string Card(int i)
{
    std::string n = std::to_string(i);
    bool v3 = i % 2 == 0;
    std::string card = "BEGIN:VCARD\r\nVERSION:" + std::string(v3 ? "3.0" : "2.1") + "\r\n";
    card += "N:Surname" + n + ";Given" + n + ";;;\r\nFN:Given" + n + " Surname" + n + "\r\n";
    card += "ORG:Company " + std::to_string(i % 97) + ";Dept " + std::to_string(i % 7) + "\r\n";
    card += v3 ? "TEL;TYPE=WORK,VOICE:+1 555 " + n + "\r\n" : "TEL;WORK;VOICE:+1 555 " + n + "\r\n";
    card += v3 ? "TEL;TYPE=CELL:+1 777 " + n + "\r\n" : "TEL;CELL:+1 777 " + n + "\r\n";
    card += "EMAIL;TYPE=INTERNET:given" + n + "@example.com\r\n";
    if (i % 3 == 0)
        card += "EMAIL;TYPE=INTERNET:other" + n + "@example.org\r\n";
    card += "ADR;TYPE=WORK:;;" + n + " Main Street;Springfield;IL;62701;USA\r\n";
    if (i % 5 == 0)
        card += "NOTE;ENCODING=QUOTED-PRINTABLE:First line " + n + "=0D=0ASecond line\r\n";
    card += "END:VCARD\r\n";
    return card;
}

}  // namespace

int main(int argc, char** argv)
{
    std::setvbuf(stdout, nullptr, _IONBF, 0);
    const int count = argc > 1 ? std::atoi(argv[1]) : 10000;
    char tmp[MAX_PATH] = "";
    ::GetTempPathA(MAX_PATH, tmp);
    std::string work = common::Format("%squillon-import-bench-%lu", tmp, ::GetCurrentProcessId());
    std::string cards = work + "\\cards";
    ::CreateDirectoryA(work.c_str(), nullptr);
    ::CreateDirectoryA(cards.c_str(), nullptr);
    // A hundred files of a hundred cards, as an export of one file per contact would not be: the
    // run's cost per card, not the file system's per file, is what is measured here.
    for (int f = 0; f * 100 < count; ++f) {
        std::string text;
        for (int i = f * 100; i < count && i < (f + 1) * 100; ++i)
            text += Card(i);
        FILE* out = std::fopen(common::Format("%s\\part%03d.vcf", cards.c_str(), f).c_str(), "wb");
        if (!out || std::fwrite(text.data(), 1, text.size(), out) != text.size()) {
            std::printf("cannot write the cards\n");
            return 1;
        }
        std::fclose(out);
    }
    std::string encodings = common::FolderOf(common::ModuleFileName(nullptr)) + "\\supportedEncodings.txt";
    g_charConverter.LoadFrom(encodings.c_str(), nullptr);
    std::string store = work + "\\bench.wab";
    char pab[WABSTANDIN_ID_TEXT_SIZE] = "";
    if (FAILED(WabStandinCreateStore(store.c_str(), nullptr)) ||
        FAILED(WabStandinGetPab(store.c_str(), pab, sizeof pab)) || !g_wabLib.Init(false, store.c_str(), false)) {
        std::printf("cannot create or open the store\n");
        return 1;
    }
    bench::CBoxAnswer answer;

    auto runOnce = [&](int mode, const char* what) {
        CvCardImport run;
        auto t = Clock::now();
        run.RunImport(cards.c_str(), pab, mode);
        double s = Seconds(t);
        std::printf("%-44s %6.2f s, %7.1f us/card (total %d, imported %d, failed %d)\n", what, s, s * 1e6 / count,
                    run.Total(), run.Imported(), run.Failed());
        return s;
    };
    double first = runOnce(CvCardImport::kDuplicate, "first import into an empty folder:");
    const struct {
        int mode;
        const char* what;
    } again[] = {{CvCardImport::kDuplicate, "again, \"Duplicate contacts\":"},
                 {CvCardImport::kReplace, "again, \"Replace existing contacts\":"},
                 {CvCardImport::kLeaveOld, "again, \"Leave old contacts\":"}};
    for (const auto& a : again) {
        double s = runOnce(a.mode, a.what);
        std::printf("%-44s %.2fx the first (target: at most 3x)\n", "", s / first);
    }
    g_wabLib.Close();
    return 0;
}
