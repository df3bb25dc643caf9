// frmOptions, the add-in's options form: the two stored options and the "Use separate toolbar"
// box, which only enables or disables "Small buttons". m_bChanged tells whether the user touched
// a box (and did not cancel).
#pragma once

#include <windows.h>

namespace gimlet {

class CFrmOptions {
public:
    bool m_bChanged = false;

    // Shows the form modally; returns when it is closed.
    INT_PTR Show(HWND owner);

private:
    static INT_PTR CALLBACK _DialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
    void _OnInitDialog();
    void _OnCommand(int id);
    void _OnSeparateToolbarClick();
    void _OnClickedOK();
    void _OnClickedCancel();
    bool _Checked(int id) const;
    void _Check(int id, bool checked);

    HWND m_dialog = nullptr;
};

// The module that holds the add-in's resources (the DLL, or the program it is linked into).
HINSTANCE ResourceModule();

}  // namespace gimlet
