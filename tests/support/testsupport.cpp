#include "support/testsupport.h"

#include <gtest/gtest.h>
#include <shlwapi.h>
#include <tlhelp32.h>
#include <cstdio>
#include <list>

#include "common/text.h"

namespace testsupport {

std::string BinDir()
{
    return common::FolderOf(common::ModuleFileName(nullptr));
}

namespace {
std::string TempPath()
{
    char tmp[MAX_PATH] = {};
    ::GetTempPathA(MAX_PATH, tmp);
    return tmp;
}
}  // namespace

CTempDir::CTempDir() : CTempDir(TempPath())
{
}

CTempDir::CTempDir(const std::string& parent)
{
    std::string base = parent;
    if (!base.empty() && base.back() != '\\')
        base += '\\';
    static LONG counter = 0;
    for (;;) {
        char name[MAX_PATH];
        std::snprintf(name, sizeof name, "%squillon-test-%lu-%ld", base.c_str(), ::GetCurrentProcessId(),
                      ::InterlockedIncrement(&counter));
        if (::CreateDirectoryA(name, nullptr)) {
            m_path = name;
            if (!m_path.empty() && m_path.back() == '\\')
                m_path.pop_back();
            return;
        }
        if (::GetLastError() != ERROR_ALREADY_EXISTS)
            return;
    }
}

CTempDir::~CTempDir()
{
    if (!m_path.empty())
        DeleteTree(m_path);
}

void DeleteTree(const std::string& path)
{
    WIN32_FIND_DATAA fd;
    common::CFindHandle find(::FindFirstFileA((path + "\\*").c_str(), &fd));
    if (find) {
        do {
            std::string name = fd.cFileName;
            if (name == "." || name == "..")
                continue;
            std::string full = path + "\\" + name;
            if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                DeleteTree(full);
            } else {
                ::SetFileAttributesA(full.c_str(), FILE_ATTRIBUTE_NORMAL);
                ::DeleteFileA(full.c_str());
            }
        } while (::FindNextFileA(find.get(), &fd));
    }
    find.reset();
    ::RemoveDirectoryA(path.c_str());
}

bool FileExists(const std::string& path)
{
    return ::GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::string ReadFileBytes(const std::string& path)
{
    common::CFileHandle f(::CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                        nullptr, OPEN_EXISTING, 0, nullptr));
    if (!f)
        return std::string();
    std::string out;
    char buf[65536];
    DWORD got = 0;
    while (::ReadFile(f.get(), buf, sizeof buf, &got, nullptr) && got > 0)
        out.append(buf, got);
    return out;
}

bool WriteFileBytes(const std::string& path, const std::string& bytes)
{
    common::CFileHandle f(
        ::CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    if (!f)
        return false;
    DWORD put = 0;
    return ::WriteFile(f.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &put, nullptr) &&
           put == bytes.size();
}

bool CopyFileTo(const std::string& from, const std::string& to)
{
    return ::CopyFileA(from.c_str(), to.c_str(), FALSE) != FALSE;
}

std::vector<std::string> ListFiles(const std::string& folder, const std::string& pattern)
{
    std::vector<std::string> names;
    WIN32_FIND_DATAA fd;
    common::CFindHandle find(::FindFirstFileA((folder + "\\" + pattern).c_str(), &fd));
    if (!find)
        return names;
    do {
        if (!(fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
            names.push_back(fd.cFileName);
    } while (::FindNextFileA(find.get(), &fd));
    return names;
}

CScopedEnv::CScopedEnv(const char* name, const char* value) : m_name(name)
{
    DWORD size = ::GetEnvironmentVariableA(name, nullptr, 0);
    if (size > 0) {
        m_old.resize(size);
        DWORD n = ::GetEnvironmentVariableA(name, &m_old[0], size);
        m_had = n < size;
        m_old.resize(m_had ? n : 0);
    }
    ::SetEnvironmentVariableA(name, value);
}

CScopedEnv::~CScopedEnv()
{
    ::SetEnvironmentVariableA(m_name.c_str(), m_had ? m_old.c_str() : nullptr);
}

namespace {
// The guard looks for its test hook once, at its first call, and reads it at every call only when
// it was there then: each test program has it from its start, naming no entry, so that its tests
// (and the programs they start) can name one entry after another.
const bool g_guardHookArmed =
    ::GetEnvironmentVariableA("QUILLON_TEST_THROW", nullptr, 0) != 0 ||
    ::SetEnvironmentVariableA("QUILLON_TEST_THROW", "none") != FALSE;
}  // namespace

std::string VersionValue(const std::string& file, const std::string& name)
{
    DWORD ignored = 0;
    std::vector<char> block(::GetFileVersionInfoSizeA(file.c_str(), &ignored) + 1);
    void* value = nullptr;
    UINT length = 0;
    const bool fixed = name == "file" || name == "product";
    if (!::GetFileVersionInfoA(file.c_str(), 0, static_cast<DWORD>(block.size()), block.data()) ||
        !::VerQueryValueA(block.data(), fixed ? "\\" : ("\\StringFileInfo\\040904B0\\" + name).c_str(), &value,
                          &length) ||
        !value)
        return "<missing>";
    if (!fixed)
        return static_cast<const char*>(value);
    const auto* info = static_cast<const VS_FIXEDFILEINFO*>(value);
    const DWORD high = name == "file" ? info->dwFileVersionMS : info->dwProductVersionMS;
    const DWORD low = name == "file" ? info->dwFileVersionLS : info->dwProductVersionLS;
    return std::to_string(HIWORD(high)) + "." + std::to_string(LOWORD(high)) + "." + std::to_string(HIWORD(low)) + "." +
           std::to_string(LOWORD(low));
}

std::string Crlf(const std::vector<std::string>& lines)
{
    std::string out;
    for (const std::string& line : lines)
        out += line + "\r\n";
    return out;
}

std::string Card(const std::string& version, const std::vector<std::string>& lines)
{
    std::vector<std::string> all = {"BEGIN:VCARD"};
    if (!version.empty())
        all.push_back("VERSION:" + version);
    all.insert(all.end(), lines.begin(), lines.end());
    all.push_back("END:VCARD");
    return Crlf(all);
}

std::wstring W(const std::string& utf8)
{
    if (utf8.empty())
        return std::wstring();
    int n = ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
    std::wstring out(static_cast<size_t>(n), L'\0');
    ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), &out[0], n);
    return out;
}

std::vector<std::string> SplitLines(const std::string& text, const std::string& end)
{
    std::vector<std::string> lines;
    for (size_t pos = 0; pos < text.size();) {
        size_t at = text.find(end, pos);
        if (at == std::string::npos)
            at = text.size();
        lines.push_back(text.substr(pos, at - pos));
        pos = at + end.size();
    }
    return lines;
}

common::CHandle StartProcess(const std::string& commandLine, const std::string& cwd, DWORD* processId,
                             const std::vector<std::pair<std::string, std::string>>& env, DWORD* threadId)
{
    // Environment changes go through this process's own block, which the child inherits.
    std::list<CScopedEnv> changed;
    for (const auto& kv : env)
        changed.emplace_back(kv.first.c_str(), kv.second.empty() ? nullptr : kv.second.c_str());
    STARTUPINFOA si = {};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi = {};
    std::string cmd = commandLine;
    if (!::CreateProcessA(nullptr, &cmd[0], nullptr, nullptr, FALSE, 0, nullptr, cwd.empty() ? nullptr : cwd.c_str(),
                          &si, &pi))
        return common::CHandle();
    ::CloseHandle(pi.hThread);
    if (processId)
        *processId = pi.dwProcessId;
    if (threadId)
        *threadId = pi.dwThreadId;
    return common::CHandle(pi.hProcess);
}

bool WaitExit(HANDLE process, DWORD timeoutMs, LONG* exitCode)
{
    if (::WaitForSingleObject(process, timeoutMs) != WAIT_OBJECT_0) {
        ::TerminateProcess(process, 99);
        ::WaitForSingleObject(process, 5000);
        return false;
    }
    DWORD code = 0;
    ::GetExitCodeProcess(process, &code);
    if (exitCode)
        *exitCode = static_cast<LONG>(code);
    return true;
}

bool RunProcess(const std::string& commandLine, LONG* exitCode, DWORD timeoutMs, const std::string& cwd,
                const std::vector<std::pair<std::string, std::string>>& env)
{
    common::CHandle process = StartProcess(commandLine, cwd, nullptr, env);
    if (!process)
        return false;
    return WaitExit(process.get(), timeoutMs, exitCode);
}

namespace {

// What the window hook of RunWatchingWindows writes to; its events come on the thread that set it.
std::vector<std::string>* g_watchedWindows = nullptr;

void CALLBACK OnWindowEvent(HWINEVENTHOOK, DWORD, HWND hwnd, LONG idObject, LONG, DWORD, DWORD)
{
    if (!g_watchedWindows || idObject != OBJID_WINDOW || !hwnd)
        return;
    char name[256] = "";
    bool alive = ::IsWindow(hwnd) && ::GetClassNameA(hwnd, name, sizeof name) > 0;
    std::string text = alive ? WindowText(hwnd) : std::string();
    const char* kind = "gone";
    if (alive) {
        HWND parent = ::GetAncestor(hwnd, GA_PARENT);
        if (parent == ::GetDesktopWindow())
            kind = "top-level";
        else if (parent && parent == ::GetAncestor(::FindWindowExA(HWND_MESSAGE, nullptr, nullptr, nullptr), GA_PARENT))
            return;
        else
            kind = "child";
    }
    g_watchedWindows->push_back(std::string(name) + "|" + text + "|" + kind);
}

}  // namespace

bool RunWatchingWindows(const std::string& commandLine, LONG* exitCode, std::vector<std::string>* windows,
                        const std::function<void(DWORD processId)>& meanwhile, DWORD timeoutMs)
{
    windows->clear();
    STARTUPINFOW si = {};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi = {};
    std::wstring cmd(commandLine.size() + 1, L'\0');
    cmd.resize(static_cast<size_t>(::MultiByteToWideChar(CP_UTF8, 0, commandLine.data(),
                                                         static_cast<int>(commandLine.size()), &cmd[0],
                                                         static_cast<int>(cmd.size()))));
    if (cmd.empty() ||
        !::CreateProcessW(nullptr, &cmd[0], nullptr, nullptr, FALSE, CREATE_SUSPENDED, nullptr, nullptr, &si, &pi))
        return false;
    common::CHandle process(pi.hProcess), thread(pi.hThread);
    g_watchedWindows = windows;
    HWINEVENTHOOK hook = ::SetWinEventHook(EVENT_OBJECT_CREATE, EVENT_OBJECT_CREATE, nullptr, OnWindowEvent,
                                           pi.dwProcessId, 0, WINEVENT_OUTOFCONTEXT);
    common::CScopeExit unhook([&] {
        if (hook)
            ::UnhookWinEvent(hook);
        g_watchedWindows = nullptr;
    });
    if (!hook) {
        ::TerminateProcess(process.get(), 99);
        return false;
    }
    ::ResumeThread(thread.get());
    DWORD start = ::GetTickCount();
    for (;;) {
        HANDLE h = process.get();
        DWORD r = ::MsgWaitForMultipleObjects(1, &h, FALSE, 50, QS_ALLINPUT);
        MSG msg;
        while (::PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            ::TranslateMessage(&msg);
            ::DispatchMessageA(&msg);
        }
        if (r == WAIT_OBJECT_0)
            break;
        if (meanwhile)
            meanwhile(pi.dwProcessId);
        if (::GetTickCount() - start >= timeoutMs) {
            ::TerminateProcess(process.get(), 99);
            ::WaitForSingleObject(process.get(), 5000);
            return false;
        }
    }
    // Events the system queued before the end are taken too.
    MSG msg;
    while (::PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        ::TranslateMessage(&msg);
        ::DispatchMessageA(&msg);
    }
    DWORD code = 0;
    ::GetExitCodeProcess(process.get(), &code);
    if (exitCode)
        *exitCode = static_cast<LONG>(code);
    return true;
}

bool WaitUntil(const std::function<bool()>& pred, DWORD timeoutMs)
{
    DWORD start = ::GetTickCount();
    for (;;) {
        if (pred())
            return true;
        if (::GetTickCount() - start >= timeoutMs)
            return false;
        MSG msg;
        while (::PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            ::TranslateMessage(&msg);
            ::DispatchMessageA(&msg);
        }
        ::Sleep(20);
    }
}

namespace {
struct FindArgs {
    DWORD pid;
    const std::string* cls;
    const std::string* title;
    HWND found;
};

BOOL CALLBACK FindProc(HWND hwnd, LPARAM lp)
{
    auto* a = reinterpret_cast<FindArgs*>(lp);
    if (!::IsWindowVisible(hwnd))
        return TRUE;
    DWORD pid = 0;
    ::GetWindowThreadProcessId(hwnd, &pid);
    if (a->pid && pid != a->pid)
        return TRUE;
    char cls[256] = {};
    ::GetClassNameA(hwnd, cls, sizeof cls);
    if (!a->cls->empty() && *a->cls != cls)
        return TRUE;
    if (!a->title->empty() && WindowText(hwnd).find(*a->title) == std::string::npos)
        return TRUE;
    a->found = hwnd;
    return FALSE;
}

BOOL CALLBACK CollectStatic(HWND hwnd, LPARAM lp)
{
    char cls[64] = {};
    ::GetClassNameA(hwnd, cls, sizeof cls);
    if (lstrcmpiA(cls, "Static") == 0) {
        std::string t = WindowText(hwnd);
        if (!t.empty()) {
            auto* out = reinterpret_cast<std::string*>(lp);
            if (!out->empty())
                *out += "\n";
            *out += t;
        }
    }
    return TRUE;
}
}  // namespace

HWND FindTopWindow(DWORD processId, const std::string& className, const std::string& titlePart)
{
    FindArgs a{processId, &className, &titlePart, nullptr};
    ::EnumWindows(FindProc, reinterpret_cast<LPARAM>(&a));
    return a.found;
}

HWND WaitTopWindow(DWORD processId, const std::string& className, const std::string& titlePart,
                   DWORD timeoutMs)
{
    HWND found = nullptr;
    WaitUntil([&] { return (found = FindTopWindow(processId, className, titlePart)) != nullptr; },
              timeoutMs);
    return found;
}

FILETIME Date(WORD year, WORD month, WORD day)
{
    SYSTEMTIME st = {};
    st.wYear = year;
    st.wMonth = month;
    st.wDay = day;
    FILETIME ft = {};
    EXPECT_TRUE(::SystemTimeToFileTime(&st, &ft)) << year << "-" << month << "-" << day;
    return ft;
}

uint64_t FileTime(int year, int month, int day, int hour, int minute, int second)
{
    SYSTEMTIME st = {};
    st.wYear = static_cast<WORD>(year);
    st.wMonth = static_cast<WORD>(month);
    st.wDay = static_cast<WORD>(day);
    st.wHour = static_cast<WORD>(hour);
    st.wMinute = static_cast<WORD>(minute);
    st.wSecond = static_cast<WORD>(second);
    FILETIME ft = {};
    EXPECT_TRUE(::SystemTimeToFileTime(&st, &ft)) << year << "-" << month << "-" << day;
    return (static_cast<uint64_t>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime;
}

std::string NoiseBytes(size_t size, unsigned state)
{
    std::string bytes(size, '\0');
    for (char& c : bytes) {
        state = state * 1103515245u + 12345u;  // the C library's classic generator
        c = static_cast<char>(state >> 16);
    }
    return bytes;
}

std::string DescribeTopWindows(DWORD processId)
{
    struct Args {
        DWORD pid;
        std::string lines;
    } args{processId, std::string()};
    // A callback of Windows must be WINAPI: on i686 a plain lambda would be cdecl.
    struct Callback {
        static BOOL CALLBACK Each(HWND hwnd, LPARAM lp)
        {
            auto* a = reinterpret_cast<Args*>(lp);
            DWORD pid = 0;
            ::GetWindowThreadProcessId(hwnd, &pid);
            if (pid != a->pid)
                return TRUE;
            char cls[256] = {};
            ::GetClassNameA(hwnd, cls, sizeof cls);
            a->lines += std::string(::IsWindowVisible(hwnd) ? "visible " : "hidden ") + cls + " \"" +
                        WindowText(hwnd) + "\"\n";
            return TRUE;
        }
    };
    ::EnumWindows(&Callback::Each, reinterpret_cast<LPARAM>(&args));
    return args.lines;
}

DWORD FindChildProcess(DWORD parentId, const std::string& exeName)
{
    common::CHandle snapshot(::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    if (!snapshot || snapshot.get() == INVALID_HANDLE_VALUE) {
        snapshot.release();
        return 0;
    }
    PROCESSENTRY32 entry = {};
    entry.dwSize = sizeof entry;
    for (BOOL more = ::Process32First(snapshot.get(), &entry); more; more = ::Process32Next(snapshot.get(), &entry))
        if (entry.th32ParentProcessID == parentId && lstrcmpiA(entry.szExeFile, exeName.c_str()) == 0)
            return entry.th32ProcessID;
    return 0;
}

HWND WaitChildWindow(HANDLE parent, DWORD parentId, const std::string& exeName, const std::string& className,
                     const std::string& titlePart, DWORD* childId, DWORD timeoutMs)
{
    *childId = 0;
    HWND window = nullptr;
    WaitUntil(
        [&] {
            if (!*childId)
                *childId = FindChildProcess(parentId, exeName);
            window = *childId ? FindTopWindow(*childId, className, titlePart) : nullptr;
            return window || ::WaitForSingleObject(parent, 0) == WAIT_OBJECT_0;
        },
        timeoutMs);
    return window;
}

namespace {

std::string Narrow(const std::wstring& wide)
{
    int n = ::WideCharToMultiByte(CP_ACP, 0, wide.data(), static_cast<int>(wide.size()), nullptr, 0, nullptr, nullptr);
    std::string text(static_cast<size_t>(n > 0 ? n : 0), '\0');
    if (n > 0)
        ::WideCharToMultiByte(CP_ACP, 0, wide.data(), static_cast<int>(wide.size()), &text[0], n, nullptr, nullptr);
    return text;
}

}  // namespace

std::string ProcessCommandLine(DWORD processId)
{
    typedef LONG(NTAPI * QueryFn)(HANDLE, int, void*, ULONG, ULONG*);
    auto query = reinterpret_cast<QueryFn>(
        reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleA("ntdll.dll"), "NtQueryInformationProcess")));
    common::CHandle process(::OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, processId));
    if (!query || !process)
        return std::string();
    struct Counted {
        USHORT length;
        USHORT maximum;
        wchar_t* text;
    };
    // ProcessCommandLineInformation (60) gives the text in one call where the system has it.
    std::vector<char> buffer(8192);
    ULONG length = 0;
    if (query(process.get(), 60, buffer.data(), static_cast<ULONG>(buffer.size()), &length) == 0) {
        const Counted* counted = reinterpret_cast<const Counted*>(buffer.data());
        if (counted->text)
            return Narrow(std::wstring(counted->text, counted->length / sizeof(wchar_t)));
    }
    // Otherwise read it from the process's PEB: ProcessParameters->CommandLine. Only for a process
    // of this one's architecture: a 32-bit process cannot read a 64-bit one's this way.
    BOOL selfWow64 = FALSE, wow64 = FALSE;
    if (::IsWow64Process(::GetCurrentProcess(), &selfWow64) && ::IsWow64Process(process.get(), &wow64) &&
        selfWow64 != wow64)
        return std::string();
    struct BasicInformation {
        LONG_PTR exitStatus;
        void* peb;
        ULONG_PTR affinity;
        LONG_PTR priority;
        ULONG_PTR id;
        ULONG_PTR parentId;
    } basic = {};
    if (query(process.get(), 0, &basic, sizeof basic, &length) != 0 || !basic.peb)
        return std::string();
    const size_t kParametersOffset = sizeof(void*) == 8 ? 0x20 : 0x10;
    const size_t kCommandLineOffset = sizeof(void*) == 8 ? 0x70 : 0x40;
    void* parameters = nullptr;
    Counted commandLine = {};
    SIZE_T read = 0;
    if (!::ReadProcessMemory(process.get(), static_cast<char*>(basic.peb) + kParametersOffset, &parameters,
                             sizeof parameters, &read) ||
        !parameters ||
        !::ReadProcessMemory(process.get(), static_cast<char*>(parameters) + kCommandLineOffset, &commandLine,
                             sizeof commandLine, &read) ||
        !commandLine.text)
        return std::string();
    std::wstring wide(commandLine.length / sizeof(wchar_t), L'\0');
    if (!wide.empty() && !::ReadProcessMemory(process.get(), commandLine.text, &wide[0], commandLine.length, &read))
        return std::string();
    return Narrow(wide);
}

HelpViewer WaitHelpViewer(DWORD parentId, DWORD timeoutMs)
{
    HelpViewer viewer;
    WaitUntil([&] { return (viewer.pid = FindChildProcess(parentId, "hh.exe")) != 0; }, timeoutMs);
    if (!viewer.pid)
        return viewer;
    viewer.commandLine = ProcessCommandLine(viewer.pid);
    viewer.window = WaitTopWindow(viewer.pid, "HH Parent", std::string(), timeoutMs);
    if (viewer.window) {
        // The viewer titles its window after showing it.
        WaitUntil([&] { return !(viewer.title = WindowText(viewer.window)).empty(); }, timeoutMs);
    }
    return viewer;
}

bool CloseHelpViewer(const HelpViewer& viewer, DWORD timeoutMs)
{
    if (!viewer.pid)
        return true;
    common::CHandle process(::OpenProcess(SYNCHRONIZE | PROCESS_TERMINATE | PROCESS_QUERY_LIMITED_INFORMATION,
                                          FALSE, viewer.pid));
    if (!process)
        return true;  // already gone
    if (viewer.window && ::IsWindow(viewer.window))
        ::PostMessageA(viewer.window, WM_CLOSE, 0, 0);
    if (::WaitForSingleObject(process.get(), timeoutMs) == WAIT_OBJECT_0)
        return true;
    ::TerminateProcess(process.get(), 1);
    ::WaitForSingleObject(process.get(), 5000);
    return false;
}

std::string WindowText(HWND hwnd)
{
    char buf[4096] = {};
    ::SendMessageTimeoutA(hwnd, WM_GETTEXT, sizeof buf, reinterpret_cast<LPARAM>(buf), SMTO_ABORTIFHUNG,
                          2000, nullptr);
    return buf;
}

std::string DialogStaticText(HWND dialog)
{
    std::string out;
    ::EnumChildWindows(dialog, CollectStatic, reinterpret_cast<LPARAM>(&out));
    return out;
}

void PostClick(HWND dialog, int controlId)
{
    ::PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(controlId, BN_CLICKED),
                   reinterpret_cast<LPARAM>(::GetDlgItem(dialog, controlId)));
}

std::string ItemText(HWND dialog, int id)
{
    return WindowText(::GetDlgItem(dialog, id));
}

void SetItemText(HWND dialog, int id, const std::string& text)
{
    ::SendMessageA(::GetDlgItem(dialog, id), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
}

bool IsChecked(HWND dialog, int id)
{
    return ::SendMessageA(::GetDlgItem(dialog, id), BM_GETCHECK, 0, 0) == BST_CHECKED;
}

bool IsEnabled(HWND dialog, int id)
{
    return ::IsWindowEnabled(::GetDlgItem(dialog, id)) != FALSE;
}

bool PressOkWhenEnabled(HWND dialog, DWORD timeoutMs)
{
    if (!WaitUntil([&] { return IsEnabled(dialog, IDOK); }, timeoutMs))
        return false;
    PostClick(dialog, IDOK);
    return true;
}

std::string TakeClosingMessage(DWORD processId, DWORD timeoutMs)
{
    HWND box = WaitTopWindow(processId, "#32770", "Quillon for Outlook Express", timeoutMs);
    if (!box)
        return "<none>";
    std::string text = DialogStaticText(box);
    PostClick(box, IDOK);
    return text;
}

bool SetRegString(HKEY root, const std::string& key, const std::string& name, const std::string& value,
                  DWORD type)
{
    common::CRegKey k;
    if (::RegCreateKeyExA(root, key.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, k.put(), nullptr) !=
        ERROR_SUCCESS)
        return false;
    return ::RegSetValueExA(k.get(), name.c_str(), 0, type, reinterpret_cast<const BYTE*>(value.c_str()),
                            static_cast<DWORD>(value.size() + 1)) == ERROR_SUCCESS;
}

bool SetRegDword(HKEY root, const std::string& key, const std::string& name, DWORD value)
{
    common::CRegKey k;
    if (::RegCreateKeyExA(root, key.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, k.put(), nullptr) !=
        ERROR_SUCCESS)
        return false;
    return ::RegSetValueExA(k.get(), name.c_str(), 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value),
                            sizeof value) == ERROR_SUCCESS;
}

void DeleteRegTree(HKEY root, const std::string& key)
{
    ::SHDeleteKeyA(root, key.c_str());
}

bool RegKeyExists(HKEY root, const std::string& key)
{
    common::CRegKey k;
    return ::RegOpenKeyExA(root, key.c_str(), 0, KEY_READ, k.put()) == ERROR_SUCCESS;
}

std::string RegText(HKEY root, const std::string& key, const char* name)
{
    char data[1024] = "";
    DWORD size = sizeof data, type = 0;
    if (::RegGetValueA(root, key.c_str(), name, RRF_RT_ANY | RRF_NOEXPAND, &type, data, &size) != ERROR_SUCCESS)
        return "<missing>";
    if (type != REG_SZ)
        return "<type " + std::to_string(type) + ">";
    return data;
}

namespace {

struct BoxSearch {
    const std::vector<CBoxWatch::CAnswer>* answers;
    HWND found;
    size_t answer;
};

// The caption is read without a message, so that a box still being built on its thread does not
// hold the search up.
BOOL CALLBACK FindBox(HWND hwnd, LPARAM param)
{
    auto* search = reinterpret_cast<BoxSearch*>(param);
    DWORD pid = 0;
    ::GetWindowThreadProcessId(hwnd, &pid);
    char cls[16] = "";
    wchar_t caption[256] = L"";
    if (pid != ::GetCurrentProcessId() || !::IsWindowVisible(hwnd) || !::GetClassNameA(hwnd, cls, sizeof cls) ||
        std::string(cls) != "#32770")
        return TRUE;
    ::InternalGetWindowText(hwnd, caption, 256);
    for (size_t i = 0; i < search->answers->size(); ++i) {
        if ((*search->answers)[i].caption == caption) {
            search->found = hwnd;
            search->answer = i;
            return FALSE;
        }
    }
    return TRUE;
}

}  // namespace

CBoxWatch::CBoxWatch(std::vector<CAnswer> answers)
    : m_answers(std::move(answers)), m_thread([this] {
          HWND answered = nullptr;
          DWORD answeredAt = 0;
          HWND seen = nullptr;
          DWORD seenAt = 0;
          while (!m_stop) {
              BoxSearch search{&m_answers, nullptr, 0};
              ::EnumWindows(FindBox, reinterpret_cast<LPARAM>(&search));
              HWND box = search.found;
              if (box != seen) {
                  seen = box;
                  seenAt = ::GetTickCount();
              }
              // A box that is still there a while after its answer gets the answer again.
              if (box && (box != answered || ::GetTickCount() - answeredAt > 500)) {
                  if (box != answered) {
                      // A box can be visible before its text is in place (seen on a loaded
                      // machine); it is read once the text is there, or after a second without.
                      std::string text = DialogStaticText(box);
                      if (text.empty() && ::GetTickCount() - seenAt < 1000) {
                          ::Sleep(10);
                          continue;
                      }
                      std::lock_guard<std::mutex> hold(m_lock);
                      m_boxes.emplace_back(common::ToUtf8(m_answers[search.answer].caption), text);
                  }
                  PostClick(box, m_answers[search.answer].button);
                  answered = box;
                  answeredAt = ::GetTickCount();
              }
              ::Sleep(10);
          }
      })
{
}

CBoxWatch::~CBoxWatch()
{
    m_stop = true;
    m_thread.join();
}

std::vector<std::string> CBoxWatch::Texts()
{
    std::vector<std::string> texts;
    for (const std::string& box : Boxes())
        texts.push_back(box.substr(box.find('|') + 1));
    return texts;
}

std::vector<std::string> CBoxWatch::Boxes()
{
    std::lock_guard<std::mutex> hold(m_lock);
    std::vector<std::string> boxes;
    for (const auto& box : m_boxes)
        boxes.push_back(box.first + "|" + box.second);
    return boxes;
}

CProgressWatch::CProgressWatch(std::function<void(HWND dialog)> onDialog) : m_onDialog(std::move(onDialog))
{
    WNDCLASSA wc = {};
    wc.lpfnWndProc = _WindowProc;
    wc.hInstance = ::GetModuleHandleA(nullptr);
    wc.lpszClassName = "TestProgressWatch";
    ::RegisterClassA(&wc);  // a second registration fails harmlessly
    m_window = ::CreateWindowA(wc.lpszClassName, "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, wc.hInstance, nullptr);
    if (!m_window)
        return;
    ::SetWindowLongPtrA(m_window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    ::PostMessageA(m_window, WM_APP, 0, 0);
}

CProgressWatch::~CProgressWatch()
{
    if (m_window)
        ::DestroyWindow(m_window);
}

LRESULT CALLBACK CProgressWatch::_WindowProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp)
{
    if (msg != WM_APP)
        return ::DefWindowProcA(hwnd, msg, wp, lp);
    auto* self = reinterpret_cast<CProgressWatch*>(::GetWindowLongPtrA(hwnd, GWLP_USERDATA));
    HWND dialog = nullptr;
    // The progress window is the dialog with the progress bar (control 200).
    WaitUntil(
        [&] {
            dialog = FindTopWindow(::GetCurrentProcessId(), "#32770", "");
            return dialog && ::GetDlgItem(dialog, 200);
        },
        5000);
    if (dialog && self)
        self->m_onDialog(dialog);
    return 0;
}

CProgressCanceller::CProgressCanceller()
    : m_watch([this](HWND dialog) {
          PostClick(dialog, IDCANCEL);
          m_pressed = WaitUntil([&] { return WindowText(::GetDlgItem(dialog, IDCANCEL)) == "Wait..."; }, 5000);
      })
{
}

std::string DescribeRegValue(const char* key, const char* name)
{
    common::CRegKey k;
    if (::RegOpenKeyExA(HKEY_CURRENT_USER, key, 0, KEY_READ, k.put()) != ERROR_SUCCESS)
        return "";
    BYTE data[1024] = {};
    DWORD type = 0, size = sizeof data;
    if (::RegQueryValueExA(k.get(), name, nullptr, &type, data, &size) != ERROR_SUCCESS)
        return "";
    if (type == REG_SZ)
        return "sz:" + std::string(reinterpret_cast<char*>(data), size);
    if (type == REG_DWORD && size == 4)
        return "dword:" + std::to_string(*reinterpret_cast<DWORD*>(data));
    return "type" + std::to_string(type);
}

const char kShellFoldersKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";
const char kWabFileNameKey[] = "Software\\Microsoft\\WAB\\WAB4\\Wab File Name";
const char kQuillonKey[] = "Software\\Brisco\\Quillon";
const std::vector<std::string> kExportSettings = {"Export.WABFolderID", "Export.WABAllFolders", "Export.WinFolder",
                                                  "Export.Format",      "Export.Encoding",      "Export.SaveInOneFile",
                                                  "Export.GroupCards"};
const std::vector<std::string> kImportSettings = {"Import.WABFolderID", "Import.WinFolder",
                                                  "Import.ConflictResolution", "Import.Groups"};
const std::vector<std::string> kDialogSettings = [] {
    std::vector<std::string> both = kExportSettings;
    both.insert(both.end(), kImportSettings.begin(), kImportSettings.end());
    return both;
}();
const char kWabExtContextKey[] = "Software\\Microsoft\\WAB\\WAB4\\ExtContext";
const char kFerruleClsid[] = "{C0CEE871-6EDE-4B3F-9D49-487132A1193C}";

CFerruleListed::CFerruleListed() : m_ok(SetRegString(HKEY_LOCAL_MACHINE, kWabExtContextKey, kFerruleClsid, "")) {}

CFerruleListed::~CFerruleListed()
{
    ::RegDeleteKeyValueA(HKEY_LOCAL_MACHINE, kWabExtContextKey, kFerruleClsid);
}

void DeleteRegValues(const char* key, const std::vector<std::string>& names, HKEY root)
{
    common::CRegKey k;
    if (::RegOpenKeyExA(root, key, 0, KEY_SET_VALUE, k.put()) != ERROR_SUCCESS)
        return;
    for (const std::string& name : names)
        ::RegDeleteValueA(k.get(), name.c_str());
}

CClearedValues::CClearedValues(const char* key, std::vector<std::string> names, HKEY root)
    : m_key(key), m_names(std::move(names)), m_root(root)
{
    DeleteRegValues(m_key.c_str(), m_names, m_root);
}

CClearedValues::~CClearedValues()
{
    DeleteRegValues(m_key.c_str(), m_names, m_root);
}

CSavedValue::CSavedValue(const char* key, const char* name) : m_key(key), m_name(name)
{
    common::CRegKey k;
    char buf[1024] = {};
    DWORD size = sizeof buf - 1;
    m_present = ::RegOpenKeyExA(HKEY_CURRENT_USER, key, 0, KEY_READ, k.put()) == ERROR_SUCCESS &&
                ::RegQueryValueExA(k.get(), name, nullptr, &m_type, reinterpret_cast<BYTE*>(buf), &size) ==
                    ERROR_SUCCESS;
    // Kept as stored, whatever the type: a number or a text with its terminator goes back unchanged.
    if (m_present)
        m_value.assign(buf, size);
}

CSavedValue::CSavedValue(const char* key, const char* name, const std::string& value) : CSavedValue(key, name)
{
    EXPECT_TRUE(SetRegString(HKEY_CURRENT_USER, key, name, value)) << key << " " << name;
}

CSavedValue::~CSavedValue()
{
    if (m_present) {
        common::CRegKey k;
        if (::RegCreateKeyExA(HKEY_CURRENT_USER, m_key.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, k.put(), nullptr) !=
                ERROR_SUCCESS ||
            ::RegSetValueExA(k.get(), m_name.c_str(), 0, m_type, reinterpret_cast<const BYTE*>(m_value.data()),
                             static_cast<DWORD>(m_value.size())) != ERROR_SUCCESS)
            ADD_FAILURE() << "could not give back " << m_key << " " << m_name;
        return;
    }
    DeleteRegValues(m_key.c_str(), {m_name});
}

CScratchAppData::CScratchAppData() : m_appData(kShellFoldersKey, "AppData", AppData())
{
}

std::string CScratchAppData::DataFile(const std::string& name) const
{
    return AppData() + "\\Brisco\\Quillon\\" + name;
}

std::vector<std::string> TakeRecord(const std::string& folder, DWORD timeoutMs)
{
    const std::string file = folder + "\\cmdline.txt";
    // The record appears by a rename, and the renaming handle may still be open for a moment: a
    // read then gives nothing.
    std::string text;
    if (!WaitUntil([&] { return !(text = ReadFileBytes(file)).empty(); }, timeoutMs))
        return {};
    // A deleted file that a handle still holds stays visible (and in the next recorder's way) until
    // that handle closes: wait until it is really gone.
    WaitUntil(
        [&] {
            ::DeleteFileA(file.c_str());
            return !FileExists(file);
        },
        5000);
    return SplitLines(text);
}

bool Regsvr32(const std::string& options, const std::string& library)
{
    LONG code = -1;
    return RunProcess("regsvr32.exe " + options + " \"" + library + "\"", &code, kWait) && code == 0;
}

CFerruleRegistered::CFerruleRegistered(std::string library) : m_library(std::move(library))
{
    m_ok = Regsvr32("/s", m_library);
}

CFerruleRegistered::~CFerruleRegistered()
{
    Remove(m_library);
}

void CFerruleRegistered::Remove(const std::string& library)
{
    Regsvr32("/s /u", library);
    for (const char* key : {"CLSID\\{C0CEE871-6EDE-4B3F-9D49-487132A1193C}", "Ferrule.Connect", "Ferrule.Connect.1",
                            "TypeLib\\{07DC723E-F819-4C2D-AD32-B0F5AB384E80}",
                            "Interface\\{A1CFFD6D-89A1-4D5A-91DA-87C9053521D5}"})
        DeleteRegTree(HKEY_CLASSES_ROOT, key);
}

CContactRecord OnlyCard(const CReadResult& read, const std::string& text)
{
    EXPECT_EQ(read.cards.size(), 1u) << text;
    return read.cards.empty() ? CContactRecord() : read.cards[0];
}

}  // namespace testsupport
