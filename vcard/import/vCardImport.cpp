// The import run: the source folder's files, the counting pass that keeps their bytes, the pass
// that stores their cards under the progress window, and the closing message.
#include "vcard/import/vCardImport.h"

#include <shlwapi.h>

#include <climits>
#include <cstring>
#include <new>

#include "base/Log.h"
#include "base/Prompts.h"
#include "base/strings.h"
#include "common/raii.h"
#include "common/text.h"
#include "ui/DlgImport.h"
#include "ui/DlgMapFields.h"
#include "ui/DlgProgress.h"
#include "vcard/RunSteps.h"

int CvCardImport::Execute(HWND owner, const CSelectionList* selection)
{
    m_owner = owner;
    CDlgImport dialog(vcard::SelectionFolder(selection));
    SetColumnMapper(DialogMapper(owner));
    if (dialog.DoModal(owner) == IDOK) {
        SetJoinGroups(dialog.JoinGroups());
        RunImport(dialog.SourceFolder().c_str(), dialog.TargetFolder().c_str(), dialog.ConflictMode());
    }
    return 0;
}

namespace {

// The source folder joined with a name; empty when the result would not fit MAX_PATH.
// The folder comes from the dialog in the ANSI code page; the files in it are named in any
// script (Quillon's own export names them after the contacts), so they are found and opened
// by their UTF-16 names.
std::wstring JoinPath(const std::wstring& folder, const wchar_t* name)
{
    wchar_t joined[MAX_PATH] = L"";
    if (!::PathCombineW(joined, folder.c_str(), name)) {
        g_log.LogErr("CvCardImport::RunImport", E_INVALIDARG, "PathCombine(%s, %s)", common::ToUtf8(folder).c_str(),
                     common::ToUtf8(name).c_str());
        return std::wstring();
    }
    return joined;
}

// The files the run reads, format by format: the patterns, and whether a name they match must
// also end in that extension (a pattern matches short 8.3 names too, so "*.csv" would take
// "a.csvx"). vCard files are taken as the pattern finds them, as they always were.
const struct {
    const wchar_t* pattern;
    int format;  // -1: any name the pattern matches
} kFilePatterns[] = {{L"*.vcf", -1}, {L"*.csv", CvCardImport::kCsvFile}, {L"*.ldif", CvCardImport::kLdifFile}};

// Calls each(name) for every file of the folder the run reads, until it returns false. False
// when there is none at all.
bool ForEachFile(const std::wstring& source, const std::function<bool(const wchar_t* name)>& each)
{
    bool any = false;
    for (const auto& files : kFilePatterns) {
        std::wstring pattern = JoinPath(source, files.pattern);
        WIN32_FIND_DATAW found = {};
        common::CFindHandle search(pattern.empty() ? INVALID_HANDLE_VALUE : ::FindFirstFileW(pattern.c_str(), &found));
        if (!search.valid())
            continue;
        do {
            if (files.format >= 0 && CvCardImport::FormatOfPath(found.cFileName) != files.format)
                continue;
            any = true;
            if (!each(found.cFileName))
                return true;
        } while (::FindNextFileW(search.get(), &found));
    }
    return any;
}

}  // namespace

void CvCardImport::RunImport(const char* sourceFolder, const char* targetFolder, int conflictMode)
{
    m_conflictMode = conflictMode;
    SetTargetFolder(targetFolder ? targetFolder : "");
    m_added.clear();
    m_lastAdded.clear();
    m_total = 0;
    m_processed = 0;
    for (const auto& reader : m_sources)
        reader->StartRun();
    const std::wstring source = common::AnsiToWide(sourceFolder ? sourceFolder : "");

    // Whatever the passes leave kept (a file gone before the import pass) goes with the run.
    common::CScopeExit release([this] { m_kept.Clear(); });
    m_kept.SetKeeping(true);
    bool any = ForEachFile(source, [&](const wchar_t* name) {
        std::wstring path = JoinPath(source, name);
        if (!path.empty()) {
            int count = CountCards(path);
            m_total = count > INT_MAX - m_total ? INT_MAX : m_total + count;
        }
        return true;
    });
    if (!any) {
        ShowNoFilesMessage();
        return;
    }
    m_kept.SetKeeping(false);

    m_imported = 0;
    m_failed = 0;
    m_incomplete = 0;
    // Files, but not one complete card in them: the import pass still goes through them, without
    // a progress window, so that each says why (in the log, and to the user when it cannot be
    // opened), and the run closes with the message that nothing was imported.
    CDlgProgress progress;
    if (m_total > 0) {
        if (!vcard::StartProgress(progress, m_owner, IDS_IMPORTING, m_total))
            return;
        m_progress = &progress;
        m_lastProgress = ::GetTickCount();
        IndexTargetFolder();
    }

    ForEachFile(source, [&](const wchar_t* name) {
        std::wstring path = JoinPath(source, name);
        if (path.empty()) {
            NoteNotTaken("file %s: not read: its path is too long", common::ToUtf8(name).c_str());
            ++m_failed;
            return true;
        }
        return ImportFile(path) >= 0;
    });

    _FlushGroups();
    if (m_progress) {
        _ShowProgress(true);
        m_progress = nullptr;
        progress.Close();
    }
    m_index.Clear();

    const int rest = m_total - m_imported - m_failed;
    if (rest > 0)
        NoteNotTaken("%d cards: not imported: the run stopped before them", rest);
    vcard::ShowClosingMessage(m_owner, m_imported, m_failed > 0 || rest > 0 || m_incomplete > 0, IDS_IMPORT_OK,
                              IDS_IMPORT_PARTIAL, IDS_IMPORT_FAILED);
}

CvCardImport::ColumnMapper CvCardImport::DialogMapper(HWND owner)
{
    return [owner](const std::wstring& path, const std::vector<csv::CCsvReader::CUnmapped>& columns,
                   const std::vector<std::string>& fields, std::vector<int>* choice) {
        std::vector<std::pair<std::wstring, std::wstring>> shown;
        for (const auto& column : columns)
            shown.emplace_back(column.name, column.sample);
        CDlgMapFields dialog(path, shown, fields);
        if (dialog.DoModal(owner) == IDOK)
            *choice = dialog.Choices();
    };
}

int CvCardImport::ImportFile(const std::wstring& widePath)
{
    const char* ctx = "CvCardImport::ImportFile";
    const std::string path8 = common::ToUtf8(widePath);
    const char* path = path8.c_str();  // for the log
    if (m_beforeRead)
        m_beforeRead(path);
    HANDLE file = ::CreateFileW(widePath.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        // The code says why (gone, in use, a folder, no access); the system's words say it to
        // whoever reads the log.
        DWORD error = ::GetLastError();
        char reason[256] = "";
        if (::FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, error, 0, reason,
                             sizeof reason, nullptr) == 0)
            reason[0] = '\0';
        size_t length = std::strlen(reason);
        while (length > 0 && (reason[length - 1] == '\r' || reason[length - 1] == '\n' || reason[length - 1] == ' '))
            reason[--length] = '\0';
        g_log.LogWar(ctx, HRESULT_FROM_WIN32(error), "CreateFile(%s): %s", path, reason);
        NoteNotTaken("file %s: not read: it cannot be opened: %s", path, reason);
        ++m_failed;
        return ShowCannotOpenMessage(common::WideToAnsi(widePath).c_str()) ? 0 : -1;
    }
    std::string why;
    std::string kept;
    HRESULT loaded = S_OK;
    common::CFileHandle opened(file);
    const int format = FormatOfPath(widePath);
    m_currentFile = widePath;
    m_currentFilePath = path8;
    if (m_kept.Take(widePath, file, &kept)) {
        opened.reset();
        LoadText(kept.data(), kept.size(), format);
        std::string().swap(kept);
    } else {
        loaded = LoadFileText(opened.release(), &why, format);
    }
    if (FAILED(loaded)) {
        // Its cards (if any) were not counted either; the closing message must still say that
        // something was not imported.
        g_log.LogWar(ctx, loaded, "%s not read: %s", path, why.c_str());
        NoteNotTaken("file %s: not read: %s", path, why.c_str());
        ++m_failed;
        FreeFileText();
        return 0;
    }
    int result = ReadCards([this]() -> int {
        HRESULT stored = m_source->Record().isGroup ? putGroupCard() : putContactItem();
        ++m_processed;
        if (stored < 0) {
            NoteNotTaken("card \"%s\" in %s: not imported: the address book did not take it [0x%lx]",
                         common::ToUtf8(m_source->RecordName()).c_str(), m_currentFilePath.c_str(),
                         static_cast<unsigned long>(stored));
            ++m_failed;
            _ShowProgress(true);
            return -1;
        }
        ++m_imported;
        if (stored != S_OK || m_source->RecordCut()) {
            NoteNotTaken("card \"%s\" in %s: imported without some of its values",
                         common::ToUtf8(m_source->RecordName()).c_str(), m_currentFilePath.c_str());
            ++m_incomplete;
        }
        if (m_progress && m_progress->IsCancelled()) {
            _ShowProgress(true);
            return -1;
        }
        _ShowProgress(m_processed >= m_total);
        return 0;
    });
    if (result == 0) {
        size_t lost = m_source->Finish(path);
        const size_t room = static_cast<size_t>(INT_MAX - m_failed);
        m_failed += static_cast<int>(lost < room ? lost : room);
    }
    FreeFileText();
    return result;
}

// Each update is a round of messages to the window's thread, which costs more than a card. The
// cancelled flag is still read after every card, so Cancel answers as fast as before.
void CvCardImport::_ShowProgress(bool final)
{
    if (!m_progress)
        return;
    DWORD now = ::GetTickCount();
    if (final || now - m_lastProgress >= 50) {
        m_progress->SetPos(m_processed);
        m_lastProgress = now;
    }
}

HRESULT CvCardImport::LoadFileText(HANDLE file, std::string* why, int format)
{
    common::CFileHandle owned(file);
    std::string bytes;
    HRESULT hr = ReadFileBytes(file, &bytes, why);
    owned.reset();
    LoadText(bytes.data(), bytes.size(), format);
    return hr;
}

HRESULT CvCardImport::ReadFileBytes(HANDLE file, std::string* out, std::string* why)
{
    std::string bytes;
    std::string reason;
    HRESULT hr = S_OK;
    LARGE_INTEGER size = {};
    if (!::GetFileSizeEx(file, &size)) {
        hr = common::HResultFromLastError();
        reason = "GetFileSize";
    } else if (size.QuadPart > kMaxFileBytes) {
        hr = E_OUTOFMEMORY;
        reason = common::Format("%lld bytes, more than the %lld a file may have",
                                static_cast<long long>(size.QuadPart), static_cast<long long>(kMaxFileBytes));
    } else if (size.QuadPart > 0) {
        try {
            bytes.resize(static_cast<size_t>(size.QuadPart));
        } catch (const std::bad_alloc&) {
            hr = E_OUTOFMEMORY;
            reason = common::Format("no memory for %lld bytes", static_cast<long long>(size.QuadPart));
        }
        DWORD read = 0;
        if (!bytes.empty() && !::ReadFile(file, &bytes[0], static_cast<DWORD>(bytes.size()), &read, nullptr)) {
            hr = common::HResultFromLastError();
            reason = "ReadFile";
            read = 0;
        }
        // A file that shrank since its size was taken is read as far as it goes; one that grew
        // is read as it was: a card it gained is not there yet.
        bytes.resize(read);
    }
    if (FAILED(hr))
        bytes.clear();
    out->swap(bytes);
    if (why)
        *why = reason;
    return hr;
}

void CvCardImport::LoadText(const char* bytes, size_t size, int format)
{
    m_source = m_sources[format >= 0 && format < kFileFormats ? format : kVCardFile].get();
    try {
        m_source->Load(bytes, size);
    } catch (const std::bad_alloc&) {
        g_log.LogErr("CvCardImport::LoadText", E_OUTOFMEMORY, "no memory for the text of %zu bytes", size);
        m_source->Free();
    }
}

void CvCardImport::FreeFileText() { m_source->Free(); }

int CvCardImport::FormatOfPath(const std::wstring& path)
{
    const wchar_t* extension = ::PathFindExtensionW(path.c_str());
    if (_wcsicmp(extension, L".vcf") == 0)
        return kVCardFile;
    if (_wcsicmp(extension, L".csv") == 0)
        return kCsvFile;
    if (_wcsicmp(extension, L".ldif") == 0)
        return kLdifFile;
    return -1;
}

int CvCardImport::CountCards(const std::wstring& path)
{
    HANDLE file = ::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return 0;
    common::CFileHandle owned(file);
    std::string bytes;
    if (FAILED(ReadFileBytes(file, &bytes, nullptr))) {
        FreeFileText();
        return 0;
    }
    m_currentFile = path;
    m_currentFilePath = common::ToUtf8(path);
    LoadText(bytes.data(), bytes.size(), FormatOfPath(path));
    m_kept.Keep(path, file, &bytes);
    owned.reset();
    size_t count = 0;
    try {
        count = m_source->Count();
    } catch (const std::bad_alloc&) {
        g_log.LogErr("CvCardImport::CountCards", E_OUTOFMEMORY, "%s", common::ToUtf8(path).c_str());
        count = 0;
    }
    FreeFileText();
    return count > INT_MAX ? INT_MAX : static_cast<int>(count);
}
