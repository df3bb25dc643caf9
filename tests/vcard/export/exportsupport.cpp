#include "exportsupport.h"

#include <gtest/gtest.h>

#include "contact/CharConverter.h"
#include "contact/Contact.h"
#include "standins/wab32/wabstandin.h"
#include "wab/WABLib.h"

namespace exporttest {

std::string Crlf(const std::vector<std::string>& lines)
{
    std::string out;
    for (const std::string& line : lines)
        out += line + "\r\n";
    return out;
}

uint64_t FileTime(int year, int month, int day, int hour, int minute, int second)
{
    SYSTEMTIME st = {};
    st.wYear = static_cast<WORD>(year);
    st.wMonth = static_cast<WORD>(month);
    st.wDay = static_cast<WORD>(day);
    st.wHour = static_cast<WORD>(hour);
    st.wMinute = static_cast<WORD>(minute);
    st.wSecond = static_cast<WORD>(second);
    FILETIME ft = {};
    EXPECT_TRUE(::SystemTimeToFileTime(&st, &ft)) << year << "-" << month << "-" << day;
    return (static_cast<uint64_t>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime;
}

void LoadEncodings()
{
    static bool loaded = false;
    if (loaded)
        return;
    std::string path = testsupport::BinDir() + "\\supportedEncodings.txt";
    ASSERT_GT(g_charConverter.LoadFrom(path.c_str(), nullptr), 10u) << path;
    loaded = true;
}

CScratchBook::CScratchBook() : m_store(m_dir.file("book.wab"))
{
    char pab[WABSTANDIN_ID_TEXT_SIZE] = {};
    m_ok = SUCCEEDED(WabStandinCreateStore(m_store.c_str(), L"Contacts")) &&
           SUCCEEDED(WabStandinGetPab(m_store.c_str(), pab, sizeof(pab))) &&
           g_wabLib.Init(false, m_store.c_str(), false);
    m_pab = pab;
}

CScratchBook::~CScratchBook()
{
    WabStandinClearFaults();
    g_wabLib.Close();
    EXPECT_EQ(0u, WabStandinLiveObjects()) << "objects of the address book outlived the session";
}

std::string CScratchBook::AddFolder(const std::wstring& name)
{
    char id[WABSTANDIN_ID_TEXT_SIZE] = {};
    EXPECT_EQ(S_OK, WabStandinAddFolder(m_store.c_str(), name.c_str(), id, sizeof(id)));
    return id;
}

std::string CScratchBook::AddContact(const std::vector<Prop>& props, const std::string& folder)
{
    std::vector<SPropValue> values;
    std::vector<std::vector<LPWSTR>> lists;
    lists.reserve(props.size());
    bool hasTime = false;
    for (const Prop& p : props) {
        SPropValue v = {};
        v.ulPropTag = p.tag;
        switch (PROP_TYPE(p.tag)) {
        case PT_UNICODE:
            v.Value.lpszW = const_cast<LPWSTR>(p.text.c_str());
            break;
        case PT_MV_UNICODE: {
            lists.emplace_back();
            for (const std::wstring& s : p.list)
                lists.back().push_back(const_cast<LPWSTR>(s.c_str()));
            v.Value.MVszW.cValues = static_cast<ULONG>(p.list.size());
            v.Value.MVszW.lppszW = lists.back().data();
            break;
        }
        case PT_SYSTIME:
            v.Value.ft.dwLowDateTime = static_cast<DWORD>(p.time);
            v.Value.ft.dwHighDateTime = static_cast<DWORD>(p.time >> 32);
            hasTime = hasTime || p.tag == PR_LAST_MODIFICATION_TIME;
            break;
        case PT_I2:
            v.Value.i = static_cast<short>(p.number);
            break;
        case PT_LONG:
            v.Value.l = p.number;
            break;
        default:
            ADD_FAILURE() << "unsupported type of tag " << std::hex << p.tag;
        }
        values.push_back(v);
    }
    if (!hasTime) {
        SPropValue v = {};
        v.ulPropTag = PR_LAST_MODIFICATION_TIME;
        uint64_t t = FileTime(2024, 5, 6, 7, 8, 9);
        v.Value.ft.dwLowDateTime = static_cast<DWORD>(t);
        v.Value.ft.dwHighDateTime = static_cast<DWORD>(t >> 32);
        values.push_back(v);
    }
    char id[WABSTANDIN_ID_TEXT_SIZE] = {};
    HRESULT hr = WabStandinAddContact(m_store.c_str(), folder.empty() ? nullptr : folder.c_str(),
                                      static_cast<ULONG>(values.size()), values.data(), id, sizeof(id));
    EXPECT_EQ(S_OK, hr);
    return id;
}

ULONG CScratchBook::ConferencingTag()
{
    GUID set = {};
    EXPECT_EQ(S_OK, ::CLSIDFromString(const_cast<LPWSTR>(CContact::kConferencingServersSet), &set));
    ULONG tag = 0;
    EXPECT_EQ(S_OK, WabStandinGetNamedTag(m_store.c_str(), &set, CContact::kConferencingServersId, &tag));
    return PROP_TAG(PT_MV_UNICODE, PROP_ID(tag));
}

}  // namespace exporttest
