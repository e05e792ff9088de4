// The main window headless on the fake system, as the unit tests build it.
#pragma once

#include <memory>
#include <string>

#include "mainform/MainForm.h"
#include "fake/FakeSystem.h"

namespace qxfuzz {

inline const std::string kExe = "C:\\Game\\QUAVERIX\\";

struct FormEnv {
    FormEnv() { app.title = "QUAVERIX"; }
    TFormMain& Start() {
        form = std::make_unique<TFormMain>(app);
        form->Create();
        return *form;
    }
    sys::FakeSystem fs;
    ui::Application app{fs};
    std::unique_ptr<TFormMain> form;
};

}  // namespace qxfuzz
