// The game's own files, kept before "コピー開始" replaces them, and put back on request.
//
// Everything lives beside the exe in the folder "originals": one saved copy per
// destination file that had one, and "index.txt", one line per destination. The rules:
// - the first copy into a destination saves the file that is there (or notes that none
//   was there);
// - a destination whose file is still the one QUAVERIX copied last keeps its saved
//   original, so applying again never saves QUAVERIX's own copy;
// - a file that differs from both the saved original and QUAVERIX's last copy (the game
//   was patched) is the new original and takes the old one's place;
// - a restore puts an original back only where the file there is still QUAVERIX's copy,
//   and drops a saved original only after it was put back.
// Saved files and the index are written beside and moved into place, so each is always
// either the old one or the complete new one.
#pragma once

#include <string>
#include <vector>

#include "originals/Index.h"
#include "platform/system/System.h"

namespace originals {

class Store {
public:
    // `folder`: the originals folder, with its trailing backslash.
    Store(sys::System& system, std::string folder);

    // Before the copy of `source` replaces `destination`. With `keep`, saves the file
    // there as the original where the rules above say so; without, saves nothing and only
    // keeps an existing record's note of QUAVERIX's copy up to date (so a later run with
    // keeping on does not take that copy for the game's file). False, with the reason,
    // when the original could not be saved: the copy must then not run.
    bool BeforeCopy(const std::string& source, const std::string& destination, bool keep,
                    sys::FileError& why);

    // The recorded destinations inside `folder` (the destination folder's text).
    std::vector<Entry> EntriesIn(const std::string& folder);
    // Puts one original back (removes the file where none was there); false with the
    // reason in `why` (Fault::Other and a text of ours for "changed since").
    // `putBack`, when given, learns what the last step tried to put in place: the saved
    // file's path, or "" for the removal of a file that was not there before (so that a
    // step the player's rights did not allow can be done again with more).
    bool Restore(const Entry& entry, sys::FileError& why, std::string* putBack = nullptr);
    // Drops the records of the destinations put back, then their saved files.
    bool Forget(const std::vector<Entry>& restored, sys::FileError& why);

    const Index& Current() { return Load(); }

private:
    const Index& Load();
    bool MakeFolder(sys::FileError& why);
    // False when a copy to `destination` will refuse by itself (a read-only, hidden or
    // folder target, or no folder to write into); `present` tells whether a file is there.
    bool CopyCanWrite(const std::string& destination, bool& present);
    // Notes the file about to be copied over `destination` (`e` its entry, if it has one),
    // keeping the file that is there when it is the game's own.
    bool Note(Entry* e, const std::string& destination, const Fingerprint& in, bool present,
              sys::FileError& why);
    bool Save(sys::FileError& why);
    Entry* Find(const std::string& destination);
    std::string NewSavedName(const std::string& destination);

    sys::System& system_;
    std::string folder_;
    Index index_;
    bool loaded_ = false;
    // Read buffers kept from one file to the next: music files are megabytes each.
    std::string incoming_, current_;
};

}  // namespace originals
