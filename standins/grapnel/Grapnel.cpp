// Stand-in for the SDK's hook library. The real one hooks into the mail client from its
// initialisation; ours records each load and unload in a log file, which is what the launcher
// and its tests can observe. The log goes to the file named by the environment variable
// GRAPNEL_LOG, or to "Grapnel.log" in the temporary folder.
//
// Only kernel32 is used here: DllMain runs under the loader lock.
#include <windows.h>

#include <cstdio>

#include "common/text.h"

namespace {

void LogPath(char* path, DWORD cap)
{
    DWORD n = ::GetEnvironmentVariableA("GRAPNEL_LOG", path, cap);
    if (n > 0 && n < cap)
        return;
    char temp[MAX_PATH];
    n = ::GetTempPathA(MAX_PATH, temp);
    if (n == 0 || n >= MAX_PATH)
        common::CopyBounded(temp, sizeof temp, ".\\");
    common::FormatBounded(path, cap, "%sGrapnel.log", temp);
}

void Record(const char* what)
{
    char path[MAX_PATH * 2];
    LogPath(path, sizeof path);
    char exe[MAX_PATH];
    DWORD n = ::GetModuleFileNameA(nullptr, exe, MAX_PATH);
    if (n == 0 || n >= MAX_PATH)
        common::CopyBounded(exe, sizeof exe, "?");
    char line[MAX_PATH + 100];
    size_t len = common::FormatBounded(line, sizeof line, "Grapnel %s: process %lu (%s)\r\n", what,
                                       ::GetCurrentProcessId(), exe);
    HANDLE file = ::CreateFileA(path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return;
    DWORD written = 0;
    ::WriteFile(file, line, static_cast<DWORD>(len), &written, nullptr);
    ::CloseHandle(file);
}

}  // namespace

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID)
{
    if (reason == DLL_PROCESS_ATTACH) {
        ::DisableThreadLibraryCalls(instance);
        Record("loaded");
    } else if (reason == DLL_PROCESS_DETACH) {
        Record("unloaded");
    }
    return TRUE;
}
