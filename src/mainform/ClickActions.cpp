// What clicks on the file list do: register the selected file into the current slot,
// step the grid down, play.
#include "mainform/MainForm.h"

void TFormMain::RegisterFile() {
    int i = ValListMp3.Row() - 1;
    // On an empty table this raises the list index error before the file is looked at,
    // and nothing is written.
    ValListMp3.Line(i);
    ValListMp3.SetValue(i, FilList.FileName());
}

void TFormMain::StepRowDown(bool wrap) {
    int r = ValListMp3.Row();
    if (r + 1 < ValListMp3.RowCount()) {
        ValListMp3.SetRow(r + 1);
    } else if (wrap) {
        ValListMp3.SetRow(1);
    }
}

void TFormMain::RegisterAndStepDown() {
    RegisterFile();
    StepRowDown(false);
}

void TFormMain::FilListAction(std::int32_t action, std::int32_t mode, const std::string& tool,
                              const std::string& line) {
    using settings::ClickAction;
    switch (static_cast<ClickAction>(action)) {
        case ClickAction::Register: RegisterFile(); break;
        case ClickAction::RegisterAndStepDown: RegisterAndStepDown(); break;
        case ClickAction::Play: PlayFile(mode, tool, line); break;
        case ClickAction::RegisterAndPlay:
            RegisterFile();
            PlayFile(mode, tool, line);
            break;
        case ClickAction::Nothing:
        default:  // every number outside the range does nothing too
            break;
    }
}

void TFormMain::FilListClick(ui::Control*) {
    FilListAction(Settings.List1Clk, Settings.Mp3Play, Settings.Mp3Tool, Settings.Mp3Line);
}

void TFormMain::FilListDblClick(ui::Control*) {
    FilListAction(Settings.List2Clk, Settings.Mp3Play, Settings.Mp3Tool, Settings.Mp3Line);
}

void TFormMain::FilListMouseDown(ui::Control*, ui::MouseButton Button, unsigned Shift, int, int) {
    if (Shift == (ui::kAlt | ui::kLeft)) {
        FilListAction(Settings.List3Clk, Settings.Mp3Play, Settings.Mp3Tool, Settings.Mp3Line);
    } else if (Shift == (ui::kCtrl | ui::kLeft)) {
        FilListAction(Settings.List4Clk, Settings.Mp3Play, Settings.Mp3Tool, Settings.Mp3Line);
    } else if (Button == ui::MouseButton::Middle) {
        PlayFile(Settings.Mp3Play, Settings.Mp3Tool, Settings.Mp3Line);
    } else if (Button == ui::MouseButton::Right) {
        StepRowDown(true);
    }
}
