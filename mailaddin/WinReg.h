// The add-in's registry wrapper. It holds at most one open key, takes root keys as the numbers
// the registry API gives them, and passes every text as 8-bit ANSI. Reads never fail loudly: a
// missing or mistyped value gives "" or the caller's default.
#pragma once

#include <windows.h>

#include <string>

#include "common/raii.h"

namespace gimlet {

class CWinReg {
public:
    CWinReg() = default;
    CWinReg(const CWinReg&) = delete;
    CWinReg& operator=(const CWinReg&) = delete;

    // The three root keys (the registry's own names are macros, hence these).
    static constexpr long KeyClassesRoot() { return static_cast<long>(0x80000000UL); }
    static constexpr long KeyCurrentUser() { return static_cast<long>(0x80000001UL); }
    static constexpr long KeyLocalMachine() { return static_cast<long>(0x80000002UL); }

    static constexpr REGSAM kAccessRead = 0x20019;
    static constexpr REGSAM kAccessWrite = 0x2001F;
    static constexpr REGSAM kAccessAll = 0xF003F;

    bool InitForAccess(long nRootKey, const std::string& strSubKey, REGSAM nAccess, bool bCreate);
    bool InitForRead(long nRootKey, const std::string& strSubKey);
    bool InitForWrite(long nRootKey, const std::string& strSubKey, bool bCreate);
    bool InitForAllAccess(long nRootKey, const std::string& strSubKey, bool bCreate);
    bool Close();

    std::string GetString(const std::string& name) const;
    bool SetString(const std::string& name, const std::string& text);
    long GetLong(const std::string& name, long def) const;
    bool SetLong(const std::string& name, long value);
    bool GetBool(const std::string& name) const;
    bool SetBool(const std::string& name, bool b);
    bool DeleteValue(const std::string& name);
    bool DeleteKey(const std::string& strSubKey);
    bool Flush();
    std::string Keys(DWORD nIndex) const;
    std::string Values(DWORD nIndex) const;
    bool DeleteAllKeys();
    bool DeleteKeyRec(const std::string& strSubKey);

    bool IsOpen() const { return m_key.valid(); }

private:
    bool _InitBelow(HKEY parent, const std::string& strSubKey, REGSAM nAccess, bool bCreate);

    common::CRegKey m_key;
};

}  // namespace gimlet
