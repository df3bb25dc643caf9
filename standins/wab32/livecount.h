// A count of the stand-in's objects alive in this process (address books, address-book objects,
// containers, contacts, groups, tables), so that tests can prove a closed session left none of
// them behind. A leaked entry keeps the store file open for the rest of the process in the real
// address book; here it would go unnoticed without this count.
#pragma once

#include <windows.h>

namespace wabstandin {

inline LONG g_liveObjects = 0;

// A member of every counted object: counts from construction to destruction.
class CLiveObject {
public:
    CLiveObject() noexcept { InterlockedIncrement(&g_liveObjects); }
    ~CLiveObject() { InterlockedDecrement(&g_liveObjects); }
    CLiveObject(const CLiveObject&) noexcept { InterlockedIncrement(&g_liveObjects); }
    CLiveObject& operator=(const CLiveObject&) noexcept { return *this; }
};

inline ULONG LiveObjects()
{
    return static_cast<ULONG>(InterlockedCompareExchange(&g_liveObjects, 0, 0));
}

}  // namespace wabstandin
