// The exports of WAB32.DLL: WABOpen, and the test support declared in wabstandin.h. No exception
// leaves an export: each catches what the standard library may throw and answers with a code.
#include <windows.h>
#include <shlobj.h>

#include <memory>
#include <new>
#include <string>
#include <vector>

#include "common/raii.h"
#include "common/text.h"
#include "standins/wab32/description.h"
#include "standins/wab32/faults.h"
#include "standins/wab32/livecount.h"
#include "standins/wab32/objects.h"
#include "standins/wab32/store.h"
#include "standins/wab32/wabstandin.h"

using namespace wabstandin;

namespace {

// The fault text of the environment applied last, so that reopening the address book in the
// same process does not add the same faults twice.
std::string& AppliedEnvironmentFaults()
{
    static std::string* text = new std::string;
    return *text;
}

void ApplyEnvironmentFaults()
{
    char buf[4096];
    DWORD n = GetEnvironmentVariableA(WABSTANDIN_FAULTS_VARIABLE, buf, sizeof buf);
    if (n == 0 || n >= sizeof buf)
        return;
    std::string text(buf, n);
    if (text == AppliedEnvironmentFaults())
        return;
    AppliedEnvironmentFaults() = text;
    AddFaults(text);
}

std::string DefaultStorePath()
{
    common::CRegKey key;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\Microsoft\\WAB\\WAB4\\Wab File Name", 0, KEY_READ,
                      key.put()) == ERROR_SUCCESS) {
        char value[MAX_PATH] = {};
        DWORD type = 0, size = sizeof value - 1;
        if (RegQueryValueExA(key.get(), nullptr, nullptr, &type, reinterpret_cast<BYTE*>(value), &size) ==
                ERROR_SUCCESS &&
            (type == REG_SZ || type == REG_EXPAND_SZ) && value[0]) {
            value[std::min<DWORD>(size, sizeof value - 1)] = '\0';
            if (type == REG_EXPAND_SZ) {
                char expanded[MAX_PATH];
                DWORD m = ExpandEnvironmentStringsA(value, expanded, sizeof expanded);
                if (m && m <= sizeof expanded)
                    return expanded;
            }
            return value;
        }
    }
    char appData[MAX_PATH] = {};
    if (FAILED(SHGetFolderPathA(nullptr, CSIDL_APPDATA | CSIDL_FLAG_CREATE, nullptr, 0, appData)))
        return std::string();
    char user[256] = {};
    DWORD userSize = sizeof user;
    if (!GetUserNameA(user, &userSize) || !user[0])
        common::CopyBounded(user, sizeof user, "Main");
    return std::string(appData) + "\\Microsoft\\Address Book\\" + user + ".wab";
}

void CreateFolderOf(const std::string& path)
{
    std::string folder = common::FolderOf(path);
    if (!folder.empty())
        SHCreateDirectoryExA(nullptr, folder.c_str(), nullptr);
}

HRESULT IdTextOut(const std::string& id, LPSTR idText, ULONG cchIdText)
{
    if (!idText)
        return S_OK;
    std::string hex = ToHex(id.data(), id.size());
    if (cchIdText < hex.size() + 1) {
        if (cchIdText)
            idText[0] = '\0';
        return MAPI_E_STRING_TOO_LONG;
    }
    common::CopyBounded(idText, cchIdText, hex.c_str());
    return S_OK;
}

// The folder an identifier text names (NULL or "": the personal address book).
HRESULT FolderOf(CStore& store, LPCSTR folderIdText, ULONG* serial)
{
    *serial = 0;
    if (!folderIdText || !*folderIdText) {
        *serial = store.PabSerial();
        return *serial ? S_OK : MAPI_E_NOT_FOUND;
    }
    std::string id;
    ULONG type = 0, s = 0;
    if (!FromHex(folderIdText, strlen(folderIdText), id) ||
        !ParseEntryId(id.data(), static_cast<ULONG>(id.size()), &type, &s) || type != MAPI_ABCONT)
        return MAPI_E_INVALID_ENTRYID;
    CEntryPtr folder = store.Find(s);
    if (!folder || folder->type != MAPI_ABCONT)
        return MAPI_E_NOT_FOUND;
    *serial = s;
    return S_OK;
}

HRESULT AddEntry(LPCSTR storePath, LPCSTR folderIdText, ULONG type, ULONG cValues, const SPropValue* values,
                 CValue* extra, LPSTR idText, ULONG cchIdText)
{
    if (!storePath || (cValues && !values))
        return MAPI_E_INVALID_PARAMETER;
    std::shared_ptr<CStore> store;
    HRESULT hr = CStore::Open(storePath, false, store);
    if (FAILED(hr))
        return hr;
    CEntryData entry;
    entry.type = type;
    hr = FolderOf(*store, folderIdText, &entry.folder);
    if (FAILED(hr))
        return hr;
    for (ULONG i = 0; i < cValues; ++i) {
        if (PROP_TYPE(values[i].ulPropTag) == PT_ERROR)
            continue;
        CValue v;
        hr = FromPropValue(values[i], v);
        if (FAILED(hr))
            return hr;
        PutProp(entry.props, std::move(v));
    }
    if (extra)
        PutProp(entry.props, *extra);
    hr = store->Save(entry, true);
    if (FAILED(hr))
        return hr;
    return IdTextOut(MakeEntryId(type, entry.serial), idText, cchIdText);
}

}  // namespace

STDMETHODIMP WABOpen(LPADRBOOK* lppAdrBook, LPWABOBJECT* lppWABObject, LPWAB_PARAM lpWP, DWORD Reserved2)
{
    (void)Reserved2;
    if (!lppAdrBook || !lppWABObject)
        return MAPI_E_INVALID_PARAMETER;
    *lppAdrBook = nullptr;
    *lppWABObject = nullptr;
    try {
        ApplyEnvironmentFaults();
        HRESULT hr = Fault("WABOpen", nullptr, 0);
        if (FAILED(hr))
            return hr;
        std::string path;
        if (lpWP && lpWP->cbSize >= offsetof(WAB_PARAM, ulFlags) && lpWP->szFileName && lpWP->szFileName[0]) {
            path = lpWP->szFileName;
        } else {
            path = DefaultStorePath();
            if (path.empty())
                return MAPI_E_NOT_FOUND;
            CreateFolderOf(path);
        }
        std::shared_ptr<CStore> store;
        hr = CStore::Open(path, true, store);
        if (FAILED(hr))
            return hr;
        auto* book = new CAddrBook(store);
        auto* wab = new (std::nothrow) CWabObject();
        if (!wab) {
            book->Release();
            return E_OUTOFMEMORY;
        }
        *lppAdrBook = book;
        *lppWABObject = wab;
        return S_OK;
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    } catch (...) {
        return E_UNEXPECTED;
    }
}

extern "C" {

HRESULT WabStandinDefaultStorePath(LPSTR path, ULONG cchPath)
{
    if (!path || !cchPath)
        return MAPI_E_INVALID_PARAMETER;
    try {
        std::string p = DefaultStorePath();
        if (p.empty() || p.size() + 1 > cchPath) {
            path[0] = '\0';
            return p.empty() ? MAPI_E_NOT_FOUND : MAPI_E_STRING_TOO_LONG;
        }
        common::CopyBounded(path, cchPath, p.c_str());
        return S_OK;
    } catch (...) {
        return E_OUTOFMEMORY;
    }
}

HRESULT WabStandinCreateStore(LPCSTR storePath, LPCWSTR pabName)
{
    if (!storePath || !*storePath)
        return MAPI_E_INVALID_PARAMETER;
    try {
        return CStore::CreateNew(storePath, pabName ? pabName : L"Contacts");
    } catch (...) {
        return E_OUTOFMEMORY;
    }
}

HRESULT WabStandinGetPab(LPCSTR storePath, LPSTR idText, ULONG cchIdText)
{
    if (!storePath || !idText)
        return MAPI_E_INVALID_PARAMETER;
    try {
        std::shared_ptr<CStore> store;
        HRESULT hr = CStore::Open(storePath, false, store);
        if (FAILED(hr))
            return hr;
        ULONG pab = store->PabSerial();
        if (!pab)
            return MAPI_E_NOT_FOUND;
        return IdTextOut(MakeEntryId(MAPI_ABCONT, pab), idText, cchIdText);
    } catch (...) {
        return E_OUTOFMEMORY;
    }
}

HRESULT WabStandinAddFolder(LPCSTR storePath, LPCWSTR name, LPSTR idText, ULONG cchIdText)
{
    if (!storePath || !name)
        return MAPI_E_INVALID_PARAMETER;
    try {
        std::shared_ptr<CStore> store;
        HRESULT hr = CStore::Open(storePath, false, store);
        if (FAILED(hr))
            return hr;
        CEntryData folder;
        folder.type = MAPI_ABCONT;
        CValue v;
        v.tag = PR_DISPLAY_NAME_W;
        v.text = name;
        PutProp(folder.props, v);
        hr = store->Save(folder);
        if (FAILED(hr))
            return hr;
        return IdTextOut(MakeEntryId(MAPI_ABCONT, folder.serial), idText, cchIdText);
    } catch (...) {
        return E_OUTOFMEMORY;
    }
}

HRESULT WabStandinAddContact(LPCSTR storePath, LPCSTR folderIdText, ULONG cValues, const SPropValue* values,
                                    LPSTR idText, ULONG cchIdText)
{
    try {
        return AddEntry(storePath, folderIdText, MAPI_MAILUSER, cValues, values, nullptr, idText, cchIdText);
    } catch (...) {
        return E_OUTOFMEMORY;
    }
}

HRESULT WabStandinAddGroup(LPCSTR storePath, LPCSTR folderIdText, LPCWSTR name, ULONG cMembers,
                                  const LPCSTR* memberIdTexts, ULONG cValues, const SPropValue* values, LPSTR idText,
                                  ULONG cchIdText)
{
    if (!name || (cMembers && !memberIdTexts))
        return MAPI_E_INVALID_PARAMETER;
    try {
        CValue members;
        members.tag = kPrWabDlEntries;
        for (ULONG i = 0; i < cMembers; ++i) {
            std::string id;
            if (!memberIdTexts[i] || !FromHex(memberIdTexts[i], strlen(memberIdTexts[i]), id))
                return MAPI_E_INVALID_ENTRYID;
            members.blobs.push_back(id);
        }
        std::vector<SPropValue> all(values, values + cValues);
        SPropValue display = {};
        display.ulPropTag = PR_DISPLAY_NAME_W;
        display.Value.lpszW = const_cast<LPWSTR>(name);
        all.push_back(display);
        return AddEntry(storePath, folderIdText, MAPI_DISTLIST, static_cast<ULONG>(all.size()), all.data(), &members,
                        idText, cchIdText);
    } catch (...) {
        return E_OUTOFMEMORY;
    }
}

HRESULT WabStandinGetNamedTag(LPCSTR storePath, const GUID* propSet, LONG lid, ULONG* propTag)
{
    if (!storePath || !propSet || !propTag)
        return MAPI_E_INVALID_PARAMETER;
    *propTag = 0;
    try {
        std::shared_ptr<CStore> store;
        HRESULT hr = CStore::Open(storePath, false, store);
        if (FAILED(hr))
            return hr;
        ULONG id = 0;
        hr = store->NamedId(*propSet, MNID_ID, lid, std::wstring(), true, &id);
        if (FAILED(hr))
            return hr;
        *propTag = PROP_TAG(PT_UNSPECIFIED, id);
        return S_OK;
    } catch (...) {
        return E_OUTOFMEMORY;
    }
}

HRESULT WabStandinLoadDescription(LPCSTR storePath, LPCSTR descriptionPath, LPSTR errorText, ULONG cchErrorText)
{
    if (errorText && cchErrorText)
        errorText[0] = '\0';
    if (!storePath || !descriptionPath)
        return MAPI_E_INVALID_PARAMETER;
    try {
        common::CFileHandle file(CreateFileA(descriptionPath, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                             FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!file) {
            HRESULT hr = common::HResultFromLastError();
            if (errorText)
                common::FormatBounded(errorText, cchErrorText, "cannot open %s", descriptionPath);
            return hr;
        }
        LARGE_INTEGER size;
        if (!GetFileSizeEx(file.get(), &size) || size.QuadPart > 64 * 1024 * 1024)
            return MAPI_E_TOO_BIG;
        std::string text(static_cast<size_t>(size.QuadPart), '\0');
        DWORD got = 0;
        if (!text.empty() && !ReadFile(file.get(), &text[0], static_cast<DWORD>(text.size()), &got, nullptr))
            return common::HResultFromLastError();
        text.resize(got);
        std::shared_ptr<CStore> store;
        HRESULT hr = CStore::Open(storePath, true, store);
        if (FAILED(hr)) {
            if (errorText)
                common::FormatBounded(errorText, cchErrorText, "cannot open the store %s", storePath);
            return hr;
        }
        std::string error;
        hr = LoadDescription(*store, text, error);
        if (FAILED(hr) && errorText)
            common::CopyBounded(errorText, cchErrorText, error.c_str());
        return hr;
    } catch (...) {
        return E_OUTOFMEMORY;
    }
}

HRESULT WabStandinInjectFault(LPCSTR call, LPCSTR entry, HRESULT code, ULONG skip)
{
    try {
        return AddFault(call, entry, code, skip);
    } catch (...) {
        return E_OUTOFMEMORY;
    }
}

HRESULT WabStandinAddFaults(LPCSTR faults)
{
    if (!faults)
        return MAPI_E_INVALID_PARAMETER;
    try {
        return AddFaults(faults);
    } catch (...) {
        return E_OUTOFMEMORY;
    }
}

void WabStandinClearFaults(void)
{
    ClearFaults();
    AppliedEnvironmentFaults().clear();
}

ULONG WabStandinFaultHits(LPCSTR call)
{
    return FaultHits(call);
}

ULONG WabStandinLiveObjects(void)
{
    return LiveObjects();
}

}  // extern "C"
