// What the content check costs the player: registering a file and drawing its row, with
// the check (which runs after the row is drawn) and without it; the check itself; and the
// check before applying of 26 slots of 10 MB files (warm cache). The real window, real
// files in a folder of the benchmark's. Prints a Markdown section for bench/results.md.
//   check_bench --runs N
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "BenchSystem.h"
#include "Clock.h"
#include "mainform/MainForm.h"
#include "platform/win32/NativeForm.h"
#include "platform/win32/Win32System.h"
#include "platform/win32/Wide.h"

namespace {

constexpr int kSlots = 26;
constexpr std::size_t kSize = 10u << 20;

// 10 MB of MPEG-1 Layer III frames (128 kbit/s, 44.1 kHz), or of 16-bit PCM in a WAVE.
std::string Music(int seed, bool wave) {
    std::string out;
    if (wave) {
        auto le = [](std::uint32_t v, int n) {
            std::string s;
            for (int i = 0; i < n; ++i) s += static_cast<char>((v >> (8 * i)) & 0xFF);
            return s;
        };
        const std::uint32_t data = static_cast<std::uint32_t>(kSize);
        out = "RIFF" + le(36 + data, 4) + "WAVEfmt " + le(16, 4) + le(1, 2) + le(2, 2) +
              le(44100, 4) + le(176400, 4) + le(4, 2) + le(16, 2) + "data" + le(data, 4);
        out.resize(out.size() + kSize, static_cast<char>(seed));
        return out;
    }
    std::string frame =
        std::string("\xFF\xFB\x90\x00", 4) + std::string(413, static_cast<char>(seed));
    while (out.size() + frame.size() <= kSize) out += frame;
    return out;
}

void Pump() {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    int runs = argc > 2 && std::wstring(argv[1]) == L"--runs" ? _wtoi(argv[2]) : 9;
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    const std::wstring root = std::wstring(temp) + L"qx-check-bench";
    for (const wchar_t* sub : {L"", L"\\exe", L"\\music"})
        CreateDirectoryW((root + sub).c_str(), nullptr);
    std::string names;
    for (int i = 0; i < kSlots - 1; ++i) names += std::to_string(10 + i) + ".mp3=#";
    names += "Msg_NewMsg.wav=#";
    Write(root + L"\\exe\\Pellamor.lst",
          "[mp3]\r\nnametips=" + names + "\r\nmask=*.mp3;*.wav\r\nnumber=26\r\n");
    for (int i = 0; i < kSlots; ++i) {
        const bool wave = i == kSlots - 1;
        Write(root + L"\\music\\" + std::to_wstring(10 + i) + (wave ? L".wav" : L".mp3"),
              Music(i + 1, wave));
    }
    SetCurrentDirectoryW((root + L"\\music").c_str());

    BenchSystem system;
    system.exe = win32::A(root) + "\\exe\\";
    ui::Application app(system);
    app.title = "QUAVERIX";
    TFormMain form(app);
    win32::NativeForm window(app, form, system);
    window.Create();
    form.Create();
    window.Show();
    Pump();
    HWND grid = window.HandleOf(form.ValListMp3);
    auto checkHandler = form.ValListMp3.OnValueChange;

    // One registration: the file list's click puts file i into the current row (row 1),
    // then the row is drawn. The check, when bound, is posted to run after that.
    std::vector<double> base, with, check;
    auto registerAndDraw = [&](int file) {
        double t = Now();
        form.FilList.UserSelect(file);
        UpdateWindow(grid);
        return Now() - t;
    };
    for (int r = 0; r < runs; ++r) {
        for (int i = 0; i < kSlots - 1; ++i) {
            // Taking turns, each way first in every other round.
            for (int way = 0; way < 2; ++way) {
                const bool checked = (way + r + i) % 2 == 1;
                form.ValListMp3.OnValueChange = checked ? checkHandler : nullptr;
                double ms = registerAndDraw((i + way) % (kSlots - 1));
                (checked ? with : base).push_back(ms);
                double t = Now();
                Pump();  // the posted check when bound, and what is left to draw
                if (checked) check.push_back(Now() - t);
            }
        }
    }
    // Before applying: every assigned slot checked again.
    for (int i = 0; i < kSlots; ++i) {
        form.ValListMp3.SetLine(i, form.ValListMp3.Name(i) + "=" + win32::A(root) + "\\music\\" +
                                       std::to_string(10 + i) +
                                       (i == kSlots - 1 ? ".wav" : ".mp3"));
    }
    form.ConfirmPlayable();  // the files in the cache
    std::vector<double> apply;
    for (int r = 0; r < runs; ++r) {
        double t = Now();
        form.ConfirmPlayable();
        apply.push_back(Now() - t);
    }
    std::printf("## The content check\n\n");
    std::printf(
        "Registering a music file by a click on the file list and drawing its row, %d "
        "registrations each way; the check runs after the row is drawn. The check "
        "before \"Bat作成\" and \"コピー開始\" of %d slots of 10 MB files (%d runs, warm "
        "cache). Medians, ms.\n\n",
        runs * (kSlots - 1), kSlots, runs);
    const double b = Median(base), w = Median(with);
    std::printf("| what | ms |\n|---|---:|\n");
    std::printf("| register and draw, without the check | %.3f |\n", b);
    std::printf("| register and draw, with the check | %.3f (%+.1f%%; target within 5%%: %s) |\n",
                w, (w - b) / b * 100, w <= b * 1.05 ? "met" : "MISSED");
    std::printf("| the check after it (read, judge, redraw) | %.3f |\n", Median(check));
    const double a = Median(apply);
    std::printf("| the check before applying, %d slots | %.2f (target under 20: %s) |\n", kSlots, a,
                a < 20 ? "met" : "MISSED");
    std::printf("\nBoxes asked: %d (every file fits: none expected).\n", system.boxes);
    for (int i = 0; i < kSlots; ++i)
        DeleteFileW(
            (root + L"\\music\\" + std::to_wstring(10 + i) + (i == kSlots - 1 ? L".wav" : L".mp3"))
                .c_str());
    return 0;
}
