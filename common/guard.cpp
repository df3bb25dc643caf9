#include "common/guard.h"

#include <atomic>
#include <cstring>
#include <stdexcept>

#include "common/trace.h"

namespace common {

namespace {

void TraceReport(const char* context, HRESULT code, const char* what) noexcept
{
    ComTrace(context, what, code);
}

std::atomic<GuardReport> g_report{&TraceReport};

const char kTestHook[] = "QUILLON_TEST_THROW";

}  // namespace

void SetGuardReport(GuardReport report) noexcept { g_report.store(report ? report : &TraceReport); }

HRESULT ReportEscape(const char* context) noexcept
{
    HRESULT code = E_FAIL;
    const char* what = "unknown exception";
    try {
        throw;
    } catch (const std::bad_alloc&) {
        code = E_OUTOFMEMORY;
        what = "out of memory";
    } catch (const std::exception& e) {
        what = e.what();
    } catch (...) {
    }
    // The report itself may fail (no memory for the line): it must not throw past the wall either.
    try {
        g_report.load()(context ? context : "", code, what);
    } catch (...) {
    }
    return code;
}

void GuardTestHook(const char* context)
{
    // Looked for once, at the first guarded call: a process started without the variable (every
    // host's) never reads the environment again.
    static const bool armed = ::GetEnvironmentVariableA(kTestHook, nullptr, 0) != 0;
    if (!armed || !context)
        return;
    char wanted[128];
    DWORD n = ::GetEnvironmentVariableA(kTestHook, wanted, sizeof wanted);
    if (n == 0 || n >= sizeof wanted)
        return;
    const char* suffix = std::strrchr(wanted, ':');
    bool error = suffix && std::strcmp(suffix, ":error") == 0;
    if (error)
        wanted[suffix - wanted] = '\0';
    if (std::strcmp(wanted, context) != 0)
        return;
    if (error)
        throw std::runtime_error("test hook");
    throw std::bad_alloc();
}

}  // namespace common
