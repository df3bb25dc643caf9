// Real code pages on the build host, through iconv, behind the interfaces the writer and the
// reader convert with in Quillon (there: the character converter over the system's code pages).
// Characters a code page lacks become '?', as the system's default character does; bytes that
// are no character become U+FFFD.
#pragma once

#include <string>

#include "codec/vcard/CardText.h"
#include "codec/vcard/CardReader.h"

namespace fuzzhost {

struct CCodePage {
    int number;           // the Windows code page
    const char* charset;  // as the encodings file names it
    const char* iconvName;
    unsigned char leadFirst[2], leadLast[2];  // lead-byte ranges of a double-byte code page (0: none)
};

// UTF-8, windows-1252 (also the "ANSI" code page, -1), windows-1251, Shift_JIS and Big5.
const CCodePage* CodePages(size_t* count);
const CCodePage* FindCodePage(int number);

class CHostConverter : public vcard::ITextEncoder, public vcard::ITextDecoder {
public:
    explicit CHostConverter(int codePage) : m_codePage(codePage) {}
    // ITextEncoder
    int ToBytes(const wchar_t* text, size_t n, std::string* bytes) const override;
    // ITextDecoder
    int CodePageByCharset(const char* name) const override;
    void SetCodePage(int codePage) override { m_codePage = codePage; }
    int ToWide(const std::string& bytes, std::wstring* text) const override;
    bool LeadBytes(int codePage, bool* leadBytes) const override;

    // What the code page keeps of a text: converted there and back.
    std::wstring Through(const std::wstring& text) const;

private:
    int m_codePage;
};

}  // namespace fuzzhost
