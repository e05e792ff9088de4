// Another program looking at QUAVERIX's window, as a screen reader or an automation tool
// would: it reads a list box's or combo box's item texts, or sets a window's text.
//   list_peek lb <hwnd> <out>      each item by LB_GETTEXTLEN / LB_GETTEXT
//   list_peek cb <hwnd> <out>      each item by CB_GETLBTEXTLEN / CB_GETLBTEXT
//   list_peek settext <hwnd> <text> <out>
// The answers go to <out> as UTF-8 lines, the length first: "<len>\t<text>".
#include <windows.h>
#include <shellapi.h>

#include <cstdlib>
#include <string>

#include "HelperText.h"

int main() {
    int argc = 0;
    wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    if (!argv || argc < 4) return 2;
    std::wstring mode = argv[1];
    HWND target = reinterpret_cast<HWND>(static_cast<INT_PTR>(std::wcstoll(argv[2], nullptr, 10)));
    std::string out;
    if (mode == L"lb" || mode == L"cb") {
        bool lb = mode == L"lb";
        LRESULT count = SendMessageW(target, lb ? LB_GETCOUNT : CB_GETCOUNT, 0, 0);
        for (LRESULT i = 0; i < count; ++i) {
            LRESULT len = SendMessageW(target, lb ? LB_GETTEXTLEN : CB_GETLBTEXTLEN, i, 0);
            std::wstring text(static_cast<std::size_t>(len > 0 ? len : 0) + 1, L'\0');
            LRESULT got = SendMessageW(target, lb ? LB_GETTEXT : CB_GETLBTEXT, i,
                                       reinterpret_cast<LPARAM>(text.data()));
            text.resize(static_cast<std::size_t>(got > 0 ? got : 0));
            out += std::to_string(len) + "\t" + helper::Utf8(text) + "\n";
        }
    } else if (mode == L"settext" && argc >= 5) {
        LRESULT r = SendMessageW(target, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(argv[3]));
        out = std::to_string(r) + "\n";
    } else {
        return 2;
    }
    const wchar_t* file = argv[argc - 1];
    bool ok = helper::WriteOut(file, out);
    LocalFree(argv);
    return ok ? 0 : 3;
}
