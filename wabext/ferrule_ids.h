// Identifiers of Ferrule's class and type library, as registered.
#pragma once

#include <windows.h>

namespace ferrule {

// {C0CEE871-6EDE-4B3F-9D49-487132A1193C}
constexpr CLSID CLSID_Connect = {0xC0CEE871, 0x6EDE, 0x4B3F, {0x9D, 0x49, 0x48, 0x71, 0x32, 0xA1, 0x19, 0x3C}};
// {07DC723E-F819-4C2D-AD32-B0F5AB384E80}, version 1.0
constexpr GUID LIBID_FERRULELib = {0x07DC723E, 0xF819, 0x4C2D, {0xAD, 0x32, 0xB0, 0xF5, 0xAB, 0x38, 0x4E, 0x80}};
// {A1CFFD6D-89A1-4D5A-91DA-87C9053521D5}
constexpr IID IID_IConnect = {0xA1CFFD6D, 0x89A1, 0x4D5A, {0x91, 0xDA, 0x87, 0xC9, 0x05, 0x35, 0x21, 0xD5}};

}  // namespace ferrule

namespace ferrule {

// The address book's extension interface; this toolchain declares it but its uuid library lacks it.
// {EA22EBF0-87A4-11D1-9ACF-00A0C91F9C8B}
constexpr IID kIID_WABExtInit = {0xEA22EBF0, 0x87A4, 0x11D1, {0x9A, 0xCF, 0x00, 0xA0, 0xC9, 0x1F, 0x9C, 0x8B}};

}  // namespace ferrule
