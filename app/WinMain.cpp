#include <windows.h>

#include "app/ExitCode.h"
#include "app/Startup.h"
#include "common/guard.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR commandLine, int showCommand)
{
    // The last wall: what escapes before the log is up goes to the debugger.
    return common::Guard<int>("WinMain", ExitValue(ExitCode::kFailed), [&] { return RunQuillon(instance, commandLine, showCommand); });
}
