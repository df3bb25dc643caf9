// Process-wide state of Quillon that every subsystem may read.
#pragma once

#include <windows.h>
#include <string>

// The program's instance handle, saved first thing by the entry (module of the resources).
HINSTANCE GetAppInstance();
void SetAppInstance(HINSTANCE instance);

// The program's string resource `id` (base/strings.h) in the ANSI code page, empty when it does not
// exist.
std::string LoadProgramString(UINT id);
