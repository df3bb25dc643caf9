// Bounded text helpers: every fixed buffer in our components is filled through these, so that long
// input is cut at the buffer's end instead of written past it.
#pragma once

#include <windows.h>
#include <cstdarg>
#include <cstddef>
#include <string>

namespace common {

// Copies at most cap-1 characters and always terminates (when cap > 0). Returns the length written.
size_t CopyBounded(char* dst, size_t cap, const char* src) noexcept;

// printf into a fixed buffer; the text is cut to cap-1 characters and always terminated.
size_t FormatBoundedV(char* dst, size_t cap, const char* format, va_list args) noexcept;
size_t FormatBounded(char* dst, size_t cap, const char* format, ...) noexcept
    __attribute__((format(gnu_printf, 3, 4)));

// printf into a std::string of any length.
std::string FormatV(const char* format, va_list args);
std::string Format(const char* format, ...) __attribute__((format(gnu_printf, 1, 2)));

// Full path of a module's file (nullptr: the running program), however long.
std::string ModuleFileName(HMODULE module);
std::wstring ModuleFileNameW(HMODULE module);
// The fixed part of a module file's version resource; false when the file has none.
bool FixedFileVersion(const std::string& file, VS_FIXEDFILEINFO* info);

// The folder of a path: everything before its last backslash or slash (no trailing separator).
std::string FolderOf(const std::string& path);
std::wstring FolderOf(const std::wstring& path);
// The full path of a path (GetFullPathName); the path itself when it cannot be made.
std::wstring FullPathName(const std::wstring& path);

// UTF-16 text as UTF-8 (for the logs, which name contacts in any script).
std::string ToUtf8(const std::wstring& text);

// Between UTF-16 and the system's ANSI code page (paths, settings, the add-in's texts); a
// character the code page lacks becomes its best fit. Empty on failure.
std::wstring AnsiToWide(const std::string& text);
std::string WideToAnsi(const wchar_t* text, size_t length);
inline std::string WideToAnsi(const std::wstring& text) { return WideToAnsi(text.data(), text.size()); }

}  // namespace common
