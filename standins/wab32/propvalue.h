// Property values as the stand-in keeps them, and their two outside forms: the SPropValue of the
// MAPI interfaces and the text of the store file.
//
// Strings are always kept as Unicode (PT_UNICODE, PT_MV_UNICODE): 8-bit values given to SetProps
// are converted from the ANSI code page on the way in, and 8-bit columns and properties asked for
// are converted back on the way out. A property is identified by its id (the high 16 bits of the
// tag), so PR_DISPLAY_NAME_A and PR_DISPLAY_NAME_W are one property.
#pragma once

#include <windows.h>
#include "standins/wab32/wabheaders.h"

#include <string>
#include <vector>

namespace wabstandin {

struct CValue {
    ULONG tag = 0;        // kept type: PT_I2, PT_LONG, PT_BOOLEAN, PT_I8, PT_DOUBLE, PT_SYSTIME,
                          // PT_UNICODE, PT_BINARY, PT_CLSID, PT_MV_UNICODE, PT_MV_BINARY, PT_MV_LONG
    LONGLONG num = 0;     // the number, boolean, file time, or the bits of a double
    std::wstring text;    // PT_UNICODE
    std::string bytes;    // PT_BINARY, PT_CLSID (16 bytes)
    std::vector<std::wstring> texts;  // PT_MV_UNICODE
    std::vector<std::string> blobs;   // PT_MV_BINARY
    std::vector<LONG> longs;          // PT_MV_LONG
};

// The properties of one entry, ordered by property id, at most one value per id.
using CProps = std::vector<CValue>;

const CValue* FindProp(const CProps& props, ULONG propId) noexcept;
void PutProp(CProps& props, CValue value);
bool RemoveProp(CProps& props, ULONG propId);

// The kept type for a type given from outside (PT_STRING8 -> PT_UNICODE, PT_MV_STRING8 ->
// PT_MV_UNICODE); 0 for types the stand-in does not keep.
ULONG KeptType(ULONG type) noexcept;

// SPropValue -> kept value. MAPI_E_INVALID_TYPE for a type that is not kept, MAPI_E_BAD_VALUE for
// a value that cannot be read (a null string pointer, a count without an array).
HRESULT FromPropValue(const SPropValue& in, CValue& out);

// Kept value -> SPropValue of the wanted tag's type (PT_UNSPECIFIED: the kept type, strings as
// 8-bit unless unicode is set), memory linked to parent. MAPI_E_NOT_FOUND when the kept value
// cannot be given in the wanted type.
HRESULT ToPropValue(const CValue& value, ULONG wantedTag, bool unicode, void* parent, SPropValue& out);

// The error value a row or GetProps gives for a property it cannot give.
void ErrorValue(ULONG tag, HRESULT code, SPropValue& out) noexcept;

// Converts a kept value to the wanted type without MAPI memory (for restrictions): strings stay
// Unicode whatever the 8-bit wish. false when the types do not meet.
bool CoerceForCompare(const CValue& value, ULONG wantedType, CValue& out);

// Three-way comparison of two values of the same kept type: ordinal for strings (exact code
// units), numeric for numbers and times, bytewise for binaries. false when not comparable.
bool CompareValues(const CValue& a, const CValue& b, int* result);

// The packed form the store keeps in memory: the values of one entry, in the order given, in one
// block of bytes ("<tag><size><payload>" each; texts one byte a code unit when none is above
// 0xFF). A contact held as CProps costs kilobytes in dozens of heap blocks; packed, a few hundred
// bytes in one. UnpackProp finds one value without unpacking the rest.
std::string PackProps(const CProps& props);
bool UnpackProps(const char* packed, size_t size, CProps& props);
bool UnpackProp(const char* packed, size_t size, ULONG propId, CValue& out);

// Text form in the store file, and back. DecodeValue is strict: false for anything it cannot read
// exactly.
std::string EncodeValue(const CValue& value);
bool DecodeValue(ULONG tag, const char* text, size_t length, CValue& out);

// UTF-16 <-> UTF-8 (lone surrogates become U+FFFD) and UTF-16 <-> the ANSI code page.
std::string ToUtf8(const std::wstring& text);
std::wstring FromUtf8(const std::string& text);
std::string ToAnsi(const std::wstring& text);
std::wstring FromAnsi(const char* text);

// "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}" -> GUID (exact layout, either case).
bool ParseGuidText(const std::string& text, GUID& guid);

// Upper-case hexadecimal, and back (false for an odd length or a non-hex digit).
std::string ToHex(const void* bytes, size_t count);
bool FromHex(const char* text, size_t length, std::string& bytes);

}  // namespace wabstandin
