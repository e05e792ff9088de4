// Preview: hand the selected file to the shell, by association or to the player.
#include <string_view>

#include "mainform/MainForm.h"
#include "platform/paths/Paths.h"
#include "platform/text/Cp932.h"

namespace {
constexpr int kShow = 5;  // SW_SHOW: the started program's window shown as it asks
using settings::PlaybackMode;

constexpr std::string_view kPlaceholder = "[FileName]";

bool IsChar(std::string_view s, std::size_t i, char c) {
    return s[i] == c && text::CharLength(s, i) == 1;
}

// `path` written between two double quotes so that a program splitting its command line
// (CommandLineToArgvW, the C runtime) reads it back as it is: a '"' becomes \" and the
// backslashes before it are doubled, as are those at the end when a quote follows. No
// Windows file name holds a '"' or ends in '\', so a real path comes out unchanged; a
// second byte 0x5C of CP932 is no backslash (the command line is UTF-16).
std::string InQuotes(std::string_view path, bool quoteFollows) {
    std::string out;
    std::size_t backslashes = 0;
    for (std::size_t i = 0; i < path.size(); i += text::CharLength(path, i)) {
        if (IsChar(path, i, '"')) out.append(backslashes + 1, '\\');
        backslashes = IsChar(path, i, '\\') ? backslashes + 1 : 0;
        out.append(path.substr(i, text::CharLength(path, i)));
    }
    if (quoteFollows) out.append(backslashes, '\\');
    return out;
}

// The template with every "[FileName]" replaced so that the path is one argument of its
// own, whatever it holds: where the template has opened a quote ("[FileName]",
// /o="[FileName]") the path itself goes in, anywhere else the path in quotes. A '"' after
// an odd number of backslashes is a character, not a quote, as the command line reads it.
std::string Parameters(std::string_view line, std::string_view path) {
    std::string out;
    bool quoted = false;
    std::size_t backslashes = 0;
    for (std::size_t i = 0; i < line.size();) {
        if (line.substr(i, kPlaceholder.size()) == kPlaceholder) {
            i += kPlaceholder.size();
            const bool quoteFollows = i < line.size() && line[i] == '"';
            if (quoted) {
                out += InQuotes(path, quoteFollows);
            } else {
                // Backslashes just before our quote would escape it: double them, so they
                // stay the template's backslashes.
                out.append(backslashes, '\\');
                out += '"' + InQuotes(path, true) + '"';
            }
            backslashes = 0;
            continue;
        }
        if (IsChar(line, i, '"') && backslashes % 2 == 0) quoted = !quoted;
        backslashes = IsChar(line, i, '\\') ? backslashes + 1 : 0;
        const std::size_t n = text::CharLength(line, i);
        out.append(line.substr(i, n));
        i += n;
    }
    return out;
}

// True when the shell would run `tool` through cmd.exe: a .bat or .cmd file, or a name
// without an extension, which the shell may complete with either. Outer blanks and quotes,
// and the trailing dots Windows drops, do not count.
bool IsBatchPlayer(std::string_view tool) {
    auto trim = [&](std::string_view drop) {
        while (!tool.empty() && drop.find(tool.front()) != std::string_view::npos)
            tool.remove_prefix(1);
        while (!tool.empty() && drop.find(tool.back()) != std::string_view::npos)
            tool.remove_suffix(1);  // none of them is ever a second byte
    };
    trim(" \t\"");
    trim(" .");
    const std::string name = paths::LastPart(tool);
    if (name.empty()) return false;
    const std::size_t dot = name.rfind('.');  // never a second byte
    if (dot == std::string::npos) return true;
    const std::string ext = text::UpperAscii(name.substr(dot));
    return ext == ".BAT" || ext == ".CMD";
}

// A character cmd.exe acts on even inside quotes (% and !), or once a quote is undone.
bool CmdActsOn(std::string_view path) {
    for (std::size_t i = 0; i < path.size(); i += text::CharLength(path, i)) {
        if (text::CharLength(path, i) == 1 &&
            std::string_view("&|<>^%!\"").find(path[i]) != std::string_view::npos) {
            return true;
        }
    }
    return false;
}

}  // namespace

void TFormMain::PlayFile(std::int32_t mode, const std::string& tool, const std::string& line) {
    std::string file = FilList.FileName();
    if (file.empty()) return;
    switch (static_cast<PlaybackMode>(mode)) {
        case PlaybackMode::Associated:
            System().ShellOpen("\"" + file + "\"", std::nullopt, kShow);
            break;
        case PlaybackMode::Player:
            if (IsBatchPlayer(tool) && CmdActsOn(file) &&
                text::Find(line, kPlaceholder) != std::string::npos) {
                System().ShowBox(
                    sys::BoxKind::Warning, Application().title,
                    "再生ソフトがバッチファイル (.bat や .cmd) なので、このファイルは再生しません。"
                    "\r\n" +
                        file +
                        "\r\nフォルダ名やファイル名に & | < > ^ % ! \" のどれかがあると、"
                        "バッチファイルではその部分がコマンドとして実行されるおそれがあります。");
                break;
            }
            System().ShellOpen(tool, Parameters(line, file), kShow);
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
