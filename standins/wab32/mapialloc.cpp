#include "standins/wab32/mapialloc.h"

#include <cstddef>
#include <cstdlib>
#include <cstring>

namespace wabstandin {

namespace {

struct CBlock;

// Sits right before every piece of memory handed out, 16 bytes, so that the piece stays 16-byte
// aligned and any piece can be told apart and led to its root.
struct alignas(16) CTag {
    DWORD magic;
    CBlock* root;  // a linked piece: the root of its chain; a root: itself
};

// A heap block: a root, a linked block of its own, or a linked block that small pieces are carved
// from. The tag of the block's first piece ends it.
struct alignas(16) CBlock {
    CBlock* next;  // a root: the first linked block; a linked block: the next one
    // A root only: the linked block small AllocMore requests are carved from and how much of it is
    // taken. A property array with its forty strings is then a handful of heap blocks, not forty.
    CBlock* carve;
    ULONG carveUsed;
    ULONG carveSize;
    CTag tag;
};

// The first block to carve from is small (a table row's few strings fit in it), each next one
// twice the last, up to a page. Larger requests get a block of their own.
const ULONG kFirstCarveSize = 256;
const ULONG kLastCarveSize = 4096;
const ULONG kCarveMax = 512;

const DWORD kRootMagic = 0x544F4F52;   // "ROOT"
const DWORD kMoreMagic = 0x45524F4D;   // "MORE"
const DWORD kFreedMagic = 0x44454546;  // "FEED"

CTag* TagOf(void* buffer) noexcept
{
    return reinterpret_cast<CTag*>(static_cast<char*>(buffer) - sizeof(CTag));
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

// A zeroed block with room for `size` bytes after its header.
CBlock* NewBlock(ULONG size) noexcept
{
    if (size > 0x7FFFFFF0UL - sizeof(CBlock))
        return nullptr;
    void* raw = std::malloc(sizeof(CBlock) + size);
    if (!raw)
        return nullptr;
    std::memset(raw, 0, sizeof(CBlock) + size);
    return static_cast<CBlock*>(raw);
}

void* Payload(CBlock* block) noexcept
{
    return block + 1;
}

// A zeroed block of `size` bytes linked into the root's chain.
CBlock* NewLinkedBlock(CBlock* root, ULONG size) noexcept
{
    CBlock* block = NewBlock(size);
    if (!block)
        return nullptr;
    block->tag.magic = kMoreMagic;
    block->tag.root = root;
    CRITICAL_SECTION* cs = ChainLock();
    EnterCriticalSection(cs);
    block->next = root->next;
    root->next = block;
    LeaveCriticalSection(cs);
    return block;
}

// Carves a tagged piece of `rounded` bytes (a multiple of 16) from the root's carve block, or
// nullptr when it has no room. Called under the chain lock.
void* CarveLocked(CBlock* root, ULONG rounded) noexcept
{
    CBlock* block = root->carve;
    if (!block || root->carveSize - root->carveUsed < sizeof(CTag) + rounded)
        return nullptr;
    char* at = static_cast<char*>(Payload(block)) + root->carveUsed;
    root->carveUsed += static_cast<ULONG>(sizeof(CTag)) + rounded;
    auto* tag = reinterpret_cast<CTag*>(at);
    tag->magic = kMoreMagic;
    tag->root = root;
    return tag + 1;  // zeroed when its block was made
}

}  // namespace

HRESULT AllocBuffer(ULONG size, void** buffer) noexcept
{
    if (!buffer)
        return E_INVALIDARG;
    *buffer = nullptr;
    CBlock* block = NewBlock(size);
    if (!block)
        return E_OUTOFMEMORY;
    block->tag.magic = kRootMagic;
    block->tag.root = block;
    *buffer = Payload(block);
    return S_OK;
}

HRESULT AllocMore(ULONG size, void* parent, void** buffer) noexcept
{
    if (!buffer)
        return E_INVALIDARG;
    *buffer = nullptr;
    if (!parent)
        return E_INVALIDARG;
    const CTag* parentTag = TagOf(parent);
    if (parentTag->magic != kRootMagic && parentTag->magic != kMoreMagic)
        return E_INVALIDARG;
    CBlock* root = parentTag->root;
    if (!root || root->tag.magic != kRootMagic)
        return E_INVALIDARG;

    CRITICAL_SECTION* cs = ChainLock();
    if (size <= kCarveMax) {
        const ULONG rounded = ((size ? size : 1) + 15) & ~15UL;
        EnterCriticalSection(cs);
        void* piece = CarveLocked(root, rounded);
        if (piece) {
            LeaveCriticalSection(cs);
            *buffer = piece;
            return S_OK;
        }
        ULONG carveSize = root->carve ? (root->carveSize < kLastCarveSize ? root->carveSize * 2 : kLastCarveSize)
                                      : kFirstCarveSize;
        LeaveCriticalSection(cs);
        while (carveSize < sizeof(CTag) + rounded)
            carveSize *= 2;
        // The carve block's own tag is never handed out: its pieces carry tags of their own.
        CBlock* block = NewLinkedBlock(root, carveSize);
        if (!block)
            return E_OUTOFMEMORY;
        EnterCriticalSection(cs);
        root->carve = block;
        root->carveSize = carveSize;
        root->carveUsed = 0;
        piece = CarveLocked(root, rounded);
        LeaveCriticalSection(cs);
        *buffer = piece;
        return piece ? S_OK : E_OUTOFMEMORY;
    }

    CBlock* block = NewLinkedBlock(root, size);
    if (!block)
        return E_OUTOFMEMORY;
    *buffer = Payload(block);
    return S_OK;
}

HRESULT FreeBuffer(void* buffer) noexcept
{
    if (!buffer)
        return S_OK;
    CTag* tag = TagOf(buffer);
    if (tag->magic != kRootMagic || !tag->root || &tag->root->tag != tag) {
        OutputDebugStringA("wab32 stand-in: FreeBuffer of a block that is not a root\n");
        return E_INVALIDARG;
    }
    CBlock* root = tag->root;
    CRITICAL_SECTION* cs = ChainLock();
    EnterCriticalSection(cs);
    CBlock* linked = root->next;
    root->next = nullptr;
    root->carve = nullptr;
    root->tag.magic = kFreedMagic;
    LeaveCriticalSection(cs);
    while (linked) {
        CBlock* next = linked->next;
        linked->tag.magic = kFreedMagic;
        std::free(linked);
        linked = next;
    }
    std::free(root);
    return S_OK;
}

}  // namespace wabstandin
