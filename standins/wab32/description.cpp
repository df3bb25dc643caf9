#include "standins/wab32/description.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <vector>

#include "standins/wab32/propnames.h"

namespace wabstandin {

namespace {

std::string Trim(const std::string& s)
{
    size_t b = s.find_first_not_of(" \t\r");
    if (b == std::string::npos)
        return std::string();
    size_t e = s.find_last_not_of(" \t\r");
    return s.substr(b, e - b + 1);
}

// Unescapes one text; items of a list are split at unescaped '|' first.
bool Unescape(const std::string& in, std::wstring& out)
{
    std::string bytes;
    for (size_t i = 0; i < in.size(); ++i) {
        if (in[i] != '\\') {
            bytes += in[i];
            continue;
        }
        if (++i >= in.size())
            return false;
        switch (in[i]) {
        case 'n': bytes += '\n'; break;
        case 't': bytes += '\t'; break;
        case '|': bytes += '|'; break;
        case '\\': bytes += '\\'; break;
        default: return false;
        }
    }
    int n = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, bytes.data(), static_cast<int>(bytes.size()), nullptr, 0);
    if (n == 0 && !bytes.empty())
        return false;
    out.assign(n, L'\0');
    if (n)
        MultiByteToWideChar(CP_UTF8, 0, bytes.data(), static_cast<int>(bytes.size()), &out[0], n);
    return true;
}

std::vector<std::string> SplitItems(const std::string& value)
{
    std::vector<std::string> items;
    std::string cur;
    for (size_t i = 0; i < value.size(); ++i) {
        if (value[i] == '\\' && i + 1 < value.size()) {
            cur += value[i];
            cur += value[++i];
        } else if (value[i] == '|') {
            items.push_back(Trim(cur));
            cur.clear();
        } else {
            cur += value[i];
        }
    }
    items.push_back(Trim(cur));
    return items;
}

bool ParseDate(const std::string& s, LONGLONG& ticks)
{
    unsigned y = 0, mo = 0, d = 0, h = 0, mi = 0, sec = 0;
    char tail = 0;
    int n = std::sscanf(s.c_str(), "%4u-%2u-%2uT%2u:%2u:%2u%c", &y, &mo, &d, &h, &mi, &sec, &tail);
    bool ok = (n == 3 && s.size() == 10) || n == 6 || (n == 7 && tail == 'Z' && s.back() == 'Z');
    if (!ok)
        return false;
    SYSTEMTIME st = {};
    st.wYear = static_cast<WORD>(y);
    st.wMonth = static_cast<WORD>(mo);
    st.wDay = static_cast<WORD>(d);
    st.wHour = static_cast<WORD>(h);
    st.wMinute = static_cast<WORD>(mi);
    st.wSecond = static_cast<WORD>(sec);
    FILETIME ft;
    if (!SystemTimeToFileTime(&st, &ft))
        return false;
    ticks = static_cast<LONGLONG>((static_cast<ULONGLONG>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime);
    return true;
}

bool ParseValue(ULONG tag, const std::string& text, CValue& v, std::string& why)
{
    v = CValue();
    v.tag = tag;
    switch (PROP_TYPE(tag)) {
    case PT_UNICODE:
        if (!Unescape(text, v.text)) {
            why = "bad escape or UTF-8 in text";
            return false;
        }
        return true;
    case PT_MV_UNICODE:
        if (text.empty())
            return true;
        for (const auto& item : SplitItems(text)) {
            std::wstring w;
            if (!Unescape(item, w)) {
                why = "bad escape or UTF-8 in list";
                return false;
            }
            v.texts.push_back(w);
        }
        return true;
    case PT_SYSTIME:
        if (!ParseDate(text, v.num)) {
            why = "date is not YYYY-MM-DD or YYYY-MM-DDThh:mm:ss";
            return false;
        }
        return true;
    case PT_I2:
    case PT_LONG: {
        char* end = nullptr;
        long n = std::strtol(text.c_str(), &end, 10);
        if (text.empty() || *end) {
            why = "not a number";
            return false;
        }
        v.num = n;
        return true;
    }
    case PT_BOOLEAN:
        if (text == "true" || text == "1")
            v.num = 1;
        else if (text == "false" || text == "0")
            v.num = 0;
        else {
            why = "not true or false";
            return false;
        }
        return true;
    case PT_BINARY:
        if (!FromHex(text.data(), text.size(), v.bytes)) {
            why = "not hexadecimal";
            return false;
        }
        return true;
    case PT_MV_BINARY:
        for (const auto& item : SplitItems(text)) {
            std::string b;
            if (!FromHex(item.data(), item.size(), b)) {
                why = "not hexadecimal";
                return false;
            }
            v.blobs.push_back(b);
        }
        return true;
    default:
        why = "property type not supported here";
        return false;
    }
}

std::wstring DisplayName(const CEntryData& e)
{
    const CValue* v = FindProp(e.props, PROP_ID(PR_DISPLAY_NAME_W));
    return v && PROP_TYPE(v->tag) == PT_UNICODE ? v->text : std::wstring();
}

std::wstring DisplayName(const CStoredEntry& e)
{
    CValue v;
    return UnpackProp(e.packed.data(), e.packed.size(), PROP_ID(PR_DISPLAY_NAME_W), v) && PROP_TYPE(v.tag) == PT_UNICODE ? v.text
                                                                                              : std::wstring();
}

class CLoader {
public:
    explicit CLoader(CStore& store) : m_store(store) {}

    HRESULT Run(const std::string& text, std::string& error)
    {
        m_folder = m_store.PabSerial();
        size_t pos = 0;
        if (text.compare(0, 3, "\xEF\xBB\xBF") == 0)
            pos = 3;
        while (pos <= text.size()) {
            size_t nl = text.find('\n', pos);
            std::string line = Trim(text.substr(pos, nl == std::string::npos ? std::string::npos : nl - pos));
            pos = nl == std::string::npos ? text.size() + 1 : nl + 1;
            ++m_lineNo;
            std::string why;
            HRESULT hr = _Line(line, why);
            if (FAILED(hr)) {
                error = "line " + std::to_string(m_lineNo) + ": " + why;
                return hr;
            }
        }
        std::string why;
        HRESULT hr = _Flush(why);
        if (FAILED(hr))
            error = "line " + std::to_string(m_entryLine) + ": " + why;
        return hr;
    }

private:
    HRESULT _Line(const std::string& line, std::string& why)
    {
        if (line.empty() || line[0] == '#')
            return S_OK;
        size_t eq = line.find('=');
        std::string word = Trim(line.substr(0, line.find_first_of(" \t=")));
        if (eq == std::string::npos || word == "pab" || word == "folder") {
            std::string rest = Trim(line.substr(word.size()));
            HRESULT hr = _Flush(why);
            if (FAILED(hr))
                return hr;
            if (word == "contact" || word == "group") {
                if (!rest.empty()) {
                    why = word + " takes nothing after it";
                    return MAPI_E_INVALID_PARAMETER;
                }
                m_entry.reset(new CEntryData);
                m_entry->type = word == "contact" ? MAPI_MAILUSER : MAPI_DISTLIST;
                m_entry->folder = m_folder;
                m_entryLine = m_lineNo;
                m_members.clear();
                return S_OK;
            }
            if (word == "pab" || word == "folder") {
                std::wstring name;
                if (rest.empty() || !Unescape(rest, name)) {
                    why = word + " needs a name";
                    return MAPI_E_INVALID_PARAMETER;
                }
                return word == "pab" ? _RenamePab(name, why) : _SelectFolder(name, why);
            }
            why = "unknown statement \"" + word + "\"";
            return MAPI_E_INVALID_PARAMETER;
        }
        if (!m_entry) {
            why = "property outside a contact or group";
            return MAPI_E_INVALID_PARAMETER;
        }
        std::string name = Trim(line.substr(0, eq));
        std::string value = Trim(line.substr(eq + 1));
        if (name == "member") {
            if (m_entry->type != MAPI_DISTLIST) {
                why = "member outside a group";
                return MAPI_E_INVALID_PARAMETER;
            }
            std::wstring member;
            if (!Unescape(value, member)) {
                why = "bad member name";
                return MAPI_E_INVALID_PARAMETER;
            }
            m_members.push_back(member);
            return S_OK;
        }
        bool named = false;
        ULONG tag = TagOfName(name, &named);
        if (named) {
            ULONG id = 0;
            HRESULT hr = m_store.NamedId(kPsetidAddress, MNID_ID, kConferencingServersLid, std::wstring(), true, &id);
            if (FAILED(hr)) {
                why = "cannot name ConferencingServers";
                return hr;
            }
            tag = PROP_TAG(PT_MV_UNICODE, id);
        }
        if (!tag) {
            why = "unknown property \"" + name + "\"";
            return MAPI_E_INVALID_PARAMETER;
        }
        CValue v;
        if (!ParseValue(tag, value, v, why)) {
            why = name + ": " + why;
            return MAPI_E_INVALID_PARAMETER;
        }
        PutProp(m_entry->props, std::move(v));
        return S_OK;
    }

    HRESULT _Flush(std::string& why)
    {
        if (!m_entry)
            return S_OK;
        std::unique_ptr<CEntryData> entry = std::move(m_entry);
        if (entry->type == MAPI_DISTLIST && !m_members.empty()) {
            CValue list;
            list.tag = kPrWabDlEntries;
            for (const auto& name : m_members) {
                ULONG serial = _ContactNamed(name);
                if (!serial) {
                    why = "no contact named \"" + ToUtf8(name) + "\" for the group";
                    return MAPI_E_NOT_FOUND;
                }
                list.blobs.push_back(MakeEntryId(MAPI_MAILUSER, serial));
            }
            PutProp(entry->props, list);
        }
        HRESULT hr = m_store.Save(*entry, true);
        if (FAILED(hr)) {
            why = "saving the entry failed";
            return hr;
        }
        if (entry->type == MAPI_MAILUSER)
            m_contacts.emplace(DisplayName(*entry), entry->serial);
        return S_OK;
    }

    ULONG _ContactNamed(const std::wstring& name)
    {
        auto it = m_contacts.find(name);
        if (it != m_contacts.end())
            return it->second;
        for (const auto& e : m_store.Contents(0, true))
            if (e->type == MAPI_MAILUSER && DisplayName(*e) == name)
                return e->serial;
        return 0;
    }

    HRESULT _RenamePab(const std::wstring& name, std::string& why)
    {
        CEntryPtr pab = m_store.Find(m_store.PabSerial());
        if (!pab) {
            why = "the store has no personal address book";
            return MAPI_E_NOT_FOUND;
        }
        CEntryData copy = pab->Unpack();
        CValue v;
        v.tag = PR_DISPLAY_NAME_W;
        v.text = name;
        PutProp(copy.props, v);
        HRESULT hr = m_store.Save(copy);
        if (FAILED(hr)) {
            why = "saving the folder failed";
            return hr;
        }
        m_folder = copy.serial;
        return S_OK;
    }

    HRESULT _SelectFolder(const std::wstring& name, std::string& why)
    {
        for (const auto& f : m_store.Folders())
            if (DisplayName(*f) == name) {
                m_folder = f->serial;
                return S_OK;
            }
        CEntryData folder;
        folder.type = MAPI_ABCONT;
        CValue v;
        v.tag = PR_DISPLAY_NAME_W;
        v.text = name;
        PutProp(folder.props, v);
        HRESULT hr = m_store.Save(folder);
        if (FAILED(hr)) {
            why = "saving the folder failed";
            return hr;
        }
        m_folder = folder.serial;
        return S_OK;
    }

    CStore& m_store;
    ULONG m_folder = 0;
    std::unique_ptr<CEntryData> m_entry;
    int m_entryLine = 0;
    int m_lineNo = 0;
    std::vector<std::wstring> m_members;
    std::multimap<std::wstring, ULONG> m_contacts;
};

}  // namespace

HRESULT LoadDescription(CStore& store, const std::string& text, std::string& error)
{
    error.clear();
    HRESULT hr = store.BeginBatch();
    if (FAILED(hr)) {
        error = "the store cannot be written";
        return hr;
    }
    CLoader loader(store);
    hr = loader.Run(text, error);
    HRESULT written = store.EndBatch();
    if (SUCCEEDED(hr) && FAILED(written)) {
        error = "writing the store failed";
        hr = written;
    }
    return hr;
}

}  // namespace wabstandin
