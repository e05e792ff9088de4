// Applying the slot table on the real window: the batch file run by cmd.exe, and the
// direct copy, both on real files.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "platform/text/Cp932.h"
#include "platform/win32/Wide.h"
#include "slots/Slots.h"
#include "support/RealForm.h"

using namespace wintest;

namespace {

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
    SendMessageW(f.H(button), BM_CLICK, 0, 0);
    f.Pump();
}

DWORD AttrOf(const std::string& path) { return GetFileAttributesW(Wide(path).c_str()); }

// Music-like bytes that a text-mode copy would not carry over whole.
std::string Music(const std::string& tag) {
    return std::string("ID3\x04\0\0\x1A\r\n\x83\x5C", 11) + tag + std::string(3, '\0');
}

// Runs `cmd.exe /c "<bat>"` in `folder` and waits for it; its output goes to `log`.
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
        if (WaitForSingleObject(pi.hProcess, 60000) != WAIT_OBJECT_0) TerminateProcess(pi.hProcess, 1);
        GetExitCodeProcess(pi.hProcess, &code);
        CloseHandle(pi.hThread);
        CloseHandle(pi.hProcess);
    }
    CloseHandle(out);
    CloseHandle(in);
    return code;
}

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
        ASSERT_TRUE(WriteBytes(s.path, Music(s.slot))) << text::ToUtf8(s.path);
        Assign(f, s.line, s.path);
    }
    Assign(f, 5, "ab");  // too short to count: no lines
    // Targets already there: a plain one, and a read-only one that only "del /f" removes.
    WriteBytes(dest + "\\01.mp3", "old");
    WriteBytes(dest + "\\08.mp3", "old");
    SetFileAttributesW(Wide(dest + "\\08.mp3").c_str(), FILE_ATTRIBUTE_READONLY);

    f.form->DelReadOnly = true;
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
        EXPECT_EQ(ReadBytes(dest + "\\" + s.slot), Music(s.slot))
            << s.slot << " from " << text::ToUtf8(s.path) << "\n" << log;
        EXPECT_EQ(ReadBytes(s.path), Music(s.slot));
    }
    EXPECT_FALSE(Exists(dest + "\\09.mp3"));
    EXPECT_FALSE(Exists(dest + "\\11.mp3"));
}

TEST(BatchFile, ScriptOnDiskIsDelAndCopyLinesWithCrLf) {
    TempFolder root("qxbytes");
    RealForm f(ExeFolder(root), "C:\\");
    f.form->DelReadOnly = true;
    f.form->MemoCopysaki.SetText("C:\\Program Files\\PellamorOnline\\bgm");
    Assign(f, 0, "D:\\音楽\\50% ソ.mp3");
    Assign(f, 1, "ab");
    const std::int32_t before = f.form->Experience;
    f.system.saveAnswers.push_back(root / "one.bat");
    Click(f, f.form->BtnGo);
    EXPECT_EQ(ReadBytes(root / "one.bat"),
              "del /f \"C:\\Program Files\\PellamorOnline\\bgm\\01.mp3\"\r\n"
              "copy \"D:\\音楽\\50%% ソ.mp3\" "
              "\"C:\\Program Files\\PellamorOnline\\bgm\\01.mp3\"\r\n");
    EXPECT_EQ(f.form->Experience, before + 3);
}

TEST(DirectCopy, ConfirmedRunReplacesPlainTargetsOnlyAndGoesOnPastFailures) {
    TempFolder root("qxcopy");
    RealForm f(ExeFolder(root), "C:\\");
    const std::string music = root / "曲 ソ表";
    MakeFolder(music);
    const std::string dest = root / "bgm 先";
    MakeFolder(dest);
    for (const char* name : {"a.mp3", "b.mp3", "c.mp3", "d.mp3"}) WriteBytes(music + "\\" + name, Music(name));
    Assign(f, 0, music + "\\a.mp3");     // plain target: replaced
    Assign(f, 1, music + "\\b.mp3");     // read-only target: kept
    Assign(f, 2, music + "\\c.mp3");     // hidden target: kept
    Assign(f, 3, music + "\\gone.mp3");  // missing source: passed over
    Assign(f, 4, music + "\\d.mp3");     // no target yet: created
    Assign(f, 6, "ab");                  // too short to count
    for (const char* name : {"01.mp3", "03.mp3", "05.mp3"}) WriteBytes(dest + "\\" + name, name);
    SetFileAttributesW(Wide(dest + "\\03.mp3").c_str(), FILE_ATTRIBUTE_READONLY);
    SetFileAttributesW(Wide(dest + "\\05.mp3").c_str(), FILE_ATTRIBUTE_HIDDEN);
    f.form->MemoCopysaki.SetText(dest);
    const std::int32_t before = f.form->Experience;

    // Cancelled: not a byte moves, the counter stays.
    f.system.boxes.clear();
    f.system.boxAnswers = {sys::BoxResult::Cancel};
    Click(f, f.form->BtnCopyGo);
    ASSERT_EQ(f.system.boxes.size(), 1u);
    EXPECT_EQ(f.system.boxes[0].kind, sys::BoxKind::Confirm);
    EXPECT_EQ(ReadBytes(dest + "\\01.mp3"), "01.mp3");
    EXPECT_FALSE(Exists(dest + "\\09.mp3"));
    EXPECT_EQ(f.form->Experience, before);

    // Confirmed.
    f.system.boxes.clear();
    Click(f, f.form->BtnCopyGo);
    ASSERT_EQ(f.system.boxes.size(), 6u);
    EXPECT_EQ(f.system.boxes[0].kind, sys::BoxKind::Confirm);
    EXPECT_EQ(f.system.boxes[0].caption, "確認");
    const char* const copied[][2] = {{"a.mp3", "01.mp3"}, {"b.mp3", "03.mp3"}, {"c.mp3", "05.mp3"},
                                     {"gone.mp3", "08.mp3"}, {"d.mp3", "09.mp3"}};
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
    EXPECT_EQ(f.form->Experience, before + 2);
    EXPECT_EQ(f.form->Caption(), f.form->SoftName);
    EXPECT_EQ(win32::WindowTextW(f.Handle()), Wide(f.form->SoftName));
}
