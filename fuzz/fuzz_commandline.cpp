// The command line and the selection file: whatever the text, parsing ends, stays inside it and
// gives a result that holds together. The first byte chooses which of the two the rest goes to.
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "app/CommandLineText.h"

namespace {

void Check(bool condition)
{
    if (!condition)
        std::abort();
}

bool IsHex(char c)
{
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f');
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0)
        return 0;
    std::string text(reinterpret_cast<const char*>(data) + 1, size - 1);
    if (data[0] & 1) {
        // The program gets a zero-terminated line (a zero byte inside ends it there), here in a
        // block of exactly its size, so that a read past its end is caught.
        std::unique_ptr<char[]> line(new char[text.size() + 1]);
        std::memcpy(line.get(), text.c_str(), text.size() + 1);
        CCommandLineOptions options;
        ParseCommandLineOptions(line.get(), StartsWithNoCaseAscii, &options);
        // A file name comes only from between quotes, trimmed, so it never holds a quote or
        // starts or ends with white space; without one the line is bad.
        const std::string& name = options.selectionFile;
        Check(name.find('"') == std::string::npos);
        Check(name.empty() || (name.front() != ' ' && name.back() != ' '));
        Check(name.size() < size);
        Check(!options.temporary || options.bad || !name.empty());
        // Parsing the same line again gives the same result.
        CCommandLineOptions again;
        ParseCommandLineOptions(line.get(), StartsWithNoCaseAscii, &again);
        Check(again.mode == options.mode && again.selectionFile == name && again.bad == options.bad &&
              again.temporary == options.temporary && again.foreground == options.foreground);
    } else {
        CSelectionList list;
        size_t skipped = ParseSelectionText(text, &list);
        // Every entry is an entry-identifier text, and the entries and the skipped words are all
        // the words of the text before its first zero byte.
        size_t words = 0;
        std::string ended = text.substr(0, text.find('\0'));
        for (size_t p = 0; (p = ended.find_first_not_of(" \t\r\n", p)) != std::string::npos;
             p = ended.find_first_of(" \t\r\n", p))
            ++words;
        Check(list.size() + skipped == words);
        for (const std::string& id : list) {
            Check(!id.empty() && id.size() % 2 == 0 && id.size() <= kMaxEntryIdText);
            for (char c : id)
                Check(IsHex(c));
        }
    }
    return 0;
}
