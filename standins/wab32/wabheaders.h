// The published address-book declarations, in the one order in which the mingw-w64 headers agree
// (wabdefs.h first; mapidefs.h must not be mixed in).
#pragma once

#include <windows.h>
#include <wabdefs.h>
#include <wabcode.h>
#include <wabtags.h>
#include <wabiab.h>
#include <wabapi.h>
