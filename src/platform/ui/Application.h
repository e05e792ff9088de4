// The application object: its title, and the error box every failed handler ends in.
#pragma once

#include <exception>
#include <string>
#include <utility>

#include "platform/system/System.h"

namespace ui {

// The error box's text: a full stop is added unless the text is empty or its last
// character's code is at or below that of '.'; a double-byte last character always gets one.
std::string ErrorBoxText(const std::string& message);

class Application {
public:
    explicit Application(sys::System& system) : system_(system) {}

    sys::System& System() { return system_; }

    std::string title;

    // Shows the error box for an error that ended a handler.
    void ShowError(const std::string& message);

    // Runs one handler; an error it raises ends it and is shown. True when it ran through.
    template <class F>
    bool Dispatch(F&& handler) {
        try {
            std::forward<F>(handler)();
            return true;
        } catch (const std::exception& e) {
            ShowError(e.what());
        } catch (...) {
            ShowError("");
        }
        return false;
    }

private:
    sys::System& system_;
};

}  // namespace ui
