// Scratch stores of the stand-in address book, built through its fixture functions rather than
// through a session, so that what a test then opens is exactly what it wrote; the store tool; the
// world a run of Quillon.exe finds its store in; and, for the tests of our own code, the program's
// session open on such a store for a test's life and the contacts it lists.
//
// All of it needs the stand-in (link `wab32`); OpenItems and CScratchBook need CWABLib too
// (`quillon_core`): they are written inline here so that programs without it can use the rest.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "standins/wab32/wabstandin.h"
#include "support/testsupport.h"
#include "wab/WABLib.h"

namespace testsupport {

// Property values for the fixture functions. Texts and lists are not copied: they must outlive the
// value.
SPropValue Text(ULONG tag, const wchar_t* text);
SPropValue Ansi(ULONG tag, const char* text);
SPropValue Long(ULONG tag, LONG value);
SPropValue Short(ULONG tag, short value);
SPropValue Time(ULONG tag, WORD year, WORD month, WORD day);
SPropValue Binary(ULONG tag, const std::string& bytes);
SPropValue TextList(ULONG tag, std::vector<LPWSTR>& items);

// A store file in a scratch folder of its own, holding only its personal address book when made.
// Every Add gives the new entry's identifier text and fails the test (not the call) when the
// stand-in refuses.
class CStoreFile {
public:
    explicit CStoreFile(const wchar_t* pabName = L"Contacts");
    CStoreFile(const CStoreFile&) = delete;
    CStoreFile& operator=(const CStoreFile&) = delete;

    const std::string& path() const { return m_path; }
    const std::string& pab() const { return m_pab; }
    std::string AddFolder(const std::wstring& name);
    // folder "": the personal address book.
    std::string AddContact(const std::string& folder, std::vector<SPropValue> props);
    std::string AddNamed(const std::string& folder, const wchar_t* name);
    std::string AddGroup(const std::string& folder, const wchar_t* name, const std::vector<std::string>& members);
    // Adds the folders, contacts and groups of a description in wabstore.exe's format (see
    // standins/wab32/description.h); its first error fails the test.
    bool Load(const std::string& description);
    // The file made anew with only its personal address book; the stand-in refuses while this
    // process has a session open on it.
    bool Recreate();

    CTempDir dir;

private:
    std::wstring m_pabName;
    std::string m_path;
    std::string m_pab;
};

// The stand-in's store tool, wabstore.exe, run to its end with these arguments (each quoted);
// its exit code, -1 when it did not end.
LONG WabStore(const std::vector<std::string>& arguments,
              const std::vector<std::pair<std::string, std::string>>& env = {});

// Quillon.exe's world for a test that runs it: its data folder in a scratch folder, a scratch store
// that the registry names as the address book's default, and these settings of its key cleared;
// all as they were again when the object goes.
class CQuillonWorld : public CScratchAppData {
public:
    explicit CQuillonWorld(std::vector<std::string> clearedSettings = {});
    // The program's error log, for the message of a failure.
    std::string ErrLog() const { return "main.err:\n" + ReadFileBytes(DataFile("main.err")); }

    CStoreFile store;

private:
    CSavedValue m_wabFile;
    CClearedValues m_settings;
};

// The contacts of a folder as a CWABLib (the program's g_wabLib unless told otherwise) lists them,
// each opened: its identifier text and the entry. A failing list or open fails the test.
struct COpenedItem {
    std::string id;
    Microsoft::WRL::ComPtr<IMAPIProp> entry;
};
inline std::vector<COpenedItem> OpenItems(const std::string& folder, CWABLib& wab = g_wabLib)
{
    std::vector<COpenedItem> items;
    CItemList list;
    EXPECT_EQ(S_OK, wab.GetItems(folder.c_str(), false, list.put())) << folder;
    for (ULONG i = 0; list && i < list->count; ++i) {
        items.push_back({list->items[i].id, nullptr});
        ULONG type = 0;
        EXPECT_EQ(S_OK, wab.OpenItem(list->items[i].id, &type, items.back().entry.GetAddressOf())) << items.back().id;
    }
    return items;
}

// A scratch store that a CWABLib (the program's g_wabLib unless told otherwise) opens with Open()
// and that is closed when the object goes: the faults a test injected are cleared first, and no
// object of the address book may outlive the session. Open after building, so that the session
// reads what was built.
class CScratchBook : public CStoreFile {
public:
    explicit CScratchBook(CWABLib& wab = g_wabLib, const wchar_t* pabName = L"Contacts")
        : CStoreFile(pabName), m_wab(wab)
    {
    }
    ~CScratchBook() { Close(); }

    bool Open() { return m_wab.Init(false, path().c_str(), false); }
    void Close()
    {
        WabStandinClearFaults();
        m_wab.Close();
        EXPECT_EQ(0u, WabStandinLiveObjects()) << "objects of the address book outlived the session";
    }
    // Closed, made anew and opened again: the next case of a table starts from an empty book.
    bool Renew()
    {
        Close();
        return Recreate() && Open();
    }

private:
    CWABLib& m_wab;
};

}  // namespace testsupport
