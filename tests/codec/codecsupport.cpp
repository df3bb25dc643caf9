#include "codecsupport.h"

#include <gtest/gtest.h>

#include "common/text.h"

namespace codectest {

int CWinConverter::CodePageByCharset(const char* name) const
{
    static const struct {
        const char* name;
        int codePage;
    } kCharsets[] = {{"UTF-8", 65001},       {"windows-1252", 1252}, {"windows-1251", 1251},
                     {"ISO-8859-1", 28591},  {"KOI8-R", 20866},      {"Shift_JIS", 932}};
    for (const auto& c : kCharsets) {
        if (::lstrcmpiA(c.name, name) == 0)
            return c.codePage;
    }
    return 0;
}

int CWinConverter::ToWide(const std::string& bytes, std::wstring* text) const
{
    text->assign(bytes.size() + 1, L'\0');
    int n = ::MultiByteToWideChar(m_codePage, 0, bytes.data(), static_cast<int>(bytes.size()), &(*text)[0],
                                  static_cast<int>(text->size()));
    text->resize(n > 0 ? static_cast<size_t>(n) : 0);
    return n;
}

bool CWinConverter::LeadBytes(int codePage, bool* leadBytes) const
{
    if (codePage <= 0 && codePage != vcard::kAnsiCodePage)
        return false;
    UINT cp = codePage == vcard::kAnsiCodePage ? ::GetACP() : static_cast<UINT>(codePage);
    CPINFO info = {};
    if (!::GetCPInfo(cp, &info) || info.MaxCharSize != 2)
        return false;
    for (int b = 0; b < 256; ++b)
        leadBytes[b] = ::IsDBCSLeadByteEx(cp, static_cast<BYTE>(b)) != FALSE;
    return true;
}

int CWinConverter::ToBytes(const wchar_t* text, size_t n, std::string* bytes) const
{
    bytes->assign(n * 4 + 1, '\0');
    int k = ::WideCharToMultiByte(m_codePage, 0, text, static_cast<int>(n), &(*bytes)[0],
                                  static_cast<int>(bytes->size()), nullptr, nullptr);
    bytes->resize(k > 0 ? static_cast<size_t>(k) : 0);
    return k > 0 ? k : -1;
}

namespace {
CReportWatch* g_watch = nullptr;
}

CReportWatch::CReportWatch() : m_outer(g_watch) { g_watch = this; }
CReportWatch::~CReportWatch() { g_watch = m_outer; }

void CReportWatch::Add(const std::string& text)
{
    if (g_watch)
        g_watch->m_texts.push_back(text);
}

CLoadedReader::CLoadedReader(const std::string& text) : m_reader(m_decoder, this)
{
    m_reader.Text().Load(text.data(), text.size());
}

void CLoadedReader::ReportInvalidElement() { CReportWatch::Add("invalid element " + m_reader.Text().Name()); }
void CLoadedReader::ReportLineCut() { CReportWatch::Add("line cut " + m_reader.Text().Name()); }
void CLoadedReader::ReportCardCut(size_t skipped)
{
    CReportWatch::Add("card cut, lines skipped: " + std::to_string(skipped));
}
void CLoadedReader::ReportValuesDropped(size_t count, const std::wstring& first)
{
    CReportWatch::Add("values dropped: " + std::to_string(count) + ", the first " + common::ToUtf8(first));
}

CReadResult ReadAll(const std::string& text)
{
    CLoadedReader loaded(text);
    vcard::CCardReader& reader = loaded.Reader();
    CReadResult r;
    r.result = reader.ReadAllCards([&] {
        r.cards.push_back(reader.Card());
        r.formats.push_back(reader.FormatCode());
        return 0;
    });
    return r;
}

CContactRecord ReadOne(const std::string& text)
{
    return testsupport::OnlyCard(ReadAll(text), text);
}

}  // namespace codectest
