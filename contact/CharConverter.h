// Contacts hold UTF-16 text; vCard files hold bytes in an encoding the user picks (export) or the
// file names (import). CCharConverter keeps the list of encodings we offer, read from
// "supportedEncodings.txt" beside the program, and the code page currently in force, which is
// process-wide: the export run sets it once per run, the vCard reader once per property line.
#pragma once

#include <windows.h>
#include <string>
#include <vector>

#include "contact/EncodingsText.h"


class CCharConverter {
public:
    // The system's ANSI code page, written without a charset name.
    static const int kAnsiCodePage = -1;
    // No code page: every conversion fails.
    static const int kNoCodePage = -2;

    CCharConverter() = default;
    virtual ~CCharConverter() = default;
    CCharConverter(const CCharConverter&) = delete;
    CCharConverter& operator=(const CCharConverter&) = delete;

    // Reads "supportedEncodings.txt" from the program folder. Without a usable entry only UTF-8
    // is offered and the user is told so in a warning box owned by owner. A file that cannot be
    // read, lines that are skipped and code pages the system lacks are logged as warnings.
    void Load(HWND owner);
    // The same from a given file; returns the number of entries read from it (0 means the UTF-8
    // fallback was taken and the warning shown).
    size_t LoadFrom(const char* path, HWND owner);
    // The parser alone, over a file's bytes: the entries the text yields, in order. skipped (may
    // be null) receives the numbers of the non-empty lines that yield no entry.
    static std::vector<EncodingEntry> ParseEncodings(const std::string& text,
                                                     std::vector<size_t>* skipped = nullptr);

    // Conversions in the current code page. Characters the code page cannot hold become its
    // default character. Both return the length of the output (bytes or UTF-16 units), or -1
    // when the current code page is kNoCodePage, the input is empty or nothing came out.
    int ToBytes(const wchar_t* text, size_t length, std::string* bytes) const;
    int ToBytes(const std::wstring& text, std::string* bytes) const;
    int ToWide(const char* bytes, size_t length, std::wstring* text) const;
    int ToWide(const std::string& bytes, std::wstring* text) const;

    // Charset name of the first entry with that code page; empty for -1, -2 or an unlisted one.
    std::string CharsetName(int codePage) const;
    // Code page of the first entry whose charset name matches regardless of ASCII case (IANA
    // names are case-insensitive, and cards write utf-8 as often as UTF-8); -1 for an empty
    // name, -2 when nothing matches.
    int CodePageByCharset(const char* name) const;
    // Code page of the first entry with exactly that display name; -1 for empty, -2 unlisted.
    int CodePageByName(const char* displayName) const;

    int GetCurrentCodePage() const { return m_codePage; }
    void SetCurrentCodePage(int codePage) { m_codePage = codePage; }

    const std::vector<EncodingEntry>& Encodings() const { return m_encodings; }

private:
    UINT _WindowsCodePage() const;

    int m_codePage = kAnsiCodePage;
    std::vector<EncodingEntry> m_encodings;
};

extern CCharConverter g_charConverter;
