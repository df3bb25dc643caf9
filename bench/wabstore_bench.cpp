// Times the stand-in address book on a folder of 10,000 contacts: opening the store, listing the
// whole folder, one restricted query of the duplicate search's shape (an AND of seven terms), and
// the bytes one saved contact adds to the store file. Run by `make bench`, never by CTest.
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#include <mapiguid.h>
#include <wrl/client.h>

#include "standins/wab32/wabstandin.h"

using Microsoft::WRL::ComPtr;

namespace {

const int kContacts = 10000;

double Now()
{
    static LARGE_INTEGER freq = [] {
        LARGE_INTEGER f;
        QueryPerformanceFrequency(&f);
        return f;
    }();
    LARGE_INTEGER t;
    QueryPerformanceCounter(&t);
    return static_cast<double>(t.QuadPart) / static_cast<double>(freq.QuadPart);
}

// CPU time of this process: what a step costs however busy the machine is.
double Cpu()
{
    FILETIME created, exited, kernel, user;
    GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user);
    auto secs = [](const FILETIME& f) {
        return static_cast<double>((static_cast<ULONGLONG>(f.dwHighDateTime) << 32) | f.dwLowDateTime) / 1e7;
    };
    return secs(kernel) + secs(user);
}

LONGLONG FileSize(const std::string& path)
{
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data))
        return -1;
    return (static_cast<LONGLONG>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

bool WriteText(const std::string& path, const std::string& text)
{
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f)
        return false;
    bool ok = std::fwrite(text.data(), 1, text.size(), f) == text.size();
    return std::fclose(f) == 0 && ok;
}

void FreeRows(IWABObject* wab, LPSRowSet rows)
{
    if (!rows)
        return;
    for (ULONG i = 0; i < rows->cRows; ++i)
        wab->FreeBuffer(rows->aRow[i].lpProps);
    wab->FreeBuffer(rows);
}

SRestriction PropEq(SPropValue* v)
{
    SRestriction r = {};
    r.rt = RES_PROPERTY;
    r.res.resProperty.relop = RELOP_EQ;
    r.res.resProperty.ulPropTag = v->ulPropTag;
    r.res.resProperty.lpProp = v;
    return r;
}

}  // namespace

int main()
{
    char temp[MAX_PATH];
    GetTempPathA(sizeof temp, temp);
    std::string folder = std::string(temp) + "wabstore-bench";
    CreateDirectoryA(folder.c_str(), nullptr);
    std::string store = folder + "\\bench.wab";
    std::string desc = folder + "\\bench.txt";
    DeleteFileA(store.c_str());

    // 10,000 contacts of about a dozen properties each, in one folder.
    std::string text = "folder Bench\n";
    for (int i = 0; i < kContacts; ++i) {
        char buf[1024];
        std::snprintf(buf, sizeof buf,
                      "contact\nPR_DISPLAY_NAME = Person %05d Example\nPR_GIVEN_NAME = Person\nPR_SURNAME = Example%05d\n"
                      "PR_COMPANY_NAME = Company %d\nPR_EMAIL_ADDRESS = person%05d@example.org\nPR_ADDRTYPE = SMTP\n"
                      "PR_CONTACT_EMAIL_ADDRESSES = person%05d@example.org | p%05d@example.com\n"
                      "PR_CONTACT_ADDRTYPES = SMTP | SMTP\nPR_BUSINESS_TELEPHONE_NUMBER = +1 555 %04d\n"
                      "PR_HOME_ADDRESS_CITY = Springfield\nPR_BIRTHDAY = 1980-01-%02d\n"
                      "PR_COMMENT = Line one of the note\\nline two\n",
                      i, i, i % 50, i, i, i, i % 10000, 1 + i % 28);
        text += buf;
    }
    if (!WriteText(desc, text)) {
        std::printf("cannot write %s\n", desc.c_str());
        return 1;
    }
    double t0 = Now();
    char error[256] = {};
    HRESULT hr = WabStandinLoadDescription(store.c_str(), desc.c_str(), error, sizeof error);
    double tLoad = Now() - t0;
    if (FAILED(hr)) {
        std::printf("building the store failed: %s\n", error);
        return 1;
    }

    WAB_PARAM param = {};
    param.cbSize = sizeof param;
    param.szFileName = &store[0];
    ComPtr<IAddrBook> book;
    ComPtr<IWABObject> wab;
    t0 = Now();
    double c0 = Cpu();
    hr = WABOpen(book.GetAddressOf(), wab.GetAddressOf(), &param, 0);
    double tOpen = Now() - t0, cOpen = Cpu() - c0;
    if (FAILED(hr)) {
        std::printf("WABOpen failed 0x%08lX\n", static_cast<unsigned long>(hr));
        return 1;
    }

    // The folder is the second one of the root table.
    ULONG type = 0;
    ComPtr<IUnknown> unk;
    book->OpenEntry(0, nullptr, nullptr, MAPI_BEST_ACCESS, &type, unk.GetAddressOf());
    ComPtr<IABContainer> root;
    unk->QueryInterface(IID_IABContainer, reinterpret_cast<void**>(root.GetAddressOf()));
    ComPtr<IMAPITable> folders;
    root->GetContentsTable(WAB_LOCAL_CONTAINERS, folders.GetAddressOf());
    LPSRowSet rows = nullptr;
    folders->QueryRows(10, 0, &rows);
    std::string folderId(reinterpret_cast<const char*>(rows->aRow[1].lpProps[1].Value.bin.lpb),
                         rows->aRow[1].lpProps[1].Value.bin.cb);
    FreeRows(wab.Get(), rows);

    auto openFolder = [&]() {
        ComPtr<IUnknown> u;
        ULONG t = 0;
        book->OpenEntry(static_cast<ULONG>(folderId.size()), reinterpret_cast<LPENTRYID>(&folderId[0]), nullptr,
                        MAPI_BEST_ACCESS, &t, u.GetAddressOf());
        ComPtr<IABContainer> c;
        u->QueryInterface(IID_IABContainer, reinterpret_cast<void**>(c.GetAddressOf()));
        return c;
    };

    // One listing with the export's seven columns.
    struct {
        ULONG cValues;
        ULONG tags[7];
    } columns = {7, {PR_ENTRYID, PR_OBJECT_TYPE, PR_DISPLAY_NAME_A, PR_EMAIL_ADDRESS_A, PR_LAST_MODIFICATION_TIME,
                     PR_BUSINESS_TELEPHONE_NUMBER_A, PR_HOME_TELEPHONE_NUMBER_A}};
    t0 = Now();
    c0 = Cpu();
    ComPtr<IABContainer> c = openFolder();
    ComPtr<IMAPITable> table;
    c->GetContentsTable(0, table.GetAddressOf());
    table->SetColumns(reinterpret_cast<LPSPropTagArray>(&columns), 0);
    ULONG count = 0;
    table->GetRowCount(0, &count);
    table->QueryRows(static_cast<LONG>(count), 0, &rows);
    ULONG listed = rows ? rows->cRows : 0;
    FreeRows(wab.Get(), rows);
    double tList = Now() - t0, cList = Cpu() - c0;

    // The duplicate search: type = contact, and six name terms (absent-or-empty where empty).
    SPropValue type6 = {};
    type6.ulPropTag = PR_OBJECT_TYPE;
    type6.Value.l = MAPI_MAILUSER;
    SPropValue values[] = {{PR_DISPLAY_NAME_W, 0, {}}, {PR_GIVEN_NAME_W, 0, {}}, {PR_SURNAME_W, 0, {}},
                           {PR_COMPANY_NAME_W, 0, {}}, {PR_MIDDLE_NAME_W, 0, {}}, {PR_DISPLAY_NAME_PREFIX_W, 0, {}}};
    values[0].Value.lpszW = const_cast<LPWSTR>(L"Person 07321 Example");
    values[1].Value.lpszW = const_cast<LPWSTR>(L"Person");
    values[2].Value.lpszW = const_cast<LPWSTR>(L"Example07321");
    values[3].Value.lpszW = const_cast<LPWSTR>(L"Company 21");
    values[4].Value.lpszW = const_cast<LPWSTR>(L"");
    values[5].Value.lpszW = const_cast<LPWSTR>(L"");
    SRestriction exist[2] = {}, notExist[2] = {}, orTerms[2][2] = {};
    SRestriction terms[7];
    terms[0] = PropEq(&type6);
    for (int i = 0; i < 4; ++i)
        terms[1 + i] = PropEq(&values[i]);
    for (int k = 0; k < 2; ++k) {
        exist[k].rt = RES_EXIST;
        exist[k].res.resExist.ulPropTag = values[4 + k].ulPropTag;
        notExist[k].rt = RES_NOT;
        notExist[k].res.resNot.lpRes = &exist[k];
        orTerms[k][0] = notExist[k];
        orTerms[k][1] = PropEq(&values[4 + k]);
        terms[5 + k].rt = RES_OR;
        terms[5 + k].res.resOr.cRes = 2;
        terms[5 + k].res.resOr.lpRes = orTerms[k];
    }
    SRestriction all = {};
    all.rt = RES_AND;
    all.res.resAnd.cRes = 7;
    all.res.resAnd.lpRes = terms;
    t0 = Now();
    c0 = Cpu();
    c = openFolder();
    table.Reset();
    c->GetContentsTable(MAPI_UNICODE, table.GetAddressOf());
    table->SetColumns(reinterpret_cast<LPSPropTagArray>(&columns), 0);
    table->Restrict(&all, 0);
    table->GetRowCount(0, &count);
    table->QueryRows(static_cast<LONG>(count), 0, &rows);
    ULONG matched = rows ? rows->cRows : 0;
    FreeRows(wab.Get(), rows);
    double tQuery = Now() - t0, cQuery = Cpu() - c0;

    // One contact saved the way the import saves one: create, set a dozen properties, save.
    LONGLONG before = FileSize(store);
    LPSPropValue tpl = nullptr;
    SPropTagArray tplTag = {1, {PR_DEF_CREATE_MAILUSER}};
    c->GetProps(&tplTag, 0, &count, &tpl);
    ComPtr<IMAPIProp> entry;
    t0 = Now();
    c->CreateEntry(tpl[0].Value.bin.cb, reinterpret_cast<LPENTRYID>(tpl[0].Value.bin.lpb), 0, entry.GetAddressOf());
    SPropValue props[] = {{PR_DISPLAY_NAME_W, 0, {}}, {PR_GIVEN_NAME_W, 0, {}}, {PR_SURNAME_W, 0, {}},
                          {PR_EMAIL_ADDRESS_W, 0, {}}, {PR_ADDRTYPE_W, 0, {}}, {PR_COMPANY_NAME_W, 0, {}},
                          {PR_BUSINESS_TELEPHONE_NUMBER_W, 0, {}}, {PR_HOME_ADDRESS_CITY_W, 0, {}},
                          {PR_COMMENT_W, 0, {}}};
    const wchar_t* texts[] = {L"New Person", L"New", L"Person", L"new.person@example.org", L"SMTP", L"Example Ltd",
                              L"+1 555 0199", L"Springfield", L"A note\nof two lines"};
    for (int i = 0; i < 9; ++i)
        props[i].Value.lpszW = const_cast<LPWSTR>(texts[i]);
    entry->SetProps(9, props, nullptr);
    hr = entry->SaveChanges(0);
    double tSave = Now() - t0;
    LONGLONG after = FileSize(store);

    // An import's pace: 500 more contacts, each created, filled and saved on its own.
    const int kSaves = 500;
    t0 = Now();
    for (int i = 0; i < kSaves && SUCCEEDED(hr); ++i) {
        ComPtr<IMAPIProp> next;
        hr = c->CreateEntry(tpl[0].Value.bin.cb, reinterpret_cast<LPENTRYID>(tpl[0].Value.bin.lpb), 0,
                            next.GetAddressOf());
        if (SUCCEEDED(hr))
            hr = next->SetProps(9, props, nullptr);
        if (SUCCEEDED(hr))
            hr = next->SaveChanges(0);
    }
    double tSaves = Now() - t0;
    LONGLONG afterSaves = FileSize(store);
    wab->FreeBuffer(tpl);

    std::printf("stand-in address book, %d contacts in one folder (store file %lld bytes)\n", kContacts,
                static_cast<long long>(before));
    std::printf("  building the store from a description: %8.1f ms\n", tLoad * 1000);
    std::printf("  WABOpen (reads the whole store):       %8.1f ms (CPU %.1f ms)\n", tOpen * 1000, cOpen * 1000);
    std::printf("  listing the folder (%lu rows):       %8.1f ms (CPU %.1f ms)\n", static_cast<unsigned long>(listed),
                tList * 1000, cList * 1000);
    std::printf("  AND of 7 terms (%lu row matched):      %8.1f ms (CPU %.1f ms)\n", static_cast<unsigned long>(matched),
                tQuery * 1000, cQuery * 1000);
    std::printf("  saving one contact:                    %8.1f ms, %lld bytes written%s\n", tSave * 1000,
                static_cast<long long>(after - before), SUCCEEDED(hr) ? "" : " (save FAILED)");
    std::printf("  %d more saves (an import's pace):    %8.2f ms each, %lld bytes each%s\n", kSaves,
                tSaves * 1000 / kSaves, static_cast<long long>((afterSaves - after) / kSaves),
                SUCCEEDED(hr) ? "" : " (a save FAILED)");
    entry.Reset();
    table.Reset();
    c.Reset();
    root.Reset();
    folders.Reset();
    unk.Reset();
    book.Reset();
    wab.Reset();
    DeleteFileA(store.c_str());
    DeleteFileA(desc.c_str());
    RemoveDirectoryA(folder.c_str());
    return 0;
}
