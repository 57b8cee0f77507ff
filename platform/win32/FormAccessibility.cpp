#include "platform/win32/FormAccessibility.h"

#include "platform/ReadingOrder.h"
#include "platform/win32/ComApartment.h"
#include "platform/win32/SystemLibrary.h"
#include "platform/win32/Wide.h"

#include <algorithm>

namespace tovira::win32 {

namespace {

// Posted by the tree to its own window: a reader's call returns at once, and the click procedure runs from the
// message loop like any click, never inside the call, which a message box would hold up and the program's end cut.
constexpr UINT kDefaultActionMessage = WM_APP + 1;

HRESULT ReturnText(const std::string& text, BSTR* out) {
    if (out == nullptr) {
        return E_POINTER;
    }
    *out = nullptr;
    if (text.empty()) {
        return S_FALSE;
    }
    static const auto allocate = SystemFunction<decltype(SysAllocString)>(L"oleaut32.dll", "SysAllocString");
    if (allocate == nullptr) {
        return E_FAIL;
    }
    *out = allocate(Widen(text).c_str());
    return *out != nullptr ? S_OK : E_OUTOFMEMORY;
}

HRESULT ReturnNumber(LONG number, VARIANT* out) {
    if (out == nullptr) {
        return E_POINTER;
    }
    out->vt = VT_I4;
    out->lVal = number;
    return S_OK;
}

HRESULT ReturnNothing(VARIANT* out) {
    if (out == nullptr) {
        return E_POINTER;
    }
    out->vt = VT_EMPTY;
    return S_FALSE;
}

LONG SystemRole(AccessibleRole role) {
    switch (role) {
    case AccessibleRole::Link:
        return ROLE_SYSTEM_LINK;
    case AccessibleRole::StaticText:
        return ROLE_SYSTEM_STATICTEXT;
    case AccessibleRole::Graphic:
        return ROLE_SYSTEM_GRAPHIC;
    }
    return ROLE_SYSTEM_CLIENT;
}

// Links lead somewhere; texts and pictures are only read. The menu takes no keyboard focus, so nothing is focusable.
LONG SystemState(AccessibleRole role) {
    return role == AccessibleRole::Link ? STATE_SYSTEM_LINKED : STATE_SYSTEM_READONLY;
}

// Windows looks for a list box's name in a static control just before it in z-order; this one is never shown.
HWND CreateHiddenLabel(HWND parent, HWND labelled) {
    HWND label = CreateWindowExW(0, L"STATIC", L"", WS_CHILD | SS_NOPREFIX, 0, 0, 0, 0, parent, nullptr,
                                 GetModuleHandleW(nullptr), nullptr);
    if (label != nullptr) {
        HWND above = GetWindow(labelled, GW_HWNDPREV);
        SetWindowPos(label, above != nullptr ? above : HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    }
    return label;
}

} // namespace

// The client area's object. Its children are simple elements, numbered from 1 in reading order and worked out
// afresh at every call, so that they follow the model; what concerns the client area itself comes from the
// system's own object for it.
class AccessibleClient final : public IAccessible {
public:
    AccessibleClient(FormAccessibility& owner, HWND window) : owner_(&owner), window_(window) {
        static const auto createStandard =
            SystemFunction<decltype(CreateStdAccessibleObject)>(L"oleacc.dll", "CreateStdAccessibleObject");
        if (createStandard != nullptr) {
            createStandard(window, OBJID_CLIENT, __uuidof(IAccessible), reinterpret_cast<void**>(standard_.Put()));
        }
    }

    // Readers that still hold the object get errors from now on, not a form that is gone.
    void Disconnect() {
        owner_ = nullptr;
        standard_.Reset();
        CoDisconnectObject(this, 0);
    }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID id, void** object) override {
        if (object == nullptr) {
            return E_POINTER;
        }
        if (id == __uuidof(IUnknown) || id == __uuidof(IDispatch) || id == __uuidof(IAccessible)) {
            *object = static_cast<IAccessible*>(this);
            AddRef();
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++references_; }
    // COM's own rule: the last reference ends the object.
    ULONG STDMETHODCALLTYPE Release() override {
        const ULONG left = --references_;
        if (left == 0) {
            delete this;
        }
        return left;
    }

    // Readers call IAccessible directly; no script drives it through IDispatch.
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
        if (count == nullptr) {
            return E_INVALIDARG;
        }
        *count = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override {
        return E_NOTIMPL;
    }

    HRESULT STDMETHODCALLTYPE get_accParent(IDispatch** parent) override {
        return Self([&](IAccessible* self) { return self->get_accParent(parent); });
    }
    HRESULT STDMETHODCALLTYPE get_accChildCount(long* count) override {
        if (count == nullptr) {
            return E_INVALIDARG;
        }
        if (owner_ == nullptr) {
            return RPC_E_DISCONNECTED;
        }
        *count = static_cast<long>(SeenAccessibleItems(owner_->form_).size());
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE get_accChild(VARIANT child, IDispatch** element) override {
        if (element == nullptr) {
            return E_INVALIDARG;
        }
        *element = nullptr;
        // Simple elements have no object of their own: the caller asks this one about them.
        return For(
            child, [](const AccessibleItem&) { return S_FALSE; }, [](IAccessible*) { return E_INVALIDARG; });
    }
    HRESULT STDMETHODCALLTYPE get_accName(VARIANT child, BSTR* name) override {
        return For(
            child, [&](const AccessibleItem& item) { return ReturnText(item.name, name); },
            [&](IAccessible* self) { return self->get_accName(child, name); });
    }
    HRESULT STDMETHODCALLTYPE get_accValue(VARIANT child, BSTR* value) override {
        return For(
            child, [&](const AccessibleItem& item) { return ReturnText(item.value, value); },
            [&](IAccessible* self) { return self->get_accValue(child, value); });
    }
    HRESULT STDMETHODCALLTYPE get_accDescription(VARIANT child, BSTR* description) override {
        return For(
            child, [&](const AccessibleItem& item) { return ReturnText(item.description, description); },
            [&](IAccessible* self) { return self->get_accDescription(child, description); });
    }
    HRESULT STDMETHODCALLTYPE get_accRole(VARIANT child, VARIANT* role) override {
        return For(
            child, [&](const AccessibleItem& item) { return ReturnNumber(SystemRole(item.role), role); },
            [&](IAccessible* self) { return self->get_accRole(child, role); });
    }
    HRESULT STDMETHODCALLTYPE get_accState(VARIANT child, VARIANT* state) override {
        return For(
            child,
            [&](const AccessibleItem& item) {
                return ReturnNumber(SystemState(item.role) | (Available() ? 0 : STATE_SYSTEM_UNAVAILABLE), state);
            },
            [&](IAccessible* self) { return self->get_accState(child, state); });
    }
    HRESULT STDMETHODCALLTYPE get_accHelp(VARIANT child, BSTR* help) override {
        return For(
            child, [&](const AccessibleItem&) { return ReturnText({}, help); },
            [&](IAccessible* self) { return self->get_accHelp(child, help); });
    }
    HRESULT STDMETHODCALLTYPE get_accHelpTopic(BSTR* file, VARIANT, long* topic) override {
        if (file == nullptr || topic == nullptr) {
            return E_INVALIDARG;
        }
        *file = nullptr;
        *topic = 0;
        return DISP_E_MEMBERNOTFOUND;
    }
    // The menu has no access keys.
    HRESULT STDMETHODCALLTYPE get_accKeyboardShortcut(VARIANT child, BSTR* shortcut) override {
        return For(
            child, [&](const AccessibleItem&) { return ReturnText({}, shortcut); },
            [&](IAccessible* self) { return self->get_accKeyboardShortcut(child, shortcut); });
    }
    HRESULT STDMETHODCALLTYPE get_accFocus(VARIANT* focus) override {
        return Self([&](IAccessible* self) { return self->get_accFocus(focus); });
    }
    HRESULT STDMETHODCALLTYPE get_accSelection(VARIANT* selection) override {
        return Self([&](IAccessible* self) { return self->get_accSelection(selection); });
    }
    HRESULT STDMETHODCALLTYPE get_accDefaultAction(VARIANT child, BSTR* action) override {
        return For(
            child,
            [&](const AccessibleItem& item) { return ReturnText(item.control->Click ? kClickActionName : "", action); },
            [&](IAccessible* self) { return self->get_accDefaultAction(child, action); });
    }
    HRESULT STDMETHODCALLTYPE accSelect(long flags, VARIANT child) override {
        return For(
            child, [](const AccessibleItem&) { return DISP_E_MEMBERNOTFOUND; },
            [&](IAccessible* self) { return self->accSelect(flags, child); });
    }
    HRESULT STDMETHODCALLTYPE accLocation(long* left, long* top, long* width, long* height, VARIANT child) override {
        if (left == nullptr || top == nullptr || width == nullptr || height == nullptr) {
            return E_INVALIDARG;
        }
        return For(
            child,
            [&](const AccessibleItem& item) {
                RECT box = VisibleBox(*item.control);
                MapWindowPoints(window_, nullptr, reinterpret_cast<POINT*>(&box), 2);
                *left = box.left;
                *top = box.top;
                *width = box.right - box.left;
                *height = box.bottom - box.top;
                return S_OK;
            },
            [&](IAccessible* self) { return self->accLocation(left, top, width, height, child); });
    }
    HRESULT STDMETHODCALLTYPE accNavigate(long direction, VARIANT start, VARIANT* end) override;
    HRESULT STDMETHODCALLTYPE accHitTest(long x, long y, VARIANT* found) override;
    HRESULT STDMETHODCALLTYPE accDoDefaultAction(VARIANT child) override {
        return For(
            child,
            [&](const AccessibleItem& item) {
                if (!item.control->Click) {
                    return DISP_E_MEMBERNOTFOUND;
                }
                if (!Available()) {
                    return E_FAIL;
                }
                const bool posted =
                    PostMessageW(window_, kDefaultActionMessage, 0, reinterpret_cast<LPARAM>(item.control)) != FALSE;
                return posted ? S_OK : HRESULT_FROM_WIN32(GetLastError());
            },
            [&](IAccessible* self) { return self->accDoDefaultAction(child); });
    }
    HRESULT STDMETHODCALLTYPE put_accName(VARIANT, BSTR) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE put_accValue(VARIANT, BSTR) override { return E_NOTIMPL; }

private:
    ~AccessibleClient() = default;

    template <typename Ask> HRESULT Self(Ask ask) {
        if (owner_ == nullptr) {
            return RPC_E_DISCONNECTED;
        }
        return standard_ ? ask(standard_.Get()) : E_FAIL;
    }

    // Answers about the element that `child` numbers, or has the system's object answer for the client area.
    template <typename AskItem, typename AskSelf> HRESULT For(const VARIANT& child, AskItem askItem, AskSelf askSelf) {
        if (owner_ == nullptr) {
            return RPC_E_DISCONNECTED;
        }
        if (child.vt != VT_I4) {
            return E_INVALIDARG;
        }
        if (child.lVal == CHILDID_SELF) {
            return Self(askSelf);
        }
        const std::vector<AccessibleItem> items = SeenAccessibleItems(owner_->form_);
        if (child.lVal < 1 || static_cast<size_t>(child.lVal) > items.size()) {
            return E_INVALIDARG;
        }
        return askItem(items[static_cast<size_t>(child.lVal) - 1]);
    }

    // A window that a modal box disables takes no click, and a reader's action is refused as a click is, never
    // kept to run once the box is answered.
    bool Available() const { return IsWindowEnabled(window_) != FALSE; }

    // Where the control is painted, in the client area, cut to what of it the window shows.
    RECT VisibleBox(const Control& control) const {
        RECT client{};
        GetClientRect(window_, &client);
        const RECT box = ControlRect(control, owner_->scale_);
        RECT visible{};
        IntersectRect(&visible, &box, &client);
        return visible;
    }

    ULONG references_ = 1;
    FormAccessibility* owner_;
    HWND window_;
    ComPtr<IAccessible> standard_;
};

HRESULT AccessibleClient::accNavigate(long direction, VARIANT start, VARIANT* end) {
    if (owner_ == nullptr) {
        return RPC_E_DISCONNECTED;
    }
    if (start.vt != VT_I4) {
        return E_INVALIDARG;
    }
    const auto count = static_cast<long>(SeenAccessibleItems(owner_->form_).size());
    long target = 0;
    if (start.lVal == CHILDID_SELF) {
        if (direction != NAVDIR_FIRSTCHILD && direction != NAVDIR_LASTCHILD) {
            return Self([&](IAccessible* self) { return self->accNavigate(direction, start, end); });
        }
        target = direction == NAVDIR_FIRSTCHILD ? 1 : count;
    } else if (start.lVal < 1 || start.lVal > count) {
        return E_INVALIDARG;
    } else if (direction == NAVDIR_NEXT || direction == NAVDIR_PREVIOUS) {
        target = start.lVal + (direction == NAVDIR_NEXT ? 1 : -1);
    }
    return target >= 1 && target <= count ? ReturnNumber(target, end) : ReturnNothing(end);
}

HRESULT AccessibleClient::accHitTest(long x, long y, VARIANT* found) {
    if (owner_ == nullptr) {
        return RPC_E_DISCONNECTED;
    }
    POINT point{x, y};
    ScreenToClient(window_, &point);
    RECT client{};
    GetClientRect(window_, &client);
    if (!PtInRect(&client, point)) {
        return ReturnNothing(found);
    }
    const std::vector<AccessibleItem> items = SeenAccessibleItems(owner_->form_);
    for (size_t i = 0; i < items.size(); ++i) {
        const RECT box = VisibleBox(*items[i].control);
        if (PtInRect(&box, point)) {
            return ReturnNumber(static_cast<LONG>(i + 1), found);
        }
    }
    return ReturnNumber(CHILDID_SELF, found);
}

FormAccessibility::FormAccessibility(const Form& form, std::function<void(const Control&)> click)
    : form_(form), click_(std::move(click)) {}

FormAccessibility::~FormAccessibility() {
    Disconnect();
}

void FormAccessibility::Disconnect() {
    if (client_) {
        static_cast<AccessibleClient*>(client_.Get())->Disconnect();
        client_.Reset();
    }
}

std::optional<LRESULT> FormAccessibility::HandleMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam,
                                                        const PixelScale& scale) {
    scale_ = scale;
    switch (message) {
    case WM_GETOBJECT: {
        // Only the client area of a form with a reading order is ours; the system describes everything else.
        static const auto lresultFromObject =
            SystemFunction<decltype(LresultFromObject)>(L"oleacc.dll", "LresultFromObject");
        if (static_cast<LONG>(lParam) != OBJID_CLIENT || form_.readingOrder.empty() || lresultFromObject == nullptr) {
            return std::nullopt;
        }
        EnsureComApartment();
        if (!client_) {
            client_.Reset(new AccessibleClient(*this, window));
        }
        return lresultFromObject(__uuidof(IAccessible), wParam, client_.Get());
    }
    case kDefaultActionMessage: {
        // Any process may post this message: only a control of the reading order is taken from it, and none while
        // a modal box that came up after the action was asked for disables the window.
        const auto* control = reinterpret_cast<const Control*>(lParam);
        const auto& order = form_.readingOrder;
        if (IsWindowEnabled(window) != FALSE &&
            std::any_of(order.begin(), order.end(),
                        [&](const AccessibleItem& item) { return item.control == control; })) {
            click_(*control);
        }
        return 0;
    }
    case WM_NCDESTROY:
        Disconnect();
        named_.clear();
        announced_.reset();
        return std::nullopt;
    default:
        return std::nullopt;
    }
}

void FormAccessibility::Sync(HWND window, const PixelScale& scale,
                             const std::function<HWND(const Control&)>& childWindow) {
    scale_ = scale;
    NameChildWindows(window, childWindow);
    AnnounceChanges(window);
}

// A list box and a picture box draw no window text, so their window text can carry the name: the system's object
// for a child window reads it. A list box is named by a label on Windows, and by its window text under Wine.
void FormAccessibility::NameChildWindows(HWND window, const std::function<HWND(const Control&)>& childWindow) {
    for (const Control* control : form_.Controls()) {
        const bool textless = control->kind == ControlKind::ListBox || control->kind == ControlKind::PictureBox;
        HWND child = textless ? childWindow(*control) : nullptr;
        if (child == nullptr) {
            continue;
        }
        auto named =
            std::find_if(named_.begin(), named_.end(), [&](const NamedWindow& item) { return item.window == child; });
        if (named == named_.end()) {
            named = named_.insert(named_.end(), NamedWindow{child, nullptr, L""});
        }
        std::wstring name = Widen(AccessibleName(form_, *control));
        if (name == named->name) {
            continue;
        }
        SetWindowTextW(child, name.c_str());
        if (control->kind == ControlKind::ListBox) {
            if (named->label == nullptr) {
                named->label = CreateHiddenLabel(window, child);
            }
            SetWindowTextW(named->label, name.c_str());
        }
        named->name = std::move(name);
    }
}

void FormAccessibility::AnnounceChanges(HWND window) {
    std::vector<std::pair<const Control*, std::string>> seen;
    for (AccessibleItem& item : SeenAccessibleItems(form_)) {
        seen.emplace_back(item.control, std::move(item.name));
    }
    if (announced_) {
        const bool sameItems =
            seen.size() == announced_->size() &&
            std::equal(seen.begin(), seen.end(), announced_->begin(),
                       [](const auto& now, const auto& before) { return now.first == before.first; });
        if (!sameItems) {
            NotifyWinEvent(EVENT_OBJECT_REORDER, window, OBJID_CLIENT, CHILDID_SELF);
        }
        for (size_t i = 0; sameItems && i < seen.size(); ++i) {
            if (seen[i].second != (*announced_)[i].second) {
                NotifyWinEvent(EVENT_OBJECT_NAMECHANGE, window, OBJID_CLIENT, static_cast<LONG>(i + 1));
            }
        }
    }
    announced_ = std::move(seen);
}

} // namespace tovira::win32
