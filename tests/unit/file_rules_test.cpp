// The file rules on the fake system: the same table the real system passes under Wine.
#include "contract/FileRules.h"
#include "fake/FakeSystem.h"

namespace {

struct FakeWorld {
    sys::FakeSystem fs;
    int cases = 0;
    std::string folder;
    sys::System& System() { return fs; }
    void Fresh() {
        folder = "C:\\rules\\" + std::to_string(++cases);
        fs.AddFolder(folder);
    }
    std::string Folder() const { return folder; }
    void MakeFile(const std::string& path, const std::string& data, std::uint32_t attributes) {
        fs.AddFile(path, data, attributes);
    }
    void MakeFolder(const std::string& path) { fs.AddFolder(path); }
    void Hold(const std::string& path) { fs.inUse.push_back(path); }
    void Release() { fs.inUse.clear(); }
};

}  // namespace

TEST(FileRules, TheFakeFollowsWindows) {
    FakeWorld w;
    contract::RunFileRules(w);
    contract::RunCopyAttributes(w);
}
