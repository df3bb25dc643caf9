#include "importsupport.h"

#include <gtest/gtest.h>

#include "contact/CharConverter.h"
#include "support/testsupport.h"

namespace importtest {

std::string Crlf(const std::vector<std::string>& lines)
{
    std::string out;
    for (const std::string& line : lines)
        out += line + "\r\n";
    return out;
}

std::string Card(const std::string& version, const std::vector<std::string>& lines)
{
    std::vector<std::string> all = {"BEGIN:VCARD"};
    if (!version.empty())
        all.push_back("VERSION:" + version);
    all.insert(all.end(), lines.begin(), lines.end());
    all.push_back("END:VCARD");
    return Crlf(all);
}

std::wstring W(const std::string& utf8)
{
    if (utf8.empty())
        return std::wstring();
    int n = ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
    std::wstring out(static_cast<size_t>(n), L'\0');
    ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), &out[0], n);
    return out;
}

void LoadEncodings()
{
    static bool loaded = false;
    if (loaded)
        return;
    std::string path = testsupport::BinDir() + "\\supportedEncodings.txt";
    ASSERT_GT(g_charConverter.LoadFrom(path.c_str(), nullptr), 10u) << path;
    loaded = true;
}

CReadResult ReadAll(const std::string& text)
{
    LoadEncodings();
    CReadResult r;
    CvCardImport reader;
    reader.LoadText(text.data(), text.size());
    r.result = reader.ReadCards([&] {
        r.cards.push_back(reader.Card());
        r.formats.push_back(reader.FormatCode());
        return 0;
    });
    return r;
}

CImportCard ReadOne(const std::string& text)
{
    CReadResult r = ReadAll(text);
    EXPECT_EQ(r.cards.size(), 1u) << text;
    return r.cards.empty() ? CImportCard() : r.cards[0];
}

FILETIME Date(WORD year, WORD month, WORD day)
{
    SYSTEMTIME st = {};
    st.wYear = year;
    st.wMonth = month;
    st.wDay = day;
    FILETIME ft = {};
    EXPECT_TRUE(::SystemTimeToFileTime(&st, &ft));
    return ft;
}

namespace {

// A visible message box of this process captioned "Quillon". The caption is read without a
// message, so that a box still being built on its thread does not hold the search up.
BOOL CALLBACK FindBox(HWND hwnd, LPARAM param)
{
    DWORD pid = 0;
    ::GetWindowThreadProcessId(hwnd, &pid);
    char cls[16] = "";
    wchar_t caption[64] = L"";
    if (pid != ::GetCurrentProcessId() || !::IsWindowVisible(hwnd) ||
        !::GetClassNameA(hwnd, cls, sizeof(cls)) || std::string(cls) != "#32770")
        return TRUE;
    ::InternalGetWindowText(hwnd, caption, 64);
    if (std::wstring(caption) != L"Quillon")
        return TRUE;
    *reinterpret_cast<HWND*>(param) = hwnd;
    return FALSE;
}

HWND FindQuillonBox()
{
    HWND box = nullptr;
    ::EnumWindows(FindBox, reinterpret_cast<LPARAM>(&box));
    return box;
}

}  // namespace

CBoxWatch::CBoxWatch(int button)
    : m_thread([this, button] {
          HWND answered = nullptr;
          DWORD answeredAt = 0;
          while (!m_stop) {
              HWND box = FindQuillonBox();
              // A box that is still there a while after its answer gets the answer again.
              if (box && (box != answered || ::GetTickCount() - answeredAt > 500)) {
                  if (box != answered) {
                      std::lock_guard<std::mutex> hold(m_lock);
                      m_texts.push_back(testsupport::DialogStaticText(box));
                  }
                  testsupport::PostClick(box, button);
                  answered = box;
                  answeredAt = ::GetTickCount();
              }
              ::Sleep(10);
          }
      })
{
}

CBoxWatch::~CBoxWatch()
{
    m_stop = true;
    m_thread.join();
}

std::vector<std::string> CBoxWatch::Texts()
{
    std::lock_guard<std::mutex> hold(m_lock);
    return m_texts;
}

}  // namespace importtest
