// The reader as the import runs it: values decoded through the character converter, the card
// loop kept from running out of memory, and what the reader meets told to the log and the user.
#include "vcard/import/vCardImport.h"

#include <new>

#include "base/App.h"
#include "base/Log.h"
#include "base/strings.h"
#include "common/text.h"
#include "base/Prompts.h"
#include "contact/CharConverter.h"

namespace {

const char kCaption[] = "Quillon";

// The reader's values become characters through the character converter's current code page.
class CConverterDecoder : public vcard::ITextDecoder {
public:
    int CodePageByCharset(const char* name) const override { return g_charConverter.CodePageByCharset(name); }
    void SetCodePage(int codePage) override { g_charConverter.SetCurrentCodePage(codePage); }
    int ToWide(const std::string& bytes, std::wstring* text) const override
    {
        return g_charConverter.ToWide(bytes, text);
    }
    bool LeadBytes(int codePage, bool* leadBytes) const override
    {
        UINT cp = codePage == CCharConverter::kAnsiCodePage ? ::GetACP() : static_cast<UINT>(codePage);
        CPINFO info = {};
        if (codePage == CCharConverter::kNoCodePage || !::GetCPInfo(cp, &info) || info.MaxCharSize != 2)
            return false;
        for (int b = 0; b < 256; ++b)
            leadBytes[b] = ::IsDBCSLeadByteEx(cp, static_cast<BYTE>(b)) != FALSE;
        return true;
    }
};

CConverterDecoder g_converterDecoder;

// "%1" and "%2" of a string-table text, each replaced once by its argument (the arguments are
// not searched again, so a path holding "%2" stays as it is).
std::string Substitute(const std::string& text, const std::string& one, const std::string& two)
{
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 1 < text.size() && (text[i + 1] == '1' || text[i + 1] == '2')) {
            out += text[i + 1] == '1' ? one : two;
            ++i;
        } else {
            out.push_back(text[i]);
        }
    }
    return out;
}

}  // namespace

CvCardImport::CvCardImport() : m_reader(g_converterDecoder, this) {}
CvCardImport::~CvCardImport() = default;

int CvCardImport::ReadCards(const vcard::CCardReader::CardSink& sink)
{
    try {
        return m_reader.ReadAllCards(sink);
    } catch (const std::bad_alloc&) {
        g_log.LogErr("CvCardImport::ReadCards", E_OUTOFMEMORY, "%s", m_currentFilePath.c_str());
        m_reader.ResetCard();
        return -1;
    }
}

void CvCardImport::ReportLineCut()
{
    g_log.LogWar("CvCardImport::ReadCards", 0, "%s: %s line of %zu bytes cut to its first %zu in card \"%s\"",
                 m_currentFilePath.c_str(), m_reader.Text().Name().c_str(), m_reader.Text().FullLineBytes(),
                 vcard::CvCardText::kMaxLineBytes, common::ToUtf8(m_reader.CardName()).c_str());
}

void CvCardImport::ReportCardCut(size_t skipped)
{
    g_log.LogWar("CvCardImport::ReadCards", 0,
                 "%s: card \"%s\" holds more than %zu bytes of values to store: %zu more lines skipped",
                 m_currentFilePath.c_str(), common::ToUtf8(m_reader.CardName()).c_str(),
                 vcard::CCardReader::kMaxCardBytes, skipped);
}

void CvCardImport::ReportValuesDropped(size_t count, const std::wstring& first)
{
    g_log.LogWar("CvCardImport::ReadCards", 0,
                 "%s: card \"%s\" has %zu %s of kinds whose fields it had filled already, not stored (first: %s)",
                 m_currentFilePath.c_str(), common::ToUtf8(m_reader.CardName()).c_str(), count,
                 count == 1 ? "value" : "values", common::ToUtf8(first).c_str());
}

void CvCardImport::ReportInvalidElement()
{
    g_log.LogWar("CvCardImport::_ReportInvalidElement", 0, "%s in %s is not valid quoted-printable",
                 m_reader.Text().Name().c_str(), m_currentFilePath.c_str());
    std::string text = Substitute(LoadProgramString(IDS_ELEMENT_INVALID),
                                  common::WideToAnsi(m_currentFile), m_reader.Text().Name());
    PromptBox(m_owner, text.c_str(), kCaption, MB_OK | MB_ICONEXCLAMATION);
}

void CvCardImport::ShowNoFilesMessage() const
{
    std::string text = LoadProgramString(IDS_NO_VCARD_FILES);
    PromptBox(m_owner, text.c_str(), kCaption, MB_OK | MB_ICONEXCLAMATION);
}

bool CvCardImport::ShowCannotOpenMessage(const char* path) const
{
    std::string text = std::string(path ? path : "") +
                       LoadProgramString(IDS_FILE_CANNOT_OPEN);
    return PromptBox(m_owner, text.c_str(), kCaption, MB_OKCANCEL | MB_ICONEXCLAMATION) != IDCANCEL;
}
