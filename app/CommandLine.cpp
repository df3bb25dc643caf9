#include "app/CommandLine.h"

#include <cstring>

#include "app/Log.h"
#include "common/raii.h"

namespace {

bool StartsWithNoCase(const char* p, const char* word)
{
    size_t n = std::strlen(word);
    return ::CompareStringA(LOCALE_INVARIANT, NORM_IGNORECASE, p, static_cast<int>(strnlen(p, n)), word,
                            static_cast<int>(n)) == CSTR_EQUAL;
}

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
const char* ParseSelection(const char* p, CCommandLine* r)
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

void ParseCommandLine(const char* line, CCommandLine* r)
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
                next = ParseSelection(letters + 9, r);
            } else if (StartsWithNoCase(letters, "foreground")) {
                r->foreground = true;
                r->owner = ::GetForegroundWindow();
            } else if (StartsWithNoCase(letters, "help")) {
                r->mode = RunMode::Help;
            }
        }
        p = std::strchr(next, '-');
    }
    if (r->bad)
        g_log.LogWar("WinMain", 0, "bad cmdline(%s)", line);
}

bool ReadSelectionFile(const std::string& name, bool temporary, CSelectionList* selection)
{
    const char* ctx = "WinMain";
    selection->clear();
    common::CFileHandle file(::CreateFileA(name.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                           FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) {
        g_log.LogWar(ctx, 0, "cant open file(%s)", name.c_str());
        return false;
    }
    LARGE_INTEGER size = {};
    std::string buffer;
    bool readable = true;
    if (!::GetFileSizeEx(file.get(), &size)) {
        g_log.LogWar(ctx, common::HResultFromLastError(), "GetFileSize(%s)", name.c_str());
        readable = false;
    } else if (size.QuadPart > kMaxSelectionFileBytes) {
        g_log.LogWar(ctx, 0, "selection file(%s) of %lld bytes is larger than %lld: not read", name.c_str(),
                     static_cast<long long>(size.QuadPart), static_cast<long long>(kMaxSelectionFileBytes));
        readable = false;
    } else if (size.QuadPart > 0) {
        buffer.resize(static_cast<size_t>(size.QuadPart));
        DWORD got = 0;
        if (!::ReadFile(file.get(), &buffer[0], static_cast<DWORD>(buffer.size()), &got, nullptr)) {
            g_log.LogWar(ctx, common::HResultFromLastError(), "ReadFile(%s)", name.c_str());
            got = 0;
            readable = false;
        }
        buffer.resize(got);
    }
    file.reset();
    buffer.resize(std::strlen(buffer.c_str()));  // the text ends at a zero byte, as it always has

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
    if (dropped > 0)
        g_log.LogWar(ctx, 0, "selection file(%s): %zu words that are no entry identifier skipped, %zu taken",
                     name.c_str(), dropped, selection->size());
    if (temporary)
        ::DeleteFileA(name.c_str());
    return readable;
}
