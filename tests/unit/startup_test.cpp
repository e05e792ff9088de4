// Start-up (user.ini, the list file, the slot rows and tips) and the save at close.
#include <climits>
#include <functional>

#include "support/FormFixture.h"

using namespace qxtest;

namespace {

const std::string kDefaultCopysaki = "C:\\Program Files\\PellamorOnline\\bgm";
const std::string kDefaultTool = "C:\\Program Files\\Windows Media Player\\mplayer2.exe";

}  // namespace

using Startup = FormTest;

TEST_F(Startup, FirstRunUsesDefaultsAndCloseWritesEveryKey) {
    TFormMain& f = Start();

    EXPECT_TRUE(fs.boxes.empty());
    EXPECT_EQ(f.Caption(), "ZorventVer1.2.3");
    EXPECT_EQ(f.MemoCopysaki.Text(), kDefaultCopysaki);
    EXPECT_FALSE(f.Settings.DelReadOnly);
    EXPECT_EQ(f.Settings.List1Clk, 0);
    EXPECT_EQ(f.Settings.List2Clk, 4);
    EXPECT_EQ(f.Settings.List3Clk, 2);
    EXPECT_EQ(f.Settings.List4Clk, 3);
    EXPECT_EQ(f.Settings.Mp3Play, 1);
    EXPECT_EQ(f.Settings.Mp3Tool, kDefaultTool);
    EXPECT_EQ(f.Settings.Mp3Line, "[FileName]");
    EXPECT_EQ(f.Settings.SeleLst, "Pellamor.lst");
    EXPECT_EQ(f.Settings.BatHozonDir, kExe);
    EXPECT_EQ(f.Settings.Experience, 1);

    // The window is whole: main tab, hint label, no tip yet, software name box hidden.
    EXPECT_EQ(f.TabControl1.TabIndex(), 0);
    EXPECT_TRUE(f.Panel1.Visible());
    EXPECT_FALSE(f.Panel2.Visible());
    EXPECT_FALSE(f.MemoSoftName.Visible());
    EXPECT_EQ(
        f.LblTag.Caption(),
        "↑のファイルリストを\r\n右クリックで\r\n　フォーカス一段下げ\r\n中クリックで再生(難)");
    EXPECT_EQ(f.LblMp3Tips.Caption(), "");

    // Slot rows emptied, tips kept aside, mask from the list file.
    EXPECT_EQ(Lines(), (std::vector<std::string>{"01.mp3=", "03.mp3=", "05.mp3="}));
    EXPECT_EQ(f.Mp3Tips, (std::vector<std::string>{"01.mp3 - A", "03.mp3 - B", "05.mp3 - C"}));
    EXPECT_EQ(f.ValListMp3.tag, 3);
    EXPECT_EQ(f.ValListMp3.Row(), 1);

    ASSERT_TRUE(Handle([&] { f.BtnExit.UserClick(); }));
    EXPECT_TRUE(f.Closed());
    EXPECT_EQ(Saved("user", "DelReadOnly"), "0");
    EXPECT_EQ(Saved("user", "list1clk"), "0");
    EXPECT_EQ(Saved("user", "list2clk"), "4");
    EXPECT_EQ(Saved("user", "list3clk"), "2");
    EXPECT_EQ(Saved("user", "list4clk"), "3");
    EXPECT_EQ(Saved("user", "mp3play"), "1");
    EXPECT_EQ(Saved("user", "bathozondir"), kExe);
    EXPECT_EQ(Saved("user", "mp3tool"), kDefaultTool);
    EXPECT_EQ(Saved("user", "mp3line"), "[FileName]");
    EXPECT_EQ(Saved("user", "selelst"), "Pellamor.lst");
    EXPECT_EQ(Saved("copysaki", "Pellamor.lst"), kDefaultCopysaki);
    EXPECT_EQ(Saved("muimi", "experience"), "1");
    EXPECT_EQ(Saved("muimi", "softname"), "ZorventVer1.2.3");
    // A new file shows the order of the writes: the user keys, the destination folder,
    // then the counter before the name.
    EXPECT_EQ(fs.Data(kUserIni),
              "[user]\r\nDelReadOnly=0\r\nlist1clk=0\r\nlist2clk=4\r\nlist3clk=2\r\nlist4clk=3\r\n"
              "mp3play=1\r\nbathozondir=" +
                  kExe + "\r\nmp3tool=" + kDefaultTool +
                  "\r\nmp3line=[FileName]\r\nselelst=Pellamor.lst\r\nkeeporiginals=1\r\n"
                  "matchloudness=0\r\n[copysaki]\r\nPellamor.lst=" +
                  kDefaultCopysaki + "\r\n[muimi]\r\nexperience=1\r\nsoftname=ZorventVer1.2.3\r\n");
}

TEST_F(Startup, ReadsUserIniAndKeepsTheFolderOfEachListFile) {
    WriteUserIni(
        "[user]\r\nDelReadOnly=2\r\nlist1clk=1\r\nlist2clk=0x3\r\nlist3clk=$4\r\nlist4clk=abc\r\n"
        "mp3play=2\r\nbathozondir=D:\\bats\r\nmp3tool=C:\\p\\play.exe\r\nmp3line=/x [FileName]\r\n"
        "selelst=Other.lst\r\nkeeporiginals=5\r\nmatchloudness=7\r\n"
        "[copysaki]\r\nPellamor.lst=C:\\old\r\nOther.lst=E:\\games\\bgm\r\n"
        "[muimi]\r\nexperience=10\r\nsoftname=マイソフト\r\n");
    WriteList("Msg_NewMsg.wav=ピコ", "1", "*.wav", "Other.lst");
    TFormMain& f = Start();

    EXPECT_TRUE(fs.boxes.empty());
    EXPECT_TRUE(f.Settings.DelReadOnly);
    EXPECT_EQ(f.Settings.List1Clk, 1);
    EXPECT_EQ(f.Settings.List2Clk, 3);
    EXPECT_EQ(f.Settings.List3Clk, 4);
    EXPECT_EQ(f.Settings.List4Clk, 3);  // not a number: the default
    EXPECT_EQ(f.Settings.Mp3Play, 2);
    EXPECT_EQ(f.Settings.Mp3Tool, "C:\\p\\play.exe");
    EXPECT_EQ(f.Settings.Mp3Line, "/x [FileName]");
    EXPECT_EQ(f.MemoCopysaki.Text(), "E:\\games\\bgm");
    EXPECT_EQ(f.Caption(), "マイソフト");
    EXPECT_EQ(f.Settings.Experience, 11);
    // The list file named by selelst, not the default one.
    EXPECT_EQ(Lines(), (std::vector<std::string>{"Msg_NewMsg.wav="}));
    EXPECT_EQ(f.FilList.Mask(), apply::WithConvertible("*.wav"));

    // Enter typed into the memo must not let its text turn into keys of its own.
    f.MemoCopysaki.UserSetText("F:\\new\r\n[user]\r\nlist2clk=9");
    ASSERT_TRUE(Handle([&] { f.Close(); }));
    EXPECT_EQ(Saved("copysaki", "Other.lst").value_or("").rfind("F:\\new", 0), 0u);
    EXPECT_EQ(Saved("user", "DelReadOnly"), "1");
    EXPECT_EQ(Saved("user", "list2clk"), "3");
    EXPECT_EQ(Saved("user", "list4clk"), "3");
    EXPECT_EQ(Saved("user", "bathozondir"), "D:\\bats");
    EXPECT_EQ(Saved("user", "selelst"), "Other.lst");
    EXPECT_EQ(Saved("user", "keeporiginals"), "1");
    EXPECT_EQ(Saved("user", "matchloudness"), "1");
    EXPECT_EQ(Saved("copysaki", "Pellamor.lst"), "C:\\old");
    EXPECT_EQ(Saved("muimi", "experience"), "11");
    EXPECT_EQ(Saved("muimi", "softname"), "マイソフト");
}

TEST_F(Startup, CounterSaturatesInsteadOfOverflowing) {
    WriteUserIni("[muimi]\r\nexperience=2147483646\r\n");
    TFormMain& f = Start();
    EXPECT_EQ(f.Settings.Experience, INT_MAX);
    fs.saveAnswers.push_back(std::nullopt);
    ASSERT_TRUE(Handle([&] { f.BtnGo.UserClick(); }));
    fs.boxAnswers.push_back(sys::BoxResult::Ok);
    ASSERT_TRUE(Handle([&] { f.BtnCopyGo.UserClick(); }));
    EXPECT_EQ(f.Settings.Experience, INT_MAX);
}

namespace {

// The words of the box a failed save shows, for a reason.
std::string SaveFailed(const std::string& reason) {
    return "設定を保存できませんでした:\r\n" + kUserIni + "\r\n理由: " + reason +
           "\r\n\r\n「再試行」を押すともう一度保存します。"
           "「キャンセル」を押すと保存せずに終了します。";
}

}  // namespace

// A user.ini that cannot be written at close: the box says why and offers 再試行 and
// キャンセル; 再試行 runs the whole save again, キャンセル closes without saving. The
// window closes either way and the file is as it was or complete.
TEST_F(Startup, FailedSaveAsksRetryOrCancelAndTheWindowAlwaysCloses) {
    const std::string mine = "[muimi]\r\nsoftname=Mine\r\n";
    const std::string folder = "C:\\Game\\QUAVERIX";
    struct Case {
        const char* what;
        std::function<void(sys::FakeSystem&)> fail, mend;
        const char* reason;
    };
    const std::vector<Case> cases = {
        {"read-only", [&](auto& s) { s.SetAttributes(kUserIni, sys::kReadOnly); },
         [&](auto& s) { s.SetAttributes(kUserIni, sys::kArchive); },
         "ファイルが読み取り専用です。"},
        {"disk full", [](auto& s) { s.diskSpace = 10; }, [](auto& s) { s.diskSpace = -1; },
         "ディスクに十分な空き領域がありません。"},
        {"medium gone",
         [&](auto& s) {
             s.Remove(kUserIni);
             s.Remove(folder);
         },
         [&](auto& s) { s.AddFolder(folder); },
         "フォルダが見つかりません (ドライブが外されていませんか)。"},
        {"held", [](auto& s) { s.inUse = {kUserIni}; }, [](auto& s) { s.inUse.clear(); },
         "ほかのプログラムがこのファイルを使用中です。"},
    };
    for (const Case& c : cases) {
        for (bool mended : {false, true}) {
            SCOPED_TRACE(std::string(c.what) + (mended ? ", mended before 再試行" : ""));
            FormEnv env;
            env.WriteUserIni(mine);
            TFormMain& f = env.Start();
            EXPECT_EQ(f.Caption(), "Mine");
            c.fail(env.fs);
            const bool existed = env.fs.Exists(kUserIni);
            env.fs.boxAnswers = {sys::BoxResult::Retry, sys::BoxResult::Cancel};
            if (mended) env.fs.onBox = [&] { c.mend(env.fs); };

            ASSERT_TRUE(env.Handle([&] { f.BtnExit.UserClick(); }));
            EXPECT_TRUE(f.Closed());
            ASSERT_EQ(env.fs.boxes.size(), mended ? 1u : 2u);
            for (const auto& box : env.fs.boxes) {
                EXPECT_EQ(box.kind, sys::BoxKind::RetryCancel);
                EXPECT_EQ(box.caption, "QUAVERIX");
                EXPECT_EQ(box.text, SaveFailed(c.reason));
            }
            if (mended) {
                EXPECT_EQ(env.Saved("muimi", "experience"), "1");
                EXPECT_EQ(env.Saved("user", "selelst"), "Pellamor.lst");
            } else {
                EXPECT_EQ(env.fs.Exists(kUserIni), existed);
                EXPECT_EQ(env.fs.Data(kUserIni), existed ? mine : "");
            }
        }
    }
}

// A user.ini that is there but cannot be read holds the player's settings: one box says
// so, the defaults stand for this run, and nothing this run does writes over the file,
// not even once it can be read again. A missing file is a first run: no box.
TEST_F(Startup, UnreadableUserIniIsReportedAndNeverWritten) {
    const std::string mine = "[user]\r\nlist1clk=3\r\n[muimi]\r\nexperience=40\r\n";
    struct Case {
        const char* what;
        std::function<void(sys::FakeSystem&)> lock;
        const char* reason;  // "": no box
    };
    const std::vector<Case> cases = {
        {"held", [](auto& s) { s.inUse = {kUserIni}; },
         "ほかのプログラムがこのファイルを使用中です。"},
        {"denied", [](auto& s) { s.unreadable = {kUserIni}; }, "アクセスが拒否されました。"},
        {"missing", [](auto& s) { s.Remove(kUserIni); }, ""},
    };
    for (const Case& c : cases) {
        for (bool sessionEnds : {false, true}) {
            SCOPED_TRACE(std::string(c.what) + (sessionEnds ? ", session ends" : ""));
            FormEnv env;
            env.WriteUserIni(mine);
            c.lock(env.fs);
            TFormMain& f = env.Start();
            EXPECT_EQ(f.Settings.List1Clk, 0);
            EXPECT_EQ(f.Settings.Experience, 1);
            const bool box = *c.reason != '\0';
            ASSERT_EQ(env.fs.boxes.size(), box ? 1u : 0u);
            if (box) {
                EXPECT_EQ(env.fs.boxes[0].kind, sys::BoxKind::Warning);
                EXPECT_EQ(env.fs.boxes[0].caption, "QUAVERIX");
                EXPECT_EQ(env.fs.boxes[0].text,
                          "設定ファイルを読み込めませんでした:\r\n" + kUserIni +
                              "\r\n理由: " + c.reason +
                              "\r\n\r\n今回は初期設定で起動します。元の設定を残すため、"
                              "今回の終了時には user.ini に保存しません。");
            }
            // The other program lets go; the player changes a setting and leaves.
            env.fs.inUse.clear();
            env.fs.unreadable.clear();
            f.TabControl1.UserSelect(1);
            f.RadioGFilListOneClk.SetItemIndex(2);
            f.TabControl1.UserSelect(0);
            if (sessionEnds) {
                f.EndSession();
            } else {
                ASSERT_TRUE(env.Handle([&] { f.Close(); }));
            }
            EXPECT_TRUE(f.Closed());
            EXPECT_EQ(env.fs.boxes.size(), box ? 1u : 0u);
            if (box) {
                EXPECT_EQ(env.fs.Data(kUserIni), mine);
            } else {
                EXPECT_EQ(env.Saved("user", "list1clk"), "2");
            }
        }
    }
}

// The session ends (logoff, shutdown): the settings are saved as a close saves them,
// with no box whatever happens, and once only.
TEST_F(Startup, EndOfSessionSavesWithoutABox) {
    struct Case {
        const char* what;
        bool readOnly;
    };
    for (const Case& c : {Case{"writable", false}, Case{"read-only", true}}) {
        SCOPED_TRACE(c.what);
        FormEnv env;
        env.WriteUserIni("[user]\r\nmp3tool=old.exe\r\n");
        TFormMain& f = env.Start();
        f.TabControl1.UserSelect(1);
        f.MemoMp3Play.UserSetText("new.exe");
        f.TabControl1.UserSelect(0);
        if (c.readOnly) env.fs.SetAttributes(kUserIni, sys::kReadOnly);
        f.EndSession();
        EXPECT_TRUE(f.Closed());
        EXPECT_TRUE(env.fs.boxes.empty());
        EXPECT_EQ(env.Saved("user", "mp3tool"), c.readOnly ? "old.exe" : "new.exe");
        EXPECT_EQ(env.Saved("muimi", "experience"),
                  c.readOnly ? std::nullopt : std::optional<std::string>("1"));
        // A close after it (Windows sends none, another program might) saves nothing again.
        const auto replaces = env.LogOf("replace: ").size();
        ASSERT_TRUE(env.Handle([&] { f.Close(); }));
        EXPECT_EQ(env.LogOf("replace: ").size(), replaces);
        EXPECT_TRUE(env.fs.boxes.empty());
    }
}

TEST_F(Startup, ListFileLinesBecomeRowsAndTips) {
    WriteList("x=y=z#noequals##03.mp3=B#", "4", "*.mp3;*.wav");
    TFormMain& f = Start();

    EXPECT_EQ(fs.boxes.size(), 1u);  // the two nameless lines (see ListFileProblemsAreNamed)
    EXPECT_EQ(Lines(), (std::vector<std::string>{"x=", "=", "=", "03.mp3="}));
    EXPECT_EQ(f.Mp3Tips, (std::vector<std::string>{"x - y - z", "noequals", "", "03.mp3 - B"}));
    EXPECT_EQ(f.FilList.Mask(), apply::WithConvertible("*.mp3;*.wav"));

    // Selecting a row shows its tip.
    f.ValListMp3.SetRow(4);
    EXPECT_EQ(f.LblMp3Tips.Caption(), "03.mp3 - B");
    f.ValListMp3.SetRow(1);
    EXPECT_EQ(f.LblMp3Tips.Caption(), "x - y - z");
    f.ValListMp3.SetRow(3);
    EXPECT_EQ(f.LblMp3Tips.Caption(), "");

    // The table's text breaks at CR LF, and at a lone CR or LF too; a final break adds no line.
    f.ValListMp3.SetText("a=1\rb=2\nc=3\r\n\r\nd=4\n");
    EXPECT_EQ(Lines(), (std::vector<std::string>{"a=1", "b=2", "c=3", "", "d=4"}));
}

TEST_F(Startup, SmallerSlotCountLeavesTheLaterLinesAsGiven) {
    WriteList("01.mp3=A#03.mp3=B#05.mp3=C", "0x1");
    TFormMain& f = Start();

    EXPECT_TRUE(fs.boxes.empty());
    EXPECT_EQ(Lines(), (std::vector<std::string>{"01.mp3=", "03.mp3=B", "05.mp3=C"}));
    EXPECT_EQ(f.Mp3Tips, (std::vector<std::string>{"01.mp3 - A"}));
    // A row without a tip shows none.
    f.ValListMp3.SetRow(2);
    EXPECT_EQ(f.LblMp3Tips.Caption(), "");
    f.ValListMp3.SetRow(1);
    EXPECT_EQ(f.LblMp3Tips.Caption(), "01.mp3 - A");
}

TEST_F(Startup, SlotCountProblemsAreReportedOnceTheWindowIsWhole) {
    struct Case {
        std::string number;
        std::string box;
        std::vector<std::string> lines;
        std::size_t tips;
    };
    const Case cases[] = {
        {"5",
         "リストファイル Pellamor.lst の number (5) が行の数 (3) と合いません。3 "
         "行分のヒントを使います.",
         {"01.mp3=", "03.mp3=", "05.mp3="},
         3},
        // Not an integer: the default 45.
        {"20x",
         "リストファイル Pellamor.lst の number (45) が行の数 (3) と合いません。3 "
         "行分のヒントを使います.",
         {"01.mp3=", "03.mp3=", "05.mp3="},
         3},
        {"-2",
         "リストファイル Pellamor.lst の number (-2) が行の数 (3) と合いません。0 "
         "行分のヒントを使います.",
         {"01.mp3=A", "03.mp3=B", "05.mp3=C"},
         0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.number);
        FormEnv env;
        env.WriteList("01.mp3=A#03.mp3=B#05.mp3=C", c.number);
        TFormMain& f = env.Start();
        EXPECT_EQ(env.BoxTexts(), std::vector<std::string>{c.box});
        EXPECT_EQ(env.Lines(), c.lines);
        EXPECT_EQ(f.Mp3Tips.size(), c.tips);
        EXPECT_EQ(f.Caption(), "ZorventVer1.2.3");
        EXPECT_EQ(f.Settings.Experience, 1);
        EXPECT_FALSE(f.Panel2.Visible());
        EXPECT_FALSE(f.LblTag.Caption().empty());
        // Every row can be selected without reading past the tips.
        for (int r = 1; r < f.ValListMp3.RowCount(); ++r) f.ValListMp3.SetRow(r);
    }
}

TEST_F(Startup, MissingListFileUsesTheDefaultsAndSaysSo) {
    defaultList = false;
    TFormMain& f = Start();

    EXPECT_EQ(BoxTexts(), std::vector<std::string>{
                              "リストファイル C:\\Game\\QUAVERIX\\Pellamor.lst が見つかりません."});
    EXPECT_EQ(fs.boxes[0].kind, sys::BoxKind::Error);
    // The two default lines hold no '=', so both rows have empty names.
    EXPECT_EQ(Lines(), (std::vector<std::string>{"=", "="}));
    EXPECT_EQ(f.Mp3Tips, (std::vector<std::string>{"エーラ", "発生"}));
    EXPECT_EQ(f.FilList.Mask(), apply::WithConvertible("*.mp3"));
    EXPECT_EQ(f.Caption(), "ZorventVer1.2.3");
    EXPECT_EQ(f.Settings.Experience, 1);
    EXPECT_TRUE(f.Panel1.Visible());
    EXPECT_FALSE(f.Panel2.Visible());
}

// What in the list file gives no slot, or was not read whole, is named in one box once the
// window is whole; a file that cannot be read says why. The rows are prepared as ever.
TEST_F(Startup, ListFileProblemsAreNamed) {
    const std::string x2030(2030, 'x');
    const std::string nameless =
        "リストファイル Pellamor.lst の次の行にはスロットのファイル名として使える名前がないため、"
        "その行には何も適用しません:";
    struct Case {
        const char* what;
        std::string file;  // "" a folder, "held" the default list held by another program
        std::string box;
        std::size_t lines;
    };
    const std::vector<Case> cases = {
        {"no =", "nametips=01.mp3=A#noequals#03.mp3=B\r\nnumber=3",
         nameless + "\r\n2 行目「noequals」: 名前がありません.", 3},
        {"empty line and device", "nametips=01.mp3=A##CON.mp3=x\r\nnumber=3",
         nameless + "\r\n2 行目「」: 名前がありません\r\n3 行目「CON.mp3=x」: " +
             "ファイル名として使えない名前です.",
         3},
        {"twelve", "nametips=a#b#c#d#e#f#g#h#i#j#k#l\r\nnumber=12",
         nameless + "\r\n1 行目「a」: 名前がありません\r\n2 行目「b」: 名前がありません\r\n" +
             "3 行目「c」: 名前がありません\r\n4 行目「d」: 名前がありません\r\n" +
             "5 行目「e」: 名前がありません\r\n6 行目「f」: 名前がありません\r\n" +
             "7 行目「g」: 名前がありません\r\n8 行目「h」: 名前がありません\r\n" +
             "9 行目「i」: 名前がありません\r\n10 行目「j」: 名前がありません\r\nほか 2 行.",
         12},
        {"long line shown short", "nametips=" + std::string(60, 'n') + "\r\nnumber=1",
         nameless + "\r\n1 行目「" + std::string(40, 'n') + "…」: 名前がありません.", 1},
        {"cut in a name",
         "nametips=01.mp3=" + std::string(1000, 'x') + "#03.mp3=" + std::string(1030, 'y') +
             "#25.mp3=Z\r\nnumber=3",
         "リストファイル Pellamor.lst の nametips が 2047 バイトを超えているため、3 "
         "行目「2」から後が切れています.",
         3},
        {"cut in a tip, count too", "nametips=01.mp3=" + x2030 + "#03.mp3=" + x2030 + "\r\n",
         "リストファイル Pellamor.lst の nametips が 2047 バイトを超えているため、2 "
         "行目「03.mp3=xx」から後が切れています\r\nリストファイル Pellamor.lst の number (45) "
         "が行の数 (2) と合いません。2 行分のヒントを使います.",
         2},
        {"cut at a line's end",
         "nametips=01.mp3=" + std::string(2039, 'x') + "#03.mp3=B\r\nnumber=1",
         "リストファイル Pellamor.lst の nametips が 2047 バイトを超えているため、2 "
         "行目から後の行がありません.",
         1},
        {"no nametips", "mask=*.mp3\r\nnumber=2",
         "リストファイル Pellamor.lst に nametips がありません.", 2},
        {"folder", "", "リストファイル C:\\Game\\QUAVERIX\\Pellamor.lst はフォルダです.", 2},
        {"held", "held",
         "リストファイル C:\\Game\\QUAVERIX\\Pellamor.lst はほかのプログラムが使用中のため"
         "読めません.",
         2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        FormEnv env;
        if (c.file.empty()) {
            env.fs.AddFolder(kList);
        } else if (c.file == "held") {
            env.fs.AddFile(kList, "[mp3]\r\nnametips=01.mp3=A\r\nnumber=1\r\n");
            env.fs.inUse.push_back(kList);
        } else {
            env.fs.AddFile(kList, "[mp3]\r\n" + c.file + "\r\n");
        }
        TFormMain& f = env.Start();
        EXPECT_EQ(env.BoxTexts(), std::vector<std::string>{c.box});
        EXPECT_EQ(env.fs.boxes[0].caption, "QUAVERIX");
        EXPECT_EQ(static_cast<std::size_t>(f.ValListMp3.Count()), c.lines);
        EXPECT_EQ(f.Caption(), "ZorventVer1.2.3");
        EXPECT_TRUE(f.Panel1.Visible());
    }
}

// Notepad's "UTF-8 with BOM": the mark is skipped and the text taken as UTF-8.
TEST_F(Startup, ListFileInUtf8WithItsMarkIsRead) {
    fs.AddFile(kList, "\xEF\xBB\xBF[mp3]\r\nnametips=01.mp3=" + text::ToUtf8("町の朝") +
                          "#03.mp3=B\r\nnumber=2\r\nmask=*.wav\r\n");
    TFormMain& f = Start();
    EXPECT_TRUE(fs.boxes.empty());
    EXPECT_EQ(Lines(), (std::vector<std::string>{"01.mp3=", "03.mp3="}));
    EXPECT_EQ(f.Mp3Tips, (std::vector<std::string>{"01.mp3 - 町の朝", "03.mp3 - B"}));
    EXPECT_EQ(f.FilList.Mask(), apply::WithConvertible("*.wav"));
}

TEST_F(Startup, ListFileIsOnlyTakenFromBelowTheExeFolder) {
    for (const std::string name :
         {"..\\x.lst", "C:\\Game\\x.lst", "\\x.lst", "sub\\..\\..\\x.lst"}) {
        SCOPED_TRACE(name);
        FormEnv env;
        env.WriteUserIni("[user]\r\nselelst=" + name + "\r\n");
        TFormMain& f = env.Start();
        EXPECT_EQ(env.BoxTexts(), std::vector<std::string>{
                                      "リストファイル名 " + name +
                                      " は使えません (exe のフォルダの中の名前にしてください)"});
        EXPECT_EQ(f.FilList.Mask(), apply::WithConvertible("*.mp3"));
        EXPECT_EQ(env.Lines(), (std::vector<std::string>{"=", "="}));
        EXPECT_EQ(f.Caption(), "ZorventVer1.2.3");
    }

    // A folder below the exe folder is fine; the second byte of "ソ" is no separator.
    for (const std::string name : {"lists\\a.lst", "ソ.\\表.lst"}) {
        SCOPED_TRACE(name);
        FormEnv env;
        env.WriteUserIni("[user]\r\nselelst=" + name + "\r\n");
        env.WriteList("01.mp3=A", "1", "*.ogg", name);
        TFormMain& f = env.Start();
        EXPECT_TRUE(env.fs.boxes.empty());
        EXPECT_EQ(env.Lines(), std::vector<std::string>{"01.mp3="});
        EXPECT_EQ(f.FilList.Mask(), apply::WithConvertible("*.ogg"));
    }
}

TEST_F(Startup, EmptyNametipsGivesAnEmptyTable) {
    WriteList("", "0");
    TFormMain& f = Start();

    EXPECT_TRUE(fs.boxes.empty());
    EXPECT_EQ(f.ValListMp3.Count(), 0);
    EXPECT_EQ(f.ValListMp3.RowCount(), 2);  // the title row and one blank row
    EXPECT_TRUE(f.Mp3Tips.empty());
    f.ValListMp3Click(&f.ValListMp3);
    EXPECT_EQ(f.LblMp3Tips.Caption(), "");
}

// A list-file name that cannot be an INI key still loads, and the window still closes:
// only its destination folder cannot be remembered.
TEST_F(Startup, ListNameThatCannotBeAKeyStillCloses) {
    WriteUserIni("[user]\r\nselelst=a=b.lst\r\n");
    WriteList("01.mp3=A", "1", "*.mp3", "a=b.lst");
    TFormMain& f = Start();
    EXPECT_TRUE(fs.boxes.empty());
    EXPECT_EQ(Lines(), std::vector<std::string>{"01.mp3="});
    f.MemoCopysaki.SetText("D:\\bgm");
    app.Dispatch([&] { f.Close(); });
    EXPECT_TRUE(f.Closed());
    EXPECT_TRUE(fs.boxes.empty());
    EXPECT_EQ(Saved("user", "selelst"), "a=b.lst");
    EXPECT_EQ(Saved("muimi", "experience"), "1");
}

// A literal's bytes, NULs included.
template <std::size_t N>
std::string Bytes(const char (&s)[N]) {
    return std::string(s, N - 1);
}

// Damaged files beside the exe: the window still starts whole, every value is either the
// file's or the default, and closing keeps whatever else the player's user.ini held.
TEST_F(Startup, DamagedFilesStartWithDefaultsAndLoseNothing) {
    std::string garbage;
    for (int i = 0; i < 4096; ++i) garbage += static_cast<char>((i * 131 + 7) % 256);
    const std::string bigLine = "[mp3]\r\nnametips=" + std::string(1 << 20, 'x') + "\r\n";
    struct Case {
        const char* what;
        std::string userIni, list;
    };
    const std::vector<Case> cases = {
        {"binary", garbage + "\r\n[keep]\r\nmine=1\r\n", garbage},
        {"NUL bytes", Bytes("[user]\0list1clk=3\r\n[keep]\r\nmine=1\r\n"),
         Bytes("[mp3]\r\nnumber=2\0\r\nnametips=a=1#b=2\r\n")},
        {"UTF-8 mark", "\xEF\xBB\xBF[user]\r\nlist1clk=3\r\n[keep]\r\nmine=1\r\n",
         "\xEF\xBB\xBF[mp3]\r\nnametips=a=1#b=2\r\nnumber=2\r\n"},
        {"LF only", "[user]\nlist1clk=3\n[keep]\nmine=1\n", "[mp3]\nnametips=a=1#b=2\nnumber=2\n"},
        {"1 MB line", "[user]\r\nmp3line=" + std::string(1 << 20, 'y') + "\r\n[keep]\r\nmine=1\r\n",
         bigLine},
        {"numbers",
         "[user]\r\nlist1clk=20x\r\nlist2clk=0x3\r\nlist3clk=$1\r\nlist4clk=-5\r\n"
         "mp3play=99999999999\r\n[muimi]\r\nexperience=\r\n[keep]\r\nmine=1\r\n",
         "[mp3]\r\nnametips=a=1#b=2\r\nnumber=0X2\r\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        FormEnv env;
        env.WriteUserIni(c.userIni);
        env.fs.AddFile(kList, c.list);
        TFormMain& f = env.Start();
        EXPECT_EQ(f.Caption(), f.Settings.SoftName);
        EXPECT_FALSE(f.LblTag.Caption().empty());
        EXPECT_TRUE(f.Panel1.Visible());
        EXPECT_LE(f.Mp3Tips.size(), static_cast<std::size_t>(f.ValListMp3.Count()));
        EXPECT_LE(f.Settings.Mp3Line.size(), ini::kMaxValueBytes);
        env.Handle([&] { f.Close(); });
        EXPECT_TRUE(f.Closed());
        EXPECT_EQ(env.Saved("keep", "mine"), "1");
    }
    // The number forms: "20x" is no number, hex after "0x" or "$" is, "-5" is taken as
    // it stands, and a value beyond 32 bits is the default.
    FormEnv env;
    env.WriteUserIni(cases.back().userIni);
    env.fs.AddFile(kList, cases.back().list);
    TFormMain& f = env.Start();
    EXPECT_EQ(f.Settings.List1Clk, 0);
    EXPECT_EQ(f.Settings.List2Clk, 3);
    EXPECT_EQ(f.Settings.List3Clk, 1);
    EXPECT_EQ(f.Settings.List4Clk, -5);
    EXPECT_EQ(f.Settings.Mp3Play, 1);
    EXPECT_EQ(f.Settings.Experience, 1);
    EXPECT_EQ(f.ValListMp3.tag, 2);
    EXPECT_TRUE(env.fs.boxes.empty());
}

// The slot table's window takes the loaded lines and then the prepared ones: two fills,
// whatever the number of lines (not one per line).
TEST_F(Startup, SlotTableIsFilledTwiceNotOncePerLine) {
    struct Counter : ui::Peer {
        int fills = 0;
        void Update(ui::Prop what) override { fills += what == ui::Prop::Items; }
    } counter;
    WriteList("01.mp3=A#03.mp3=B#05.mp3=C#08.mp3=D#09.mp3=E", "5");
    form = std::make_unique<TFormMain>(app);
    form->ValListMp3.AttachPeer(&counter);
    form->Create();
    EXPECT_EQ(counter.fills, 2);
    EXPECT_EQ(Lines(),
              (std::vector<std::string>{"01.mp3=", "03.mp3=", "05.mp3=", "08.mp3=", "09.mp3="}));
    form->ValListMp3.AttachPeer(nullptr);
}
