#include "windows/clock_accessible.h"

#include <iterator>

#include "core/controller/facts.h"
#include "windows/form.h"

namespace lumivane::windows {

std::wstring UserShortTime(TimeOfDay time) {
    SYSTEMTIME system{};
    system.wYear = 2000; // any valid date: the format reads the time only
    system.wMonth = 1;
    system.wDay = 1;
    system.wHour = time.hour;
    system.wMinute = time.minute;
    wchar_t text[64] = {};
    if (GetTimeFormatW(LOCALE_USER_DEFAULT, TIME_NOSECONDS, &system, nullptr, text,
                       static_cast<int>(std::size(text))) > 0) {
        return text;
    }
    return Widened(ShortTimeText(time).c_str());
}

ComPtr<ClockAccessible> ClockAccessible::Make(HWND window) {
    return ComPtr<ClockAccessible>(new ClockAccessible(window));
}

HRESULT ClockAccessible::QueryInterface(REFIID id, void** object) {
    if (object == nullptr) {
        return E_POINTER;
    }
    if (IsEqualIID(id, IID_IUnknown) || IsEqualIID(id, IID_IDispatch) ||
        IsEqualIID(id, __uuidof(IAccessible))) {
        *object = static_cast<IAccessible*>(this);
        AddRef();
        return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
}

ULONG ClockAccessible::AddRef() {
    return ++references_;
}

ULONG ClockAccessible::Release() {
    const ULONG left = --references_;
    if (left == 0) {
        delete this;
    }
    return left;
}

HRESULT ClockAccessible::GetTypeInfoCount(UINT* count) {
    if (count == nullptr) {
        return E_POINTER;
    }
    *count = 0;
    return S_OK;
}

HRESULT ClockAccessible::GetTypeInfo(UINT, LCID, ITypeInfo**) {
    return E_NOTIMPL;
}

HRESULT ClockAccessible::GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) {
    return E_NOTIMPL;
}

HRESULT ClockAccessible::Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*,
                                UINT*) {
    return E_NOTIMPL;
}

HRESULT ClockAccessible::Check(const VARIANT& child) const {
    if (window_ == nullptr) {
        return RPC_E_DISCONNECTED;
    }
    return child.vt == VT_I4 && child.lVal == CHILDID_SELF ? S_OK : E_INVALIDARG;
}

HRESULT ClockAccessible::Text(const VARIANT& child, const wchar_t* text, BSTR* out) const {
    if (out == nullptr) {
        return E_POINTER;
    }
    *out = nullptr;
    if (const HRESULT checked = Check(child); FAILED(checked)) {
        return checked;
    }
    if (text == nullptr) {
        return S_FALSE;
    }
    *out = SysAllocString(text);
    return *out != nullptr ? S_OK : E_OUTOFMEMORY;
}

HRESULT ClockAccessible::get_accParent(IDispatch** parent) {
    if (parent == nullptr) {
        return E_POINTER;
    }
    *parent = nullptr;
    if (window_ == nullptr) {
        return RPC_E_DISCONNECTED;
    }
    // The window itself, as the system describes it.
    return AccessibleObjectFromWindow(window_, static_cast<DWORD>(OBJID_WINDOW), IID_IDispatch,
                                      reinterpret_cast<void**>(parent));
}

HRESULT ClockAccessible::get_accChildCount(LONG* count) {
    if (count == nullptr) {
        return E_POINTER;
    }
    *count = 0;
    return window_ != nullptr ? S_OK : RPC_E_DISCONNECTED;
}

HRESULT ClockAccessible::get_accChild(VARIANT, IDispatch** object) {
    if (object == nullptr) {
        return E_POINTER;
    }
    *object = nullptr;
    return E_INVALIDARG; // it has none
}

HRESULT ClockAccessible::get_accName(VARIANT child, BSTR* name) {
    return Text(child, Widened(kTitle).c_str(), name);
}

HRESULT ClockAccessible::get_accValue(VARIANT child, BSTR* value) {
    // Formatted when asked, so that a change of the user's format shows at once.
    return Text(child, UserShortTime(shown_).c_str(), value);
}

HRESULT ClockAccessible::get_accDescription(VARIANT child, BSTR* description) {
    return Text(child, nullptr, description);
}

HRESULT ClockAccessible::get_accRole(VARIANT child, VARIANT* role) {
    if (role == nullptr) {
        return E_POINTER;
    }
    VariantInit(role);
    if (const HRESULT checked = Check(child); FAILED(checked)) {
        return checked;
    }
    role->vt = VT_I4;
    role->lVal = ROLE_SYSTEM_CLOCK;
    return S_OK;
}

HRESULT ClockAccessible::get_accState(VARIANT child, VARIANT* state) {
    if (state == nullptr) {
        return E_POINTER;
    }
    VariantInit(state);
    if (const HRESULT checked = Check(child); FAILED(checked)) {
        return checked;
    }
    // Read only, never focusable: the clock is out of the tab order.
    state->vt = VT_I4;
    state->lVal = STATE_SYSTEM_READONLY | (IsWindowVisible(window_) ? 0 : STATE_SYSTEM_INVISIBLE);
    return S_OK;
}

HRESULT ClockAccessible::get_accHelp(VARIANT child, BSTR* help) {
    return Text(child, nullptr, help);
}

HRESULT ClockAccessible::get_accHelpTopic(BSTR* file, VARIANT child, LONG* topic) {
    if (topic != nullptr) {
        *topic = 0;
    }
    return Text(child, nullptr, file);
}

HRESULT ClockAccessible::get_accKeyboardShortcut(VARIANT child, BSTR* shortcut) {
    return Text(child, nullptr, shortcut);
}

HRESULT ClockAccessible::get_accFocus(VARIANT* focus) {
    if (focus == nullptr) {
        return E_POINTER;
    }
    VariantInit(focus); // VT_EMPTY: it never has the focus
    return window_ != nullptr ? S_FALSE : RPC_E_DISCONNECTED;
}

HRESULT ClockAccessible::get_accSelection(VARIANT* selection) {
    if (selection == nullptr) {
        return E_POINTER;
    }
    VariantInit(selection);
    return window_ != nullptr ? S_FALSE : RPC_E_DISCONNECTED;
}

HRESULT ClockAccessible::get_accDefaultAction(VARIANT child, BSTR* action) {
    return Text(child, nullptr, action);
}

HRESULT ClockAccessible::accSelect(LONG, VARIANT child) {
    const HRESULT checked = Check(child);
    return FAILED(checked) ? checked : DISP_E_MEMBERNOTFOUND;
}

HRESULT ClockAccessible::accLocation(LONG* left, LONG* top, LONG* width, LONG* height,
                                     VARIANT child) {
    if (left == nullptr || top == nullptr || width == nullptr || height == nullptr) {
        return E_POINTER;
    }
    *left = *top = *width = *height = 0;
    if (const HRESULT checked = Check(child); FAILED(checked)) {
        return checked;
    }
    RECT bounds{};
    if (!GetWindowRect(window_, &bounds)) {
        return E_FAIL;
    }
    *left = bounds.left;
    *top = bounds.top;
    *width = bounds.right - bounds.left;
    *height = bounds.bottom - bounds.top;
    return S_OK;
}

HRESULT ClockAccessible::accNavigate(LONG, VARIANT start, VARIANT* end) {
    if (end == nullptr) {
        return E_POINTER;
    }
    VariantInit(end);
    const HRESULT checked = Check(start);
    return FAILED(checked) ? checked : S_FALSE; // nothing to go to inside it
}

HRESULT ClockAccessible::accHitTest(LONG x, LONG y, VARIANT* child) {
    if (child == nullptr) {
        return E_POINTER;
    }
    VariantInit(child);
    if (window_ == nullptr) {
        return RPC_E_DISCONNECTED;
    }
    RECT bounds{};
    GetWindowRect(window_, &bounds);
    if (!PtInRect(&bounds, POINT{x, y})) {
        return S_FALSE;
    }
    child->vt = VT_I4;
    child->lVal = CHILDID_SELF;
    return S_OK;
}

HRESULT ClockAccessible::accDoDefaultAction(VARIANT child) {
    const HRESULT checked = Check(child);
    return FAILED(checked) ? checked : DISP_E_MEMBERNOTFOUND;
}

HRESULT ClockAccessible::put_accName(VARIANT, BSTR) {
    return E_NOTIMPL;
}

HRESULT ClockAccessible::put_accValue(VARIANT, BSTR) {
    return E_NOTIMPL;
}

} // namespace lumivane::windows
