#include "wabext/launch.h"

#include <shlobj.h>

#include <cstdio>

#include "common/ansipath.h"
#include "common/raii.h"
#include "common/text.h"
#include "common/trace.h"

namespace ferrule {

std::string ConverterPath(const std::string& moduleFileName)
{
    size_t cut = moduleFileName.find_last_of("\\/");
    std::string folder = cut == std::string::npos ? std::string() : moduleFileName.substr(0, cut);
    return "\"" + folder + "\\Quillon.exe\"";
}

std::string BuildCommandLine(const std::string& moduleFileName, Command command,
                             const std::string& selectionFile)
{
    std::string line = ConverterPath(moduleFileName);
    line += command == Command::Import ? " -import" : " -export";
    if (!selectionFile.empty())
        line += " -selection tmp \"" + selectionFile + "\"";
    line += " -foreground";
    return line;
}

std::string SelectionFolder(const std::vector<std::wstring>& candidates)
{
    for (const std::wstring& folder : candidates) {
        std::string ansi;
        if (folder.empty())
            continue;
        if (common::WideToAnsiExact(folder, &ansi))
            return ansi;
        wchar_t shortName[MAX_PATH + 1] = {};
        DWORD n = ::GetShortPathNameW(folder.c_str(), shortName, MAX_PATH + 1);
        if (n > 0 && n <= MAX_PATH && common::WideToAnsiExact(std::wstring(shortName, n), &ansi))
            return ansi;
    }
    return std::string();
}

namespace {

std::wstring TemporaryFolder()
{
    wchar_t temp[MAX_PATH + 1] = {};
    DWORD n = ::GetTempPathW(MAX_PATH + 1, temp);
    return n > 0 && n <= MAX_PATH ? std::wstring(temp, n) : std::wstring();
}

// Where Quillon keeps its logs, made when missing; empty when there is no AppData folder.
std::wstring DataFolder()
{
    wchar_t appData[MAX_PATH] = {};
    if (FAILED(::SHGetFolderPathW(nullptr, CSIDL_APPDATA | CSIDL_FLAG_CREATE, nullptr, 0, appData)))
        return std::wstring();
    std::wstring folder = appData;
    folder += L"\\Brisco";
    ::CreateDirectoryW(folder.c_str(), nullptr);
    folder += L"\\Quillon";
    ::CreateDirectoryW(folder.c_str(), nullptr);
    return folder;
}

}  // namespace

bool WriteSelectionFile(const std::vector<std::string>& lines, std::string* path)
{
    std::string folder = SelectionFolder({TemporaryFolder()});
    if (folder.empty())
        folder = SelectionFolder({DataFolder()});
    if (folder.empty()) {
        common::ComTrace("ferrule::WriteSelectionFile", "SelectionFolder (no folder the ANSI code page can name)",
                         HRESULT_FROM_WIN32(ERROR_NO_UNICODE_TRANSLATION));
        return false;
    }
    char name[MAX_PATH] = {};
    if (GetTempFileNameA(folder.c_str(), "qzt", 0, name) == 0 || name[0] == '\0') {
        common::ComTrace("ferrule::WriteSelectionFile", "GetTempFileName", common::HResultFromLastError());
        return false;
    }
    // Text mode: each line ends in CR LF.
    FILE* file = std::fopen(name, "wt");
    if (!file) {
        common::ComTrace("ferrule::WriteSelectionFile", "fopen", E_FAIL);
        DeleteFileA(name);
        return false;
    }
    bool written = true;
    for (const std::string& line : lines) {
        if (std::fputs(line.c_str(), file) < 0 || std::fputc('\n', file) == EOF)
            written = false;
    }
    if (std::fclose(file) != 0)
        written = false;
    // A cut-short list would have the converter work on fewer contacts than were chosen.
    if (!written) {
        common::ComTrace("ferrule::WriteSelectionFile", "fputs", E_FAIL);
        DeleteFileA(name);
        return false;
    }
    *path = name;
    return true;
}

const char* LoadResourceText(HINSTANCE module, UINT id, char* buffer, size_t size) noexcept
{
    if (!buffer || size == 0)
        return buffer;
    int cap = size > 0x7FFFFFFF ? 0x7FFFFFFF : static_cast<int>(size);
    if (LoadStringA(module, id, buffer, cap) <= 0)
        common::FormatBounded(buffer, size, "<res%d>", static_cast<int>(id));
    return buffer;
}

bool StartConverter(const std::string& commandLine)
{
    std::vector<char> buffer(commandLine.begin(), commandLine.end());
    buffer.push_back('\0');
    STARTUPINFOA startup = {};
    startup.cb = sizeof(startup);
#if !defined(_WIN64)
    static_assert(sizeof(STARTUPINFOA) == 68, "start-up record of 32-bit Windows");
#endif
    PROCESS_INFORMATION process = {};
    if (!CreateProcessA(nullptr, buffer.data(), nullptr, nullptr, FALSE, NORMAL_PRIORITY_CLASS, nullptr,
                        nullptr, &startup, &process)) {
        common::ComTrace("ferrule::StartConverter", "CreateProcess", common::HResultFromLastError());
        return false;
    }
    common::CHandle thread(process.hThread);
    common::CHandle proc(process.hProcess);
    return true;
}

}  // namespace ferrule
