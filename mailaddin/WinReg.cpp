#include "mailaddin/WinReg.h"

#include <cctype>
#include <vector>

namespace gimlet {

namespace {

// The predefined keys are sign-extended 32-bit numbers on 64-bit Windows.
HKEY RootKey(long nRootKey) { return reinterpret_cast<HKEY>(static_cast<LONG_PTR>(nRootKey)); }

}  // namespace

bool CWinReg::_InitBelow(HKEY parent, const std::string& strSubKey, REGSAM nAccess, bool bCreate)
{
    m_key.reset();
    LONG rc;
    if (bCreate) {
        rc = ::RegCreateKeyExA(parent, strSubKey.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, nAccess,
                               nullptr, m_key.put(), nullptr);
    } else {
        rc = ::RegOpenKeyExA(parent, strSubKey.c_str(), 0, nAccess, m_key.put());
    }
    if (rc != ERROR_SUCCESS) {
        m_key.release();  // whatever the call left there is not a key of ours
        return false;
    }
    return true;
}

bool CWinReg::InitForAccess(long nRootKey, const std::string& strSubKey, REGSAM nAccess, bool bCreate)
{
    return _InitBelow(RootKey(nRootKey), strSubKey, nAccess, bCreate);
}

bool CWinReg::InitForRead(long nRootKey, const std::string& strSubKey)
{
    return InitForAccess(nRootKey, strSubKey, kAccessRead, false);
}

bool CWinReg::InitForWrite(long nRootKey, const std::string& strSubKey, bool bCreate)
{
    return InitForAccess(nRootKey, strSubKey, kAccessWrite, bCreate);
}

bool CWinReg::InitForAllAccess(long nRootKey, const std::string& strSubKey, bool bCreate)
{
    return InitForAccess(nRootKey, strSubKey, kAccessAll, bCreate);
}

bool CWinReg::Close()
{
    if (!m_key)
        return true;
    LONG rc = ::RegCloseKey(m_key.release());
    return rc == ERROR_SUCCESS;
}

std::string CWinReg::GetString(const std::string& name) const
{
    if (!m_key)
        return std::string();
    char buffer[256];
    DWORD type = 0;
    DWORD size = sizeof buffer;
    LONG rc = ::RegQueryValueExA(m_key.get(), name.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(buffer), &size);
    if (rc != ERROR_SUCCESS || (type != REG_SZ && type != REG_EXPAND_SZ) || size == 0 || size > sizeof buffer)
        return std::string();
    // The stored size counts the terminator; a value written without one keeps its last letter.
    if (buffer[size - 1] == '\0')
        --size;
    return std::string(buffer, size);
}

bool CWinReg::SetString(const std::string& name, const std::string& text)
{
    if (!m_key)
        return false;
    return ::RegSetValueExA(m_key.get(), name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                            static_cast<DWORD>(text.size() + 1)) == ERROR_SUCCESS;
}

long CWinReg::GetLong(const std::string& name, long def) const
{
    if (!m_key)
        return 0;
    DWORD value = 0;
    DWORD type = 0;
    DWORD size = sizeof value;
    LONG rc = ::RegQueryValueExA(m_key.get(), name.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(&value), &size);
    if (rc != ERROR_SUCCESS || type != REG_DWORD || size != sizeof value)
        return def;
    return static_cast<long>(value);
}

bool CWinReg::SetLong(const std::string& name, long value)
{
    if (!m_key)
        return false;
    DWORD data = static_cast<DWORD>(value);
    return ::RegSetValueExA(m_key.get(), name.c_str(), 0, REG_DWORD, reinterpret_cast<const BYTE*>(&data),
                            sizeof data) == ERROR_SUCCESS;
}

bool CWinReg::GetBool(const std::string& name) const
{
    std::string text = GetString(name);
    for (char& c : text)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text == "yes";
}

bool CWinReg::SetBool(const std::string& name, bool b) { return SetString(name, b ? "yes" : "no"); }

bool CWinReg::DeleteValue(const std::string& name)
{
    return m_key && ::RegDeleteValueA(m_key.get(), name.c_str()) == ERROR_SUCCESS;
}

bool CWinReg::DeleteKey(const std::string& strSubKey)
{
    return m_key && ::RegDeleteKeyA(m_key.get(), strSubKey.c_str()) == ERROR_SUCCESS;
}

bool CWinReg::Flush() { return m_key && ::RegFlushKey(m_key.get()) == ERROR_SUCCESS; }

std::string CWinReg::Keys(DWORD nIndex) const
{
    if (!m_key)
        return std::string();
    char name[256];
    DWORD size = 255;
    if (::RegEnumKeyExA(m_key.get(), nIndex, name, &size, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
        return std::string();
    return std::string(name, size);
}

std::string CWinReg::Values(DWORD nIndex) const
{
    if (!m_key)
        return std::string();
    char name[256];
    DWORD size = 255;
    if (::RegEnumValueA(m_key.get(), nIndex, name, &size, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
        return std::string();
    return std::string(name, size);
}

bool CWinReg::DeleteAllKeys()
{
    if (!m_key)
        return false;
    // All names first: deleting while enumerating would shift the indexes.
    std::vector<std::string> names;
    for (DWORD i = 0;; ++i) {
        std::string name = Keys(i);
        if (name.empty())
            break;
        names.push_back(name);
    }
    bool ok = true;
    for (const std::string& name : names) {
        CWinReg child;
        if (child._InitBelow(m_key.get(), name, kAccessAll, false)) {
            child.DeleteAllKeys();
            child.Close();
        }
        ok = DeleteKey(name) && ok;
    }
    return ok;
}

bool CWinReg::DeleteKeyRec(const std::string& strSubKey)
{
    if (!m_key)
        return false;
    CWinReg child;
    if (child._InitBelow(m_key.get(), strSubKey, kAccessAll, false)) {
        child.DeleteAllKeys();
        child.Close();
    }
    return DeleteKey(strSubKey);
}

}  // namespace gimlet
