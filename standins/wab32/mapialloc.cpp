#include "standins/wab32/mapialloc.h"

#include <cstdlib>
#include <cstring>

namespace wabstandin {

namespace {

// Every block starts with this header; the caller's memory follows it, 16-byte aligned.
struct alignas(16) CBlockHeader {
    DWORD magic;
    CBlockHeader* root;  // nullptr for a root
    CBlockHeader* next;  // a root: first linked block; a linked block: the next one
};

const DWORD kRootMagic = 0x544F4F52;  // "ROOT"
const DWORD kMoreMagic = 0x45524F4D;  // "MORE"
const DWORD kFreedMagic = 0x44454546; // "FEED"

CBlockHeader* HeaderOf(void* buffer) noexcept
{
    return reinterpret_cast<CBlockHeader*>(static_cast<char*>(buffer) - sizeof(CBlockHeader));
}

CRITICAL_SECTION* ChainLock() noexcept
{
    // Lives to the end of the process: buffers may be freed while the DLL shuts down.
    static CRITICAL_SECTION* cs = [] {
        auto* section = new CRITICAL_SECTION;
        InitializeCriticalSection(section);
        return section;
    }();
    return cs;
}

CBlockHeader* NewBlock(ULONG size) noexcept
{
    if (size > 0x7FFFFFF0UL - sizeof(CBlockHeader))
        return nullptr;
    void* raw = std::malloc(sizeof(CBlockHeader) + size);
    if (!raw)
        return nullptr;
    std::memset(raw, 0, sizeof(CBlockHeader) + size);
    return static_cast<CBlockHeader*>(raw);
}

}  // namespace

HRESULT AllocBuffer(ULONG size, void** buffer) noexcept
{
    if (!buffer)
        return E_INVALIDARG;
    *buffer = nullptr;
    CBlockHeader* block = NewBlock(size);
    if (!block)
        return E_OUTOFMEMORY;
    block->magic = kRootMagic;
    *buffer = block + 1;
    return S_OK;
}

HRESULT AllocMore(ULONG size, void* parent, void** buffer) noexcept
{
    if (!buffer)
        return E_INVALIDARG;
    *buffer = nullptr;
    if (!parent)
        return E_INVALIDARG;
    CBlockHeader* parentHeader = HeaderOf(parent);
    CBlockHeader* root = nullptr;
    if (parentHeader->magic == kRootMagic)
        root = parentHeader;
    else if (parentHeader->magic == kMoreMagic)
        root = parentHeader->root;
    if (!root || root->magic != kRootMagic)
        return E_INVALIDARG;
    CBlockHeader* block = NewBlock(size);
    if (!block)
        return E_OUTOFMEMORY;
    block->magic = kMoreMagic;
    block->root = root;
    CRITICAL_SECTION* cs = ChainLock();
    EnterCriticalSection(cs);
    block->next = root->next;
    root->next = block;
    LeaveCriticalSection(cs);
    *buffer = block + 1;
    return S_OK;
}

HRESULT FreeBuffer(void* buffer) noexcept
{
    if (!buffer)
        return S_OK;
    CBlockHeader* root = HeaderOf(buffer);
    if (root->magic != kRootMagic) {
        OutputDebugStringA("wab32 stand-in: FreeBuffer of a block that is not a root\n");
        return E_INVALIDARG;
    }
    CRITICAL_SECTION* cs = ChainLock();
    EnterCriticalSection(cs);
    CBlockHeader* linked = root->next;
    root->next = nullptr;
    root->magic = kFreedMagic;
    LeaveCriticalSection(cs);
    while (linked) {
        CBlockHeader* next = linked->next;
        linked->magic = kFreedMagic;
        std::free(linked);
        linked = next;
    }
    std::free(root);
    return S_OK;
}

}  // namespace wabstandin
