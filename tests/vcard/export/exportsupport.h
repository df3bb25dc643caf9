// What the export tests share: what a code page makes of a text, a scratch address book opened
// as the program's session with contacts made from plain values, and a watcher that answers (and
// records) the closing message boxes of the run. Card texts from lines, file times and the
// encodings file come from the common support.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "support/encodings.h"
#include "support/storefile.h"

namespace exporttest {

using testsupport::Crlf;
using testsupport::LoadEncodings;

// A UTC calendar time as a file time.
using testsupport::FileTime;

// One property of a contact to add: texts, text lists, dates, 16- and 32-bit numbers.
struct Prop {
    ULONG tag;
    std::wstring text;
    std::vector<std::wstring> list;
    std::vector<std::string> blobs;
    uint64_t time = 0;
    long number = 0;

    Prop(ULONG t, const std::wstring& s) : tag(t), text(s) {}
    Prop(ULONG t, const std::vector<std::wstring>& l) : tag(t), list(l) {}
    Prop(ULONG t, uint64_t when) : tag(t), time(when) {}
    static Prop Blobs(ULONG t, const std::vector<std::string>& b)
    {
        Prop p(t, std::wstring());
        p.blobs = b;
        return p;
    }
    static Prop Number(ULONG t, long n)
    {
        Prop p(t, std::wstring());
        p.number = n;
        return p;
    }
};

// What a code page makes of a text: the system's own conversion there and back (-1: the ANSI
// code page).
std::wstring ThroughCodePage(const std::wstring& text, int codePage);

// A scratch store, opened as the program's session (g_wabLib) for the test's life.
class CScratchBook : public testsupport::CScratchBook {
public:
    CScratchBook() { m_ok = Open(); }

    bool ok() const { return m_ok; }
    // A contact in a folder (empty: the personal address book); its identifier text. Unless the
    // properties hold a modification time, a fixed one is set so that cards compare exactly.
    std::string AddContact(const std::vector<Prop>& props, const std::string& folder = std::string());
    // Tag of ConferencingServers in this store (type PT_MV_UNICODE).
    ULONG ConferencingTag();

private:
    bool m_ok = false;
};

// Answers every message box captioned "Quillon for Outlook Express" of this process with OK
// while it lives, and keeps their texts.
class CBoxWatch : public testsupport::CBoxWatch {
public:
    CBoxWatch() : testsupport::CBoxWatch(L"Quillon for Outlook Express") {}
};

}  // namespace exporttest
