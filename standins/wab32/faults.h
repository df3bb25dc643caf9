// Faults injected by tests: a named call fails with a given code for one entry or for any (the
// syntax is documented in wabstandin.h). Process-wide; the interfaces ask Fault() before they act.
#pragma once

#include <windows.h>

#include <string>

namespace wabstandin {

// S_OK, or the code a matching fault makes the call return. entryId may be null with size 0
// (the root container).
HRESULT Fault(const char* call, const void* entryId, ULONG size);

HRESULT AddFault(const char* call, const char* entry, HRESULT code, ULONG skip);
// Adds each item of a WAB_STANDIN_FAULTS text; E_INVALIDARG when any item is malformed.
HRESULT AddFaults(const std::string& text);
void ClearFaults();
ULONG FaultHits(const char* call);

}  // namespace wabstandin
