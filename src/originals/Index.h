// The record of the game's own files kept by the direct copy: where they live, one entry
// per destination, and the index file's text ("index.txt" in the folder "originals" of
// QUAVERIX's data folder; CP932, CR LF, one tab-separated line per destination). Lines
// that cannot be read are kept as they are, so a damaged index never makes a saved file
// unreachable by hand.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "originals/Fingerprint.h"

namespace originals {

inline constexpr const char* kFolder = "originals";
inline constexpr const char* kIndexName = "index.txt";
// The other originals folders taken over into this one: "<index fingerprint><TAB><folder>".
inline constexpr const char* kTakenOverName = "taken-over.txt";

// One version of the game's file at a destination.
struct Version {
    std::string saved;  // file name in the originals folder; "" when there was no file
    Fingerprint fingerprint;
    friend bool operator==(const Version&, const Version&) = default;
};

struct Entry {
    std::string destination;  // the path the copy wrote, as it built it
    // The game's newest file there (the one 元に戻す puts back):
    std::string saved;  // file name in the originals folder; "" when there was no file
    Fingerprint original;  // of the saved file
    Fingerprint copied;  // of what QUAVERIX copied there last
    // False while nothing of the game's is known: only a batch file's copy was noted.
    bool known = true;
    // The game's earlier files there, oldest first: a game update made each of them old.
    // They are never deleted by a copy.
    std::vector<Version> older;
    // Other files that were QUAVERIX's there: earlier copies, and what its batch files copy.
    std::vector<Fingerprint> ours;

    bool Absent() const { return saved.empty(); }
    friend bool operator==(const Entry&, const Entry&) = default;
    // A file put there by QUAVERIX (its copy or its batch file's).
    bool IsOurs(const Fingerprint& f) const;
    // A file of the game's that is kept, the newest or an older one.
    bool IsKept(const Fingerprint& f) const;
    // Notes `f` as QUAVERIX's latest copy, the one before it among the others.
    void NoteCopied(const Fingerprint& f);
};

// At most this many earlier copies are remembered per destination (the oldest go first).
inline constexpr std::size_t kOursKept = 64;

struct Index {
    std::vector<Entry> entries;
    std::vector<std::string> unreadable;
};
std::string FormatIndex(const Index& index);
Index ParseIndex(std::string_view text);

// "<size>:<16 hex digits>", as the index writes a fingerprint.
std::string FormatFingerprintText(const Fingerprint& f);

// The same destination however it was spelled: case, '/' and doubled backslashes.
std::string PathKey(std::string_view path);
// A destination folder's key as an entry's folder compares with it (see IsIn).
std::string FolderKey(std::string_view folder);
bool IsIn(const Entry& entry, std::string_view folderKey);

// The destination's file name, which is the slot's name.
std::string SlotName(const Entry& entry);

}  // namespace originals
