// What the codec's tests share: the system's conversions behind the codec's interfaces, so that
// the formats run here as they do in Quillon without the program's character converter above
// them, and the vCard reader run over a whole text, keeping every card it hands over and every
// report it makes.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "codec/vcard/CardReader.h"
#include "codec/vcard/CardText.h"
#include "support/testsupport.h"

namespace codectest {

using testsupport::Card;
using testsupport::Crlf;
using testsupport::Date;
using testsupport::W;

// The system's conversions behind the codecs' interfaces, for a codec on its own (CP_UTF8 until
// a reader or a test sets another). It knows the charset names the tests write, in any case, and
// the lead bytes of the system's double-byte code pages.
class CWinConverter : public vcard::ITextDecoder, public vcard::ITextEncoder {
public:
    int CodePageByCharset(const char* name) const override;
    void SetCodePage(int codePage) override { m_codePage = codePage == vcard::kAnsiCodePage ? CP_ACP : codePage; }
    int ToWide(const std::string& bytes, std::wstring* text) const override;
    bool LeadBytes(int codePage, bool* leadBytes) const override;
    int ToBytes(const wchar_t* text, size_t n, std::string* bytes) const override;
    UINT m_codePage = CP_UTF8;
};

// Keeps, while it lives, what the readers of ReadAll report (a line each: what, the property).
class CReportWatch {
public:
    CReportWatch();
    ~CReportWatch();
    CReportWatch(const CReportWatch&) = delete;
    CReportWatch& operator=(const CReportWatch&) = delete;
    const std::vector<std::string>& Texts() const { return m_texts; }
    // To the newest watch alive; nowhere when none is.
    static void Add(const std::string& text);

private:
    CReportWatch* m_outer;
    std::vector<std::string> m_texts;
};

// A card reader over the system's conversions with a text loaded; its reports go to the watch.
class CLoadedReader : private vcard::ICardReports {
public:
    explicit CLoadedReader(const std::string& text);
    vcard::CCardReader& Reader() { return m_reader; }

private:
    void ReportInvalidElement() override;
    void ReportLineCut() override;
    void ReportCardCut(size_t skipped) override;
    void ReportValuesDropped(size_t count, const std::wstring& first) override;

    CWinConverter m_decoder;
    vcard::CCardReader m_reader;
};

using testsupport::CReadResult;

// Reads a whole text with a fresh reader; every card handed to the sink is kept.
CReadResult ReadAll(const std::string& text);
// The only card of a text (fails the test when there is not exactly one).
CContactRecord ReadOne(const std::string& text);

}  // namespace codectest
