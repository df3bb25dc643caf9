#include "app/CommandLine.h"

#include <cstring>

#include "base/Log.h"
#include "common/raii.h"

namespace {

bool StartsWithNoCase(const char* p, const char* word)
{
    size_t n = std::strlen(word);
    return ::CompareStringA(LOCALE_INVARIANT, NORM_IGNORECASE, p, static_cast<int>(strnlen(p, n)), word,
                            static_cast<int>(n)) == CSTR_EQUAL;
}

}  // namespace

void ParseCommandLine(const char* line, CCommandLine* r)
{
    if (!line)
        return;
    ParseCommandLineOptions(line, StartsWithNoCase, r);
    if (r->foreground)
        r->owner = ::GetForegroundWindow();
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

    size_t dropped = ParseSelectionText(buffer, selection);
    if (dropped > 0)
        g_log.LogWar(ctx, 0, "selection file(%s): %zu words that are no entry identifier skipped, %zu taken",
                     name.c_str(), dropped, selection->size());
    if (temporary)
        ::DeleteFileA(name.c_str());
    return readable;
}
