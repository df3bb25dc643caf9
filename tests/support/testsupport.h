// What the tests share: scratch folders, files, processes run with their exact exit codes, and
// finding and driving real windows with bounded waits.
#pragma once

#include <windows.h>
#include <atomic>
#include <functional>
#include <mutex>
#include <thread>
#include <string>
#include <vector>

#include "common/raii.h"

namespace testsupport {

// An environment variable set for the object's span (null removes it), then put back as it was.
class CScopedEnv {
public:
    CScopedEnv(const char* name, const char* value) : m_name(name)
    {
        char old[4096];
        DWORD n = ::GetEnvironmentVariableA(name, old, sizeof old);
        m_had = n > 0 && n < sizeof old;
        if (m_had)
            m_old = old;
        ::SetEnvironmentVariableA(name, value);
    }
    ~CScopedEnv() { ::SetEnvironmentVariableA(m_name.c_str(), m_had ? m_old.c_str() : nullptr); }
    CScopedEnv(const CScopedEnv&) = delete;
    CScopedEnv& operator=(const CScopedEnv&) = delete;

private:
    std::string m_name;
    std::string m_old;
    bool m_had = false;
};

// Bytes that look random but are the same on every run: the content of a damaged or foreign file.
std::string NoiseBytes(size_t size, unsigned state);

// Folder of the running test program: the build's bin folder, where every program and DLL lies.
std::string BinDir();

// A fresh folder under %TEMP% (or under `parent`), deleted with everything in it when the object
// goes.
class CTempDir {
public:
    CTempDir();
    explicit CTempDir(const std::string& parent);
    ~CTempDir();
    CTempDir(const CTempDir&) = delete;
    CTempDir& operator=(const CTempDir&) = delete;
    const std::string& path() const { return m_path; }
    std::string file(const std::string& name) const { return m_path + "\\" + name; }

private:
    std::string m_path;
};

void DeleteTree(const std::string& path);
bool FileExists(const std::string& path);
std::string ReadFileBytes(const std::string& path);
bool WriteFileBytes(const std::string& path, const std::string& bytes);
bool CopyFileTo(const std::string& from, const std::string& to);
std::vector<std::string> ListFiles(const std::string& folder, const std::string& pattern = "*");

// Starts a program; the process handle is returned owned. cwd may be empty.
common::CHandle StartProcess(const std::string& commandLine, const std::string& cwd = std::string(),
                             DWORD* processId = nullptr,
                             const std::vector<std::pair<std::string, std::string>>& env = {});

// Waits for a process to end and gives its exact 32-bit exit code; false on time-out (the process
// is then terminated so that no test leaves it behind).
bool WaitExit(HANDLE process, DWORD timeoutMs, LONG* exitCode);

// Runs a program to its end; returns false on time-out.
bool RunProcess(const std::string& commandLine, LONG* exitCode, DWORD timeoutMs = 30000,
                const std::string& cwd = std::string(),
                const std::vector<std::pair<std::string, std::string>>& env = {});

// Polls until pred() holds or the time runs out, pumping this thread's messages meanwhile.
bool WaitUntil(const std::function<bool()>& pred, DWORD timeoutMs);

// Finds a visible top-level window of a process (0: any process) with the given window class
// (empty: any) whose title contains the given text (empty: any).
HWND FindTopWindow(DWORD processId, const std::string& className, const std::string& titlePart);
HWND WaitTopWindow(DWORD processId, const std::string& className, const std::string& titlePart,
                   DWORD timeoutMs);

// The id of a running process started by `parentId` whose program file is named `exeName`
// (compared without regard to case); 0 when there is none. Windows of other tests' processes
// share the display, so a test that did not start a program itself finds its windows through it.
DWORD FindChildProcess(DWORD parentId, const std::string& exeName);

// One line per top-level window of a process: visible or hidden, class and title; for the
// message of a test that waited in vain for one of them.
std::string DescribeTopWindows(DWORD processId);

// The help viewer (hh.exe) that a process started to show Quillon.chm: its process and its main
// window (class "HH Parent"), with the window's title and the viewer's command line (which names
// the file and the topic: "<chm>::/<topic>").
struct HelpViewer {
    DWORD pid = 0;
    HWND window = nullptr;
    std::string title;
    std::string commandLine;
};
// Waits, at most timeoutMs, until an hh.exe started by `parentId` shows its window; pid 0 or
// window null when it did not (what was found is filled in).
HelpViewer WaitHelpViewer(DWORD parentId, DWORD timeoutMs);
// Asks the viewer's window to close and waits for the process to end; terminates it after
// timeoutMs. True when it closed by itself.
bool CloseHelpViewer(const HelpViewer& viewer, DWORD timeoutMs);
// The command line a running process was started with; "" when it cannot be read (under Wine, a
// process of the other architecture).
std::string ProcessCommandLine(DWORD processId);

std::string WindowText(HWND hwnd);
// The static texts of a dialog (message boxes keep their message in a static control).
std::string DialogStaticText(HWND dialog);

// Presses a button of a (possibly other process's) dialog without blocking on its message loop.
void PostClick(HWND dialog, int controlId);

// Registry helpers for scratch values.
bool SetRegString(HKEY root, const std::string& key, const std::string& name, const std::string& value,
                  DWORD type = REG_SZ);
bool SetRegDword(HKEY root, const std::string& key, const std::string& name, DWORD value);
void DeleteRegTree(HKEY root, const std::string& key);
// A value of HKEY_CURRENT_USER as "sz:text" (with its stored terminator), "dword:N", "type<N>" for
// other types, or "" when absent: one text that shows both the type and the data.
std::string DescribeRegValue(const char* key, const char* name);

// A string value of HKEY_CURRENT_USER put aside for a test and given back (or deleted again, when
// there was none) when the object goes. name "" is the key's default value.
// Where the tests set up Quillon's world, under HKEY_CURRENT_USER: the shell folder "AppData"
// names its data folder, the address book's "Wab File Name" (default value) names its store, and
// its own settings.
extern const char kShellFoldersKey[];
extern const char kWabFileNameKey[];
extern const char kQuillonKey[];

// The address book's list of context-menu extensions (HKEY_LOCAL_MACHINE): one value per
// extension, named by its class identifier. The stand-in host creates what it lists.
extern const char kWabExtContextKey[];
extern const char kFerruleClsid[];

// Lists Ferrule there while it lives; removes the value again when it goes.
class CFerruleListed {
public:
    CFerruleListed();
    ~CFerruleListed();
    CFerruleListed(const CFerruleListed&) = delete;
    CFerruleListed& operator=(const CFerruleListed&) = delete;
    bool ok() const { return m_ok; }

private:
    bool m_ok = false;
};

// Deletes these values of a key under HKEY_CURRENT_USER; absent ones are fine.
void DeleteRegValues(const char* key, const std::vector<std::string>& names);

// Deletes the values when made and again when it goes: a test that starts like a first start
// and leaves nothing of its own behind.
class CClearedValues {
public:
    CClearedValues(const char* key, std::vector<std::string> names);
    ~CClearedValues();
    CClearedValues(const CClearedValues&) = delete;
    CClearedValues& operator=(const CClearedValues&) = delete;

private:
    std::string m_key;
    std::vector<std::string> m_names;
};

class CSavedValue {
public:
    CSavedValue(const char* key, const char* name);
    ~CSavedValue();
    CSavedValue(const CSavedValue&) = delete;
    CSavedValue& operator=(const CSavedValue&) = delete;

private:
    std::string m_key, m_name, m_value;
    DWORD m_type = REG_SZ;
    bool m_present = false;
};

// Answers every message box of this process with exactly this caption with a button (IDOK,
// IDCANCEL, ...) while it lives, and keeps each box's text. For runs that end in a box on the
// test's own thread.
class CBoxWatch {
public:
    explicit CBoxWatch(const wchar_t* caption, int button = IDOK);
    ~CBoxWatch();
    CBoxWatch(const CBoxWatch&) = delete;
    CBoxWatch& operator=(const CBoxWatch&) = delete;
    std::vector<std::string> Texts();

private:
    std::wstring m_caption;
    std::atomic<bool> m_stop{false};
    std::mutex m_lock;
    std::vector<std::string> m_texts;
    std::thread m_thread;
};

// Presses Cancel in this process's progress window from inside the run's own message handling,
// which the progress window does before the first item: the press then lands between the first
// item and the check that follows it. Create it right before the run; Pressed() says afterwards
// whether the Cancel button turned into "Wait...".
class CProgressCanceller {
public:
    CProgressCanceller();
    ~CProgressCanceller();
    CProgressCanceller(const CProgressCanceller&) = delete;
    CProgressCanceller& operator=(const CProgressCanceller&) = delete;
    bool Created() const { return m_window != nullptr; }
    bool Pressed() const { return m_pressed; }

private:
    static LRESULT CALLBACK _WindowProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
    HWND m_window = nullptr;
    bool m_pressed = false;
};

}  // namespace testsupport
