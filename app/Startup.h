// Quillon's entry: start-up, the chosen run mode and shut-down. Returns the exit code.
#pragma once

#include <windows.h>

int RunQuillon(HINSTANCE instance, const char* commandLine, int showCommand);
