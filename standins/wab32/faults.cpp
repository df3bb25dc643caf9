#include "standins/wab32/faults.h"

#include <cstdlib>
#include <cstring>
#include <vector>

#include "common/raii.h"
#include "standins/wab32/propvalue.h"

namespace wabstandin {

namespace {

const char* const kCalls[] = {
    "WABOpen",   "GetPAB",   "OpenEntry",   "GetContentsTable", "SetColumns",    "Restrict",
    "SortTable", "GetRowCount", "QueryRows", "CreateEntry",      "SaveChanges",   "DeleteEntries",
    "GetProps",  "SetProps", "DeleteProps", "GetIDsFromNames",
};

struct CFault {
    std::string call;
    bool any = false;
    std::string id;  // bytes; empty = the root container
    HRESULT code = S_OK;
    ULONG skip = 0;
    ULONG seen = 0;
};

struct CFaultTable {
    common::CCriticalSection cs;
    std::vector<CFault> faults;
    std::vector<std::pair<std::string, ULONG>> hits;
};

CFaultTable& Table()
{
    static CFaultTable* table = new CFaultTable;  // lives to process end, used by every session
    return *table;
}

bool KnownCall(const char* call)
{
    for (const char* known : kCalls)
        if (std::strcmp(known, call) == 0)
            return true;
    return false;
}

std::string Trim(const std::string& s)
{
    size_t b = s.find_first_not_of(" \t\r\n");
    if (b == std::string::npos)
        return std::string();
    size_t e = s.find_last_not_of(" \t\r\n");
    return s.substr(b, e - b + 1);
}

bool ParseNumber(const std::string& s, unsigned long& value)
{
    if (s.empty())
        return false;
    char* end = nullptr;
    errno = 0;
    value = std::strtoul(s.c_str(), &end, 0);
    return errno == 0 && *end == '\0';
}

}  // namespace

HRESULT AddFault(const char* call, const char* entry, HRESULT code, ULONG skip)
{
    if (!call || !KnownCall(call) || !entry)
        return E_INVALIDARG;
    CFault fault;
    fault.call = call;
    fault.code = code;
    fault.skip = skip;
    if (std::strcmp(entry, "*") == 0) {
        fault.any = true;
    } else if (_stricmp(entry, "ROOT") != 0) {
        if (!*entry || !FromHex(entry, std::strlen(entry), fault.id))
            return E_INVALIDARG;
    }
    CFaultTable& t = Table();
    common::CLock lock(t.cs);
    t.faults.push_back(std::move(fault));
    return S_OK;
}

HRESULT AddFaults(const std::string& text)
{
    HRESULT result = S_OK;
    size_t start = 0;
    while (start <= text.size()) {
        size_t end = text.find(';', start);
        if (end == std::string::npos)
            end = text.size();
        std::string item = Trim(text.substr(start, end - start));
        start = end + 1;
        if (item.empty())
            continue;
        std::vector<std::string> parts;
        size_t p = 0;
        while (true) {
            size_t c = item.find(':', p);
            parts.push_back(Trim(item.substr(p, c == std::string::npos ? std::string::npos : c - p)));
            if (c == std::string::npos)
                break;
            p = c + 1;
        }
        unsigned long code = 0, skip = 0;
        bool ok = (parts.size() == 3 || parts.size() == 4) && ParseNumber(parts[2], code) &&
                  (parts.size() == 3 || ParseNumber(parts[3], skip));
        if (ok)
            ok = SUCCEEDED(AddFault(parts[0].c_str(), parts[1].c_str(), static_cast<HRESULT>(code),
                                    static_cast<ULONG>(skip)));
        if (!ok) {
            OutputDebugStringA(("wab32 stand-in: ignored malformed fault \"" + item + "\"\n").c_str());
            result = E_INVALIDARG;
        }
    }
    return result;
}

void ClearFaults()
{
    CFaultTable& t = Table();
    common::CLock lock(t.cs);
    t.faults.clear();
    t.hits.clear();
}

ULONG FaultHits(const char* call)
{
    if (!call)
        return 0;
    CFaultTable& t = Table();
    common::CLock lock(t.cs);
    for (const auto& h : t.hits)
        if (h.first == call)
            return h.second;
    return 0;
}

HRESULT Fault(const char* call, const void* entryId, ULONG size)
{
    CFaultTable& t = Table();
    common::CLock lock(t.cs);
    if (t.faults.empty())
        return S_OK;
    std::string id(static_cast<const char*>(entryId), entryId ? size : 0);
    for (auto& f : t.faults) {
        if (f.call != call || (!f.any && f.id != id))
            continue;
        if (f.seen++ < f.skip)
            continue;
        bool counted = false;
        for (auto& h : t.hits)
            if (h.first == call) {
                ++h.second;
                counted = true;
            }
        if (!counted)
            t.hits.emplace_back(call, 1);
        return f.code;
    }
    return S_OK;
}

}  // namespace wabstandin
