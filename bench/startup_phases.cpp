// QUAVERIX's own start-up, step by step: the same entry as the program, with a clock
// between the steps, around every call into the operating system, around every update a
// window of the program is sent or dispatched.
//
//   startup_phases OUTFILE [--messages] [--icons-first]
//
// Starts like QUAVERIX.exe (same code, same resources), waits until the first idle after
// the window is shown, closes the window the usual way and appends one line to OUTFILE:
//   premain=MS ctor=MS create=MS formcreate=MS show=MS idle=MS total=MS
//   sys.CALL=MS/COUNT ... msg.PHASE.WHO.MSG=MS/COUNT ...
// premain runs from the process's creation to the entry (loader, DLL start-up, C++ start-up);
// ctor .. idle are the steps of the entry. sys.* is the time inside each system call;
// gridfill the time the slot table's window takes to show one changed line (it is filled
// anew), measured after the first idle; with --messages, msg.* is the time a window procedure took for a message (WHO: the control the window
// belongs to, else its class), less the messages nested in it; a message fetched from the
// queue ends in "q". Each is already counted in the step that made it. With --icons-first,
// the shell's small system icons are fetched right after the windows are made, and icons=MS
// is the time of that first call (left out of the steps and the total).
#include <windows.h>

#include "Clock.h"
#include <shellapi.h>

#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>
#include <vector>

#include "mainform/MainForm.h"
#include "platform/ui/Application.h"
#include "platform/win32/NativeForm.h"
#include "platform/win32/Win32System.h"

namespace {

// Milliseconds from the process's creation until now.
double SinceCreation() {
    FILETIME created, exited, kernel, user, now;
    GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user);
    GetSystemTimePreciseAsFileTime(&now);
    ULARGE_INTEGER a{{created.dwLowDateTime, created.dwHighDateTime}};
    ULARGE_INTEGER b{{now.dwLowDateTime, now.dwHighDateTime}};
    return static_cast<double>(b.QuadPart - a.QuadPart) / 10000.0;
}

struct Tally {
    double ms = 0;
    int count = 0;
};
std::map<std::string, Tally> g_tally;

// Exclusive timing of nested spans: a span's time less that of the spans inside it.
struct Span {
    std::string key;
    double start;
    double nested;
};
std::vector<Span> g_spans;

void Enter(std::string key) { g_spans.push_back({std::move(key), Now(), 0}); }

void Leave() {
    if (g_spans.empty()) return;
    Span s = std::move(g_spans.back());
    g_spans.pop_back();
    double inclusive = Now() - s.start;
    Tally& t = g_tally[s.key];
    t.ms += inclusive - s.nested;
    ++t.count;
    if (!g_spans.empty()) g_spans.back().nested += inclusive;
}

// The real system, with a stopwatch around every call.
class TimedSystem : public win32::Win32System {
public:
    template <class F>
    auto Time(const char* name, F&& f) {
        struct Stop {
            ~Stop() { Leave(); }
        } stop;
        Enter(std::string("sys.") + name);
        return f();
    }

    std::string ExeFolder() override {
        return Time("ExeFolder", [&] { return Win32System::ExeFolder(); });
    }
    std::string CurrentFolder() override {
        return Time("CurrentFolder", [&] { return Win32System::CurrentFolder(); });
    }
    bool ReadFile(const std::string& path, std::string& data, sys::FileError* why) override {
        return Time("ReadFile", [&] { return Win32System::ReadFile(path, data, why); });
    }
    bool SaveFileAtomic(const std::string& path, const std::string& data,
                        sys::FileError* why) override {
        return Time("SaveFileAtomic", [&] { return Win32System::SaveFileAtomic(path, data, why); });
    }
    std::uint32_t Attributes(const std::string& path) override {
        return Time("Attributes", [&] { return Win32System::Attributes(path); });
    }
    sys::FolderListing ListFolder(const std::string& folder) override {
        return Time("ListFolder", [&] { return Win32System::ListFolder(folder); });
    }
    std::vector<sys::DriveInfo> Drives() override {
        return Time("Drives", [&] { return Win32System::Drives(); });
    }
    sys::DriveFolder ResolveDrive(char letter) override {
        return Time("ResolveDrive", [&] { return Win32System::ResolveDrive(letter); });
    }
    // Whether user.ini and originals stay beside the exe: one probe file, gone at once.
    bool CanCreateIn(const std::string& folder) override {
        return Time("CanCreateIn", [&] { return Win32System::CanCreateIn(folder); });
    }
};

win32::NativeForm* g_window = nullptr;
const char* g_phase = "create";

// "msg.PHASE.WHO.MSG": WHO is the control the window belongs to, else its class.
std::string MessageKey(HWND hwnd, UINT msg) {
    std::string key = std::string("msg.") + g_phase + ".";
    ui::Control* control = g_window && hwnd ? g_window->ControlOf(hwnd) : nullptr;
    if (g_window && hwnd == g_window->Handle()) {
        key += "FormMain";
    } else if (control) {
        key += control->Name();
    } else {
        wchar_t cls[64] = L"?";
        GetClassNameW(hwnd, cls, 64);
        for (const wchar_t* p = cls; *p; ++p)
            key += *p < 0x80 && *p != ' ' ? static_cast<char>(*p) : '_';
    }
    char number[16];
    std::snprintf(number, sizeof number, ".%04X", msg);
    return key + number;
}

LRESULT CALLBACK BeforeProc(int code, WPARAM wp, LPARAM lp) {
    if (code == HC_ACTION) {
        auto* m = reinterpret_cast<CWPSTRUCT*>(lp);
        Enter(MessageKey(m->hwnd, m->message));
    }
    return CallNextHookEx(nullptr, code, wp, lp);
}

LRESULT CALLBACK AfterProc(int code, WPARAM wp, LPARAM lp) {
    if (code == HC_ACTION) Leave();
    return CallNextHookEx(nullptr, code, wp, lp);
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    double premain = SinceCreation();
    double t0 = Now();
    double icons = 0;
    int argc = 0;
    wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    bool messages = false, iconsFirst = false;
    for (int i = 2; i < argc; ++i) {
        messages = messages || std::wstring(argv[i]) == L"--messages";
        iconsFirst = iconsFirst || std::wstring(argv[i]) == L"--icons-first";
    }
    // The hooks cost time of their own: the step times of such a run are not the real ones.
    DWORD thread = GetCurrentThreadId();
    HHOOK before =
        messages ? SetWindowsHookExW(WH_CALLWNDPROC, BeforeProc, nullptr, thread) : nullptr;
    HHOOK after =
        messages ? SetWindowsHookExW(WH_CALLWNDPROCRET, AfterProc, nullptr, thread) : nullptr;

    TimedSystem system;
    ui::Application application(system);
    application.title = "QUAVERIX";
    g_phase = "ctor";
    TFormMain form(application);
    double t1 = Now();

    g_phase = "create";
    win32::NativeForm window(application, form, system);
    g_window = &window;
    if (!window.Create()) return 1;
    double t2 = Now();
    if (iconsFirst) {
        // The same request the folder list and the drive picker make for their icons, once
        // the windows exist (so it does not also pay for the display's first use).
        SHFILEINFOW info{};
        SHGetFileInfoW(L"C:\\", 0, &info, sizeof info,
                       SHGFI_SYSICONINDEX | SHGFI_SMALLICON | SHGFI_USEFILEATTRIBUTES);
        icons = Now() - t2;
        t2 = Now();
    }
    g_phase = "formcreate";
    form.Create();
    double t3 = Now();
    g_phase = "show";
    window.Show();
    double t4 = Now();

    // Up to the first idle: what the launcher's WaitForInputIdle waits for.
    g_phase = "idle";
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (window.PreTranslate(msg)) continue;
        TranslateMessage(&msg);
        Enter(MessageKey(msg.hwnd, msg.message) + "q");
        DispatchMessageW(&msg);
        Leave();
    }
    double t5 = Now();
    if (before) UnhookWindowsHookEx(before);
    if (after) UnhookWindowsHookEx(after);

    // One line of the slot table set again (to the same text): the whole table is refilled.
    double gridfill = 0;
    int rows = form.ValListMp3.Count();
    if (rows > 0) {
        constexpr int kTimes = 5;
        double g0 = Now();
        for (int i = 0; i < kTimes; ++i) form.ValListMp3.SetLine(0, form.ValListMp3.Line(0));
        gridfill = (Now() - g0) / kTimes;
    }

    if (argc > 1) {
        FILE* out = _wfopen(argv[1], L"a");
        if (out) {
            std::fprintf(
                out,
                "premain=%.2f ctor=%.2f create=%.2f formcreate=%.2f show=%.2f idle=%.2f total=%.2f",
                premain, t1 - t0, t2 - t1, t3 - t2, t4 - t3, t5 - t4, premain + t5 - t0 - icons);
            std::fprintf(out, " gridfill=%.3f rows=%d", gridfill, rows);
            if (iconsFirst) std::fprintf(out, " icons=%.2f", icons);
            for (const auto& [name, tally] : g_tally) {
                std::fprintf(out, " %s=%.3f/%d", name.c_str(), tally.ms, tally.count);
            }
            std::fprintf(out, "\n");
            std::fclose(out);
        }
    }
    LocalFree(argv);

    PostMessageW(window.Handle(), WM_CLOSE, 0, 0);
    int code = window.Run();
    g_window = nullptr;
    return code;
}

// As in the program: no verbose terminate handler.
namespace __gnu_cxx {
void __verbose_terminate_handler() { std::abort(); }
}  // namespace __gnu_cxx
