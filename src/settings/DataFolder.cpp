#include "settings/DataFolder.h"

#include "platform/paths/Paths.h"
#include "settings/Settings.h"

namespace settings {

std::string ChooseDataFolder(sys::System& system) {
    const std::string exe = system.ExeFolder();
    if (system.CanCreateIn(exe)) return exe;
    const std::string appData = system.ProfileFolder(sys::UserFolder::RoamingAppData);
    if (appData.empty()) return exe;
    const std::string folder = paths::Join(appData, kAppFolderName);
    if (!system.CreateFolder(folder)) return exe;
    const std::string ini = folder + "\\" + kUserIni;
    if (system.Attributes(ini) == sys::kNoFile) {
        for (const std::string& earlier :
             {VirtualStorePath(system, exe + kUserIni), exe + kUserIni}) {
            std::string data;
            if (!earlier.empty() && system.ReadFile(earlier, data)) {
                system.SaveFileAtomic(ini, data);
                break;
            }
        }
    }
    return folder + "\\";
}

std::string VirtualStorePath(sys::System& system, const std::string& path) {
    if (paths::RootLength(path) != 3) return std::string();  // "X:\" only
    const std::string local = system.ProfileFolder(sys::UserFolder::LocalAppData);
    if (local.empty()) return std::string();
    return paths::Join(paths::Join(local, "VirtualStore"), path.substr(3));
}

}  // namespace settings
