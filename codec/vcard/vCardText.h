// The byte-level half of the vCard reader: a .vcf file's bytes become physical lines, logical
// (unfolded) lines, property names, parameters and values, with quoted-printable decoding and the
// vCard 3.0 unescaping. It turns bytes into bytes only; which code page turns them into characters
// is decided by CCardReader (CardReader.h), which owns one CvCardText.
//
// This file, vCardText.cpp and vCardValues.cpp use no Windows header on purpose: the same code is
// compiled for the host and run under sanitizers and a fuzzer (fuzz/), where malformed files are
// cheap to try by the million.
//
// How a file is read:
//   - Load takes the file's bytes. A UTF-16 file (either byte order, marked and at least 4 bytes,
//     or unmarked and starting with BEGIN:VCARD) is turned into UTF-8; a UTF-8 byte-order mark
//     is dropped; every CR gets an LF behind it unless
//     one is there already, so CR, LF and CR LF all end lines.
//   - A logical line is one physical line plus every following physical line that begins with a
//     blank (space or tab), minus that one blank. The exception is a quoted-printable line that
//     ends in '=': its next line is joined by the soft-break rule instead.
//   - A property line is a logical line holding ':' or ';'. Its name (group prefix removed, upper
//     case) runs to the first of them; parameters follow, each behind a ';', up to the ':' that
//     starts the value. A double-quoted parameter value may hold ':', ';' and ','.
//   - A property takes the lines its value goes on over with it, whoever reads the value: the
//     lines behind a quoted-printable soft break, and the lines of a base64 value up to the blank
//     line (or the first line that is no base64), as vCard 2.1 writes them.
//   - Cards are found by NextStep alone, for the counting pass and the import pass alike: a
//     BEGIN:VCARD inside a card opens a card of its own (an AGENT's card, a phone's nested card)
//     and the card around it goes on behind the inner END:VCARD.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace vcard {

// What Load found at the start of the file.
// UTF-16 without a mark is recognised by the zero bytes of an ASCII "BEGIN:VCARD" at its start.
enum class TextOrigin { kPlain, kUtf8Mark, kUtf16Le, kUtf16Be, kUtf16LeUnmarked, kUtf16BeUnmarked };

// Recognised parameter words, as bits. Parameters of the form NAME=VALUE other than TYPE= are not
// types: they never set EMAIL's "other address type" flag.
enum ParamBits : uint32_t {
    kParamWork = 1u << 0,
    kParamHome = 1u << 1,
    kParamPostal = 1u << 2,
    kParamCell = 1u << 3,
    kParamFax = 1u << 4,
    kParamCar = 1u << 5,
    kParamPager = 1u << 6,
    kParamIsdn = 1u << 7,
    kParamPref = 1u << 8,
    kParamVoice = 1u << 9,
    kParamInternet = 1u << 10,
    // The telephone kinds beyond the standard's, under the names other programs write
    // (vCardText.cpp lists them), and a key's kind.
    kParamOther = 1u << 11,
    kParamMain = 1u << 12,
    kParamCallback = 1u << 13,
    kParamRadio = 1u << 14,
    kParamTelex = 1u << 15,
    kParamTextphone = 1u << 16,
    kParamAssistant = 1u << 17,
    kParamX509 = 1u << 18,
    kParamPgp = 1u << 19,
};

// The parameters of one property line, gathered by CvCardText::ReadParameters.
struct CParams {
    uint32_t types = 0;           // ParamBits of the recognised type words
    bool quotedPrintable = false;  // ENCODING=QUOTED-PRINTABLE or a bare QUOTED-PRINTABLE
    bool base64 = false;           // ENCODING=B (3.0), ENCODING=BASE64 or a bare BASE64 (2.1)
    bool otherType = false;        // a type word outside WORK, HOME, PREF, INTERNET
    bool valueUri = false;         // VALUE=URI

    bool Has(uint32_t bits) const { return (types & bits) != 0; }
};

// Whole-text helpers, also used on their own by the tests and the fuzzer.

// The file text as the reader sees it (byte-order marks, UTF-16, line ends; see above).
TextOrigin PrepareFileText(const char* bytes, size_t size, std::string* text);

// Quoted-printable decoding of n bytes. False on a malformed '=' (then *out is unspecified).
// A decoded zero byte ends the value. encoded (may be null) receives one flag per output byte:
// set when the byte was written as an escape, which a blank at a value's end has to be to count.
bool DecodeQuotedPrintable(const char* in, size_t n, std::string* out, std::vector<bool>* encoded = nullptr);

// Makes every '=' that cannot start an escape decode as itself ("=3D" inserted behind it).
std::string EscapeStrayEquals(const std::string& raw);

// Base64 decoding of n bytes; white space anywhere is skipped. False on any other byte outside
// the alphabet, on a lone sixth bit group, or on data behind the padding. A decoded zero byte
// ends the value, as it does in quoted-printable, unless the value is binary (a key).
bool DecodeBase64(const char* in, size_t n, std::string* out, bool binary = false);
// Base64 of bytes, padded, in one line (every format that writes it lays the lines out itself).
std::string EncodeBase64(const std::string& bytes);

// The escapes of a structured value in vCard 2.1 (N, ORG, ADR): \\ and \; only; any other
// backslash stays as written. leadBytes as for Unescape30.
std::string Unescape21(const char* p, size_t n, const bool* leadBytes = nullptr);
void Unescape21(const char* p, size_t n, const bool* leadBytes, std::string* out);  // into out, replacing it

// vCard 3.0 unescaping in one left-to-right pass: \\ \, \; \: and \n \N (CR LF); any other
// backslash stays as written. leadBytes (256 flags, may be null) marks the lead bytes of a
// double-byte code page: the byte behind one belongs to the character, even when it is '\'.
std::string Unescape30(const char* p, size_t n, const bool* leadBytes = nullptr);
void Unescape30(const char* p, size_t n, const bool* leadBytes, std::string* out);  // into out, replacing it

// White space (space, tab, CR, LF, VT, FF) removed from both ends.
void TrimRange(const char** begin, const char** end);

// True when the bytes are well-formed UTF-8 and at least one of them is not ASCII.
bool IsNonAsciiUtf8(const char* p, size_t n);

// ASCII case-insensitive comparison of a prefix.
bool StartsWithNoCase(const char* text, size_t size, const char* prefix);

class CvCardText {
public:
    // Format code of a card read with vCard 3.0 rules (escapes); 0 for everything else.
    static const int kFormat30 = 30;
    // The most one line (unfolded, soft breaks joined) may hold. No value of a real contact comes
    // near it; a picture of several megabytes may, and Quillon takes no pictures. What lies
    // beyond is stepped over without being copied, so a hostile line costs no memory.
    static const size_t kMaxLineBytes = 1024 * 1024;
    // How deep cards may lie inside cards. Each open card keeps its fields while the cards inside
    // it are read, and looks ahead through its lines once for its VERSION; real files nest one
    // card (an AGENT's). A card deeper than this is stepped over whole, cards inside it included,
    // and counted by CardsTooDeep.
    static const size_t kMaxCardDepth = 8;

    // What NextStep met.
    enum class CardStep {
        kBegin,     // a card begins (Depth() cards are open now, this one included)
        kProperty,  // a property line of the innermost open card
        kEnd,       // the innermost card ends; Format() is still its own until the next step
        kTextEnd,   // the end of the text; cards still open (Depth() > 0) are incomplete
    };

    CvCardText() = default;
    CvCardText(const CvCardText&) = delete;
    CvCardText& operator=(const CvCardText&) = delete;

    // Takes a file's bytes (see PrepareFileText) and starts reading at the beginning.
    void Load(const char* bytes, size_t size);
    void Free();
    // The file was Unicode (marked, or UTF-16 without a mark): the text is UTF-8 whatever the
    // lines' CHARSET parameters say.
    bool IsUnicodeText() const { return m_origin != TextOrigin::kPlain; }
    const std::string& Text() const { return m_text; }

    // The next logical line into Line(); false at the end of the text.
    bool ReadLine();
    // The current property was longer than kMaxLineBytes and holds only its start; FullLineBytes
    // is how long it was, the lines its value went on over included.
    bool LineCut() const { return m_lineFull > kMaxLineBytes; }
    size_t FullLineBytes() const { return m_lineFull; }
    // The next property line with the lines its value goes on over; false at the end of the text.
    // Sets the name, the line position (on the delimiter behind the name) and the charset named
    // by the line's parameters.
    bool ReadProperty();

    // The card structure: the next card start, property line of a card, or card end. Lines
    // between cards are stepped over. A VERSION line of a card sets its format here, so that
    // whoever walks the cards reads their lines alike.
    CardStep NextStep();
    size_t Depth() const { return m_depth; }
    // Complete cards stepped over since Load because they lay deeper than kMaxCardDepth (those
    // inside them included).
    size_t CardsTooDeep() const { return m_cardsTooDeep; }
    bool IsCardEnd() const;       // the current property is END:VCARD
    bool IsCardBegin() const;     // the current property is BEGIN:VCARD
    // Format code the card that just began declares (VERSION 3.0 or 4.0: 30), wherever its
    // VERSION line stands (cards inside it aside); the read position is left where it was.
    int PeekCardFormat();
    // Complete cards from the current position to the end of the text: the kEnd steps.
    size_t CountCards();

    // One parameter behind the ';' at the line position; false when no ':' or ';' follows.
    bool ReadParameter();
    // Every parameter while the line position rests on ';'. True when the position then rests on
    // the ':' that starts the value; it is moved behind that ':'. False: ignore the property.
    bool ReadParameters(CParams* params);

    // The quoted-printable value from the line position on, soft line breaks joined. False when
    // both decoding attempts failed; *value then holds the raw text.
    // encoded (may be null): which bytes of the value were escapes (see DecodeQuotedPrintable).
    bool ReadEncodedValue(std::string* value, std::vector<bool>* encoded = nullptr);
    // The base64 value from the line position on, its further lines joined. False when it does
    // not decode; *value is then unspecified.
    bool ReadBase64Value(std::string* value, bool binary = false) const;
    // Makes a value the current line, the line position at its start. decoded: the value was
    // quoted-printable, so every line break in it was written as =0D=0A on purpose; components
    // then lose only the blanks at their ends, not the line breaks.
    // encoded: the escape flags of the decoded bytes; a blank written as an escape is kept even
    // at a component's end.
    void SetLine(const std::string& value, bool decoded = false,
                 const std::vector<bool>& encoded = std::vector<bool>());
    // Makes a decoded base64 value the current line: its bytes are the text itself, with no
    // escapes; components lose the blanks at their ends, not the line breaks.
    void SetLiteralLine(const std::string& value);
    // Values of a card Quillon wrote itself (vCard 3.0, with its PRODID) are read exactly: not
    // trimmed, since the writer keeps them as the contact holds them. Set per card.
    void SetExactValues(bool exact) { m_exactValues = exact; }
    bool ExactValues() const { return m_exactValues; }

    // The component that starts at point (up to the next ';' that is not escaped), trimmed and
    // unescaped (3.0: every escape; 2.1: those of structured values). Returns the point behind
    // the ';' (or the end of the line).
    size_t TakeComponent(size_t point, std::string* component) const;
    // Everything from point to the end of the line, trimmed and, with the 3.0 format, unescaped.
    // structured: the rest of a structured value (N, ORG, ADR), unescaped as its components are.
    void TakeRemainder(size_t point, std::string* remainder, bool structured = false) const;

    const std::string& Line() const { return m_line; }
    size_t Pos() const { return m_pos; }
    void SetPos(size_t pos) { m_pos = pos < m_line.size() ? pos : m_line.size(); }
    // The byte at the line position, 0 at the end of the line.
    char At() const { return m_pos < m_line.size() ? m_line[m_pos] : '\0'; }
    // The line from the position on starts with prefix, without regard to case.
    bool RestStartsWith(const char* prefix) const;

    const std::string& Name() const { return m_name; }
    bool HasCharset() const { return m_hasCharset; }
    const std::string& Charset() const { return m_charset; }

    int Format() const { return m_format; }
    void SetFormat(int format) { m_format = format; }
    // Lead bytes of the double-byte code page the values are in (256 flags), or null. In Shift_JIS,
    // Big5 and their kind the second byte of a character can be '\' or ';' and is no separator.
    void SetLeadBytes(const bool* leadBytes) { m_leadBytes = leadBytes; }

private:
    // Both append at most up to kMaxLineBytes in *out and add the whole length to *full.
    bool _ReadPhysicalLine(std::string* out, size_t* full);
    bool _ReadLogicalLine(std::string* out, bool quotedPrintable, size_t* full);
    // The lines a value goes on over, into m_more (up to kMaxLineBytes for line and value).
    void _TakeSoftBreakLines();
    void _TakeBase64Lines();
    void _AppendMore(const std::string& line, size_t full);
    // Steps over a card too deep to be read, up to its END:VCARD; false at the end of the text.
    bool _SkipCard();
    size_t _FindDelimiter(size_t from) const;
    void _ReadCharset();
    size_t _ComponentEnd(size_t point) const;
    void _Finish(const char* begin, const char* end, std::string* out, bool structured) const;
    // The next physical line is the END:VCARD of the card: a soft line break before it ends the
    // value instead of taking the card's end into it.
    bool _NextLineEndsCard() const;

    std::string m_text;
    size_t m_read = 0;                  // start of the next physical line in m_text
    TextOrigin m_origin = TextOrigin::kPlain;
    std::string m_line;                 // the current (logical or decoded) line
    size_t m_pos = 0;                   // parse position in m_line
    size_t m_lineFull = 0;              // bytes the current property had before it was cut
    std::string m_more;                 // the lines its value goes on over, each behind CR LF
    std::string m_nextLine;             // one of them on its way into m_more
    bool m_softBreakAtCardEnd = false;  // the value's last soft break stands before END:VCARD
    std::string m_name;
    std::string m_token;
    std::string m_charset;
    bool m_hasCharset = false;
    int m_format = 0;
    // The card structure: open cards, the formats of those around the innermost, and whether the
    // innermost just ended (its format goes at the next step).
    size_t m_depth = 0;
    std::vector<int> m_outerFormats;
    bool m_endPending = false;
    size_t m_cardsTooDeep = 0;
    bool m_lineDecoded = false;         // m_line is a decoded quoted-printable or base64 value
    bool m_lineLiteral = false;         // ... a base64 one, which holds no escapes
    std::vector<bool> m_lineEncoded;    // ... and these of its bytes were escapes
    bool m_exactValues = false;
    const bool* m_leadBytes = nullptr;
};

}  // namespace vcard
