#include "elevated/Target.h"

namespace elevated {

bool TargetState(sys::System& system, const std::string& path,
                 std::optional<originals::Fingerprint>& state, sys::FileError* why) {
    state.reset();
    const std::uint32_t a = system.Attributes(path);
    if (a == sys::kNoFile) return true;
    if (a & (sys::kDirectory | sys::kReparsePoint)) {
        if (why) *why = {sys::Fault::Other, "コピー先がファイルではありません"};
        return false;
    }
    originals::Fingerprint print;
    if (!originals::FingerprintFile(system, path, print, why)) return false;
    state = print;
    return true;
}

}  // namespace elevated
