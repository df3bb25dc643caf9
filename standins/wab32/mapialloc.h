// MAPI's linked allocations, as IWABObject hands them out: a buffer from AllocateBuffer is the
// root of a chain; AllocateMore links further blocks to that root; FreeBuffer of the root frees
// the whole chain at once. Callers free only roots, so the result arrays of GetProps and the rows
// of QueryRows are each one root with their strings and arrays linked to it.
#pragma once

#include <windows.h>

namespace wabstandin {

HRESULT AllocBuffer(ULONG size, void** buffer) noexcept;
// parent may be any block of a chain (root or linked); the new block joins that chain's root.
HRESULT AllocMore(ULONG size, void* parent, void** buffer) noexcept;
// Frees a root and everything linked to it. A block that is not a root of ours is left alone
// (E_INVALIDARG); nullptr is accepted (S_OK).
HRESULT FreeBuffer(void* buffer) noexcept;

}  // namespace wabstandin
