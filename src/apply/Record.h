// What QUAVERIX put into the game's folders, so that a start can notice that the game
// (its patcher, its file check) put its own music back. "applied.txt" in the data folder
// (beside user.ini): CP932, CR LF, one tab-separated line per destination folder and slot,
// written beside and moved into place like user.ini. It never decides what the game's file
// was: that is the originals index's, so nothing here can cost a kept original. A save
// makes this run's changes on the file as it is then, under the data folder's lock, so
// what another window or thread recorded meanwhile stays.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "originals/Fingerprint.h"
#include "platform/system/System.h"

namespace apply {

struct Applied {
    std::string folder;  // the destination folder as the run used it
    std::string slot;
    std::string source;  // the music file as it was registered
    sys::FileStamp sourceStamp;
    originals::Fingerprint sourcePrint;
    // What is in the game's folder: its fingerprint, and its stamp right after the copy.
    // For a batch file's copy, which runs later, the stamp is the game's file's when the
    // batch was written (all 0 when there was none): while it stays so, the batch has not
    // run yet, which is no update to tell of.
    sys::FileStamp copiedStamp;
    originals::Fingerprint copiedPrint;
    friend bool operator==(const Applied&, const Applied&) = default;
};

class Record {
public:
    // `path`: the record file. A record that cannot be read is no record; its lines that
    // cannot be read are kept as they are.
    Record(sys::System& system, std::string path);

    // The entries of one destination folder (compared as the originals compare folders).
    std::vector<Applied> In(const std::string& folder) const;
    // Puts `a` in place of the entry of its folder and slot.
    void Set(const Applied& a);
    // Drops the entry of `folder` and `slot`, if any.
    void Drop(const std::string& folder, const std::string& slot);
    // Re-reads the file and makes the changes since the last save on it.
    bool Save(sys::FileError* why = nullptr);

    static std::string Format(const std::vector<Applied>& entries,
                              const std::vector<std::string>& unreadable);
    static std::vector<Applied> Parse(const std::string& text,
                                      std::vector<std::string>* unreadable);

private:
    struct Change {
        bool drop = false;  // Drop(a.folder, a.slot), else Set(a)
        Applied a;
    };
    void Read();
    // True when it changed the entries.
    bool Make(const Change& c);

    sys::System& system_;
    std::string path_;
    std::vector<Applied> entries_;
    std::vector<std::string> unreadable_;
    std::vector<Change> changes_;  // since the last save
};

// What a start finds of one recorded slot.
enum class Now {
    Same,  // QUAVERIX's copy is still there
    Reverted,  // the game put its own file back (or the file is gone); the source is there
    SourceGone,  // reverted, and the source is gone or changed since: it cannot be copied
};
// Size and time first; a fingerprint is read only when they differ.
Now Compare(sys::System& system, const Applied& a);

// An entry for a copy just made: the source's and the target's stamps and fingerprints.
// False when either cannot be read.
bool Describe(sys::System& system, const std::string& folder, const std::string& slot,
              const std::string& source, const std::string& destination, Applied& out);

}  // namespace apply
