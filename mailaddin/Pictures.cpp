#include "mailaddin/Pictures.h"

#include <vector>

#include "common/raii.h"

namespace gimlet {

const char* const kPictureKeys[kPictureCount] = {"Help", "Help_over", "Import", "Import_over", "Export", "Export_over"};

std::unique_ptr<CDummyForm> CDummyForm::s_instance;

namespace {

const char kFormClass[] = "Gimlet.frmDummy";

struct CStyle {
    COLORREF background, hoverBackground, card, ink, help, import, exportColour;
};
// Classic: the grey of the old toolbars. Vista: light, with softer colours.
const CStyle kClassic = {RGB(212, 208, 200), RGB(255, 238, 194), RGB(255, 255, 255), RGB(64, 64, 64),
                         RGB(0, 64, 160), RGB(0, 128, 0), RGB(208, 96, 0)};
const CStyle kVista = {RGB(245, 246, 247), RGB(214, 232, 251), RGB(250, 250, 250), RGB(96, 96, 96),
                       RGB(40, 120, 220), RGB(60, 170, 70), RGB(235, 130, 40)};

void Fill(HDC dc, const RECT& r, COLORREF colour)
{
    common::CBrush brush(::CreateSolidBrush(colour));
    ::FillRect(dc, &r, brush.get());
}

void Polygon(HDC dc, const POINT* points, int count, COLORREF colour)
{
    common::CBrush brush(::CreateSolidBrush(colour));
    common::CPen pen(::CreatePen(PS_SOLID, 1, colour));
    HGDIOBJ oldBrush = ::SelectObject(dc, brush.get());
    HGDIOBJ oldPen = ::SelectObject(dc, pen.get());
    ::Polygon(dc, points, count);
    ::SelectObject(dc, oldPen);
    ::SelectObject(dc, oldBrush);
}

// A contact card with an arrow going into it (import) or out of it (export).
void DrawCard(HDC dc, const CStyle& s, bool import)
{
    RECT card = {4, 6, 22, 28};
    Fill(dc, card, s.ink);
    RECT inner = {5, 7, 21, 27};
    Fill(dc, inner, s.card);
    RECT head = {9, 10, 15, 16};
    Fill(dc, head, s.ink);
    RECT line1 = {8, 19, 18, 20}, line2 = {8, 22, 16, 23};
    Fill(dc, line1, s.ink);
    Fill(dc, line2, s.ink);
    COLORREF arrow = import ? s.import : s.exportColour;
    if (import) {
        const POINT p[] = {{30, 14}, {22, 14}, {22, 10}, {14, 17}, {22, 24}, {22, 20}, {30, 20}};
        Polygon(dc, p, 7, arrow);
    } else {
        const POINT p[] = {{16, 14}, {24, 14}, {24, 10}, {31, 17}, {24, 24}, {24, 20}, {16, 20}};
        Polygon(dc, p, 7, arrow);
    }
}

void DrawHelp(HDC dc, const CStyle& s)
{
    common::CBrush brush(::CreateSolidBrush(s.help));
    common::CPen pen(::CreatePen(PS_SOLID, 1, s.help));
    HGDIOBJ oldBrush = ::SelectObject(dc, brush.get());
    HGDIOBJ oldPen = ::SelectObject(dc, pen.get());
    ::Ellipse(dc, 3, 3, 29, 29);
    ::SelectObject(dc, oldPen);
    ::SelectObject(dc, oldBrush);
    common::CFont font(::CreateFontA(22, 0, 0, 0, FW_BOLD, 0, 0, 0, ANSI_CHARSET, 0, 0, 0, 0, "Arial"));
    HGDIOBJ oldFont = ::SelectObject(dc, font.get());
    ::SetBkMode(dc, TRANSPARENT);
    ::SetTextColor(dc, RGB(255, 255, 255));
    RECT r = {3, 3, 29, 29};
    ::DrawTextA(dc, "?", 1, &r, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
    ::SelectObject(dc, oldFont);
}

common::CImageList BuildList(const CStyle& s)
{
    common::CImageList list(::ImageList_Create(kPictureSize, kPictureSize, ILC_COLOR24, kPictureCount, 0));
    if (!list)
        return list;
    common::CWindowDC screen(nullptr);
    common::CMemoryDC memory(::CreateCompatibleDC(screen.get()));
    HDC dc = memory.get();
    for (int i = 0; i < kPictureCount; ++i) {
        common::CBitmap bitmap(::CreateCompatibleBitmap(screen.get(), kPictureSize, kPictureSize));
        HGDIOBJ old = ::SelectObject(dc, bitmap.get());
        bool hover = (i % 2) == 1;
        RECT all = {0, 0, kPictureSize, kPictureSize};
        Fill(dc, all, hover ? s.hoverBackground : s.background);
        if (i / 2 == 0)
            DrawHelp(dc, s);
        else
            DrawCard(dc, s, i / 2 == 1);
        ::SelectObject(dc, old);
        ::ImageList_Add(list.get(), bitmap.get(), nullptr);
    }
    return list;
}

bool WindowsMajorVersion(DWORD* major)
{
    OSVERSIONINFOA info = {};
    info.dwOSVersionInfoSize = sizeof info;
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
    if (!::GetVersionExA(&info))
        return false;
#pragma GCC diagnostic pop
    *major = info.dwMajorVersion;
    return true;
}

VersionSource g_versionSource = &WindowsMajorVersion;

}  // namespace

CDummyForm& CDummyForm::Instance()
{
    if (!s_instance)
        s_instance.reset(new CDummyForm());
    return *s_instance;
}

void CDummyForm::Unload() { s_instance.reset(); }

CDummyForm::CDummyForm()
{
    WNDCLASSA wc = {};
    wc.lpfnWndProc = ::DefWindowProcA;
    wc.hInstance = ::GetModuleHandleA(nullptr);
    wc.lpszClassName = kFormClass;
    ::RegisterClassA(&wc);  // fails harmlessly when a former form registered it
    m_window = ::CreateWindowExA(0, kFormClass, "Unvisible Form", WS_OVERLAPPED, 0, 0, 0, 0, nullptr, nullptr,
                                 wc.hInstance, nullptr);
    m_il32 = BuildList(kClassic);
    m_il32Vista = BuildList(kVista);
}

CDummyForm::~CDummyForm()
{
    if (m_window)
        ::DestroyWindow(m_window);
}

void SetVersionSource(VersionSource source) { g_versionSource = source ? source : &WindowsMajorVersion; }

bool UseVistaPictures()
{
    DWORD major = 0;
    if (!g_versionSource(&major))
        major = 5;
    return major > 5;
}

std::string PicturePath(const std::string& folder, const std::string& name)
{
    if (name.empty())
        return std::string();
    return folder + "\\" + name + ".bmp";
}

bool SaveBitmapFile(HBITMAP bitmap, const std::string& path)
{
    BITMAP info = {};
    if (!::GetObjectA(bitmap, sizeof info, &info))
        return false;
    BITMAPINFOHEADER header = {};
    header.biSize = sizeof header;
    header.biWidth = info.bmWidth;
    header.biHeight = info.bmHeight;
    header.biPlanes = 1;
    header.biBitCount = 24;
    header.biCompression = BI_RGB;
    DWORD stride = ((static_cast<DWORD>(info.bmWidth) * 3 + 3) / 4) * 4;
    header.biSizeImage = stride * static_cast<DWORD>(info.bmHeight);
    std::vector<BYTE> pixels(header.biSizeImage);
    int lines = ::GetDIBits(common::CWindowDC(nullptr).get(), bitmap, 0, static_cast<UINT>(info.bmHeight),
                            pixels.data(), reinterpret_cast<BITMAPINFO*>(&header), DIB_RGB_COLORS);
    if (lines != info.bmHeight)
        return false;
    BITMAPFILEHEADER file = {};
    file.bfType = 0x4D42;  // "BM"
    file.bfOffBits = sizeof file + sizeof header;
    file.bfSize = file.bfOffBits + header.biSizeImage;
    common::CFileHandle out(::CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                          FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!out)
        return false;
    DWORD written = 0;
    return ::WriteFile(out.get(), &file, sizeof file, &written, nullptr) &&
           ::WriteFile(out.get(), &header, sizeof header, &written, nullptr) &&
           ::WriteFile(out.get(), pixels.data(), header.biSizeImage, &written, nullptr);
}

void WritePictures(const std::string& folder)
{
    CDummyForm& form = CDummyForm::Instance();
    HIMAGELIST list = UseVistaPictures() ? form.il32_vista() : form.il32();
    int count = list ? ::ImageList_GetImageCount(list) : 0;
    common::CWindowDC screen(nullptr);
    for (int i = 0; i < count && i < kPictureCount; ++i) {
        int width = 0, height = 0;
        ::ImageList_GetIconSize(list, &width, &height);
        common::CBitmap bitmap(::CreateCompatibleBitmap(screen.get(), width, height));
        common::CMemoryDC dc(::CreateCompatibleDC(screen.get()));
        HGDIOBJ old = ::SelectObject(dc.get(), bitmap.get());
        ::ImageList_Draw(list, i, dc.get(), 0, 0, ILD_NORMAL);
        ::SelectObject(dc.get(), old);
        SaveBitmapFile(bitmap.get(), PicturePath(folder, kPictureKeys[i]));
    }
}

void DeletePictures(const std::string& folder)
{
    for (const char* key : kPictureKeys)
        ::DeleteFileA(PicturePath(folder, key).c_str());
}

}  // namespace gimlet
