// Preview: hand the selected file to the shell, by association or to the player.
#include "mainform/MainForm.h"

#include "platform/text/Cp932.h"

namespace {
constexpr int kShowNormal = 5;  // SW_SHOW
}

void TFormMain::PlayFile(std::int32_t mode, const std::string& tool, const std::string& line) {
    std::string file = FilList.FileName();
    if (file.empty()) return;
    std::string quoted = "\"" + file + "\"";
    if (mode == 1) {
        System().ShellOpen(quoted, std::nullopt, kShowNormal);
    } else if (mode == 2) {
        System().ShellOpen(tool, text::ReplaceAll(line, "[FileName]", quoted), kShowNormal);
    }
}

void TFormMain::Button1Click(ui::Control*) {
    // The play button always plays: mode 0 and unknown modes go to the configured player.
    PlayFile(Mp3Play == 1 ? 1 : 2, Mp3Tool, Mp3Line);
}

void TFormMain::Button2Click(ui::Control*) {
    if (OpenDlgMp3Play.Execute(System())) MemoMp3Play.SetText(OpenDlgMp3Play.fileName);
}
