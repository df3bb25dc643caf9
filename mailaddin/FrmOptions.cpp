#include "mailaddin/FrmOptions.h"

#include "mailaddin/Options.h"
#include "mailaddin/resource.h"

namespace gimlet {

HINSTANCE ResourceModule()
{
    HMODULE module = nullptr;
    ::GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                         reinterpret_cast<LPCSTR>(&ResourceModule), &module);
    return module;
}

CFrmOptions::CFrmOptions() : common::CDialog(ResourceModule(), IDD_FRMOPTIONS) {}

bool CFrmOptions::OnInitDialog()
{
    COptions& options = COptions::Instance();
    _Check(IDC_CHK_EDITMENU, options.EditMenu());
    _Check(IDC_CHK_SMALLBUTTONS, options.SmallButtons());
    _Check(IDC_CHK_SEPARATETOOLBAR, options.SeparateToolbar());
    HICON icon = ::LoadIconA(nullptr, MAKEINTRESOURCEA(32516));  // IDI_INFORMATION
    ::SendDlgItemMessageA(Handle(), IDC_PIC_MENU, STM_SETICON, reinterpret_cast<WPARAM>(icon), 0);
    ::SendDlgItemMessageA(Handle(), IDC_PIC_TOOLBAR, STM_SETICON, reinterpret_cast<WPARAM>(icon), 0);
    _OnSeparateToolbarClick();
    m_bChanged = false;
    return true;
}

bool CFrmOptions::OnClicked(int id)
{
    switch (id) {
    case IDC_CHK_SEPARATETOOLBAR:
        _OnSeparateToolbarClick();
        return true;
    case IDC_CHK_SMALLBUTTONS:
    case IDC_CHK_EDITMENU:
        m_bChanged = true;
        return true;
    }
    return false;
}

void CFrmOptions::_OnSeparateToolbarClick()
{
    common::CWindowRef(Item(IDC_CHK_SMALLBUTTONS)).Enable(_Checked(IDC_CHK_SEPARATETOOLBAR));
    m_bChanged = true;
}

void CFrmOptions::OnClickedOK()
{
    COptions& options = COptions::Instance();
    options.SetSmallButtons(_Checked(IDC_CHK_SMALLBUTTONS));
    options.SetEditMenu(_Checked(IDC_CHK_EDITMENU));
    EndDialog(IDOK);
}

void CFrmOptions::OnClickedCancel()
{
    m_bChanged = false;
    EndDialog(IDCANCEL);
}

bool CFrmOptions::_Checked(int id) const { return common::CButton(Item(id)).IsChecked(); }

void CFrmOptions::_Check(int id, bool checked) { common::CButton(Item(id)).SetCheck(checked); }

}  // namespace gimlet
