// Cost of the address-book access on a large folder: a stand-in store of 10,000 contacts in one
// folder; opening the session, one GetItemsEx of the whole folder, and one restricted query of
// the kind the import builds to find an equal contact (seven terms, in Unicode).
//   wablib_bench.exe [CONTACTS] [ROUNDS]
// Prints one line per figure (best and median of the rounds); exits with 1 when a query gives a
// wrong answer.
#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "base/Log.h"
#include "contact/Contact.h"
#include "standins/wab32/wabstandin.h"
#include "wab/WABLib.h"

namespace {

using Clock = std::chrono::steady_clock;
using namespace contact_tags;

double Ms(Clock::time_point from)
{
    return std::chrono::duration<double, std::milli>(Clock::now() - from).count();
}

void Report(const char* what, std::vector<double> ms)
{
    std::sort(ms.begin(), ms.end());
    std::printf("%-48s best %8.1f ms   median %8.1f ms\n", what, ms.front(), ms[ms.size() / 2]);
}

SPropValue Text(ULONG tag, const std::wstring& text)
{
    SPropValue v = {};
    v.ulPropTag = tag;
    v.Value.lpszW = const_cast<wchar_t*>(text.c_str());
    return v;
}

// One term of the equal-contact query: the property equals the text, or, for an empty text,
// the property is missing or empty.
struct CTerm {
    SPropValue value;
    SRestriction exists, notExists, equal, either[2], root;

    void Build(ULONG tag, const std::wstring& text)
    {
        value = Text(tag, text);
        equal = SRestriction();
        equal.rt = RES_PROPERTY;
        equal.res.resProperty.relop = RELOP_EQ;
        equal.res.resProperty.ulPropTag = tag;
        equal.res.resProperty.lpProp = &value;
        if (!text.empty()) {
            root = equal;
            return;
        }
        exists = SRestriction();
        exists.rt = RES_EXIST;
        exists.res.resExist.ulPropTag = tag;
        notExists = SRestriction();
        notExists.rt = RES_NOT;
        notExists.res.resNot.lpRes = &exists;
        either[0] = notExists;
        either[1] = equal;
        root = SRestriction();
        root.rt = RES_OR;
        root.res.resOr.cRes = 2;
        root.res.resOr.lpRes = either;
    }
};

}  // namespace

int main(int argc, char** argv)
{
    int count = argc > 1 ? std::atoi(argv[1]) : 10000;
    int rounds = argc > 2 ? std::atoi(argv[2]) : 5;
    if (count < 1 || rounds < 1) {
        std::fprintf(stderr, "usage: wablib_bench [CONTACTS] [ROUNDS]\n");
        return 2;
    }
    char temp[MAX_PATH] = {};
    ::GetTempPathA(sizeof temp, temp);
    std::string store = std::string(temp) + "wablib_bench" + std::to_string(::GetCurrentProcessId()) + ".wab";
    if (FAILED(WabStandinCreateStore(store.c_str(), L"Contacts"))) {
        std::fprintf(stderr, "cannot create %s\n", store.c_str());
        return 2;
    }
    char pab[WABSTANDIN_ID_TEXT_SIZE] = "";
    WabStandinGetPab(store.c_str(), pab, sizeof pab);

    // Typical contacts (names, company, mail address, two phone numbers), added through a store
    // description in one go.
    Clock::time_point start = Clock::now();
    std::string description = "pab Contacts\n";
    for (int i = 0; i < count; ++i) {
        std::string n = std::to_string(i);
        description += "contact\nPR_DISPLAY_NAME = Given" + n + " Family" + n + "\nPR_GIVEN_NAME = Given" + n +
                       "\nPR_SURNAME = Family" + n + "\nPR_COMPANY_NAME = Company " + std::to_string(i % 97) +
                       "\nPR_EMAIL_ADDRESS = person" + n + "@example.com\nPR_BUSINESS_TELEPHONE_NUMBER = +1 555 01" +
                       n + "\nPR_HOME_TELEPHONE_NUMBER = +1 555 02" + n + "\n";
    }
    std::string descriptionPath = store + ".txt";
    {
        HANDLE file = ::CreateFileA(descriptionPath.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        DWORD written = 0;
        bool ok = file != INVALID_HANDLE_VALUE &&
                  ::WriteFile(file, description.data(), static_cast<DWORD>(description.size()), &written, nullptr) &&
                  written == description.size();
        if (file != INVALID_HANDLE_VALUE)
            ::CloseHandle(file);
        char error[256] = "";
        if (!ok || FAILED(WabStandinLoadDescription(store.c_str(), descriptionPath.c_str(), error, sizeof error))) {
            std::fprintf(stderr, "cannot build the store: %s\n", error);
            return 2;
        }
        ::DeleteFileA(descriptionPath.c_str());
    }
    std::printf("store of %d contacts in one folder built in %.1f s\n", count,
                std::chrono::duration<double>(Clock::now() - start).count());

    int failures = 0;
    CWABLib wab;
    std::vector<double> open, list, query;
    for (int r = 0; r < rounds; ++r) {
        start = Clock::now();
        bool ok = wab.Init(true, store.c_str(), true);
        open.push_back(Ms(start));
        if (!ok) {
            std::fprintf(stderr, "Init failed\n");
            return 1;
        }

        static const struct {
            ULONG cValues;
            ULONG aulPropTag[7];
        } columns = {7,
                     {PR_ENTRYID, PR_OBJECT_TYPE, PR_DISPLAY_NAME_A, PR_EMAIL_ADDRESS_A, PR_LAST_MODIFICATION_TIME,
                      PR_BUSINESS_TELEPHONE_NUMBER_A, PR_HOME_TELEPHONE_NUMBER_A}};
        WABItemList* items = nullptr;
        start = Clock::now();
        HRESULT hr = wab.GetItemsEx(pab, 0, reinterpret_cast<const SPropTagArray*>(&columns), nullptr, nullptr, &items);
        list.push_back(Ms(start));
        if (hr != S_OK || !items || items->count != static_cast<ULONG>(count)) {
            std::fprintf(stderr, "GetItemsEx: 0x%lx, %lu rows\n", static_cast<unsigned long>(hr),
                         items ? static_cast<unsigned long>(items->count) : 0ul);
            ++failures;
        }
        CWABLib::FreeItems(items);

        // The card of a contact near the end: display, given and family name and company set,
        // middle name and prefix empty.
        int target = count - 1 - r;
        std::wstring n = std::to_wstring(target);
        const ULONG tags[6] = {kDisplayName, kGivenName, kMiddleName, kSurname, kDisplayNamePrefix, kCompanyName};
        const std::wstring texts[6] = {L"Given" + n + L" Family" + n, L"Given" + n, L"", L"Family" + n, L"",
                                       L"Company " + std::to_wstring(target % 97)};
        SPropValue mailUser = {};
        mailUser.ulPropTag = PR_OBJECT_TYPE;
        mailUser.Value.l = MAPI_MAILUSER;
        SRestriction terms[7] = {};
        terms[0].rt = RES_PROPERTY;
        terms[0].res.resProperty.relop = RELOP_EQ;
        terms[0].res.resProperty.ulPropTag = PR_OBJECT_TYPE;
        terms[0].res.resProperty.lpProp = &mailUser;
        CTerm built[6];
        for (int t = 0; t < 6; ++t) {
            built[t].Build(tags[t], texts[t]);
            terms[t + 1] = built[t].root;
        }
        SRestriction all = {};
        all.rt = RES_AND;
        all.res.resAnd.cRes = 7;
        all.res.resAnd.lpRes = terms;
        static const struct {
            ULONG cValues;
            ULONG aulPropTag[3];
        } found = {3, {PR_ENTRYID, PR_OBJECT_TYPE, PR_DISPLAY_NAME_W}};
        start = Clock::now();
        hr = wab.GetItemsEx(pab, MAPI_UNICODE, reinterpret_cast<const SPropTagArray*>(&found), &all, nullptr, &items);
        query.push_back(Ms(start));
        if (hr != S_OK || !items || items->count != 1) {
            std::fprintf(stderr, "equal-contact query: 0x%lx, %lu rows\n", static_cast<unsigned long>(hr),
                         items ? static_cast<unsigned long>(items->count) : 0ul);
            ++failures;
        }
        CWABLib::FreeItems(items);
        wab.Close();
    }
    Report("open the session (Init)", open);
    Report("GetItemsEx of the whole folder (7 columns)", list);
    Report("equal-contact query (7 terms, Unicode)", query);
    ::DeleteFileA(store.c_str());
    return failures ? 1 : 0;
}
