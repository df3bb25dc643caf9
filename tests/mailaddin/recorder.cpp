// Stand-in for the converter in the add-in's tests: copied as Quillon.exe beside a copy of
// Gimlet.dll, it writes the command line it was started with and its working folder, one per
// line, to "cmdline.txt" in its own folder. The file is written under another name and renamed,
// so a reader never sees it half written.
#include <windows.h>

#include <string>

#include "common/text.h"

int main()
{
    std::string folder = common::FolderOf(common::ModuleFileName(nullptr));
    std::string partial = folder + "\\cmdline.partial";
    std::string done = folder + "\\cmdline.txt";
    char cwd[MAX_PATH] = {};
    DWORD n = GetCurrentDirectoryA(MAX_PATH, cwd);
    std::string text = std::string(GetCommandLineA()) + "\r\n" + std::string(cwd, n < MAX_PATH ? n : 0) + "\r\n";
    HANDLE file = CreateFileA(partial.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return 1;
    DWORD written = 0;
    BOOL ok = WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    CloseHandle(file);
    if (!ok || !MoveFileExA(partial.c_str(), done.c_str(), MOVEFILE_REPLACE_EXISTING))
        return 1;
    return 0;
}
