// The main window built headless on the fake system, as the application builds it.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "mainform/MainForm.h"
#include "platform/ini/IniFile.h"
#include "fake/FakeSystem.h"
#include "platform/text/Cp932.h"

namespace qxtest {

inline const std::string kExe = "C:\\Game\\QUAVERIX\\";
inline const std::string kUserIni = kExe + "user.ini";
inline const std::string kList = kExe + "Pellamor.lst";

// The shown names of a list, as CP932 text ("?" where CP932 has no character).
inline std::vector<std::string> Names(const std::vector<std::u16string>& items) {
    std::vector<std::string> out;
    for (const auto& n : items) out.push_back(text::FromUtf16(n));
    return out;
}

// A small MP3 as an encoder writes one: six MPEG-1 Layer III frames (128 kbit/s, 44.1 kHz,
// stereo) whose bodies carry `tag`, so that files of different tags differ.
inline std::string Mp3(const std::string& tag) {
    std::string body;
    while (body.size() < 413) body += tag.empty() ? std::string("U") : tag;
    std::string out;
    for (int frame = 0; frame < 6; ++frame)
        out += std::string("\xFF\xFB\x90\x00", 4) + body.substr(0, 413);
    return out;
}

// The fake system, also noting the window caption whenever a box opens: the direct copy
// shows its progress there.
class RecordingSystem : public sys::FakeSystem {
public:
    std::vector<std::string> captionsAtBox;
    std::function<void()> onBox;  // runs while a box is open, before it is answered

    sys::BoxResult ShowBox(sys::BoxKind kind, const std::string& caption,
                           const std::string& text) override {
        captionsAtBox.push_back(FormMain ? FormMain->Caption() : std::string());
        if (onBox) onBox();
        return FakeSystem::ShowBox(kind, caption, text);
    }
};

// One fake computer with the window on it. Tests that need several starts make several.
struct FormEnv {
    FormEnv() { app.title = "QUAVERIX"; }
    FormEnv(const FormEnv&) = delete;
    FormEnv& operator=(const FormEnv&) = delete;

    // A list file in the exe folder; an empty `number` leaves the key out.
    void WriteList(const std::string& nametips, const std::string& number,
                   const std::string& mask = "*.mp3", const std::string& name = "Pellamor.lst") {
        std::string text = "[mp3]\r\nnametips=" + nametips + "\r\nmask=" + mask + "\r\n";
        if (!number.empty()) text += "number=" + number + "\r\n";
        fs.AddFile(kExe + name, text);
    }
    void WriteUserIni(const std::string& text) { fs.AddFile(kUserIni, text); }

    // Builds the window and runs its start-up. Unless a list file was written (or
    // `defaultList` is off), three slots 01/03/05.mp3 with the tips A, B, C are used.
    TFormMain& Start() {
        if (defaultList && !fs.Exists(kList)) WriteList("01.mp3=A#03.mp3=B#05.mp3=C", "3");
        form = std::make_unique<TFormMain>(app);
        form->Create();
        return *form;
    }

    // A value of "user.ini" as the profile functions would read it.
    std::optional<std::string> Saved(const std::string& section, const std::string& key) {
        return ini::FindValue(fs.Data(kUserIni), section, key);
    }

    // Runs a handler as the event loop does: an error ends in the error box.
    template <class F>
    bool Handle(F&& handler) {
        return app.Dispatch(std::forward<F>(handler));
    }

    std::vector<std::string> BoxTexts() const {
        std::vector<std::string> out;
        for (const auto& b : fs.boxes) out.push_back(b.text);
        return out;
    }
    std::vector<std::string> Lines() const { return form->ValListMp3.Lines(); }

    // The log entries that start with `prefix` ("box: ", "copy: ", "write: ", "shell: ").
    std::vector<std::string> LogOf(const std::string& prefix) const {
        std::vector<std::string> out;
        for (const auto& l : fs.log) {
            if (l.rfind(prefix, 0) == 0) out.push_back(l.substr(prefix.size()));
        }
        return out;
    }

    RecordingSystem fs;
    ui::Application app{fs};
    std::unique_ptr<TFormMain> form;
    bool defaultList = true;
};

class FormTest : public ::testing::Test, public FormEnv {};

}  // namespace qxtest
