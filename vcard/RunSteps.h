// What the export and the import run do alike around their own work: the folder of the contacts
// selected at start (the dialogs preset it), the progress window's opening, and the one message
// that closes a run.
#pragma once

#include <windows.h>

#include <string>

#include "base/Selection.h"

class CDlgProgress;

namespace vcard {

// Identifier text of the first folder listing the selection's first contact; empty without a
// selection or when no folder lists it.
std::string SelectionFolder(const CSelectionList* selection);

// Shows progress owned by owner with the action line textId, a range of total and the bar at 0;
// false (nothing shown) when the window could not be started. When no window may show (an
// unattended run) it shows nothing and gives true: the run goes on, never cancelled.
bool StartProgress(CDlgProgress& progress, HWND owner, UINT textId, int total);

// The closing message under the program's title (through the prompts in force, base/Prompts.h): failedId when nothing went through, partialId
// when something was left out (shortfall), else okId; detail, when given, on a line of its own
// below (in UTF-16: it may name a file in any script).
void ShowClosingMessage(HWND owner, int done, bool shortfall, UINT okId, UINT partialId, UINT failedId,
                        const std::wstring& detail = std::wstring());

}  // namespace vcard
