// What the tests share: scratch folders and files, processes run with their exact exit codes,
// finding and driving real windows with bounded waits, and the registry values and environment
// variables a test changes and puts back. Stores of the stand-in address book are in storefile.h.
#pragma once

#include <windows.h>
#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <thread>
#include <string>
#include <vector>

#include "codec/ContactRecord.h"
#include "common/raii.h"

namespace testsupport {

// A cap for waits on a state: a loaded machine under qemu can take long.
const DWORD kWait = 60000;

// An environment variable set for the object's span (null removes it), then put back as it was.
class CScopedEnv {
public:
    CScopedEnv(const char* name, const char* value);
    ~CScopedEnv();
    CScopedEnv(const CScopedEnv&) = delete;
    CScopedEnv& operator=(const CScopedEnv&) = delete;

private:
    std::string m_name;
    std::string m_old;
    bool m_had = false;
};

// A calendar day as a file time (midnight, UTC).
FILETIME Date(WORD year, WORD month, WORD day);

// A whole text read by a card reader: its result, and a copy of every card with its format.
struct CReadResult {
    int result = 0;
    std::vector<CContactRecord> cards;
    std::vector<int> formats;
};
// The only card of a read (fails the test when there is not exactly one).
CContactRecord OnlyCard(const CReadResult& read, const std::string& text);
// A UTC calendar time as a file time.
uint64_t FileTime(int year, int month, int day, int hour = 0, int minute = 0, int second = 0);

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
// The lines joined with CR LF, each line ended.
std::string Crlf(const std::vector<std::string>& lines);
// One vCard: BEGIN:VCARD, VERSION (omitted when version is empty), the lines, END:VCARD.
std::string Card(const std::string& version, const std::vector<std::string>& lines);
// UTF-8 to UTF-16, for expected values.
std::wstring W(const std::string& utf8);
// The lines of a text without their ends; a last line without one counts too.
std::vector<std::string> SplitLines(const std::string& text, const std::string& end = "\r\n");

// A program's version resource: "file" and "product" give its fixed versions as "a.b.c.d", any
// other name the string of that name (U.S. English, Unicode); "<missing>" when there is none.
std::string VersionValue(const std::string& file, const std::string& name);

// A command line's argument in double quotes.
inline std::string Quote(const std::string& text) { return "\"" + text + "\""; }

// Starts a program; the process handle is returned owned. cwd may be empty; env holds variables
// the program gets on top of this process's own (an empty value removes one).
common::CHandle StartProcess(const std::string& commandLine, const std::string& cwd = std::string(),
                             DWORD* processId = nullptr,
                             const std::vector<std::pair<std::string, std::string>>& env = {},
                             DWORD* threadId = nullptr);

// Waits for a process to end and gives its exact 32-bit exit code; false on time-out (the process
// is then terminated so that no test leaves it behind).
bool WaitExit(HANDLE process, DWORD timeoutMs, LONG* exitCode);

// Runs a program to its end; returns false on time-out.
bool RunProcess(const std::string& commandLine, LONG* exitCode, DWORD timeoutMs = 30000,
                const std::string& cwd = std::string(),
                const std::vector<std::pair<std::string, std::string>>& env = {});

// Runs a program to its end, as RunProcess does, and lists every window its threads made
// meanwhile but message-only ones, which never show: "<class>|<title>|<kind>", kind "top-level",
// "child" or "gone" when it was destroyed before it could be read. The program starts suspended,
// a hook on window creation in that process is set, and only then does it run: the system tells
// this thread of each window while it waits, so none escapes however short it lives. meanwhile
// (may be empty) is called with the process id between waits, to answer a window of the program.
// False when it did not end within the time (it is then terminated). The command line is UTF-8: the
// program gets it whole in its UTF-16 command line.
bool RunWatchingWindows(const std::string& commandLine, LONG* exitCode, std::vector<std::string>* windows,
                        const std::function<void(DWORD processId)>& meanwhile = nullptr, DWORD timeoutMs = kWait);

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

// A visible top-level window of the program `exeName` that `parent` started (the first such
// process found; its id in *childId); null when none shows within the time or `parent` ends first.
HWND WaitChildWindow(HANDLE parent, DWORD parentId, const std::string& exeName, const std::string& className,
                     const std::string& titlePart, DWORD* childId, DWORD timeoutMs = kWait);

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
// A control of a dialog, by its id, read and set with messages.
std::string ItemText(HWND dialog, int id);
void SetItemText(HWND dialog, int id, const std::string& text);
bool IsChecked(HWND dialog, int id);
bool IsEnabled(HWND dialog, int id);
// Presses OK as soon as the dialog enables it (it does once its fields are valid); false when it
// stays disabled.
bool PressOkWhenEnabled(HWND dialog, DWORD timeoutMs = kWait);
// The closing message of a run of Quillon in a process ("Quillon for Outlook Express"), answered
// with OK: its text, or "<none>" when it did not show.
std::string TakeClosingMessage(DWORD processId, DWORD timeoutMs = kWait);

// Registry helpers for scratch values. Unless a root is given they work under
// HKEY_CURRENT_USER; name "" is a key's default value.
bool SetRegString(HKEY root, const std::string& key, const std::string& name, const std::string& value,
                  DWORD type = REG_SZ);
bool SetRegDword(HKEY root, const std::string& key, const std::string& name, DWORD value);
void DeleteRegTree(HKEY root, const std::string& key);
bool RegKeyExists(HKEY root, const std::string& key);
// A string value as it is stored; "<missing>" when there is none, "<type N>" for another type.
std::string RegText(HKEY root, const std::string& key, const char* name);
// A value as "sz:text" (with its stored terminator), "dword:N", "type<N>" for other types, or ""
// when absent: one text that shows both the type and the data.
std::string DescribeRegValue(const char* key, const char* name);
// Deletes these values of a key; absent ones are fine.
void DeleteRegValues(const char* key, const std::vector<std::string>& names, HKEY root = HKEY_CURRENT_USER);

// Where the tests set up Quillon's world, under HKEY_CURRENT_USER: the shell folder "AppData"
// names its data folder, the address book's "Wab File Name" (default value) names its store, and
// its own settings, among them what its two dialogs remember.
extern const char kShellFoldersKey[];
extern const char kWabFileNameKey[];
extern const char kQuillonKey[];
extern const std::vector<std::string> kExportSettings;
extern const std::vector<std::string> kImportSettings;
extern const std::vector<std::string> kDialogSettings;  // both

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

// regsvr32 run on a library with these options ("/s", "/s /u"); true when it ended with 0.
bool Regsvr32(const std::string& options, const std::string& library);

// Ferrule registered from `library` while it lives. When it goes, it is unregistered and whatever
// keys of its class, ProgIDs, type library and interface are left are deleted, so that a failed
// test leaves nothing for the next one.
class CFerruleRegistered {
public:
    explicit CFerruleRegistered(std::string library);
    ~CFerruleRegistered();
    CFerruleRegistered(const CFerruleRegistered&) = delete;
    CFerruleRegistered& operator=(const CFerruleRegistered&) = delete;
    bool ok() const { return m_ok; }
    // Unregisters now, as the destructor does.
    static void Remove(const std::string& library);

private:
    std::string m_library;
    bool m_ok = false;
};

// Deletes the values when made and again when it goes: a test that starts like a first start
// and leaves nothing of its own behind.
class CClearedValues {
public:
    CClearedValues(const char* key, std::vector<std::string> names, HKEY root = HKEY_CURRENT_USER);
    ~CClearedValues();
    CClearedValues(const CClearedValues&) = delete;
    CClearedValues& operator=(const CClearedValues&) = delete;

private:
    std::string m_key;
    std::vector<std::string> m_names;
    HKEY m_root;
};

// A value of HKEY_CURRENT_USER put aside for a test, set to `value` when one is given, and given
// back as it was stored, of any type (or deleted again, when there was none), when the object goes.
class CSavedValue {
public:
    CSavedValue(const char* key, const char* name);
    CSavedValue(const char* key, const char* name, const std::string& value);
    ~CSavedValue();
    CSavedValue(const CSavedValue&) = delete;
    CSavedValue& operator=(const CSavedValue&) = delete;

private:
    std::string m_key, m_name, m_value;
    DWORD m_type = REG_SZ;
    bool m_present = false;
};

// A scratch folder whose subfolder "appdata" the shell folder "AppData" names while it lives: where
// Quillon and the add-in put their data folder and logs, away from the user's.
class CScratchAppData : public CTempDir {
public:
    CScratchAppData();
    std::string AppData() const { return file("appdata"); }
    // A file of Quillon's data folder there: main.log, main.err, the add-in's Gimlet.log.
    std::string DataFile(const std::string& name) const;

private:
    CSavedValue m_appData;
};

// What the stand-in converter (tests/support/recorder.cpp) recorded in `folder`: the command line
// it was started with, then its working folder; empty on time-out. The record is deleted before
// this returns, so that the next start cannot be read as this one.
std::vector<std::string> TakeRecord(const std::string& folder, DWORD timeoutMs = 20000);

// Answers every message box of this process with exactly one of the given captions with that
// caption's button (IDOK, IDCANCEL, ...) while it lives, and keeps each box. For runs that end in
// a box on the test's own thread.
class CBoxWatch {
public:
    struct CAnswer {
        std::wstring caption;
        int button;
    };
    explicit CBoxWatch(const wchar_t* caption, int button = IDOK) : CBoxWatch({{caption, button}}) {}
    explicit CBoxWatch(std::vector<CAnswer> answers);
    ~CBoxWatch();
    CBoxWatch(const CBoxWatch&) = delete;
    CBoxWatch& operator=(const CBoxWatch&) = delete;
    // The boxes' static texts, in the order they came.
    std::vector<std::string> Texts();
    // The boxes as "caption|text".
    std::vector<std::string> Boxes();

private:
    std::vector<CAnswer> m_answers;
    std::atomic<bool> m_stop{false};
    std::mutex m_lock;
    std::vector<std::pair<std::string, std::string>> m_boxes;
    std::thread m_thread;
};

// Hands this process's progress window to onDialog from inside the run's own message handling,
// which the progress window does before the first item (the call then lands between the first item
// and the check that follows it). Create it right before the run.
class CProgressWatch {
public:
    explicit CProgressWatch(std::function<void(HWND dialog)> onDialog);
    ~CProgressWatch();
    CProgressWatch(const CProgressWatch&) = delete;
    CProgressWatch& operator=(const CProgressWatch&) = delete;
    bool Created() const { return m_window != nullptr; }

private:
    static LRESULT CALLBACK _WindowProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
    std::function<void(HWND)> m_onDialog;
    HWND m_window = nullptr;
};

// Presses Cancel in the progress window that way; Pressed() says afterwards whether the Cancel
// button turned into "Wait...".
class CProgressCanceller {
public:
    CProgressCanceller();
    bool Created() const { return m_watch.Created(); }
    bool Pressed() const { return m_pressed; }

private:
    bool m_pressed = false;
    CProgressWatch m_watch;
};

}  // namespace testsupport
