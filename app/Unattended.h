// An unattended run: the export or import that a script or the scheduler starts with every choice
// on the command line (UnattendedOptions.h). The same runs as behind the dialogs, with the prompts
// swapped: no window shows, every message box's text goes to the log and the report, and its
// default button answers it. The report, a plain UTF-8 text file the caller names, says what was
// asked, the counts, each contact, card or file not taken and why, the messages and the outcome.
#pragma once

#include <string>
#include <vector>

#include "app/ExitCode.h"
#include "app/UnattendedOptions.h"
#include "base/Prompts.h"

// The arguments of an unattended command line in UTF-16: the program's wide command line after
// the program name when it is the same line, else the 8-bit line widened.
std::wstring UnattendedArguments(const char* line);

class CUnattendedRun : public IPrompts {
public:
    // Becomes the prompts in force until it goes; line is the 8-bit command line (Prepare reads it).
    explicit CUnattendedRun(const char* line);
    ~CUnattendedRun() override;
    CUnattendedRun(const CUnattendedRun&) = delete;
    CUnattendedRun& operator=(const CUnattendedRun&) = delete;

    // What can be checked before the program starts up: the options (read in UTF-16), the folders on disk, the
    // report file (made here when there is none; written by Finish). kSuccess, or kBadArguments
    // (said in the log and the report).
    ExitCode Prepare();
    // The export or import, once the address book is open and the encodings are loaded: the
    // address-book folder and the encoding are looked up (kBadArguments when they cannot be), the
    // run goes, and its counts decide: kSuccess, kPartial or kFailed.
    ExitCode RunJob();
    // Writes the report with the program's exit code.
    void Finish(int exitCode);

    const CUnattendedOptions& Options() const { return m_options; }

    int Box(HWND owner, const std::wstring& text, const std::wstring& caption, UINT type) override;
    void NotTaken(const std::string& what) override;
    bool ShowsWindows() const override { return false; }

private:
    ExitCode _BadArguments(const std::string& why);
    // The address-book folder of that name (any case; an exact match wins over others). When the
    // folder is to receive contacts, a missing one's error says where folders are made.
    bool _FindFolder(const std::wstring& name, bool receives, std::string* folderId);
    // A folder of the file system as a full path in the ANSI code page, which the runs take.
    bool _FullFolder(const char* option, const std::wstring& folder, std::string* full);
    ExitCode _Export();
    ExitCode _Import();

    std::string m_line;
    std::wstring m_arguments;
    CUnattendedOptions m_options;
    std::string m_targetFolder;  // full paths, ANSI
    std::string m_sourceFolder;
    std::string m_started;
    std::vector<std::string> m_job;       // what was asked, as the run understood it
    std::vector<std::string> m_counts;
    std::vector<std::string> m_notTaken;
    std::vector<std::string> m_messages;
    std::string m_badArguments;
    std::wstring m_reportPath;  // full path; empty: no report
};
