// The progress window as the runs drive it: its own thread, the count line, Cancel turning into
// "Wait..." while the dialog stays up, and Close waiting until the dialog thread has ended.
#include <gtest/gtest.h>

#include "support/testsupport.h"
#include "ui/DlgProgress.h"
#include "ui/resource.h"

using namespace testsupport;

namespace {

int BarPos(HWND dialog)
{
    return static_cast<int>(::SendMessageA(::GetDlgItem(dialog, IDC_PROGRESS_BAR), PBM_GETPOS, 0, 0));
}

int BarHigh(HWND dialog)
{
    return static_cast<int>(::SendMessageA(::GetDlgItem(dialog, IDC_PROGRESS_BAR), PBM_GETRANGE, FALSE, 0));
}

TEST(ProgressWindow, RunsOnItsOwnThreadAndShowsTheCountLine)
{
    CDlgProgress progress;
    ASSERT_TRUE(progress.Start(nullptr));
    HWND dialog = progress.GetWindow();
    ASSERT_NE(dialog, nullptr);
    EXPECT_TRUE(WaitUntil([&] { return ::IsWindowVisible(dialog) != FALSE; }, kWait)) << "never shown";
    EXPECT_NE(::GetWindowThreadProcessId(dialog, nullptr), ::GetCurrentThreadId());
    EXPECT_EQ(ItemText(dialog, IDCANCEL), "Cancel");
    EXPECT_EQ(ItemText(dialog, IDC_PROGRESS_ACTION), "Importing...");  // the template's text
    EXPECT_FALSE(progress.IsCancelled());

    progress.SetText(IDS_EXPORTING);
    progress.SetRange(3);
    progress.SetPos(0);
    EXPECT_EQ(ItemText(dialog, IDC_PROGRESS_ACTION), "Exporting...");
    EXPECT_EQ(ItemText(dialog, IDC_PROGRESS_COUNT), "0 of 3");
    EXPECT_EQ(BarHigh(dialog), 3);
    EXPECT_EQ(BarPos(dialog), 0);

    progress.SetPos(2);
    EXPECT_EQ(ItemText(dialog, IDC_PROGRESS_COUNT), "2 of 3");
    EXPECT_EQ(BarPos(dialog), 2);
    progress.SetPos(3);
    EXPECT_EQ(ItemText(dialog, IDC_PROGRESS_COUNT), "3 of 3");

    progress.SetText(9999);  // no such string: the line keeps its text
    EXPECT_EQ(ItemText(dialog, IDC_PROGRESS_ACTION), "Exporting...");
    progress.SetText(IDS_IMPORTING);
    progress.SetRange(1000);
    progress.SetPos(999);
    EXPECT_EQ(ItemText(dialog, IDC_PROGRESS_ACTION), "Importing...");
    EXPECT_EQ(ItemText(dialog, IDC_PROGRESS_COUNT), "999 of 1000");

    progress.Close();
    EXPECT_EQ(progress.GetWindow(), nullptr);
    EXPECT_FALSE(::IsWindow(dialog));
}

TEST(ProgressWindow, CancelRaisesTheFlagAndTheDialogStaysUntilClose)
{
    CDlgProgress progress;
    ASSERT_TRUE(progress.Start(nullptr));
    HWND dialog = progress.GetWindow();
    ASSERT_NE(dialog, nullptr);

    PostClick(dialog, IDCANCEL);
    ASSERT_TRUE(WaitUntil([&] { return progress.IsCancelled(); }, kWait)) << "Cancel did not raise the flag";
    ASSERT_TRUE(WaitUntil([&] { return ItemText(dialog, IDCANCEL) == "Wait..."; }, kWait));
    EXPECT_TRUE(::IsWindow(dialog));

    // A second press, and Escape, change nothing: the run decides when the window goes.
    PostClick(dialog, IDCANCEL);
    ::PostMessageA(dialog, WM_CLOSE, 0, 0);
    // Marks posted behind them to the same thread: once the bar shows a mark, what was posted
    // before it was handled. The dialog answers WM_CLOSE by posting a click of Cancel, hence a
    // second mark.
    for (int mark = 1; mark <= 2; ++mark) {
        ::PostMessageA(::GetDlgItem(dialog, IDC_PROGRESS_BAR), PBM_SETPOS, mark, 0);
        ASSERT_TRUE(WaitUntil([&] { return BarPos(dialog) == mark; }, kWait)) << "the dialog thread is stuck";
    }
    progress.SetPos(0);
    EXPECT_TRUE(progress.IsCancelled());
    EXPECT_EQ(ItemText(dialog, IDCANCEL), "Wait...");
    EXPECT_TRUE(::IsWindow(dialog));
    EXPECT_EQ(progress.GetWindow(), dialog);

    progress.Close();
    EXPECT_EQ(progress.GetWindow(), nullptr);
    EXPECT_FALSE(::IsWindow(dialog));
    EXPECT_TRUE(progress.IsCancelled());
}

// An exception on the dialog's thread (here out of memory as the thread starts) ends that thread
// with a log line; Start reports the failure instead of waiting for a window that never comes.
TEST(ProgressWindow, AnExceptionOnItsThreadIsAFailedStart)
{
    testsupport::CScopedEnv hook("QUILLON_TEST_THROW", "CDlgProgress::ThreadProc");
    CDlgProgress progress;
    EXPECT_FALSE(progress.Start(nullptr));
    EXPECT_FALSE(progress.IsCancelled());
}

TEST(ProgressWindow, CloseBeforeStartAndTwiceDoesNothing)
{
    CDlgProgress progress;
    progress.Close();
    EXPECT_EQ(progress.GetWindow(), nullptr);
    progress.SetPos(1);  // no window: nothing to update, nothing to crash
    ASSERT_TRUE(progress.Start(nullptr));
    progress.Close();
    progress.Close();
    EXPECT_EQ(progress.GetWindow(), nullptr);
}

TEST(ProgressWindow, CanBeStartedAgainWithAFreshFlag)
{
    CDlgProgress progress;
    ASSERT_TRUE(progress.Start(nullptr));
    PostClick(progress.GetWindow(), IDCANCEL);
    ASSERT_TRUE(WaitUntil([&] { return progress.IsCancelled(); }, kWait));
    progress.Close();
    ASSERT_TRUE(progress.Start(nullptr));
    EXPECT_FALSE(progress.IsCancelled());
    EXPECT_EQ(ItemText(progress.GetWindow(), IDCANCEL), "Cancel");
}

// The owner lives on the test's thread; the dialog disables it while shown and gives it back
// when it ends, which needs the owner's thread to answer (Start and Close handle its messages).
TEST(ProgressWindow, OwnerOnTheRunThreadIsDisabledWhileShownAndEnabledAfter)
{
    HWND owner = ::CreateWindowExA(0, "STATIC", "owner", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 200, 100,
                                   nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(owner, nullptr);
    {
        CDlgProgress progress;
        ASSERT_TRUE(progress.Start(owner));
        EXPECT_EQ(::GetWindow(progress.GetWindow(), GW_OWNER), owner);
        EXPECT_FALSE(::IsWindowEnabled(owner));
        progress.SetPos(1);
        progress.Close();
        EXPECT_TRUE(::IsWindowEnabled(owner));
    }
    ::DestroyWindow(owner);
}

// Destroying the object without Close still ends the dialog and waits for its thread, so the
// thread never touches a dead object.
TEST(ProgressWindow, DestructorEndsTheDialogThread)
{
    HWND dialog = nullptr;
    {
        CDlgProgress progress;
        ASSERT_TRUE(progress.Start(nullptr));
        dialog = progress.GetWindow();
        ASSERT_NE(dialog, nullptr);
    }
    EXPECT_FALSE(::IsWindow(dialog));
}

// The owner handed down may be a window of another program that has gone meanwhile: the window
// is shown without an owner instead of not at all.
TEST(ProgressWindow, OwnerThatIsGoneStillShowsTheWindow)
{
    HWND owner = ::CreateWindowExA(0, "STATIC", "gone", WS_OVERLAPPEDWINDOW, 0, 0, 200, 100, nullptr, nullptr,
                                   nullptr, nullptr);
    ASSERT_NE(owner, nullptr);
    ::DestroyWindow(owner);
    CDlgProgress progress;
    ASSERT_TRUE(progress.Start(owner));
    EXPECT_NE(progress.GetWindow(), nullptr);
    progress.Close();
}

}  // namespace
