// The dialogs at the pixel densities users set (96, 120, 144 and 192 DPI): no control reaches out
// of its dialog, none overlaps another (a group box holds what lies inside it), and every label,
// button and box has room for its whole text in its own font. The system reads the density when a
// process starts, so the density test sets it and runs this program's one-density check in a child
// per density; the child carries Quillon's manifest (the resources are linked in), so it lays the
// dialogs out as Quillon.exe does: at the real density, with the version 6 common controls.
// And both programs carry that manifest.
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "dialogdriver.h"
#include "support/logcapture.h"
#include "support/storefile.h"
#include "ui/DlgExport.h"
#include "ui/DlgImport.h"
#include "ui/DlgPickFolder.h"
#include "ui/DlgProgress.h"
#include "ui/resource.h"
#include "wab/WABLib.h"

using namespace uitest;
using Strings = std::vector<std::string>;

namespace {

// Where Wine (and Windows before per-user scaling) keeps the density of the session.
const char kDesktopKey[] = "Control Panel\\Desktop";
const char kDensityName[] = "LogPixels";
// What the density test tells its child: the density it must see, and the file for its faults.
const char kDensityVar[] = "QUILLON_TEST_DPI";
const char kReportVar[] = "QUILLON_TEST_LAYOUT_REPORT";
const char kOneDensityTest[] = "DialogLayout.EveryDialogFitsAtThisProcessDensity";

struct Control {
    HWND hwnd;
    std::string cls, text;
    LONG style;
    RECT rect;  // in the dialog's client coordinates
};

std::string Name(const Control& c)
{
    return c.cls + " " + std::to_string(::GetDlgCtrlID(c.hwnd)) + " \"" + c.text + "\"";
}

// The dialog's visible controls.
std::vector<Control> Controls(HWND dialog)
{
    std::vector<Control> out;
    for (HWND child = ::GetWindow(dialog, GW_CHILD); child; child = ::GetWindow(child, GW_HWNDNEXT)) {
        if (!::IsWindowVisible(child))
            continue;
        char cls[64] = "";
        ::GetClassNameA(child, cls, sizeof cls);
        Control c{child, cls, testsupport::WindowText(child), ::GetWindowLongA(child, GWL_STYLE), {}};
        ::GetWindowRect(child, &c.rect);
        ::MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&c.rect), 2);
        out.push_back(c);
    }
    return out;
}

bool IsGroupBox(const Control& c)
{
    return c.cls == "Button" && (c.style & BS_TYPEMASK) == BS_GROUPBOX;
}

bool Contains(const RECT& outer, const RECT& inner)
{
    return inner.left >= outer.left && inner.top >= outer.top && inner.right <= outer.right &&
           inner.bottom <= outer.bottom;
}

// The room a control has for its text and how it breaks the text; false for controls whose text
// is the user's (edits, lists) or that show none.
bool TextRoom(const Control& c, int dpi, SIZE* room, UINT* format)
{
    RECT client;
    ::GetClientRect(c.hwnd, &client);
    *room = {client.right, client.bottom};
    if (c.cls == "Static") {
        const LONG type = c.style & SS_TYPEMASK;
        if (type != SS_LEFT && type != SS_CENTER && type != SS_RIGHT && type != SS_LEFTNOWORDWRAP && type != SS_SIMPLE)
            return false;
        *format = type == SS_LEFTNOWORDWRAP || type == SS_SIMPLE ? DT_SINGLELINE : DT_WORDBREAK;
        return true;
    }
    if (c.cls != "Button")
        return false;
    *format = c.style & BS_MULTILINE ? DT_WORDBREAK : DT_SINGLELINE;
    // A button's frame, and the focus rectangle inside it, take their share of each side.
    const int frame = ::MulDiv(3, dpi, 96);
    switch (c.style & BS_TYPEMASK) {
    case BS_PUSHBUTTON:
    case BS_DEFPUSHBUTTON:
        room->cx -= 2 * frame;
        room->cy -= 2 * frame;
        return true;
    case BS_GROUPBOX:
        *format = DT_SINGLELINE;
        room->cx -= 2 * frame;
        return true;
    case BS_CHECKBOX:
    case BS_AUTOCHECKBOX:
    case BS_RADIOBUTTON:
    case BS_AUTORADIOBUTTON:
    case BS_3STATE:
    case BS_AUTO3STATE:
        // The box and the gap before the text.
        room->cx -= ::GetSystemMetrics(SM_CXMENUCHECK) + frame;
        return true;
    default:
        return false;
    }
}

// Whether the control's text fits; its need and room in `detail` when not.
bool TextFits(const Control& c, int dpi, std::string* detail)
{
    SIZE room;
    UINT format = 0;
    if (c.text.empty() || !TextRoom(c, dpi, &room, &format))
        return true;
    common::CWindowDC dc(c.hwnd);
    HGDIOBJ old = ::SelectObject(dc.get(), reinterpret_cast<HFONT>(::SendMessageA(c.hwnd, WM_GETFONT, 0, 0)));
    RECT need = {0, 0, room.cx, 0};
    ::DrawTextA(dc.get(), c.text.c_str(), -1, &need, format | DT_CALCRECT);
    ::SelectObject(dc.get(), old);
    *detail = std::to_string(need.right) + "x" + std::to_string(need.bottom) + " pixels in " +
              std::to_string(room.cx) + "x" + std::to_string(room.cy);
    return need.right <= room.cx && need.bottom <= room.cy;
}

// What is wrong with the layout of an open dialog, one line per fault.
Strings LayoutFaults(const std::string& dialogName, HWND dialog, int dpi)
{
    Strings faults;
    RECT client;
    ::GetClientRect(dialog, &client);
    const std::vector<Control> controls = Controls(dialog);
    if (controls.empty())
        faults.push_back(dialogName + ": no controls found");
    for (size_t i = 0; i < controls.size(); ++i) {
        const Control& a = controls[i];
        if (!Contains(client, a.rect))
            faults.push_back(dialogName + ": " + Name(a) + " reaches out of the dialog");
        std::string detail;
        if (!TextFits(a, dpi, &detail))
            faults.push_back(dialogName + ": " + Name(a) + " has no room for its text: " + detail);
        for (size_t j = i + 1; j < controls.size(); ++j) {
            const Control& b = controls[j];
            RECT both;
            if (::IntersectRect(&both, &a.rect, &b.rect) && !(IsGroupBox(a) && Contains(a.rect, b.rect)) &&
                !(IsGroupBox(b) && Contains(b.rect, a.rect)))
                faults.push_back(dialogName + ": " + Name(a) + " overlaps " + Name(b));
        }
    }
    return faults;
}

int ScreenDensity()
{
    common::CWindowDC screen(nullptr);
    return ::GetDeviceCaps(screen.get(), LOGPIXELSX);
}

// Whether a button is one of the version 6 common controls: only those tell their ideal size.
bool IsVersion6Button(HWND button)
{
    SIZE ideal = {};
    return ::SendMessageA(button, BCM_GETIDEALSIZE, 0, reinterpret_cast<LPARAM>(&ideal)) && ideal.cx > 0;
}

int OlderSystem() { return 5; }

// A program's RT_MANIFEST resource 1, as text; "" when it has none.
std::string ManifestOf(const std::string& program)
{
    common::CModule module(::LoadLibraryExA(program.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE));
    HRSRC found = module ? ::FindResourceA(module.get(), MAKEINTRESOURCEA(1), MAKEINTRESOURCEA(24)) : nullptr;
    HGLOBAL loaded = found ? ::LoadResource(module.get(), found) : nullptr;
    const char* bytes = loaded ? static_cast<const char*>(::LockResource(loaded)) : nullptr;
    return bytes ? std::string(bytes, ::SizeofResource(module.get(), found)) : std::string();
}

}  // namespace

// Shows each dialog with every control it can show and checks its layout at the density this
// process runs at: the prefix's own in a plain run, the one set by the density test in its child.
TEST(DialogLayout, EveryDialogFitsAtThisProcessDensity)
{
    const int dpi = ScreenDensity();
    Strings faults;
    const char* wanted = std::getenv(kDensityVar);
    if (wanted && std::atoi(wanted) != dpi)
        faults.push_back("runs at " + std::to_string(dpi) + " DPI, not at " + wanted);

    CLogCapture log;
    testsupport::CScratchBook book;
    book.AddFolder(L"Friends");
    ASSERT_TRUE(book.Open());
    const auto check = [&](const std::string& name, HWND dialog) {
        for (const std::string& fault : LayoutFaults(name, dialog, dpi))
            faults.push_back(fault);
    };

    CDlgExport exportDialog(nullptr, 2);
    RunDialog(exportDialog, "Export", [&](HWND hwnd) {
        if (!IsVersion6Button(::GetDlgItem(hwnd, IDOK)))
            faults.push_back("the dialogs do not get the version 6 common controls");
        check("Export", hwnd);
        testsupport::PostClick(hwnd, IDCANCEL);
    });
    CDlgImport importDialog("");
    RunDialog(importDialog, "Import", [&](HWND hwnd) {
        check("Import", hwnd);
        testsupport::PostClick(hwnd, IDCANCEL);
    });
    // With "All Folders" and the hint button that older systems get.
    CDlgPickFolder picker(nullptr, true, false);
    picker.SetMajorVersionSource(OlderSystem);
    RunDialog(picker, "Select Folder", [&](HWND hwnd) {
        check("Select Folder", hwnd);
        testsupport::PostClick(hwnd, IDCANCEL);
    });
    CDlgProgress progress;
    ASSERT_TRUE(progress.Start(nullptr));
    progress.SetText(IDS_EXPORTING);
    progress.SetRange(10000);
    progress.SetPos(9999);
    EXPECT_TRUE(testsupport::WaitUntil([&] { return ::IsWindowVisible(progress.GetWindow()) != FALSE; }, kWait));
    check("Progress", progress.GetWindow());
    progress.Close();

    if (const char* report = std::getenv(kReportVar)) {
        EXPECT_TRUE(testsupport::WriteFileBytes(report, testsupport::Crlf(faults)));
    }
    EXPECT_EQ(faults, Strings{}) << "at " << dpi << " DPI";
}

// Each density in a process of its own, the session's density given back afterwards.
TEST(DialogLayout, EveryDialogFitsAt96120144And192Dpi)
{
    char self[MAX_PATH] = "";
    ASSERT_GT(::GetModuleFileNameA(nullptr, self, sizeof self), 0u);
    testsupport::CSavedValue saved(kDesktopKey, kDensityName);
    for (int dpi : {96, 120, 144, 192}) {
        ASSERT_TRUE(testsupport::SetRegDword(HKEY_CURRENT_USER, kDesktopKey, kDensityName, dpi));
        testsupport::CTempDir dir;
        const std::string report = dir.file("faults.txt");
        LONG code = -1;
        ASSERT_TRUE(testsupport::RunProcess(testsupport::Quote(self) + " --gtest_filter=" + kOneDensityTest, &code,
                                            kWait, std::string(),
                                            {{kDensityVar, std::to_string(dpi)}, {kReportVar, report}}))
            << "the check at " << dpi << " DPI did not end";
        EXPECT_TRUE(testsupport::FileExists(report)) << "the check at " << dpi << " DPI did not get to its end";
        EXPECT_EQ(testsupport::ReadFileBytes(report), "") << "at " << dpi << " DPI";
        EXPECT_EQ(code, 0) << "at " << dpi << " DPI";
    }
}

// Both programs run as the user who starts them, with the version 6 common controls, aware of the
// system's density (and not of each monitor's: nothing answers WM_DPICHANGED), on every system
// from Vista to 11; the manifest's own version follows the program's.
TEST(Manifest, BothProgramsCarryIt)
{
    const Strings needed = {
        "<requestedExecutionLevel level=\"asInvoker\" uiAccess=\"false\"/>",
        "name=\"Microsoft.Windows.Common-Controls\" version=\"6.0.0.0\"",
        "processorArchitecture=\"*\" publicKeyToken=\"6595b64144ccf1df\"",
        "<dpiAware xmlns=\"http://schemas.microsoft.com/SMI/2005/WindowsSettings\">true</dpiAware>",
        "<supportedOS Id=\"{e2011457-1546-43c5-a5fe-008deee3d3f0}\"/>",  // Vista
        "<supportedOS Id=\"{35138b9a-5d96-4fbd-8e2d-a2440225f93a}\"/>",  // 7
        "<supportedOS Id=\"{4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38}\"/>",  // 8
        "<supportedOS Id=\"{1f676c76-80e1-4239-95bb-83d0f6d0da78}\"/>",  // 8.1
        "<supportedOS Id=\"{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}\"/>",  // 10 and 11
    };
    for (const char* program : {"Quillon.exe", "launcher.exe"}) {
        const std::string path = testsupport::BinDir() + "\\" + program;
        const std::string manifest = ManifestOf(path);
        ASSERT_FALSE(manifest.empty()) << program << " has no manifest";
        for (const std::string& text : needed)
            EXPECT_NE(manifest.find(text), std::string::npos) << program << ": " << text;
        EXPECT_EQ(manifest.find("dpiAwareness"), std::string::npos) << program;
        EXPECT_NE(manifest.find(" version=\"" + testsupport::VersionValue(path, "file") + "\""), std::string::npos)
            << program << ": the manifest's version is not the program's";
    }
}
