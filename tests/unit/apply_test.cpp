// Applying the slot table: the batch file writer and the direct copy.
#include <cstdio>
#include <optional>

#include "elevated/Job.h"
#include "originals/Store.h"
#include "support/FormFixture.h"

using namespace qxtest;

namespace {

const std::string kBgm = "C:\\Program Files\\PellamorOnline\\bgm";
const std::string kBat = "C:\\out\\x.bat";

}  // namespace

class Apply : public FormTest {
protected:
    Apply() { fs.AddFolder("C:\\out"); }

    // Presses "Bat作成" and answers the prompt with `path`; the file's bytes.
    std::string Batch(const std::string& path = kBat) {
        fs.saveAnswers.push_back(path);
        EXPECT_TRUE(Handle([&] { form->BtnGo.UserClick(); }));
        EXPECT_TRUE(fs.Exists(path));
        return fs.Data(path);
    }
    void SetTable(const std::string& text) { form->ValListMp3.SetText(text); }
};

TEST_F(Apply, BatchWorkedExample) {
    TFormMain& f = Start();
    f.Settings.DelReadOnly = true;
    f.ValListMp3.SetLine(1, "03.mp3=C:\\music\\a.mp3");
    fs.AddFile("C:\\music\\a.mp3", Mp3("a"));

    const std::string expected = "del /f \"" + kBgm + "\\03.mp3\"\r\n" +
                                 "copy \"C:\\music\\a.mp3\" \"" + kBgm + "\\03.mp3\"\r\n";
    EXPECT_EQ(Batch(), expected);
    EXPECT_EQ(f.Settings.Experience, 4);
    EXPECT_TRUE(fs.boxes.empty());

    ASSERT_EQ(fs.saveRequests.size(), 1u);
    const sys::SaveFileRequest& r = fs.saveRequests[0];
    EXPECT_EQ(r.title, ".batファイル名を指定");
    EXPECT_EQ(r.filter, "All FIles (*.*)|*.*");
    EXPECT_EQ(r.defaultExt, "bat");
    EXPECT_EQ(r.initialFolder, kExe);
    EXPECT_EQ(r.fileName, "");

    // Again, into another folder: the same script, not appended; the prompt still opens
    // in the folder of the settings.
    fs.AddDrive('D');
    fs.AddFolder("D:\\elsewhere");
    EXPECT_EQ(Batch("D:\\elsewhere\\y.bat"), expected);
    EXPECT_EQ(fs.saveRequests[1].initialFolder, kExe);
    EXPECT_EQ(f.Settings.BatHozonDir, kExe);
    EXPECT_EQ(f.Settings.Experience, 7);
}

TEST_F(Apply, BatchLinesAndValueLengths) {
    TFormMain& f = Start();
    f.MemoCopysaki.SetText("F");
    SetTable("01.mp3=ab\r\n03.mp3=abc\r\n05.mp3=ソ\r\n08.mp3=ソa\r\n09.mp3=\r\n11.mp3=x");

    // Bytes, not characters: one double-byte character is two.
    EXPECT_EQ(Batch(), "copy \"abc\" \"F\\03.mp3\"\r\ncopy \"ソa\" \"F\\08.mp3\"\r\n");

    // Delete lines go right before their copy line.
    f.Settings.DelReadOnly = true;
    SetTable("01.mp3=C:\\a.mp3\r\n03.mp3=C:\\b.mp3\r\n05.mp3=\r\n08.mp3=C:\\c.mp3");
    EXPECT_EQ(Batch(),
              "del /f \"F\\01.mp3\"\r\ncopy \"C:\\a.mp3\" \"F\\01.mp3\"\r\n"
              "del /f \"F\\03.mp3\"\r\ncopy \"C:\\b.mp3\" \"F\\03.mp3\"\r\n"
              "del /f \"F\\08.mp3\"\r\ncopy \"C:\\c.mp3\" \"F\\08.mp3\"\r\n");

    // The backslash is always put in.
    f.Settings.DelReadOnly = false;
    SetTable("01.mp3=C:\\a.mp3");
    f.MemoCopysaki.SetText("E:\\bgm\\");
    EXPECT_EQ(Batch(), "copy \"C:\\a.mp3\" \"E:\\bgm\\\\01.mp3\"\r\n");
    f.MemoCopysaki.SetText("");
    EXPECT_EQ(Batch(), "copy \"C:\\a.mp3\" \"\\01.mp3\"\r\n");
}

TEST_F(Apply, BatchPathsAreSafeForCmd) {
    TFormMain& f = Start();
    f.Settings.DelReadOnly = true;
    // Enter typed into the destination memo leaves a line break in it.
    f.MemoCopysaki.UserSetText("C:\\b%g\r\nx");
    f.ValListMp3.SetLine(0, "01.mp3=C:\\m\\100%.mp3");
    EXPECT_EQ(Batch(),
              "del /f \"C:\\b%%gx\\01.mp3\"\r\n"
              "copy \"C:\\m\\100%%.mp3\" \"C:\\b%%gx\\01.mp3\"\r\n");
}

TEST_F(Apply, BatchCancelledEmptyAndFailedWrites) {
    TFormMain& f = Start();
    f.ValListMp3.SetLine(0, "01.mp3=C:\\a.mp3");
    fs.AddFile("C:\\a.mp3", Mp3("a"));

    // Cancelled: counted, nothing written, nothing said.
    fs.saveAnswers.push_back(std::nullopt);
    ASSERT_TRUE(Handle([&] { f.BtnGo.UserClick(); }));
    EXPECT_EQ(f.Settings.Experience, 4);
    EXPECT_TRUE(LogOf("write: ").empty());
    EXPECT_TRUE(fs.boxes.empty());

    // A file that cannot be created: reported with its path, the old file stays.
    fs.AddFile("C:\\out\\ro.bat", "old", sys::kReadOnly);
    fs.saveAnswers.push_back("C:\\out\\ro.bat");
    EXPECT_FALSE(Handle([&] { f.BtnGo.UserClick(); }));
    EXPECT_EQ(fs.Data("C:\\out\\ro.bat"), "old");
    fs.saveAnswers.push_back("C:\\nowhere\\x.bat");
    EXPECT_FALSE(Handle([&] { f.BtnGo.UserClick(); }));
    EXPECT_FALSE(fs.Exists("C:\\nowhere\\x.bat"));
    // A full disk.
    fs.diskSpace = 5;
    fs.saveAnswers.push_back(kBat);
    EXPECT_FALSE(Handle([&] { f.BtnGo.UserClick(); }));
    fs.diskSpace = -1;
    EXPECT_EQ(BoxTexts(), (std::vector<std::string>{
                              "ファイル C:\\out\\ro.bat を作成できません.",
                              "ファイル C:\\nowhere\\x.bat を作成できません.",
                              "ストリームへの書き込みエラー.",
                          }));
    for (const auto& b : fs.boxes) {
        EXPECT_EQ(b.kind, sys::BoxKind::Error);
        EXPECT_EQ(b.caption, "QUAVERIX");
    }
    EXPECT_EQ(f.Settings.Experience, 13);

    // No assigned slot, or no line at all: an empty file.
    f.ValListMp3.SetLine(0, "01.mp3=");
    EXPECT_EQ(Batch(), "");
    SetTable("");
    EXPECT_EQ(Batch("C:\\out\\empty.bat"), "");
}

TEST_F(Apply, TipTextLeftInTheTableCountsAsAValue) {
    WriteList("01.mp3=A#03.mp3=Bee#05.mp3=Cx", "1");
    TFormMain& f = Start();
    f.MemoCopysaki.SetText("G:");
    EXPECT_EQ(Batch(), "copy \"Bee\" \"G:\\03.mp3\"\r\n");

    ASSERT_TRUE(Handle([&] { f.BtnCopyGo.UserClick(); }));
    EXPECT_EQ(LogOf("copy: "), std::vector<std::string>{"Bee -> G:\\03.mp3"});
}

TEST_F(Apply, CopyCancelledChangesNothing) {
    TFormMain& f = Start();
    f.ValListMp3.SetLine(0, "01.mp3=C:\\a.mp3");
    fs.AddFile("C:\\a.mp3", Mp3("music"));
    f.SetCaption("as it was");

    fs.boxAnswers.push_back(sys::BoxResult::Cancel);
    ASSERT_TRUE(Handle([&] { f.BtnCopyGo.UserClick(); }));
    ASSERT_EQ(fs.boxes.size(), 1u);
    EXPECT_EQ(fs.boxes[0].kind, sys::BoxKind::Confirm);
    EXPECT_EQ(fs.boxes[0].caption, "確認");
    EXPECT_EQ(fs.boxes[0].text,
              "ファイルのコピーを開始します。\r\n同名ファイルは当然の如く上書きします。\r\n\r\n"
              "尚、コピー中に当ソフトをいじくらないほうが無難です。");
    EXPECT_TRUE(LogOf("copy: ").empty());
    EXPECT_EQ(f.Settings.Experience, 1);
    EXPECT_EQ(f.Caption(), "as it was");
}

TEST_F(Apply, CopyShowsThenCopiesEachSlotInOrder) {
    TFormMain& f = Start();
    fs.AddFile("C:\\music\\a.mp3", Mp3("A"));
    fs.AddFile("C:\\music\\c.mp3", Mp3("C"));
    fs.AddFile("C:\\music\\d.mp3", Mp3("D"));
    fs.AddFile("C:\\bgm\\01.mp3", "old");  // replaced
    fs.AddFile("C:\\bgm\\05.mp3", "keep", sys::kReadOnly);  // refused
    fs.AddFile("C:\\bgm\\08.mp3", "hide", sys::kHidden);  // refused
    f.MemoCopysaki.SetText("C:\\bgm");
    SetTable(
        "01.mp3=C:\\music\\a.mp3\r\n03.mp3=C:\\music\\missing.mp3\r\n05.mp3=C:\\music\\c.mp3\r\n"
        "08.mp3=C:\\music\\d.mp3\r\n09.mp3=ab\r\n11.mp3=");
    // The missing file is pointed out first (OK goes on); however a per-file box is
    // closed, the run goes on.
    fs.boxAnswers = {sys::BoxResult::Ok, sys::BoxResult::Ok, sys::BoxResult::Cancel};

    ASSERT_TRUE(Handle([&] { f.BtnCopyGo.UserClick(); }));
    EXPECT_EQ(fs.boxes[0].text,
              "次のファイルはゲームで再生できない形式の可能性があります。\r\n"
              "03.mp3: 読み取れません\r\nこのまま続けますか？");

    std::vector<std::string> order;
    for (const auto& l : fs.log) {
        // (The game's 01.mp3 saved into the originals folder is no copy of a slot.)
        if (l.rfind("box: ", 0) == 0 ||
            (l.rfind("copy: ", 0) == 0 && l.find("\\originals\\") == std::string::npos))
            order.push_back(l);
    }
    ASSERT_EQ(order.size(), 11u);  // the first: the content box; the last: the report
    const char* const slots[][2] = {{"a", "01"}, {"missing", "03"}, {"c", "05"}, {"d", "08"}};
    for (std::size_t i = 0; i < 4; ++i) {
        std::string from = std::string("C:\\music\\") + slots[i][0] + ".mp3";
        std::string to = std::string("C:\\bgm\\") + slots[i][1] + ".mp3";
        EXPECT_EQ(order[2 + 2 * i], "box: " + from + "\r\n" + to);
        EXPECT_EQ(order[3 + 2 * i], "copy: " + from + " -> " + to);
        EXPECT_EQ(fs.boxes[2 + i].kind, sys::BoxKind::Plain);
        EXPECT_EQ(fs.boxes[2 + i].caption, "QUAVERIX");
        EXPECT_EQ(fs.captionsAtBox[2 + i], from + "のコピー中.....");
    }
    EXPECT_EQ(fs.captionsAtBox[1], "ZorventVer1.2.3");

    EXPECT_EQ(fs.Data("C:\\bgm\\01.mp3"), Mp3("A"));
    EXPECT_FALSE(fs.Exists("C:\\bgm\\03.mp3"));
    EXPECT_EQ(fs.Data("C:\\bgm\\05.mp3"), "keep");
    EXPECT_EQ(fs.Data("C:\\bgm\\08.mp3"), "hide");
    EXPECT_EQ(f.Caption(), "ZorventVer1.2.3");
    EXPECT_EQ(f.Settings.Experience, 3);
    // After the run, one box names each slot not copied, in table order.
    ASSERT_EQ(fs.boxes.size(), 7u);
    EXPECT_EQ(fs.boxes[6].kind, sys::BoxKind::Warning);
    EXPECT_EQ(fs.boxes[6].caption, "QUAVERIX");
    EXPECT_EQ(fs.boxes[6].text,
              "コピーできなかったファイルがあります。\r\n"
              "03.mp3: コピー元のファイルがありません\r\n"
              "05.mp3: コピー先のファイルが読み取り専用か隠しファイルです\r\n"
              "08.mp3: コピー先のファイルが読み取り専用か隠しファイルです");
    EXPECT_EQ(fs.captionsAtBox[6], "ZorventVer1.2.3");
    // The table is left as it was.
    EXPECT_EQ(Lines()[0], "01.mp3=C:\\music\\a.mp3");
}

TEST_F(Apply, CopyPathsAndEmptyRuns) {
    TFormMain& f = Start();
    fs.AddFile("C:\\m\\100%.mp3", "P");
    fs.AddFolder("C:\\bgm");
    f.MemoCopysaki.SetText("C:\\bgm\\");
    f.ValListMp3.SetLine(0, "01.mp3=C:\\m\\100%.mp3");

    // A trailing backslash gives two; the paths are used as they stand.
    ASSERT_TRUE(Handle([&] { f.BtnCopyGo.UserClick(); }));
    EXPECT_EQ(fs.boxes.back().text, "C:\\m\\100%.mp3\r\nC:\\bgm\\\\01.mp3");
    EXPECT_EQ(LogOf("copy: "), std::vector<std::string>{"C:\\m\\100%.mp3 -> C:\\bgm\\\\01.mp3"});

    // Nothing assigned, or no line at all: only the confirmation; counted; caption back.
    for (const std::string table : {"01.mp3=\r\n03.mp3=ab", ""}) {
        fs.boxes.clear();
        f.SetCaption("x");
        SetTable(table);
        int before = f.Settings.Experience;
        ASSERT_TRUE(Handle([&] { f.BtnCopyGo.UserClick(); }));
        EXPECT_EQ(fs.boxes.size(), 1u);
        EXPECT_EQ(f.Settings.Experience, before + 2);
        EXPECT_EQ(f.Caption(), f.Settings.SoftName);
    }
    EXPECT_EQ(LogOf("copy: ").size(), 1u);
}

namespace {

const std::string kKept = kExe + "originals\\";

// What the index says of one destination: "<saved file>|<original size>", "(none)|0".
std::string Recorded(FormEnv& env, const std::string& destination) {
    originals::Index index = originals::ParseIndex(env.fs.Data(kKept + "index.txt"));
    for (const originals::Entry& e : index.entries) {
        if (originals::PathKey(e.destination) == originals::PathKey(destination)) {
            return (e.Absent() ? "(none)" : env.fs.Data(kKept + e.saved)) + "|" +
                   std::to_string(e.original.size);
        }
    }
    return "";
}

}  // namespace

TEST_F(Apply, CopyReportGivesEachSlotsReason) {
    TFormMain& f = Start();
    WriteList("01.mp3=#03.mp3=#05.mp3=#08.mp3=#09.mp3=#11.mp3=", "6");
    f.ValListMp3.SetText(
        "01.mp3=C:\\m\\a.mp3\r\n03.mp3=C:\\m\\gone.mp3\r\n05.mp3=C:\\m\\a.mp3\r\n"
        "08.mp3=C:\\m\\a.mp3\r\n09.mp3=C:\\m\\a.mp3\r\n11.mp3=C:\\m\\a.mp3");
    fs.AddFile("C:\\m\\a.mp3", Mp3("new"));
    fs.AddFile("C:\\bgm\\05.mp3", "ro", sys::kReadOnly);
    fs.AddFile("C:\\bgm\\08.mp3", "held");
    fs.inUse.push_back("C:\\bgm\\08.mp3");
    fs.AddFile("C:\\bgm\\09.mp3", "game");
    f.MemoCopysaki.SetText("C:\\bgm");

    // The originals cannot be saved: that slot is not copied either.
    fs.unwritable.push_back(kKept + "1_09.mp3");
    ASSERT_TRUE(Handle([&] { f.BtnCopyGo.UserClick(); }));
    EXPECT_EQ(fs.boxes.back().text,
              "コピーできなかったファイルがあります。\r\n"
              "03.mp3: コピー元のファイルがありません\r\n"
              "05.mp3: コピー先のファイルが読み取り専用か隠しファイルです\r\n"
              "08.mp3: ファイルがほかのプログラムで使用中です (ゲームが起動していませんか)\r\n"
              "09.mp3: 元のファイルを保存できません (アクセスが拒否されました。)");
    EXPECT_EQ(fs.Data("C:\\bgm\\01.mp3"), Mp3("new"));
    EXPECT_EQ(fs.Data("C:\\bgm\\09.mp3"), "game");
    EXPECT_EQ(fs.Data("C:\\bgm\\11.mp3"), Mp3("new"));
    EXPECT_EQ(Recorded(*this, "C:\\bgm\\09.mp3"), "");  // nothing half-kept
    EXPECT_FALSE(fs.Exists(kKept + "1_09.mp3"));

    // A missing folder, and the system's own words for anything else.
    fs.boxes.clear();
    f.ValListMp3.SetText("01.mp3=C:\\m\\a.mp3\r\n03.mp3=C:\\m\\a.mp3");
    f.MemoCopysaki.SetText("C:\\nowhere");
    ASSERT_TRUE(Handle([&] { f.BtnCopyGo.UserClick(); }));
    EXPECT_EQ(fs.boxes.back().text,
              "コピーできなかったファイルがあります。\r\n"
              "01.mp3: コピー先のフォルダがありません\r\n"
              "03.mp3: コピー先のフォルダがありません");
    EXPECT_EQ(Recorded(*this, "C:\\nowhere\\01.mp3"), "");  // nothing to keep there
    fs.boxes.clear();
    f.MemoCopysaki.SetText("C:\\bgm");
    fs.unwritable = {"C:\\bgm\\03.mp3"};
    ASSERT_TRUE(Handle([&] { f.BtnCopyGo.UserClick(); }));
    EXPECT_EQ(fs.boxes.back().text,
              "コピーできなかったファイルがあります。\r\n03.mp3: アクセスが拒否されました。");
    // When every slot was copied, nothing more is said.
    fs.boxes.clear();
    fs.unwritable.clear();
    ASSERT_TRUE(Handle([&] { f.BtnCopyGo.UserClick(); }));
    EXPECT_EQ(fs.boxes.size(), 3u);
}

TEST_F(Apply, OriginalsAreTheGamesFilesNeverOurOwnCopies) {
    TFormMain& f = Start();
    fs.AddFile("C:\\m\\a.mp3", "A");
    fs.AddFile("C:\\m\\b.mp3", "B");
    fs.AddFile("C:\\bgm\\01.mp3", "game 01");
    fs.AddFile("C:\\bgm\\03.mp3", "game 03");
    f.MemoCopysaki.SetText("C:\\bgm");
    auto run = [&](const std::string& table) {
        f.ValListMp3.SetText(table);
        ASSERT_TRUE(Handle([&] { f.BtnCopyGo.UserClick(); }));
    };

    run("01.mp3=C:\\m\\a.mp3\r\n03.mp3=C:\\m\\a.mp3\r\n05.mp3=C:\\m\\a.mp3");
    EXPECT_EQ(Recorded(*this, "C:\\bgm\\01.mp3"), "game 01|7");
    EXPECT_EQ(Recorded(*this, "c:\\BGM\\\\03.mp3"), "game 03|7");
    EXPECT_EQ(Recorded(*this, "C:\\bgm\\05.mp3"), "(none)|0");

    // Applying again, with other music: the game's files stay the originals.
    run("01.mp3=C:\\m\\b.mp3\r\n03.mp3=C:\\m\\b.mp3\r\n05.mp3=C:\\m\\b.mp3");
    EXPECT_EQ(Recorded(*this, "C:\\bgm\\01.mp3"), "game 01|7");
    EXPECT_EQ(Recorded(*this, "C:\\bgm\\05.mp3"), "(none)|0");
    EXPECT_EQ(fs.Data("C:\\bgm\\01.mp3"), "B");

    // A patch replaced 01 (same size as our copy) and added 05: those are the originals now.
    fs.AddFile("C:\\bgm\\01.mp3", "P");
    fs.AddFile("C:\\bgm\\05.mp3", "patch 05");
    run("01.mp3=C:\\m\\a.mp3\r\n05.mp3=C:\\m\\a.mp3");
    EXPECT_EQ(Recorded(*this, "C:\\bgm\\01.mp3"), "P|1");
    EXPECT_EQ(Recorded(*this, "C:\\bgm\\05.mp3"), "patch 05|8");
    EXPECT_EQ(fs.Data(kKept + "1_01.mp3"), "game 01");  // the one before stays kept

    // Keeping turned off saves nothing new, but still notes our copies.
    f.Settings.KeepOriginals = false;
    fs.AddFile("C:\\bgm\\08.mp3", "game 08");
    run("01.mp3=C:\\m\\b.mp3\r\n08.mp3=C:\\m\\b.mp3");
    EXPECT_EQ(Recorded(*this, "C:\\bgm\\08.mp3"), "");
    f.Settings.KeepOriginals = true;
    run("01.mp3=C:\\m\\a.mp3");
    EXPECT_EQ(Recorded(*this, "C:\\bgm\\01.mp3"), "P|1");
}

TEST_F(Apply, RestorePutsBackOnlyWhereOurCopyStillIs) {
    TFormMain& f = Start();
    const int counter = f.Settings.Experience;
    auto restore = [&](sys::BoxResult answer = sys::BoxResult::Ok) {
        fs.boxes.clear();
        fs.boxAnswers = {answer};
        ASSERT_TRUE(Handle([&] { f.BtnRestore.UserClick(); }));
    };
    f.MemoCopysaki.SetText("C:\\bgm");
    restore();
    EXPECT_EQ(BoxTexts(),
              (std::vector<std::string>{"コピー先フォルダのファイルを元に戻します。\r\nC:\\bgm",
                                        "元に戻すファイルがありません。"}));
    EXPECT_EQ(fs.boxes[0].kind, sys::BoxKind::Confirm);
    EXPECT_EQ(fs.boxes[1].kind, sys::BoxKind::Plain);

    fs.AddFile("C:\\m\\a.mp3", "A");
    for (const char* slot : {"01", "03", "05"})
        fs.AddFile(std::string("C:\\bgm\\") + slot + ".mp3", slot);
    f.ValListMp3.SetText(
        "01.mp3=C:\\m\\a.mp3\r\n03.mp3=C:\\m\\a.mp3\r\n05.mp3=C:\\m\\a.mp3\r\n"
        "08.mp3=C:\\m\\a.mp3\r\n09.mp3=C:\\m\\a.mp3");
    ASSERT_TRUE(Handle([&] { f.BtnCopyGo.UserClick(); }));
    fs.AddFile("C:\\bgm\\03.mp3", "edited");  // changed since: left alone
    fs.inUse.push_back("C:\\bgm\\05.mp3");  // held by the game: cannot go back yet
    fs.AddFile("C:\\bgm\\09.mp3", "the player's");  // not ours: stays

    restore(sys::BoxResult::Cancel);
    EXPECT_EQ(fs.Data("C:\\bgm\\01.mp3"), "A");
    restore();
    EXPECT_EQ(fs.boxes.back().text,
              "元に戻せなかったファイルがあります。\r\n"
              "03.mp3: QUAVERIX がコピーした後に変更されているので、そのままにしました\r\n"
              "05.mp3: ファイルがほかのプログラムで使用中です (ゲームが起動していませんか)\r\n"
              "09.mp3: QUAVERIX がコピーした後に変更されているので、そのままにしました");
    EXPECT_EQ(fs.Data("C:\\bgm\\01.mp3"), "01");
    EXPECT_FALSE(fs.Exists("C:\\bgm\\08.mp3"));  // there was none: our copy is removed
    EXPECT_EQ(fs.Data("C:\\bgm\\03.mp3"), "edited");
    EXPECT_EQ(fs.Data("C:\\bgm\\09.mp3"), "the player's");
    EXPECT_EQ(Recorded(*this, "C:\\bgm\\01.mp3"), "");  // dropped once back
    EXPECT_EQ(Recorded(*this, "C:\\bgm\\05.mp3"), "05|2");  // kept until it is back
    EXPECT_EQ(f.Caption(), f.Settings.SoftName);

    fs.inUse.clear();
    restore();
    EXPECT_EQ(fs.Data("C:\\bgm\\05.mp3"), "05");
    EXPECT_EQ(Recorded(*this, "C:\\bgm\\05.mp3"), "");
    EXPECT_EQ(f.Settings.Experience, counter + 2);  // the copy run's, none for restoring
}

namespace {

const std::string kStale =
    "C:\\Users\\Player\\AppData\\Local\\VirtualStore\\Program Files\\"
    "PellamorOnline\\bgm\\";
// A hash as the job's text spells it.
std::string Hex(std::uint64_t hash) {
    char out[17];
    std::snprintf(out, sizeof out, "%016llx", static_cast<unsigned long long>(hash));
    return out;
}

const char* const kRightsBox =
    "コピー先のフォルダに書き込むには管理者の権限が必要です。\r\n管理者としてコピーしますか？\r\n";

}  // namespace

// A game folder that takes writes only from an administrator: the slots refused for that
// are kept to the end, one question asks for the rights, one elevated run copies just
// them, and the report tells what is left, in table order.
TEST_F(Apply, CopyAsksOnceForRightsAndRunsTheRefusedSlotsElevated) {
    TFormMain& f = Start();
    fs.AddFile("C:\\m\\a.mp3", Mp3("A"));
    fs.AddFile(kBgm + "\\01.mp3", "game 01");
    fs.AddFile(kStale + "01.mp3", Mp3("A"));  // an earlier, virtualized run's copy
    fs.AddFile(kStale + "05.mp3", "a virtualized patcher's file");  // not ours: it stays
    fs.needsRights = {kBgm};
    f.ValListMp3.SetText("01.mp3=C:\\m\\a.mp3\r\n03.mp3=C:\\m\\gone.mp3\r\n05.mp3=C:\\m\\a.mp3");
    struct Row {
        // content box (03.mp3 is missing), confirmation, 3 per-file boxes, rights box
        std::vector<sys::BoxResult> answers;
        std::optional<sys::Elevation> elevation;
        std::vector<std::string> report;  // empty: no report box
    };
    const std::string rights = "管理者の権限がないためコピーできません";
    const std::string gone = "03.mp3: コピー元のファイルがありません";
    const std::vector<Row> rows = {
        {{sys::BoxResult::Ok},
         sys::Elevation::Declined,
         {"01.mp3: " + rights, gone, "05.mp3: " + rights}},
        {{sys::BoxResult::Ok, sys::BoxResult::Ok, sys::BoxResult::Ok, sys::BoxResult::Ok,
          sys::BoxResult::Ok, sys::BoxResult::Cancel},
         std::nullopt,
         {"01.mp3: " + rights, gone, "05.mp3: " + rights}},
        {{sys::BoxResult::Ok}, sys::Elevation::Done, {gone}},
    };
    for (const Row& row : rows) {
        fs.boxes.clear();
        fs.elevatedJobs.clear();
        fs.boxAnswers = {row.answers.begin(), row.answers.end()};
        if (row.elevation) fs.elevationAnswers = {*row.elevation};
        ASSERT_TRUE(Handle([&] { f.BtnCopyGo.UserClick(); }));
        ASSERT_GE(fs.boxes.size(), 6u);
        EXPECT_EQ(fs.boxes[5].kind, sys::BoxKind::Confirm);  // one box, after the per-file ones
        EXPECT_EQ(fs.boxes[5].caption, "確認");
        EXPECT_EQ(fs.boxes[5].text, kRightsBox + kBgm);
        std::string report = "コピーできなかったファイルがあります。";
        for (const std::string& l : row.report) report += "\r\n" + l;
        EXPECT_EQ(fs.boxes.back().text, report);
        EXPECT_EQ(fs.boxes.size(), 7u);
        EXPECT_EQ(fs.elevatedJobs.size(), row.answers.size() == 6 ? 0u : 1u);
        // The virtualized copy goes only once the real one is in place.
        EXPECT_EQ(fs.Exists(kStale + "01.mp3"), row.report.size() > 1);
    }
    // The job names just the refused slots; what it copied is in place, the game's file
    // kept first, and the stale virtualized copy is gone.
    EXPECT_EQ(fs.elevatedJobs.back(),
              "2|" + kBgm + "|C|01.mp3|7:" + Hex(originals::FingerprintOf("game 01").hash) +
                  "|C|05.mp3|-|");
    EXPECT_EQ(fs.Data(kBgm + "\\01.mp3"), Mp3("A"));
    EXPECT_EQ(fs.Data(kBgm + "\\05.mp3"), Mp3("A"));
    EXPECT_EQ(Recorded(*this, kBgm + "\\01.mp3"), "game 01|7");
    EXPECT_FALSE(fs.Exists(kStale + "01.mp3"));
    EXPECT_TRUE(fs.Exists(kStale + "05.mp3"));

    // "元に戻す" the same way: one question, one elevated run, the game's files back.
    fs.boxes.clear();
    ASSERT_TRUE(Handle([&] { f.BtnRestore.UserClick(); }));
    EXPECT_EQ(BoxTexts(), (std::vector<std::string>{
                              "コピー先フォルダのファイルを元に戻します。\r\n" + kBgm,
                              "コピー先のフォルダを元に戻すには管理者の権限が必要です。\r\n"
                              "管理者として元に戻しますか？\r\n" +
                                  kBgm,
                              "元に戻しました。"}));
    EXPECT_EQ(fs.Data(kBgm + "\\01.mp3"), "game 01");
    EXPECT_FALSE(fs.Exists(kBgm + "\\05.mp3"));
    EXPECT_EQ(Recorded(*this, kBgm + "\\01.mp3"), "");
}

// Each slot's file is checked for what it really is: the row is marked and the tip says so
// when it may not play in its slot, and shows the format when it fits. Before "Bat作成" and
// "コピー開始" one question names each such slot: キャンセル does nothing at all, OK goes on
// as before, and files that all fit ask nothing more.
TEST_F(Apply, FilesThatMayNotPlayAreToldBeforeApplying) {
    WriteList("01.mp3=A#03.mp3=B#Msg_NewMsg.wav=W", "3");
    std::string big;
    while (big.size() < (2u << 20)) big += Mp3("g");  // 2 MB of frames
    fs.AddFile("C:\\m\\good.mp3", big);
    fs.AddFile("C:\\m\\song.mp3", std::string("\0\0\0\x20"
                                              "ftypM4A \0\0\0\0M4A mp42isom",
                                              28));
    fs.AddFolder("C:\\bgm");
    TFormMain& f = Start();
    f.MemoCopysaki.SetText("C:\\bgm");
    f.DirList.SetDirectory("C:\\m");
    const std::uint64_t before = fs.partBytes;
    f.FilList.UserSelect(0);  // good.mp3 into 01.mp3, as a click registers it
    EXPECT_LT(fs.partBytes - before, 24u << 10) << "a check reads a few KB, not the file";
    EXPECT_FALSE(f.ValListMp3.Warned(0));
    EXPECT_EQ(f.LblMp3Tips.Caption(), "01.mp3 - A\r\nMP3 44.1kHz ステレオ 128kbps 2:11");
    ASSERT_TRUE(Handle([&] {
        f.ValListMp3.UserDropFiles({u"C:\\m\\song.mp3", u"C:\\m\\good.mp3"}, 2);
    }));
    EXPECT_TRUE(f.ValListMp3.Warned(1));
    EXPECT_TRUE(f.ValListMp3.Warned(2));
    EXPECT_EQ(f.LblMp3Tips.Caption(), "03.mp3 - B\r\nMP3 ではありません: M4A (AAC) のファイルです");

    const std::string question =
        "次のファイルはゲームで再生できない形式の可能性があります。\r\n"
        "03.mp3: MP3 ではありません: M4A (AAC) のファイルです\r\n"
        "Msg_NewMsg.wav: WAVE ではありません: MP3 のファイルです\r\nこのまま続けますか？";
    struct Row {
        ui::Button* button;
        sys::BoxResult answer;
        std::size_t boxes;  // shown in all
        std::size_t prompts;  // save prompts asked
        int counted;  // added to the use counter
    };
    const Row rows[] = {
        {&f.BtnGo, sys::BoxResult::Cancel, 1, 0, 0},
        {&f.BtnCopyGo, sys::BoxResult::Cancel, 1, 0, 0},
        {&f.BtnGo, sys::BoxResult::Ok, 1, 1, 3},
        {&f.BtnCopyGo, sys::BoxResult::Ok, 2, 0, 0},  // then the confirmation (cancelled here)
    };
    for (const Row& row : rows) {
        fs.boxes.clear();
        fs.saveRequests.clear();
        fs.log.clear();
        fs.boxAnswers = {row.answer, sys::BoxResult::Cancel};  // (the confirmation: cancelled)
        const int counter = f.Settings.Experience;
        ASSERT_TRUE(Handle([&] { row.button->UserClick(); }));
        ASSERT_FALSE(fs.boxes.empty());
        EXPECT_EQ(fs.boxes[0].kind, sys::BoxKind::Confirm);
        EXPECT_EQ(fs.boxes[0].caption, "確認");
        EXPECT_EQ(fs.boxes[0].text, question);
        EXPECT_EQ(fs.boxes.size(), row.boxes);
        EXPECT_EQ(fs.saveRequests.size(), row.prompts);
        EXPECT_EQ(f.Settings.Experience - counter, row.counted);
        EXPECT_TRUE(LogOf("copy: ").empty());
    }
    // Every file fits: nothing more is asked than before.
    ASSERT_TRUE(Handle([&] { f.ValListMp3.UserDropFiles({u"C:\\m\\good.mp3"}, 2); }));
    f.ValListMp3.SetValue(2, "");
    fs.boxes.clear();
    fs.saveRequests.clear();
    ASSERT_TRUE(Handle([&] { f.BtnGo.UserClick(); }));
    EXPECT_TRUE(fs.boxes.empty());
    EXPECT_EQ(fs.saveRequests.size(), 1u);
    EXPECT_FALSE(f.ValListMp3.Warned(1));
}
