#include "wabext/connect.h"

#include <cstddef>

#include "common/entryid.h"
#include "common/guard.h"
#include "common/text.h"
#include "wabext/ferrule_ids.h"
#include "wabext/launch.h"
#include "wabext/resource.h"

namespace ferrule {

#if !defined(_WIN64)
// The host's address list as 32-bit Windows lays it out.
static_assert(sizeof(ADRENTRY) == 12, "reserved word, value count, value pointer");
static_assert(offsetof(ADRLIST, aEntries) == 4, "entry count, then the entries");
static_assert(sizeof(SPropValue) == 16, "tag, padding word, 8-byte value");
#endif

namespace {
const ULONG kMailUser = 6;  // MAPI_MAILUSER: a contact; distribution lists are skipped
}

const common::CInterfaceEntry<CConnect> CConnect::kInterfaces[] = {
    {&IID_IContextMenu, &common::CastTo<CConnect, IContextMenu>},
    {&kIID_WABExtInit, &common::CastTo<CConnect, IWABExtInit>},
    {nullptr, nullptr}};

CConnect::CConnect(IUnknown* outer) noexcept
    : CComObject(outer),
      m_importBitmap(LoadBitmapA(ModuleInstance(), MAKEINTRESOURCEA(IDB_IMPORT))),
      m_exportBitmap(LoadBitmapA(ModuleInstance(), MAKEINTRESOURCEA(IDB_EXPORT)))
{
    m_text[0] = '\0';
}

const char* CConnect::_LoadText(UINT id) noexcept
{
    return LoadResourceText(ModuleInstance(), id, m_text, sizeof(m_text));
}

STDMETHODIMP CConnect::Initialize(LPWABEXTDISPLAY display)
{
    return common::GuardHr("CConnect::Initialize", [&]() -> HRESULT {
        if (!display || !(display->ulFlags & WAB_CONTEXT_ADRLIST))
            return S_OK;
        m_selection.clear();
        m_selection.shrink_to_fit();
        const ADRLIST* list = static_cast<const ADRLIST*>(display->lpv);
        if (!list || list->cEntries == 0)
            return S_OK;
        try {
            m_selection.reserve(list->cEntries);
            for (ULONG i = 0; i < list->cEntries; ++i) {
                const ADRENTRY& entry = list->aEntries[i];
                const SPropValue* entryId = nullptr;
                const SPropValue* objectType = nullptr;
                // A property may come more than once; its last value counts.
                for (ULONG p = 0; entry.rgPropVals && p < entry.cValues; ++p) {
                    const SPropValue& value = entry.rgPropVals[p];
                    if (value.ulPropTag == PR_ENTRYID)
                        entryId = &value;
                    else if (value.ulPropTag == PR_OBJECT_TYPE)
                        objectType = &value;
                }
                if (!entryId || !objectType || objectType->Value.l != static_cast<LONG>(kMailUser))
                    continue;
                const SBinary& bin = entryId->Value.bin;
                if (!bin.lpb && bin.cb != 0)
                    continue;
                m_selection.push_back(common::EntryIdToText(bin.lpb, bin.cb));
            }
        } catch (const std::exception&) {
            common::ComTrace("CConnect::Initialize", "allocation", E_OUTOFMEMORY);
            m_selection.clear();
            return E_OUTOFMEMORY;
        }
        return S_OK;
    });
}

STDMETHODIMP CConnect::QueryContextMenu(HMENU menu, UINT index, UINT firstId, UINT lastId, UINT flags)
{
    return common::GuardHr("CConnect::QueryContextMenu", [&]() -> HRESULT {
        if (flags & CMF_DEFAULTONLY)
            return MAKE_HRESULT(SEVERITY_SUCCESS, 0, 0);

        common::CMenu popup(CreatePopupMenu());
        if (!popup) {
            HRESULT hr = common::HResultFromLastError();
            common::ComTrace("CConnect::QueryContextMenu", "CreatePopupMenu", hr);
            return hr;
        }
        // Each insert goes to the top, so the import command ends up above the export command.
        if (!InsertMenuA(popup.get(), 0, MF_BYPOSITION | MF_STRING, firstId + static_cast<UINT>(Command::Export),
                         _LoadText(IDS_EXPORT_MENU)) ||
            !InsertMenuA(popup.get(), 0, MF_BYPOSITION | MF_STRING, firstId + static_cast<UINT>(Command::Import),
                         _LoadText(IDS_IMPORT_MENU))) {
            HRESULT hr = common::HResultFromLastError();
            common::ComTrace("CConnect::QueryContextMenu", "InsertMenu", hr);
            return hr;
        }
        SetMenuItemBitmaps(popup.get(), 1, MF_BYPOSITION, m_exportBitmap.get(), nullptr);
        SetMenuItemBitmaps(popup.get(), 0, MF_BYPOSITION, m_importBitmap.get(), nullptr);

        if (!InsertMenuA(menu, index, MF_BYPOSITION | MF_POPUP | MF_STRING,
                         reinterpret_cast<UINT_PTR>(popup.get()), _LoadText(IDS_SUBMENU))) {
            HRESULT hr = common::HResultFromLastError();
            common::ComTrace("CConnect::QueryContextMenu", "InsertMenu(popup)", hr);
            return hr;
        }
        popup.release();  // the host's menu owns it now
        return MAKE_HRESULT(SEVERITY_SUCCESS, 0, 2);
    });
}

STDMETHODIMP CConnect::GetCommandString(UINT_PTR offset, UINT type, UINT* reserved, CHAR* buffer,
                                        UINT bufferLength)
{
    return common::GuardHr("CConnect::GetCommandString", [&]() -> HRESULT {
        if (offset != static_cast<UINT>(Command::Export) && offset != static_cast<UINT>(Command::Import))
            return E_INVALIDARG;
        if (!(type & GCS_HELPTEXTA))
            return E_INVALIDARG;
        if (!buffer)
            return E_POINTER;
        const char* text = _LoadText(offset == static_cast<UINT>(Command::Export) ? IDS_EXPORT_HELP : IDS_IMPORT_HELP);
        if (type & GCS_UNICODE) {
            // The wide request's buffer holds bufferLength wide characters.
            wchar_t* wide = reinterpret_cast<wchar_t*>(buffer);
            if (bufferLength == 0)
                return S_OK;
            int n = MultiByteToWideChar(CP_ACP, 0, text, -1, nullptr, 0);
            std::wstring converted(n > 0 ? static_cast<size_t>(n) : 1, L'\0');
            if (n > 0)
                MultiByteToWideChar(CP_ACP, 0, text, -1, &converted[0], n);
            size_t count = wcsnlen(converted.c_str(), converted.size());
            if (count > bufferLength - 1)
                count = bufferLength - 1;
            wmemcpy(wide, converted.c_str(), count);
            wide[count] = L'\0';
            return S_OK;
        }
        common::CopyBounded(buffer, bufferLength, text);
        return S_OK;
    });
}

STDMETHODIMP CConnect::InvokeCommand(CMINVOKECOMMANDINFO* info)
{
    return common::GuardHr("CConnect::InvokeCommand", [&]() -> HRESULT {
        if (!info)
            return E_INVALIDARG;
        const ULONG_PTR verb = reinterpret_cast<ULONG_PTR>(info->lpVerb);
        if (verb >> 16 != 0)
            return E_INVALIDARG;
        const UINT offset = LOWORD(verb);
        if (offset != static_cast<UINT>(Command::Export) && offset != static_cast<UINT>(Command::Import))
            return E_INVALIDARG;
        std::string selectionFile;
        if (!m_selection.empty() && !WriteSelectionFile(m_selection, &selectionFile))
            selectionFile.clear();
        std::string line = BuildCommandLine(common::ModuleFileName(ModuleInstance()),
                                            static_cast<Command>(offset), selectionFile);
        // Quillon deletes the selection file after reading it; when it never starts, nobody would.
        if (!StartConverter(line) && !selectionFile.empty())
            ::DeleteFileA(selectionFile.c_str());
        return S_OK;
    });
}

}  // namespace ferrule
