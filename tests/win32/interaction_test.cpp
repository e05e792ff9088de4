// The player's hands on the real window: mouse presses and keys on the file list, the
// folder list opening folders, the settings tab's radio buttons, the "→" button, and the
// shell really starting a stand-in player (fake_player.exe, built beside this test).
#include <gtest/gtest.h>
#include <windows.h>
#include <commctrl.h>
#include <commdlg.h>
#include <shlobj.h>

#include <atomic>
#include <cstring>
#include <functional>
#include <thread>

#include "platform/win32/Wide.h"
#include "support/RealForm.h"

using namespace wintest;

namespace {

const char kListFile[] =
    "[mp3]\r\nnametips=01.mp3=タイトル#03.mp3=町#Msg_NewMsg.wav=メッセージ\r\n"
    "mask=*.mp3;*.qxtune\r\nnumber=3\r\n";

// Blanks and double-byte characters in both the folder and the file name.
const char kMusic[] = "私の 音楽";
const char kDawn[] = "夜明け の街.mp3";
// What the tip says of the test's music (Mp3Bytes: six frames of 128 kbit/s).
const std::string kMp3Line = "MP3 44.1kHz ステレオ 128kbps 0:01";

std::wstring FromUtf8(const std::string& s) {
    int n = MultiByteToWideChar(CP_UTF8, 0, s.data(), static_cast<int>(s.size()), nullptr, 0);
    std::wstring out(static_cast<std::size_t>(n), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, s.data(), static_cast<int>(s.size()), out.data(), n);
    return out;
}

std::string PlayerPath() {
    wchar_t self[MAX_PATH];
    std::wstring p(self, GetModuleFileNameW(nullptr, self, MAX_PATH));
    return win32::A(p.substr(0, p.find_last_of(L'\\') + 1) + L"fake_player.exe");
}

// One start of the stand-in player: its command line and its arguments.
struct Play {
    std::wstring cmd;
    std::vector<std::wstring> args;
};

std::vector<Play> Plays(const std::string& file) {
    std::vector<Play> done;
    Play cur;
    std::string all = ReadBytes(file);
    std::size_t at = 0;
    while (at < all.size()) {
        std::size_t end = all.find('\n', at);
        if (end == std::string::npos) break;  // a record still being written
        std::string line = all.substr(at, end - at);
        at = end + 1;
        if (line.rfind("cmd=", 0) == 0) cur = Play{FromUtf8(line.substr(4)), {}};
        if (line.rfind("arg=", 0) == 0) cur.args.push_back(FromUtf8(line.substr(4)));
        if (line == "end") done.push_back(cur);
    }
    return done;
}

// The shell does not wait for the player: wait for its record ourselves.
std::vector<Play> WaitPlays(const std::string& file, std::size_t n, DWORD ms = 15000) {
    DWORD start = GetTickCount();
    for (;;) {
        std::vector<Play> p = Plays(file);
        if (p.size() >= n || GetTickCount() - start > ms) return p;
        Sleep(50);
    }
}

// A first start (default actions) with the lists in the music folder, playing with the
// stand-in player through the template "/x [FileName] /y".
struct Desk {
    TempFolder exe{"ia"};
    std::string music = exe / kMusic;
    std::string out = exe / "plays.txt";
    std::unique_ptr<RealForm> f;
    explicit Desk(const std::vector<std::string>& files = {"a.mp3", "b.mp3", "c.mp3", kDawn},
                  const std::vector<std::string>& folders = {}) {
        WriteBytes(exe / "Pellamor.lst", kListFile);
        MakeFolder(music);
        for (const std::string& n : folders) MakeFolder(music + "\\" + n);
        for (const std::string& n : files) WriteBytes(music + "\\" + n, Mp3Bytes(n));
        SetEnvironmentVariableW(L"QX_PLAYER_OUT", Wide(out).c_str());
        f = std::make_unique<RealForm>(exe.Path() + "\\", music);
        form().Settings.Mp3Play = 2;
        form().Settings.Mp3Tool = PlayerPath();
        form().Settings.Mp3Line = "/x [FileName] /y";
    }
    ~Desk() {
        f.reset();
        Sleep(300);  // let a player that is still ending leave the folder
        wchar_t temp[MAX_PATH + 1];
        GetTempPathW(MAX_PATH + 1, temp);
        SetCurrentDirectoryW(temp);
    }
    TFormMain& form() { return *f->form; }
    HWND H(const ui::Control& c) { return f->H(c); }
    std::string Path(const std::string& name) const { return music + "\\" + name; }
    int Item(const std::string& name) {
        const auto& items = form().FilList.Items();
        for (std::size_t i = 0; i < items.size(); ++i) {
            if (Cp(items[i]) == name) return static_cast<int>(i);
        }
        ADD_FAILURE() << "not listed: " << name;
        return 0;
    }
    std::string Slot(int i) { return form().ValListMp3.Value(i); }
};

// A press and its release at the middle of a list line, with Ctrl and Alt as given.
void Press(RealForm& f, HWND list, int item, UINT down, WPARAM keys = 0, bool alt = false) {
    const bool shift = (keys & MK_SHIFT) != 0;
    RECT r{};
    SendMessageW(list, LB_GETITEMRECT, item, reinterpret_cast<LPARAM>(&r));
    LPARAM at = MAKELPARAM((r.left + r.right) / 2, (r.top + r.bottom) / 2);
    BYTE state[256], saved[256];
    GetKeyboardState(state);
    memcpy(saved, state, sizeof state);
    state[VK_MENU] = alt ? 0x80 : 0;
    state[VK_CONTROL] = (keys & MK_CONTROL) ? 0x80 : 0;
    state[VK_SHIFT] = shift ? 0x80 : 0;
    SetKeyboardState(state);
    UINT up = down + 1;  // WM_xBUTTONUP follows its WM_xBUTTONDOWN
    WPARAM button = down == WM_LBUTTONDOWN   ? MK_LBUTTON
                    : down == WM_RBUTTONDOWN ? MK_RBUTTON
                                             : MK_MBUTTON;
    PostMessageW(list, down, keys | button, at);
    PostMessageW(list, up, keys, at);
    f.Pump();
    SetKeyboardState(saved);
}

void DoubleClick(RealForm& f, HWND list, int item) {
    RECT r{};
    SendMessageW(list, LB_GETITEMRECT, item, reinterpret_cast<LPARAM>(&r));
    LPARAM at = MAKELPARAM((r.left + r.right) / 2, (r.top + r.bottom) / 2);
    PostMessageW(list, WM_LBUTTONDOWN, MK_LBUTTON, at);
    PostMessageW(list, WM_LBUTTONUP, 0, at);
    PostMessageW(list, WM_LBUTTONDBLCLK, MK_LBUTTON, at);
    PostMessageW(list, WM_LBUTTONUP, 0, at);
    f.Pump();
}

std::string TextOf(HWND h) { return win32::A(win32::WindowTextW(h)); }

// Serves the window's messages until `done` holds; 15 s at most, against a hang only.
bool Serve(RealForm& f, const std::function<bool()>& done) {
    for (int i = 0; i < 600 && !done(); ++i) {
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 25, QS_ALLINPUT);
        f.Pump();
    }
    return done();
}

std::vector<HWND> RadioButtons(HWND group) {
    std::vector<HWND> out;
    for (HWND c = GetWindow(group, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) {
        if ((GetWindowLongW(c, GWL_STYLE) & BS_TYPEMASK) == BS_RADIOBUTTON) out.push_back(c);
    }
    return out;
}

// The grid's own window: the selected line and the text of a value cell.
int GridSelected(HWND grid) { return ListView_GetNextItem(grid, -1, LVNI_SELECTED); }
// A mouse click on a line of the grid, on its name.
void ClickRow(RealForm& f, HWND grid, int item) {
    RECT r{};
    ListView_GetItemRect(grid, item, &r, LVIR_BOUNDS);
    LPARAM at = MAKELPARAM(r.left + 8, (r.top + r.bottom) / 2);
    PostMessageW(grid, WM_LBUTTONDOWN, MK_LBUTTON, at);
    PostMessageW(grid, WM_LBUTTONUP, 0, at);
    f.Pump();
}
std::wstring GridValue(HWND grid, int item) {
    wchar_t text[512] = {};
    ListView_GetItemText(grid, item, 1, text, 512);
    return text;
}

// Closes, and notes, any dialog box of this process while it lives: the shell shows one
// of its own when it cannot open what it was given, and nobody would answer it.
class BoxWatch {
public:
    BoxWatch()
        : thread_([this] {
              while (!stop_) {
                  EnumWindows(Close, reinterpret_cast<LPARAM>(this));
                  Sleep(50);
              }
          }) {}
    ~BoxWatch() {
        stop_ = true;
        thread_.join();
    }
    std::wstring Seen() { return seen_ ? L"a dialog box came up" : L""; }

private:
    static BOOL CALLBACK Close(HWND h, LPARAM self) {
        DWORD pid = 0;
        GetWindowThreadProcessId(h, &pid);
        wchar_t cls[16] = {};
        GetClassNameW(h, cls, 16);
        if (pid == GetCurrentProcessId() && IsWindowVisible(h) && wcscmp(cls, L"#32770") == 0) {
            reinterpret_cast<BoxWatch*>(self)->seen_ = true;
            PostMessageW(h, WM_CLOSE, 0, 0);
        }
        return TRUE;
    }
    std::atomic<bool> stop_{false};
    std::atomic<bool> seen_{false};
    std::thread thread_;
};

// A file type of the test's own, opened by the stand-in player with "%1" as one argument.
struct TuneType {
    explicit TuneType(const std::string& player) {
        Set(L".qxtune", L"QuaverixTest.Tune");
        Set(L"QuaverixTest.Tune\\shell\\open\\command", L"\"" + Wide(player) + L"\" \"%1\"");
    }
    ~TuneType() {
        RegDeleteTreeW(HKEY_CLASSES_ROOT, L".qxtune");
        RegDeleteTreeW(HKEY_CLASSES_ROOT, L"QuaverixTest.Tune");
    }
    static void Set(const wchar_t* key, const std::wstring& value) {
        HKEY k = nullptr;
        if (RegCreateKeyExW(HKEY_CLASSES_ROOT, key, 0, nullptr, 0, KEY_WRITE, nullptr, &k,
                            nullptr) == ERROR_SUCCESS) {
            RegSetValueExW(k, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                           static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
            RegCloseKey(k);
        }
    }
};

}  // namespace

TEST(FileListInput, EveryGestureWithTheDefaultActions) {
    Desk d;
    TFormMain& m = d.form();
    ASSERT_EQ(m.Settings.List1Clk, 0);
    ASSERT_EQ(m.Settings.List3Clk, 2);
    ASSERT_EQ(m.Settings.List4Clk, 3);
    HWND list = d.H(m.FilList);
    HWND tips = d.H(m.LblMp3Tips);
    int a = d.Item("a.mp3"), b = d.Item("b.mp3"), c = d.Item("c.mp3");

    // Plain click: registered into row 1, the row stays, nothing plays.
    Press(*d.f, list, a, WM_LBUTTONDOWN);
    EXPECT_EQ(m.FilList.ItemIndex(), a);
    EXPECT_EQ(d.Slot(0), d.Path("a.mp3"));
    EXPECT_EQ(m.ValListMp3.Row(), 1);
    EXPECT_EQ(GridValue(d.H(m.ValListMp3), 0), Wide(d.Path("a.mp3")));

    // Ctrl-click: the file under the pointer is registered and played.
    Press(*d.f, list, b, WM_LBUTTONDOWN, MK_CONTROL);
    EXPECT_EQ(d.Slot(0), d.Path("b.mp3"));
    std::vector<Play> plays = WaitPlays(d.out, 1);
    ASSERT_EQ(plays.size(), 1u);
    ASSERT_EQ(plays[0].args.size(), 4u);
    EXPECT_EQ(plays[0].args[2], Wide(d.Path("b.mp3")));

    // Right press: the next row, its tip, and the list's selection left alone.
    Press(*d.f, list, c, WM_RBUTTONDOWN);
    EXPECT_EQ(m.ValListMp3.Row(), 2);
    EXPECT_EQ(m.LblMp3Tips.Caption(), "03.mp3 - 町");
    EXPECT_EQ(TextOf(tips), "03.mp3 - 町");
    EXPECT_EQ(m.FilList.ItemIndex(), b);
    EXPECT_EQ(SendMessageW(list, LB_GETCURSEL, 0, 0), b);
    EXPECT_EQ(GridSelected(d.H(m.ValListMp3)), 1);

    // Alt-click: plays the pressed file; as a click of the list it registers it too.
    Press(*d.f, list, c, WM_LBUTTONDOWN, 0, true);
    EXPECT_EQ(d.Slot(1), d.Path("c.mp3"));
    EXPECT_EQ(d.Slot(0), d.Path("b.mp3"));
    plays = WaitPlays(d.out, 2);
    ASSERT_EQ(plays.size(), 2u);
    ASSERT_EQ(plays[1].args.size(), 4u);
    EXPECT_EQ(plays[1].args[2], Wide(d.Path("c.mp3")));

    // Middle press on another line: plays the selected file, selects nothing.
    Press(*d.f, list, a, WM_MBUTTONDOWN);
    EXPECT_EQ(m.FilList.ItemIndex(), c);
    EXPECT_EQ(SendMessageW(list, LB_GETCURSEL, 0, 0), c);
    plays = WaitPlays(d.out, 3);
    ASSERT_EQ(plays.size(), 3u);
    ASSERT_EQ(plays[2].args.size(), 4u);
    EXPECT_EQ(plays[2].args[2], Wide(d.Path("c.mp3")));
    EXPECT_EQ(d.Slot(1), d.Path("c.mp3"));

    // Right presses to the last slot, then round to the first.
    Press(*d.f, list, a, WM_RBUTTONDOWN);
    EXPECT_EQ(m.ValListMp3.Row(), 3);
    EXPECT_EQ(TextOf(tips), "Msg_NewMsg.wav - メッセージ");
    Press(*d.f, list, a, WM_RBUTTONDOWN);
    EXPECT_EQ(m.ValListMp3.Row(), 1);
    // A row with a file shows what the file is under its tip.
    EXPECT_EQ(m.LblMp3Tips.Caption(), "01.mp3 - タイトル\r\n" + kMp3Line);
    EXPECT_EQ(TextOf(tips), "01.mp3 - タイトル\r\n" + kMp3Line);
    EXPECT_EQ(GridSelected(d.H(m.ValListMp3)), 0);

    // The arrow key in the list selects the next file, which is a click: registered.
    SetFocus(list);
    d.f->Key(VK_DOWN);
    ASSERT_EQ(m.FilList.ItemIndex(), c + 1);
    EXPECT_EQ(d.Slot(0), d.Path(Cp(m.FilList.Items()[static_cast<std::size_t>(c + 1)])));
    EXPECT_EQ(m.ValListMp3.Row(), 1);

    // Neither the plain click, the right presses nor the key played anything.
    Sleep(1500);
    EXPECT_EQ(Plays(d.out).size(), 3u);
    EXPECT_TRUE(d.f->system.boxes.empty());
}

TEST(Playback, TheShellHandsThePlayerTheQuotedPathAsOneArgument) {
    Desk d({kDawn, "夜明け の街.qxtune"});
    TFormMain& m = d.form();
    HWND list = d.H(m.FilList);
    const std::wstring dawn = Wide(d.Path(kDawn));

    // The player through the template: click the file, then "再生".
    m.Settings.List1Clk = 4;
    Press(*d.f, list, d.Item(kDawn), WM_LBUTTONDOWN);
    ASSERT_EQ(m.FilList.FileName(), d.Path(kDawn));
    {
        BoxWatch watch;
        SendMessageW(d.H(m.Button1), BM_CLICK, 0, 0);
        d.f->Pump();
        std::vector<Play> plays = WaitPlays(d.out, 1);
        ASSERT_EQ(plays.size(), 1u) << "the player did not start";
        const Play& p = plays[0];
        ASSERT_EQ(p.args.size(), 4u) << std::string(win32::A(p.cmd));
        EXPECT_EQ(p.args[0], Wide(PlayerPath()));
        EXPECT_EQ(p.args[1], L"/x");
        EXPECT_EQ(p.args[2], dawn);
        EXPECT_EQ(p.args[3], L"/y");
        const std::wstring tail = L" /x \"" + dawn + L"\" /y";
        ASSERT_GE(p.cmd.size(), tail.size());
        EXPECT_EQ(p.cmd.substr(p.cmd.size() - tail.size()), tail);
        EXPECT_EQ(watch.Seen(), L"");
    }

    // By association: the shell gets the quoted path as the file and opens it.
    TuneType type(PlayerPath());
    m.Settings.Mp3Play = 1;
    Press(*d.f, list, d.Item("夜明け の街.qxtune"), WM_LBUTTONDOWN);
    const std::wstring tune = Wide(d.Path("夜明け の街.qxtune"));
    {
        BoxWatch watch;
        Press(*d.f, list, m.FilList.ItemIndex(), WM_MBUTTONDOWN);
        std::vector<Play> plays = WaitPlays(d.out, 2);
        ASSERT_EQ(plays.size(), 2u)
            << "nothing opened the file; " << std::string(win32::A(watch.Seen()));
        ASSERT_EQ(plays[1].args.size(), 2u) << std::string(win32::A(plays[1].cmd));
        EXPECT_EQ(plays[1].args[1], tune);
        EXPECT_EQ(watch.Seen(), L"");
    }
    EXPECT_TRUE(d.f->system.boxes.empty());
}

// A batch-file player is run by cmd.exe: a name it would act on is refused with a box and
// never reaches it, while a plain name reaches it (and the program it starts) as one
// argument, with the usual template "[FileName]" in quotes. Any other player takes every
// name whole, whichever way the template quotes it.
TEST(Playback, NoFileNameRunsACommandThroughABatchFilePlayer) {
    const std::string risky = "a & mkdir X & rem .mp3";
    const std::string odd = "b ^ 100% !x! & echo.mp3";
    const std::string plain = "c (1) 'x';,=.mp3";
    Desk d({risky, odd, plain});
    TFormMain& m = d.form();
    HWND list = d.H(m.FilList);
    const std::string bat = d.exe / "play.bat";
    ASSERT_TRUE(WriteBytes(bat, "@\"" + PlayerPath() + "\" %*\r\n"));
    wchar_t here[MAX_PATH];
    const std::string made = win32::A(std::wstring(here, GetCurrentDirectoryW(MAX_PATH, here))) +
                             "\\X";  // where "mkdir X" would make it
    m.Settings.List1Clk = 4;
    m.Settings.Mp3Tool = bat;
    m.Settings.Mp3Line = "\"[FileName]\"";
    auto play = [&](const std::string& name) {
        Press(*d.f, list, d.Item(name), WM_LBUTTONDOWN);
        SendMessageW(d.H(m.Button1), BM_CLICK, 0, 0);
        d.f->Pump();
    };

    BoxWatch watch;
    for (const std::string& name : {risky, odd}) {
        d.f->system.boxes.clear();
        play(name);
        ASSERT_EQ(d.f->system.boxes.size(), 1u) << name;
        EXPECT_EQ(d.f->system.boxes[0].kind, sys::BoxKind::Warning);
        EXPECT_EQ(d.f->system.boxes[0].caption, "QUAVERIX");
        EXPECT_NE(d.f->system.boxes[0].text.find(d.Path(name)), std::string::npos);
    }
    d.f->system.boxes.clear();
    play(plain);
    std::vector<Play> plays = WaitPlays(d.out, 1);
    ASSERT_EQ(plays.size(), 1u) << "the batch file did not start the player";
    ASSERT_EQ(plays[0].args.size(), 2u) << std::string(win32::A(plays[0].cmd));
    EXPECT_EQ(plays[0].args[1], Wide(d.Path(plain)));
    EXPECT_FALSE(Exists(made));
    EXPECT_TRUE(d.f->system.boxes.empty());

    // The stand-in player itself, with the path in the template's quotes or in its own.
    m.Settings.Mp3Tool = PlayerPath();
    std::size_t n = 1;
    for (const std::string line : {"\"[FileName]\"", "[FileName]", "-o=\"[FileName]\""}) {
        m.Settings.Mp3Line = line;
        for (const std::string& name : {risky, odd}) {
            SCOPED_TRACE(line + " " + name);
            play(name);
            plays = WaitPlays(d.out, ++n);
            ASSERT_EQ(plays.size(), n);
            ASSERT_EQ(plays.back().args.size(), 2u) << std::string(win32::A(plays.back().cmd));
            EXPECT_EQ(plays.back().args[1], (line[0] == '-' ? L"-o=" : L"") + Wide(d.Path(name)));
        }
    }
    EXPECT_FALSE(Exists(made));
    EXPECT_TRUE(d.f->system.boxes.empty());
    EXPECT_EQ(watch.Seen(), L"");
}

TEST(SettingsTab, StepDownChosenOnTheRadioButtonsFillsTheSlotsInTurn) {
    Desk d;
    TFormMain& m = d.form();
    d.f->ClickTab(1);
    ASSERT_TRUE(IsWindowVisible(d.H(m.Panel2)));
    std::vector<HWND> buttons = RadioButtons(d.H(m.RadioGFilListOneClk));
    ASSERT_EQ(buttons.size(), 5u);
    EXPECT_EQ(TextOf(buttons[1]), "登録とフォーカス1段下げ");
    EXPECT_EQ(SendMessageW(buttons[0], BM_GETCHECK, 0, 0), BST_CHECKED);

    SendMessageW(buttons[1], BM_CLICK, 0, 0);
    d.f->Pump();
    EXPECT_EQ(SendMessageW(buttons[1], BM_GETCHECK, 0, 0), BST_CHECKED);
    EXPECT_EQ(SendMessageW(buttons[0], BM_GETCHECK, 0, 0), BST_UNCHECKED);
    EXPECT_EQ(m.Settings.List1Clk, 0);  // not before the main tab is back

    d.f->ClickTab(0);
    ASSERT_TRUE(IsWindowVisible(d.H(m.Panel1)));
    EXPECT_EQ(m.Settings.List1Clk, 1);
    EXPECT_EQ(m.Settings.Mp3Play, 2);  // the rest comes back as it went

    // Each click fills the current slot and steps down; the last slot keeps the row.
    HWND list = d.H(m.FilList), grid = d.H(m.ValListMp3);
    const char* files[] = {"a.mp3", "b.mp3", "c.mp3"};
    const int rowsAfter[] = {2, 3, 3};
    const std::string tipsAfter[] = {
        "03.mp3 - 町", "Msg_NewMsg.wav - メッセージ",
        "Msg_NewMsg.wav - メッセージ\r\nMP3 → WAVE (PCM) に変換"};  // 中…, or done already
    for (int i = 0; i < 3; ++i) {
        Press(*d.f, list, d.Item(files[i]), WM_LBUTTONDOWN);
        EXPECT_EQ(d.Slot(i), d.Path(files[i]));
        EXPECT_EQ(GridValue(grid, i), Wide(d.Path(files[i])));
        EXPECT_EQ(m.ValListMp3.Row(), rowsAfter[i]);
        EXPECT_EQ(GridSelected(grid), rowsAfter[i] - 1);
        EXPECT_EQ(TextOf(d.H(m.LblMp3Tips)).substr(0, tipsAfter[i].size()), tipsAfter[i]);
    }
    EXPECT_TRUE(Serve(*d.f, [&] {
        return TextOf(d.H(m.LblMp3Tips)) == tipsAfter[2] + "してコピーします 0:01";
    })) << TextOf(d.H(m.LblMp3Tips));
    EXPECT_EQ(GetFocus(), list);  // the step down leaves the focus in the list
    EXPECT_TRUE(d.f->system.boxes.empty());
}

TEST(Browsing, OpeningFoldersOnTheRealListsAndTakingOneAsTheDestination) {
    // "ソ" and "表" end in the byte 0x5C, the backslash.
    Desk d({"a.mp3", "ソング\\表.mp3"}, {"ソング", "アルバム"});
    TFormMain& m = d.form();
    const std::string songs = d.music + "\\ソング";
    HWND dirs = d.H(m.DirList), files = d.H(m.FilList);

    auto line = [&](const std::string& path) {
        for (int i = 0; i < static_cast<int>(m.DirList.Items().size()); ++i) {
            if (m.DirList.PathOf(i) == path) return i;
        }
        ADD_FAILURE() << "no line for " << path;
        return 0;
    };

    // Double click on a subfolder's line: the folder opens, the file list follows.
    DoubleClick(*d.f, dirs, line(songs));
    EXPECT_EQ(m.DirList.Directory(), songs);
    EXPECT_EQ(m.FilList.Directory(), songs);
    ASSERT_EQ(Cp(m.FilList.Items()), std::vector<std::string>{"表.mp3"});
    EXPECT_EQ(SendMessageW(files, LB_GETCOUNT, 0, 0), 1);
    EXPECT_EQ(SendMessageW(dirs, LB_GETCURSEL, 0, 0), m.DirList.ItemIndex());
    Press(*d.f, files, 0, WM_LBUTTONDOWN);
    EXPECT_EQ(d.Slot(0), songs + "\\表.mp3");

    // Enter on the line above (the parent): back in the music folder.
    SetFocus(dirs);
    d.f->Key(VK_UP);
    EXPECT_EQ(m.DirList.Directory(), songs);  // moving the selection opens nothing
    d.f->Key(VK_RETURN);
    EXPECT_EQ(m.DirList.Directory(), d.music);
    EXPECT_EQ(Cp(m.FilList.Items()), std::vector<std::string>{"a.mp3"});
    EXPECT_EQ(SendMessageW(files, LB_GETCOUNT, 0, 0), 1);
    EXPECT_TRUE(d.f->system.boxes.empty());

    // "→": the folder list's folder becomes the destination, on screen too.
    HWND dest = d.H(m.MemoCopysaki);
    SetWindowTextW(dest, L"D:\\typed");
    SendMessageW(d.H(m.BtnCopySakiCopy), BM_CLICK, 0, 0);
    d.f->Pump();
    EXPECT_EQ(m.MemoCopysaki.Text(), d.music);
    EXPECT_EQ(TextOf(dest), d.music);

    // The drive root keeps its backslash.
    DoubleClick(*d.f, dirs, 0);
    const std::string root = d.music.substr(0, 3);
    EXPECT_EQ(m.DirList.Directory(), root);
    EXPECT_EQ(m.FilList.Directory(), root);
    SendMessageW(d.H(m.BtnCopySakiCopy), BM_CLICK, 0, 0);
    d.f->Pump();
    EXPECT_EQ(TextOf(dest), root);
}

TEST(Gestures, GridRowsTypingDoubleClickAndPressesWithTwoModifiers) {
    Desk d;
    TFormMain& m = d.form();
    HWND grid = d.H(m.ValListMp3), list = d.H(m.FilList);
    int clicks = 0;
    m.ValListMp3.OnClick = [&](ui::Control* s) {
        ++clicks;
        m.ValListMp3Click(s);
    };
    auto clickRow = [&](int item) { ClickRow(*d.f, grid, item); };
    // A mouse click on another row raises the click and shows the tip; on the current row, nothing.
    clickRow(1);
    EXPECT_EQ(m.ValListMp3.Row(), 2);
    EXPECT_EQ(clicks, 1);
    EXPECT_EQ(TextOf(d.H(m.LblMp3Tips)), "03.mp3 - 町");
    clickRow(1);
    EXPECT_EQ(clicks, 1);
    // The arrow key on the grid moves the row and raises the click too.
    SetFocus(grid);
    d.f->Key(VK_DOWN);
    EXPECT_EQ(m.ValListMp3.Row(), 3);
    EXPECT_EQ(clicks, 2);
    EXPECT_EQ(m.LblMp3Tips.Caption(), "Msg_NewMsg.wav - メッセージ");
    // Typing into the value cell is the slot's value.
    HWND editor = GetFocus();
    ASSERT_NE(editor, grid);
    d.f->Key('Q');
    d.f->Key('9');
    EXPECT_EQ(d.Slot(2), "q9");
    EXPECT_EQ(GridValue(grid, 2), L"q9");

    // A press with Shift, or with two modifier keys, runs no Alt or Ctrl action: only the
    // list's own click (registering) follows.
    int a = d.Item("a.mp3"), b = d.Item("b.mp3");
    struct Mods {
        const char* name;
        WPARAM keys;
        bool alt;
    };
    for (const Mods& mods : {Mods{"Shift", MK_SHIFT, false}, Mods{"Alt+Shift", MK_SHIFT, true},
                             Mods{"Ctrl+Alt", MK_CONTROL, true}}) {
        SCOPED_TRACE(mods.name);
        Press(*d.f, list, a, WM_LBUTTONDOWN);
        Press(*d.f, list, b, WM_LBUTTONDOWN, mods.keys, mods.alt);
        EXPECT_EQ(d.Slot(2), d.Path("b.mp3"));
    }
    // A real double click runs the double-click action (here: play).
    m.Settings.List2Clk = 2;
    DoubleClick(*d.f, list, a);
    std::vector<Play> plays = WaitPlays(d.out, 1);
    ASSERT_EQ(plays.size(), 1u);
    EXPECT_EQ(plays[0].args[2], Wide(d.Path("a.mp3")));
    Sleep(1000);
    EXPECT_EQ(Plays(d.out).size(), 1u) << "a press with two modifiers played";
}

namespace {

// Every visible dialog box of this thread, the newest first.
std::vector<HWND> Dialogs() {
    struct Each {
        static BOOL CALLBACK Add(HWND h, LPARAM out) {
            wchar_t cls[16] = {};
            GetClassNameW(h, cls, 16);
            if (IsWindowVisible(h) && wcscmp(cls, L"#32770") == 0) {
                reinterpret_cast<std::vector<HWND>*>(out)->push_back(h);
            }
            return TRUE;
        }
    };
    std::vector<HWND> out;
    EnumThreadWindows(GetCurrentThreadId(), Each::Add, reinterpret_cast<LPARAM>(&out));
    return out;
}

std::function<bool()> g_step;
void CALLBACK Step(HWND, UINT, UINT_PTR id, DWORD) {
    if (g_step && g_step()) {
        KillTimer(nullptr, id);
        g_step = nullptr;
    }
}

std::vector<std::wstring> ComboItems(HWND combo) {
    std::vector<std::wstring> out;
    int n = static_cast<int>(SendMessageW(combo, CB_GETCOUNT, 0, 0));
    for (int i = 0; i < n; ++i) {
        wchar_t text[256] = {};
        SendMessageW(combo, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(text));
        out.push_back(text);
    }
    return out;
}

// Types a file name into an open or save dialog and confirms it.
void Choose(HWND dialog, const std::wstring& name) {
    const int nameBoxes[] = {0x47c /* cmb13 */, 0x480 /* edt1 */};
    for (int id : nameBoxes) SetDlgItemTextW(dialog, id, name.c_str());
    PostMessageW(dialog, WM_COMMAND, IDOK, 0);
}

}  // namespace

TEST(Prompts, TheRealSaveAndOpenDialogs) {
    Desk d;
    TFormMain& m = d.form();
    d.f->system.realBoxes = true;
    const std::string bats = d.exe / "bats";
    MakeFolder(bats);
    m.Settings.BatHozonDir = bats;
    std::wstring title, folder;
    std::vector<std::wstring> filters;
    bool asked = false;
    int round = 0;
    g_step = [&] {
        std::vector<HWND> boxes = Dialogs();
        if (boxes.empty()) return false;
        HWND dialog = boxes.back();
        if (round == 0) {
            title = win32::WindowTextW(dialog);
            filters = ComboItems(GetDlgItem(dialog, 0x470));  // cmb1: the file types
            wchar_t path[MAX_PATH] = {};
            SendMessageW(dialog, CDM_GETFOLDERPATH, MAX_PATH, reinterpret_cast<LPARAM>(path));
            folder = path;
            Choose(dialog, L"out");  // no extension: the prompt adds ".bat"
            round = 1;
            return true;
        }
        return false;
    };
    SetTimer(nullptr, 0, 100, Step);
    SendMessageW(d.H(m.BtnGo), BM_CLICK, 0, 0);
    d.f->Pump();
    EXPECT_EQ(win32::A(title), ".batファイル名を指定");
    EXPECT_EQ(filters, std::vector<std::wstring>{L"All FIles (*.*)"});
    EXPECT_EQ(CompareStringOrdinal(folder.c_str(), -1, Wide(bats).c_str(), -1, TRUE), CSTR_EQUAL)
        << win32::A(folder);
    EXPECT_TRUE(Exists(bats + "\\out.bat"));

    // The same name again: the prompt asks before replacing the file.
    round = 0;
    g_step = [&] {
        std::vector<HWND> boxes = Dialogs();
        if (boxes.empty()) return false;
        if (round == 0) {
            Choose(boxes.back(), L"out.bat");
            round = 1;
            return false;
        }
        for (HWND b : boxes) {
            if (GetWindow(b, GW_OWNER) && GetDlgItem(b, IDYES)) {  // the question
                asked = true;
                PostMessageW(b, WM_COMMAND, IDYES, 0);
                return true;
            }
        }
        return false;
    };
    SetTimer(nullptr, 0, 100, Step);
    SendMessageW(d.H(m.BtnGo), BM_CLICK, 0, 0);
    d.f->Pump();
    EXPECT_TRUE(asked);

    // The player's browse dialog offers its three file types.
    d.f->ClickTab(1);
    filters.clear();
    g_step = [&] {
        std::vector<HWND> boxes = Dialogs();
        if (boxes.empty()) return false;
        filters = ComboItems(GetDlgItem(boxes.back(), 0x470));
        PostMessageW(boxes.back(), WM_COMMAND, IDCANCEL, 0);
        return true;
    };
    SetTimer(nullptr, 0, 100, Step);
    SendMessageW(d.H(m.Button2), BM_CLICK, 0, 0);
    d.f->Pump();
    EXPECT_EQ(filters, (std::vector<std::wstring>{Wide("実行ファイル(*.exe)"),
                                                  Wide("全てのファイル(*.*)"), Wide("顔(*.*)")}));
}

namespace {

// Drops `paths` onto the window as the shell does: WM_DROPFILES with a DROPFILES block,
// the point in the form's client coordinates.
void Drop(RealForm& f, HWND over, POINT inOver, const std::vector<std::wstring>& paths) {
    POINT at = inOver;
    MapWindowPoints(over, f.Handle(), &at, 1);
    std::wstring list;
    for (const std::wstring& p : paths) list += p + L'\0';
    list += L'\0';
    HGLOBAL h = GlobalAlloc(GHND, sizeof(DROPFILES) + list.size() * sizeof(wchar_t));
    auto* d = static_cast<DROPFILES*>(GlobalLock(h));
    d->pFiles = sizeof(DROPFILES);
    d->pt = at;
    d->fWide = TRUE;
    memcpy(reinterpret_cast<char*>(d) + sizeof(DROPFILES), list.data(),
           list.size() * sizeof(wchar_t));
    GlobalUnlock(h);
    PostMessageW(f.Handle(), WM_DROPFILES, reinterpret_cast<WPARAM>(h), 0);
    f.Pump();
}

POINT Middle(HWND h) {
    RECT r;
    GetClientRect(h, &r);
    return {r.right / 2, r.bottom / 2};
}

}  // namespace

TEST(DragAndDrop, MusicOntoRowsAFolderOntoTheDestinationAndTheFolderList) {
    Desk d({"a.mp3", "b.mp3", "c.mp3", "notes.txt"}, {"sub"});
    TFormMain& m = d.form();
    const std::wstring music = Wide(d.music);
    HANDLE h = CreateFileW((music + L"\\x\U0001F600.mp3").c_str(), GENERIC_WRITE, 0, nullptr,
                           CREATE_ALWAYS, 0, nullptr);
    CloseHandle(h);
    HWND grid = d.H(m.ValListMp3);
    RECT row{};
    ListView_GetItemRect(grid, 1, &row, LVIR_BOUNDS);
    const POINT onRow2{row.left + 20, (row.top + row.bottom) / 2};

    // Several files onto row 2: one after another from there, no wrap, the tip follows.
    Drop(*d.f, grid, onRow2,
         {music + L"\\x\U0001F600.mp3", music + L"\\notes.txt", music + L"\\b.mp3",
          music + L"\\c.mp3"});
    EXPECT_EQ(m.ValListMp3.Row(), 2);
    EXPECT_EQ(TextOf(d.H(m.LblMp3Tips)), "03.mp3 - 町\r\n空のファイルです");
    EXPECT_EQ(d.Slot(0), "");
    const std::string shortPath = d.Slot(1);
    EXPECT_NE(GetFileAttributesW(Wide(shortPath).c_str()), INVALID_FILE_ATTRIBUTES) << shortPath;
    EXPECT_EQ(d.Slot(2), d.Path("b.mp3"));
    // One file onto row 1; a folder onto the grid changes nothing.
    Drop(*d.f, grid, {onRow2.x, onRow2.y - (row.bottom - row.top)}, {music + L"\\a.mp3"});
    EXPECT_EQ(d.Slot(0), d.Path("a.mp3"));
    EXPECT_EQ(m.ValListMp3.Row(), 1);
    Drop(*d.f, grid, onRow2, {music + L"\\sub"});
    EXPECT_EQ(d.Slot(1), shortPath);

    // A folder onto the destination memo is the destination; a file changes nothing.
    HWND memo = d.H(m.MemoCopysaki);
    const std::string before = m.MemoCopysaki.Text();
    Drop(*d.f, memo, Middle(memo), {music + L"\\a.mp3"});
    EXPECT_EQ(m.MemoCopysaki.Text(), before);
    Drop(*d.f, memo, Middle(memo), {music + L"\\sub"});
    EXPECT_EQ(m.MemoCopysaki.Text(), d.music + "\\sub");
    EXPECT_EQ(TextOf(memo), d.music + "\\sub");

    // A folder onto the folder list opens it.
    HWND dirs = d.H(m.DirList);
    Drop(*d.f, dirs, Middle(dirs), {music + L"\\sub"});
    EXPECT_EQ(m.DirList.Directory(), d.music + "\\sub");
    EXPECT_TRUE(m.FilList.Items().empty());
    EXPECT_TRUE(d.f->system.boxes.empty());
}

namespace {

// Pixels of the warning colour (a strong red) in a row's value cell of the grid.
int WarningPixels(HWND grid, int item) {
    UpdateWindow(grid);
    RECT cell{};
    cell.top = 1;  // the value column
    cell.left = LVIR_BOUNDS;
    SendMessageW(grid, LVM_GETSUBITEMRECT, item, reinterpret_cast<LPARAM>(&cell));
    HDC dc = GetDC(grid);
    int found = 0;
    for (int y = cell.top; y < cell.bottom; ++y) {
        for (int x = cell.left; x < cell.right; ++x) {
            COLORREF c = GetPixel(dc, x, y);
            if (GetRValue(c) >= 0x90 && GetGValue(c) < 0x50 && GetBValue(c) < 0x50) ++found;
        }
    }
    ReleaseDC(grid, dc);
    return found;
}

}  // namespace

// An AAC file saved as "x.mp3" registered into 01.mp3 is converted: its row stays plain.
// A download cut short in 03.mp3 and a web page saved as "page.mp3" dropped onto the .wav
// slot cannot be used: each row is drawn in the warning colour, its tip says what the file
// is, and "コピー開始" first asks about both, in table order.
TEST(ContentCheck, FilesThatMayNotPlayAreMarkedToldAndAskedAbout) {
    Desk d({"tune.mp3"});
    TFormMain& m = d.form();
    ASSERT_TRUE(
        RunLinux(L"ffmpeg -loglevel error -f lavfi -i sine=frequency=440:duration=1 "
                 L"-c:a aac -f mp4 '" +
                 UnixPath(d.Path("x.mp3")) + L"'"));
    WriteBytes(d.Path("cut.mp3"), Mp3Bytes("cut") + std::string(4096, '\0'));
    WriteBytes(d.Path("page.mp3"), "<!DOCTYPE html><html><body>404</body></html>");
    m.DirList.UserOpen(0);  // the folder opened again lists the new file
    m.DirList.SetDirectory(d.music);
    HWND list = d.H(m.FilList), grid = d.H(m.ValListMp3), tips = d.H(m.LblMp3Tips);

    Press(*d.f, list, d.Item("x.mp3"), WM_LBUTTONDOWN);  // into 01.mp3
    EXPECT_TRUE(Serve(*d.f, [&] {
        return TextOf(tips) == "01.mp3 - タイトル\r\nM4A (AAC) → MP3 に変換してコピーします 0:01";
    })) << TextOf(tips);
    RECT row{};
    ListView_GetItemRect(grid, 2, &row, LVIR_BOUNDS);
    Drop(*d.f, grid, {row.left + 20, (row.top + row.bottom) / 2}, {Wide(d.Path("page.mp3"))});
    EXPECT_EQ(TextOf(tips),
              "Msg_NewMsg.wav - メッセージ\r\nWAVE ではありません: HTML のページです");
    m.ValListMp3.SetRow(2);
    Press(*d.f, list, d.Item("cut.mp3"), WM_LBUTTONDOWN);  // into 03.mp3
    EXPECT_EQ(TextOf(tips), "03.mp3 - 町\r\nMP3 44.1kHz ステレオ 128kbps (途中で切れています)");
    EXPECT_EQ(WarningPixels(grid, 0), 0);
    // The current row's value is shown by the cell's editor: in the warning colour too.
    EXPECT_GT(WarningPixels(grid, 1), 0);
    EXPECT_GT(WarningPixels(grid, 2), 0);

    d.f->system.boxAnswers = {sys::BoxResult::Cancel};
    SendMessageW(d.H(m.BtnCopyGo), BM_CLICK, 0, 0);
    d.f->Pump();
    ASSERT_EQ(d.f->system.boxes.size(), 1u);  // キャンセル: nothing more
    EXPECT_EQ(d.f->system.boxes[0].text,
              "次のファイルはゲームで再生できない形式の可能性があります。\r\n"
              "03.mp3: MP3 44.1kHz ステレオ 128kbps (途中で切れています)\r\n"
              "Msg_NewMsg.wav: WAVE ではありません: HTML のページです\r\n"
              "このまま続けますか？");
}

namespace {

// Measurements held up: each decoding off the window's thread waits until `Release`; one
// asked for on the window's thread is noted and not held, so a fault cannot hang the test.
struct Gate {
    HANDLE open = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    DWORD windowThread = GetCurrentThreadId();
    std::atomic<int> waiting{0};
    std::atomic<bool> onWindowThread{false};
    ~Gate() { CloseHandle(open); }
};

class GatedSystem : public win32::Win32System {
public:
    explicit GatedSystem(std::shared_ptr<Gate> gate) : gate_(std::move(gate)) {}
    bool DecodeAudio(const std::string& path, const sys::PcmSink& sink,
                     sys::FileError* why) override {
        if (GetCurrentThreadId() == gate_->windowThread) {
            gate_->onWindowThread = true;
        } else {
            ++gate_->waiting;
            WaitForSingleObject(gate_->open, INFINITE);
        }
        return Win32System::DecodeAudio(path, sink, why);
    }

private:
    std::shared_ptr<Gate> gate_;
};

// The form's background work done through a GatedSystem while this lives; the gate opened
// at its end, also when the test ends early.
struct Held {
    std::shared_ptr<Gate> gate = std::make_shared<Gate>();
    explicit Held(RealForm& f) {
        if (!f.app.backgroundRunner) {
            ADD_FAILURE() << "no background runner";
            return;
        }
        f.app.backgroundRunner = [runner = f.app.backgroundRunner,
                                  gate = gate](std::function<void(sys::System&)> job) {
            runner([job, gate](sys::System&) {
                GatedSystem gated(gate);
                job(gated);
            });
        };
    }
    ~Held() { SetEvent(gate->open); }
};

}  // namespace

// While a tune is being measured the window goes on taking the player's input: the tab
// strip and the slot table answer at once, コピー開始 waits telling so in the caption (元に戻す
// meanwhile is refused), and once the measurement ends the tip tells the difference and
// the copy is made.
TEST(MatchLoudness, TheWindowAnswersWhileATuneIsMeasured) {
    Desk d({"a.mp3"});
    TFormMain& m = d.form();
    ASSERT_EQ(m.Data().Folder(), d.exe.Path() + "\\");  // a cache of the test's own
    const std::string bgm = d.exe / "bgm";
    MakeFolder(bgm);
    auto tune = [](const std::string& path, const wchar_t* volume) {
        return RunLinux(
            L"ffmpeg -nostdin -v error -y -f lavfi -i sine=frequency=440:duration=3 "
            L"-af volume=" +
            std::wstring(volume) + L" -c:a libmp3lame -b:a 128k '" + UnixPath(path) + L"'");
    };
    ASSERT_TRUE(tune(bgm + "\\01.mp3", L"0.5"));
    ASSERT_TRUE(tune(d.Path("loud.mp3"), L"4"));
    m.DirList.UserOpen(0);  // the folder opened again lists the new file
    m.DirList.SetDirectory(d.music);
    m.MemoCopysaki.SetText(bgm);
    m.SetMatchLoudness(true);
    const Held held(*d.f);
    const std::shared_ptr<Gate>& gate = held.gate;
    HWND grid = d.H(m.ValListMp3), tips = d.H(m.LblMp3Tips);
    auto clickRow = [&](int item) { ClickRow(*d.f, grid, item); };

    Press(*d.f, d.H(m.FilList), d.Item("loud.mp3"), WM_LBUTTONDOWN);  // into 01.mp3
    ASSERT_TRUE(Serve(*d.f, [&] { return gate->waiting > 0; })) << "nothing measured";
    d.f->ClickTab(1);
    EXPECT_TRUE(IsWindowVisible(d.H(m.Panel2)));
    d.f->ClickTab(0);
    EXPECT_TRUE(IsWindowVisible(d.H(m.Panel1)));
    clickRow(1);
    EXPECT_EQ(TextOf(tips), "03.mp3 - 町");
    clickRow(0);
    EXPECT_EQ(TextOf(tips).find("ゲームの曲より"), std::string::npos) << TextOf(tips);
    int decodedHere = 0;  // the copy takes the measurements made: none on this thread
    d.f->system.onDecode = [&] { ++decodedHere; };
    SendMessageW(d.H(m.BtnCopyGo), BM_CLICK, 0, 0);
    d.f->Pump();
    EXPECT_EQ(TextOf(d.f->Handle()), "音量を測っています 0/1");
    EXPECT_EQ(d.f->system.boxes.size(), 1u);  // the question only: the copy waits
    EXPECT_EQ(gate->waiting, 1);  // still the first file's decoding
    // 元に戻す meanwhile is refused, saying so, and changes nothing; then the copy is made.
    const std::string game = ReadBytes(bgm + "\\01.mp3");
    d.f->ClickTab(1);
    SendMessageW(d.H(m.BtnRestore), BM_CLICK, 0, 0);
    d.f->Pump();
    ASSERT_EQ(d.f->system.boxes.size(), 2u);
    EXPECT_EQ(d.f->system.boxes[1].text.rfind("「コピー開始」が音量の測定を待っています。", 0), 0u);
    EXPECT_TRUE(ReadBytes(bgm + "\\01.mp3") == game);
    d.f->ClickTab(0);

    SetEvent(gate->open);
    EXPECT_TRUE(Serve(*d.f, [&] {
        return TextOf(tips).find("ゲームの曲より ") != std::string::npos;
    })) << TextOf(tips);
    EXPECT_NE(TextOf(tips).find("dB 大きい"), std::string::npos) << TextOf(tips);
    EXPECT_TRUE(Serve(*d.f, [&] { return d.f->system.boxes.size() >= 3; }));
    EXPECT_NE(TextOf(d.f->Handle()), "音量を測っています 0/1");
    const std::string copy = ReadBytes(bgm + "\\01.mp3");
    EXPECT_EQ(copy.size(), ReadBytes(d.Path("loud.mp3")).size());
    EXPECT_TRUE(copy != ReadBytes(d.Path("loud.mp3"))) << "copied as it is";
    for (const auto& box : d.f->system.boxes)
        EXPECT_EQ(box.text.find("音量を合わせられなかった"), std::string::npos) << box.text;
    EXPECT_FALSE(gate->onWindowThread || decodedHere) << "decoded on the window's thread";
}

// While a song is converted the window answers at once as well: the tab strip and the slot
// table take their clicks, and the conversion ends after, its tip saying so.
TEST(Convert, TheWindowAnswersWhileASongIsConverted) {
    Desk d({"a.mp3"});
    TFormMain& m = d.form();
    ASSERT_TRUE(RunLinux(L"ffmpeg -nostdin -v error -f lavfi -i sine=duration=1 -c:a flac '" +
                         UnixPath(d.Path("song.flac")) + L"'"));
    m.DirList.UserOpen(0);  // the folder opened again lists the new file
    m.DirList.SetDirectory(d.music);
    const Held held(*d.f);
    HWND grid = d.H(m.ValListMp3), tips = d.H(m.LblMp3Tips);

    Press(*d.f, d.H(m.FilList), d.Item("song.flac"), WM_LBUTTONDOWN);  // into 01.mp3
    ASSERT_TRUE(Serve(*d.f, [&] { return held.gate->waiting > 0; })) << "nothing converted";
    d.f->ClickTab(1);
    EXPECT_TRUE(IsWindowVisible(d.H(m.Panel2)));
    d.f->ClickTab(0);
    ClickRow(*d.f, grid, 1);
    EXPECT_EQ(TextOf(tips), "03.mp3 - 町");
    ClickRow(*d.f, grid, 0);
    EXPECT_EQ(TextOf(tips), "01.mp3 - タイトル\r\nFLAC → MP3 に変換中… 0:01");
    SetEvent(held.gate->open);
    EXPECT_TRUE(Serve(*d.f, [&] {
        return TextOf(tips) == "01.mp3 - タイトル\r\nFLAC → MP3 に変換してコピーします 0:01";
    })) << TextOf(tips);
    EXPECT_FALSE(held.gate->onWindowThread) << "decoded on the window's thread";
}
