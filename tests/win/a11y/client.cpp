// TorvaneA11yClient WINDOW [NAME]: reads the client area of WINDOW (a hexadecimal handle) as a
// screen reader does, printing one line per child: name, role text, state bits, value. With a
// NAME, also runs the default action of the child of that name.

#include <oleacc.h>
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

// The import library's IID_IAccessible is not found under Wine: defined here.
constexpr IID iid_accessible = {
    0x618736E0, 0x3C3D, 0x11CF, {0x81, 0x0C, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71}};

std::string utf8(const wchar_t* text) {
    if (!text) return {};
    const int size = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<size_t>(size > 0 ? size - 1 : 0), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text, -1, out.data(), size, nullptr, nullptr);
    return out;
}

std::string read(IAccessible* object, VARIANT child,
                 HRESULT (STDMETHODCALLTYPE IAccessible::*get)(VARIANT, BSTR*)) {
    BSTR text = nullptr;
    std::string out;
    if ((object->*get)(child, &text) == S_OK) out = utf8(text);
    SysFreeString(text);
    return out;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) return 2;
    const auto window = reinterpret_cast<HWND>(std::strtoull(argv[1], nullptr, 16));
    const std::string wanted = argc > 2 ? argv[2] : "";
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    IAccessible* client = nullptr;
    if (FAILED(AccessibleObjectFromWindow(window, static_cast<DWORD>(OBJID_CLIENT), iid_accessible,
                                          reinterpret_cast<void**>(&client))))
        return 3;
    long count = 0;
    client->get_accChildCount(&count);
    long target = 0;
    for (long i = 1; i <= count; ++i) {
        VARIANT child{};
        child.vt = VT_I4;
        child.lVal = i;
        VARIANT role{}, state{};
        client->get_accRole(child, &role);
        client->get_accState(child, &state);
        wchar_t role_text[64] = {};
        GetRoleTextW(static_cast<DWORD>(role.lVal), role_text, 64);
        const std::string name = read(client, child, &IAccessible::get_accName);
        std::printf("%s\t%s\t%lx\t%s\n", name.c_str(), utf8(role_text).c_str(),
                    static_cast<unsigned long>(state.lVal),
                    read(client, child, &IAccessible::get_accValue).c_str());
        if (!target && !wanted.empty() && name == wanted) target = i;
    }
    int result = wanted.empty() ? 0 : 4;
    if (target) {
        VARIANT child{};
        child.vt = VT_I4;
        child.lVal = target;
        result = client->accDoDefaultAction(child) == S_OK ? 0 : 5;
    }
    client->Release();
    CoUninitialize();
    return result;
}
