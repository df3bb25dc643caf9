// wabstore.exe: creates, fills, lists and dumps a store file of the stand-in address book.
//
//   wabstore create <store> [<name of the personal address book>]
//   wabstore load <store> <description>     adds folders, contacts and groups (creates the store)
//   wabstore list <store> [<output>]        folders and their entries, one line each
//   wabstore dump <store> [<output>]        everything, in the description format
//
// list and dump read the store through WABOpen and the address-book interfaces, as Quillon does.
// Output is UTF-8. Exit code 0 on success, 1 for a wrong command line, 2 when the work failed.
#include <windows.h>
#include <fcntl.h>
#include <io.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include <wrl/client.h>
#include <mapiguid.h>

#include "standins/wab32/propnames.h"
#include "standins/wab32/propvalue.h"
#include "standins/wab32/store.h"
#include "standins/wab32/wabstandin.h"

using Microsoft::WRL::ComPtr;
using namespace wabstandin;

namespace {

FILE* g_out = stdout;

void Out(const std::string& s)
{
    std::fwrite(s.data(), 1, s.size(), g_out);
}

int Fail(const char* what, HRESULT hr)
{
    std::fprintf(stderr, "wabstore: %s failed (0x%08lX)\n", what, static_cast<unsigned long>(hr));
    return 2;
}

int Usage()
{
    std::fprintf(stderr,
                 "usage: wabstore create <store> [<name>]\n"
                 "       wabstore load <store> <description>\n"
                 "       wabstore list <store> [<output file>]\n"
                 "       wabstore dump <store> [<output file>]\n");
    return 1;
}

// Owner of a buffer of the address book.
class CWabBuffer {
public:
    CWabBuffer(IWABObject* wab, void* p) : m_wab(wab), m_p(p) {}
    ~CWabBuffer()
    {
        if (m_p)
            m_wab->FreeBuffer(m_p);
    }
    CWabBuffer(const CWabBuffer&) = delete;
    CWabBuffer& operator=(const CWabBuffer&) = delete;

private:
    IWABObject* m_wab;
    void* m_p;
};

struct CSession {
    ComPtr<IAddrBook> book;
    ComPtr<IWABObject> wab;
};

HRESULT OpenSession(const char* path, CSession& s)
{
    WAB_PARAM param = {};
    param.cbSize = sizeof param;
    param.szFileName = const_cast<LPSTR>(path);
    return WABOpen(s.book.GetAddressOf(), s.wab.GetAddressOf(), &param, 0);
}

struct CRowInfo {
    std::string id;
    ULONG type = 0;
    std::wstring name;
    std::wstring email;
};

// Rows of a container's contents table (empty when the container has none).
HRESULT ReadRows(CSession& s, const std::string& containerId, ULONG flags, std::vector<CRowInfo>& rows)
{
    rows.clear();
    ULONG type = 0;
    ComPtr<IUnknown> unk;
    HRESULT hr = s.book->OpenEntry(static_cast<ULONG>(containerId.size()),
                                   reinterpret_cast<LPENTRYID>(const_cast<char*>(containerId.data())), nullptr,
                                   MAPI_BEST_ACCESS, &type, unk.GetAddressOf());
    if (FAILED(hr))
        return hr;
    ComPtr<IABContainer> container;
    hr = unk->QueryInterface(IID_IABContainer, reinterpret_cast<void**>(container.GetAddressOf()));
    if (FAILED(hr))
        return hr;
    ComPtr<IMAPITable> table;
    hr = container->GetContentsTable(flags | MAPI_UNICODE, table.GetAddressOf());
    if (hr == MAPI_E_NOT_FOUND)
        return S_OK;
    if (FAILED(hr))
        return hr;
    struct {
        ULONG cValues;
        ULONG aulPropTag[4];
    } columns = {4, {PR_ENTRYID, PR_OBJECT_TYPE, PR_DISPLAY_NAME_W, PR_EMAIL_ADDRESS_W}};
    hr = table->SetColumns(reinterpret_cast<LPSPropTagArray>(&columns), 0);
    if (FAILED(hr))
        return hr;
    ULONG count = 0;
    hr = table->GetRowCount(0, &count);
    if (FAILED(hr))
        return hr;
    LPSRowSet set = nullptr;
    hr = table->QueryRows(static_cast<LONG>(count), 0, &set);
    if (FAILED(hr))
        return hr;
    for (ULONG i = 0; i < set->cRows; ++i) {
        CRowInfo r;
        const SPropValue* v = set->aRow[i].lpProps;
        if (v[0].ulPropTag == PR_ENTRYID)
            r.id.assign(reinterpret_cast<const char*>(v[0].Value.bin.lpb), v[0].Value.bin.cb);
        if (v[1].ulPropTag == PR_OBJECT_TYPE)
            r.type = static_cast<ULONG>(v[1].Value.l);
        if (v[2].ulPropTag == PR_DISPLAY_NAME_W)
            r.name = v[2].Value.lpszW;
        if (v[3].ulPropTag == PR_EMAIL_ADDRESS_W)
            r.email = v[3].Value.lpszW;
        s.wab->FreeBuffer(set->aRow[i].lpProps);
        rows.push_back(r);
    }
    s.wab->FreeBuffer(set);
    return S_OK;
}

int List(const char* path)
{
    CSession s;
    HRESULT hr = OpenSession(path, s);
    if (FAILED(hr))
        return Fail("WABOpen", hr);
    std::vector<CRowInfo> folders;
    hr = ReadRows(s, std::string(), WAB_LOCAL_CONTAINERS, folders);
    if (FAILED(hr))
        return Fail("reading the folders", hr);
    for (const auto& f : folders) {
        std::vector<CRowInfo> entries;
        hr = ReadRows(s, f.id, 0, entries);
        if (FAILED(hr))
            return Fail("reading a folder", hr);
        Out("folder " + ToHex(f.id.data(), f.id.size()) + " " + ToUtf8(f.name) + " (" +
            std::to_string(entries.size()) + ")\n");
        for (const auto& e : entries) {
            Out(std::string(e.type == MAPI_DISTLIST ? "  group   " : "  contact ") + ToHex(e.id.data(), e.id.size()) +
                " " + ToUtf8(e.name));
            if (!e.email.empty())
                Out(" <" + ToUtf8(e.email) + ">");
            Out("\n");
        }
    }
    return 0;
}

// One property as a description line (escaped as the loader reads it back).
std::string Escape(const std::wstring& w, bool inList)
{
    std::string out;
    for (char c : ToUtf8(w)) {
        if (c == '\\') out += "\\\\";
        else if (c == '\n') out += "\\n";
        else if (c == '\t') out += "\\t";
        else if (c == '|' && inList) out += "\\|";
        else if (c == '\r') continue;
        else out += c;
    }
    return out;
}

std::string DateText(const FILETIME& ft)
{
    SYSTEMTIME st;
    if (!FileTimeToSystemTime(&ft, &st))
        return "?";
    char buf[32];
    if (st.wHour || st.wMinute || st.wSecond)
        std::snprintf(buf, sizeof buf, "%04u-%02u-%02uT%02u:%02u:%02u", st.wYear, st.wMonth, st.wDay, st.wHour,
                      st.wMinute, st.wSecond);
    else
        std::snprintf(buf, sizeof buf, "%04u-%02u-%02u", st.wYear, st.wMonth, st.wDay);
    return buf;
}

std::string PropertyLine(CSession& s, IMAPIProp* entry, const SPropValue& v,
                         const std::vector<std::pair<std::string, std::wstring>>& names)
{
    ULONG tag = v.ulPropTag;
    ULONG id = PROP_ID(tag);
    if (id == PROP_ID(PR_ENTRYID) || id == PROP_ID(PR_RECORD_KEY) || id == PROP_ID(PR_INSTANCE_KEY) ||
        id == PROP_ID(PR_OBJECT_TYPE) || id == PROP_ID(PR_DISPLAY_TYPE) || id == PROP_ID(PR_CONTAINER_FLAGS) ||
        id == PROP_ID(PR_DEF_CREATE_MAILUSER) || id == PROP_ID(PR_DEF_CREATE_DL) || PROP_TYPE(tag) == PT_ERROR)
        return std::string();
    std::string name;
    if (id == PROP_ID(kPrWabDlEntries)) {
        std::string lines;
        for (ULONG i = 0; i < v.Value.MVbin.cValues; ++i) {
            std::string member(reinterpret_cast<const char*>(v.Value.MVbin.lpbin[i].lpb), v.Value.MVbin.lpbin[i].cb);
            for (const auto& n : names)
                if (n.first == member)
                    lines += "member = " + Escape(n.second, false) + "\n";
        }
        return lines;
    }
    if (id >= 0x8000) {
        SPropTagArray one = {1, {tag}};
        LPSPropTagArray tags = &one;
        ULONG count = 0;
        LPMAPINAMEID* ids = nullptr;
        if (SUCCEEDED(entry->GetNamesFromIDs(&tags, nullptr, 0, &count, &ids)) && ids) {
            if (count == 1 && ids[0] && ids[0]->ulKind == MNID_ID && IsEqualGUID(*ids[0]->lpguid, kPsetidAddress) &&
                ids[0]->Kind.lID == kConferencingServersLid)
                name = "ConferencingServers";
            s.wab->FreeBuffer(ids);
        }
    }
    if (name.empty())
        name = NameOfTag(tag);
    if (name.empty()) {
        char buf[16];
        std::snprintf(buf, sizeof buf, "0x%08lX", static_cast<unsigned long>(tag));
        name = buf;
    }
    std::string value;
    char buf[64];
    switch (PROP_TYPE(tag)) {
    case PT_UNICODE: value = Escape(v.Value.lpszW, false); break;
    case PT_MV_UNICODE:
        for (ULONG i = 0; i < v.Value.MVszW.cValues; ++i)
            value += (i ? " | " : "") + Escape(v.Value.MVszW.lppszW[i], true);
        break;
    case PT_SYSTIME: value = DateText(v.Value.ft); break;
    case PT_I2: value = std::to_string(v.Value.i); break;
    case PT_LONG: value = std::to_string(v.Value.l); break;
    case PT_BOOLEAN: value = v.Value.b ? "true" : "false"; break;
    case PT_BINARY: value = ToHex(v.Value.bin.lpb, v.Value.bin.cb); break;
    default:
        std::snprintf(buf, sizeof buf, "(type 0x%lX)", static_cast<unsigned long>(PROP_TYPE(tag)));
        return "# " + name + " " + buf + "\n";
    }
    return name + " = " + value + "\n";
}

int Dump(const char* path)
{
    CSession s;
    HRESULT hr = OpenSession(path, s);
    if (FAILED(hr))
        return Fail("WABOpen", hr);
    std::vector<CRowInfo> folders;
    hr = ReadRows(s, std::string(), WAB_LOCAL_CONTAINERS, folders);
    if (FAILED(hr))
        return Fail("reading the folders", hr);
    std::vector<std::pair<std::string, std::wstring>> names;  // every contact, for group members
    std::vector<std::vector<CRowInfo>> contents;
    for (const auto& f : folders) {
        contents.emplace_back();
        hr = ReadRows(s, f.id, 0, contents.back());
        if (FAILED(hr))
            return Fail("reading a folder", hr);
        for (const auto& e : contents.back())
            names.emplace_back(e.id, e.name);
    }
    Out("# dump of " + std::string(path) + "\n");
    for (size_t fi = 0; fi < folders.size(); ++fi) {
        const auto& f = folders[fi];
        Out("\n# " + ToHex(f.id.data(), f.id.size()) + "\n" + (fi == 0 ? "pab " : "folder ") + Escape(f.name, false) +
            "\n");
        // Contacts first, so that the groups' members are known when the dump is loaded again.
        for (int pass = 0; pass < 2; ++pass) {
            for (const auto& e : contents[fi]) {
                if ((e.type == MAPI_DISTLIST) != (pass == 1))
                    continue;
                ULONG type = 0;
                ComPtr<IUnknown> unk;
                hr = s.book->OpenEntry(static_cast<ULONG>(e.id.size()),
                                       reinterpret_cast<LPENTRYID>(const_cast<char*>(e.id.data())), nullptr,
                                       MAPI_BEST_ACCESS, &type, unk.GetAddressOf());
                if (FAILED(hr))
                    return Fail("OpenEntry", hr);
                ComPtr<IMAPIProp> entry;
                hr = unk->QueryInterface(IID_IMAPIProp, reinterpret_cast<void**>(entry.GetAddressOf()));
                if (FAILED(hr))
                    return Fail("QueryInterface", hr);
                ULONG count = 0;
                LPSPropValue values = nullptr;
                hr = entry->GetProps(nullptr, MAPI_UNICODE, &count, &values);
                if (FAILED(hr))
                    return Fail("GetProps", hr);
                CWabBuffer owner(s.wab.Get(), values);
                Out("\n# " + ToHex(e.id.data(), e.id.size()) + "\n" + (type == MAPI_DISTLIST ? "group\n" : "contact\n"));
                for (ULONG i = 0; i < count; ++i)
                    Out(PropertyLine(s, entry.Get(), values[i], names));
            }
        }
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv)
{
    _setmode(_fileno(stdout), _O_BINARY);  // UTF-8 lines end in "\n" alone, as in the files
    if (argc < 3)
        return Usage();
    std::string command = argv[1];
    const char* store = argv[2];
    if (command == "create" && argc <= 4) {
        std::wstring name = argc == 4 ? FromUtf8(argv[3]) : L"Contacts";
        HRESULT hr = WabStandinCreateStore(store, name.c_str());
        return FAILED(hr) ? Fail("creating the store", hr) : 0;
    }
    if (command == "load" && argc == 4) {
        char error[512] = {};
        HRESULT hr = WabStandinLoadDescription(store, argv[3], error, sizeof error);
        if (FAILED(hr)) {
            std::fprintf(stderr, "wabstore: %s: %s\n", argv[3], error[0] ? error : "loading failed");
            return 2;
        }
        return 0;
    }
    if ((command == "list" || command == "dump") && argc <= 4) {
        if (argc == 4) {
            g_out = std::fopen(argv[3], "wb");
            if (!g_out) {
                std::fprintf(stderr, "wabstore: cannot write %s\n", argv[3]);
                return 2;
            }
        }
        int rc = command == "list" ? List(store) : Dump(store);
        if (g_out != stdout && std::fclose(g_out) != 0 && rc == 0) {
            std::fprintf(stderr, "wabstore: writing %s failed\n", argv[3]);
            rc = 2;
        }
        return rc;
    }
    return Usage();
}
