// Process-wide texts (product, maker, folders, settings key) and registry access for the dialogs.
// The texts are computed on first use and kept until the process ends.
#pragma once

#include <windows.h>
#include <string>

#include "common/raii.h"

const char* GetProductName();    // string 603, "Quillon"
const char* GetMakerName();      // string 602, "Brisco"
const char* GetProgramFolder();  // folder of Quillon.exe, no trailing backslash
const char* GetSettingsKeyPath();  // "Software\Brisco\Quillon"
const char* GetDataFolder();     // <AppData>\Brisco\Quillon, or the program folder
int GetLogLevel();               // "LogLevel", HKCU over HKLM, default 1

// The settings key of a dialog: open (created) for reading and writing while the dialog exists.
// When it cannot be created, reads keep the caller's defaults and writes do nothing.
class CSettingsKey {
public:
    CSettingsKey();
    bool IsOpen() const { return m_key.valid(); }

    // A string is accepted as REG_SZ or REG_EXPAND_SZ (unexpanded); anything else counts as
    // missing and leaves *value untouched.
    bool ReadString(const char* name, std::string* value) const;
    // A DWORD is accepted only as REG_DWORD of 4 bytes.
    bool ReadDword(const char* name, DWORD* value) const;
    bool WriteString(const char* name, const char* value);
    bool WriteDword(const char* name, DWORD value);
    // The code of the last write that failed (the registry functions do not set the thread's last
    // error), as an HRESULT; S_OK when none failed.
    HRESULT LastWriteError() const { return m_lastWriteError; }

private:
    bool _Written(LONG result);

    common::CRegKey m_key;
    HRESULT m_lastWriteError = S_OK;
};
