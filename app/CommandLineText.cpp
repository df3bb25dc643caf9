#include "app/CommandLineText.h"

#include <cstring>

bool StartsWithNoCaseAscii(const char* text, const char* word)
{
    for (; *word; ++text, ++word) {
        char a = *text, b = *word;
        if (a >= 'A' && a <= 'Z')
            a = static_cast<char>(a - 'A' + 'a');
        if (b >= 'A' && b <= 'Z')
            b = static_cast<char>(b - 'A' + 'a');
        if (a != b)
            return false;  // also at the text's zero byte
    }
    return true;
}

namespace {

bool IsBlank(char c)
{
    return c == ' ' || c == '\t';
}

bool IsSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

std::string Trimmed(const char* begin, const char* end)
{
    while (begin < end && IsSpace(*begin))
        ++begin;
    while (end > begin && IsSpace(end[-1]))
        --end;
    return std::string(begin, end);
}

// The arguments of -selection: any mix of "tmp" and a quoted file name, up to the next option.
// Returns where the search for the next option goes on.
const char* ParseSelection(const char* p, StartsWithNoCaseFn StartsWithNoCase, CCommandLineOptions* r)
{
    if (*p)
        ++p;  // the character right after "selection", normally a blank
    for (;;) {
        while (IsBlank(*p))
            ++p;
        if (*p == '\0' || *p == '-')
            break;
        if (StartsWithNoCase(p, "tmp")) {
            r->temporary = true;
            p += 3;
            if (*p)
                ++p;
        } else if (*p == '"') {
            const char* close = std::strchr(p + 1, '"');
            if (!close) {
                r->bad = true;
                p += std::strlen(p);
                break;
            }
            r->selectionFile = Trimmed(p + 1, close);
            p = close + 1;
        } else {
            // Neither "tmp" nor a quoted name: the selection arguments are malformed. Step over the
            // word so that parsing always makes progress.
            r->bad = true;
            while (*p && !IsBlank(*p) && *p != '-')
                ++p;
        }
    }
    if (r->selectionFile.empty())
        r->bad = true;
    return p;
}

}  // namespace

void ParseCommandLineOptions(const char* line, StartsWithNoCaseFn StartsWithNoCase, CCommandLineOptions* r)
{
    if (!line)
        return;
    struct Option {
        const char* word;
        RunMode mode;
    };
    // Tested in this order; the first match decides.
    static const Option kModes[] = {
        {"export", RunMode::Export}, {"import", RunMode::Import},       {"about", RunMode::About},
        {"bugreport", RunMode::BugReport}, {"debug", RunMode::Debug},
    };

    const char* p = std::strchr(line, '-');
    while (p && !r->bad) {
        const char* letters = p + 1;
        const char* next = letters;
        bool matched = false;
        for (const Option& o : kModes) {
            if (StartsWithNoCase(letters, o.word)) {
                r->mode = o.mode;
                matched = true;
                break;
            }
        }
        if (!matched) {
            if (StartsWithNoCase(letters, "selection")) {
                next = ParseSelection(letters + 9, StartsWithNoCase, r);
            } else if (StartsWithNoCase(letters, "foreground")) {
                r->foreground = true;
            } else if (StartsWithNoCase(letters, "help")) {
                r->mode = RunMode::Help;
            }
        }
        p = std::strchr(next, '-');
    }
}

size_t ParseSelectionText(const std::string& text, CSelectionList* selection)
{
    // The text ends at a zero byte, as it always has.
    const std::string buffer = text.substr(0, std::strlen(text.c_str()));
    // Only entry-identifier texts are taken: hexadecimal digits, two a byte, no longer than an
    // identifier can be. Anything else (a file cut short in its last line, bytes that are no
    // text) would reach the address book as an identifier of nothing.
    size_t dropped = 0;
    size_t pos = 0;
    while (pos < buffer.size()) {
        pos = buffer.find_first_not_of(" \t\r\n", pos);
        if (pos == std::string::npos)
            break;
        size_t end = buffer.find_first_of(" \t\r\n", pos);
        if (end == std::string::npos)
            end = buffer.size();
        size_t length = end - pos;
        bool hex = length % 2 == 0 && length <= kMaxEntryIdText &&
                   buffer.find_first_not_of("0123456789ABCDEFabcdef", pos) >= end;
        if (hex)
            selection->push_back(buffer.substr(pos, length));
        else
            ++dropped;
        pos = end;
    }
    return dropped;
}
