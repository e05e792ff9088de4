// The job an elevated instance of QUAVERIX does for the one it was started by: copies
// into the game's folder, and removals from it, that the player's own rights do not
// allow. Everything about it that both runs must agree on lives here: the argument that
// starts the run, the job's text, the frames that carry it and the sources' bytes over
// the channel, and the results. The platform only carries the bytes (sys::Conversation on
// the asking side, sys::Channel on the elevated one).
//
// The elevated side reads no file: every byte it writes comes from the asking run, which
// read it with the player's rights. It trusts nothing in the job it has not checked,
// builds every destination itself from the one folder and a slot name, and writes a slot
// only while the folder has no junction or link in it and the target is still what the
// asking side saw.
#pragma once

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "originals/Fingerprint.h"
#include "platform/system/System.h"

namespace elevated {

struct Step {
    enum class Kind { Copy, Remove };
    Step() = default;
    Step(Kind k, std::string slotName, std::string sourcePath = "",
         std::optional<originals::Fingerprint> state = std::nullopt)
        : kind(k), slot(std::move(slotName)), source(std::move(sourcePath)), expected(state) {}
    Kind kind = Kind::Copy;
    std::string slot;  // a slot's file name: the destination is folder + '\' + slot
    // The file whose bytes the asking side sends for a Copy. It stays on the asking side:
    // the job's text does not carry it.
    std::string source;
    // The target as the asking side saw it: nothing there, or the file by its content.
    std::optional<originals::Fingerprint> expected;
    // True when the asking run took `expected` itself, when it decided what to replace
    // (before keeping the original); else Ask looks at the target. Not in the job's text.
    bool seen = false;
    friend bool operator==(const Step&, const Step&) = default;
};

struct Job {
    std::string folder;  // the destination folder, as the player's window holds it
    std::vector<Step> steps;
    friend bool operator==(const Job&, const Job&) = default;
};

// "2|<folder>|C|<slot>|<state>|R|<slot>|<state>|...", <state> "-" for no file or
// "<size>:<hash in hex>". Fields end with '|', which no Windows path can hold (looked for
// at CP932 character starts only). The sources are not in it.
std::string FormatJob(const Job& job);
std::optional<Job> ParseJob(std::string_view text);

// A slot's file name as the elevated side takes it: a usable slot name
// (slots::IsUsableSlotName) ending in ".mp3" or ".wav", the game's music kinds.
bool IsSlotName(std::string_view name);
// A folder given as a whole path: "X:\..." or "\\server\share\...".
bool IsWholePath(std::string_view path);
// True when no part of `folder` below its root is a junction or a symbolic link, and each
// is a folder that is there.
bool IsPlainFolder(sys::System& system, const std::string& folder);

// The results as text ("<fault>|<detail>" a line) and back; a missing or unreadable line
// reads as a step that was not done.
std::string FormatResults(const std::vector<sys::FileError>& results);
std::vector<sys::FileError> ParseResults(std::string_view text, std::size_t steps);

// The one command-line argument that starts QUAVERIX in this mode: this, then the
// channel's name. Nothing else travels on the command line.
inline constexpr char kArgument[] = "--elevated=";
std::string Argument(const std::string& channel);
// The channel's name from an argument of this mode; nothing when it is not one.
std::optional<std::string> ChannelOf(std::string_view argument);

// The bytes over the channel from the asking side are frames: one letter, the payload's
// length as 8 hex digits, the payload. 'J' the job's text (first and once); then, for
// each Copy step in order, 'D' frames of its source's bytes (at most kChunk each) ended
// by 'E', or by 'F' with a result line when the source could not be read to its end.
inline constexpr std::size_t kChunk = 64 * 1024;
inline constexpr std::size_t kMaxJob = 1 << 20;
std::string Frame(char type, std::string_view payload = {});

// The asking side: what `steps` would be done in `folder`. Each target's state goes with
// its step: the one the run saw (`seen`), else the one there now (a target that cannot be
// read keeps that reason and is not sent); then `confirm` asks the player; on yes, one run with administrator rights is
// started and each Copy's source streamed to it. One result per step, in order:
// NeedsRights when the player or the system said no.
std::vector<sys::FileError> Ask(sys::System& system, const std::string& folder,
                                std::vector<Step> steps, const std::function<bool()>& confirm);

// The elevated side: takes the job from `channel`, checks it, does every step that passes
// with the bytes the asking side sends, and answers one result per step. False when no
// job came or the channel broke: then nothing more is written and nothing answered.
bool Serve(sys::System& system, sys::Channel& channel);

// Reasons of the elevated side.
sys::FileError BadJobReason();  // a job not as this program makes it: every step refused
sys::FileError LinkedFolderReason();  // a part of the folder is a junction or a link
sys::FileError ChangedTargetReason();  // the target is no longer what the asking side saw
sys::FileError BadNameReason();  // a slot that is no usable file name

}  // namespace elevated
