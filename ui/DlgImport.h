// The import dialog: which address-book folder receives the contacts, which file-system folder's
// .vcf files are read, and what happens to a card that matches an existing contact. The choices
// are remembered under the settings key; they are read when the dialog object is made and
// written only on OK, so a cancelled dialog changes nothing.
#pragma once

#include <windows.h>
#include <string>

#include "base/Settings.h"
#include "ui/Dialog.h"

class CDlgImport : public ui::CDialog {
public:
    // presetFolder: identifier text of the folder holding the first selected contact (empty when
    // there is none); it wins over the remembered target folder.
    explicit CDlgImport(const std::string& presetFolder);
    virtual ~CDlgImport();

    // The choices, valid after OK.
    const std::string& TargetFolder() const { return m_targetFolder; }
    const std::string& SourceFolder() const { return m_sourceFolder; }
    int ConflictMode() const { return m_conflictMode; }
    bool JoinGroups() const { return m_joinGroups; }

private:
    bool OnInitDialog() override;
    bool OnClicked(int id) override;
    bool OnChanged(int id) override;
    void OnClickedOK() override;
    void _UpdateOk();
    void _OnPickTarget();
    void _OnBrowseSource();

    std::string m_targetFolder;
    std::string m_sourceFolder;
    int m_conflictMode = 0;
    bool m_joinGroups = true;
    CSettingsKey m_settings;
};
