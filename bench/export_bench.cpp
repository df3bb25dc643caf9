// Cost of the export: 10,000 typical contacts from the stand-in address book, written one file per
// contact and all into one file, each next to the floor (plain CreateFile/WriteFile/CloseHandle
// writing the same bytes), and the writer alone in cards per second.
//   export_bench.exe [CONTACTS] [onefile]
// With "onefile" the run of one file per contact and its floor are left out: under Wine every new
// file name is looked for through the whole folder, so at 100,000 contacts that run and its floor
// would take about an hour each, measuring Wine's file system rather than the export.
// Runs under Wine with a display (the run shows its progress window and closing message, which a
// hook on the running thread answers). Prints one line per figure.
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "bench/benchsupport.h"
#include "common/text.h"
#include "contact/CharConverter.h"
#include "contact/Contact.h"
#include "contact/ContactFields.h"
#include "standins/wab32/wabstandin.h"
#include "vcard/export/vCardExport.h"
#include "wab/WABLib.h"

namespace {

using namespace contact_tags;
using bench::Clock;
using bench::Seconds;

std::string TempFolder(const char* name)
{
    char temp[MAX_PATH] = {};
    ::GetTempPathA(sizeof(temp), temp);
    std::string path = std::string(temp) + name + std::to_string(::GetCurrentProcessId());
    bench::RemoveTree(path);
    ::CreateDirectoryA(path.c_str(), nullptr);
    return path;
}

std::vector<std::string> ListNames(const std::string& folder)
{
    std::vector<std::string> names;
    WIN32_FIND_DATAA fd;
    HANDLE find = ::FindFirstFileA((folder + "\\*.vcf").c_str(), &fd);
    if (find != INVALID_HANDLE_VALUE) {
        do
            names.push_back(fd.cFileName);
        while (::FindNextFileA(find, &fd));
        ::FindClose(find);
    }
    return names;
}

std::string ReadAll(const std::string& path)
{
    std::string bytes;
    bench::AppendFile(path, &bytes);
    return bytes;
}

// A typical contact: names, company, two telephones, an e-mail address, a work address, a note.
std::vector<std::wstring> g_texts;
HRESULT AddTypical(const std::string& store, int i, char* id)
{
    std::wstring n = std::to_wstring(i);
    std::vector<std::pair<ULONG, std::wstring>> texts = {
        {kGivenName, L"Given" + n},
        {kSurname, L"Family" + n},
        {kDisplayName, L"Given" + n + L" Family" + n},
        {kCompanyName, L"Company " + n + L", Ltd."},
        {kTitle, L"Engineer"},
        {kBusinessTelephoneNumber, L"+1 555 01" + n},
        {kMobileTelephoneNumber, L"+1 555 02" + n},
        {kEmailAddress, L"given" + n + L"@example.com"},
        {kAddrType, L"SMTP"},
        {kBusinessAddressStreet, n + L" Main Street"},
        {kBusinessAddressCity, L"Springfield"},
        {kBusinessAddressPostalCode, L"12345"},
        {kBusinessAddressCountry, L"Utopia"},
        {kComment, L"Met at the trade fair; call back about the offer for the new season."},
    };
    std::vector<SPropValue> values;
    for (const auto& t : texts) {
        SPropValue v = {};
        v.ulPropTag = t.first;
        v.Value.lpszW = const_cast<LPWSTR>(t.second.c_str());
        values.push_back(v);
    }
    return WabStandinAddContact(store.c_str(), nullptr, static_cast<ULONG>(values.size()), values.data(), id,
                                WABSTANDIN_ID_TEXT_SIZE);
}

}  // namespace

int main(int argc, char** argv)
{
    std::setvbuf(stdout, nullptr, _IONBF, 0);
    const int count = argc > 1 ? std::atoi(argv[1]) : 10000;
    const bool perContact = !(argc > 2 && std::string(argv[2]) == "onefile");
    std::string work = TempFolder("qexb");
    std::string store = work + "\\bench.wab";
    std::string encodings = common::FolderOf(common::ModuleFileName(nullptr)) + "\\supportedEncodings.txt";
    g_charConverter.LoadFrom(encodings.c_str(), nullptr);
    if (FAILED(WabStandinCreateStore(store.c_str(), nullptr))) {
        std::printf("cannot create the store\n");
        return 1;
    }
    if (!g_wabLib.Init(false, store.c_str(), false)) {
        std::printf("cannot open the store\n");
        return 1;
    }
    auto t0 = Clock::now();
    std::vector<std::string> ids;
    for (int i = 0; i < count; ++i) {
        char id[WABSTANDIN_ID_TEXT_SIZE] = {};
        if (FAILED(AddTypical(store, i, id))) {
            std::printf("cannot add contact %d\n", i);
            return 1;
        }
        ids.push_back(id);
    }
    std::printf("store of %d contacts built in %.1f s\n", count, Seconds(t0));
    bench::CBoxAnswer answer;
    if (!answer.IsActive()) {
        std::printf("cannot hook the closing messages\n");
        return 1;
    }

    // The writer alone: cards of already opened contacts, UTF-8, vCard 2.1.
    {
        // Opening each contact and letting it go, as a run does.
        auto opened = Clock::now();
        for (const std::string& id : ids) {
            Microsoft::WRL::ComPtr<IMAPIProp> entry;
            ULONG type = 0;
            if (FAILED(g_wabLib.OpenItem(id.c_str(), &type, entry.GetAddressOf()))) {
                std::printf("cannot open contact %s\n", id.c_str());
                return 1;
            }
        }
        std::printf("OpenItem through the stand-in: %.2f us/contact\n", Seconds(opened) * 1e6 / count);
        std::vector<Microsoft::WRL::ComPtr<IMAPIProp>> entries(ids.size());
        for (size_t i = 0; i < ids.size(); ++i) {
            ULONG type = 0;
            if (FAILED(g_wabLib.OpenItem(ids[i].c_str(), &type, entries[i].GetAddressOf()))) {
                std::printf("cannot open contact %s\n", ids[i].c_str());
                return 1;
            }
        }
        g_charConverter.SetCurrentCodePage(65001);
        CvCardExport run;
        run.PrepareCards(21);
        long long bytes = 0;
        auto t = Clock::now();
        for (auto& e : entries) {
            run.SetContact(e.Get());
            run.WriteCard();
            bytes += run.CardText().length;
        }
        double s = Seconds(t);
        std::printf("WriteCard (reads through the stand-in + layout): %.0f cards/s (%.2f us/card, %lld bytes)\n",
                    count / s, s * 1e6 / count, bytes);

        // The layout alone, from fields read once.
        CContact contact(entries[0].Get());
        CContactRecord fields;
        contact_fields::ReadContact(contact, &fields);
        vcard::CCardWriter writer(21, true, "UTF-8", 2, 1, CvCardExport::Encoder());
        CardBuffer buffer;
        const int rounds = 200000;
        t = Clock::now();
        for (int i = 0; i < rounds; ++i)
            writer.Write(fields, &buffer);
        s = Seconds(t);
        std::printf("card layout alone: %.0f cards/s (%.2f us/card)\n", rounds / s, s * 1e6 / rounds);
    }

    // A run's fixed cost (its progress window and closing message; under Wine without a window
    // manager each window's end waits about two seconds) is taken from runs of one contact and
    // subtracted.
    auto runExport = [&](bool oneFile, const CSelectionList* selection, const std::string& target) {
        CvCardExport run;
        auto t = Clock::now();
        run.Execute(target.c_str(), nullptr, selection != nullptr, selection, "2.1", oneFile, "Unicode (UTF-8)");
        double s = Seconds(t);
        int expected = selection ? static_cast<int>(selection->size()) : count;
        if (run.Exported() != expected)
            std::printf("  (only %d of %d exported)\n", run.Exported(), run.Total());
        return s;
    };
    CSelectionList one = {ids[0]};
    double fixed[2] = {0, 0};
    for (int mode = 0; mode < 2; ++mode) {
        double best = 1e9;
        for (int k = 0; k < 3; ++k) {
            std::string folder = TempFolder("qexf");
            best = std::min(best, runExport(mode == 1, &one, folder));
            bench::RemoveTree(folder);
        }
        fixed[mode] = best;
    }
    std::printf("fixed cost of a run: %.2f s one file per contact, %.2f s one file\n", fixed[0], fixed[1]);

    for (bool oneFile : {false, true}) {
        if (!oneFile && !perContact) {
            std::printf("one file per contact: not run (onefile)\n");
            continue;
        }
        // The one-file run lasts a fraction of a second, so a busy moment of the machine weighs on
        // it: it is taken as the best of three.
        const int rounds = oneFile ? 3 : 1;
        double whole = 1e9;
        std::vector<std::string> names;
        std::vector<std::string> contents;
        for (int round = 0; round < rounds; ++round) {
            std::string target = TempFolder(oneFile ? "qexo" : "qexp");
            whole = std::min(whole, runExport(oneFile, nullptr, target));
            names = ListNames(target);
            contents.clear();
            for (const std::string& name : names)
                contents.push_back(ReadAll(target + "\\" + name));
            bench::RemoveTree(target);
        }
        double s = whole - fixed[oneFile ? 1 : 0];
        if (names.empty()) {
            std::printf("%s: nothing was written\n", oneFile ? "one file" : "one file per contact");
            continue;
        }

        // The floor: the same bytes under the same names, written with nothing else around them
        // (best of as many rounds as the run had).
        double floor = 1e9;
        for (int round = 0; round < rounds; ++round) {
            std::string floorFolder = TempFolder("qexz");
            auto t = Clock::now();
            if (oneFile) {
                // The cards of the one file, written card by card as the run does.
                std::string all = contents.empty() ? std::string() : contents[0];
                HANDLE h = ::CreateFileA((floorFolder + "\\" + names[0]).c_str(), GENERIC_WRITE, FILE_SHARE_WRITE,
                                         nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
                size_t cardSize = count ? all.size() / static_cast<size_t>(count) : all.size();
                for (size_t at = 0; at < all.size(); at += cardSize) {
                    DWORD written = 0;
                    DWORD n = static_cast<DWORD>(std::min(cardSize, all.size() - at));
                    ::WriteFile(h, all.data() + at, n, &written, nullptr);
                }
                ::CloseHandle(h);
            } else {
                for (size_t i = 0; i < names.size(); ++i) {
                    HANDLE h = ::CreateFileA((floorFolder + "\\" + names[i]).c_str(), GENERIC_WRITE, FILE_SHARE_WRITE,
                                             nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
                    DWORD written = 0;
                    ::WriteFile(h, contents[i].data(), static_cast<DWORD>(contents[i].size()), &written, nullptr);
                    ::CloseHandle(h);
                }
            }
            floor = std::min(floor, Seconds(t));
            bench::RemoveTree(floorFolder);
        }
        std::printf("%s: whole run %.2f s; %.1f us/contact without the fixed cost, floor %.1f us/contact, "
                    "ratio %.2f\n",
                    oneFile ? "one file" : "one file per contact", whole, s * 1e6 / count, floor * 1e6 / count,
                    s / floor);
    }

    // The same book in 50 groups (each contact in one, every tenth in a second): what reading the
    // groups and writing CATEGORIES add to the one-file run.
    {
        std::vector<std::vector<LPCSTR>> members(50);
        for (int i = 0; i < count; ++i) {
            members[static_cast<size_t>(i % 50)].push_back(ids[static_cast<size_t>(i)].c_str());
            if (i % 10 == 0)
                members[static_cast<size_t>((i / 10) % 50)].push_back(ids[static_cast<size_t>(i)].c_str());
        }
        for (size_t g = 0; g < members.size(); ++g) {
            char id[WABSTANDIN_ID_TEXT_SIZE] = {};
            std::wstring name = L"Group " + std::to_wstring(g);
            if (FAILED(WabStandinAddGroup(store.c_str(), "", name.c_str(), static_cast<ULONG>(members[g].size()),
                                          members[g].data(), 0, nullptr, id, sizeof id))) {
                std::printf("cannot add group %zu\n", g);
                return 1;
            }
        }
        g_wabLib.Close();
        if (!g_wabLib.Init(false, store.c_str(), false)) {
            std::printf("cannot open the store again\n");
            return 1;
        }
        double whole = 1e9;
        for (int round = 0; round < 3; ++round) {
            std::string target = TempFolder("qexg");
            whole = std::min(whole, runExport(true, nullptr, target));
            bench::RemoveTree(target);
        }
        std::printf("one file, the book in 50 groups: whole run %.2f s; %.1f us/contact without the fixed cost\n",
                    whole, (whole - fixed[1]) * 1e6 / count);
    }

    g_wabLib.Close();
    bench::RemoveTree(work);
    return 0;
}
