// The run with administrator rights, both sides over the fake system without a form: the
// asking side (elevated::Ask) and the elevated one (elevated::Serve, which the fake's
// RunElevated runs on the bytes the asking side sends).
#include <gtest/gtest.h>

#include "elevated/Job.h"
#include "fake/FakeSystem.h"
#include "platform/system/Peer.h"

namespace {

using elevated::Step;
using Kind = elevated::Step::Kind;

const std::string kBgm = "C:\\Games\\Pellamor\\bgm";

// A game folder only an administrator may write, a tune and the game's own 01.mp3.
struct World {
    sys::FakeSystem fs;
    World() {
        fs.AddFile("C:\\m\\a.mp3", "tune A");
        fs.AddFile(kBgm + "\\01.mp3", "game 01");
        fs.needsRights = {kBgm};
    }
    std::vector<sys::FileError> Ask(const std::vector<Step>& steps,
                                    const std::string& folder = kBgm,
                                    const std::function<void()>& whilePromptIsUp = {}) {
        return elevated::Ask(fs, folder, steps, [&] {
            if (whilePromptIsUp) whilePromptIsUp();
            return true;
        });
    }
    // Anything written, moved or deleted by the elevated run.
    bool Wrote() const {
        for (const std::string& l : fs.log) {
            if (l.rfind("move:", 0) == 0 || l.rfind("delete:", 0) == 0) return true;
        }
        return false;
    }
};

std::string Reason(const sys::FileError& e) { return sys::ReasonText(e); }

}  // namespace

// Every step is checked on the administrator's side: a folder not given whole refuses the
// whole job; a slot that is no usable name of the game's kinds (a path, a drive, a stream,
// a device, a trailing dot, another kind) refuses its step. Nothing refused is written.
TEST(Elevated, OnlyUsableSlotNamesInAWholeFolderAreWritten) {
    const std::string bad = Reason(elevated::BadJobReason());
    const std::string badName = "ファイル名として使えない名前です";
    struct Row {
        std::string folder;
        Step step;
        std::string reason;  // empty: done
    };
    const std::vector<Row> rows = {
        {kBgm, {Kind::Copy, "01.mp3", "C:\\m\\a.mp3"}, ""},
        {kBgm, {Kind::Copy, "ポ.wav", "C:\\m\\a.mp3"}, ""},  // '|' as a trail byte
        {kBgm, {Kind::Remove, "01.mp3"}, ""},
        {"bgm", {Kind::Copy, "01.mp3", "C:\\m\\a.mp3"}, bad},
        {"C:bgm", {Kind::Copy, "01.mp3", "C:\\m\\a.mp3"}, bad},
        {kBgm + "\\..\\..\\Windows", {Kind::Copy, "01.mp3", "C:\\m\\a.mp3"}, bad},
        {kBgm, {Kind::Copy, "..\\x.mp3", "C:\\m\\a.mp3"}, badName},
        {kBgm, {Kind::Copy, "C:\\x.mp3", "C:\\m\\a.mp3"}, badName},
        {kBgm, {Kind::Copy, "evil.dll", "C:\\m\\a.mp3"}, badName},
        {kBgm, {Kind::Copy, "a.mp3:stream.mp3", "C:\\m\\a.mp3"}, badName},
        {kBgm, {Kind::Copy, "CON.mp3", "C:\\m\\a.mp3"}, badName},
        {kBgm, {Kind::Copy, "com1.wav", "C:\\m\\a.mp3"}, badName},
        {kBgm, {Kind::Remove, "NUL.mp3"}, badName},
        {kBgm, {Kind::Copy, "01.mp3.", "C:\\m\\a.mp3"}, badName},
        {kBgm, {Kind::Copy, "01.mp3 ", "C:\\m\\a.mp3"}, badName},
        {kBgm, {Kind::Copy, "*.mp3", "C:\\m\\a.mp3"}, badName},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.folder + " " + row.step.slot);
        World w;
        std::vector<sys::FileError> r = w.Ask({row.step}, row.folder);
        ASSERT_EQ(r.size(), 1u);
        EXPECT_EQ(r[0].fault == sys::Fault::None ? "" : Reason(r[0]), row.reason);
        EXPECT_EQ(w.Wrote(), row.reason.empty());
        EXPECT_EQ(w.fs.Data(kBgm + "\\01.mp3"), !row.reason.empty()           ? "game 01"
                                                : row.step.slot != "01.mp3"   ? "game 01"
                                                : row.step.kind == Kind::Copy ? "tune A"
                                                                              : "");
        // The job's text goes and comes back whole, the sources left out of it.
        elevated::Job job{row.folder, {row.step}};
        std::optional<elevated::Job> back = elevated::ParseJob(elevated::FormatJob(job));
        job.steps[0].source.clear();
        ASSERT_TRUE(back);
        EXPECT_EQ(back->steps[0].slot, row.step.slot);
    }
    // A refused step leaves the rest of the job to run.
    World w;
    std::vector<sys::FileError> r = w.Ask({{Kind::Copy, "..\\x.mp3", "C:\\m\\a.mp3"},
                                           {Kind::Copy, "03.mp3", "C:\\m\\a.mp3"},
                                           {Kind::Remove, "CON.wav"}});
    EXPECT_EQ(Reason(r[0]), badName);
    EXPECT_EQ(r[1].fault, sys::Fault::None);
    EXPECT_EQ(Reason(r[2]), badName);
    EXPECT_EQ(w.fs.Data(kBgm + "\\03.mp3"), "tune A");
    EXPECT_FALSE(w.fs.Exists("C:\\Games\\Pellamor\\x.mp3"));
    EXPECT_FALSE(elevated::ParseJob("1|C:\\bgm|C|01.mp3|C:\\m\\a.mp3|"));  // the old form
    EXPECT_FALSE(elevated::ParseJob("2|C:\\bgm|C|01.mp3|7:12|"));
    EXPECT_EQ(elevated::ParseResults("", 2)[1].fault, sys::Fault::Other);  // no word: not done
}

// The command line names only the channel: an argument that carries anything more (the
// job of an older QUAVERIX, or one forged with it) starts nothing.
TEST(Elevated, TheArgumentCarriesOnlyTheChannel) {
    const std::string pipe = "\\\\.\\pipe\\QUAVERIX-12-345";
    EXPECT_EQ(elevated::Argument(pipe), "--elevated=" + pipe);
    struct Row {
        std::string argument;
        bool channel;
    };
    const std::vector<Row> rows = {
        {"--elevated=" + pipe, true},
        {"--elevated=" + pipe + "|1|C:\\Windows|C|01.mp3|C:\\secret|", false},
        {"--elevated=", false},
        {"--elevated=a b", false},
        {"--elevate=" + pipe, false},
        {"", false},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(elevated::ChannelOf(row.argument).has_value(), row.channel) << row.argument;
    }
}

// A job comes only from the process that started this one, running the same exe and
// started before it: any other server of the pipe is a stranger.
TEST(Elevated, AJobIsTakenOnlyFromTheParentRunningTheSameExe) {
    const sys::ProcessFacts self{true, 200, 100, u"C:\\Games\\QUAVERIX\\QUAVERIX.exe", 50};
    const sys::ProcessFacts parent{true, 100, 4, u"C:\\Games\\QUAVERIX\\QUAVERIX.exe", 40};
    struct Row {
        const char* what;
        sys::ProcessFacts server;
        bool taken;
    };
    auto with = [&](auto change) {
        sys::ProcessFacts p = parent;
        change(p);
        return p;
    };
    const std::vector<Row> rows = {
        {"the parent", parent, true},
        {"the same exe spelled in other case",
         with([](auto& p) { p.image = u"c:\\games\\quaverix\\QUAVERIX.EXE"; }), true},
        {"started in the same tick", with([](auto& p) { p.started = 50; }), true},
        {"another process", with([](auto& p) { p.id = 300; }), false},
        {"another exe", with([](auto& p) { p.image = u"C:\\Users\\P\\evil.exe"; }), false},
        {"a copy elsewhere", with([](auto& p) { p.image = u"C:\\Temp\\QUAVERIX.exe"; }), false},
        {"the parent's number reused later", with([](auto& p) { p.started = 51; }), false},
        {"not looked at", with([](auto& p) { p.known = false; }), false},
        {"itself", with([](auto& p) { p.id = 200; }), false},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(sys::IsOwnParent(self, row.server), row.taken) << row.what;
    }
    sys::ProcessFacts orphan = self;
    orphan.parent = 0;
    EXPECT_FALSE(sys::IsOwnParent(orphan, with([](auto& p) { p.id = 0; })));
}

// Just before each write the folder is checked again for a junction or link in any part
// and the target against what the asking side saw when it asked: what changed while the
// prompt was up or the bytes came is not written, and that step says why.
TEST(Elevated, WhatChangedMeanwhileIsNotWritten) {
    const std::string changed = Reason(elevated::ChangedTargetReason());
    const std::string linked = Reason(elevated::LinkedFolderReason());
    struct Row {
        const char* what;
        Step step;
        bool duringPrompt;  // else while the bytes come
        std::function<void(sys::FakeSystem&)> change;
        std::string reason;  // empty: done
        std::string after;  // 01.mp3 afterwards
    };
    const std::string f01 = kBgm + "\\01.mp3";
    const Step copy{Kind::Copy, "01.mp3", "C:\\m\\a.mp3"};
    const Step remove{Kind::Remove, "01.mp3"};
    const std::vector<Row> rows = {
        {"nothing", copy, true, [](sys::FakeSystem&) {}, "", "tune A"},
        {"the same bytes written again", copy, true,
         [&](sys::FakeSystem& fs) { fs.AddFile(f01, "game 01"); }, "", "tune A"},
        {"a game patch", copy, true, [&](sys::FakeSystem& fs) { fs.AddFile(f01, "patch"); },
         changed, "patch"},
        {"a patch while the bytes come", copy, false,
         [&](sys::FakeSystem& fs) { fs.AddFile(f01, "patch!!"); }, changed, "patch!!"},
        {"the target removed", copy, true, [&](sys::FakeSystem& fs) { fs.Remove(f01); }, changed,
         ""},
        {"a patch before a removal", remove, true,
         [&](sys::FakeSystem& fs) { fs.AddFile(f01, "patch"); }, changed, "patch"},
        {"the game's folder made a junction", copy, true,
         [](sys::FakeSystem& fs) {
             fs.SetAttributes("C:\\Games\\Pellamor", sys::kDirectory | sys::kReparsePoint);
         },
         linked, "game 01"},
        {"a junction while the bytes come", copy, false,
         [](sys::FakeSystem& fs) { fs.SetAttributes(kBgm, sys::kDirectory | sys::kReparsePoint); },
         linked, "game 01"},
        {"a junction before a removal", remove, true,
         [](sys::FakeSystem& fs) { fs.SetAttributes(kBgm, sys::kDirectory | sys::kReparsePoint); },
         linked, "game 01"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        World w;
        if (!row.duringPrompt) {
            w.fs.duringElevatedRun = [&](std::size_t piece) {
                if (piece == 2) row.change(w.fs);  // the first of the source's bytes
            };
        }
        std::vector<sys::FileError> r = w.Ask({row.step}, kBgm, [&] {
            if (row.duringPrompt) row.change(w.fs);
        });
        EXPECT_EQ(r[0].fault == sys::Fault::None ? "" : Reason(r[0]), row.reason);
        EXPECT_EQ(w.fs.Data(f01), row.after);
        EXPECT_FALSE(w.fs.Exists(f01 + ".quaverix~"));
    }
    // A folder that leads elsewhere from the start refuses every step.
    World w;
    w.fs.AddFolder(kBgm, sys::kDirectory | sys::kReparsePoint);
    std::vector<sys::FileError> r = w.Ask({copy, {Kind::Copy, "02.mp3", "C:\\m\\a.mp3"}});
    EXPECT_EQ(Reason(r[0]), linked);
    EXPECT_EQ(Reason(r[1]), linked);
    EXPECT_FALSE(w.Wrote());
}

// A source passes through one fixed piece at a time from the asking side into the side
// file, which takes the target's place only when whole; a source that cannot be read to
// its end leaves the target as it was and no side file.
TEST(Elevated, SourcesAreStreamedThroughAFixedPiece) {
    std::string big(5 * elevated::kChunk + 123, '\0');
    for (std::size_t i = 0; i < big.size(); ++i) big[i] = static_cast<char>(i * 7 + i / 4096);
    struct Row {
        const char* what;
        std::size_t vanishAt;  // the piece after which the source is gone; 0: never
        bool done;
    };
    const std::vector<Row> rows = {{"whole", 0, true}, {"gone half way", 4, false}};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        World w;
        w.fs.AddFile("C:\\m\\big.wav", big);
        w.fs.duringElevatedRun = [&](std::size_t piece) {
            if (piece == row.vanishAt) w.fs.Remove("C:\\m\\big.wav");
            // The target is never the half-written file.
            EXPECT_FALSE(w.fs.Exists(kBgm + "\\Msg.wav"));
        };
        const int readsBefore = w.fs.wholeReads;
        std::vector<sys::FileError> r = w.Ask({{Kind::Copy, "Msg.wav", "C:\\m\\big.wav"}});
        EXPECT_EQ(r[0].fault, row.done ? sys::Fault::None : sys::Fault::SourceMissing);
        EXPECT_EQ(w.fs.Data(kBgm + "\\Msg.wav"), row.done ? big : "");
        EXPECT_FALSE(w.fs.Exists(kBgm + "\\Msg.wav.quaverix~"));
        EXPECT_EQ(w.fs.wholeReads, readsBefore);  // no whole-file read on either side
        EXPECT_LE(w.fs.largestWrite, elevated::kChunk);
        EXPECT_GE(w.fs.partReads, row.done ? 6 : 4);
    }
}
