// Start-up with a record of what was applied: makes the two folders bench/run.sh times
// QUAVERIX.exe in (taking turns, with the launcher), and times the start's check itself.
//
//   reapply_bench ROOT [--runs N]
//
// ROOT holds "none\QUAVERIX.exe" and "recorded\QUAVERIX.exe". Both get the same 26-slot
// list file and the same user.ini (destination ROOT\bgm, whose 26 game files are there);
// "recorded" also gets applied.txt, written by the program's own copy run of 26 tunes, so
// that every slot is recorded and unchanged. Then the check a start runs (the record read,
// 26 slots compared by size and time) is timed N times on a headless form over the real
// system. Output: "check SLOTS MS BOXES" and "record PATH ENTRIES" lines.
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#include "BenchSystem.h"
#include "Clock.h"
#include "apply/Record.h"
#include "mainform/MainForm.h"
#include "platform/win32/Wide.h"

namespace {

constexpr int kSlots = 26;
constexpr std::size_t kSize = 2 << 20;

std::string SlotName(int i) {
    char name[16];
    std::snprintf(name, sizeof name, "%02d.mp3", i + 1);
    return name;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: reapply_bench ROOT [--runs N]\n");
        return 2;
    }
    const std::wstring root = argv[1];
    const int runs = argc > 3 && std::wstring(argv[2]) == L"--runs" ? _wtoi(argv[3]) : 9;
    const std::string bgm = win32::A(root) + "\\bgm";
    for (const wchar_t* sub : {L"\\bgm", L"\\music"})
        CreateDirectoryW((root + sub).c_str(), nullptr);
    std::string names;
    for (int i = 0; i < kSlots; ++i) {
        names += SlotName(i) + "=曲 " + std::to_string(i + 1) + "#";
        Write(root + L"\\bgm\\" + win32::W(SlotName(i)), Bytes(i, kSize));
        Write(root + L"\\music\\" + std::to_wstring(i + 1) + L".mp3", Bytes(100 + i, kSize));
    }
    for (const wchar_t* exe : {L"\\none\\", L"\\recorded\\"}) {
        Write(root + exe + L"Pellamor.lst",
              "[mp3]\r\nnametips=" + names + "\r\nmask=*.mp3\r\nnumber=" + std::to_string(kSlots) +
                  "\r\n");
        Write(root + exe + L"user.ini", "[copysaki]\r\nPellamor.lst=" + bgm + "\r\n");
        DeleteFileW((root + exe + L"applied.txt").c_str());
    }

    // The record, as コピー開始 writes it: the program's own run, boxes answered at once.
    BenchSystem system;
    system.exe = win32::A(root) + "\\recorded\\";
    ui::Application app(system);
    app.title = "QUAVERIX";
    TFormMain form(app);
    form.Create();
    for (int i = 0; i < kSlots; ++i) {
        form.ValListMp3.SetLine(
            i, SlotName(i) + "=" + win32::A(root) + "\\music\\" + std::to_string(i + 1) + ".mp3");
    }
    form.BtnCopyGo.UserClick();
    const std::string record = form.Data().Record();
    const std::size_t entries = apply::Record(system, record).In(bgm).size();
    std::printf("record %s %zu\n", record.c_str(), entries);

    // What a start does after its first paint (here at once, with no thread): the record
    // read and each slot compared; nothing changed, so no box.
    for (int i = 0; i < kSlots; ++i) form.ValListMp3.SetLine(i, SlotName(i) + "=");
    system.boxes = 0;
    std::vector<double> times;
    for (int r = 0; r < runs; ++r) {
        const double t = Now();
        form.CheckApplied();
        times.push_back(Now() - t);
    }
    std::printf("check %d %.3f %d\n", kSlots, Median(times), system.boxes);
    return entries == kSlots ? 0 : 1;
}
