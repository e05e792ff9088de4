// Where QUAVERIX keeps its own files ("user.ini" and the folder "originals"), and where
// Windows' file virtualization put what legacy programs wrote into protected folders.
#pragma once

#include <string>
#include <utility>

#include "platform/system/System.h"

namespace settings {

inline constexpr char kAppFolderName[] = "QUAVERIX";
inline constexpr char kRecordName[] = "applied.txt";
inline constexpr char kLoudnessName[] = "loudness.txt";
inline constexpr char kSetsName[] = "sets";

// Where QUAVERIX's own files are: chosen once at start (ChooseDataFolder), and the one
// source of every path in it.
class DataFolder {
public:
    DataFolder() = default;
    explicit DataFolder(std::string folder) : folder_(std::move(folder)) {}
    // The folder, with its trailing backslash.
    const std::string& Folder() const { return folder_; }
    std::string UserIni() const;
    // The originals folder, with its trailing backslash.
    std::string Originals() const;
    // The record of what was applied (apply::Record).
    std::string Record() const { return folder_ + kRecordName; }
    // The measured loudness of files by their fingerprint (apply::LoudnessCache).
    std::string LoudnessCache() const { return folder_ + kLoudnessName; }
    // The music sets' folder (src/sets), with its trailing backslash.
    std::string Sets() const { return folder_ + kSetsName + "\\"; }
    // Where the matched copies wait for the copy, and where conversions are kept.
    std::string MatchingFolder() const { return folder_ + "matching\\"; }
    std::string ConvertedFolder() const { return folder_ + "converted\\"; }

private:
    std::string folder_;
};

// The folder for user.ini and originals, with its trailing backslash. One place in every
// order of runs, so that 元に戻す always finds what was kept:
// - "%APPDATA%\QUAVERIX\" once it holds data (user.ini or kept originals), whatever the
//   exe folder allows now (a run started as administrator can write under Program Files);
// - otherwise beside the exe when a file can be made there (the portable case);
// - otherwise "%APPDATA%\QUAVERIX\" (QUAVERIX under Program Files, or its folder made
//   read-only), without a known %APPDATA% the exe folder.
// Whenever %APPDATA%\QUAVERIX is used, what earlier runs kept beside the exe (or in the
// VirtualStore Windows kept for that folder) is taken over: user.ini, applied.txt and
// loudness.txt once each, the originals whenever that folder holds versions not taken
// over yet (see originals::Store::TakeOver).
DataFolder ChooseDataFolder(sys::System& system);

// Where virtualization kept a legacy program's write to `path`:
// "<LocalAppData>\VirtualStore\<path without its drive>"; "" for a path without a drive
// letter (a network path), on another drive than the system's, or when LocalAppData is
// unknown.
std::string VirtualStorePath(sys::System& system, const std::string& path);

}  // namespace settings
