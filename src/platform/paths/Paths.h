// Windows paths, one set of rules for the whole program: where the root ends, the parts
// below it, the last part and the folder above it, and how a path whose names CP932
// cannot spell is made usable. Both spellings a path comes in are handled: CP932 (the
// program's own text, where a trail byte 0x5C is no separator) and UTF-16 (as the system
// and the shell spell it). '\' and '/' both separate.
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace paths {

// Length of the root: "X:\" (3) or a bare "X:" (2); "\\server\share\" up to and with the
// separator after the share (the whole path when it has none); 0 for a relative path.
std::size_t RootLength(std::string_view path);
std::size_t RootLength(std::u16string_view path);

// The root ("C:\", "\\srv\share\"; omitted when there is none), then every part below
// it; empty parts (doubled or trailing separators) are left out.
std::vector<std::string> Components(std::string_view path);
std::vector<std::u16string> Components(std::u16string_view path);

// The last part, after trailing separators are taken off ("C:\a\b.mp3" -> "b.mp3",
// "C:\a\" -> "a"); "" for a root, which names no entry of a folder.
std::string LastPart(std::string_view path);
std::u16string LastPart(std::u16string_view path);

// The folder above the last part, without its separator, except that a root keeps it
// ("C:\a\b" -> "C:\a", "C:\a" -> "C:\"); "" for a root or a bare name.
std::string Parent(std::string_view path);
std::u16string Parent(std::u16string_view path);

// folder + name, with one backslash between unless the folder ends with one.
std::string Join(const std::string& folder, const std::string& name);

// A path as the program can use it: every part CP932 spells stays as it is; any other is
// replaced by the short (8.3) name the system keeps for it. `shortName(folder, name)`
// gives that name for `name` in `folder` (CP932, as built so far), or "" when there is
// none. The rule has one failure: a part with no usable spelling. `unspellable` then names
// the first such part and `path` holds it with "?" for what CP932 lacks, so a caller can
// show it or refuse it. A path that CP932 spells whole comes back unchanged.
struct Usable {
    std::string path;
    std::u16string unspellable;  // empty when every part is spelled
    bool unspellableIsLast = false;  // the part that failed is the path's last
    bool ok() const { return unspellable.empty(); }
};
using ShortNameOf =
    std::function<std::string(const std::string& folder, const std::u16string& name)>;
Usable MakeUsable(std::u16string_view path, const ShortNameOf& shortName);

}  // namespace paths
