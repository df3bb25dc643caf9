#include "exportsupport.h"

#include <gtest/gtest.h>

#include "contact/Contact.h"

namespace exporttest {

std::wstring ThroughCodePage(const std::wstring& text, int codePage)
{
    UINT cp = codePage < 0 ? ::GetACP() : static_cast<UINT>(codePage);
    if (text.empty())
        return text;
    std::string bytes(text.size() * 4, '\0');
    int n = ::WideCharToMultiByte(cp, 0, text.data(), static_cast<int>(text.size()), &bytes[0],
                                  static_cast<int>(bytes.size()), nullptr, nullptr);
    std::wstring back(text.size() * 2, L'\0');
    int m = ::MultiByteToWideChar(cp, 0, bytes.data(), n, &back[0], static_cast<int>(back.size()));
    back.resize(m > 0 ? static_cast<size_t>(m) : 0);
    return back;
}

std::string CScratchBook::AddContact(const std::vector<Prop>& props, const std::string& folder)
{
    std::vector<SPropValue> values;
    std::vector<std::vector<LPWSTR>> lists;
    std::vector<std::vector<SBinary>> blobs;
    lists.reserve(props.size());
    blobs.reserve(props.size());
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
        case PT_MV_BINARY:
            blobs.emplace_back();
            for (const std::string& b : p.blobs)
                blobs.back().push_back({static_cast<ULONG>(b.size()), reinterpret_cast<LPBYTE>(const_cast<char*>(b.data()))});
            v.Value.MVbin.cValues = static_cast<ULONG>(p.blobs.size());
            v.Value.MVbin.lpbin = blobs.back().data();
            break;
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
    return testsupport::CScratchBook::AddContact(folder, values);
}

ULONG CScratchBook::ConferencingTag()
{
    GUID set = {};
    EXPECT_EQ(S_OK, ::CLSIDFromString(const_cast<LPWSTR>(CContact::kConferencingServersSet), &set));
    ULONG tag = 0;
    EXPECT_EQ(S_OK, WabStandinGetNamedTag(path().c_str(), &set, CContact::kConferencingServersId, &tag));
    return PROP_TAG(PT_MV_UNICODE, PROP_ID(tag));
}

}  // namespace exporttest
