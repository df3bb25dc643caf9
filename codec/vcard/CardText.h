// The text of one vCard as bytes: the growable card buffer, the value encodings (vCard 3.0
// escaping, quoted-printable), calendar dates from file times and the layout of a whole card.
// Nothing here knows the address book or Windows: the contact arrives as a contact record and the
// code-page conversion as an interface, so the byte rules can be checked on their own and timed
// without a store behind them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "codec/ContactRecord.h"

// Receives the text of one card. The block comes from the C run-time allocator, grows by a
// sixteenth (at least 128 bytes) beyond what an append needs, keeps a zero after the last byte and
// is reused from card to card: Empty keeps it.
struct CardBuffer {
    int capacity = 0;
    char* bytes = nullptr;
    int length = 0;

    CardBuffer() = default;
    ~CardBuffer();
    CardBuffer(const CardBuffer&) = delete;
    CardBuffer& operator=(const CardBuffer&) = delete;

    // False (and nothing appended) when the block cannot be grown or the text would not fit in
    // the 32-bit length.
    bool Append(const char* text);
    bool Append(const char* text, size_t n);
    bool Append(const std::string& text) { return Append(text.data(), text.size()); }
    void Empty();
};

namespace vcard {

// Format codes.
const int kVCard21 = 21;
const int kVCard30 = 30;

// Quoted-printable of one value (vCard 2.1). Blanks are copied while the physical line is short;
// a soft break ("=" CRLF) follows every byte that brings the line to 65 or more, the last one
// included. A blank that would open a physical line after a soft break is encoded, because
// readers drop leading blanks of continuation lines.
// Blanks at the value's ends (and, in a structured value, beside a ';') are always encoded:
// readers trim blanks written plain there, but keep encoded ones.
void AppendQuotedPrintable(CardBuffer* out, const char* bytes, size_t n, bool structured = false);

// vCard 3.0 escaping, done on the UTF-16 text before it is converted: a backslash byte can be the
// second byte of a double-byte character (Shift_JIS, Big5), so escaping the converted bytes would
// corrupt such characters. Backslash, comma and line breaks are escaped; a semicolon is not.
void AppendEscaped30(const wchar_t* text, size_t n, std::wstring* out);

// Calendar time of a file time (UTC, 100 ns since 1601-01-01), as FileTimeToSystemTime gives it;
// false for the values it rejects (the top bit set).
struct CivilTime {
    int year, month, day, hour, minute, second;
};
bool CivilFromFileTime(uint64_t fileTime, CivilTime* out);

// Converts UTF-16 values to the bytes of the run's code page. Returns the byte count, or -1 when
// nothing came out (the value is then written empty).
class ITextEncoder {
public:
    virtual ~ITextEncoder() = default;
    virtual int ToBytes(const wchar_t* text, size_t n, std::string* bytes) const = 0;
};

// What reading the last card back would change besides characters the code page lacks: the
// format has no way to say them, so the run can only tell the user.
struct CardChanges {
    // vCard 3.0 has one form of line break: a lone LF or CR in these lines returns as CR LF.
    std::vector<const char*> loneLineBreaks;
    // Written without the Internet type, which a reader assumes for an untyped address: these
    // (address, stored type) return as SMTP.
    std::vector<std::pair<std::wstring, std::wstring>> untypedEmails;
};

// Lays out whole cards for one run: format, charset parameter and product version are fixed.
class CCardWriter {
public:
    // charsetParameter: write ";CHARSET=" and charsetName on every line (the code page of the
    // run is a real one); otherwise no line carries it.
    CCardWriter(int format, bool charsetParameter, const std::string& charsetName, int versionMajor,
                int versionMinor, const ITextEncoder& encoder);

    // Empties out and appends the whole card. A piece that cannot be appended is dropped.
    void Write(const CContactRecord& fields, CardBuffer* out);
    const CardChanges& Changes() const { return m_changes; }

private:
    // Structured: the components are escaped already (N, ORG, ADR), the value is written as it
    // stands (2.1 turns to quoted-printable for a line break).
    enum class Mode { Escaped, Raw, QuotedPrintable, Structured };

    // One property line: name, charset, type words, encoding, ':' and the value in its mode.
    // In vCard 2.1 a value holding a line break is written quoted-printable whatever its mode,
    // and in vCard 3.0 every line break becomes \n, so that no value can end a card line early.
    // In vCard 2.1 a value with a blank at one of its ends (or a component's, when structured)
    // is written quoted-printable as well, since the reader trims blanks written plain.
    void _Line(const char* name, const char* const* types, size_t typeCount, const std::wstring& value,
               Mode mode, bool structured = false);
    void _Line(const char* name, const std::wstring& value, Mode mode, bool structured = false)
    {
        _Line(name, nullptr, 0, value, mode, structured);
    }
    void _Head(const char* name, const char* const* types, size_t typeCount);
    void _Date(const char* name, const CContactDate& date);
    void _Emails(const CContactRecord& card);
    // A group's card: its name, KIND:group and a MEMBER line for each address it keeps.
    void _Group(const CContactRecord& card);
    // One ';'-separated component of N, ORG or ADR, escaped onto m_wide.
    void _Component(const std::wstring& text);
    // One address of the record's seven parts; extended: its extended part is written.
    void _Adr(const char* type, const std::wstring* address, bool extended);
    // The converted bytes of a value built in m_wide.
    void _Convert(const std::wstring& text);
    // A character outside ASCII that the code page writes as one ASCII byte (its best fit: the
    // yen sign is a backslash in Shift_JIS, fullwidth forms are ASCII in windows-1252) is that
    // ASCII character from the start, so that it is escaped as one: a backslash or ';' that
    // appeared only in the conversion would escape or split the value. The card itself, or a
    // copy with such characters replaced.
    wchar_t _AsciiFit(wchar_t c);
    const CContactRecord& _Fitted(const CContactRecord& card);

    const int m_format;
    std::string m_charset;  // ";CHARSET=name", or empty
    std::string m_prodId;
    const ITextEncoder& m_encoder;
    CardBuffer* m_out = nullptr;
    CardChanges m_changes;
    bool m_componentLoneLineBreak = false;  // for the next line
    std::wstring m_wide;   // a value being assembled
    std::wstring m_part;   // a component being assembled
    std::string m_bytes;   // its converted bytes
    // _AsciiFit's answers of the run's code page by character: 0 not asked yet, 1 none, else the
    // ASCII character plus 2.
    std::vector<unsigned char> m_fits;
    CContactRecord m_fitted;
};

}  // namespace vcard
