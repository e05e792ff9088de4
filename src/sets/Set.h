// Music sets: which music goes into which slot, kept under a name so that a player can
// switch between tables and share them. One file per set in the data folder's "sets"
// folder ("<name>.txt"): CP932 text, CR LF, tab-separated, as other programs can read it:
//
//   QUAVERIX set 1<TAB><name>
//   slot<TAB>size<TAB>hash<TAB>file
//   01.mp3<TAB>4051235<TAB>9f3c0a51e2b7d846<TAB>C:\music\a.mp3
//
// one line per assigned slot: the slot's name, the music file's size and content hash
// (originals::Fingerprint; "-" and "-" when it could not be read as the set was saved) and
// its path. A path without a root is taken beside the set file (a set zip unpacked by hand).
// Every write is atomic and made under the data folder's lock.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "originals/Fingerprint.h"
#include "platform/system/System.h"
#include "settings/DataFolder.h"

namespace sets {

// The table as it was when the window last closed: an ordinary set of this name.
inline constexpr char kLastTable[] = "（前回の割り当て）";
inline constexpr char kSetExtension[] = ".txt";
// A set's name is a file name; kept short so that "<name>.txt" and "<name>\<music>" fit.
inline constexpr std::size_t kMaxNameBytes = 100;
// Set files are a line per slot; anything larger is no set file of ours.
inline constexpr std::size_t kMaxSetFileBytes = 1 << 20;

struct Entry {
    std::string slot;  // "01.mp3"
    std::string file;  // the music file's path
    std::optional<originals::Fingerprint> print;  // none: unreadable when the set was saved
    friend bool operator==(const Entry&, const Entry&) = default;
};

struct Set {
    std::string name;
    std::vector<Entry> entries;
    friend bool operator==(const Set&, const Set&) = default;
};

// The entry for `file` in `slot`, its fingerprint read now (none when it cannot be read).
Entry Describe(sys::System& system, const std::string& slot, const std::string& file);

// Why `name` cannot be a set's name, in words for the player; "" when it can.
std::string NameProblem(std::string_view name);

// The set file's text, and back. Parse gives nothing when `text` is no set file; lines it
// cannot read are left out and named in `notes` ("3 行目を読めません: ...").
std::string Format(const Set& set);
std::optional<Set> Parse(std::string_view text, std::vector<std::string>* notes = nullptr);
// Why `set` cannot be written (a slot or path with a tab or line break), or "".
std::string WriteProblem(const Set& set);
// True when a file that starts with `start` (its first few dozen bytes) is a set file.
bool LooksLikeSetFile(std::string_view start);

enum class Status {
    Done,
    Exists,  // a set of that name is there: ask the player, then call again to replace it
    Refused,  // see `error`
};

// What a call did; `error` says why it did not, in words for the player.
struct Outcome {
    Status status = Status::Done;
    std::string error;
};

// How a set's music file is now, against what the set says of it.
enum class FileState {
    Same,
    Changed,  // another size or content (or it was unreadable when the set was saved)
    Missing,  // gone, or it cannot be read
};
// In words for the player ("" for Same).
std::string StateText(FileState state);
FileState Check(sys::System& system, const Entry& entry);

struct Loaded {
    Status status = Status::Refused;  // Done, or Refused with `error`
    std::string error;
    Set set;
    std::vector<FileState> files;  // one for each of set.entries
    std::vector<std::string> notes;  // the lines that could not be read
};

// A saved set, as the list shows it.
struct Listed {
    std::string name;
    std::size_t slots = 0;
    sys::FileStamp stamp;  // when it was saved: the file's stamp
    std::string problem;  // why it cannot be read, or ""
};

// Every file of the sets folder that can be a set, in the system's name order; those that
// cannot be read are listed with their problem.
std::vector<Listed> List(sys::System& system, const settings::DataFolder& data);
// Saves `set` under its name. Exists (nothing written) when a set of that name is there and
// `replace` is false.
Outcome Save(sys::System& system, const settings::DataFolder& data, const Set& set,
             bool replace = false);
// Reads the set `name` and checks each of its music files.
Loaded Load(sys::System& system, const settings::DataFolder& data, const std::string& name);
// Gives the set `from` the name `to` (its lines as they are); Exists when `to` is another
// set and `replace` is false.
Outcome Rename(sys::System& system, const settings::DataFolder& data, const std::string& from,
               const std::string& to, bool replace = false);
// Deletes the set file. The music a set zip brought (sets\<name>\) stays: the table, or
// another set, may use it.
Outcome Remove(sys::System& system, const settings::DataFolder& data, const std::string& name);

// The set file of `name` in the sets folder.
std::string PathOf(const settings::DataFolder& data, const std::string& name);
// Reads a set file anywhere (a set taken alone): paths without a root are taken beside it.
Loaded ReadSetFile(sys::System& system, const std::string& path);

}  // namespace sets
