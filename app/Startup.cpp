#include "app/Startup.h"

#include <shellapi.h>
#include <string>

#include "base/App.h"
#include "app/CommandLine.h"
#include "app/ExitCode.h"
#include "app/Unattended.h"
#include "app/DebugWindow.h"
#include "base/LibBrisco.h"
#include "base/Log.h"
#include "base/Settings.h"
#include "common/guard.h"
#include "common/raii.h"
#include "common/text.h"
#include "base/Prompts.h"
#include "contact/CharConverter.h"
#include "base/strings.h"
#include "vcard/export/vCardExport.h"
#include "vcard/import/vCardImport.h"
#include "wab/WABLib.h"

namespace {

const int kExitNoMode = ExitValue(ExitCode::kNoMode);
const int kExitAlreadyRunning = ExitValue(ExitCode::kAnotherInstance);
const int kExitFailed = ExitValue(ExitCode::kFailed);

// Runs the chosen mode once the program has started up; returns the exit code. An unattended run
// starts up the same way, with its prompts in force, and runs its job instead of a dialog.
int RunMode_(const CCommandLine& cmd, const CSelectionList& selection, int showCommand, CUnattendedRun* unattended)
{
    HWND owner = cmd.owner;
    const CSelectionList* list = selection.empty() ? nullptr : &selection;

    // Help needs neither the single-instance guard nor the support library.
    if (cmd.mode == RunMode::Help) {
        std::string help = common::Format("%s\\%s.chm", GetProgramFolder(), GetProductName());
        // The shell's default action for a .chm is the HTML Help viewer; where no program is
        // associated with the extension, the viewer is asked directly, as context help does.
        HINSTANCE shown = ::ShellExecuteA(owner, nullptr, help.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
        if (reinterpret_cast<INT_PTR>(shown) == SE_ERR_NOASSOC) {
            // One quoted argument: the install folder holds blanks.
            std::string quoted = "\"" + help + "\"";
            ::ShellExecuteA(owner, "open", "hh.exe", quoted.c_str(), nullptr, SW_SHOWNORMAL);
        }
        return 0;
    }

    common::CHandle mutex(::CreateMutexA(nullptr, TRUE, "Brisco.Quillon.Mutex"));
    bool alreadyRunning = ::GetLastError() == ERROR_ALREADY_EXISTS;
    struct MutexRelease {
        HANDLE h;
        ~MutexRelease()
        {
            if (h)
                ::ReleaseMutex(h);
        }
    } release{alreadyRunning ? nullptr : mutex.get()};
    if (alreadyRunning) {
        PromptBox(owner, LoadProgramString(IDS_ALREADY_RUNNING).c_str(), LoadProgramString(IDS_APP_TITLE).c_str(), MB_OK);
        return kExitAlreadyRunning;
    }

    LIBBRISCO_INIT block;
    CLibBrisco::FillInitBlock(&block);
    int result = g_libBrisco.InitEx(GetAppInstance(), &block);
    if (result != 0) {
        g_log.LogErr("WinMain", result, "libbrisco.InitEx");
        return kExitFailed;
    }

    if (cmd.mode == RunMode::About) {
        g_libBrisco.ShowAbout(GetAppInstance());
        return 0;
    }
    if (cmd.mode == RunMode::BugReport) {
        g_libBrisco.ReportProblem(GetAppInstance());
        return 0;
    }

    // Address book session start: the per-identity folder view, the default store and mail
    // through Outlook Express.
    if (!g_wabLib.Init(true, nullptr, true)) {
        PromptBox(owner, "WAB INIT FAILED", "Error", MB_OK);
        return kExitFailed;
    }
    struct SessionEnd {
        ~SessionEnd() { g_wabLib.Close(); }
    } sessionEnd;

    g_charConverter.Load(owner);
    if (unattended)
        return ExitValue(unattended->RunJob());

    int exitCode = 0;
    switch (cmd.mode) {
    case RunMode::Import: {
        CvCardImport run;
        run.Execute(owner, list);
        break;
    }
    case RunMode::Export: {
        CvCardExport run;
        run.RunExport(owner, list);
        break;
    }
    case RunMode::Debug:
        if (!RunDebugWindow(GetAppInstance(), showCommand))
            exitCode = kExitFailed;
        break;
    default:
        break;
    }

    // The address book session ends (sessionEnd) before the mutex is released.
    return exitCode;
}

}  // namespace

int RunQuillon(HINSTANCE instance, const char* commandLine, int showCommand)
{
    SetAppInstance(instance);

    std::string errLog = common::Format("%s\\%s.err", GetDataFolder(), "main");
    std::string fullLog = common::Format("%s\\%s.log", GetDataFolder(), "main");
    g_log.InitLog(errLog.c_str(), fullLog.c_str(), GetLogLevel());
    // From here on an escaped exception is an error line in the log, and the run ends with -1.
    common::SetGuardReport([](const char* context, HRESULT code, const char* what) {
        g_log.LogErr(context, code, "exception: %s", what);
    });

    // A line whose first word is /unattended is read as such and by nothing else; every other line
    // goes to the dialogs' parser as it always has.
    if (IsUnattendedCommandLine(commandLine)) {
        CUnattendedRun unattended(commandLine);
        int exitCode = common::Guard<int>("RunQuillon", kExitFailed, [&] {
            ExitCode prepared = unattended.Prepare();
            if (prepared != ExitCode::kSuccess)
                return ExitValue(prepared);
            return RunMode_(CCommandLine(), CSelectionList(), showCommand, &unattended);
        });
        common::Guard<int>("CUnattendedRun::Finish", 0, [&] {
            unattended.Finish(exitCode);
            return 0;
        });
        return exitCode;
    }

    return common::Guard<int>("RunQuillon", kExitFailed, [&] {
        CCommandLine cmd;
        if (commandLine && *commandLine)
            ParseCommandLine(commandLine, &cmd);
        CSelectionList selection;
        if (!cmd.selectionFile.empty())
            ReadSelectionFile(cmd.selectionFile, cmd.temporary, &selection);

        if (cmd.mode == RunMode::None)
            return kExitNoMode;
        return RunMode_(cmd, selection, showCommand, nullptr);
    });
}
