// The program-wide services, constructed before the entry runs in this order (one translation
// unit fixes it): the log first, so that everything after it can write lines; then the support
// library binding, which loads the library right here.
#include "base/LibBrisco.h"
#include "base/Log.h"
#include "contact/CharConverter.h"
#include "wab/WABLib.h"

CLog g_log;
CLibBrisco g_libBrisco;

// The character converter and the address-book access object follow here, in that order.
CCharConverter g_charConverter;
CWABLib g_wabLib;
