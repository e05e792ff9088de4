// The main window on real controls: every control's window class, place, text, hint and
// visibility; the frame; the keyboard rules of each tab; every way of closing; an error
// at start-up; switching tabs from the strip itself.
#include <gtest/gtest.h>
#include <windows.h>
#include <commctrl.h>

#include <cmath>
#include <functional>
#include <map>

#include "platform/Error.h"
#include "platform/win32/Wide.h"
#include "support/RealExe.h"
#include "support/RealForm.h"

using namespace wintest;

namespace {

const char kListFile[] =
    "[mp3]\r\nnametips=01.mp3=タイトル#03.mp3=町#Msg_NewMsg.wav=メッセージ\r\n"
    "mask=*.mp3\r\nnumber=3\r\n";

// A first start: the exe folder holds the list file and no user.ini; the lists browse a
// folder of their own.
struct Window {
    TempFolder exe{"win"};
    std::unique_ptr<RealForm> f;
    explicit Window(const std::string& list = kListFile) {
        WriteBytes(exe / "Pellamor.lst", list);
        MakeFolder(exe / "music");
        f = std::make_unique<RealForm>(exe.Path() + "\\", exe / "music");
    }
    ~Window() {
        f.reset();
        wchar_t temp[MAX_PATH + 1];
        GetTempPathW(MAX_PATH + 1, temp);
        SetCurrentDirectoryW(temp);  // the folder in use could not be removed
    }
    TFormMain& form() { return *f->form; }
    RealForm* operator->() { return f.get(); }
};

bool OwnVisible(HWND h) { return (GetWindowLongW(h, GWL_STYLE) & WS_VISIBLE) != 0; }

// The window's rectangle in its parent's client coordinates.
RECT PlaceIn(HWND h) {
    RECT r;
    GetWindowRect(h, &r);
    MapWindowPoints(nullptr, GetParent(h), reinterpret_cast<POINT*>(&r), 2);
    return r;
}

bool At96Dpi() {
    HDC dc = GetDC(nullptr);
    int dpi = GetDeviceCaps(dc, LOGPIXELSY);
    ReleaseDC(nullptr, dc);
    return dpi == 96;
}

// Every tool of the tooltip: the window it belongs to and its text.
std::map<HWND, std::string> Tips(HWND tooltip) {
    std::map<HWND, std::string> out;
    int n = static_cast<int>(SendMessageW(tooltip, TTM_GETTOOLCOUNT, 0, 0));
    for (int i = 0; i < n; ++i) {
        wchar_t text[1024] = {};
        TOOLINFOW ti{};
        ti.cbSize = sizeof ti;
        ti.lpszText = text;
        if (SendMessageW(tooltip, TTM_ENUMTOOLSW, i, reinterpret_cast<LPARAM>(&ti))) {
            out[reinterpret_cast<HWND>(ti.uId)] = win32::A(std::wstring(text));
        }
    }
    return out;
}

ui::Control* Focused(RealForm& f) { return f.window->ControlOf(GetFocus()); }

}  // namespace

TEST(MainWindow, ControlsHaveTheirClassPlaceTextHintAndVisibility) {
    Window w;
    TFormMain& m = w.form();
    enum Size { Whole, Grows, NoHeight };  // what of the size the window must keep
    struct Expect {
        ui::Control* control;
        ui::Control* parent;  // null: the form
        const wchar_t* cls;
        ui::Rect place;
        Size size;
        const char* text;  // null: not a fixed text
        const char* hint;  // "" : none
        bool visible;
    };
    // clang-format off
    const Expect expected[] = {
        {&m.TabControl1, nullptr, L"SysTabControl32", {0, 6, 505, 499}, Whole, nullptr, "", true},
        {&m.Panel1, &m.TabControl1, L"QxContainer", {8, 24, 489, 473}, Whole, nullptr, "", true},
        {&m.Panel2, &m.TabControl1, L"QxContainer", {8, 24, 489, 473}, Whole, nullptr, "", false},
        {&m.DrvBox, &m.Panel1, L"ComboBox", {8, 8, 153, 18}, NoHeight, nullptr, "", true},
        {&m.DirList, &m.Panel1, L"ListBox", {8, 32, 153, 161}, Whole, nullptr,
         "音楽ファイルがある場所を指定してください", true},
        {&m.ValListMp3, &m.Panel1, L"SysListView32", {168, 48, 313, 361}, Whole, nullptr, "", true},
        {&m.FilList, &m.Panel1, L"ListBox", {8, 200, 153, 177}, Whole, nullptr, "", true},
        {&m.Button1, &m.Panel1, L"Button", {168, 416, 33, 25}, Whole, "再生", "", true},
        {&m.BtnSets, &m.Panel1, L"Button", {206, 416, 66, 25}, Whole, "セット(&S)...", "", true},
        {&m.BtnGo, &m.Panel1, L"Button", {352, 416, 74, 25}, Whole, "Bat作成(&G)", "バッチファイル作成", true},
        {&m.BtnExit, &m.Panel1, L"Button", {432, 416, 49, 25}, Whole, "終了(&X)", "", true},
        {&m.MemoCopysaki, &m.Panel1, L"Edit", {192, 24, 289, 17}, Whole, nullptr,
         "コピー先フォルダ。標準以外のフォルダに入れてる場合、左の[→]ボタンで何とかしてくれ", true},
        {&m.BtnCopyGo, &m.Panel1, L"Button", {277, 416, 70, 25}, Whole, "コピー開始", "", true},
        {&m.BtnCopySakiCopy, &m.Panel1, L"Button", {168, 24, 17, 17}, Whole, "→",
         "ここ押すとコピー先フォルダを左のディレクトリボックスのアドレスに変更します。"
         "手打ちが面倒なら。（フォルダの参照ダイアログ?方法知らんのだよ）",
         true},
        {&m.Label2, &m.Panel1, L"Static", {168, 8, 185, 12}, Grows, "対象ファイルを下記フォルダにコピー", "", true},
        {&m.LblTag, &m.Panel1, L"Static", {8, 384, 153, 57}, Whole,
         "↑のファイルリストを\r\n右クリックで\r\n　フォーカス一段下げ\r\n中クリックで再生(難)", "", true},
        {&m.LblMp3Tips, &m.Panel1, L"Static", {168, 448, 313, 26}, Whole, "", "", true},
        {&m.MemoBatDate, &m.Panel1, L"Edit", {424, 8, 41, 17}, Whole, nullptr, "", false},
        {&m.RadioGFilListOneClk, &m.Panel2, L"QxContainer", {8, 8, 169, 121}, Whole, nullptr, "", true},
        {&m.RadioGFilListDblClk, &m.Panel2, L"QxContainer", {184, 8, 49, 121}, Whole, nullptr, "", true},
        {&m.MemoMp3Play, &m.Panel2, L"Edit", {72, 208, 329, 17}, Whole, nullptr, "", true},
        {&m.Button2, &m.Panel2, L"Button", {408, 208, 33, 17}, Whole, " ? ", "", true},
        {&m.MemoMp3Line, &m.Panel2, L"Edit", {8, 248, 393, 17}, Whole, nullptr, "よくわからなければ諦めて。", true},
        {&m.RadioGMp3Play, &m.Panel2, L"QxContainer", {8, 136, 473, 65}, Whole, nullptr, "", true},
        {&m.MemoSoftName, &m.Panel2, L"Edit", {8, 448, 217, 17}, Whole, nullptr,
         "ソフト名です。自由に変更可能(改行不可)", false},
        {&m.RadioGFilListAltClk, &m.Panel2, L"QxContainer", {240, 8, 49, 121}, Whole, nullptr, "", true},
        {&m.RadioGFilListCtrlClk, &m.Panel2, L"QxContainer", {296, 8, 49, 121}, Whole, nullptr, "", true},
        {&m.ChkDelReadOnly, &m.Panel2, L"Button", {8, 280, 441, 17}, Whole,
         "（*.batファイル限定）コピー先のファイルが読み取り専用でも問答無用で上書き(&R)",
         "batファイルにdel /f E:\\bgm\\01.mp3といった文を付け加えます", true},
        {&m.ChkKeepOriginals, &m.Panel2, L"Button", {8, 304, 441, 17}, Whole,
         "（コピー開始のみ）上書きする前に元のファイルを保存する", "", true},
        {&m.ChkMatchLoudness, &m.Panel2, L"Button", {8, 328, 441, 17}, Whole,
         "（コピー開始のみ）音量をゲームの元の曲に合わせる",
         "コピー開始で、MP3 の音量をゲームの元の曲に合わせてコピーします (コピー元のファイルは"
         "そのままです)", true},
        {&m.BtnRestore, &m.Panel2, L"Button", {8, 352, 89, 25}, Whole, "元に戻す",
         "コピー先フォルダのファイルを、保存しておいた元のファイルに戻します", true},
        {&m.LblMp3PlayApp, &m.Panel2, L"Static", {8, 210, 52, 12}, Grows, "再生ソフト", "", true},
        {&m.Label3, &m.Panel2, L"Static", {8, 232, 359, 12}, Grows,
         "コマンドライン(ファイル名を入れるところは[FileName]と半角10文字で。)", "", true},
    };
    // clang-format on
    const bool geometry = At96Dpi();
    std::map<HWND, std::string> tips = Tips(w->window->Tooltip());
    // The settings tab's controls get their windows when the tab is first shown: they are
    // looked at as a player sees them, after choosing it.
    auto onSettings = [&](const Expect& e) { return e.parent == &m.Panel2; };
    for (const Expect& e : expected) {
        if (onSettings(e)) {
            EXPECT_FALSE(w->H(*e.control)) << e.control->Name();
        }
    }
    for (int pass = 0; pass < 2; ++pass) {
        if (pass == 1) {
            w->ClickTab(1);
            tips = Tips(w->window->Tooltip());
        }
        for (const Expect& e : expected) {
            if (onSettings(e) != (pass == 1)) continue;
            SCOPED_TRACE(e.control->Name());
            HWND h = w->H(*e.control);
            ASSERT_TRUE(h);
            EXPECT_EQ(CompareStringOrdinal(ClassOf(h).c_str(), -1, e.cls, -1, TRUE), CSTR_EQUAL)
                << win32::A(ClassOf(h));
            EXPECT_EQ(GetParent(h), e.parent ? w->H(*e.parent) : w->Handle());
            if (e.text) {
                EXPECT_EQ(TextOf(h), e.text);
            }
            auto tip = tips.find(h);
            if (*e.hint) {
                EXPECT_TRUE(tip != tips.end() && tip->second == e.hint)
                    << (tip == tips.end() ? "no tip" : tip->second);
            } else {
                EXPECT_TRUE(tip == tips.end()) << tip->second;
            }
            EXPECT_EQ(OwnVisible(h), e.visible);
            if (!geometry) continue;
            RECT r = PlaceIn(h);
            EXPECT_EQ(r.left, e.place.left);
            EXPECT_EQ(r.top, e.place.top);
            if (e.size != Grows) {
                EXPECT_EQ(r.right - r.left, e.place.width);
            }
            if (e.size == Whole) {
                EXPECT_EQ(r.bottom - r.top, e.place.height);
            }
        }
        if (pass == 0) {
            EXPECT_TRUE(IsWindowVisible(w->H(m.Panel1)));
            EXPECT_FALSE(IsWindowVisible(w->H(m.Panel2)));
        }
    }
    w->ClickTab(0);
    if (geometry) {
        // The window's font: 12 pixels high, Shift-JIS.
        LOGFONTW lf{};
        GetObjectW(reinterpret_cast<HFONT>(SendMessageW(w->H(m.Button1), WM_GETFONT, 0, 0)),
                   sizeof lf, &lf);
        EXPECT_EQ(lf.lfHeight, -12);
        EXPECT_EQ(lf.lfCharSet, SHIFTJIS_CHARSET);
    }

    // Tabs, grid titles, the drive shown.
    HWND strip = w->H(m.TabControl1);
    ASSERT_EQ(SendMessageW(strip, TCM_GETITEMCOUNT, 0, 0), 2);
    EXPECT_EQ(SendMessageW(strip, TCM_GETCURSEL, 0, 0), 0);
    const char* tabs[] = {"メイン", "設定"};
    for (int i = 0; i < 2; ++i) {
        wchar_t text[64] = {};
        TCITEMW item{};
        item.mask = TCIF_TEXT;
        item.pszText = text;
        item.cchTextMax = 64;
        SendMessageW(strip, TCM_GETITEMW, i, reinterpret_cast<LPARAM>(&item));
        EXPECT_EQ(win32::A(std::wstring(text)), tabs[i]);
    }
    const char* titles[] = {"-", "対象ファイル名"};
    for (int i = 0; i < 2; ++i) {
        wchar_t text[64] = {};
        LVCOLUMNW col{};
        col.mask = LVCF_TEXT;
        col.pszText = text;
        col.cchTextMax = 64;
        SendMessageW(w->H(m.ValListMp3), LVM_GETCOLUMNW, i, reinterpret_cast<LPARAM>(&col));
        EXPECT_EQ(win32::A(std::wstring(text)), titles[i]);
    }
    HWND drives = w->H(m.DrvBox);
    int sel = static_cast<int>(SendMessageW(drives, CB_GETCURSEL, 0, 0));
    ASSERT_GE(sel, 0);
    wchar_t drive[64] = {};
    SendMessageW(drives, CB_GETLBTEXT, sel, reinterpret_cast<LPARAM>(drive));
    EXPECT_EQ(towupper(drive[0]), towupper(Wide(w.exe.Path())[0]));

    // Radio groups: the caption on the frame, then one radio button per item, in order.
    struct Group {
        ui::RadioGroup* group;
        const char* caption;
        std::vector<std::string> items;
    };
    const std::vector<std::string> blank(5);
    const Group groups[] = {
        {&m.RadioGFilListOneClk,
         "ファイルリストを1クリックで",
         {"登録", "登録とフォーカス1段下げ", "再生", "再生と登録", "何もしない"}},
        {&m.RadioGFilListDblClk, "DblClk", blank},
        {&m.RadioGFilListAltClk, "AltClk", blank},
        {&m.RadioGFilListCtrlClk, "CtrlClk", blank},
        {&m.RadioGMp3Play,
         "Playボタン及び上記設定で再生をする場合、",
         {"再生しない", "関連付けで再生", "指定したツールで再生"}},
    };
    for (const Group& g : groups) {
        SCOPED_TRACE(g.group->Name());
        std::string caption;
        std::vector<std::string> items;
        std::vector<int> tops;
        for (HWND c = GetWindow(w->H(*g.group), GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) {
            LONG type = GetWindowLongW(c, GWL_STYLE) & BS_TYPEMASK;
            if (type == BS_GROUPBOX) caption = TextOf(c);
            if (type == BS_RADIOBUTTON || type == BS_AUTORADIOBUTTON) {
                items.push_back(TextOf(c));
                tops.push_back(PlaceIn(c).top);
            }
        }
        EXPECT_EQ(caption, g.caption);
        EXPECT_EQ(items, g.items);
        for (std::size_t i = 1; i < tops.size(); ++i)
            EXPECT_GT(tops[i], tops[i - 1]);  // one below the other
    }
}

TEST(MainWindow, FixedFrameAtItsPlaceWithTheDefaultCaption) {
    Window w;
    HWND h = w->Handle();
    EXPECT_TRUE(IsWindowVisible(h));
    EXPECT_EQ(TextOf(h), "ZorventVer1.2.3");
    LONG style = GetWindowLongW(h, GWL_STYLE);
    EXPECT_EQ(style & (WS_THICKFRAME | WS_MAXIMIZEBOX | WS_MINIMIZEBOX), 0);
    EXPECT_EQ(style & (WS_CAPTION | WS_SYSMENU), WS_CAPTION | WS_SYSMENU);
    // The system menu offers the close.
    HMENU menu = GetSystemMenu(h, FALSE);
    ASSERT_TRUE(menu);
    UINT close = GetMenuState(menu, SC_CLOSE, MF_BYCOMMAND);
    EXPECT_TRUE(close != static_cast<UINT>(-1) && !(close & (MF_GRAYED | MF_DISABLED)));
    // The application's own window, titled "QUAVERIX", owns the form and what the shell opens.
    HWND app = w->window->AppHandle();
    EXPECT_EQ(GetWindow(h, GW_OWNER), app);
    EXPECT_EQ(TextOf(app), "QUAVERIX");
    EXPECT_EQ(w->system.appWindow, app);
    if (!At96Dpi()) GTEST_SKIP() << "the layout is for 96 dpi";
    RECT client, frame;
    GetClientRect(h, &client);
    GetWindowRect(h, &frame);
    EXPECT_EQ(client.right, 511);
    EXPECT_EQ(client.bottom, 506);
    EXPECT_EQ(frame.left, 414);
    EXPECT_EQ(frame.top, 116);
}

TEST(MainWindow, TabKeyWalksTheShownTabInOrder) {
    Window w;
    TFormMain& m = w.form();
    auto walk = [&](std::size_t steps) {
        std::vector<ui::Control*> seen;
        for (std::size_t i = 0; i < steps; ++i) {
            w->Key(VK_TAB);
            seen.push_back(Focused(*w.f));
        }
        return seen;
    };
    SetFocus(w->H(m.TabControl1));
    ASSERT_EQ(Focused(*w.f), &m.TabControl1);
    const std::vector<ui::Control*> main = {
        &m.DrvBox, &m.DirList, &m.ValListMp3,   &m.FilList,   &m.Button1,         &m.BtnSets,
        &m.BtnGo,  &m.BtnExit, &m.MemoCopysaki, &m.BtnCopyGo, &m.BtnCopySakiCopy, &m.TabControl1};
    EXPECT_EQ(walk(main.size()), main);
    w->Key(VK_TAB, false, false, true);
    EXPECT_EQ(Focused(*w.f), &m.BtnCopySakiCopy);

    // The settings tab: its own controls only; the hidden software name is passed over.
    w.f->ClickTab(1);
    ASSERT_TRUE(m.Panel2.Visible());
    SetFocus(w->H(m.TabControl1));
    const std::vector<ui::Control*> settings = {&m.RadioGFilListOneClk, &m.RadioGFilListDblClk,
                                                &m.MemoMp3Play,         &m.Button2,
                                                &m.MemoMp3Line,         &m.RadioGMp3Play,
                                                &m.RadioGFilListAltClk, &m.RadioGFilListCtrlClk,
                                                &m.ChkDelReadOnly,      &m.ChkKeepOriginals,
                                                &m.ChkMatchLoudness,    &m.BtnRestore,
                                                &m.TabControl1};
    EXPECT_EQ(walk(settings.size()), settings);
}

TEST(MainWindow, KeysFollowTheShownTab) {
    Window w;
    TFormMain& m = w.form();
    int closes = 0;
    m.OnClose = [&](ui::Control* s) {
        ++closes;
        m.FormClose(s);
    };
    const std::int32_t start = m.Settings.Experience;

    // Main tab: Enter on the file list and Alt+G press BtnGo; with Ctrl or Shift held
    // Enter and Esc do nothing.
    SetFocus(w->H(m.FilList));
    w->Key(VK_RETURN);
    EXPECT_EQ(m.Settings.Experience, start + 3);
    w->Key('G', true);
    EXPECT_EQ(m.Settings.Experience, start + 6);
    w->Key(VK_RETURN, false, true);
    w->Key(VK_ESCAPE, false, false, true);
    EXPECT_EQ(m.Settings.Experience, start + 6);
    EXPECT_EQ(closes, 0);

    // Enter in the destination memo is a line break, not the batch writer.
    HWND memo = w->H(m.MemoCopysaki);
    SetFocus(memo);
    SendMessageW(memo, EM_SETSEL, 0, -1);
    w->Key('A');  // typing replaces the selection; 'A' arrives as WM_CHAR 'a'
    w->Key(VK_RETURN);
    w->Key('B');
    EXPECT_EQ(m.MemoCopysaki.Text(), "a\r\nb");
    EXPECT_EQ(TextOf(memo), "a\r\nb");
    EXPECT_EQ(m.Settings.Experience, start + 6);

    // Main tab: Alt+R belongs to a hidden check box.
    const bool ticked = m.ChkDelReadOnly.Checked();
    w->Key('R', true);
    EXPECT_EQ(m.ChkDelReadOnly.Checked(), ticked);

    // Settings tab: Enter, Esc, Alt+G and Alt+X do nothing; Alt+R ticks the check box.
    w.f->ClickTab(1);
    ASSERT_TRUE(m.Panel2.Visible());
    m.MemoMp3Play.SetText("");
    for (HWND focus : {w->H(m.ChkDelReadOnly), w->H(m.TabControl1), w->H(m.MemoMp3Play)}) {
        SetFocus(focus);
        w->Key(VK_RETURN);
        w->Key(VK_ESCAPE);
        w->Key('G', true);
        w->Key('X', true);
    }
    EXPECT_EQ(m.Settings.Experience, start + 6);
    EXPECT_EQ(closes, 0);
    EXPECT_FALSE(w->QuitPosted());
    EXPECT_TRUE(IsWindowVisible(w->Handle()));
    EXPECT_EQ(m.MemoMp3Play.Text(), "\r\n");  // the Enter typed into it

    w->Key('R', true);
    EXPECT_EQ(m.ChkDelReadOnly.Checked(), !ticked);
    EXPECT_EQ(SendMessageW(w->H(m.ChkDelReadOnly), BM_GETCHECK, 0, 0),
              !ticked ? BST_CHECKED : BST_UNCHECKED);
}

TEST(MainWindow, EveryWayOfClosingRunsFormCloseOnce) {
    const std::map<std::string, std::function<void(Window&)>> ways = {
        {"button", [](Window& w) { SendMessageW(w->H(w.form().BtnExit), BM_CLICK, 0, 0); }},
        {"Alt+X", [](Window& w) { w->Key('X', true); }},
        {"Esc", [](Window& w) { w->Key(VK_ESCAPE); }},
        {"close box",
         [](Window& w) {
             RECT r;
             GetWindowRect(w->Handle(), &r);
             PostMessageW(w->Handle(), WM_SYSCOMMAND, SC_CLOSE,
                          MAKELPARAM(r.right - 10, r.top + 10));
         }},
        {"Alt+F4 on the tab strip",
         [](Window& w) {
             SetFocus(w->H(w.form().TabControl1));
             w->Key(VK_F4, true);
         }},
        {"Alt+F4 on the drive box",
         [](Window& w) {
             SetFocus(w->H(w.form().DrvBox));
             w->Key(VK_F4, true);
         }},
        {"system menu", [](Window& w) { PostMessageW(w->Handle(), WM_SYSCOMMAND, SC_CLOSE, 0); }},
    };
    for (const auto& [name, close] : ways) {
        SCOPED_TRACE(name);
        Window w;
        int closes = 0;
        w.form().OnClose = [&](ui::Control* s) {
            ++closes;
            w.form().FormClose(s);
        };
        close(w);
        w->Pump();
        EXPECT_EQ(closes, 1);
        EXPECT_TRUE(w->QuitPosted());
        EXPECT_FALSE(IsWindowVisible(w->Handle()));
        EXPECT_TRUE(Exists(w.exe / "user.ini"));
        EXPECT_TRUE(w->system.boxes.empty());
        // A second request finds the window closed.
        SendMessageW(w->Handle(), WM_CLOSE, 0, 0);
        EXPECT_EQ(closes, 1);
    }
}

TEST(MainWindow, ErrorAtStartIsShownBeforeTheWindowWhichThenRuns) {
    // The slot count names more lines than the list file has.
    Window w("[mp3]\r\nnametips=01.mp3=a#03.mp3=b\r\nmask=*.mp3\r\nnumber=5\r\n");
    ASSERT_EQ(w->system.boxes.size(), 1u);
    const TestSystem::Box& box = w->system.boxes[0];
    EXPECT_EQ(box.kind, sys::BoxKind::Error);
    EXPECT_EQ(box.caption, "QUAVERIX");
    EXPECT_NE(box.text.find("number"), std::string::npos) << box.text;
    EXPECT_FALSE(box.ownerShown);
    // Then the window opens and runs.
    EXPECT_TRUE(IsWindowVisible(w->Handle()));
    int closes = 0;
    w.form().OnClose = [&](ui::Control* s) {
        ++closes;
        w.form().FormClose(s);
    };
    w.f->ClickTab(1);
    EXPECT_TRUE(IsWindowVisible(w->H(w.form().Panel2)));
    w.f->ClickTab(0);
    w->Key(VK_ESCAPE);
    EXPECT_EQ(closes, 1);
    EXPECT_TRUE(w->QuitPosted());
}

// The session ends (WM_ENDSESSION with TRUE): user.ini is saved at once, with no box, and
// the window counts as closed. A session end that was called off (FALSE) saves nothing.
TEST(MainWindow, EndOfSessionSavesTheSettings) {
    for (WPARAM ends : {TRUE, FALSE}) {
        SCOPED_TRACE(ends ? "ends" : "called off");
        Window w;
        int closes = 0;
        w.form().OnClose = [&](ui::Control* s) {
            ++closes;
            w.form().FormClose(s);
        };
        w.form().Settings.Mp3Tool = "C:\\player\\new.exe";
        SendMessageW(w->Handle(), WM_QUERYENDSESSION, 0, ENDSESSION_LOGOFF);
        SendMessageW(w->Handle(), WM_ENDSESSION, ends, ENDSESSION_LOGOFF);
        EXPECT_EQ(w.form().Closed(), ends != FALSE);
        EXPECT_EQ(ReadBytes(w.exe / "user.ini").find("mp3tool=C:\\player\\new.exe\r\n") !=
                      std::string::npos,
                  ends != FALSE);
        EXPECT_TRUE(w->system.boxes.empty());
        // A close after it saves nothing more.
        PostMessageW(w->Handle(), WM_CLOSE, 0, 0);
        w->Pump();
        EXPECT_EQ(closes, ends ? 0 : 1);
        EXPECT_TRUE(w->QuitPosted());
    }
}

TEST(MainWindow, TheStripSwitchesThePanels) {
    Window w;
    TFormMain& m = w.form();
    HWND strip = w->H(m.TabControl1);
    w.f->ClickTab(1);
    EXPECT_EQ(SendMessageW(strip, TCM_GETCURSEL, 0, 0), 1);
    EXPECT_EQ(m.TabControl1.TabIndex(), 1);
    EXPECT_TRUE(IsWindowVisible(w->H(m.Panel2)));
    EXPECT_FALSE(IsWindowVisible(w->H(m.Panel1)));
    EXPECT_FALSE(IsWindowVisible(w->H(m.MemoSoftName)));  // a new player does not see it yet
    EXPECT_TRUE(IsWindowVisible(w->H(m.ChkDelReadOnly)));

    // The strip's own notification, as the keyboard's Ctrl+Tab would bring it.
    SendMessageW(strip, TCM_SETCURSEL, 0, 0);
    NMHDR hdr{strip, static_cast<UINT_PTR>(GetDlgCtrlID(strip)), static_cast<UINT>(TCN_SELCHANGE)};
    SendMessageW(w->Handle(), WM_NOTIFY, hdr.idFrom, reinterpret_cast<LPARAM>(&hdr));
    EXPECT_EQ(m.TabControl1.TabIndex(), 0);
    EXPECT_TRUE(IsWindowVisible(w->H(m.Panel1)));
    EXPECT_FALSE(IsWindowVisible(w->H(m.Panel2)));
    EXPECT_EQ(TextOf(w->Handle()), "ZorventVer1.2.3");
}

namespace {

// Runs `inside` from a timer while a real box of this thread is open; the box is given.
// Runs every 60 ms until `inside` returns true.
std::function<bool(HWND)> g_inside;
HWND OpenBox() {
    struct Find {
        static BOOL CALLBACK Each(HWND h, LPARAM out) {
            wchar_t cls[16] = {};
            GetClassNameW(h, cls, 16);
            if (IsWindowVisible(h) && wcscmp(cls, L"#32770") == 0) {
                *reinterpret_cast<HWND*>(out) = h;
                return FALSE;
            }
            return TRUE;
        }
    };
    HWND box = nullptr;
    EnumThreadWindows(GetCurrentThreadId(), Find::Each, reinterpret_cast<LPARAM>(&box));
    return box;
}
void CALLBACK WhileBoxIsOpen(HWND, UINT, UINT_PTR id, DWORD) {
    HWND box = OpenBox();
    if (box && g_inside && g_inside(box)) {
        KillTimer(nullptr, id);
        g_inside = nullptr;
    }
}
UINT_PTR InsideBoxes(std::function<bool(HWND)> inside) {
    g_inside = std::move(inside);
    return SetTimer(nullptr, 0, 60, WhileBoxIsOpen);
}

bool HasIcon(HWND box) {
    for (HWND c = GetWindow(box, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) {
        if (ClassOf(c) == L"Static" && (GetWindowLongW(c, GWL_STYLE) & SS_TYPEMASK) == SS_ICON &&
            IsWindowVisible(c) && SendMessageW(c, STM_GETICON, 0, 0)) {
            return true;
        }
    }
    return false;
}

}  // namespace

TEST(MainWindow, NoCloseRunsWhileAHandlersBoxIsOpen) {
    const std::map<std::string, std::function<void(Window&)>> ways = {
        {"taskbar window",
         [](Window& w) { PostMessageW(GetWindow(w->Handle(), GW_OWNER), WM_CLOSE, 0, 0); }},
        {"Alt+F4", [](Window& w) { PostMessageW(w->Handle(), WM_SYSKEYDOWN, VK_F4, 1 << 29); }},
        {"system menu", [](Window& w) { PostMessageW(w->Handle(), WM_SYSCOMMAND, SC_CLOSE, 0); }},
        {"another program's WM_CLOSE",
         [](Window& w) { PostMessageW(w->Handle(), WM_CLOSE, 0, 0); }},
    };
    for (const auto& [name, close] : ways) {
        SCOPED_TRACE(name);
        Window w;
        TFormMain& m = w.form();
        EXPECT_EQ(TextOf(GetWindow(w->Handle(), GW_OWNER)), "QUAVERIX");  // the taskbar window
        int closes = 0;
        m.OnClose = [&](ui::Control* s) {
            ++closes;
            m.FormClose(s);
        };
        w->system.realBoxes = true;
        int ticks = 0;
        bool ownerDisabled = false;
        InsideBoxes([&](HWND box) {
            if (ticks++ == 0) {
                ownerDisabled = !IsWindowEnabled(w->Handle()) &&
                                !IsWindowEnabled(GetWindow(w->Handle(), GW_OWNER));
                close(w);
                return false;
            }
            PostMessageW(box, WM_COMMAND, IDCANCEL, 0);  // the player answers
            return true;
        });
        SendMessageW(w->H(m.BtnCopyGo), BM_CLICK, 0, 0);
        w->Pump();
        EXPECT_TRUE(ownerDisabled);
        EXPECT_EQ(closes, 0);
        EXPECT_FALSE(w->QuitPosted());
        EXPECT_TRUE(IsWindowVisible(w->Handle()));
        EXPECT_FALSE(Exists(w.exe / "user.ini"));
        EXPECT_TRUE(IsWindowEnabled(w->Handle()));
        // Once the box is answered, closing works as ever.
        PostMessageW(w->Handle(), WM_CLOSE, 0, 0);
        w->Pump();
        EXPECT_EQ(closes, 1);
    }
}

// Run also under an English locale (LC_ALL=C.UTF-8), where Windows would say "Cancel".
TEST(Boxes, OkAndCancelInJapaneseWithTheirIconDefaultButtonAndEsc) {
    Window w;
    w->system.realBoxes = true;
    struct Case {
        sys::BoxKind kind;
        bool icon, cancel;
        const char* how;  // "esc", "close" or "enter"
        sys::BoxResult expected;  // of a box with キャンセル; a box with OK alone just closes
        int first = IDOK;  // the first button, the default one
        const char* firstText = "OK";
    };
    const Case cases[] = {
        {sys::BoxKind::Confirm, true, true, "esc", sys::BoxResult::Cancel},
        {sys::BoxKind::Confirm, true, true, "close", sys::BoxResult::Cancel},
        {sys::BoxKind::Confirm, true, true, "enter", sys::BoxResult::Ok},
        {sys::BoxKind::Plain, false, false, "esc", sys::BoxResult::Ok},
        {sys::BoxKind::Warning, true, false, "enter", sys::BoxResult::Ok},
        {sys::BoxKind::Error, true, false, "close", sys::BoxResult::Ok},
        {sys::BoxKind::RetryCancel, true, true, "enter", sys::BoxResult::Retry, IDRETRY, "再試行"},
        {sys::BoxKind::RetryCancel, true, true, "esc", sys::BoxResult::Cancel, IDRETRY, "再試行"},
        {sys::BoxKind::RetryCancel, true, true, "close", sys::BoxResult::Cancel, IDRETRY, "再試行"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(static_cast<int>(c.kind)) + c.how);
        std::wstring ok, cancel;
        bool icon = false;
        LRESULT def = 0;
        int focusId = 0;
        LONG defStyle = 0;
        InsideBoxes([&](HWND box) {
            ok = win32::WindowTextW(GetDlgItem(box, c.first));
            cancel =
                GetDlgItem(box, IDCANCEL) ? win32::WindowTextW(GetDlgItem(box, IDCANCEL)) : L"";
            icon = HasIcon(box);
            def = SendMessageW(box, DM_GETDEFID, 0, 0);
            HWND focus = GetFocus();
            focusId = GetDlgCtrlID(focus);
            defStyle = GetWindowLongW(GetDlgItem(box, c.first), GWL_STYLE) & BS_TYPEMASK;
            if (std::string(c.how) == "close") {
                PostMessageW(box, WM_CLOSE, 0, 0);
            } else {
                WPARAM key = std::string(c.how) == "esc" ? VK_ESCAPE : VK_RETURN;
                PostMessageW(focus ? focus : box, WM_KEYDOWN, key, 1);
                PostMessageW(focus ? focus : box, WM_KEYUP, key, 1 | (3u << 30));
            }
            return true;
        });
        sys::BoxResult r = w->system.ShowBox(c.kind, "QUAVERIX", "text");
        if (c.cancel) {
            EXPECT_EQ(r, c.expected);
        }
        EXPECT_EQ(win32::A(ok), c.firstText);
        EXPECT_EQ(win32::A(cancel), c.cancel ? "キャンセル" : "");
        EXPECT_EQ(icon, c.icon);
        EXPECT_EQ(HIWORD(def), DC_HASDEFID);
        // Wine's box answers DM_GETDEFID with IDOK whatever its buttons; the first
        // button's focus and style say which is the default on both systems.
        if (c.first == IDOK) {
            EXPECT_EQ(LOWORD(def), IDOK);
        }
        EXPECT_EQ(focusId, c.first);
        EXPECT_EQ(defStyle, BS_DEFPUSHBUTTON);
    }
}

TEST(MainWindow, DroppedDriveListKeepsEnterAndEsc) {
    Window w;
    TFormMain& m = w.form();
    int closes = 0;
    m.OnClose = [&](ui::Control*) { ++closes; };
    HWND box = w->H(m.DrvBox);
    const std::int32_t counter = m.Settings.Experience;
    const std::vector<sys::DriveInfo> drives = m.DrvBox.Drives();
    ASSERT_GE(drives.size(), 2u) << "Wine gives C: and Z:";
    const char start = m.DrvBox.Drive();

    SetFocus(box);
    SendMessageW(box, CB_SHOWDROPDOWN, TRUE, 0);
    ASSERT_TRUE(SendMessageW(box, CB_GETDROPPEDSTATE, 0, 0));
    w->Key(VK_ESCAPE);
    EXPECT_FALSE(SendMessageW(box, CB_GETDROPPEDSTATE, 0, 0));
    EXPECT_EQ(closes, 0);
    EXPECT_FALSE(w->QuitPosted());

    // Picking another drive with the keyboard: Down, then Enter chooses it.
    SendMessageW(box, CB_SHOWDROPDOWN, TRUE, 0);
    w->Key(start == drives.back().letter ? VK_UP : VK_DOWN);
    w->Key(VK_RETURN);
    EXPECT_FALSE(SendMessageW(box, CB_GETDROPPEDSTATE, 0, 0));
    EXPECT_NE(m.DrvBox.Drive(), start);
    EXPECT_EQ(m.DirList.Drive(), m.DrvBox.Drive());
    EXPECT_EQ(m.Settings.Experience, counter) << "Enter pressed Bat作成";
    EXPECT_EQ(closes, 0);

    // A closed list leaves Enter to the default button, as before.
    w->Key(VK_RETURN);
    EXPECT_EQ(m.Settings.Experience, counter + 3);
}

// ---- The window procedures' backstop and teardown ------------------------------------------

// A failure inside a window's own handling, outside any handler (here the drive picker
// reading the drives as its list drops down), ends in the error box, and the window goes on.
TEST(Teardown, AnErrorInsideAWindowsHandlingReachesTheErrorBoxAndTheWindowGoesOn) {
    Window w;
    TFormMain& m = w.form();
    w->system.onDrives = [] { throw platform::Error("no drives"); };
    HWND box = w->H(m.DrvBox);
    SendMessageW(box, CB_SHOWDROPDOWN, TRUE, 0);
    w->Pump();
    ASSERT_EQ(w->system.boxes.size(), 1u);
    EXPECT_EQ(w->system.boxes[0].kind, sys::BoxKind::Error);
    EXPECT_EQ(w->system.boxes[0].caption, "QUAVERIX");
    EXPECT_EQ(w->system.boxes[0].text, "no drives.");
    SendMessageW(box, CB_SHOWDROPDOWN, FALSE, 0);
    w->system.onDrives = nullptr;
    SendMessageW(box, CB_SHOWDROPDOWN, TRUE, 0);
    SendMessageW(box, CB_SHOWDROPDOWN, FALSE, 0);
    w->ClickTab(1);
    EXPECT_EQ(m.TabControl1.TabIndex(), 1);
    EXPECT_TRUE(IsWindowVisible(w->Handle()));
    EXPECT_EQ(w->system.boxes.size(), 1u);
}

// The windows destroyed while their peers live: each peer lets go as its window goes, and
// the program's changes afterwards reach no window.
TEST(Teardown, WindowsDestroyedBeforeTheirPeers) {
    Window w;
    TFormMain& m = w.form();
    HWND form = w->Handle();
    HWND app = GetWindow(form, GW_OWNER);
    DestroyWindow(form);
    DestroyWindow(app);
    w->Pump();
    EXPECT_EQ(w->window->Handle(), nullptr);
    EXPECT_EQ(m.GetPeer(), nullptr);
    for (ui::Control* c : m.AllControls()) {
        EXPECT_EQ(c->GetPeer(), nullptr) << c->Name();
        EXPECT_EQ(w->H(*c), nullptr) << c->Name();
    }
    m.ValListMp3.SetText("a=b\r\nc=d");
    m.ValListMp3.SetRow(2);
    m.MemoCopysaki.SetText("x");
    m.Label2.SetCaption("y");
    m.SetCaption("z");
    w->window.reset();
    EXPECT_TRUE(w->system.boxes.empty());
}

// The peers freed while their windows live: nothing a window gets afterwards reaches a peer.
TEST(Teardown, PeersFreedBeforeTheirWindows) {
    Window w;
    TFormMain& m = w.form();
    m.MemoCopysaki.SetText("kept");
    // Two windows taken out of the form, so they outlive its teardown.
    HWND memo = w->H(m.MemoCopysaki);
    HWND grid = w->H(m.ValListMp3);
    SetParent(memo, HWND_MESSAGE);
    SetParent(grid, HWND_MESSAGE);
    w->window.reset();
    ASSERT_TRUE(IsWindow(memo));
    EXPECT_EQ(GetPropW(memo, L"QxPeer"), nullptr);
    EXPECT_EQ(GetPropW(grid, L"QxPeer"), nullptr);
    EXPECT_EQ(m.MemoCopysaki.GetPeer(), nullptr);
    SetWindowTextW(memo, L"changed");
    SendMessageW(memo, WM_CHAR, L'q', 0);
    SendMessageW(grid, WM_KEYDOWN, VK_DOWN, 0);
    SendMessageW(grid, WM_SIZE, 0, MAKELPARAM(10, 10));
    EXPECT_EQ(m.MemoCopysaki.Text(), "kept");
    DestroyWindow(memo);
    DestroyWindow(grid);
    EXPECT_EQ(m.MemoCopysaki.Text(), "kept");
    EXPECT_TRUE(w->system.boxes.empty());
}

namespace {

// The settings page as the player sees it: every control of it has its window on the
// page, shown as its control is, at its place, with its control's state.
void ExpectWholeSettingsPage(RealForm& f) {
    TFormMain& m = *f.form;
    HWND page = f.H(m.Panel2);
    ASSERT_TRUE(page && IsWindowVisible(page));
    for (ui::Control* c : m.Panel2.Children()) {
        SCOPED_TRACE(c->Name());
        HWND h = f.H(*c);
        ASSERT_TRUE(h);
        EXPECT_EQ(GetParent(h), page);
        EXPECT_EQ(IsWindowVisible(h) != FALSE, c->Visible());
        if (At96Dpi()) {
            RECT r = PlaceIn(h);
            EXPECT_EQ(r.left, c->Bounds().left);
            EXPECT_EQ(r.top, c->Bounds().top);
        }
    }
    for (ui::CheckBox* c : {&m.ChkDelReadOnly, &m.ChkKeepOriginals, &m.ChkMatchLoudness}) {
        EXPECT_EQ(SendMessageW(f.H(*c), BM_GETCHECK, 0, 0) == BST_CHECKED, c->Checked())
            << c->Name();
    }
    for (ui::RadioGroup* g : {&m.RadioGFilListOneClk, &m.RadioGFilListDblClk,
                              &m.RadioGFilListAltClk, &m.RadioGFilListCtrlClk, &m.RadioGMp3Play}) {
        int on = -1, i = 0;
        for (HWND c = GetWindow(f.H(*g), GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) {
            if ((GetWindowLongW(c, GWL_STYLE) & BS_TYPEMASK) != BS_RADIOBUTTON) continue;
            if (SendMessageW(c, BM_GETCHECK, 0, 0) == BST_CHECKED) on = i;
            ++i;
        }
        EXPECT_EQ(on, g->ItemIndex()) << g->Name();
    }
    for (ui::Memo* memo : {&m.MemoMp3Play, &m.MemoMp3Line, &m.MemoSoftName}) {
        EXPECT_EQ(TextOf(f.H(*memo)), memo->Text()) << memo->Name();
    }
    EXPECT_EQ(TextOf(f.H(m.BtnRestore)), "元に戻す");
    EXPECT_EQ(TextOf(f.H(m.LblMp3PlayApp)), "再生ソフト");
}

// The middle of a tab of the strip, in the strip's client coordinates.
POINT TabCentre(RealForm& f, int index) {
    RECT r{};
    SendMessageW(f.H(f.form->TabControl1), TCM_GETITEMRECT, index, reinterpret_cast<LPARAM>(&r));
    return {(r.left + r.right) / 2, (r.top + r.bottom) / 2};
}

}  // namespace

// Screen readers, UI automation and test robots read the window from another process;
// whatever they read and whenever, the settings tab then opens whole, with the settings
// from user.ini, and the record (and the user.ini written at close) is what it would be
// without them.
TEST(OutsideReaders, SettingsTabOpensWholeAfterAnyReadOfTheWindow) {
    const std::string ini =
        "[user]\r\nDelReadOnly=1\r\nmatchloudness=1\r\nlist1clk=1\r\nlist3clk=3\r\nmp3play=2\r\n"
        "mp3tool=C:\\Tools\\player.exe\r\nmp3line=/play [FileName]\r\n"
        "[muimi]\r\nexperience=30\r\nsoftname=Reader\r\n";
    std::string clean;
    // (reader arguments before the first click, between the visits)
    const std::vector<std::pair<std::wstring, std::wstring>> orders = {
        {L"", L""}, {L"all", L""}, {L"nolists", L"all"}, {L"all", L"nolists"}};
    for (const auto& [before, between] : orders) {
        SCOPED_TRACE(win32::A(before + L" / " + between));
        Window w;
        w.f.reset();
        WriteBytes(w.exe / "user.ini", ini);
        w.f = std::make_unique<RealForm>(w.exe.Path() + "\\", w.exe / "music");
        TFormMain& m = w.form();
        const settings::SettingsRecord record = m.Settings;
        auto read = [&](const std::wstring& how) {
            if (how.empty()) return;
            std::wstring command = L"\"" + HelperPath(L"window_reader.exe") + L"\" " +
                                   std::to_wstring(reinterpret_cast<INT_PTR>(w->Handle())) +
                                   L" \"" + Wide(w.exe / "read.txt") + L"\"" +
                                   (how == L"nolists" ? L" nolists" : L"");
            ASSERT_TRUE(RunServing(*w.f, command));
            EXPECT_NE(
                ReadBytes(w.exe / "read.txt").find(reinterpret_cast<const char*>(u8"コピー開始")),
                std::string::npos)
                << "the reader did not read the window";
        };
        HWND strip = w->H(m.TabControl1);
        read(before);
        for (int visit = 0; visit < 2; ++visit) {
            w->MouseClick(strip, TabCentre(*w.f, 1), [&] { return m.TabControl1.TabIndex() == 1; });
            ASSERT_EQ(m.TabControl1.TabIndex(), 1);
            ExpectWholeSettingsPage(*w.f);
            EXPECT_TRUE(m.ChkKeepOriginals.Checked());
            EXPECT_TRUE(m.ChkDelReadOnly.Checked());
            EXPECT_TRUE(m.ChkMatchLoudness.Checked());
            EXPECT_EQ(m.RadioGFilListAltClk.ItemIndex(), 3);
            read(between);
            w->MouseClick(strip, TabCentre(*w.f, 0), [&] { return m.TabControl1.TabIndex() == 0; });
            ASSERT_EQ(m.TabControl1.TabIndex(), 0);
            EXPECT_TRUE(m.Settings == record);
        }
        EXPECT_TRUE(w->system.boxes.empty()) << w->system.boxes.front().text;
        PostMessageW(w->Handle(), WM_CLOSE, 0, 0);
        w->Pump();
        ASSERT_TRUE(w->QuitPosted());
        std::string saved = ReadBytes(w.exe / "user.ini");
        // (the batch folder defaults to the exe folder, a new one for each start)
        for (std::size_t at; (at = saved.find(w.exe.Path())) != std::string::npos;)
            saved.replace(at, w.exe.Path().size(), "<exe>");
        if (clean.empty()) clean = saved;
        EXPECT_EQ(saved, clean);
    }
}

namespace {

const char kPlayersIni[] =
    "[user]\r\nlist1clk=3\r\nmp3tool=D:\\tools\\player.exe\r\n"
    "[copysaki]\r\nPellamor.lst=E:\\Pellamor\\bgm\r\n[muimi]\r\nexperience=57\r\n";

}  // namespace

// Another program holds user.ini open without sharing when QUAVERIX starts: the box says
// so, and after it lets go the close writes nothing: the file is as it was, byte for byte.
TEST(RealExe, HeldUserIniAtStartIsLeftAsItWas) {
    RealExe exe{kListFile};
    WriteBytes(exe.ini, kPlayersIni);
    const std::string ready = exe.root / "held";
    HANDLE holder = StartProcess(L"\"" + HelperPath(L"hold_file.exe") + L"\" \"" + Wide(exe.ini) +
                                 L"\" \"" + Wide(ready) + L"\"");
    ASSERT_TRUE(holder);
    for (int i = 0; i < 400 && !Exists(ready); ++i) Sleep(25);
    ASSERT_TRUE(Exists(ready));

    ASSERT_TRUE(exe.Start());
    HWND box = exe.WaitFor(L"#32770");
    ASSERT_TRUE(box) << "no box";
    const std::string text = BoxText(box);
    EXPECT_NE(text.find("設定ファイルを読み込めませんでした"), std::string::npos) << text;
    EXPECT_NE(text.find(exe.ini), std::string::npos) << text;
    EXPECT_NE(text.find("今回の終了時には user.ini に保存しません"), std::string::npos) << text;
    Answer(box, IDOK);
    HWND window = exe.WaitFor(L"TFormMain");
    ASSERT_TRUE(window) << "no window";

    TerminateProcess(holder, 0);
    WaitForSingleObject(holder, 5000);
    CloseHandle(holder);
    PostMessageW(window, WM_CLOSE, 0, 0);
    EXPECT_TRUE(exe.Ended());
    EXPECT_EQ(ReadBytes(exe.ini), kPlayersIni);
}

// A read-only user.ini at close: the box says why and offers 再試行 and キャンセル;
// 再試行 asks again, キャンセル ends the program, and the file stays as it was.
TEST(RealExe, ReadOnlyUserIniAtCloseAsksAndTheProgramEnds) {
    RealExe exe{kListFile};
    WriteBytes(exe.ini, kPlayersIni);
    ASSERT_TRUE(SetFileAttributesW(Wide(exe.ini).c_str(), FILE_ATTRIBUTE_READONLY));
    ASSERT_TRUE(exe.Start());
    HWND window = exe.WaitFor(L"TFormMain");
    ASSERT_TRUE(window) << "no window";
    PostMessageW(window, WM_CLOSE, 0, 0);
    for (int answer : {IDRETRY, IDCANCEL}) {
        SCOPED_TRACE(answer == IDRETRY ? "再試行" : "キャンセル");
        HWND box = exe.WaitFor(L"#32770");
        ASSERT_TRUE(box) << "no box";
        const std::string text = BoxText(box);
        EXPECT_NE(text.find("設定を保存できませんでした"), std::string::npos) << text;
        EXPECT_NE(text.find("ファイルが読み取り専用です"), std::string::npos) << text;
        EXPECT_EQ(TextOf(GetDlgItem(box, IDRETRY)), "再試行");
        EXPECT_EQ(TextOf(GetDlgItem(box, IDCANCEL)), "キャンセル");
        Answer(box, answer);
    }
    EXPECT_TRUE(exe.Ended());
    EXPECT_EQ(ReadBytes(exe.ini), kPlayersIni);
}

// As a new player would, with QUAVERIX.exe itself: copies, a batch file run by cmd.exe
// and a read-only tune, then 元に戻す: the game's own 01.mp3 is back byte for byte and no
// read-only file is left in its folder.
TEST(RealExe, NewPlayersRunsThenRestoreGiveBackTheGamesFile) {
    ASSERT_EQ(GetOEMCP(), 932u) << "run with LC_ALL=ja_JP.UTF-8";
    enum class Do { Copy, Batch };
    struct Step {
        Do what;
        const char* tune;
    };
    const struct {
        const char* name;
        std::vector<Step> steps;
    } runs[] = {
        {"copy, batch run by cmd, copy",
         {{Do::Copy, "A.mp3"}, {Do::Batch, "B.mp3"}, {Do::Copy, "C.mp3"}}},
        {"a read-only tune copied", {{Do::Copy, "R.mp3"}}},
    };
    for (const auto& run : runs) {
        SCOPED_TRACE(run.name);
        RealExe exe{kListFile};
        const std::string music = exe.root / "曲", bgm = exe.root / "game\\bgm";
        MakeFolder(music);
        MakeFolder(exe.root / "game");
        MakeFolder(bgm);
        const std::string game = Mp3Bytes("the game's 01");
        WriteBytes(bgm + "\\01.mp3", game);
        for (const char* tune : {"A.mp3", "B.mp3", "C.mp3", "R.mp3"})
            WriteBytes(music + "\\" + tune, Mp3Bytes(tune));
        SetFileAttributesW(Wide(music + "\\R.mp3").c_str(), FILE_ATTRIBUTE_READONLY);
        WriteBytes(exe.root / "Pellamor.lst", "[mp3]\r\nnametips=01.mp3=タイトル#\r\nnumber=1\r\n");
        WriteBytes(exe.ini, "[copysaki]\r\nPellamor.lst=" + bgm + "\r\n");
        ASSERT_TRUE(exe.Start(music));
        Driven player{exe, exe.WaitFor(L"TFormMain")};
        ASSERT_TRUE(player.window) << "no window";

        int bats = 0;
        for (const Step& s : run.steps) {
            SCOPED_TRACE(s.tune);
            player.Pick(s.tune);
            if (s.what == Do::Copy) {
                player.Copy({music + "\\" + s.tune});
            } else {
                const std::string bat = exe.root / ("run" + std::to_string(++bats) + ".bat");
                player.Batch(bat);
                EXPECT_EQ(RunBatch(bat, exe.root.Path(), exe.root / "cmd.log"), 0u)
                    << ReadBytes(exe.root / "cmd.log");
            }
            EXPECT_TRUE(ReadBytes(bgm + "\\01.mp3") == Mp3Bytes(s.tune));
            EXPECT_EQ(GetFileAttributesW(Wide(bgm + "\\01.mp3").c_str()) & FILE_ATTRIBUTE_READONLY,
                      0u);
        }
        EXPECT_EQ(player.Restore(), "元に戻しました。\n");
        EXPECT_TRUE(ReadBytes(bgm + "\\01.mp3") == game);
        EXPECT_EQ(GetFileAttributesW(Wide(bgm + "\\01.mp3").c_str()) & FILE_ATTRIBUTE_READONLY, 0u);
        PostMessageW(player.window, WM_CLOSE, 0, 0);
        EXPECT_TRUE(exe.Ended());
        SetFileAttributesW(Wide(music + "\\R.mp3").c_str(), FILE_ATTRIBUTE_NORMAL);
    }
}

namespace {

// The text of the window's label that starts with `text` (the tip label's first line), or "".
std::string LabelStarting(HWND window, const std::string& text) {
    HWND label = ChildOf(window, L"Static", text);
    return label ? TextOf(label) : "";
}

// True once the program has taken every message posted to it before this call and is
// showing no box: the key goes after them in its queue, and input is dropped while a box
// is up. Leaves the main tab chosen.
bool IdleWithoutBox(RealExe& exe, HWND window) {
    HWND strip = ChildOf(window, WC_TABCONTROLW, "");
    if (!strip) return false;
    PostMessageW(strip, WM_KEYDOWN, VK_RIGHT, 0);
    PostMessageW(strip, WM_KEYUP, VK_RIGHT, 0xC0000001);
    const bool moved = Until([&] { return SendMessageW(strip, TCM_GETCURSEL, 0, 0) == 1; });
    const bool boxless = exe.WaitFor(L"#32770", 1) == nullptr;
    PostMessageW(strip, WM_KEYDOWN, VK_LEFT, 0);
    PostMessageW(strip, WM_KEYUP, VK_LEFT, 0xC0000001);
    return moved && boxless && Until([&] { return SendMessageW(strip, TCM_GETCURSEL, 0, 0) == 0; });
}

}  // namespace

// After a game update, with QUAVERIX.exe itself: three tunes copied, two of the game's
// files replaced by a patch; the next start asks once, naming exactly those two; OK puts
// the player's tunes back byte for byte, a start after that says nothing and tells the
// copy under the table, and 元に戻す gives back the patched files, after which a start
// asks nothing either.
TEST(RealExe, GameUpdateIsNoticedAtStartAndCopiedAgain) {
    ASSERT_EQ(GetOEMCP(), 932u) << "run with LC_ALL=ja_JP.UTF-8";
    RealExe exe{kListFile};
    const std::string music = exe.root / "曲", bgm = exe.root / "game\\bgm";
    MakeFolder(music);
    MakeFolder(exe.root / "game");
    MakeFolder(bgm);
    const std::vector<std::string> slots = {"01.mp3", "03.mp3", "05.mp3"};
    const std::vector<std::string> tunes = {"夜明け.mp3", "B.mp3", "C.mp3"};
    std::map<std::string, std::string> game, patch;
    for (std::size_t i = 0; i < slots.size(); ++i) {
        game[slots[i]] = Mp3Bytes("the game's " + slots[i]);
        patch[slots[i]] = Mp3Bytes("patched " + slots[i]);
        WriteBytes(bgm + "\\" + slots[i], game[slots[i]]);
        WriteBytes(music + "\\" + tunes[i], Mp3Bytes(tunes[i]));
    }
    WriteBytes(exe.root / "Pellamor.lst",
               "[mp3]\r\nnametips=01.mp3=タイトル#03.mp3=町#05.mp3=洞窟\r\nnumber=3\r\n");
    // A click registers and steps down one row.
    WriteBytes(exe.ini, "[user]\r\nlist1clk=1\r\n[copysaki]\r\nPellamor.lst=" + bgm + "\r\n");
    auto start = [&]() -> Driven {
        EXPECT_TRUE(exe.Start(music));
        return Driven{exe, exe.WaitFor(L"TFormMain")};
    };
    auto close = [&](Driven& player) {
        PostMessageW(player.window, WM_CLOSE, 0, 0);
        EXPECT_TRUE(exe.Ended());
        CloseHandle(exe.process);
        exe.process = nullptr;
    };
    auto holds = [&](const std::map<std::string, std::string>& bytes, const char* what) {
        for (const auto& [slot, data] : bytes)
            EXPECT_TRUE(ReadBytes(bgm + "\\" + slot) == data) << slot << " is not " << what;
    };

    {
        SCOPED_TRACE("first start: three tunes copied");
        Driven player = start();
        ASSERT_TRUE(player.window) << "no window";
        ASSERT_TRUE(IdleWithoutBox(exe, player.window)) << "a box at a first start";
        for (const std::string& tune : tunes) player.Pick(tune);
        player.Press("コピー開始");
        EXPECT_NE(player.Box().find("ファイルのコピーを開始します"), std::string::npos);
        for (const std::string& tune : tunes) {
            const std::string shown = player.Box();
            EXPECT_NE(shown.find(music + "\\" + tune), std::string::npos) << shown;
        }
        EXPECT_EQ(player.Settle(), "");
        close(player);
    }
    std::map<std::string, std::string> ours;
    for (std::size_t i = 0; i < slots.size(); ++i) ours[slots[i]] = Mp3Bytes(tunes[i]);
    holds(ours, "the player's tune");

    // The game's patcher puts its own (new) music back into two slots.
    std::map<std::string, std::string> patched = ours;
    for (const char* slot : {"01.mp3", "05.mp3"}) {
        ASSERT_TRUE(WriteBytes(bgm + "\\" + slot, patch[slot]));
        patched[slot] = patch[slot];
    }

    {
        SCOPED_TRACE("after the update: one question, OK");
        Driven player = start();
        ASSERT_TRUE(player.window) << "no window";
        HWND box = exe.WaitFor(L"#32770");
        ASSERT_TRUE(box) << "no question";
        EXPECT_EQ(TextOf(box), "確認");
        EXPECT_TRUE(GetDlgItem(box, IDCANCEL)) << "no キャンセル";
        EXPECT_EQ(
            BoxText(box),
            "ゲームの更新で、次の BGM がゲームの元の曲に戻っています。\r\n01.mp3: 夜明け.mp3\r\n"
            "05.mp3: C.mp3\r\nもう一度コピーしますか？\n");
        Answer(box, IDOK);
        for (const char* tune : {"夜明け.mp3", "C.mp3"}) {
            const std::string shown = player.Box();
            EXPECT_NE(shown.find(music + "\\" + tune), std::string::npos) << shown;
        }
        EXPECT_EQ(player.Settle(), "");
        holds(ours, "the player's tune again");
        close(player);
    }

    {
        SCOPED_TRACE("as recorded: no box; the tip tells the copy; 元に戻す");
        Driven player = start();
        ASSERT_TRUE(player.window) << "no window";
        // The current row is 01.mp3, with no music chosen this time.
        EXPECT_TRUE(Until([&] {
            return LabelStarting(player.window, "01.mp3") ==
                   "01.mp3 - タイトル\r\nコピー済み: 夜明け.mp3";
        })) << LabelStarting(player.window, "01.mp3");
        EXPECT_TRUE(IdleWithoutBox(exe, player.window)) << BoxText(exe.WaitFor(L"#32770", 1));
        EXPECT_EQ(player.Restore(), "元に戻しました。\n");
        std::map<std::string, std::string> back = patch;
        back["03.mp3"] = game["03.mp3"];
        holds(back, "the game's file back");
        close(player);
    }

    {
        SCOPED_TRACE("after 元に戻す: no box");
        Driven player = start();
        ASSERT_TRUE(player.window) << "no window";
        EXPECT_TRUE(IdleWithoutBox(exe, player.window)) << BoxText(exe.WaitFor(L"#32770", 1));
        EXPECT_EQ(LabelStarting(player.window, "01.mp3"), "") << "the tip still tells a copy";
        close(player);
    }
}

namespace {

// Makes `mp3` (20 s of pink noise and a sine, encoded by lame at 128 kbit/s) in `folder`;
// `noise` and `sine` set the level, `seed` and `hz` make each file its own.
bool MakeTune(const std::string& folder, const char* mp3, const wchar_t* noise, const wchar_t* sine,
              const wchar_t* hz, const wchar_t* seed) {
    return RunLinux(
        L"cd '" + UnixPath(folder) +
        L"' && ffmpeg -nostdin -v error -y -f lavfi -i anoisesrc=color=pink:amplitude=" + noise +
        L":duration=20:sample_rate=44100:seed=" + seed + L" -f lavfi -i sine=frequency=" + hz +
        L":duration=20:sample_rate=44100 -filter_complex '[1]volume=" + sine +
        L"[s];[0][s]amix=normalize=0,aformat=channel_layouts=stereo' in.wav && lame "
        L"--quiet -b 128 in.wav " +
        Wide(mp3));
}

}  // namespace

// Matching loudness as a new player meets it, with QUAVERIX.exe itself: the box ticked on
// 設定, a tune about 10 LU louder than the game's 01.mp3 picked, the tip tells the
// difference, and コピー開始 writes a copy that ffmpeg measures as loud as the game's
// track; the player's tune is untouched, the setting is kept, and 元に戻す gives back the
// game's own file.
TEST(RealExe, MatchedCopyIsAsLoudAsTheGamesTrack) {
    ASSERT_EQ(GetOEMCP(), 932u) << "run with LC_ALL=ja_JP.UTF-8";
    RealExe exe{kListFile};
    const std::string music = exe.root / "曲", bgm = exe.root / "game\\bgm";
    const std::string made = exe.root / "made";
    for (const std::string& f : {music, exe.root / "game", bgm, made}) MakeFolder(f);
    ASSERT_TRUE(MakeTune(made, "game.mp3", L"0.15", L"1.2", L"330", L"1"));  // about -20 LUFS
    ASSERT_TRUE(MakeTune(made, "tune.mp3", L"0.45", L"4", L"523", L"2"));  // about -10 LUFS
    const std::string game = ReadBytes(made + "\\game.mp3"), tune = ReadBytes(made + "\\tune.mp3");
    WriteBytes(bgm + "\\01.mp3", game);
    WriteBytes(music + "\\tune.mp3", tune);
    const double gameLufs = FfmpegHears(made + "\\game.mp3", made + "\\log").lufs;
    const double tuneLufs = FfmpegHears(made + "\\tune.mp3", made + "\\log").lufs;
    ASSERT_GT(tuneLufs - gameLufs, 8) << gameLufs << " " << tuneLufs;
    WriteBytes(exe.root / "Pellamor.lst", "[mp3]\r\nnametips=01.mp3=タイトル#\r\nnumber=1\r\n");
    WriteBytes(exe.ini, "[copysaki]\r\nPellamor.lst=" + bgm + "\r\n");
    ASSERT_TRUE(exe.Start(music));
    Driven player{exe, exe.WaitFor(L"TFormMain")};
    ASSERT_TRUE(player.window) << "no window";
    ASSERT_TRUE(IdleWithoutBox(exe, player.window)) << "a box at a first start";

    // The box ticked by a click on 設定, then back to メイン.
    HWND strip = ChildOf(player.window, WC_TABCONTROLW, "");
    PostMessageW(strip, WM_KEYDOWN, VK_RIGHT, 0);
    PostMessageW(strip, WM_KEYUP, VK_RIGHT, 0xC0000001);
    HWND box = nullptr;
    ASSERT_TRUE(Until([&] {
        box = ChildOf(player.window, L"Button", "（コピー開始のみ）音量をゲームの元の曲に合わせる");
        return box && IsWindowVisible(box);
    }));
    EXPECT_EQ(SendMessageW(box, BM_GETCHECK, 0, 0), BST_UNCHECKED);
    PostClick(box, 6, 8);
    EXPECT_TRUE(Until([&] { return SendMessageW(box, BM_GETCHECK, 0, 0) == BST_CHECKED; }));
    PostMessageW(strip, WM_KEYDOWN, VK_LEFT, 0);
    PostMessageW(strip, WM_KEYUP, VK_LEFT, 0xC0000001);
    ASSERT_TRUE(Until([&] { return SendMessageW(strip, TCM_GETCURSEL, 0, 0) == 0; }));

    player.Pick("tune.mp3");
    std::string tip;
    EXPECT_TRUE(Until([&] {
        tip = LabelStarting(player.window, "01.mp3");
        return tip.find("ゲームの曲より ") != std::string::npos &&
               tip.find("dB 大きい") != std::string::npos;
    })) << tip;
    player.Copy({music + "\\tune.mp3"});

    const std::string copy = ReadBytes(bgm + "\\01.mp3");
    EXPECT_EQ(copy.size(), tune.size());
    EXPECT_TRUE(copy != tune) << "copied as it is";
    EXPECT_NEAR(FfmpegHears(bgm + "\\01.mp3", made + "\\log").lufs, gameLufs, 1.0);
    EXPECT_TRUE(ReadBytes(music + "\\tune.mp3") == tune) << "the player's tune was changed";
    EXPECT_EQ(player.Restore(), "元に戻しました。\n");
    EXPECT_TRUE(ReadBytes(bgm + "\\01.mp3") == game);
    PostMessageW(player.window, WM_CLOSE, 0, 0);
    EXPECT_TRUE(exe.Ended());
    EXPECT_NE(ReadBytes(exe.ini).find("matchloudness=1\r\n"), std::string::npos)
        << ReadBytes(exe.ini);
}
