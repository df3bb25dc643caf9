#include "vcard/RunSteps.h"

#include "base/App.h"
#include "base/Prompts.h"
#include "base/strings.h"
#include "common/text.h"
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
    // Unattended, nobody watches and nobody cancels: the run goes on without the window.
    if (!Prompts().ShowsWindows())
        return true;
    if (!progress.Start(owner))
        return false;
    progress.SetText(textId);
    progress.SetRange(total);
    progress.SetPos(0);
    return true;
}

void ShowClosingMessage(HWND owner, int done, bool shortfall, UINT okId, UINT partialId, UINT failedId,
                        const std::wstring& detail)
{
    UINT message = done == 0 ? failedId : (shortfall ? partialId : okId);
    if (detail.empty()) {
        PromptBox(owner, LoadProgramString(message).c_str(), LoadProgramString(IDS_APP_TITLE).c_str(), MB_OK);
        return;
    }
    std::wstring text = common::AnsiToWide(LoadProgramString(message)) + L"\n" + detail;
    PromptBox(owner, text.c_str(), common::AnsiToWide(LoadProgramString(IDS_APP_TITLE)).c_str(), MB_OK);
}

}  // namespace vcard
