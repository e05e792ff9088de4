// The data folder's one lock, the file "quaverix.lock" in it. Whoever changes one of the
// folder's shared files (the originals' index, the record of what was applied, the
// loudness cache) holds it from the read to the write: a window, a thread of its, a
// second window, the administrator run's asking side alike. So no change is ever made
// from a copy that another one changed meanwhile. Nothing holds it across a box.
#pragma once

#include <memory>
#include <string>

#include "platform/system/System.h"

namespace originals {

inline constexpr char kLockName[] = "quaverix.lock";
// How long a change waits for another holder: holders keep it for one read and one
// write (a kept original's copy at most), so only a QUAVERIX that hangs keeps it longer.
inline constexpr unsigned kLockWaitMs = 15000;

class DataLock {
public:
    // `inFolder`: a file directly in the data folder, or a folder in it (with its
    // trailing backslash).
    DataLock(sys::System& system, const std::string& inFolder);
    // False when another QUAVERIX held the lock for all of the wait; `why` says so in
    // words. Where no lock file can be made at all (a data folder that cannot be written),
    // the change goes ahead without: its own write then fails and says why.
    bool Held(sys::FileError& why) const;
    bool Held(sys::FileError* why) const {
        sys::FileError refused;
        if (Held(refused)) return true;
        if (why) *why = refused;
        return false;
    }
    bool Held() const { return !refused_; }

private:
    std::unique_ptr<sys::Lock> lock_;
    std::string folder_;
    bool refused_ = false;
};

}  // namespace originals
