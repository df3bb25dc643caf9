// Connect: the object the Windows Address Book window creates for its context menu. The host
// hands it the selected entries (IWABExtInit), lets it add the "Quillon" submenu and asks it to
// run the chosen command (IContextMenu), which starts the converter on the selection.
#pragma once

#include <windows.h>
#include <shlobj.h>
#include <wabdefs.h>
#include <wabcode.h>
#include <wabtags.h>
#include <wabiab.h>
#include <wabapi.h>
#include <string>
#include <vector>

#include "common/comserver.h"
#include "common/raii.h"

namespace ferrule {

HINSTANCE ModuleInstance() noexcept;

class CConnect final : public common::CComObject<CConnect, IContextMenu, IWABExtInit> {
public:
    static const common::CInterfaceEntry<CConnect> kInterfaces[];

    explicit CConnect(IUnknown* outer) noexcept;
    ~CConnect() override = default;

    // IWABExtInit
    STDMETHODIMP Initialize(LPWABEXTDISPLAY display) override;

    // IContextMenu
    STDMETHODIMP QueryContextMenu(HMENU menu, UINT index, UINT firstId, UINT lastId, UINT flags) override;
    STDMETHODIMP InvokeCommand(CMINVOKECOMMANDINFO* info) override;
    STDMETHODIMP GetCommandString(UINT_PTR offset, UINT type, UINT* reserved, CHAR* buffer,
                                  UINT bufferLength) override;

private:
    // A string resource, or "<res%d>" when it cannot be loaded; valid until the next call.
    const char* _LoadText(UINT id) noexcept;

    std::vector<std::string> m_selection;
    common::CBitmap m_importBitmap;
    common::CBitmap m_exportBitmap;
    char m_text[256];
};

}  // namespace ferrule
