// The add-in's debug log, "Gimlet.log" in its data folder: time-stamped lines, lines gated by a
// level, fixed error and warning formats, call traces, indentation, nested timers and a small
// printf of its own (%d, %s and %%). The log never reports its own failures: an unwritable file
// loses the line.
//
// Errors are reported the way the add-in's handlers meet them: a failing step records its number
// and description in the current error (Err()), and OutError writes and clears it.
#pragma once

#include <windows.h>

#include <memory>
#include <string>

#include "mailaddin/Variant.h"

namespace gimlet {

// The error being handled: its number, description, the last system error code and the line
// number, which is 0 throughout the add-in (no statement carries one).
struct CErr {
    long Number = 0;
    std::string Description;
    DWORD LastDllError = 0;
    long Erl = 0;

    void Raise(long number, const std::string& description);
    // A failed COM call: its result as the number, the description from the thread's error
    // object when the callee left one, else the system's text for the result.
    void FromHResult(HRESULT hr);
    void Clear();
};
CErr& Err();

// The folder of the add-in's own module.
std::string AddinFolder();

class CDebug {
public:
    static constexpr long long kMaxLogSize = 1024000;

    // The process-wide log, created on first use in the folder FindLogFolder gives.
    static CDebug& Instance();
    static void ReleaseInstance();

    // A log in the given folder; a log file there longer than kMaxLogSize is deleted.
    explicit CDebug(const std::string& logFolder);
    ~CDebug();
    CDebug(const CDebug&) = delete;
    CDebug& operator=(const CDebug&) = delete;

    // "AppData" of the user's shell folders plus "\Brisco\Quillon" (created), or else the add-in's
    // own folder.
    static std::string FindLogFolder();

    // The clock of every time stamp and timer; tests replace it.
    using Clock = SYSTEMTIME (*)();
    static void SetClock(Clock clock);

    const std::string& LogFolder() const { return m_logFolder; }
    std::string LogFile() const { return m_logFolder + "\\Gimlet.log"; }
    long DebugLevel() const { return m_level; }
    void SetDebugLevel(long level) { m_level = level; }
    long DebugTarget() const { return m_target; }
    void SetDebugTarget(long target) { m_target = target; }

    template <class... A>
    void Out(const A&... a) { OutList(CParams{CVar(a)...}); }
    template <class... A>
    void Out1(const A&... a) { if (m_level == 1) OutList(CParams{CVar(a)...}); }
    template <class... A>
    void Out2(const A&... a) { if (m_level == 2) OutList(CParams{CVar(a)...}); }
    template <class... A>
    void printf(const std::string& strFormat, const A&... a) { Out(sprintf(strFormat, CParams{CVar(a)...})); }
    template <class... A>
    void printf1(const std::string& strFormat, const A&... a) { Out1(sprintf(strFormat, CParams{CVar(a)...})); }
    template <class... A>
    void printf2(const std::string& strFormat, const A&... a) { Out2(sprintf(strFormat, CParams{CVar(a)...})); }

    void OutList(const CParams& params);
    std::string sprintf(const std::string& strFormat, const CParams& arrParams);

    void Assert(bool bTrue, const std::string& sWhere, const std::string& sAssert);
    void OutError(const std::string& strWhere);
    void OutLastDllError(const std::string& sWhere);
    void OutCustomError(const std::string& strWhere, const std::string& strDesc);
    void OutWarning(const std::string& strWhere, const std::string& strWhat);
    void OutCall(const CParams& param);

    void StartTimer();
    void EndTimer(const std::string& strMessage);
    long TimerCount() const { return m_TimerCount; }

    void PushTab();
    void PopTab();

private:
    void _Write(const std::string& text);

    static constexpr int kMaxTimers = 10;
    static std::unique_ptr<CDebug> s_instance;

    std::string m_logFolder;
    long m_level = 2;
    long m_target = 3;
    float m_timers[kMaxTimers] = {};
    long m_TimerCount = 0;
    std::string m_indent;
};

// Text of a single-precision number as the log writes it.
std::string SingleText(float value);

}  // namespace gimlet
