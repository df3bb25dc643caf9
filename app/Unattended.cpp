#include "app/Unattended.h"

#include <cwchar>

#include "base/Log.h"
#include "common/raii.h"
#include "common/text.h"
#include "contact/CharConverter.h"
#include "ui/DlgPickFolder.h"
#include "vcard/export/vCardExport.h"
#include "vcard/import/vCardImport.h"
#include "wab/WABLib.h"

namespace {

const char kContext[] = "Unattended";

// A run of many bad cards would note each: the report keeps this many lines of them and counts
// the others.
const size_t kMaxNotTakenLines = 10000;

bool StartsWithNoCase(const std::wstring& text, const wchar_t* word)
{
    size_t n = std::wcslen(word);
    return text.size() >= n && ::CompareStringOrdinal(text.c_str(), static_cast<int>(n), word, static_cast<int>(n),
                                                      TRUE) == CSTR_EQUAL;
}

bool SameNoCase(const std::wstring& a, const std::wstring& b)
{
    return ::CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b.c_str(), static_cast<int>(b.size()),
                                  TRUE) == CSTR_EQUAL;
}

std::string Now()
{
    SYSTEMTIME t;
    ::GetLocalTime(&t);
    return common::Format("%04d-%02d-%02d %02d:%02d:%02d", t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute,
                          t.wSecond);
}

// A message box's text on one line of the report.
std::string OneLine(const std::wstring& text)
{
    std::string line = common::ToUtf8(text);
    std::string out;
    for (size_t i = 0; i < line.size(); ++i) {
        if (line[i] == '\r')
            continue;
        if (line[i] == '\n')
            out += out.empty() || out.back() == ' ' ? "" : " ";
        else
            out += line[i];
    }
    return out;
}

const char* ButtonName(int id)
{
    switch (id) {
    case IDOK: return "OK";
    case IDCANCEL: return "Cancel";
    case IDABORT: return "Abort";
    case IDRETRY: return "Retry";
    case IDIGNORE: return "Ignore";
    case IDYES: return "Yes";
    case IDNO: return "No";
    case IDTRYAGAIN: return "Try Again";
    case IDCONTINUE: return "Continue";
    }
    return "?";
}

const char* Outcome(int exitCode)
{
    switch (static_cast<ExitCode>(exitCode)) {
    case ExitCode::kSuccess: return "success";
    case ExitCode::kPartial: return "partial success: some contacts or cards were not taken";
    case ExitCode::kFailed: return "failure";
    case ExitCode::kBadArguments: return "bad arguments: nothing was done";
    case ExitCode::kAnotherInstance: return "another instance of Quillon is running: nothing was done";
    case ExitCode::kNoMode: return "no job";
    }
    return "failure";
}

// The display name of the encodings list entry that the name names: its display name or its
// charset name, in any case; empty when none does.
std::string EncodingByName(const std::wstring& name)
{
    for (const EncodingEntry& e : g_charConverter.Encodings()) {
        if (SameNoCase(name, common::AnsiToWide(e.displayName)) || SameNoCase(name, common::AnsiToWide(e.charsetName)))
            return e.displayName;
    }
    return std::string();
}

}  // namespace

std::wstring UnattendedArguments(const char* line)
{
    const wchar_t* w = ::GetCommandLineW();
    if (w) {
        // The program name, quoted or up to the first blank, then the blanks after it.
        if (*w == L'"') {
            ++w;
            while (*w && *w != L'"')
                ++w;
            if (*w)
                ++w;
        } else {
            while (*w && *w != L' ' && *w != L'\t')
                ++w;
        }
        while (*w == L' ' || *w == L'\t')
            ++w;
        std::wstring arguments(w);
        // Characters of the ANSI code page's own: the 8-bit line holds "?" where the wide one holds
        // the character. The wide line is the same line when they agree everywhere else.
        std::string ansi = common::WideToAnsi(arguments);
        std::string given = line ? line : "";
        if (StartsWithNoCase(arguments, L"/unattended") && ansi.size() == given.size()) {
            bool same = true;
            for (size_t i = 0; i < ansi.size() && same; ++i)
                same = ansi[i] == given[i] || given[i] == '?' || ansi[i] == '?';
            if (same)
                return arguments;
        }
    }
    return common::AnsiToWide(line ? line : "");
}

CUnattendedRun::CUnattendedRun(const char* line) : m_line(line ? line : ""), m_started(Now())
{
    SetPrompts(this);
}

CUnattendedRun::~CUnattendedRun()
{
    SetPrompts(nullptr);
}

ExitCode CUnattendedRun::_BadArguments(const std::string& why)
{
    g_log.LogErr(kContext, 0, "bad arguments: %s", why.c_str());
    if (m_badArguments.empty())
        m_badArguments = "Bad arguments: " + why;
    return ExitCode::kBadArguments;
}

ExitCode CUnattendedRun::Prepare()
{
    m_arguments = UnattendedArguments(m_line.c_str());
    ParseUnattendedOptions(m_arguments, &m_options);
    if (!m_options.report.empty()) {
        // Only opened here, so that a second run refused for the first one's sake can still say so
        // in the same file; each writes it whole when it ends.
        std::wstring report = common::FullPathName(m_options.report);
        common::CFileHandle file(::CreateFileW(report.c_str(), GENERIC_WRITE,
                                               FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                               OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!file) {
            g_log.LogErr(kContext, common::HResultFromLastError(), "CreateFile(%s)", common::ToUtf8(report).c_str());
            return _BadArguments("the report file " + common::ToUtf8(report) + " cannot be written");
        }
        m_reportPath = report;
    }
    if (!m_options.error.empty())
        return _BadArguments(m_options.error);
    if (m_options.job == UnattendedJob::Export)
        return _FullFolder("/target", m_options.target, &m_targetFolder) ? ExitCode::kSuccess : ExitCode::kBadArguments;
    return _FullFolder("/source", m_options.source, &m_sourceFolder) ? ExitCode::kSuccess : ExitCode::kBadArguments;
}

bool CUnattendedRun::_FullFolder(const char* option, const std::wstring& folder, std::string* full)
{
    std::wstring path = common::FullPathName(folder);
    DWORD attributes = ::GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        _BadArguments(common::Format(attributes == INVALID_FILE_ATTRIBUTES ? "%s: the folder %s does not exist"
                                                                          : "%s: %s is no folder",
                                     option, common::ToUtf8(path).c_str()));
        return false;
    }
    // The runs take their folders in the ANSI code page (the files in them in any script).
    *full = common::WideToAnsi(path);
    if (common::AnsiToWide(*full) != path) {
        _BadArguments(common::Format("%s: the folder %s cannot be written in the system's code page", option,
                                     common::ToUtf8(path).c_str()));
        return false;
    }
    return true;
}

bool CUnattendedRun::_FindFolder(const std::wstring& name, bool receives, std::string* folderId)
{
    CFolderList list;
    HRESULT hr = g_wabLib._GetFolders(list.put());
    if (FAILED(hr) || !list) {
        _BadArguments("the address book's folders cannot be listed");
        return false;
    }
    std::vector<std::string> exact, other;
    for (ULONG i = 0; i < list->count; ++i) {
        const WABFolder& folder = list->folders[i];
        if (!folder.id)
            continue;
        std::wstring shown = CvCardExport::FolderName(folder.id, folder.name);
        if (shown == name)
            exact.push_back(folder.id);
        else if (SameNoCase(shown, name))
            other.push_back(folder.id);
    }
    const std::vector<std::string>& found = exact.empty() ? other : exact;
    if (found.size() == 1) {
        *folderId = found[0];
        return true;
    }
    // A run makes no folder: the address book's interfaces have no call for it, and its window
    // is where folders are made, as the folder picker's hint says.
    if (found.empty())
        _BadArguments("no address-book folder is named \"" + common::ToUtf8(name) + "\"" +
                      (receives ? ". " + CDlgPickFolder::NewFolderHint(CDlgPickFolder::SystemMajorVersion()) : ""));
    else
        _BadArguments(common::Format("%zu address-book folders are named \"%s\"", found.size(),
                                     common::ToUtf8(name).c_str()));
    return false;
}

ExitCode CUnattendedRun::RunJob()
{
    return m_options.job == UnattendedJob::Export ? _Export() : _Import();
}

ExitCode CUnattendedRun::_Export()
{
    std::string folderId;
    if (!m_options.allFolders && !_FindFolder(m_options.folder, false, &folderId))
        return ExitCode::kBadArguments;
    std::wstring wanted = m_options.encoding.empty() ? std::wstring(L"UTF-8") : m_options.encoding;
    std::string encoding = EncodingByName(wanted);
    if (encoding.empty()) {
        std::string names;
        for (const EncodingEntry& e : g_charConverter.Encodings())
            names += (names.empty() ? "" : ", ") + common::ToUtf8(common::AnsiToWide(e.displayName));
        return _BadArguments("unknown encoding \"" + common::ToUtf8(wanted) + "\" (the encodings are " + names +
                             ", or their charset names)");
    }
    const bool csv = m_options.format == "CSV";
    m_job.push_back(common::Format(
        "Export of %s to %s: %s%s, %s, %s",
        m_options.allFolders ? "all address-book folders" : ("the address-book folder \"" + common::ToUtf8(m_options.folder) + "\"").c_str(),
        common::ToUtf8(common::AnsiToWide(m_targetFolder)).c_str(), csv ? "" : "vCard ", m_options.format.c_str(),
        common::ToUtf8(common::AnsiToWide(encoding)).c_str(),
        m_options.oneFile || csv ? "all contacts in one file" : "one file per contact"));

    CvCardExport run;
    run.SetOwner(nullptr);
    run.SetGroupCards(m_options.groupCards);
    int status = run.Execute(m_targetFolder.c_str(), m_options.allFolders ? nullptr : folderId.c_str(), false, nullptr,
                             m_options.format.c_str(), m_options.oneFile, encoding.c_str());
    const int total = run.Total(), exported = run.Exported();
    m_counts.push_back(common::Format("Contacts: %d to export, %d exported, %d not exported", total, exported,
                                      total - exported));
    if (total == 0) {
        if (status != 0)
            return ExitCode::kFailed;
        m_counts.push_back(m_options.allFolders ? "The address book holds no contacts: no file was written."
                                                : "The folder holds no contacts: no file was written.");
        return ExitCode::kSuccess;
    }
    if (exported == 0)
        return ExitCode::kFailed;
    return exported < total ? ExitCode::kPartial : ExitCode::kSuccess;
}

ExitCode CUnattendedRun::_Import()
{
    std::string folderId;
    if (!_FindFolder(m_options.into, true, &folderId))
        return ExitCode::kBadArguments;
    static const char* const kModes[] = {"Duplicate contacts", "Replace existing contacts", "Leave old contacts"};
    m_job.push_back(common::Format("Import of the vCard files in %s into the address-book folder \"%s\": %s",
                                   common::ToUtf8(common::AnsiToWide(m_sourceFolder)).c_str(),
                                   common::ToUtf8(m_options.into).c_str(), kModes[m_options.conflict]));

    CvCardImport run;
    run.SetOwner(nullptr);
    run.SetJoinGroups(!m_options.noGroups);
    run.RunImport(m_sourceFolder.c_str(), folderId.c_str(), m_options.conflict);
    const int total = run.Total(), imported = run.Imported(), failed = run.Failed();
    const int rest = total - imported - failed;
    m_counts.push_back(common::Format("Cards: %d found, %d imported (%d of them without some of their values), "
                                      "%d not imported, %d not tried",
                                      total, imported, run.Incomplete(), failed, rest > 0 ? rest : 0));
    // As the closing message says it.
    if (imported == 0)
        return ExitCode::kFailed;
    return failed > 0 || rest > 0 || run.Incomplete() > 0 ? ExitCode::kPartial : ExitCode::kSuccess;
}

int CUnattendedRun::Box(HWND, const std::wstring& text, const std::wstring& caption, UINT type)
{
    int answer = DefaultAnswer(type);
    std::string line = OneLine(caption) + ": " + OneLine(text);
    if (type & MB_ICONMASK)
        g_log.LogWar(kContext, 0, "message %s [answered %s]", line.c_str(), ButtonName(answer));
    else
        g_log.LogInf(1, kContext, "message %s [answered %s]", line.c_str(), ButtonName(answer));
    m_messages.push_back(line + " [answered " + ButtonName(answer) + "]");
    return answer;
}

void CUnattendedRun::NotTaken(const std::string& what)
{
    if (m_notTaken.size() < kMaxNotTakenLines)
        m_notTaken.push_back(what);
    else if (m_notTaken.size() == kMaxNotTakenLines)
        m_notTaken.push_back("... and more: the log names them");
}

void CUnattendedRun::Finish(int exitCode)
{
    g_log.LogInf(1, kContext, "ends with %d: %s", exitCode, Outcome(exitCode));
    if (m_reportPath.empty())
        return;
    std::vector<std::string> lines;
    lines.push_back("Quillon unattended run");
    lines.push_back("Started: " + m_started + ", ended: " + Now());
    lines.push_back("Command line: " + common::ToUtf8(m_arguments));
    if (!m_badArguments.empty())
        lines.push_back(m_badArguments);
    lines.insert(lines.end(), m_job.begin(), m_job.end());
    lines.insert(lines.end(), m_counts.begin(), m_counts.end());
    lines.push_back(m_notTaken.empty() ? "Not taken: none" : "Not taken:");
    for (const std::string& line : m_notTaken)
        lines.push_back("  " + line);
    lines.push_back(m_messages.empty() ? "Messages: none" : "Messages:");
    for (const std::string& line : m_messages)
        lines.push_back("  " + line);
    lines.push_back(common::Format("Result: %s (exit code %d)", Outcome(exitCode), exitCode));
    char log[MAX_PATH] = "";
    g_log.GetFullLogPath(log, sizeof log);
    if (*log)
        lines.push_back("Log: " + common::ToUtf8(common::AnsiToWide(log)));
    std::string text;
    for (const std::string& line : lines)
        text += line + "\r\n";
    common::CFileHandle file(::CreateFileW(m_reportPath.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                           CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    DWORD written = 0;
    if (!file || !::WriteFile(file.get(), text.data(), static_cast<DWORD>(text.size()), &written, nullptr) ||
        written != text.size())
        g_log.LogErr(kContext, common::HResultFromLastError(), "the report %s could not be written",
                     common::ToUtf8(m_reportPath).c_str());
}
