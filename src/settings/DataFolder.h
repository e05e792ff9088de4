// Where QUAVERIX keeps its own files ("user.ini" and the folder "originals"), and where
// Windows' file virtualization put what legacy programs wrote into protected folders.
#pragma once

#include <string>

#include "platform/system/System.h"

namespace settings {

inline constexpr char kAppFolderName[] = "QUAVERIX";

// The folder for user.ini and originals, with its trailing backslash: beside the exe when
// a file can be made there (the portable case), otherwise "%APPDATA%\QUAVERIX\" (QUAVERIX
// unzipped under Program Files). The first time that folder is used, a user.ini of
// earlier runs is taken over: the one Windows redirected into the VirtualStore for the
// exe folder, else the exe folder's own. Without a known %APPDATA% it stays the exe folder.
std::string ChooseDataFolder(sys::System& system);

// Where virtualization kept a legacy program's write to `path`:
// "<LocalAppData>\VirtualStore\<path without its drive>"; "" for a path without a drive
// letter (a network path) or when LocalAppData is unknown.
std::string VirtualStorePath(sys::System& system, const std::string& path);

}  // namespace settings
