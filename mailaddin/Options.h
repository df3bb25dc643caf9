// The add-in's two stored options, under its own subkey of the converter's product key. Each
// read and each write opens the key afresh, so a change made by the options form is seen by the
// next toolbar build without any cache to refresh.
#pragma once

#include <memory>
#include <string>

namespace gimlet {

extern const char* const kOptionsKey;  // "Software\Brisco\Quillon\Addin"

class COptions {
public:
    // The process-wide object, created on first use; Release drops it (the add-in does so when
    // its object goes).
    static COptions& Instance();
    static void ReleaseInstance();

    bool SeparateToolbar() const { return true; }
    bool SmallButtons() const { return _Read("SmallButtons", true, true); }
    void SetSmallButtons(bool value) { _Write("SmallButtons", value, true); }
    bool EditMenu() const { return _Read("EditMenu", true, true); }
    void SetEditMenu(bool value) { _Write("EditMenu", value, true); }

private:
    bool _Read(const std::string& name, bool def, bool currentUser) const;
    void _Write(const std::string& name, bool value, bool currentUser);

    static std::unique_ptr<COptions> s_instance;
};

}  // namespace gimlet
