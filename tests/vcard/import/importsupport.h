// What the import tests share: card texts built from lines, a reader run that keeps a copy of
// every card, the encodings list loaded once (from the common support), and a watcher that
// answers (and records) any message box the reader shows, so that no test can hang on one.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "codec/vcard/CardText.h"
#include "support/encodings.h"
#include "vcard/import/vCardImport.h"

namespace importtest {

using testsupport::Crlf;
using testsupport::LoadEncodings;

// One card: BEGIN:VCARD, VERSION (omitted when version is empty), the lines, END:VCARD.
std::string Card(const std::string& version, const std::vector<std::string>& lines);

// UTF-8 to UTF-16, for expected values.
std::wstring W(const std::string& utf8);

struct CReadResult {
    int result = 0;
    std::vector<CContactRecord> cards;
    std::vector<int> formats;
};

// Reads a whole text with a fresh CvCardImport; every card handed to the sink is kept.
CReadResult ReadAll(const std::string& text);
// The only card of a text (fails the test when there is not exactly one).
CContactRecord ReadOne(const std::string& text);

// The system's conversions behind the codecs' interfaces, for a codec on its own (CP_UTF8 until
// a reader sets another).
class CWinConverter : public vcard::ITextDecoder, public vcard::ITextEncoder {
public:
    int CodePageByCharset(const char*) const override { return 0; }
    void SetCodePage(int codePage) override { m_codePage = codePage == vcard::kAnsiCodePage ? CP_ACP : codePage; }
    int ToWide(const std::string& bytes, std::wstring* text) const override;
    bool LeadBytes(int, bool*) const override { return false; }
    int ToBytes(const wchar_t* text, size_t n, std::string* bytes) const override;
    UINT m_codePage = CP_UTF8;
};

// A birthday as the import stores it.
using testsupport::Date;

// Answers every "Quillon" message box of this process with a button (IDOK, IDCANCEL) while it
// lives, and keeps each box's text.
class CBoxWatch : public testsupport::CBoxWatch {
public:
    explicit CBoxWatch(int button = IDOK) : testsupport::CBoxWatch(L"Quillon", button) {}
};

}  // namespace importtest
