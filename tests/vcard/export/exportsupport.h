// What the export tests share: card texts from lines, file times, a scratch address book in the
// stand-in store with contacts made from plain values, and a watcher that answers (and records)
// the closing message boxes of the run.
#pragma once

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "support/testsupport.h"

namespace exporttest {

// The lines joined with CR LF, each line ended.
std::string Crlf(const std::vector<std::string>& lines);

// A UTC calendar time as a file time.
uint64_t FileTime(int year, int month, int day, int hour = 0, int minute = 0, int second = 0);

// The encodings file beside the tests, loaded into g_charConverter once per process.
void LoadEncodings();

// One property of a contact to add: texts, text lists, dates, 16- and 32-bit numbers.
struct Prop {
    ULONG tag;
    std::wstring text;
    std::vector<std::wstring> list;
    uint64_t time = 0;
    long number = 0;

    Prop(ULONG t, const std::wstring& s) : tag(t), text(s) {}
    Prop(ULONG t, const std::vector<std::wstring>& l) : tag(t), list(l) {}
    Prop(ULONG t, uint64_t when) : tag(t), time(when) {}
    static Prop Number(ULONG t, long n)
    {
        Prop p(t, std::wstring());
        p.number = n;
        return p;
    }
};

// A scratch store file with its personal address book, opened as the program's session
// (g_wabLib) for the test's life.
class CScratchBook {
public:
    CScratchBook();
    ~CScratchBook();
    CScratchBook(const CScratchBook&) = delete;
    CScratchBook& operator=(const CScratchBook&) = delete;

    bool ok() const { return m_ok; }
    const std::string& pab() const { return m_pab; }
    // A new folder; its identifier text.
    std::string AddFolder(const std::wstring& name);
    // A contact in a folder (empty: the personal address book); its identifier text. Unless the
    // properties hold a modification time, a fixed one is set so that cards compare exactly.
    std::string AddContact(const std::vector<Prop>& props, const std::string& folder = std::string());
    // Tag of ConferencingServers in this store (type PT_MV_UNICODE).
    ULONG ConferencingTag();

private:
    testsupport::CTempDir m_dir;
    std::string m_store;
    std::string m_pab;
    bool m_ok = false;
};

// Answers every message box captioned "Quillon for Outlook Express" of this process with OK
// while it lives, and keeps their texts.
class CBoxWatch : public testsupport::CBoxWatch {
public:
    CBoxWatch() : testsupport::CBoxWatch(L"Quillon for Outlook Express") {}
};

}  // namespace exporttest
