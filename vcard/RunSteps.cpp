#include "vcard/RunSteps.h"

#include "base/App.h"
#include "base/strings.h"
#include "common/window.h"
#include "ui/DlgProgress.h"
#include "wab/WABLib.h"

namespace vcard {

std::string SelectionFolder(const CSelectionList* selection)
{
    if (!selection || selection->empty())
        return std::string();
    CWabBuffer<char> folder;
    HRESULT hr = g_wabLib.FindItemFolder((*selection)[0].c_str(), folder.put());
    return hr == S_OK && folder ? std::string(folder.get()) : std::string();
}

bool StartProgress(CDlgProgress& progress, HWND owner, UINT textId, int total)
{
    if (!progress.Start(owner))
        return false;
    progress.SetText(textId);
    progress.SetRange(total);
    progress.SetPos(0);
    return true;
}

void ShowClosingMessage(HWND owner, int done, bool shortfall, UINT okId, UINT partialId, UINT failedId)
{
    UINT message = done == 0 ? failedId : (shortfall ? partialId : okId);
    common::OwnedMessageBox(owner, LoadProgramString(message).c_str(), LoadProgramString(IDS_APP_TITLE).c_str(),
                            MB_OK);
}

}  // namespace vcard
