#include "mailaddin/Options.h"

#include "mailaddin/WinReg.h"

namespace gimlet {

const char* const kOptionsKey = "Software\\Brisco\\Quillon\\Addin";

std::unique_ptr<COptions> COptions::s_instance;

COptions& COptions::Instance()
{
    if (!s_instance)
        s_instance.reset(new COptions());
    return *s_instance;
}

void COptions::ReleaseInstance() { s_instance.reset(); }

bool COptions::_Read(const std::string& name, bool def, bool currentUser) const
{
    CWinReg reg;
    if (!reg.InitForRead(currentUser ? CWinReg::KeyCurrentUser() : CWinReg::KeyLocalMachine(), kOptionsKey))
        return def;
    long value = reg.GetLong(name, def ? 1 : 0);
    reg.Close();
    return value != 0;
}

void COptions::_Write(const std::string& name, bool value, bool currentUser)
{
    CWinReg reg;
    if (!reg.InitForWrite(currentUser ? CWinReg::KeyCurrentUser() : CWinReg::KeyLocalMachine(), kOptionsKey, true))
        return;
    reg.SetLong(name, value ? 1 : 0);
    reg.Close();
}

}  // namespace gimlet
