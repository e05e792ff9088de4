// Applying the slot table: the batch file writer and the direct copy.
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
        EXPECT_TRUE(Handle([&] { form->BtnGo.Click(); }));
        EXPECT_TRUE(fs.Exists(path));
        return fs.Data(path);
    }
    void SetTable(const std::string& text) { form->ValListMp3.SetText(text); }
};

TEST_F(Apply, BatchWorkedExample) {
    TFormMain& f = Start();
    f.DelReadOnly = true;
    f.ValListMp3.SetLine(1, "03.mp3=C:\\music\\a.mp3");

    const std::string expected = "del /f \"" + kBgm + "\\03.mp3\"\r\n" +
                                 "copy \"C:\\music\\a.mp3\" \"" + kBgm + "\\03.mp3\"\r\n";
    EXPECT_EQ(Batch(), expected);
    EXPECT_EQ(f.Experience, 4);
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
    EXPECT_EQ(f.BatHozonDir, kExe);
    EXPECT_EQ(f.Experience, 7);
}

TEST_F(Apply, BatchLinesAndValueLengths) {
    TFormMain& f = Start();
    f.MemoCopysaki.SetText("F");
    SetTable("01.mp3=ab\r\n03.mp3=abc\r\n05.mp3=ソ\r\n08.mp3=ソa\r\n09.mp3=\r\n11.mp3=x");

    // Bytes, not characters: one double-byte character is two.
    EXPECT_EQ(Batch(), "copy \"abc\" \"F\\03.mp3\"\r\ncopy \"ソa\" \"F\\08.mp3\"\r\n");

    // Delete lines go right before their copy line.
    f.DelReadOnly = true;
    SetTable("01.mp3=C:\\a.mp3\r\n03.mp3=C:\\b.mp3\r\n05.mp3=\r\n08.mp3=C:\\c.mp3");
    EXPECT_EQ(Batch(), "del /f \"F\\01.mp3\"\r\ncopy \"C:\\a.mp3\" \"F\\01.mp3\"\r\n"
                       "del /f \"F\\03.mp3\"\r\ncopy \"C:\\b.mp3\" \"F\\03.mp3\"\r\n"
                       "del /f \"F\\08.mp3\"\r\ncopy \"C:\\c.mp3\" \"F\\08.mp3\"\r\n");

    // The backslash is always put in.
    f.DelReadOnly = false;
    SetTable("01.mp3=C:\\a.mp3");
    f.MemoCopysaki.SetText("E:\\bgm\\");
    EXPECT_EQ(Batch(), "copy \"C:\\a.mp3\" \"E:\\bgm\\\\01.mp3\"\r\n");
    f.MemoCopysaki.SetText("");
    EXPECT_EQ(Batch(), "copy \"C:\\a.mp3\" \"\\01.mp3\"\r\n");
}

TEST_F(Apply, BatchPathsAreSafeForCmd) {
    TFormMain& f = Start();
    f.DelReadOnly = true;
    // Enter typed into the destination memo leaves a line break in it.
    f.MemoCopysaki.UserSetText("C:\\b%g\r\nx");
    f.ValListMp3.SetLine(0, "01.mp3=C:\\m\\100%.mp3");
    EXPECT_EQ(Batch(), "del /f \"C:\\b%%gx\\01.mp3\"\r\n"
                       "copy \"C:\\m\\100%%.mp3\" \"C:\\b%%gx\\01.mp3\"\r\n");
}

TEST_F(Apply, BatchCancelledEmptyAndFailedWrites) {
    TFormMain& f = Start();
    f.ValListMp3.SetLine(0, "01.mp3=C:\\a.mp3");

    // Cancelled: counted, nothing written, nothing said.
    fs.saveAnswers.push_back(std::nullopt);
    ASSERT_TRUE(Handle([&] { f.BtnGo.Click(); }));
    EXPECT_EQ(f.Experience, 4);
    EXPECT_TRUE(LogOf("write: ").empty());
    EXPECT_TRUE(fs.boxes.empty());

    // A file that cannot be created: reported with its path, the old file stays.
    fs.AddFile("C:\\out\\ro.bat", "old", sys::kReadOnly);
    fs.saveAnswers.push_back("C:\\out\\ro.bat");
    EXPECT_FALSE(Handle([&] { f.BtnGo.Click(); }));
    EXPECT_EQ(fs.Data("C:\\out\\ro.bat"), "old");
    fs.saveAnswers.push_back("C:\\nowhere\\x.bat");
    EXPECT_FALSE(Handle([&] { f.BtnGo.Click(); }));
    EXPECT_FALSE(fs.Exists("C:\\nowhere\\x.bat"));
    // A full disk.
    fs.diskSpace = 5;
    fs.saveAnswers.push_back(kBat);
    EXPECT_FALSE(Handle([&] { f.BtnGo.Click(); }));
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
    EXPECT_EQ(f.Experience, 13);

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

    ASSERT_TRUE(Handle([&] { f.BtnCopyGo.Click(); }));
    EXPECT_EQ(LogOf("copy: "), std::vector<std::string>{"Bee -> G:\\03.mp3"});
}

TEST_F(Apply, CopyCancelledChangesNothing) {
    TFormMain& f = Start();
    f.ValListMp3.SetLine(0, "01.mp3=C:\\a.mp3");
    fs.AddFile("C:\\a.mp3", "music");
    f.SetCaption("as it was");

    fs.boxAnswers.push_back(sys::BoxResult::Cancel);
    ASSERT_TRUE(Handle([&] { f.BtnCopyGo.Click(); }));
    ASSERT_EQ(fs.boxes.size(), 1u);
    EXPECT_EQ(fs.boxes[0].kind, sys::BoxKind::Confirm);
    EXPECT_EQ(fs.boxes[0].caption, "確認");
    EXPECT_EQ(fs.boxes[0].text,
              "ファイルのコピーを開始します。\r\n同名ファイルは当然の如く上書きします。\r\n\r\n"
              "尚、コピー中に当ソフトをいじくらないほうが無難です。");
    EXPECT_TRUE(LogOf("copy: ").empty());
    EXPECT_EQ(f.Experience, 1);
    EXPECT_EQ(f.Caption(), "as it was");
}

TEST_F(Apply, CopyShowsThenCopiesEachSlotInOrder) {
    TFormMain& f = Start();
    fs.AddFile("C:\\music\\a.mp3", "A");
    fs.AddFile("C:\\music\\c.mp3", "C");
    fs.AddFile("C:\\music\\d.mp3", "D");
    fs.AddFile("C:\\bgm\\01.mp3", "old");                        // replaced
    fs.AddFile("C:\\bgm\\05.mp3", "keep", sys::kReadOnly);        // refused
    fs.AddFile("C:\\bgm\\08.mp3", "hide", sys::kHidden);          // refused
    f.MemoCopysaki.SetText("C:\\bgm");
    SetTable("01.mp3=C:\\music\\a.mp3\r\n03.mp3=C:\\music\\missing.mp3\r\n05.mp3=C:\\music\\c.mp3\r\n"
             "08.mp3=C:\\music\\d.mp3\r\n09.mp3=ab\r\n11.mp3=");
    // However a per-file box is closed, the run goes on.
    fs.boxAnswers = {sys::BoxResult::Ok, sys::BoxResult::Cancel};

    ASSERT_TRUE(Handle([&] { f.BtnCopyGo.Click(); }));

    std::vector<std::string> order;
    for (const auto& l : fs.log) {
        if (l.rfind("box: ", 0) == 0 || l.rfind("copy: ", 0) == 0) order.push_back(l);
    }
    ASSERT_EQ(order.size(), 9u);
    const char* const slots[][2] = {{"a", "01"}, {"missing", "03"}, {"c", "05"}, {"d", "08"}};
    for (std::size_t i = 0; i < 4; ++i) {
        std::string from = std::string("C:\\music\\") + slots[i][0] + ".mp3";
        std::string to = std::string("C:\\bgm\\") + slots[i][1] + ".mp3";
        EXPECT_EQ(order[1 + 2 * i], "box: " + from + "\r\n" + to);
        EXPECT_EQ(order[2 + 2 * i], "copy: " + from + " -> " + to);
        EXPECT_EQ(fs.boxes[1 + i].kind, sys::BoxKind::Plain);
        EXPECT_EQ(fs.boxes[1 + i].caption, "QUAVERIX");
        EXPECT_EQ(fs.captionsAtBox[1 + i], from + "のコピー中.....");
    }
    EXPECT_EQ(fs.captionsAtBox[0], "ZorventVer1.2.3");

    EXPECT_EQ(fs.Data("C:\\bgm\\01.mp3"), "A");
    EXPECT_FALSE(fs.Exists("C:\\bgm\\03.mp3"));
    EXPECT_EQ(fs.Data("C:\\bgm\\05.mp3"), "keep");
    EXPECT_EQ(fs.Data("C:\\bgm\\08.mp3"), "hide");
    EXPECT_EQ(f.Caption(), "ZorventVer1.2.3");
    EXPECT_EQ(f.Experience, 3);
    EXPECT_EQ(fs.boxes.size(), 5u);  // nothing said about the failures
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
    ASSERT_TRUE(Handle([&] { f.BtnCopyGo.Click(); }));
    EXPECT_EQ(fs.boxes.back().text, "C:\\m\\100%.mp3\r\nC:\\bgm\\\\01.mp3");
    EXPECT_EQ(LogOf("copy: "), std::vector<std::string>{"C:\\m\\100%.mp3 -> C:\\bgm\\\\01.mp3"});

    // Nothing assigned, or no line at all: only the confirmation; counted; caption back.
    for (const std::string table : {"01.mp3=\r\n03.mp3=ab", ""}) {
        fs.boxes.clear();
        f.SetCaption("x");
        SetTable(table);
        int before = f.Experience;
        ASSERT_TRUE(Handle([&] { f.BtnCopyGo.Click(); }));
        EXPECT_EQ(fs.boxes.size(), 1u);
        EXPECT_EQ(f.Experience, before + 2);
        EXPECT_EQ(f.Caption(), f.SoftName);
    }
    EXPECT_EQ(LogOf("copy: ").size(), 1u);
}
