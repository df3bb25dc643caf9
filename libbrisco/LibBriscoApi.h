// The support library's published interface: the ten exports and the initialisation block.
// On 32-bit Windows the block is 60 bytes with the log-path callback at offset 24 and the flag byte
// at 28; on 64-bit it takes its natural layout, and both sides use this one declaration.
#pragma once

#include <windows.h>
#include <cstddef>

// Copies the caller's full log path into a buffer of LIBBRISCO_LOG_PATH_SIZE bytes; returns 0.
#define LIBBRISCO_LOG_PATH_SIZE 1024
typedef int(WINAPI* LIBBRISCO_LOGPATH_CALLBACK)(char* buffer);

// Values of the words the library defines for itself; callers fill them as given here.
#define LIBBRISCO_INIT_MAGIC   0x42524953u  // "BRIS"
#define LIBBRISCO_INIT_VERSION 0x00030001u

#pragma pack(push, 4)
struct LIBBRISCO_INIT {
    DWORD cbSize;                            // sizeof(LIBBRISCO_INIT): 60 on 32-bit
    DWORD dwMagic;                           // LIBBRISCO_INIT_MAGIC
    DWORD dwVersion;                         // LIBBRISCO_INIT_VERSION
    DWORD dwReserved[3];                     // 0
    LIBBRISCO_LOGPATH_CALLBACK pfnLogPath;   // offset 24 on 32-bit
    BYTE bHasLogPath;                        // offset 28: 1
    BYTE bPad[3];
    DWORD dwTail[7];                         // 0
};
#pragma pack(pop)

#if !defined(_WIN64)
static_assert(sizeof(LIBBRISCO_INIT) == 60, "support library block is 60 bytes on 32-bit");
static_assert(offsetof(LIBBRISCO_INIT, pfnLogPath) == 24, "callback at offset 24");
static_assert(offsetof(LIBBRISCO_INIT, bHasLogPath) == 28, "flag byte at offset 28");
#endif

typedef int(WINAPI* PFN_LibBriscoInitEx)(HINSTANCE instance, LIBBRISCO_INIT* block);
typedef int(WINAPI* PFN_LibBriscoShowAbout)(HINSTANCE instance);
typedef int(WINAPI* PFN_LibBriscoReportProblem)(HINSTANCE instance);
typedef int(WINAPI* PFN_LibBriscoShowContextHelp)(HINSTANCE instance, const char* topic);
typedef int(WINAPI* PFN_LibBriscoAddAboutMenu)(HINSTANCE instance, HMENU menu);
typedef int(WINAPI* PFN_LibBriscoCreateLog)(HINSTANCE instance, const char* path);
typedef int(WINAPI* PFN_LibBriscoInit)(HINSTANCE instance);
typedef int(WINAPI* PFN_LibBriscoInitComplete)(HINSTANCE instance);
typedef int(WINAPI* PFN_LibBriscoLogMsg)(HINSTANCE instance, const char* message);
typedef int(WINAPI* PFN_LibBriscoLogMsgEx)(HINSTANCE instance, int level, const char* message);
