// Another program reading a whole window from outside, as screen readers, UI automation
// and test robots do: every child window's text, and each control kind's own read
// messages, with the buffers the messages point to placed in the window's process.
// Only reads; nothing is clicked or set.
//   window_reader <hwnd> <out> [nolists]       (hwnd 0: the window of class TFormMain)
// nolists leaves out the list items' reads (LB_GETTEXT, LVM_GETITEMTEXTW, CB_GETLBTEXT).
// <out> gets one UTF-8 line per child: "<class>\t<text>".
#include <windows.h>
#include <commctrl.h>
#include <shellapi.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "HelperText.h"

namespace {

// A block of memory in the target window's process, for messages whose pointers the
// system does not carry across processes.
class Remote {
public:
    Remote(HANDLE process, SIZE_T size) : process_(process) {
        base_ = static_cast<char*>(
            VirtualAllocEx(process, nullptr, size, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE));
    }
    ~Remote() {
        if (base_) VirtualFreeEx(process_, base_, 0, MEM_RELEASE);
    }
    Remote(const Remote&) = delete;
    Remote& operator=(const Remote&) = delete;
    char* At(SIZE_T offset) const { return base_ + offset; }
    bool Put(SIZE_T offset, const void* data, SIZE_T n) const {
        return WriteProcessMemory(process_, base_ + offset, data, n, nullptr) != 0;
    }
    bool Get(SIZE_T offset, void* data, SIZE_T n) const {
        return ReadProcessMemory(process_, base_ + offset, data, n, nullptr) != 0;
    }
    explicit operator bool() const { return base_ != nullptr; }

private:
    HANDLE process_;
    char* base_ = nullptr;
};

const SIZE_T kText = 4096;  // where the text buffer lies in the remote block
const int kChars = 1024;

LRESULT Send(HWND h, UINT msg, WPARAM wp, LPARAM lp) {
    DWORD_PTR result = 0;
    SendMessageTimeoutW(h, msg, wp, lp, SMTO_ABORTIFHUNG, 5000, &result);
    return static_cast<LRESULT>(result);
}

void ReadTab(HWND h, const Remote& r) {
    int n = static_cast<int>(Send(h, TCM_GETITEMCOUNT, 0, 0));
    Send(h, TCM_GETCURSEL, 0, 0);
    for (int i = 0; i < n; ++i) {
        TCITEMW item{};
        item.mask = TCIF_TEXT;
        item.pszText = reinterpret_cast<wchar_t*>(r.At(kText));
        item.cchTextMax = kChars;
        r.Put(0, &item, sizeof item);
        Send(h, TCM_GETITEMW, i, reinterpret_cast<LPARAM>(r.At(0)));
        Send(h, TCM_GETITEMRECT, i, reinterpret_cast<LPARAM>(r.At(0)));
    }
}

void ReadListView(HWND h, const Remote& r, bool items) {
    int n = static_cast<int>(Send(h, LVM_GETITEMCOUNT, 0, 0));
    for (int i = 0; items && i < n; ++i) {
        for (int sub = 0; sub < 2; ++sub) {
            LVITEMW item{};
            item.iSubItem = sub;
            item.pszText = reinterpret_cast<wchar_t*>(r.At(kText));
            item.cchTextMax = kChars;
            r.Put(0, &item, sizeof item);
            Send(h, LVM_GETITEMTEXTW, i, reinterpret_cast<LPARAM>(r.At(0)));
        }
    }
    HWND header = reinterpret_cast<HWND>(Send(h, LVM_GETHEADER, 0, 0));
    if (!header) return;
    int columns = static_cast<int>(Send(header, HDM_GETITEMCOUNT, 0, 0));
    for (int i = 0; i < columns; ++i) {
        HDITEMW item{};
        item.mask = HDI_TEXT | HDI_WIDTH;
        item.pszText = reinterpret_cast<wchar_t*>(r.At(kText));
        item.cchTextMax = kChars;
        r.Put(0, &item, sizeof item);
        Send(header, HDM_GETITEMW, i, reinterpret_cast<LPARAM>(r.At(0)));
    }
}

void ReadList(HWND h, const Remote& r, bool items) {
    int n = static_cast<int>(Send(h, LB_GETCOUNT, 0, 0));
    for (int i = 0; i < n; ++i) {
        if (items) {
            LRESULT len = Send(h, LB_GETTEXTLEN, i, 0);
            std::wstring text(static_cast<std::size_t>(len > 0 ? len : 0) + 1, L'\0');
            Send(h, LB_GETTEXT, i, reinterpret_cast<LPARAM>(text.data()));
        }
        Send(h, LB_GETITEMRECT, i, reinterpret_cast<LPARAM>(r.At(0)));
    }
}

void ReadCombo(HWND h, bool items) {
    int n = static_cast<int>(Send(h, CB_GETCOUNT, 0, 0));
    Send(h, CB_GETCURSEL, 0, 0);
    for (int i = 0; items && i < n; ++i) {
        LRESULT len = Send(h, CB_GETLBTEXTLEN, i, 0);
        std::wstring text(static_cast<std::size_t>(len > 0 ? len : 0) + 1, L'\0');
        Send(h, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(text.data()));
    }
}

void ReadTooltip(HWND h, const Remote& r) {
    int n = static_cast<int>(Send(h, TTM_GETTOOLCOUNT, 0, 0));
    for (int i = 0; i < n; ++i) {
        TOOLINFOW ti{};
        ti.cbSize = sizeof ti;
        ti.lpszText = reinterpret_cast<wchar_t*>(r.At(kText));
        r.Put(0, &ti, sizeof ti);
        if (!Send(h, TTM_ENUMTOOLSW, i, reinterpret_cast<LPARAM>(r.At(0)))) continue;
        r.Get(0, &ti, sizeof ti);
        ti.lpszText = reinterpret_cast<wchar_t*>(r.At(kText));
        r.Put(0, &ti, sizeof ti);
        Send(h, TTM_GETTEXTW, kChars, reinterpret_cast<LPARAM>(r.At(0)));
    }
}

struct Reading {
    Remote* remote;
    bool items;
    std::string out;
    HWND main = nullptr;
};

void ReadOne(HWND h, Reading& reading) {
    wchar_t cls[64] = {};
    GetClassNameW(h, cls, 64);
    LRESULT len = Send(h, WM_GETTEXTLENGTH, 0, 0);
    std::wstring text(static_cast<std::size_t>(len > 0 ? len : 0) + 1, L'\0');
    LRESULT got = Send(h, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()));
    text.resize(static_cast<std::size_t>(got > 0 ? got : 0));
    const Remote& r = *reading.remote;
    if (_wcsicmp(cls, L"Edit") == 0) {
        Send(h, EM_GETSEL, 0, 0);
        Send(h, EM_GETMODIFY, 0, 0);
        Send(h, EM_GETLINECOUNT, 0, 0);
    } else if (_wcsicmp(cls, WC_TABCONTROLW) == 0) {
        ReadTab(h, r);
    } else if (_wcsicmp(cls, WC_LISTVIEWW) == 0) {
        ReadListView(h, r, reading.items);
    } else if (_wcsicmp(cls, L"ListBox") == 0) {
        ReadList(h, r, reading.items);
    } else if (_wcsicmp(cls, L"ComboBox") == 0) {
        ReadCombo(h, reading.items);
    } else if (_wcsicmp(cls, TOOLTIPS_CLASSW) == 0) {
        ReadTooltip(h, r);
    }
    reading.out += helper::Utf8(cls) + "\t" + helper::Utf8(text) + "\n";
}

BOOL CALLBACK EachChild(HWND h, LPARAM lp) {
    ReadOne(h, *reinterpret_cast<Reading*>(lp));
    return TRUE;
}

// Every other top-level window of the program (its application window, the tooltips of
// the form and of the common controls) and its children are read too.
BOOL CALLBACK EachOwned(HWND h, LPARAM lp) {
    auto* reading = reinterpret_cast<Reading*>(lp);
    if (h == reading->main) return TRUE;
    ReadOne(h, *reading);
    EnumChildWindows(h, EachChild, lp);
    return TRUE;
}

}  // namespace

int main() {
    int argc = 0;
    wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    if (!argv || argc < 3) return 2;
    HWND target = reinterpret_cast<HWND>(static_cast<INT_PTR>(std::wcstoll(argv[1], nullptr, 10)));
    if (!target) target = FindWindowW(L"TFormMain", nullptr);
    DWORD pid = 0;
    GetWindowThreadProcessId(target, &pid);
    HANDLE process = OpenProcess(
        PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE | PROCESS_QUERY_INFORMATION,
        FALSE, pid);
    if (!process) return 4;
    Reading reading{nullptr, !(argc >= 4 && std::wstring(argv[3]) == L"nolists"), ""};
    {
        Remote remote(process, kText + kChars * sizeof(wchar_t) + 64);
        if (!remote) return 4;
        reading.remote = &remote;
        reading.main = target;
        ReadOne(target, reading);
        EnumChildWindows(target, EachChild, reinterpret_cast<LPARAM>(&reading));
        EnumThreadWindows(GetWindowThreadProcessId(target, nullptr), EachOwned,
                          reinterpret_cast<LPARAM>(&reading));
    }
    CloseHandle(process);
    bool ok = helper::WriteOut(argv[2], reading.out);
    LocalFree(argv);
    return ok ? 0 : 3;
}
