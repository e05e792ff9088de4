// The record of the game's own files kept by the direct copy: where they live, one entry
// per destination, and the index file's text ("index.txt" in the folder "originals"
// beside the exe; CP932, CR LF, one tab-separated line per destination). Lines that cannot
// be read are kept as they are, so a damaged index never makes a saved file unreachable
// by hand.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "originals/Fingerprint.h"

namespace originals {

inline constexpr const char* kFolder = "originals";
inline constexpr const char* kIndexName = "index.txt";

struct Entry {
    std::string destination;  // the path the copy wrote, as it built it
    std::string saved;  // file name in the originals folder; "" when there was no file
    Fingerprint original;  // of the saved file
    Fingerprint copied;  // of what QUAVERIX copied there last
    bool Absent() const { return saved.empty(); }
};

struct Index {
    std::vector<Entry> entries;
    std::vector<std::string> unreadable;
};
std::string FormatIndex(const Index& index);
Index ParseIndex(std::string_view text);

// The same destination however it was spelled: case, '/' and doubled backslashes.
std::string PathKey(std::string_view path);
// A destination folder's key as an entry's folder compares with it (see IsIn).
std::string FolderKey(std::string_view folder);
bool IsIn(const Entry& entry, std::string_view folderKey);

// The destination's file name, which is the slot's name.
std::string SlotName(const Entry& entry);

}  // namespace originals
