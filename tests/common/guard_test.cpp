// The wall between our code and its callers: an exception never crosses a Windows callback or a
// thread's start, whatever throws (an allocation, a callee); it becomes one report and the
// failure value of that entry. The entries of each deliverable are checked in their own tests
// through the test hook; here the wall itself, across real Windows frames.
#include <gtest/gtest.h>

#include <windows.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "common/guard.h"
#include "support/testsupport.h"

namespace {

std::vector<std::string> g_reports;

void Record(const char* context, HRESULT code, const char* what)
{
    char line[256];
    std::snprintf(line, sizeof line, "%s 0x%08lx %s", context, static_cast<unsigned long>(code), what);
    g_reports.push_back(line);
}

enum class Throw { Nothing, Memory, Error, Other };
Throw g_throw = Throw::Nothing;

void Callee()
{
    switch (g_throw) {
    case Throw::Memory: throw std::bad_alloc();
    case Throw::Error: throw std::runtime_error("callee failed");
    case Throw::Other: throw 42;
    case Throw::Nothing: break;
    }
}

LRESULT CALLBACK GuardedWindowProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp)
{
    return common::Guard<LRESULT>("GuardedWindowProc", -7, [&]() -> LRESULT {
        if (msg == WM_APP) {
            Callee();
            return 1;
        }
        return ::DefWindowProcA(hwnd, msg, wp, lp);
    });
}

DWORD WINAPI GuardedThread(void*)
{
    return common::Guard<DWORD>("GuardedThread", 99, [] {
        Callee();
        return DWORD(0);
    });
}

class GuardTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        g_reports.clear();
        common::SetGuardReport(&Record);
    }
    void TearDown() override
    {
        common::SetGuardReport(nullptr);
        g_throw = Throw::Nothing;
    }
};

}  // namespace

TEST_F(GuardTest, AcrossAWindowProcedureAndAThreadStart)
{
    WNDCLASSA wc = {};
    wc.lpfnWndProc = GuardedWindowProc;
    wc.hInstance = ::GetModuleHandleA(nullptr);
    wc.lpszClassName = "QuillonGuardTest";
    ASSERT_TRUE(::RegisterClassA(&wc));
    HWND hwnd = ::CreateWindowA(wc.lpszClassName, "", 0, 0, 0, 10, 10, HWND_MESSAGE, nullptr, wc.hInstance, nullptr);
    ASSERT_TRUE(hwnd);

    const struct {
        Throw what;
        LRESULT windowResult;
        DWORD threadResult;
        const char* report;
    } cases[] = {
        {Throw::Nothing, 1, 0, nullptr},
        {Throw::Memory, -7, 99, "0x8007000e out of memory"},
        {Throw::Error, -7, 99, "0x80004005 callee failed"},
        {Throw::Other, -7, 99, "0x80004005 unknown exception"},
    };
    for (const auto& c : cases) {
        g_reports.clear();
        g_throw = c.what;
        EXPECT_EQ(c.windowResult, ::SendMessageA(hwnd, WM_APP, 0, 0));
        common::CHandle thread(::CreateThread(nullptr, 0, GuardedThread, nullptr, 0, nullptr));
        ASSERT_TRUE(thread);
        ASSERT_EQ(WAIT_OBJECT_0, ::WaitForSingleObject(thread.get(), 10000));
        DWORD code = 0;
        ::GetExitCodeThread(thread.get(), &code);
        EXPECT_EQ(c.threadResult, code);
        if (c.report) {
            EXPECT_EQ((std::vector<std::string>{std::string("GuardedWindowProc ") + c.report,
                                                std::string("GuardedThread ") + c.report}),
                      g_reports);
        } else {
            EXPECT_TRUE(g_reports.empty());
        }
    }
    ::DestroyWindow(hwnd);
    ::UnregisterClassA(wc.lpszClassName, wc.hInstance);
}

TEST_F(GuardTest, TheTestHookThrowsOnlyForItsContext)
{
    auto ok = [] { return S_OK; };
    EXPECT_EQ(S_OK, common::GuardHr("Some::Entry", ok));
    {
        testsupport::CScopedEnv hook("QUILLON_TEST_THROW", "Some::Entry");
        EXPECT_EQ(E_OUTOFMEMORY, common::GuardHr("Some::Entry", ok));
        EXPECT_EQ(S_OK, common::GuardHr("Some::Other", ok));
        EXPECT_EQ(S_OK, common::GuardHr("Some", ok));
    }
    {
        testsupport::CScopedEnv hook("QUILLON_TEST_THROW", "Some::Entry:error");
        EXPECT_EQ(E_FAIL, common::GuardHr("Some::Entry", ok));
    }
    EXPECT_EQ((std::vector<std::string>{"Some::Entry 0x8007000e out of memory", "Some::Entry 0x80004005 test hook"}),
              g_reports);
}

TEST_F(GuardTest, AReportThatThrowsStaysBehindTheWall)
{
    common::SetGuardReport([](const char*, HRESULT, const char*) { throw std::bad_alloc(); });
    g_throw = Throw::Error;
    EXPECT_EQ(E_FAIL, common::GuardHr("Some::Entry", [] {
        Callee();
        return S_OK;
    }));
}
