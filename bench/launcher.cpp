// Start-up timer: starts Windows programs in turn, waits until each shows its window
// and idles, reads its memory, closes it through WM_CLOSE and reports medians.
//
//   launcher [--runs N] [--warmup K] [--fresh FILE] [--timeout MS] LABEL=EXE [LABEL=EXE ...]
//
// Every program starts in its own folder (that of EXE). The programs take turns, N runs
// each; the first K runs of each are left out of the medians. --fresh FILE deletes FILE
// in the program's folder before each run, so every run is a first start.
//
// Output, one line each:
//   run    LABEL INDEX MS PRIVATE PEAK_PRIVATE PEAK_WS EXIT
//   median LABEL MS PRIVATE PEAK_PRIVATE PEAK_WS COUNT
// Memory in bytes, read once the window is up: PRIVATE is PrivateUsage, PEAK_PRIVATE
// PeakPagefileUsage (the peak private commit), PEAK_WS PeakWorkingSetSize. EXIT is the
// exit code, or "killed" / "nowindow" / "nostart".
#include <windows.h>

#include "Clock.h"
#include <psapi.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

struct Program {
    std::wstring label;
    std::wstring exe;
    std::wstring folder;
    std::vector<double> ms;
    std::vector<double> privateBytes, peakPrivate, peakWs;
};

struct Sample {
    bool ok = false;
    double ms = 0;
    PROCESS_MEMORY_COUNTERS_EX mem{};
    std::string exit;
};

struct Search {
    DWORD pid;
    HWND best;
    long long area;
};

// The process's largest visible top-level window. The area rule skips a zero-size
// owner window that some programs show before their main window.
BOOL CALLBACK Visit(HWND hwnd, LPARAM lp) {
    auto* s = reinterpret_cast<Search*>(lp);
    DWORD pid = 0;
    GetWindowThreadProcessId(hwnd, &pid);
    if (pid != s->pid || !IsWindowVisible(hwnd)) return TRUE;
    RECT r;
    if (!GetWindowRect(hwnd, &r)) return TRUE;
    long long area = static_cast<long long>(r.right - r.left) * (r.bottom - r.top);
    if (area > s->area) {
        s->area = area;
        s->best = hwnd;
    }
    return TRUE;
}

HWND ShownWindow(DWORD pid) {
    Search s{pid, nullptr, 0};
    EnumWindows(Visit, reinterpret_cast<LPARAM>(&s));
    return s.best;
}

Sample RunOnce(const Program& p, const std::wstring& fresh, DWORD timeout) {
    Sample out;
    if (!fresh.empty()) DeleteFileW((p.folder + L"\\" + fresh).c_str());

    std::wstring cmd = L"\"" + p.exe + L"\"";
    STARTUPINFOW si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    double t0 = Now();
    if (!CreateProcessW(p.exe.c_str(), cmd.data(), nullptr, nullptr, FALSE, 0, nullptr,
                        p.folder.c_str(), &si, &pi)) {
        out.exit = "nostart";
        return out;
    }
    WaitForInputIdle(pi.hProcess, timeout);
    HWND shown = nullptr;
    for (;;) {
        shown = ShownWindow(pi.dwProcessId);
        if (shown) break;
        if (WaitForSingleObject(pi.hProcess, 0) == WAIT_OBJECT_0) break;
        if (Now() - t0 > timeout) break;
        Sleep(1);
    }
    double t1 = Now();

    out.mem.cb = sizeof out.mem;
    GetProcessMemoryInfo(pi.hProcess, reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&out.mem),
                         sizeof out.mem);
    if (shown) PostMessageW(shown, WM_CLOSE, 0, 0);
    if (WaitForSingleObject(pi.hProcess, shown ? timeout : 0) != WAIT_OBJECT_0) {
        TerminateProcess(pi.hProcess, 255);
        WaitForSingleObject(pi.hProcess, INFINITE);
        out.exit = shown ? "killed" : "nowindow";
    } else {
        DWORD code = 0;
        GetExitCodeProcess(pi.hProcess, &code);
        out.exit = std::to_string(code);
        out.ok = shown != nullptr;
    }
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    out.ms = t1 - t0;
    return out;
}

std::string Narrow(const std::wstring& w) {
    std::string s;
    for (wchar_t c : w) s += c < 0x80 ? static_cast<char>(c) : '?';
    return s;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    int runs = 15, warmup = 1;
    DWORD timeout = 20000;
    std::wstring fresh;
    std::vector<Program> programs;
    for (int i = 1; i < argc; ++i) {
        std::wstring a = argv[i];
        auto value = [&]() -> std::wstring { return i + 1 < argc ? argv[++i] : L""; };
        if (a == L"--runs") {
            runs = _wtoi(value().c_str());
        } else if (a == L"--warmup") {
            warmup = _wtoi(value().c_str());
        } else if (a == L"--fresh") {
            fresh = value();
        } else if (a == L"--timeout") {
            timeout = static_cast<DWORD>(_wtoi(value().c_str()));
        } else {
            std::size_t eq = a.find(L'=');
            if (eq == std::wstring::npos) {
                std::fprintf(stderr, "launcher: expected LABEL=EXE, got %s\n", Narrow(a).c_str());
                return 2;
            }
            Program p;
            p.label = a.substr(0, eq);
            wchar_t full[MAX_PATH * 2];
            DWORD n = GetFullPathNameW(a.substr(eq + 1).c_str(), MAX_PATH * 2, full, nullptr);
            p.exe.assign(full, n);
            p.folder = p.exe.substr(0, p.exe.find_last_of(L'\\'));
            programs.push_back(std::move(p));
        }
    }
    if (programs.empty() || runs <= warmup) {
        std::fprintf(
            stderr,
            "usage: launcher [--runs N] [--warmup K] [--fresh FILE] [--timeout MS] LABEL=EXE...\n");
        return 2;
    }

    int failures = 0;
    for (int r = 0; r < runs; ++r) {
        for (Program& p : programs) {
            Sample s = RunOnce(p, fresh, timeout);
            std::printf("run %s %d %.2f %llu %llu %llu %s\n", Narrow(p.label).c_str(), r, s.ms,
                        static_cast<unsigned long long>(s.mem.PrivateUsage),
                        static_cast<unsigned long long>(s.mem.PeakPagefileUsage),
                        static_cast<unsigned long long>(s.mem.PeakWorkingSetSize), s.exit.c_str());
            std::fflush(stdout);
            if (!s.ok) {
                ++failures;
                continue;
            }
            if (r < warmup) continue;
            p.ms.push_back(s.ms);
            p.privateBytes.push_back(static_cast<double>(s.mem.PrivateUsage));
            p.peakPrivate.push_back(static_cast<double>(s.mem.PeakPagefileUsage));
            p.peakWs.push_back(static_cast<double>(s.mem.PeakWorkingSetSize));
        }
    }
    for (const Program& p : programs) {
        std::printf("median %s %.2f %.0f %.0f %.0f %zu\n", Narrow(p.label).c_str(), Median(p.ms),
                    Median(p.privateBytes), Median(p.peakPrivate), Median(p.peakWs), p.ms.size());
    }
    return failures ? 1 : 0;
}
