#include "contact/CharConverter.h"

#include "base/App.h"
#include "base/Log.h"
#include "base/Prompts.h"
#include "base/Settings.h"
#include "common/raii.h"
#include "common/text.h"
#include "base/strings.h"

namespace {

const char kEncodingsMissingText[] =
    "Supported encodings file was not found.\nOnly UTF-8 encoding will be available";
// No sensible encodings list comes near this; a larger file is treated as unreadable rather than
// read into memory whole.
const LONGLONG kMaxEncodingsFile = 16 * 1024 * 1024;

bool EqualNoCaseAscii(const std::string& a, const char* b)
{
    size_t i = 0;
    for (; i < a.size() && b[i] != '\0'; ++i) {
        char x = a[i], y = b[i];
        if (x >= 'a' && x <= 'z')
            x = static_cast<char>(x - 'a' + 'A');
        if (y >= 'a' && y <= 'z')
            y = static_cast<char>(y - 'a' + 'A');
        if (x != y)
            return false;
    }
    return i == a.size() && b[i] == '\0';
}

// The whole file, or an empty text (and *why says what failed) when it is missing, empty, too
// large or unreadable.
std::string ReadWholeFile(const char* path, std::string* why, HRESULT* code)
{
    *code = 0;
    common::CFileHandle file(::CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr,
                                           OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) {
        *code = common::HResultFromLastError();
        *why = "cant open file";
        return std::string();
    }
    LARGE_INTEGER size;
    if (!::GetFileSizeEx(file.get(), &size)) {
        *code = common::HResultFromLastError();
        *why = "GetFileSize";
        return std::string();
    }
    if (size.QuadPart <= 0) {
        *why = "empty file";
        return std::string();
    }
    if (size.QuadPart > kMaxEncodingsFile) {
        *why = common::Format("%lld bytes, more than %lld", static_cast<long long>(size.QuadPart),
                              static_cast<long long>(kMaxEncodingsFile));
        return std::string();
    }
    std::string text(static_cast<size_t>(size.QuadPart), '\0');
    DWORD read = 0;
    if (!::ReadFile(file.get(), &text[0], static_cast<DWORD>(text.size()), &read, nullptr)) {
        *code = common::HResultFromLastError();
        *why = "ReadFile";
        return std::string();
    }
    text.resize(read);
    // An editor's UTF-8 mark is not part of the first display name.
    if (text.compare(0, 3, "\xEF\xBB\xBF") == 0)
        text.erase(0, 3);
    return text;
}

}  // namespace

std::vector<EncodingEntry> CCharConverter::ParseEncodings(const std::string& text, std::vector<size_t>* skipped)
{
    return ParseEncodingsText(text, skipped);
}

void CCharConverter::Load(HWND owner)
{
    std::string path = common::Format("%s\\supportedEncodings.txt", GetProgramFolder());
    LoadFrom(path.c_str(), owner);
}

size_t CCharConverter::LoadFrom(const char* path, HWND owner)
{
    const char* ctx = "CCharConverter::Load";
    std::string why;
    HRESULT code = 0;
    std::string text = ReadWholeFile(path, &why, &code);
    if (!why.empty())
        g_log.LogWar(ctx, code, "%s: %s", path, why.c_str());
    std::vector<size_t> skipped;
    std::vector<EncodingEntry> parsed = ParseEncodings(text, &skipped);
    // A code page this system does not have would turn every value written or read in it into
    // nothing.
    m_encodings.clear();
    for (const EncodingEntry& e : parsed) {
        if (::IsValidCodePage(static_cast<UINT>(e.codePage)))
            m_encodings.push_back(e);
        else
            g_log.LogWar(ctx, 0, "%s: code page %d of \"%s\" is not on this system: skipped", path, e.codePage,
                         e.displayName.c_str());
    }
    if (!skipped.empty())
        g_log.LogWar(ctx, 0, "%s: %zu lines are not \"name|charset|code page\": skipped (the first is line %zu)",
                     path, skipped.size(), skipped[0]);
    size_t loaded = m_encodings.size();
    if (loaded == 0) {
        EncodingEntry utf8;
        utf8.displayName = "UTF-8";
        utf8.charsetName = "UTF-8";
        utf8.codePage = CP_UTF8;
        m_encodings.push_back(utf8);
        std::string message = LoadProgramString(IDS_NO_ENCODINGS_FILE);
        if (message.empty())
            message = kEncodingsMissingText;
        PromptBox(owner, message.c_str(), "Quillon", MB_OK | MB_ICONWARNING);
    }
    return loaded;
}

UINT CCharConverter::_WindowsCodePage() const
{
    return m_codePage == kAnsiCodePage ? CP_ACP : static_cast<UINT>(m_codePage);
}

int CCharConverter::ToBytes(const wchar_t* text, size_t length, std::string* bytes) const
{
    bytes->clear();
    if (m_codePage == kNoCodePage || !text || length == 0 || length > INT_MAX)
        return -1;
    UINT cp = _WindowsCodePage();
    int n = ::WideCharToMultiByte(cp, 0, text, static_cast<int>(length), nullptr, 0, nullptr, nullptr);
    if (n <= 0)
        return -1;
    bytes->resize(static_cast<size_t>(n));
    n = ::WideCharToMultiByte(cp, 0, text, static_cast<int>(length), &(*bytes)[0], n, nullptr, nullptr);
    if (n <= 0) {
        bytes->clear();
        return -1;
    }
    bytes->resize(static_cast<size_t>(n));
    return n;
}

int CCharConverter::ToBytes(const std::wstring& text, std::string* bytes) const
{
    return ToBytes(text.data(), text.size(), bytes);
}

int CCharConverter::ToWide(const char* bytes, size_t length, std::wstring* text) const
{
    text->clear();
    if (m_codePage == kNoCodePage || !bytes || length == 0 || length > INT_MAX)
        return -1;
    UINT cp = _WindowsCodePage();
    int n = ::MultiByteToWideChar(cp, 0, bytes, static_cast<int>(length), nullptr, 0);
    if (n <= 0)
        return -1;
    text->resize(static_cast<size_t>(n));
    n = ::MultiByteToWideChar(cp, 0, bytes, static_cast<int>(length), &(*text)[0], n);
    if (n <= 0) {
        text->clear();
        return -1;
    }
    text->resize(static_cast<size_t>(n));
    return n;
}

int CCharConverter::ToWide(const std::string& bytes, std::wstring* text) const
{
    return ToWide(bytes.data(), bytes.size(), text);
}

std::string CCharConverter::CharsetName(int codePage) const
{
    if (codePage == kAnsiCodePage || codePage == kNoCodePage)
        return std::string();
    for (const EncodingEntry& e : m_encodings) {
        if (e.codePage == codePage)
            return e.charsetName;
    }
    return std::string();
}

int CCharConverter::CodePageByCharset(const char* name) const
{
    if (!name || *name == '\0')
        return kAnsiCodePage;
    for (const EncodingEntry& e : m_encodings) {
        if (EqualNoCaseAscii(e.charsetName, name))
            return e.codePage;
    }
    return kNoCodePage;
}

int CCharConverter::CodePageByName(const char* displayName) const
{
    if (!displayName || *displayName == '\0')
        return kAnsiCodePage;
    for (const EncodingEntry& e : m_encodings) {
        if (e.displayName == displayName)
            return e.codePage;
    }
    return kNoCodePage;
}
