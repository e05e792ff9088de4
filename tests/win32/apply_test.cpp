// Applying the slot table on the real window: the batch file run by cmd.exe, and the
// direct copy, both on real files.
#include <gtest/gtest.h>
#include <windows.h>
#include <shellapi.h>

#include <algorithm>
#include <map>
#include <string>
#include <vector>

#include "QUAVERIX/ElevatedMode.h"
#include "elevated/Job.h"
#include "originals/Store.h"
#include "platform/text/Cp932.h"
#include "platform/win32/Wide.h"
#include "slots/Slots.h"
#include "support/RealExe.h"
#include "support/RealForm.h"

using namespace wintest;

namespace {

// This test program is also the run with administrator rights that its own asking side
// starts, as that run takes a job only from its parent running the same exe: started with
// QUAVERIX's argument, it serves the job with QUAVERIX's own entry, and ends.
const int kElevatedMode = [] {
    int argc = 0;
    wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    if (argv && argc == 2 && std::wstring(argv[1]).rfind(L"--elevated=", 0) == 0) {
        ExitProcess(static_cast<UINT>(RunElevatedMode(argv[1])));
    }
    LocalFree(argv);
    return 0;
}();

std::wstring OwnExe() {
    wchar_t path[MAX_PATH];
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    return path;
}

// Slot lines 0-6: 01.mp3 03.mp3 05.mp3 08.mp3 09.mp3 11.mp3 Msg_NewMsg.wav
const char* const kListFile =
    "[mp3]\r\n"
    "nametips=01.mp3=タイトル#03.mp3=町#05.mp3=草原#08.mp3=洞窟#09.mp3=戦闘#11.mp3=表彰#"
    "Msg_NewMsg.wav=新着\r\n"
    "mask=*.mp3;*.wav\r\n"
    "number=7\r\n";

// An exe folder with the list file, and the window built on it.
std::string ExeFolder(const TempFolder& root) {
    MakeFolder(root / "exe");
    WriteBytes(root / "exe\\Pellamor.lst", kListFile);
    return root / "exe\\";
}

void Assign(RealForm& f, int line, const std::string& value) {
    f.form->ValListMp3.SetLine(line, slots::NameOf(f.form->ValListMp3.Line(line)) + "=" + value);
}

void Click(RealForm& f, const ui::Control& button) {
    ASSERT_TRUE(f.H(button)) << button.Name() << " has no window (on a tab not shown yet?)";
    SendMessageW(f.H(button), BM_CLICK, 0, 0);
    f.Pump();
}

DWORD AttrOf(const std::string& path) { return GetFileAttributesW(Wide(path).c_str()); }

// Music-like bytes that a text-mode copy would not carry over whole.
std::string Music(const std::string& tag) { return Mp3Bytes(tag); }

}  // namespace

TEST(BatchFile, CmdCopiesMusicWhosePathsHoldCmdsSpecialCharacters) {
    // cmd reads the script in the OEM code page; the script is CP932, as on a Japanese system.
    ASSERT_EQ(GetOEMCP(), 932u) << "run with LC_ALL=ja_JP.UTF-8";
    TempFolder root("qxbat");
    RealForm f(ExeFolder(root), "C:\\");
    // Blanks, & ( ) ^ ! and %, and kana/kanji whose second byte is 0x5C (ソ 表 能).
    const std::string music = root / "曲 & (ソ表) 50% ^!";
    MakeFolder(music);
    MakeFolder(music + "\\%PATH%");
    const std::string dest = root / "bgm 先 ソ";
    MakeFolder(dest);
    struct Source {
        int line;
        std::string slot, path;
    };
    const std::vector<Source> sources = {
        {0, "01.mp3", music + "\\a b & c.mp3"},
        {1, "03.mp3", music + "\\%PATH%\\%PATH%.mp3"},
        {2, "05.mp3", music + "\\100% ^hat! (能).mp3"},
        {3, "08.mp3", music + "\\表 ソ.mp3"},
        {6, "Msg_NewMsg.wav", music + "\\50%.wav"},
    };
    for (const Source& s : sources) {
        const bool wave = s.slot == "Msg_NewMsg.wav";
        ASSERT_TRUE(WriteBytes(s.path, wave ? WaveBytes(s.slot) : Music(s.slot)))
            << text::ToUtf8(s.path);
        Assign(f, s.line, s.path);
    }
    Assign(f, 5, "ab");  // too short to count: no lines
    // Targets already there: a plain one, and a read-only one that only "del /f" removes.
    WriteBytes(dest + "\\01.mp3", "old");
    WriteBytes(dest + "\\08.mp3", "old");
    SetFileAttributesW(Wide(dest + "\\08.mp3").c_str(), FILE_ATTRIBUTE_READONLY);

    f.form->Settings.DelReadOnly = true;
    f.form->MemoCopysaki.SetText(dest);
    const std::string bat = root / "go.bat";
    f.system.boxes.clear();
    f.system.saveAnswers.push_back(bat);
    Click(f, f.form->BtnGo);
    ASSERT_TRUE(f.system.boxes.empty()) << text::ToUtf8(f.system.boxes[0].text);
    ASSERT_TRUE(Exists(bat));

    DWORD code = RunBatch(bat, root.Path(), root / "cmd.log");
    std::string log = text::ToUtf8(ReadBytes(root / "cmd.log"));
    EXPECT_EQ(code, 0u) << log;
    for (const Source& s : sources) {
        const std::string bytes = s.slot == "Msg_NewMsg.wav" ? WaveBytes(s.slot) : Music(s.slot);
        EXPECT_EQ(ReadBytes(dest + "\\" + s.slot), bytes)
            << s.slot << " from " << text::ToUtf8(s.path) << "\n"
            << log;
        EXPECT_EQ(ReadBytes(s.path), bytes);
    }
    EXPECT_FALSE(Exists(dest + "\\09.mp3"));
    EXPECT_FALSE(Exists(dest + "\\11.mp3"));
}

TEST(BatchFile, ScriptOnDiskIsDelAndCopyLinesWithCrLf) {
    TempFolder root("qxbytes");
    RealForm f(ExeFolder(root), "C:\\");
    f.form->Settings.DelReadOnly = true;
    f.form->MemoCopysaki.SetText("C:\\Program Files\\PellamorOnline\\bgm");
    Assign(f, 0, "D:\\音楽\\50% ソ.mp3");
    Assign(f, 1, "ab");
    const std::int32_t before = f.form->Settings.Experience;
    f.system.saveAnswers.push_back(root / "one.bat");
    Click(f, f.form->BtnGo);
    EXPECT_EQ(ReadBytes(root / "one.bat"),
              "del /f \"C:\\Program Files\\PellamorOnline\\bgm\\01.mp3\"\r\n"
              "copy \"D:\\音楽\\50%% ソ.mp3\" "
              "\"C:\\Program Files\\PellamorOnline\\bgm\\01.mp3\"\r\n");
    EXPECT_EQ(f.form->Settings.Experience, before + 3);
}

TEST(DirectCopy, ConfirmedRunReplacesPlainTargetsOnlyAndGoesOnPastFailures) {
    TempFolder root("qxcopy");
    RealForm f(ExeFolder(root), "C:\\");
    const std::string music = root / "曲 ソ表";
    MakeFolder(music);
    const std::string dest = root / "bgm 先";
    MakeFolder(dest);
    for (const char* name : {"a.mp3", "b.mp3", "c.mp3", "d.mp3"})
        WriteBytes(music + "\\" + name, Music(name));
    Assign(f, 0, music + "\\a.mp3");  // plain target: replaced
    Assign(f, 1, music + "\\b.mp3");  // read-only target: kept
    Assign(f, 2, music + "\\c.mp3");  // hidden target: kept
    Assign(f, 3, music + "\\gone.mp3");  // missing source: passed over
    Assign(f, 4, music + "\\d.mp3");  // no target yet: created
    Assign(f, 6, "ab");  // too short to count
    for (const char* name : {"01.mp3", "03.mp3", "05.mp3"}) WriteBytes(dest + "\\" + name, name);
    SetFileAttributesW(Wide(dest + "\\03.mp3").c_str(), FILE_ATTRIBUTE_READONLY);
    SetFileAttributesW(Wide(dest + "\\05.mp3").c_str(), FILE_ATTRIBUTE_HIDDEN);
    f.form->MemoCopysaki.SetText(dest);
    const std::int32_t before = f.form->Settings.Experience;

    // Cancelled: not a byte moves, the counter stays.
    f.system.boxes.clear();
    f.system.boxAnswers = {sys::BoxResult::Cancel};
    Click(f, f.form->BtnCopyGo);
    ASSERT_EQ(f.system.boxes.size(), 1u);
    EXPECT_EQ(f.system.boxes[0].kind, sys::BoxKind::Confirm);
    EXPECT_EQ(ReadBytes(dest + "\\01.mp3"), "01.mp3");
    EXPECT_FALSE(Exists(dest + "\\09.mp3"));
    EXPECT_EQ(f.form->Settings.Experience, before);

    // Confirmed (after the missing file was pointed out); the last box names the slots
    // not copied.
    f.system.boxes.clear();
    Click(f, f.form->BtnCopyGo);
    ASSERT_EQ(f.system.boxes.size(), 8u);
    EXPECT_NE(f.system.boxes[0].text.find("\r\n08.mp3: 読み取れません\r\n"), std::string::npos);
    f.system.boxes.erase(f.system.boxes.begin());
    EXPECT_EQ(f.system.boxes[6].text,
              "コピーできなかったファイルがあります。\r\n"
              "03.mp3: コピー先のファイルが読み取り専用か隠しファイルです\r\n"
              "05.mp3: コピー先のファイルが読み取り専用か隠しファイルです\r\n"
              "08.mp3: コピー元のファイルがありません");
    EXPECT_EQ(f.system.boxes[0].kind, sys::BoxKind::Confirm);
    EXPECT_EQ(f.system.boxes[0].caption, "確認");
    const char* const copied[][2] = {{"a.mp3", "01.mp3"},
                                     {"b.mp3", "03.mp3"},
                                     {"c.mp3", "05.mp3"},
                                     {"gone.mp3", "08.mp3"},
                                     {"d.mp3", "09.mp3"}};
    for (int i = 0; i < 5; ++i) {
        const TestSystem::Box& box = f.system.boxes[static_cast<std::size_t>(i + 1)];
        EXPECT_EQ(box.kind, sys::BoxKind::Plain);
        EXPECT_EQ(box.caption, "QUAVERIX");
        EXPECT_EQ(box.text, music + "\\" + copied[i][0] + "\r\n" + dest + "\\" + copied[i][1]);
    }
    EXPECT_EQ(ReadBytes(dest + "\\01.mp3"), Music("a.mp3"));
    EXPECT_EQ(ReadBytes(dest + "\\03.mp3"), "03.mp3");
    EXPECT_EQ(AttrOf(dest + "\\03.mp3") & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN),
              DWORD(FILE_ATTRIBUTE_READONLY));
    EXPECT_EQ(ReadBytes(dest + "\\05.mp3"), "05.mp3");
    EXPECT_EQ(AttrOf(dest + "\\05.mp3") & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN),
              DWORD(FILE_ATTRIBUTE_HIDDEN));
    EXPECT_FALSE(Exists(dest + "\\08.mp3"));
    EXPECT_EQ(ReadBytes(dest + "\\09.mp3"), Music("d.mp3"));
    EXPECT_FALSE(Exists(dest + "\\Msg_NewMsg.wav"));
    EXPECT_EQ(f.form->Settings.Experience, before + 2);
    EXPECT_EQ(f.form->Caption(), f.form->Settings.SoftName);
    EXPECT_EQ(win32::WindowTextW(f.Handle()), Wide(f.form->Settings.SoftName));
}

namespace {

// Starts `command` and returns its process; `waitFor`, when given, is a file the process
// creates once it is ready.
HANDLE Start(std::wstring command, const std::string& waitFor = "") {
    HANDLE process = StartProcess(std::move(command));
    for (int i = 0; process && !waitFor.empty() && !Exists(waitFor) && i < 600; ++i) {
        if (WaitForSingleObject(process, 50) == WAIT_OBJECT_0) break;
    }
    return process;
}

void Kill(HANDLE process) {
    TerminateProcess(process, 9);
    WaitForSingleObject(process, 30000);
    CloseHandle(process);
}

// A list file of the given slot names, each with an empty tip.
void WriteList(const std::string& exe, const std::vector<std::string>& slots) {
    std::string names;
    for (const std::string& s : slots) names += s + "=#";
    MakeFolder(exe);
    WriteBytes(exe + "\\Pellamor.lst", "[mp3]\r\nnametips=" + names + "\r\nmask=*.mp3\r\nnumber=" +
                                           std::to_string(slots.size()) + "\r\n");
}

// Bytes that differ from slot to slot and from one version to the next.
std::string Big(const std::string& tag, std::size_t size) {
    std::string out = Music(tag);
    for (std::size_t i = 0; out.size() < size; ++i)
        out += static_cast<char>((i * 131 + tag.size() * 7 + tag.back()) & 0xFF);
    return out;
}

}  // namespace

TEST(DirectCopy, ReportNamesEverySlotNotCopiedAndWhy) {
    TempFolder root("qxreport");
    WriteList(root / "exe", {"01.mp3", "03.mp3", "05.mp3", "sub\\08.mp3", "09.mp3", "11.mp3"});
    RealForm f(root / "exe\\", "C:\\");
    const std::string music = root / "曲", dest = root / "bgm";
    MakeFolder(music);
    MakeFolder(dest);
    for (const char* n : {"a.mp3", "b.mp3"}) WriteBytes(music + "\\" + n, Music(n));
    for (const char* n : {"03.mp3", "05.mp3", "09.mp3"}) WriteBytes(dest + "\\" + n, Music(n));
    SetFileAttributesW(Wide(dest + "\\03.mp3").c_str(), FILE_ATTRIBUTE_READONLY);
    HANDLE held = Start(L"\"" + HelperPath(L"hold_file.exe") + L"\" \"" + Wide(dest + "\\05.mp3") +
                            L"\" \"" + Wide(root / "held") + L"\"",
                        root / "held");
    ASSERT_TRUE(held && Exists(root / "held"));
    Assign(f, 0, music + "\\gone.mp3");
    for (int line = 1; line < 5; ++line) Assign(f, line, music + "\\a.mp3");
    Assign(f, 5, music + "\\b.mp3");
    f.form->MemoCopysaki.SetText(dest);
    f.system.boxes.clear();
    Click(f, f.form->BtnCopyGo);
    Kill(held);

    // First, the missing file pointed out; no per-file box for a name that is no file's.
    ASSERT_EQ(f.system.boxes.size(), 8u);
    const TestSystem::Box& report = f.system.boxes.back();
    EXPECT_EQ(report.kind, sys::BoxKind::Warning);
    EXPECT_EQ(report.caption, "QUAVERIX");
    EXPECT_EQ(report.text,
              "コピーできなかったファイルがあります。\r\n"
              "01.mp3: コピー元のファイルがありません\r\n"
              "03.mp3: コピー先のファイルが読み取り専用か隠しファイルです\r\n"
              "05.mp3: ファイルがほかのプログラムで使用中です (ゲームが起動していませんか)\r\n"
              "sub\\08.mp3: ファイル名として使えない名前です");
    EXPECT_EQ(ReadBytes(dest + "\\03.mp3"), Music("03.mp3"));
    EXPECT_EQ(ReadBytes(dest + "\\05.mp3"), Music("05.mp3"));
    EXPECT_EQ(ReadBytes(dest + "\\09.mp3"), Music("a.mp3"));
    EXPECT_EQ(ReadBytes(dest + "\\11.mp3"), Music("b.mp3"));
    EXPECT_FALSE(Exists(dest + "\\05.mp3.quaverix~"));
    EXPECT_EQ(f.form->Caption(), f.form->Settings.SoftName);
}

TEST(DirectCopy, TwoRunsThenRestoreGiveBackTheGamesOwnBytes) {
    TempFolder root("qxrestore");
    WriteList(root / "exe", {"01.mp3", "03.mp3", "05.mp3"});
    RealForm f(root / "exe\\", "C:\\");
    const std::string music = root / "曲 ソ", dest = root / "bgm 表";
    MakeFolder(music);
    MakeFolder(dest);
    const char* const slots[] = {"01.mp3", "03.mp3"};  // 05.mp3 is not in the game's folder
    for (const char* s : slots) WriteBytes(dest + "\\" + s, Big(std::string("game ") + s, 70000));
    for (const char* n : {"a1", "a2", "a3", "b1", "b2", "b3"})
        WriteBytes(music + "\\" + n + ".mp3", Big(n, 50000));
    f.form->MemoCopysaki.SetText(dest);
    for (const char* run : {"a", "b"}) {
        for (int line = 0; line < 3; ++line)
            Assign(f, line, music + "\\" + run + std::to_string(line + 1) + ".mp3");
        f.system.boxes.clear();
        Click(f, f.form->BtnCopyGo);
        EXPECT_EQ(f.system.boxes.size(), 4u) << "no report: nothing failed";
    }
    EXPECT_EQ(ReadBytes(dest + "\\05.mp3"), Big("b3", 50000));
    EXPECT_NE(ReadBytes(root / "exe\\originals\\index.txt").find(dest + "\\01.mp3\t"),
              std::string::npos);

    f.system.boxes.clear();
    f.ClickTab(1);  // the restore button is on the settings tab
    Click(f, f.form->BtnRestore);
    ASSERT_EQ(f.system.boxes.size(), 2u);
    EXPECT_EQ(f.system.boxes[0].text, "コピー先フォルダのファイルを元に戻します。\r\n" + dest);
    EXPECT_EQ(f.system.boxes[1].text, "元に戻しました。");
    for (const char* s : slots)
        EXPECT_EQ(ReadBytes(dest + "\\" + s), Big(std::string("game ") + s, 70000)) << s;
    EXPECT_FALSE(Exists(dest + "\\05.mp3"));
    EXPECT_TRUE(
        originals::ParseIndex(ReadBytes(root / "exe\\originals\\index.txt")).entries.empty());
}

// Run by the next test in a process of its own, which it kills during the copies.
TEST(DirectCopy, DISABLED_CopyRunToBeKilled) {
    wchar_t value[MAX_PATH * 2];
    DWORD n = GetEnvironmentVariableW(L"QX_KILL_ROOT", value, MAX_PATH * 2);
    ASSERT_GT(n, 0u);
    const std::string root = win32::A(std::wstring(value, n));
    RealForm f(root + "\\exe\\", "C:\\");
    f.system.boxDelay = 15;
    for (int line = 0; line < f.form->ValListMp3.Count(); ++line) {
        Assign(f, line, root + "\\music\\" + std::to_string(line) + ".mp3");
    }
    f.form->MemoCopysaki.SetText(root + "\\bgm");
    WriteBytes(root + "\\started", "");
    Click(f, f.form->BtnCopyGo);
}

TEST(DirectCopy, KilledRunLeavesEveryOriginalWholeAndRestorable) {
    TempFolder root("qxkill");
    std::vector<std::string> slots, game, ours;
    for (int i = 0; i < 16; ++i) slots.push_back(std::to_string(10 + i) + ".mp3");
    WriteList(root / "exe", slots);
    MakeFolder(root / "bgm");
    MakeFolder(root / "music");
    for (int i = 0; i < 16; ++i) {
        game.push_back(Big("game" + slots[i], 600000));
        ours.push_back(Big("ours" + slots[i], 500000));
        if (i % 4 != 3) WriteBytes(root / "bgm\\" + slots[i], game[i]);  // some the game lacks
        WriteBytes(root / "music\\" + std::to_string(i) + ".mp3", ours[i]);
    }
    SetEnvironmentVariableW(L"QX_KILL_ROOT", Wide(root.Path()).c_str());
    const std::wstring child = L"\"" + HelperPath(L"apply_test.exe") +
                               L"\" --gtest_filter=DirectCopy.DISABLED_CopyRunToBeKilled "
                               L"--gtest_also_run_disabled_tests";
    for (DWORD delay : {0u, 120u, 260u, 400u, 0xFFFFFFFFu}) {
        SCOPED_TRACE(delay);
        DeleteFileW(Wide(root / "started").c_str());
        HANDLE p = Start(child, root / "started");
        ASSERT_TRUE(p);
        if (delay == 0xFFFFFFFFu) {
            EXPECT_EQ(WaitForSingleObject(p, 120000), WAIT_OBJECT_0);  // the last run completes
            CloseHandle(p);
        } else {
            Sleep(delay);
            Kill(p);
        }
        // Old state or new, per file: never a saved original that is missing or partial.
        const originals::Index index =
            originals::ParseIndex(ReadBytes(root / "exe\\originals\\index.txt"));
        EXPECT_TRUE(index.unreadable.empty());
        for (const originals::Entry& e : index.entries) {
            int i = std::stoi(originals::SlotName(e)) - 10;
            EXPECT_EQ(e.Absent(), i % 4 == 3) << e.destination;
            if (!e.Absent()) {
                EXPECT_TRUE(ReadBytes(root / "exe\\originals\\" + e.saved) == game[i]) << e.saved;
            }
        }
        for (int i = 0; i < 16; ++i) {
            std::string now = ReadBytes(root / "bgm\\" + slots[i]);
            EXPECT_TRUE(now == ours[i] || now == (i % 4 == 3 ? std::string() : game[i]))
                << slots[i];
        }
    }
    for (int i = 0; i < 16; ++i)
        EXPECT_TRUE(ReadBytes(root / "bgm\\" + slots[i]) == ours[i]) << slots[i];

    RealForm f(root / "exe\\", "C:\\");
    f.form->MemoCopysaki.SetText(root / "bgm");
    f.system.boxes.clear();
    f.ClickTab(1);  // the restore button is on the settings tab
    Click(f, f.form->BtnRestore);
    EXPECT_EQ(f.system.boxes.back().text, "元に戻しました。");
    for (int i = 0; i < 16; ++i) {
        EXPECT_EQ(Exists(root / "bgm\\" + slots[i]), i % 4 != 3) << slots[i];
        if (i % 4 != 3) {
            EXPECT_TRUE(ReadBytes(root / "bgm\\" + slots[i]) == game[i]) << slots[i];
        }
    }
}

namespace {

std::wstring FromUtf8(const std::string& s) {
    int n = MultiByteToWideChar(CP_UTF8, 0, s.data(), static_cast<int>(s.size()), nullptr, 0);
    std::wstring out(static_cast<std::size_t>(n), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, s.data(), static_cast<int>(s.size()), out.data(), n);
    return out;
}

// Runs list_peek.exe (built beside this test) on one of the window's controls, serving
// the window's messages meanwhile; gives its answer lines.
std::vector<std::wstring> Peek(RealForm& f, const std::wstring& args, const std::string& out) {
    std::wstring command =
        L"\"" + HelperPath(L"list_peek.exe") + L"\" " + args + L" \"" + Wide(out) + L"\"";
    DeleteFileW(Wide(out).c_str());
    if (!RunServing(f, command)) {
        ADD_FAILURE() << "list_peek.exe did not start";
        return {};
    }
    std::vector<std::wstring> lines;
    std::string all = ReadBytes(out);
    for (std::size_t at = 0, end; (end = all.find('\n', at)) != std::string::npos; at = end + 1) {
        lines.push_back(FromUtf8(all.substr(at, end - at)));
    }
    return lines;
}

std::wstring Handle(HWND h) { return std::to_wstring(reinterpret_cast<INT_PTR>(h)); }

// "<len>\t<text>" of each item, as the other program read it.
std::vector<std::wstring> Texts(const std::vector<std::wstring>& lines) {
    std::vector<std::wstring> out;
    for (const std::wstring& l : lines) {
        std::size_t tab = l.find(L'\t');
        std::wstring text = tab == std::wstring::npos ? l : l.substr(tab + 1);
        EXPECT_EQ(l.substr(0, tab), std::to_wstring(text.size())) << "length of " << win32::A(text);
        out.push_back(text);
    }
    return out;
}

void ClickLine(RealForm& f, HWND list, int item) {
    RECT r{};
    SendMessageW(list, LB_SETTOPINDEX, item, 0);
    SendMessageW(list, LB_GETITEMRECT, item, reinterpret_cast<LPARAM>(&r));
    LPARAM at = MAKELPARAM((r.left + r.right) / 2, (r.top + r.bottom) / 2);
    PostMessageW(list, WM_LBUTTONDOWN, MK_LBUTTON, at);
    PostMessageW(list, WM_LBUTTONUP, 0, at);
    f.Pump();
}

}  // namespace

// Music whose names CP932 cannot hold: shown and read as they are, passed on by names that
// open the same files (short names), copied whole by the direct copy and by cmd.exe.
TEST(ForeignNames, ShownReadByOtherProgramsRegisteredAndCopiedWhole) {
    TempFolder root("qxnames");
    const std::string music = root / "曲";
    MakeFolder(music);
    const std::vector<std::wstring> names = {
        L"a.mp3",           L"C\u00E9line \u00E9.mp3",        L"\uC74C\uC545.mp3",
        L"x\U0001F600.mp3", L"\u65E5\u672C\u8A9E \u30BD.mp3", L"\u03A9mega.mp3"};
    for (const std::wstring& n : names)
        ASSERT_TRUE(WriteBytes(Wide(music) + L"\\" + n, Music(win32::A(n))));
    const std::wstring musica = Wide(music) + L"\\M\u00FAsica";
    ASSERT_TRUE(CreateDirectoryW(musica.c_str(), nullptr));
    RealForm f(ExeFolder(root), music);
    TFormMain& m = *f.form;

    // The lists show the real names, and another program reads the same texts.
    std::vector<std::wstring> shown;
    for (const std::u16string& n : m.FilList.Items()) shown.push_back(win32::W(n));
    std::vector<std::wstring> sorted = names, got = shown;
    std::sort(sorted.begin(), sorted.end());
    std::sort(got.begin(), got.end());
    ASSERT_EQ(got, sorted);
    EXPECT_EQ(Texts(Peek(f, L"lb " + Handle(f.H(m.FilList)), root / "files.txt")), shown);
    std::vector<std::wstring> dirs =
        Texts(Peek(f, L"lb " + Handle(f.H(m.DirList)), root / "dirs.txt"));
    ASSERT_EQ(dirs.size(), m.DirList.Items().size());
    EXPECT_EQ(dirs.back(), L"M\u00FAsica");
    std::vector<std::wstring> drives =
        Texts(Peek(f, L"cb " + Handle(f.H(m.DrvBox)), root / "drives.txt"));
    ASSERT_EQ(drives.size(), m.DrvBox.Drives().size());
    for (std::size_t i = 0; i < drives.size(); ++i) {
        const sys::DriveInfo& d = m.DrvBox.Drives()[i];
        std::wstring text = std::wstring(1, static_cast<wchar_t>(d.letter)) + L":";
        if (!d.label.empty()) text += L" " + win32::W(d.label);
        EXPECT_EQ(drives[i], text);
    }

    // A click on each file registers a path that opens it.
    for (int i = 0; i < 6; ++i) {
        m.ValListMp3.SetRow(i + 1);
        ClickLine(f, f.H(m.FilList), i);
        const std::string value = m.ValListMp3.Value(i);
        EXPECT_EQ(ReadBytes(value), Music(win32::A(shown[static_cast<std::size_t>(i)]))) << value;
        bool fits = text::FitsCp932(m.FilList.Items()[static_cast<std::size_t>(i)]);
        EXPECT_EQ(value == music + "\\" + Cp(m.FilList.Items()[static_cast<std::size_t>(i)]), fits)
            << value;
    }
    EXPECT_TRUE(f.system.boxes.empty());
    const char* const slots[] = {"01.mp3", "03.mp3", "05.mp3", "08.mp3", "09.mp3", "11.mp3"};
    auto arrived = [&](const std::wstring& folder) {
        for (int i = 0; i < 6; ++i) {
            EXPECT_EQ(ReadBytes(folder + L"\\" + Wide(slots[i])),
                      Music(win32::A(shown[static_cast<std::size_t>(i)])))
                << slots[i];
            DeleteFileW((folder + L"\\" + Wide(slots[i])).c_str());
        }
    };

    // "コピー開始" copies every one of them.
    const std::string dest = root / "bgm";
    MakeFolder(dest);
    m.MemoCopysaki.SetText(dest);
    Click(f, m.BtnCopyGo);
    arrived(Wide(dest));

    // So does the same assignment as a batch file run by cmd.exe. The script is CP932 text,
    // which cmd.exe reads as such only on a Japanese system (OEM code page 932).
    if (GetOEMCP() == 932) {
        f.system.saveAnswers.push_back(root / "names.bat");
        Click(f, m.BtnGo);
        EXPECT_EQ(RunBatch(root / "names.bat", root.Path(), root / "cmd.log"), 0u)
            << ReadBytes(root / "cmd.log");
        arrived(Wide(dest));
    }

    // Text that another program puts into the destination folder is the folder used.
    const std::string other = root / "先 2";
    MakeFolder(other);
    EXPECT_EQ(
        Texts(Peek(f, L"settext " + Handle(f.H(m.MemoCopysaki)) + L" \"" + Wide(other) + L"\"",
                   root / "set.txt")),
        std::vector<std::wstring>{L"1"});
    EXPECT_EQ(m.MemoCopysaki.Text(), other);
    Click(f, m.BtnCopyGo);
    arrived(Wide(other));

    // "→" on "Música" gives a folder the copy can use.
    int line = static_cast<int>(m.DirList.Items().size()) - 1;
    ASSERT_TRUE(f.app.Dispatch([&] { m.DirList.UserOpen(line); }));
    Click(f, m.BtnCopySakiCopy);
    EXPECT_EQ(win32::W(m.DirList.Items()[static_cast<std::size_t>(m.DirList.ItemIndex())].name),
              L"M\u00FAsica");
    Click(f, m.BtnCopyGo);
    arrived(musica);
    EXPECT_TRUE(f.system.boxes.size() > 0 && f.system.boxes.back().kind == sys::BoxKind::Plain);
}

// The software name takes at most 32 bytes however it is typed: IME characters too.
TEST(ForeignNames, SoftNameStopsAt32BytesForImeInput) {
    TempFolder root("qxime");
    RealForm f(ExeFolder(root), "C:\\");
    f.ClickTab(1);  // the name's memo is on the settings tab
    HWND memo = f.H(f.form->MemoSoftName);
    SetWindowTextW(memo, L"");
    f.form->MemoSoftName.SetText("");
    // The system may turn each IME character into a posted WM_CHAR: served by the pump.
    for (int i = 0; i < 20; ++i) SendMessageW(memo, WM_IME_CHAR, L'\u3042', 1);
    f.Pump();
    SendMessageW(memo, WM_CHAR, L'x', 1);
    f.Pump();
    EXPECT_EQ(f.form->MemoSoftName.Text().size(), 32u);
    EXPECT_EQ(win32::WindowTextW(memo), std::wstring(16, L'\u3042'));
    EXPECT_EQ(f.form->MemoSoftName.Text(), win32::A(std::wstring(16, L'\u3042')));

    // Text set from outside is taken whole, as a handler's would be.
    SetWindowTextW(memo, std::wstring(20, L'\u3044').c_str());
    EXPECT_EQ(f.form->MemoSoftName.Text(), win32::A(std::wstring(20, L'\u3044')));
    // What CP932 cannot hold is shown as it is kept.
    SetWindowTextW(memo, L"M\u00FAsica");
    EXPECT_EQ(f.form->MemoSoftName.Text(), "M?sica");
    EXPECT_EQ(win32::WindowTextW(memo), L"M?sica");
}

namespace {

// A folder made immutable for a test's scope (the stand-in for Program Files).
struct Immutable {
    std::string folder;
    explicit Immutable(std::string f) : folder(std::move(f)) {
        EXPECT_TRUE(SetImmutable(folder, true)) << "chattr +i " << folder;
    }
    ~Immutable() { SetImmutable(folder, false); }
    // Writable again; the test's answer to the rights box stands in for the UAC prompt.
    void Lift() { EXPECT_TRUE(SetImmutable(folder, false)); }
};

const char* const kCopyRightsBox =
    "コピー先のフォルダに書き込むには管理者の権限が必要です。\r\n管理者としてコピーしますか？\r\n";

}  // namespace

// A game folder that refuses the player's writes: after the per-file boxes one question
// asks for administrator rights; OK starts QUAVERIX.exe itself in its elevated mode, which
// copies just the refused slots; キャンセル reports them with the rights reason. "元に戻す"
// goes the same way.
TEST(Rights, RefusedSlotsGoToOneElevatedRunOfTheRealExe) {
    TempFolder root("qxrights");
    RealForm f(ExeFolder(root), "C:\\");
    const std::string music = root / "曲", dest = root / "bgm";
    MakeFolder(music);
    MakeFolder(dest);
    WriteBytes(dest + "\\01.mp3", Music("game 01"));
    WriteBytes(music + "\\a.mp3", Music("a"));
    WriteBytes(music + "\\b.mp3", Music("b"));
    f.form->MemoCopysaki.SetText(dest);
    Assign(f, 0, music + "\\a.mp3");
    Assign(f, 1, music + "\\gone.mp3");
    Assign(f, 2, music + "\\b.mp3");
    Immutable lock(dest);
    const std::string rights = "管理者の権限がないためコピーできません";
    f.system.program = OwnExe();

    // キャンセル: the two refused slots are reported with the rights reason. (The missing
    // file is pointed out first each time; OK goes on.)
    f.system.boxAnswers = {sys::BoxResult::Ok, sys::BoxResult::Ok, sys::BoxResult::Ok,
                           sys::BoxResult::Ok, sys::BoxResult::Ok, sys::BoxResult::Cancel};
    Click(f, f.form->BtnCopyGo);
    ASSERT_EQ(f.system.boxes.size(), 7u);
    f.system.boxes.erase(f.system.boxes.begin());
    EXPECT_EQ(f.system.boxes[4].text, kCopyRightsBox + dest);
    EXPECT_EQ(f.system.boxes[4].kind, sys::BoxKind::Confirm);
    EXPECT_EQ(f.system.boxes[5].text,
              "コピーできなかったファイルがあります。\r\n01.mp3: " + rights +
                  "\r\n03.mp3: コピー元のファイルがありません\r\n05.mp3: " + rights);
    EXPECT_EQ(ReadBytes(dest + "\\01.mp3"), Music("game 01"));

    // OK: the elevated instance copies them; the originals were kept first; the report
    // names only the missing source.
    f.system.boxes.clear();
    f.system.onBox = [&](const TestSystem::Box& b) {
        if (b.text.rfind("コピー先のフォルダ", 0) == 0) lock.Lift();
    };
    Click(f, f.form->BtnCopyGo);
    ASSERT_EQ(f.system.boxes.size(), 7u);
    EXPECT_EQ(f.system.boxes[6].text,
              "コピーできなかったファイルがあります。\r\n03.mp3: コピー元のファイルがありません");
    EXPECT_EQ(ReadBytes(dest + "\\01.mp3"), Music("a"));
    EXPECT_EQ(ReadBytes(dest + "\\05.mp3"), Music("b"));
    EXPECT_NE(ReadBytes(root / "exe\\originals\\index.txt").find(dest + "\\01.mp3\t"),
              std::string::npos);

    // "元に戻す" through the same path: the game's file back byte for byte, ours removed.
    ASSERT_TRUE(SetImmutable(dest, true));
    f.system.boxes.clear();
    f.ClickTab(1);
    Click(f, f.form->BtnRestore);
    ASSERT_EQ(f.system.boxes.size(), 3u);
    EXPECT_EQ(f.system.boxes[1].text,
              "コピー先のフォルダを元に戻すには管理者の権限が必要です。\r\n"
              "管理者として元に戻しますか？\r\n" +
                  dest);
    EXPECT_EQ(f.system.boxes[2].text, "元に戻しました。");
    EXPECT_EQ(ReadBytes(dest + "\\01.mp3"), Music("game 01"));
    EXPECT_FALSE(Exists(dest + "\\05.mp3"));
}

// QUAVERIX.exe started by another program with the administrator argument and that
// program's own pipe (or, as older runs took it, a job on the command line) takes no job
// from it and writes nothing: the pipe's server is not a QUAVERIX.exe that started it.
TEST(Rights, AJobFromAnotherProgramWritesNothing) {
    TempFolder root("qxstranger");
    const std::string dest = root / "bgm", secret = root / "secret.mp3";
    MakeFolder(dest);
    WriteBytes(secret, "not the player's to read");
    struct Row {
        const char* what;
        bool jobOnTheCommandLine;
        DWORD exitCode;
    };
    const std::vector<Row> rows = {{"a job over its own pipe", false, 3},
                                   {"a job on the command line", true, 2}};
    int n = 0;
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        const std::wstring pipeName = L"\\\\.\\pipe\\QUAVERIX-" +
                                      std::to_wstring(GetCurrentProcessId()) + L"-t" +
                                      std::to_wstring(++n);
        HANDLE pipe = CreateNamedPipeW(pipeName.c_str(), PIPE_ACCESS_DUPLEX | FILE_FLAG_OVERLAPPED,
                                       PIPE_TYPE_BYTE | PIPE_WAIT, 1, 65536, 65536, 0, nullptr);
        ASSERT_NE(pipe, INVALID_HANDLE_VALUE);
        HANDLE event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
        OVERLAPPED ov{};
        ov.hEvent = event;
        ConnectNamedPipe(pipe, &ov);
        std::wstring argument = L"--elevated=" + pipeName;
        if (row.jobOnTheCommandLine) {
            argument += L"|1|" + Wide(dest) + L"|C|01.mp3|" + Wide(secret) + L"|";
        }
        HANDLE process =
            StartProcess(L"\"" + HelperPath(L"..\\QUAVERIX.exe") + L"\" \"" + argument + L"\"");
        ASSERT_TRUE(process);
        // Once it is there, the job and a source's bytes as QUAVERIX would send them.
        HANDLE waits[2] = {event, process};
        if (WaitForMultipleObjects(2, waits, FALSE, 15000) == WAIT_OBJECT_0) {
            const std::string bytes =
                elevated::Frame(
                    'J', elevated::FormatJob({dest, {{elevated::Step::Kind::Copy, "01.mp3"}}})) +
                elevated::Frame('D', "forged") + elevated::Frame('E');
            OVERLAPPED wov{};
            wov.hEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
            DWORD written = 0;
            if (WriteFile(pipe, bytes.data(), static_cast<DWORD>(bytes.size()), nullptr, &wov) ||
                GetLastError() == ERROR_IO_PENDING) {
                if (WaitForSingleObject(wov.hEvent, 5000) != WAIT_OBJECT_0) CancelIoEx(pipe, &wov);
                GetOverlappedResult(pipe, &wov, &written, TRUE);
            }
            CloseHandle(wov.hEvent);
        }
        ASSERT_EQ(WaitForSingleObject(process, 15000), WAIT_OBJECT_0);
        DWORD code = 0;
        GetExitCodeProcess(process, &code);
        EXPECT_EQ(code, row.exitCode);
        CloseHandle(process);
        CancelIoEx(pipe, &ov);
        CloseHandle(pipe);
        CloseHandle(event);
        EXPECT_FALSE(Exists(dest + "\\01.mp3"));
        EXPECT_FALSE(Exists(dest + "\\01.mp3.quaverix~"));
    }
}

// Results from any process but the one the run started are not taken: the started one
// (a stand-in) has another process connect first and say every step was done, and never
// answers itself. The slot is reported as not done, and nothing was written.
TEST(Rights, ResultsFromAnotherProcessAreIgnored) {
    TempFolder root("qxforged");
    RealForm f(ExeFolder(root), "C:\\");
    const std::string music = root / "music", dest = root / "bgm";
    MakeFolder(music);
    MakeFolder(dest);
    WriteBytes(dest + "\\01.mp3", Music("game 01"));
    WriteBytes(music + "\\a.mp3", Music("a"));
    f.form->MemoCopysaki.SetText(dest);
    Assign(f, 0, music + "\\a.mp3");
    Immutable lock(dest);
    f.system.program = HelperPath(L"forger.exe");
    Click(f, f.form->BtnCopyGo);
    ASSERT_EQ(f.system.boxes.size(), 4u);
    EXPECT_EQ(f.system.boxes[2].text, kCopyRightsBox + dest);
    EXPECT_EQ(f.system.boxes[3].text,
              "コピーできなかったファイルがあります。\r\n01.mp3: 管理者として動かす QUAVERIX "
              "を起動できませんでした");
    EXPECT_EQ(ReadBytes(dest + "\\01.mp3"), Music("game 01"));
}

// QUAVERIX unzipped into a folder it cannot write (Program Files): it starts, closes
// without an error box, and keeps its settings in %APPDATA%\QUAVERIX across starts.
TEST(Rights, UnzippedIntoAFolderItCannotWrite) {
    TempFolder root("qxreadonly");
    const std::string app = root / "app";
    MakeFolder(app);
    ASSERT_TRUE(CopyFileW(HelperPath(L"..\\QUAVERIX.exe").c_str(),
                          Wide(app + "\\QUAVERIX.exe").c_str(), FALSE));
    WriteBytes(app + "\\Pellamor.lst", kListFile);
    wchar_t appData[MAX_PATH];
    ASSERT_TRUE(GetEnvironmentVariableW(L"APPDATA", appData, MAX_PATH));
    const std::string kept = win32::A(appData) + "\\QUAVERIX\\user.ini";
    DeleteFileW(Wide(kept).c_str());
    Immutable lock(app);
    for (int start = 1; start <= 2; ++start) {
        STARTUPINFOW si{};
        si.cb = sizeof si;
        PROCESS_INFORMATION pi{};
        std::wstring command = L"\"" + Wide(app) + L"\\QUAVERIX.exe\"";
        ASSERT_TRUE(CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr,
                                   Wide(app).c_str(), &si, &pi));
        CloseHandle(pi.hThread);
        HWND window = nullptr;
        for (int i = 0; i < 300 && !window; ++i) {
            Sleep(50);
            struct Find {
                DWORD pid;
                HWND found = nullptr;
                static BOOL CALLBACK Each(HWND h, LPARAM self) {
                    auto* f = reinterpret_cast<Find*>(self);
                    DWORD pid = 0;
                    GetWindowThreadProcessId(h, &pid);
                    wchar_t cls[32] = {};
                    GetClassNameW(h, cls, 32);
                    if (pid == f->pid && wcscmp(cls, L"TFormMain") == 0 && IsWindowVisible(h))
                        f->found = h;
                    return TRUE;
                }
            } find{pi.dwProcessId};
            EnumWindows(Find::Each, reinterpret_cast<LPARAM>(&find));
            window = find.found;
        }
        ASSERT_TRUE(window) << "start " << start << ": no window";
        PostMessageW(window, WM_CLOSE, 0, 0);
        // An error box would hold the process open.
        EXPECT_EQ(WaitForSingleObject(pi.hProcess, 15000), WAIT_OBJECT_0) << "start " << start;
        TerminateProcess(pi.hProcess, 9);
        CloseHandle(pi.hProcess);
        EXPECT_NE(ReadBytes(kept).find("experience=" + std::to_string(start) + "\r\n"),
                  std::string::npos)
            << ReadBytes(kept);
    }
    EXPECT_FALSE(Exists(app + "\\user.ini"));
    DeleteFileW(Wide(kept).c_str());
}

// ---- A new player's runs, end to end on real files --------------------------------

namespace {

const char* const kRestored = "元に戻しました。";
const char* const kInUse = "ファイルがほかのプログラムで使用中です (ゲームが起動していませんか)";

// A game folder with its own 01.mp3 (03.mp3 it lacks), a music folder, and the window
// with both slots of the list file; the destination as the player typed or pasted it.
struct Player {
    TempFolder root;
    std::string music = root / "曲 ソ", game = root / "game", bgm = game + "\\bgm";
    std::unique_ptr<RealForm> f;

    explicit Player(const char* hint, const std::vector<std::string>& slots = {"01.mp3", "03.mp3"})
        : root(hint) {
        WriteList(root / "exe", slots);
        MakeFolder(music);
        MakeFolder(game);
        MakeFolder(bgm);
        WriteBytes(bgm + "\\01.mp3", Music("game 01"));
        f = std::make_unique<RealForm>(root / "exe\\", "C:\\");
        f->form->MemoCopysaki.SetText(bgm);
    }
    std::string Tune(const std::string& tag) {
        const std::string path = music + "\\" + tag + ".mp3";
        if (!Exists(path)) WriteBytes(path, Music(tag));
        return path;
    }
    void AssignAll(const std::string& tag) {
        for (int line = 0; line < f->form->ValListMp3.Count(); ++line) Assign(*f, line, Tune(tag));
    }
    // "コピー開始"; the boxes it showed.
    std::vector<TestSystem::Box> Copy() {
        f->system.boxes.clear();
        Click(*f, f->form->BtnCopyGo);
        return f->system.boxes;
    }
    // "Bat作成" into `bat`; the boxes it showed.
    std::vector<TestSystem::Box> Batch(const std::string& bat) {
        f->system.boxes.clear();
        f->system.saveAnswers.push_back(bat);
        Click(*f, f->form->BtnGo);
        return f->system.boxes;
    }
    // The batch file run as the player runs it: by cmd.exe, in its own folder.
    void Run(const std::string& bat) {
        EXPECT_EQ(RunBatch(bat, root.Path(), root / "cmd.log"), 0u) << ReadBytes(root / "cmd.log");
    }
    // "元に戻す" (on the settings tab), confirmed; its last box's text.
    std::string Restore() {
        f->system.boxes.clear();
        f->ClickTab(1);
        Click(*f, f->form->BtnRestore);
        f->ClickTab(0);
        return f->system.boxes.empty() ? std::string() : f->system.boxes.back().text;
    }
    bool Warned() const {
        return std::any_of(
            f->system.boxes.begin(), f->system.boxes.end(),
            [](const TestSystem::Box& b) { return b.kind == sys::BoxKind::Warning; });
    }
};

// The names in a folder, files and folders, sorted.
std::vector<std::string> NamesIn(const std::string& folder) {
    std::vector<std::string> out;
    WIN32_FIND_DATAW d;
    HANDLE h = FindFirstFileW((Wide(folder) + L"\\*").c_str(), &d);
    if (h == INVALID_HANDLE_VALUE) return out;
    do {
        std::wstring n = d.cFileName;
        if (n != L"." && n != L"..") out.push_back(win32::A(n));
    } while (FindNextFileW(h, &d));
    FindClose(h);
    std::sort(out.begin(), out.end());
    return out;
}

}  // namespace

// Copies, batch files run by cmd.exe, a game update and 元に戻す in the orders a player
// takes: 元に戻す always gives back the game's latest own 01.mp3 byte for byte and takes
// away the 03.mp3 the game never had.
TEST(NewPlayer, EveryOrderOfCopiesAndBatchRunsRestoresTheGamesOwnFile) {
    ASSERT_EQ(GetOEMCP(), 932u) << "run with LC_ALL=ja_JP.UTF-8";
    enum class Do { Copy, Batch, BatchNotRun, GameUpdate };
    struct Step {
        Do what;
        const char* tune;  // for GameUpdate: the game's new bytes
    };
    const struct {
        const char* name;
        std::vector<Step> steps;
        const char* back;  // the bytes 01.mp3 holds after 元に戻す
    } orders[] = {
        {"copy, batch, copy", {{Do::Copy, "A"}, {Do::Batch, "B"}, {Do::Copy, "C"}}, "game 01"},
        {"copy, batch", {{Do::Copy, "A"}, {Do::Batch, "B"}}, "game 01"},
        {"copy, batch, batch, copy",
         {{Do::Copy, "A"}, {Do::Batch, "B"}, {Do::Batch, "C"}, {Do::Copy, "D"}},
         "game 01"},
        {"copy, batch written but not run, copy",
         {{Do::Copy, "A"}, {Do::BatchNotRun, "B"}, {Do::Copy, "C"}},
         "game 01"},
        {"copy, batch of the same tune, copy",
         {{Do::Copy, "A"}, {Do::Batch, "A"}, {Do::Copy, "C"}},
         "game 01"},
        {"copy, game update, copy, batch, copy",
         {{Do::Copy, "A"},
          {Do::GameUpdate, "game 01 v2"},
          {Do::Copy, "C"},
          {Do::Batch, "B"},
          {Do::Copy, "D"}},
         "game 01 v2"},
    };
    for (const auto& order : orders) {
        SCOPED_TRACE(order.name);
        Player p("qxorder");
        int bats = 0;
        for (const Step& s : order.steps) {
            SCOPED_TRACE(s.tune);
            if (s.what == Do::GameUpdate) {
                WriteBytes(p.bgm + "\\01.mp3", Music(s.tune));
                continue;
            }
            p.AssignAll(s.tune);
            if (s.what == Do::Copy) {
                p.Copy();
                EXPECT_FALSE(p.Warned()) << p.f->system.boxes.back().text;
            } else {
                const std::string bat = p.root / ("run" + std::to_string(++bats) + ".bat");
                p.Batch(bat);
                EXPECT_TRUE(p.f->system.boxes.empty()) << p.f->system.boxes[0].text;
                if (s.what == Do::BatchNotRun) continue;
                p.Run(bat);
            }
            EXPECT_EQ(ReadBytes(p.bgm + "\\01.mp3"), Music(s.tune));
            EXPECT_EQ(ReadBytes(p.bgm + "\\03.mp3"), Music(s.tune));
        }
        EXPECT_EQ(p.Restore(), kRestored);
        EXPECT_TRUE(ReadBytes(p.bgm + "\\01.mp3") == Music(order.back));
        EXPECT_EQ(NamesIn(p.bgm), std::vector<std::string>{"01.mp3"});
        // Nothing is left to put back: a second 元に戻す changes nothing.
        p.Restore();
        EXPECT_TRUE(ReadBytes(p.bgm + "\\01.mp3") == Music(order.back));
    }
}

// A tune the player keeps read-only (or hidden, or system) is copied as a plain file: the
// next copy and 元に戻す can replace it, and no such file is left in the game's folder.
TEST(NewPlayer, ProtectedTuneCopiedThenRestoredLeavesNoProtectedFileBehind) {
    const DWORD protectedBits =
        FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;
    const struct {
        const char* name;
        DWORD attributes;
    } tunes[] = {
        {"read-only", FILE_ATTRIBUTE_READONLY},
        {"hidden", FILE_ATTRIBUTE_HIDDEN},
        {"system", FILE_ATTRIBUTE_SYSTEM},
        {"read-only, hidden and system", protectedBits},
        {"read-only, archive", FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_ARCHIVE},
    };
    for (const auto& tune : tunes) {
        SCOPED_TRACE(tune.name);
        Player p("qxprotect");
        p.AssignAll("R");
        ASSERT_TRUE(SetFileAttributesW(Wide(p.Tune("R")).c_str(), tune.attributes));
        p.Copy();
        EXPECT_FALSE(p.Warned()) << p.f->system.boxes.back().text;
        for (const char* slot : {"01.mp3", "03.mp3"}) {
            EXPECT_EQ(ReadBytes(p.bgm + "\\" + slot), Music("R")) << slot;
            EXPECT_EQ(AttrOf(p.bgm + "\\" + slot) & protectedBits, 0u) << slot;
        }
        EXPECT_EQ(AttrOf(p.Tune("R")) & protectedBits, tune.attributes & protectedBits);

        // The next copy replaces it, 元に戻す puts the game's file back and removes ours.
        p.AssignAll("S");
        p.Copy();
        EXPECT_FALSE(p.Warned()) << p.f->system.boxes.back().text;
        EXPECT_EQ(ReadBytes(p.bgm + "\\01.mp3"), Music("S"));
        EXPECT_EQ(p.Restore(), kRestored);
        EXPECT_EQ(ReadBytes(p.bgm + "\\01.mp3"), Music("game 01"));
        EXPECT_EQ(NamesIn(p.bgm), std::vector<std::string>{"01.mp3"});
        EXPECT_EQ(AttrOf(p.bgm + "\\01.mp3") & protectedBits, 0u);
    }
}

// Slot names in the list file that are no plain file name: device names (any case, any
// extension) and names that climb out of the game's folder. The copy writes none of them
// and names each with the reason; the batch file has no line for them and one box says
// so; the plain slots are copied by both.
TEST(NewPlayer, SlotNamesThatAreNoFileNameAreNeverWritten) {
    ASSERT_EQ(GetOEMCP(), 932u) << "run with LC_ALL=ja_JP.UTF-8";
    const std::vector<std::string> odd = {"CON.mp3", "COM1.mp3",      "..\\x.mp3",
                                          "nul.mp3", "..\\..\\y.mp3", "lpt1.x.mp3"};
    std::vector<std::string> slots = {"01.mp3"};
    slots.insert(slots.end(), odd.begin(), odd.end());
    slots.push_back("03.mp3");
    Player p("qxodd", slots);
    const std::vector<std::string> rootBefore = NamesIn(p.root.Path()),
                                   gameBefore = NamesIn(p.game);
    p.AssignAll("A");
    std::string reasons, labels;
    for (const std::string& name : odd) {
        reasons += "\r\n" + name + ": ファイル名として使えない名前です";
        labels += "\r\n" + name;
    }

    std::vector<TestSystem::Box> boxes = p.Copy();
    ASSERT_EQ(boxes.size(), 4u);  // the question, one box per plain slot, the report
    EXPECT_EQ(boxes[1].text, p.Tune("A") + "\r\n" + p.bgm + "\\01.mp3");
    EXPECT_EQ(boxes[2].text, p.Tune("A") + "\r\n" + p.bgm + "\\03.mp3");
    EXPECT_EQ(boxes[3].kind, sys::BoxKind::Warning);
    EXPECT_EQ(boxes[3].text, "コピーできなかったファイルがあります。" + reasons);
    EXPECT_EQ(ReadBytes(p.bgm + "\\01.mp3"), Music("A"));
    EXPECT_EQ(NamesIn(p.bgm), (std::vector<std::string>{"01.mp3", "03.mp3"}));
    EXPECT_EQ(NamesIn(p.game), gameBefore);
    EXPECT_EQ(NamesIn(p.root.Path()), rootBefore);
    // No device was opened for them: nothing of theirs was kept or recorded either.
    const originals::Index index =
        originals::ParseIndex(ReadBytes(p.root / "exe\\originals\\index.txt"));
    std::vector<std::string> recorded;
    for (const originals::Entry& e : index.entries) recorded.push_back(originals::SlotName(e));
    std::sort(recorded.begin(), recorded.end());
    EXPECT_EQ(recorded, (std::vector<std::string>{"01.mp3", "03.mp3"}));

    // The batch file: the plain slots' lines only, and one box names the others.
    p.AssignAll("B");
    const std::string bat = p.root / "odd.bat";
    boxes = p.Batch(bat);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].kind, sys::BoxKind::Warning);
    EXPECT_EQ(
        boxes[0].text,
        "次の行はファイル名として使えない名前なので、バッチファイルに入れませんでした。" + labels);
    EXPECT_EQ(ReadBytes(bat), "copy \"" + p.Tune("B") + "\" \"" + p.bgm + "\\01.mp3\"\r\n" +
                                  "copy \"" + p.Tune("B") + "\" \"" + p.bgm + "\\03.mp3\"\r\n");
    p.Run(bat);
    EXPECT_EQ(ReadBytes(p.bgm + "\\01.mp3"), Music("B"));
    EXPECT_EQ(ReadBytes(p.bgm + "\\03.mp3"), Music("B"));
    std::vector<std::string> rootNow = rootBefore;
    rootNow.insert(rootNow.end(), {"cmd.log", "odd.bat"});
    std::sort(rootNow.begin(), rootNow.end());
    EXPECT_EQ(NamesIn(p.root.Path()), rootNow);
    EXPECT_EQ(NamesIn(p.game), gameBefore);

    EXPECT_EQ(p.Restore(), kRestored);
    EXPECT_EQ(ReadBytes(p.bgm + "\\01.mp3"), Music("game 01"));
    EXPECT_EQ(NamesIn(p.bgm), std::vector<std::string>{"01.mp3"});
}

// The destination pasted as Explorer's "パスのコピー" gives it, in quotes: the copy lands in
// the folder, the batch file's lines are quoted once (cmd.exe copies with them), and
// 元に戻す finds what the copy kept whether the quotes are there or not.
TEST(NewPlayer, DestinationPastedInQuotesIsTheFolder) {
    ASSERT_EQ(GetOEMCP(), 932u) << "run with LC_ALL=ja_JP.UTF-8";
    const struct {
        const char* name;
        bool quotedCopy, quotedBatch, quotedRestore;
    } ways[] = {
        {"quoted throughout", true, true, true},
        {"quoted for the copy, typed for 元に戻す", true, false, false},
        {"typed for the copy, quoted for the batch and 元に戻す", false, true, true},
    };
    for (const auto& way : ways) {
        SCOPED_TRACE(way.name);
        Player p("qxquoted");
        p.f->form->Settings.DelReadOnly = true;
        auto typed = [&](bool quoted) { return quoted ? "\"" + p.bgm + "\"" : p.bgm; };
        p.AssignAll("A");
        p.f->form->MemoCopysaki.SetText(typed(way.quotedCopy));
        p.Copy();
        EXPECT_FALSE(p.Warned()) << p.f->system.boxes.back().text;
        EXPECT_EQ(ReadBytes(p.bgm + "\\01.mp3"), Music("A"));
        EXPECT_EQ(ReadBytes(p.bgm + "\\03.mp3"), Music("A"));

        p.AssignAll("B");
        p.f->form->MemoCopysaki.SetText(typed(way.quotedBatch));
        const std::string bat = p.root / "quoted.bat";
        EXPECT_TRUE(p.Batch(bat).empty());
        std::string lines;
        for (const char* slot : {"01.mp3", "03.mp3"}) {
            lines += "del /f \"" + p.bgm + "\\" + slot + "\"\r\n";
            lines += "copy \"" + p.Tune("B") + "\" \"" + p.bgm + "\\" + slot + "\"\r\n";
        }
        EXPECT_EQ(ReadBytes(bat), lines);
        p.Run(bat);
        EXPECT_EQ(ReadBytes(p.bgm + "\\01.mp3"), Music("B"));
        EXPECT_EQ(ReadBytes(p.bgm + "\\03.mp3"), Music("B"));

        p.f->form->MemoCopysaki.SetText(typed(way.quotedRestore));
        EXPECT_EQ(p.Restore(), kRestored);
        EXPECT_EQ(ReadBytes(p.bgm + "\\01.mp3"), Music("game 01"));
        EXPECT_EQ(NamesIn(p.bgm), std::vector<std::string>{"01.mp3"});
    }
}

// A quote left inside the destination is no folder: each run refuses with the error box
// and writes nothing (no batch file is even asked for).
TEST(NewPlayer, DestinationWithAQuoteInsideIsRefusedByEveryRun) {
    Player p("qxquote");
    p.AssignAll("A");
    const std::string typed = "\"" + p.bgm + "\"\\x\"";
    p.f->form->MemoCopysaki.SetText(typed);
    // (The error box ends its text with "." by its own rule.)
    const std::string refusal =
        "コピー先のフォルダ " + typed + " には、フォルダの名前に使えない文字 (\") があります.";
    for (const ui::Control* button : {static_cast<const ui::Control*>(&p.f->form->BtnCopyGo),
                                      static_cast<const ui::Control*>(&p.f->form->BtnGo)}) {
        SCOPED_TRACE(button->Name());
        p.f->system.boxes.clear();
        p.f->system.saveAnswers = {p.root / "never.bat"};
        Click(*p.f, *button);
        ASSERT_EQ(p.f->system.boxes.size(), 1u) << p.f->system.boxes[0].text;
        EXPECT_EQ(p.f->system.boxes[0].text, refusal);
        EXPECT_EQ(p.f->system.saveAnswers.size(), 1u) << "no file name asked for";
    }
    EXPECT_EQ(p.Restore(), refusal);
    EXPECT_FALSE(Exists(p.root / "never.bat"));
    EXPECT_EQ(ReadBytes(p.bgm + "\\01.mp3"), Music("game 01"));
    EXPECT_EQ(NamesIn(p.bgm), std::vector<std::string>{"01.mp3"});
}

// The game holding its music open without delete sharing (it reads and lets others read
// and write): the copy and 元に戻す report that slot as in use, never ask for
// administrator rights, and leave the game's file as it was; once it lets go, 元に戻す
// finishes.
TEST(NewPlayer, TargetHeldByTheGameIsInUseNotARightsQuestion) {
    const struct {
        const char* name;
        DWORD share;
    } holds[] = {
        {"no sharing", 0},
        {"read and write sharing", FILE_SHARE_READ | FILE_SHARE_WRITE},
    };
    for (const auto& hold : holds) {
        SCOPED_TRACE(hold.name);
        Player p("qxheld");
        auto holdIt = [&] {
            return CreateFileW(Wide(p.bgm + "\\01.mp3").c_str(), GENERIC_READ, hold.share, nullptr,
                               OPEN_EXISTING, 0, nullptr);
        };
        auto askedForRights = [&] {
            return std::any_of(p.f->system.boxes.begin(), p.f->system.boxes.end(),
                               [](const TestSystem::Box& b) {
                                   return b.text.find("管理者") != std::string::npos;
                               });
        };
        p.AssignAll("A");
        HANDLE held = holdIt();
        ASSERT_NE(held, INVALID_HANDLE_VALUE);
        p.Copy();
        CloseHandle(held);
        EXPECT_FALSE(askedForRights());
        EXPECT_EQ(p.f->system.boxes.back().text,
                  std::string("コピーできなかったファイルがあります。\r\n01.mp3: ") + kInUse);
        EXPECT_EQ(ReadBytes(p.bgm + "\\01.mp3"), Music("game 01"));
        EXPECT_EQ(ReadBytes(p.bgm + "\\03.mp3"), Music("A"));

        p.Copy();
        EXPECT_FALSE(p.Warned()) << p.f->system.boxes.back().text;
        held = holdIt();
        ASSERT_NE(held, INVALID_HANDLE_VALUE);
        EXPECT_EQ(p.Restore(),
                  std::string("元に戻せなかったファイルがあります。\r\n01.mp3: ") + kInUse);
        CloseHandle(held);
        EXPECT_FALSE(askedForRights());
        EXPECT_EQ(ReadBytes(p.bgm + "\\01.mp3"), Music("A"));
        EXPECT_EQ(p.Restore(), kRestored);
        EXPECT_EQ(ReadBytes(p.bgm + "\\01.mp3"), Music("game 01"));
        EXPECT_EQ(NamesIn(p.bgm), std::vector<std::string>{"01.mp3"});
    }
}

// Two windows of one QUAVERIX.exe (so one data folder) copy into two game folders, the
// second its whole copy while the first waits in its box for its second slot: 元に戻す in
// each then gives back that game's own files byte for byte.
TEST(TwoWindows, EachRestoresItsGameThoughTheOtherCopiedMeanwhile) {
    RealExe a{kListFile}, b{kListFile};  // b starts a's exe
    const std::string music = a.root / "曲";
    MakeFolder(music);
    auto start = [&](RealExe& exe, const std::string& game) {
        MakeFolder(a.root / game);
        for (const char* slot : {"01.mp3", "03.mp3"})
            WriteBytes(a.root / game + "\\" + slot, Music(game + slot));
        for (const char* n : {"1.mp3", "2.mp3"})
            WriteBytes(music + "\\" + game + n, Music(game + n));
        WriteBytes(a.ini,
                   "[user]\r\nlist1clk=1\r\n[copysaki]\r\nPellamor.lst=" + a.root / game + "\r\n");
        EXPECT_TRUE(exe.Start(music, &a));
        Driven player{exe, exe.WaitFor(L"TFormMain")};  // (user.ini read by then)
        player.Pick(game + "1.mp3");
        player.Pick(game + "2.mp3");
        player.Press("コピー開始");
        EXPECT_NE(player.Box().find("ファイルのコピーを開始します"), std::string::npos);
        EXPECT_NE(player.Box().find(game + "1.mp3"), std::string::npos);
        return player;
    };
    Driven first = start(a, "A");
    const HWND waiting = a.WaitFor(L"#32770");
    EXPECT_NE(BoxText(waiting).find("A2.mp3"), std::string::npos) << BoxText(waiting);
    Driven second = start(b, "B");
    EXPECT_NE(second.Box().find("B2.mp3"), std::string::npos);
    EXPECT_EQ(second.Settle(), "");
    Answer(waiting, IDOK);
    EXPECT_EQ(first.Settle(), "");
    for (auto& [player, game] : {std::pair{&first, "A"}, std::pair{&second, "B"}}) {
        EXPECT_EQ(player->Restore(), "元に戻しました。\n") << game;
        for (const char* slot : {"01.mp3", "03.mp3"})
            EXPECT_TRUE(ReadBytes(a.root / game + "\\" + slot) == Music(game + std::string(slot)))
                << game << slot;
    }
}

// A new player's phone recording (AAC-LC in M4A, 48 kHz) and CD rip (FLAC) picked from the
// file list into 01.mp3 and 03.mp3, with QUAVERIX.exe itself: コピー開始 puts MP3s into the
// game's folder that ffmpeg decodes cleanly, as long and as loud as the songs, the songs
// unchanged; after 元に戻す, Bat作成's batch file run by cmd.exe puts the same MP3s in.
TEST(RealExe, SongsOfOtherKindsGoInAsMp3sByTheCopyAndByTheBatchFile) {
    ASSERT_EQ(GetOEMCP(), 932u) << "run with LC_ALL=ja_JP.UTF-8";
    RealExe exe{kListFile};
    const std::string music = exe.root / "曲", bgm = exe.root / "bgm", log = exe.root / "log";
    MakeFolder(music);
    MakeFolder(bgm);
    const struct {
        std::string slot, name;
        const wchar_t *rate, *codec;
    } songs[] = {{"01.mp3", "電話.m4a", L"48000", L"-c:a aac -b:a 160k -movflags +faststart"},
                 {"03.mp3", "CD.flac", L"44100", L"-c:a flac -sample_fmt s16"}};
    std::map<std::string, std::string> game, song, copied;
    for (const auto& s : songs) {
        ASSERT_TRUE(RunLinux(
            L"ffmpeg -nostdin -v error -filter_complex 'anoisesrc=c=pink:a=0.3:d=8:r=" +
            std::wstring(s.rate) + L"[n];sine=f=440:d=8:r=" + s.rate + L"[s];[n][s]amerge' " +
            s.codec + L" '" + UnixPath(music + "\\" + s.name) + L"'"));
        song[s.name] = ReadBytes(music + "\\" + s.name);
        WriteBytes(bgm + "\\" + s.slot, game[s.slot] = Music("the game's " + s.slot));
    }
    WriteBytes(exe.ini, "[user]\r\nlist1clk=1\r\n[copysaki]\r\nPellamor.lst=" + bgm + "\r\n");
    ASSERT_TRUE(exe.Start(music));
    Driven player{exe, exe.WaitFor(L"TFormMain")};
    ASSERT_TRUE(player.window) << "no window";
    for (const auto& s : songs) player.Pick(s.name);
    player.Copy({music + "\\電話.m4a", music + "\\CD.flac"});
    for (const auto& s : songs) {
        SCOPED_TRACE(s.slot);
        const Heard original = FfmpegHears(music + "\\" + s.name, log);
        const Heard copy = FfmpegHears(bgm + "\\" + s.slot, log);
        EXPECT_TRUE(copy.clean) << ReadBytes(log);
        EXPECT_EQ(copy.stream.substr(0, 34), "mp3, 44100 Hz, stereo, fltp, 192 k");
        EXPECT_NEAR(copy.seconds, original.seconds, 0.05);
        EXPECT_NEAR(copy.lufs, original.lufs, 0.5);
        EXPECT_TRUE(ReadBytes(music + "\\" + s.name) == song[s.name]) << "the song was changed";
        copied[s.slot] = ReadBytes(bgm + "\\" + s.slot);
    }
    player.Batch(exe.root / "x.bat");
    EXPECT_EQ(player.Restore(), "元に戻しました。\n");
    for (const auto& [slot, bytes] : game) EXPECT_TRUE(ReadBytes(bgm + "\\" + slot) == bytes);
    EXPECT_EQ(RunBatch(exe.root / "x.bat", exe.root.Path(), log), 0u) << ReadBytes(log);
    for (const auto& [slot, bytes] : copied) EXPECT_TRUE(ReadBytes(bgm + "\\" + slot) == bytes);
    PostMessageW(player.window, WM_CLOSE, 0, 0);
    EXPECT_TRUE(exe.Ended());
}

// A set saved, found again after a restart and opened; written out as a zip, and taken
// into another QUAVERIX (its own folder, the player's music gone) whose コピー開始 puts the
// same tunes into its game.
TEST(RealExe, ASetIsKeptOpenedAgainAndSharedWithAFriend) {
    RealExe mine{kListFile}, friends{kListFile};
    const std::string music = mine.root / "曲", zip = mine.root / "夏.zip";
    MakeFolder(music);
    std::map<std::string, std::string> tunes = {{"a.mp3", Music("tune a")}, {"b.mp3", Music("b")}};
    for (const auto& [name, bytes] : tunes) WriteBytes(music + "\\" + name, bytes);
    for (RealExe* exe : {&mine, &friends}) {
        MakeFolder(exe->root / "bgm");
        WriteBytes(exe->ini, "[user]\r\nlist1clk=1\r\n[copysaki]\r\nPellamor.lst=" +
                                 exe->root / "bgm" + "\r\n");
    }
    // The sets' dialog (opened now unless `open` is off): its button `caption` pressed;
    // for 開く and 閉じる, waited until it has gone.
    auto sets = [](Driven& at, const std::string& caption, bool open = true) {
        if (open) at.Press("セット");
        Driven dialog{at.exe, at.exe.WaitFor(L"TFormSets")};
        ASSERT_TRUE(dialog.window) << "no sets dialog";
        dialog.Press(caption);
        if (caption == "開く" || caption == "閉じる")
            EXPECT_TRUE(Until([&] { return !IsWindow(dialog.window); }));
    };
    ASSERT_TRUE(mine.Start(music));
    Driven me{mine, mine.WaitFor(L"TFormMain")};
    me.Pick("a.mp3");
    me.Pick("b.mp3");
    sets(me, "今の割り当てを保存");
    Driven prompt{mine, mine.WaitFor(L"TFormSetName")};
    ASSERT_TRUE(prompt.window) << "no name prompt";
    SendMessageW(ChildOf(prompt.window, L"Edit", ""), WM_SETTEXT, 0,
                 reinterpret_cast<LPARAM>(L"\u590F"));  // 夏
    prompt.Press("OK");
    ASSERT_TRUE(Until([&] { return !IsWindow(prompt.window); }));
    sets(me, "閉じる", false);
    PostMessageW(me.window, WM_CLOSE, 0, 0);
    ASSERT_TRUE(mine.Ended());
    CloseHandle(mine.process);

    // After a restart: the table is empty, the last table listed first, 夏 next.
    ASSERT_TRUE(mine.Start(music));
    me.window = mine.WaitFor(L"TFormMain");
    me.Press("セット");
    HWND list = ChildOf(mine.WaitFor(L"TFormSets"), L"ListBox", "");
    ASSERT_TRUE(list);
    PostMessageW(list, WM_KEYDOWN, VK_DOWN, 0);
    sets(me, "開く", false);  // and the dialog chooses it from now on
    me.Copy({music + "\\a.mp3", music + "\\b.mp3"});
    for (const char* slot : {"01.mp3", "03.mp3"})
        EXPECT_TRUE(ReadBytes(mine.root / ("bgm\\" + std::string(slot))) ==
                    tunes[slot[1] == '1' ? "a.mp3" : "b.mp3"]);
    sets(me, "書き出し");
    ASSERT_TRUE(me.FileBox(zip));
    EXPECT_NE(me.Box().find("を書き出しました"), std::string::npos);
    HWND dialog = mine.WaitFor(L"TFormSets");
    PostMessageW(ChildOf(dialog, L"ListBox", ""), WM_KEYDOWN, VK_ESCAPE, 0);  // Esc: 閉じる
    EXPECT_TRUE(Until([&] { return !IsWindow(dialog); }));
    for (const auto& [name, bytes] : tunes)
        ASSERT_TRUE(DeleteFileW(Wide(music + "\\" + name).c_str()));

    // A zip whose entry would leave the sets folder, written by Python's zipfile: refused,
    // nothing written.
    const std::string hostile = friends.root / "bad.zip";
    const std::string script = friends.root / "bad.py";
    WriteBytes(script,
               "import sys, zipfile\nz = zipfile.ZipFile(sys.argv[1], 'w')\n"
               "z.writestr('../evil.mp3', 'x')\nz.writestr('quaverix-set.txt', "
               "'QUAVERIX set 1\\tbad\\r\\n01.mp3\\t1\\t-\\t../evil.mp3\\r\\n')\n");
    ASSERT_TRUE(RunLinux(L"python3 '" + UnixPath(script) + L"' '" + UnixPath(hostile) + L"'"));
    ASSERT_TRUE(friends.Start());
    Driven friend_{friends, friends.WaitFor(L"TFormMain")};
    sets(friend_, "取り込み");
    ASSERT_TRUE(friend_.FileBox(hostile));
    EXPECT_NE(friend_.Box().find("はセットのフォルダの外を指しているため"), std::string::npos);
    EXPECT_FALSE(Exists(friends.root / "evil.mp3"));
    EXPECT_FALSE(Exists(friends.root / "sets\\bad"));
    sets(friend_, "取り込み", false);
    ASSERT_TRUE(friend_.FileBox(zip));
    EXPECT_NE(friend_.Box().find("セット「夏」を取り込みました。"), std::string::npos);
    dialog = friends.WaitFor(L"TFormSets");
    list = ChildOf(dialog, L"ListBox", "");
    PostClick(list, 8, 4);  // the set, and the focus
    PostMessageW(list, WM_KEYDOWN, VK_RETURN, 0);  // Enter: 開く
    EXPECT_TRUE(Until([&] { return !IsWindow(dialog); }));
    const std::string unpacked = friends.root / "sets\\夏";
    friend_.Copy({unpacked + "\\a.mp3", unpacked + "\\b.mp3"});
    EXPECT_TRUE(ReadBytes(friends.root / "bgm\\01.mp3") == tunes["a.mp3"]);
    EXPECT_TRUE(ReadBytes(friends.root / "bgm\\03.mp3") == tunes["b.mp3"]);
    PostMessageW(friend_.window, WM_CLOSE, 0, 0);
    EXPECT_TRUE(friends.Ended());
}
