#include "importsupport.h"

#include <gtest/gtest.h>

namespace importtest {

std::string Card(const std::string& version, const std::vector<std::string>& lines)
{
    std::vector<std::string> all = {"BEGIN:VCARD"};
    if (!version.empty())
        all.push_back("VERSION:" + version);
    all.insert(all.end(), lines.begin(), lines.end());
    all.push_back("END:VCARD");
    return Crlf(all);
}

std::wstring W(const std::string& utf8)
{
    if (utf8.empty())
        return std::wstring();
    int n = ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
    std::wstring out(static_cast<size_t>(n), L'\0');
    ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), &out[0], n);
    return out;
}

int CWinConverter::ToWide(const std::string& bytes, std::wstring* text) const
{
    text->assign(bytes.size() + 1, L'\0');
    int n = ::MultiByteToWideChar(m_codePage, 0, bytes.data(), static_cast<int>(bytes.size()), &(*text)[0],
                                  static_cast<int>(text->size()));
    text->resize(n > 0 ? static_cast<size_t>(n) : 0);
    return n;
}

int CWinConverter::ToBytes(const wchar_t* text, size_t n, std::string* bytes) const
{
    bytes->assign(n * 4 + 1, '\0');
    int k = ::WideCharToMultiByte(m_codePage, 0, text, static_cast<int>(n), &(*bytes)[0],
                                  static_cast<int>(bytes->size()), nullptr, nullptr);
    bytes->resize(k > 0 ? static_cast<size_t>(k) : 0);
    return k > 0 ? k : -1;
}

CReadResult ReadAll(const std::string& text)
{
    LoadEncodings();
    CReadResult r;
    CvCardImport reader;
    reader.LoadText(text.data(), text.size());
    r.result = reader.ReadCards([&] {
        r.cards.push_back(reader.Reader().Card());
        r.formats.push_back(reader.Reader().FormatCode());
        return 0;
    });
    return r;
}

CContactRecord ReadOne(const std::string& text)
{
    CReadResult r = ReadAll(text);
    EXPECT_EQ(r.cards.size(), 1u) << text;
    return r.cards.empty() ? CContactRecord() : r.cards[0];
}

}  // namespace importtest
