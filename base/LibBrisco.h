// Run-time binding of the maker's support library (About box, problem report, context help).
// It is loaded at static construction; if any of its ten exports is missing it counts as absent.
#pragma once

#include <windows.h>

#include "common/raii.h"
#include "libbrisco/LibBriscoApi.h"

class CLibBrisco {
public:
    // Result of a call that could not be made because the library or the export is absent.
    static const int kAbsent = -200;

    CLibBrisco();
    virtual ~CLibBrisco();
    CLibBrisco(const CLibBrisco&) = delete;
    CLibBrisco& operator=(const CLibBrisco&) = delete;

    bool IsLoaded() const { return m_module.valid(); }

    int InitEx(HINSTANCE instance, LIBBRISCO_INIT* block);
    int ShowAbout(HINSTANCE instance);
    int ReportProblem(HINSTANCE instance);
    int ShowContextHelp(HINSTANCE instance, const char* topic);

    // Fills the initialisation block for this program: size, fixed words, log-path callback.
    static void FillInitBlock(LIBBRISCO_INIT* block);

private:
    bool _Bind();

    common::CModule m_module;
    PFN_LibBriscoInitEx m_initEx = nullptr;
    PFN_LibBriscoShowAbout m_showAbout = nullptr;
    PFN_LibBriscoReportProblem m_reportProblem = nullptr;
    PFN_LibBriscoShowContextHelp m_showContextHelp = nullptr;
    PFN_LibBriscoAddAboutMenu m_addAboutMenu = nullptr;
    PFN_LibBriscoCreateLog m_createLog = nullptr;
    PFN_LibBriscoInit m_init = nullptr;
    PFN_LibBriscoInitComplete m_initComplete = nullptr;
    PFN_LibBriscoLogMsg m_logMsg = nullptr;
    PFN_LibBriscoLogMsgEx m_logMsgEx = nullptr;
};

extern CLibBrisco g_libBrisco;
