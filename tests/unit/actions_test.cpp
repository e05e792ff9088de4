// Clicks and presses on the file list, and the playback launcher behind them.
#include <algorithm>
#include <cstdint>

#include "support/FormFixture.h"

using namespace qxtest;

namespace {

const std::string kA = "C:\\music\\a.mp3";
const std::string kB = "C:\\music\\b.mp3";
const std::string kC = "C:\\music\\c.mp3";

}  // namespace

class Actions : public FormTest {
protected:
    TFormMain& StartInMusic() {
        fs.AddFile(kA);
        fs.AddFile(kB);
        fs.AddFile(kC);
        fs.AddFolder("C:\\empty");
        TFormMain& f = Start();
        f.DirList.SetDirectory("C:\\music");
        return f;
    }
    void Press(ui::MouseButton button, unsigned shift) {
        form->FilList.UserMouseDown(button, shift, 5, 5);
    }
};

TEST_F(Actions, EachActionNumber) {
    TFormMain& f = StartInMusic();
    const std::string tool = "C:\\p\\pl.exe";

    // 0: register into the current slot; the row stays and no row event is raised.
    f.FilList.UserSelect(0);
    EXPECT_EQ(Lines(), (std::vector<std::string>{"01.mp3=" + kA, "03.mp3=", "05.mp3="}));
    EXPECT_EQ(f.ValListMp3.Row(), 1);
    // Its file is checked, and the current row's tip says what it is.
    EXPECT_EQ(f.LblMp3Tips.Caption(), "01.mp3 - A\r\n空のファイルです");
    EXPECT_TRUE(f.ValListMp3.Warned(0));
    EXPECT_TRUE(fs.shellCalls.empty());

    // 1: register, then step down, showing the next slot's tip.
    f.FilList.SetItemIndex(1);
    f.FilListAction(1, 1, tool, "[FileName]");
    EXPECT_EQ(Lines()[0], "01.mp3=" + kB);
    EXPECT_EQ(f.ValListMp3.Row(), 2);
    EXPECT_EQ(f.LblMp3Tips.Caption(), "03.mp3 - B");

    // 3: register, then play.
    f.FilListAction(3, 1, tool, "[FileName]");
    EXPECT_EQ(Lines()[1], "03.mp3=" + kB);
    ASSERT_EQ(fs.shellCalls.size(), 1u);
    EXPECT_EQ(fs.shellCalls[0].file, "\"" + kB + "\"");

    // 2: play only, with the settings passed in.
    f.FilList.SetItemIndex(2);
    f.FilListAction(2, 2, tool, "-x [FileName]");
    ASSERT_EQ(fs.shellCalls.size(), 2u);
    EXPECT_EQ(fs.shellCalls[1].file, tool);
    EXPECT_EQ(fs.shellCalls[1].parameters, "-x \"" + kC + "\"");
    EXPECT_EQ(Lines()[2], "05.mp3=");

    // 4 and numbers outside the range do nothing.
    const std::vector<std::string> before = Lines();
    for (int n : {4, 5, 9, -1, INT32_MIN}) f.FilListAction(n, 1, tool, "[FileName]");
    EXPECT_EQ(Lines(), before);
    EXPECT_EQ(fs.shellCalls.size(), 2u);
    EXPECT_EQ(f.ValListMp3.Row(), 2);

    // 1 on the last slot: registered there, the row stays.
    f.ValListMp3.SetRow(3);
    f.FilListAction(1, 1, tool, "[FileName]");
    EXPECT_EQ(Lines()[2], "05.mp3=" + kC);
    EXPECT_EQ(f.ValListMp3.Row(), 3);
}

TEST_F(Actions, GesturesPickTheirSetting) {
    TFormMain& f = StartInMusic();
    using ui::MouseButton;
    f.FilList.SetItemIndex(0);

    // Defaults: double click nothing, Alt plays, Ctrl registers and plays.
    f.FilList.UserDoubleClick();
    EXPECT_EQ(Lines()[0], "01.mp3=");
    EXPECT_TRUE(fs.shellCalls.empty());
    Press(MouseButton::Left, ui::kAlt | ui::kLeft);
    EXPECT_EQ(fs.shellCalls.size(), 1u);
    EXPECT_EQ(Lines()[0], "01.mp3=");
    Press(MouseButton::Left, ui::kCtrl | ui::kLeft);
    EXPECT_EQ(fs.shellCalls.size(), 2u);
    EXPECT_EQ(Lines()[0], "01.mp3=" + kA);

    // Distinct settings to see which one runs.
    f.Settings.List1Clk = 4;
    f.Settings.List2Clk = 0;
    f.Settings.List3Clk = 1;
    f.Settings.List4Clk = 0;
    f.FilList.UserSelect(1);
    EXPECT_EQ(Lines()[0], "01.mp3=" + kA);
    f.FilList.UserDoubleClick();
    EXPECT_EQ(Lines()[0], "01.mp3=" + kB);
    Press(MouseButton::Left, ui::kAlt | ui::kLeft);  // register and step
    EXPECT_EQ(f.ValListMp3.Row(), 2);
    f.FilList.SetItemIndex(2);
    Press(MouseButton::Left, ui::kCtrl | ui::kLeft);
    EXPECT_EQ(Lines()[1], "03.mp3=" + kC);

    // Only the exact sets match; other left presses do nothing.
    f.Settings.List3Clk = 0;
    f.Settings.List4Clk = 0;
    f.FilList.SetItemIndex(0);
    const std::vector<std::string> before = Lines();
    for (unsigned shift :
         {unsigned{ui::kLeft}, ui::kShift | ui::kLeft, ui::kAlt | ui::kShift | ui::kLeft,
          ui::kAlt | ui::kCtrl | ui::kLeft, ui::kAlt | ui::kLeft | ui::kRight,
          ui::kCtrl | ui::kLeft | ui::kMiddle, ui::kAlt | ui::kLeft | ui::kDouble,
          ui::kCtrl | ui::kLeft | ui::kDouble}) {
        Press(MouseButton::Left, shift);
    }
    EXPECT_EQ(Lines(), before);
    EXPECT_EQ(f.ValListMp3.Row(), 2);
    EXPECT_EQ(fs.shellCalls.size(), 2u);

    // The middle button plays whatever the action settings hold, with Alt held too...
    f.Settings.List1Clk = f.Settings.List2Clk = f.Settings.List3Clk = f.Settings.List4Clk = 4;
    Press(MouseButton::Middle, ui::kMiddle);
    Press(MouseButton::Middle, ui::kAlt | ui::kMiddle);
    ASSERT_EQ(fs.shellCalls.size(), 4u);
    EXPECT_EQ(fs.shellCalls[3].file, "\"" + kA + "\"");
    // ...but not in playback mode 0.
    f.Settings.Mp3Play = 0;
    Press(MouseButton::Middle, ui::kMiddle);
    EXPECT_EQ(fs.shellCalls.size(), 4u);
    EXPECT_EQ(Lines(), before);
}

TEST_F(Actions, RightPressStepsDownAndWraps) {
    TFormMain& f = StartInMusic();
    using ui::MouseButton;
    f.FilList.SetItemIndex(1);

    Press(MouseButton::Right, ui::kRight);
    EXPECT_EQ(f.ValListMp3.Row(), 2);
    EXPECT_EQ(f.LblMp3Tips.Caption(), "03.mp3 - B");
    Press(MouseButton::Right, ui::kAlt | ui::kRight);
    EXPECT_EQ(f.ValListMp3.Row(), 3);
    Press(MouseButton::Right, ui::kRight);
    EXPECT_EQ(f.ValListMp3.Row(), 1);
    EXPECT_EQ(f.LblMp3Tips.Caption(), "01.mp3 - A");
    // The list and the slots are left alone.
    EXPECT_EQ(f.FilList.ItemIndex(), 1);
    EXPECT_EQ(Lines(), (std::vector<std::string>{"01.mp3=", "03.mp3=", "05.mp3="}));
    EXPECT_TRUE(fs.shellCalls.empty());

    // One slot row: nothing moves and no row event is raised.
    FormEnv one;
    one.WriteList("01.mp3=A", "1");
    TFormMain& g = one.Start();
    g.FilList.UserMouseDown(MouseButton::Right, ui::kRight, 0, 0);
    EXPECT_EQ(g.ValListMp3.Row(), 1);
    EXPECT_EQ(g.LblMp3Tips.Caption(), "");
}

TEST_F(Actions, RegisterEdgeCases) {
    fs.AddFile("C:\\top.mp3");
    TFormMain& f = StartInMusic();

    // Arrow keys with action 1: each file goes into the next slot until the last.
    f.Settings.List1Clk = 1;
    for (int i : {0, 1, 2, 0}) f.FilList.UserSelect(i);
    EXPECT_EQ(Lines(), (std::vector<std::string>{"01.mp3=" + kA, "03.mp3=" + kB, "05.mp3=" + kA}));
    EXPECT_EQ(f.ValListMp3.Row(), 3);

    // A drive root gives one backslash.
    f.Settings.List1Clk = 0;
    f.ValListMp3.SetRow(1);
    f.DirList.SetDirectory("C:\\");
    ASSERT_EQ(Names(f.FilList.Items()), std::vector<std::string>{"top.mp3"});
    f.FilList.UserSelect(0);
    EXPECT_EQ(Lines()[0], "01.mp3=C:\\top.mp3");

    // A line without '=' gets an empty name.
    f.ValListMp3.SetLine(1, "noequals");
    f.ValListMp3.SetRow(2);
    f.FilList.UserSelect(0);
    EXPECT_EQ(Lines()[1], "=C:\\top.mp3");

    // Ctrl with action 3 and no file: the slot is cleared, nothing plays.
    f.DirList.SetDirectory("C:\\empty");
    ASSERT_TRUE(f.FilList.Items().empty());
    f.ValListMp3.SetRow(1);
    f.FilList.UserMouseDown(ui::MouseButton::Left, ui::kCtrl | ui::kLeft, 0, 0);
    EXPECT_EQ(Lines()[0], "01.mp3=");
    EXPECT_TRUE(fs.shellCalls.empty());
    EXPECT_TRUE(fs.boxes.empty());

    // An empty table: the register fails with the list's index error before anything
    // is written or played.
    FormEnv empty;
    empty.WriteList("", "0");
    empty.fs.AddFile("C:\\Game\\QUAVERIX\\x.mp3");
    TFormMain& g = empty.Start();
    g.Settings.List1Clk = 3;
    EXPECT_FALSE(empty.Handle([&] { g.FilList.UserSelect(0); }));
    EXPECT_EQ(empty.BoxTexts(),
              std::vector<std::string>{"リストのインデックスが範囲を超えています (0)"});
    EXPECT_EQ(g.ValListMp3.Count(), 0);
    EXPECT_TRUE(empty.fs.shellCalls.empty());
}

// Typing into a value cell writes the row as registering does: its name, '=', the text.
TEST_F(Actions, TypingIntoTheValueCellKeepsTheName) {
    TFormMain& f = Start();
    struct Case {
        std::string line, typed, result;
    };
    const Case cases[] = {
        {"01.mp3=", "C:\\x.mp3", "01.mp3=C:\\x.mp3"},
        {"01.mp3=old", "", "01.mp3="},
        {"x=y=z", "w", "x=w"},
        {"noequals", "C:\\x.mp3", "=C:\\x.mp3"},  // no name is made of the line's text
        {"", "v", "=v"},
        {"ソ表=", "ゼ=", "ソ表=ゼ="},
    };
    for (const Case& c : cases) {
        f.ValListMp3.SetLine(1, c.line);
        f.ValListMp3.UserSetValue(2, c.typed);
        EXPECT_EQ(Lines()[1], c.result) << c.line;
        EXPECT_EQ(f.ValListMp3.Value(1), c.typed) << c.line;
    }
    // The title row and rows past the end hold nothing to type into.
    const std::vector<std::string> before = Lines();
    for (int row : {0, 4, -1}) f.ValListMp3.UserSetValue(row, "v");
    EXPECT_EQ(Lines(), before);
}

TEST_F(Actions, PlayFileModesAndTemplates) {
    fs.AddDrive('D');
    fs.AddFile("D:\\music\\my song.mp3");
    TFormMain& f = Start();
    const std::string tool = "C:\\Program Files\\p\\pl.exe";

    // No file selected: nothing in any mode.
    for (int mode : {1, 2}) f.PlayFile(mode, tool, "[FileName]");
    EXPECT_TRUE(fs.shellCalls.empty());

    f.DirList.SetDirectory("D:\\music");
    f.FilList.SetItemIndex(0);
    const std::string quoted = "\"D:\\music\\my song.mp3\"";

    f.PlayFile(1, tool, "ignored [FileName]");
    ASSERT_EQ(fs.shellCalls.size(), 1u);
    EXPECT_EQ(fs.shellCalls[0].file, quoted);
    EXPECT_EQ(fs.shellCalls[0].parameters, std::nullopt);
    EXPECT_EQ(fs.shellCalls[0].show, 5);

    struct Case {
        std::string line, parameters;
    };
    const Case cases[] = {
        {"/-p [FileName]", "/-p " + quoted},
        {"[FileName] [FileName]", quoted + " " + quoted},
        {"[filename]", "[filename]"},
        {"/play", "/play"},
        {"", ""},
        // "ゼ" ends in the byte of '[': only a placeholder at a character counts.
        {"ゼFileName]", "ゼFileName]"},
        {"ゼ[FileName]ゼ", "ゼ" + quoted + "ゼ"},
    };
    for (const Case& c : cases) {
        fs.shellCalls.clear();
        f.PlayFile(2, tool, c.line);
        ASSERT_EQ(fs.shellCalls.size(), 1u) << c.line;
        EXPECT_EQ(fs.shellCalls[0].file, tool);  // no quotes added
        EXPECT_EQ(fs.shellCalls[0].parameters, c.parameters) << c.line;
        EXPECT_EQ(fs.shellCalls[0].show, 5);
    }

    fs.shellCalls.clear();
    for (int mode : {0, 3, -1}) f.PlayFile(mode, tool, "[FileName]");
    EXPECT_TRUE(fs.shellCalls.empty());
}

// The parameters as a started program reads them (CommandLineToArgvW, and the C runtime of
// Visual C++ 2008 and later, on the UTF-16 command line): blanks split outside quotes; 2n
// backslashes before '"' give n and the quote opens or closes, 2n+1 give n and a '"'; a
// third quote in a row inside quotes gives a '"'.
std::vector<std::u16string> Arguments(const std::u16string& s) {
    std::vector<std::u16string> out;
    std::u16string cur;
    bool any = false;
    int quotes = 0, backslashes = 0;
    for (std::size_t i = 0; i < s.size();) {
        const char16_t c = s[i];
        if ((c == u' ' || c == u'\t') && quotes == 0) {
            if (any) out.push_back(cur);
            cur.clear();
            any = false;
            backslashes = 0;
            ++i;
        } else if (c == u'\\') {
            cur += c;
            ++backslashes;
            any = true;
            ++i;
        } else if (c == u'"') {
            cur.resize(cur.size() - static_cast<std::size_t>(backslashes / 2));
            if (backslashes % 2 == 0) {
                ++quotes;
            } else {
                cur.back() = u'"';
            }
            backslashes = 0;
            any = true;
            for (++i; i < s.size() && s[i] == u'"'; ++i) {
                if (++quotes == 3) {
                    cur += u'"';
                    quotes = 0;
                }
            }
            if (quotes == 2) quotes = 0;
        } else {
            cur += c;
            backslashes = 0;
            any = true;
            ++i;
        }
    }
    if (any) out.push_back(cur);
    return out;
}

// Whatever the file is called and wherever the template puts its own quotes, the player
// gets the path as one argument of its own.
TEST_F(Actions, ThePathIsOneArgumentOfThePlayerWhateverItsName) {
    const std::string folder = "D:\\曲 & 100%\\";
    const std::vector<std::string> names = {
        "my  song.mp3",
        "a & mkdir X & rem .mp3",
        "a^b^^.mp3",
        "100%.mp3",
        "%PATH%.mp3",
        "hey!x!.mp3",
        "(1) 'q';x,y=z.mp3",
        "say \"hi\".mp3",
        // The last byte of "ソ" is that of '\' (CP932): no backslash before the quote.
        "ソ",
        "表ソ.mp3",
    };
    const struct {
        std::string line;
        std::vector<std::u16string> before, after;
    } templates[] = {
        {"[FileName]", {}, {}},
        {"\"[FileName]\"", {}, {}},
        {"-x [FileName] -y", {u"-x"}, {u"-y"}},
        {"/o=\"[FileName]\" \"a b\"", {}, {u"a b"}},
        {"\"x y\" \\[FileName]", {u"x y"}, {}},
    };
    fs.AddDrive('D');
    for (const std::string& n : names) fs.AddFile(folder + n);
    TFormMain& f = Start();
    f.DirList.SetDirectory(folder);
    f.FilList.SetMask("*");
    ASSERT_EQ(f.FilList.Items().size(), names.size());
    for (std::size_t i = 0; i < names.size(); ++i) {
        f.FilList.SetItemIndex(static_cast<int>(i));
        const std::u16string path = text::ToUtf16(f.FilList.FileName());
        for (const auto& t : templates) {
            SCOPED_TRACE(f.FilList.FileName() + " | " + t.line);
            fs.shellCalls.clear();
            f.PlayFile(2, "C:\\p\\pl.exe", t.line);
            ASSERT_EQ(fs.shellCalls.size(), 1u);
            std::vector<std::u16string> args =
                Arguments(text::ToUtf16(*fs.shellCalls[0].parameters));
            std::vector<std::u16string> want = t.before;
            want.push_back(t.line.find("/o=") == 0                  ? u"/o=" + path
                           : t.line.find('\\') != std::string::npos ? u"\\" + path
                                                                    : path);
            want.insert(want.end(), t.after.begin(), t.after.end());
            EXPECT_EQ(args, want) << text::FromUtf16(args.empty() ? u"" : args.back());
        }
    }
    EXPECT_TRUE(fs.boxes.empty());
}

// A batch file is read by cmd.exe, which acts on & | < > ^ % ! and '"' wherever they stand:
// such a path is never handed to one; any other player takes it.
TEST_F(Actions, BatchPlayerIsGivenNoPathCmdWouldActOn) {
    const std::vector<std::string> risky = {"a & mkdir X & rem .mp3",
                                            "a|b.mp3",
                                            "a<b.mp3",
                                            "a>b.mp3",
                                            "a^b.mp3",
                                            "100%.mp3",
                                            "hey!.mp3",
                                            "q\"q.mp3"};
    const std::vector<std::string> safe = {"my (1) 'song';,=.mp3", "ソ表.mp3", "＆％！.mp3",
                                           "−タ.mp3"};  // second bytes '|' and '^'
    fs.AddDrive('D');
    for (const auto& n : risky) fs.AddFile("D:\\m\\" + n);
    for (const auto& n : safe) fs.AddFile("D:\\m\\" + n);
    fs.AddFile("D:\\a&b\\x.mp3");
    TFormMain& f = Start();
    const struct {
        std::string tool;
        bool batch;
    } players[] = {
        {"C:\\p\\play.bat", true},    {"C:\\p\\PLAY.CMD", true}, {"\"C:\\p\\p.Bat\" ", true},
        {"C:\\p\\play.bat.", true},   {"C:\\p\\play", true},     {"C:\\ソ\\play.exe", false},
        {"C:\\p.bat\\pl.exe", false},
    };
    auto play = [&](const std::string& folder, const std::string& name, const std::string& tool) {
        f.DirList.SetDirectory(folder);
        const auto& items = f.FilList.Items();
        auto it = std::find(items.begin(), items.end(), text::ToUtf16(name));
        ASSERT_NE(it, items.end()) << name;
        f.FilList.SetItemIndex(static_cast<int>(it - items.begin()));
        fs.shellCalls.clear();
        fs.boxes.clear();
        f.Settings.Mp3Play = 2;
        f.Settings.Mp3Tool = tool;
        f.Settings.Mp3Line = "\"[FileName]\"";
        ASSERT_TRUE(Handle([&] { f.Button1.UserClick(); }));
    };
    for (const auto& p : players) {
        for (const auto& n : risky) {
            SCOPED_TRACE(p.tool + " " + n);
            play("D:\\m", n, p.tool);
            EXPECT_EQ(fs.shellCalls.size(), p.batch ? 0u : 1u);
            ASSERT_EQ(fs.boxes.size(), p.batch ? 1u : 0u);
            if (!p.batch) continue;
            EXPECT_EQ(fs.boxes[0].kind, sys::BoxKind::Warning);
            EXPECT_EQ(fs.boxes[0].caption, "QUAVERIX");
            EXPECT_EQ(fs.boxes[0].text,
                      "再生ソフトがバッチファイル (.bat や .cmd) なので、このファイルは再生し"
                      "ません。\r\nD:\\m\\" +
                          n +
                          "\r\nフォルダ名やファイル名に & | < > ^ % ! \" のどれかがあると、"
                          "バッチファイルではその部分がコマンドとして実行されるおそれがあります"
                          "。");
        }
        for (const auto& n : safe) {
            SCOPED_TRACE(p.tool + " " + n);
            play("D:\\m", n, p.tool);
            ASSERT_EQ(fs.shellCalls.size(), 1u);
            EXPECT_EQ(fs.shellCalls[0].parameters, "\"D:\\m\\" + n + "\"");
            EXPECT_TRUE(fs.boxes.empty());
        }
        SCOPED_TRACE(p.tool + " folder");
        play("D:\\a&b", "x.mp3", p.tool);
        EXPECT_EQ(fs.shellCalls.size(), p.batch ? 0u : 1u);
    }
    // By association the file is opened as before, whatever it is called.
    play("D:\\m", risky[0], "C:\\p\\play.bat");
    f.Settings.Mp3Play = 1;
    fs.boxes.clear();
    f.Button1.UserClick();
    ASSERT_EQ(fs.shellCalls.size(), 1u);
    EXPECT_EQ(fs.shellCalls[0].file, "\"D:\\m\\" + risky[0] + "\"");
    EXPECT_TRUE(fs.boxes.empty());
}

TEST_F(Actions, PlayButtonAlwaysPlays) {
    TFormMain& f = StartInMusic();
    f.Settings.Mp3Tool = "pl.exe";
    f.Settings.Mp3Line = "[FileName]";

    f.Settings.Mp3Play = 1;
    f.Button1.UserClick();  // nothing selected
    EXPECT_TRUE(fs.shellCalls.empty());

    f.FilList.SetItemIndex(0);
    for (int mode : {1, 0, 2, 3}) {
        f.Settings.Mp3Play = mode;
        f.Button1.UserClick();
    }
    ASSERT_EQ(fs.shellCalls.size(), 4u);
    EXPECT_EQ(fs.shellCalls[0].file, "\"" + kA + "\"");
    for (int i = 1; i < 4; ++i) {
        EXPECT_EQ(fs.shellCalls[static_cast<std::size_t>(i)].file, "pl.exe");
        EXPECT_EQ(fs.shellCalls[static_cast<std::size_t>(i)].parameters, "\"" + kA + "\"");
    }
}

TEST_F(Actions, BrowseForThePlayer) {
    TFormMain& f = Start();
    f.TabControl1.UserSelect(1);
    const std::string before = f.MemoMp3Play.Text();

    fs.openAnswers.push_back(std::nullopt);
    f.Button2.UserClick();
    EXPECT_EQ(f.MemoMp3Play.Text(), before);
    ASSERT_EQ(fs.openRequests.size(), 1u);
    EXPECT_EQ(fs.openRequests[0].filter,
              "実行ファイル(*.exe)|*.exe|全てのファイル(*.*)|*.*|顔(*.*)|*.*");
    EXPECT_EQ(fs.openRequests[0].title, "");
    EXPECT_EQ(fs.openRequests[0].initialFolder, "");
    EXPECT_EQ(fs.openRequests[0].defaultExt, "");

    fs.openAnswers.push_back("D:\\ツール\\再生.exe");
    f.Button2.UserClick();
    EXPECT_EQ(f.MemoMp3Play.Text(), "D:\\ツール\\再生.exe");
    EXPECT_EQ(f.Settings.Mp3Tool, before);
    f.TabControl1.UserSelect(0);
    EXPECT_EQ(f.Settings.Mp3Tool, "D:\\ツール\\再生.exe");
}

// A name CP932 cannot hold is passed on as its short (8.3) name, part by part; a part
// CP932 holds keeps its long name; without a short name nothing is registered or played.
TEST_F(Actions, PathsTakeShortNamesForPartsCp932CannotHold) {
    struct Part {
        std::u16string name;
        std::string shortName;  // "" for none
    };
    struct Case {
        std::vector<Part> folders;  // below C:\, opened line by line
        Part file;
        std::string registered;  // "" when refused
        std::string error;  // the box's text, when refused
        std::string folder = "";  // what "→" gives
    };
    const Case cases[] = {
        {{{u"music", ""}}, {u"x😀.mp3", "X~1.MP3"}, "C:\\music\\X~1.MP3", "", "C:\\music"},
        {{{u"Música", "MSICA~1"}, {u"음악", "4A3B~1"}},
         {u"Céline é.mp3", "CLINE~1.MP3"},
         "C:\\MSICA~1\\4A3B~1\\CLINE~1.MP3",
         "",
         "C:\\MSICA~1\\4A3B~1"},
        {{{u"日本語", "F~1"}},
         {u"Ωmega ソ.mp3", "OMEGA~1.MP3"},
         "C:\\日本語\\Ωmega ソ.mp3",
         "",
         "C:\\日本語"},
        {{}, {u"음악.mp3", "4A3B~1.MP3"}, "C:\\4A3B~1.MP3", "", "C:\\"},  // a drive root
        {{{u"表ソ", ""}},
         {u"é.mp3", "E~1.MP3"},
         "C:\\表ソ\\E~1.MP3",
         "",
         "C:\\表ソ"},  // ends in 0x5C
        {{{u"music", ""}},
         {u"x😀.mp3", ""},
         "",
         "ファイル「x?.mp3」には短い名前 (8.3 形式) がないため、この名前のままでは使えません."},
        {{{u"Música", ""}},
         {u"a.mp3", ""},
         "",
         "フォルダ「M?sica」には短い名前 (8.3 形式) がないため、この名前のままでは開けません."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.registered + c.error);
        FormEnv env;
        std::u16string path = u"C:";
        for (const Part& p : c.folders) {
            path += u"\\" + p.name;
            env.fs.AddFolder(path);
            env.fs.SetShortName(path, p.shortName);
        }
        env.fs.AddFile(path + u"\\" + c.file.name, "ID3");
        env.fs.SetShortName(path + u"\\" + c.file.name, c.file.shortName);
        TFormMain& f = env.Start();
        f.Settings.List1Clk = 3;  // register, then play
        f.DirList.SetDirectory("C:\\");
        bool opened = true;
        for (const Part& p : c.folders) {
            auto line = std::find_if(f.DirList.Items().begin(), f.DirList.Items().end(),
                                     [&](const auto& item) { return item.name == p.name; });
            ASSERT_NE(line, f.DirList.Items().end());
            opened = opened && env.Handle([&] {
                f.DirList.UserOpen(static_cast<int>(line - f.DirList.Items().begin()));
            });
        }
        if (opened) {
            ASSERT_EQ(f.FilList.Items(),
                      std::vector<std::u16string>{c.file.name});  // shown as it is
            env.Handle([&] { f.FilList.UserSelect(0); });
        }
        if (!c.registered.empty()) {
            EXPECT_EQ(env.Lines()[0], "01.mp3=" + c.registered);
            ASSERT_EQ(env.fs.shellCalls.size(), 1u);
            EXPECT_EQ(env.fs.shellCalls[0].file, "\"" + c.registered + "\"");
            EXPECT_EQ(env.fs.Data(c.registered), "ID3");  // the same file
            f.BtnCopySakiCopy.UserClick();  // "→" gives the folder the same way
            EXPECT_EQ(f.MemoCopysaki.Text(), c.folder);
            EXPECT_TRUE(env.fs.boxes.empty());
        } else {
            EXPECT_EQ(env.BoxTexts(), std::vector<std::string>{c.error});
            EXPECT_EQ(env.Lines()[0], "01.mp3=");
            EXPECT_TRUE(env.fs.shellCalls.empty());
        }
    }
}

TEST_F(Actions, DroppedMusicFillsRowsAndDroppedFoldersOpenOrBecomeTheDestination) {
    WriteList("01.mp3=A#03.mp3=B#05.mp3=C", "3", "*.mp3;*.wav");
    const std::u16string music = u"C:\\M\u00FAsica", emoji = u"C:\\m\\x\U0001F600.mp3";
    fs.AddFile(u"C:\\m\\a.mp3");
    fs.AddFile(u"C:\\m\\b.wav");
    fs.AddFile(u"C:\\m\\notes.txt");
    fs.AddFile(emoji);
    fs.SetShortName(emoji, "X~1.MP3");
    fs.AddFile(u"C:\\m\\c.mp3");
    fs.AddFolder(music);
    fs.SetShortName(music, "MSICA~1");
    fs.AddFile(music + u"\\d.mp3");
    TFormMain& f = Start();
    const std::string before = f.MemoCopysaki.Text();
    auto drop = [&](ui::Control& c, std::vector<std::u16string> paths, int row) {
        EXPECT_TRUE(Handle([&] { c.UserDropFiles(paths, row); }));
    };

    // Onto row 2: the music in turn from there, the rest passed over, nothing past the last row.
    drop(f.ValListMp3, {emoji, u"C:\\m\\notes.txt", music, u"C:\\m\\b.wav", u"C:\\m\\c.mp3"}, 2);
    EXPECT_EQ(Lines(), (std::vector<std::string>{"01.mp3=", "03.mp3=C:\\m\\X~1.MP3",
                                                 "05.mp3=C:\\m\\b.wav"}));
    EXPECT_EQ(f.ValListMp3.Row(), 2);
    EXPECT_EQ(f.LblMp3Tips.Caption(), "03.mp3 - B\r\n空のファイルです");
    // Only what is no music, or a drop below the rows: nothing changes.
    drop(f.ValListMp3, {music, u"C:\\m\\notes.txt"}, 1);
    drop(f.ValListMp3, {u"C:\\m\\a.mp3"}, 0);
    EXPECT_EQ(Lines()[0], "01.mp3=");
    EXPECT_EQ(f.ValListMp3.Row(), 2);

    // A file onto the destination changes nothing; a folder becomes it, as "→" would give it.
    drop(f.MemoCopysaki, {u"C:\\m\\a.mp3"}, 0);
    EXPECT_EQ(f.MemoCopysaki.Text(), before);
    drop(f.MemoCopysaki, {u"C:\\m\\a.mp3", music}, 0);
    EXPECT_EQ(f.MemoCopysaki.Text(), "C:\\MSICA~1");
    // A folder onto the folder list opens it; the file list follows.
    drop(f.DirList, {music}, 0);
    EXPECT_EQ(f.DirList.Directory(), "C:\\MSICA~1");
    EXPECT_EQ(f.FilList.Items(), std::vector<std::u16string>{u"d.mp3"});
    drop(f.DirList, {u"C:\\m\\a.mp3"}, 0);
    EXPECT_EQ(f.DirList.Directory(), "C:\\MSICA~1");
    EXPECT_TRUE(fs.boxes.empty());
}
