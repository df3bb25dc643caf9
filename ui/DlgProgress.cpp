#include "ui/DlgProgress.h"

#include "base/App.h"
#include "base/Log.h"
#include "common/guard.h"
#include "common/text.h"
#include "ui/resource.h"

namespace {

// Asks the dialog thread to end its own dialog: EndDialog belongs to the thread that runs the loop.
const UINT kCloseMessage = WM_APP + 1;

// Removes, translates and dispatches every message waiting for the calling thread.
void PumpMessages()
{
    MSG msg;
    while (::PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        ::TranslateMessage(&msg);
        ::DispatchMessageA(&msg);
    }
}

// Waits until one of the handles is signalled, handling the calling thread's messages meanwhile.
// Returns the index of the signalled handle, or -1 when the wait failed.
int WaitPumping(const HANDLE* handles, DWORD count)
{
    for (;;) {
        DWORD r = ::MsgWaitForMultipleObjects(count, handles, FALSE, INFINITE, QS_ALLINPUT);
        if (r < WAIT_OBJECT_0 + count)
            return static_cast<int>(r - WAIT_OBJECT_0);
        if (r != WAIT_OBJECT_0 + count)
            return -1;
        PumpMessages();
    }
}

}  // namespace

CDlgProgress::CDlgProgress() : ui::CDialog(IDD_PROGRESS) {}

CDlgProgress::~CDlgProgress()
{
    Close();
}

bool CDlgProgress::Start(HWND owner)
{
    Close();
    m_owner = owner;
    m_dialog.store(nullptr);
    m_cancelled.store(false);

    m_ready.reset(::CreateEventA(nullptr, FALSE, FALSE, nullptr));
    if (!m_ready) {
        g_log.LogErr("CDlgProgress::Start", common::HResultFromLastError(), "CreateEvent");
        return false;
    }
    m_thread.reset(::CreateThread(nullptr, 0, _ThreadProc, this, 0, nullptr));
    if (!m_thread) {
        g_log.LogErr("CDlgProgress::Start", common::HResultFromLastError(), "CreateThread");
        m_ready.reset();
        return false;
    }

    // The thread also ends without ever signalling when its dialog cannot be created; waiting on
    // it as well keeps Start from hanging in that case.
    HANDLE handles[2] = {m_ready.get(), m_thread.get()};
    int signalled = WaitPumping(handles, 2);
    m_ready.reset();
    if (signalled != 0) {
        g_log.LogErr("CDlgProgress::Start", 0, "the progress window could not be shown");
        _WaitForThread();
        return false;
    }
    return true;
}

void CDlgProgress::SetText(UINT stringId)
{
    HWND dialog = m_dialog.load();
    if (!dialog)
        return;
    // A string that cannot be loaded leaves the template's text in place.
    std::string text = LoadProgramString(stringId);
    if (!text.empty())
        ::SetDlgItemTextA(dialog, IDC_PROGRESS_ACTION, text.c_str());
}

void CDlgProgress::SetRange(int total)
{
    m_total = total;
    HWND dialog = m_dialog.load();
    if (dialog)
        ui::CProgressBar(::GetDlgItem(dialog, IDC_PROGRESS_BAR)).SetRange(0, total);
}

void CDlgProgress::SetPos(int pos)
{
    HWND dialog = m_dialog.load();
    if (dialog) {
        ui::CProgressBar(::GetDlgItem(dialog, IDC_PROGRESS_BAR)).SetPos(pos);
        std::string format = LoadProgramString(IDS_PROGRESS_COUNT);
        char count[64] = "";
        common::FormatBounded(count, sizeof count, format.empty() ? "%i of %i" : format.c_str(), pos, m_total);
        ::SetDlgItemTextA(dialog, IDC_PROGRESS_COUNT, count);
    }
    PumpMessages();
}

void CDlgProgress::Close()
{
    HWND dialog = m_dialog.load();
    if (dialog)
        ::PostMessageA(dialog, kCloseMessage, 0, 0);
    _WaitForThread();
}

void CDlgProgress::_WaitForThread()
{
    if (!m_thread)
        return;
    HANDLE thread = m_thread.get();
    WaitPumping(&thread, 1);
    m_thread.reset();
}

DWORD WINAPI CDlgProgress::_ThreadProc(void* param)
{
    return common::Guard<DWORD>("CDlgProgress::ThreadProc", static_cast<DWORD>(IDCANCEL), [&]() -> DWORD {
        auto* self = static_cast<CDlgProgress*>(param);
        INT_PTR result = self->DoModal(self->m_owner);
        self->m_dialog.store(nullptr);
        return static_cast<DWORD>(result);
    });
}

bool CDlgProgress::OnInitDialog()
{
    m_dialog.store(Handle());
    std::string cancel = LoadProgramString(IDS_PROGRESS_CANCEL);
    if (!cancel.empty())
        ::SetDlgItemTextA(Handle(), IDCANCEL, cancel.c_str());
    ::SetEvent(m_ready.get());
    return true;
}

void CDlgProgress::OnClickedCancel()
{
    m_cancelled.store(true);
    std::string wait = LoadProgramString(IDS_PROGRESS_WAIT);
    if (!wait.empty())
        ::SetDlgItemTextA(Handle(), IDCANCEL, wait.c_str());
}

bool CDlgProgress::OnMessage(UINT msg, WPARAM wp, LPARAM lp, INT_PTR* result)
{
    if (msg != kCloseMessage)
        return false;
    EndDialog(IDCANCEL);
    *result = TRUE;
    return true;
}
