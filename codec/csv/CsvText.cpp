#include "codec/csv/CsvText.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "codec/vcard/vCardText.h"

namespace csv {

namespace {

std::wstring Base64(const std::string& bytes)
{
    const std::string digits = vcard::EncodeBase64(bytes);
    return std::wstring(digits.begin(), digits.end());
}

// False for an empty value too: a cell of blanks holds no certificate.
bool FromBase64(const std::wstring& text, std::string* bytes)
{
    bytes->clear();
    std::string digits;
    for (wchar_t c : text) {
        if (c <= 0 || c >= 128)
            return false;
        digits.push_back(static_cast<char>(c));
    }
    return vcard::DecodeBase64(digits.data(), digits.size(), bytes, true) && !bytes->empty();
}

// A list in one cell, its entries joined with ';': a ';' or backslash inside an entry is
// written behind a backslash, so that the entry comes back whole.
std::wstring Join(const std::vector<std::wstring>& list, size_t from = 0)
{
    std::wstring joined;
    for (size_t i = from; i < list.size(); ++i) {
        if (i > from)
            joined += L';';
        for (wchar_t c : list[i]) {
            if (c == L';' || c == L'\\')
                joined += L'\\';
            joined += c;
        }
    }
    return joined;
}

bool IsBlank(wchar_t c) { return c == L' ' || c == L'\t' || c == L'\r' || c == L'\n'; }

std::wstring Trimmed(const std::wstring& s)
{
    size_t b = 0, e = s.size();
    while (b < e && IsBlank(s[b]))
        ++b;
    while (e > b && IsBlank(s[e - 1]))
        --e;
    return s.substr(b, e - b);
}

std::wstring Lower(std::wstring s)
{
    for (wchar_t& c : s) {
        if (c >= L'A' && c <= L'Z')
            c = static_cast<wchar_t>(c + 32);
    }
    return s;
}

// UTF-16 of p (n bytes) as UTF-8; a lone surrogate becomes U+FFFD.
void Utf16ToUtf8(const char* p, size_t n, bool bigEndian, std::string* out)
{
    out->clear();
    out->reserve(n + n / 2);
    auto unit = [p, bigEndian](size_t i) -> uint32_t {
        unsigned char a = static_cast<unsigned char>(p[i]), b = static_cast<unsigned char>(p[i + 1]);
        return bigEndian ? (a << 8 | b) : (b << 8 | a);
    };
    for (size_t i = 0; i + 1 < n; i += 2) {
        uint32_t c = unit(i);
        if (c >= 0xD800 && c <= 0xDBFF && i + 3 < n && unit(i + 2) >= 0xDC00 && unit(i + 2) <= 0xDFFF) {
            c = 0x10000 + ((c - 0xD800) << 10) + (unit(i + 2) - 0xDC00);
            i += 2;
        } else if (c >= 0xD800 && c <= 0xDFFF) {
            c = 0xFFFD;
        }
        if (c < 0x80) {
            out->push_back(static_cast<char>(c));
        } else if (c < 0x800) {
            out->push_back(static_cast<char>(0xC0 | c >> 6));
            out->push_back(static_cast<char>(0x80 | (c & 63)));
        } else if (c < 0x10000) {
            out->push_back(static_cast<char>(0xE0 | c >> 12));
            out->push_back(static_cast<char>(0x80 | (c >> 6 & 63)));
            out->push_back(static_cast<char>(0x80 | (c & 63)));
        } else {
            out->push_back(static_cast<char>(0xF0 | c >> 18));
            out->push_back(static_cast<char>(0x80 | (c >> 12 & 63)));
            out->push_back(static_cast<char>(0x80 | (c >> 6 & 63)));
            out->push_back(static_cast<char>(0x80 | (c & 63)));
        }
    }
}

// A date's numbers: up to three runs of digits, each of at most 8, behind one kind of separator.
bool DateNumbers(const std::wstring& text, wchar_t* separator, int numbers[3], int digits[3], int* count)
{
    *count = 0;
    *separator = 0;
    size_t i = 0;
    while (i < text.size() && *count < 3) {
        int value = 0, n = 0;
        while (i < text.size() && text[i] >= L'0' && text[i] <= L'9' && n < 9) {
            value = value * 10 + (text[i++] - L'0');
            ++n;
        }
        if (n == 0 || n > 8)
            return false;
        numbers[*count] = value;
        digits[(*count)++] = n;
        if (i == text.size())
            break;
        wchar_t c = text[i];
        if (c != L'-' && c != L'/' && c != L'.')
            return false;
        if (*separator && c != *separator)
            return false;
        *separator = c;
        ++i;
    }
    return i == text.size();
}

}  // namespace

bool ParseDate(const std::wstring& value, CContactDate* date)
{
    std::wstring text = Trimmed(value);
    // A time behind the date ("1970-05-17T00:00:00Z", "5/17/1970 0:00") is not the contact's.
    size_t cut = text.find_first_of(L" T");
    if (cut != std::wstring::npos)
        text.resize(cut);
    wchar_t separator = 0;
    int n[3] = {0, 0, 0}, digits[3] = {0, 0, 0}, count = 0;
    if (!DateNumbers(text, &separator, n, digits, &count))
        return false;
    int year = 0, month = 0, day = 0;
    if (count == 1 && digits[0] == 8) {
        year = n[0] / 10000;
        month = n[0] / 100 % 100;
        day = n[0] % 100;
    } else if (count != 3) {
        return false;
    } else if (digits[0] == 4) {
        year = n[0];
        month = n[1];
        day = n[2];
    } else if (separator == L'/') {
        month = n[0];
        day = n[1];
        if (month > 12)
            std::swap(month, day);
        year = n[2];
    } else {
        day = n[0];
        month = n[1];
        year = n[2];
    }
    if (count == 3 && digits[0] != 4 && digits[2] <= 2)
        year += year < 30 ? 2000 : 1900;
    uint64_t fileTime = 0;
    if (!vcard::FileTimeFromDate(year, month, day, &fileTime))
        return false;
    date->present = true;
    date->fileTime = fileTime;
    return true;
}

std::vector<std::wstring> SplitCell(const std::wstring& text, const wchar_t* separator, bool keepEmpty)
{
    std::vector<std::wstring> parts;
    auto add = [&parts, keepEmpty](const std::wstring& part) {
        std::wstring trimmed = Trimmed(part);
        if (!trimmed.empty() || keepEmpty)
            parts.push_back(trimmed);
    };
    if (std::wcscmp(separator, L";") == 0) {
        // A backslash before ';' or a backslash makes that character part of the entry; any other
        // backslash is one itself.
        std::wstring part;
        for (size_t i = 0; i < text.size(); ++i) {
            if (text[i] == L'\\' && i + 1 < text.size() && (text[i + 1] == L';' || text[i + 1] == L'\\')) {
                part += text[++i];
            } else if (text[i] == L';') {
                add(part);
                part.clear();
            } else {
                part += text[i];
            }
        }
        add(part);
        return parts;
    }
    const size_t n = std::wcslen(separator);
    size_t from = 0;
    while (from <= text.size()) {
        size_t at = text.find(separator, from);
        add(text.substr(from, at == std::wstring::npos ? std::wstring::npos : at - from));
        if (at == std::wstring::npos)
            break;
        from = at + n;
    }
    return parts;
}

// ---------------------------------------------------------------------------------------------
// Writer

std::string CCsvWriter::HeaderRow()
{
    size_t count = 0;
    const CColumn* columns = WrittenColumns(&count);
    std::string row;
    for (size_t i = 0; i < count; ++i) {
        if (i > 0)
            row.push_back(',');
        row += columns[i].name;
    }
    row += "\r\n";
    return row;
}

void CCsvWriter::_Cell(const std::wstring& text, std::string* out)
{
    if (text.empty() || m_encoder.ToBytes(text.data(), text.size(), &m_bytes) < 0)
        m_bytes.clear();
    // Checked on the bytes: a code page's best fit can turn a character into a quote or comma.
    // Blanks at the ends are quoted too, since some readers trim them from plain fields.
    bool quote = m_bytes.find_first_of(",\"\r\n") != std::string::npos ||
                 (!m_bytes.empty() && (m_bytes[0] == ' ' || m_bytes[0] == '\t' || m_bytes.back() == ' ' ||
                                       m_bytes.back() == '\t'));
    if (!quote) {
        out->append(m_bytes);
        return;
    }
    out->push_back('"');
    for (char c : m_bytes) {
        if (c == '"')
            out->push_back('"');
        out->push_back(c);
    }
    out->push_back('"');
}

void CCsvWriter::Write(const CContactRecord& r, std::string* out)
{
    out->clear();
    // The default address goes first: it is the one every reader takes for the contact's own.
    std::vector<std::wstring>& emails = m_emails;
    std::vector<std::wstring>& types = m_types;
    emails = r.emails;
    types = r.emailTypes;
    types.resize(emails.size());
    if (emails.empty() && !r.emailAddress.empty()) {
        emails.push_back(r.emailAddress);
        types.push_back(r.addrType);
    }
    if (r.defaultAddressIndex > 0 && static_cast<size_t>(r.defaultAddressIndex) < emails.size()) {
        size_t d = static_cast<size_t>(r.defaultAddressIndex);
        std::rotate(emails.begin(), emails.begin() + d, emails.begin() + d + 1);
        std::rotate(types.begin(), types.begin() + d, types.begin() + d + 1);
    }
    size_t count = 0;
    const CColumn* columns = WrittenColumns(&count);
    for (size_t i = 0; i < count; ++i) {
        if (i > 0)
            out->push_back(',');
        const CField& f = columns[i].field;
        // Most cells are a member of the record as it stands; the others are made in m_wide.
        const std::wstring* cell = &m_wide;
        m_wide.clear();
        switch (f.target) {
        case Target::kText:
            cell = &(r.*f.text);
            break;
        case Target::kAddressPart:
            cell = &(r.*f.address)[f.index];
            break;
        case Target::kDate: {
            const CContactDate& date = r.*f.date;
            vcard::CivilTime t;
            if (date.present && vcard::CivilFromFileTime(date.fileTime, &t) && t.year <= 9999) {
                wchar_t text[16];
                std::swprintf(text, 16, L"%04d-%02d-%02d", t.year, t.month, t.day);
                m_wide = text;
            }
            break;
        }
        case Target::kCategories:
            m_wide = Join(r.groups);
            break;
        case Target::kEmail:
            if (static_cast<size_t>(f.index) < emails.size())
                cell = &emails[static_cast<size_t>(f.index)];
            break;
        case Target::kEmailType:
            if (static_cast<size_t>(f.index) < emails.size())
                cell = &types[static_cast<size_t>(f.index)];
            break;
        case Target::kMoreEmails:
            m_wide = Join(emails, 3);
            break;
        case Target::kMoreEmailTypes:
            m_wide = Join(types, 3);
            break;
        case Target::kGender:
            if (r.hasGender)
                m_wide = r.gender == 2 ? L"Male" : r.gender == 1 ? L"Female" : L"Unspecified";
            break;
        case Target::kList:
            m_wide = Join(r.*f.list);
            break;
        case Target::kCertificates:
            for (size_t k = 0; k < r.certificates.size(); ++k)
                m_wide += (k > 0 ? L";" : L"") + Base64(r.certificates[k]);
            break;
        default:
            break;
        }
        _Cell(*cell, out);
    }
    out->append("\r\n");
}

// ---------------------------------------------------------------------------------------------
// Reader

void CCsvReader::Free()
{
    std::string().swap(m_text);
    m_read = m_bodyStart = 0;
    m_headers.clear();
    m_fields.clear();
    m_known = 0;
    m_cells.clear();
    m_cellCount = 0;
    m_row = 0;
}

void CCsvReader::Load(const char* bytes, size_t size)
{
    Free();
    const unsigned char* u = reinterpret_cast<const unsigned char*>(bytes);
    if (size >= 3 && u[0] == 0xEF && u[1] == 0xBB && u[2] == 0xBF) {
        m_encoding = Encoding::kUtf8Mark;
        m_text.assign(bytes + 3, size - 3);
    } else if (size >= 2 && ((u[0] == 0xFF && u[1] == 0xFE) || (u[0] == 0xFE && u[1] == 0xFF))) {
        m_encoding = u[0] == 0xFF ? Encoding::kUtf16Le : Encoding::kUtf16Be;
        Utf16ToUtf8(bytes + 2, size - 2, u[0] == 0xFE, &m_text);
    } else {
        // Without a mark, UTF-16 shows in the zero bytes of its ASCII header names.
        size_t pairs = std::min<size_t>(size, 512) / 2, zeroEven = 0, zeroOdd = 0;
        for (size_t i = 0; i < pairs; ++i) {
            zeroEven += u[2 * i] == 0;
            zeroOdd += u[2 * i + 1] == 0;
        }
        if (pairs >= 2 && zeroOdd * 2 >= pairs && zeroEven * 8 < pairs) {
            m_encoding = Encoding::kUtf16LeUnmarked;
            Utf16ToUtf8(bytes, size, false, &m_text);
        } else if (pairs >= 2 && zeroEven * 2 >= pairs && zeroOdd * 8 < pairs) {
            m_encoding = Encoding::kUtf16BeUnmarked;
            Utf16ToUtf8(bytes, size, true, &m_text);
        } else {
            m_encoding = vcard::IsNonAsciiUtf8(bytes, size) ? Encoding::kUtf8 : Encoding::kAnsi;
            m_text.assign(bytes, size);
        }
    }
    m_decoder.SetCodePage(m_encoding == Encoding::kAnsi ? vcard::kAnsiCodePage : vcard::kUtf8CodePage);

    // The delimiter: counted outside quotes over the first row that is not empty.
    size_t at = 0;
    while (at < m_text.size() && (m_text[at] == '\r' || m_text[at] == '\n'))
        ++at;
    size_t counts[3] = {0, 0, 0};
    bool quoted = false;
    for (size_t i = at; i < m_text.size(); ++i) {
        char c = m_text[i];
        if (c == '"')
            quoted = !quoted;
        else if (!quoted && (c == '\r' || c == '\n'))
            break;
        else if (!quoted)
            counts[0] += c == ',', counts[1] += c == ';', counts[2] += c == '\t';
    }
    m_delimiter = counts[1] > counts[0] && counts[1] >= counts[2] ? ';' : counts[2] > counts[0] ? '\t' : ',';
    // Excel's hint, a first line "sep=;", names the separator itself and is no header.
    if (m_text.compare(at, 4, "sep=") == 0 && at + 5 <= m_text.size() &&
        (at + 5 == m_text.size() || m_text[at + 5] == '\r' || m_text[at + 5] == '\n') && m_text[at + 4] != '"' &&
        m_text[at + 4] != '\r' && m_text[at + 4] != '\n') {
        m_delimiter = m_text[at + 4];
        at += 5;
        while (at < m_text.size() && (m_text[at] == '\r' || m_text[at] == '\n'))
            ++at;
    }

    m_read = at;
    m_quotesLocal = false;
    m_unclosedQuotes = 0;
    m_fields.clear();
    if (_ReadRow()) {
        m_headers.assign(m_cells.begin(), m_cells.begin() + static_cast<long>(m_cellCount));
        for (const std::string& name : m_headers) {
            m_fields.push_back(FieldByHeader(name));
            if (m_fields.back().target != Target::kUnknown)
                ++m_known;
        }
    }
    if (m_extraCells > 0)
        m_headers.push_back(std::string());  // marks the header as cut, for the notes
    m_bodyStart = m_read;
    m_bodyQuotesLocal = m_quotesLocal;
    m_headerUnclosed = m_unclosedQuotes;
}

void CCsvReader::_Note(const std::string& text) const
{
    if (m_notes)
        m_notes(text);
}

bool CCsvReader::_ReadCell(std::string* cell, bool keep)
{
    const char* t = m_text.data();
    const size_t n = m_text.size();
    cell->clear();
    auto put = [&](const char* p, size_t len) {
        if (!keep)
            return;
        size_t room = std::min(kMaxCellBytes - cell->size(), kMaxRowBytes - m_rowBytes);
        if (len > room) {
            len = room;
            m_cellCutInRow = true;
        }
        cell->append(p, len);
        m_rowBytes += len;
    };
    size_t i = m_read;
    if (i < n && t[i] == '"') {
        const size_t start = i;
        const size_t rowBytes = m_rowBytes;
        const bool rowCut = m_cellCutInRow;
        bool closed = false;
        ++i;
        while (true) {
            size_t q = i;
            if (m_quotesLocal) {
                while (q < n && t[q] != '"' && t[q] != '\r' && t[q] != '\n')
                    ++q;
            } else {
                const void* found = q < n ? std::memchr(t + q, '"', n - q) : nullptr;
                q = found ? static_cast<size_t>(static_cast<const char*>(found) - t) : n;
            }
            if (q >= n || t[q] != '"')
                break;
            put(t + i, q - i);
            if (q + 1 < n && t[q + 1] == '"') {
                put("\"", 1);
                i = q + 2;
                continue;
            }
            // A closing quote stands before the delimiter or the line's end (blanks between
            // allowed); one before anything else was no opening quote either.
            size_t k = q + 1;
            while (k < n && (t[k] == ' ' || t[k] == '\t') && t[k] != m_delimiter)
                ++k;
            closed = k >= n || t[k] == m_delimiter || t[k] == '\r' || t[k] == '\n';
            i = k;
            break;
        }
        if (!closed) {
            // Never closed (or closed in the middle of a field): the quote is a character of a
            // plain field, and from here on no quoted field may take the lines behind it.
            if (m_unclosedQuotes++ == 0)
                m_firstUnclosedRow = m_row;
            m_quotesLocal = true;
            cell->clear();
            m_rowBytes = rowBytes;
            m_cellCutInRow = rowCut;
            i = start;
        }
    }
    // A plain field, or what follows a closing quote, runs to the delimiter or the line's end.
    size_t j = i;
    while (j < n && t[j] != m_delimiter && t[j] != '\r' && t[j] != '\n')
        ++j;
    put(t + i, j - i);
    if (keep && std::memchr(cell->data(), '\0', cell->size())) {
        cell->erase(std::remove(cell->begin(), cell->end(), '\0'), cell->end());
        m_nulInRow = true;
    }
    if (j >= n) {
        m_read = n;
        return false;
    }
    m_read = j + 1;
    if (t[j] == m_delimiter)
        return true;
    if (t[j] == '\r' && m_read < n && t[m_read] == '\n')
        ++m_read;
    return false;
}

bool CCsvReader::_ReadRow()
{
    m_cellCount = 0;
    m_extraCells = 0;
    m_cellCutInRow = false;
    m_nulInRow = false;
    m_rowBytes = 0;
    if (m_read >= m_text.size())
        return false;
    ++m_row;
    const size_t limit = m_fields.empty() && m_headers.empty() ? kMaxColumns : m_fields.size();
    std::string scratch;
    bool more = true;
    while (more) {
        bool keep = m_cellCount < limit;
        if (keep && m_cells.size() <= m_cellCount)
            m_cells.emplace_back();
        more = _ReadCell(keep ? &m_cells[m_cellCount] : &scratch, keep);
        if (keep)
            ++m_cellCount;
        else
            ++m_extraCells;
    }
    return true;
}

bool CCsvReader::_RowHasContact() const
{
    for (size_t i = 0; i < m_cellCount && i < m_fields.size(); ++i) {
        const CField& f = m_fields[i];
        switch (f.target) {
        case Target::kUnknown:
        case Target::kNone:
        case Target::kEmailType:
        case Target::kMoreEmailTypes:
        case Target::kCategories:
        case Target::kLabels:
        case Target::kGender:
            continue;
        case Target::kGoogle:
            if (f.googleCell == GoogleCell::kType)
                continue;
            break;
        default:
            break;
        }
        const std::string& cell = m_cells[i];
        if (cell.find_first_not_of(" \t\r\n") == std::string::npos)
            continue;
        if (f.target == Target::kDate) {
            // Outlook writes "0/0/00" for no date: no contact has just that. Dates are ASCII.
            CContactDate date;
            if (!ParseDate(std::wstring(cell.begin(), cell.end()), &date))
                continue;
        }
        return true;
    }
    return false;
}

void CCsvReader::_StartRows()
{
    m_read = m_bodyStart;
    m_row = 1;
    m_quotesLocal = m_bodyQuotesLocal;
    m_unclosedQuotes = m_headerUnclosed;
    m_rowsLong = m_cellsCut = m_nulRows = 0;
    m_unreadValues.assign(m_fields.size(), 0);
    m_firstDropped.clear();
    m_dropped = 0;
}

std::vector<CCsvReader::CUnmapped> CCsvReader::UnmappedColumns()
{
    std::vector<CUnmapped> unmapped;
    // A file none of whose columns we know may still be a contacts table with names in another
    // language; one with zero bytes near its start, or a single column, is no table at all.
    if (m_known == 0 &&
        (m_fields.size() < 2 || std::memchr(m_text.data(), '\0', std::min<size_t>(m_text.size(), 4096))))
        return unmapped;
    std::vector<bool> seen(m_fields.size(), false);
    _StartRows();
    m_decoder.SetCodePage(m_encoding == Encoding::kAnsi ? vcard::kAnsiCodePage : vcard::kUtf8CodePage);
    while (_ReadRow()) {
        for (size_t i = 0; i < m_cellCount && i < m_fields.size(); ++i) {
            if (seen[i] || m_fields[i].target != Target::kUnknown ||
                m_cells[i].find_first_not_of(" \t\r\n") == std::string::npos)
                continue;
            seen[i] = true;
            CUnmapped column;
            column.column = i;
            if (m_decoder.ToWide(m_headers[i], &column.name) <= 0)
                column.name.clear();
            if (m_decoder.ToWide(m_cells[i].substr(0, 200), &column.sample) <= 0)
                column.sample.clear();
            unmapped.push_back(column);
        }
    }
    std::sort(unmapped.begin(), unmapped.end(),
              [](const CUnmapped& a, const CUnmapped& b) { return a.column < b.column; });
    return unmapped;
}

void CCsvReader::MapColumn(size_t column, const CField& field)
{
    if (column >= m_fields.size())
        return;
    if (m_fields[column].target == Target::kUnknown && field.target != Target::kUnknown)
        ++m_known;
    m_fields[column] = field;
}

size_t CCsvReader::CountRecords()
{
    if (m_known == 0)
        return 0;
    _StartRows();
    size_t count = 0;
    while (_ReadRow())
        count += _RowHasContact() ? 1 : 0;
    return count;
}

std::wstring CCsvReader::RecordName() const
{
    return m_record.Name();
}

bool CCsvReader::_Fill(std::initializer_list<std::wstring*> fields, const std::wstring& value)
{
    for (std::wstring* field : fields) {
        if (field->empty() || *field == value) {
            *field = value;
            return true;
        }
    }
    return false;
}

void CCsvReader::_Dropped(const char* column, const std::wstring& value)
{
    m_cut = true;
    if (m_dropped++ == 0) {
        std::string text(column);
        text += ": ";
        for (wchar_t c : value.substr(0, 80))
            text.push_back(c < 128 ? static_cast<char>(c) : '?');
        m_firstDropped = "row " + std::to_string(m_row) + ", " + text;
    }
}

void CCsvReader::_Apply(const CField& f, const std::wstring& value, size_t column)
{
    CContactRecord& r = m_record;
    const char* name = column < m_headers.size() ? m_headers[column].c_str() : "";
    switch (f.target) {
    case Target::kUnknown:
    case Target::kNone:
        if (value.find_first_not_of(L" \t\r\n") != std::wstring::npos)
            ++m_unreadValues[column];
        return;
    case Target::kText:
        if (!_Fill({&(r.*f.text)}, value))
            _Dropped(name, value);
        return;
    case Target::kAddressPart:
        if (!_Fill({&(r.*f.address)[f.index]}, value))
            _Dropped(name, value);
        return;
    case Target::kStreetLine: {
        std::wstring& street = (r.*f.address)[CContactRecord::kStreet];
        street += (street.empty() ? L"" : L"\r\n") + value;
        return;
    }
    case Target::kDate:
        if (!ParseDate(value, &(r.*f.date)) && Trimmed(value) != L"0/0/00")
            _Dropped(name, value);
        return;
    case Target::kCategories:
    case Target::kLabels:
        for (const std::wstring& group : SplitCell(value, f.target == Target::kLabels ? L" ::: " : L";")) {
            // Google lists its own groups beside the user's: "* myContacts", "* starred".
            if (f.target == Target::kLabels && group.compare(0, 2, L"* ") == 0)
                continue;
            if (std::find(r.groups.begin(), r.groups.end(), group) == r.groups.end())
                r.groups.push_back(group);
        }
        return;
    case Target::kEmail:
    case Target::kEmailType: {
        std::vector<std::wstring>& slots = f.target == Target::kEmail ? m_emailSlots : m_typeSlots;
        if (slots.size() <= static_cast<size_t>(f.index))
            slots.resize(static_cast<size_t>(f.index) + 1);
        slots[static_cast<size_t>(f.index)] = Trimmed(value);
        return;
    }
    case Target::kMoreEmails:
        if (m_emailSlots.size() < 3)
            m_emailSlots.resize(3);
        // Empty places stay, so that the types in the next column keep their addresses.
        for (const std::wstring& address : SplitCell(value, L";", true))
            m_emailSlots.push_back(address);
        return;
    case Target::kMoreEmailTypes:
        for (const std::wstring& type : SplitCell(value, L";", true))
            m_moreTypes.push_back(type);
        return;
    case Target::kGender: {
        std::wstring g = Lower(Trimmed(value));
        if (g == L"male" || g == L"m")
            r.gender = 2;
        else if (g == L"female" || g == L"f")
            r.gender = 1;
        else if (g == L"unspecified")
            r.gender = 0;
        else
            return _Dropped(name, value);
        r.hasGender = true;
        return;
    }
    case Target::kList:
        for (const std::wstring& entry : SplitCell(value, L";"))
            (r.*f.list).push_back(entry);
        return;
    case Target::kCertificates:
        for (const std::wstring& encoded : SplitCell(value, L";")) {
            std::string der;
            if (FromBase64(encoded, &der))
                r.certificates.push_back(der);
            else
                _Dropped(name, encoded);
        }
        return;
    case Target::kBirthYear:
    case Target::kBirthMonth:
    case Target::kBirthDay: {
        std::wstring digits = Trimmed(value);
        int number = 0;
        for (wchar_t c : digits) {
            if (c < L'0' || c > L'9' || number > 100000)
                return _Dropped(name, value);
            number = number * 10 + (c - L'0');
        }
        (f.target == Target::kBirthYear ? m_birthYear : f.target == Target::kBirthMonth ? m_birthMonth
                                                                                         : m_birthDay) = number;
        return;
    }
    case Target::kGoogle: {
        CGoogleGroup* group = nullptr;
        for (size_t g = 0; g < m_googleUsed; ++g) {
            if (m_google[g].kind == f.googleKind && m_google[g].number == f.googleNumber)
                group = &m_google[g];
        }
        if (!group) {
            if (m_google.size() <= m_googleUsed)
                m_google.emplace_back();
            group = &m_google[m_googleUsed++];
            group->kind = f.googleKind;
            group->number = f.googleNumber;
            for (std::wstring& cell : group->cells)
                cell.clear();
        }
        group->cells[static_cast<int>(f.googleCell)] = value;
        return;
    }
    }
}

// Google's numbered groups, once the row's cells are all in: a group's type says where its values
// go, and a cell may hold several values joined by " ::: ".
void CCsvReader::_FinishGoogle()
{
    CContactRecord& r = m_record;
    for (size_t g = 0; g < m_googleUsed; ++g) {
        const CGoogleGroup& group = m_google[g];
        auto cell = [&group](GoogleCell c) -> const std::wstring& { return group.cells[static_cast<int>(c)]; };
        std::wstring type = Trimmed(cell(GoogleCell::kType));
        const bool primary = type.compare(0, 2, L"* ") == 0;
        type = Lower(primary ? type.substr(2) : type);
        const std::vector<std::wstring> values = SplitCell(cell(GoogleCell::kValue), L" ::: ");
        switch (group.kind) {
        case GoogleKind::kEmail:
            for (size_t k = 0; k < values.size(); ++k) {
                if (primary && k == 0 && m_primaryEmail < 0)
                    m_primaryEmail = static_cast<long>(m_emailSlots.size());
                m_emailSlots.push_back(values[k]);
            }
            break;
        case GoogleKind::kPhone:
            for (const std::wstring& v : values) {
                bool stored;
                if (type == L"mobile")
                    stored = _Fill({&r.mobilePhone}, v);
                else if (type == L"work")
                    stored = _Fill({&r.businessPhone, &r.business2Phone}, v);
                else if (type == L"home")
                    stored = _Fill({&r.homePhone, &r.home2Phone}, v);
                else if (type == L"work fax")
                    stored = _Fill({&r.businessFax}, v);
                else if (type == L"home fax")
                    stored = _Fill({&r.homeFax}, v);
                else if (type == L"other fax")
                    stored = _Fill({&r.otherFax}, v);
                else if (type == L"pager" || type == L"work pager")
                    stored = _Fill({&r.pager}, v);
                else if (type == L"main")
                    stored = _Fill({&r.primaryPhone}, v);
                else if (type == L"company main")
                    stored = _Fill({&r.companyMainPhone}, v);
                else if (type == L"car")
                    stored = _Fill({&r.carPhone}, v);
                else if (type == L"callback")
                    stored = _Fill({&r.callbackPhone}, v);
                else if (type == L"isdn")
                    stored = _Fill({&r.isdnNumber}, v);
                else if (type == L"radio")
                    stored = _Fill({&r.radioPhone}, v);
                else if (type == L"telex")
                    stored = _Fill({&r.telexNumber}, v);
                else if (type == L"tty/tdd" || type == L"tty_tdd")
                    stored = _Fill({&r.ttyTddPhone}, v);
                else if (type == L"assistant")
                    stored = _Fill({&r.assistantPhone}, v);
                else
                    stored = false;
                if (!stored && !_Fill({&r.otherPhone}, v))
                    _Dropped("Phone", v);
            }
            break;
        case GoogleKind::kAddress: {
            std::wstring* address = type == L"work" ? r.business : type == L"home" ? r.home : r.other;
            bool any = false;
            for (int c = static_cast<int>(GoogleCell::kStreet); c <= static_cast<int>(GoogleCell::kExtended); ++c)
                any = any || !Trimmed(group.cells[c]).empty();
            if (!any && !Trimmed(cell(GoogleCell::kFormatted)).empty()) {
                if (!_Fill({&address[CContactRecord::kStreet]}, cell(GoogleCell::kFormatted)))
                    _Dropped("Address", cell(GoogleCell::kFormatted));
                break;
            }
            const struct {
                GoogleCell cell;
                int part;
            } parts[] = {{GoogleCell::kStreet, CContactRecord::kStreet},
                         {GoogleCell::kCity, CContactRecord::kLocality},
                         {GoogleCell::kPoBox, CContactRecord::kPoBox},
                         {GoogleCell::kRegion, CContactRecord::kRegion},
                         {GoogleCell::kPostalCode, CContactRecord::kPostalCode},
                         {GoogleCell::kCountry, CContactRecord::kCountry}};
            for (const auto& p : parts) {
                const std::wstring& v = cell(p.cell);
                if (!v.empty() && !_Fill({&address[p.part]}, v))
                    _Dropped("Address", v);
            }
            // Only the business address keeps an extended part (its office location); the
            // others' goes on the street's next line.
            const std::wstring& extended = cell(GoogleCell::kExtended);
            if (!extended.empty()) {
                if (address == r.business) {
                    if (!_Fill({&address[CContactRecord::kExtended]}, extended))
                        _Dropped("Address", extended);
                } else {
                    std::wstring& street = address[CContactRecord::kStreet];
                    street += (street.empty() ? L"" : L"\r\n") + extended;
                }
            }
            break;
        }
        case GoogleKind::kOrganization:
            for (const auto& p : {std::make_pair(GoogleCell::kName, &r.company),
                                  std::make_pair(GoogleCell::kTitle, &r.title),
                                  std::make_pair(GoogleCell::kDepartment, &r.department)}) {
                const std::wstring& v = cell(p.first);
                if (!v.empty() && !_Fill({p.second}, v))
                    _Dropped("Organization", v);
            }
            break;
        case GoogleKind::kWebsite:
            for (const std::wstring& v : values) {
                bool stored = type == L"work" ? _Fill({&r.businessHomePage, &r.personalHomePage}, v)
                                              : _Fill({&r.personalHomePage, &r.businessHomePage}, v);
                if (!stored)
                    _Dropped("Website", v);
            }
            break;
        case GoogleKind::kOther:
            break;
        }
    }
}

void CCsvReader::_FinishRecord()
{
    CContactRecord& r = m_record;
    _FinishGoogle();
    std::vector<std::wstring> types = m_typeSlots;
    types.resize(std::max<size_t>(types.size(), 3));
    types.insert(types.end(), m_moreTypes.begin(), m_moreTypes.end());
    for (size_t i = 0; i < m_emailSlots.size(); ++i) {
        if (m_emailSlots[i].empty())
            continue;
        if (std::find(r.emails.begin(), r.emails.end(), m_emailSlots[i]) != r.emails.end())
            continue;
        if (static_cast<long>(i) == m_primaryEmail) {
            // The primary one goes in front, as it does from a card.
            r.emails.insert(r.emails.begin(), m_emailSlots[i]);
            r.emailTypes.insert(r.emailTypes.begin(), i < types.size() && !types[i].empty() ? types[i] : L"SMTP");
            continue;
        }
        r.emails.push_back(m_emailSlots[i]);
        r.emailTypes.push_back(i < types.size() && !types[i].empty() ? types[i] : L"SMTP");
    }
    r.DefaultToFirstEmail();
    if (m_birthYear || m_birthMonth || m_birthDay) {
        uint64_t fileTime = 0;
        if (!r.birthday.present && vcard::FileTimeFromDate(m_birthYear, m_birthMonth, m_birthDay, &fileTime)) {
            r.birthday.present = true;
            r.birthday.fileTime = fileTime;
        } else if (!r.birthday.present) {
            _Dropped("Birth Year", std::to_wstring(m_birthYear) + L"-" + std::to_wstring(m_birthMonth) + L"-" +
                                       std::to_wstring(m_birthDay));
        }
    }
}

void CCsvReader::_FillRecord()
{
    // Set for every row: whoever takes the contact may convert with the same converter meanwhile.
    m_decoder.SetCodePage(m_encoding == Encoding::kAnsi ? vcard::kAnsiCodePage : vcard::kUtf8CodePage);
    m_record.Clear();
    m_cut = m_cellCutInRow;
    m_emailSlots.clear();
    m_typeSlots.clear();
    m_moreTypes.clear();
    m_birthYear = m_birthMonth = m_birthDay = 0;
    m_googleUsed = 0;
    m_primaryEmail = -1;
    for (size_t i = 0; i < m_cellCount && i < m_fields.size(); ++i) {
        if (m_cells[i].empty())
            continue;
        if (m_decoder.ToWide(m_cells[i], &m_value) <= 0)
            m_value.clear();
        if (!m_value.empty())
            _Apply(m_fields[i], m_value, i);
    }
    _FinishRecord();
}

int CCsvReader::ReadAll(const RecordSink& sink)
{
    if (m_known == 0) {
        if (!m_text.empty())
            _Note("the first row names no column of a contacts CSV we know: nothing read");
        return 0;
    }
    if (m_headers.size() > kMaxColumns)
        _Note("the header has more than " + std::to_string(kMaxColumns) + " columns: those beyond were not read");
    _StartRows();
    size_t records = 0;
    int result = 0;
    while (_ReadRow()) {
        m_rowsLong += m_extraCells > 0;
        m_cellsCut += m_cellCutInRow;
        m_nulRows += m_nulInRow;
        if (!_RowHasContact())
            continue;
        _FillRecord();
        ++records;
        if (sink() < 0) {
            result = -1;
            break;
        }
    }
    if (records == 0 && result == 0)
        _Note("no row below the header holds a contact");
    for (size_t i = 0; i < m_unreadValues.size(); ++i) {
        if (m_unreadValues[i] == 0)
            continue;
        bool known = m_fields[i].target == Target::kNone;
        _Note("column \"" + m_headers[i] + "\": " + std::to_string(m_unreadValues[i]) +
              (known ? " values of a kind the address book keeps no field for" : " values of a column we do not know") +
              ", not read");
    }
    if (m_rowsLong > 0)
        _Note(std::to_string(m_rowsLong) + " rows have more cells than the header: the cells beyond were not read");
    if (m_cellsCut > 0)
        _Note(std::to_string(m_cellsCut) + " rows had a cell longer than " + std::to_string(kMaxCellBytes) +
              " bytes, or more than " + std::to_string(kMaxRowBytes) + " bytes in all: cut to their start");
    if (m_nulRows > 0)
        _Note(std::to_string(m_nulRows) + " rows held zero bytes, which were left out");
    if (m_unclosedQuotes > 0)
        _Note("a quote opened in row " + std::to_string(m_firstUnclosedRow) + " is never closed: read as a character" +
              (m_unclosedQuotes > 1 ? " (and " + std::to_string(m_unclosedQuotes - 1) + " more)" : std::string()));
    if (m_dropped > 0)
        _Note(std::to_string(m_dropped) + " values found their field taken or were no valid value, not read (first: " +
              m_firstDropped + ")");
    return result;
}

}  // namespace csv
