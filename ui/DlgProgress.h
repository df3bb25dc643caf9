// The progress window of the export and import runs.
//
// How it works: the runs keep the user-interface thread busy, so the window runs its own modal
// dialog loop on a second thread, where it repaints and answers its Cancel button. The run's
// thread drives it with SetText, SetRange and SetPos (window messages sent across threads, which
// the system serialises) and reads IsCancelled after each item. Cancel never stops anything by
// itself: it raises the flag and the button reads "Wait..." until the run calls Close.
//
// Both threads touch two fields: the cancelled flag (written by the dialog thread, read by the
// run) and the dialog window (set by the dialog thread at initialisation, cleared when its loop
// ends, read by the run); both are atomics. Close asks the dialog thread to end its dialog and
// waits until that thread has ended, handling the run thread's messages meanwhile (ending a modal
// dialog re-enables its owner, which sends messages to the owner's thread). The destructor does
// the same, so the object never goes away under a running dialog thread.
//
// Usage, as the runs do it:
//   CDlgProgress progress;
//   if (!progress.Start(owner)) ...;
//   progress.SetText(IDS_EXPORTING); progress.SetRange(total); progress.SetPos(0);
//   for each item: work; if (progress.IsCancelled()) break; progress.SetPos(i + 1);
//   progress.Close();
#pragma once

#include <windows.h>
#include <atomic>

#include "common/raii.h"
#include "ui/Dialog.h"

class CDlgProgress : private ui::CDialog {
public:
    CDlgProgress();
    virtual ~CDlgProgress();

    // Shows the window owned by owner and returns once it is initialised; false (nothing shown)
    // when the ready event or the thread cannot be created, or the window could not be made.
    bool Start(HWND owner);
    // Action line: the string resource `stringId` ("Exporting...", "Importing...").
    void SetText(UINT stringId);
    // Stores total and sets the bar's range to 0..total.
    void SetRange(int total);
    // Bar and count line ("3 of 10"), then handles the calling thread's pending messages.
    void SetPos(int pos);
    bool IsCancelled() const { return m_cancelled.load(); }
    // Ends the dialog if it is shown and waits for its thread to end. Does nothing before Start.
    void Close();

    // The dialog window while it exists (null before Start and after its loop ended).
    HWND GetWindow() const { return m_dialog.load(); }

private:
    static DWORD WINAPI _ThreadProc(void* param);
    bool OnInitDialog() override;
    void OnClickedOK() override {}
    void OnClickedCancel() override;
    bool OnMessage(UINT msg, WPARAM wp, LPARAM lp, INT_PTR* result) override;
    void _WaitForThread();

    HWND m_owner = nullptr;
    std::atomic<HWND> m_dialog{nullptr};
    common::CHandle m_ready;
    int m_total = 0;
    std::atomic<bool> m_cancelled{false};
    common::CHandle m_thread;
};
