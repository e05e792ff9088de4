// The game's own files, kept before "コピー開始" replaces them, and put back on request.
//
// Everything lives in the folder "originals" of QUAVERIX's data folder (settings::DataFolder):
// one saved copy per version of a destination's file, and "index.txt", one line per
// destination. The rules:
// - the first copy into a destination saves the file that is there (or notes that none
//   was there);
// - a file that QUAVERIX put there (its last copy, an earlier one, or what its batch file
//   copies, noted when the batch file is written) is never taken for the game's;
// - a file that is neither QUAVERIX's nor a kept version (the game was patched) is kept
//   too, as the newest version: a kept file is never deleted by a copy;
// - a restore puts back the newest version, only where the file there is QUAVERIX's, and
//   drops saved files only after they were put back.
// Saved files and the index are written beside and moved into place, so each is always
// either the old one or the complete new one. Files are compared by their fingerprints,
// read through a fixed buffer whatever their size. Each call reads the index afresh under
// the data folder's lock (DataLock) and writes it back before letting go: a second
// window, a thread, the administrator run's asking side may all change it between two
// calls, never within one.
#pragma once

#include <optional>
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
    // After a copy to `destination` succeeded: notes what is there now as QUAVERIX's (the
    // source may have changed since BeforeCopy read it), where there is a record.
    void AfterCopy(const std::string& destination);
    // "Bat作成": the batch file will copy `source` over `destination`. Notes that file as
    // QUAVERIX's, so a later copy does not keep it as the game's. With `keep`, a
    // destination without a record gets one that knows nothing of the game's file yet.
    // The batch keeps no file: where the game's file there now is newer than the kept one,
    // the record no longer claims to know the game's newest file (the kept one stays, as
    // older), so 元に戻す says so instead of putting back the file before the update.
    bool NoteBatch(const std::string& source, const std::string& destination, bool keep,
                   sys::FileError& why);
    // True when `file` (by default the one at `destination`) is one QUAVERIX put at
    // `destination`.
    bool HoldsOurs(const std::string& destination, const std::string& file = "");

    // The game's own file for `destination`, as far as it is known: the file there when it
    // is not QUAVERIX's, else the kept version 元に戻す would put back (the newest older one
    // where only a batch file's copy is noted after it); "" when the game had none there or it is not known (only a
    // batch file's copy was noted, or the index cannot be read). `ours`, when given, also
    // marks the file there as QUAVERIX's (a copy made while keeping was off).
    std::string GameFile(const std::string& destination,
                         const std::optional<Fingerprint>& ours = std::nullopt);

    // The recorded destinations inside `folder` (the destination folder's text); none,
    // with the reason, when the index cannot be read (or another QUAVERIX holds the lock).
    std::vector<Entry> EntriesIn(const std::string& folder, sys::FileError* why = nullptr);
    // What Restore did, or was refused for want of rights.
    struct Restoring {
        Entry entry;  // the destination's record as it is now (what Forget drops)
        bool changed = false;  // a file was put back or removed (false: already in place)
        // What the last step tried to put in place: the saved file's path, or "" for the
        // removal of a file that was not there before (so that a step the player's rights
        // did not allow can be done again with more).
        std::string putBack;
    };
    // Puts one original back (removes the file where none was there), by the record of
    // `destination` as it is now; false with the reason in `why` (Fault::Other and a text
    // of ours for "changed since"). No record (put back meanwhile) is nothing to do.
    bool Restore(const std::string& destination, Restoring& done, sys::FileError& why);
    // Drops the records of the destinations put back, then their saved files: each only
    // while it is still as Restore found it. A record that also holds older versions of
    // the game's file stays whole, saved files and all: a game update may have been a file
    // the player put there by hand.
    bool Forget(const std::vector<Entry>& restored, sys::FileError& why);

    // Takes the records and saved files of another originals folder over into this one
    // (QUAVERIX's data folder moved): each version this store does not keep yet is copied
    // (and read back) and listed; nothing there is changed or deleted. A folder taken over
    // is noted with its index's fingerprint, so it is taken over again only when it
    // changed. Versions of a destination both know are ordered by when the game wrote
    // them (the saved files keep the game's file times), wherever they were kept. False,
    // with the reason, when something could not be taken over.
    bool TakeOver(const std::string& from, sys::FileError& why);

private:
    // The index read afresh; false (and empty) when it cannot be read.
    bool Load();
    std::string Unreadable() const;
    bool MakeFolder(sys::FileError& why);
    // False when a copy to `destination` will refuse by itself (a read-only, hidden or
    // folder target, or no folder to write into); `present` tells whether a file is there.
    bool CopyCanWrite(const std::string& destination, bool& present);
    // Notes the file about to be copied over `destination` (`e` its entry, if it has one),
    // keeping the file that is there when it is the game's own.
    // The start of BeforeCopy and NoteBatch: the index loaded, the destination's entry
    // (`e`, or null), the source's fingerprint (`in`). Their answer when there is nothing
    // more to do (true: go on with the copy; false: `why` says why not), else nothing.
    std::optional<bool> Start(const std::string& source, const std::string& destination, bool keep,
                              Entry*& e, Fingerprint& in, sys::FileError& why);
    bool Note(Entry* e, const std::string& destination, const Fingerprint& in, bool present,
              sys::FileError& why);
    // Saves the file at `destination` (fingerprint `now`) as `name`: copied, then read back.
    bool Keep(const std::string& destination, const std::string& name, const Fingerprint& now,
              sys::FileError& why);
    bool Save(sys::FileError& why);
    Entry* Find(const std::string& destination);
    std::string NewSavedName(const std::string& destination);
    // One version from `from` kept here under a new name; false when it could not be.
    bool TakeVersion(const std::string& from, const std::string& destination, Version& v,
                     sys::FileError& why);
    // Their entry's versions this store lacks, kept here and merged into `mine` (null: a
    // new entry) by age; the names of the files saved here go into `added`.
    bool TakeEntry(const std::string& from, const Entry& theirs, std::vector<std::string>& added,
                   sys::FileError& why);
    // When the game wrote the version kept here as `saved` (0 for "no file").
    std::uint64_t WrittenAt(const std::string& saved);
    // The game's newer file is about to be replaced without being kept (see NoteBatch).
    bool Superseded(const Entry& e, const std::string& destination);

    sys::System& system_;
    std::string folder_;
    Index index_;  // as read by the call in hand
};

}  // namespace originals
