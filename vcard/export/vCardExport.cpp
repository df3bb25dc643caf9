#include "vcard/export/vCardExport.h"

#include <winerror.h>

#include <algorithm>
#include <climits>
#include <cstring>
#include <cwchar>

#include "base/App.h"
#include "base/Log.h"
#include "base/Prompts.h"
#include "base/strings.h"
#include "common/entryid.h"
#include "common/text.h"
#include "contact/CharConverter.h"
#include "contact/Contact.h"
#include "contact/ContactFields.h"
#include "ui/DlgExport.h"
#include "ui/DlgProgress.h"
#include "vcard/RunSteps.h"

namespace {

// The writer converts values through the run's code page, held by the character converter. Most
// values are short ASCII texts, which every code page we offer keeps byte for byte; they are
// copied directly, and other texts are converted in one call into a buffer sized for the worst
// case. Anything unusual goes the converter's own way, which gives the same result.
class CConverterEncoder : public vcard::ITextEncoder {
public:
    int ToBytes(const wchar_t* text, size_t n, std::string* bytes) const override
    {
        int codePage = g_charConverter.GetCurrentCodePage();
        if (codePage == CCharConverter::kNoCodePage || n == 0 || n > INT_MAX / 4)
            return g_charConverter.ToBytes(text, n, bytes);
        UINT windowsCodePage = codePage == CCharConverter::kAnsiCodePage ? ::GetACP() : static_cast<UINT>(codePage);
        if (_KeepsAscii(windowsCodePage)) {
            size_t i = 0;
            while (i < n && text[i] < 0x80)
                ++i;
            if (i == n) {
                bytes->resize(n);
                for (size_t j = 0; j < n; ++j)
                    (*bytes)[j] = static_cast<char>(text[j]);
                return static_cast<int>(n);
            }
        }
        bytes->resize(n * 4);
        int written = ::WideCharToMultiByte(windowsCodePage, 0, text, static_cast<int>(n), &(*bytes)[0],
                                            static_cast<int>(n * 4), nullptr, nullptr);
        if (written <= 0)
            return g_charConverter.ToBytes(text, n, bytes);
        bytes->resize(static_cast<size_t>(written));
        if (windowsCodePage != CP_UTF8)
            _NoteLost(windowsCodePage, text, n, *bytes);
        return written;
    }

    // The characters the code page could not hold since the last call, each once; emptied.
    std::wstring TakeLost() const
    {
        std::wstring lost;
        lost.swap(m_lost);
        return lost;
    }

private:
    // A character the code page lacks comes back as another one (the default character, or a
    // look-alike): the value's bytes are read back, and only when they differ is each character
    // tried on its own.
    void _NoteLost(UINT cp, const wchar_t* text, size_t n, const std::string& bytes) const
    {
        std::wstring back(n * 2 + 2, L'\0');
        int m = ::MultiByteToWideChar(cp, 0, bytes.data(), static_cast<int>(bytes.size()), &back[0],
                                      static_cast<int>(back.size()));
        if (m == static_cast<int>(n) && back.compare(0, n, text, n) == 0)
            return;
        for (size_t i = 0; i < n; ++i) {
            wchar_t c = text[i];
            if (c < 0x80 || m_lost.find(c) != std::wstring::npos)
                continue;
            char one[8];
            wchar_t again[4];
            int k = ::WideCharToMultiByte(cp, 0, &c, 1, one, sizeof(one), nullptr, nullptr);
            int r = k > 0 ? ::MultiByteToWideChar(cp, 0, one, k, again, 4) : 0;
            if (r != 1 || again[0] != c)
                m_lost.push_back(c);
        }
    }

    mutable std::wstring m_lost;

    // Code pages whose first 128 characters are ASCII, byte for byte.
    static bool _KeepsAscii(UINT cp)
    {
        return cp == CP_UTF8 || (cp >= 1250 && cp <= 1258) || (cp >= 28591 && cp <= 28606) || cp == 874 ||
               cp == 932 || cp == 936 || cp == 949 || cp == 950 || cp == 20866 || cp == 21866 || cp == 20932 ||
               cp == 437 || cp == 850;
    }
};

// Names Windows keeps for devices: a file of that name, with or without an extension, is the
// device itself.
bool IsDeviceName(const std::wstring& base)
{
    std::wstring stem = base.substr(0, base.find(L'.'));
    while (!stem.empty() && stem.back() == L' ')
        stem.pop_back();
    if (stem.size() == 3) {
        for (const wchar_t* device : {L"CON", L"PRN", L"AUX", L"NUL"}) {
            if (_wcsicmp(stem.c_str(), device) == 0)
                return true;
        }
        return false;
    }
    return stem.size() == 4 && (_wcsnicmp(stem.c_str(), L"COM", 3) == 0 || _wcsnicmp(stem.c_str(), L"LPT", 3) == 0) &&
           stem[3] >= L'1' && stem[3] <= L'9';
}

// Length of the longest head of text, at most limit UTF-16 units, that does not split a
// surrogate pair.
size_t CharBoundary(const std::wstring& text, size_t limit)
{
    if (text.size() <= limit)
        return text.size();
    size_t i = limit;
    if (i > 0 && text[i - 1] >= 0xD800 && text[i - 1] <= 0xDBFF)
        --i;
    return i;
}

// The progress window is updated at most this often (and always for the last contact): each
// update is a round of messages to the window's thread, which costs more than a card.
const DWORD kProgressIntervalMs = 50;

// Upper bound of the numbering of equal names; beyond it the folder is taken as unusable.
const int kMaxNumber = 1000000;

// Added to a file's name while it is written; see _CreateNumberedFile.
const wchar_t kPartEnding[] = L".part";

// ".part" files that killed runs left beside one name: up to this many, the name is still taken,
// written as "<name>.vcf.<k>.part".
const int kMaxPartNumber = 99;
// The longest ending a name written in one-file mode may get: ".99.part".
const size_t kMaxPartEnding = 8;

// One name of a path holds at most this many UTF-16 units, whatever room the path leaves.
const size_t kMaxNameLength = 255;

// The name the one file is written under: the file's own name with ".part" added (k = 0), or with
// ".<k>.part" where killed runs left the names before it.
std::wstring PartPath(const std::wstring& finalPath, int k)
{
    if (k == 0)
        return finalPath + kPartEnding;
    return finalPath + L"." + std::to_wstring(k) + kPartEnding;
}

// A path as the user knows it: without the "\\?\" of its long form.
std::wstring ShownPath(const std::wstring& path)
{
    if (path.compare(0, 8, L"\\\\?\\UNC\\") == 0)
        return L"\\\\" + path.substr(8);
    if (path.compare(0, 4, L"\\\\?\\") == 0)
        return path.substr(4);
    return path;
}

// A path longer than MAX_PATH reaches the file system only in its "\\?\" form: a name cut to
// fit MAX_PATH with its ending added may be that long.
std::wstring LongPathForm(const std::wstring& path)
{
    if (path.size() < MAX_PATH)
        return path;
    const std::wstring full = common::FullPathName(path);
    if (full.compare(0, 4, L"\\\\?\\") == 0)
        return full;
    if (full.compare(0, 2, L"\\\\") == 0)
        return L"\\\\?\\UNC\\" + full.substr(2);
    return L"\\\\?\\" + full;
}

}  // namespace

CvCardExport::CvCardExport() = default;

// The address book's folder list gives a folder's name only through the ANSI code page, where a
// name in another script becomes question marks; the folder itself is asked for its UTF-16 name.
std::wstring CvCardExport::FolderName(const char* folderId, const char* ansiName)
{
    ULONG type = 0;
    std::wstring name;
    // Opened without an interface, a container hands out its own, which starts with IMAPIProp as
    // a contact's does.
    Microsoft::WRL::ComPtr<IABContainer> container;
    HRESULT hr = g_wabLib._OpenEntry(folderId, &type, reinterpret_cast<IUnknown**>(container.GetAddressOf()));
    if (SUCCEEDED(hr) && container && type == MAPI_ABCONT) {
        CContact folder(container.Get());
        if (FAILED(folder._GetTextPropW(contact_tags::kDisplayName, &name)))
            name.clear();
    }
    return name.empty() ? common::AnsiToWide(ansiName ? ansiName : "") : name;
}

CvCardExport::~CvCardExport() = default;

int CvCardExport::RunExport(HWND owner, const CSelectionList* selection)
{
    m_owner = owner;
    const std::string selectionFolder = vcard::SelectionFolder(selection);
    CDlgExport dialog(selectionFolder.empty() ? nullptr : selectionFolder.c_str(),
                      selection ? static_cast<int>(selection->size()) : 0);
    if (dialog.DoModal(owner) != IDOK)
        return -1;

    const char* folderId = nullptr;
    if (!dialog.AllFolders() && !dialog.FolderId().empty())
        folderId = dialog.FolderId().c_str();
    // The run reports its own outcome to the user; the command only says that it ran.
    SetGroupCards(dialog.GroupCards());
    const int format = dialog.FormatIndex();
    Execute(dialog.TargetFolder().c_str(), folderId, dialog.SelectedOnly(), selection,
            format == CDlgExport::kCsv ? "CSV" : format == 1 ? "3.0" : "2.1", dialog.OneFile(),
            dialog.EncodingName().c_str());
    return 0;
}

void CvCardExport::ProductVersion(int* major, int* minor)
{
    VS_FIXEDFILEINFO info;
    const bool read = common::FixedFileVersion(common::ModuleFileName(nullptr), &info);
    *major = read ? HIWORD(info.dwProductVersionMS) : 1;
    *minor = read ? LOWORD(info.dwProductVersionMS) : 0;
}

namespace {
const CConverterEncoder& TheEncoder()
{
    static const CConverterEncoder encoder;
    return encoder;
}
}  // namespace

const vcard::ITextEncoder& CvCardExport::Encoder()
{
    return TheEncoder();
}

void CvCardExport::PrepareRows()
{
    m_serversTag = 0;
    m_csv = true;
    m_csvWriter.reset(new csv::CCsvWriter(Encoder()));
}

void CvCardExport::PrepareCards(int formatCode)
{
    m_serversTag = 0;
    m_csv = false;
    m_format = formatCode;
    int codePage = g_charConverter.GetCurrentCodePage();
    int major = 1, minor = 0;
    ProductVersion(&major, &minor);
    m_writer.reset(new vcard::CCardWriter(formatCode, codePage > 0, g_charConverter.CharsetName(codePage), major,
                                          minor, Encoder()));
}

void CvCardExport::WriteCard()
{
    m_cardBuffer.Empty();
    QUILLON_ASSERT((m_csv ? !!m_csvWriter : !!m_writer) && m_contact, "CvCardExport::WriteCard");
    if ((m_csv ? !m_csvWriter : !m_writer) || !m_contact)
        return;
    CContact contact(m_contact.Get());
    contact_fields::ReadContact(contact, &m_fields, &m_serversTag);
    if (!m_contactId.empty() && !m_groupsOf.empty()) {
        auto groups = m_groupsOf.find(common::EntryIdKey(m_contactId));
        if (groups != m_groupsOf.end())
            m_fields.groups = groups->second;
    }
    (void)TheEncoder().TakeLost();
    if (m_csv) {
        m_csvWriter->Write(m_fields, &m_row);
        m_cardBuffer.Append(m_row);
    } else {
        m_writer->Write(m_fields, &m_cardBuffer);
    }
    // The one change a card may make to a contact: characters its code page lacks. Which ones
    // a contact lost is told, so that the user can choose another encoding.
    std::wstring lost = TheEncoder().TakeLost();
    static const vcard::CardChanges kNoChanges;
    const vcard::CardChanges& changes = m_csv ? kNoChanges : m_writer->Changes();
    if (lost.empty() && changes.loneLineBreaks.empty() && changes.untypedEmails.empty())
        return;
    const std::string name = common::ToUtf8(_CardName());
    if (!lost.empty()) {
        std::string list;
        for (wchar_t c : lost)
            list += common::Format("%sU+%04X", list.empty() ? "" : " ", static_cast<unsigned>(c));
        g_log.LogWar("CvCardExport::WriteCard", 0, "contact \"%s\" lost characters missing from code page %d: %s (%s)",
                     name.c_str(), g_charConverter.GetCurrentCodePage(), list.c_str(), common::ToUtf8(lost).c_str());
    }
    // The format's own limits, told the same way.
    for (const char* property : changes.loneLineBreaks)
        g_log.LogWar("CvCardExport::WriteCard", 0,
                     "contact \"%s\": a lone LF or CR in %s is written as a vCard 3.0 line break and returns as CR LF",
                     name.c_str(), property);
    for (const auto& email : changes.untypedEmails)
        g_log.LogWar("CvCardExport::WriteCard", 0,
                     "contact \"%s\": e-mail address \"%s\" of address type \"%s\" is written without a type and "
                     "returns as SMTP",
                     name.c_str(), common::ToUtf8(email.first).c_str(), common::ToUtf8(email.second).c_str());
}

// The contact as its card names it: the display name, else the name parts, else the company.
std::wstring CvCardExport::_CardName() const
{
    std::wstring name = m_fields.displayName;
    if (name.empty()) {
        for (const std::wstring* part : {&m_fields.givenName, &m_fields.middleName, &m_fields.surname}) {
            if (!part->empty())
                name += (name.empty() ? L"" : L" ") + *part;
        }
    }
    return name.empty() ? m_fields.company : name;
}

std::wstring CvCardExport::SafeBaseName(const std::wstring& name)
{
    // Each line break of a multi-line name opens a parenthesis that closes at the end:
    // A, B, C on three lines becomes "A (B (C))".
    std::wstring base;
    base.reserve(name.size() + 8);
    size_t pairs = 0;
    for (size_t i = 0; i < name.size(); ++i) {
        if (name[i] == L'\r' && i + 1 < name.size() && name[i + 1] == L'\n') {
            base += L" (";
            ++pairs;
            ++i;
        } else {
            base += name[i];
        }
    }
    base.append(pairs, L')');

    // Characters Windows refuses in file names, and control characters, which it refuses too.
    for (wchar_t& c : base) {
        if ((c >= 1 && c <= 31) || (c != 0 && std::wcschr(L"\\/:*?\"<>|", c)))
            c = L'_';
    }
    if (IsDeviceName(base))
        base.insert(0, L"_");
    return base;
}

std::wstring CvCardExport::_MakeBaseName()
{
    if (m_oneFile)
        return SafeBaseName(m_oneFileBaseName);
    CContact contact(m_contact.Get());
    std::wstring display;
    if (FAILED(contact._GetTextPropW(contact_tags::kDisplayName, &display)))
        return L"Noname";
    // Named in UTF-16, so that a name in any script is the name the user sees.
    return SafeBaseName(display);
}

std::wstring CvCardExport::FittedPath(const std::wstring& folder, const std::wstring& base, int n, bool oneFile,
                                      const wchar_t* extension)
{
    wchar_t suffix[24] = L"";
    if (n > 0)
        _snwprintf(suffix, sizeof(suffix) / sizeof(suffix[0]) - 1, L"(%d)", n);
    const size_t fixedName = std::wcslen(suffix) + 4 + (oneFile ? kMaxPartEnding : 0);
    if (folder.size() + std::wcslen(suffix) + 4 >= MAX_PATH || fixedName >= kMaxNameLength)
        return std::wstring();
    // Both limits: the whole path within MAX_PATH (the name as the user gets it: the ".part" name
    // reaches the file system in its long form) and one name within 255 characters.
    size_t room = MAX_PATH - 1 - folder.size() - std::wcslen(suffix) - 4;
    if (room > kMaxNameLength - fixedName)
        room = kMaxNameLength - fixedName;
    return folder + base.substr(0, CharBoundary(base, room)) + suffix + extension;
}

// The first free name of base.vcf, base(1).vcf, base(2).vcf ... is taken. Creating with
// CREATE_NEW takes the name in one step: no file is ever replaced, not even one that appears
// between a check and the creation. The one file of a run is written under that name with ".part"
// added and gets its own name only when the run ends (_Complete): a run that is killed, or a
// machine that stops, leaves a ".part" file, never a cut file under a vCard name that the user, or
// a later import, would take for a whole one; the rename never replaces a file either. The cards a
// killed run left stay where they are, and its ".part" file does not cost the next run the plain
// name: that one is written as "<name>.vcf.1.part". A file per contact is written under its own name
// at once (a rename per contact would cost as much again as writing it): cut by a kill, it lacks the
// END:VCARD that every complete one ends with.
bool CvCardExport::_CreateNumberedFile(const std::wstring& base)
{
    const char* ctx = "CvCardExport::_CreateNumberedFile";
    std::wstring folder = common::AnsiToWide(m_targetFolder);
    if (!folder.empty() && folder.back() != L'\\' && folder.back() != L'/')
        folder += L'\\';
    for (int n = 0; n < kMaxNumber; ++n) {
        // A name too long for the path or for a name is cut, so that one long display name
        // cannot stop the whole run.
        m_finalPath = FittedPath(folder, base, n, m_oneFile, m_csv ? L".csv" : L".vcf");
        if (m_finalPath.empty()) {
            g_log.LogErr(ctx, -1, "path too long: %s", m_targetFolder.c_str());
            return false;
        }
        if (m_oneFile && ::GetFileAttributesW(m_finalPath.c_str()) != INVALID_FILE_ATTRIBUTES)
            continue;
        for (int k = 0; k <= (m_oneFile ? kMaxPartNumber : 0); ++k) {
            m_partPath = m_oneFile ? LongPathForm(PartPath(m_finalPath, k)) : m_finalPath;
            m_file.reset(::CreateFileW(m_partPath.c_str(), GENERIC_WRITE, FILE_SHARE_WRITE, nullptr, CREATE_NEW,
                                       FILE_ATTRIBUTE_NORMAL, nullptr));
            if (m_file) {
                m_fileLength = 0;
                return true;
            }
            DWORD error = ::GetLastError();
            bool taken = error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS ||
                         (error == ERROR_ACCESS_DENIED &&
                          ::GetFileAttributesW(m_partPath.c_str()) != INVALID_FILE_ATTRIBUTES);
            if (!taken) {
                g_log.LogErr(ctx, HRESULT_FROM_WIN32(error), "CreateFile(%s)", common::ToUtf8(m_partPath).c_str());
                return false;
            }
        }
    }
    g_log.LogErr(ctx, -1, "no free file name for %s in %s", common::ToUtf8(base).c_str(), m_targetFolder.c_str());
    return false;
}

bool CvCardExport::_Complete()
{
    m_file.reset();
    if (::MoveFileW(m_partPath.c_str(), m_finalPath.c_str()))
        return true;
    // Left as it is: a file that took the name meanwhile is not replaced, and the cards stay in
    // the ".part" file, which the log and the closing message name.
    g_log.LogErr("CvCardExport::_Complete", common::HResultFromLastError(), "the cards stay in %s: MoveFile to %s",
                 common::ToUtf8(ShownPath(m_partPath)).c_str(), common::ToUtf8(m_finalPath).c_str());
    return false;
}

void CvCardExport::_ReadGroups(const char* folderId)
{
    const char* ctx = "CvCardExport::_ReadGroups";
    m_groupsOf.clear();
    m_groups.clear();
    HRESULT hr = g_wabLib.GetGroups(folderId, &m_groups);
    if (FAILED(hr)) {
        g_log.LogWar(ctx, hr, "the groups could not be read: the cards carry no group");
        m_groups.clear();
        return;
    }
    for (const CWabGroup& group : m_groups) {
        const std::string name = common::ToUtf8(group.name);
        if (group.name.empty()) {
            g_log.LogWar(ctx, 0, "group %s has no name: no card can carry it", group.id.c_str());
            continue;
        }
        for (const std::string& member : group.members) {
            std::vector<std::wstring>& names = m_groupsOf[common::EntryIdKey(member)];
            if (std::find(names.begin(), names.end(), group.name) == names.end())
                names.push_back(group.name);
        }
        // The group's own card carries what no contact's card can (a CSV file has rows of contacts
        // only).
        if (m_groupCards && !m_csv)
            continue;
        if (group.members.empty() && group.oneOffAddresses.empty())
            g_log.LogWar(ctx, 0, "group \"%s\" has no member: no card carries it", name.c_str());
        if (!group.oneOffAddresses.empty()) {
            std::string addresses;
            for (size_t i = 0; i < group.oneOffAddresses.size(); ++i) {
                const std::wstring& who = group.oneOffNames[i];
                const std::wstring& address = group.oneOffAddresses[i];
                addresses += (addresses.empty() ? "" : ", ") +
                             common::ToUtf8(who.empty() || who == address ? address : who + L" <" + address + L">");
            }
            g_log.LogWar(ctx, 0, "group \"%s\": %zu addresses kept only in the group are in no card: %s", name.c_str(),
                         group.oneOffAddresses.size(), addresses.c_str());
        }
    }
}

int CvCardExport::_WriteGroupCards()
{
    for (const CWabGroup& group : m_groups) {
        if (group.name.empty())
            continue;
        m_fields.Clear();
        m_fields.isGroup = true;
        m_fields.displayName = group.name;
        m_fields.oneOffNames = group.oneOffNames;
        m_fields.oneOffAddresses = group.oneOffAddresses;
        m_cardBuffer.Empty();
        m_writer->Write(m_fields, &m_cardBuffer);
        int status = _WriteCardToFile(SafeBaseName(group.name));
        if (status != 0)
            return status;
    }
    return 0;
}

bool CvCardExport::_WriteAll(const char* bytes, DWORD left)
{
    while (left > 0) {
        DWORD written = 0;
        if (!::WriteFile(m_file.get(), bytes, left, &written, nullptr) || written == 0) {
            g_log.LogErr("CvCardExport::_ExportContact", common::HResultFromLastError(), "WriteFile");
            return false;
        }
        bytes += written;
        left -= written;
    }
    return true;
}

int CvCardExport::_ExportContact()
{
    WriteCard();
    return _WriteCardToFile(m_oneFile ? std::wstring() : _MakeBaseName());
}

int CvCardExport::_WriteCardToFile(const std::wstring& baseName)
{
    const char* ctx = "CvCardExport::_ExportContact";
    if (!m_oneFile || !m_fileOpen) {
        if (!_CreateNumberedFile(m_oneFile ? _MakeBaseName() : baseName))
            return -1;
        if (m_oneFile)
            m_fileOpen = true;
        if (m_csv) {
            // A CSV file says nothing of its encoding: UTF-8 is told by its byte-order mark, which
            // Excel and Outlook need to read it as UTF-8. The header row is ASCII in every code page.
            std::string head = g_charConverter.GetCurrentCodePage() == CP_UTF8 ? "\xEF\xBB\xBF" : "";
            head += csv::CCsvWriter::HeaderRow();
            if (!_WriteAll(head.data(), static_cast<DWORD>(head.size())))
                return -1;
            m_fileLength = head.size();
        }
    }
    if (!_WriteAll(m_cardBuffer.bytes, static_cast<DWORD>(m_cardBuffer.length))) {
        if (m_oneFile) {
            // The cards before this one stay; a part of this one would be a cut card.
            LARGE_INTEGER at;
            at.QuadPart = static_cast<LONGLONG>(m_fileLength);
            if (!::SetFilePointerEx(m_file.get(), at, nullptr, FILE_BEGIN) || !::SetEndOfFile(m_file.get()))
                g_log.LogErr(ctx, common::HResultFromLastError(), "SetEndOfFile");
        } else {
            m_file.reset();
            if (!::DeleteFileW(m_partPath.c_str()))
                g_log.LogErr(ctx, common::HResultFromLastError(), "DeleteFile(%s)", common::ToUtf8(m_partPath).c_str());
        }
        return -1;
    }
    m_fileLength += m_cardBuffer.length;
    if (!m_oneFile)
        m_file.reset();
    return 0;
}

int CvCardExport::Execute(const char* targetFolder, const char* folderId, bool selectionMode,
                          const CSelectionList* selection, const char* format, bool oneFile, const char* encoding)
{
    const char* ctx = "CvCardExport::Execute";
    QUILLON_ASSERT(!folderId || *folderId, ctx);
    QUILLON_ASSERT(!selectionMode || (selection && !selection->empty()), ctx);

    m_oneFile = oneFile;
    m_fileOpen = false;
    m_total = m_exported = m_failed = m_rest = 0;

    m_csv = format && std::strcmp(format, "CSV") == 0;
    if (m_csv) {
        // One file per run: a CSV file has one header, and no reader joins several.
        m_oneFile = true;
    } else if (format && std::strcmp(format, "2.1") == 0) {
        m_format = vcard::kVCard21;
    } else if (format && std::strcmp(format, "3.0") == 0) {
        m_format = vcard::kVCard30;
    } else {
        g_log.LogErr(ctx, E_NOTIMPL, "unknown format %s", format ? format : "(null)");
        return E_NOTIMPL;
    }
    m_targetFolder = targetFolder ? targetFolder : "";

    if (folderId) {
        CFolderEntry folder;
        HRESULT hr = g_wabLib.GetFolder(folderId, folder.put());
        if (FAILED(hr) || !folder) {
            g_log.LogErr(ctx, hr, "GetFolder(%s)", folderId);
            return FAILED(hr) ? hr : -1;
        }
        m_oneFileBaseName = FolderName(folderId, folder->name);
    } else {
        m_oneFileBaseName = L"AddressBook";
    }

    CItemList items;
    int count = 0;
    if (selectionMode) {
        count = selection ? static_cast<int>(selection->size()) : 0;
    } else {
        HRESULT hr = g_wabLib.GetItems(folderId, folderId == nullptr, items.put());
        // A folder that cannot be listed is not an empty one: the run ends with the failure.
        if (FAILED(hr))
            return hr;
        count = items ? static_cast<int>(items->count) : 0;
    }
    if (count == 0)
        return 0;
    m_total = count;

    int status = 0;
    CDlgProgress progress;
    if (!vcard::StartProgress(progress, m_owner, IDS_EXPORTING, m_total))
        return -1;

    int codePage = encoding && *encoding ? g_charConverter.CodePageByName(encoding) : CCharConverter::kAnsiCodePage;
    if (codePage <= 0)
        codePage = CCharConverter::kAnsiCodePage;
    g_charConverter.SetCurrentCodePage(codePage);
    if (m_csv)
        PrepareRows();
    else
        PrepareCards(m_format);
    _ReadGroups(selectionMode ? nullptr : folderId);

    DWORD lastUpdate = ::GetTickCount();
    for (int i = 0; i < m_total; ++i) {
        m_contact.Reset();
        const char* id = selectionMode ? (*selection)[static_cast<size_t>(i)].c_str() : items->items[i].id;
        ULONG type = 0;
        HRESULT hr = g_wabLib.OpenItem(id, &type, m_contact.ReleaseAndGetAddressOf());
        m_contactId = id ? id : "";
        if (FAILED(hr)) {
            g_log.LogErr(ctx, hr, "OpenItem(%s)", id ? id : "");
            NoteNotTaken("contact %s: not exported: it could not be opened [0x%lx]", id ? id : "",
                         static_cast<unsigned long>(hr));
            ++m_failed;
            status = hr;
            break;
        }
        status = _ExportContact();
        if (status != 0) {
            NoteNotTaken("contact \"%s\": not exported: its file could not be created or written in %s",
                         common::ToUtf8(_CardName()).c_str(), m_targetFolder.c_str());
            ++m_failed;
            break;
        }
        ++m_exported;
        if (progress.IsCancelled())
            break;
        DWORD now = ::GetTickCount();
        if (i + 1 == m_total || now - lastUpdate >= kProgressIntervalMs) {
            progress.SetPos(i + 1);
            lastUpdate = now;
        }
    }

    if (status == 0 && m_groupCards && !m_csv && !progress.IsCancelled())
        status = _WriteGroupCards();
    progress.Close();
    items.reset();
    m_contact.Reset();
    std::wstring cardsLeft;
    if (m_oneFile && m_fileOpen && !_Complete()) {
        // None of the cards is in a file under its own name: the message says where they are.
        m_failed += m_exported;
        m_exported = 0;
        status = -1;
        cardsLeft = common::AnsiToWide(LoadProgramString(IDS_EXPORT_CARDS_IN));
        size_t at = cardsLeft.find(L"%s");
        if (at != std::wstring::npos)
            cardsLeft.replace(at, 2, ShownPath(m_partPath));
        NoteNotTaken("%d contacts: written, but their file could not be given its name: %s", m_failed,
                     common::ToUtf8(cardsLeft).c_str());
    }
    m_file.reset();
    m_fileOpen = false;

    m_rest = m_total - m_exported - m_failed;
    if (m_rest > 0)
        NoteNotTaken("%d contacts: not exported: the run stopped before them", m_rest);
    vcard::ShowClosingMessage(m_owner, m_exported, m_failed >= 1 || m_rest > 0, IDS_EXPORT_OK, IDS_EXPORT_PARTIAL,
                              IDS_EXPORT_FAILED, cardsLeft);
    return status;
}
