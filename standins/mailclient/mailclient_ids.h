// What the stand-in mail client's window offers to those who drive it from outside (its tests):
// the window class and title, the folder list, and the command ids of the add-ins' buttons and
// menu items.
#pragma once

namespace mailclient {

constexpr const char* kWindowClass = "TanagerMail.Main";
constexpr const char* kWindowTitle = "Tanager Mail";
constexpr int kFolderListId = 100;
constexpr int kStatusId = 101;
constexpr int kExitId = 102;

// Button b of toolbar t (toolbar ids are kToolbarIdBase + t).
constexpr int kToolbarIdBase = 200;
constexpr int ButtonCommand(int toolbar, int button) { return 1000 + toolbar * 50 + button; }
// Drop-down item s of button b of toolbar t, and item i of menu m.
constexpr int ItemCommand(int toolbar, int button, int sub) { return 10000 + toolbar * 1000 + button * 20 + sub; }
constexpr int MenuCommand(int menu, int item) { return 30000 + menu * 100 + item; }

}  // namespace mailclient
