#include "base/Settings.h"

#include <cstring>
#include <vector>

#include "base/App.h"
#include "common/text.h"
#include "base/strings.h"

namespace {

// Each text is formed once and kept until the process ends.
struct CachedText {
    bool ready = false;
    std::string text;
};

template <class Fn>
const char* Cached(CachedText& slot, Fn make)
{
    if (!slot.ready) {
        slot.text = make();
        slot.ready = true;
    }
    return slot.text.c_str();
}

void CreateFolder(const std::string& path)
{
    ::CreateDirectoryA(path.c_str(), nullptr);  // an existing folder is fine; failures are ignored
}

// Reads a DWORD from the settings key under a root; the registry type is not examined.
bool ReadLevel(HKEY root, int* level)
{
    common::CRegKey key;
    if (::RegOpenKeyExA(root, GetSettingsKeyPath(), 0, KEY_READ, key.put()) != ERROR_SUCCESS)
        return false;
    DWORD value = 0, size = sizeof value;
    if (::RegQueryValueExA(key.get(), "LogLevel", nullptr, nullptr, reinterpret_cast<BYTE*>(&value),
                           &size) != ERROR_SUCCESS)
        return false;
    *level = static_cast<int>(value);
    return true;
}

}  // namespace

const char* GetProductName()
{
    static CachedText slot;
    return Cached(slot, [] { return LoadProgramString(IDS_PRODUCT_NAME); });
}

const char* GetMakerName()
{
    static CachedText slot;
    return Cached(slot, [] { return LoadProgramString(IDS_MAKER_NAME); });
}

const char* GetProgramFolder()
{
    static CachedText slot;
    return Cached(slot, [] {
        std::string moduleName = LoadProgramString(IDS_MODULE_NAME);
        HMODULE module = moduleName.empty() ? nullptr : ::GetModuleHandleA(moduleName.c_str());
        return common::FolderOf(common::ModuleFileName(module));
    });
}

const char* GetSettingsKeyPath()
{
    static CachedText slot;
    return Cached(slot, [] { return common::Format("Software\\%s\\%s", GetMakerName(), GetProductName()); });
}

const char* GetDataFolder()
{
    static CachedText slot;
    return Cached(slot, [] {
        std::string appData;
        common::CRegKey key;
        if (::RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders",
                            0, KEY_READ, key.put()) == ERROR_SUCCESS) {
            DWORD size = 0;
            if (::RegQueryValueExA(key.get(), "AppData", nullptr, nullptr, nullptr, &size) == ERROR_SUCCESS &&
                size > 0) {
                std::vector<char> buf(size + 1, '\0');
                DWORD got = size;
                if (::RegQueryValueExA(key.get(), "AppData", nullptr, nullptr,
                                       reinterpret_cast<BYTE*>(buf.data()), &got) == ERROR_SUCCESS)
                    appData = buf.data();
            }
        }
        key.reset();
        if (appData.empty())
            return std::string(GetProgramFolder());
        std::string folder = appData;
        CreateFolder(folder);
        folder += "\\";
        folder += GetMakerName();
        CreateFolder(folder);
        folder += "\\";
        folder += GetProductName();
        CreateFolder(folder);
        return folder;
    });
}

int GetLogLevel()
{
    int level = 1;
    if (!ReadLevel(HKEY_CURRENT_USER, &level))
        ReadLevel(HKEY_LOCAL_MACHINE, &level);
    return level;
}

CSettingsKey::CSettingsKey()
{
    if (::RegCreateKeyExA(HKEY_CURRENT_USER, GetSettingsKeyPath(), 0, nullptr, 0, KEY_READ | KEY_WRITE, nullptr,
                          m_key.put(), nullptr) != ERROR_SUCCESS)
        m_key.reset();
}

bool CSettingsKey::ReadString(const char* name, std::string* value) const
{
    if (!m_key)
        return false;
    DWORD type = 0, size = 0;
    if (::RegQueryValueExA(m_key.get(), name, nullptr, &type, nullptr, &size) != ERROR_SUCCESS)
        return false;
    if (type != REG_SZ && type != REG_EXPAND_SZ)
        return false;
    std::vector<char> buf(size + 1, '\0');
    DWORD got = size;
    if (::RegQueryValueExA(m_key.get(), name, nullptr, &type, reinterpret_cast<BYTE*>(buf.data()), &got) !=
            ERROR_SUCCESS ||
        (type != REG_SZ && type != REG_EXPAND_SZ))
        return false;
    *value = buf.data();
    return true;
}

bool CSettingsKey::ReadDword(const char* name, DWORD* value) const
{
    if (!m_key)
        return false;
    DWORD type = 0, data = 0, size = sizeof data;
    if (::RegQueryValueExA(m_key.get(), name, nullptr, &type, reinterpret_cast<BYTE*>(&data), &size) !=
            ERROR_SUCCESS ||
        type != REG_DWORD || size != sizeof data)
        return false;
    *value = data;
    return true;
}

bool CSettingsKey::_Written(LONG result)
{
    if (result != ERROR_SUCCESS)
        m_lastWriteError = HRESULT_FROM_WIN32(static_cast<DWORD>(result));
    return result == ERROR_SUCCESS;
}

bool CSettingsKey::WriteString(const char* name, const char* value)
{
    if (!m_key || !value)
        return _Written(m_key ? ERROR_INVALID_PARAMETER : ERROR_INVALID_HANDLE);
    return _Written(::RegSetValueExA(m_key.get(), name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value),
                                     static_cast<DWORD>(std::strlen(value) + 1)));
}

bool CSettingsKey::WriteDword(const char* name, DWORD value)
{
    if (!m_key)
        return _Written(ERROR_INVALID_HANDLE);
    return _Written(::RegSetValueExA(m_key.get(), name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value),
                                     sizeof value));
}
