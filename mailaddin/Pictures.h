// The toolbar's pictures. A hidden form ("Unvisible Form") holds two image lists of six 32x32
// pictures: "il32" for Windows up to version 5 and "il32_vista" for later ones. The add-in writes
// the chosen list into the log folder as .bmp files, because the SDK takes pictures by path, and
// deletes them again when it goes.
#pragma once

#include <windows.h>
#include <commctrl.h>

#include <memory>
#include <string>

#include "common/raii.h"

namespace gimlet {

constexpr int kPictureCount = 6;
constexpr int kPictureSize = 32;
// The keys of both lists, in their order.
extern const char* const kPictureKeys[kPictureCount];

class CDummyForm {
public:
    static CDummyForm& Instance();  // created on first use
    static void Unload();

    ~CDummyForm();
    CDummyForm(const CDummyForm&) = delete;
    CDummyForm& operator=(const CDummyForm&) = delete;

    HIMAGELIST il32() const { return m_il32.get(); }
    HIMAGELIST il32_vista() const { return m_il32Vista.get(); }

private:
    CDummyForm();
    static std::unique_ptr<CDummyForm> s_instance;
    HWND m_window = nullptr;
    common::CImageList m_il32;
    common::CImageList m_il32Vista;
};

// The Windows major version as the picture choice sees it; false when it cannot be read.
// Tests put their own in place.
using VersionSource = bool (*)(DWORD* major);
void SetVersionSource(VersionSource source);
// "il32_vista" above major version 5 (5 when the version cannot be read), else "il32".
bool UseVistaPictures();

// <folder>\<name>.bmp, or "" for an empty name.
std::string PicturePath(const std::string& folder, const std::string& name);

// Every picture of the chosen list as <folder>\<key>.bmp, replacing older files.
void WritePictures(const std::string& folder);
void DeletePictures(const std::string& folder);

// A bitmap as a Windows .bmp file (24 bits per pixel).
bool SaveBitmapFile(HBITMAP bitmap, const std::string& path);

}  // namespace gimlet
