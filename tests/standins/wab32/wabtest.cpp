#include "wabtest.h"

#include <cstdio>

#include <mapiguid.h>

namespace wabtest {

std::string Bytes(const std::string& hex)
{
    std::string out;
    for (size_t i = 0; i + 1 < hex.size(); i += 2)
        out.push_back(static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16)));
    return out;
}

std::string Hex(const void* data, size_t size)
{
    std::string out;
    char buf[3];
    for (size_t i = 0; i < size; ++i) {
        std::snprintf(buf, sizeof buf, "%02X", static_cast<const unsigned char*>(data)[i]);
        out += buf;
    }
    return out;
}

ULONGLONG Ticks(const FILETIME& ft)
{
    return (static_cast<ULONGLONG>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime;
}

HRESULT CSession::Open(const std::string& path)
{
    Close();
    WAB_PARAM param = {};
    param.cbSize = sizeof param;
    param.szFileName = const_cast<LPSTR>(path.c_str());
    param.ulFlags = WAB_ENABLE_PROFILES | WAB_USE_OE_SENDMAIL;
    return WABOpen(book.GetAddressOf(), wab.GetAddressOf(), &param, 0);
}

void CSession::Close()
{
    book.Reset();
    wab.Reset();
}

ComPtr<IABContainer> CSession::Container(const std::string& idHex)
{
    std::string id = Bytes(idHex);
    ULONG type = 0;
    ComPtr<IUnknown> unk;
    HRESULT hr = book->OpenEntry(static_cast<ULONG>(id.size()), reinterpret_cast<LPENTRYID>(&id[0]), nullptr,
                                 MAPI_BEST_ACCESS, &type, unk.GetAddressOf());
    EXPECT_EQ(S_OK, hr) << idHex;
    EXPECT_EQ(static_cast<ULONG>(MAPI_ABCONT), type);
    ComPtr<IABContainer> c;
    if (unk)
        unk->QueryInterface(IID_IABContainer, reinterpret_cast<void**>(c.GetAddressOf()));
    return c;
}

ComPtr<IMAPIProp> CSession::Entry(const std::string& idHex, ULONG flags, HRESULT* result)
{
    std::string id = Bytes(idHex);
    ULONG type = 0;
    ComPtr<IUnknown> unk;
    HRESULT hr = book->OpenEntry(static_cast<ULONG>(id.size()), reinterpret_cast<LPENTRYID>(&id[0]), nullptr, flags,
                                 &type, unk.GetAddressOf());
    if (result)
        *result = hr;
    else
        EXPECT_EQ(S_OK, hr) << idHex;
    ComPtr<IMAPIProp> p;
    if (unk)
        unk->QueryInterface(IID_IMAPIProp, reinterpret_cast<void**>(p.GetAddressOf()));
    return p;
}

ComPtr<IMAPITable> CSession::Table(const std::string& containerHex, ULONG flags, HRESULT* result)
{
    ComPtr<IABContainer> c = Container(containerHex);
    ComPtr<IMAPITable> table;
    HRESULT hr = c ? c->GetContentsTable(flags, table.GetAddressOf()) : E_FAIL;
    if (result)
        *result = hr;
    else
        EXPECT_EQ(S_OK, hr) << containerHex;
    return table;
}

std::string ShowValue(const SPropValue& v)
{
    char tag[16];
    std::snprintf(tag, sizeof tag, "%08lX=", static_cast<unsigned long>(v.ulPropTag));
    std::string out = tag;
    char buf[64];
    switch (PROP_TYPE(v.ulPropTag)) {
    case PT_ERROR:
        std::snprintf(buf, sizeof buf, "ERROR:%08lX", static_cast<unsigned long>(v.Value.err));
        return out + buf;
    case PT_UNICODE: {
        int n = WideCharToMultiByte(CP_UTF8, 0, v.Value.lpszW, -1, nullptr, 0, nullptr, nullptr);
        std::string s(n > 0 ? n - 1 : 0, '\0');
        if (n > 1)
            WideCharToMultiByte(CP_UTF8, 0, v.Value.lpszW, -1, &s[0], n, nullptr, nullptr);
        return out + s;
    }
    case PT_STRING8: return out + v.Value.lpszA;
    case PT_LONG: return out + std::to_string(v.Value.l);
    case PT_I2: return out + std::to_string(v.Value.i);
    case PT_BINARY: return out + Hex(v.Value.bin.lpb, v.Value.bin.cb);
    case PT_SYSTIME: {
        SYSTEMTIME st;
        FileTimeToSystemTime(&v.Value.ft, &st);
        std::snprintf(buf, sizeof buf, "%04u-%02u-%02u", st.wYear, st.wMonth, st.wDay);
        return out + buf;
    }
    case PT_MV_UNICODE: {
        out += "[";
        for (ULONG i = 0; i < v.Value.MVszW.cValues; ++i) {
            SPropValue one = {};
            one.ulPropTag = PR_DISPLAY_NAME_W;
            one.Value.lpszW = v.Value.MVszW.lppszW[i];
            out += (i ? "," : "") + ShowValue(one).substr(9);
        }
        return out + "]";
    }
    default:
        return out + "?";
    }
}

std::vector<std::string> CSession::Rows(IMAPITable* table)
{
    std::vector<std::string> rows;
    EXPECT_EQ(S_OK, table->SeekRow(BOOKMARK_BEGINNING, 0, nullptr));
    ULONG count = 0;
    EXPECT_EQ(S_OK, table->GetRowCount(0, &count));
    LPSRowSet set = nullptr;
    EXPECT_EQ(S_OK, table->QueryRows(static_cast<LONG>(count) + 5, 0, &set));
    if (!set)
        return rows;
    for (ULONG i = 0; i < set->cRows; ++i) {
        std::string row;
        for (ULONG k = 0; k < set->aRow[i].cValues; ++k)
            row += (k ? " | " : "") + ShowValue(set->aRow[i].lpProps[k]);
        rows.push_back(row);
        EXPECT_EQ(S_OK, wab->FreeBuffer(set->aRow[i].lpProps));
    }
    EXPECT_EQ(S_OK, wab->FreeBuffer(set));
    return rows;
}

std::vector<std::string> CSession::Column(IMAPITable* table, ULONG tag, const SRestriction* restriction)
{
    SPropTagArray columns = {1, {tag}};
    EXPECT_EQ(S_OK, table->SetColumns(&columns, 0));
    EXPECT_EQ(S_OK, table->Restrict(const_cast<LPSRestriction>(restriction), 0));
    std::vector<std::string> values;
    for (const auto& row : Rows(table))
        values.push_back(row.substr(9));
    return values;
}

}  // namespace wabtest
