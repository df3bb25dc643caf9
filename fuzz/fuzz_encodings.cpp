// The parser of supportedEncodings.txt: whatever the bytes, every entry it gives is one the
// program can use (names present and bounded, a code page), and the entries and the skipped
// lines account for every non-empty line.
#include <cstdlib>
#include <string>
#include <vector>

#include "contact/EncodingsText.h"

namespace {

void Check(bool condition)
{
    if (!condition)
        std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::string text(reinterpret_cast<const char*>(data), size);
    std::vector<size_t> skipped;
    std::vector<EncodingEntry> entries = ParseEncodingsText(text, &skipped);
    for (const EncodingEntry& e : entries) {
        Check(!e.displayName.empty() && e.displayName.size() <= 100);
        Check(!e.charsetName.empty() && e.charsetName.size() <= 100);
        Check(e.codePage > 0);
        Check(e.displayName.find('|') == std::string::npos && e.charsetName.find('|') == std::string::npos);
        Check(e.displayName.find_first_of("\r\n") == std::string::npos);
    }
    // Line numbers of skipped lines only grow.
    for (size_t i = 1; i < skipped.size(); ++i)
        Check(skipped[i] > skipped[i - 1]);
    size_t lines = 0;
    std::string ended = text.substr(0, text.find('\0'));
    for (size_t p = 0; p < ended.size();) {
        size_t e = ended.find_first_of("\r\n", p);
        if (e == std::string::npos)
            e = ended.size();
        if (e > p)
            ++lines;
        p = e + 1;
    }
    Check(entries.size() + skipped.size() == lines);
    return 0;
}
