// What the benchmarks share.
#pragma once

#include <windows.h>

#include <chrono>
#include <cstdio>
#include <string>

namespace bench {

using Clock = std::chrono::steady_clock;

// Seconds since from, on the clock.
inline double Seconds(Clock::time_point from)
{
    return std::chrono::duration<double>(Clock::now() - from).count();
}

// CPU time of this process (its threads, not the Wine server's): what a step costs however busy
// the shared machine is.
inline double CpuSeconds()
{
    FILETIME created, exited, kernel, user;
    if (!::GetProcessTimes(::GetCurrentProcess(), &created, &exited, &kernel, &user))
        return 0;
    auto secs = [](const FILETIME& f) {
        return static_cast<double>((static_cast<ULONGLONG>(f.dwHighDateTime) << 32) | f.dwLowDateTime) / 1e7;
    };
    return secs(kernel) + secs(user);
}

// Deletes a folder with everything in it (what cannot be deleted stays). A bench's scratch folder
// is named after its process id, which Wine gives out again: one left behind would hand an earlier
// run's files to the next.
inline void RemoveTree(const std::string& folder)
{
    WIN32_FIND_DATAA found;
    HANDLE find = ::FindFirstFileA((folder + "\\*").c_str(), &found);
    if (find != INVALID_HANDLE_VALUE) {
        do {
            const std::string name = found.cFileName;
            if (name == "." || name == "..")
                continue;
            if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                RemoveTree(folder + "\\" + name);
            else
                ::DeleteFileA((folder + "\\" + name).c_str());
        } while (::FindNextFileA(find, &found));
        ::FindClose(find);
    }
    ::RemoveDirectoryA(folder.c_str());
}

// Appends a file's bytes; false when it cannot be opened.
inline bool AppendFile(const std::string& path, std::string* bytes)
{
    FILE* in = std::fopen(path.c_str(), "rb");
    if (!in)
        return false;
    char buffer[65536];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, in)) > 0)
        bytes->append(buffer, n);
    std::fclose(in);
    return true;
}

// Answers the runs' closing messages (caption "Quillon for Outlook Express") shown by the thread
// that made this object, while it lives. A hook on that thread sees each box as it is activated,
// so nothing polls for windows meanwhile: a watcher looking every few milliseconds cost the
// process about a tenth of its CPU time, which the figures then counted as the run's.
class CBoxAnswer {
public:
    CBoxAnswer() { s_hook = ::SetWindowsHookExA(WH_CBT, &CBoxAnswer::_Hook, nullptr, ::GetCurrentThreadId()); }
    ~CBoxAnswer()
    {
        if (s_hook)
            ::UnhookWindowsHookEx(s_hook);
        s_hook = nullptr;
    }
    CBoxAnswer(const CBoxAnswer&) = delete;
    CBoxAnswer& operator=(const CBoxAnswer&) = delete;
    bool IsActive() const { return s_hook != nullptr; }

private:
    static LRESULT CALLBACK _Hook(int code, WPARAM wParam, LPARAM lParam)
    {
        if (code == HCBT_ACTIVATE) {
            HWND hwnd = reinterpret_cast<HWND>(wParam);
            char caption[64] = "";
            ::GetWindowTextA(hwnd, caption, sizeof caption);
            // The box's own loop takes the click once it runs.
            if (lstrcmpA(caption, "Quillon for Outlook Express") == 0)
                ::PostMessageA(hwnd, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
        }
        return ::CallNextHookEx(s_hook, code, wParam, lParam);
    }
    static inline HHOOK s_hook = nullptr;
};

}  // namespace bench
