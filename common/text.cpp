#include "common/text.h"

#include <climits>
#include <cstdio>
#include <cstring>
#include <vector>

namespace common {

size_t CopyBounded(char* dst, size_t cap, const char* src) noexcept
{
    if (!dst || cap == 0)
        return 0;
    size_t n = 0;
    if (src) {
        while (n + 1 < cap && src[n] != '\0') {
            dst[n] = src[n];
            ++n;
        }
    }
    dst[n] = '\0';
    return n;
}

size_t FormatBoundedV(char* dst, size_t cap, const char* format, va_list args) noexcept
{
    if (!dst || cap == 0)
        return 0;
    int n = std::vsnprintf(dst, cap, format ? format : "", args);
    if (n < 0) {
        dst[0] = '\0';
        return 0;
    }
    return static_cast<size_t>(n) < cap ? static_cast<size_t>(n) : cap - 1;
}

size_t FormatBounded(char* dst, size_t cap, const char* format, ...) noexcept
{
    va_list args;
    va_start(args, format);
    size_t n = FormatBoundedV(dst, cap, format, args);
    va_end(args);
    return n;
}

std::string FormatV(const char* format, va_list args)
{
    va_list copy;
    va_copy(copy, args);
    int n = std::vsnprintf(nullptr, 0, format ? format : "", copy);
    va_end(copy);
    if (n <= 0)
        return std::string();
    std::string out(static_cast<size_t>(n) + 1, '\0');
    std::vsnprintf(&out[0], out.size(), format, args);
    out.resize(static_cast<size_t>(n));
    return out;
}

std::string Format(const char* format, ...)
{
    va_list args;
    va_start(args, format);
    std::string s = FormatV(format, args);
    va_end(args);
    return s;
}

template <class Char, class Fn>
static std::basic_string<Char> ModulePath(HMODULE module, Fn getName)
{
    std::vector<Char> buf(MAX_PATH);
    for (;;) {
        DWORD n = getName(module, buf.data(), static_cast<DWORD>(buf.size()));
        if (n == 0)
            return std::basic_string<Char>();
        if (n < buf.size())
            return std::basic_string<Char>(buf.data(), n);
        if (buf.size() >= 32768)
            return std::basic_string<Char>(buf.data(), buf.size() - 1);
        buf.resize(buf.size() * 2);
    }
}

std::string ModuleFileName(HMODULE module)
{
    return ModulePath<char>(module, ::GetModuleFileNameA);
}

std::wstring ModuleFileNameW(HMODULE module)
{
    return ModulePath<wchar_t>(module, ::GetModuleFileNameW);
}

bool FixedFileVersion(const std::string& file, VS_FIXEDFILEINFO* info)
{
    DWORD ignored = 0;
    const DWORD size = ::GetFileVersionInfoSizeA(file.c_str(), &ignored);
    std::string block(size, '\0');
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    if (size == 0 || !::GetFileVersionInfoA(file.c_str(), 0, size, &block[0]) ||
        !::VerQueryValueA(&block[0], "\\", reinterpret_cast<void**>(&fixed), &length) || !fixed ||
        length < sizeof(VS_FIXEDFILEINFO))
        return false;
    *info = *fixed;
    return true;
}

std::string FolderOf(const std::string& path)
{
    size_t pos = path.find_last_of("\\/");
    return pos == std::string::npos ? std::string() : path.substr(0, pos);
}

std::wstring FolderOf(const std::wstring& path)
{
    size_t pos = path.find_last_of(L"\\/");
    return pos == std::wstring::npos ? std::wstring() : path.substr(0, pos);
}

std::wstring FullPathName(const std::wstring& path)
{
    DWORD n = ::GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
    if (n == 0)
        return path;
    std::wstring full(n, L'\0');
    n = ::GetFullPathNameW(path.c_str(), n, &full[0], nullptr);
    if (n == 0 || n >= full.size())
        return path;
    full.resize(n);
    return full;
}

std::string ToUtf8(const std::wstring& text)
{
    if (text.empty() || text.size() > INT_MAX / 4)
        return std::string();
    std::string out(text.size() * 4, '\0');
    int n = ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &out[0],
                                  static_cast<int>(out.size()), nullptr, nullptr);
    out.resize(n > 0 ? static_cast<size_t>(n) : 0);
    return out;
}

std::wstring AnsiToWide(const std::string& text)
{
    if (text.empty() || text.size() > INT_MAX)
        return std::wstring();
    int n = ::MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    if (n <= 0)
        return std::wstring();
    std::wstring out(static_cast<size_t>(n), L'\0');
    ::MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), &out[0], n);
    return out;
}

std::string WideToAnsi(const wchar_t* text, size_t length)
{
    if (!text || length == 0 || length > INT_MAX / 2)
        return std::string();
    int n = ::WideCharToMultiByte(CP_ACP, 0, text, static_cast<int>(length), nullptr, 0, nullptr, nullptr);
    if (n <= 0)
        return std::string();
    std::string out(static_cast<size_t>(n), '\0');
    ::WideCharToMultiByte(CP_ACP, 0, text, static_cast<int>(length), &out[0], n, nullptr, nullptr);
    return out;
}

}  // namespace common
