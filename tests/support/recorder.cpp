// Stand-in for the converter in the tests of the address-book extension and the mail add-in:
// copied as Quillon.exe beside a scratch copy of Ferrule.DLL or Gimlet.dll, it writes the exact
// command line it was started with and its working folder, one per line, to "cmdline.txt" in its
// own folder (read back by testsupport::TakeRecord). The file is written under another name and
// then renamed, so a reader never sees it half written.
#include <windows.h>

#include <string>

#include "common/raii.h"
#include "common/text.h"

int main()
{
    std::string folder = common::FolderOf(common::ModuleFileName(nullptr));
    std::string partial = folder + "\\cmdline.partial";
    std::string done = folder + "\\cmdline.txt";
    char cwd[MAX_PATH] = {};
    DWORD n = GetCurrentDirectoryA(MAX_PATH, cwd);
    std::string text = std::string(GetCommandLineA()) + "\r\n" + std::string(cwd, n < MAX_PATH ? n : 0) + "\r\n";
    {
        common::CFileHandle file(
            CreateFileA(partial.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
        DWORD written = 0;
        if (!file || !WriteFile(file.get(), text.data(), static_cast<DWORD>(text.size()), &written, nullptr))
            return 1;
    }
    // The reader deletes the previous record before the next start, but a handle it still holds
    // may keep that file in the way for a moment.
    for (int attempt = 0; attempt < 100; ++attempt) {
        if (MoveFileExA(partial.c_str(), done.c_str(), MOVEFILE_REPLACE_EXISTING))
            return 0;
        Sleep(50);
    }
    return 1;
}
