// Stand-in for the converter in the extension's tests: copied as Quillon.exe beside a copy of
// Ferrule.DLL, it writes the exact command line it was started with to "cmdline.txt" in its own
// folder. The file is written under another name and then renamed, so a reader never sees it half
// written.
#include <windows.h>

#include <string>

#include "common/text.h"

int main()
{
    std::string folder = common::FolderOf(common::ModuleFileName(nullptr));
    std::string partial = folder + "\\cmdline.partial";
    std::string done = folder + "\\cmdline.txt";
    const char* line = GetCommandLineA();
    HANDLE file = CreateFileA(partial.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return 1;
    DWORD written = 0;
    BOOL ok = WriteFile(file, line, static_cast<DWORD>(lstrlenA(line)), &written, nullptr);
    CloseHandle(file);
    if (!ok)
        return 1;
    // The reader deletes the previous record before it starts the next command, but a handle it
    // still holds may keep that file in the way for a moment.
    for (int attempt = 0; attempt < 100; ++attempt) {
        if (MoveFileExA(partial.c_str(), done.c_str(), MOVEFILE_REPLACE_EXISTING))
            return 0;
        Sleep(50);
    }
    return 1;
}
