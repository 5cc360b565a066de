#include "win/ui/accessible.h"

#include <oleacc.h>

#include <atomic>
#include <cmath>
#include <string>

#include "win/wtext.h"

namespace torvane {

namespace {

// Defined here: the import library's copy is not always found by the linker's order.
constexpr IID iid_accessible = {
    0x618736E0, 0x3C3D, 0x11CF, {0x81, 0x0C, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71}};

LONG role_code(Role role) {
    switch (role) {
        case Role::push_button:
            return ROLE_SYSTEM_PUSHBUTTON;
        case Role::check_button:
            return ROLE_SYSTEM_CHECKBUTTON;
        case Role::radio_button:
            return ROLE_SYSTEM_RADIOBUTTON;
        case Role::slider:
            return ROLE_SYSTEM_SLIDER;
        case Role::page_tab:
            return ROLE_SYSTEM_PAGETAB;
        case Role::link:
            return ROLE_SYSTEM_LINK;
        case Role::field:
            return ROLE_SYSTEM_TEXT;
        case Role::text:
            return ROLE_SYSTEM_STATICTEXT;
    }
    return ROLE_SYSTEM_CLIENT;
}

HRESULT give_text(std::wstring_view text, BSTR* out) {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (text.empty()) return S_FALSE;
    *out = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
    return *out ? S_OK : E_OUTOFMEMORY;
}

}  // namespace

// Children are simple elements: child id n is the n-th control of the last layout.
class AccessibleClient final : public IAccessible {
public:
    AccessibleClient(UiContext& ui, std::function<void(uint32_t)> act)
        : ui_(&ui), act_(std::move(act)) {}

    void detach() { ui_ = nullptr; }

    // IUnknown
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
        if (!out) return E_POINTER;
        if (iid == IID_IUnknown || iid == IID_IDispatch || iid == iid_accessible) {
            *out = static_cast<IAccessible*>(this);
            AddRef();
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++references_; }
    ULONG STDMETHODCALLTYPE Release() override {
        const ULONG left = --references_;
        if (left == 0) delete this;
        return left;
    }

    // IDispatch: not offered; clients use the interface itself.
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
        if (count) *count = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*,
                                     UINT*) override {
        return E_NOTIMPL;
    }

    // IAccessible
    HRESULT STDMETHODCALLTYPE get_accParent(IDispatch** parent) override {
        if (!ui_) return RPC_E_DISCONNECTED;
        return AccessibleObjectFromWindow(ui_->window, static_cast<DWORD>(OBJID_WINDOW),
                                          IID_IDispatch, reinterpret_cast<void**>(parent));
    }
    HRESULT STDMETHODCALLTYPE get_accChildCount(long* count) override {
        if (!ui_) return RPC_E_DISCONNECTED;
        *count = static_cast<long>(ui_->focusables.size());
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE get_accChild(VARIANT, IDispatch** child) override {
        *child = nullptr;
        return ui_ ? S_FALSE : RPC_E_DISCONNECTED;  // simple elements
    }
    HRESULT STDMETHODCALLTYPE get_accName(VARIANT child, BSTR* name) override {
        if (!ui_) return RPC_E_DISCONNECTED;
        if (is_self(child)) {
            wchar_t title[128] = {};
            GetWindowTextW(ui_->window, title, 128);
            return give_text(title, name);
        }
        const Focusable* f = element(child);
        return f ? give_text(widen(f->name), name) : E_INVALIDARG;
    }
    HRESULT STDMETHODCALLTYPE get_accValue(VARIANT child, BSTR* value) override {
        if (!ui_) return RPC_E_DISCONNECTED;
        const Focusable* f = element(child);
        if (!f) return is_self(child) ? give_text({}, value) : E_INVALIDARG;
        if (f->role == Role::field) {
            for (const NativeField& field : ui_->fields)
                if (field.id == f->id) {
                    std::wstring text(static_cast<size_t>(GetWindowTextLengthW(field.control)) + 1,
                                      L'\0');
                    text.resize(static_cast<size_t>(
                        GetWindowTextW(field.control, text.data(), static_cast<int>(text.size()))));
                    return give_text(text, value);
                }
        }
        return give_text(widen(f->value), value);
    }
    HRESULT STDMETHODCALLTYPE get_accDescription(VARIANT, BSTR* text) override {
        return give_text({}, text);
    }
    HRESULT STDMETHODCALLTYPE get_accRole(VARIANT child, VARIANT* role) override {
        if (!ui_) return RPC_E_DISCONNECTED;
        const Focusable* f = element(child);
        if (!f && !is_self(child)) return E_INVALIDARG;
        role->vt = VT_I4;
        role->lVal = f ? role_code(f->role) : ROLE_SYSTEM_CLIENT;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE get_accState(VARIANT child, VARIANT* state) override {
        if (!ui_) return RPC_E_DISCONNECTED;
        const Focusable* f = element(child);
        if (!f && !is_self(child)) return E_INVALIDARG;
        state->vt = VT_I4;
        state->lVal = !f                      ? STATE_SYSTEM_FOCUSABLE
                      : f->role == Role::text ? STATE_SYSTEM_READONLY
                      : f->available          ? STATE_SYSTEM_FOCUSABLE
                                              : STATE_SYSTEM_UNAVAILABLE;
        if (f && f->checked)
            state->lVal |= f->role == Role::page_tab ? STATE_SYSTEM_SELECTED : STATE_SYSTEM_CHECKED;
        if (f && f->id == ui_->focus_id && GetFocus() == focus_target(*ui_))
            state->lVal |= STATE_SYSTEM_FOCUSED;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE get_accHelp(VARIANT, BSTR* text) override {
        return give_text({}, text);
    }
    HRESULT STDMETHODCALLTYPE get_accHelpTopic(BSTR* file, VARIANT, long*) override {
        return give_text({}, file);
    }
    HRESULT STDMETHODCALLTYPE get_accKeyboardShortcut(VARIANT, BSTR* text) override {
        return give_text({}, text);
    }
    HRESULT STDMETHODCALLTYPE get_accFocus(VARIANT* child) override {
        if (!ui_) return RPC_E_DISCONNECTED;
        child->vt = VT_EMPTY;
        for (size_t i = 0; i < ui_->focusables.size(); ++i)
            if (ui_->focusables[i].id == ui_->focus_id) {
                child->vt = VT_I4;
                child->lVal = static_cast<LONG>(i + 1);
            }
        return child->vt == VT_EMPTY ? S_FALSE : S_OK;
    }
    HRESULT STDMETHODCALLTYPE get_accSelection(VARIANT* selection) override {
        selection->vt = VT_EMPTY;
        return S_FALSE;
    }
    HRESULT STDMETHODCALLTYPE get_accDefaultAction(VARIANT child, BSTR* action) override {
        if (!ui_) return RPC_E_DISCONNECTED;
        const Focusable* f = element(child);
        if (!f) return give_text({}, action);
        const bool clicks = f->role != Role::field && f->role != Role::slider;
        return give_text(clicks ? std::wstring_view(L"Presionar") : L"Enfocar", action);
    }
    HRESULT STDMETHODCALLTYPE accSelect(long flags, VARIANT child) override {
        if (!ui_) return RPC_E_DISCONNECTED;
        const Focusable* f = element(child);
        if (!f || !(flags & SELFLAG_TAKEFOCUS)) return E_INVALIDARG;
        ui_->focus_id = f->id;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE accLocation(long* left, long* top, long* width, long* height,
                                          VARIANT child) override {
        if (!ui_) return RPC_E_DISCONNECTED;
        const Focusable* f = element(child);
        RECT r{};
        if (f) {
            const float s = ui_->scale;
            r = {std::lround(f->rect.x * s), std::lround(f->rect.y * s),
                 std::lround((f->rect.x + f->rect.w) * s),
                 std::lround((f->rect.y + f->rect.h) * s)};
        } else {
            GetClientRect(ui_->window, &r);
        }
        MapWindowPoints(ui_->window, HWND_DESKTOP, reinterpret_cast<POINT*>(&r), 2);
        *left = r.left;
        *top = r.top;
        *width = r.right - r.left;
        *height = r.bottom - r.top;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE accNavigate(long, VARIANT, VARIANT* end) override {
        end->vt = VT_EMPTY;
        return S_FALSE;
    }
    HRESULT STDMETHODCALLTYPE accHitTest(long x, long y, VARIANT* child) override {
        if (!ui_) return RPC_E_DISCONNECTED;
        POINT p{x, y};
        ScreenToClient(ui_->window, &p);
        const float dx = static_cast<float>(p.x) / ui_->scale,
                    dy = static_cast<float>(p.y) / ui_->scale;
        child->vt = VT_I4;
        child->lVal = CHILDID_SELF;
        for (size_t i = 0; i < ui_->focusables.size(); ++i) {
            const Rect& r = ui_->focusables[i].rect;
            if (dx >= r.x && dx < r.x + r.w && dy >= r.y && dy < r.y + r.h)
                child->lVal = static_cast<LONG>(i + 1);
        }
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE accDoDefaultAction(VARIANT child) override {
        if (!ui_) return RPC_E_DISCONNECTED;
        const Focusable* f = element(child);
        if (!f) return E_INVALIDARG;
        act_(f->id);  // may lay the window out again: `f` is stale after this
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE put_accName(VARIANT, BSTR) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE put_accValue(VARIANT, BSTR) override { return E_NOTIMPL; }

private:
    static bool is_self(const VARIANT& child) {
        return child.vt == VT_I4 && child.lVal == CHILDID_SELF;
    }
    const Focusable* element(const VARIANT& child) const {
        if (!ui_ || child.vt != VT_I4 || child.lVal < 1 ||
            static_cast<size_t>(child.lVal) > ui_->focusables.size())
            return nullptr;
        return &ui_->focusables[static_cast<size_t>(child.lVal) - 1];
    }

    UiContext* ui_;
    std::function<void(uint32_t)> act_;
    std::atomic<ULONG> references_{1};
};

AccessibleClient* make_accessible(UiContext& ui, std::function<void(uint32_t id)> act) {
    return new AccessibleClient(ui, std::move(act));
}

void detach(AccessibleClient* client) {
    if (!client) return;
    client->detach();
    client->Release();
}

std::optional<LRESULT> answer_get_object(AccessibleClient* client, WPARAM wparam, LPARAM lparam) {
    if (!client || static_cast<LONG>(lparam) != OBJID_CLIENT) return std::nullopt;
    return LresultFromObject(iid_accessible, wparam, static_cast<IAccessible*>(client));
}

namespace {

LONG child_of(const UiContext& ui, uint32_t id) {
    for (size_t i = 0; i < ui.focusables.size(); ++i)
        if (ui.focusables[i].id == id) return static_cast<LONG>(i + 1);
    return 0;
}

}  // namespace

void notify_focus(const UiContext& ui) {
    if (const LONG child = child_of(ui, ui.focus_id))
        NotifyWinEvent(EVENT_OBJECT_FOCUS, ui.window, OBJID_CLIENT, child);
}

void notify_texts(const UiContext& ui, std::vector<std::string>& last) {
    size_t n = 0;
    for (size_t i = 0; i < ui.focusables.size(); ++i) {
        const Focusable& f = ui.focusables[i];
        if (f.role != Role::text) continue;
        if (n >= last.size() || last[n] != f.name)
            NotifyWinEvent(EVENT_OBJECT_NAMECHANGE, ui.window, OBJID_CLIENT,
                           static_cast<LONG>(i + 1));
        if (n < last.size())
            last[n] = f.name;
        else
            last.push_back(f.name);
        ++n;
    }
    last.resize(n);
}

void notify_state(const UiContext& ui, uint32_t id) {
    const LONG child = child_of(ui, id);
    if (!child) return;
    const bool slider = ui.focusables[static_cast<size_t>(child - 1)].role == Role::slider;
    NotifyWinEvent(slider ? EVENT_OBJECT_VALUECHANGE : EVENT_OBJECT_STATECHANGE, ui.window,
                   OBJID_CLIENT, child);
}

}  // namespace torvane
