// Groups of the address book: a group (MAPI_DISTLIST) is an entry of a folder like a contact, and
// holds its members as their entry identifiers in PR_WAB_DL_ENTRIES. Nothing in the address book
// carries a membership over from one contact to another: whoever replaces a contact by a new one
// moves it in its groups here.
#include "wab/WABLib.h"

#include <algorithm>
#include <cstring>
#include <unordered_set>

#include "base/Log.h"
#include "common/entryid.h"

using Microsoft::WRL::ComPtr;

namespace {

bool SameEntry(const std::string& a, const char* b)
{
    return b && _stricmp(a.c_str(), b) == 0;
}

// A one-off entry identifier: 4 bytes of flags, the one-off provider's identifier, a 16-bit version
// and 16-bit flags (0x8000: the texts are UTF-16), then the display name, the address type and the
// address, each ending in a zero. False when the bytes are not one.
bool OneOffParts(const BYTE* bytes, ULONG size, std::wstring* name, std::wstring* address)
{
    static const BYTE kOneOffProvider[16] = {0x81, 0x2B, 0x1F, 0xA4, 0xBE, 0xA3, 0x10, 0x19,
                                             0x9D, 0x6E, 0x00, 0xDD, 0x01, 0x0F, 0x54, 0x02};
    if (!bytes || size < 24 || std::memcmp(bytes + 4, kOneOffProvider, 16) != 0)
        return false;
    const bool wide = (bytes[22] | (bytes[23] << 8)) & 0x8000;
    std::wstring texts[3];
    size_t at = 24;
    for (std::wstring& text : texts) {
        for (;;) {
            if (at + (wide ? 2 : 1) > size)
                return false;
            wchar_t c = wide ? static_cast<wchar_t>(bytes[at] | (bytes[at + 1] << 8)) : static_cast<wchar_t>(bytes[at]);
            at += wide ? 2 : 1;
            if (c == 0)
                break;
            text.push_back(c);
        }
    }
    *name = texts[0];
    *address = texts[2];
    return true;
}

}  // namespace

HRESULT CWABLib::_OpenGroup(const char* ctx, const char* groupId, ComPtr<IMAPIProp>* group)
{
    group->Reset();
    HRESULT hr = _CheckOpen(ctx);
    if (FAILED(hr))
        return hr;
    // A group is a property object: OpenEntry without an interface hands out its own interface,
    // which starts with IMAPIProp. It goes straight into the ComPtr (whose Attach would add a
    // reference of its own).
    ULONG type = 0;
    hr = _OpenEntry(groupId, &type, reinterpret_cast<IUnknown**>(group->ReleaseAndGetAddressOf()));
    if (FAILED(hr)) {
        group->Reset();
        g_log.LogErr(ctx, hr, "AddrBook->OpenEntry");
        return hr;
    }
    if (type != MAPI_DISTLIST) {
        g_log.LogErr(ctx, static_cast<long>(type), "Object is not DistList");
        group->Reset();
        return kFailed;
    }
    return S_OK;
}

HRESULT CWABLib::_ReadMembers(IMAPIProp* group, std::vector<std::string>* members)
{
    members->clear();
    SPropValue* value = nullptr;
    HRESULT hr = GetItemProps(group, kPrWabDlEntries, &value);
    common::CScopeExit freeValue([&] { _FreeBuffer(value); });
    // A group nobody has put a member in has no member property.
    if (hr == MAPI_E_NOT_FOUND)
        return S_OK;
    if (FAILED(hr))
        return hr;
    if (PROP_TYPE(value->ulPropTag) != PT_MV_BINARY)
        return S_OK;
    const SBinaryArray& list = value->Value.MVbin;
    for (ULONG i = 0; i < list.cValues && list.lpbin; ++i)
        members->push_back(common::EntryIdToText(list.lpbin[i].lpb, list.lpbin[i].lpb ? list.lpbin[i].cb : 0));
    return S_OK;
}

HRESULT CWABLib::_WriteMembers(const char* ctx, IMAPIProp* group, const std::vector<std::string>& members)
{
    std::vector<std::vector<BYTE>> bytes;
    std::vector<SBinary> list;
    bytes.reserve(members.size());
    for (const std::string& id : members) {
        bytes.push_back(common::EntryIdFromText(id.c_str()));
        list.push_back({static_cast<ULONG>(bytes.back().size()), bytes.back().empty() ? nullptr : bytes.back().data()});
    }
    SPropValue value = {};
    value.ulPropTag = kPrWabDlEntries;
    value.Value.MVbin.cValues = static_cast<ULONG>(list.size());
    value.Value.MVbin.lpbin = list.empty() ? nullptr : list.data();
    SPropProblemArray* problems = nullptr;
    HRESULT hr = SetItemProps(group, &value, &problems);  // logs a failure of the call itself
    if (SUCCEEDED(hr) && problems && problems->cProblem > 0 && FAILED(problems->aProblem[0].scode)) {
        hr = problems->aProblem[0].scode;
        g_log.LogErr(ctx, hr, "PR_WAB_DL_ENTRIES refused");
    }
    _FreeBuffer(problems);
    if (FAILED(hr))
        return hr;
    hr = group->SaveChanges(0);
    if (FAILED(hr))
        g_log.LogErr("CWABLib::SaveItem", hr, "SaveChanges");
    return hr;
}

void CWABLib::_ReadNameAndOneOffs(IMAPIProp* group, CWabGroup* into)
{
    const ULONG tags[2] = {PR_DISPLAY_NAME_W, kPrWabDlOneOffs};
    SPropValue* values = nullptr;
    HRESULT hr = GetItemPropsList(group, tags, 2, &values);
    common::CScopeExit freeValues([&] { _FreeBuffer(values); });
    if (FAILED(hr) || !values)
        return;
    if (values[0].ulPropTag == PR_DISPLAY_NAME_W && values[0].Value.lpszW)
        into->name = values[0].Value.lpszW;
    if (values[1].ulPropTag == kPrWabDlOneOffs) {
        const SBinaryArray& list = values[1].Value.MVbin;
        for (ULONG i = 0; i < list.cValues && list.lpbin; ++i) {
            std::wstring name, address;
            if (!OneOffParts(list.lpbin[i].lpb, list.lpbin[i].cb, &name, &address))
                continue;
            into->oneOffNames.push_back(name);
            into->oneOffAddresses.push_back(address);
        }
    }
}

HRESULT CWABLib::GetGroups(const char* folderId, std::vector<CWabGroup>* groups)
{
    const char* ctx = "CWABLib::GetGroups";
    QUILLON_ASSERT(groups, ctx);
    if (!groups)
        return -1;
    groups->clear();
    static const struct {
        ULONG cValues;
        ULONG aulPropTag[2];
    } kColumns = {2, {PR_ENTRYID, PR_OBJECT_TYPE}};
    SPropValue type = {};
    type.ulPropTag = PR_OBJECT_TYPE;
    type.Value.l = MAPI_DISTLIST;
    SRestriction onlyGroups = {};
    onlyGroups.rt = RES_PROPERTY;
    onlyGroups.res.resProperty.relop = RELOP_EQ;
    onlyGroups.res.resProperty.ulPropTag = PR_OBJECT_TYPE;
    onlyGroups.res.resProperty.lpProp = &type;
    CItemList list;
    HRESULT hr = GetItemsEx(folderId, folderId ? 0 : (WAB_LOCAL_CONTAINERS | WAB_PROFILE_CONTENTS),
                            reinterpret_cast<const SPropTagArray*>(&kColumns), &onlyGroups, nullptr, list.put());
    if (FAILED(hr))
        return hr;
    for (ULONG i = 0; list && i < list->count; ++i) {
        CWabGroup group;
        group.id = list->items[i].id;
        ComPtr<IMAPIProp> entry;
        hr = _OpenGroup(ctx, group.id.c_str(), &entry);
        if (SUCCEEDED(hr))
            hr = _ReadMembers(entry.Get(), &group.members);
        if (FAILED(hr))
            return hr;
        _ReadNameAndOneOffs(entry.Get(), &group);
        groups->push_back(std::move(group));
    }
    return S_OK;
}

HRESULT CWABLib::CreateGroup(const char* folderId, const std::wstring& name, std::string* groupId)
{
    const char* ctx = "CWABLib::CreateGroup";
    groupId->clear();
    ComPtr<IMAPIProp> group;
    HRESULT hr = CreateItem(folderId, group.GetAddressOf(), true);
    if (FAILED(hr))
        return hr;
    if (!group)
        return E_POINTER;
    SPropValue value = {};
    value.ulPropTag = PR_DISPLAY_NAME_W;
    value.Value.lpszW = const_cast<wchar_t*>(name.c_str());
    hr = SetItemProp(group.Get(), &value);
    if (SUCCEEDED(hr)) {
        hr = group->SaveChanges(KEEP_OPEN_READONLY);
        if (FAILED(hr))
            g_log.LogErr(ctx, hr, "SaveChanges");
    }
    if (FAILED(hr))
        return hr;
    SPropValue* id = nullptr;
    hr = GetItemProps(group.Get(), PR_ENTRYID, &id);
    common::CScopeExit freeId([&] { _FreeBuffer(id); });
    if (SUCCEEDED(hr) && (!id || id->ulPropTag != PR_ENTRYID || id->Value.bin.cb == 0))
        hr = MAPI_E_NOT_FOUND;
    if (FAILED(hr)) {
        g_log.LogErr(ctx, hr, "PR_ENTRYID of the new group");
        return hr;
    }
    *groupId = common::EntryIdToText(id->Value.bin.lpb, id->Value.bin.cb);
    return S_OK;
}

HRESULT CWABLib::AddGroupMembers(const char* groupId, const std::vector<std::string>& added,
                                 std::vector<std::string>* members)
{
    const char* ctx = "CWABLib::AddGroupMembers";
    if (members)
        members->clear();
    ComPtr<IMAPIProp> group;
    std::vector<std::string> list;
    HRESULT hr = _OpenGroupMembers(ctx, groupId, &group, &list);
    if (FAILED(hr))
        return hr;
    std::unordered_set<std::string> known;
    for (const std::string& id : list)
        known.insert(common::EntryIdKey(id));
    const size_t before = list.size();
    for (const std::string& id : added) {
        if (!id.empty() && known.insert(common::EntryIdKey(id)).second)
            list.push_back(id);
    }
    if (list.size() > before) {
        hr = _WriteMembers(ctx, group.Get(), list);
        if (FAILED(hr))
            return hr;
    }
    if (members)
        members->swap(list);
    return S_OK;
}

HRESULT CWABLib::AddGroupOneOffs(const char* groupId, const std::vector<std::wstring>& names,
                                 const std::vector<std::wstring>& addresses)
{
    const char* ctx = "CWABLib::AddGroupOneOffs";
    ComPtr<IMAPIProp> group;
    HRESULT hr = _OpenGroup(ctx, groupId, &group);
    if (FAILED(hr))
        return hr;
    // What the group keeps, as the address book's bytes, and the addresses among them.
    std::vector<std::string> kept;
    std::unordered_set<std::wstring> known;
    SPropValue* value = nullptr;
    hr = GetItemProps(group.Get(), kPrWabDlOneOffs, &value);
    common::CScopeExit freeValue([&] { _FreeBuffer(value); });
    if (FAILED(hr) && hr != MAPI_E_NOT_FOUND)
        return hr;
    if (SUCCEEDED(hr) && PROP_TYPE(value->ulPropTag) == PT_MV_BINARY) {
        const SBinaryArray& list = value->Value.MVbin;
        for (ULONG i = 0; i < list.cValues && list.lpbin; ++i) {
            kept.emplace_back(reinterpret_cast<const char*>(list.lpbin[i].lpb), list.lpbin[i].lpb ? list.lpbin[i].cb : 0);
            std::wstring name, address;
            if (OneOffParts(list.lpbin[i].lpb, list.lpbin[i].cb, &name, &address))
                known.insert(address);
        }
    }
    const size_t before = kept.size();
    for (size_t i = 0; i < addresses.size(); ++i) {
        if (addresses[i].empty() || !known.insert(addresses[i]).second)
            continue;
        std::wstring name = i < names.size() && !names[i].empty() ? names[i] : addresses[i];
        ULONG size = 0;
        ENTRYID* id = nullptr;
        hr = m_addrBook->CreateOneOff(reinterpret_cast<LPTSTR>(&name[0]), reinterpret_cast<LPTSTR>(const_cast<wchar_t*>(L"SMTP")),
                                      reinterpret_cast<LPTSTR>(const_cast<wchar_t*>(addresses[i].c_str())), MAPI_UNICODE,
                                      &size, &id);
        if (FAILED(hr)) {
            g_log.LogErr(ctx, hr, "CreateOneOff");
            return hr;
        }
        kept.emplace_back(reinterpret_cast<const char*>(id), size);
        _FreeBuffer(id);
    }
    if (kept.size() == before)
        return S_OK;
    std::vector<SBinary> list;
    for (std::string& bytes : kept)
        list.push_back({static_cast<ULONG>(bytes.size()), reinterpret_cast<BYTE*>(&bytes[0])});
    SPropValue oneOffs = {};
    oneOffs.ulPropTag = kPrWabDlOneOffs;
    oneOffs.Value.MVbin.cValues = static_cast<ULONG>(list.size());
    oneOffs.Value.MVbin.lpbin = list.data();
    hr = SetItemProp(group.Get(), &oneOffs);
    if (SUCCEEDED(hr)) {
        hr = group->SaveChanges(0);
        if (FAILED(hr))
            g_log.LogErr("CWABLib::SaveItem", hr, "SaveChanges");
    }
    return hr;
}

HRESULT CWABLib::GetGroupMembers(const char* groupId, std::vector<std::string>* members)
{
    const char* ctx = "CWABLib::GetGroupMembers";
    QUILLON_ASSERT(members, ctx);
    if (!members)
        return -1;
    ComPtr<IMAPIProp> group;
    return _OpenGroupMembers(ctx, groupId, &group, members);
}

HRESULT CWABLib::_OpenGroupMembers(const char* ctx, const char* groupId, ComPtr<IMAPIProp>* group,
                                   std::vector<std::string>* members)
{
    members->clear();
    HRESULT hr = _OpenGroup(ctx, groupId, group);
    return FAILED(hr) ? hr : _ReadMembers(group->Get(), members);
}

HRESULT CWABLib::SetGroupMembers(const char* groupId, const std::vector<std::string>& members)
{
    const char* ctx = "CWABLib::SetGroupMembers";
    ComPtr<IMAPIProp> group;
    HRESULT hr = _OpenGroup(ctx, groupId, &group);
    if (FAILED(hr))
        return hr;
    return _WriteMembers(ctx, group.Get(), members);
}

HRESULT CWABLib::ReplaceGroupMember(const char* groupId, const char* formerId, const char* newId, size_t position,
                                    std::vector<std::string>* members)
{
    const char* ctx = "CWABLib::ReplaceGroupMember";
    if (members)
        members->clear();
    QUILLON_ASSERT(formerId && newId && *newId, ctx);
    if (!formerId || !newId || !*newId)
        return -1;
    ComPtr<IMAPIProp> group;
    std::vector<std::string> list;
    HRESULT hr = _OpenGroupMembers(ctx, groupId, &group, &list);
    if (FAILED(hr))
        return hr;
    auto is = [](const char* id) { return [id](const std::string& member) { return SameEntry(member, id); }; };
    if (std::none_of(list.begin(), list.end(), is(newId))) {
        auto former = std::find_if(list.begin(), list.end(), is(formerId));
        if (former != list.end())
            *former = newId;
        else
            list.insert(list.begin() + static_cast<ptrdiff_t>(std::min(position, list.size())), newId);
        hr = _WriteMembers(ctx, group.Get(), list);
        if (FAILED(hr))
            return hr;
    }
    if (members)
        members->swap(list);
    return S_OK;
}
