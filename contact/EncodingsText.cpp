#include "contact/EncodingsText.h"

#include <climits>

namespace {

// Names are shown in a list and written into every card; a longer one is no name but garbage.
const size_t kMaxEncodingField = 100;

bool IsBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\v' || c == '\f';
}

std::string Trim(const std::string& s)
{
    size_t b = 0, e = s.size();
    while (b < e && IsBlank(s[b]))
        ++b;
    while (e > b && IsBlank(s[e - 1]))
        --e;
    return s.substr(b, e - b);
}

// Decimal digits as far as they go; a field without leading digits, or one too large for a code
// page number, reads as 0 (and so is skipped).
int ReadCodePage(const std::string& field)
{
    long long value = 0;
    size_t i = 0;
    for (; i < field.size() && field[i] >= '0' && field[i] <= '9'; ++i) {
        value = value * 10 + (field[i] - '0');
        if (value > INT_MAX)
            return 0;
    }
    return static_cast<int>(value);
}

bool ParseLine(const std::string& line, EncodingEntry* entry)
{
    size_t bar1 = line.find('|');
    if (bar1 == std::string::npos)
        return false;
    size_t bar2 = line.find('|', bar1 + 1);
    if (bar2 == std::string::npos)
        return false;
    size_t bar3 = line.find('|', bar2 + 1);
    std::string display = Trim(line.substr(0, bar1));
    std::string charset = Trim(line.substr(bar1 + 1, bar2 - bar1 - 1));
    std::string number =
        Trim(bar3 == std::string::npos ? line.substr(bar2 + 1) : line.substr(bar2 + 1, bar3 - bar2 - 1));
    if (display.empty() || charset.empty() || number.empty() || display.size() > kMaxEncodingField ||
        charset.size() > kMaxEncodingField)
        return false;
    int codePage = ReadCodePage(number);
    if (codePage == 0)
        return false;
    entry->displayName = display;
    entry->charsetName = charset;
    entry->codePage = codePage;
    return true;
}

}  // namespace

std::vector<EncodingEntry> ParseEncodingsText(const std::string& text, std::vector<size_t>* skipped)
{
    std::vector<EncodingEntry> entries;
    size_t lineNumber = 0;
    // The file is read as one zero-terminated text: a zero byte ends it.
    size_t length = text.find('\0');
    if (length == std::string::npos)
        length = text.size();
    size_t pos = 0;
    while (pos < length) {
        size_t end = text.find_first_of("\r\n", pos);
        // A last line without a line end counts like any other: an editor that drops the final
        // newline must not cost the user an encoding.
        if (end == std::string::npos || end > length)
            end = length;
        std::string line = text.substr(pos, end - pos);
        EncodingEntry entry;
        if (!(end == pos && end > 0 && text[end] == '\n' && text[end - 1] == '\r'))
            ++lineNumber;  // CR LF ends one line, not two
        if (!line.empty()) {
            if (ParseLine(line, &entry))
                entries.push_back(entry);
            else if (skipped)
                skipped->push_back(lineNumber);
        }
        pos = end + 1;
    }
    return entries;
}
