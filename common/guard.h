// The wall between our code and whoever calls it: Windows (window and dialog procedures, thread
// and enumeration callbacks, the program's entry) and hosts (COM methods, class factories, DLL
// exports). Nothing may escape past it: an exception thrown in a host's process would take the
// Address Book or the mail client down with it. Every such entry runs its body through one of the
// guards below; an escaped exception becomes one report line and a failure code.
//
// Each module says where its reports go (Quillon: its log; Gimlet: its debug log; the others: the
// debugger) with SetGuardReport.
//
// Test hook: the environment variable QUILLON_TEST_THROW=<context>[:error] makes the guard of that
// context throw before its body runs: std::bad_alloc, or std::runtime_error with ":error". It is
// how the tests make allocation or a callee fail at each kind of entry; a user never sets it. The
// guard looks for the variable once, at its first call; only a process that had it then (any
// value) reads it again at each guarded call, so that its tests can name one entry after another.
#pragma once

#include <windows.h>

#include <exception>
#include <new>

namespace common {

using GuardReport = void (*)(const char* context, HRESULT code, const char* what);
void SetGuardReport(GuardReport report) noexcept;

// Reports an escaped exception (the current one) for context; returns the code the entry gives.
HRESULT ReportEscape(const char* context) noexcept;

// Throws when QUILLON_TEST_THROW names context.
void GuardTestHook(const char* context);

// For COM methods and exports: the body's result, or E_OUTOFMEMORY / E_FAIL.
template <class F>
HRESULT GuardHr(const char* context, F&& body) noexcept
{
    try {
        GuardTestHook(context);
        return body();
    } catch (...) {
        return ReportEscape(context);
    }
}

// For callbacks with a result of their own: the body's result, or onEscape.
template <class R, class F>
R Guard(const char* context, R onEscape, F&& body) noexcept
{
    try {
        GuardTestHook(context);
        return body();
    } catch (...) {
        ReportEscape(context);
        return onEscape;
    }
}

}  // namespace common
