// Identifiers of Gimlet's class and type library, as registered.
#pragma once

#include <windows.h>

namespace gimlet {

// {23AF1216-93FC-4048-8251-3464520A29D2}, ProgID "Gimlet.Addin"
constexpr CLSID CLSID_Addin = {0x23AF1216, 0x93FC, 0x4048, {0x82, 0x51, 0x34, 0x64, 0x52, 0x0A, 0x29, 0xD2}};
// {27B55042-3F91-4D5B-8D3E-F8494D6F5EC4}, version 1.0
constexpr GUID LIBID_Gimlet = {0x27B55042, 0x3F91, 0x4D5B, {0x8D, 0x3E, 0xF8, 0x49, 0x4D, 0x6F, 0x5E, 0xC4}};
// {FCEC23B8-EC5E-4655-8B0A-0098ED7D795F}
constexpr IID IID__Addin = {0xFCEC23B8, 0xEC5E, 0x4655, {0x8B, 0x0A, 0x00, 0x98, 0xED, 0x7D, 0x79, 0x5F}};

// The add-in's version, as its log writes it and its version resource carries it.
constexpr int kVersionMajor = 1;
constexpr int kVersionMinor = 0;
constexpr int kVersionRevision = 97;

}  // namespace gimlet
