#include "fuzz/hostcodepages.h"

#include <iconv.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <map>
#include <utility>

namespace fuzzhost {

namespace {

const CCodePage kCodePages[] = {
    {65001, "UTF-8", "UTF-8", {0, 0}, {0, 0}},
    {1252, "windows-1252", "CP1252", {0, 0}, {0, 0}},
    {1251, "windows-1251", "CP1251", {0, 0}, {0, 0}},
    {932, "Shift_JIS", "CP932", {0x81, 0xE0}, {0x9F, 0xFC}},
    {950, "Big5", "CP950", {0x81, 0}, {0xFE, 0}},
};

bool EqualNoCase(const char* a, const char* b)
{
    for (; *a && *b; ++a, ++b) {
        char x = *a >= 'a' && *a <= 'z' ? *a - 32 : *a;
        char y = *b >= 'a' && *b <= 'z' ? *b - 32 : *b;
        if (x != y)
            return false;
    }
    return *a == *b;
}

// One conversion, whole: what cannot be converted becomes the replacement and the input steps
// over one unit of its own (a wide character, or a byte).
std::string Convert(const char* from, const char* to, const char* in, size_t n, size_t unit, const std::string& replacement)
{
    // Opened once per direction and kept to the end: opening is far dearer than converting.
    struct COpened {
        std::map<std::pair<std::string, std::string>, iconv_t> byNames;
        ~COpened()
        {
            for (auto& entry : byNames)
                iconv_close(entry.second);
        }
    };
    static COpened opened;
    iconv_t& cd = opened.byNames[{from, to}];
    if (!cd) {
        cd = iconv_open(to, from);
        if (cd == reinterpret_cast<iconv_t>(-1))
            std::abort();
    }
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
    std::string out;
    char buffer[4096];
    char* src = const_cast<char*>(in);
    size_t left = n;
    while (left > 0) {
        char* dst = buffer;
        size_t room = sizeof buffer;
        size_t r = iconv(cd, &src, &left, &dst, &room);
        out.append(buffer, dst - buffer);
        if (r == static_cast<size_t>(-1) && errno != E2BIG) {
            out += replacement;
            size_t step = unit < left ? unit : left;
            src += step;
            left -= step;
            iconv(cd, nullptr, nullptr, nullptr, nullptr);
        }
    }
    return out;
}

}  // namespace

const CCodePage* CodePages(size_t* count)
{
    *count = sizeof kCodePages / sizeof kCodePages[0];
    return kCodePages;
}

const CCodePage* FindCodePage(int number)
{
    if (number == vcard::kAnsiCodePage)
        number = 1252;
    for (const CCodePage& c : kCodePages) {
        if (c.number == number)
            return &c;
    }
    return nullptr;
}

int CHostConverter::ToBytes(const wchar_t* text, size_t n, std::string* bytes) const
{
    const CCodePage* cp = FindCodePage(m_codePage);
    if (!cp || n == 0)
        return -1;
    *bytes = Convert("WCHAR_T", cp->iconvName, reinterpret_cast<const char*>(text), n * sizeof(wchar_t),
                     sizeof(wchar_t), "?");
    return bytes->empty() ? -1 : static_cast<int>(bytes->size());
}

int CHostConverter::CodePageByCharset(const char* name) const
{
    for (const CCodePage& c : kCodePages) {
        if (EqualNoCase(c.charset, name))
            return c.number;
    }
    return -2;
}

int CHostConverter::ToWide(const std::string& bytes, std::wstring* text) const
{
    const CCodePage* cp = FindCodePage(m_codePage);
    if (!cp || bytes.empty())
        return -1;
    const wchar_t replacement = 0xFFFD;
    std::string wide = Convert(cp->iconvName, "WCHAR_T", bytes.data(), bytes.size(), 1,
                               std::string(reinterpret_cast<const char*>(&replacement), sizeof replacement));
    text->assign(reinterpret_cast<const wchar_t*>(wide.data()), wide.size() / sizeof(wchar_t));
    return text->empty() ? -1 : static_cast<int>(text->size());
}

bool CHostConverter::LeadBytes(int codePage, bool* leadBytes) const
{
    const CCodePage* cp = FindCodePage(codePage);
    if (!cp || cp->leadFirst[0] == 0)
        return false;
    for (int b = 0; b < 256; ++b)
        leadBytes[b] = (b >= cp->leadFirst[0] && b <= cp->leadLast[0]) ||
                       (cp->leadFirst[1] != 0 && b >= cp->leadFirst[1] && b <= cp->leadLast[1]);
    return true;
}

std::wstring CHostConverter::Through(const std::wstring& text) const
{
    std::string bytes;
    std::wstring back;
    if (text.empty() || ToBytes(text.data(), text.size(), &bytes) <= 0 || ToWide(bytes, &back) <= 0)
        return std::wstring();
    return back;
}

}  // namespace fuzzhost
