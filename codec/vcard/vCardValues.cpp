// The value codecs of the vCard text: a file's bytes prepared for reading (byte-order marks,
// UTF-16, line ends), quoted-printable and base64 decoding, and the escapes of 2.1 and 3.0.
#include "codec/vcard/vCardText.h"

#include <cstring>

#include "codec/vcard/Chars.h"

namespace vcard {

namespace {

int HexValue(char c)
{
    if (IsDigit(c))
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

void AppendUtf8(uint32_t cp, std::string* out)
{
    if (cp < 0x80) {
        out->push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
        out->push_back(static_cast<char>(0xC0 | (cp >> 6)));
        out->push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
        out->push_back(static_cast<char>(0xE0 | (cp >> 12)));
        out->push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out->push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
        out->push_back(static_cast<char>(0xF0 | (cp >> 18)));
        out->push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
        out->push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out->push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
}

// UTF-16 units to UTF-8, as the system converter does it: a surrogate without its partner
// becomes U+FFFD.
void Utf16ToUtf8(const unsigned char* p, size_t units, bool bigEndian, std::string* out)
{
    auto unit = [&](size_t i) -> uint32_t {
        return bigEndian ? (uint32_t(p[2 * i]) << 8) | p[2 * i + 1]
                         : uint32_t(p[2 * i]) | (uint32_t(p[2 * i + 1]) << 8);
    };
    out->reserve(units + units / 2);
    for (size_t i = 0; i < units; ++i) {
        uint32_t c = unit(i);
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < units) {
            uint32_t low = unit(i + 1);
            if (low >= 0xDC00 && low <= 0xDFFF) {
                AppendUtf8(0x10000 + ((c - 0xD800) << 10) + (low - 0xDC00), out);
                ++i;
                continue;
            }
        }
        if (c >= 0xD800 && c <= 0xDFFF)
            c = 0xFFFD;
        AppendUtf8(c, out);
    }
}

// UTF-16 without a byte-order mark: the text starts (after blank lines or blanks, if any) with
// BEGIN:VCARD in ASCII letters of any case, each unit's other byte zero.
bool LooksLikeUnmarkedUtf16(const unsigned char* u, size_t size, bool bigEndian)
{
    static const char kBegin[] = "BEGIN:VCARD";
    size_t units = size / 2;
    size_t i = 0;
    auto unit = [&](size_t k) -> unsigned {
        return bigEndian ? (unsigned(u[2 * k]) << 8) | u[2 * k + 1] : unsigned(u[2 * k]) | (unsigned(u[2 * k + 1]) << 8);
    };
    while (i < units && i < 64 && (unit(i) == ' ' || unit(i) == '\t' || unit(i) == '\r' || unit(i) == '\n'))
        ++i;
    for (size_t k = 0; kBegin[k]; ++k, ++i) {
        if (i >= units)
            return false;
        unsigned c = unit(i);
        if (c >= 0x80 || Upper(static_cast<char>(c)) != kBegin[k])
            return false;
    }
    return true;
}

int Base64Value(char c)
{
    if (c >= 'A' && c <= 'Z')
        return c - 'A';
    if (c >= 'a' && c <= 'z')
        return c - 'a' + 26;
    if (IsDigit(c))
        return c - '0' + 52;
    if (c == '+')
        return 62;
    if (c == '/')
        return 63;
    return -1;
}
}  // namespace

TextOrigin PrepareFileText(const char* bytes, size_t size, std::string* text)
{
    text->clear();
    const unsigned char* u = reinterpret_cast<const unsigned char*>(bytes);
    TextOrigin origin = TextOrigin::kPlain;
    const char* src = bytes;
    size_t n = size;
    std::string converted;

    if (size >= 4 && ((u[0] == 0xFF && u[1] == 0xFE) || (u[0] == 0xFE && u[1] == 0xFF))) {
        bool bigEndian = u[0] == 0xFE;
        Utf16ToUtf8(u + 2, (size - 2) / 2, bigEndian, &converted);
        if (!converted.empty()) {
            origin = bigEndian ? TextOrigin::kUtf16Be : TextOrigin::kUtf16Le;
            src = converted.data();
            n = converted.size();
        }
    } else if (LooksLikeUnmarkedUtf16(u, size, false) || LooksLikeUnmarkedUtf16(u, size, true)) {
        bool bigEndian = LooksLikeUnmarkedUtf16(u, size, true);
        Utf16ToUtf8(u, size / 2, bigEndian, &converted);
        origin = bigEndian ? TextOrigin::kUtf16BeUnmarked : TextOrigin::kUtf16LeUnmarked;
        src = converted.data();
        n = converted.size();
    } else if (size >= 3 && u[0] == 0xEF && u[1] == 0xBB && u[2] == 0xBF) {
        // Notepad and many phones start UTF-8 files with a mark; it is not part of the first line.
        origin = TextOrigin::kUtf8Mark;
        src = bytes + 3;
        n = size - 3;
    }

    text->reserve(n + 2);
    size_t done = 0;
    while (done < n) {
        const void* found = std::memchr(src + done, '\r', n - done);
        size_t cr = found ? static_cast<size_t>(static_cast<const char*>(found) - src) : n;
        if (cr == n) {
            text->append(src + done, n - done);
            break;
        }
        text->append(src + done, cr + 1 - done);
        if (cr + 1 >= n || src[cr + 1] != '\n')
            text->push_back('\n');
        done = cr + 1;
    }
    return origin;
}

bool DecodeQuotedPrintable(const char* in, size_t n, std::string* out, std::vector<bool>* encoded)
{
    out->clear();
    out->reserve(n);
    if (encoded)
        encoded->clear();
    size_t i = 0;
    while (i < n) {
        char c = in[i];
        if (c == '=') {
            // Both forms of an escape take two more bytes; fewer at the end is malformed.
            if (n - i < 3)
                return false;
            char next = in[i + 1];
            if (IsAlnum(next)) {
                int value = 0;
                for (size_t k = i + 1; k < i + 3; ++k) {
                    int digit = HexValue(in[k]);
                    if (digit < 0)
                        break;
                    value = value * 16 + digit;
                }
                out->push_back(static_cast<char>(value));
                if (encoded)
                    encoded->resize(out->size(), true);
                i += 3;
            } else if (next == '\r' && in[i + 2] == '\n') {
                i += 3;
            } else {
                return false;
            }
        } else {
            if (c != '\r' && c != '\n') {
                out->push_back(c);
                if (encoded)
                    encoded->resize(out->size(), false);
            }
            ++i;
        }
    }
    size_t zero = out->find('\0');
    if (zero != std::string::npos) {
        out->resize(zero);
        if (encoded)
            encoded->resize(zero);
    }
    return true;
}

bool DecodeBase64(const char* in, size_t n, std::string* out, bool binary)
{
    out->clear();
    out->reserve(n / 4 * 3 + 3);
    uint32_t bits = 0;
    int groups = 0;  // six-bit groups in bits
    size_t i = 0;
    for (; i < n; ++i) {
        char c = in[i];
        if (IsSpace(c))
            continue;
        if (c == '=')
            break;
        int value = Base64Value(c);
        if (value < 0)
            return false;
        bits = (bits << 6) | static_cast<uint32_t>(value);
        if (++groups == 4) {
            out->push_back(static_cast<char>(bits >> 16));
            out->push_back(static_cast<char>(bits >> 8));
            out->push_back(static_cast<char>(bits));
            bits = 0;
            groups = 0;
        }
    }
    if (groups == 1)
        return false;
    if (groups == 2) {
        out->push_back(static_cast<char>(bits >> 4));
    } else if (groups == 3) {
        out->push_back(static_cast<char>(bits >> 10));
        out->push_back(static_cast<char>(bits >> 2));
    }
    // Only padding and white space may follow the padding.
    for (; i < n; ++i) {
        if (in[i] != '=' && !IsSpace(in[i]))
            return false;
    }
    size_t zero = out->find('\0');
    if (zero != std::string::npos && !binary)
        out->resize(zero);
    return true;
}

std::string EncodeBase64(const std::string& bytes)
{
    static const char kDigits[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string text;
    text.reserve((bytes.size() + 2) / 3 * 4);
    for (size_t i = 0; i < bytes.size(); i += 3) {
        uint32_t n = static_cast<uint32_t>(static_cast<unsigned char>(bytes[i])) << 16;
        const size_t left = bytes.size() - i;
        if (left > 1)
            n |= static_cast<uint32_t>(static_cast<unsigned char>(bytes[i + 1])) << 8;
        if (left > 2)
            n |= static_cast<unsigned char>(bytes[i + 2]);
        text.push_back(kDigits[(n >> 18) & 63]);
        text.push_back(kDigits[(n >> 12) & 63]);
        text.push_back(left > 1 ? kDigits[(n >> 6) & 63] : '=');
        text.push_back(left > 2 ? kDigits[n & 63] : '=');
    }
    return text;
}

std::string EscapeStrayEquals(const std::string& raw)
{
    std::string out;
    out.reserve(raw.size() + 8);
    for (size_t i = 0; i < raw.size(); ++i) {
        out.push_back(raw[i]);
        if (raw[i] != '=')
            continue;
        bool escape = i + 2 < raw.size() && (IsAlnum(raw[i + 1]) || raw[i + 1] == '\r');
        if (!escape)
            out += "3D";
    }
    return out;
}

std::string Unescape21(const char* p, size_t n, const bool* leadBytes)
{
    std::string out;
    Unescape21(p, n, leadBytes, &out);
    return out;
}

void Unescape21(const char* p, size_t n, const bool* leadBytes, std::string* into)
{
    std::string& out = *into;
    out.clear();
    out.reserve(n);
    for (size_t i = 0; i < n; ++i) {
        if (leadBytes && leadBytes[static_cast<unsigned char>(p[i])] && i + 1 < n) {
            out.push_back(p[i]);
            out.push_back(p[++i]);
            continue;
        }
        if (p[i] == '\\' && i + 1 < n && (p[i + 1] == '\\' || p[i + 1] == ';'))
            ++i;
        out.push_back(p[i]);
    }
}

std::string Unescape30(const char* p, size_t n, const bool* leadBytes)
{
    std::string out;
    Unescape30(p, n, leadBytes, &out);
    return out;
}

void Unescape30(const char* p, size_t n, const bool* leadBytes, std::string* into)
{
    std::string& out = *into;
    out.clear();
    out.reserve(n);
    for (size_t i = 0; i < n; ++i) {
        if (leadBytes && leadBytes[static_cast<unsigned char>(p[i])] && i + 1 < n) {
            out.push_back(p[i]);
            out.push_back(p[++i]);
            continue;
        }
        if (p[i] != '\\' || i + 1 >= n) {
            out.push_back(p[i]);
            continue;
        }
        char next = p[i + 1];
        switch (next) {
        case '\\':
        case ',':
        case ';':
        case ':':
            out.push_back(next);
            ++i;
            break;
        case 'n':
        case 'N':
            out += "\r\n";
            ++i;
            break;
        default:
            out.push_back('\\');
            break;
        }
    }
}

bool IsNonAsciiUtf8(const char* p, size_t n)
{
    const unsigned char* u = reinterpret_cast<const unsigned char*>(p);
    bool nonAscii = false;
    size_t i = 0;
    while (i < n) {
        unsigned char c = u[i];
        if (c < 0x80) {
            ++i;
            continue;
        }
        nonAscii = true;
        size_t len;
        uint32_t cp;
        if (c >= 0xC2 && c <= 0xDF) {
            len = 2;
            cp = c & 0x1F;
        } else if (c >= 0xE0 && c <= 0xEF) {
            len = 3;
            cp = c & 0x0F;
        } else if (c >= 0xF0 && c <= 0xF4) {
            len = 4;
            cp = c & 0x07;
        } else {
            return false;
        }
        if (i + len > n)
            return false;
        for (size_t k = 1; k < len; ++k) {
            if ((u[i + k] & 0xC0) != 0x80)
                return false;
            cp = (cp << 6) | (u[i + k] & 0x3F);
        }
        // Overlong forms, surrogates and values beyond U+10FFFF are not UTF-8.
        if ((len == 3 && cp < 0x800) || (len == 4 && cp < 0x10000) || cp > 0x10FFFF ||
            (cp >= 0xD800 && cp <= 0xDFFF))
            return false;
        i += len;
    }
    return nonAscii;
}
}  // namespace vcard
