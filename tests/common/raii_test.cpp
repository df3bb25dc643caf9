// The owners of common/raii.h on real resources: each holds what it is given, hands it over on a
// move, gives it up on release, closes what it held on reset and put, and closes everything it
// held exactly once. Whether a resource is still open is asked of the system: a closed handle or
// key is refused, a block of COM memory (BSTRs included) is watched through a spy on the task
// allocator, which also counts a block freed twice.
#include <gtest/gtest.h>

#include <windows.h>
#include <objbase.h>
#include <oleauto.h>

#include <map>
#include <set>
#include <stdexcept>
#include <string>

#include "common/raii.h"
#include "support/testsupport.h"

namespace {

// The task allocator's blocks that are allocated now; a second free of a block is counted.
class CAllocSpy : public IMallocSpy {
public:
    bool Holds(const void* p) const
    {
        auto after = m_live.upper_bound(p);
        if (after == m_live.begin())
            return false;
        --after;  // the block at or before p; a BSTR starts a few bytes into its block
        return static_cast<const char*>(p) < static_cast<const char*>(after->first) + after->second;
    }
    int strayFrees = 0;

    STDMETHODIMP QueryInterface(REFIID iid, void** out) override
    {
        *out = iid == IID_IUnknown || iid == IID_IMallocSpy ? this : nullptr;
        return *out ? S_OK : E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return 2; }
    STDMETHODIMP_(ULONG) Release() override { return 1; }
    STDMETHODIMP_(SIZE_T) PreAlloc(SIZE_T size) override { return m_size = size; }
    STDMETHODIMP_(void*) PostAlloc(void* p) override
    {
        if (p) {
            m_live[p] = m_size;
            m_freed.erase(p);
        }
        return p;
    }
    STDMETHODIMP_(void*) PreFree(void* p, BOOL) override
    {
        if (p && m_live.erase(p))
            m_freed.insert(p);
        else if (p && m_freed.count(p))
            ++strayFrees;
        return p;
    }
    STDMETHODIMP_(void) PostFree(BOOL) override {}
    STDMETHODIMP_(SIZE_T) PreRealloc(void* p, SIZE_T size, void** out, BOOL) override
    {
        m_moving = m_live.erase(p) ? p : nullptr;
        *out = p;
        return m_size = size;
    }
    STDMETHODIMP_(void*) PostRealloc(void* p, BOOL) override
    {
        if (m_moving && p)
            m_live[p] = m_size;
        return p;
    }
    STDMETHODIMP_(void*) PreGetSize(void* p, BOOL) override { return p; }
    STDMETHODIMP_(SIZE_T) PostGetSize(SIZE_T size, BOOL) override { return size; }
    STDMETHODIMP_(void*) PreDidAlloc(void* p, BOOL) override { return p; }
    STDMETHODIMP_(int) PostDidAlloc(void*, BOOL, int allocated) override { return allocated; }
    STDMETHODIMP_(void) PreHeapMinimize() override {}
    STDMETHODIMP_(void) PostHeapMinimize() override {}

private:
    std::map<const void*, SIZE_T> m_live;
    std::set<const void*> m_freed;
    SIZE_T m_size = 0;
    void* m_moving = nullptr;
};

CAllocSpy g_spy;

bool HandleOpen(HANDLE h)
{
    DWORD flags = 0;
    return ::GetHandleInformation(h, &flags) != FALSE;
}

const char kScratchKey[] = "Software\\QuillonRaiiTest";

// A library's own free function, counting what it frees: the freed values are slots of a table.
int g_slots[64];
int g_frees[64];
int g_nextSlot = 0;
void CountedFree(int* slot) { ++g_frees[slot - g_slots]; }

// The kinds of owner: how to make a resource, whether it is open, and an owner's empty value.
struct EventKind {
    using Owner = common::CHandle;
    static HANDLE Make() { return ::CreateEventA(nullptr, TRUE, FALSE, nullptr); }
    static bool IsOpen(HANDLE h) { return HandleOpen(h); }
    static HANDLE None() { return nullptr; }
};
struct FileKind {
    using Owner = common::CFileHandle;
    static HANDLE Make()
    {
        static testsupport::CTempDir dir;
        static int n = 0;
        return ::CreateFileA(dir.file("owned" + std::to_string(++n)).c_str(), GENERIC_WRITE, 0, nullptr,
                             CREATE_ALWAYS, FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    }
    static bool IsOpen(HANDLE h) { return HandleOpen(h); }
    static HANDLE None() { return INVALID_HANDLE_VALUE; }
};
struct KeyKind {
    using Owner = common::CRegKey;
    static HKEY Make()
    {
        HKEY key = nullptr;
        ::RegCreateKeyExA(HKEY_CURRENT_USER, kScratchKey, 0, nullptr, 0, KEY_READ, nullptr, &key, nullptr);
        return key;
    }
    static bool IsOpen(HKEY key)
    {
        DWORD subkeys = 0;
        return ::RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, nullptr, nullptr,
                                  nullptr, nullptr, nullptr) == ERROR_SUCCESS;
    }
    static HKEY None() { return nullptr; }
};
struct BstrKind {
    using Owner = common::CBstr;
    static BSTR Make() { return ::SysAllocString(L"owned"); }
    static bool IsOpen(BSTR text) { return g_spy.Holds(text); }
    static BSTR None() { return nullptr; }
};
struct TaskMemKind {
    using Owner = common::CCoTaskMem<void*>;
    static void* Make() { return ::CoTaskMemAlloc(16); }
    static bool IsOpen(void* p) { return g_spy.Holds(p); }
    static void* None() { return nullptr; }
};
struct FreedKind {
    using Owner = common::CFreed<int*, &CountedFree>;
    static int* Make() { return &g_slots[g_nextSlot++]; }
    static bool IsOpen(int* slot) { return g_frees[slot - g_slots] == 0; }
    static int* None() { return nullptr; }
};

template <class Kind>
class OwnerTest : public ::testing::Test {
protected:
    using Owner = typename Kind::Owner;

    static void SetUpTestSuite()
    {
        ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
        // A freed string goes back to the allocator at once instead of into the strings' cache.
        if (auto noCache = reinterpret_cast<void(WINAPI*)()>(reinterpret_cast<void*>(
                ::GetProcAddress(::GetModuleHandleA("oleaut32.dll"), "SetOaNoCache"))))
            noCache();
        ASSERT_EQ(S_OK, ::CoRegisterMallocSpy(&g_spy));
    }
    static void TearDownTestSuite()
    {
        EXPECT_EQ(S_OK, ::CoRevokeMallocSpy()) << "a block of COM memory is still allocated";
        testsupport::DeleteRegTree(HKEY_CURRENT_USER, kScratchKey);
        ::CoUninitialize();
    }
    void TearDown() override
    {
        EXPECT_EQ(0, g_spy.strayFrees);
        for (int i = 0; i < g_nextSlot; ++i)
            EXPECT_EQ(1, g_frees[i]) << "slot " << i;
    }

    static typename Owner::value_type Make()
    {
        typename Owner::value_type value = Kind::Make();
        EXPECT_TRUE(Kind::IsOpen(value));
        return value;
    }
};

using Kinds = ::testing::Types<EventKind, FileKind, KeyKind, BstrKind, TaskMemKind, FreedKind>;
TYPED_TEST_SUITE(OwnerTest, Kinds);

TYPED_TEST(OwnerTest, HoldsHandsOverAndClosesExactlyOnce)
{
    using Owner = typename TestFixture::Owner;
    const auto none = TypeParam::None();
    EXPECT_EQ(none, Owner().get());
    EXPECT_FALSE(Owner());

    // Held while the owner lives, closed when it goes.
    auto first = this->Make();
    {
        Owner owner(first);
        EXPECT_TRUE(owner.valid());
        EXPECT_EQ(first, owner.get());
    }
    EXPECT_FALSE(TypeParam::IsOpen(first));

    // A move hands the value over; the owner moved from closes nothing.
    auto moved = this->Make();
    Owner target;
    {
        Owner source(moved);
        Owner between(std::move(source));
        EXPECT_EQ(none, source.get());
        target = std::move(between);
        EXPECT_EQ(none, between.get());
    }
    EXPECT_EQ(moved, target.get());
    EXPECT_TRUE(TypeParam::IsOpen(moved));
    Owner& same = target;
    target = std::move(same);
    EXPECT_EQ(moved, target.get()) << "a move onto itself keeps the value";

    // Assigning, resetting and put() close what was held before.
    auto replacing = this->Make();
    target = Owner(replacing);
    EXPECT_FALSE(TypeParam::IsOpen(moved));
    auto reset = this->Make();
    target.reset(reset);
    EXPECT_FALSE(TypeParam::IsOpen(replacing));
    *target.put() = this->Make();
    EXPECT_FALSE(TypeParam::IsOpen(reset));
    auto put = target.get();
    EXPECT_TRUE(TypeParam::IsOpen(put));
    target.reset();
    EXPECT_FALSE(TypeParam::IsOpen(put));
    EXPECT_EQ(none, target.get());

    // release() gives the value up: it stays open until its new owner goes.
    auto released = this->Make();
    {
        Owner owner(released);
        EXPECT_EQ(released, owner.release());
        EXPECT_EQ(none, owner.get());
    }
    EXPECT_TRUE(TypeParam::IsOpen(released));
    Owner adopted(released);
    adopted.reset();
    EXPECT_FALSE(TypeParam::IsOpen(released));

    // An owner that closed its value closes nothing more, even when a new resource takes the
    // same value (handles are handed out again at once).
    auto fresh = this->Make();
    adopted.reset();
    { Owner gone(std::move(adopted)); }
    EXPECT_TRUE(TypeParam::IsOpen(fresh));
    Owner(fresh).reset();
    EXPECT_FALSE(TypeParam::IsOpen(fresh));
}

TEST(ScopeExit, RunsOnceWhenTheScopeEndsHoweverItEndsUnlessDismissed)
{
    int runs = 0;
    {
        common::CScopeExit guard([&] { ++runs; });
        EXPECT_EQ(0, runs);
    }
    EXPECT_EQ(1, runs);
    try {
        common::CScopeExit guard([&] { ++runs; });
        throw std::runtime_error("left early");
    } catch (const std::runtime_error&) {
    }
    EXPECT_EQ(2, runs);
    {
        common::CScopeExit guard([&] { ++runs; });
        guard.Dismiss();
    }
    EXPECT_EQ(2, runs);
}

}  // namespace
