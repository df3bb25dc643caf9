#include "codec/vcard/CardText.h"

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cwchar>

#include "codec/vcard/vCardText.h"

CardBuffer::~CardBuffer()
{
    std::free(bytes);
}

bool CardBuffer::Append(const char* text)
{
    return Append(text, text ? std::strlen(text) : 0);
}

bool CardBuffer::Append(const char* text, size_t n)
{
    if (n > 0 && !text)
        return false;
    // Room for the text and the terminating zero, in the 32-bit sizes the buffer keeps.
    if (n > static_cast<size_t>(INT_MAX) - static_cast<size_t>(length) - 1)
        return false;
    int need = length + static_cast<int>(n) + 1;
    if (need > capacity || !bytes) {
        int grow = need / 16 > 128 ? need / 16 : 128;
        int newCapacity = need > INT_MAX - grow ? INT_MAX : need + grow;
        char* block = static_cast<char*>(std::realloc(bytes, static_cast<size_t>(newCapacity)));
        if (!block)
            return false;
        bytes = block;
        capacity = newCapacity;
    }
    if (n > 0)
        std::memcpy(bytes + length, text, n);
    length += static_cast<int>(n);
    bytes[length] = '\0';
    return true;
}

void CardBuffer::Empty()
{
    length = 0;
    if (bytes)
        bytes[0] = '\0';
}

namespace vcard {

namespace {

const char kHex[] = "0123456789ABCDEF";

// Line length at which a blank is no longer copied, and at which a soft break follows.
const int kBlankLimit = 64;
const int kBreakAt = 65;

bool HasLineBreak(const std::wstring& text)
{
    return text.find_first_of(L"\r\n") != std::wstring::npos;
}

bool HasLoneLineBreak(const std::wstring& text)
{
    for (size_t i = text.find_first_of(L"\r\n"); i != std::wstring::npos; i = text.find_first_of(L"\r\n", i + 1)) {
        if (text[i] == L'\n' || i + 1 == text.size() || text[i + 1] != L'\n')
            return true;
        ++i;  // the LF of this CR LF
    }
    return false;
}

// The ';' at k separates components: no odd run of backslashes escapes it.
bool IsSeparator(const std::wstring& text, size_t k)
{
    if (text[k] != L';')
        return false;
    size_t backslashes = 0;
    while (backslashes < k && text[k - 1 - backslashes] == L'\\')
        ++backslashes;
    return backslashes % 2 == 0;
}

// What the reader trims from the ends of a value written plain.
bool IsBlank(wchar_t c)
{
    return c == L' ' || c == L'\t' || c == L'\r' || c == L'\n' || c == L'\v' || c == L'\f';
}

// A blank the reader would trim: at the value's ends, or, in a structured value, at the ends of
// a component.
bool HasEdgeBlank(const std::wstring& text, bool structured)
{
    for (size_t i = 0; i < text.size(); ++i) {
        if (!IsBlank(text[i]))
            continue;
        if (i == 0 || i + 1 == text.size() || (structured && (IsSeparator(text, i - 1) || IsSeparator(text, i + 1))))
            return true;
    }
    return false;
}

// One component of a structured value (N, ORG, ADR) or one entry of a list: the separators it
// could be taken for are escaped, in both formats (vCard 2.1 takes backslash escapes in
// structured values too), and the backslash itself, so that an escape at a component's end
// cannot swallow the separator behind it. separator: ',' for list entries, ';' otherwise;
// in vCard 3.0 both are escaped along with line breaks, which 2.1 writes quoted-printable.
void AppendComponent(const std::wstring& text, bool format30, wchar_t separator, std::wstring* out)
{
    for (size_t i = 0; i < text.size(); ++i) {
        wchar_t c = text[i];
        if (c == L'\\' || c == separator || (format30 && (c == L';' || c == L','))) {
            out->push_back(L'\\');
            out->push_back(c);
        } else if (format30 && (c == L'\r' || c == L'\n')) {
            out->append(L"\\n");
            if (c == L'\r' && i + 1 < text.size() && text[i + 1] == L'\n')
                ++i;
        } else {
            out->push_back(c);
        }
    }
}

// A raw value of vCard 3.0 (TEL, EMAIL, URL): commas stay as they are, but a backslash is
// doubled and line breaks are written as \n, since the reader unescapes every value.
void AppendRaw30(const std::wstring& text, std::wstring* out)
{
    for (size_t i = 0; i < text.size(); ++i) {
        wchar_t c = text[i];
        if (c == L'\\') {
            out->append(L"\\\\");
        } else if (c == L'\r' || c == L'\n') {
            out->append(L"\\n");
            if (c == L'\r' && i + 1 < text.size() && text[i + 1] == L'\n')
                ++i;
        } else {
            out->push_back(c);
        }
    }
}

const char* const kWork[] = {"WORK"};
const char* const kHome[] = {"HOME"};
const char* const kPrefInternet[] = {"PREF", "INTERNET"};
const char* const kInternet[] = {"INTERNET"};

// Base64 of bytes in lines of 76 digits, each line after the first opened by lineStart.
void AppendBase64(CardBuffer* out, const std::string& bytes, const char* lineStart)
{
    const std::string digits = EncodeBase64(bytes);
    for (size_t at = 0; at < digits.size(); at += 76) {
        if (at > 0)
            out->Append(lineStart);
        out->Append(digits.data() + at, std::min<size_t>(76, digits.size() - at));
    }
}

bool StartsWithEndVcard(const char* p)
{
    static const char kEnd[] = "END:VCARD";
    for (int k = 0; k < 9; ++k) {
        char a = p[k] >= 'a' && p[k] <= 'z' ? static_cast<char>(p[k] - 32) : p[k];
        if (a != kEnd[k])
            return false;
    }
    return true;
}

}  // namespace

void AppendQuotedPrintable(CardBuffer* out, const char* bytes, size_t n, bool structured)
{
    // Encoded in chunks on the stack: one byte gives at most 3 characters plus a soft break.
    char chunk[512];
    size_t used = 0;
    int lineLength = 0;
    bool afterSoftBreak = false;
    // Blanks from here on run to the end of the value.
    size_t trailing = n;
    while (trailing > 0 && (bytes[trailing - 1] == ' ' || bytes[trailing - 1] == '\t'))
        --trailing;
    for (size_t i = 0; i < n; ++i) {
        unsigned char c = static_cast<unsigned char>(bytes[i]);
        bool blank = c == ' ' || c == '\t';
        bool edge = i == 0 || i >= trailing ||
                    (structured && ((i > 0 && bytes[i - 1] == ';') || (i + 1 < n && bytes[i + 1] == ';')));
        // A physical line of its own that reads END:VCARD ends the card for readers, soft break
        // before it or not: its first letter is encoded.
        bool lineStart = afterSoftBreak && lineLength == 0;
        bool cardEnd = lineStart && n - i >= 9 && StartsWithEndVcard(bytes + i);
        bool copy = ((c >= 33 && c <= 60) || (c >= 62 && c <= 126) ||
                     (blank && !edge && lineLength < kBlankLimit && !lineStart)) &&
                    !cardEnd;
        if (copy) {
            chunk[used++] = static_cast<char>(c);
            lineLength += 1;
        } else {
            chunk[used++] = '=';
            chunk[used++] = kHex[c >> 4];
            chunk[used++] = kHex[c & 15];
            lineLength += 3;
        }
        if (lineLength >= kBreakAt) {
            chunk[used++] = '=';
            chunk[used++] = '\r';
            chunk[used++] = '\n';
            lineLength = 0;
            afterSoftBreak = true;
        }
        if (used > sizeof(chunk) - 8) {
            out->Append(chunk, used);
            used = 0;
        }
    }
    if (used > 0)
        out->Append(chunk, used);
}

void AppendEscaped30(const wchar_t* text, size_t n, std::wstring* out)
{
    for (size_t i = 0; i < n; ++i) {
        wchar_t c = text[i];
        switch (c) {
        case L'\\':
            out->append(L"\\\\");
            break;
        case L',':
            out->append(L"\\,");
            break;
        case L';':
            // A text value of 3.0 may not hold a bare ';': readers that split every value at it
            // (Evolution's) would cut the name, title or note there.
            out->append(L"\\;");
            break;
        case L'\r':
        case L'\n':
            out->append(L"\\n");
            if (c == L'\r' && i + 1 < n && text[i + 1] == L'\n')
                ++i;
            break;
        default:
            out->push_back(c);
        }
    }
}

bool CivilFromFileTime(uint64_t fileTime, CivilTime* out)
{
    if (fileTime & (uint64_t(1) << 63))
        return false;
    uint64_t seconds = fileTime / 10000000u;
    int64_t days = static_cast<int64_t>(seconds / 86400u);
    int rest = static_cast<int>(seconds % 86400u);
    // Days from 1601-01-01 to 1970-01-01, then the proleptic Gregorian calendar from the epoch.
    int64_t z = days - 134774 + 719468;
    int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    int64_t doe = z - era * 146097;
    int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    int64_t mp = (5 * doy + 2) / 153;
    int64_t month = mp < 10 ? mp + 3 : mp - 9;
    out->year = static_cast<int>(yoe + era * 400 + (month <= 2 ? 1 : 0));
    out->month = static_cast<int>(month);
    out->day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    out->hour = rest / 3600;
    out->minute = rest / 60 % 60;
    out->second = rest % 60;
    return true;
}

CCardWriter::CCardWriter(int format, bool charsetParameter, const std::string& charsetName,
                         int versionMajor, int versionMinor, const ITextEncoder& encoder)
    : m_format(format), m_encoder(encoder)
{
    if (charsetParameter)
        m_charset = ";CHARSET=" + charsetName;
    char prodId[96];
    std::snprintf(prodId, sizeof(prodId), "PRODID:-//Brisco Corporation//Quillon %d.%d//EN\r\n",
                  versionMajor, versionMinor);
    m_prodId = prodId;
}

void CCardWriter::_Convert(const std::wstring& text)
{
    if (text.empty() || m_encoder.ToBytes(text.data(), text.size(), &m_bytes) < 0)
        m_bytes.clear();
}

void CCardWriter::_Head(const char* name, const char* const* types, size_t typeCount)
{
    m_out->Append(name);
    m_out->Append(m_charset);
    const char* separator = m_format == kVCard30 ? ";TYPE=" : ";";
    for (size_t i = 0; i < typeCount; ++i) {
        m_out->Append(separator);
        m_out->Append(types[i]);
    }
}

void CCardWriter::_Component(const std::wstring& text)
{
    // 3.0 escapes the component's line breaks here, where a lone one can still be seen.
    if (m_format == kVCard30 && HasLoneLineBreak(text))
        m_componentLoneLineBreak = true;
    AppendComponent(text, m_format == kVCard30, L';', &m_wide);
}

void CCardWriter::_Line(const char* name, const char* const* types, size_t typeCount,
                        const std::wstring& value, Mode mode, bool structured)
{
    const std::wstring* text = &value;
    const bool loneLineBreak = m_componentLoneLineBreak || HasLoneLineBreak(value);
    m_componentLoneLineBreak = false;
    if (m_format == kVCard21) {
        if (mode != Mode::QuotedPrintable && (HasLineBreak(value) || HasEdgeBlank(value, structured)))
            mode = Mode::QuotedPrintable;
    } else {
        if (loneLineBreak)
            m_changes.loneLineBreaks.push_back(name);
        if (mode == Mode::Escaped) {
            m_part.clear();
            AppendEscaped30(value.data(), value.size(), &m_part);
            text = &m_part;
        } else if (mode == Mode::Raw) {
            m_part.clear();
            AppendRaw30(value, &m_part);
            text = &m_part;
        }
    }
    _Convert(*text);
    _Head(name, types, typeCount);
    if (mode == Mode::QuotedPrintable) {
        m_out->Append(";ENCODING=QUOTED-PRINTABLE:", 27);
        AppendQuotedPrintable(m_out, m_bytes.data(), m_bytes.size(), structured);
    } else {
        m_out->Append(":", 1);
        m_out->Append(m_bytes);
    }
    m_out->Append("\r\n", 2);
}

void CCardWriter::_Date(const char* name, const CContactDate& date)
{
    CivilTime t;
    // The card's date has four digits of year: a later one would read back as another date.
    if (!date.present || !CivilFromFileTime(date.fileTime, &t) || t.year > 9999)
        return;
    char text[48];
    std::snprintf(text, sizeof(text), ":%04d%02d%02d\r\n", t.year, t.month, t.day);
    _Head(name, nullptr, 0);
    m_out->Append(text);
}

void CCardWriter::_Adr(const char* type, const std::wstring* address, bool extended)
{
    // Only the business address has an extended part (its office location): the others' stays
    // empty.
    bool any = false;
    for (int i = 0; i < CContactRecord::kAddressParts; ++i)
        any = any || ((extended || i != CContactRecord::kExtended) && !address[i].empty());
    if (!any)
        return;
    m_wide.clear();
    for (int i = 0; i < CContactRecord::kAddressParts; ++i) {
        if (i > 0)
            m_wide.push_back(L';');
        if (extended || i != CContactRecord::kExtended)
            _Component(address[i]);
    }
    // Readers decode every address of vCard 2.1 as quoted-printable, marked or not: a plain "="
    // would be taken for the start of an escape (or, at the end, a soft break).
    Mode mode = m_format == kVCard21 && m_wide.find(L'=') != std::wstring::npos ? Mode::QuotedPrintable
                                                                               : Mode::Structured;
    const char* const types[] = {type};
    _Line("ADR", types, 1, m_wide, mode, true);
}

void CCardWriter::_Emails(const CContactRecord& card)
{
    const long index = card.defaultAddressIndex;
    const std::wstring* address = &card.emailAddress;
    const std::wstring* type = &card.addrType;
    if (address->empty() && index >= 0 && static_cast<size_t>(index) < card.emails.size())
        address = &card.emails[static_cast<size_t>(index)];
    if (type->empty() && index >= 0 && static_cast<size_t>(index) < card.emailTypes.size())
        type = &card.emailTypes[static_cast<size_t>(index)];
    if (!address->empty()) {
        _Line("EMAIL", kPrefInternet, *type == L"SMTP" ? 2 : 1, *address, Mode::Raw);
        if (*type != L"SMTP")
            m_changes.untypedEmails.emplace_back(*address, *type);
    }
    // The entry the preferred line already wrote is left out: the one at the preferred index, or,
    // when the contact's own address is another one (its index points elsewhere), the first entry
    // equal to that address. Leaving out the indexed entry then would lose it.
    size_t written = card.emails.size();
    if (index >= 0 && static_cast<size_t>(index) < card.emails.size()) {
        written = static_cast<size_t>(index);
        if (card.emails[written] != *address)
            written = std::find(card.emails.begin(), card.emails.end(), *address) - card.emails.begin();
    }
    for (size_t j = 0; j < card.emails.size(); ++j) {
        if (card.emails[j].empty() || j == written)
            continue;
        bool smtp = j < card.emailTypes.size() && card.emailTypes[j] == L"SMTP";
        _Line("EMAIL", kInternet, smtp ? 1 : 0, card.emails[j], Mode::Raw);
        if (!smtp)
            m_changes.untypedEmails.emplace_back(card.emails[j],
                                                 j < card.emailTypes.size() ? card.emailTypes[j] : std::wstring());
    }
}

void CCardWriter::_Group(const CContactRecord& card)
{
    m_wide.clear();
    _Component(card.displayName);
    m_wide.append(L";;;;");
    _Line("N", m_wide, Mode::Structured, true);
    _Line("FN", card.displayName, Mode::Escaped);
    // The kind and members as vCard 4.0 names them (readers of 3.0 and 2.1 step over what they do
    // not know); the member's name rides in a parameter, quoted, without the quotes it may hold.
    m_out->Append("KIND:group\r\n");
    // Neither may end the line early; the name may not end its quotes.
    const auto plain = [this](const std::wstring& text, const wchar_t* dropped) {
        m_part.clear();
        for (wchar_t c : text) {
            if (!std::wcschr(dropped, c))
                m_part.push_back(c);
        }
        _Convert(m_part);
        return m_bytes;
    };
    for (size_t i = 0; i < card.oneOffAddresses.size(); ++i) {
        const std::string name = plain(i < card.oneOffNames.size() ? card.oneOffNames[i] : std::wstring(), L"\"\r\n");
        std::string head = "MEMBER" + m_charset;
        if (!name.empty())
            head += ";X-CN=\"" + name + "\"";
        plain(card.oneOffAddresses[i], L"\r\n");
        m_out->Append(head);
        m_out->Append(":mailto:");
        m_out->Append(m_bytes);
        m_out->Append("\r\n", 2);
    }
}

wchar_t CCardWriter::_AsciiFit(wchar_t c)
{
    if (c < 0x80)
        return c;
    size_t index = static_cast<size_t>(c);
    if (index < m_fits.size() && m_fits[index] != 0)
        return m_fits[index] == 1 ? c : static_cast<wchar_t>(m_fits[index] - 2);
    std::string bytes;
    wchar_t fit = c;
    if (m_encoder.ToBytes(&c, 1, &bytes) == 1 && static_cast<unsigned char>(bytes[0]) < 0x80)
        fit = static_cast<wchar_t>(bytes[0]);
    if (index < 0x10000) {
        if (m_fits.empty())
            m_fits.resize(0x10000);
        m_fits[index] = static_cast<unsigned char>(fit == c ? 1 : fit + 2);
    }
    return fit;
}

const CContactRecord& CCardWriter::_Fitted(const CContactRecord& card)
{
    bool any = false;
    for (const std::wstring* s : card.Texts()) {
        for (wchar_t c : *s)
            any = any || (c >= 0x80 && _AsciiFit(c) != c);
    }
    if (!any)
        return card;
    m_fitted = card;
    for (std::wstring* s : m_fitted.Texts()) {
        for (wchar_t& c : *s)
            c = _AsciiFit(c);
    }
    return m_fitted;
}

void CCardWriter::Write(const CContactRecord& fields, CardBuffer* out)
{
    const CContactRecord& card = _Fitted(fields);
    m_out = out;
    out->Empty();
    m_changes.loneLineBreaks.clear();
    m_changes.untypedEmails.clear();
    out->Append("BEGIN:VCARD\r\n", 13);
    if (m_format == kVCard30) {
        out->Append(m_prodId);
        out->Append("VERSION:3.0\r\n", 13);
    } else {
        out->Append("VERSION:2.1\r\n", 13);
    }

    if (card.isGroup) {
        _Group(card);
        out->Append("END:VCARD\r\n", 11);
        m_out = nullptr;
        return;
    }
    m_wide.clear();
    for (const std::wstring* part : {&card.surname, &card.givenName, &card.middleName, &card.namePrefix}) {
        _Component(*part);
        m_wide.push_back(L';');
    }
    _Component(card.nameSuffix);
    _Line("N", m_wide, Mode::Structured, true);

    if (!card.displayName.empty()) {
        _Line("FN", card.displayName, Mode::Escaped);
    } else {
        m_wide.clear();
        for (const std::wstring* part : {&card.givenName, &card.middleName, &card.surname}) {
            if (part->empty())
                continue;
            if (!m_wide.empty())
                m_wide.push_back(L' ');
            m_wide.append(*part);
        }
        _Line("FN", m_wide, Mode::Escaped);
    }

    if (!card.nickname.empty())
        _Line("NICKNAME", card.nickname, Mode::Escaped);
    if (!card.company.empty() || !card.department.empty()) {
        m_wide.clear();
        _Component(card.company);
        if (!card.department.empty()) {
            m_wide.push_back(L';');
            _Component(card.department);
        }
        _Line("ORG", m_wide, Mode::Structured, true);
    }
    if (!card.title.empty())
        _Line("TITLE", card.title, Mode::Escaped);
    if (!card.comment.empty())
        _Line("NOTE", card.comment, m_format == kVCard30 ? Mode::Escaped : Mode::QuotedPrintable);

    // The first six kinds as the standard names them, then every further kind the address book
    // keeps: the standard's words where it has one, else the names Evolution writes and reads. A
    // second business or home telephone is the second line of its kind.
    struct Tel {
        const std::wstring* number;
        const char* types[2];
        size_t count;
    };
    const Tel tels[] = {
        {&card.businessPhone, {"WORK"}, 1},      {&card.businessFax, {"WORK", "FAX"}, 2},
        {&card.homePhone, {"HOME"}, 1},          {&card.homeFax, {"HOME", "FAX"}, 2},
        {&card.mobilePhone, {"CELL"}, 1},        {&card.pager, {"PAGER"}, 1},
        {&card.business2Phone, {"WORK"}, 1},     {&card.home2Phone, {"HOME"}, 1},
        {&card.carPhone, {"CAR"}, 1},            {&card.primaryPhone, {"PREF"}, 1},
        {&card.isdnNumber, {"ISDN"}, 1},         {&card.companyMainPhone, {"MAIN"}, 1},
        {&card.otherPhone, {"VOICE"}, 1},        {&card.otherFax, {"OTHER", "FAX"}, 2},
        {&card.callbackPhone, {"X-EVOLUTION-CALLBACK"}, 1}, {&card.radioPhone, {"X-EVOLUTION-RADIO"}, 1},
        {&card.telexNumber, {"X-EVOLUTION-TELEX"}, 1},      {&card.ttyTddPhone, {"X-EVOLUTION-TTYTDD"}, 1},
        {&card.assistantPhone, {"X-EVOLUTION-ASSISTANT"}, 1},
    };
    for (const Tel& tel : tels) {
        if (!tel.number->empty())
            _Line("TEL", tel.types, tel.count, *tel.number, Mode::Raw);
    }

    _Adr("WORK", card.business, true);
    _Adr("HOME", card.home, false);
    _Adr("POSTAL", card.other, false);

    if (!card.personalHomePage.empty())
        _Line("URL", kHome, 1, card.personalHomePage, Mode::Raw);
    if (!card.businessHomePage.empty())
        _Line("URL", kWork, 1, card.businessHomePage, Mode::Raw);

    _Date("BDAY", card.birthday);
    _Emails(card);
    _Date("X-OUTL-ANNIVERSARY", card.anniversary);

    for (const std::wstring& server : card.conferencingServers)
        _Line("X-OUTL-NMSERVER", server, Mode::Escaped);
    if (!card.spouse.empty())
        _Line("X-OUTL-SPOUSE", card.spouse, Mode::Escaped);
    if (card.hasGender) {
        char text[24];
        std::snprintf(text, sizeof(text), ":%d\r\n", card.gender);
        _Head("X-OUTL-GENDER", nullptr, 0);
        out->Append(text);
    }
    if (!card.children.empty()) {
        m_wide.clear();
        for (size_t i = 0; i < card.children.size(); ++i) {
            const std::wstring& child = card.children[i];
            size_t begin = 0, end = child.size();
            while (begin < end && IsBlank(child[begin]))
                ++begin;
            while (end > begin && IsBlank(child[end - 1]))
                --end;
            if (i > 0)
                m_wide.push_back(L',');
            // A comma inside a name is escaped, so that only the joining commas separate.
            AppendComponent(child.substr(begin, end - begin), false, L',', &m_wide);
        }
        _Line("X-OUTL-CHILDREN", m_wide, Mode::Escaped);
    }
    if (!card.assistant.empty())
        _Line("X-OUTL-ASSISTANTNAME", card.assistant, Mode::Escaped);
    if (!card.manager.empty())
        _Line("X-OUTL-MANAGERNAME", card.manager, Mode::Escaped);
    if (!card.groups.empty()) {
        // The groups' names, joined by commas, each with the separators it holds escaped.
        m_wide.clear();
        for (const std::wstring& group : card.groups) {
            if (!m_wide.empty())
                m_wide.push_back(L',');
            if (m_format == kVCard30 && HasLoneLineBreak(group))
                m_componentLoneLineBreak = true;
            AppendComponent(group, m_format == kVCard30, L',', &m_wide);
        }
        _Line("CATEGORIES", m_wide, Mode::Structured);
    }
    for (const std::string& certificate : card.certificates) {
        // vCard 2.1 writes a base64 value on indented lines that a blank line ends; 3.0 folds it.
        if (certificate.empty())
            continue;
        if (m_format == kVCard30) {
            out->Append("KEY;TYPE=X509;ENCODING=b:");
            AppendBase64(out, certificate, "\r\n ");
            out->Append("\r\n");
        } else {
            out->Append("KEY;X509;ENCODING=BASE64:\r\n    ");
            AppendBase64(out, certificate, "\r\n    ");
            out->Append("\r\n\r\n");
        }
    }
    CivilTime t;
    if (card.modified.present && CivilFromFileTime(card.modified.fileTime, &t)) {
        char text[64];
        std::snprintf(text, sizeof(text), ":%04d%02d%02dT%02d%02d%02dZ\r\n", t.year, t.month, t.day, t.hour,
                      t.minute, t.second);
        _Head("REV", nullptr, 0);
        out->Append(text);
    }
    out->Append("END:VCARD\r\n", 11);
    m_out = nullptr;
}

}  // namespace vcard
