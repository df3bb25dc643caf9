#include "mailaddin/FrmOptions.h"

#include "mailaddin/Options.h"
#include "mailaddin/resource.h"
#include "common/guard.h"

namespace gimlet {

HINSTANCE ResourceModule()
{
    HMODULE module = nullptr;
    ::GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                         reinterpret_cast<LPCSTR>(&ResourceModule), &module);
    return module;
}

INT_PTR CFrmOptions::Show(HWND owner)
{
    return ::DialogBoxParamA(ResourceModule(), MAKEINTRESOURCEA(IDD_FRMOPTIONS), owner, &_DialogProc,
                             reinterpret_cast<LPARAM>(this));
}

INT_PTR CALLBACK CFrmOptions::_DialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    return common::Guard<INT_PTR>("CFrmOptions::DialogProc", FALSE, [&]() -> INT_PTR {
        if (message == WM_INITDIALOG) {
            auto* self = reinterpret_cast<CFrmOptions*>(lParam);
            ::SetWindowLongPtrA(dialog, DWLP_USER, lParam);
            self->m_dialog = dialog;
            self->_OnInitDialog();
            return TRUE;
        }
        auto* self = reinterpret_cast<CFrmOptions*>(::GetWindowLongPtrA(dialog, DWLP_USER));
        if (!self)
            return FALSE;
        if (message == WM_COMMAND && HIWORD(wParam) == BN_CLICKED) {
            self->_OnCommand(LOWORD(wParam));
            return TRUE;
        }
        return FALSE;
    });
}

void CFrmOptions::_OnInitDialog()
{
    COptions& options = COptions::Instance();
    _Check(IDC_CHK_EDITMENU, options.EditMenu());
    _Check(IDC_CHK_SMALLBUTTONS, options.SmallButtons());
    _Check(IDC_CHK_SEPARATETOOLBAR, options.SeparateToolbar());
    HICON icon = ::LoadIconA(nullptr, MAKEINTRESOURCEA(32516));  // IDI_INFORMATION
    ::SendDlgItemMessageA(m_dialog, IDC_PIC_MENU, STM_SETICON, reinterpret_cast<WPARAM>(icon), 0);
    ::SendDlgItemMessageA(m_dialog, IDC_PIC_TOOLBAR, STM_SETICON, reinterpret_cast<WPARAM>(icon), 0);
    _OnSeparateToolbarClick();
    m_bChanged = false;
}

void CFrmOptions::_OnCommand(int id)
{
    switch (id) {
    case IDC_CHK_SEPARATETOOLBAR:
        _OnSeparateToolbarClick();
        break;
    case IDC_CHK_SMALLBUTTONS:
    case IDC_CHK_EDITMENU:
        m_bChanged = true;
        break;
    case IDOK:
        _OnClickedOK();
        break;
    case IDCANCEL:
        _OnClickedCancel();
        break;
    default:
        break;
    }
}

void CFrmOptions::_OnSeparateToolbarClick()
{
    ::EnableWindow(::GetDlgItem(m_dialog, IDC_CHK_SMALLBUTTONS), _Checked(IDC_CHK_SEPARATETOOLBAR));
    m_bChanged = true;
}

void CFrmOptions::_OnClickedOK()
{
    COptions& options = COptions::Instance();
    options.SetSmallButtons(_Checked(IDC_CHK_SMALLBUTTONS));
    options.SetEditMenu(_Checked(IDC_CHK_EDITMENU));
    ::EndDialog(m_dialog, IDOK);
}

void CFrmOptions::_OnClickedCancel()
{
    m_bChanged = false;
    ::EndDialog(m_dialog, IDCANCEL);
}

bool CFrmOptions::_Checked(int id) const { return ::IsDlgButtonChecked(m_dialog, id) == BST_CHECKED; }

void CFrmOptions::_Check(int id, bool checked)
{
    ::CheckDlgButton(m_dialog, id, checked ? BST_CHECKED : BST_UNCHECKED);
}

}  // namespace gimlet
