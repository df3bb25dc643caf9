// The SDK's objects and the model they share with the mail client.
//
// How it works: what an add-in builds is kept as plain data in one process-wide model (toolbars
// with their buttons and drop-down items, and the items added to each menu), because the mail
// client must be able to read it and draw it. Each model node also knows the live COM object that
// the add-in holds for it, if any; a click reaches the add-in through that object's connection
// point. When the add-in releases the object, the node forgets it: the button stays where the
// mail client drew it, but its clicks go nowhere. The model lives on the one thread of the mail
// client (all classes are apartment-threaded).
#pragma once

#include <windows.h>
#include <ocidl.h>

#include <memory>
#include <string>
#include <vector>

#include "common/comserver.h"
#include "connection.h"
#include "tanager.h"
#include "tanager_site.h"

namespace tanager {

class CInit;
class CHost;
class CButton;
class CMenuItem;

struct CButtonNode {
    std::wstring caption, image, hoverImage;
    std::vector<std::shared_ptr<CButtonNode>> items;
    CButton* live = nullptr;
};

struct CToolbarNode {
    bool large = true;
    long hostId = 0;
    bool created = false;
    std::vector<std::shared_ptr<CButtonNode>> buttons;
};

struct CMenuItemNode {
    std::wstring caption;
    CMenuItem* live = nullptr;
};

struct CModel {
    long hostWindow = 0;
    long menuCount = 6;
    long revision = 0;
    std::vector<CInit*> inits;
    std::vector<CHost*> hosts;
    std::vector<std::shared_ptr<CToolbarNode>> toolbars;   // shown ones, in order of Create
    std::vector<std::vector<std::shared_ptr<CMenuItemNode>>> menuItems;  // per menu index
    std::vector<std::wstring> journal;

    void Changed() noexcept { ++revision; }
    void Note(const std::wstring& line) { journal.push_back(line); }
};

CModel& Model();

// The names of the mail client's menus, by position.
extern const wchar_t* const kMenuNames[];
constexpr long kMaxMenus = 6;

// Sets the thread's error object so that the caller can read a description, and returns hr.
HRESULT Fail(HRESULT hr, const wchar_t* description) noexcept;

class CInit final : public common::CComObject<CInit, ITanagerInit, IConnectionPointContainer> {
public:
    static const common::CInterfaceEntry<CInit> kInterfaces[];
    explicit CInit(IUnknown* outer);
    ~CInit() override;

    STDMETHODIMP get_Ready(VARIANT_BOOL* ready) override;
    STDMETHODIMP EnumConnectionPoints(IEnumConnectionPoints** out) override;
    STDMETHODIMP FindConnectionPoint(REFIID iid, IConnectionPoint** out) override;

    long FireInit();
    long FireShutdown();

private:
    CConnectionPoint m_events;
    bool m_ready = false;
};

class CHost final : public common::CComObject<CHost, ITanagerHost, IConnectionPointContainer> {
public:
    static const common::CInterfaceEntry<CHost> kInterfaces[];
    explicit CHost(IUnknown* outer);
    ~CHost() override;

    STDMETHODIMP get_HostId(long* id) override;
    STDMETHODIMP GetMenu(long index, ITanagerMenu** menu) override;
    STDMETHODIMP EnumConnectionPoints(IEnumConnectionPoints** out) override;
    STDMETHODIMP FindConnectionPoint(REFIID iid, IConnectionPoint** out) override;

    long FireFolderSelection(long folderId);

private:
    CConnectionPoint m_events;
};

class CToolbar final : public common::CComObject<CToolbar, ITanagerToolbar> {
public:
    static const common::CInterfaceEntry<CToolbar> kInterfaces[];
    explicit CToolbar(IUnknown* outer);
    ~CToolbar() override;

    STDMETHODIMP get_LargeButtons(VARIANT_BOOL* large) override;
    STDMETHODIMP put_LargeButtons(VARIANT_BOOL large) override;
    STDMETHODIMP Create(long hostId) override;
    STDMETHODIMP AddButton(BSTR caption, BSTR image, BSTR hoverImage, ITanagerButton** button) override;

private:
    std::shared_ptr<CToolbarNode> m_node;
};

class CButton final : public common::CComObject<CButton, ITanagerButton, IConnectionPointContainer> {
public:
    static const common::CInterfaceEntry<CButton> kInterfaces[];
    explicit CButton(IUnknown* outer);
    ~CButton() override;

    // Makes a new button object for a node; the node then delivers its clicks to it.
    static HRESULT Make(const std::shared_ptr<CButtonNode>& node, bool isItem, ITanagerButton** out);

    STDMETHODIMP get_Caption(BSTR* caption) override;
    STDMETHODIMP AddSubButton(BSTR caption, BSTR image, BSTR hoverImage, ITanagerButton** item) override;
    STDMETHODIMP EnumConnectionPoints(IEnumConnectionPoints** out) override;
    STDMETHODIMP FindConnectionPoint(REFIID iid, IConnectionPoint** out) override;

    long FireClick();

private:
    CConnectionPoint m_events;
    std::shared_ptr<CButtonNode> m_node;
    bool m_isItem = false;
};

class CMenu final : public common::CComObject<CMenu, ITanagerMenu> {
public:
    static const common::CInterfaceEntry<CMenu> kInterfaces[];
    explicit CMenu(IUnknown* outer) : CComObject(outer) {}
    ~CMenu() override;
    static HRESULT Make(long index, ITanagerMenu** out);

    STDMETHODIMP get_Caption(BSTR* caption) override;
    STDMETHODIMP AddItem(BSTR caption, ITanagerMenuItem** item) override;

private:
    long m_index = 0;
};

class CMenuItem final : public common::CComObject<CMenuItem, ITanagerMenuItem, IConnectionPointContainer> {
public:
    static const common::CInterfaceEntry<CMenuItem> kInterfaces[];
    explicit CMenuItem(IUnknown* outer);
    ~CMenuItem() override;

    STDMETHODIMP get_Caption(BSTR* caption) override;
    STDMETHODIMP EnumConnectionPoints(IEnumConnectionPoints** out) override;
    STDMETHODIMP FindConnectionPoint(REFIID iid, IConnectionPoint** out) override;

    long FireClick();

private:
    friend class CMenu;
    CConnectionPoint m_events;
    std::shared_ptr<CMenuItemNode> m_node;
};

class CSite final : public common::CComObject<CSite, ITanagerSite> {
public:
    static const common::CInterfaceEntry<CSite> kInterfaces[];
    explicit CSite(IUnknown* outer) : CComObject(outer) {}

    STDMETHODIMP put_HostWindow(long hwnd) override;
    STDMETHODIMP get_HostWindow(long* hwnd) override;
    STDMETHODIMP put_MenuCount(long count) override;
    STDMETHODIMP get_MenuCount(long* count) override;
    STDMETHODIMP Ready(long* delivered) override;
    STDMETHODIMP Shutdown(long* delivered) override;
    STDMETHODIMP SelectFolder(long folderId, long* delivered) override;
    STDMETHODIMP Reset() override;
    STDMETHODIMP get_Revision(long* revision) override;
    STDMETHODIMP get_Layout(BSTR* text) override;
    STDMETHODIMP get_Journal(BSTR* text) override;
    STDMETHODIMP get_ToolbarCount(long* count) override;
    STDMETHODIMP GetToolbar(long toolbar, VARIANT_BOOL* large, long* hostId, long* buttonCount) override;
    STDMETHODIMP GetButton(long toolbar, long button, long sub, BSTR* caption, BSTR* image,
                           BSTR* hoverImage, long* subCount) override;
    STDMETHODIMP ClickButton(long toolbar, long button, long sub, long* delivered) override;
    STDMETHODIMP GetMenuName(long menu, BSTR* caption) override;
    STDMETHODIMP GetMenuItemCount(long menu, long* count) override;
    STDMETHODIMP GetMenuItem(long menu, long item, BSTR* caption) override;
    STDMETHODIMP ClickMenuItem(long menu, long item, long* delivered) override;

private:
    static CButtonNode* _FindButton(long toolbar, long button, long sub);
};

}  // namespace tanager
