// Cost of CSV beside vCard, on the same contacts (10,000 by default):
//   - the import run reading them from one CSV file, and from vCard files of a hundred cards
//     (each into an empty folder of the stand-in address book), per contact; and the two readers
//     alone over the same texts, without the address book;
//   - the export run writing them to one CSV file, beside a plain write of the same bytes (row by
//     row, as the run writes them, and in one call), and beside the address book's share: opening
//     and reading each contact.
//   csv_bench.exe [CONTACTS]
// Runs under Wine with a display (the runs show their progress windows and closing messages,
// which a hook on the running thread answers). Prints one line per figure.
#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "bench/benchsupport.h"
#include "codec/csv/CsvText.h"
#include "common/text.h"
#include "contact/CharConverter.h"
#include "contact/Contact.h"
#include "contact/ContactFields.h"
#include "standins/wab32/wabstandin.h"
#include "vcard/export/vCardExport.h"
#include "vcard/import/vCardImport.h"
#include "wab/WABLib.h"

namespace {

using bench::Clock;
using bench::CpuSeconds;
using bench::Seconds;

// A varied contact: names, company, phones, e-mail addresses, an address, sometimes a note.
CContactRecord Contact(int i)
{
    CContactRecord r;
    std::wstring n = std::to_wstring(i);
    r.givenName = L"Given" + n;
    r.surname = L"Surname" + n;
    r.displayName = r.givenName + L" " + r.surname;
    r.company = L"Company " + std::to_wstring(i % 97);
    r.department = L"Dept " + std::to_wstring(i % 7);
    r.businessPhone = L"+1 555 " + n;
    r.mobilePhone = L"+1 777 " + n;
    r.emails = {L"given" + n + L"@example.com"};
    if (i % 3 == 0)
        r.emails.push_back(L"other" + n + L"@example.org");
    r.emailTypes.assign(r.emails.size(), L"SMTP");
    r.defaultAddressIndex = 0;
    r.emailAddress = r.emails[0];
    r.addrType = L"SMTP";
    r.business[CContactRecord::kStreet] = n + L" Main Street";
    r.business[CContactRecord::kLocality] = L"Springfield";
    r.business[CContactRecord::kRegion] = L"IL";
    r.business[CContactRecord::kPostalCode] = L"62701";
    r.business[CContactRecord::kCountry] = L"USA";
    if (i % 5 == 0)
        r.comment = L"First line " + n + L"\r\nSecond line";
    return r;
}

bool WriteBytes(const std::string& path, const std::string& bytes)
{
    FILE* out = std::fopen(path.c_str(), "wb");
    bool ok = out && std::fwrite(bytes.data(), 1, bytes.size(), out) == bytes.size();
    if (out)
        std::fclose(out);
    return ok;
}

struct CRun {
    double wall, cpu;
    int imported;
};

// One import run of a folder into the personal address book of a fresh store.
CRun Import(const std::string& folder, const std::string& store)
{
    char pab[WABSTANDIN_ID_TEXT_SIZE] = "";
    g_wabLib.Close();
    if (FAILED(WabStandinCreateStore(store.c_str(), nullptr)) ||
        FAILED(WabStandinGetPab(store.c_str(), pab, sizeof pab)) ||
        !g_wabLib.Init(false, store.c_str(), false))
        return {-1, -1, 0};
    auto t = Clock::now();
    double cpu = CpuSeconds();
    CvCardImport run;
    run.RunImport(folder.c_str(), pab, CvCardImport::kDuplicate);
    return {Seconds(t), CpuSeconds() - cpu, run.Imported()};
}

}  // namespace

int main(int argc, char** argv)
{
    std::setvbuf(stdout, nullptr, _IONBF, 0);
    const int count = argc > 1 ? std::atoi(argv[1]) : 10000;
    char tmp[MAX_PATH] = "";
    ::GetTempPathA(MAX_PATH, tmp);
    const std::string work = common::Format("%squillon-csv-bench-%lu", tmp, ::GetCurrentProcessId());
    bench::RemoveTree(work);
    const std::string csvFolder = work + "\\csv", vcfFolder = work + "\\vcf", out = work + "\\out";
    for (const std::string& f : {work, csvFolder, vcfFolder, out})
        ::CreateDirectoryA(f.c_str(), nullptr);
    g_charConverter.LoadFrom((common::FolderOf(common::ModuleFileName(nullptr)) + "\\supportedEncodings.txt").c_str(),
                             nullptr);
    g_charConverter.SetCurrentCodePage(CP_UTF8);
    bench::CBoxAnswer answer;
    if (!answer.IsActive()) {
        std::printf("cannot hook the closing messages\n");
        return 1;
    }

    // The same contacts, by the two writers.
    const vcard::ITextEncoder& encoder = CvCardExport::Encoder();
    csv::CCsvWriter csvWriter(encoder);
    vcard::CCardWriter cardWriter(vcard::kVCard30, true, "UTF-8", 1, 0, encoder);
    std::string csvText = "\xEF\xBB\xBF" + csv::CCsvWriter::HeaderRow(), row, cards;
    CardBuffer card;
    for (int i = 0; i < count; ++i) {
        CContactRecord r = Contact(i);
        csvWriter.Write(r, &row);
        csvText += row;
        cardWriter.Write(r, &card);
        cards.append(card.bytes, static_cast<size_t>(card.length));
        if ((i + 1) % 100 == 0 || i + 1 == count) {
            if (!WriteBytes(common::Format("%s\\part%04d.vcf", vcfFolder.c_str(), i / 100), cards))
                return 1;
            cards.clear();
        }
    }
    if (!WriteBytes(csvFolder + "\\contacts.csv", csvText))
        return 1;
    std::printf("%d contacts: CSV %.1f MB in one file, vCard 3.0 in files of 100\n", count, csvText.size() / 1048576.0);
    // The two writers alone, on the same records in memory.
    {
        std::vector<CContactRecord> records;
        for (int i = 0; i < count; ++i)
            records.push_back(Contact(i));
        auto w = Clock::now();
        for (const CContactRecord& r : records)
            csvWriter.Write(r, &row);
        const double csvWall = Seconds(w);
        w = Clock::now();
        for (const CContactRecord& r : records)
            cardWriter.Write(r, &card);
        const double cardWall = Seconds(w);
        std::printf("%-40s %7.3f s, %6.1f us/contact; vCard 3.0 writer alone %6.1f us/contact\n", "CSV writer alone:",
                    csvWall, csvWall * 1e6 / count, cardWall * 1e6 / count);
    }

    // The readers alone, on texts in memory.
    {
        CvCardImport reader;
        std::string vcf;
        for (int f = 0; f * 100 < count; ++f) {
            bench::AppendFile(common::Format("%s\\part%04d.vcf", vcfFolder.c_str(), f), &vcf);
        }
        for (int format : {CvCardImport::kVCardFile, CvCardImport::kCsvFile}) {
            const std::string& text = format == CvCardImport::kCsvFile ? csvText : vcf;
            auto t = Clock::now();
            double cpu = CpuSeconds();
            reader.LoadText(text.data(), text.size(), format);
            int read = 0;
            reader.ReadCards([&] { return ++read, 0; });
            double wall = Seconds(t);
            std::printf("%-40s %7.3f s, %6.1f us/contact, CPU %6.1f us/contact (%d read)\n",
                        format == CvCardImport::kCsvFile ? "CSV reader alone:" : "vCard reader alone:", wall,
                        wall * 1e6 / count, (CpuSeconds() - cpu) * 1e6 / count, read);
            reader.FreeFileText();
        }
    }

    // A first run of a few contacts loads what every later run finds loaded (dialog classes,
    // fonts, code pages).
    const std::string warm = work + "\\warm";
    ::CreateDirectoryA(warm.c_str(), nullptr);
    WriteBytes(warm + "\\few.csv", "First Name\r\nAnn\r\nBen\r\n");
    Import(warm, work + "\\warm.wab");

    const CRun vcfRun = Import(vcfFolder, work + "\\vcf.wab");
    const CRun csvRun = Import(csvFolder, work + "\\csv.wab");
    if (vcfRun.wall < 0 || csvRun.wall < 0) {
        std::printf("cannot create or open a store\n");
        return 1;
    }
    std::printf("%-40s %7.2f s, %6.1f us/contact, CPU %6.1f us/contact (imported %d)\n", "import from vCard files:",
                vcfRun.wall, vcfRun.wall * 1e6 / count, vcfRun.cpu * 1e6 / count, vcfRun.imported);
    std::printf("%-40s %7.2f s, %6.1f us/contact, CPU %6.1f us/contact (imported %d); %.2fx vCard, CPU %.2fx\n",
                "import from one CSV file:", csvRun.wall, csvRun.wall * 1e6 / count, csvRun.cpu * 1e6 / count,
                csvRun.imported, csvRun.wall / vcfRun.wall, csvRun.cpu / vcfRun.cpu);

    // The export of the store the CSV import filled, to one CSV file.
    char pab[WABSTANDIN_ID_TEXT_SIZE] = "";
    WabStandinGetPab((work + "\\csv.wab").c_str(), pab, sizeof pab);
    auto t = Clock::now();
    double cpu = CpuSeconds();
    CvCardExport exportRun;
    int status = exportRun.Execute(out.c_str(), pab, false, nullptr, "CSV", true, "Unicode (UTF-8)");
    const double exportWall = Seconds(t), exportCpu = CpuSeconds() - cpu;
    // The run names the file after the folder: the only CSV file of the folder so far.
    std::string written;
    WIN32_FIND_DATAA found;
    HANDLE find = ::FindFirstFileA((out + "\\*.csv").c_str(), &found);
    if (find != INVALID_HANDLE_VALUE) {
        ::FindClose(find);
        bench::AppendFile(out + "\\" + found.cFileName, &written);
    }
    std::printf("%-40s %7.2f s, %6.1f us/contact, CPU %6.1f us/contact (status %d, exported %d, %.1f MB)\n",
                "export to one CSV file:", exportWall, exportWall * 1e6 / count, exportCpu * 1e6 / count, status,
                exportRun.Exported(), written.size() / 1048576.0);
    // The same contacts to one vCard 3.0 file, for the share of the address book's reading.
    {
        const std::string cardsOut = work + "\\out-vcf";
        ::CreateDirectoryA(cardsOut.c_str(), nullptr);
        auto c = Clock::now();
        CvCardExport cardRun;
        cardRun.Execute(cardsOut.c_str(), pab, false, nullptr, "3.0", true, "Unicode (UTF-8)");
        double wall = Seconds(c);
        std::printf("%-40s %7.2f s, %6.1f us/contact; the CSV export is %.2fx it\n", "export to one vCard 3.0 file:",
                    wall, wall * 1e6 / count, exportWall / wall);
    }
    // What no export can go below: opening each contact and reading every field of the record
    // from the address book, with nothing written.
    double readWall = 0;
    std::string firstId;
    {
        CItemList items;
        auto r = Clock::now();
        double c = CpuSeconds();
        int read = 0;
        if (SUCCEEDED(g_wabLib.GetItems(pab, false, items.put())) && items) {
            CContactRecord record;
            ULONG servers = 0;
            firstId = items->count ? items->items[0].id : "";
            for (ULONG i = 0; i < items->count; ++i) {
                Microsoft::WRL::ComPtr<IMAPIProp> item;
                ULONG type = 0;
                if (FAILED(g_wabLib.OpenItem(items->items[i].id, &type, item.GetAddressOf())))
                    continue;
                CContact contact(item.Get());
                contact_fields::ReadContact(contact, &record, &servers);
                ++read;
            }
        }
        readWall = Seconds(r);
        std::printf("%-40s %7.3f s, %6.1f us/contact, CPU %6.1f us/contact (%d read); the export is %.1fx it\n",
                    "reading the contacts alone:", readWall, readWall * 1e6 / count, (CpuSeconds() - c) * 1e6 / count,
                    read, exportWall / readWall);
    }
    // A run's fixed cost (the progress window, the closing message), from runs of one contact,
    // the best of three: what the run costs a contact is the rest.
    double fixed = 1e9;
    for (int k = 0; k < 3 && !firstId.empty(); ++k) {
        const std::string one = common::Format("%s\\one-%d", work.c_str(), k);
        ::CreateDirectoryA(one.c_str(), nullptr);
        const CSelectionList selection = {firstId};
        auto f = Clock::now();
        CvCardExport oneRun;
        oneRun.Execute(one.c_str(), nullptr, true, &selection, "CSV", true, "Unicode (UTF-8)");
        fixed = std::min(fixed, Seconds(f));
    }
    const double perContact = exportWall - fixed;
    std::printf("%-40s %7.3f s; the export %.1f us/contact without it\n", "fixed cost of a run:", fixed,
                perContact * 1e6 / count);
    // The same bytes written plainly: row by row (a WriteFile a contact, as the run does), and in
    // one call.
    for (bool rows : {true, false}) {
        const std::string path = out + (rows ? "\\plain-rows.csv" : "\\plain-once.csv");
        auto w = Clock::now();
        double c = CpuSeconds();
        HANDLE file =
            ::CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        size_t at = 0;
        while (file != INVALID_HANDLE_VALUE && at < written.size()) {
            size_t end = rows ? written.find("\r\n", at) : std::string::npos;
            end = end == std::string::npos ? written.size() : end + 2;
            DWORD done = 0;
            if (!::WriteFile(file, written.data() + at, static_cast<DWORD>(end - at), &done, nullptr))
                break;
            at = end;
        }
        if (file != INVALID_HANDLE_VALUE)
            ::CloseHandle(file);
        double wall = Seconds(w);
        // Against the floor and against the floor with the reading, whole runs and per contact.
        std::printf("%-40s %7.3f s, %6.1f us/contact, CPU %6.1f us/contact; the export is %.1fx it, %.2fx it with "
                    "the reading; per contact %.1fx and %.2fx\n",
                    rows ? "plain write of the bytes, row by row:" : "plain write of the bytes, in one call:", wall,
                    wall * 1e6 / count, (CpuSeconds() - c) * 1e6 / count, exportWall / wall,
                    exportWall / (wall + readWall), perContact / wall, perContact / (wall + readWall));
    }
    g_wabLib.Close();
    bench::RemoveTree(work);
    return 0;
}
