// The text form of an address-book entry identifier: two upper-case hexadecimal digits per byte,
// first byte first. The selection file that the Address Book's extension writes for Quillon,
// Quillon's folder choices in the settings and every CWABLib operation carry identifiers this way.
#pragma once

#include <windows.h>
#include <string>
#include <vector>

namespace common {

// The text of count bytes.
std::string EntryIdToText(const void* bytes, size_t count);

// The bytes of a text. Half the text's length gives the byte count (an odd last character is
// ignored). Digits are read leniently, in either case: a character that is not a digit sends
// "Hex2DecError\n" to the debugger output and turns the value so far into -1, and reading goes
// on, so "G0" yields F0 and "0G" yields FF. A null text yields no bytes.
std::vector<BYTE> EntryIdFromText(const char* text);

// The text in upper case: texts are compared without regard to case, so this is the key under
// which a set or map finds one however it was written.
std::string EntryIdKey(std::string text);

}  // namespace common
