#include "support/RealForm.h"

#include "platform/text/Cp932.h"

#include <commctrl.h>

#include <algorithm>

#include "platform/win32/Wide.h"

namespace wintest {

std::string Cp(const std::u16string& name) { return text::FromUtf16(name); }

std::vector<std::string> Cp(const std::vector<std::u16string>& names) {
    std::vector<std::string> out;
    for (const auto& n : names) out.push_back(Cp(n));
    return out;
}

std::wstring Wide(const std::string& cp932) { return win32::W(cp932); }

TempFolder::TempFolder(const std::string& hint) {
    wchar_t base[MAX_PATH + 1];
    GetTempPathW(MAX_PATH + 1, base);
    static int counter = 0;
    for (;;) {
        std::wstring p = std::wstring(base) + win32::W(hint) + L"-" +
                         std::to_wstring(GetCurrentProcessId()) + L"-" + std::to_wstring(++counter);
        if (CreateDirectoryW(p.c_str(), nullptr)) {
            path_ = win32::A(p);
            break;
        }
    }
}

TempFolder::~TempFolder() { RemoveTree(path_); }

bool WriteBytes(const std::string& path, const std::string& data) {
    return WriteBytes(Wide(path), data);
}

bool WriteBytes(const std::wstring& path, const std::string& data) {
    HANDLE h = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    DWORD written = 0;
    BOOL ok = WriteFile(h, data.data(), static_cast<DWORD>(data.size()), &written, nullptr);
    CloseHandle(h);
    return ok && written == data.size();
}

std::string ReadBytes(const std::string& path) { return ReadBytes(Wide(path)); }

std::string ReadBytes(const std::wstring& path) {
    HANDLE h = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                           OPEN_EXISTING, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE) return std::string();
    std::string out;
    char buffer[65536];
    DWORD got = 0;
    while (ReadFile(h, buffer, sizeof buffer, &got, nullptr) && got > 0) out.append(buffer, got);
    CloseHandle(h);
    return out;
}

bool Exists(const std::string& path) {
    return GetFileAttributesW(Wide(path).c_str()) != INVALID_FILE_ATTRIBUTES;
}

void MakeFolder(const std::string& path) { CreateDirectoryW(Wide(path).c_str(), nullptr); }

void RemoveTree(const std::string& path) {
    std::wstring w = Wide(path);
    WIN32_FIND_DATAW d;
    HANDLE h = FindFirstFileW((w + L"\\*").c_str(), &d);
    if (h != INVALID_HANDLE_VALUE) {
        do {
            std::wstring n = d.cFileName;
            if (n == L"." || n == L"..") continue;
            std::wstring full = w + L"\\" + n;
            SetFileAttributesW(full.c_str(), FILE_ATTRIBUTE_NORMAL);
            if (d.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                RemoveTree(win32::A(full));
            } else {
                DeleteFileW(full.c_str());
            }
        } while (FindNextFileW(h, &d));
        FindClose(h);
    }
    SetFileAttributesW(w.c_str(), FILE_ATTRIBUTE_NORMAL);
    RemoveDirectoryW(w.c_str());
}

sys::BoxResult TestSystem::ShowBox(sys::BoxKind kind, const std::string& caption,
                                   const std::string& text) {
    boxes.push_back({kind, caption, text, owner && IsWindowVisible(owner)});
    if (onBox) onBox(boxes.back());
    if (realBoxes) return Win32System::ShowBox(kind, caption, text);
    if (boxDelay) Sleep(boxDelay);
    if (boxAnswers.empty()) return sys::BoxResult::Ok;
    sys::BoxResult r = boxAnswers.front();
    boxAnswers.pop_front();
    return r;
}

bool TestSystem::SaveFileDialog(const sys::SaveFileRequest& request, std::string& path) {
    if (realBoxes) return Win32System::SaveFileDialog(request, path);
    if (saveAnswers.empty()) return false;
    std::optional<std::string> a = saveAnswers.front();
    saveAnswers.pop_front();
    if (!a) return false;
    path = *a;
    return true;
}

bool TestSystem::OpenFileDialog(const sys::OpenFileRequest& request, std::string& path) {
    if (realBoxes) return Win32System::OpenFileDialog(request, path);
    if (openAnswers.empty()) return false;
    std::optional<std::string> a = openAnswers.front();
    openAnswers.pop_front();
    if (!a) return false;
    path = *a;
    return true;
}

RealForm::RealForm(const std::string& exeFolder, const std::string& start) {
    system.exeFolder = exeFolder;
    if (!start.empty()) SetCurrentDirectoryW(Wide(start).c_str());
    app.title = "QUAVERIX";
    form = std::make_unique<TFormMain>(app);
    window = std::make_unique<win32::NativeForm>(app, *form, system);
    window->Create();
    form->Create();
    window->Show();
    Pump();
}

RealForm::~RealForm() {
    window.reset();
    form.reset();
    // Drop whatever the closed window left in the queue (WM_QUIT included).
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
    }
}

void RealForm::Pump() {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_QUIT) {
            quit_ = true;
            continue;
        }
        if (window->PreTranslate(msg)) continue;
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
}

void RealForm::ClickTab(int index) {
    HWND strip = H(form->TabControl1);
    RECT r{};
    SendMessageW(strip, TCM_GETITEMRECT, index, reinterpret_cast<LPARAM>(&r));
    LPARAM at = MAKELPARAM((r.left + r.right) / 2, (r.top + r.bottom) / 2);
    PostMessageW(strip, WM_LBUTTONDOWN, MK_LBUTTON, at);
    PostMessageW(strip, WM_LBUTTONUP, 0, at);
    Pump();
}

void RealForm::MouseClick(HWND h, POINT at, const std::function<bool()>& done) {
    ClientToScreen(h, &at);
    SetForegroundWindow(Handle());
    SetCursorPos(at.x, at.y);
    INPUT in[2] = {};
    in[0].type = in[1].type = INPUT_MOUSE;
    in[0].mi.dwFlags = MOUSEEVENTF_LEFTDOWN;
    in[1].mi.dwFlags = MOUSEEVENTF_LEFTUP;
    SendInput(2, in, sizeof(INPUT));
    DWORD start = GetTickCount();
    do {
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
        Pump();
    } while (!done() && GetTickCount() - start < 5000);
}

std::string Mp3Bytes(const std::string& tag) {
    const std::string unit = std::string("\x1A\r\n\x83\x5C", 5) + tag + std::string(3, '\0');
    std::string body;
    while (body.size() < 413) body += unit;
    std::string out;
    for (int frame = 0; frame < 6; ++frame)
        out += std::string("\xFF\xFB\x90\x00", 4) + body.substr(0, 413);
    return out;
}

std::string WaveBytes(const std::string& tag) {
    std::string data;
    while (data.size() < 1600) data += tag;  // 0.1 s
    data.resize(1600);
    auto le = [](std::uint32_t v, int n) {
        std::string out;
        for (int i = 0; i < n; ++i) out += static_cast<char>((v >> (8 * i)) & 0xFF);
        return out;
    };
    return "RIFF" + le(36 + 1600, 4) + "WAVEfmt " + le(16, 4) + le(1, 2) + le(1, 2) + le(8000, 4) +
           le(16000, 4) + le(2, 2) + le(16, 2) + "data" + le(1600, 4) + data;
}

std::wstring TestSystem::ProgramPath() {
    return program.empty() ? HelperPath(L"..\\QUAVERIX.exe") : program;
}

std::wstring UnixPath(const std::string& path) {
    using UnixNameFn = char*(CDECL*)(LPCWSTR);
    static const auto unixName = reinterpret_cast<UnixNameFn>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name")));
    char* name = unixName ? unixName(Wide(path).c_str()) : nullptr;
    if (!name) return std::wstring();
    // The Unix name is UTF-8.
    int n = MultiByteToWideChar(CP_UTF8, 0, name, -1, nullptr, 0);
    std::wstring out(static_cast<std::size_t>(n > 0 ? n : 1), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, name, -1, out.data(), n);
    out.resize(out.size() - 1);
    HeapFree(GetProcessHeap(), 0, name);
    return out;
}

bool RunLinux(const std::wstring& command) {
    // Wine starts a Unix program but cannot wait for it: the shell says it is done by
    // making a file outside the test's folders.
    const std::string marker = "/tmp/quaverix-done-" + std::to_string(GetCurrentProcessId());
    std::string markerWin = "Z:" + marker;
    std::replace(markerWin.begin(), markerWin.end(), '/', '\\');
    DeleteFileW(Wide(markerWin).c_str());
    // Wine gives no process or thread handle for a Unix program (what it leaves in the
    // record is not a handle of this process, and closing it may close one that is, such
    // as the standard output): the marker alone tells, and nothing is closed.
    std::wstring line = L"Z:\\bin\\sh -c \"" + command + L" && touch " + Wide(marker) + L"\"";
    STARTUPINFOW si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi);
    for (int i = 0;
         i < 600 && GetFileAttributesW(Wide(markerWin).c_str()) == INVALID_FILE_ATTRIBUTES; ++i) {
        Sleep(25);
    }
    return DeleteFileW(Wide(markerWin).c_str()) != 0;
}

bool SetImmutable(const std::string& folder, bool on) {
    const std::wstring unix = UnixPath(folder);
    return !unix.empty() &&
           RunLinux(L"chattr " + std::wstring(on ? L"+i" : L"-i") + L" '" + unix + L"'");
}

std::wstring HelperPath(const wchar_t* name) {
    wchar_t self[MAX_PATH * 2];
    DWORD n = GetModuleFileNameW(nullptr, self, MAX_PATH * 2);
    std::wstring p(self, n);
    return p.substr(0, p.find_last_of(L'\\') + 1) + name;
}

HANDLE StartProcess(std::wstring command, const std::string& folder) {
    STARTUPINFOW si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    const std::wstring in = Wide(folder);
    if (!CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr,
                        folder.empty() ? nullptr : in.c_str(), &si, &pi)) {
        return nullptr;
    }
    CloseHandle(pi.hThread);
    return pi.hProcess;
}

DWORD RunBatch(const std::string& bat, const std::string& folder, const std::string& log) {
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    HANDLE out = CreateFileW(Wide(log).c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                             &inherit, CREATE_ALWAYS, 0, nullptr);
    HANDLE in = CreateFileW(L"NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                            OPEN_EXISTING, 0, nullptr);
    STARTUPINFOW si{};
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdInput = in;
    si.hStdOutput = si.hStdError = out;
    PROCESS_INFORMATION pi{};
    std::wstring command = L"cmd.exe /c \"" + Wide(bat) + L"\"";
    DWORD code = 0xFFFFFFFF;
    if (CreateProcessW(nullptr, command.data(), nullptr, nullptr, TRUE, CREATE_NO_WINDOW, nullptr,
                       Wide(folder).c_str(), &si, &pi)) {
        if (WaitForSingleObject(pi.hProcess, 60000) != WAIT_OBJECT_0)
            TerminateProcess(pi.hProcess, 1);
        GetExitCodeProcess(pi.hProcess, &code);
        CloseHandle(pi.hThread);
        CloseHandle(pi.hProcess);
    }
    CloseHandle(out);
    CloseHandle(in);
    return code;
}

bool RunServing(RealForm& f, std::wstring command) {
    HANDLE process = StartProcess(std::move(command));
    if (!process) return false;
    DWORD start = GetTickCount();
    while (MsgWaitForMultipleObjects(1, &process, FALSE, 1000, QS_ALLINPUT) != WAIT_OBJECT_0 &&
           GetTickCount() - start < 30000) {
        f.Pump();
    }
    CloseHandle(process);
    return true;
}

void RealForm::Key(WORD vk, bool alt, bool ctrl, bool shift) {
    // The key state the window reads, then the key message itself through the loop.
    BYTE state[256];
    GetKeyboardState(state);
    BYTE saved[256];
    memcpy(saved, state, sizeof state);
    state[VK_MENU] = alt ? 0x80 : 0;
    state[VK_CONTROL] = ctrl ? 0x80 : 0;
    state[VK_SHIFT] = shift ? 0x80 : 0;
    SetKeyboardState(state);
    HWND focus = GetFocus();
    if (!focus) focus = Handle();
    UINT down = alt ? WM_SYSKEYDOWN : WM_KEYDOWN;
    UINT up = alt ? WM_SYSKEYUP : WM_KEYUP;
    LPARAM lp = 1 | (static_cast<LPARAM>(MapVirtualKeyW(vk, 0)) << 16) | (alt ? (1 << 29) : 0);
    PostMessageW(focus, down, vk, lp);
    PostMessageW(focus, up, vk, lp | (1u << 30) | (1u << 31));
    Pump();
    SetKeyboardState(saved);
}

}  // namespace wintest
