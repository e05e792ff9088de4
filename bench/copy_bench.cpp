// What keeping the game's files adds to "コピー開始": a 20-slot copy run of 4 MB music
// files, on real files in a folder of its own, with keeping off and on (first run, which
// saves the 20 originals; applying again, which only compares; applying other music).
// Prints a Markdown section for bench/results.md.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "BenchSystem.h"
#include "Clock.h"
#include "mainform/MainForm.h"
#include "platform/win32/Win32System.h"
#include "platform/win32/Wide.h"

namespace {

constexpr int kSlots = 20;
constexpr std::size_t kSize = 4 << 20;

void RemoveTree(const std::wstring& folder) {
    WIN32_FIND_DATAW d;
    HANDLE h = FindFirstFileW((folder + L"\\*").c_str(), &d);
    if (h != INVALID_HANDLE_VALUE) {
        do {
            std::wstring n = d.cFileName;
            if (n != L"." && n != L"..") DeleteFileW((folder + L"\\" + n).c_str());
        } while (FindNextFileW(h, &d));
        FindClose(h);
    }
    RemoveDirectoryW(folder.c_str());
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    int runs = argc > 2 && std::wstring(argv[1]) == L"--runs" ? _wtoi(argv[2]) : 5;
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    const std::wstring root = std::wstring(temp) + L"qx-copy-bench";
    for (const wchar_t* sub : {L"", L"\\exe", L"\\bgm", L"\\a", L"\\b"})
        CreateDirectoryW((root + sub).c_str(), nullptr);
    std::string names;
    for (int i = 0; i < kSlots; ++i) names += std::to_string(10 + i) + ".mp3=#";
    Write(root + L"\\exe\\Pellamor.lst", "[mp3]\r\nnametips=" + names + "\r\nnumber=20\r\n");
    std::vector<std::string> game;
    for (int i = 0; i < kSlots; ++i) {
        game.push_back(Bytes(i, kSize));
        Write(root + L"\\a\\" + std::to_wstring(i) + L".mp3", Bytes(100 + i, kSize));
        Write(root + L"\\b\\" + std::to_wstring(i) + L".mp3", Bytes(200 + i, kSize));
    }

    BenchSystem system;
    system.exe = win32::A(root) + "\\exe\\";
    ui::Application app(system);
    app.title = "QUAVERIX";
    TFormMain form(app);
    form.Create();
    form.MemoCopysaki.SetText(win32::A(root) + "\\bgm");
    auto run = [&](const char* from) {
        for (int i = 0; i < kSlots; ++i) {
            form.ValListMp3.SetLine(i, std::to_string(10 + i) + ".mp3=" + win32::A(root) + "\\" +
                                           from + "\\" + std::to_string(i) + ".mp3");
        }
        double t = Now();
        form.BtnCopyGo.UserClick();
        return Now() - t;
    };
    auto fresh = [&] {
        RemoveTree(root + L"\\exe\\originals");
        for (int i = 0; i < kSlots; ++i)
            Write(root + L"\\bgm\\" + std::to_wstring(10 + i) + L".mp3",
                  game[static_cast<std::size_t>(i)]);
    };
    std::vector<double> off, first, again, other;
    for (int r = 0; r < runs; ++r) {
        fresh();
        form.Settings.KeepOriginals = false;
        off.push_back(run("a"));
        fresh();
        form.Settings.KeepOriginals = true;
        first.push_back(run("a"));
        again.push_back(run("a"));
        other.push_back(run("b"));
    }
    std::printf("## Direct copy and the kept originals\n\n");
    std::printf(
        "A copy run of %d slots, 4 MB music each, onto %d game files of 4 MB (boxes answered "
        "at once); %d runs, medians.\n\n",
        kSlots, kSlots, runs);
    std::printf("| run | ms | added by keeping |\n|---|---:|---:|\n");
    const double base = Median(off);
    std::printf("| keeping off | %.1f | |\n", base);
    std::printf("| keeping on, first run (saves %d originals) | %.1f | %+.1f |\n", kSlots,
                Median(first), Median(first) - base);
    std::printf("| keeping on, the same music again | %.1f | %+.1f |\n", Median(again),
                Median(again) - base);
    std::printf("| keeping on, other music | %.1f | %+.1f |\n", Median(other),
                Median(other) - base);
    RemoveTree(root + L"\\exe\\originals");
    for (const wchar_t* sub : {L"\\exe", L"\\bgm", L"\\a", L"\\b"}) RemoveTree(root + sub);
    RemoveDirectoryW(root.c_str());
    return 0;
}
