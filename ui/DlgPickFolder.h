// The address-book folder picker: a tree of the address book's folders under "Address Book", the
// first folder on top and the others in alphabetical order, and, where the caller allows it, an
// "All Folders" box. Refresh logs on to the address book again, so that folders made meanwhile in
// the Address Book window appear, and keeps the chosen folder selected.
//
// Usage:
//   CDlgPickFolder picker(currentId, true /*allow "All Folders"*/, allFolders);
//   if (picker.DoModal(::GetActiveWindow()) == IDOK) { picker.SelectedId(), SelectedName(),
//                                                      AllFoldersChosen() }
#pragma once

#include <windows.h>
#include <memory>
#include <string>

#include "common/raii.h"
#include "ui/Dialog.h"
#include "wab/WABLib.h"

class CDlgPickFolder : public ui::CDialog {
public:
    // selectedId: the folder to select when the tree is filled (null or empty: none).
    CDlgPickFolder(const char* selectedId, bool allFoldersAllowed, bool allFoldersChosen);
    virtual ~CDlgPickFolder();

    // After OK. With all folders chosen, id and name are those of the selected folder item, or
    // empty when none was selected.
    const std::string& SelectedId() const { return m_selectedId; }
    const std::string& SelectedName() const { return m_selectedName; }
    bool AllFoldersChosen() const { return m_allFoldersChosen; }

    // The system's major version decides whether the "How to create a new folder..." hint is
    // offered and which text it shows. Tests replace the source of that number.
    using MajorVersionFn = int (*)();
    void SetMajorVersionSource(MajorVersionFn source) { m_majorVersion = source; }
    static int SystemMajorVersion();
    // Where a folder is made on a system of that major version: the address book's interfaces
    // make none, so the hint and the unattended import's error send the user there.
    static std::string NewFolderHint(int majorVersion);

private:
    bool OnInitDialog() override;
    bool OnClicked(int id) override;
    void OnClickedOK() override;
    void _FillTree();
    void _UpdateTreeEnabling();
    void _Refresh();
    void _ShowHint();
    bool _BuildImageList();

    // In this order the fields of the picker, then the version source.
    CFolderList m_folders;
    std::string m_selectedId;
    std::string m_selectedName;
    BOOL m_allFoldersAllowed;
    BOOL m_allFoldersChosen;
    common::CImageList m_images;
    ui::CTreeView m_tree;
    MajorVersionFn m_majorVersion = &SystemMajorVersion;
};
