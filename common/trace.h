// One line for the debugger: where failures go in modules that have no log of their own (the COM
// servers, the launcher), and where the guard reports an escaped exception unless the module says
// otherwise. Nothing here needs COM, so a program that only guards its entry links no COM library.
#pragma once

#include <windows.h>

namespace common {

// "<context>: <call> failed (0x<hr>)" to the debugger output.
void ComTrace(const char* context, const char* call, HRESULT hr) noexcept;

}  // namespace common
