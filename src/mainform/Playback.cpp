// Preview: hand the selected file to the shell, by association or to the player.
#include "mainform/MainForm.h"

#include "platform/text/Cp932.h"

namespace {
constexpr int kShow = 5;  // SW_SHOW: the started program's window shown as it asks
using settings::PlaybackMode;
}  // namespace

void TFormMain::PlayFile(std::int32_t mode, const std::string& tool, const std::string& line) {
    std::string file = FilList.FileName();
    if (file.empty()) return;
    std::string quoted = "\"" + file + "\"";
    switch (static_cast<PlaybackMode>(mode)) {
        case PlaybackMode::Associated: System().ShellOpen(quoted, std::nullopt, kShow); break;
        case PlaybackMode::Player:
            System().ShellOpen(tool, text::ReplaceAll(line, "[FileName]", quoted), kShow);
            break;
        case PlaybackMode::Nothing:
        default:  // as any number outside the range
            break;
    }
}

void TFormMain::Button1Click(ui::Control*) {
    // The play button always plays: Nothing and unknown modes go to the configured player.
    auto mode = static_cast<PlaybackMode>(Settings.Mp3Play);
    if (mode != PlaybackMode::Associated) mode = PlaybackMode::Player;
    PlayFile(static_cast<std::int32_t>(mode), Settings.Mp3Tool, Settings.Mp3Line);
}

void TFormMain::Button2Click(ui::Control*) {
    if (OpenDlgMp3Play.Execute(System())) MemoMp3Play.SetText(OpenDlgMp3Play.fileName);
}
