// The settings tab: loading the record into its controls, committing them back, and the
// keyboard rules of the window.
#include <new>

#include "support/FormFixture.h"

using namespace qxtest;

using Tabs = FormTest;

TEST_F(Tabs, LoadClampsAndCommitWritesTheControlsBack) {
    WriteUserIni(
        "[user]\r\nDelReadOnly=1\r\nlist1clk=9\r\nlist2clk=-5\r\nlist3clk=1\r\nlist4clk=0\r\n"
        "mp3play=7\r\nmp3tool=T.exe\r\nmp3line=L\r\nkeeporiginals=0\r\n");
    TFormMain& f = Start();
    f.SetCaption("something else");

    // Until the settings tab has been visited the stored values stand.
    EXPECT_EQ(f.Settings.List1Clk, 9);
    EXPECT_EQ(f.Settings.List2Clk, -5);

    f.TabControl1.UserSelect(1);
    EXPECT_TRUE(f.ChkDelReadOnly.Checked());
    EXPECT_FALSE(f.ChkKeepOriginals.Checked());
    EXPECT_FALSE(f.ChkMatchLoudness.Checked()) << "a user.ini without the key reads as off";
    EXPECT_EQ(f.RadioGFilListOneClk.ItemIndex(), 4);
    EXPECT_EQ(f.RadioGFilListDblClk.ItemIndex(), -1);
    EXPECT_EQ(f.RadioGFilListAltClk.ItemIndex(), 1);
    EXPECT_EQ(f.RadioGFilListCtrlClk.ItemIndex(), 0);
    EXPECT_EQ(f.RadioGMp3Play.ItemIndex(), 2);
    EXPECT_EQ(f.MemoMp3Play.Text(), "T.exe");
    EXPECT_EQ(f.MemoMp3Line.Text(), "L");
    EXPECT_FALSE(f.Panel1.Visible());
    EXPECT_TRUE(f.Panel2.Visible());
    EXPECT_EQ(f.Caption(), "something else");

    // Edits reach the record only on the way back.
    f.ChkDelReadOnly.SetChecked(false);
    f.ChkKeepOriginals.SetChecked(true);
    f.ChkMatchLoudness.SetChecked(true);
    f.RadioGFilListAltClk.SetItemIndex(3);
    f.MemoMp3Play.UserSetText("C:\\a\r\nb.exe");
    f.MemoMp3Line.UserSetText("/q\r\n[FileName]");
    EXPECT_TRUE(f.Settings.DelReadOnly);
    EXPECT_EQ(f.Settings.List3Clk, 1);
    EXPECT_EQ(f.Settings.Mp3Tool, "T.exe");

    EXPECT_FALSE(f.Settings.KeepOriginals);
    f.TabControl1.UserSelect(0);
    EXPECT_FALSE(f.Settings.DelReadOnly);
    EXPECT_TRUE(f.Settings.KeepOriginals);
    EXPECT_TRUE(f.Settings.MatchLoudness);
    EXPECT_EQ(f.Settings.List1Clk, 4);
    EXPECT_EQ(f.Settings.List2Clk, -1);
    EXPECT_EQ(f.Settings.List3Clk, 3);
    EXPECT_EQ(f.Settings.List4Clk, 0);
    EXPECT_EQ(f.Settings.Mp3Play, 2);
    EXPECT_EQ(f.Settings.Mp3Tool, "C:\\ab.exe");
    EXPECT_EQ(f.Settings.Mp3Line, "/q[FileName]");
    EXPECT_TRUE(f.Panel1.Visible());
    EXPECT_FALSE(f.Panel2.Visible());
    EXPECT_EQ(f.Caption(), "ZorventVer1.2.3");

    // The clamped values are what the next load shows and the close saves.
    f.TabControl1.UserSelect(1);
    EXPECT_EQ(f.RadioGFilListOneClk.ItemIndex(), 4);
    f.TabControl1.UserSelect(0);
    ASSERT_TRUE(Handle([&] { f.Close(); }));
    EXPECT_EQ(Saved("user", "list1clk"), "4");
    EXPECT_EQ(Saved("user", "list2clk"), "-1");
    EXPECT_EQ(Saved("user", "mp3play"), "2");
}

namespace {

// A page whose windows fail to be made the first `failures` times it is asked for them.
struct FailingPage : ui::Peer {
    int failures = 1;
    int realized = 0;
    void Update(ui::Prop) override {}
    void Realize() override {
        if (failures > 0) {
            --failures;
            throw std::bad_alloc();
        }
        ++realized;
    }
};

// Every control of the settings page as the player would see it, in one line each.
std::vector<std::string> PageState(TFormMain& f) {
    std::vector<std::string> out = {
        "del " + std::to_string(f.ChkDelReadOnly.Checked()),
        "keep " + std::to_string(f.ChkKeepOriginals.Checked()),
        "tool " + f.MemoMp3Play.Text(),
        "line " + f.MemoMp3Line.Text(),
        "name " + f.MemoSoftName.Text() + " " + std::to_string(f.MemoSoftName.Visible()),
        "panels " + std::to_string(f.Panel1.Visible()) + std::to_string(f.Panel2.Visible()),
        "tab " + std::to_string(f.TabControl1.TabIndex()),
        "caption " + f.Caption()};
    for (ui::RadioGroup* g : {&f.RadioGFilListOneClk, &f.RadioGFilListDblClk,
                              &f.RadioGFilListAltClk, &f.RadioGFilListCtrlClk, &f.RadioGMp3Play}) {
        out.push_back(g->Name() + " " + std::to_string(g->ItemIndex()));
    }
    return out;
}

}  // namespace

// The settings page's windows made on first show: when that fails, the tab stays on the
// main page, nothing on the page or in the record changes, and the next try works.
TEST_F(Tabs, APageThatCannotBeMadeChangesNothing) {
    const std::string ini =
        "[user]\r\nlist1clk=1\r\nmp3play=2\r\nmp3tool=T.exe\r\nkeeporiginals=1\r\n"
        "[muimi]\r\nexperience=20\r\nsoftname=Name\r\n";
    std::string clean;
    {
        FormEnv env;
        env.WriteUserIni(ini);
        TFormMain& g = env.Start();
        g.TabControl1.UserSelect(1);
        g.TabControl1.UserSelect(0);
        ASSERT_TRUE(env.Handle([&] { g.Close(); }));
        clean = env.fs.Data(kUserIni);
    }
    WriteUserIni(ini);
    TFormMain& f = Start();
    FailingPage page;
    page.failures = 2;
    f.Panel2.AttachPeer(&page);
    const std::vector<std::string> before = PageState(f);
    const settings::SettingsRecord record = f.Settings;

    for (int attempt = 0; attempt < 2; ++attempt) {
        EXPECT_FALSE(Handle([&] { f.TabControl1.UserSelect(1); }));
        EXPECT_EQ(PageState(f), before) << "attempt " << attempt;
        EXPECT_TRUE(f.Settings == record);
        // Choosing the main tab again is no change of tab: nothing is committed.
        EXPECT_TRUE(Handle([&] { f.TabControl1.UserSelect(0); }));
        EXPECT_TRUE(f.Settings == record);
    }
    ASSERT_EQ(BoxTexts().size(), 2u);
    EXPECT_EQ(BoxTexts()[0], "メモリが足りないため、この操作を最後まで行えませんでした.");

    ASSERT_TRUE(Handle([&] { f.TabControl1.UserSelect(1); }));
    EXPECT_EQ(page.realized, 1);
    EXPECT_TRUE(f.Panel2.Visible());
    EXPECT_TRUE(f.ChkKeepOriginals.Checked());
    EXPECT_EQ(f.RadioGFilListOneClk.ItemIndex(), 1);
    f.TabControl1.UserSelect(0);
    f.Panel2.AttachPeer(nullptr);
    ASSERT_TRUE(Handle([&] { f.Close(); }));
    EXPECT_EQ(fs.Data(kUserIni), clean);
}

TEST_F(Tabs, SoftNameBoxShowsFromTheTwelfthUse) {
    {
        FormEnv env;
        env.WriteUserIni("[muimi]\r\nexperience=10\r\n");
        TFormMain& f = env.Start();
        EXPECT_EQ(f.Settings.Experience, 11);
        f.TabControl1.UserSelect(1);
        EXPECT_FALSE(f.MemoSoftName.Visible());
        // Hidden, it still carries the name there and back.
        EXPECT_EQ(f.MemoSoftName.Text(), "ZorventVer1.2.3");
        f.TabControl1.UserSelect(0);
        EXPECT_EQ(f.Settings.SoftName, "ZorventVer1.2.3");
    }

    WriteUserIni("[muimi]\r\nexperience=11\r\n");
    TFormMain& f = Start();
    f.TabControl1.UserSelect(1);
    EXPECT_TRUE(f.MemoSoftName.Visible());

    // Line breaks are taken out; the caption shows the new name only after the commit.
    f.MemoSoftName.UserSetText("ab\r\ncd");
    EXPECT_EQ(f.Caption(), "ZorventVer1.2.3");
    f.TabControl1.UserSelect(0);
    EXPECT_EQ(f.Settings.SoftName, "abcd");
    EXPECT_EQ(f.Caption(), "abcd");
    EXPECT_TRUE(f.MemoSoftName.Visible());

    // Nothing hides it again; an emptied name gives an empty caption and is saved empty.
    f.TabControl1.UserSelect(1);
    EXPECT_TRUE(f.MemoSoftName.Visible());
    EXPECT_EQ(f.MemoSoftName.Text(), "abcd");
    f.MemoSoftName.UserSetText("");
    f.TabControl1.UserSelect(0);
    EXPECT_EQ(f.Caption(), "");
    ASSERT_TRUE(Handle([&] { f.Close(); }));
    EXPECT_EQ(Saved("muimi", "softname"), "");
}

TEST_F(Tabs, SoftNameTypingLimitCountsBytes) {
    const std::string longName(40, 'n');
    WriteUserIni("[muimi]\r\nsoftname=" + longName + "\r\n");
    TFormMain& f = Start();
    ASSERT_EQ(f.MemoSoftName.maxLength, 32u);

    EXPECT_EQ(f.MemoSoftName.ClipTyped(0, std::string(40, 'x')), std::string(32, 'x'));
    // A double-byte character is not split at the limit.
    EXPECT_EQ(f.MemoSoftName.ClipTyped(29, "ソフト"), "ソ");
    EXPECT_EQ(f.MemoSoftName.ClipTyped(31, "ソ"), "");
    EXPECT_EQ(f.MemoSoftName.ClipTyped(32, "a"), "");
    EXPECT_EQ(f.MemoCopysaki.ClipTyped(500, "abc"), "abc");

    // A longer name from user.ini is shown whole and committed unchanged.
    f.TabControl1.UserSelect(1);
    EXPECT_EQ(f.MemoSoftName.Text(), longName);
    f.TabControl1.UserSelect(0);
    EXPECT_EQ(f.Settings.SoftName, longName);
}

// The player's program and its command line are taken without the line breaks Enter
// typed into their memos (CR LF, CR or LF alone, anywhere), so playback works at once;
// the memos keep what was typed until the tab is shown again.
TEST_F(Tabs, LineBreaksInThePlayerMemosAreDropped) {
    struct Case {
        std::string typed, taken;
    };
    const Case cases[] = {
        {"C:\\p\\play.exe\r\n", "C:\\p\\play.exe"},
        {"\r\nC:\\p\\pl\nay.exe", "C:\\p\\play.exe"},
        {"C:\\再生\r\r\n\n\\ソ.exe", "C:\\再生\\ソ.exe"},
        {"\r", ""},
        {"C:\\p\\play.exe", "C:\\p\\play.exe"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.typed);
        FormEnv env;
        TFormMain& f = env.Start();
        f.TabControl1.UserSelect(1);
        f.MemoMp3Play.UserSetText(c.typed);
        f.MemoMp3Line.UserSetText("-x " + c.typed + " [FileName]");
        f.TabControl1.UserSelect(0);
        EXPECT_EQ(f.Settings.Mp3Tool, c.taken);
        EXPECT_EQ(f.Settings.Mp3Line, "-x " + c.taken + " [FileName]");
        EXPECT_EQ(f.MemoMp3Play.Text(), c.typed);
        f.TabControl1.UserSelect(1);
        EXPECT_EQ(f.MemoMp3Play.Text(), c.taken);
    }
}

TEST_F(Tabs, ClosingOnTheSettingsTabSavesTheRecordAsItStood) {
    WriteUserIni("[user]\r\nmp3tool=old.exe\r\n");
    TFormMain& f = Start();
    f.TabControl1.UserSelect(1);
    f.MemoMp3Play.UserSetText("new.exe");
    f.RadioGFilListOneClk.SetItemIndex(2);
    f.ChkDelReadOnly.SetChecked(true);

    ASSERT_TRUE(Handle([&] { f.Close(); }));
    EXPECT_TRUE(f.Closed());
    EXPECT_EQ(Saved("user", "mp3tool"), "old.exe");
    EXPECT_EQ(Saved("user", "list1clk"), "0");
    EXPECT_EQ(Saved("user", "DelReadOnly"), "0");
}

TEST_F(Tabs, EnterEscAndAcceleratorsFollowTheShownTab) {
    TFormMain& f = Start();
    using ui::Key;

    // Main tab.
    EXPECT_EQ(f.ButtonForKey(Key::Enter, 0, nullptr), &f.BtnGo);
    EXPECT_EQ(f.ButtonForKey(Key::Escape, 0, nullptr), &f.BtnExit);
    for (unsigned mods : {ui::kShift, ui::kAlt, ui::kCtrl}) {
        EXPECT_EQ(f.ButtonForKey(Key::Enter, mods, nullptr), nullptr);
        EXPECT_EQ(f.ButtonForKey(Key::Escape, mods, &f.FilList), nullptr);
    }
    // A focused push button takes Enter; a memo keeps it as a line break.
    EXPECT_EQ(f.ButtonForKey(Key::Enter, 0, &f.BtnCopyGo), &f.BtnCopyGo);
    EXPECT_EQ(f.ButtonForKey(Key::Enter, 0, &f.Button1), &f.Button1);
    EXPECT_EQ(f.ButtonForKey(Key::Enter, 0, &f.MemoCopysaki), nullptr);
    EXPECT_EQ(f.ButtonForKey(Key::Escape, 0, &f.MemoCopysaki), &f.BtnExit);
    EXPECT_EQ(f.ButtonForKey(Key::Enter, 0, &f.FilList), &f.BtnGo);
    EXPECT_EQ(f.AcceleratorTarget('G'), &f.BtnGo);
    EXPECT_EQ(f.AcceleratorTarget('x'), &f.BtnExit);
    EXPECT_EQ(f.AcceleratorTarget('R'), nullptr);

    // Settings tab: the main tab's buttons react to nothing.
    f.TabControl1.UserSelect(1);
    EXPECT_EQ(f.ButtonForKey(Key::Enter, 0, nullptr), nullptr);
    EXPECT_EQ(f.ButtonForKey(Key::Escape, 0, nullptr), nullptr);
    EXPECT_EQ(f.ButtonForKey(Key::Enter, 0, &f.BtnGo), nullptr);
    EXPECT_EQ(f.ButtonForKey(Key::Enter, 0, &f.Button2), &f.Button2);
    EXPECT_EQ(f.ButtonForKey(Key::Enter, 0, &f.MemoMp3Line), nullptr);
    EXPECT_EQ(f.AcceleratorTarget('G'), nullptr);
    EXPECT_EQ(f.AcceleratorTarget('X'), nullptr);
    ASSERT_EQ(f.AcceleratorTarget('r'), &f.ChkDelReadOnly);
    ui::Form::Press(f.AcceleratorTarget('R'));
    EXPECT_TRUE(f.ChkDelReadOnly.Checked());
    ui::Form::Press(f.AcceleratorTarget('R'));
    EXPECT_FALSE(f.ChkDelReadOnly.Checked());

    // Back on the main tab, Enter runs the batch writer and Esc closes the window.
    f.TabControl1.UserSelect(0);
    fs.saveAnswers.push_back(std::nullopt);
    ASSERT_TRUE(Handle([&] { ui::Form::Press(f.ButtonForKey(Key::Enter, 0, nullptr)); }));
    EXPECT_EQ(fs.saveRequests.size(), 1u);
    EXPECT_EQ(f.Settings.Experience, 4);
    ASSERT_TRUE(Handle([&] { ui::Form::Press(f.ButtonForKey(Key::Escape, 0, nullptr)); }));
    EXPECT_TRUE(f.Closed());
    EXPECT_EQ(Saved("muimi", "experience"), "4");
}

TEST_F(Tabs, FocusOrderSkipsTheHiddenPage) {
    TFormMain& f = Start();
    EXPECT_EQ(f.FocusOrder(),
              (std::vector<ui::Control*>{&f.TabControl1, &f.DrvBox, &f.DirList, &f.ValListMp3,
                                         &f.FilList, &f.Button1, &f.BtnSets, &f.BtnGo, &f.BtnExit,
                                         &f.MemoCopysaki, &f.BtnCopyGo, &f.BtnCopySakiCopy}));
    f.TabControl1.UserSelect(1);
    EXPECT_EQ(f.FocusOrder(),
              (std::vector<ui::Control*>{&f.TabControl1, &f.RadioGFilListOneClk,
                                         &f.RadioGFilListDblClk, &f.MemoMp3Play, &f.Button2,
                                         &f.MemoMp3Line, &f.RadioGMp3Play, &f.RadioGFilListAltClk,
                                         &f.RadioGFilListCtrlClk, &f.ChkDelReadOnly,
                                         &f.ChkKeepOriginals, &f.ChkMatchLoudness, &f.BtnRestore}));
}

TEST(Accelerator, LetterAfterASingleAmpersand) {
    EXPECT_EQ(ui::AcceleratorOf("Bat作成(&G)"), 'G');
    EXPECT_EQ(ui::AcceleratorOf("終了(&x)"), 'X');
    EXPECT_EQ(ui::AcceleratorOf("a&&b"), 0);
    EXPECT_EQ(ui::AcceleratorOf("a&&&b"), 'B');
    EXPECT_EQ(ui::AcceleratorOf("no accelerator&"), 0);
    EXPECT_EQ(ui::AcceleratorOf("再生"), 0);
}
