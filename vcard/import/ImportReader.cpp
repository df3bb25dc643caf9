// The reader as the import runs it: values decoded through the character converter, the card
// loop kept from running out of memory, and what the reader meets told to the log and the user.
#include "vcard/import/vCardImport.h"

#include <climits>
#include <map>
#include <new>

#include "codec/csv/CsvText.h"
#include "codec/ldif/LdifReader.h"

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

// The vCard reader, whose reports reach the run itself (ICardReports).
class CCardSource : public IRecordSource {
public:
    explicit CCardSource(vcard::CCardReader& reader) : m_reader(reader) {}
    void Load(const char* bytes, size_t size) override { m_reader.Text().Load(bytes, size); }
    void Free() override { m_reader.Text().Free(); }
    size_t Count() override { return m_reader.Text().CountCards(); }
    int ReadAll(const std::function<int()>& sink) override { return m_reader.ReadAllCards(sink); }
    const CContactRecord& Record() const override { return m_reader.Card(); }
    std::wstring RecordName() const override { return m_reader.CardName(); }
    bool RecordCut() const override { return m_reader.CardCut(); }
    size_t Finish(const char* path) override
    {
        const char* ctx = "CvCardImport::ImportFile";
        size_t lost = 0;
        if (m_reader.TextEndedInCard()) {
            // A card cut off by the file's end was not counted; it is lost, and the run says so.
            g_log.LogWar(ctx, 0, "%s ends inside a card: that card was not imported", path);
            NoteNotTaken("file %s: its last card was not imported: the file ends inside it", path);
            lost = 1;
        } else if (m_reader.CardsRead() == 0 && m_reader.CardsTooDeep() == 0) {
            g_log.LogWar(ctx, 0, "%s holds no vCard", path);
            NoteNotTaken("file %s: holds no vCard", path);
        }
        if (m_reader.CardsTooDeep() > 0) {
            // Neither pass counted them; they are lost, and the run says so.
            g_log.LogWar(ctx, 0, "%s: %zu cards lying more than %zu deep inside cards were not imported", path,
                         m_reader.CardsTooDeep(), vcard::CvCardText::kMaxCardDepth);
            NoteNotTaken("file %s: %zu cards not imported: they lie more than %zu deep inside cards", path,
                         m_reader.CardsTooDeep(), vcard::CvCardText::kMaxCardDepth);
            lost += m_reader.CardsTooDeep();
        }
        return lost;
    }

private:
    vcard::CCardReader& m_reader;
};

// A reader of rows or entries: what it could not read goes to the log, a line each, with the
// file's path.
template <class Reader>
class CReaderSource : public IRecordSource {
public:
    explicit CReaderSource(const std::string& path)
        : m_path(path), m_reader(g_converterDecoder, [this](const std::string& note) {
              g_log.LogWar("CvCardImport::ReadCards", 0, "%s: %s", m_path.c_str(), note.c_str());
          })
    {
    }
    void Load(const char* bytes, size_t size) override { m_reader.Load(bytes, size); }
    void Free() override { m_reader.Free(); }
    size_t Count() override { return m_reader.CountRecords(); }
    int ReadAll(const std::function<int()>& sink) override { return m_reader.ReadAll(sink); }
    const CContactRecord& Record() const override { return m_reader.Record(); }
    std::wstring RecordName() const override { return m_reader.RecordName(); }
    bool RecordCut() const override { return m_reader.RecordCut(); }
    size_t Finish(const char*) override { return 0; }

protected:
    const std::string& m_path;
    Reader m_reader;
};

// The CSV reader. Columns no set knows are put to the run's column mapper once per file and run;
// the answer is kept, so that the import pass reads the file as the counting pass counted it.
class CCsvSource : public CReaderSource<csv::CCsvReader> {
public:
    CCsvSource(const std::string& path, const std::wstring& widePath, const CvCardImport::ColumnMapper& mapper)
        : CReaderSource(path), m_widePath(widePath), m_mapper(mapper)
    {
    }
    void StartRun() override { m_maps.clear(); }
    void Load(const char* bytes, size_t size) override
    {
        m_reader.Load(bytes, size);
        auto map = m_maps.find(m_path);
        if (map == m_maps.end())
            return;
        const std::vector<const csv::CColumn*> fields = csv::MappableColumns();
        for (const auto& chosen : map->second)
            m_reader.MapColumn(chosen.first, fields[chosen.second]->field);
    }
    size_t Count() override
    {
        size_t count = m_reader.CountRecords();
        if (!m_mapper || m_maps.count(m_path))
            return count;
        std::vector<std::pair<size_t, size_t>>& map = m_maps[m_path];
        const std::vector<csv::CCsvReader::CUnmapped> columns = m_reader.UnmappedColumns();
        if (columns.empty())
            return count;
        const std::vector<const csv::CColumn*> fields = csv::MappableColumns();
        std::vector<std::string> names;
        for (const csv::CColumn* field : fields)
            names.push_back(field->name);
        std::vector<int> choice(columns.size(), -1);
        m_mapper(m_widePath, columns, names, &choice);
        for (size_t i = 0; i < columns.size() && i < choice.size(); ++i) {
            if (choice[i] < 0 || static_cast<size_t>(choice[i]) >= fields.size())
                continue;
            map.emplace_back(columns[i].column, static_cast<size_t>(choice[i]));
            m_reader.MapColumn(columns[i].column, fields[static_cast<size_t>(choice[i])]->field);
            g_log.LogInf(1, "CvCardImport::CountCards", "%s: column \"%s\" read as \"%s\"", m_path.c_str(),
                         common::ToUtf8(columns[i].name).c_str(), fields[static_cast<size_t>(choice[i])]->name);
        }
        return map.empty() ? count : m_reader.CountRecords();
    }

private:
    const std::wstring& m_widePath;
    const CvCardImport::ColumnMapper& m_mapper;
    // By file (UTF-8 path): the columns the user sent to a field, with the field's index among
    // csv::MappableColumns.
    std::map<std::string, std::vector<std::pair<size_t, size_t>>> m_maps;
};

using CLdifSource = CReaderSource<ldif::CLdifReader>;

}  // namespace

CvCardImport::CvCardImport() : m_reader(g_converterDecoder, this)
{
    m_sources[kVCardFile].reset(new CCardSource(m_reader));
    m_sources[kCsvFile].reset(new CCsvSource(m_currentFilePath, m_currentFile, m_columnMapper));
    m_sources[kLdifFile].reset(new CLdifSource(m_currentFilePath));
    m_source = m_sources[kVCardFile].get();
}
CvCardImport::~CvCardImport() = default;

int CvCardImport::ReadCards(const vcard::CCardReader::CardSink& sink)
{
    try {
        return m_source->ReadAll(sink);
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
