// The byte layer of the reader on its own: file text, lines, parameters, quoted-printable,
// unescaping and components, as tables of inputs and whole expected outputs.
#include <gtest/gtest.h>

#include "codec/vcard/vCardText.h"
#include "codecsupport.h"
#include "support/testsupport.h"

using namespace vcard;

namespace {

std::string Prepared(const std::string& bytes, TextOrigin* origin = nullptr)
{
    std::string text;
    TextOrigin o = PrepareFileText(bytes.data(), bytes.size(), &text);
    if (origin)
        *origin = o;
    return text;
}

std::vector<std::string> LinesOf(const std::string& bytes)
{
    CvCardText reader;
    reader.Load(bytes.data(), bytes.size());
    std::vector<std::string> lines;
    while (reader.ReadLine())
        lines.push_back(reader.Line());
    return lines;
}

}  // namespace

TEST(FileText, ByteOrderMarksAndLineEnds)
{
    struct Case {
        const char* what;
        std::string bytes;
        TextOrigin origin;
        std::string text;
    } cases[] = {
        {"plain text stays", "N:a\r\n", TextOrigin::kPlain, "N:a\r\n"},
        {"UTF-8 mark dropped", "\xEF\xBB\xBF" "BEGIN:VCARD\r\n", TextOrigin::kUtf8Mark, "BEGIN:VCARD\r\n"},
        {"UTF-16 LE", std::string("\xFF\xFEN\0:\0\xFC\0\r\0\n\0", 12), TextOrigin::kUtf16Le, "N:\xC3\xBC\r\n"},
        {"UTF-16 BE", std::string("\xFE\xFF\0N\0:\0\xFC\0\r\0\n", 12), TextOrigin::kUtf16Be, "N:\xC3\xBC\r\n"},
        {"UTF-16 surrogate pair", std::string("\xFF\xFE\x3D\xD8\x00\xDE", 6), TextOrigin::kUtf16Le, "\xF0\x9F\x98\x80"},
        {"UTF-16 lone surrogate", std::string("\xFF\xFE\x00\xD8", 4), TextOrigin::kUtf16Le, "\xEF\xBF\xBD"},
        {"odd UTF-16 size ignores the last byte", std::string("\xFF\xFE" "A\0B", 5), TextOrigin::kUtf16Le, "A"},
        {"three bytes are never UTF-16", std::string("\xFF\xFE" "A", 3), TextOrigin::kPlain, std::string("\xFF\xFE" "A", 3)},
        {"lone CR ends a line", "A\rB\r", TextOrigin::kPlain, "A\r\nB\r\n"},
        {"CR CR LF", "A\r\r\nB", TextOrigin::kPlain, "A\r\n\r\nB"},
        {"LF alone stays", "A\nB", TextOrigin::kPlain, "A\nB"},
        {"empty file", "", TextOrigin::kPlain, ""},
        // UTF-16 without a mark shows itself by the zero bytes of its ASCII BEGIN:VCARD.
        {"unmarked UTF-16 LE", std::string("B\0E\0G\0I\0N\0:\0V\0C\0A\0R\0D\0\r\0\n\0\xFC\0", 28),
         TextOrigin::kUtf16LeUnmarked, "BEGIN:VCARD\r\n\xC3\xBC"},
        {"unmarked UTF-16 BE after a blank line, lower case",
         std::string("\0\r\0\n\0b\0e\0g\0i\0n\0:\0v\0c\0a\0r\0d", 26), TextOrigin::kUtf16BeUnmarked,
         "\r\nbegin:vcard"},
        {"zero bytes without BEGIN:VCARD stay bytes", std::string("N\0:\0a\0", 6), TextOrigin::kPlain,
         std::string("N\0:\0a\0", 6)},
    };
    for (const Case& c : cases) {
        TextOrigin origin;
        EXPECT_EQ(Prepared(c.bytes, &origin), c.text) << c.what;
        EXPECT_EQ(origin, c.origin) << c.what;
    }
}

TEST(FileText, LogicalLinesUnfoldBlanksButNotSoftBreaks)
{
    struct Case {
        const char* what;
        std::string text;
        std::vector<std::string> lines;
    } cases[] = {
        {"CR, LF and CR LF", "A\rB\nC\r\nD", {"A", "B", "C", "D"}},
        {"space and tab continue a line, one blank removed",
         "NOTE:one\r\n  two\r\n\tthree\r\nX:y", {"NOTE:one two" "three", "X:y"}},
        {"leading spaces of a first line are skipped", "   A:b\r\n", {"A:b"}},
        {"a quoted-printable soft break is not unfolded",
         "NOTE;ENCODING=QUOTED-PRINTABLE:a=\r\n b\r\n", {"NOTE;ENCODING=QUOTED-PRINTABLE:a=", "b"}},
        {"an unmarked line ending in = is unfolded", "NOTE:a=\r\n b\r\n", {"NOTE:a=b"}},
        {"empty lines are lines", "A\r\n\r\nB", {"A", "", "B"}},
        {"blanks after the last line continue it", "A\r\n   ", {"A  "}},
        {"blanks alone end the text", "   ", {}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(LinesOf(c.text), c.lines) << c.what;
}

TEST(QuotedPrintable, Decoding)
{
    struct Case {
        std::string in;
        bool ok;
        std::string out;
    } cases[] = {
        {"=41=42", true, "AB"},
        {"a=3Db", true, "a=b"},
        {"=c3=bc", true, "\xC3\xBC"},
        {"ab=\r\ncd", true, "abcd"},
        {"a\r\nb", true, "ab"},
        {"=G1x", true, std::string("")},  // G ends the hex digits at once: a zero byte ends the value
        {"x=1Gy", true, "x\x01y"},
        {"ab=00cd", true, "ab"},
        {"a=", false, ""},
        {"=4", false, ""},    // too short for an escape
        {"a= b", false, ""},
        {"a=\rb", false, ""},
        {"", true, ""},
    };
    for (const Case& c : cases) {
        std::string out;
        bool ok = DecodeQuotedPrintable(c.in.data(), c.in.size(), &out);
        EXPECT_EQ(ok, c.ok) << c.in;
        if (ok && c.ok) {
            EXPECT_EQ(out, c.out) << c.in;
        }
    }
}

TEST(Base64, Decoding)
{
    struct Case {
        std::string in;
        bool ok;
        std::string out;
    } cases[] = {
        {"TWFu", true, "Man"},
        {"TWE=", true, "Ma"},
        {"TQ==", true, "M"},
        {"TWE", true, "Ma"},                 // padding left out
        {" TW\r\n Fu\tIA==\r\n", true, "Man "},  // white space anywhere
        {"+/+/", true, "\xFB\xFF\xBF"},
        {"AEFC", true, ""},                  // a zero byte ends the value
        {"", true, ""},
        {"T", false, ""},                    // a lone six bits
        {"TW-u", false, ""},
        {"TQ==QQ", false, ""},               // data behind the padding
    };
    for (const Case& c : cases) {
        std::string out;
        bool ok = DecodeBase64(c.in.data(), c.in.size(), &out);
        EXPECT_EQ(ok, c.ok) << c.in;
        if (ok && c.ok) {
            EXPECT_EQ(out, c.out) << c.in;
        }
    }
}

TEST(QuotedPrintable, StrayEqualsAreEscaped)
{
    struct Case {
        std::string in;
        std::string escaped;
        std::string decoded;
    } cases[] = {
        {"a=", "a=3D", "a="},
        {"=4", "=3D4", "=4"},
        {"1 = 2", "1 =3D 2", "1 = 2"},
        {"=41=", "=41=3D", "A="},
        {"x=\r\ny", "x=\r\ny", "xy"},
    };
    for (const Case& c : cases) {
        std::string escaped = EscapeStrayEquals(c.in);
        EXPECT_EQ(escaped, c.escaped) << c.in;
        std::string out;
        ASSERT_TRUE(DecodeQuotedPrintable(escaped.data(), escaped.size(), &out)) << c.in;
        EXPECT_EQ(out, c.decoded) << c.in;
    }
}

TEST(Unescaping, OnePassOverTheText)
{
    struct Case {
        std::string in;
        std::string out;
    } cases[] = {
        {"a\\,b", "a,b"},
        {"x\\ny", "x\r\ny"},
        {"x\\Ny", "x\r\ny"},
        {"a\\;b", "a;b"},
        {"C:\\\\new", "C:\\new"},      // an escaped backslash before n is no line break
        {"a\\\\\\,b", "a\\,b"},
        {"http\\://x", "http://x"},
        {"a\\qb", "a\\qb"},        // unknown escapes stay as written
        {"end\\", "end\\"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(Unescape30(c.in.data(), c.in.size()), c.out) << c.in;

    // The second byte of a Shift_JIS character may be a backslash.
    bool lead[256] = {};
    lead[0x94] = true;
    EXPECT_EQ(Unescape30("\x94\\n\\n", 5, lead), "\x94\\n\r\n");
}

TEST(Utf8Check, WellFormedAndNotAscii)
{
    struct Case {
        std::string in;
        bool expected;
    } cases[] = {
        {"plain", false},
        {"M\xC3\xBCller", true},
        {"M\xFCller", false},               // windows-1252
        {"\xE2\x82\xAC", true},
        {"\xE2\x82", false},                // cut short
        {"\xC0\xAF", false},                // overlong
        {"\xED\xA0\x80", false},            // surrogate
        {"\xF0\x9F\x98\x80", true},
        {"\xF4\x90\x80\x80", false},        // beyond U+10FFFF
        {"", false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(IsNonAsciiUtf8(c.in.data(), c.in.size()), c.expected) << c.in;
}

TEST(PropertyLines, NamesCharsetsAndParameters)
{
    struct Case {
        const char* line;
        const char* name;
        const char* charset;
        uint32_t types;
        bool qp;
        bool other;
        const char* value;  // null: the parameters do not end in ':'
    } cases[] = {
        {"item1.email;type=INTERNET:a@b", "EMAIL", "", kParamInternet, false, false, "a@b"},
        {"TEL;WORK;CHARSET=UTF-8:1", "TEL", "UTF-8", kParamWork, false, false, "1"},
        {"TEL;TYPE=WORK,VOICE:1", "TEL", "", kParamWork | kParamVoice, false, true, "1"},
        {"TEL;TYPE=\"work,voice\";PREF=1:2", "TEL", "", kParamWork | kParamVoice | kParamPref, false, true, "2"},
        {"EMAIL;TYPE=work,pref;TYPE=INTERNET:m", "EMAIL", "", kParamWork | kParamPref | kParamInternet, false, false, "m"},
        {"N;ENCODING=QUOTED-PRINTABLE;CHARSET=utf-8:=41", "N", "utf-8", 0, true, false, "=41"},
        {"NOTE;QUOTED-PRINTABLE:x", "NOTE", "", 0, true, false, "x"},
        {"EMAIL;X400:x", "EMAIL", "", 0, false, true, "x"},
        {"EMAIL;X-COUCHDB-UUID=\"a:b;c\":x", "EMAIL", "", 0, false, false, "x"},
        {"TEL;TYPE=\"COMMA,SEPARATED:INSIDE.DQUOTE\",PREF:1", "TEL", "", kParamPref, false, true, "1"},
        {"ADR;TYPE=WORK,:;;street", "ADR", "", kParamWork, false, false, ";;street"},
        {"TEL;CHARSET= windows-1251 ;HOME:3", "TEL", "windows-1251", kParamHome, false, false, "3"},
        {"NOPARAM;:v", "NOPARAM", "", 0, false, false, "v"},
        {"TEL;WORK", "TEL", "", 0, false, false, nullptr},
    };
    for (const Case& c : cases) {
        CvCardText reader;
        std::string text = std::string(c.line) + "\r\n";
        reader.Load(text.data(), text.size());
        ASSERT_TRUE(reader.ReadProperty()) << c.line;
        EXPECT_EQ(reader.Name(), c.name) << c.line;
        EXPECT_EQ(reader.Charset(), c.charset) << c.line;
        CParams params;
        bool atValue = reader.ReadParameters(&params);
        EXPECT_EQ(atValue, c.value != nullptr) << c.line;
        EXPECT_EQ(params.types, c.types) << c.line;
        EXPECT_EQ(params.quotedPrintable, c.qp) << c.line;
        EXPECT_EQ(params.otherType, c.other) << c.line;
        if (atValue && c.value) {
            EXPECT_EQ(reader.Line().substr(reader.Pos()), c.value) << c.line;
        }
    }
}

TEST(Components, SplitTrimAndUnescape)
{
    struct Case {
        int format;
        const char* value;
        std::vector<std::string> components;  // four components, then the remainder
    } cases[] = {
        {0, "Lee;Ann;;Dr.;Jr.;x", {"Lee", "Ann", "", "Dr.", "Jr.;x"}},
        // vCard 2.1 escapes separators (and backslashes) inside structured values too.
        {0, " a ; b\\;c;d", {"a", "b;c", "d", "", ""}},
        {0, "c:\\\\;x\\y;\\", {"c:\\", "x\\y", "\\", "", ""}},
        {30, "a\\;b;c\\,d;e\\nf;;s1;s2", {"a;b", "c,d", "e\r\nf", "", "s1;s2"}},
        {30, "only", {"only", "", "", "", ""}},
        {0, "", {"", "", "", "", ""}},
    };
    for (const Case& c : cases) {
        CvCardText reader;
        reader.SetFormat(c.format);
        reader.SetLine(c.value);
        std::vector<std::string> got;
        size_t p = 0;
        for (int i = 0; i < 4; ++i) {
            std::string part;
            p = reader.TakeComponent(p, &part);
            got.push_back(part);
        }
        std::string rest;
        reader.TakeRemainder(p, &rest);
        got.push_back(rest);
        EXPECT_EQ(got, c.components) << c.value;
    }
}

// The counting pass and the import pass (the reader's card loop) walk the cards alike: whatever
// the lines mean to the reader's handlers, both find the same cards.
TEST(Cards, CountingMatchesTheCardRulesAndTheImport)
{
    const std::string deep = testsupport::Crlf(std::vector<std::string>(10, "BEGIN:VCARD")) +
                             testsupport::Crlf(std::vector<std::string>(10, "END:VCARD"));
    struct Case {
        const char* what;
        std::string text;
        size_t count;
        size_t tooDeep;
    } cases[] = {
        {"two cards", "BEGIN:VCARD\r\nEND:VCARD\r\nbegin:vcard\r\nend:vcard\r\n", 2},
        {"missing END", "BEGIN:VCARD\r\nN:a\r\nBEGIN:VCARD\r\nN:b\r\n", 0},
        {"a card inside a card is a card of its own",
         "BEGIN:VCARD\r\nBEGIN:VCARD\r\nEND:VCARD\r\nEND:VCARD\r\n", 2},
        {"an AGENT's card, the outer card going on behind it",
         "BEGIN:VCARD\r\nAGENT:\r\nBEGIN:VCARD\r\nFN:a\r\nEND:VCARD\r\nTEL;HOME:1\r\nEND:VCARD\r\n", 2},
        {"the text ends inside the outer card: the inner one still counts",
         "BEGIN:VCARD\r\nBEGIN:VCARD\r\nEND:VCARD\r\n", 1},
        {"cards deeper than the bound are stepped over whole", deep, CvCardText::kMaxCardDepth,
         10 - CvCardText::kMaxCardDepth},
        {"END of another object", "BEGIN:VCARD\r\nEND:VCALENDAR\r\nEND:VCARD\r\n", 1},
        {"END:VCARD behind a soft break of an unread value still ends the card",
         "BEGIN:VCARD\r\nX-A;QUOTED-PRINTABLE:a=\r\nEND:VCARD\r\n", 1},
        {"a line behind a soft break is the value's, even one that reads as a card's end",
         "BEGIN:VCARD\r\nNOTE;QUOTED-PRINTABLE:a=\r\nEND:VCARD;x\r\nEND:VCARD\r\n", 1},
        // The first VERSION says 2.1, so the unmarked ADR would go on behind its soft break; the
        // second makes the card 3.0 from there on, for the count as for the import.
        {"a second VERSION inside a card",
         "BEGIN:VCARD\r\nVERSION:2.1\r\nVERSION:3.0\r\nADR:;;x=\r\nEND:VCARD;\r\nBEGIN:VCARD\r\nEND:VCARD\r\n", 2},
        {"the lines of a base64 value up to the blank line",
         "BEGIN:VCARD\r\nPHOTO;ENCODING=BASE64:\r\nQUJD\r\nREVG\r\n\r\nEND:VCARD\r\n", 1},
        {"UTF-8 mark before the first card", "\xEF\xBB\xBF" "BEGIN:VCARD\r\nEND:VCARD\r\n", 1},
    };
    for (const Case& c : cases) {
        CvCardText reader;
        reader.Load(c.text.data(), c.text.size());
        EXPECT_EQ(reader.CountCards(), c.count) << c.what;
        EXPECT_EQ(reader.CardsTooDeep(), c.tooDeep) << c.what;
        EXPECT_EQ(codectest::ReadAll(c.text).cards.size(), c.count) << c.what;
    }
}
