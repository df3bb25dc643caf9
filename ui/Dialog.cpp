#include "ui/Dialog.h"

#include <shlobj.h>

#include "base/App.h"
#include "base/LibBrisco.h"
#include "base/Log.h"
#include "common/guard.h"
#include "common/raii.h"
#include "ui/resource.h"
#include "wab/WABLib.h"

namespace ui {

CDialog::CDialog(UINT templateId, const char* helpTopic)
    : common::CDialog(GetAppInstance(), templateId), m_helpTopic(helpTopic)
{
}

void CDialog::OnShowFailed(HRESULT code)
{
    g_log.LogErr("CDialog::DoModal", code, "DialogBoxParam(%u)", TemplateId());
}

bool CDialog::OnClicked(int id)
{
    if (id != IDC_HELP_BUTTON || !m_helpTopic)
        return false;
    if (g_libBrisco.IsLoaded())
        g_libBrisco.ShowContextHelp(GetAppInstance(), m_helpTopic);
    return true;
}

void CDialog::ShowStoredFolder(int id, std::string* folderId) const
{
    std::string name;
    if (!folderId->empty()) {
        WABFolder* folder = nullptr;
        if (g_wabLib.GetFolder(folderId->c_str(), &folder) == S_OK && folder)
            name = folder->name ? folder->name : "";
        else
            folderId->clear();
        CWABLib::FreeFolder(folder);
    }
    CWindowRef(Item(id)).SetText(name);
}

namespace {

// Puts the current folder in place once the shell's folder browser is up.
int CALLBACK BrowseCallback(HWND hwnd, UINT msg, LPARAM lp, LPARAM data)
{
    return common::Guard<int>("BrowseCallback", 0, [&]() -> int {
        if (msg == BFFM_INITIALIZED && data)
            ::SendMessageA(hwnd, BFFM_SETSELECTIONA, TRUE, data);
        return 0;
    });
}

}  // namespace

bool BrowseForFolder(HWND owner, UINT titleId, const std::string& current, std::string* picked)
{
    std::string start = current.size() > MAX_PATH ? current.substr(0, MAX_PATH) : current;
    // The newer browser style hosts COM controls: it needs an apartment on this thread.
    common::CCoInit com;
    std::string title = LoadProgramString(titleId);
    BROWSEINFOA info = {};
    info.hwndOwner = owner;
    info.lpszTitle = title.c_str();
    info.ulFlags = BIF_RETURNONLYFSDIRS | BIF_NEWDIALOGSTYLE;
    info.lpfn = BrowseCallback;
    info.lParam = reinterpret_cast<LPARAM>(start.c_str());
    common::CCoTaskMem<PIDLIST_ABSOLUTE> list(::SHBrowseForFolderA(&info));
    if (!list)
        return false;
    char path[MAX_PATH] = "";
    if (!::SHGetPathFromIDListA(list.get(), path))
        return false;
    *picked = path;
    return true;
}

}  // namespace ui
