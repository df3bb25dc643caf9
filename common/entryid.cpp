#include "common/entryid.h"

#include <cstring>

namespace common {

std::string EntryIdToText(const void* bytes, size_t count)
{
    static const char kDigits[] = "0123456789ABCDEF";
    std::string text;
    if (!bytes)
        return text;
    const BYTE* p = static_cast<const BYTE*>(bytes);
    text.resize(count * 2);
    for (size_t i = 0; i < count; ++i) {
        text[2 * i] = kDigits[p[i] >> 4];
        text[2 * i + 1] = kDigits[p[i] & 0x0F];
    }
    return text;
}

namespace {

// A pair of digits read one after the other. Texts come from settings and selection files that a
// user can edit, so a bad character is reported to the debugger and decoding goes on instead of
// refusing the whole identifier.
BYTE DecodePair(const char* pair)
{
    int value = 0;
    for (int i = 0; i < 2; ++i) {
        char c = pair[i];
        if (c >= '0' && c <= '9') {
            value = value * 16 + (c - '0');
        } else if (c >= 'A' && c <= 'F') {
            value = value * 16 + (c - 'A' + 10);
        } else if (c >= 'a' && c <= 'f') {
            value = value * 16 + (c - 'a' + 10);
        } else {
            value = -1;
            ::OutputDebugStringA("Hex2DecError\n");
        }
    }
    return static_cast<BYTE>(value & 0xFF);
}

}  // namespace

std::vector<BYTE> EntryIdFromText(const char* text)
{
    std::vector<BYTE> bytes;
    if (!text)
        return bytes;
    size_t count = std::strlen(text) / 2;
    bytes.resize(count);
    for (size_t i = 0; i < count; ++i)
        bytes[i] = DecodePair(text + 2 * i);
    return bytes;
}

std::string EntryIdKey(std::string text)
{
    for (char& c : text)
        c = static_cast<char>(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c);
    return text;
}

}  // namespace common
