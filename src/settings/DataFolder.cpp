#include "settings/DataFolder.h"

#include "platform/paths/Paths.h"
#include "platform/text/Cp932.h"
#include "originals/DataLock.h"
#include "originals/Store.h"
#include "settings/Settings.h"

namespace settings {

namespace {

bool HoldsData(sys::System& system, const std::string& folder) {
    return system.Attributes(folder + kUserIni) != sys::kNoFile ||
           system.Attributes(folder + originals::kFolder + "\\" + originals::kIndexName) !=
               sys::kNoFile;
}

// %APPDATA%\QUAVERIX\ takes over what earlier runs kept elsewhere: user.ini, the record
// of what was applied and the loudness cache once each (the copy Windows redirected into
// the VirtualStore for the exe folder, else the exe folder's own), and the originals of
// both places whenever they hold some it lacks.
void TakeOver(sys::System& system, const std::string& exe, const std::string& folder) {
    const std::string virtualized = VirtualStorePath(system, exe);
    for (const char* name : {kUserIni, kRecordName, kLoudnessName}) {
        const originals::DataLock lock(system, folder + name);
        if (!lock.Held() || system.Attributes(folder + name) != sys::kNoFile) continue;
        for (const std::string& earlier : {virtualized, exe}) {
            std::string data;
            if (!earlier.empty() && system.ReadFile(earlier + name, data)) {
                system.SaveFileAtomic(folder + name, data);
                break;
            }
        }
    }
    originals::Store store(system, folder + originals::kFolder + "\\");
    for (const std::string& earlier : {virtualized, exe}) {
        sys::FileError why;
        // What cannot be taken over now stays where it is, and is tried at the next start.
        if (!earlier.empty()) store.TakeOver(earlier + originals::kFolder + "\\", why);
    }
}

}  // namespace

DataFolder ChooseDataFolder(sys::System& system) {
    const std::string exe = system.ExeFolder();
    const std::string appData = system.ProfileFolder(sys::UserFolder::RoamingAppData);
    const std::string folder =
        appData.empty() ? std::string() : paths::Join(appData, kAppFolderName) + "\\";
    // Once %APPDATA%\QUAVERIX holds data it stays the one place, also for a run whose exe
    // folder can be written (started as administrator under Program Files).
    if (!folder.empty() && HoldsData(system, folder)) {
        const std::string virtualized = VirtualStorePath(system, exe);
        if (HoldsData(system, exe) || (!virtualized.empty() && HoldsData(system, virtualized))) {
            TakeOver(system, exe, folder);
        }
        return DataFolder(folder);
    }
    if (system.CanCreateIn(exe)) return DataFolder(exe);
    if (folder.empty() || !system.CreateFolder(folder.substr(0, folder.size() - 1)))
        return DataFolder(exe);
    TakeOver(system, exe, folder);
    return DataFolder(folder);
}

std::string DataFolder::UserIni() const { return folder_ + kUserIni; }

std::string DataFolder::Originals() const { return folder_ + originals::kFolder + "\\"; }

std::string VirtualStorePath(sys::System& system, const std::string& path) {
    if (paths::RootLength(path) != 3) return std::string();  // "X:\" only
    // Windows virtualizes only folders of the system drive (Program Files, Windows,
    // ProgramData): a path on another drive has no VirtualStore copy.
    const std::string windows = system.ProfileFolder(sys::UserFolder::Windows);
    if (windows.size() < 2 ||
        text::UpperAscii(windows.substr(0, 2)) != text::UpperAscii(path.substr(0, 2)))
        return std::string();
    const std::string local = system.ProfileFolder(sys::UserFolder::LocalAppData);
    if (local.empty()) return std::string();
    return paths::Join(paths::Join(local, "VirtualStore"), path.substr(3));
}

}  // namespace settings
