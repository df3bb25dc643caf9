// The parser of "supportedEncodings.txt" (one "display name|charset|code page" per line), on the
// file's bytes only: no Windows header, so that it also runs on a build host under sanitizers and
// a fuzzer. CCharConverter reads the file and keeps the entries whose code page the system has.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

struct EncodingEntry {
    std::string displayName;  // shown in the export dialog, stored as "Export.Encoding"
    std::string charsetName;  // written after ";CHARSET=" and looked up when a card names one
    int codePage = 0;         // Windows code page, never 0
};

// The entries the text yields, in order (the text ends at its first zero byte). skipped (may be
// null) receives the numbers of the non-empty lines that yield no entry.
std::vector<EncodingEntry> ParseEncodingsText(const std::string& text, std::vector<size_t>* skipped = nullptr);
