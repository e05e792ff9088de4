// The application's error box: its text rule, and handlers ending in it; posted work.
#include <gtest/gtest.h>

#include <functional>
#include <new>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/Error.h"
#include "fake/FakeSystem.h"
#include "platform/ui/Application.h"

TEST(ErrorBox, FullStopRule) {
    using ui::ErrorBoxText;
    EXPECT_EQ(ErrorBoxText(""), "");
    EXPECT_EQ(ErrorBoxText("abc"), "abc.");
    // At or below '.' in code: nothing added.
    EXPECT_EQ(ErrorBoxText("(0)"), "(0)");
    EXPECT_EQ(ErrorBoxText("done."), "done.");
    EXPECT_EQ(ErrorBoxText("a-"), "a-");
    EXPECT_EQ(ErrorBoxText("a "), "a ");
    // Just above it.
    EXPECT_EQ(ErrorBoxText("a/"), "a/.");
    EXPECT_EQ(ErrorBoxText("1"), "1.");
    // A double-byte last character always gets one, also when its second byte is 0x5C.
    EXPECT_EQ(ErrorBoxText("エラー"), "エラー.");
    EXPECT_EQ(ErrorBoxText("ソ"), "ソ.");
    EXPECT_EQ(ErrorBoxText("C:\\表"), "C:\\表.");
    // Half-width katakana is single-byte above '.'.
    EXPECT_EQ(ErrorBoxText("\xB1"), "\xB1.");
}

TEST(ErrorBox, DispatchShowsWhatEndedTheHandler) {
    sys::FakeSystem fs;
    ui::Application app(fs);
    app.title = "QUAVERIX";

    int steps = 0;
    EXPECT_TRUE(app.Dispatch([&] { ++steps; }));
    EXPECT_TRUE(fs.boxes.empty());

    EXPECT_FALSE(app.Dispatch([&] {
        ++steps;
        throw platform::Error(platform::Format("ファイル %s を作成できません", "C:\\表"));
        ++steps;
    }));
    // Anything but the program's own errors is told in plain words, never by the
    // exception's internal name.
    EXPECT_FALSE(app.Dispatch([] { throw std::bad_alloc(); }));
    EXPECT_FALSE(app.Dispatch([] { throw std::out_of_range("vector::_M_range_check"); }));
    EXPECT_FALSE(app.Dispatch([] { throw 42; }));
    EXPECT_EQ(steps, 2);

    ASSERT_EQ(fs.boxes.size(), 4u);
    EXPECT_EQ(fs.boxes[0].text, "ファイル C:\\表 を作成できません.");
    EXPECT_EQ(fs.boxes[1].text, "メモリが足りないため、この操作を最後まで行えませんでした.");
    EXPECT_EQ(fs.boxes[2].text, "予期しないエラーが起きたため、この操作を途中で止めました.");
    EXPECT_EQ(fs.boxes[3].text, fs.boxes[2].text);
    for (const auto& b : fs.boxes) {
        EXPECT_EQ(b.kind, sys::BoxKind::Error);
        EXPECT_EQ(b.caption, "QUAVERIX");
    }
}

// Work in the background: `then` waits for the window's turn (posted), a job that ends
// after the application is gone posts nothing, and without a runner both run at once.
TEST(Background, ThenRunsOnTheWindowsTurnAndNeverAfterTheApplication) {
    sys::FakeSystem fs;
    std::vector<std::function<void(sys::System&)>> jobs;  // "threads" not yet run
    std::vector<std::string> seen;
    int posts = 0;
    {
        ui::Application app(fs);
        app.Background([&](sys::System&) { seen.push_back("work"); },
                       [&] { seen.push_back("then"); });
        EXPECT_EQ(seen, (std::vector<std::string>{"work", "then"}));  // no runner: at once
        seen.clear();
        app.SetPoster([&] { ++posts; });
        app.backgroundRunner = [&](std::function<void(sys::System&)> job) { jobs.push_back(job); };
        app.Background([&](sys::System&) { seen.push_back("work 1"); },
                       [&] { seen.push_back("then 1"); });
        app.Background([&](sys::System&) { throw std::runtime_error("drive gone"); },
                       [&] { seen.push_back("then 2"); });
        app.Background([&](sys::System&) { seen.push_back("work 3"); },
                       [&] { seen.push_back("then 3"); });
        EXPECT_TRUE(seen.empty());  // the window goes on meanwhile
        jobs[0](fs);
        jobs[1](fs);  // a failed job has nothing to say
        EXPECT_EQ(posts, 1);
        EXPECT_EQ(seen, (std::vector<std::string>{"work 1"}));
        app.RunPosted();
        EXPECT_EQ(seen, (std::vector<std::string>{"work 1", "then 1"}));
    }
    jobs[2](fs);  // the application is gone: the work may end, nothing is posted or run
    EXPECT_EQ(seen, (std::vector<std::string>{"work 1", "then 1", "work 3"}));
    EXPECT_EQ(posts, 1);
}

// Posted work (a file's check, the question after a game update) never runs inside a
// handler: a handler's box runs a message loop, where the window's side gets to the posted
// work; it waits there, and the window is asked again once the handler has ended.
TEST(PostedWork, WaitsUntilNoHandlerRuns) {
    // Each box runs the window's side of the loop, as a box's message loop would.
    struct LoopingSystem : sys::FakeSystem {
        std::function<void()> loop;
        sys::BoxResult ShowBox(sys::BoxKind kind, const std::string& caption,
                               const std::string& text) override {
            if (loop) loop();
            return FakeSystem::ShowBox(kind, caption, text);
        }
    };
    const struct {
        const char* name;
        std::function<void(sys::System&)> handler;
    } cases[] = {
        {"a handler's box", [](sys::System& s) { s.ShowBox(sys::BoxKind::Confirm, "確認", "?"); }},
        {"the error box a handler ends in", [](sys::System&) { throw platform::Error("x"); }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        LoopingSystem fs;
        ui::Application app(fs);
        int asks = 0;
        app.SetPoster([&] { ++asks; });
        fs.loop = [&] { app.RunPosted(); };
        std::vector<std::string> ran;
        app.Post([&] { ran.push_back("posted"); });
        EXPECT_EQ(asks, 1);
        app.Dispatch([&] {
            ran.push_back("handler");
            c.handler(fs);
        });
        EXPECT_EQ(ran, (std::vector<std::string>{"handler"}));
        EXPECT_EQ(asks, 2);
        app.RunPosted();  // (the window's own loop)
        EXPECT_EQ(ran, (std::vector<std::string>{"handler", "posted"}));
        app.RunPosted();
        EXPECT_EQ(ran.size(), 2u);
    }
}
