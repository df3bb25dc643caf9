// The lexer of the vCard text: physical and logical lines, names, parameters and cards; the value
// codecs it uses are in vCardValues.cpp.
#include "codec/vcard/vCardText.h"

#include <cstring>

#include "codec/vcard/Chars.h"

namespace vcard {

namespace {

void UpperInPlace(std::string* s)
{
    for (char& c : *s)
        c = Upper(c);
}

// End of a line's name and parameters: its first ':' outside double quotes (an unclosed quote
// protects nothing), or the end of the line.
size_t HeadEnd(const std::string& line)
{
    bool quoted = false;
    for (size_t i = 0; i < line.size(); ++i) {
        if (line[i] == '"')
            quoted = !quoted;
        else if (!quoted && line[i] == ':')
            return i;
    }
    size_t plain = line.find(':');
    return quoted && plain != std::string::npos ? plain : line.size();
}

bool HeadMarksQuotedPrintable(const std::string& line)
{
    static const char kWord[] = "QUOTED-PRINTABLE";
    const size_t wordLen = sizeof(kWord) - 1;
    size_t head = HeadEnd(line);
    for (size_t i = 0; i + wordLen <= head; ++i) {
        if (StartsWithNoCase(line.data() + i, head - i, kWord))
            return true;
    }
    return false;
}

// The head names base64: the word BASE64 anywhere in it, or ENCODING=B as a parameter of its own.
// It decides only which lines the value takes with it, never what a handler decodes.
bool HeadMarksBase64(const std::string& line)
{
    size_t head = HeadEnd(line);
    for (size_t i = 0; i < head; ++i) {
        const char* p = line.data() + i;
        size_t left = head - i;
        if (StartsWithNoCase(p, left, "BASE64"))
            return true;
        if (line[i] == ';' && StartsWithNoCase(p + 1, left - 1, "ENCODING=B") &&
            (left == 11 || p[11] == ';' || p[11] == ':'))
            return true;
    }
    return false;
}

inline bool IsBase64Byte(char c)
{
    return IsAlnum(c) || c == '+' || c == '/' || c == '=';
}

// A line that goes on with a base64 value: its alphabet and blanks, nothing else.
bool IsBase64Line(const std::string& line)
{
    bool any = false;
    for (char c : line) {
        if (IsBase64Byte(c))
            any = true;
        else if (!IsBlank(c))
            return false;
    }
    return any;
}

struct KeywordBit {
    const char* word;
    uint32_t bit;
};

const KeywordBit kTypeWords[] = {
    {"WORK", kParamWork},   {"HOME", kParamHome},   {"POSTAL", kParamPostal},
    {"CELL", kParamCell},   {"FAX", kParamFax},     {"CAR", kParamCar},
    {"PAGER", kParamPager}, {"ISDN", kParamIsdn},   {"PREF", kParamPref},
    {"VOICE", kParamVoice}, {"INTERNET", kParamInternet},
    // Evolution's names, and those of the standard's later versions and of Apple's cards.
    {"OTHER", kParamOther}, {"X-OTHER", kParamOther},
    {"MAIN", kParamMain}, {"X-EVOLUTION-COMPANY", kParamMain},
    {"CALLBACK", kParamCallback}, {"X-EVOLUTION-CALLBACK", kParamCallback},
    {"RADIO", kParamRadio}, {"X-EVOLUTION-RADIO", kParamRadio},
    {"TELEX", kParamTelex}, {"X-EVOLUTION-TELEX", kParamTelex},
    {"TEXTPHONE", kParamTextphone}, {"TTY", kParamTextphone}, {"X-EVOLUTION-TTYTDD", kParamTextphone},
    {"ASSISTANT", kParamAssistant}, {"X-EVOLUTION-ASSISTANT", kParamAssistant}, {"X-ASSISTANT", kParamAssistant},
    {"X509", kParamX509}, {"PGP", kParamPgp},
};

// One word of a type list (already upper case, trimmed, without quotes).
void NoteTypeWord(const std::string& word, CParams* params)
{
    if (word.empty())
        return;
    if (word == "QUOTED-PRINTABLE") {
        params->quotedPrintable = true;
        return;
    }
    if (word == "BASE64") {
        params->base64 = true;
        return;
    }
    uint32_t bit = 0;
    for (const KeywordBit& k : kTypeWords) {
        if (word == k.word) {
            bit = k.bit;
            break;
        }
    }
    params->types |= bit;
    // Only these say nothing about the kind of an e-mail address.
    if (bit != kParamWork && bit != kParamHome && bit != kParamPref && bit != kParamInternet)
        params->otherType = true;
}

std::string WithoutQuotes(const std::string& s)
{
    std::string out;
    out.reserve(s.size());
    for (char c : s) {
        if (c != '"')
            out.push_back(c);
    }
    return out;
}

std::string Trimmed(const std::string& s)
{
    const char* b = s.data();
    const char* e = b + s.size();
    TrimRange(&b, &e);
    return std::string(b, e);
}

// A parameter token (upper case, "TYPE=" already removed) into the parameter set.
void NoteToken(const std::string& token, CParams* params)
{
    size_t eq = token.find('=');
    if (eq != std::string::npos) {
        std::string name = Trimmed(token.substr(0, eq));
        std::string value = Trimmed(WithoutQuotes(token.substr(eq + 1)));
        if (name == "ENCODING" && value == "QUOTED-PRINTABLE")
            params->quotedPrintable = true;
        else if (name == "ENCODING" && (value == "B" || value == "BASE64"))
            params->base64 = true;
        else if (name == "PREF")  // vCard 4.0 writes the preferred one as PREF=1
            params->types |= kParamPref;
        else if (name == "VALUE" && value == "URI")
            params->valueUri = true;
        else if (name == "TYPE")
            NoteTypeWord(value, params);
        return;
    }
    // A type list: TYPE=WORK,VOICE, "work,voice", or the bare WORK of vCard 2.1.
    std::string list = WithoutQuotes(token);
    size_t start = 0;
    while (start <= list.size()) {
        size_t comma = list.find(',', start);
        if (comma == std::string::npos)
            comma = list.size();
        NoteTypeWord(Trimmed(list.substr(start, comma - start)), params);
        start = comma + 1;
    }
}

}  // namespace

bool StartsWithNoCase(const char* text, size_t size, const char* prefix)
{
    size_t n = std::strlen(prefix);
    if (size < n)
        return false;
    for (size_t i = 0; i < n; ++i) {
        if (Upper(text[i]) != Upper(prefix[i]))
            return false;
    }
    return true;
}

void TrimRange(const char** begin, const char** end)
{
    while (*begin < *end && IsSpace(**begin))
        ++*begin;
    while (*end > *begin && IsSpace(*(*end - 1)))
        --*end;
}

void CvCardText::Load(const char* bytes, size_t size)
{
    m_origin = PrepareFileText(bytes, size, &m_text);
    m_read = 0;
    m_line.clear();
    m_pos = 0;
    m_more.clear();
    m_softBreakAtCardEnd = false;
    m_name.clear();
    m_token.clear();
    m_charset.clear();
    m_hasCharset = false;
    m_format = 0;
    m_depth = 0;
    m_outerFormats.clear();
    m_endPending = false;
    m_cardsTooDeep = 0;
}

void CvCardText::Free()
{
    std::string().swap(m_text);
    m_read = 0;
    m_origin = TextOrigin::kPlain;
    m_depth = 0;
    m_outerFormats.clear();
    m_endPending = false;
}

bool CvCardText::_ReadPhysicalLine(std::string* out, size_t* full)
{
    if (m_read >= m_text.size())
        return false;
    size_t lf = m_text.find('\n', m_read);
    size_t end;
    size_t next;
    if (lf == std::string::npos) {
        end = m_text.size();
        next = end;
    } else {
        end = lf;
        if (end > m_read && m_text[end - 1] == '\r')
            --end;
        next = lf + 1;
    }
    size_t length = end - m_read;
    size_t room = out->size() < kMaxLineBytes ? kMaxLineBytes - out->size() : 0;
    out->append(m_text, m_read, length < room ? length : room);
    *full += length;
    m_read = next;
    return true;
}

bool CvCardText::_ReadLogicalLine(std::string* out, bool quotedPrintable, size_t* full)
{
    out->clear();
    *full = 0;
    while (m_read < m_text.size() && m_text[m_read] == ' ')
        ++m_read;
    if (!_ReadPhysicalLine(out, full))
        return false;
    // Whether the head marks quoted-printable is found once, when its ':' has arrived, so that a
    // line folded a thousand times is not searched a thousand times.
    size_t scanned = 0;
    bool quoted = false;
    bool headFound = false;
    while (m_read < m_text.size() && IsBlank(m_text[m_read])) {
        if (!quotedPrintable && !headFound) {
            for (; scanned < out->size() && !headFound; ++scanned) {
                char c = (*out)[scanned];
                if (c == '"')
                    quoted = !quoted;
                else if (c == ':' && !quoted)
                    headFound = true;
            }
            if (headFound)
                quotedPrintable = HeadMarksQuotedPrintable(*out);
        }
        // A soft line break of quoted-printable joins its next line by its own rule.
        if (quotedPrintable && !out->empty() && out->back() == '=')
            break;
        ++m_read;
        _ReadPhysicalLine(out, full);
    }
    return true;
}

bool CvCardText::ReadLine()
{
    m_pos = 0;
    m_lineDecoded = false;
    m_lineLiteral = false;
    m_lineEncoded.clear();
    m_more.clear();
    m_softBreakAtCardEnd = false;
    return _ReadLogicalLine(&m_line, false, &m_lineFull);
}

void CvCardText::_AppendMore(const std::string& line, size_t full)
{
    m_lineFull += 2 + full;
    if (m_line.size() + m_more.size() + 2 + line.size() <= kMaxLineBytes) {
        m_more += "\r\n";
        m_more += line;
    } else if (m_lineFull <= kMaxLineBytes) {
        m_lineFull = kMaxLineBytes + 1;
    }
}

void CvCardText::_TakeSoftBreakLines()
{
    bool soft = true;
    while (soft) {
        if (_NextLineEndsCard()) {
            // A writer that ends its last value with a soft break: the card still ends here.
            m_softBreakAtCardEnd = true;
            return;
        }
        size_t full = 0;
        if (!_ReadLogicalLine(&m_nextLine, true, &full))
            return;
        soft = !m_nextLine.empty() && m_nextLine.back() == '=';
        _AppendMore(m_nextLine, full);
    }
}

void CvCardText::_TakeBase64Lines()
{
    for (;;) {
        size_t at = m_read;
        size_t full = 0;
        if (!_ReadLogicalLine(&m_nextLine, false, &full))
            return;
        // The blank line that ends the value goes with it.
        if (m_nextLine.find_first_not_of(" \t") == std::string::npos)
            return;
        if (!IsBase64Line(m_nextLine)) {
            m_read = at;
            return;
        }
        _AppendMore(m_nextLine, full);
    }
}

size_t CvCardText::_FindDelimiter(size_t from) const
{
    bool quoted = false;
    for (size_t i = from; i < m_line.size(); ++i) {
        char c = m_line[i];
        if (c == '"')
            quoted = !quoted;
        else if (!quoted && (c == ':' || c == ';'))
            return i;
    }
    if (!quoted)
        return std::string::npos;
    // An unclosed quote protects nothing.
    size_t plain = m_line.find_first_of(":;", from);
    return plain;
}

void CvCardText::_ReadCharset()
{
    m_hasCharset = false;
    m_charset.clear();
    size_t p = m_pos;
    while (p < m_line.size() && m_line[p] == ';') {
        size_t start = p + 1;
        size_t end = _FindDelimiter(start);
        if (end == std::string::npos)
            break;
        if (StartsWithNoCase(m_line.data() + start, end - start, "CHARSET=")) {
            std::string value =
                Trimmed(WithoutQuotes(m_line.substr(start + 8, end - start - 8)));
            if (!value.empty()) {
                m_charset = value;
                m_hasCharset = true;
                return;
            }
        }
        p = end;
    }
}

bool CvCardText::ReadProperty()
{
    for (;;) {
        if (!ReadLine())
            return false;
        size_t delimiter = m_line.find_first_of(":;");
        if (delimiter == std::string::npos)
            continue;
        size_t nameStart = 0;
        size_t dot = m_line.find('.');
        if (dot != std::string::npos && dot < delimiter)
            nameStart = dot + 1;
        m_name.assign(m_line, nameStart, delimiter - nameStart);
        UpperInPlace(&m_name);
        m_pos = delimiter;
        _ReadCharset();
        // The value's further lines belong to the property whether or not its handler decodes
        // it, so that they are never taken for properties (or card ends) of their own. Addresses
        // of vCard 2.1 are read as quoted-printable even when unmarked.
        if (!m_line.empty() && m_line.back() == '=' &&
            (HeadMarksQuotedPrintable(m_line) || (m_name == "ADR" && m_format != kFormat30)))
            _TakeSoftBreakLines();
        else if (HeadMarksBase64(m_line))
            _TakeBase64Lines();
        return true;
    }
}

bool CvCardText::_NextLineEndsCard() const
{
    size_t p = m_read;
    while (p < m_text.size() && m_text[p] == ' ')
        ++p;
    size_t lf = m_text.find('\n', p);
    size_t end = lf == std::string::npos ? m_text.size() : lf;
    const char* b = m_text.data() + p;
    const char* e = m_text.data() + end;
    TrimRange(&b, &e);
    return e - b == 9 && StartsWithNoCase(b, 9, "END:VCARD");
}

bool CvCardText::RestStartsWith(const char* prefix) const
{
    size_t pos = m_pos < m_line.size() ? m_pos : m_line.size();
    return StartsWithNoCase(m_line.data() + pos, m_line.size() - pos, prefix);
}

bool CvCardText::IsCardBegin() const { return m_name == "BEGIN" && RestStartsWith(":VCARD"); }

bool CvCardText::IsCardEnd() const { return m_name == "END" && RestStartsWith(":VCARD"); }

bool CvCardText::_SkipCard()
{
    size_t open = 1;
    while (ReadProperty()) {
        if (IsCardBegin()) {
            ++open;
        } else if (IsCardEnd()) {
            ++m_cardsTooDeep;
            if (--open == 0)
                return true;
        }
    }
    return false;
}

CvCardText::CardStep CvCardText::NextStep()
{
    if (m_endPending) {
        m_endPending = false;
        if (m_outerFormats.empty()) {
            m_format = 0;
        } else {
            m_format = m_outerFormats.back();
            m_outerFormats.pop_back();
        }
    }
    for (;;) {
        if (!ReadProperty())
            return CardStep::kTextEnd;
        if (IsCardBegin()) {
            if (m_depth >= kMaxCardDepth) {
                if (!_SkipCard())
                    return CardStep::kTextEnd;
                continue;
            }
            if (m_depth > 0)
                m_outerFormats.push_back(m_format);
            ++m_depth;
            m_format = PeekCardFormat();
            return CardStep::kBegin;
        }
        if (m_depth == 0)
            continue;  // a line between cards
        if (IsCardEnd()) {
            --m_depth;
            m_endPending = true;
            return CardStep::kEnd;
        }
        if (m_name == "VERSION" && (RestStartsWith(":3.0") || RestStartsWith(":4.0")))
            m_format = kFormat30;
        return CardStep::kProperty;
    }
}

int CvCardText::PeekCardFormat()
{
    // Some writers put VERSION last; the escapes of every earlier line depend on it.
    size_t read = m_read;
    std::string line = m_line;
    std::string more = m_more;
    size_t pos = m_pos;
    size_t lineFull = m_lineFull;
    bool softBreakAtCardEnd = m_softBreakAtCardEnd;
    std::string name = m_name;
    std::string charset = m_charset;
    bool hasCharset = m_hasCharset;

    int previousFormat = m_format;
    m_format = 0;
    int format = 0;
    bool first = true;
    size_t inner = 0;  // cards open inside this one
    while (ReadProperty()) {
        if (IsCardBegin()) {
            ++inner;
            first = false;
            continue;
        }
        if (IsCardEnd()) {
            if (inner == 0)
                break;
            --inner;
            continue;
        }
        if (inner > 0)
            continue;
        if (m_name == "VERSION" && (RestStartsWith(":3.0") || RestStartsWith(":4.0")))
            format = kFormat30;
        // Nearly every writer puts VERSION first; then no other line can change the answer.
        if (first && m_name == "VERSION")
            break;
        first = false;
    }

    m_read = read;
    m_line.swap(line);
    m_more.swap(more);
    m_pos = pos;
    m_lineFull = lineFull;
    m_softBreakAtCardEnd = softBreakAtCardEnd;
    m_name.swap(name);
    m_charset.swap(charset);
    m_hasCharset = hasCharset;
    m_format = previousFormat;
    return format;
}

size_t CvCardText::CountCards()
{
    size_t count = 0;
    for (;;) {
        CardStep step = NextStep();
        if (step == CardStep::kTextEnd)
            return count;
        if (step == CardStep::kEnd)
            ++count;
    }
}

bool CvCardText::ReadParameter()
{
    if (At() != ';')
        return false;
    size_t start = m_pos + 1;
    size_t end = _FindDelimiter(start);
    if (end == std::string::npos) {
        m_pos = start;
        return false;
    }
    m_token.assign(m_line, start, end - start);
    UpperInPlace(&m_token);
    if (m_token.size() > 5 && m_token.compare(0, 5, "TYPE=") == 0)
        m_token.erase(0, 5);
    m_pos = end;
    return true;
}

bool CvCardText::ReadParameters(CParams* params)
{
    *params = CParams();
    while (At() == ';') {
        if (!ReadParameter())
            return false;
        NoteToken(m_token, params);
    }
    if (At() != ':')
        return false;
    ++m_pos;
    return true;
}

bool CvCardText::ReadEncodedValue(std::string* value, std::vector<bool>* encoded)
{
    std::string raw = m_line.substr(m_pos < m_line.size() ? m_pos : m_line.size());
    raw += m_more;
    // The soft break before the card's end, or one where the value was cut, would leave a lone
    // '=', which no decoding takes.
    if ((m_softBreakAtCardEnd || LineCut()) && !raw.empty() && raw.back() == '=')
        raw.pop_back();
    if (DecodeQuotedPrintable(raw.data(), raw.size(), value, encoded))
        return true;
    std::string escaped = EscapeStrayEquals(raw);
    if (DecodeQuotedPrintable(escaped.data(), escaped.size(), value, encoded))
        return true;
    *value = raw;
    if (encoded)
        encoded->clear();
    return false;
}

bool CvCardText::ReadBase64Value(std::string* value, bool binary) const
{
    size_t pos = m_pos < m_line.size() ? m_pos : m_line.size();
    std::string raw(m_line, pos);
    raw += m_more;
    return DecodeBase64(raw.data(), raw.size(), value, binary);
}

void CvCardText::SetLine(const std::string& value, bool decoded, const std::vector<bool>& encoded)
{
    m_line = value;
    m_more.clear();
    m_pos = 0;
    m_lineDecoded = decoded;
    m_lineLiteral = false;
    m_lineEncoded = encoded;
}

void CvCardText::SetLiteralLine(const std::string& value)
{
    SetLine(value, true);
    m_lineLiteral = true;
}

size_t CvCardText::_ComponentEnd(size_t point) const
{
    size_t i = point;
    while (i < m_line.size()) {
        char c = m_line[i];
        if (m_leadBytes && m_leadBytes[static_cast<unsigned char>(c)] && i + 1 < m_line.size()) {
            i += 2;
            continue;
        }
        if (c == ';')
            return i;
        if (c == '\\' && !m_lineLiteral && i + 1 < m_line.size()) {
            i += 2;
            continue;
        }
        ++i;
    }
    return m_line.size();
}

void CvCardText::_Finish(const char* begin, const char* end, std::string* out, bool structured) const
{
    if (m_exactValues) {
        // Our own card: the value is what the contact held.
    } else if (m_lineDecoded) {
        // Line breaks and blanks that were escapes are meant; blanks written plain are not.
        auto plainBlank = [this](const char* p) {
            size_t i = static_cast<size_t>(p - m_line.data());
            return IsBlank(*p) && !(i < m_lineEncoded.size() && m_lineEncoded[i]);
        };
        while (begin < end && plainBlank(begin))
            ++begin;
        while (end > begin && plainBlank(end - 1))
            --end;
    } else {
        TrimRange(&begin, &end);
    }
    if (m_lineLiteral)
        out->assign(begin, end);
    else if (m_format == kFormat30)
        Unescape30(begin, static_cast<size_t>(end - begin), m_leadBytes, out);
    else if (structured)
        Unescape21(begin, static_cast<size_t>(end - begin), m_leadBytes, out);
    else
        out->assign(begin, end);
}

size_t CvCardText::TakeComponent(size_t point, std::string* component) const
{
    if (point > m_line.size())
        point = m_line.size();
    size_t end = _ComponentEnd(point);
    _Finish(m_line.data() + point, m_line.data() + end, component, true);
    return end < m_line.size() ? end + 1 : m_line.size();
}

void CvCardText::TakeRemainder(size_t point, std::string* remainder, bool structured) const
{
    if (point > m_line.size())
        point = m_line.size();
    _Finish(m_line.data() + point, m_line.data() + m_line.size(), remainder, structured);
}

}  // namespace vcard
