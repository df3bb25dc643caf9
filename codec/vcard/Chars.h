// The ASCII character classes the vCard text is read by, the same whatever the C library's
// locale. For the lexer and the value codecs only.
#pragma once

namespace vcard {

inline bool IsBlank(char c) { return c == ' ' || c == '\t'; }

inline bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f'; }

inline bool IsDigit(char c) { return c >= '0' && c <= '9'; }

inline bool IsAlnum(char c) { return IsDigit(c) || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

inline char Upper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

}  // namespace vcard
