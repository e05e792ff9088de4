// What clicks on the file list do: register the selected file into the current slot,
// step the grid down, play.
#include "mainform/MainForm.h"

void TFormMain::RegisterFile() {
    int i = ValListMp3.Row() - 1;
    // On an empty table this raises the list index error and nothing is written.
    std::string name = ValListMp3.Name(i);
    ValListMp3.SetLine(i, name + "=" + FilList.FileName());
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

void TFormMain::FilListClick(ui::Control*) { FilListAction(List1Clk, Mp3Play, Mp3Tool, Mp3Line); }

void TFormMain::FilListDblClick(ui::Control*) {
    FilListAction(List2Clk, Mp3Play, Mp3Tool, Mp3Line);
}

void TFormMain::FilListMouseDown(ui::Control*, ui::MouseButton Button, unsigned Shift, int, int) {
    if (Shift == (ui::kAlt | ui::kLeft)) {
        FilListAction(List3Clk, Mp3Play, Mp3Tool, Mp3Line);
    } else if (Shift == (ui::kCtrl | ui::kLeft)) {
        FilListAction(List4Clk, Mp3Play, Mp3Tool, Mp3Line);
    } else if (Button == ui::MouseButton::Middle) {
        PlayFile(Mp3Play, Mp3Tool, Mp3Line);
    } else if (Button == ui::MouseButton::Right) {
        StepRowDown(true);
    }
}
