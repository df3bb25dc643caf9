#include "objects.h"

#include <oleauto.h>
#include <olectl.h>
#include <wrl/client.h>

#include <algorithm>

using Microsoft::WRL::ComPtr;

namespace tanager {

const wchar_t* const kMenuNames[] = {L"File", L"Edit", L"View", L"Tools", L"Message", L"Help"};

CModel& Model()
{
    static CModel model;
    return model;
}

HRESULT Fail(HRESULT hr, const wchar_t* description) noexcept
{
    ComPtr<ICreateErrorInfo> create;
    if (SUCCEEDED(CreateErrorInfo(&create))) {
        create->SetDescription(const_cast<LPOLESTR>(description));
        create->SetSource(const_cast<LPOLESTR>(L"Tanager"));
        ComPtr<IErrorInfo> info;
        if (SUCCEEDED(create.As(&info)))
            SetErrorInfo(0, info.Get());
    }
    return hr;
}

namespace {

HRESULT Text(const std::wstring& text, BSTR* out) noexcept
{
    if (!out)
        return E_POINTER;
    *out = SysAllocStringLen(text.c_str(), static_cast<UINT>(text.size()));
    return *out ? S_OK : E_OUTOFMEMORY;
}

std::wstring FromBstr(BSTR text) { return text ? std::wstring(text, SysStringLen(text)) : std::wstring(); }

template <class T>
void Forget(std::vector<T*>& list, T* object)
{
    list.erase(std::remove(list.begin(), list.end(), object), list.end());
}

std::wstring Quoted(const std::wstring& text) { return L"\"" + text + L"\""; }

}  // namespace

// ---- TanagerInit ----------------------------------------------------------------------------

const common::CInterfaceEntry<CInit> CInit::kInterfaces[] = {
    {&IID_ITanagerInit, &common::CastTo<CInit, ITanagerInit>},
    {&IID_IConnectionPointContainer, &common::CastTo<CInit, IConnectionPointContainer>},
    {nullptr, nullptr}};

CInit::CInit(IUnknown* outer) : CComObject(outer), m_events(this, IID_ITanagerInitEvents)
{
    Model().inits.push_back(this);
}

CInit::~CInit()
{
    Forget(Model().inits, this);
    Model().Note(L"release TanagerInit");
}

STDMETHODIMP CInit::get_Ready(VARIANT_BOOL* ready)
{
    if (!ready)
        return E_POINTER;
    *ready = m_ready ? VARIANT_TRUE : VARIANT_FALSE;
    return S_OK;
}

STDMETHODIMP CInit::EnumConnectionPoints(IEnumConnectionPoints** out)
{
    if (out)
        *out = nullptr;
    return E_NOTIMPL;
}

STDMETHODIMP CInit::FindConnectionPoint(REFIID iid, IConnectionPoint** out)
{
    return FindSingle(m_events, iid, out);
}

long CInit::FireInit()
{
    m_ready = true;
    return m_events.Fire<ITanagerInitEvents>([](ITanagerInitEvents* s) { s->OnInitTanager(); });
}

long CInit::FireShutdown()
{
    m_ready = false;
    return m_events.Fire<ITanagerInitEvents>([](ITanagerInitEvents* s) { s->OnShutdownTanager(); });
}

// ---- TanagerHost ----------------------------------------------------------------------------

const common::CInterfaceEntry<CHost> CHost::kInterfaces[] = {
    {&IID_ITanagerHost, &common::CastTo<CHost, ITanagerHost>},
    {&IID_IConnectionPointContainer, &common::CastTo<CHost, IConnectionPointContainer>},
    {nullptr, nullptr}};

CHost::CHost(IUnknown* outer) : CComObject(outer), m_events(this, IID_ITanagerHostEvents)
{
    Model().hosts.push_back(this);
}

CHost::~CHost()
{
    Forget(Model().hosts, this);
    Model().Note(L"release TanagerHost");
}

STDMETHODIMP CHost::get_HostId(long* id)
{
    if (!id)
        return E_POINTER;
    *id = Model().hostWindow;
    return S_OK;
}

STDMETHODIMP CHost::GetMenu(long index, ITanagerMenu** menu)
{
    if (!menu)
        return E_POINTER;
    *menu = nullptr;
    if (index < 0 || index >= Model().menuCount)
        return Fail(E_INVALIDARG, L"The mail client has no menu at this position");
    return CMenu::Make(index, menu);
}

STDMETHODIMP CHost::EnumConnectionPoints(IEnumConnectionPoints** out)
{
    if (out)
        *out = nullptr;
    return E_NOTIMPL;
}

STDMETHODIMP CHost::FindConnectionPoint(REFIID iid, IConnectionPoint** out)
{
    return FindSingle(m_events, iid, out);
}

long CHost::FireFolderSelection(long folderId)
{
    return m_events.Fire<ITanagerHostEvents>(
        [folderId](ITanagerHostEvents* s) { s->OnFolderSelectionChanged(folderId); });
}

// ---- TanagerToolbar -------------------------------------------------------------------------

const common::CInterfaceEntry<CToolbar> CToolbar::kInterfaces[] = {
    {&IID_ITanagerToolbar, &common::CastTo<CToolbar, ITanagerToolbar>}, {nullptr, nullptr}};

CToolbar::CToolbar(IUnknown* outer) : CComObject(outer), m_node(std::make_shared<CToolbarNode>()) {}

CToolbar::~CToolbar() { Model().Note(L"release TanagerToolbar"); }

STDMETHODIMP CToolbar::get_LargeButtons(VARIANT_BOOL* large)
{
    if (!large)
        return E_POINTER;
    *large = m_node->large ? VARIANT_TRUE : VARIANT_FALSE;
    return S_OK;
}

STDMETHODIMP CToolbar::put_LargeButtons(VARIANT_BOOL large)
{
    m_node->large = large != VARIANT_FALSE;
    if (m_node->created)
        Model().Changed();
    return S_OK;
}

STDMETHODIMP CToolbar::Create(long hostId)
{
    CModel& model = Model();
    if (m_node->created)
        return Fail(E_UNEXPECTED, L"The toolbar is already shown");
    if (hostId == 0 || hostId != model.hostWindow)
        return Fail(E_INVALIDARG, L"No mail client window has this id");
    m_node->hostId = hostId;
    m_node->created = true;
    model.toolbars.push_back(m_node);
    model.Changed();
    return S_OK;
}

STDMETHODIMP CToolbar::AddButton(BSTR caption, BSTR image, BSTR hoverImage, ITanagerButton** button)
{
    if (!button)
        return E_POINTER;
    *button = nullptr;
    auto node = std::make_shared<CButtonNode>();
    node->caption = FromBstr(caption);
    node->image = FromBstr(image);
    node->hoverImage = FromBstr(hoverImage);
    HRESULT hr = CButton::Make(node, false, button);
    if (FAILED(hr))
        return hr;
    m_node->buttons.push_back(node);
    Model().Changed();
    return S_OK;
}

// ---- TanagerButton --------------------------------------------------------------------------

const common::CInterfaceEntry<CButton> CButton::kInterfaces[] = {
    {&IID_ITanagerButton, &common::CastTo<CButton, ITanagerButton>},
    {&IID_IConnectionPointContainer, &common::CastTo<CButton, IConnectionPointContainer>},
    {nullptr, nullptr}};

CButton::CButton(IUnknown* outer) : CComObject(outer), m_events(this, IID_ITanagerButtonEvents) {}

CButton::~CButton()
{
    if (!m_node)
        return;
    m_node->live = nullptr;
    Model().Note(std::wstring(m_isItem ? L"release TanagerButton item " : L"release TanagerButton ") +
                 Quoted(m_node->caption));
}

HRESULT CButton::Make(const std::shared_ptr<CButtonNode>& node, bool isItem, ITanagerButton** out)
{
    ITanagerButton* made = nullptr;
    HRESULT hr = common::CreateComObject<CButton>(nullptr, IID_ITanagerButton, reinterpret_cast<void**>(&made));
    if (FAILED(hr))
        return hr;
    CButton* button = static_cast<CButton*>(made);
    button->m_node = node;
    button->m_isItem = isItem;
    node->live = button;
    *out = made;
    return S_OK;
}

STDMETHODIMP CButton::get_Caption(BSTR* caption) { return Text(m_node->caption, caption); }

STDMETHODIMP CButton::AddSubButton(BSTR caption, BSTR image, BSTR hoverImage, ITanagerButton** item)
{
    if (!item)
        return E_POINTER;
    *item = nullptr;
    if (m_isItem)
        return Fail(E_NOTIMPL, L"A drop-down item has no drop-down list of its own");
    auto node = std::make_shared<CButtonNode>();
    node->caption = FromBstr(caption);
    node->image = FromBstr(image);
    node->hoverImage = FromBstr(hoverImage);
    HRESULT hr = Make(node, true, item);
    if (FAILED(hr))
        return hr;
    m_node->items.push_back(node);
    Model().Changed();
    return S_OK;
}

STDMETHODIMP CButton::EnumConnectionPoints(IEnumConnectionPoints** out)
{
    if (out)
        *out = nullptr;
    return E_NOTIMPL;
}

STDMETHODIMP CButton::FindConnectionPoint(REFIID iid, IConnectionPoint** out)
{
    return FindSingle(m_events, iid, out);
}

long CButton::FireClick()
{
    return m_events.Fire<ITanagerButtonEvents>([](ITanagerButtonEvents* s) { s->OnClick(); });
}

// ---- TanagerMenu and TanagerMenuItem --------------------------------------------------------

const common::CInterfaceEntry<CMenu> CMenu::kInterfaces[] = {
    {&IID_ITanagerMenu, &common::CastTo<CMenu, ITanagerMenu>}, {nullptr, nullptr}};

CMenu::~CMenu() { Model().Note(L"release TanagerMenu " + std::to_wstring(m_index)); }

HRESULT CMenu::Make(long index, ITanagerMenu** out)
{
    ITanagerMenu* made = nullptr;
    HRESULT hr = common::CreateComObject<CMenu>(nullptr, IID_ITanagerMenu, reinterpret_cast<void**>(&made));
    if (FAILED(hr))
        return hr;
    static_cast<CMenu*>(made)->m_index = index;
    *out = made;
    return S_OK;
}

STDMETHODIMP CMenu::get_Caption(BSTR* caption) { return Text(kMenuNames[m_index], caption); }

STDMETHODIMP CMenu::AddItem(BSTR caption, ITanagerMenuItem** item)
{
    if (!item)
        return E_POINTER;
    *item = nullptr;
    ITanagerMenuItem* made = nullptr;
    HRESULT hr = common::CreateComObject<CMenuItem>(nullptr, IID_ITanagerMenuItem, reinterpret_cast<void**>(&made));
    if (FAILED(hr))
        return hr;
    auto node = std::make_shared<CMenuItemNode>();
    node->caption = FromBstr(caption);
    CMenuItem* menuItem = static_cast<CMenuItem*>(made);
    menuItem->m_node = node;
    node->live = menuItem;
    CModel& model = Model();
    if (model.menuItems.size() <= static_cast<size_t>(m_index))
        model.menuItems.resize(m_index + 1);
    model.menuItems[m_index].push_back(node);
    model.Changed();
    *item = made;
    return S_OK;
}

const common::CInterfaceEntry<CMenuItem> CMenuItem::kInterfaces[] = {
    {&IID_ITanagerMenuItem, &common::CastTo<CMenuItem, ITanagerMenuItem>},
    {&IID_IConnectionPointContainer, &common::CastTo<CMenuItem, IConnectionPointContainer>},
    {nullptr, nullptr}};

CMenuItem::CMenuItem(IUnknown* outer) : CComObject(outer), m_events(this, IID_ITanagerMenuItemEvents) {}

CMenuItem::~CMenuItem()
{
    if (!m_node)
        return;
    m_node->live = nullptr;
    Model().Note(L"release TanagerMenuItem " + Quoted(m_node->caption));
}

STDMETHODIMP CMenuItem::get_Caption(BSTR* caption) { return Text(m_node->caption, caption); }

STDMETHODIMP CMenuItem::EnumConnectionPoints(IEnumConnectionPoints** out)
{
    if (out)
        *out = nullptr;
    return E_NOTIMPL;
}

STDMETHODIMP CMenuItem::FindConnectionPoint(REFIID iid, IConnectionPoint** out)
{
    return FindSingle(m_events, iid, out);
}

long CMenuItem::FireClick()
{
    return m_events.Fire<ITanagerMenuItemEvents>([](ITanagerMenuItemEvents* s) { s->OnClick(); });
}

// ---- TanagerSite: the mail client's side ----------------------------------------------------

const common::CInterfaceEntry<CSite> CSite::kInterfaces[] = {
    {&IID_ITanagerSite, &common::CastTo<CSite, ITanagerSite>}, {nullptr, nullptr}};

STDMETHODIMP CSite::put_HostWindow(long hwnd)
{
    Model().hostWindow = hwnd;
    return S_OK;
}

STDMETHODIMP CSite::get_HostWindow(long* hwnd)
{
    if (!hwnd)
        return E_POINTER;
    *hwnd = Model().hostWindow;
    return S_OK;
}

STDMETHODIMP CSite::put_MenuCount(long count)
{
    if (count < 0 || count > kMaxMenus)
        return Fail(E_INVALIDARG, L"The mail client has from 0 to 6 menus");
    Model().menuCount = count;
    return S_OK;
}

STDMETHODIMP CSite::get_MenuCount(long* count)
{
    if (!count)
        return E_POINTER;
    *count = Model().menuCount;
    return S_OK;
}

// Events go to a copy of the list, each object held for the call: a handler may create or
// release SDK objects.
template <class T, class Fn>
static long FireAll(const std::vector<T*>& live, Fn fire)
{
    std::vector<ComPtr<IUnknown>> held;
    std::vector<T*> round = live;
    for (T* object : round)
        held.emplace_back(object->InnerUnknown());
    long delivered = 0;
    for (T* object : round)
        delivered += fire(object);
    return delivered;
}

STDMETHODIMP CSite::Ready(long* delivered)
{
    long n = FireAll(Model().inits, [](CInit* o) { return o->FireInit(); });
    if (delivered)
        *delivered = n;
    return S_OK;
}

STDMETHODIMP CSite::Shutdown(long* delivered)
{
    long n = FireAll(Model().inits, [](CInit* o) { return o->FireShutdown(); });
    if (delivered)
        *delivered = n;
    return S_OK;
}

STDMETHODIMP CSite::SelectFolder(long folderId, long* delivered)
{
    long n = FireAll(Model().hosts, [folderId](CHost* o) { return o->FireFolderSelection(folderId); });
    if (delivered)
        *delivered = n;
    return S_OK;
}

STDMETHODIMP CSite::Reset()
{
    CModel& model = Model();
    model.toolbars.clear();
    model.menuItems.clear();
    model.journal.clear();
    model.menuCount = 6;
    model.Changed();
    return S_OK;
}

STDMETHODIMP CSite::get_Revision(long* revision)
{
    if (!revision)
        return E_POINTER;
    *revision = Model().revision;
    return S_OK;
}

STDMETHODIMP CSite::get_Layout(BSTR* text)
{
    CModel& model = Model();
    std::wstring out;
    for (size_t t = 0; t < model.toolbars.size(); ++t) {
        const CToolbarNode& tb = *model.toolbars[t];
        out += L"toolbar " + std::to_wstring(t) + L" host=" + std::to_wstring(tb.hostId) +
               L" large=" + (tb.large ? L"true" : L"false") + L"\r\n";
        for (const auto& b : tb.buttons) {
            out += L"  button " + Quoted(b->caption) + L" image=" + Quoted(b->image) + L" hover=" +
                   Quoted(b->hoverImage) + L"\r\n";
            for (const auto& i : b->items)
                out += L"    item " + Quoted(i->caption) + L" image=" + Quoted(i->image) + L" hover=" +
                       Quoted(i->hoverImage) + L"\r\n";
        }
    }
    for (size_t m = 0; m < model.menuItems.size(); ++m)
        for (const auto& item : model.menuItems[m])
            out += L"menu " + std::to_wstring(m) + L" " + Quoted(kMenuNames[m]) + L" item " +
                   Quoted(item->caption) + L"\r\n";
    return Text(out, text);
}

STDMETHODIMP CSite::get_Journal(BSTR* text)
{
    std::wstring out;
    for (const auto& line : Model().journal)
        out += line + L"\r\n";
    return Text(out, text);
}

STDMETHODIMP CSite::get_ToolbarCount(long* count)
{
    if (!count)
        return E_POINTER;
    *count = static_cast<long>(Model().toolbars.size());
    return S_OK;
}

STDMETHODIMP CSite::GetToolbar(long toolbar, VARIANT_BOOL* large, long* hostId, long* buttonCount)
{
    CModel& model = Model();
    if (toolbar < 0 || static_cast<size_t>(toolbar) >= model.toolbars.size())
        return Fail(E_INVALIDARG, L"No toolbar at this position");
    const CToolbarNode& tb = *model.toolbars[toolbar];
    if (large)
        *large = tb.large ? VARIANT_TRUE : VARIANT_FALSE;
    if (hostId)
        *hostId = tb.hostId;
    if (buttonCount)
        *buttonCount = static_cast<long>(tb.buttons.size());
    return S_OK;
}

CButtonNode* CSite::_FindButton(long toolbar, long button, long sub)
{
    CModel& model = Model();
    if (toolbar < 0 || static_cast<size_t>(toolbar) >= model.toolbars.size())
        return nullptr;
    auto& buttons = model.toolbars[toolbar]->buttons;
    if (button < 0 || static_cast<size_t>(button) >= buttons.size())
        return nullptr;
    CButtonNode* node = buttons[button].get();
    if (sub < 0)
        return node;
    if (static_cast<size_t>(sub) >= node->items.size())
        return nullptr;
    return node->items[sub].get();
}

STDMETHODIMP CSite::GetButton(long toolbar, long button, long sub, BSTR* caption, BSTR* image,
                              BSTR* hoverImage, long* subCount)
{
    CButtonNode* node = _FindButton(toolbar, button, sub);
    if (!node)
        return Fail(E_INVALIDARG, L"No button at this position");
    HRESULT hr = S_OK;
    if (caption && FAILED(hr = Text(node->caption, caption)))
        return hr;
    if (image && FAILED(hr = Text(node->image, image)))
        return hr;
    if (hoverImage && FAILED(hr = Text(node->hoverImage, hoverImage)))
        return hr;
    if (subCount)
        *subCount = static_cast<long>(node->items.size());
    return S_OK;
}

STDMETHODIMP CSite::ClickButton(long toolbar, long button, long sub, long* delivered)
{
    CButtonNode* node = _FindButton(toolbar, button, sub);
    if (!node)
        return Fail(E_INVALIDARG, L"No button at this position");
    long n = 0;
    if (node->live) {
        ComPtr<ITanagerButton> hold(node->live);
        n = node->live->FireClick();
    }
    if (delivered)
        *delivered = n;
    return S_OK;
}

STDMETHODIMP CSite::GetMenuName(long menu, BSTR* caption)
{
    if (menu < 0 || menu >= Model().menuCount)
        return Fail(E_INVALIDARG, L"The mail client has no menu at this position");
    return Text(kMenuNames[menu], caption);
}

STDMETHODIMP CSite::GetMenuItemCount(long menu, long* count)
{
    if (!count)
        return E_POINTER;
    CModel& model = Model();
    *count = (menu >= 0 && static_cast<size_t>(menu) < model.menuItems.size())
                 ? static_cast<long>(model.menuItems[menu].size())
                 : 0;
    return S_OK;
}

STDMETHODIMP CSite::GetMenuItem(long menu, long item, BSTR* caption)
{
    CModel& model = Model();
    if (menu < 0 || static_cast<size_t>(menu) >= model.menuItems.size() || item < 0 ||
        static_cast<size_t>(item) >= model.menuItems[menu].size())
        return Fail(E_INVALIDARG, L"No menu item at this position");
    return Text(model.menuItems[menu][item]->caption, caption);
}

STDMETHODIMP CSite::ClickMenuItem(long menu, long item, long* delivered)
{
    CModel& model = Model();
    if (menu < 0 || static_cast<size_t>(menu) >= model.menuItems.size() || item < 0 ||
        static_cast<size_t>(item) >= model.menuItems[menu].size())
        return Fail(E_INVALIDARG, L"No menu item at this position");
    CMenuItemNode* node = model.menuItems[menu][item].get();
    long n = 0;
    if (node->live) {
        ComPtr<ITanagerMenuItem> hold(node->live);
        n = node->live->FireClick();
    }
    if (delivered)
        *delivered = n;
    return S_OK;
}

}  // namespace tanager
