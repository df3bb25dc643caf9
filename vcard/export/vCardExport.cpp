#include "vcard/export/vCardExport.h"

#include <winerror.h>

#include <climits>
#include <cstring>
#include <iterator>

#include "app/Log.h"
#include "common/text.h"
#include "contact/CharConverter.h"
#include "contact/Contact.h"
#include "ui/DlgExport.h"
#include "ui/DlgProgress.h"
#include "ui/resource.h"

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
        return written;
    }

private:
    // Code pages whose first 128 characters are ASCII, byte for byte.
    static bool _KeepsAscii(UINT cp)
    {
        return cp == CP_UTF8 || (cp >= 1250 && cp <= 1258) || (cp >= 28591 && cp <= 28606) || cp == 874 ||
               cp == 932 || cp == 936 || cp == 949 || cp == 950 || cp == 20866 || cp == 21866 || cp == 20932 ||
               cp == 437 || cp == 850;
    }
};

struct ItemListDeleter {
    void operator()(WABItemList* list) const { CWABLib::FreeItems(list); }
};
using CItemList = std::unique_ptr<WABItemList, ItemListDeleter>;

// Names Windows keeps for devices: a file of that name, with or without an extension, is the
// device itself.
bool IsDeviceName(const std::string& base)
{
    std::string stem = base.substr(0, base.find('.'));
    while (!stem.empty() && stem.back() == ' ')
        stem.pop_back();
    if (stem.size() == 3) {
        for (const char* device : {"CON", "PRN", "AUX", "NUL"}) {
            if (_stricmp(stem.c_str(), device) == 0)
                return true;
        }
        return false;
    }
    return stem.size() == 4 && (_strnicmp(stem.c_str(), "COM", 3) == 0 || _strnicmp(stem.c_str(), "LPT", 3) == 0) &&
           stem[3] >= '1' && stem[3] <= '9';
}

// Length of the longest head of text, at most limit bytes, that does not split a double-byte
// character of the ANSI code page.
size_t CharBoundary(const std::string& text, size_t limit)
{
    size_t i = 0;
    while (i < text.size()) {
        size_t step = ::IsDBCSLeadByte(static_cast<BYTE>(text[i])) && i + 1 < text.size() ? 2 : 1;
        if (i + step > limit)
            break;
        i += step;
    }
    return i;
}

// The progress window is updated at most this often (and always for the last contact): each
// update is a round of messages to the window's thread, which costs more than a card.
const DWORD kProgressIntervalMs = 50;

// Upper bound of the numbering of equal names; beyond it the folder is taken as unusable.
const int kMaxNumber = 1000000;

}  // namespace

CvCardExport::CvCardExport() = default;

CvCardExport::~CvCardExport() = default;

int CvCardExport::RunExport(HWND owner, const CSelectionList* selection)
{
    return ShowExportDialog(owner, selection, this);
}

void CvCardExport::ProductVersion(int* major, int* minor)
{
    *major = 1;
    *minor = 0;
    HRSRC info = ::FindResourceW(nullptr, MAKEINTRESOURCEW(VS_VERSION_INFO), MAKEINTRESOURCEW(16));
    HGLOBAL loaded = info ? ::LoadResource(nullptr, info) : nullptr;
    const BYTE* block = loaded ? static_cast<const BYTE*>(::LockResource(loaded)) : nullptr;
    DWORD size = info ? ::SizeofResource(nullptr, info) : 0;
    if (!block)
        return;
    // The fixed part follows the block's key at a 32-bit boundary; its signature marks it.
    for (DWORD at = 0; at + sizeof(VS_FIXEDFILEINFO) <= size; at += 4) {
        VS_FIXEDFILEINFO fixed;
        std::memcpy(&fixed, block + at, sizeof(fixed));
        if (fixed.dwSignature == 0xFEEF04BD) {
            *major = HIWORD(fixed.dwProductVersionMS);
            *minor = LOWORD(fixed.dwProductVersionMS);
            return;
        }
    }
}

const vcard::ITextEncoder& CvCardExport::Encoder()
{
    static const CConverterEncoder encoder;
    return encoder;
}

void CvCardExport::PrepareCards(int formatCode)
{
    m_serversTag = 0;
    m_format = formatCode;
    int codePage = g_charConverter.GetCurrentCodePage();
    int major = 1, minor = 0;
    ProductVersion(&major, &minor);
    m_writer.reset(new vcard::CCardWriter(formatCode, codePage > 0, g_charConverter.CharsetName(codePage), major,
                                          minor, Encoder()));
}

void CvCardExport::ReadCardFields(CContact& contact, vcard::CardFields* f, ULONG* serversTag)
{
    using namespace contact_tags;
    f->Clear();
    struct Text {
        ULONG tag;
        std::wstring* value;
    };
    const Text texts[] = {
        {kSurname, &f->surname},
        {kGivenName, &f->givenName},
        {kMiddleName, &f->middleName},
        {kDisplayNamePrefix, &f->namePrefix},
        {kDisplayName, &f->displayName},
        {kNickname, &f->nickname},
        {kCompanyName, &f->company},
        {kDepartmentName, &f->department},
        {kTitle, &f->title},
        {kComment, &f->comment},
        {kBusinessTelephoneNumber, &f->businessPhone},
        {kBusinessFaxNumber, &f->businessFax},
        {kHomeTelephoneNumber, &f->homePhone},
        {kHomeFaxNumber, &f->homeFax},
        {kMobileTelephoneNumber, &f->mobilePhone},
        {kPagerTelephoneNumber, &f->pager},
        {kOfficeLocation, &f->officeLocation},
        {kBusinessAddressStreet, &f->businessStreet},
        {kBusinessAddressCity, &f->businessCity},
        {kBusinessAddressStateOrProvince, &f->businessState},
        {kBusinessAddressPostalCode, &f->businessPostalCode},
        {kBusinessAddressCountry, &f->businessCountry},
        {kHomeAddressStreet, &f->homeStreet},
        {kHomeAddressCity, &f->homeCity},
        {kHomeAddressStateOrProvince, &f->homeState},
        {kHomeAddressPostalCode, &f->homePostalCode},
        {kHomeAddressCountry, &f->homeCountry},
        {kPersonalHomePage, &f->personalHomePage},
        {kBusinessHomePage, &f->businessHomePage},
        {kEmailAddress, &f->emailAddress},
        {kAddrType, &f->addrType},
        {kSpouseName, &f->spouse},
    };
    struct Date {
        ULONG tag;
        vcard::CardDate* value;
    };
    const Date dates[] = {{kBirthday, &f->birthday},
                          {kWeddingAnniversary, &f->anniversary},
                          {kLastModificationTime, &f->modified}};
    const ULONG arrays[] = {kContactEmailAddresses, kContactAddrTypes, kChildrensNames};

    // The named property has one tag in the whole address book: it is resolved once per run.
    ULONG servers = serversTag ? *serversTag : 0;
    if (!servers && SUCCEEDED(contact.GetNamedTag(false, &servers)) && servers && serversTag)
        *serversTag = servers;

    // Everything the card needs, asked for in one request; the reads below are answered from it.
    ULONG tags[std::size(texts) + std::size(arrays) + std::size(dates) + 3];
    ULONG count = 0;
    for (const Text& t : texts)
        tags[count++] = t.tag;
    for (ULONG tag : arrays)
        tags[count++] = tag;
    for (const Date& d : dates)
        tags[count++] = d.tag;
    tags[count++] = kContactDefaultAddressIndex;
    tags[count++] = kGender;
    if (servers)
        tags[count++] = servers;
    (void)contact.Preload(tags, count);

    // A property that cannot be read leaves its output empty: it is written as an empty one.
    for (const Text& t : texts)
        (void)contact._GetTextPropW(t.tag, t.value);
    (void)contact._GetTextArrayPropW(kContactEmailAddresses, &f->emailAddresses);
    (void)contact._GetTextArrayPropW(kContactAddrTypes, &f->addrTypes);
    (void)contact._GetTextArrayPropW(kChildrensNames, &f->children);
    if (servers)
        (void)contact._GetTextArrayPropW(servers, &f->conferencingServers);

    LONG index = -1;
    if (FAILED(contact.GetDefaultAddressIndex(&index)))
        index = -1;
    f->defaultAddressIndex = index;
    SHORT gender = 0;
    f->hasGender = SUCCEEDED(contact.GetGender(&gender));
    f->gender = f->hasGender ? gender : 0;

    for (const Date& d : dates) {
        FILETIME ft = {};
        d.value->present = SUCCEEDED(contact._GetDateProp(d.tag, &ft));
        d.value->fileTime = (static_cast<uint64_t>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime;
    }
}

void CvCardExport::WriteCard()
{
    m_cardBuffer.Empty();
    if (!m_writer || !m_contact) {
        g_log.LogErr("CvCardExport::WriteCard", 0, "ASSERT failed in line %d", __LINE__);
        return;
    }
    CContact contact(m_contact.Get());
    ReadCardFields(contact, &m_fields, &m_serversTag);
    m_writer->Write(m_fields, &m_cardBuffer);
}

std::string CvCardExport::SafeBaseName(const std::string& name)
{
    // Each line break of a multi-line name opens a parenthesis that closes at the end:
    // A, B, C on three lines becomes "A (B (C))".
    std::string base;
    base.reserve(name.size() + 8);
    size_t pairs = 0;
    for (size_t i = 0; i < name.size(); ++i) {
        if (name[i] == '\r' && i + 1 < name.size() && name[i + 1] == '\n') {
            base += " (";
            ++pairs;
            ++i;
        } else {
            base += name[i];
        }
    }
    base.append(pairs, ')');

    // Characters Windows refuses in file names, and control characters, which it refuses too.
    // The scan steps over double-byte characters, whose second byte may look like a backslash.
    for (size_t i = 0; i < base.size(); ++i) {
        BYTE c = static_cast<BYTE>(base[i]);
        if (::IsDBCSLeadByte(c) && i + 1 < base.size()) {
            ++i;
            continue;
        }
        if ((c >= 1 && c <= 31) || (c != 0 && std::strchr("\\/:*?\"<>|", c)))
            base[i] = '_';
    }
    if (IsDeviceName(base))
        base.insert(0, "_");
    return base;
}

std::string CvCardExport::_MakeBaseName()
{
    if (m_oneFile)
        return SafeBaseName(m_oneFileBaseName);
    CContact contact(m_contact.Get());
    std::wstring display;
    if (FAILED(contact._GetTextPropW(contact_tags::kDisplayName, &display)))
        return "Noname";
    std::string raw;
    if (!display.empty()) {
        int n = ::WideCharToMultiByte(CP_ACP, 0, display.data(), static_cast<int>(display.size()), nullptr, 0,
                                      nullptr, nullptr);
        if (n > 0) {
            raw.resize(static_cast<size_t>(n));
            ::WideCharToMultiByte(CP_ACP, 0, display.data(), static_cast<int>(display.size()), &raw[0], n, nullptr,
                                  nullptr);
        }
    }
    return SafeBaseName(raw);
}

// The first free name of base.vcf, base(1).vcf, base(2).vcf ... is created. Creating with
// CREATE_NEW both finds the free name and takes it in one step: no file is ever replaced, not
// even one that appears between a check and the creation.
bool CvCardExport::_CreateNumberedFile(const std::string& base)
{
    const char* ctx = "CvCardExport::MakeFileName";
    std::string folder = m_targetFolder;
    if (!folder.empty() && folder.back() != '\\' && folder.back() != '/')
        folder += '\\';
    std::string path;
    for (int n = 0; n < kMaxNumber; ++n) {
        char suffix[24] = "";
        if (n > 0)
            common::FormatBounded(suffix, sizeof(suffix), "(%d)", n);
        // A name too long for a path is cut (never inside a double-byte character) so that one
        // long display name cannot stop the whole run.
        size_t fixed = folder.size() + std::strlen(suffix) + 4;
        if (fixed >= MAX_PATH) {
            g_log.LogErr(ctx, -1, "path too long: %s", folder.c_str());
            return false;
        }
        size_t keep = CharBoundary(base, MAX_PATH - 1 - fixed);
        path = folder + base.substr(0, keep) + suffix + ".vcf";
        m_file.reset(::CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_WRITE, nullptr, CREATE_NEW,
                                   FILE_ATTRIBUTE_NORMAL, nullptr));
        if (m_file)
            return true;
        DWORD error = ::GetLastError();
        bool taken = error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS ||
                     (error == ERROR_ACCESS_DENIED && ::GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES);
        if (!taken) {
            g_log.LogErr("CvCardExport::ExportContact", HRESULT_FROM_WIN32(error), "CreateFile(%s)", path.c_str());
            return false;
        }
    }
    g_log.LogErr(ctx, -1, "no free file name for %s in %s", base.c_str(), m_targetFolder.c_str());
    return false;
}

int CvCardExport::_ExportContact()
{
    const char* ctx = "CvCardExport::ExportContact";
    WriteCard();
    if (!m_oneFile || !m_fileOpen) {
        if (!_CreateNumberedFile(_MakeBaseName()))
            return -1;
        if (m_oneFile)
            m_fileOpen = true;
    }
    const char* bytes = m_cardBuffer.bytes;
    DWORD left = static_cast<DWORD>(m_cardBuffer.length);
    while (left > 0) {
        DWORD written = 0;
        if (!::WriteFile(m_file.get(), bytes, left, &written, nullptr) || written == 0) {
            g_log.LogErr(ctx, common::HResultFromLastError(), "WriteFile");
            if (!m_oneFile)
                m_file.reset();
            return -1;
        }
        bytes += written;
        left -= written;
    }
    if (!m_oneFile)
        m_file.reset();
    return 0;
}

int CvCardExport::Execute(const char* targetFolder, const char* folderId, bool selectionMode,
                          const CSelectionList* selection, const char* format, bool oneFile, const char* encoding)
{
    const char* ctx = "CvCardExport::Execute";
    if (folderId && !*folderId)
        g_log.LogErr(ctx, 0, "ASSERT failed in line %d", __LINE__);
    if (selectionMode && (!selection || selection->empty()))
        g_log.LogErr(ctx, 0, "ASSERT failed in line %d", __LINE__);

    m_oneFile = oneFile;
    m_fileOpen = false;
    m_total = m_exported = m_failed = m_rest = 0;

    if (format && std::strcmp(format, "2.1") == 0) {
        m_format = vcard::kVCard21;
    } else if (format && std::strcmp(format, "3.0") == 0) {
        m_format = vcard::kVCard30;
    } else {
        g_log.LogErr(ctx, E_NOTIMPL, "unknown format %s", format ? format : "(null)");
        return E_NOTIMPL;
    }
    m_targetFolder = targetFolder ? targetFolder : "";

    if (folderId) {
        WABFolder* folder = nullptr;
        HRESULT hr = g_wabLib.GetFolder(folderId, &folder);
        if (FAILED(hr) || !folder) {
            g_log.LogErr(ctx, hr, "GetFolder(%s)", folderId);
            CWABLib::FreeFolder(folder);
            return FAILED(hr) ? hr : -1;
        }
        m_oneFileBaseName = folder->name ? folder->name : "";
        CWABLib::FreeFolder(folder);
    } else {
        m_oneFileBaseName = "AddressBook";
    }

    CItemList items;
    int count = 0;
    if (selectionMode) {
        count = selection ? static_cast<int>(selection->size()) : 0;
    } else {
        WABItemList* list = nullptr;
        HRESULT hr = g_wabLib.GetItems(folderId, folderId == nullptr, &list);
        items.reset(list);
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
    if (!progress.Start(m_owner))
        return -1;
    progress.SetText(IDS_EXPORTING);
    progress.SetRange(m_total);
    progress.SetPos(0);

    int codePage = encoding && *encoding ? g_charConverter.CodePageByName(encoding) : CCharConverter::kAnsiCodePage;
    if (codePage <= 0)
        codePage = CCharConverter::kAnsiCodePage;
    g_charConverter.SetCurrentCodePage(codePage);
    PrepareCards(m_format);

    DWORD lastUpdate = ::GetTickCount();
    for (int i = 0; i < m_total; ++i) {
        m_contact.Reset();
        const char* id = selectionMode ? (*selection)[static_cast<size_t>(i)].c_str() : items->items[i].id;
        ULONG type = 0;
        HRESULT hr = g_wabLib.OpenItem(id, &type, m_contact.ReleaseAndGetAddressOf());
        if (FAILED(hr)) {
            g_log.LogErr(ctx, hr, "OpenItem(%s)", id ? id : "");
            ++m_failed;
            status = hr;
            break;
        }
        status = _ExportContact();
        if (status != 0) {
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

    progress.Close();
    items.reset();
    m_contact.Reset();
    if (m_oneFile)
        m_file.reset();
    m_fileOpen = false;

    m_rest = m_total - m_exported - m_failed;
    UINT message = IDS_EXPORT_OK;
    if (m_exported == 0)
        message = IDS_EXPORT_FAILED;
    else if (m_failed >= 1 || m_rest > 0)
        message = IDS_EXPORT_PARTIAL;
    HINSTANCE instance = ::GetModuleHandleA(nullptr);
    ::MessageBoxA(m_owner, common::LoadStringText(instance, message).c_str(),
                  common::LoadStringText(instance, IDS_APP_TITLE).c_str(), MB_OK);
    return status;
}
