// The application object: its title, and the error box every failed handler ends in.
#pragma once

#include <exception>
#include <functional>
#include <memory>
#include <vector>
#include <string>
#include <utility>

#include "platform/system/System.h"

namespace ui {

class Form;

// The error box's text: a full stop is added unless the text is empty or its last
// character's code is at or below that of '.'; a double-byte last character always gets one.
std::string ErrorBoxText(const std::string& message);

// What the error box says for an error that ended a handler: the program's own errors
// (platform::Error) by their text; anything else (the library running out of memory, a
// fault of the program itself) in plain words, never by the exception's internal name.
std::string ErrorText(const std::exception& e);
std::string UnexpectedErrorText();

class Application {
public:
    explicit Application(sys::System& system);
    ~Application();
    Application(const Application&) = delete;
    Application& operator=(const Application&) = delete;

    sys::System& System() { return system_; }

    std::string title;

    // Work that follows an event without holding it up (a file's check after its row is
    // drawn): run once the window has handled what is waiting, through Dispatch. Without a
    // window (`poster` unset) it runs at once.
    void Post(std::function<void()> work);
    // Runs the posted work (the window's side calls this when it gets to it). Never inside
    // a handler (a handler's box runs a message loop): there the work waits, and the
    // window is asked again once the handler has ended.
    void RunPosted();
    void SetPoster(std::function<void()> poster);

    // Work that must not hold the window up at all (a slow or missing drive): `work` runs
    // off the window's thread, on a system of its own, and `then` runs on the window's
    // thread afterwards, as posted work. Without a runner (the tests) both run at once.
    void Background(std::function<void(sys::System&)> work, std::function<void()> then);
    // Starts `job` off the window's thread (the window's side sets it).
    std::function<void(std::function<void(sys::System&)>)> backgroundRunner;

    // Shows `form` over the window until it closes: the window and every other of the
    // program take no input meanwhile. Returns at once, the form unshown, without a
    // runner; the window's side sets one, and a test sets its own to act as the player.
    void ShowModal(Form& form) {
        if (modalRunner) modalRunner(form);
    }
    std::function<void(Form&)> modalRunner;

    // Shows the error box for an error that ended a handler.
    void ShowError(const std::string& message);

    // Runs one handler; an error it raises ends it and is shown. True when it ran through.
    template <class F>
    bool Dispatch(F&& handler) {
        Running running(*this);
        try {
            std::forward<F>(handler)();
            return true;
        } catch (const std::exception& e) {
            ShowError(ErrorText(e));
        } catch (...) {
            ShowError(UnexpectedErrorText());
        }
        return false;
    }

private:
    // What is posted, shared with work still running off the window's thread, which may
    // end after the application: then it is dropped.
    struct Mailbox;
    sys::System& system_;
    std::shared_ptr<Mailbox> mailbox_;
    // Handlers running (nested in one another's boxes), and whether posted work came up
    // meanwhile and had to wait.
    int running_ = 0;
    bool postedWaiting_ = false;
    struct Running {
        explicit Running(Application& a) : app(a) { ++app.running_; }
        ~Running() { app.HandlerEnded(); }
        Running(const Running&) = delete;
        Running& operator=(const Running&) = delete;
        Application& app;
    };
    void HandlerEnded();
};

}  // namespace ui
