// Applying the slot table through the window: the batch file writer, the direct copy and
// 元に戻す as the player presses them (src/apply on its own: apply_test.cpp).
#include <algorithm>
#include <cstdio>
#include <functional>
#include <optional>
#include <set>

#include "apply/Apply.h"
#include "elevated/Job.h"
#include "originals/Store.h"
#include "slots/Slots.h"
#include "support/FormFixture.h"
#include "support/Scratch.h"

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
// when it may not play in its slot (nor be converted), and shows the format when it fits.
// Before "Bat作成" and
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
    fs.AddFile("C:\\m\\page.mp3", "<!DOCTYPE html><html><body>404</body></html>");
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
        f.ValListMp3.UserDropFiles({u"C:\\m\\song.mp3", u"C:\\m\\page.mp3"}, 2);
    }));
    EXPECT_TRUE(f.ValListMp3.Warned(1));
    EXPECT_TRUE(f.ValListMp3.Warned(2));
    // An M4A that no decoder can read: it cannot be converted, and the tip says why.
    const std::string tip = f.LblMp3Tips.Caption();
    const std::string told = "03.mp3 - B\r\n変換できません: ";
    ASSERT_EQ(tip.rfind(told, 0), 0u) << tip;

    const std::string question =
        "次のファイルはゲームで再生できない形式の可能性があります。\r\n"
        "03.mp3: " +
        tip.substr(told.size() - std::string("変換できません: ").size()) +
        "\r\n"
        "Msg_NewMsg.wav: WAVE ではありません: HTML のページです\r\nこのまま続けますか？";
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

namespace {

// One player's computer over several starts of QUAVERIX: the game's folder, its own files
// as the game wrote them (every version), and the runs a player can make in any order.
struct Player : FormEnv {
    const std::string bgm = "C:\\Games\\Pellamor\\bgm";
    const std::string otherBgm = "C:\\Games\\Other";
    std::vector<std::string> versions01{"game 01 v0"};  // every file the game put there
    std::vector<std::string> versions03;  // the game had no 03.mp3 at first
    int patches = 0;

    Player() {
        fs.AddFolder("C:\\Games");
        fs.AddFolder("C:\\Games\\Pellamor");
        fs.AddFolder(bgm);
        fs.AddFolder("C:\\m");
        fs.AddFolder("C:\\out");
        for (const char* t : {"A", "B", "C", "D"}) fs.AddFile(Tune(t), Mp3(t));
        fs.AddFile(bgm + "\\01.mp3", versions01[0]);
        Restart();
    }
    static std::string Tune(const std::string& t) { return "C:\\m\\" + t + ".mp3"; }
    void Restart() {
        if (form) Handle([&] { form->Close(); });
        Start();
        form->MemoCopysaki.SetText(bgm);
    }
    void Table(const std::string& t) {
        form->ValListMp3.SetText("01.mp3=" + Tune(t) + "\r\n03.mp3=" + Tune(t));
    }
    // "Bat作成", then the batch run as cmd.exe would run its lines.
    void BatchAndRun(const std::string& t) {
        Table(t);
        fs.saveAnswers.push_back("C:\\out\\x.bat");
        ASSERT_TRUE(Handle([&] { form->BtnGo.UserClick(); }));
        const std::string script = fs.Data("C:\\out\\x.bat");
        for (std::size_t at = 0; at < script.size();) {
            std::size_t end = script.find("\r\n", at);
            std::string line = script.substr(at, end - at);
            at = end + 2;
            std::vector<std::string> quoted;
            for (std::size_t q = line.find('"'); q != std::string::npos;) {
                std::size_t close = line.find('"', q + 1);
                quoted.push_back(text::ReplaceAll(line.substr(q + 1, close - q - 1), "%%", "%"));
                q = line.find('"', close + 1);
            }
            if (line.rfind("copy ", 0) == 0) fs.CopyFileTo(quoted[0], quoted[1], false);
        }
    }
    void Patch() {
        ++patches;
        versions01.push_back("game 01 v" + std::to_string(patches));
        versions03.push_back("game 03 v" + std::to_string(patches));
        fs.AddFile(bgm + "\\01.mp3", versions01.back());
        fs.AddFile(bgm + "\\03.mp3", versions03.back());
    }
    // The game's files kept now in the data folder QUAVERIX uses, and those in the game's
    // folder.
    std::set<std::string> Kept() {
        std::set<std::string> out;
        const std::string kept = form->OriginalsFolder();
        originals::Index index = originals::ParseIndex(fs.Data(kept + "index.txt"));
        for (const originals::Entry& e : index.entries) {
            if (!e.Absent()) out.insert(fs.Data(kept + e.saved));
            for (const originals::Version& v : e.older)
                if (!v.saved.empty()) out.insert(fs.Data(kept + v.saved));
        }
        return out;
    }
    bool There(const std::string& data) {
        return fs.Data(bgm + "\\01.mp3") == data || fs.Data(bgm + "\\03.mp3") == data ||
               fs.Data(otherBgm + "\\01.mp3") == data;
    }

    // A second window of QUAVERIX on the same data folder, with a game folder of its own.
    std::string otherSaid;  // its last box
    struct OtherWindow : apply::Window {
        explicit OtherWindow(Player& p) : p(p) {}
        void Progress(const std::string&) override {}
        void EndProgress() override {}
        sys::BoxResult Box(sys::BoxKind, const std::string& text) override {
            p.otherSaid = text;
            return sys::BoxResult::Ok;
        }
        bool CopyOne(const std::string& s, const std::string& d, sys::FileError* why) override {
            return p.fs.CopyFileTo(s, d, false, why);
        }
        Player& p;
    };
    void OtherRun(const std::string& tune) {  // its コピー開始, or its 元に戻す for ""
        originals::Store store(fs, form->OriginalsFolder());
        apply::Record record(fs, form->Data().Record());
        OtherWindow window(*this);
        if (!fs.Exists(otherBgm)) {
            fs.AddFolder(otherBgm);
            fs.AddFile(otherBgm + "\\01.mp3", "other 01");
        }
        if (tune.empty()) return apply::RestoreRun(fs, store, record, window, otherBgm);
        apply::CopyRun(fs, store, record, window, apply::Assign({"01.mp3=" + Tune(tune)}), otherBgm,
                       true);
    }
    // `then` runs while the next コピー開始's box for 03.mp3 (its third box) is up.
    void DuringSecondBox(std::function<void()> then) {
        fs.onBox = [this, then, n = 0]() mutable {
            if (++n < 3) return;
            const std::function<void()> run = std::move(then);
            fs.onBox = nullptr;  // (this lambda goes with it)
            run();
        };
    }
};

}  // namespace

// Copies, batch files, hand copies, game patches, a data folder that moves, runs as
// administrator, in the orders a player reaches: 元に戻す puts back the game's newest own
// file byte for byte, or says why it cannot; a file of the game's once kept is never lost.
TEST(ApplyRuns, EveryOrderOfRunsKeepsTheGamesOwnFiles) {
    // Steps: "c<tune>" コピー開始; "b<tune>" Bat作成 and the batch run; "h<tune>" the
    // tune copied into 01.mp3 by hand; "p" a game patch (new 01.mp3 and 03.mp3); "m" the
    // exe folder becomes unwritable (moved under Program Files); "a" one start as
    // administrator (the exe folder writable again); "o" one as another account (an
    // administrator's password: another profile); "n" a normal start again; "e" the game's
    // folder needs administrator rights from now on; "r" 元に戻す; "k" keeping the
    // originals turned off; "P" a patch while the next copy's box for 03.mp3 is up;
    // "x<tune>" a copy while a second window on the same data folder copies the tune into
    // its own game folder, between this copy's boxes; "z<tune>" a copy while the second
    // window's 元に戻す runs between its boxes.
    const std::string cannot = "元に戻せなかったファイルがあります。\r\n";
    const std::string batchOnly =
        ": ゲームの元のファイルは保存されていません (バッチファイルか、元のファイルを残さずに"
        "コピーしたファイルです)";
    const struct {
        const char* steps;
        std::string box;  // what 元に戻す says at the end
    } rows[] = {
        {"cA r", "元に戻しました。"},
        {"cA bB cC r", "元に戻しました。"},  // the batch's tune is no game update
        {"cA bB hB cC r", "元に戻しました。"},
        {"cA hA cB r", "元に戻しました。"},
        {"cA p cB r", "元に戻しました。"},  // the patched files are put back
        {"cA bB p cC bD cA r", "元に戻しました。"},
        {"cA m cB r", "元に戻しました。"},  // the originals moved with user.ini
        {"cA m r", "元に戻しました。"},
        {"m cA a cB n r", "元に戻しました。"},
        {"m cA a r", "元に戻しました。"},
        {"m cA o cB n r", "元に戻しました。"},
        {"cA p m cB a p cC n r", "元に戻しました。"},
        {"e cA bB cC r", "元に戻しました。"},
        {"cA e p cB r", "元に戻しました。"},
        {"cA r cB r", "元に戻しました。"},
        {"cA r p cB r", "元に戻しました。"},
        // A batch run replaced a game file no copy had kept: said, not covered up.
        {"bB cC r", cannot + "01.mp3" + batchOnly + "\r\n03.mp3" + batchOnly},
        {"cA p bB r", cannot + "01.mp3" + batchOnly + "\r\n03.mp3" + batchOnly},
        // Copied with keeping off after a patch: the same, never the file before the patch.
        {"cA p k cB r", cannot + "01.mp3" + batchOnly + "\r\n03.mp3" + batchOnly},
        {"xA r", "元に戻しました。"},
        {"cA xB p cC r", "元に戻しました。"},
        {"xA zB r", "元に戻しました。"},
        // A patch during the boxes of an administrator run is never written over.
        {"cA e P cB r",
         cannot + "01.mp3: QUAVERIX がコピーした後に変更されているので、そのままにしました"},
        // Versions kept by another account after a patch are the newer ones.
        {"m cA o p cB n r", "元に戻しました。"},
        {"cA p cB r r", "元に戻すファイルがありません。"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.steps);
        Player w;
        const std::string exe = kExe.substr(0, kExe.size() - 1);
        std::set<std::string> kept;
        bool ownRun = true;  // a start of the player's own account (not "o")
        bool otherCopied = false;  // the second window has a copy to put back
        for (const char* p = row.steps; *p; ++p) {
            const std::string tune(1, p[1]);
            switch (*p) {
                case 'x':
                case 'z':
                    otherCopied = *p == 'x';
                    w.DuringSecondBox([&w, tune, x = *p == 'x'] { w.OtherRun(x ? tune : ""); });
                    [[fallthrough]];
                case 'c':
                    w.Table(tune);
                    ASSERT_TRUE(w.Handle([&] { w.form->BtnCopyGo.UserClick(); }));
                    break;
                case 'k': w.form->Settings.KeepOriginals = false; break;
                case 'P': w.DuringSecondBox([&w] { w.Patch(); }); break;
                case 'b': w.BatchAndRun(tune); break;
                case 'h': w.fs.CopyFileTo(Player::Tune(tune), w.bgm + "\\01.mp3", false); break;
                case 'p': w.Patch(); break;
                case 'm':
                    w.fs.needsRights.push_back(exe);
                    w.Restart();
                    break;
                case 'a':
                case 'o':
                    std::erase(w.fs.needsRights, exe);
                    if (*p == 'o') w.fs.appData = "C:\\Users\\Admin\\AppData\\Roaming";
                    ownRun = *p == 'a';
                    w.Restart();
                    break;
                case 'n':
                    w.fs.needsRights.push_back(exe);
                    w.fs.appData = "C:\\Users\\Player\\AppData\\Roaming";
                    ownRun = true;
                    w.Restart();
                    break;
                case 'e': w.fs.needsRights.push_back(w.bgm); break;
                case 'r':
                    w.fs.boxes.clear();
                    ASSERT_TRUE(w.Handle([&] { w.form->BtnRestore.UserClick(); }));
                    break;
            }
            // A file kept before a step is still kept, or back in the game's folder. (Another
            // account's run has a store of its own, taken over at the next start.)
            if (ownRun) {
                const std::set<std::string> now = w.Kept();
                for (const std::string& v : kept) {
                    EXPECT_TRUE(now.count(v) || w.There(v)) << v << " lost after " << *p;
                }
                kept = now;
            }
            if (std::string_view("cbhxz").find(*p) != std::string_view::npos) ++p;
            if (p[1] == ' ') ++p;
        }
        EXPECT_EQ(w.fs.boxes.back().text, row.box);
        // The second window's game gets its own file back too.
        if (otherCopied) w.OtherRun("");
        if (otherCopied) EXPECT_EQ(w.otherSaid, "元に戻しました。");
        if (!w.otherSaid.empty()) EXPECT_EQ(w.fs.Data(w.otherBgm + "\\01.mp3"), "other 01");
        // Nor is a patch that came while a box was up ever lost.
        if (std::string_view(row.steps).find('P') != std::string_view::npos)
            EXPECT_TRUE(w.There(w.versions01.back()) || w.Kept().count(w.versions01.back()));
        if (row.box.rfind(cannot, 0) == 0) continue;
        EXPECT_EQ(w.fs.Data(w.bgm + "\\01.mp3"), w.versions01.back());
        EXPECT_EQ(w.fs.Exists(w.bgm + "\\03.mp3"), !w.versions03.empty());
        if (!w.versions03.empty()) EXPECT_EQ(w.fs.Data(w.bgm + "\\03.mp3"), w.versions03.back());
    }
}

// What cannot be told from a game update is kept as one: a tune the player copied by hand
// that QUAVERIX never saw. 元に戻す leaves it and says so; the game's file stays kept.
TEST(ApplyRuns, AnUnknownFileIsKeptBesideTheOriginalNeverOverIt) {
    Player w;
    w.fs.AddFile("C:\\m\\U.mp3", Mp3("U"));
    w.Table("A");
    ASSERT_TRUE(w.Handle([&] { w.form->BtnCopyGo.UserClick(); }));
    w.fs.CopyFileTo("C:\\m\\U.mp3", w.bgm + "\\01.mp3", false);  // by hand
    w.Table("B");
    ASSERT_TRUE(w.Handle([&] { w.form->BtnCopyGo.UserClick(); }));
    EXPECT_EQ(w.Kept(), (std::set<std::string>{"game 01 v0", Mp3("U")}));
    w.fs.boxes.clear();
    ASSERT_TRUE(w.Handle([&] { w.form->BtnRestore.UserClick(); }));
    // The newest file that was not QUAVERIX's goes back; the one before it stays kept.
    EXPECT_EQ(w.fs.Data(w.bgm + "\\01.mp3"), Mp3("U"));
    EXPECT_EQ(w.Kept(), (std::set<std::string>{"game 01 v0", Mp3("U")}));
    EXPECT_NE(w.fs.Data(w.form->OriginalsFolder() + "index.txt").find("older:"), std::string::npos);
}

// A slot name is written into the game's folder only when it is one plain file name: the
// same rule for the copy, the batch file and the administrator run.
TEST_F(Apply, SlotNamesThatAreNoFileNamesAreNeverWritten) {
    const struct {
        const char* name;
        bool usable;
    } names[] = {
        {"01.mp3", true},       {"Msg_NewMsg.wav", true},
        {"ソ表.mp3", true},     {"CON.mp3", false},
        {"con", false},         {"COM1.mp3", false},
        {"lpt9.wav", false},    {"NUL.wav", false},
        {"AUX .mp3", false},    {"CONIN$.mp3", false},
        {"COM10.mp3", true},    {"CONSOLE.mp3", true},
        {"..\\x.mp3", false},   {"a/b.mp3", false},
        {"C:x.mp3", false},     {"a.mp3:s", false},
        {"*.mp3", false},       {"a?.mp3", false},
        {"MUSIC~1.MP3", false}, {"a.mp3.", false},
        {"a.mp3 ", false},      {"", false},
        {"a\"b.mp3", false},    {"a|b.mp3", false},
        {"a\tb.mp3", false},    {"..", false},
    };
    TFormMain& f = Start();
    fs.AddFile("C:\\m\\a.mp3", Mp3("a"));
    // A PCM WAVE for the ".wav" names, so that no question about the format comes first.
    std::string wave = std::string("RIFF\x2C\0\0\0WAVEfmt \x10\0\0\0\x01\0\x01\0", 24);
    wave += std::string("\x40\x1F\0\0\x80\x3E\0\0\x02\0\x10\0data\x08\0\0\0", 20);
    fs.AddFile("C:\\m\\a.wav", wave + std::string(8, '\0'));
    fs.AddFolder("C:\\bgm");
    f.MemoCopysaki.SetText("C:\\bgm");
    for (const auto& n : names) {
        SCOPED_TRACE(n.name);
        EXPECT_EQ(slots::IsUsableSlotName(n.name), n.usable);
        const bool isWave = std::string(n.name).find(".wav") != std::string::npos;
        const std::string slot = std::string(n.name) + (isWave ? "=C:\\m\\a.wav" : "=C:\\m\\a.mp3");
        // The copy: the name's file is written, or the report says why not.
        fs.boxes.clear();
        SetTable("01.mp3=C:\\m\\a.mp3\r\n" + slot);
        ASSERT_TRUE(Handle([&] { f.BtnCopyGo.UserClick(); }));
        const std::string label = *n.name ? n.name : "2 行目";
        EXPECT_EQ(fs.boxes.back().text == "コピーできなかったファイルがあります。\r\n" + label +
                                              ": ファイル名として使えない名前です",
                  !n.usable);
        // The batch file: its lines, or none and one box.
        fs.boxes.clear();
        const std::string script = Batch();
        if (*n.name) {
            EXPECT_EQ(script.find("\\" + std::string(n.name) + "\"") != std::string::npos,
                      n.usable);
        }
        EXPECT_EQ(fs.boxes.size(), n.usable ? 0u : 1u);
        if (!n.usable) {
            EXPECT_EQ(fs.boxes[0].text,
                      "次の行はファイル名として使えない名前なので、バッチファイルに入れません"
                      "でした。\r\n" +
                          label);
        }
        // The administrator run refuses the step on its own.
        EXPECT_EQ(elevated::IsSlotName(n.name),
                  n.usable && std::string(n.name).find('.') != std::string::npos);
    }
    // Nothing was written anywhere but the game's folder and the originals.
    for (const std::string& l : LogOf("copy: ")) {
        const std::string to = l.substr(l.find(" -> ") + 4);
        EXPECT_TRUE(to.rfind("C:\\bgm\\", 0) == 0 || to.rfind(kExe + "originals\\", 0) == 0) << to;
        EXPECT_EQ(to.find("\\..\\"), std::string::npos);
    }
}

// The destination as Explorer's "パスのコピー" gives it: in quotes. One pair around it is
// dropped for the batch file, the copy and 元に戻す; a quote anywhere else refuses the run.
TEST_F(Apply, DestinationInQuotes) {
    TFormMain& f = Start();
    fs.AddFile("C:\\m\\a.mp3", Mp3("a"));
    fs.AddFolder("D:\\");
    fs.AddDrive('D');
    fs.AddFolder("D:\\Games");
    fs.AddFolder("D:\\Games\\bgm");
    fs.AddFile("D:\\Games\\bgm\\01.mp3", "game");
    SetTable("01.mp3=C:\\m\\a.mp3");
    const struct {
        const char* typed;
        bool ok;
    } rows[] = {
        {"\"D:\\Games\\bgm\"", true},
        {"D:\\Games\\bgm", true},
        {"\"D:\\Games\\bgm", false},
        {"D:\\Games\\\"bgm\"", false},
        {"\"D:\\Ga\"mes\\bgm\"", false},
        {"\"\"", true},  // nothing: the folder is "" as it would be typed so
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.typed);
        f.MemoCopysaki.SetText(row.typed);
        fs.boxes.clear();
        const int counter = f.Settings.Experience;
        if (!row.ok) {
            // Each run stops at once with the error box, before any question or counter.
            for (ui::Button* b : {&f.BtnGo, &f.BtnCopyGo, &f.BtnRestore}) {
                fs.boxes.clear();
                EXPECT_FALSE(Handle([&] { b->UserClick(); }));
                ASSERT_EQ(fs.boxes.size(), 1u);
                EXPECT_EQ(fs.boxes[0].kind, sys::BoxKind::Error);
                EXPECT_NE(fs.boxes[0].text.find("フォルダの名前に使えない文字 (\")"),
                          std::string::npos);
            }
            EXPECT_EQ(f.Settings.Experience, counter);
            continue;
        }
        if (std::string(row.typed) == "\"\"") {
            EXPECT_EQ(slots::DestinationFolder(row.typed), std::string());
            continue;
        }
        EXPECT_EQ(Batch(), "copy \"C:\\m\\a.mp3\" \"D:\\Games\\bgm\\01.mp3\"\r\n");
        ASSERT_TRUE(Handle([&] { f.BtnCopyGo.UserClick(); }));
        EXPECT_EQ(fs.Data("D:\\Games\\bgm\\01.mp3"), Mp3("a"));
        fs.boxes.clear();
        ASSERT_TRUE(Handle([&] { f.BtnRestore.UserClick(); }));
        EXPECT_EQ(fs.boxes.back().text, "元に戻しました。");
        EXPECT_EQ(fs.Data("D:\\Games\\bgm\\01.mp3"), "game");
    }
}

// After a game update: the start compares the game's folder with what QUAVERIX put there
// and asks once to copy again what the game put back.
TEST(ApplyRuns, AStartAfterAGameUpdateAsksOnce) {
    const std::string asked = "ゲームの更新で、次の BGM がゲームの元の曲に戻っています。";
    const std::string again = "\r\nもう一度コピーしますか？";
    const std::string lost = "\r\n次の曲は元のファイルが見つからないためコピーできません:";
    const struct {
        const char* what;
        std::function<void(Player&)> change;  // between the copy and the next start
        sys::BoxResult answer;
        std::string box;  // "" for none
        std::vector<std::string> after;  // 01, 03, 05 after the answer
        std::vector<std::string> kept = {};  // the game's new files kept before the copy
    } rows[] = {
        {"nothing changed", [](Player&) {}, sys::BoxResult::Ok, "", {"A", "B", "C"}},
        {"01 patched",
         [](Player& w) { w.fs.AddFile(w.bgm + "\\01.mp3", "game 01 v1"); },
         sys::BoxResult::Ok,
         asked + "\r\n01.mp3: A.mp3" + again,
         {"A", "B", "C"},
         {"game 01 v1"}},
        {"05 patched, 01 gone: table order",
         [](Player& w) {
             w.fs.AddFile(w.bgm + "\\05.mp3", "game 05 v1");
             w.fs.Remove(w.bgm + "\\01.mp3");
         },
         sys::BoxResult::Ok,
         asked + "\r\n01.mp3: A.mp3\r\n05.mp3: C.mp3" + again,
         {"A", "B", "C"},
         {"game 05 v1"}},
        {"cancelled",
         [](Player& w) { w.fs.AddFile(w.bgm + "\\03.mp3", "game 03 v1"); },
         sys::BoxResult::Cancel,
         asked + "\r\n03.mp3: B.mp3" + again,
         {"A", "game 03 v1", "C"}},
        {"a source gone, another changed",
         [](Player& w) {
             w.fs.AddFile(w.bgm + "\\01.mp3", "game 01 v1");
             w.fs.AddFile(w.bgm + "\\03.mp3", "game 03 v1");
             w.fs.AddFile(w.bgm + "\\05.mp3", "game 05 v1");
             w.fs.Remove(Player::Tune("A"));
             w.fs.AddFile(Player::Tune("B"), Mp3("B edited"));
         },
         sys::BoxResult::Ok,
         asked + "\r\n05.mp3: C.mp3\r\n" + lost + "\r\n01.mp3: A.mp3\r\n03.mp3: B.mp3" + again,
         {"game 01 v1", "game 03 v1", "C"},
         {"game 05 v1"}},
        {"every source gone: told, not asked",
         [](Player& w) {
             w.fs.AddFile(w.bgm + "\\01.mp3", "game 01 v1");
             w.fs.Remove(Player::Tune("A"));
         },
         sys::BoxResult::Ok,
         asked + lost + "\r\n01.mp3: A.mp3",
         {"game 01 v1", "B", "C"}},
        {"a source touched but the same",
         [](Player& w) {
             w.fs.AddFile(w.bgm + "\\01.mp3", "game 01 v1");
             w.fs.AddFile(Player::Tune("A"), Mp3("A"));  // written again: a new time
         },
         sys::BoxResult::Ok,
         asked + "\r\n01.mp3: A.mp3" + again,
         {"A", "B", "C"},
         {"game 01 v1"}},
        {"our copy touched but the same",
         [](Player& w) { w.fs.AddFile(w.bgm + "\\01.mp3", Mp3("A")); },
         sys::BoxResult::Ok,
         "",
         {"A", "B", "C"}},
        {"the destination is another folder now",
         [](Player& w) {
             w.fs.AddFile(w.bgm + "\\01.mp3", "game 01 v1");
             w.fs.AddFolder("C:\\Other");
             w.form->MemoCopysaki.SetText("C:\\Other");
         },
         sys::BoxResult::Ok,
         "",
         {"game 01 v1", "B", "C"}},
        {"restored since",
         [](Player& w) { ASSERT_TRUE(w.Handle([&] { w.form->BtnRestore.UserClick(); })); },
         sys::BoxResult::Ok,
         "",
         {"game 01 v0", "", "game 05 v0"}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        Player w;
        w.fs.AddFile(w.bgm + "\\05.mp3", "game 05 v0");
        w.form->ValListMp3.SetText("01.mp3=" + Player::Tune("A") + "\r\n03.mp3=" +
                                   Player::Tune("B") + "\r\n05.mp3=" + Player::Tune("C"));
        ASSERT_TRUE(w.Handle([&] { w.form->BtnCopyGo.UserClick(); }));
        row.change(w);
        const bool keepsFolder = std::string(row.what) != "the destination is another folder now";
        if (!keepsFolder) ASSERT_TRUE(w.Handle([&] { w.form->Close(); }));
        w.fs.boxes.clear();
        w.fs.boxAnswers = {row.answer};
        if (keepsFolder) {
            w.Restart();
        } else {
            w.Start();  // with the destination the player left
        }
        const std::vector<std::string> boxes = w.BoxTexts();
        if (row.box.empty()) {
            EXPECT_EQ(boxes, std::vector<std::string>{});
        } else {
            ASSERT_FALSE(boxes.empty());
            EXPECT_EQ(boxes[0], row.box);
            EXPECT_EQ(w.fs.boxes[0].caption,
                      row.box.find(again) != std::string::npos ? "確認" : "QUAVERIX");
        }
        const char* slots[] = {"01", "03", "05"};
        for (int i = 0; i < 3; ++i) {
            const std::string& want = row.after[static_cast<std::size_t>(i)];
            const std::string path = w.bgm + "\\" + slots[i] + ".mp3";
            if (want.empty()) {
                EXPECT_FALSE(w.fs.Exists(path)) << slots[i];
            } else {
                EXPECT_EQ(w.fs.Data(path), want.size() == 1 ? Mp3(want) : want) << slots[i];
            }
        }
        // The game's files that the copy replaced again are kept first.
        for (const std::string& v : row.kept) EXPECT_EQ(w.Kept().count(v), 1u) << v;
        // The next start asks again only while the difference stays.
        w.fs.boxes.clear();
        w.fs.boxAnswers = {sys::BoxResult::Cancel};
        w.Restart();
        const bool stays =
            row.answer == sys::BoxResult::Cancel || row.box.find(lost) != std::string::npos;
        EXPECT_EQ(w.fs.boxes.size(), stays ? 1u : 0u);
    }
    // A 元に戻す pressed while the start's check still runs: the check's answer is out of
    // date and asks nothing (it would offer to copy again what was just put back).
    Player w;
    w.Table("A");
    ASSERT_TRUE(w.Handle([&] { w.form->BtnCopyGo.UserClick(); }));
    w.fs.AddFile(w.bgm + "\\03.mp3", "game 03 v1");
    std::function<void(sys::System&)> check;
    w.app.backgroundRunner = [&](std::function<void(sys::System&)> job) { check = job; };
    w.app.SetPoster([] {});
    w.Restart();
    w.app.RunPosted();  // the check starts
    ASSERT_TRUE(check && w.Handle([&] { w.form->BtnRestore.UserClick(); }));
    w.fs.boxes.clear();
    check(w.fs);
    w.app.RunPosted();
    EXPECT_EQ(w.BoxTexts(), std::vector<std::string>{});
}

// A batch file's copies are recorded too: written but not run yet is no update; run, and
// then patched, it is.
TEST(ApplyRuns, ABatchFilesCopiesAreRecorded) {
    Player w;
    w.Table("A");
    w.fs.saveAnswers.push_back("C:\\out\\x.bat");
    ASSERT_TRUE(w.Handle([&] { w.form->BtnGo.UserClick(); }));
    w.fs.boxes.clear();
    w.Restart();
    EXPECT_EQ(w.BoxTexts(), std::vector<std::string>{});  // not run yet
    w.BatchAndRun("A");
    w.Restart();
    EXPECT_EQ(w.BoxTexts(), std::vector<std::string>{});  // run: ours is there
    w.fs.AddFile(w.bgm + "\\01.mp3", "game 01 v1");
    w.fs.boxAnswers = {sys::BoxResult::Cancel};
    w.Restart();
    EXPECT_EQ(w.BoxTexts(), std::vector<std::string>{
                                "ゲームの更新で、次の BGM がゲームの元の曲に戻っています。\r\n"
                                "01.mp3: A.mp3\r\nもう一度コピーしますか？"});
    // The tip of a recorded slot whose value is empty says what the game's folder holds.
    w.form->ValListMp3.UserSelect(1);
    EXPECT_EQ(w.form->LblMp3Tips.Caption(), "01.mp3 - A\r\nゲームの更新で元の曲に戻っています");
    w.form->ValListMp3.UserSelect(2);
    EXPECT_EQ(w.form->LblMp3Tips.Caption(), "03.mp3 - B\r\nコピー済み: A.mp3");
}

// A tune changed while a box or the administrator prompt was up: what was written is still
// known for QUAVERIX's, so the next copy does not keep it as the game's file.
TEST(ApplyRuns, ASourceChangedWhileAskedIsStillOurs) {
    for (const bool rights : {false, true}) {
        SCOPED_TRACE(rights ? "administrator run" : "own run");
        Player w;
        if (rights) w.fs.needsRights.push_back(w.bgm);
        w.Table("A");
        // The rights question (or the per-file box): the player saves the tune anew meanwhile.
        w.fs.onBox = [&] {
            if (!w.fs.boxes.empty() && w.fs.boxes.back().text.find("管理者") == std::string::npos &&
                w.fs.boxes.back().text.find("\\01.mp3") == std::string::npos)
                return;
            w.fs.AddFile(Player::Tune("A"), Mp3("A, edited"));
            w.fs.onBox = nullptr;
        };
        ASSERT_TRUE(w.Handle([&] { w.form->BtnCopyGo.UserClick(); }));
        w.Table("B");
        ASSERT_TRUE(w.Handle([&] { w.form->BtnCopyGo.UserClick(); }));
        w.fs.boxes.clear();
        ASSERT_TRUE(w.Handle([&] { w.form->BtnRestore.UserClick(); }));
        EXPECT_EQ(w.fs.boxes.back().text, "元に戻しました。");
        EXPECT_EQ(w.fs.Data(w.bgm + "\\01.mp3"), "game 01 v0");
        EXPECT_EQ(w.Kept().count(Mp3("A, edited")), 0u);
    }
}

// Matching loudness on the window: the rows' files and the game's tracks are measured off
// the window's thread one line at a time; コピー開始 waits for them with the caption telling
// how far, the tip tells each difference, a file that cannot be measured is copied as it is
// and named; Bat作成 says once a run that its copies keep their level.
class MatchForm : public Scratch, public FormEnv {};

TEST_F(MatchForm, TheCopyWaitsForItsMeasurementsAndTellsHowFar) {
    const std::string noise =
        "ffmpeg -nostdin -v error -f lavfi -i anoisesrc=color=pink:duration=4:amplitude=";
    RunLines("", {noise + "0.1 -ac 2 game.wav && lame --quiet -b 128 game.wav game.mp3",
                  noise + "0.3 -ac 2 loud.wav && lame --quiet -b 128 loud.wav loud.mp3",
                  "ffmpeg -nostdin -v error -f lavfi -i anullsrc=r=44100:cl=stereo -t 4 "
                  "silent.wav && lame --quiet -b 128 silent.wav silent.mp3"});
    const std::string game = Bytes("game.mp3"), loud = Bytes("loud.mp3"),
                      silent = Bytes("silent.mp3");
    fs.AddFolder("C:\\bgm");
    fs.AddFolder("C:\\m");
    fs.AddFolder("C:\\out");
    fs.AddFile("C:\\bgm\\01.mp3", game);
    fs.AddFile("C:\\bgm\\03.mp3", game);
    fs.AddFile("C:\\m\\loud.mp3", loud);
    fs.AddFile("C:\\m\\silent.mp3", silent);
    WriteUserIni("[user]\r\nmatchloudness=1\r\n[copysaki]\r\nPellamor.lst=C:\\bgm\r\n");
    TFormMain& f = Start();
    std::vector<std::function<void(sys::System&)>> jobs;
    app.backgroundRunner = [&](std::function<void(sys::System&)> job) { jobs.push_back(job); };
    app.SetPoster([] {});
    f.ValListMp3.SetValue(0, "C:\\m\\loud.mp3");
    f.ValListMp3.SetValue(1, "C:\\m\\silent.mp3");
    app.RunPosted();  // the rows are drawn: their checks, then one measurement at a time
    ASSERT_EQ(jobs.size(), 1u);

    ASSERT_TRUE(Handle([&] { f.BtnCopyGo.UserClick(); }));
    EXPECT_EQ(f.Caption(), "音量を測っています 0/2");
    EXPECT_TRUE(fs.Data("C:\\bgm\\01.mp3") == game) << "copied before it was measured";
    // One run at a time: while the copy waits, a second コピー開始, 元に戻す and Bat作成 are
    // refused (nothing asked, nothing written), and the start's question would be dropped.
    const std::string log = fs.Data("C:\\bgm\\01.mp3") + fs.Data(f.OriginalsFolder() + "index.txt");
    for (ui::Button* b : {&f.BtnCopyGo, &f.BtnRestore, &f.BtnGo}) {
        const std::size_t asked = fs.boxes.size();
        ASSERT_TRUE(Handle([&] { b->UserClick(); }));
        ASSERT_EQ(fs.boxes.size(), asked + 1);
        EXPECT_EQ(fs.boxes.back().text.rfind("「コピー開始」が音量の測定を待っています。", 0), 0u);
    }
    EXPECT_EQ(fs.saveRequests.size(), 0u);
    EXPECT_TRUE(fs.Data("C:\\bgm\\01.mp3") + fs.Data(f.OriginalsFolder() + "index.txt") == log);

    jobs[0](fs);
    app.RunPosted();
    EXPECT_EQ(f.Caption(), "音量を測っています 1/2");
    const std::string tip = f.TipText(0);
    // (The brief form of the file's line leaves room for the difference.)
    EXPECT_EQ(tip.find("01.mp3 - A\r\nMP3 128kbps 0:04  ゲームの曲より 9."), 0u) << tip;
    EXPECT_NE(tip.find("dB 大きい"), std::string::npos) << tip;
    ASSERT_EQ(jobs.size(), 2u);
    jobs[1](fs);
    app.RunPosted();

    EXPECT_EQ(f.Caption(), f.Settings.SoftName);
    const std::string copied = fs.Data("C:\\bgm\\01.mp3");
    EXPECT_EQ(copied.size(), loud.size());
    EXPECT_FALSE(copied == loud) << "not matched";
    EXPECT_TRUE(fs.Data("C:\\bgm\\03.mp3") == silent);
    EXPECT_TRUE(fs.Data("C:\\m\\loud.mp3") == loud);
    EXPECT_EQ(fs.boxes.back().text,
              "音量を合わせられなかったファイルがあります。\r\n03.mp3: 音量を測れないので、そのまま"
              "コピーしました (音が小さすぎるか短すぎて測れません)");
    EXPECT_EQ(f.TipText(1), "03.mp3 - B\r\nMP3 44.1kHz ステレオ 128kbps 0:04")
        << "no difference for silence";

    const std::string told = "バッチファイルはファイルをそのままコピーします。";
    for (int press = 0; press < 2; ++press) {
        fs.saveAnswers.push_back("C:\\out\\x.bat");
        ASSERT_TRUE(Handle([&] { f.BtnGo.UserClick(); }));
    }
    EXPECT_EQ(std::count_if(fs.boxes.begin(), fs.boxes.end(),
                            [&](const auto& b) { return b.text.rfind(told, 0) == 0; }),
              1);
}

// Music the slot cannot play goes in converted, in the format of the game's own file there:
// a WAVE for an ".mp3" slot as an MP3, an MP3 for the ".wav" slot as a PCM WAVE. Each is
// converted after its row is drawn (the tip says so meanwhile); コピー開始 waits for it;
// Bat作成 puts the converted files beside its batch file; the record keeps the player's file.
TEST_F(MatchForm, MusicTheSlotCannotPlayGoesInConverted) {
    RunLines("",
             {"ffmpeg -nostdin -v error -f lavfi -i sine=frequency=300:duration=3 -ar 22050 "
              "-ac 1 -c:a libmp3lame -b:a 64k game.mp3",
              "ffmpeg -nostdin -v error -f lavfi -i sine=frequency=500:duration=1 -ar 22050 "
              "-ac 1 game.wav",
              "ffmpeg -nostdin -v error -f lavfi -i sine=frequency=440:duration=4 -ac 2 song.wav",
              "ffmpeg -nostdin -v error -f lavfi -i sine=frequency=660:duration=2 -ac 2 "
              "-c:a libmp3lame -b:a 128k bell.mp3"});
    fs.AddFolder("C:\\bgm");
    fs.AddFolder("C:\\m");
    fs.AddFolder("C:\\out");
    fs.AddFile("C:\\bgm\\01.mp3", Bytes("game.mp3"));
    fs.AddFile("C:\\bgm\\Msg_NewMsg.wav", Bytes("game.wav"));
    fs.AddFile("C:\\m\\song.wav", Bytes("song.wav"));
    fs.AddFile("C:\\m\\bell.mp3", Bytes("bell.mp3"));
    WriteList("01.mp3=A#Msg_NewMsg.wav=B", "2");
    WriteUserIni("[copysaki]\r\nPellamor.lst=C:\\bgm\r\n");
    TFormMain& f = Start();
    std::vector<std::function<void(sys::System&)>> jobs;
    app.backgroundRunner = [&](std::function<void(sys::System&)> job) { jobs.push_back(job); };
    app.SetPoster([] {});
    f.ValListMp3.SetValue(0, "C:\\m\\song.wav");
    f.ValListMp3.SetValue(1, "C:\\m\\bell.mp3");
    app.RunPosted();
    ASSERT_EQ(jobs.size(), 1u);  // one line at a time
    EXPECT_EQ(f.TipText(0), "01.mp3 - A\r\nWAVE → MP3 に変換中… 0:04");
    EXPECT_FALSE(f.ValListMp3.Warned(0) || f.ValListMp3.Warned(1));
    ASSERT_TRUE(Handle([&] { f.BtnCopyGo.UserClick(); }));
    EXPECT_EQ(f.Caption(), "変換しています 0/2");
    for (std::size_t k = 0; k < 2; ++k) {
        ASSERT_EQ(jobs.size(), k + 1);
        jobs[k](fs);
        app.RunPosted();
    }
    EXPECT_EQ(f.TipText(0), "01.mp3 - A\r\nWAVE → MP3 に変換してコピーします 0:04");
    EXPECT_EQ(f.Caption(), f.Settings.SoftName);
    EXPECT_EQ(fs.boxes.back().text, "C:\\m\\bell.mp3\r\nC:\\bgm\\Msg_NewMsg.wav");  // no report

    // What the game's folder holds, as ffprobe reads it.
    Write("01.mp3", fs.Data("C:\\bgm\\01.mp3"));
    Write("new.wav", fs.Data("C:\\bgm\\Msg_NewMsg.wav"));
    // (ffmpeg trims the encoder's delay and padding by the LAME tag: the samples decoded.)
    RunLines("", {"for f in 01.mp3 new.wav; do ffprobe -v error -show_entries "
                  "stream=codec_name,sample_rate,channels,bit_rate -of csv=p=0 $f; "
                  "ffmpeg -v error -i $f -f s16le - | wc -c; done > probe.txt"});
    EXPECT_EQ(Bytes("probe.txt"), "mp3,22050,1,160000\n176400\npcm_s16le,22050,1,352800\n88200\n");
    EXPECT_TRUE(fs.Data("C:\\m\\song.wav") == Bytes("song.wav")) << "the player's file changed";
    EXPECT_NE(fs.Data(f.Data().Record()).find("\t01.mp3\tC:\\m\\song.wav\t"), std::string::npos);

    fs.saveAnswers.push_back("C:\\out\\x.bat");
    ASSERT_TRUE(Handle([&] { f.BtnGo.UserClick(); }));
    EXPECT_EQ(f.MemoBatDate.Text(),
              "copy \"C:\\out\\x\\01.mp3\" \"C:\\bgm\\01.mp3\"\r\n"
              "copy \"C:\\out\\x\\Msg_NewMsg.wav\" \"C:\\bgm\\Msg_NewMsg.wav\"\r\n");
    EXPECT_TRUE(fs.Data("C:\\out\\x\\01.mp3") == fs.Data("C:\\bgm\\01.mp3"));
    ASSERT_TRUE(Handle([&] { f.BtnRestore.UserClick(); }));
    EXPECT_TRUE(fs.Data("C:\\bgm\\01.mp3") == Bytes("game.mp3"));

    // A song whose conversion fails while Bat作成 waits for it goes in as it is, told so.
    fs.AddFile("C:\\m\\x.flac", "fLaC" + std::string(3000, 'x'));  // no decoder takes it
    f.ValListMp3.SetValue(0, "C:\\m\\x.flac");
    app.RunPosted();
    fs.boxes.clear();
    fs.saveAnswers.push_back("C:\\out\\y.bat");
    ASSERT_TRUE(Handle([&] { f.BtnGo.UserClick(); }));
    EXPECT_TRUE(fs.boxes.empty()) << "asked before the conversion was known";
    jobs.back()(fs);
    app.RunPosted();
    EXPECT_EQ(f.MemoBatDate.Text().rfind("copy \"C:\\m\\x.flac\" \"C:\\bgm\\01.mp3\"\r\n", 0), 0u);
    ASSERT_FALSE(fs.boxes.empty());
    EXPECT_EQ(fs.boxes.back().text.rfind(
                  "変換できないので、次の曲はそのままコピーします。\r\n01.mp3: ", 0),
              0u)
        << fs.boxes.back().text;
}
