// Why a file operation failed, and how the player is told.
#pragma once

#include <string>

namespace sys {

enum class Fault {
    None,
    SourceMissing,  // the file to read or copy is not there
    FolderMissing,  // the folder to write into is not there
    TargetProtected,  // the file to replace is read-only or hidden
    InUse,  // another program holds the file open
    Other,  // see `detail`: the system's own message
    NeedsRights,  // the folder takes writes only from an administrator (access denied)
};

struct FileError {
    Fault fault = Fault::None;
    std::string detail;  // the system's message text (CP932), for Other
};

// A failed file operation's reason in plain Japanese, for the reports.
std::string ReasonText(const FileError& why);

}  // namespace sys
