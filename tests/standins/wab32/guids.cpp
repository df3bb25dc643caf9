// The interface identifiers the tests ask for (the DLL keeps its own copy internal).
#include <windows.h>
#include <initguid.h>
#include <wabdefs.h>

#define USES_IID_IMAPIProp
#define USES_IID_IMAPITable
#define USES_IID_IAddrBook
#define USES_IID_IMailUser
#define USES_IID_IMAPIContainer
#define USES_IID_IABContainer
#define USES_IID_IDistList
#include <mapiguid.h>
