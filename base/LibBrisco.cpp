#include "base/LibBrisco.h"

#include <cstring>

#include "base/Log.h"
#include "common/guard.h"

namespace {

int WINAPI GetLogPathCallback(char* buffer)
{
    return common::Guard<int>("GetLogPathCallback", -1, [&]() -> int {
        g_log.GetFullLogPath(buffer, LIBBRISCO_LOG_PATH_SIZE);
        return 0;
    });
}

template <class Fn>
bool Lookup(HMODULE module, const char* name, Fn* slot)
{
    *slot = reinterpret_cast<Fn>(reinterpret_cast<void*>(::GetProcAddress(module, name)));
    return *slot != nullptr;
}

}  // namespace

CLibBrisco::CLibBrisco()
{
    m_module.reset(::LoadLibraryA("LibBrisco.dll"));
    if (m_module && !_Bind()) {
        m_module.reset();
        m_initEx = nullptr;
        m_showAbout = nullptr;
        m_reportProblem = nullptr;
        m_showContextHelp = nullptr;
    }
}

CLibBrisco::~CLibBrisco() = default;

bool CLibBrisco::_Bind()
{
    HMODULE m = m_module.get();
    // Every export is looked up, even those never called: a library without all ten is not ours.
    bool all = Lookup(m, "LibBriscoInitEx", &m_initEx);
    all = Lookup(m, "LibBriscoShowAbout", &m_showAbout) && all;
    all = Lookup(m, "LibBriscoReportProblem", &m_reportProblem) && all;
    all = Lookup(m, "LibBriscoShowContextHelp", &m_showContextHelp) && all;
    all = Lookup(m, "LibBriscoAddAboutMenu", &m_addAboutMenu) && all;
    all = Lookup(m, "LibBriscoCreateLog", &m_createLog) && all;
    all = Lookup(m, "LibBriscoInit", &m_init) && all;
    all = Lookup(m, "LibBriscoInitComplete", &m_initComplete) && all;
    all = Lookup(m, "LibBriscoLogMsg", &m_logMsg) && all;
    all = Lookup(m, "LibBriscoLogMsgEx", &m_logMsgEx) && all;
    return all;
}

int CLibBrisco::InitEx(HINSTANCE instance, LIBBRISCO_INIT* block)
{
    return m_initEx ? m_initEx(instance, block) : kAbsent;
}

int CLibBrisco::ShowAbout(HINSTANCE instance)
{
    return m_showAbout ? m_showAbout(instance) : kAbsent;
}

int CLibBrisco::ReportProblem(HINSTANCE instance)
{
    return m_reportProblem ? m_reportProblem(instance) : kAbsent;
}

int CLibBrisco::ShowContextHelp(HINSTANCE instance, const char* topic)
{
    return m_showContextHelp ? m_showContextHelp(instance, topic) : kAbsent;
}

void CLibBrisco::FillInitBlock(LIBBRISCO_INIT* block)
{
    std::memset(block, 0, sizeof *block);
    block->cbSize = sizeof *block;
    block->dwMagic = LIBBRISCO_INIT_MAGIC;
    block->dwVersion = LIBBRISCO_INIT_VERSION;
    block->pfnLogPath = GetLogPathCallback;
    block->bHasLogPath = 1;
}
