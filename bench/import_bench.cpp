// Cost of the import: varied cards into an empty folder of the stand-in address book, beside the
// floor of the address book saving the same contacts one by one; then the same files again
// (every card a duplicate) in each conflict mode, each against the first; the cost per card of
// each size against the smallest; the peak working set against the size of the files.
//   import_bench.exe [groups] [CARDS ...]      (default: 1000 10000; groups: each card names one
//                                               of 50 groups, every tenth a second one)
// Runs under Wine with a display (the run shows its progress window and summary, which a hook on
// the running thread answers). Prints one line per figure.
#include <windows.h>
#include <psapi.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <string>
#include <vector>

#include <wrl/client.h>

#include "bench/benchsupport.h"
#include "common/text.h"
#include "contact/CharConverter.h"
#include "standins/wab32/wabstandin.h"
#include "vcard/import/vCardImport.h"
#include "wab/WABLib.h"

namespace {

using bench::Clock;
using bench::CpuSeconds;
using bench::Seconds;

// Seconds a step took, on the clock and in this process's CPU time.
struct CCost {
    double wall;
    double cpu;
};

// A varied card: 2.1 or 3.0, names, company, phones, e-mail addresses, an address, a note.
// With groups: each card names one of 50 groups, every tenth a second one.
bool g_groups = false;

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
    if (g_groups)
        card += "CATEGORIES:Group " + std::to_string(i % 50) + (i % 10 == 0 ? ",Group " + std::to_string((i / 10) % 50) : "") +
                "\r\n";
    card += "END:VCARD\r\n";
    return card;
}

SIZE_T PeakWorkingSet()
{
    PROCESS_MEMORY_COUNTERS counters = {};
    counters.cb = sizeof counters;
    return ::GetProcessMemoryInfo(::GetCurrentProcess(), &counters, sizeof counters) ? counters.PeakWorkingSetSize : 0;
}

// The properties of every contact of a folder, as the address book gave them, copied into pages
// of their own: held through the floor's run, they must not sit among its allocations (under
// Wine every allocation walks the free blocks of its heap, and what a contact's reading left
// between them would be the floor's cost, not the address book's).
class CSavedContacts {
public:
    CSavedContacts() = default;
    CSavedContacts(const CSavedContacts&) = delete;
    CSavedContacts& operator=(const CSavedContacts&) = delete;
    ~CSavedContacts() { FreeAll(); }
    void FreeAll()
    {
        for (void* page : m_pages)
            ::VirtualFree(page, 0, MEM_RELEASE);
        m_pages.clear();
        m_used = m_size = 0;
        contacts.clear();
    }
    // A deep copy of the values; false when memory ran out.
    bool Add(const SPropValue* values, ULONG count)
    {
        SPropValue* copy = static_cast<SPropValue*>(_Take(sizeof(SPropValue) * count));
        if (!copy)
            return false;
        for (ULONG i = 0; i < count; ++i) {
            copy[i] = values[i];
            if (!_CopyPointers(copy[i]))
                return false;
        }
        contacts.emplace_back(copy, count);
        return true;
    }
    std::vector<std::pair<SPropValue*, ULONG>> contacts;

private:
    void* _Take(size_t size)
    {
        size = (size + 15) & ~size_t(15);
        if (m_used + size > m_size) {
            const size_t page = std::max<size_t>(size, 4 << 20);
            void* p = ::VirtualAlloc(nullptr, page, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
            if (!p)
                return nullptr;
            m_pages.push_back(p);
            m_used = 0;
            m_size = page;
        }
        void* p = static_cast<char*>(m_pages.back()) + m_used;
        m_used += size;
        return p;
    }
    template <class T>
    bool _Dup(T*& p, size_t count)
    {
        if (!p)
            return true;
        T* copy = static_cast<T*>(_Take(sizeof(T) * count));
        if (!copy)
            return false;
        std::memcpy(copy, p, sizeof(T) * count);
        p = copy;
        return true;
    }
    bool _CopyPointers(SPropValue& v)
    {
        switch (PROP_TYPE(v.ulPropTag)) {
        case PT_UNICODE: return _Dup(v.Value.lpszW, v.Value.lpszW ? std::wcslen(v.Value.lpszW) + 1 : 0);
        case PT_STRING8: return _Dup(v.Value.lpszA, v.Value.lpszA ? std::strlen(v.Value.lpszA) + 1 : 0);
        case PT_BINARY: return _Dup(v.Value.bin.lpb, v.Value.bin.cb);
        case PT_CLSID: return _Dup(v.Value.lpguid, 1);
        case PT_MV_LONG: return _Dup(v.Value.MVl.lpl, v.Value.MVl.cValues);
        case PT_MV_UNICODE:
            if (!_Dup(v.Value.MVszW.lppszW, v.Value.MVszW.cValues))
                return false;
            for (ULONG i = 0; i < v.Value.MVszW.cValues; ++i)
                if (!_Dup(v.Value.MVszW.lppszW[i], std::wcslen(v.Value.MVszW.lppszW[i]) + 1))
                    return false;
            return true;
        case PT_MV_STRING8:
            if (!_Dup(v.Value.MVszA.lppszA, v.Value.MVszA.cValues))
                return false;
            for (ULONG i = 0; i < v.Value.MVszA.cValues; ++i)
                if (!_Dup(v.Value.MVszA.lppszA[i], std::strlen(v.Value.MVszA.lppszA[i]) + 1))
                    return false;
            return true;
        case PT_MV_BINARY:
            if (!_Dup(v.Value.MVbin.lpbin, v.Value.MVbin.cValues))
                return false;
            for (ULONG i = 0; i < v.Value.MVbin.cValues; ++i)
                if (!_Dup(v.Value.MVbin.lpbin[i].lpb, v.Value.MVbin.lpbin[i].cb))
                    return false;
            return true;
        default:
            return true;
        }
    }

    std::vector<void*> m_pages;
    size_t m_used = 0;
    size_t m_size = 0;
};

bool ReadContacts(const char* folder, CSavedContacts* out)
{
    WABItemList* list = nullptr;
    if (FAILED(g_wabLib.GetItems(folder, false, &list)) || !list)
        return false;
    out->contacts.reserve(list->count);
    for (ULONG i = 0; i < list->count; ++i) {
        ULONG type = 0;
        Microsoft::WRL::ComPtr<IMAPIProp> original;
        if (FAILED(g_wabLib.OpenItem(list->items[i].id, &type, original.GetAddressOf())))
            continue;
        ULONG count = 0;
        SPropValue* values = nullptr;
        if (FAILED(original->GetProps(nullptr, MAPI_UNICODE, &count, &values)) || !values)
            continue;
        std::vector<SPropValue> stored;
        for (ULONG v = 0; v < count; ++v) {
            ULONG id = PROP_ID(values[v].ulPropTag);
            if (PROP_TYPE(values[v].ulPropTag) != PT_ERROR && id != PROP_ID(PR_ENTRYID) &&
                id != PROP_ID(PR_RECORD_KEY) && id != PROP_ID(PR_INSTANCE_KEY) && id != PROP_ID(PR_OBJECT_TYPE) &&
                id != PROP_ID(PR_DISPLAY_TYPE) && id != PROP_ID(PR_LAST_MODIFICATION_TIME))
                stored.push_back(values[v]);
        }
        bool copied = out->Add(stored.data(), static_cast<ULONG>(stored.size()));
        (void)g_wabLib.FreeBuffer(values);  // a failed free does not change what was copied
        if (!copied)
            break;
    }
    CWABLib::FreeItems(list);
    return true;
}

// The address book's own cost of saving the same contacts one by one into the empty personal
// address book of a fresh store, as the import started: one new entry, one SetProps with every
// property the import stored, one SaveChanges; or, with eachProperty, one SetProps a property, as
// the import writes them. The session of the fresh store is open after.
double SaveFloor(const std::string& store, const CSavedContacts& contacts, bool eachProperty, double* cpuSeconds)
{
    char pab[WABSTANDIN_ID_TEXT_SIZE] = "";
    if (FAILED(WabStandinCreateStore(store.c_str(), nullptr)) ||
        FAILED(WabStandinGetPab(store.c_str(), pab, sizeof pab)) || !g_wabLib.Init(false, store.c_str(), false))
        return -1;
    ULONG type = 0;
    Microsoft::WRL::ComPtr<IUnknown> object;
    IABContainer* container = nullptr;  // borrowed from object: OpenEntry gives a container's own interface
    SPropValue* templateId = nullptr;
    ULONG got = 0;
    SizedSPropTagArray(1, templateTag) = {1, {PR_DEF_CREATE_MAILUSER}};
    if (FAILED(g_wabLib._OpenEntry(pab, &type, object.GetAddressOf())) ||
        !(container = reinterpret_cast<IABContainer*>(object.Get())) ||
        FAILED(container->GetProps(reinterpret_cast<SPropTagArray*>(&templateTag), 0, &got, &templateId)))
        return -1;
    auto t = Clock::now();
    double cpu = CpuSeconds();
    for (const auto& values : contacts.contacts) {
        Microsoft::WRL::ComPtr<IMAPIProp> entry;
        if (SUCCEEDED(container->CreateEntry(templateId->Value.bin.cb,
                                             reinterpret_cast<ENTRYID*>(templateId->Value.bin.lpb), 0,
                                             entry.GetAddressOf()))) {
            if (eachProperty) {
                for (ULONG v = 0; v < values.second; ++v)
                    entry->SetProps(1, values.first + v, nullptr);
            } else {
                entry->SetProps(values.second, values.first, nullptr);
            }
            entry->SaveChanges(0);
        }
    }
    double seconds = Seconds(t);
    *cpuSeconds = CpuSeconds() - cpu;
    (void)g_wabLib.FreeBuffer(templateId);  // the time is taken already
    return seconds;
}

// The working set the address book takes to hold a store's contacts, in a process of its own
// (the stand-in lives in the importing process and holds every contact in memory, which is the
// address book's cost, not the import's): kilobytes, or -1.
long AddressBookHolding(const std::string& store)
{
    std::string command = "\"" + common::ModuleFileName(nullptr) + "\" --hold \"" + store + "\"";
    STARTUPINFOA si = {};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi = {};
    if (!::CreateProcessA(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi))
        return -1;
    DWORD code = static_cast<DWORD>(-1);
    if (::WaitForSingleObject(pi.hProcess, 600000) == WAIT_OBJECT_0)
        ::GetExitCodeProcess(pi.hProcess, &code);
    ::CloseHandle(pi.hThread);
    ::CloseHandle(pi.hProcess);
    return static_cast<long>(code);
}

}  // namespace

int main(int argc, char** argv)
{
    std::setvbuf(stdout, nullptr, _IONBF, 0);
    if (argc == 3 && std::string(argv[1]) == "--hold") {
        SIZE_T before = PeakWorkingSet();
        WABItemList* list = nullptr;
        if (!g_wabLib.Init(false, argv[2], false) || FAILED(g_wabLib.GetItems(nullptr, false, &list)))
            return -1;
        CWABLib::FreeItems(list);
        int kb = static_cast<int>((PeakWorkingSet() - before) / 1024);
        g_wabLib.Close();
        return kb;
    }
    std::vector<int> sizes;
    for (int a = 1; a < argc; ++a) {
        if (std::string(argv[a]) == "groups")
            g_groups = true;
        else
            sizes.push_back(std::atoi(argv[a]));
    }
    if (sizes.empty())
        sizes = {1000, 10000};
    char tmp[MAX_PATH] = "";
    ::GetTempPathA(MAX_PATH, tmp);
    std::string work = common::Format("%squillon-import-bench-%lu", tmp, ::GetCurrentProcessId());
    bench::RemoveTree(work);
    ::CreateDirectoryA(work.c_str(), nullptr);
    std::string encodings = common::FolderOf(common::ModuleFileName(nullptr)) + "\\supportedEncodings.txt";
    g_charConverter.LoadFrom(encodings.c_str(), nullptr);
    bench::CBoxAnswer answer;
    if (!answer.IsActive()) {
        std::printf("cannot hook the closing messages\n");
        return 1;
    }
    SIZE_T base = PeakWorkingSet();
    std::printf("peak working set before any run: %.1f MB\n", base / 1048576.0);
    CCost smallest = {0, 0}, smallestFloor = {0, 0};

    // A first run of a few cards loads what every later run of the process finds loaded (the
    // dialogs' classes, fonts, the code pages): its cost is the process's, not a size's.
    sizes.insert(sizes.begin(), 10);
    for (size_t s = 0; s < sizes.size(); ++s) {
        const int count = sizes[s];
        const bool warmUp = s == 0;
        std::printf(warmUp ? "-- %d cards (warming up, not compared)\n" : "-- %d cards\n", count);
        std::string cards = common::Format("%s\\cards%d", work.c_str(), count);
        ::CreateDirectoryA(cards.c_str(), nullptr);
        // Files of a hundred cards, as an export of one file per contact would not be: the run's
        // cost per card, not the file system's per file, is what is measured here.
        unsigned long long bytes = 0;
        for (int f = 0; f * 100 < count; ++f) {
            std::string text;
            for (int i = f * 100; i < count && i < (f + 1) * 100; ++i)
                text += Card(i);
            FILE* out = std::fopen(common::Format("%s\\part%04d.vcf", cards.c_str(), f).c_str(), "wb");
            if (!out || std::fwrite(text.data(), 1, text.size(), out) != text.size()) {
                std::printf("cannot write the cards\n");
                return 1;
            }
            std::fclose(out);
            bytes += text.size();
        }
        {
            // The counting pass alone (the run's first pass reads every file and counts its cards
            // without reading them into fields), so that its share of the run shows.
            CvCardImport counter;
            auto t = Clock::now();
            int counted = 0;
            for (int f = 0; f * 100 < count; ++f)
                counted += counter.CountCards(common::AnsiToWide(common::Format("%s\\part%04d.vcf", cards.c_str(), f)));
            std::printf("%-44s %7.3f s, %7.1f us/card (%d cards)\n", "counting pass alone:", Seconds(t),
                        Seconds(t) * 1e6 / count, counted);
        }
        // Process times come in steps of 10 ms: a small size is imported several times, each into
        // a store of its own, and the mean is taken.
        const int reps = std::max(1, std::min(10, 10000 / count));
        std::string store;
        char pab[WABSTANDIN_ID_TEXT_SIZE] = "";
        auto runOnce = [&](int mode, const char* what, int times) {
            CCost cost = {0, 0};
            int total = 0, imported = 0, failed = 0;
            for (int r = 0; r < times; ++r) {
                if (r > 0 || store.empty()) {
                    g_wabLib.Close();
                    store = common::Format("%s\\bench%d-%d.wab", work.c_str(), count, r);
                    if (FAILED(WabStandinCreateStore(store.c_str(), nullptr)) ||
                        FAILED(WabStandinGetPab(store.c_str(), pab, sizeof pab)) ||
                        !g_wabLib.Init(false, store.c_str(), false))
                        return CCost{-1, -1};
                }
                auto t = Clock::now();
                double cpu = CpuSeconds();
                CvCardImport run;
                run.RunImport(cards.c_str(), pab, mode);
                cost.wall += Seconds(t);
                cost.cpu += CpuSeconds() - cpu;
                total = run.Total();
                imported = run.Imported();
                failed = run.Failed();
            }
            cost.wall /= times;
            cost.cpu /= times;
            std::printf("%-44s %7.2f s, %7.1f us/card, CPU %7.1f us/card (total %d, imported %d, failed %d)%s\n",
                        what, cost.wall, cost.wall * 1e6 / count, cost.cpu * 1e6 / count, total, imported,
                        failed, times > 1 ? common::Format("; mean of %d", times).c_str() : "");
            return cost;
        };
        const CCost first = runOnce(CvCardImport::kDuplicate, "first import into an empty folder:", reps);
        if (first.wall < 0) {
            std::printf("cannot create or open the store\n");
            return 1;
        }
        SIZE_T peak = PeakWorkingSet();
        std::printf("%-44s %.1f MB above the base for %.1f MB of files: %.2fx (target: under 10x)\n",
                    "peak working set:", (peak - base) / 1048576.0, bytes / 1048576.0,
                    static_cast<double>(peak - base) / static_cast<double>(bytes));
        CSavedContacts saved;
        ReadContacts(pab, &saved);
        std::string floorStore = common::Format("%s\\floor%d", work.c_str(), count);
        g_wabLib.Close();
        long holding = AddressBookHolding(store);
        std::printf("%-44s %.1f MB (its own process holding the store); the rest, %.1f MB, is %.2fx the files\n",
                    "of which the address book's:", holding / 1024.0, (peak - base) / 1048576.0 - holding / 1024.0,
                    ((peak - base) / 1048576.0 - holding / 1024.0) * 1048576.0 / static_cast<double>(bytes));
        auto floorMean = [&](bool eachProperty) {
            CCost cost = {0, 0};
            for (int r = 0; r < reps; ++r) {
                double cpu = 0;
                double wall = SaveFloor(common::Format("%s-%d%s.wab", floorStore.c_str(), r, eachProperty ? "e" : ""),
                                        saved, eachProperty, &cpu);
                g_wabLib.Close();
                if (wall < 0)
                    return CCost{-1, -1};
                cost.wall += wall;
                cost.cpu += cpu;
            }
            return CCost{cost.wall / reps, cost.cpu / reps};
        };
        const CCost floor = floorMean(false);
        const CCost eachFloor = floorMean(true);
        if (floor.wall < 0 || eachFloor.wall < 0) {
            std::printf("cannot create or open the floor's store\n");
            return 1;
        }
        saved.FreeAll();
        g_wabLib.Close();
        if (!g_wabLib.Init(false, store.c_str(), false)) {
            std::printf("cannot open the store again\n");
            return 1;
        }
        std::printf("%-44s %7.2f s, %7.1f us/contact, CPU %7.1f us/contact; the import is %.2fx the floor, CPU "
                    "%.2fx (target: at most 2x)\n",
                    "floor, the address book saving them 1 by 1:", floor.wall, floor.wall * 1e6 / count,
                    floor.cpu * 1e6 / count, first.wall / floor.wall, first.cpu / floor.cpu);
        std::printf("%-44s %7.2f s, %7.1f us/contact, CPU %7.1f us/contact; the import is %.2fx it, CPU %.2fx\n",
                    "floor, one SetProps a property:", eachFloor.wall, eachFloor.wall * 1e6 / count,
                    eachFloor.cpu * 1e6 / count, first.wall / eachFloor.wall, first.cpu / eachFloor.cpu);
        const CCost perCard = {first.wall / count, first.cpu / count};
        const CCost floorPerCard = {floor.wall / count, floor.cpu / count};
        if (!warmUp && smallest.wall == 0) {
            smallest = perCard;
            smallestFloor = floorPerCard;
        } else if (!warmUp) {
            std::printf("%-44s %.2fx the smallest size's, CPU %.2fx (target: at most 1.25x); the floor's: %.2fx, "
                        "CPU %.2fx\n",
                        "cost per card:", perCard.wall / smallest.wall, perCard.cpu / smallest.cpu,
                        floorPerCard.wall / smallestFloor.wall, floorPerCard.cpu / smallestFloor.cpu);
        }
        const struct {
            int mode;
            const char* what;
        } again[] = {{CvCardImport::kDuplicate, "again, \"Duplicate contacts\":"},
                     {CvCardImport::kReplace, "again, \"Replace existing contacts\":"},
                     {CvCardImport::kLeaveOld, "again, \"Leave old contacts\":"}};
        for (const auto& a : again) {
            const CCost c = runOnce(a.mode, a.what, 1);
            std::printf("%-44s %.2fx the first, CPU %.2fx (target: at most 1x)\n", "", c.wall / first.wall,
                        c.cpu / first.cpu);
        }
        g_wabLib.Close();
        if (warmUp) {
            base = PeakWorkingSet();
            std::printf("peak working set after warming up (the fixed base): %.1f MB\n", base / 1048576.0);
        }
    }
    bench::RemoveTree(work);
    return 0;
}
