// How a COM server of ours writes itself into the registry and takes itself out again: the
// classes' "REGISTRY" scripts run through the system's script registrar, and the type library
// from the module's own resources. CComServer runs these for its classes; the tests call them
// directly.
#pragma once

#include <windows.h>
#include <ole2.h>
#include <string>
#include <vector>

namespace common {

// A text replacement for registration scripts, e.g. {L"MODULE", L"C:\\x\\y.dll"}.
struct CReplacement {
    std::wstring key;
    std::wstring value;
};

// Runs a "REGISTRY" resource of a module through the system registrar. The script text is taken
// from the resource as 8-bit text in the ANSI code page; %MODULE% is the module's full path.
[[nodiscard]] HRESULT RunRegistryScript(HMODULE module, UINT id, bool doRegister,
                                        const std::vector<CReplacement>& extra = {}) noexcept;

// Type library of a module: its "TYPELIB" 1 resource, or else the file with the module's name and
// the extension ".tlb".
[[nodiscard]] HRESULT LoadModuleTypeLib(HMODULE module, ITypeLib** out, std::wstring* path) noexcept;
[[nodiscard]] HRESULT RegisterModuleTypeLib(HMODULE module) noexcept;
[[nodiscard]] HRESULT UnregisterModuleTypeLib(HMODULE module) noexcept;

// The path with its extension (from the last "." after the last separator) replaced by ext.
std::wstring ReplaceExtension(const std::wstring& path, const wchar_t* ext);
// The path cut after its last "\", "/" or ":" (the folder with its separator); empty if none.
std::wstring HelpFolderOf(const std::wstring& path);

}  // namespace common
