// The small diagnosis window of -debug: a menu that reaches every job of the program.
#pragma once

#include <windows.h>

// Runs the window and its message loop; returns false when the window cannot be created.
bool RunDebugWindow(HINSTANCE instance, int showCommand);
