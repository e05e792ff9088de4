// The settings record and its home, "user.ini" in QUAVERIX's data folder (beside the exe,
// or %APPDATA%\QUAVERIX: settings::DataFolder).
#pragma once

#include <cstdint>
#include <string>

#include "platform/ini/IniFile.h"

namespace settings {

inline constexpr const char* kUserIni = "user.ini";
inline constexpr const char* kDefaultCopysaki = "C:\\Program Files\\PellamorOnline\\bgm";
inline constexpr const char* kDefaultMp3Tool =
    "C:\\Program Files\\Windows Media Player\\mplayer2.exe";
inline constexpr const char* kDefaultMp3Line = "[FileName]";
inline constexpr const char* kDefaultSeleLst = "Pellamor.lst";
inline constexpr const char* kDefaultSoftName = "ZorventVer1.2.3";

// What a click on the file list does (List1Clk … List4Clk). The numbers are kept in
// user.ini and shown as the radio groups' item indexes; any other number does nothing.
enum class ClickAction : std::int32_t {
    Register = 0,  // the file into the current slot
    RegisterAndStepDown = 1,  // the same, then the grid one row down
    Play = 2,
    RegisterAndPlay = 3,
    Nothing = 4,
};

// How a file is played (Mp3Play), kept in user.ini as well; any other number plays nothing
// from the file list, and the play button then uses the player.
enum class PlaybackMode : std::int32_t {
    Nothing = 0,
    Associated = 1,  // the shell opens it with the program its type belongs to
    Player = 2,  // the configured player with its command-line template
};

// The user's choices, kept between runs. Fields are named as the keys' owners know them.
struct SettingsRecord {
    bool DelReadOnly = false;  // "del /f" before each copy line of the batch file
    std::int32_t List1Clk = 0;  // ClickAction for a single click on a file
    std::int32_t List2Clk = 0;  // ... a double click
    std::int32_t List3Clk = 0;  // ... a left press with Alt
    std::int32_t List4Clk = 0;  // ... a left press with Ctrl
    std::int32_t Mp3Play = 0;  // PlaybackMode
    std::int32_t Experience = 0;  // use counter
    std::string BatHozonDir;  // where the batch save prompt opens
    std::string Mp3Tool;  // the player program
    std::string Mp3Line;  // its command-line template with "[FileName]"
    std::string SeleLst;  // list file name in the exe folder
    bool KeepOriginals = true;  // save the game's files before the direct copy replaces them
    bool MatchLoudness = false;  // the direct copy brings each MP3 to its game track's loudness
    std::string SoftName;  // window caption

    bool operator==(const SettingsRecord&) const = default;
};

// Reads the "user" section, then the destination folder kept for SeleLst, then the
// "muimi" section, in that order. Returns the destination folder.
std::string LoadUserIni(ini::IniFile& file, const std::string& exeFolder, SettingsRecord& s);

// Writes every key, in order; a failed write raises ini::WriteError and stops there.
void SaveUserIni(ini::IniFile& file, const SettingsRecord& s, const std::string& destination);

// Why user.ini could not be read or written, in words for the player, ending in "。".
std::string FileReason(const sys::FileError& why);
// The box at start when user.ini is there but cannot be read.
std::string ReadFailedText(const std::string& path, const sys::FileError& why);
// The box at close when the settings could not be saved; `reason` as FileReason gives it.
std::string SaveFailedText(const std::string& path, const std::string& reason);

}  // namespace settings
