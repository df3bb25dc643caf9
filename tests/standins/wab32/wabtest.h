// What the tests of the stand-in address book share: a scratch store, an open session on it, and
// short ways to build property values, restrictions and readable rows.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include <wrl/client.h>

#include "standins/wab32/wabstandin.h"
#include "support/testsupport.h"

namespace wabtest {

using Microsoft::WRL::ComPtr;

std::string Bytes(const std::string& hex);
std::string Hex(const void* data, size_t size);

SPropValue Text(ULONG tag, const wchar_t* text);
SPropValue Ansi(ULONG tag, const char* text);
SPropValue Long(ULONG tag, LONG value);
SPropValue Short(ULONG tag, short value);
SPropValue Time(ULONG tag, WORD year, WORD month, WORD day);
SPropValue Binary(ULONG tag, const std::string& bytes);  // bytes must outlive the value
SPropValue TextList(ULONG tag, std::vector<LPWSTR>& items);
ULONGLONG Ticks(const FILETIME& ft);

// A store file in a scratch folder, built through the fixture functions.
class CStoreFile {
public:
    explicit CStoreFile(const wchar_t* pabName = L"Contacts");
    const std::string& path() const { return m_path; }
    std::string pab() const;
    std::string AddFolder(const wchar_t* name);
    std::string AddContact(const std::string& folder, std::vector<SPropValue> props);
    // A contact with just a display name.
    std::string AddNamed(const std::string& folder, const wchar_t* name);
    testsupport::CTempDir dir;

private:
    std::string m_path;
};

// A session: WABOpen on the store file.
class CSession {
public:
    HRESULT Open(const std::string& path);
    void Close();
    ComPtr<IABContainer> Container(const std::string& idHex);  // "" = the root container
    ComPtr<IMAPIProp> Entry(const std::string& idHex, ULONG flags = MAPI_BEST_ACCESS, HRESULT* hr = nullptr);
    // The contents table of a container, or nullptr with the failure in *hr.
    ComPtr<IMAPITable> Table(const std::string& containerHex, ULONG flags, HRESULT* hr = nullptr);
    // All rows of a table, each as its values shown by ShowValue joined with " | ".
    std::vector<std::string> Rows(IMAPITable* table);
    // One column (a string or error per row).
    std::vector<std::string> Column(IMAPITable* table, ULONG tag, const SRestriction* restriction = nullptr);

    ComPtr<IAddrBook> book;
    ComPtr<IWABObject> wab;
};

// "3001001F=Alice", "3A420040=1985-03-14", "3A4D0002=2", "3A56101F=[a,b]", "0FFF0102=<hex>",
// and for errors "ERROR:8004010F".
std::string ShowValue(const SPropValue& v);

}  // namespace wabtest
