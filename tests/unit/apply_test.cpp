// src/apply on its own, without a window: the assignment, the batch text and the copy and
// restore runs over the fake system, with a window that only records.
#include <gtest/gtest.h>

#include "apply/Apply.h"
#include "fake/FakeSystem.h"

namespace {

struct RecordingWindow : apply::Window {
    std::vector<std::string> seen;  // "caption: …", "box: …", "end"
    sys::System& system;
    explicit RecordingWindow(sys::System& s) : system(s) {}
    void Progress(const std::string& caption) override { seen.push_back("caption: " + caption); }
    void EndProgress() override { seen.push_back("end"); }
    sys::BoxResult Box(sys::BoxKind, const std::string& text) override {
        seen.push_back("box: " + text);
        return sys::BoxResult::Ok;
    }
    bool CopyOne(const std::string& source, const std::string& destination,
                 sys::FileError* why) override {
        return system.CopyFileTo(source, destination, false, why);
    }
};

}  // namespace

// The table's lines as the runs take them, and the batch text made of them.
TEST(ApplyParts, AssignmentAndBatchText) {
    const apply::Assignment slots =
        apply::Assign({"01.mp3=C:\\a.mp3", "03.mp3=", "05.mp3=ab", "CON.mp3=C:\\b.mp3",
                       "=C:\\c.mp3", "08.mp3=C:\\100%.mp3"});
    ASSERT_EQ(slots.size(), 4u);
    EXPECT_EQ(slots[0].order, 0u);
    EXPECT_EQ(slots[3].order, 5u);
    EXPECT_EQ(slots[2].name, "");
    const struct {
        bool del;
        std::string script;
    } rows[] = {
        {false, "copy \"C:\\a.mp3\" \"F\\01.mp3\"\r\ncopy \"C:\\100%%.mp3\" \"F\\08.mp3\"\r\n"},
        {true,
         "del /f \"F\\01.mp3\"\r\ncopy \"C:\\a.mp3\" \"F\\01.mp3\"\r\n"
         "del /f \"F\\08.mp3\"\r\ncopy \"C:\\100%%.mp3\" \"F\\08.mp3\"\r\n"},
    };
    for (const auto& row : rows) {
        const apply::BatchText b = apply::MakeBatch(slots, "F", row.del);
        EXPECT_EQ(b.script, row.script);
        EXPECT_EQ(b.refused, (std::vector<std::string>{"CON.mp3", "5 行目"}));
        ASSERT_EQ(b.copies.size(), 2u);
        EXPECT_EQ(b.copies[1],
                  (apply::BatchText::Copy{"C:\\100%.mp3", "F\\08.mp3", "C:\\100%.mp3"}));
    }
}

// The copy run without a form: what it asks of the window, in order, and the one report;
// then the restore run puts the game's file back.
TEST(ApplyParts, CopyAndRestoreRunsWithoutAWindow) {
    sys::FakeSystem fs;
    fs.AddFolder("C:\\m");
    fs.AddFolder("C:\\bgm");
    fs.AddFile("C:\\m\\a.mp3", "tune");
    fs.AddFile("C:\\bgm\\01.mp3", "game");
    fs.AddFile("C:\\bgm\\05.mp3", "ro", sys::kReadOnly);
    originals::Store store(fs, "C:\\data\\originals\\");
    fs.AddFolder("C:\\data");
    RecordingWindow w(fs);
    const apply::Assignment slots = apply::Assign({"01.mp3=C:\\m\\a.mp3", "03.mp3=C:\\m\\gone.mp3",
                                                   "05.mp3=C:\\m\\a.mp3", "NUL=C:\\m\\a.mp3"});
    apply::Record record(fs, "C:\\data\\applied.txt");
    apply::CopyRun(fs, store, record, w, slots, "C:\\bgm", true);
    EXPECT_EQ(w.seen, (std::vector<std::string>{
                          "caption: C:\\m\\a.mp3のコピー中.....",
                          "box: C:\\m\\a.mp3\r\nC:\\bgm\\01.mp3",
                          "caption: C:\\m\\gone.mp3のコピー中.....",
                          "box: C:\\m\\gone.mp3\r\nC:\\bgm\\03.mp3",
                          "caption: C:\\m\\a.mp3のコピー中.....",
                          "box: C:\\m\\a.mp3\r\nC:\\bgm\\05.mp3",
                          "end",
                          "box: コピーできなかったファイルがあります。\r\n"
                          "03.mp3: コピー元のファイルがありません\r\n"
                          "05.mp3: コピー先のファイルが読み取り専用か隠しファイルです\r\n"
                          "NUL: ファイル名として使えない名前です",
                      }));
    EXPECT_EQ(fs.Data("C:\\bgm\\01.mp3"), "tune");

    w.seen.clear();
    apply::RestoreRun(fs, store, record, w, "C:\\bgm");
    EXPECT_EQ(w.seen, (std::vector<std::string>{"caption: C:\\bgm\\01.mp3を元に戻しています.....",
                                                "end", "box: 元に戻しました。"}));
    EXPECT_EQ(fs.Data("C:\\bgm\\01.mp3"), "game");
}

// The data folder's shared files: each save makes its own changes on the file as another
// writer left it, under the one lock; while another QUAVERIX holds that lock too long,
// nothing is written and the reason says so.
TEST(ApplyParts, SharedFilesKeepEveryWritersChanges) {
    sys::FakeSystem fs;
    fs.AddFolder("C:\\data");
    fs.AddFolder("C:\\bgm");
    fs.AddFile("C:\\bgm\\01.mp3", "game");
    fs.AddFile("C:\\a.mp3", "tune");
    apply::Record one(fs, "C:\\data\\applied.txt"), two(fs, "C:\\data\\applied.txt");
    apply::LoudnessCache first(fs, "C:\\data\\loudness.txt"), second(fs, "C:\\data\\loudness.txt");
    apply::Measurement m{apply::MeasureStatus::Measured, -14, 0.5, ""};
    for (int k : {1, 2}) {
        (k == 1 ? one : two)
            .Set({"C:\\bgm", std::to_string(k) + ".mp3", "C:\\a.mp3", {}, {}, {}, {}});
        (k == 1 ? first : second).Put({4, static_cast<std::uint64_t>(k)}, m);
    }
    for (auto* r : {&one, &two}) ASSERT_TRUE(r->Save());
    for (auto* c : {&first, &second}) ASSERT_TRUE(c->Save());
    EXPECT_EQ(apply::Record(fs, "C:\\data\\applied.txt").In("C:\\bgm").size(), 2u);
    apply::LoudnessCache both(fs, "C:\\data\\loudness.txt");
    EXPECT_TRUE(both.Find({4, 1}) && both.Find({4, 2}));
    EXPECT_EQ(fs.locksHeld, 0);

    fs.inUse.push_back("C:\\data\\quaverix.lock");
    const std::string before = fs.Data("C:\\data\\applied.txt");
    one.Drop("C:\\bgm", "1.mp3");
    sys::FileError why;
    EXPECT_FALSE(one.Save(&why));
    originals::Store store(fs, "C:\\data\\originals\\");
    EXPECT_FALSE(store.BeforeCopy("C:\\a.mp3", "C:\\bgm\\01.mp3", true, why));
    EXPECT_EQ(why.detail.rfind("別の QUAVERIX がデータフォルダ C:\\data を使い続けている", 0), 0u)
        << why.detail;
    EXPECT_EQ(fs.Data("C:\\data\\applied.txt"), before);
    EXPECT_FALSE(fs.Exists("C:\\data\\originals\\index.txt"));
}
