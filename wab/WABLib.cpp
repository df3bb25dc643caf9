// The session with the address book and its single entries: opening and closing the library,
// buffers, and opening, creating, deleting, reading and writing entries. The folder and item
// lists are in WABLists.cpp.
#include "wab/WABLib.h"

#include <algorithm>
#include <cstring>
#include <utility>
#include <vector>

#include "base/Log.h"
#include "common/entryid.h"
#include "common/text.h"

using Microsoft::WRL::ComPtr;

namespace {

const char kInitContext[] = "CWAB::Init";
const char kDllPathKey[] = "Software\\Microsoft\\WAB\\DLLPath";
const char kDefaultDll[] = "WAB32.DLL";
const size_t kPathSize = 260;

// A one-tag array laid out as the address book expects it.
struct OneTag {
    ULONG cValues;
    ULONG aulPropTag[1];
};

SPropTagArray* AsTagArray(OneTag* tags)
{
    return reinterpret_cast<SPropTagArray*>(tags);
}

}  // namespace

CWABLib::~CWABLib()
{
    Close();
}

bool CWABLib::IsOpen() const
{
    return m_library && m_open && m_addrBook && m_wabObject;
}

HRESULT CWABLib::_CheckOpen(const char* context) const
{
    if (IsOpen())
        return S_OK;
    g_log.LogErr(context, MAPI_E_NOT_INITIALIZED, "address book not open");
    return MAPI_E_NOT_INITIALIZED;
}

void CWABLib::Close()
{
    m_addrBook.Reset();
    m_wabObject.Reset();
    m_library.reset();
    m_open = nullptr;
    m_storeFile.clear();
    m_hasStoreFile = false;
}

bool CWABLib::Init(bool profiles, const char* storeFile, bool mail)
{
    // The caller may hand us our own kept name (ReInit does not, but nothing forbids it).
    std::string store = storeFile ? storeFile : "";
    Close();
    m_hasStoreFile = storeFile != nullptr;
    m_storeFile = store;
    m_profiles = profiles;
    m_mail = mail;

    char path[kPathSize] = "";
    {
        common::CRegKey key;
        if (::RegOpenKeyExA(HKEY_LOCAL_MACHINE, kDllPathKey, 0, KEY_READ, key.put()) == ERROR_SUCCESS) {
            DWORD type = 0;
            DWORD size = sizeof(path) - 1;
            LONG rc = ::RegQueryValueExA(key.get(), nullptr, nullptr, &type,
                                         reinterpret_cast<BYTE*>(path), &size);
            // Only a text names a library; a value of another type or one too long for the
            // buffer is treated as missing.
            if (rc != ERROR_SUCCESS || (type != REG_SZ && type != REG_EXPAND_SZ) || size >= sizeof(path))
                size = 0;
            path[size] = '\0';
        }
    }

    if (std::strchr(path, '%')) {
        char expanded[kPathSize] = "";
        DWORD needed = ::ExpandEnvironmentStringsA(path, expanded, sizeof(expanded));
        if (needed == 0)
            g_log.LogErr(kInitContext, static_cast<long>(::GetLastError()), "ExpandEnvironmentStrings");
        else if (needed > sizeof(expanded))
            g_log.LogErr(kInitContext, 0, "ExpandEnvironmentStrings - need %d bytes", static_cast<int>(needed));
        else
            common::CopyBounded(path, sizeof(path), expanded);
    }

    m_library.reset(::LoadLibraryA(path[0] ? path : kDefaultDll));
    if (!m_library) {
        g_log.LogErr(kInitContext, static_cast<long>(::GetLastError()), "Cant load wab32.dll");
        Close();
        return false;
    }
    m_open = reinterpret_cast<LPWABOPEN>(::GetProcAddress(m_library.get(), "WABOpen"));
    if (!m_open) {
        g_log.LogErr(kInitContext, static_cast<long>(::GetLastError()),
                     "Cant find WABOpen function in wab32.dll");
        Close();
        return false;
    }

    WAB_PARAM param = {};
    param.cbSize = sizeof(WAB_PARAM);
    param.hwnd = nullptr;
    param.szFileName = m_hasStoreFile ? &m_storeFile[0] : nullptr;
    param.ulFlags = (m_profiles ? WAB_ENABLE_PROFILES : 0) | (m_mail ? WAB_USE_OE_SENDMAIL : 0);
    HRESULT hr = m_open(m_addrBook.ReleaseAndGetAddressOf(), m_wabObject.ReleaseAndGetAddressOf(), &param, 0);
    if (hr != S_OK || !m_addrBook || !m_wabObject) {
        g_log.LogErr(kInitContext, hr, "Cant init wab");
        Close();
        return false;
    }
    return true;
}

bool CWABLib::ReInit()
{
    if (!IsOpen()) {
        g_log.LogErr("CWABLib::ReInit", 0, "cant relogon coz not logged now");
        return false;
    }
    bool hasStore = m_hasStoreFile;
    std::string store = m_storeFile;
    bool ok = Init(m_profiles, hasStore ? store.c_str() : nullptr, m_mail);
    if (!ok)
        g_log.LogErr("CWABLib::ReInit", 0, "Fatal error - logon failed");
    return ok;
}

HRESULT CWABLib::AllocateBuffer(ULONG size, void** buffer)
{
    QUILLON_ASSERT(buffer, "CWABLib::AllocateBuffer");
    if (!buffer)
        return -1;
    *buffer = nullptr;
    if (!m_wabObject)
        return -2;
    return m_wabObject->AllocateBuffer(size, buffer);
}

HRESULT CWABLib::FreeBuffer(void* buffer)
{
    QUILLON_ASSERT(buffer, "CWABLib::FreeBuffer");
    if (!buffer)
        return -1;
    if (!m_wabObject)
        return -2;
    return m_wabObject->FreeBuffer(buffer);
}

void CWABLib::_FreeRows(SRowSet* rows)
{
    for (ULONG i = 0; rows && i < rows->cRows; ++i)
        _FreeBuffer(rows->aRow[i].lpProps);
    _FreeBuffer(rows);
}

HRESULT CWABLib::_GetPAB(const char* context, std::string* pab)
{
    ULONG cb = 0;
    ENTRYID* id = nullptr;
    HRESULT hr = m_addrBook->GetPAB(&cb, &id);
    if (FAILED(hr)) {
        g_log.LogErr(context, hr, "AddrBook->GetPAB");
        return hr;
    }
    pab->assign(reinterpret_cast<const char*>(id), id ? cb : 0);
    _FreeBuffer(id);
    return S_OK;
}

HRESULT CWABLib::_OpenContainer(ULONG cb, const ENTRYID* id, const char* context, const char* failure,
                                ComPtr<IABContainer>* container, ULONG* objectType)
{
    *objectType = 0;
    HRESULT hr = m_addrBook->OpenEntry(cb, const_cast<ENTRYID*>(id), nullptr, MAPI_BEST_ACCESS, objectType,
                                       reinterpret_cast<IUnknown**>(container->ReleaseAndGetAddressOf()));
    if (FAILED(hr))
        g_log.LogErr(context, hr, "%s", failure);
    return hr;
}

HRESULT CWABLib::_OpenEntry(const char* entryId, ULONG* objectType, IUnknown** object)
{
    const char* ctx = "CWABLib::_OpenEntry";
    QUILLON_ASSERT(objectType && object, ctx);
    if (!objectType || !object)
        return -1;
    *objectType = 0;
    *object = nullptr;
    HRESULT hr = _CheckOpen(ctx);
    if (FAILED(hr))
        return hr;
    std::vector<BYTE> id = common::EntryIdFromText(entryId);
    return m_addrBook->OpenEntry(static_cast<ULONG>(id.size()), _AsEntryId(id), nullptr, MAPI_BEST_ACCESS,
                                 objectType, object);
}

HRESULT CWABLib::OpenItem(const char* entryId, ULONG* objectType, IMAPIProp** item)
{
    const char* ctx = "CWABLib::OpenItem";
    QUILLON_ASSERT(objectType && item, ctx);
    if (!objectType || !item)
        return -1;
    *item = nullptr;
    IUnknown* object = nullptr;
    HRESULT hr = _OpenEntry(entryId, objectType, &object);
    if (FAILED(hr))
        return hr;
    if (*objectType != MAPI_MAILUSER && *objectType != MAPI_DISTLIST) {
        g_log.LogErr(ctx, static_cast<long>(*objectType), "This function opens only MailUser or DistList objects");
        if (object)
            object->Release();
        return kFailed;
    }
    // Mail users and groups are property objects: OpenEntry without an interface hands out
    // their own interface, which starts with IMAPIProp.
    *item = reinterpret_cast<IMAPIProp*>(object);
    return hr;
}

HRESULT CWABLib::CreateItem(const char* folderId, IMAPIProp** item, bool group)
{
    const char* ctx = "CWABLib::CreateItem";
    QUILLON_ASSERT(item, ctx);
    if (!item)
        return -1;
    *item = nullptr;
    HRESULT hr = _CheckOpen(ctx);
    if (FAILED(hr))
        return hr;
    std::vector<BYTE> id = common::EntryIdFromText(folderId);
    ComPtr<IABContainer> container;
    ULONG type = 0;
    hr = _OpenContainer(static_cast<ULONG>(id.size()), _AsEntryId(id), ctx, "open container", &container, &type);
    if (FAILED(hr))
        return hr;
    if (type != MAPI_ABCONT) {
        g_log.LogErr(ctx, static_cast<long>(type), "opened item is not container");
        return kFailed;
    }

    OneTag tags = {1, {group ? static_cast<ULONG>(PR_DEF_CREATE_DL) : static_cast<ULONG>(PR_DEF_CREATE_MAILUSER)}};
    ULONG count = 0;
    SPropValue* values = nullptr;
    hr = container->GetProps(AsTagArray(&tags), 0, &count, &values);
    common::CScopeExit freeValues([&] { _FreeBuffer(values); });
    // A template the container does not have comes back as an error value, not as a failure.
    if (SUCCEEDED(hr) && (!values || count < 1 || PROP_TYPE(values[0].ulPropTag) != PT_BINARY))
        hr = (values && count >= 1 && PROP_TYPE(values[0].ulPropTag) == PT_ERROR) ? values[0].Value.err
                                                                               : MAPI_E_NOT_FOUND;
    if (FAILED(hr)) {
        g_log.LogErr(ctx, hr, "get templateID");
        return hr;
    }
    hr = container->CreateEntry(values[0].Value.bin.cb, reinterpret_cast<ENTRYID*>(values[0].Value.bin.lpb), 0,
                                item);
    if (FAILED(hr)) {
        *item = nullptr;
        g_log.LogErr(ctx, hr, "CreateEntry");
    }
    return hr;
}

HRESULT CWABLib::DeleteItem(const char* entryId)
{
    const char* ctx = "CWABLib::DeleteItem";
    HRESULT hr = _CheckOpen(ctx);
    if (FAILED(hr))
        return hr;
    std::string pab;
    hr = _GetPAB(ctx, &pab);
    if (FAILED(hr))
        return hr;
    ComPtr<IABContainer> container;
    ULONG type = 0;
    hr = _OpenContainer(static_cast<ULONG>(pab.size()), reinterpret_cast<const ENTRYID*>(pab.data()), ctx,
                        "AddrBook->OpenEntry(PAB)", &container, &type);
    if (FAILED(hr))
        return hr;
    QUILLON_ASSERT(type == MAPI_ABCONT, ctx);

    std::vector<BYTE> id = common::EntryIdFromText(entryId);
    SBinary bin = {static_cast<ULONG>(id.size()), id.empty() ? nullptr : id.data()};
    ENTRYLIST list = {1, &bin};
    hr = container->DeleteEntries(&list, 0);
    if (FAILED(hr))
        g_log.LogErr(ctx, hr, "PAB->DeleteEntries");
    return hr;
}

HRESULT CWABLib::GetItemProps(IMAPIProp* item, ULONG tag, SPropValue** value)
{
    const char* ctx = "CWABLib::GetItemProps";
    QUILLON_ASSERT(value, ctx);
    if (!value)
        return -1;
    *value = nullptr;
    QUILLON_ASSERT(item, ctx);
    if (!item)
        return -1;
    OneTag tags = {1, {tag}};
    ULONG count = 0;
    SPropValue* values = nullptr;
    HRESULT hr = item->GetProps(AsTagArray(&tags), 0, &count, &values);
    common::CScopeExit freeValues([&] { _FreeBuffer(values); });
    if (FAILED(hr)) {
        g_log.LogErr(ctx, hr, "Item->GetProps");
        return hr;
    }
    if (!values || count < 1)
        return MAPI_E_NOT_FOUND;
    // The property could not be read: the value carries the reason.
    if (hr == MAPI_W_ERRORS_RETURNED || PROP_TYPE(values[0].ulPropTag) == PT_ERROR)
        return PROP_TYPE(values[0].ulPropTag) == PT_ERROR ? values[0].Value.err : MAPI_E_NOT_FOUND;
    *value = std::exchange(values, nullptr);
    return hr;
}

HRESULT CWABLib::GetItemPropsList(IMAPIProp* item, const ULONG* tags, ULONG count, SPropValue** values)
{
    const char* ctx = "CWABLib::GetItemPropsList";
    QUILLON_ASSERT(values, ctx);
    if (!values)
        return -1;
    *values = nullptr;
    QUILLON_ASSERT(item && tags && count != 0, ctx);
    if (!item || !tags || count == 0)
        return -1;
    // SPropTagArray: the count, then the tags.
    std::vector<ULONG> array(count + 1);
    array[0] = count;
    std::copy(tags, tags + count, array.begin() + 1);
    ULONG got = 0;
    SPropValue* read = nullptr;
    HRESULT hr = item->GetProps(reinterpret_cast<SPropTagArray*>(array.data()), 0, &got, &read);
    common::CScopeExit freeRead([&] { _FreeBuffer(read); });
    if (FAILED(hr)) {
        g_log.LogErr(ctx, hr, "Item->GetProps");
        return hr;
    }
    if (!read || got != count) {
        g_log.LogErr(ctx, MAPI_E_CALL_FAILED, "Item->GetProps gave %lu values for %lu tags", got, count);
        return MAPI_E_CALL_FAILED;
    }
    *values = std::exchange(read, nullptr);
    return S_OK;
}

HRESULT CWABLib::SetItemProps(IMAPIProp* item, const SPropValue* value, SPropProblemArray** problems)
{
    const char* ctx = "CWABLib::SetItemProps";
    if (problems)
        *problems = nullptr;
    QUILLON_ASSERT(item && value, ctx);
    if (!item || !value)
        return -1;
    SPropProblemArray* listed = nullptr;
    HRESULT hr = item->SetProps(1, const_cast<SPropValue*>(value), &listed);
    if (listed && listed->cProblem > 0) {
        std::string text;
        for (ULONG i = 0; i < listed->cProblem; ++i)
            text += common::Format("tag=0x%x err=0x%x", static_cast<unsigned>(listed->aProblem[i].ulPropTag),
                                   static_cast<unsigned>(listed->aProblem[i].scode));
        g_log.LogInf(0, ctx, "Problems dumb:\n%s", text.c_str());
    }
    if (FAILED(hr))
        g_log.LogErr(ctx, hr, "Item->SetProps");
    if (problems)
        *problems = listed;
    else
        _FreeBuffer(listed);
    return hr;
}

HRESULT CWABLib::SetItemProp(IMAPIProp* item, const SPropValue* value)
{
    SPropProblemArray* problems = nullptr;
    HRESULT hr = SetItemProps(item, value, &problems);
    // One value was written: a problem listed for it means it was not stored, whatever
    // SetProps itself returned.
    if (problems && problems->cProblem > 0 && FAILED(problems->aProblem[0].scode))
        hr = problems->aProblem[0].scode;
    if (problems) {
        HRESULT freed = FreeBuffer(problems);
        if (FAILED(freed))
            g_log.LogErr("CWABLib::SetItemProp", freed, "FreeBuffer");
    }
    return hr;
}
