#include "originals/DataLock.h"

#include "platform/paths/Paths.h"

namespace originals {

DataLock::DataLock(sys::System& system, const std::string& inFolder) {
    std::string path = inFolder;
    if (!path.empty() && path.back() == '\\') path.pop_back();
    folder_ = paths::Parent(path);
    sys::FileError why;
    lock_ = system.LockFile(paths::Join(folder_, kLockName), kLockWaitMs, &why);
    refused_ = !lock_ && why.fault == sys::Fault::InUse;
}

bool DataLock::Held(sys::FileError& why) const {
    if (!refused_) return true;
    why = {sys::Fault::Other, "別の QUAVERIX がデータフォルダ " + folder_ +
                                  " を使い続けているため、今は書き込めません。その QUAVERIX "
                                  "を閉じてから、もう一度試してください"};
    return false;
}

}  // namespace originals
