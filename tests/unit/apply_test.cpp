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
                  std::make_pair(std::string("C:\\100%.mp3"), std::string("F\\08.mp3")));
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
