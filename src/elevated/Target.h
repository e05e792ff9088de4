// A slot's target as both runs compare it: nothing there, or the file by its content.
#pragma once

#include <optional>
#include <string>

#include "originals/Fingerprint.h"
#include "platform/system/System.h"

namespace elevated {

// The state of the file at `path` into `state` (nothing when no file is there). False,
// with `why`, when it is something else (a folder, a junction or link) or cannot be read.
bool TargetState(sys::System& system, const std::string& path,
                 std::optional<originals::Fingerprint>& state, sys::FileError* why);

}  // namespace elevated
