// frmOptions, the add-in's options form: the two stored options and the "Use separate toolbar"
// box, which only enables or disables "Small buttons". m_bChanged tells whether the user touched
// a box (and did not cancel).
#pragma once

#include <windows.h>

#include "common/dialog.h"

namespace gimlet {

class CFrmOptions final : public common::CDialog {
public:
    CFrmOptions();

    bool m_bChanged = false;

    // Shows the form modally; returns when it is closed.
    INT_PTR Show(HWND owner) { return DoModal(owner); }

private:
    bool OnInitDialog() override;
    bool OnClicked(int id) override;
    void OnClickedOK() override;
    void OnClickedCancel() override;
    void _OnSeparateToolbarClick();
    bool _Checked(int id) const;
    void _Check(int id, bool checked);
};

// The module that holds the add-in's resources (the DLL, or the program it is linked into).
HINSTANCE ResourceModule();

}  // namespace gimlet
