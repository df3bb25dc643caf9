#include "common/ansipath.h"

#include <windows.h>

#include <climits>

#include "common/text.h"

namespace common {

bool WideToAnsiExact(const std::wstring& text, std::string* ansi)
{
    ansi->clear();
    if (text.empty())
        return true;
    if (text.size() > INT_MAX / 2)
        return false;
    const int length = static_cast<int>(text.size());
    // A system whose ANSI code page is UTF-8 refuses both the flag and the question.
    const bool utf8 = ::GetACP() == CP_UTF8;
    const DWORD flags = utf8 ? 0 : WC_NO_BEST_FIT_CHARS;
    BOOL usedDefault = FALSE;
    BOOL* used = utf8 ? nullptr : &usedDefault;
    int n = ::WideCharToMultiByte(CP_ACP, flags, text.data(), length, nullptr, 0, nullptr, used);
    if (n <= 0 || usedDefault)
        return false;
    std::string out(static_cast<size_t>(n), '\0');
    if (::WideCharToMultiByte(CP_ACP, flags, text.data(), length, &out[0], n, nullptr, used) != n || usedDefault)
        return false;
    // The flag does not cover every code page; reading it back does.
    if (AnsiToWide(out) != text)
        return false;
    *ansi = std::move(out);
    return true;
}

}  // namespace common
