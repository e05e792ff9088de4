// The job an elevated instance of QUAVERIX does for the one it was started by: copies
// into the game's folder, and removals from it, that the player's own rights do not
// allow. The job travels as one line of text; the elevated side trusts nothing in it
// that it has not checked (see Check), builds every destination itself from the one
// folder and a slot name, and answers with one result per step.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/system/System.h"

namespace elevated {

struct Step {
    enum class Kind { Copy, Remove };
    Kind kind = Kind::Copy;
    std::string slot;  // a slot's file name: the destination is folder + '\' + slot
    std::string source;  // the file to copy there (empty for Remove)
    friend bool operator==(const Step&, const Step&) = default;
};

struct Job {
    std::string folder;  // the destination folder, as the player's window holds it
    std::vector<Step> steps;
    friend bool operator==(const Job&, const Job&) = default;
};

// "1|<folder>|C|<slot>|<source>|R|<slot>||...": fields end with '|', which no Windows
// path can hold (looked for at CP932 character starts only).
std::string FormatJob(const Job& job);
std::optional<Job> ParseJob(std::string_view text);

// A slot's file name as the elevated side takes it: a usable slot name
// (slots::IsUsableSlotName) ending in ".mp3" or ".wav", the game's music kinds.
bool IsSlotName(std::string_view name);
// A folder given as a whole path: "X:\..." or "\\server\share\...".
bool IsWholePath(std::string_view path);
// True when every part of the job passes those checks.
bool Check(const Job& job);

// Does the job on `system` (the elevated one) and gives one result per step, in order:
// Fault::None for a step done. A job that fails Check does nothing: every step is refused.
std::vector<sys::FileError> Run(sys::System& system, const Job& job);

// The results as text ("<fault>|<detail>" a line) and back; a missing or unreadable line
// reads as a step that was not done.
std::string FormatResults(const std::vector<sys::FileError>& results);
std::vector<sys::FileError> ParseResults(std::string_view text, std::size_t steps);

// The one command-line argument that starts QUAVERIX in this mode, before its channel
// name and the job.
inline constexpr char kArgument[] = "--elevated=";

}  // namespace elevated
