// Process-wide state of Quillon that every subsystem may read.
#pragma once

#include <windows.h>

// The program's instance handle, saved first thing by the entry (module of the resources).
HINSTANCE GetAppInstance();
void SetAppInstance(HINSTANCE instance);
