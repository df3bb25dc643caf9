// What the benchmarks share.
#pragma once

#include <windows.h>

#include <atomic>
#include <string>
#include <thread>

namespace bench {

// Answers the runs' closing messages (caption "Quillon for Outlook Express") of this process
// while the bench lives.
class CBoxAnswer {
public:
    CBoxAnswer()
        : m_thread([this] {
              while (!m_stop) {
                  // Only this process's box: other programs of the same Wine session are left alone.
                  HWND box = nullptr;
                  ::EnumWindows(
                      [](HWND hwnd, LPARAM param) CALLBACK -> BOOL {
                          DWORD pid = 0;
                          // InternalGetWindowText sends no WM_GETTEXT: asking the run's progress
                          // window by message every few milliseconds would cost the run its own
                          // thread switches.
                          ::GetWindowThreadProcessId(hwnd, &pid);
                          WCHAR text[64] = L"";
                          if (pid == ::GetCurrentProcessId())
                              ::InternalGetWindowText(hwnd, text, 64);
                          if (pid == ::GetCurrentProcessId() && std::wstring(text) == L"Quillon for Outlook Express") {
                              *reinterpret_cast<HWND*>(param) = hwnd;
                              return FALSE;
                          }
                          return TRUE;
                      },
                      reinterpret_cast<LPARAM>(&box));
                  if (box)
                      ::PostMessageA(box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
                  ::Sleep(5);
              }
          })
    {
    }
    ~CBoxAnswer()
    {
        m_stop = true;
        m_thread.join();
    }

private:
    std::atomic<bool> m_stop{false};
    std::thread m_thread;
};

}  // namespace bench
