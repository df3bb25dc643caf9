// Contacts as CSV text, both ways, over the column table of CsvColumns.h.
//
// The writer follows RFC 4180: a header row, then a row per contact, CRLF at every row's end, a
// field quoted when it holds a comma, a quote or a line break, a quote inside doubled. Dates are
// written YYYY-MM-DD (ISO 8601): the one form that no importer reads with day and month swapped,
// whatever the locale (Outlook's own M/D/YYYY is read as D/M/YYYY in half the world), and the form
// Google Contacts and Outlook both take.
//
// The reader takes what the programs write, and what hostile or broken files hold:
//   - Encoding: a byte-order mark (UTF-8, UTF-16 LE or BE); UTF-16 without one, told by the zero
//     bytes of its ASCII header; well-formed UTF-8; else the system's ANSI code page. UTF-16 is
//     turned into UTF-8 first; cells become characters through the ITextDecoder.
//   - Delimiter: the most frequent of comma, semicolon and tab outside quotes in the header row
//     (comma when none is there), unless a first line "sep=X" (Excel's) names it.
//   - Rows end at CR, LF or CR LF outside quotes; a quoted field may span lines. A quote that is
//     never closed would swallow the rest of the file: the field is then read again with the
//     quote as a plain character, and from there on no quoted field goes past its line.
//   - The header is the first row that is not empty. A row shorter than the header lacks its
//     last fields; cells beyond the header are not read (reported). A row of empty cells is no
//     contact.
//   - Bounds: a cell keeps at most kMaxCellBytes, a row at most kMaxColumns cells and
//     kMaxRowBytes bytes; whatever lies beyond is stepped over without being kept, so time is in
//     proportion to the bytes and memory to the bounds.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

#include "codec/ContactRecord.h"
#include "codec/csv/CsvColumns.h"
#include "codec/vcard/CardReader.h"
#include "codec/vcard/CardText.h"

namespace csv {

// The record of one contact as a CSV row (no line end); the header row with HeaderRow.
class CCsvWriter {
public:
    explicit CCsvWriter(const vcard::ITextEncoder& encoder) : m_encoder(encoder) {}
    // The header row with its CRLF, in ASCII.
    static std::string HeaderRow();
    // Empties out and appends the record's row with its CRLF.
    void Write(const CContactRecord& record, std::string* out);

private:
    void _Cell(const std::wstring& text, std::string* out);

    const vcard::ITextEncoder& m_encoder;
    std::wstring m_wide;
    std::string m_bytes;
    std::vector<std::wstring> m_emails, m_types;  // the row's addresses, the default first
};

// What the reader found the text to be.
enum class Encoding { kAnsi, kUtf8, kUtf8Mark, kUtf16Le, kUtf16Be, kUtf16LeUnmarked, kUtf16BeUnmarked };

class CCsvReader {
public:
    static constexpr size_t kMaxCellBytes = 1024 * 1024;
    static constexpr size_t kMaxColumns = 2048;
    static constexpr size_t kMaxRowBytes = 8 * 1024 * 1024;

    // Told what was not read and why, one line each (UTF-8, for the log).
    using NoteSink = std::function<void(const std::string&)>;
    // Called for each contact, with it in Record(); a negative result stops the reading.
    using RecordSink = std::function<int()>;

    CCsvReader(vcard::ITextDecoder& decoder, const NoteSink& notes = NoteSink())
        : m_decoder(decoder), m_notes(notes) {}
    CCsvReader(const CCsvReader&) = delete;
    CCsvReader& operator=(const CCsvReader&) = delete;

    // Takes a file's bytes: finds the encoding, the delimiter and the header. Memory running out
    // throws std::bad_alloc.
    void Load(const char* bytes, size_t size);
    void Free();
    Encoding TextEncoding() const { return m_encoding; }
    char Delimiter() const { return m_delimiter; }
    const std::vector<CField>& Columns() const { return m_fields; }

    // The columns whose names no set we know has and that hold values, each with its name and
    // first value (at most kMaxColumns of them), for the user to say where they go. None for a
    // text that is no table (a single column, or zero bytes near its start).
    struct CUnmapped {
        size_t column;
        std::wstring name, sample;
    };
    std::vector<CUnmapped> UnmappedColumns();
    // Reads column into field from now on (until the next Load).
    void MapColumn(size_t column, const CField& field);

    // Contacts in the text: the rows after the header with a value in a column that maps onto a
    // field. Reading them goes through the same rows.
    size_t CountRecords();
    // Every contact into Record(), handed to sink. 0 at the end, -1 when the sink stopped.
    // The notes (what was not read) follow at the end.
    int ReadAll(const RecordSink& sink);

    const CContactRecord& Record() const { return m_record; }
    // The contact's name for messages: display name, else the name parts and company.
    std::wstring RecordName() const;
    // The row just handed over lost a value to the bounds, or values its fields had no room for.
    bool RecordCut() const { return m_cut; }

private:
    // The cells of the next row into m_cells (m_cellCount of them); false at the end of the text.
    bool _ReadRow();
    // One cell from m_read on; the delimiter or line end behind it is taken too. True when the
    // row goes on.
    bool _ReadCell(std::string* cell, bool keep);
    // The row has a value in a column that maps onto a field.
    bool _RowHasContact() const;
    void _StartRows();
    void _FillRecord();
    void _Apply(const CField& field, const std::wstring& value, size_t column);
    void _FinishGoogle();
    void _FinishRecord();
    void _Note(const std::string& text) const;
    // Puts value into the first empty one of fields; false when all are taken.
    bool _Fill(std::initializer_list<std::wstring*> fields, const std::wstring& value);
    void _Dropped(const char* column, const std::wstring& value);

    vcard::ITextDecoder& m_decoder;
    NoteSink m_notes;
    std::string m_text;
    size_t m_read = 0;
    size_t m_bodyStart = 0;
    Encoding m_encoding = Encoding::kAnsi;
    char m_delimiter = ',';
    bool m_quotesLocal = false;   // after an unclosed quote: no quoted field spans lines
    size_t m_unclosedQuotes = 0;
    size_t m_firstUnclosedRow = 0;
    bool m_bodyQuotesLocal = false;  // the state the rows start in, after the header
    size_t m_headerUnclosed = 0;
    std::vector<std::string> m_headers;
    std::vector<CField> m_fields;
    size_t m_known = 0;  // header columns that map onto a field (or are known and map onto none)
    std::vector<std::string> m_cells;
    size_t m_cellCount = 0;
    size_t m_extraCells = 0;      // cells of the row beyond the header or kMaxColumns
    bool m_cellCutInRow = false;
    size_t m_rowBytes = 0;
    bool m_nulInRow = false;
    size_t m_row = 0;
    // What the reading of the whole text met, told at its end.
    size_t m_rowsLong = 0, m_cellsCut = 0, m_nulRows = 0;
    std::vector<size_t> m_unreadValues;  // per column: values in columns that map onto nothing
    std::string m_firstDropped;
    size_t m_dropped = 0;

    CContactRecord m_record;
    bool m_cut = false;
    std::wstring m_value;
    // The row's e-mail addresses by number, their types, and Google's numbered groups.
    std::vector<std::wstring> m_emailSlots, m_typeSlots;
    std::vector<std::wstring> m_moreTypes;
    int m_birthYear = 0, m_birthMonth = 0, m_birthDay = 0;
    struct CGoogleGroup {
        GoogleKind kind;
        int number;
        std::wstring cells[static_cast<int>(GoogleCell::kIgnored)];
    };
    std::vector<CGoogleGroup> m_google;
    size_t m_googleUsed = 0;
    long m_primaryEmail = -1;
};

// Dates as the reader takes them: YYYY-MM-DD, YYYYMMDD, M/D/YYYY (D/M/YYYY when the first number
// exceeds 12), D.M.YYYY, with an optional time behind; two-digit years are 19xx or 20xx by
// Outlook's rule (below 30: 20xx). False for Outlook's "0/0/00" and whatever is no date.
bool ParseDate(const std::wstring& text, CContactDate* date);

// The texts of a cell joined by separator (";" or " ::: "), each trimmed, empty ones left out
// (kept when keepEmpty: lists whose places count).
// Joined by ";", a backslash before ';' or a backslash makes it part of the text, as the writer
// writes them.
std::vector<std::wstring> SplitCell(const std::wstring& text, const wchar_t* separator, bool keepEmpty = false);

}  // namespace csv
