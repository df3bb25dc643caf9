// What the tests of the stand-in address book share beyond the scratch store and the property
// values of support/storefile.h: a session opened by WABOpen itself, and rows and values as text.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include <wrl/client.h>

#include "support/storefile.h"

namespace wabtest {

using Microsoft::WRL::ComPtr;
using namespace testsupport;

std::string Bytes(const std::string& hex);
std::string Hex(const void* data, size_t size);
ULONGLONG Ticks(const FILETIME& ft);

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
